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

  static DesktopIntegration forCurrentUser(const QString& executable);
  QStringList install() const;

  static constexpr const char* kMimeType = "application/x-orvalen-report";
  static constexpr const char* kDesktopId = "orvalen-reader.desktop";
  // Quotes a path for an Exec key: double quotes, with \, ", ` and $ escaped
  // (and the escaping backslash doubled, as the desktop entry format asks).
  static QString quoteExec(const QString& path);
  // A value of a key file's string key (TryExec, Name): escaped, not quoted.
  static QString keyFileString(const QString& text);
};

}  // namespace orv
