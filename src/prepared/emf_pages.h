#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/printer_info.h"
#include "model/stream.h"
#include "platform/geometry.h"
#include "prepared/frp_error.h"
#include "prepared/page_format.h"

namespace orv {

class Canvas;
class Error;
class SpillFile;
class TfrPage;
class TfrView;

enum class LinkCursor { Default, HandPoint };

// What the store needs from the report that owns it.
class PreparedOwner {
 public:
  virtual ~PreparedOwner() = default;
  virtual uint8_t generatorVersion() const = 0;
  virtual void setGeneratorVersion(uint8_t v) = 0;
  // The report prints to the system default printer and ignores stored names.
  virtual bool printsToDefault() const { return false; }
  virtual void setPrinterName(const std::string& name) {}
  virtual void pageAdded(int pageNo) {}
  // The report's click and hover events; each returns whether a handler ran.
  virtual bool objectClick(TfrView& view) { return false; }
  virtual bool mouseOverObject(TfrView& view, LinkCursor& cursor) { return false; }
};

// The paper and layout of a template page that a new prepared page copies.
struct PageSetup {
  PaperSpec paper;
  bool useMargins = false;
  Margins margins;
  PrinterInfo info;
};

// Where a loaded report's pages are read back from: the report's bytes held in
// memory, or the file it was opened from, kept open.
class PageSource {
 public:
  virtual ~PageSource() = default;
  // Copies n bytes from `offset` into `out`; raises an error naming the reason
  // when they can no longer be had as they were at load.
  virtual void copy(size_t offset, size_t n, uint8_t* out) const = 0;
};

// Where a loaded page's object stream lies in the report it came from, left
// there (packed or not) until it is needed, so that opening a large report
// unpacks nothing but the pages that are looked at.
struct StoredObjects {
  std::shared_ptr<const PageSource> source;
  size_t offset = 0;
  // Bytes in the file, for a checked packed page exactly the compressed stream.
  // A packed page loaded without its check runs to its record's end and
  // learns both sizes the first time it is read. A file's offsets fit 31
  // bits and a page's objects kMaxPageBytes, so 32 bits hold both sizes.
  mutable uint32_t size = 0;
  mutable uint32_t unpackedSize = 0;  // bytes of the object stream
  mutable bool unchecked = false;
  bool packed = false;
  explicit operator bool() const { return source != nullptr; }
};

// When the packed pages of a file are checked. AtLoad walks every one while
// the file loads, so a damaged page refuses the whole file (the viewer: a
// damaged file never replaces the pages shown). OnUse leaves each page to the
// first time it is read, which then raises the same error for that page; for
// tools that look at one page of a long report.
enum class PageCheck { AtLoad, OnUse };

// One prepared page: its paper, its printer-information block and its
// serialised objects; the live objects exist only while the page is drawn.
// A long report holds up to a million of these, so a page keeps only what
// every page needs: its paper is shared, and what only a page being built or
// drawn has sits in a block of its own, made when it is needed.
struct PreparedPage {
  Rect LayoutRect;
  StoredObjects Stored;
  uint8_t Visible = 0;

  // The page's paper, shared with the pages that have the same; it changes
  // through TfrEMFPages::SetFormat, which leaves the other pages' alone.
  const PageFormat& Format() const { return *format_; }

  // The object stream, unpacked (and kept) on first use: the serialised
  // objects of a page built in memory, or of a loaded page once this has
  // taken them out of the file's bytes.
  MemoryStream& Objects() { return live_ && !Stored ? live_->stream : takeObjects(); }
  // The object stream for one use, leaving a loaded page's bytes where they are.
  MemoryStream ObjectsCopy() const;
  // Raises the page's read error when a page loaded without its check is damaged.
  size_t ObjectsSize() const;
  // The stored bytes, checked now if the load left them unchecked.
  const StoredObjects& CheckedStore() const;

