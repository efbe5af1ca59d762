#pragma once
#include <QString>
#include <QStringList>

namespace orv {

// The desktop's side of the ".frp" file type, written into the user's XDG
// directories at every start: the MIME type, the application entry whose Exec
// quotes the running executable, the default association, the document icon
// and a thumbnailer entry. Returns the problems met (empty when all went well);
// a failure never stops the start.
struct DesktopIntegration {
  QString executable;   // the running program, absolute
  QString thumbnailer;  // frptool beside it, absolute (may be empty)
  QString dataHome;     // $XDG_DATA_HOME or ~/.local/share
  QString configHome;   // $XDG_CONFIG_HOME or ~/.config
  bool runUpdateTools = true;
  // The system-wide entry of an installed copy of the reader, when that copy
  // is the running program (see findSystemEntry); empty otherwise. Then the
  // system's entry, file type, icons and thumbnailer serve the user: only the
  // default association is written, and copies the user already holds from a
  // start elsewhere are pointed at this program.
  QString systemEntry;

  static DesktopIntegration forCurrentUser(const QString& executable);
  QStringList install() const;

  static constexpr const char* kMimeType = "application/x-orvalen-report";
  static constexpr const char* kDesktopId = "orvalen-reader.desktop";
  // Quotes a path for an Exec key: double quotes, with \, ", ` and $ escaped
  // (and the escaping backslash doubled, as the desktop entry format asks).
  static QString quoteExec(const QString& path);
  // A value of a key file's string key (TryExec, Name): escaped, not quoted.
  static QString keyFileString(const QString& text);

  // The first applications/orvalen-reader.desktop in `dataDirs` (the order of
  // $XDG_DATA_DIRS, the order the desktop looks in), when its Exec starts
  // `executable`; empty otherwise, as for a program run from a build folder.
  static QString findSystemEntry(const QString& executable, const QStringList& dataDirs);
  // The program an entry's Exec line starts, quoting and escapes undone.
  static QString execProgram(const QString& execValue);

 private:
  QStringList installBesideSystemEntry() const;
};

}  // namespace orv
