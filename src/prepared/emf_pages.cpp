#include "prepared/emf_pages.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "model/state.h"
#include "platform/color.h"
#include "platform/file_write.h"
#include "platform/temp_file.h"
#include "prepared/compressor.h"
#include "prepared/frp_error.h"

namespace orv {

namespace {

constexpr uint8_t kTypePicture = 1;
constexpr uint8_t kPictureKindMetafile = 2;

// Smallest page record of each layout, used to check a page count against the
// bytes that remain before anything is allocated for it.
constexpr size_t kMinRecordOld = 4 + 2 + 4 + 4 + 1 + 1;
constexpr size_t kMinRecordNew = kMinRecordOld + 4 + 16;

[[noreturn]] void refuse(FrpProblem problem) {
  throw PreparedError(std::move(problem));
}

// The problem a lower layer's error stands for, as the page's at `index`.
FrpProblem pageProblem(int index, const std::exception& e) {
  FrpProblem p = problemOf(e);
  p.page = index + 1;
  return p;
}

// A compressed page is a 4-byte size and blocks that each decode to at most
// 32,768 bytes. Counting the block headers bounds what the page can expand to
// without decoding it, so a hostile page is refused before it costs memory.
size_t compressedUpperBound(const uint8_t* p, size_t n) {
  if (n < 4) return 0;
  size_t pos = 4, blocks = 0;
  while (pos + 2 <= n) {
    const size_t m = size_t(p[pos]) | (size_t(p[pos + 1]) << 8);
    pos += 2 + m;
    ++blocks;
  }
  return blocks * lzrw::kBlockSize;
}

// `page` counts from 1; 0 leaves the page for the caller to name.
void refuseOverlong(const uint8_t* p, size_t n, int page) {
  if (compressedUpperBound(p, n) > kMaxPageBytes + lzrw::kBlockSize)
    refuse(FrpProblem(FrpReason::PageWouldExpandTooFar)
               .onPage(page)
               .beyond(int64_t(kMaxPageBytes >> 20)));
}

// The page count, checked against the bytes left for records of at least
// `minRecord` bytes and against the most pages a report may hold.
template <class Stream>
int32_t readPageCount(Stream& s, size_t minRecord) {
  const int32_t count = s.readI32("page count");
  if (count < 0 || size_t(count) > s.remaining() / minRecord)
    refuse(FrpProblem(FrpReason::PageCountDoesNotFit).found(count));
  if (count > kMaxPages) refuse(FrpProblem(FrpReason::TooManyPages).found(count).beyond(kMaxPages));
  return count;
}

// A page record up to its data: the end offset, the paper, and from version 24
// on the bin and margins (older layouts have neither: bin -1, margins zero).
// Returns the end offset, checked to lie between here and the end of the file.
template <class Stream>
size_t readPageRecord(Stream& s, PageFormat& e, int version, int index) {
  const int32_t end = s.readI32("page end offset");
  e.PaperSize = s.readU16("paper size");
  e.PaperWidth = s.readI32("paper width");
  e.PaperHeight = s.readI32("paper height");
  e.Orientation = s.readU8("orientation");
  e.Bin = version >= 24 ? s.readI32("paper bin") : -1;
  e.UseMargins = s.readU8("margins flag");
  if (version >= 24) {
    e.Margins.left = s.readI32("margins");
    e.Margins.top = s.readI32("margins");
    e.Margins.right = s.readI32("margins");
    e.Margins.bottom = s.readI32("margins");
  }
  if (end < 0 || size_t(end) < s.position() || size_t(end) > s.size())
    refuse(FrpProblem(FrpReason::EndOffsetOutside).onPage(index + 1).found(end));
  return size_t(end);
}

// Unpacks a page's data into its object stream through the process-wide
// compressor, for compressors other than the built-in one.
void unpackWithCurrentCompressor(MemoryStream& objects, const uint8_t* data, size_t n, int index) {
  // The size the writer recorded is a hint only, used to size the page's
  // stream once instead of growing it block by block.
  if (n >= 4) {
    uint32_t declared;
    std::memcpy(&declared, data, 4);
    objects.reserve(std::min<size_t>(declared, kMaxPageBytes));
  }
  MemoryStream packed(std::vector<uint8_t>(data, data + n));
  try {
    currentCompressor().Decompress(packed, objects);
  } catch (const Error& err) {
    refuse(pageProblem(index, err));
  }
  objects.rewind();
}

// A packed page to be checked, and what the check found.
struct PackedCheck {
  int page = 0;
  const uint8_t* data = nullptr;
  size_t size = 0;  // the page's bytes up to its end offset
  size_t used = 0;
  size_t unpacked = 0;
  std::optional<FrpProblem> error;
};

// Walks every packed page as the decoder would, without writing anything, so
// that a damaged page is refused at load, as it would be if it were unpacked
// there, without any page being held unpacked. Pages are independent of each
// other (decoding touches no shared state), so the cores share the work.
void checkPackedPages(std::vector<PackedCheck>& checks) {
  size_t bytes = 0;
  for (const PackedCheck& c : checks) bytes += c.size;
  // Below this much a thread costs more than it saves.
  constexpr size_t kBytesPerThread = size_t(512) << 10;
  const size_t cores = std::max(1u, std::thread::hardware_concurrency());
  const size_t threads = std::clamp<size_t>(bytes / kBytesPerThread, 1, std::min<size_t>(cores, 8));
  auto work = [&](size_t from, size_t to) {
    for (size_t k = from; k < to; ++k) {
      PackedCheck& c = checks[k];
      try {
        c.used = lzrw::checkStream(c.data, c.size, c.unpacked);
      } catch (const Error& err) {
        c.error = pageProblem(c.page, err);
      }
    }
  };
  if (threads == 1) return work(0, checks.size());
  // Contiguous runs of pages holding about the same number of bytes each.
  std::vector<std::jthread> pool;
  size_t from = 0, acc = 0, next = 1;
  for (size_t k = 0; k < checks.size(); ++k) {
    acc += checks[k].size;
    if (next < threads && acc >= bytes * next / threads) {
      ++next;
      try {
        pool.emplace_back(work, from, k + 1);
        from = k + 1;
      } catch (const std::system_error&) {
        // No thread to be had: these pages are left to this one.
      }
    }
  }
  work(from, checks.size());
}

// The object stream of a page that holds one metafile: a picture view covering
// the whole paper, in the prepared record form.
void writeMetafilePicture(MemoryStream& s, const PrinterInfo& info,
                          std::span<const uint8_t> metafile) {
  s.writeU8(kPreparedStreamVersion);
  s.writeU8(kTypePicture);
  writeString(s, "");  // name
  s.writeU8(2);        // record version major
  s.writeU8(0);        // record version minor
  s.writeI32(0);
  s.writeI32(0);
  s.writeI32(info.PaperWidthPx);
  s.writeI32(info.PaperHeightPx);
  s.writeU16(5);  // flags: stretched, keep aspect
  s.writeU16(0);  // no frame edges
  s.writeI32(1);  // frame width 1
  s.writeI32(0);  // frame colour
  s.writeU16(0);  // frame style
  s.writeI32(int32_t(clNone));
  writeStringList(s, {});  // text
  s.writeU16(0);           // restrictions
  writeString(s, "");      // tag
  s.writeI32(2);           // gaps
  s.writeI32(1);
  s.writeU8(0);  // band alignment
  s.writeU8(kPictureKindMetafile);
  s.writeU8(0);  // blob type
  const size_t endPos = s.position() + 4 + metafile.size();
  s.writeU32(static_cast<uint32_t>(endPos));
  s.write(metafile);
}

// A report read from memory: its pages are copied out of the stream's bytes,
// which the source takes over once the load has checked them.
class MemorySource : public PageSource {
 public:
  void copy(size_t offset, size_t n, uint8_t* out) const override {
    if (offset > bytes.size() || n > bytes.size() - offset)
      throw PreparedError(FrpProblem(FrpReason::PageDataOutOfRange));
    std::memcpy(out, bytes.data() + offset, n);
  }
  std::vector<uint8_t> bytes;
};

// Reads exactly n bytes at offset of a file, or raises the reason it could
// not; `shortReason` when the file ends before them.
void readExactly(int fd, size_t offset, size_t n, uint8_t* out, FrpReason shortReason) {
  while (n > 0) {
    const ssize_t got = ::pread(fd, out, n, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw PreparedError(FrpProblem(FrpReason::ReadFailed).because(errno));
    if (got == 0) throw PreparedError(FrpProblem(shortReason));
    out += got;
    offset += size_t(got);
    n -= size_t(got);
  }
}

// A report read from its file, kept open so that pages are read back only when
// they are needed. A file changed in place since the load is noticed and the
// page refused, rather than drawn from bytes that were never checked; a file
// replaced or deleted keeps the version that was opened.
class FileSource : public PageSource {
 public:
  FileSource(int fd, const struct stat& st) : fd_(fd), st_(st) {}
  ~FileSource() override { ::close(fd_); }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  size_t size() const { return static_cast<size_t>(st_.st_size); }

  void copy(size_t offset, size_t n, uint8_t* out) const override {
    struct stat now;
    if (::fstat(fd_, &now) != 0 || now.st_size != st_.st_size ||
        now.st_mtim.tv_sec != st_.st_mtim.tv_sec || now.st_mtim.tv_nsec != st_.st_mtim.tv_nsec)
      throw PreparedError(FrpProblem(FrpReason::FileChanged));
    readAt(offset, n, out);
  }

  // Reads exactly n bytes at offset, or raises the reason it could not.
  void readAt(size_t offset, size_t n, uint8_t* out) const {
    readExactly(fd_, offset, n, out, FrpReason::FileChanged);
  }

 private:
  int fd_;
  struct stat st_;
};

// The loader reads through a cursor: a stream in memory, or a file read through
// a window, so that a large report is never held in memory whole. Both raise
// the same errors for data that runs short. `peek` gives the next n bytes
// without moving on; they stay valid until the window next moves, which it
// announces first.
class MemoryCursor {
 public:
  explicit MemoryCursor(MemoryStream& s) : s_(s) {}
  size_t size() const { return s_.size(); }
  size_t position() const { return s_.position(); }
  size_t remaining() const { return s_.remaining(); }
  void seek(size_t pos) { s_.seek(pos); }
  void skip(size_t n, const char* what) { s_.skip(n, what); }
  uint8_t readU8(const char* what) { return s_.readU8(what); }
  uint16_t readU16(const char* what) { return s_.readU16(what); }
  int32_t readI32(const char* what) { return s_.readI32(what); }
  std::span<const uint8_t> readSpan(size_t n, const char* what) { return s_.readSpan(n, what); }
  const uint8_t* peek(size_t n, const char* what) {
    if (n > s_.remaining()) s_.fail(what);
    return s_.data() + s_.position();
  }
  void beforeMove(std::function<void()>) {}  // everything is in memory already
  MemoryStream& inMemory() { return s_; }

 private:
  MemoryStream& s_;
};

class FileCursor {
 public:
  // `window` is how much one read fetches ahead: much for a load that reads
  // every page, little for one that only needs the records around them.
  FileCursor(const FileSource& file, size_t window)
      : file_(file), size_(file.size()), windowSize_(window) {}
  size_t size() const { return size_; }
  size_t position() const { return pos_; }
  size_t remaining() const { return pos_ < size_ ? size_ - pos_ : 0; }
  void seek(size_t pos) {
    if (pos > size_) fail("seek target");
    pos_ = pos;
  }
  void skip(size_t n, const char* what) {
    if (n > remaining()) fail(what);
    pos_ += n;
  }
  uint8_t readU8(const char* what) { return *readSpan(1, what).data(); }
  uint16_t readU16(const char* what) {
    const uint8_t* p = readSpan(2, what).data();
    return static_cast<uint16_t>(p[0] | p[1] << 8);
  }
  int32_t readI32(const char* what) {
    const uint8_t* p = readSpan(4, what).data();
    return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                                uint32_t(p[3]) << 24);
  }
  std::span<const uint8_t> readSpan(size_t n, const char* what) {
    const uint8_t* p = peek(n, what);
    pos_ += n;
    return {p, n};
  }
  const uint8_t* peek(size_t n, const char* what) {
    if (n > remaining()) fail(what);
    if (pos_ < winStart_ || pos_ + n > winStart_ + winLen_) fill(n);
    return window_.get() + (pos_ - winStart_);
  }
  void beforeMove(std::function<void()> f) { beforeMove_ = std::move(f); }
  // The whole file as a stream at the cursor's position, for the older
  // metafile layout, which is small and read from memory.
  MemoryStream& inMemory() {
    std::vector<uint8_t> bytes(size_);
    file_.readAt(0, size_, bytes.data());
    whole_ = MemoryStream(std::move(bytes));
    whole_.seek(pos_);
    return whole_;
  }

 private:
  void fill(size_t n) {
    if (beforeMove_) beforeMove_();
    const size_t len = std::min(std::max(n, windowSize_), size_ - pos_);
    if (len > capacity_) {
      window_ = std::make_unique_for_overwrite<uint8_t[]>(len);
      capacity_ = len;
    }
    winLen_ = 0;  // nothing valid should the read fail
    file_.readAt(pos_, len, window_.get());
    winStart_ = pos_;
    winLen_ = len;
  }
  [[noreturn]] void fail(const char* what) const { throw StreamError(what, pos_); }

  const FileSource& file_;
  size_t size_;
  size_t windowSize_;
  size_t pos_ = 0;
  std::unique_ptr<uint8_t[]> window_;
  size_t capacity_ = 0, winStart_ = 0, winLen_ = 0;
  std::function<void()> beforeMove_;
  MemoryStream whole_;
};

}  // namespace

// Packed pages of a long run, kept in an unnamed temporary file and read back
// like the pages of a report opened from its file. Room is taken from the file
// system ahead of the writes, so a full disk is found when a page is added,
// not later when a page written in the kernel's cache could not be stored.
class SpillFile : public PageSource {
 public:
  SpillFile() : folder_(temporaryFolder()) {
    try {
      fd_ = openUnnamedTemporaryFile();
    } catch (const FileWriteError& e) {
      fail(e.error);
    }
  }
  ~SpillFile() override { ::close(fd_); }
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  size_t size() const { return end_; }

