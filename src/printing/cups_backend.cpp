#include "printing/cups_backend.h"

#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <cstring>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/qt_canvas.h"
#include "platform/strings.h"
#include "printing/paper_table.h"
#include "printing/print_job.h"

#ifdef ORV_HAVE_CUPS
#include <cups/cups.h>
#endif

namespace orv {

namespace {

constexpr int kCp = 1252;
constexpr int16_t kBinAuto = 7;  // DMBIN_AUTO
constexpr uint16_t kBinUser = 256;

std::string toModel(const QString& s) {
  return encodeText(s, kCp);
}

// Windows bin codes for the input slots every driver knows; others get codes
// from the driver-specific range, in the order the printer lists them.
uint16_t binCode(const std::string& keyword, size_t index) {
  static const std::pair<const char*, uint16_t> known[] = {
      {"top", 1},     {"upper", 1},           {"bottom", 2},   {"lower", 2},
      {"middle", 3},  {"manual", 4},          {"envelope", 5}, {"auto", 7},
      {"tractor", 8}, {"large-capacity", 11}, {"cassette", 14}};
  for (const auto& [kw, code] : known)
    if (keyword == kw) return code;
  return uint16_t(kBinUser + index);
}

}  // namespace

CupsBackend::CupsBackend() {
  printers();
  current_ = QPrinterInfo::defaultPrinterName();
}

CupsBackend::~CupsBackend() = default;

std::vector<std::string> CupsBackend::printers() {
  names_.clear();
  for (const QString& n : QPrinterInfo::availablePrinterNames()) names_.push_back(n);
  std::vector<std::string> out;
  for (const QString& n : names_) {
    known_.try_emplace(n).first->second.name = n;
    out.push_back(toModel(n));
  }
  return out;
}

int CupsBackend::defaultIndex() {
  const QString def = QPrinterInfo::defaultPrinterName();
  auto it = std::find(names_.begin(), names_.end(), def);
  return it == names_.end() ? 0 : int(it - names_.begin());
}

int CupsBackend::currentIndex() {
  auto it = std::find(names_.begin(), names_.end(), current_);
  return it == names_.end() ? defaultIndex() : int(it - names_.begin());
}

void CupsBackend::setCurrentIndex(int index) {
  if (index >= 0 && index < int(names_.size())) current_ = names_[index];
}

CupsBackend::Printer* CupsBackend::at(int index) {
  if (index < 0 || index >= int(names_.size())) return nullptr;
  return &known_[names_[index]];
}

void CupsBackend::readBins(Printer& p) {
  if (p.binsRead) return;
  p.binsRead = true;
#ifdef ORV_HAVE_CUPS
  const QByteArray name = p.name.toUtf8();
  cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.constData(), nullptr);
  if (!dest) return;
  if (cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest)) {
    ipp_attribute_t* sup = cupsFindDestSupported(CUPS_HTTP_DEFAULT, dest, info, "media-source");
    ipp_attribute_t* def = cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest, info, "media-source");
    const char* defKeyword = def ? ippGetString(def, 0, nullptr) : nullptr;
    const int n = sup ? ippGetCount(sup) : 0;
    for (int i = 0; i < n; ++i) {
      const char* kw = ippGetString(sup, i, nullptr);
      if (!kw) continue;
      const char* label = cupsLocalizeDestValue(CUPS_HTTP_DEFAULT, dest, info, "media-source", kw);
      Bin b{binCode(kw, p.bins.size()), kw, label ? label : kw};
      if (defKeyword && std::strcmp(defKeyword, kw) == 0) p.defaultBin = int(p.bins.size());
      p.bins.push_back(std::move(b));
    }
    cupsFreeDestInfo(info);
  }
  cupsFreeDests(1, dest);
#endif
}

