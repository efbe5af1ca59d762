#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/printer_info.h"
#include "printing/paper_table.h"
#include "printing/printer_backend.h"

namespace orv {

// The single model of the printer that pages are laid out for: the installed
// printers plus the virtual printer (always last), and the paper the current
// printer is set to. Pages push their paper through SetPaper and read back the
// printer-information block with FillPrinterInfo.
class TfrPrinter : public PrinterModel {
 public:
  static constexpr int kMaxPapers = 256;
  static constexpr int kMaxBins = 64;

  TfrPrinter();

  // Creates the process-wide instance over the given backend (none: only the
  // virtual printer) and installs it as the shared printer model. Failures
  // leave the model where it got, on the virtual printer at worst.
  static TfrPrinter& startUp(std::unique_ptr<PrinterBackend> backend);
  static TfrPrinter* instance();
  // The instance, started with the virtual printer only when nothing started
  // it yet.
  static TfrPrinter& current();

  void LoadPaperNames();
  void AttachPrinter(PrinterBackend* backend);
  void SelectPrinter(int index) override;
  void ReadSettings();
  void ApplySettings();
  bool IsSamePaper(int32_t code, int32_t width, int32_t height, int32_t orientation,
                   int32_t bin) const;
  void SetPaper(int32_t code, int32_t width, int32_t height, int32_t orientation, int32_t bin,
                bool force) override;
  void FillPrinterInfo(PrinterInfo& info) override;
  void Refresh() { ReadSettings(); }
  // The installed printer of that name, as the spooler compares queue names:
  // an exact match first, else one that differs only in case; -1 when none.
  int findPrinter(const std::string& name) const;

  // PrinterModel
  const std::vector<std::string>& printerNames() const override { return PrinterList; }
  int currentIndex() const override { return CurrentIndex; }
  int defaultIndex() const override;
  std::string currentPrinterName() const override;
  bool isPrinting() const override { return Printing; }
  bool isVirtual() const { return CurrentIndex == VirtualIndex; }
  PrinterBackend* backend() const { return backend_; }

  std::vector<std::string> PaperNameList;
  std::vector<std::string> BinNameList;
  std::vector<std::string> PrinterList;
  int CurrentIndex = 0;
  int VirtualIndex = 0;
  int32_t Orientation = 0;
  int32_t PaperSize = 9;
  int32_t PaperWidth = 0;
  int32_t PaperHeight = 0;
  int32_t Bin = -1;
  std::array<uint16_t, kMaxPapers> PaperCodes{};
  int PaperCodeCount = 0;
  std::array<int16_t, kMaxBins + 1> BinCodes{};
  int BinCount = 0;
  // The current real printer's capabilities as last read.
  DeviceCaps Caps;
  // True while a print document is open: paper changes are then ignored.
  bool Printing = false;
  std::array<std::string, kPaperCount> PaperNames;

 private:
  bool hasPrinters() const { return VirtualIndex > 0; }
  PrinterBackend* backend_ = nullptr;
};

// Module state besides the instance.
extern int32_t DefaultPaperSize;
extern bool PrinterReady;

}  // namespace orv
