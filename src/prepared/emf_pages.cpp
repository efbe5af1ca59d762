#include "prepared/emf_pages.h"

#include <sys/mman.h>

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cstring>
#include <thread>

#include "model/state.h"
#include "platform/color.h"
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

[[noreturn]] void refuse(const std::string& reason) {
  throw Error(reason);
}

std::string pageLabel(int index) {
  return "page " + std::to_string(index + 1);
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

// A large report is read into memory in one go; backing the buffer with huge
// pages where the system allows turns tens of thousands of page faults into a
// few dozen. Only advice: nothing changes where it is not taken.
void adviseHugePages(void* p, size_t n) {
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t kHuge = uintptr_t(2) << 20;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + n) & ~(kHuge - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)p;
  (void)n;
#endif
}

// A packed page to be checked, and what the check found.
struct PackedCheck {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t used = 0;
  size_t unpacked = 0;
  std::string error;
};

// Walks every packed page as the decoder would, without writing anything, so
// that a damaged page is refused at load, as it would be if it were unpacked
// there, without any page being held unpacked. Pages are independent of each
// other (decoding touches no shared state), so the cores share the work.
void checkPackedPages(std::vector<PackedCheck>& checks) {
  size_t bytes = 0;
  for (const PackedCheck& c : checks) bytes += c.size;
  constexpr size_t kBytesPerThread = size_t(4)
                                     << 20;  // below this a thread costs more than it saves
  const size_t cores = std::max(1u, std::thread::hardware_concurrency());
  const size_t threads = std::clamp<size_t>(bytes / kBytesPerThread, 1, std::min<size_t>(cores, 8));
  auto work = [&](size_t from, size_t to) {
    for (size_t k = from; k < to; ++k) {
      PackedCheck& c = checks[k];
      try {
        c.used = lzrw::checkStream(c.data, c.size, c.unpacked);
      } catch (const Error& err) {
        c.error = err.what();
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
      pool.emplace_back(work, from, k + 1);
      from = k + 1;
      ++next;
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

}  // namespace

void TfrEMFPages::Clear() {
  while (!pages_.empty()) Delete(0);
}

PreparedPage& TfrEMFPages::appendEntry() {
  pages_.push_back(std::make_unique<PreparedPage>());
  return *pages_.back();
}

void TfrEMFPages::Add(int index, const PageSetup& page) {
  auto e = std::make_unique<PreparedPage>();
  e->ObjectStream.writeU8(kPreparedStreamVersion);
  modelState().StreamVersion = kPreparedStreamVersion;
  e->PaperSize = static_cast<uint16_t>(page.paper.size);
  e->PaperWidth = page.paper.width;
  e->PaperHeight = page.paper.height;
  e->Orientation = static_cast<uint8_t>(page.paper.orientation);
  e->Bin = page.paper.bin;
  e->UseMargins = page.useMargins ? 1 : 0;
  e->Margins = page.margins;
  e->PrinterInfo = page.info;
  if (index >= 0 && index < Count())
    pages_.insert(pages_.begin() + index, std::move(e));
  else
    pages_.push_back(std::move(e));
}

void TfrEMFPages::AddPage(const PageSetup& page) {
  Add(Count(), page);
  if (Parent) Parent->pageAdded(Count());
}

void TfrEMFPages::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  pages_.erase(pages_.begin() + index);
}

void TfrEMFPages::pushPaper(PreparedPage& e) {
  PrinterModel& printer = sharedPrinter();
  printer.SetPaper(e.PaperSize, e.PaperWidth, e.PaperHeight, e.Orientation, e.Bin, false);
  printer.FillPrinterInfo(e.PrinterInfo);
}

MemoryStream& PreparedPage::Objects() {
  if (Stored) {
    ObjectStream = ObjectsCopy();
    Stored = {};
  }
  return ObjectStream;
}

MemoryStream PreparedPage::ObjectsCopy() const {
  if (!Stored) return MemoryStream(ObjectStream.bytes());
  const uint8_t* p = Stored.file->data() + Stored.offset;
  if (!Stored.packed) return MemoryStream(std::vector<uint8_t>(p, p + Stored.size));
  std::vector<uint8_t> out;
  out.reserve(Stored.unpackedSize);
  auto scratch = std::make_unique_for_overwrite<uint8_t[]>(lzrw::kBlockSize);
  lzrw::decodeStream(p, Stored.size, scratch.get(), [&](const uint8_t* block, size_t count) {
    out.insert(out.end(), block, block + count);
  });
  return MemoryStream(std::move(out));
}

void TfrEMFPages::LoadFromStream(MemoryStream& s) {
  loadFrom(s, nullptr);
}

void TfrEMFPages::loadFrom(MemoryStream& s, const std::shared_ptr<std::vector<uint8_t>>& taken) {
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
      loadMetafileFormat(s);
    } else {
      // The pages point into `file`, which takes the stream's bytes once they
      // are all checked: over from a stream of our own, copied from a caller's.
      auto file = taken ? taken : std::make_shared<std::vector<uint8_t>>();
      loadPages(s, version, flag != 0, file);
      if (file.use_count() > 1) {
        if (taken)
          *file = s.takeBytes();
        else
          *file = s.bytes();
      }
    }
  } catch (const Error& e) {
    Clear();
    throw Error(e.what());
  } catch (const std::bad_alloc&) {
    Clear();
    throw Error("not enough memory to hold the report");
  }
}

