#include "platform/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace orv {

namespace {
constexpr const char* kLastFolder = "LastFolder";
}

std::unique_ptr<QSettings> previewSettings() {
  return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, "ReportEngine",
                                     QCoreApplication::applicationName());
}

std::unique_ptr<QSettings> readerSettings() {
  return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, "ReportEngine",
                                     kReaderTitle);
}

QString lastDialogFolder() {
  const QString folder = previewSettings()->value(kLastFolder).toString();
  if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
  const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return QFileInfo(docs).isDir() ? docs : QDir::homePath();
}

void rememberDialogFolder(const QString& pickedFile) {
  if (pickedFile.isEmpty()) return;
  previewSettings()->setValue(kLastFolder, QFileInfo(pickedFile).absolutePath());
}

}  // namespace orv
