#include "prepared/emf_pages.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "model/state.h"
#include "prepared/compressor.h"
#include "prepared/frp_error.h"
#include "printing/tfr_printer.h"

namespace orv {
namespace {

struct Owner : PreparedOwner {
  uint8_t gen = 0;
  std::string printer;
  int added = 0;
  uint8_t generatorVersion() const override { return gen; }
  void setGeneratorVersion(uint8_t v) override { gen = v; }
  void setPrinterName(const std::string& n) override { printer = n; }
  void pageAdded(int n) override { added = n; }
};

// Builds files by hand, field by field, as the format describes them.
struct FileBuilder {
  MemoryStream s;
  FileBuilder& u8(uint8_t v) {
    s.writeU8(v);
    return *this;
  }
  FileBuilder& u16(uint16_t v) {
    s.writeU16(v);
    return *this;
  }
  FileBuilder& i32(int32_t v) {
    s.writeI32(v);
    return *this;
  }
  FileBuilder& bytes(std::vector<uint8_t> b) {
    s.write(b.data(), b.size());
    return *this;
  }
  FileBuilder& name(const std::string& n) {
    s.writeU16(uint16_t(n.size()));
    s.write(n.data(), n.size());
    return u8(0);
  }
  size_t pos() const { return s.position(); }
  void patch(size_t at, int32_t v) {
    const size_t here = s.position();
    s.seek(at);
    s.writeI32(v);
    s.seek(here);
  }
  MemoryStream done() {
    MemoryStream out(s.bytes());
    return out;
  }
};

const std::vector<uint8_t> kPageA = {25, 4, 1, 2, 3};
const std::vector<uint8_t> kPageB = {25, 0, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};

// A file of our own under the system's temporary directory, removed at the end.
struct TempFile {
  std::string path = (std::filesystem::temp_directory_path() /
                      ("orv-store-" + std::to_string(::getpid()) + "-" +
                       std::to_string(reinterpret_cast<uintptr_t>(this)) + ".frp"))
                         .string();
  ~TempFile() { std::filesystem::remove(path); }
  void write(const std::vector<uint8_t>& bytes) const {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
};

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TfrPrinter::startUp(nullptr);
    compressor = std::make_unique<TfrLZWCompressor>();
    compressor->setEnabled(true);
  }
  void TearDown() override { compressor.reset(); }

  PageSetup a4() {
    PageSetup p;
    p.paper = {9, 2100, 2970, 0, -1};
    p.useMargins = true;
    p.margins = {10, 20, 30, 40};
    return p;
  }
  void fill(TfrEMFPages& store) {
    store.AddPage(a4());
    store.Entry(0).Objects().bytes() = kPageA;
    PageSetup land = a4();
    land.paper = {8, 2970, 4200, 1, 3};
    land.useMargins = false;
    store.AddPage(land);
    store.Entry(1).Objects().bytes() = kPageB;
  }
  MemoryStream save(TfrEMFPages& store) {
    MemoryStream s;
    store.SaveToStream(s);
    s.rewind();
    return s;
  }

