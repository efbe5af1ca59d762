#include "printing/tfr_printer.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/geometry.h"
#include "platform/strings.h"

namespace orv {

int32_t DefaultPaperSize = 9;
bool PrinterReady = false;

namespace {
constexpr int kVirtualPrinterString = 55007;
constexpr int kDefaultBinString = 55435;
constexpr int kFirstPaperString = 55008;
// The virtual printer's printable area is the paper less this margin on each side.
constexpr int32_t kVirtualOffset = 18;

std::unique_ptr<TfrPrinter> g_instance;
std::unique_ptr<PrinterBackend> g_backend;

int32_t toReportPixels(int32_t tenthsMm) {
  return roundEven(tenthsMm * kReportPixelsPerInch / kTenthsMmPerInch);
}
}  // namespace

TfrPrinter::TfrPrinter() {
  PaperSize = 9;
  LoadPaperNames();
}

TfrPrinter& TfrPrinter::startUp(std::unique_ptr<PrinterBackend> backend) {
  installSharedPrinter(nullptr);
  g_instance = std::make_unique<TfrPrinter>();
  g_backend = std::move(backend);
  TfrPrinter& p = *g_instance;
  installSharedPrinter(&p);
  try {
    p.AttachPrinter(g_backend.get());
    DeviceMode dm;
    const bool usable =
        p.hasPrinters() && !p.isVirtual() && g_backend->getDeviceMode(p.CurrentIndex, dm);
    if (!usable) {
      p.SelectPrinter(p.VirtualIndex);
      p.PaperSize = -1;
    }
    DefaultPaperSize = p.PaperSize;
  } catch (...) {
    // A printer that fails while starting must not stop the program: the model
    // stays as far as it got.
  }
  PrinterReady = true;
  return p;
}

TfrPrinter* TfrPrinter::instance() {
  return g_instance.get();
}

TfrPrinter& TfrPrinter::current() {
  if (TfrPrinter* p = instance()) return *p;
  return startUp(nullptr);
}

void TfrPrinter::LoadPaperNames() {
  for (int i = 0; i < kPaperCount; ++i) PaperNames[i] = loadString8(kFirstPaperString + i);
  if (!PrinterList.empty()) PrinterList.back() = loadString8(kVirtualPrinterString);
}

void TfrPrinter::AttachPrinter(PrinterBackend* backend) {
  PrinterList.clear();
  CurrentIndex = 0;
  backend_ = backend;
  std::vector<std::string> names;
  if (backend_) names = backend_->printers();
  if (!names.empty()) {
    PrinterList = names;
    CurrentIndex = std::clamp(backend_->currentIndex(), 0, int(names.size()) - 1);
  }
  PrinterList.push_back(loadString8(kVirtualPrinterString));
  VirtualIndex = int(PrinterList.size()) - 1;
  if (names.empty())
    ApplySettings();
  else
    ReadSettings();
}

int TfrPrinter::defaultIndex() const {
  if (!backend_ || !hasPrinters()) return VirtualIndex;
  return std::clamp(backend_->defaultIndex(), 0, VirtualIndex);
}

std::string TfrPrinter::currentPrinterName() const {
  if (CurrentIndex < 0 || CurrentIndex >= int(PrinterList.size())) return std::string();
  return PrinterList[CurrentIndex];
}

int TfrPrinter::findPrinter(const std::string& name) const {
  auto sameIgnoringCase = [&](const std::string& n) {
    return n.size() == name.size() &&
           std::equal(n.begin(), n.end(), name.begin(), [](char a, char b) {
             return std::tolower(static_cast<unsigned char>(a)) ==
                    std::tolower(static_cast<unsigned char>(b));
           });
  };
  const auto end = PrinterList.begin() + std::min<int>(VirtualIndex, int(PrinterList.size()));
  auto it = std::find(PrinterList.begin(), end, name);
  if (it == end) it = std::find_if(PrinterList.begin(), end, sameIgnoringCase);
  return it == end ? -1 : int(it - PrinterList.begin());
}

void TfrPrinter::SelectPrinter(int index) {
  if (index == CurrentIndex) return;
  if (index < 0 || index > VirtualIndex) return;
  CurrentIndex = index;
  if (index == VirtualIndex) {
    ApplySettings();
    return;
  }
  if (hasPrinters()) {
    // The system printer follows, so that attaching again (as every print job
    // does) stays on the printer the user chose.
    if (backend_) backend_->setCurrentIndex(index);
    ReadSettings();
  }
}

void TfrPrinter::ReadSettings() {
  if (isVirtual() || !backend_) {
    ApplySettings();
    return;
  }
  DeviceMode dm;
  DeviceCaps caps;
  // Like the system printer object, a first request may come back empty; ask once more.
  bool ok = backend_->getDeviceMode(CurrentIndex, dm) || backend_->getDeviceMode(CurrentIndex, dm);
  ok = ok && backend_->capabilities(CurrentIndex, dm, caps) && caps.logPixelsX > 0 &&
       caps.logPixelsY > 0;
  if (!ok) {
    SelectPrinter(VirtualIndex);
    return;
  }
  Caps = caps;
  PaperSize = dm.paperSize;
  PaperWidth = roundEven(double(caps.physicalWidth) / caps.logPixelsX * 254.0);
  PaperHeight = roundEven(double(caps.physicalHeight) / caps.logPixelsY * 254.0);

  // Drivers may report more papers and bins than the fixed arrays hold.
  PaperCodes.fill(0);
  PaperCodeCount = std::min<int>(caps.paperCodes.size(), kMaxPapers);
  PaperNameList.clear();
  for (int i = 0; i < PaperCodeCount; ++i) {
    PaperCodes[i] = caps.paperCodes[i];
    PaperNameList.push_back(i < int(caps.paperNames.size()) ? caps.paperNames[i] : std::string());
  }

  Bin = dm.defaultSource;
  const int bins = std::min<int>(caps.binCodes.size(), kMaxBins);
  BinNameList.clear();
  BinNameList.push_back(loadString8(kDefaultBinString));
  BinCodes.fill(0);
  BinCodes[0] = -1;
  for (int i = 0; i < bins; ++i) {
    BinCodes[i + 1] = static_cast<int16_t>(caps.binCodes[i]);
    BinNameList.push_back(i < int(caps.binNames.size()) ? caps.binNames[i] : std::string());
  }
  BinCount = bins + 1;
  Orientation = dm.orientation != 1 ? 1 : 0;
}

void TfrPrinter::ApplySettings() {
  if (isVirtual() || !backend_) {
    PaperNameList.clear();
    for (int i = 0; i < kPaperCount; ++i) {
      const TPaperInfo& row = PaperTable[i];
      PaperNameList.push_back(PaperNames[i]);
      PaperCodes[i] = static_cast<uint16_t>(row.Typ);
      if (PaperSize != kCustomPaper && PaperSize == row.Typ) {
        PaperWidth = row.X;
        PaperHeight = row.Y;
        if (Orientation == 1) std::swap(PaperWidth, PaperHeight);
      }
    }
    PaperCodeCount = kPaperCount;
    return;
  }
  DeviceMode dm;
  if (!backend_->getDeviceMode(CurrentIndex, dm)) {
    SelectPrinter(VirtualIndex);
    return;
  }
  if (PaperSize == kCustomPaper) {
    dm.fields |= DeviceMode::kPaperLength | DeviceMode::kPaperWidth;
    dm.paperLength = static_cast<int16_t>(PaperHeight);
    dm.paperWidth = static_cast<int16_t>(PaperWidth);
  } else {
    dm.fields &= ~(DeviceMode::kPaperLength | DeviceMode::kPaperWidth);
  }
  if (dm.fields & DeviceMode::kPaperSize) dm.paperSize = static_cast<int16_t>(PaperSize);
  if (dm.fields & DeviceMode::kOrientation) dm.orientation = Orientation == 1 ? 2 : 1;
  if (dm.fields & DeviceMode::kCopies) dm.copies = 1;
  if ((dm.fields & DeviceMode::kDefaultSource) && (Bin & 0xFFFF) != 0xFFFF)
    dm.defaultSource = static_cast<int16_t>(Bin);
  backend_->setDeviceMode(CurrentIndex, dm);
  ReadSettings();
}

bool TfrPrinter::IsSamePaper(int32_t code, int32_t width, int32_t height, int32_t orientation,
                             int32_t bin) const {
  if (code != PaperSize) return false;
  if (code == kCustomPaper)
    // In 64 bits: a damaged file may carry sizes at the ends of the range.
    return std::abs(int64_t(PaperWidth) - width) <= 1 &&
           std::abs(int64_t(PaperHeight) - height) <= 1 && orientation == Orientation;
  return orientation == Orientation && (bin == Bin || (bin & 0xFFFF) == 0xFFFF);
}

void TfrPrinter::SetPaper(int32_t code, int32_t width, int32_t height, int32_t orientation,
                          int32_t bin, bool force) {
  if (Printing) return;
  if (!force && IsSamePaper(code, width, height, orientation, bin)) return;
  PaperSize = code;
  PaperWidth = width;
  PaperHeight = height;
  Orientation = orientation;
  Bin = bin;
  ApplySettings();
}

void TfrPrinter::FillPrinterInfo(PrinterInfo& info) {
  if (isVirtual() || !backend_ || Caps.logPixelsX <= 0 || Caps.logPixelsY <= 0) {
    info.PaperWidthPx = toReportPixels(PaperWidth);
    info.PaperHeightPx = toReportPixels(PaperHeight);
    info.OffsetX = kVirtualOffset;
    info.OffsetY = kVirtualOffset;
    info.PrintableWidth = info.PaperWidthPx - 2 * kVirtualOffset;
    info.PrintableHeight = info.PaperHeightPx - 2 * kVirtualOffset;
    return;
  }
  const double kx = kReportPixelsPerInch / Caps.logPixelsX;
  const double ky = kReportPixelsPerInch / Caps.logPixelsY;
  info.DevicePaperWidth = Caps.physicalWidth;
  info.PaperWidthPx = roundEven(kx * info.DevicePaperWidth);
  info.DevicePaperHeight = Caps.physicalHeight;
  info.PaperHeightPx = roundEven(ky * info.DevicePaperHeight);
  info.DeviceOffsetX = Caps.physicalOffsetX;
  info.OffsetX = roundEven(kx * info.DeviceOffsetX);
  info.DeviceOffsetY = Caps.physicalOffsetY;
  info.OffsetY = roundEven(ky * info.DeviceOffsetY);
  info.DevicePrintableWidth = Caps.pageWidth;
  info.PrintableWidth = roundEven(kx * Caps.pageWidth);
  info.DevicePrintableHeight = Caps.pageHeight;
  info.PrintableHeight = roundEven(ky * Caps.pageHeight);
}

}  // namespace orv
