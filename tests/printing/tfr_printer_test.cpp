#include "printing/tfr_printer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace orv {
namespace {

int32_t px(int32_t tenthsMm) {
  return int32_t(std::nearbyint(tenthsMm * 91.6256157635468 / 254));
}

class VirtualPrinterTest : public ::testing::Test {
 protected:
  void SetUp() override { printer = &TfrPrinter::startUp(nullptr); }
  TfrPrinter* printer = nullptr;
};

TEST_F(VirtualPrinterTest, NoPrintersLeavesOnlyTheVirtualOne) {
  ASSERT_EQ(printer->PrinterList.size(), 1u);
  EXPECT_EQ(printer->PrinterList[0], "Impressora Virtual");
  EXPECT_EQ(printer->CurrentIndex, printer->VirtualIndex);
  EXPECT_EQ(printer->currentPrinterName(), "Impressora Virtual");
  // Without a usable device mode the first paper change must always apply.
  EXPECT_EQ(printer->PaperSize, -1);
  EXPECT_EQ(DefaultPaperSize, -1);
  EXPECT_TRUE(PrinterReady);
  EXPECT_EQ(&sharedPrinter(), printer);
}

TEST_F(VirtualPrinterTest, A4PortraitGivesTheDocumentedBlock) {
  printer->SetPaper(9, 0, 0, 0, -1, false);
  EXPECT_EQ(printer->PaperWidth, 2100);
  EXPECT_EQ(printer->PaperHeight, 2970);
  PrinterInfo info;
  printer->FillPrinterInfo(info);
  EXPECT_EQ(info.PaperWidthPx, 758);
  EXPECT_EQ(info.PaperHeightPx, 1071);
  EXPECT_EQ(info.OffsetX, 18);
  EXPECT_EQ(info.OffsetY, 18);
  EXPECT_EQ(info.PrintableWidth, 722);
  EXPECT_EQ(info.PrintableHeight, 1035);
  // The device fields stay as they were on the virtual printer.
  EXPECT_EQ(info.DevicePaperWidth, 0);
}

TEST_F(VirtualPrinterTest, LandscapeSwapsTheTableSize) {
  printer->SetPaper(9, 0, 0, 1, -1, false);
  EXPECT_EQ(printer->PaperWidth, 2970);
  EXPECT_EQ(printer->PaperHeight, 2100);
}

TEST_F(VirtualPrinterTest, EveryTableRowResolvesToItsSize) {
  for (const TPaperInfo& row : PaperTable) {
    if (row.Typ == kCustomPaper) continue;
    printer->SetPaper(row.Typ, 1, 1, 0, -1, true);
    EXPECT_EQ(printer->PaperWidth, row.X) << row.Typ;
    EXPECT_EQ(printer->PaperHeight, row.Y) << row.Typ;
    PrinterInfo info;
    printer->FillPrinterInfo(info);
    EXPECT_EQ(info.PaperWidthPx, px(row.X));
    EXPECT_EQ(info.PaperHeightPx, px(row.Y));
  }
  EXPECT_EQ(printer->PaperCodeCount, 67);
  EXPECT_EQ(printer->PaperNameList.size(), 67u);
}

TEST_F(VirtualPrinterTest, CustomAndUnknownCodesKeepTheGivenSize) {
  printer->SetPaper(256, 1234, 2345, 0, -1, false);
  EXPECT_EQ(printer->PaperWidth, 1234);
  EXPECT_EQ(printer->PaperHeight, 2345);
  printer->SetPaper(49, 1500, 1600, 0, -1, false);  // not in the table
  EXPECT_EQ(printer->PaperWidth, 1500);
  EXPECT_EQ(printer->PaperHeight, 1600);
}

TEST_F(VirtualPrinterTest, SamePaperRules) {
  printer->SetPaper(256, 1000, 2000, 0, 7, true);
  EXPECT_TRUE(printer->IsSamePaper(256, 1001, 1999, 0, 3));  // bin ignored for custom
  EXPECT_FALSE(printer->IsSamePaper(256, 1002, 2000, 0, 7));
  EXPECT_FALSE(printer->IsSamePaper(256, 1000, 2002, 0, 7));
  EXPECT_FALSE(printer->IsSamePaper(256, 1000, 2000, 1, 7));
  // Sizes at the ends of the range, as a damaged file may carry them.
  printer->SetPaper(256, 0, INT32_MAX, 0, -1, true);
  EXPECT_FALSE(printer->IsSamePaper(256, INT32_MIN, INT32_MAX, 0, -1));
  EXPECT_FALSE(printer->IsSamePaper(256, 0, INT32_MIN, 0, -1));

  printer->SetPaper(9, 0, 0, 0, 7, true);
  EXPECT_TRUE(printer->IsSamePaper(9, 0, 0, 0, 7));
  EXPECT_TRUE(printer->IsSamePaper(9, 0, 0, 0, -1));
  EXPECT_TRUE(printer->IsSamePaper(9, 0, 0, 0, 0xFFFF));  // only the low 16 bits count
  EXPECT_FALSE(printer->IsSamePaper(9, 0, 0, 0, 8));
  EXPECT_FALSE(printer->IsSamePaper(9, 0, 0, 1, 7));
  EXPECT_FALSE(printer->IsSamePaper(8, 0, 0, 0, 7));
}

TEST_F(VirtualPrinterTest, ForceReappliesAndPrintingBlocksChanges) {
  printer->SetPaper(9, 0, 0, 0, -1, false);
  printer->PaperWidth = 1;  // as if something had disturbed it
  printer->SetPaper(9, 0, 0, 0, -1, false);
  EXPECT_EQ(printer->PaperWidth, 1);
  printer->SetPaper(9, 0, 0, 0, -1, true);
  EXPECT_EQ(printer->PaperWidth, 2100);

  printer->Printing = true;
  printer->SetPaper(8, 0, 0, 0, -1, true);
  EXPECT_EQ(printer->PaperSize, 9);
  printer->Printing = false;
}

TEST(PaperTableTest, CodesAreTheDocumentedSet) {
  std::set<int32_t> codes;
  for (const TPaperInfo& row : PaperTable) codes.insert(row.Typ);
  EXPECT_EQ(codes.size(), 67u);
  EXPECT_EQ(codes.count(48), 0u);
  EXPECT_EQ(codes.count(49), 0u);
  for (int c = 1; c <= 68; ++c)
    if (c != 48 && c != 49) {
      EXPECT_EQ(codes.count(c), 1u) << c;
    }
  EXPECT_EQ(PaperTable.back().Typ, 256);
  EXPECT_EQ(paperIndex(9), 8);
  EXPECT_EQ(paperIndex(50), 47);
  EXPECT_EQ(paperIndex(48), -1);
}

// A driver stand-in: 600 dpi, A4 with 1/4 inch unprintable margins.
class FakeBackend : public PrinterBackend {
 public:
  std::vector<std::string> names = {"Laser", "Jato"};
  bool failDeviceMode = false;
  int papers = 3;
  int bins = 2;
  DeviceMode mode;
  int setCalls = 0;

