#pragma once
#include <QByteArray>
#include <QPageSize>
#include <QString>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "printing/printer_backend.h"

class QPrinter;
class QPageLayout;

namespace orv {

// The system's printers over CUPS: the list, the default and the papers come
// from Qt's print support (paper codes are the Windows codes Qt knows for each
// size), the input slots from libcups as bins. Each printer keeps the device
// mode the printer model last set, so paper changes stay with the program and
// never alter the queue's own defaults.
class CupsBackend : public PrinterBackend {
 public:
  CupsBackend();
  ~CupsBackend() override;

  std::vector<std::string> printers() override;
  int defaultIndex() override;
  int currentIndex() override;
  void setCurrentIndex(int index) override;
  bool getDeviceMode(int index, DeviceMode& mode) override;
  bool setDeviceMode(int index, const DeviceMode& mode) override;
  bool capabilities(int index, const DeviceMode& mode, DeviceCaps& caps) override;
  std::unique_ptr<PrintDevice> createDevice(int index) override;
  std::vector<PrinterOption> printerOptions(int index) override;
  JobOptions jobOptions(int index) override;
  void setJobOptions(int index, const JobOptions& options) override;
  bool mediaPaper(int index, const std::string& keyword, PaperSpec& paper) override;
  // The spooler's media keyword for a page size ("iso_a5_148x210mm").
  static std::string mediaKeyword(const QPageSize& size);

  // The options one document goes to the spooler with: its paper as the
  // page laid it out, the tray the pages asked for, the copies, and what the
  // user chose for the printer.
  JobOptions documentOptions(int index, int copies, const QPageLayout& layout);
  // The queue's own name, as the spooler knows it.
  QString queueName(int index);

  // Sets up a QPrinter for the printer with its device mode: what each print
  // document is laid out from. False for a bad index.
  bool configure(int index, QPrinter& printer);

  // The page size a device mode asks for, and whether it is landscape.
  static QPageSize pageSizeOf(const DeviceMode& mode);

 private:
  struct Bin {
    uint16_t code;
    std::string keyword;
    std::string name;
  };
  struct Printer {
    QString name;
    DeviceMode mode;
    bool modeRead = false;
    bool binsRead = false;
    std::vector<Bin> bins;
    int defaultBin = -1;
    JobOptions chosen;
  };
  Printer* at(int index);
  void appendDriverOptions(const QByteArray& queue, std::vector<PrinterOption>& out);
  void readBins(Printer& p);
  DeviceMode defaultMode(Printer& p);

  std::vector<QString> names_;
  std::map<QString, Printer> known_;
  QString current_;
  // Capabilities by printer and paper: reading them builds a printer object,
  // and reports switch between few papers.
  using CapsKey = std::tuple<QString, int, int, int, int>;
  std::map<CapsKey, DeviceCaps> caps_;
};

std::unique_ptr<PrinterBackend> makeCupsBackend();

}  // namespace orv