void TfrEMFPages::loadPages(MemoryStream& s, int version, bool compressed,
                            const std::shared_ptr<const std::vector<uint8_t>>& file) {
  const uint16_t nameLen = s.readU16("printer name length");
  auto name = s.readSpan(nameLen, "printer name");
  s.skip(1, "printer name terminator");
  fileInfo_.printerName.assign(name.begin(), name.end());
  selectPrinterByName(fileInfo_.printerName);

  const int32_t count = s.readI32("page count");
  const size_t minRecord = version >= 24 ? kMinRecordNew : kMinRecordOld;
  if (count < 0 || size_t(count) > s.remaining() / minRecord)
    refuse("page count " + std::to_string(count) + " does not fit the file");
  pages_.reserve(count);

  // Pages stay packed in the file's bytes when the built-in compressor reads
  // them; a compressor plugged in its place, or one with hooks to call, is
  // asked to unpack each page here as it always was.
  auto* builtIn = dynamic_cast<TLZWCompressor*>(&currentCompressor());
  const bool keepPacked =
      compressed && builtIn && !builtIn->OnBeforeDecompress && !builtIn->OnAfterDecompress;
  std::vector<int> packedPages;

  size_t total = 0;
  for (int i = 0; i < count; ++i) {
    const int32_t end = s.readI32("page end offset");
    PreparedPage& e = appendEntry();
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
      refuse(pageLabel(i) + ": end offset " + std::to_string(end) + " lies outside the file");
    const size_t n = size_t(end) - s.position();
    const uint8_t* data = s.data() + s.position();
    if (compressed) {
      if (compressedUpperBound(data, n) > kMaxPageBytes + lzrw::kBlockSize)
        refuse(pageLabel(i) + ": page data would expand beyond the limit of " +
               std::to_string(kMaxPageBytes >> 20) + " MiB");
      if (keepPacked) {
        e.Stored.file = file;
        e.Stored.offset = s.position();
        e.Stored.size = n;  // until the check below finds where the stream ends
        e.Stored.packed = true;
        packedPages.push_back(i);
      } else {
        // The size the writer recorded is a hint only, used to size the page's
        // stream once instead of growing it block by block.
        if (n >= 4) {
          uint32_t declared;
          std::memcpy(&declared, data, 4);
          e.ObjectStream.reserve(std::min<size_t>(declared, kMaxPageBytes));
        }
        MemoryStream packed(std::vector<uint8_t>(data, data + n));
        try {
          currentCompressor().Decompress(packed, e.ObjectStream);
        } catch (const Error& err) {
          refuse(pageLabel(i) + ": " + err.what());
        }
        e.ObjectStream.rewind();
        total += e.ObjectStream.size();
      }
    } else {
      if (n > kMaxPageBytes)
        refuse(pageLabel(i) + ": page data is larger than the limit of " +
               std::to_string(kMaxPageBytes >> 20) + " MiB");
      e.Stored.file = file;
      e.Stored.offset = s.position();
      e.Stored.size = e.Stored.unpackedSize = n;
      total += n;
    }
    if (total > kMaxReportBytes)
      refuse("the pages would need more than " + std::to_string(kMaxReportBytes >> 30) +
             " GiB of memory");
    pushPaper(e);
    s.seek(size_t(end));
  }
  if (!packedPages.empty()) {
    std::vector<PackedCheck> checks(packedPages.size());
    for (size_t k = 0; k < checks.size(); ++k) {
      const StoredObjects& st = pages_[packedPages[k]]->Stored;
      checks[k].data = s.data() + st.offset;
      checks[k].size = st.size;
    }
    checkPackedPages(checks);
    for (size_t k = 0; k < checks.size(); ++k) {
      if (!checks[k].error.empty()) refuse(pageLabel(packedPages[k]) + ": " + checks[k].error);
      StoredObjects& st = pages_[packedPages[k]]->Stored;
      st.size = checks[k].used;
      st.unpackedSize = checks[k].unpacked;
      total += checks[k].unpacked;
    }
    if (total > kMaxReportBytes)
      refuse("the pages would need more than " + std::to_string(kMaxReportBytes >> 30) +
             " GiB of memory");
  }
  fileInfo_.generatorVersion = s.readU8("generator version");
  if (Parent) Parent->setGeneratorVersion(fileInfo_.generatorVersion);
}

