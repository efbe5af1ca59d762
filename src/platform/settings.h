#pragma once
#include <QString>
#include <memory>

class QSettings;

namespace orv {

// The per-user key of the preview: "ReportEngine" / the application's title,
// in the user's configuration folder. Everything the reader remembers between
// runs (folders, zoom, window geometry, recent files) lives under it.
std::unique_ptr<QSettings> previewSettings();

// The reader's own key, whichever program asks: frptool prints with the
// choices the user made for a printer in the reader.
inline constexpr const char* kReaderTitle = "Sistema Orvalen Report Reader";
std::unique_ptr<QSettings> readerSettings();

// The folder the open and save dialogs start in: the one last used, or the
// user's documents folder the first time.
QString lastDialogFolder();
// Remembers the folder of a file the user picked in a dialog.
void rememberDialogFolder(const QString& pickedFile);

}  // namespace orv
