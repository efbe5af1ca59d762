// Writes the desktop files an installed reader ships under share/: the
// application entry, the ".frp" MIME package, the thumbnailer entry and the
// document icons. They come from the same code that writes the user's own
// copies at start-up, so the two never drift apart.
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>

#include "platform/desktop_integration.h"

namespace {
// Qt's start-up chatter (no runtime folder) would clutter the install log.
void quiet(QtMsgType type, const QMessageLogContext&, const QString& msg) {
  if (type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(msg));
}
}  // namespace

int main(int argc, char** argv) {
  qInstallMessageHandler(quiet);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = QGuiApplication::arguments();
  if (args.size() != 4) {
    std::fprintf(stderr, "usage: mkdesktop SHARE_DIR INSTALLED_READER INSTALLED_FRPTOOL\n");
    return 64;
  }
  // The default association belongs to each user; it is written here only
  // because the same code writes it, and is thrown away.
  QTemporaryDir config;
  if (!config.isValid()) {
    std::fprintf(stderr, "mkdesktop: no temporary folder\n");
    return 2;
  }
  orv::DesktopIntegration d;
  d.dataHome = args[1];
  d.configHome = config.path();
  d.executable = args[2];
  d.thumbnailer = args[3];
  d.runUpdateTools = false;
  const QStringList problems = d.install();
  for (const QString& p : problems) std::fprintf(stderr, "mkdesktop: %s\n", qPrintable(p));
  return problems.isEmpty() ? 0 : 2;
}