  // Writes the bytes after the last ones and returns where they start.
  size_t append(const uint8_t* p, size_t n) {
    if (end_ + n > reserved_) {
      // A megabyte at a time keeps the calls rare and the room taken small.
      constexpr size_t kStep = size_t(1) << 20;
      const size_t want = (end_ + n + kStep - 1) / kStep * kStep;
      const int err = ::posix_fallocate(fd_, static_cast<off_t>(reserved_),
                                        static_cast<off_t>(want - reserved_));
      if (err != 0) {
        // Whatever part of the room was taken goes back.
        if (::ftruncate(fd_, static_cast<off_t>(end_)) == 0) reserved_ = end_;
        fail(err);
      }
      reserved_ = want;
    }
    const size_t at = end_;
    size_t done = 0;
    while (done < n) {
      const ssize_t put = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(at + done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) fail(put < 0 ? errno : EIO);
      done += size_t(put);
    }
    end_ += n;
    return at;
  }

  void copy(size_t offset, size_t n, uint8_t* out) const override {
    if (offset > end_ || n > end_ - offset)
      throw PreparedError(FrpProblem(FrpReason::PageDataOutOfRange));
    readExactly(fd_, offset, n, out, FrpReason::PageDataOutOfRange);
  }

 private:
  [[noreturn]] void fail(int error) const {
    throw PreparedError(FrpProblem(FrpReason::TemporaryFileFailed).about(folder_).because(error));
  }