  std::unique_ptr<TfrLZWCompressor> compressor;
  Owner owner;
};

TEST_F(StoreTest, AddCopiesThePageSetupAndStartsTheStream) {
  TfrEMFPages store(&owner);
  PageSetup p = a4();
  p.info.PaperWidthPx = 758;
  store.AddPage(p);
  EXPECT_EQ(owner.added, 1);
  store.Add(0, a4());  // inserted before the first
  ASSERT_EQ(store.Count(), 2);
  const PreparedPage& e = store.Entry(1);
  EXPECT_EQ(e.Format().PaperSize, 9);
  EXPECT_EQ(e.Format().PaperWidth, 2100);
  EXPECT_EQ(e.Format().Bin, -1);
  EXPECT_EQ(e.Format().UseMargins, 1);
  EXPECT_EQ(e.Format().Margins, (Margins{10, 20, 30, 40}));
  EXPECT_EQ(e.Format().PrinterInfo.PaperWidthPx, 758);
  EXPECT_EQ(e.ObjectsCopy().bytes(), std::vector<uint8_t>{25});
  store.Add(99, a4());  // beyond the end appends
  EXPECT_EQ(store.Count(), 3);
  store.Delete(0);
  EXPECT_EQ(store.Entry(0).Format().PrinterInfo.PaperWidthPx, 758);
  store.Clear();
  EXPECT_EQ(store.Count(), 0);
}

// Pages of one paper share one copy of it; a page given a paper of its own
// (the print job fills each printed page's block) changes alone, and what it
// changes is what a save writes.
TEST_F(StoreTest, PagesShareTheirPaperAndChangeItOneByOne) {
  TfrEMFPages store(&owner);
  fill(store);  // A4 then A3 landscape
  store.AddPage(a4());
  store.AddPage(a4());
  ASSERT_EQ(store.Count(), 4);
  EXPECT_EQ(&store.Entry(0).Format(), &store.Entry(2).Format());
  EXPECT_EQ(&store.Entry(0).Format(), &store.Entry(3).Format());
  EXPECT_NE(&store.Entry(0).Format(), &store.Entry(1).Format());

  PageFormat own = store.Entry(2).Format();
  own.Bin = 7;
  own.PrinterInfo.PaperWidthPx = 999;
  store.SetFormat(2, own);
  EXPECT_EQ(store.Entry(2).Format().Bin, 7);
  EXPECT_EQ(store.Entry(2).Format().PrinterInfo.PaperWidthPx, 999);
  for (int i : {0, 3}) {
    EXPECT_EQ(store.Entry(i).Format().Bin, -1) << i;
    EXPECT_EQ(store.Entry(i).Format().PrinterInfo.PaperWidthPx, 0) << i;
  }
  EXPECT_EQ(store.Entry(1).Format().Bin, 3);

  MemoryStream saved = save(store);
  TfrEMFPages loaded(&owner);
  loaded.LoadFromStream(saved);
  ASSERT_EQ(loaded.Count(), 4);
  const int bins[] = {-1, 3, 7, -1};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(loaded.Entry(i).Format().Bin, bins[i]) << i;
  // Loading fills each page's block from the printer: the A4 pages share again.
  EXPECT_EQ(&loaded.Entry(0).Format(), &loaded.Entry(3).Format());
  EXPECT_EQ(loaded.Entry(0).Format().PrinterInfo.PaperWidthPx, 758);

  // Given back the common paper, the page shares it again; the others never moved.
  store.SetFormat(2, store.Entry(0).Format());
  EXPECT_EQ(&store.Entry(2).Format(), &store.Entry(0).Format());
  store.Delete(0);
  EXPECT_EQ(store.Entry(0).Format().Bin, 3);
  EXPECT_EQ(store.Entry(1).Format().PaperSize, 9);

  // Taken over by another store, the pages keep their paper after the first
  // store is emptied and filled anew.
  TfrEMFPages other(&owner);
  other.swap(store);
  store.Clear();
  PageSetup letter = a4();
  letter.paper = {1, 2159, 2794, 0, 5};
  for (int i = 0; i < 50; ++i) store.AddPage(letter);
  ASSERT_EQ(other.Count(), 3);
  EXPECT_EQ(other.Entry(0).Format().Bin, 3);
  EXPECT_EQ(other.Entry(1).Format().PaperWidth, 2100);
  EXPECT_EQ(other.Entry(2).Format().Margins, (Margins{10, 20, 30, 40}));
  EXPECT_EQ(store.Entry(49).Format().PaperWidth, 2159);
}

// The pages sit in blocks of many: inserting and deleting across the blocks'
// edges keeps the order, and a page stays where it is while pages are added
// after it.
TEST_F(StoreTest, PagesKeepTheirOrderAndPlaceAcrossTheTablesBlocks) {
  TfrEMFPages store(&owner);
  std::vector<int> model;
  auto add = [&](int at, int bin) {
    PageSetup p = a4();
    p.paper.bin = bin;
    if (at < 0) {
      store.AddPage(p);
      model.push_back(bin);
    } else {
      store.Add(at, p);
      model.insert(model.begin() + at, bin);
    }
    MemoryStream& s = store.Entry(at < 0 ? store.Count() - 1 : at).Objects();
    s.seek(s.size());
    s.writeI32(bin);
  };
  for (int i = 0; i < 1030; ++i) add(-1, i);
  PreparedPage& early = store.Entry(5);
  for (int i = 0; i < 600; ++i) add(-1, 5000 + i);
  EXPECT_EQ(&store.Entry(5), &early);
  add(0, -2);
  add(511, -3);
  add(1024, -4);
  for (int at : {512, 0, 1023, -1}) {
    if (at < 0) at = store.Count() - 1;
    store.Delete(at);
    model.erase(model.begin() + at);
  }
  store.Delete(store.Count());  // beyond the end: nothing
  EXPECT_THROW(store.Entry(store.Count()), std::out_of_range);
  EXPECT_THROW(store.Entry(-1), std::out_of_range);
  ASSERT_EQ(store.Count(), int(model.size()));
  for (int i = 0; i < store.Count(); ++i) {
    ASSERT_EQ(store.Entry(i).Format().Bin, model[size_t(i)]) << i;
    MemoryStream s = store.Entry(i).ObjectsCopy();
    s.seek(1);
    ASSERT_EQ(s.readI32(), model[size_t(i)]) << i;
  }
  // Down to nothing and up again.
  while (store.Count() > 0) store.Delete(0);
  add(-1, 77);
  EXPECT_EQ(store.Entry(0).Format().Bin, 77);
}

TEST_F(StoreTest, WrittenFileHasTheDocumentedFraming) {
  TfrEMFPages store(&owner);
  owner.gen = 7;
  fill(store);
  MemoryStream s = save(store);
  const auto& b = s.bytes();
  ASSERT_GT(b.size(), 10u);
  EXPECT_EQ(b[0], 25);
  EXPECT_EQ(b[1], 1);
  EXPECT_EQ(b.back(), 7);

  s.seek(2);
  EXPECT_EQ(readString(s, 25), "Impressora Virtual");
  EXPECT_EQ(s.readI32(), 2);
  // Each end offset is where the next record (or the generator byte) starts.
  const int32_t end0 = s.readI32();
  s.seek(size_t(end0));
  const int32_t end1 = s.readI32();
  EXPECT_EQ(size_t(end1), b.size() - 1);
}

TEST_F(StoreTest, SaveLoadSaveIsByteIdentical) {
  for (bool compressed : {true, false}) {
    compressor->setEnabled(compressed);
    TfrEMFPages store(&owner);
    owner.gen = 3;
    fill(store);
    MemoryStream first = save(store);

    TfrEMFPages loaded(&owner);
    loaded.LoadFromStream(first);
    ASSERT_EQ(loaded.Count(), 2);
    EXPECT_EQ(loaded.Entry(0).Objects().bytes(), kPageA);
    EXPECT_EQ(loaded.Entry(1).Objects().bytes(), kPageB);
    EXPECT_EQ(loaded.Entry(1).Format().Orientation, 1);
    EXPECT_EQ(loaded.Entry(1).Format().Bin, 3);
    EXPECT_EQ(loaded.Entry(1).Format().UseMargins, 0);
    EXPECT_EQ(loaded.Entry(0).Format().Margins, (Margins{10, 20, 30, 40}));
    EXPECT_EQ(owner.printer, "Impressora Virtual");
    EXPECT_EQ(owner.gen, 3);
    MemoryStream second = save(loaded);
    EXPECT_EQ(first.bytes(), second.bytes()) << "compressed=" << compressed;
  }
}

// Loaded pages stay in the file's bytes until they are needed; what they hold,
// what a save writes and what a plugged-in compressor is asked must not change.
TEST_F(StoreTest, LoadedPagesStayPackedUntilNeeded) {
  for (bool compressed : {true, false}) {
    compressor->setEnabled(compressed);
    TfrEMFPages store(&owner);
    fill(store);
    MemoryStream first = save(store);
    TfrEMFPages loaded(&owner);
    loaded.LoadFromStream(first);
    first.bytes().assign(first.size(), 0xEE);  // the store keeps its own copy
    PreparedPage& e = loaded.Entry(1);
    EXPECT_TRUE(e.Stored);
    EXPECT_EQ(e.Stored.packed, compressed);
    EXPECT_EQ(e.ObjectsSize(), kPageB.size());
    EXPECT_EQ(e.ObjectsCopy().bytes(), kPageB);
    EXPECT_TRUE(e.Stored) << "a copy leaves the page where it is";
    // Saved untouched, and saved again once one page is unpacked: same bytes.
    MemoryStream second = save(loaded);
    EXPECT_EQ(loaded.Entry(0).Objects().bytes(), kPageA);
    EXPECT_FALSE(loaded.Entry(0).Stored);
    MemoryStream third = save(loaded);
    EXPECT_EQ(second.bytes(), third.bytes());
    TfrEMFPages again(&owner);
    again.LoadFromStream(second);
    EXPECT_EQ(again.Entry(1).Objects().bytes(), kPageB);
  }
  // Saving plain a report that was loaded packed unpacks it on the way out.
  compressor->setEnabled(true);
  TfrEMFPages store(&owner);
  fill(store);
  MemoryStream packed = save(store);
  TfrEMFPages loaded(&owner);
  loaded.LoadFromStream(packed);
  compressor->setEnabled(false);
  MemoryStream plain = save(loaded);
  TfrEMFPages fromPlain(&owner);
  fromPlain.LoadFromStream(plain);
  EXPECT_FALSE(fromPlain.Entry(1).Stored.packed);
  EXPECT_EQ(fromPlain.Entry(1).Objects().bytes(), kPageB);

  // A compressor with hooks is asked for every page at load, as before.
  int asked = 0;
  compressor->compressor().OnBeforeDecompress = [&](TLZWCompressor&) { ++asked; };
  TfrEMFPages hooked(&owner);
  packed.rewind();
  hooked.LoadFromStream(packed);
  EXPECT_EQ(asked, 2);
  EXPECT_FALSE(hooked.Entry(1).Stored);
  EXPECT_EQ(hooked.Entry(1).Objects().bytes(), kPageB);
}

// Pages opened from a file are read back from it when needed: a file replaced
// by a save keeps serving the version that was opened, one changed in place is
// noticed instead of drawn from unchecked bytes.
TEST_F(StoreTest, PagesOpenedFromAFileAreReadBackFromIt) {
  TempFile file;
  TfrEMFPages store(&owner);
  fill(store);
  store.SaveToFile(file.path);
  TfrEMFPages loaded(&owner);
  loaded.LoadFromFile(file.path);
  ASSERT_EQ(loaded.Count(), 2);
  EXPECT_TRUE(loaded.Entry(1).Stored);

  store.Entry(1).Objects().bytes() = kPageA;
  store.SaveToFile(file.path);  // written beside and renamed over the opened file
  EXPECT_EQ(loaded.Entry(1).ObjectsCopy().bytes(), kPageB);

  TfrEMFPages reopened(&owner);
  reopened.LoadFromFile(file.path);
  MemoryStream bytes;
  store.SaveToStream(bytes);
  bytes.bytes().push_back(0);  // same inode, new size
  file.write(bytes.bytes());
  try {
    reopened.Entry(1).ObjectsCopy();
    ADD_FAILURE() << "read a page from a file changed since it was opened";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("changed"), std::string::npos) << e.what();
  }
  // Building the page fails the same way and leaves no half-built page behind.
  modelState().CurrentPage = nullptr;
  EXPECT_THROW(reopened.BuildObjects(1), Error);
  EXPECT_EQ(modelState().CurrentPage, nullptr);
  EXPECT_FALSE(reopened.Entry(1).ObjectPage());
}