void TfrEMFPages::loadMetafileFormat(MemoryStream& s) {
  // The printer names of this older layout run up to a 0 byte, separated by CR.
  const uint8_t* begin = s.data() + s.position();
  const void* zero = std::memchr(begin, 0, s.remaining());
  if (!zero) refuse("unexpected end of data reading printer names");
  const size_t len = static_cast<const uint8_t*>(zero) - begin;
  std::string names(reinterpret_cast<const char*>(begin), len);
  s.skip(len + 1);
  fileInfo_.metafileFormat = true;
  fileInfo_.version = 0;
  fileInfo_.printerName = names.substr(0, names.find('\r'));
  selectPrinterByName(fileInfo_.printerName);

  const int32_t count = s.readI32("page count");
  if (count < 0 || size_t(count) > s.remaining() / kMinRecordOld)
    refuse("page count " + std::to_string(count) + " does not fit the file");
  pages_.reserve(count);
  for (int i = 0; i < count; ++i) {
    const int32_t end = s.readI32("page end offset");
    PreparedPage& e = appendEntry();
    e.PaperSize = s.readU16("paper size");
    e.PaperWidth = s.readI32("paper width");
    e.PaperHeight = s.readI32("paper height");
    e.Orientation = s.readU8("orientation");
    e.UseMargins = s.readU8("margins flag");
    e.Bin = -1;
    if (end < 0 || size_t(end) < s.position() || size_t(end) > s.size())
      refuse(pageLabel(i) + ": end offset " + std::to_string(end) + " lies outside the file");
    auto metafile = s.readSpan(size_t(end) - s.position(), "page metafile");
    pushPaper(e);
    writeMetafilePicture(e.ObjectStream, e.PrinterInfo, metafile);
    e.ObjectStream.rewind();
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

void TfrEMFPages::SaveToStream(MemoryStream& s) {
  TfrCompressor& compressor = currentCompressor();
  const bool compress = compressor.Enabled;
  auto* builtIn = dynamic_cast<TLZWCompressor*>(&compressor);
  const bool passThrough = builtIn && !builtIn->OnBeforeCompress && !builtIn->OnAfterCompress;
  auto writeObjects = [&](MemoryStream& objects) {
    objects.rewind();
    if (compress) {
      MemoryStream packed;
      compressor.Compress(objects, packed);
      s.write(packed.bytes());
    } else {
      s.write(objects.bytes());
    }
    objects.rewind();
  };
  s.writeU8(kPreparedStreamVersion);
  s.writeU8(compress ? 1 : 0);
  writeString(s, sharedPrinter().currentPrinterName());
  s.writeI32(Count());
  for (auto& page : pages_) {
    PreparedPage& e = *page;
    const size_t p = s.position();
    s.writeI32(0);  // end offset, written once the page data is out
    s.writeU16(e.PaperSize);
    s.writeI32(e.PaperWidth);
    s.writeI32(e.PaperHeight);
    s.writeU8(e.Orientation);
    s.writeI32(e.Bin);
    s.writeU8(e.UseMargins);
    s.writeI32(e.Margins.left);
    s.writeI32(e.Margins.top);
    s.writeI32(e.Margins.right);
    s.writeI32(e.Margins.bottom);
    if (e.Stored && e.Stored.packed && compress && passThrough) {
      // Still exactly as the built-in compressor read it: written back unchanged.
      s.write(e.Stored.file->data() + e.Stored.offset, e.Stored.size);
    } else if (e.Stored) {
      MemoryStream objects = e.ObjectsCopy();
      writeObjects(objects);
    } else {
      writeObjects(e.ObjectStream);
    }
    const size_t end = s.position();
    if (end > size_t(INT32_MAX)) throw Error("the report is too large for the file format");
    s.seek(p);
    s.writeI32(static_cast<int32_t>(end));
    s.seek(end);
  }
  s.writeU8(Parent ? Parent->generatorVersion() : 0);
}

void TfrEMFPages::LoadFromFile(const std::string& path) {
  QFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::ReadOnly)) {
    Clear();
    throw PreparedFileError(path, f.errorString().toStdString());
  }
  const qint64 size = f.size();
  if (size > qint64(INT32_MAX)) {
    Clear();
    throw PreparedFileError(path, "the file is larger than the format allows");
  }
  // Mapped and copied once, rather than read into a buffer zero-filled first.
  std::vector<uint8_t> bytes;
  if (size > 0) {
    const uchar* mapped = f.map(0, size);
    if (mapped) {
      bytes.reserve(static_cast<size_t>(size));
      adviseHugePages(bytes.data(), bytes.capacity());
      bytes.assign(mapped, mapped + size);
      f.unmap(const_cast<uchar*>(mapped));
    } else {
      bytes.resize(static_cast<size_t>(size));
      if (f.read(reinterpret_cast<char*>(bytes.data()), size) != size) {
        Clear();
        throw PreparedFileError(path, f.errorString().toStdString());
      }
    }
  }
  MemoryStream s(std::move(bytes));
  try {
    loadFrom(s, std::make_shared<std::vector<uint8_t>>());
  } catch (const Error& e) {
    throw PreparedFileError(path, e.what());
  }
}

void TfrEMFPages::SaveToFile(const std::string& path) {
  MemoryStream s;
  SaveToStream(s);
  // Written beside the target and renamed over it, so a failed save never
  // leaves a half-written report in place of a good one.
  QSaveFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::WriteOnly) ||
      f.write(reinterpret_cast<const char*>(s.data()), qint64(s.size())) != qint64(s.size()) ||
      !f.commit())
    throw PreparedFileError(path, f.errorString().toStdString());
}

}  // namespace orv