  std::string folder_;
  int fd_ = -1;
  size_t end_ = 0;
  size_t reserved_ = 0;
};

void TfrEMFPages::Clear() {
  // At once: taking the first page off again and again moved the whole
  // table each time, hours for a run stopped at a million pages.
  pages_.clear();
  formats_.clear();
  fileInfo_.path.clear();
  spill_.reset();
  packedInMemory_ = 0;
}

size_t TfrEMFPages::SpilledBytes() const {
  return spill_ ? spill_->size() : 0;
}

PreparedPage& TfrEMFPages::appendEntry() {
  return pages_.append();
}

// A run stopped at the page limit holds a million of these: each byte here is
// a megabyte there.
static_assert(sizeof(void*) != 8 || sizeof(PreparedPage) <= 80);

void PageTable::outOfRange() {
  throw std::out_of_range("prepared page index");
}

PreparedPage& PageTable::append() {
  if (size_ == blocks_.size() * kBlock) blocks_.push_back(std::make_unique<PreparedPage[]>(kBlock));
  return (*this)[size_++];
}

PreparedPage& PageTable::insert(size_t index) {
  append();
  for (size_t i = size_ - 1; i > index; --i) (*this)[i] = std::move((*this)[i - 1]);
  return (*this)[index] = PreparedPage();
}

void PageTable::erase(size_t index) {
  for (size_t i = index; i + 1 < size_; ++i) (*this)[i] = std::move((*this)[i + 1]);
  (*this)[--size_] = PreparedPage();
  if (size_ % kBlock == 0) blocks_.pop_back();
}

void PageTable::clear() {
  blocks_.clear();
  size_ = 0;
}

const PageFormat& PreparedPage::blankFormat() {
  static const PageFormat blank;
  return blank;
}

void TfrEMFPages::Add(int index, const PageSetup& page) {
  PageFormat format;
  format.PaperSize = static_cast<uint16_t>(page.paper.size);
  format.PaperWidth = page.paper.width;
  format.PaperHeight = page.paper.height;
  format.Orientation = static_cast<uint8_t>(page.paper.orientation);
  format.Bin = page.paper.bin;
  format.UseMargins = page.useMargins ? 1 : 0;
  format.Margins = page.margins;
  format.PrinterInfo = page.info;
  PreparedPage e;
  e.format_ = formats_.intern(format);
  e.Objects().writeU8(kPreparedStreamVersion);
  modelState().StreamVersion = kPreparedStreamVersion;
  if (index >= 0 && index < Count())
    pages_.insert(size_t(index)) = std::move(e);
  else
    pages_.append() = std::move(e);
}

void TfrEMFPages::AddPage(const PageSetup& page) {
  Add(Count(), page);
  if (Parent) Parent->pageAdded(Count());
}

void TfrEMFPages::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  pages_.erase(size_t(index));
}

