#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/printer_info.h"

namespace orv {

class Canvas;

// A printer's document cycle as the print job drives it. One device serves a
// whole job; every document it opens takes the printer's paper as it stands
// at that moment, which is why the job ends a document before changing paper.
class PrintDevice {
 public:
  virtual ~PrintDevice() = default;
  // How many copies the driver makes of every page (uncollated copies).
  virtual void setCopies(int copies) = 0;
  // Raises an Error when the printer will not open a document.
  virtual void beginDocument(const std::string& title) = 0;
  virtual void newSheet() = 0;
  virtual void endDocument() = 0;
  // Drops the open document; never raises. Documents ended but not yet
  // submitted are dropped with the device.
  virtual void abortDocument() = 0;
  // Hands every ended document to the printer. Until then nothing has left
  // the program, so a page that fails to draw leaves nothing half printed.
  // Raises an Error when the printer refuses a document; those it had taken
  // are then withdrawn.
  virtual void submit() {}
  // After submit: what the user should know although nothing failed (the
  // queue is paused, so the job waits there); empty when nothing.
  virtual std::string notice() const { return {}; }
  // The open document's canvas in device pixels, its origin at the corner of
  // the printable area.
  virtual Canvas& canvas() = 0;
};

// Our own device-mode record: the fields the printer model reads and writes.
struct DeviceMode {
  static constexpr uint32_t kOrientation = 0x1;
  static constexpr uint32_t kPaperSize = 0x2;
  static constexpr uint32_t kPaperLength = 0x4;
  static constexpr uint32_t kPaperWidth = 0x8;
  static constexpr uint32_t kCopies = 0x100;
  static constexpr uint32_t kDefaultSource = 0x200;
  static constexpr uint32_t kCollate = 0x8000;

  uint32_t fields = 0;      // which fields are set
  int16_t orientation = 1;  // 1 portrait, 2 landscape
  int16_t paperSize = 9;    // paper code
  int16_t paperLength = 0;  // tenths of a millimetre, custom paper
  int16_t paperWidth = 0;
  int16_t copies = 1;
  int16_t defaultSource = 0;  // bin code
  bool collate = false;
};

// What a real printer reports for a device mode: resolution, physical paper,
// printable area, and the papers and bins it offers.
struct DeviceCaps {
  int logPixelsX = 0;
  int logPixelsY = 0;
  int physicalWidth = 0;  // device pixels
  int physicalHeight = 0;
  int physicalOffsetX = 0;
  int physicalOffsetY = 0;
  int pageWidth = 0;  // printable area, device pixels
  int pageHeight = 0;
  std::vector<uint16_t> paperCodes;
  std::vector<std::string> paperNames;
  std::vector<uint16_t> binCodes;
  std::vector<std::string> binNames;
};

// The spooler's own job options, name and value ("sides" "two-sided-long-edge").
using JobOptions = std::vector<std::pair<std::string, std::string>>;

// The options through which the user puts the pages on another paper or
// turned: their values are the spooler's media keywords and orientation
// numbers (3 portrait, 4 landscape); the empty value keeps each page's own.
inline constexpr const char* kPaperOption = "media";
inline constexpr const char* kOrientationOption = "orientation-requested";

// A choice a printer offers: paper and orientation, two-sided printing,
// colour, quality, pages per sheet, tray, the driver's own options. Names and
// values are the spooler's keywords; labels are UTF-8 texts for the user.
struct PrinterOption {
  struct Choice {
    std::string value;
    std::string label;
    // False when what is installed in the printer rules the choice out (no
    // two-sided unit, say): shown, but not to be chosen.
    bool available = true;
  };
  std::string name;
  std::string label;
  std::vector<Choice> choices;
  // For several choices at once: the chosen values joined by commas, as the
  // spooler takes them.
  std::string defaultValue;
  bool pickMany = false;
  // What is installed in the printer (a two-sided unit, a further tray): set
  // up by the queue's administrator, shown to the user, never sent with a job.
  bool installable = false;
};

// The values of a several-choices option ("A,B"), and back.
std::vector<std::string> splitValues(const std::string& value);
std::string joinValues(const std::vector<std::string>& values);

// The system's printers as the printer model drives them. The printing layer
// provides one over CUPS; tests provide none or a fake.
class PrinterBackend {
 public:
  virtual ~PrinterBackend() = default;
  virtual std::vector<std::string> printers() = 0;
  virtual int defaultIndex() = 0;
  // False when the printer cannot give a device mode.
  virtual bool getDeviceMode(int index, DeviceMode& mode) = 0;
  virtual bool setDeviceMode(int index, const DeviceMode& mode) = 0;
  virtual bool capabilities(int index, const DeviceMode& mode, DeviceCaps& caps) = 0;
  // The printer the system printer object is set to: the default one until the
  // user picks another. The printer model re-attaches to it before each job.
  virtual int currentIndex() { return defaultIndex(); }
  virtual void setCurrentIndex(int) {}
  // A device printing documents on the printer with its current device mode;
  // null when this printer cannot print.
  virtual std::unique_ptr<PrintDevice> createDevice(int) { return nullptr; }
  // What the printer offers beyond paper, and what the user chose of it for
  // the jobs sent to it from now on (sent with every document).
  virtual std::vector<PrinterOption> printerOptions(int) { return {}; }
  virtual JobOptions jobOptions(int) { return {}; }
  virtual void setJobOptions(int, const JobOptions&) {}
  // The paper a media keyword of the paper option names: its paper code
  // (256 when it has none) and its portrait size in tenths of a millimetre.
  // False for a keyword the printer does not know.
  virtual bool mediaPaper(int, const std::string&, PaperSpec&) { return false; }
};

}  // namespace orv