DeviceMode CupsBackend::defaultMode(Printer& p) {
  readBins(p);
  DeviceMode m;
  m.fields = DeviceMode::kOrientation | DeviceMode::kPaperSize | DeviceMode::kCopies |
             DeviceMode::kDefaultSource | DeviceMode::kCollate;
  const QPageSize def = QPrinterInfo::printerInfo(p.name).defaultPageSize();
  const int code = def.isValid() ? def.windowsId() : 0;
  if (code > 0 && code != kCustomPaper) {
    m.paperSize = int16_t(code);
  } else {
    const QSizeF mm = def.isValid() ? def.size(QPageSize::Millimeter) : QSizeF(210, 297);
    m.paperSize = kCustomPaper;
    m.fields |= DeviceMode::kPaperLength | DeviceMode::kPaperWidth;
    m.paperWidth = int16_t(mm.width() * 10 + 0.5);
    m.paperLength = int16_t(mm.height() * 10 + 0.5);
  }
  m.orientation = 1;
  m.copies = 1;
  m.defaultSource = p.defaultBin >= 0 ? int16_t(p.bins[p.defaultBin].code) : kBinAuto;
  return m;
}

bool CupsBackend::getDeviceMode(int index, DeviceMode& mode) {
  Printer* p = at(index);
  if (!p) return false;
  if (!p->modeRead) {
    if (QPrinterInfo::printerInfo(p->name).isNull()) return false;
    p->mode = defaultMode(*p);
    p->modeRead = true;
  }
  mode = p->mode;
  return true;
}

bool CupsBackend::setDeviceMode(int index, const DeviceMode& mode) {
  Printer* p = at(index);
  if (!p) return false;
  // Whatever paper and bin a page asks for is kept as asked: reading back
  // something else would make every later page look like a paper change.
  p->mode = mode;
  p->modeRead = true;
  return true;
}

QPageSize CupsBackend::pageSizeOf(const DeviceMode& m) {
  auto custom = [](double w, double h) {
    return QPageSize(QSizeF(w / 10.0, h / 10.0), QPageSize::Millimeter, QString(),
                     QPageSize::ExactMatch);
  };
  if (m.paperSize == kCustomPaper || (m.fields & DeviceMode::kPaperWidth)) {
    double w = m.paperWidth, h = m.paperLength;
    if (w <= 0 || h <= 0) return QPageSize(QPageSize::A4);
    // A custom size comes as seen in its orientation; the page size is the
    // portrait sheet, the orientation turns it.
    if (m.orientation == 2 && w > h) std::swap(w, h);
    return custom(w, h);
  }
  const QPageSize::PageSizeId id = QPageSize::id(m.paperSize);
  if (id != QPageSize::Custom) return QPageSize(id);
  const int row = paperIndex(m.paperSize);
  if (row >= 0 && PaperTable[row].X > 0) return custom(PaperTable[row].X, PaperTable[row].Y);
  return QPageSize(QPageSize::A4);
}

bool CupsBackend::configure(int index, QPrinter& printer) {
  Printer* p = at(index);
  DeviceMode m;
  if (!p || !getDeviceMode(index, m)) return false;
  printer.setPrinterName(p->name);
  printer.setFullPage(false);
  printer.setPageSize(pageSizeOf(m));
  printer.setPageOrientation(m.orientation == 2 ? QPageLayout::Landscape : QPageLayout::Portrait);
  return true;
}

bool CupsBackend::takeSettings(int index, const QPrinter& printer) {
  DeviceMode m;
  if (!getDeviceMode(index, m)) return false;
  const QPageLayout layout = printer.pageLayout();
  const QPageSize ps = layout.pageSize();
  const int code = ps.windowsId();
  m.orientation = layout.orientation() == QPageLayout::Landscape ? 2 : 1;
  if (code > 0 && code != kCustomPaper) {
    m.paperSize = int16_t(code);
    m.fields &= ~(DeviceMode::kPaperLength | DeviceMode::kPaperWidth);
  } else {
    const QSizeF mm = ps.size(QPageSize::Millimeter);
    m.paperSize = kCustomPaper;
    m.fields |= DeviceMode::kPaperLength | DeviceMode::kPaperWidth;
    m.paperWidth = int16_t(mm.width() * 10 + 0.5);
    m.paperLength = int16_t(mm.height() * 10 + 0.5);
  }
  return setDeviceMode(index, m);
}

