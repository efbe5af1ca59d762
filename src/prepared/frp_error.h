#pragma once
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

}  // namespace orv
