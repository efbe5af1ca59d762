#include "prepared/emf_pages.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cstring>

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

void TfrEMFPages::LoadFromStream(MemoryStream& s) {
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
      loadPages(s, version, flag != 0);
    }
  } catch (const Error& e) {
    Clear();
    throw Error(e.what());
  } catch (const std::bad_alloc&) {
    Clear();
    throw Error("not enough memory to hold the report");
  }
}

void TfrEMFPages::loadPages(MemoryStream& s, int version, bool compressed) {
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
    } else {
      if (n > kMaxPageBytes)
        refuse(pageLabel(i) + ": page data is larger than the limit of " +
               std::to_string(kMaxPageBytes >> 20) + " MiB");
      e.ObjectStream.write(data, n);
    }
    e.ObjectStream.rewind();
    total += e.ObjectStream.size();
    if (total > kMaxReportBytes)
      refuse("the pages would need more than " + std::to_string(kMaxReportBytes >> 30) +
             " GiB of memory");
    pushPaper(e);
    s.seek(size_t(end));
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
    e.ObjectStream.rewind();
    if (compress) {
      MemoryStream packed;
      compressor.Compress(e.ObjectStream, packed);
      s.write(packed.bytes());
    } else {
      s.write(e.ObjectStream.bytes());
    }
    e.ObjectStream.rewind();
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
    LoadFromStream(s);
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
