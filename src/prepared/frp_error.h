#pragma once
#include <QString>
#include <exception>
#include <string>

#include "platform/error.h"

namespace orv {

// A prepared-report file that could not be read or written; the message names
// the file and the reason.
class PreparedFileError : public Error {
 public:
  PreparedFileError(std::string file, const std::string& reason)
      : Error(file + ": " + reason), file(std::move(file)), reason(reason) {}
  std::string file;
  std::string reason;
};

// The reader's reasons in Portuguese, for the viewer, whose user reads no
// English; frptool keeps them as they are. Reasons it does not know stay as
// they are too.
QString portugueseReason(const std::string& reason);
// An error as the viewer shows it: the file, when the error names one, and
// the reason in Portuguese.
QString portugueseMessage(const std::exception& e);

}  // namespace orv