// A report larger than the reader's window: every page is checked, and a damaged
// page near the end is named even though earlier windows were already passed.
TEST_F(StoreTest, LargeFilesAreCheckedPageByPage) {
  std::mt19937 rng(5);
  auto build = [&](int damaged) {
    FileBuilder f;
    f.u8(25).u8(1).name("P").i32(1000);
    for (int page = 0; page < 1000; ++page) {
      const size_t at = f.pos();
      f.i32(0).u16(9).i32(2100).i32(2970).u8(0).i32(-1).u8(0).i32(0).i32(0).i32(0).i32(0);
      if (page == damaged) {
        f.i32(5).u16(5).bytes({0x40, 0x80, 0x00, 0x00, 0x13});
      } else {
        std::vector<uint8_t> data(20000);
        for (auto& b : data) b = static_cast<uint8_t>(rng());
        data[0] = 25;
        f.i32(int32_t(data.size())).u16(uint16_t(data.size() + 1)).u8(0x80).bytes(data);
      }
      f.patch(at, int32_t(f.pos()));
    }
    f.u8(0);
    return f.done();
  };
  TempFile file;
  file.write(build(-1).bytes());
  TfrEMFPages store(&owner);
  store.LoadFromFile(file.path);
  ASSERT_EQ(store.Count(), 1000);
  EXPECT_EQ(store.Entry(999).ObjectsSize(), 20000u);
  EXPECT_EQ(store.Entry(999).ObjectsCopy().bytes()[0], 25);

  file.write(build(990).bytes());
  try {
    store.LoadFromFile(file.path);
    ADD_FAILURE() << "accepted a damaged page";
  } catch (const PreparedFileError& e) {
    EXPECT_EQ(e.reason, "page 991: Error reading compressed stream.");
  }
  EXPECT_EQ(store.Count(), 0);

  // Checked on use instead, the damaged page loads and is refused, with the
  // same error, each time it is read; the others draw and the file as a
  // whole is never saved with it.
  store.LoadFromFile(file.path, PageCheck::OnUse);
  ASSERT_EQ(store.Count(), 1000);
  EXPECT_EQ(store.Entry(989).ObjectsCopy().size(), 20000u);
  EXPECT_EQ(store.Entry(991).ObjectsSize(), 20000u);
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      store.BuildObjects(990);
      ADD_FAILURE() << "built a damaged page";
    } catch (const PreparedFileError& e) {
      EXPECT_EQ(e.file, file.path);
      EXPECT_EQ(e.reason, "page 991: Error reading compressed stream.");
    }
    EXPECT_FALSE(store.Entry(990).ObjectPage());
  }
  EXPECT_THROW(store.Entry(990).ObjectsSize(), Error);
  MemoryStream out;
  EXPECT_THROW(store.SaveToStream(out), PreparedFileError);

  // An undamaged file saves as it does checked at load, whichever pages were
  // read first.
  file.write(build(-1).bytes());
  store.LoadFromFile(file.path);
  MemoryStream checked;
  store.SaveToStream(checked);
  store.LoadFromFile(file.path, PageCheck::OnUse);
  EXPECT_EQ(store.Entry(3).ObjectsCopy().size(), 20000u);
  MemoryStream onUse;
  store.SaveToStream(onUse);
  EXPECT_EQ(onUse.bytes(), checked.bytes());
}