  // The live objects, built from the object stream; none until the page is
  // built (TfrEMFPages::BuildObjects or Draw).
  TfrPage* ObjectPage() const { return live_ ? live_->page.get() : nullptr; }
  // Why the live objects stop before the end of the stream (an object of a
  // kind this program does not know); none when the page is whole.
  const FrpProblem* ObjectsError() const { return live_ ? live_->error.get() : nullptr; }
  // Drops the live objects, as a page that left the view does.
  void ReleaseObjects();

 private:
  friend class TfrEMFPages;
  struct Live {
    MemoryStream stream;
    std::shared_ptr<TfrPage> page;
    std::shared_ptr<const FrpProblem> error;
  };
  Live& live();
  MemoryStream& takeObjects();
  // Frees the block once it holds nothing.
  void dropLiveIfEmpty();

  const PageFormat* format_ = &blankFormat();
  std::unique_ptr<Live> live_;
  static const PageFormat& blankFormat();
};

// The pages of a store, in blocks of a fixed count: one allocation for many
// pages rather than one each, and a page stays where it is while pages are
// added after it (the run writes into its current page as the next begins).
class PageTable {
 public:
  size_t size() const { return size_; }
  PreparedPage& operator[](size_t index) { return blocks_[index / kBlock][index % kBlock]; }
  const PreparedPage& operator[](size_t index) const {
    return blocks_[index / kBlock][index % kBlock];
  }
  // As the standard containers' at(): an index outside raises out_of_range.
  // Inline, since the run asks for its current page for every object it writes.
  PreparedPage& at(size_t index) {
    if (index >= size_) outOfRange();
    return (*this)[index];
  }
  const PreparedPage& at(size_t index) const {
    if (index >= size_) outOfRange();
    return (*this)[index];
  }
  // A blank page after the last.
  PreparedPage& append();
  // A blank page at `index`, the pages from there on moving up by one.
  PreparedPage& insert(size_t index);
  void erase(size_t index);
  void clear();
  void swap(PageTable& other) noexcept {
    blocks_.swap(other.blocks_);
    std::swap(size_, other.size_);
  }

 private:
  [[noreturn]] static void outOfRange();
  static constexpr size_t kBlock = 512;
  std::vector<std::unique_ptr<PreparedPage[]>> blocks_;
  size_t size_ = 0;
};

// Limits that keep a damaged or hostile file from costing more memory than
// any real report needs: one page's objects, and all pages together.
inline constexpr size_t kMaxPageBytes = size_t(64) << 20;
inline constexpr size_t kMaxReportBytes = size_t(2) << 30;
// Each page costs a table entry (and, with a paper of its own, a copy of
// that) whatever its records say, so the count is bounded too: a file of
// nothing but minimal page records would otherwise cost several times its size.
inline constexpr int32_t kMaxPages = 1 << 20;

inline constexpr uint8_t kPreparedStreamVersion = 25;

// Where a page's objects go inside the rectangle the page occupies at a scale:
// the whole rectangle for a page laid out with margins, otherwise its
// printable area inset by the margins.
Rect pageTargetRect(const PreparedPage& page, const Rect& pageRect, double scale);

// The prepared page store and the ".frp" file format.
class TfrEMFPages {
 public:
  explicit TfrEMFPages(PreparedOwner* parent = nullptr) : Parent(parent) {}
  TfrEMFPages(const TfrEMFPages&) = delete;
  TfrEMFPages& operator=(const TfrEMFPages&) = delete;