void TfrEMFPages::SetFormat(int index, const PageFormat& format) {
  Entry(index).format_ = formats_.intern(format);
}

void TfrEMFPages::pushPaper(PreparedPage& e, PageFormat format) {
  PrinterModel& printer = sharedPrinter();
  printer.SetPaper(format.PaperSize, format.PaperWidth, format.PaperHeight, format.Orientation,
                   format.Bin, false);
  printer.FillPrinterInfo(format.PrinterInfo);
  e.format_ = formats_.intern(format);
}

void TfrEMFPages::Pack(int index) {
  PreparedPage& e = Entry(index);
  if (e.Stored || e.ObjectPage()) return;
  // Always the built-in codec: these bytes never leave the store except
  // through the reading above, which only knows that one.
  TLZWCompressor codec;
  MemoryStream& objects = e.Objects();
  // Sizes are kept in 32 bits; a page beyond them (far past what a run
  // allows) stays as it is.
  if (objects.size() > UINT32_MAX) return;
  objects.rewind();
  MemoryStream packed;
  codec.Compress(objects, packed);
  const size_t n = packed.size();
  if (n > UINT32_MAX) return;
  // Besides its bytes, a page kept in memory holds a source of its own and
  // two allocations. A page of a line or two packs to less than that, and a
  // run of such pages would otherwise hold several times the threshold.
  constexpr size_t kSourceCost = sizeof(MemorySource) + 64;
  if (packedInMemory_ + n + kSourceCost > SpillThreshold) {
    if (!spill_) spill_ = std::make_shared<SpillFile>();
    e.Stored.offset = spill_->append(packed.data(), n);
    e.Stored.source = spill_;
  } else {
    auto source = std::make_shared<MemorySource>();
    source->bytes = packed.takeBytes();
    // Kept for the rest of the run: the stream's spare room would be a third
    // of a long report's memory.
    source->bytes.shrink_to_fit();
    packedInMemory_ += n + kSourceCost;
    e.Stored.offset = 0;
    e.Stored.source = std::move(source);
  }
  e.Stored.size = uint32_t(n);
  e.Stored.unpackedSize = uint32_t(objects.size());
  e.Stored.packed = true;
  e.live_.reset();
}

