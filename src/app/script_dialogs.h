#pragma once
#include <string>

class QWidget;

namespace orv {

// The dialogs report scripts open (INPUT and MESSAGEBOX), over `parent`.
// Texts are in the model's 8-bit code page.

// An input box; `value` comes in as the default and leaves as what was
// entered (unchanged when the box is cancelled).
void scriptInputBox(QWidget* parent, const std::string& caption, const std::string& prompt,
                    std::string& value);
// A message box with the buttons and icon of `flags`; the code of the button
// pressed (1 ok, 2 cancel, 6 yes, 7 no).
int scriptMessageBox(QWidget* parent, const std::string& text, const std::string& caption,
                     int flags);

}  // namespace orv
