#pragma once
#include <stdexcept>
#include <string>

namespace orv {

// Every failure the system reports is an exception carrying the message text
// that the user (or the command-line tool) gets to see.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace orv
