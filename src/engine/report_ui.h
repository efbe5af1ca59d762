#pragma once
#include <string>

#include "engine/engine_error.h"

namespace orv {

// What the report engine asks of the person in front of it. The engine has no
// windows of its own: the reader answers with dialogs, frptool from its
// command line without ever waiting for input. Texts are in the model's
// 8-bit code page.
class ReportUi {
 public:
  virtual ~ReportUi() = default;
  // An error message box captioned "Erro": `text` is the system's own message,
  // `detail` says which file and what went wrong (may be empty).
  virtual void ShowError(const std::string& text, const std::string& detail) = 0;
  // A template that could not be loaded: `text` is the system's message,
  // `file` the template's file (may be empty), `problem` what went wrong.
  virtual void ShowLoadError(const std::string& text, const std::string& file,
                             const EngineProblem& problem) {
    const std::string reason = englishText(problem);
    ShowError(text, file.empty() ? reason : file + ": " + reason);
  }
  // A run that failed.
  virtual void ShowRunError(const RunFailure& failure) { ShowError(englishText(failure), {}); }
  // Asks for the password of a protected template. False when the person
  // declined; `password` holds what was entered otherwise.
  virtual bool AskPassword(std::string& password) = 0;

  // A script's INPUT: an input box with `caption`, `prompt` and `value` as
  // its default; `value` receives what was entered. Without a window the
  // default stands.
  virtual void InputBox(const std::string& caption, const std::string& prompt, std::string& value) {
  }
  // A script's MESSAGEBOX: `flags` holds the buttons (0 ok, 1 ok/cancel,
  // 3 yes/no/cancel, 4 yes/no) plus the icon (16, 32, 48, 64); the result is
  // the code of the button pressed (1 ok, 2 cancel, 6 yes, 7 no). Without a
  // window the first button is pressed.
  virtual int MessageBox(const std::string& text, const std::string& caption, int flags) {
    return (flags & 0x0F) == 3 || (flags & 0x0F) == 4 ? 6 : 1;
  }
};

}  // namespace orv
