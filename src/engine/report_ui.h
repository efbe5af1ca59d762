#pragma once
#include <functional>
#include <string>

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
  // Asks for the password of a protected template. False when the person
  // declined; `password` holds what was entered otherwise.
  virtual bool AskPassword(std::string& password) = 0;
  // Runs a report's preparation inside a progress window with a Cancel
  // button; false when the person cancelled. Without a window the pass just
  // runs.
  virtual bool RunWithProgress(const std::string& caption, const std::string& label,
                               const std::function<void()>& pass) {
    pass();
    return true;
  }
  // Shows how far the preparation is; false when the person asked to stop.
  virtual bool Progress(const std::string& label) { return true; }
};

}  // namespace orv
