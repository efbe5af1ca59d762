#pragma once
#include <QIODevice>
#include <cstring>
#include <functional>
#include <string>

#include "platform/error.h"

namespace orv {

// A file that could not be written; the reason is the system's own text
// ("No space left on device"), and its number lets the reader put it into
// Portuguese.
class FileWriteError : public Error {
 public:
  FileWriteError(std::string file, int error)
      : Error(file + ": " + std::strerror(error)),
        file(std::move(file)),
        reason(std::strerror(error)),
        error(error) {}
  std::string file;
  std::string reason;
  int error;
};

// Writes PATH through WRITE into a temporary file beside it and renames that
// over PATH only when every byte reached the disk, so a full disk or a failed
// writer leaves whatever was at PATH as it was and no temporary behind.
// An empty file at PATH, or one that is no regular file (a pipe), is written
// where it stands instead, and an empty one is emptied again on failure.
// WRITE returns false to cancel (nothing is written, replaceFile returns
// false) unless the file itself failed, which raises FileWriteError;
// exceptions WRITE raises pass through after the temporary is removed.
bool replaceFile(const std::string& path, const std::function<bool(QIODevice&)>& write);

}  // namespace orv
