#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace orv {

// Report pixels per inch: every view coordinate is in this unit.
inline constexpr double kReportPixelsPerInch = 93.0 / 1.015;  // 91.6256157635468...
// Paper sizes are in tenths of a millimetre.
inline constexpr double kTenthsMmPerInch = 254.0;

// The printer-information block each page carries: the paper and printable
// area in device pixels and in report pixels.
struct PrinterInfo {
  int32_t DevicePaperWidth = 0;
  int32_t DevicePaperHeight = 0;
  int32_t PaperWidthPx = 0;
  int32_t PaperHeightPx = 0;
  int32_t DeviceOffsetX = 0;
  int32_t DeviceOffsetY = 0;
  int32_t OffsetX = 0;
  int32_t OffsetY = 0;
  int32_t DevicePrintableWidth = 0;
  int32_t DevicePrintableHeight = 0;
  int32_t PrintableWidth = 0;
  int32_t PrintableHeight = 0;
  friend bool operator==(const PrinterInfo&, const PrinterInfo&) = default;
};

// The paper description a page carries and pushes into the printer model.
struct PaperSpec {
  int32_t size = 9;  // paper code; 256 custom
  int32_t width = 2100;
  int32_t height = 2970;
  int32_t orientation = 0;  // 0 portrait, 1 landscape
  int32_t bin = -1;         // -1: leave the driver's bin alone
};

// What the document model needs from the printer model. The printing layer
// implements it; the model only sees this seam, so it stays below printing.
class PrinterModel {
 public:
  virtual ~PrinterModel() = default;
  virtual void SetPaper(int32_t code, int32_t width, int32_t height, int32_t orientation,
                        int32_t bin, bool force) = 0;
  virtual void FillPrinterInfo(PrinterInfo& info) = 0;
  virtual const std::vector<std::string>& printerNames() const = 0;
  virtual int currentIndex() const = 0;
  virtual int defaultIndex() const = 0;
  virtual void SelectPrinter(int index) = 0;
  virtual std::string currentPrinterName() const = 0;
  virtual bool isPrinting() const = 0;
  // The paper the model now holds (code, size as seen in its orientation,
  // orientation, bin): what a page takes after a refused paper change.
  virtual PaperSpec currentPaper() const { return {}; }
  // The paper code a new blank page starts with.
  virtual int32_t defaultPaperSize() const { return 9; }
};

// The process-wide printer model, installed by the printing layer when the
// program starts (TfrPrinter::startUp).
PrinterModel& sharedPrinter();
void installSharedPrinter(PrinterModel* model);

}  // namespace orv
