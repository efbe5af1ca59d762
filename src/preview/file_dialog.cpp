#include "preview/file_dialog.h"

#include <QFileInfo>
#include <QFileSystemModel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>

namespace orv {

namespace {

// The columns of the dialog's detail view.
constexpr int kSizeColumn = 1;
constexpr int kTypeColumn = 2;
constexpr int kDateColumn = 3;

QString run(QFileDialog& dialog) {
  dialog.setProxyModel(new LocalizedFileList(&dialog));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

}  // namespace

QVariant LocalizedFileList::data(const QModelIndex& index, int role) const {
  if (role == Qt::DisplayRole)
    if (auto* files = qobject_cast<QFileSystemModel*>(sourceModel())) {
      const QModelIndex source = mapToSource(index);
      if (index.column() == kDateColumn)
        return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
      if (index.column() == kTypeColumn && files->isDir(source)) return QString::fromUtf8("Pasta");
      if (index.column() == kSizeColumn && !files->isDir(source))
        return QLocale().formattedDataSize(files->size(source));
    }
  return QIdentityProxyModel::data(index, role);
}

QString askOpenFileName(QWidget* parent, const QString& folder, const QString& filter) {
  QFileDialog dialog(parent, QString(), folder, filter);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  return run(dialog);
}

QString askSaveFileName(QWidget* parent, const QString& start, const QString& filter,
                        QFileDialog::Options options) {
  QFileDialog dialog(parent, QString(), start, filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOptions(options);
  return run(dialog);
}

bool askReplaceFile(QWidget* parent, const QString& path) {
  QMessageBox box(QMessageBox::Warning, QString::fromUtf8("Substituir arquivo"),
                  QString::fromUtf8("O arquivo \"%1\" já existe.\nDeseja substituí-lo?")
                      .arg(QFileInfo(path).fileName()),
                  QMessageBox::NoButton, parent);
  QPushButton* replace = box.addButton(QString::fromUtf8("&Substituir"), QMessageBox::AcceptRole);
  QPushButton* cancel = box.addButton(QString::fromUtf8("&Cancelar"), QMessageBox::RejectRole);
  // A typo must not destroy a file by a hasty Enter.
  box.setDefaultButton(cancel);
  box.setEscapeButton(cancel);
  box.exec();
  return box.clickedButton() == replace;
}

}  // namespace orv