TEST_F(StoreTest, LoadedPagesGetTheirPrinterInformation) {
  TfrEMFPages store(&owner);
  fill(store);
  MemoryStream s = save(store);
  TfrEMFPages loaded(&owner);
  loaded.LoadFromStream(s);
  EXPECT_EQ(loaded.Entry(0).Format().PrinterInfo.PaperWidthPx, 758);
  EXPECT_EQ(loaded.Entry(0).Format().PrinterInfo.PaperHeightPx, 1071);
  // A3 landscape: 4200 x 2970 tenths of a millimetre
  const int32_t w = int32_t(std::nearbyint(4200 * 91.6256157635468 / 254));
  EXPECT_EQ(loaded.Entry(1).Format().PrinterInfo.PaperWidthPx, w);
  EXPECT_EQ(loaded.Entry(1).Format().PrinterInfo.PaperHeightPx, 1071);
  EXPECT_EQ(loaded.Entry(1).Format().PrinterInfo.PrintableWidth, w - 36);
}

TEST_F(StoreTest, ZeroPageStore) {
  TfrEMFPages store(&owner);
  owner.gen = 9;
  MemoryStream s = save(store);
  const std::string name = "Impressora Virtual";
  EXPECT_EQ(s.size(), 2 + 2 + name.size() + 1 + 4 + 1);
  TfrEMFPages loaded(&owner);
  owner.gen = 0;
  loaded.LoadFromStream(s);
  EXPECT_EQ(loaded.Count(), 0);
  EXPECT_EQ(owner.gen, 9);
}