PreparedPage::Live& PreparedPage::live() {
  if (!live_) live_ = std::make_unique<Live>();
  return *live_;
}

void PreparedPage::dropLiveIfEmpty() {
  if (live_ && !live_->page && live_->stream.bytes().capacity() == 0) live_.reset();
}

void PreparedPage::ReleaseObjects() {
  if (!live_) return;
  live_->page.reset();
  live_->error.reset();
  dropLiveIfEmpty();
}

MemoryStream& PreparedPage::takeObjects() {
  if (Stored) {
    MemoryStream copy = ObjectsCopy();
    live().stream = std::move(copy);
    Stored = {};
  }
  return live().stream;
}

MemoryStream PreparedPage::ObjectsCopy() const {
  if (!Stored) return live_ ? MemoryStream(live_->stream.bytes()) : MemoryStream();
  std::vector<uint8_t> bytes(Stored.size);
  Stored.source->copy(Stored.offset, Stored.size, bytes.data());
  if (!Stored.packed) return MemoryStream(std::move(bytes));
  // Decoding finds the same damage as the check at load, so an unchecked page
  // is checked by this first read; only its bound comes first.
  if (Stored.unchecked) refuseOverlong(bytes.data(), bytes.size(), 0);
  std::vector<uint8_t> out;
  // Unchecked, the size is a guess: these pages pack to about a third.
  out.reserve(Stored.unchecked ? std::min(compressedUpperBound(bytes.data(), bytes.size()),
                                          size_t(Stored.size) * 4)
                               : Stored.unpackedSize);
  auto scratch = std::make_unique_for_overwrite<uint8_t[]>(lzrw::kBlockSize);
  const size_t used = lzrw::decodeStream(
      bytes.data(), bytes.size(), scratch.get(),
      [&](const uint8_t* block, size_t count) { out.insert(out.end(), block, block + count); });
  if (Stored.unchecked) {
    Stored.size = uint32_t(used);
    Stored.unpackedSize = uint32_t(out.size());
    Stored.unchecked = false;
  }
  return MemoryStream(std::move(out));
}

