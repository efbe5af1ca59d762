#pragma once

namespace orv {

// Loads Qt's own Brazilian Portuguese texts (its file and page setup
// dialogs, the standard buttons), so that no English shows inside the
// Portuguese program whatever the desktop's language. Returns false when
// the translations are not installed; the program then works in English
// where Qt speaks.
bool installQtTranslations();

}  // namespace orv
