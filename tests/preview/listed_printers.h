#pragma once
#include <string>
#include <utility>
#include <vector>

#include "printing/printer_backend.h"

namespace orv {

// Printers known by name alone, each giving an A4 device mode at 300 dpi:
// enough for the dialogs and for a load to choose among them.
class ListedPrinters : public PrinterBackend {
 public:
  ListedPrinters(std::vector<std::string> names, int defaultIndex)
      : current(defaultIndex), names_(std::move(names)), default_(defaultIndex) {}
  std::vector<std::string> printers() override { return names_; }
  int defaultIndex() override { return default_; }
  int currentIndex() override { return current; }
  void setCurrentIndex(int i) override { current = i; }
  bool getDeviceMode(int, DeviceMode& m) override {
    m.fields = DeviceMode::kPaperSize | DeviceMode::kOrientation;
    return true;
  }
  bool setDeviceMode(int, const DeviceMode&) override { return true; }
  bool capabilities(int, const DeviceMode&, DeviceCaps& c) override {
    c.logPixelsX = c.logPixelsY = 300;
    c.physicalWidth = 2480;
    c.physicalHeight = 3508;
    c.pageWidth = 2400;
    c.pageHeight = 3400;
    return true;
  }
  int current;

 private:
  std::vector<std::string> names_;
  int default_;
};

}  // namespace orv
