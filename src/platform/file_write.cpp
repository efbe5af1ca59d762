#include "platform/file_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <vector>

namespace orv {

namespace {

// A write-only device over a file descriptor that keeps the system's reason
// of the first failed write, which Qt's buffered files may lose on the way.
// Writers hand over their output in pieces of a few bytes to a few kilobytes
// (a saved report writes two per page); those are gathered here and reach the
// system in large writes, since a call into the kernel per piece cost more
// than the rest of the saving. `finish` writes what is left, and only then is
// `failure` final.
class DescriptorDevice : public QIODevice {
 public:
  explicit DescriptorDevice(int fd) : fd_(fd) {
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
  }
  int failure() const { return errno_; }
  void finish() {
    if (!pending_.empty() && !errno_) writeAll(pending_.data(), pending_.size());
    pending_.clear();
  }

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 size) override {
    if (errno_) return -1;
    const size_t n = size_t(size);
    if (pending_.size() + n > kGather) {
      finish();
      if (errno_) return -1;
    }
    if (n >= kGather) {
      if (!writeAll(data, n)) return -1;
    } else {
      pending_.insert(pending_.end(), data, data + n);
    }
    return size;
  }

 private:
  static constexpr size_t kGather = size_t(128) << 10;

  bool writeAll(const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
      const ssize_t n = ::write(fd_, data + done, size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        errno_ = n < 0 ? errno : ENOSPC;
        setErrorString(QString::fromLocal8Bit(std::strerror(errno_)));
        return false;
      }
      done += size_t(n);
    }
    return true;
  }

  int fd_;
  int errno_ = 0;
  std::vector<char> pending_;
};

// Writes into something that is no regular file (a pipe, /dev/stdout, a
// terminal) as it stands: it cannot be replaced, and has nothing to keep.
// An empty regular file is written in place too, and emptied again when the
// write fails or is cancelled, so that it is left as it was.
bool writeInPlace(const std::string& path, const std::function<bool(QIODevice&)>& write,
                  bool emptyFile) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) throw FileWriteError(path, errno);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  DescriptorDevice device(fd);
  const auto undo = [&] {
    if (emptyFile && ::ftruncate(fd, 0) != 0) {
      // The failure being reported already says what went wrong.
    }
  };
  bool complete = false;
  try {
    complete = write(device);
    if (complete) device.finish();
  } catch (...) {
    undo();
    if (device.failure()) throw FileWriteError(path, device.failure());
    throw;
  }
  if (device.failure()) {
    undo();
    throw FileWriteError(path, device.failure());
  }
  if (!complete) undo();
  // Some file systems report a full disk only when the data is flushed.
  if (complete && emptyFile && ::fsync(fd) != 0) {
    const int error = errno;
    undo();
    throw FileWriteError(path, error);
  }
  return complete;
}

}  // namespace

bool replaceFile(const std::string& path, const std::function<bool(QIODevice&)>& write) {
  if (struct stat st{}; ::stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return writeInPlace(path, write, false);
    // An empty file has nothing to keep, and whoever made it may read it back
    // through the descriptor it holds, as thumbnail services do with the file
    // they hand a thumbnailer: a file renamed over it would never be seen.
    if (st.st_size == 0) return writeInPlace(path, write, true);
  }
  // A link is followed, so the file it points at is the one replaced.
  std::string target = path;
  if (QFileInfo info(QFile::decodeName(path.c_str())); info.isSymLink() && info.exists())
    target = QFile::encodeName(info.canonicalFilePath()).toStdString();
  std::string temp = target + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) throw FileWriteError(path, errno);
  // Whatever happens below, the temporary goes unless it became the file.
  struct Temporary {
    int fd;
    const std::string& name;
    bool kept = false;
    ~Temporary() {
      if (fd >= 0) ::close(fd);
      if (!kept) ::unlink(name.c_str());
    }
  } guard{fd, temp};
  auto fail = [&](int error) { throw FileWriteError(path, error); };

  bool complete = false;
  {
    DescriptorDevice device(fd);
    try {
      complete = write(device);
      if (complete) device.finish();
    } catch (...) {
      if (device.failure()) fail(device.failure());  // the cause, not what the writer made of it
      throw;
    }
    // A write error (ENOSPC) is reported even when the writer gave up because
    // of it; only a writer that stopped on its own has cancelled.
    if (device.failure()) fail(device.failure());
  }
  if (!complete) return false;
  // The new file takes the old one's permissions, or those a new file gets.
  struct stat st {};
  mode_t mode = 0;
  if (::stat(target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (::fchmod(fd, mode) != 0) fail(errno);
  // Some file systems report a full disk only when the data is flushed.
  if (::fsync(fd) != 0) fail(errno);
  const int closed = ::close(guard.fd);
  guard.fd = -1;
  if (closed != 0) fail(errno);
  if (::rename(temp.c_str(), target.c_str()) != 0) fail(errno);
  guard.kept = true;
  return true;
}

}  // namespace orv