const StoredObjects& PreparedPage::CheckedStore() const {
  if (Stored && Stored.unchecked) {
    std::vector<uint8_t> bytes(Stored.size);
    Stored.source->copy(Stored.offset, Stored.size, bytes.data());
    refuseOverlong(bytes.data(), bytes.size(), 0);
    size_t unpacked = 0;
    Stored.size = uint32_t(lzrw::checkStream(bytes.data(), bytes.size(), unpacked));
    Stored.unpackedSize = uint32_t(unpacked);
    Stored.unchecked = false;
  }
  return Stored;
}

size_t PreparedPage::ObjectsSize() const {
  if (Stored) return CheckedStore().unpackedSize;
  return live_ ? live_->stream.size() : 0;
}

MemoryStream TfrEMFPages::objectsCopy(int index) const {
  const PreparedPage& e = Entry(index);
  if (!e.Stored.unchecked) return e.ObjectsCopy();
  try {
    return e.ObjectsCopy();
  } catch (const Error& err) {
    pageError(index, err);
  }
}

const StoredObjects& TfrEMFPages::checkedStore(int index) const {
  const PreparedPage& e = Entry(index);
  if (!e.Stored.unchecked) return e.Stored;
  try {
    return e.CheckedStore();
  } catch (const Error& err) {
    pageError(index, err);
  }
}

void TfrEMFPages::pageError(int index, const Error& err) const {
  if (fileInfo_.path.empty()) throw PreparedError(pageProblem(index, err));
  throw PreparedFileError(fileInfo_.path, pageProblem(index, err));
}

void TfrEMFPages::LoadFromStream(MemoryStream& s, PageCheck check) {
  auto source = std::make_shared<MemorySource>();
  MemoryCursor cursor(s);
  loadFrom(cursor, source, check);
  // The pages point into the source, which takes a copy of the caller's bytes
  // once they are all checked.
  if (source.use_count() > 1) {
    try {
      source->bytes = s.bytes();
    } catch (const std::bad_alloc&) {
      Clear();
      throw PreparedError(FrpProblem(FrpReason::NoMemoryForReport));
    }
  }
}

template <class Cursor>
void TfrEMFPages::loadFrom(Cursor& s, const std::shared_ptr<const PageSource>& source,
                           PageCheck check) {
  Clear();
  fileInfo_ = FileInfo();
  const size_t start = s.position();
  try {
    const uint8_t first = s.readU8("file version");
    int version = 0;
    if (first >= 24 && first <= 31) {
      version = first;
    } else {
      // No version byte: the first byte is already the compression flag.
      s.seek(start);
    }
    const uint8_t flag = s.readU8("compression flag");
    fileInfo_.version = version;
    fileInfo_.compressionFlag = flag;
    if (flag != 0 && flag != 1 && flag != 255) {
      s.seek(start);
      loadMetafileFormat(s.inMemory());
    } else {
      loadPages(s, version, flag != 0, source, check);
    }
  } catch (const Error& e) {
    Clear();
    throw PreparedError(problemOf(e));
  } catch (const std::bad_alloc&) {
    Clear();
    throw PreparedError(FrpProblem(FrpReason::NoMemoryForReport));
  }
}

