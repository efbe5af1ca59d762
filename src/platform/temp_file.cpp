#include "platform/temp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/file_write.h"

namespace orv {

std::string temporaryFolder() {
  // As it is given, even when it does not exist: the error then names it.
  const char* dir = std::getenv("TMPDIR");
  std::string folder = dir && *dir ? dir : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

int openUnnamedTemporaryFile() {
  const std::string folder = temporaryFolder();
  int fd = -1;
#ifdef O_TMPFILE
  fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd >= 0) return fd;
  // File systems without unnamed files say so with these; anything else
  // (no folder, no permission, no room) is the answer.
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
    throw FileWriteError(folder, errno);
#endif
  std::string name = folder + "/orvalen-paginas-XXXXXX";
  fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) throw FileWriteError(folder, errno);
  ::unlink(name.c_str());
  return fd;
}

}  // namespace orv