  FakeBackend() {
    mode.fields = DeviceMode::kPaperSize | DeviceMode::kOrientation | DeviceMode::kCopies |
                  DeviceMode::kDefaultSource;
    mode.paperSize = 9;
    mode.defaultSource = 15;
  }
  std::vector<std::string> printers() override { return names; }
  int defaultIndex() override { return 1; }
  bool getDeviceMode(int, DeviceMode& m) override {
    if (failDeviceMode) return false;
    m = mode;
    return true;
  }
  bool setDeviceMode(int, const DeviceMode& m) override {
    ++setCalls;
    mode = m;
    return true;
  }
  bool capabilities(int, const DeviceMode& m, DeviceCaps& c) override {
    c.logPixelsX = c.logPixelsY = 600;
    const bool land = m.orientation == 2;
    const int w = 4961, h = 7016;  // A4 at 600 dpi
    c.physicalWidth = land ? h : w;
    c.physicalHeight = land ? w : h;
    c.physicalOffsetX = c.physicalOffsetY = 150;
    c.pageWidth = c.physicalWidth - 300;
    c.pageHeight = c.physicalHeight - 300;
    for (int i = 0; i < papers; ++i) {
      c.paperCodes.push_back(uint16_t(i + 1));
      c.paperNames.push_back(std::string("P").append(std::to_string(i)));
    }
    for (int i = 0; i < bins; ++i) {
      c.binCodes.push_back(uint16_t(i + 1));
      c.binNames.push_back(std::string("B").append(std::to_string(i)));
    }
    return true;
  }
};

TEST(RealPrinterTest, ReadsTheDriverAndConvertsToReportPixels) {
  auto owned = std::make_unique<FakeBackend>();
  FakeBackend* fake = owned.get();
  TfrPrinter& p = TfrPrinter::startUp(std::move(owned));
  ASSERT_EQ(p.PrinterList.size(), 3u);
  EXPECT_EQ(p.PrinterList.back(), "Impressora Virtual");
  EXPECT_EQ(p.CurrentIndex, 1);
  EXPECT_EQ(p.PaperSize, 9);
  EXPECT_EQ(p.PaperWidth, int(std::nearbyint(4961.0 / 600 * 254)));
  EXPECT_EQ(p.Bin, 15);
  EXPECT_EQ(p.BinCount, 3);
  EXPECT_EQ(p.BinCodes[0], -1);
  EXPECT_EQ(p.BinNameList.size(), 3u);
  EXPECT_EQ(p.BinNameList[0], "");

  PrinterInfo info;
  p.FillPrinterInfo(info);
  const double k = 91.6256157635468 / 600;
  EXPECT_EQ(info.DevicePaperWidth, 4961);
  EXPECT_EQ(info.PaperWidthPx, int(std::nearbyint(4961 * k)));
  EXPECT_EQ(info.OffsetX, int(std::nearbyint(150 * k)));
  EXPECT_EQ(info.PrintableHeight, int(std::nearbyint((7016 - 300) * k)));

  p.SetPaper(9, 2100, 2970, 1, -1, false);
  EXPECT_EQ(fake->mode.orientation, 2);
  EXPECT_EQ(fake->mode.copies, 1);
  EXPECT_EQ(fake->mode.defaultSource, 15);  // bin -1 leaves the driver's bin alone
  EXPECT_EQ(p.Orientation, 1);

  p.SetPaper(256, 1000, 1500, 0, 2, false);
  EXPECT_TRUE(fake->mode.fields & DeviceMode::kPaperLength);
  EXPECT_EQ(fake->mode.paperLength, 1500);
  EXPECT_EQ(fake->mode.paperWidth, 1000);
  EXPECT_EQ(fake->mode.defaultSource, 2);
}

TEST(RealPrinterTest, OversizedCapabilityListsAreCut) {
  auto owned = std::make_unique<FakeBackend>();
  owned->papers = 300;
  owned->bins = 80;
  TfrPrinter& p = TfrPrinter::startUp(std::move(owned));
  EXPECT_EQ(p.PaperCodeCount, 256);
  EXPECT_EQ(p.PaperNameList.size(), 256u);
  EXPECT_EQ(p.BinCount, 65);
  EXPECT_EQ(p.BinNameList.size(), 65u);
}

TEST(RealPrinterTest, DriverWithoutDeviceModeFallsBackSilently) {
  auto owned = std::make_unique<FakeBackend>();
  owned->failDeviceMode = true;
  TfrPrinter& p = TfrPrinter::startUp(std::move(owned));
  EXPECT_TRUE(p.isVirtual());
  EXPECT_EQ(p.PaperSize, -1);
  p.SetPaper(9, 0, 0, 0, -1, false);
  PrinterInfo info;
  p.FillPrinterInfo(info);
  EXPECT_EQ(info.PaperWidthPx, 758);
}

TEST(RealPrinterTest, SelectingTheVirtualPrinterUsesTheTable) {
  TfrPrinter& p = TfrPrinter::startUp(std::make_unique<FakeBackend>());
  p.SelectPrinter(p.VirtualIndex);
  EXPECT_TRUE(p.isVirtual());
  EXPECT_EQ(p.PaperCodeCount, 67);
  p.SelectPrinter(0);
  EXPECT_FALSE(p.isVirtual());
  EXPECT_EQ(p.PaperCodeCount, 3);
  TfrPrinter::startUp(nullptr);  // leave no fake behind for other tests
}

TEST(RealPrinterTest, PrintersAreFoundByNameAsTheSpoolerComparesThem) {
  auto owned = std::make_unique<FakeBackend>();
  owned->names = {"escritorio", "Escritorio", "Jato"};
  TfrPrinter& p = TfrPrinter::startUp(std::move(owned));
  EXPECT_EQ(p.findPrinter("Escritorio"), 1);  // the exact name wins
  EXPECT_EQ(p.findPrinter("ESCRITORIO"), 0);
  EXPECT_EQ(p.findPrinter("jATO"), 2);
  EXPECT_EQ(p.findPrinter("Jat"), -1);
  // The virtual printer is no installed printer.
  EXPECT_EQ(p.findPrinter(p.PrinterList.back()), -1);
  TfrPrinter::startUp(nullptr);
}

}  // namespace
}  // namespace orv