template <class Cursor>
void TfrEMFPages::loadPages(Cursor& s, int version, bool compressed,
                            const std::shared_ptr<const PageSource>& source, PageCheck check) {
  const uint16_t nameLen = s.readU16("printer name length");
  auto name = s.readSpan(nameLen, "printer name");
  s.skip(1, "printer name terminator");
  fileInfo_.printerName.assign(name.begin(), name.end());
  selectPrinterByName(fileInfo_.printerName);

  const int32_t count = readPageCount(s, version >= 24 ? kMinRecordNew : kMinRecordOld);

  // Pages stay packed where they were read from when the built-in compressor
  // reads them; a compressor plugged in its place, or one with hooks to call,
  // is asked to unpack each page here as it always was.
  auto* builtIn = dynamic_cast<TLZWCompressor*>(&currentCompressor());
  const bool keepPacked =
      compressed && builtIn && !builtIn->OnBeforeDecompress && !builtIn->OnAfterDecompress;

  size_t total = 0;
  auto checkTotal = [&] {
    if (total > kMaxReportBytes)
      refuse(FrpProblem(FrpReason::PagesNeedTooMuchMemory).beyond(int64_t(kMaxReportBytes >> 30)));
  };
  // Packed pages are checked in batches, while their bytes are at hand.
  std::vector<PackedCheck> pending;
  auto checkPending = [&] {
    if (pending.empty()) return;
    std::vector<PackedCheck> done = std::move(pending);
    pending.clear();
    checkPackedPages(done);
    for (const PackedCheck& c : done) {
      if (c.error) refuse(*c.error);
      StoredObjects& st = pages_[size_t(c.page)].Stored;
      st.size = uint32_t(c.used);
      st.unpackedSize = uint32_t(c.unpacked);
      total += c.unpacked;
    }
    checkTotal();
  };
  s.beforeMove(checkPending);

  try {
    for (int i = 0; i < count; ++i) {
      PreparedPage& e = appendEntry();
      PageFormat format;
      const size_t end = readPageRecord(s, format, version, i);
      const size_t n = end - s.position();
      if (keepPacked && check == PageCheck::OnUse) {
        // Not even read: the page's first use reads and checks it.
        e.Stored.source = source;
        e.Stored.offset = s.position();
        e.Stored.size = uint32_t(n);
        e.Stored.packed = true;
        e.Stored.unchecked = true;
      } else if (compressed) {
        const uint8_t* data = s.peek(n, "page data");
        refuseOverlong(data, n, i + 1);
        if (keepPacked) {
          e.Stored.source = source;
          e.Stored.offset = s.position();
          e.Stored.packed = true;
          PackedCheck& c = pending.emplace_back();
          c.page = i;
          c.data = data;
          c.size = n;
        } else {
          unpackWithCurrentCompressor(e.Objects(), data, n, i);
          total += e.ObjectsSize();
        }
      } else {
        if (n > kMaxPageBytes)
          refuse(FrpProblem(FrpReason::PageTooLarge)
                     .onPage(i + 1)
                     .beyond(int64_t(kMaxPageBytes >> 20)));
        e.Stored.source = source;
        e.Stored.offset = s.position();
        e.Stored.size = e.Stored.unpackedSize = uint32_t(n);
        total += n;
      }
      checkTotal();
      pushPaper(e, format);
      s.seek(end);
    }
  } catch (const Error&) {
    // A page earlier in the file that is damaged too is the one to name.
    checkPending();
    throw;
  }
  checkPending();
  fileInfo_.generatorVersion = s.readU8("generator version");
  s.beforeMove(nullptr);
  if (Parent) Parent->setGeneratorVersion(fileInfo_.generatorVersion);
}

void TfrEMFPages::loadMetafileFormat(MemoryStream& s) {
  // The printer names of this older layout run up to a 0 byte, separated by CR.
  const uint8_t* begin = s.data() + s.position();
  const void* zero = std::memchr(begin, 0, s.remaining());
  if (!zero) refuse(FrpProblem(FrpReason::EndOfData).about("printer names"));
  const size_t len = static_cast<const uint8_t*>(zero) - begin;
  std::string names(reinterpret_cast<const char*>(begin), len);
  s.skip(len + 1);
  fileInfo_.metafileFormat = true;
  fileInfo_.version = 0;
  fileInfo_.printerName = names.substr(0, names.find('\r'));
  selectPrinterByName(fileInfo_.printerName);

  const int32_t count = readPageCount(s, kMinRecordOld);
  for (int i = 0; i < count; ++i) {
    PreparedPage& e = appendEntry();
    // The records of this layout are those of the version-less one.
    PageFormat format;
    const size_t end = readPageRecord(s, format, 0, i);
    auto metafile = s.readSpan(end - s.position(), "page metafile");
    pushPaper(e, format);
    writeMetafilePicture(e.Objects(), e.Format().PrinterInfo, metafile);
    e.Objects().rewind();
  }
  // This layout carries no generator byte; leave the report's as it is.
}

void TfrEMFPages::selectPrinterByName(const std::string& name) {
  PrinterModel& printer = sharedPrinter();
  if (!Parent || !Parent->printsToDefault()) {
    const auto& list = printer.printerNames();
    auto it = std::find(list.begin(), list.end(), name);
    if (it != list.end()) printer.SelectPrinter(int(it - list.begin()));
  }
  if (Parent) Parent->setPrinterName(name);
}

namespace {

// Where a saved report goes: a stream in memory, or the file being written,
// which then never holds more than one page at a time in memory.
class StreamSink {
 public:
  explicit StreamSink(MemoryStream& s) : s_(s), base_(s.position()) {}
  void put(const uint8_t* p, size_t n) { s_.write(p, n); }
  size_t position() const { return s_.position() - base_; }
  size_t base() const { return base_; }