  int Count() const { return int(pages_.size()); }
  PreparedPage& Entry(int index) { return pages_.at(size_t(index)); }
  const PreparedPage& Entry(int index) const { return pages_.at(size_t(index)); }
  void Clear();
  void Add(int index, const PageSetup& page);
  void AddPage(const PageSetup& page);
  void Delete(int index);
  // Gives one page another paper or printer block; the pages that shared its
  // old one keep it.
  void SetFormat(int index, const PageFormat& format);
  // Packs a page built in memory, as a loaded report's pages are kept: a
  // long report being prepared then costs its compressed size. Once the pages
  // packed in memory pass SpillThreshold bytes, the next ones go to a
  // temporary file of the store's own and are read back from it as a loaded
  // report's pages are from theirs, so that a report of any length costs
  // about the same memory. The page is unpacked again on its next use. A
  // temporary file that cannot be written (a full disk) raises the reason.
  void Pack(int index);
  size_t SpillThreshold = size_t(32) << 20;
  // Bytes of packed pages in the temporary file, pages read back and packed
  // again included; 0 while nothing was spilled.
  size_t SpilledBytes() const;
  // Exchanges the pages (and what the last load found) with another store;
  // each keeps its own parent. The preview takes a report's pages over this way.
  void swap(TfrEMFPages& other) noexcept {
    pages_.swap(other.pages_);
    std::swap(fileInfo_, other.fileInfo_);
    spill_.swap(other.spill_);
    std::swap(packedInMemory_, other.packedInMemory_);
    formats_.swap(other.formats_);
  }

  // Builds the live objects of a page from its object stream.
  void BuildObjects(int index);
  // Draws a page into the target rectangle of the canvas. A page whose
  // Visible flag is 0 is released instead (callers use this to drop pages
  // that left the view). An unknown add-in class raises its error; the page
  // keeps the objects before it, draws them and then raises why the rest of
  // the page is missing.
  // `beforeView`, when given, is told of each object just before it draws,
  // so that a recording canvas knows whose drawing follows.
  void Draw(int index, Canvas& canvas, const Rect& target,
            const std::function<void(TfrView&)>& beforeView = {});
  // What lies under a point of the page (in report pixels): on click a link
  // target or an opened URL, on hover the hand cursor and the link text.
  struct Hit {
    bool handled = false;
    std::string text;
    LinkCursor cursor = LinkCursor::Default;
  };
  Hit ObjectAt(int index, Point point, bool click);

  // The whole store as a ".frp" file. Loading either succeeds completely or
  // leaves the store empty and raises one error naming the reason; with
  // PageCheck::OnUse a damaged page is not found by the load but raises that
  // error (naming the page and the file) each time it is read, and saving a
  // store that holds one fails.
  void LoadFromStream(MemoryStream& stream, PageCheck check = PageCheck::AtLoad);
  void SaveToStream(MemoryStream& stream);
  void LoadFromFile(const std::string& path, PageCheck check = PageCheck::AtLoad);
  void SaveToFile(const std::string& path);

  // The file-level facts of the last load, for tools that describe a file.
  struct FileInfo {
    int version = 0;
    uint8_t compressionFlag = 0;
    bool metafileFormat = false;
    std::string printerName;
    uint8_t generatorVersion = 0;
    std::string path;  // the file, for errors found later in its pages
  };
  const FileInfo& lastLoad() const { return fileInfo_; }

  PreparedOwner* Parent;

 private:
  template <class Cursor>
  void loadFrom(Cursor& s, const std::shared_ptr<const PageSource>& source, PageCheck check);
  template <class Cursor>
  void loadPages(Cursor& s, int version, bool compressed,
                 const std::shared_ptr<const PageSource>& source, PageCheck check);
  // A page's object stream and its checked store; the errors of a page the load
  // left unchecked name the page and the file, as the load would have.
  MemoryStream objectsCopy(int index) const;
  const StoredObjects& checkedStore(int index) const;
  [[noreturn]] void pageError(int index, const Error& err) const;
  void loadMetafileFormat(MemoryStream& s);
  PreparedPage& appendEntry();
  void pushPaper(PreparedPage& e, PageFormat format);
  void selectPrinterByName(const std::string& name);

  template <class Sink>
  void savePages(Sink& out);

  PageTable pages_;
  FileInfo fileInfo_;
  // The temporary file of spilled pages, shared with the pages it holds, so
  // that it closes (and, having no name, disappears) with the last of them.
  std::shared_ptr<SpillFile> spill_;
  size_t packedInMemory_ = 0;
  PageFormats formats_;
};

}  // namespace orv
