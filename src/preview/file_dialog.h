#pragma once
#include <QFileDialog>
#include <QIdentityProxyModel>
#include <QString>

namespace orv {

// The file dialog's list as the rest of the program speaks: modification
// dates in the program's locale (the list would otherwise use the system's,
// often English on a machine set up without one) and folders called so.
class LocalizedFileList : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;
  QVariant data(const QModelIndex& index, int role) const override;
};

// The open and save dialogs of the program, with the list above.
QString askOpenFileName(QWidget* parent, const QString& folder, const QString& filter);
QString askSaveFileName(QWidget* parent, const QString& start, const QString& filter,
                        QFileDialog::Options options = {});
// Asks whether an existing file may be replaced; "Cancelar" is the default.
bool askReplaceFile(QWidget* parent, const QString& path);

}  // namespace orv