bool CupsBackend::capabilities(int index, const DeviceMode& mode, DeviceCaps& caps) {
  Printer* p = at(index);
  if (!p) return false;
  const QPrinterInfo info = QPrinterInfo::printerInfo(p->name);
  if (info.isNull()) return false;
  const CapsKey key{p->name, mode.paperSize, mode.paperWidth, mode.paperLength, mode.orientation};
  auto cached = caps_.find(key);
  if (cached != caps_.end()) {
    caps = cached->second;
    return true;
  }
  QPrinter printer(info, QPrinter::HighResolution);
  if (!printer.isValid()) return false;
  printer.setFullPage(false);
  printer.setPageSize(pageSizeOf(mode));
  printer.setPageOrientation(mode.orientation == 2 ? QPageLayout::Landscape
                                                   : QPageLayout::Portrait);
  const int dpi = printer.resolution();
  if (dpi <= 0) return false;
  const QRect paper = printer.paperRect(QPrinter::DevicePixel).toRect();
  const QRect page = printer.pageRect(QPrinter::DevicePixel).toRect();
  DeviceCaps c;
  c.logPixelsX = c.logPixelsY = dpi;
  c.physicalWidth = paper.width();
  c.physicalHeight = paper.height();
  c.physicalOffsetX = page.left() - paper.left();
  c.physicalOffsetY = page.top() - paper.top();
  c.pageWidth = page.width();
  c.pageHeight = page.height();
  for (const QPageSize& ps : info.supportedPageSizes()) {
    const int code = ps.windowsId();
    if (code <= 0) continue;
    if (std::find(c.paperCodes.begin(), c.paperCodes.end(), uint16_t(code)) != c.paperCodes.end())
      continue;
    c.paperCodes.push_back(uint16_t(code));
    c.paperNames.push_back(toModel(ps.name()));
  }
  readBins(*p);
  for (const Bin& b : p->bins) {
    c.binCodes.push_back(b.code);
    c.binNames.push_back(toModel(QString::fromUtf8(b.name.c_str())));
  }
  caps_[key] = c;
  caps = std::move(c);
  return true;
}

namespace {

// Documents on a CUPS queue through QPrinter: each document is one QPrinter
// (one spooled job) set up with the printer's device mode when it begins.
class QtPrinterDevice : public PrintDevice {
 public:
  QtPrinterDevice(CupsBackend& backend, int index) : backend_(backend), index_(index) {}
  ~QtPrinterDevice() override { abortDocument(); }

  void setCopies(int copies) override { copies_ = std::max(1, copies); }

  void beginDocument(const std::string& title) override {
    abortDocument();
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (!backend_.configure(index_, *printer_) || !printer_->isValid())
      throw Error(loadString8(55210));
    printer_->setDocName(decodeBytes(title, kCp));
    printer_->setCopyCount(copies_);
    printer_->setCollateCopies(false);
    painter_ = std::make_unique<QPainter>();
    if (!painter_->begin(printer_.get())) {
      painter_.reset();
      printer_.reset();
      throw Error(loadString8(55210));
    }
    const QRect page = printer_->pageRect(QPrinter::DevicePixel).toRect();
    const int dpi = printer_->resolution();
    canvas_ = std::make_unique<QtCanvas>(painter_.get(), Rect{0, 0, page.width(), page.height()},
                                         dpi, dpi);
  }

  void newSheet() override {
    if (!printer_) return;
    canvas_.reset();
    printer_->newPage();
    const QRect page = printer_->pageRect(QPrinter::DevicePixel).toRect();
    const int dpi = printer_->resolution();
    canvas_ = std::make_unique<QtCanvas>(painter_.get(), Rect{0, 0, page.width(), page.height()},
                                         dpi, dpi);
  }

  void endDocument() override {
    canvas_.reset();
    if (painter_) painter_->end();
    painter_.reset();
    printer_.reset();
  }

  void abortDocument() override {
    canvas_.reset();
    if (printer_ && painter_) printer_->abort();
    if (painter_ && painter_->isActive()) painter_->end();
    painter_.reset();
    printer_.reset();
  }

  Canvas& canvas() override {
    if (!canvas_) throw Error(loadString8(55210));
    return *canvas_;
  }

 private:
  CupsBackend& backend_;
  int index_;
  int copies_ = 1;
  std::unique_ptr<QPrinter> printer_;
  std::unique_ptr<QPainter> painter_;
  std::unique_ptr<QtCanvas> canvas_;
};

}  // namespace

std::unique_ptr<PrintDevice> CupsBackend::createDevice(int index) {
  if (!at(index)) return nullptr;
  return std::make_unique<QtPrinterDevice>(*this, index);
}

std::unique_ptr<PrinterBackend> makeCupsBackend() {
  return std::make_unique<CupsBackend>();
}

}  // namespace orv