// A version-less file: the first byte is the compression flag and page
// records carry neither bin nor margins.
TEST_F(StoreTest, VersionlessFiles) {
  for (uint8_t flag : {0, 1}) {
    FileBuilder f;
    f.u8(flag).name("HP").i32(1);
    const size_t at = f.pos();
    f.i32(0).u16(9).i32(2100).i32(2970).u8(0).u8(1);
    if (flag) {
      MemoryStream plain(kPageB), packed;
      compressor->compressor().Compress(plain, packed);
      f.bytes(packed.bytes());
    } else {
      f.bytes(kPageA);
    }
    f.patch(at, int32_t(f.pos()));
    f.u8(5);
    MemoryStream s = f.done();
    TfrEMFPages store(&owner);
    store.LoadFromStream(s);
    ASSERT_EQ(store.Count(), 1);
    EXPECT_EQ(store.lastLoad().version, 0);
    EXPECT_EQ(store.Entry(0).Format().Bin, -1);
    EXPECT_EQ(store.Entry(0).Format().Margins, Margins{});
    EXPECT_EQ(store.Entry(0).Format().UseMargins, 1);
    EXPECT_EQ(store.Entry(0).Objects().bytes(), flag ? kPageB : kPageA);
    EXPECT_EQ(owner.printer, "HP");
    EXPECT_EQ(owner.gen, 5);
  }
}