 private:
  MemoryStream& s_;
  size_t base_;
};

class DeviceSink {
 public:
  explicit DeviceSink(QIODevice& d) : d_(d) {}
  void put(const uint8_t* p, size_t n) {
    // After a failed write the device holds the reason, which the caller
    // reports; writing on would only fill the disk's last bytes again.
    if (!failed_ && d_.write(reinterpret_cast<const char*>(p), qint64(n)) != qint64(n))
      failed_ = true;
    written_ += n;
  }
  size_t position() const { return written_; }
  size_t base() const { return 0; }

 private:
  QIODevice& d_;
  size_t written_ = 0;
  bool failed_ = false;
};

// Bytes of a page record before its data.
constexpr size_t kRecordHead = 4 + 2 + 4 + 4 + 1 + 4 + 1 + 16;

}  // namespace

template <class Sink>
void TfrEMFPages::savePages(Sink& out) {
  TfrCompressor& compressor = currentCompressor();
  const bool compress = compressor.Enabled;
  auto* builtIn = dynamic_cast<TLZWCompressor*>(&compressor);
  const bool passThrough = builtIn && !builtIn->OnBeforeCompress && !builtIn->OnAfterCompress;
  auto put = [&](const MemoryStream& m) { out.put(m.data(), m.size()); };
  MemoryStream head;
  head.writeU8(kPreparedStreamVersion);
  head.writeU8(compress ? 1 : 0);
  writeString(head, sharedPrinter().currentPrinterName());
  head.writeI32(Count());
  put(head);
  for (int i = 0; i < Count(); ++i) {
    PreparedPage& e = pages_[size_t(i)];
    // The page's data first, so that its record can say where it ends.
    MemoryStream data;
    if (e.Stored && e.Stored.packed && compress && passThrough) {
      // Still exactly as the built-in compressor wrote it: written back unchanged.
      const StoredObjects& st = checkedStore(i);
      data.setSize(st.size);
      st.source->copy(st.offset, st.size, data.bytes().data());
    } else {
      MemoryStream copied;
      MemoryStream& objects = e.Stored ? (copied = objectsCopy(i)) : e.Objects();
      objects.rewind();
      if (compress)
        compressor.Compress(objects, data);
      else
        data.write(objects.bytes());
      objects.rewind();
    }
    const size_t end = out.base() + out.position() + kRecordHead + data.size();
    if (end > size_t(INT32_MAX))
      throw PreparedError(FrpProblem(FrpReason::ReportTooLargeForFormat));
    const PageFormat& f = e.Format();
    head = MemoryStream();
    head.writeI32(static_cast<int32_t>(end));
    head.writeU16(f.PaperSize);
    head.writeI32(f.PaperWidth);
    head.writeI32(f.PaperHeight);
    head.writeU8(f.Orientation);
    head.writeI32(f.Bin);
    head.writeU8(f.UseMargins);
    head.writeI32(f.Margins.left);
    head.writeI32(f.Margins.top);
    head.writeI32(f.Margins.right);
    head.writeI32(f.Margins.bottom);
    put(head);
    put(data);
  }
  const uint8_t generator = Parent ? Parent->generatorVersion() : 0;
  out.put(&generator, 1);
}

void TfrEMFPages::SaveToStream(MemoryStream& s) {
  StreamSink sink(s);
  savePages(sink);
}

void TfrEMFPages::LoadFromFile(const std::string& path, PageCheck check) {
  Clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    throw PreparedFileError(path, FrpProblem(FrpReason::SystemError).because(error));
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw PreparedFileError(
        path, FrpProblem(S_ISDIR(st.st_mode) ? FrpReason::IsDirectory : FrpReason::NotRegularFile));
  }
  auto file = std::make_shared<FileSource>(fd, st);
  if (st.st_size > off_t(INT32_MAX))
    throw PreparedFileError(path, FrpProblem(FrpReason::FileTooLarge));
  // Checking every page reads them all, in reads large enough that the pages
  // checked together keep the cores busy between them; otherwise only the
  // page records are needed, and a read need hardly reach past one.
  FileCursor cursor(*file, check == PageCheck::AtLoad ? size_t(16) << 20 : size_t(256));
  try {
    loadFrom(cursor, file, check);  // leaves the store empty when it fails
  } catch (const Error& e) {
    throw PreparedFileError(path, problemOf(e));
  }
  fileInfo_.path = path;
}

void TfrEMFPages::SaveToFile(const std::string& path) {
  // Written beside the target and renamed over it, so a failed save never
  // leaves a half-written report in place of a good one.
  try {
    replaceFile(path, [&](QIODevice& d) {
      DeviceSink sink(d);
      savePages(sink);
      return true;  // a short write is the device's error, which replaceFile raises
    });
  } catch (const FileWriteError& e) {
    throw PreparedFileError(path, problemOf(e));
  }
}

}  // namespace orv
