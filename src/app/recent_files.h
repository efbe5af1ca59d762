#pragma once
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace orv {

// The reader's own list of recently opened reports, newest first, kept in the
// preview's per-user key.
class RecentFiles {
 public:
  static constexpr int kMax = 10;
  QStringList list() const;
  // Moves the file to the front (adding it when new) and trims the list.
  void add(const QString& path);
  void remove(const QString& path);
};

// One use of a file, as the freedesktop list of recently used files keeps it.
struct RecentUse {
  QString file;  // absolute path
  QString mimeType;
  QString appName;
  QString appExec;  // the command line, with %u for the file
  QDateTime when = QDateTime::currentDateTimeUtc();
};

// Where that list lives: $XDG_DATA_HOME/recently-used.xbel.
QString recentlyUsedPath();

// Records the use in the XBEL file that every desktop program shares. The
// file is rewritten in full through a temporary file and a rename, so that a
// reader never sees it half-written; every entry of other programs, and
// anything in it this reader does not know, is copied through unchanged. A
// file that does not parse, or is far larger than such lists grow, is left
// alone and the reason returned. Returns an empty text on success.
QString addRecentUse(const QString& xbelPath, const RecentUse& use);

}  // namespace orv
