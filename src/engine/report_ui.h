#pragma once
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
};

}  // namespace orv