TEST_F(StoreTest, EveryVersionFrom24To31AndFlag255) {
  for (int version = 24; version <= 31; ++version) {
    FileBuilder f;
    f.u8(uint8_t(version)).u8(255).name("").i32(1);
    const size_t at = f.pos();
    f.i32(0).u16(11).i32(1480).i32(2100).u8(1).i32(4).u8(0).i32(1).i32(2).i32(3).i32(4);
    MemoryStream plain(kPageA), packed;
    compressor->compressor().Compress(plain, packed);
    f.bytes(packed.bytes());
    f.patch(at, int32_t(f.pos()));
    f.u8(2);
    MemoryStream s = f.done();
    TfrEMFPages store(&owner);
    store.LoadFromStream(s);
    ASSERT_EQ(store.Count(), 1) << version;
    EXPECT_EQ(store.Entry(0).Format().Bin, 4);
    EXPECT_EQ(store.Entry(0).Format().Margins, (Margins{1, 2, 3, 4}));
    EXPECT_EQ(store.Entry(0).Objects().bytes(), kPageA);
  }
}

// First bytes 23 and 32 are no version, and as a compression flag they mark
// the older metafile layout.
TEST_F(StoreTest, MetafileFormatBecomesAPicturePage) {
  const std::vector<uint8_t> emf = {1, 0, 0, 0, 8, 0, 0, 0, 0xAA, 0xBB};
  for (uint8_t first : {23, 32}) {
    FileBuilder f;
    f.u8(first).bytes({'L', 'X', '\r', 'Y', 0}).i32(1);
    const size_t at = f.pos();
    f.i32(0).u16(9).i32(2100).i32(2970).u8(0).u8(1).bytes(emf);
    f.patch(at, int32_t(f.pos()));
    MemoryStream s = f.done();
    TfrEMFPages store(&owner);
    store.LoadFromStream(s);
    ASSERT_EQ(store.Count(), 1);
    EXPECT_TRUE(store.lastLoad().metafileFormat);
    const PreparedPage& e = store.Entry(0);
    EXPECT_EQ(e.Format().Bin, -1);
    std::string expectName = std::string(1, char(first)) + "LX";
    EXPECT_EQ(owner.printer, expectName);

    MemoryStream obj = e.ObjectsCopy();
    EXPECT_EQ(obj.readU8(), 25);  // stream version
    EXPECT_EQ(obj.readU8(), 1);   // picture
    EXPECT_EQ(readString(obj, 25), "");
    EXPECT_EQ(obj.readU8(), 2);
    obj.readU8();
    EXPECT_EQ(obj.readI32(), 0);
    EXPECT_EQ(obj.readI32(), 0);
    EXPECT_EQ(obj.readI32(), e.Format().PrinterInfo.PaperWidthPx);
    EXPECT_EQ(obj.readI32(), e.Format().PrinterInfo.PaperHeightPx);
    EXPECT_EQ(e.Format().PrinterInfo.PaperWidthPx, 758);
    // The metafile bytes end the stream, right after the picture's end position.
    const std::vector<uint8_t> b = e.ObjectsCopy().bytes();
    ASSERT_GE(b.size(), emf.size() + 4);
    EXPECT_TRUE(std::equal(emf.begin(), emf.end(), b.end() - emf.size()));
    uint32_t endPos;
    std::memcpy(&endPos, b.data() + b.size() - emf.size() - 4, 4);
    EXPECT_EQ(endPos, b.size());
    EXPECT_EQ(b[b.size() - emf.size() - 6], 2);  // image kind: metafile
  }
}

