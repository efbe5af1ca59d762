#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

// Every suite gets a Qt application object: fonts, images and painting need one.
// It also gets a home and XDG folders of its own, so that the user's printer
// defaults (~/.cups/lpoptions), settings and desktop files neither change what
// a test sees nor are changed by it.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM",
          qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QTemporaryDir home(QDir::tempPath() + "/orv-test-home-XXXXXX");
  if (home.isValid()) {
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share").toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + "/.cache").toUtf8());
  }
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
