// The file dialogs' list speaks the program's language whatever the system's.
#include "preview/file_dialog.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace orv {
namespace {

TEST(FileDialogList, DatesSizesAndFoldersFollowTheProgramsLocale) {
  const QLocale kept;
  QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkdir("relatorios"));
  QFile file(dir.filePath("vendas.frp"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QByteArray(2048, 'x'));
  file.close();

  QFileSystemModel files;
  QSignalSpy loaded(&files, &QFileSystemModel::directoryLoaded);
  files.setRootPath(dir.path());
  ASSERT_TRUE(loaded.wait(5000));
  LocalizedFileList list;
  list.setSourceModel(&files);
  const QModelIndex folder = list.mapFromSource(files.index(dir.filePath("relatorios")));
  const QModelIndex report = list.mapFromSource(files.index(dir.filePath("vendas.frp")));
  ASSERT_TRUE(folder.isValid() && report.isValid());
  EXPECT_EQ(folder.siblingAtColumn(2).data().toString(), "Pasta");
  const QDateTime changed = files.lastModified(files.index(dir.filePath("vendas.frp")));
  EXPECT_EQ(report.siblingAtColumn(3).data().toString(),
            QLocale().toString(changed, QLocale::ShortFormat));
  // Day before month, as Brazil writes dates.
  EXPECT_TRUE(report.siblingAtColumn(3).data().toString().startsWith(
      changed.toString("dd/MM/")));
  EXPECT_EQ(report.siblingAtColumn(1).data().toString(), QLocale().formattedDataSize(2048));
  // The name column is the model's own.
  EXPECT_EQ(report.data().toString(), "vendas.frp");
  QLocale::setDefault(kept);
}

}  // namespace
}  // namespace orv