TEST_F(StoreTest, FailedLoadLeavesTheStoreEmpty) {
  TfrEMFPages store(&owner);
  fill(store);
  MemoryStream good = save(store);
  auto bytes = good.bytes();
  bytes.pop_back();  // no generator byte
  MemoryStream bad(bytes);
  EXPECT_THROW(store.LoadFromStream(bad), Error);
  EXPECT_EQ(store.Count(), 0);
}

// Every kind of damage is refused with an error, never a crash or a huge allocation.
TEST_F(StoreTest, HostileFilesAreRefused) {
  // Each file is refused the same way from memory and from a file on disk.
  TempFile file;
  // The reasons are given whole, in English for frptool and in Portuguese for
  // the viewer, so that a reworded message cannot slip by either of them.
  auto expectRefused = [&](MemoryStream s, const std::string& fragment, const std::string& english,
                           const char* portuguese) {
    file.write(s.bytes());
    for (bool fromFile : {false, true}) {
      TfrEMFPages store(&owner);
      const std::string named = fromFile ? file.path + ": " : "";
      try {
        if (fromFile)
          store.LoadFromFile(file.path);
        else
          store.LoadFromStream(s);
        ADD_FAILURE() << "accepted: " << fragment;
      } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), named + english);
        EXPECT_EQ(portugueseMessage(e).toStdString(), named + portuguese);
      }
      EXPECT_EQ(store.Count(), 0);
    }
    // Left to their first use, pages are refused then, with the same reason;
    // damage outside the page data still refuses the file at once.
    for (bool fromFile : {false, true}) {
      TfrEMFPages store(&owner);
      MemoryStream copy(s.bytes());
      std::string first;
      bool loaded = false;
      try {
        if (fromFile)
          store.LoadFromFile(file.path, PageCheck::OnUse);
        else
          store.LoadFromStream(copy, PageCheck::OnUse);
        loaded = true;
        // Saving reads every page in order.
        MemoryStream out;
        store.SaveToStream(out);
      } catch (const Error& e) {
        first = e.what();
        if (!loaded) {
          EXPECT_EQ(store.Count(), 0);
        }
      }
      EXPECT_NE(first.find(fragment), std::string::npos)
          << "expected \"" << fragment << "\" on use, got: " << first;
    }
  };
  auto header = [](FileBuilder& f) { f.u8(25).u8(0).name("P"); };

  {  // empty file
    expectRefused(MemoryStream(), "file version",
                  "unexpected end of data reading file version at offset 0",
                  "fim inesperado dos dados ao ler a versão do arquivo na posição 0");
  }
  {  // cut inside the printer name
    FileBuilder f;
    f.u8(25).u8(0).u16(50).bytes({'a', 'b'});
    expectRefused(f.done(), "printer name",
                  "unexpected end of data reading printer name at offset 4",
                  "fim inesperado dos dados ao ler o nome da impressora na posição 4");
  }
  {  // negative page count
    FileBuilder f;
    header(f);
    f.i32(-1);
    expectRefused(f.done(), "page count", "page count -1 does not fit the file",
                  "o número de páginas (-1) não cabe no arquivo");
  }
  {  // a page count the file cannot hold
    FileBuilder f;
    header(f);
    f.i32(1000000).bytes(std::vector<uint8_t>(100, 0));
    expectRefused(f.done(), "page count", "page count 1000000 does not fit the file",
                  "o número de páginas (1000000) não cabe no arquivo");
  }
  {  // more pages than a report may hold, each as small as a record can be
    FileBuilder f;
    f.u8(0).name("P").i32(kMaxPages + 1);
    f.bytes(std::vector<uint8_t>(size_t(kMaxPages + 1) * 16, 0));
    expectRefused(f.done(), "pages a report may hold",
                  "page count 1048577 is more than the 1048576 pages a report may hold",
                  "o número de páginas (1048577) passa das 1048576 que um relatório pode ter");
  }
  {  // end offset beyond the file
    FileBuilder f;
    header(f);
    f.i32(1).i32(1 << 30).u16(9).i32(2100).i32(2970).u8(0).i32(-1).u8(0).i32(0).i32(0).i32(0).i32(
        0);
    f.u8(0);
    expectRefused(f.done(), "end offset", "page 1: end offset 1073741824 lies outside the file",
                  "página 1: o fim do registro (1073741824) fica fora do arquivo");
  }
  {  // end offset pointing back into the record
    FileBuilder f;
    header(f);
    f.i32(1).i32(3).u16(9).i32(2100).i32(2970).u8(0).i32(-1).u8(0).i32(0).i32(0).i32(0).i32(0);
    f.u8(0);
    expectRefused(f.done(), "end offset", "page 1: end offset 3 lies outside the file",
                  "página 1: o fim do registro (3) fica fora do arquivo");
  }
  {  // cut inside the only page record: the count alone cannot fit
    FileBuilder f;
    header(f);
    f.i32(1).i32(100).u16(9).i32(2100);
    expectRefused(f.done(), "does not fit", "page count 1 does not fit the file",
                  "o número de páginas (1) não cabe no arquivo");
  }
  {  // cut inside the second record
    FileBuilder f;
    header(f);
    f.i32(2);
    const size_t at = f.pos();
    f.i32(0).u16(9).i32(2100).i32(2970).u8(0).i32(-1).u8(0).i32(0).i32(0).i32(0).i32(0);
    f.bytes(std::vector<uint8_t>(40, 25));
    f.patch(at, int32_t(f.pos()));
    f.i32(0).u16(9).i32(2100);
    expectRefused(f.done(), "paper height",
                  "unexpected end of data reading paper height at offset 96",
                  "fim inesperado dos dados ao ler a altura do papel na posição 96");
  }
  {  // compressed data that is not
    FileBuilder f;
    f.u8(25).u8(1).name("P").i32(1);
    const size_t at = f.pos();
    f.i32(0).u16(9).i32(2100).i32(2970).u8(0).i32(-1).u8(0).i32(0).i32(0).i32(0).i32(0);
    f.bytes({5, 0, 0, 0, 200, 0, 0x40, 1});
    f.patch(at, int32_t(f.pos()));
    f.u8(0);
    expectRefused(f.done(), "Error reading compressed stream.",
                  "page 1: Error reading compressed stream.",
                  "página 1: erro ao ler os dados compactados.");
  }
  {  // well-framed blocks whose first item copies from before the block start,
     // on the second page: found at load although no page is unpacked yet
    FileBuilder f;
    f.u8(25).u8(1).name("P").i32(2);
    for (int page = 0; page < 2; ++page) {
      const size_t at = f.pos();
      f.i32(0).u16(9).i32(2100).i32(2970).u8(0).i32(-1).u8(0).i32(0).i32(0).i32(0).i32(0);
      f.i32(5).u16(5);
      if (page == 0)
        f.bytes({0x80, 25, 1, 2, 3});  // stored block
      else
        f.bytes({0x40, 0x80, 0x00, 0x00, 0x13});
      f.patch(at, int32_t(f.pos()));
    }
    f.u8(0);
    expectRefused(f.done(), "page 2: Error reading compressed stream.",
                  "page 2: Error reading compressed stream.",
                  "página 2: erro ao ler os dados compactados.");
  }
  {  // a small page claiming to expand beyond the per-page limit
    FileBuilder f;
    f.u8(25).u8(1).name("P").i32(1);
    const size_t at = f.pos();
    f.i32(0).u16(9).i32(2100).i32(2970).u8(0).i32(-1).u8(0).i32(0).i32(0).i32(0).i32(0);
    f.i32(0);
    const size_t blocks = kMaxPageBytes / lzrw::kBlockSize + 8;
    for (size_t i = 0; i < blocks; ++i) f.u16(0);
    f.patch(at, int32_t(f.pos()));
    f.u8(0);
    expectRefused(f.done(), "limit", "page 1: page data would expand beyond the limit of 64 MiB",
                  "página 1: os dados da página passariam do limite de 64 MiB");
  }
  {  // metafile layout without the terminating 0 of its printer names
    FileBuilder f;
    f.bytes({'A', 'B', 'C'});
    expectRefused(f.done(), "printer names", "unexpected end of data reading printer names",
                  "fim inesperado dos dados ao ler os nomes das impressoras");
  }
}

TEST_F(StoreTest, FilesNameThemselvesInErrors) {
  TfrEMFPages store(&owner);
  try {
    store.LoadFromFile("/nonexistent/report.frp");
    FAIL();
  } catch (const PreparedFileError& e) {
    EXPECT_EQ(e.file, "/nonexistent/report.frp");
    EXPECT_NE(std::string(e.what()).find("/nonexistent/report.frp: "), std::string::npos);
  }
}

}  // namespace
}  // namespace orv
