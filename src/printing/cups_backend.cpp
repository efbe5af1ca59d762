#include "printing/cups_backend.h"

#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>
#include <algorithm>
#include <cstring>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/qt_canvas.h"
#include "platform/strings.h"
#include "printing/paper_table.h"
#include "printing/print_job.h"
#include "printing/printer_options.h"

#ifdef ORV_HAVE_CUPS
#include <cups/cups.h>
#include <cups/ppd.h>
#include <unistd.h>

#include <csignal>
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

// Portuguese labels for the choices every spooler names; others keep the
// label the queue gives, else their keyword.
const char* knownLabel(const std::string& name, const std::string& value) {
  static const struct {
    const char* name;
    const char* value;
    const char* label;
  } labels[] = {
      {"sides", "", "Frente e verso"},
      {"sides", "one-sided", "Desligado (só frente)"},
      {"sides", "two-sided-long-edge", "Virar pela borda longa"},
      {"sides", "two-sided-short-edge", "Virar pela borda curta"},
      {"print-color-mode", "", "Cor"},
      {"print-color-mode", "color", "Colorido"},
      {"print-color-mode", "monochrome", "Tons de cinza"},
      {"print-color-mode", "auto", "Automático"},
      {"print-color-mode", "bi-level", "Preto e branco"},
      {"print-quality", "", "Qualidade"},
      {"print-quality", "3", "Rascunho"},
      {"print-quality", "4", "Normal"},
      {"print-quality", "5", "Alta"},
      {"number-up", "", "Páginas por folha"},
      {"media-source", "", "Bandeja"},
      {"media-source", "auto", "Automática"},
      {"media-source", "manual", "Alimentação manual"},
      {"media-source", "top", "Bandeja superior"},
      {"media-source", "middle", "Bandeja do meio"},
      {"media-source", "bottom", "Bandeja inferior"},
      {"media-source", "main", "Bandeja principal"},
      {"media-source", "alternate", "Bandeja alternativa"},
      {"media-source", "envelope", "Envelopes"},
      {"media-source", "large-capacity", "Bandeja de alta capacidade"},
      {"media-source", "by-pass-tray", "Bandeja manual"},
  };
  for (const auto& l : labels)
    if (name == l.name && value == l.value) return l.label;
  return nullptr;
}

// A tray's name for the user: the queue's own label when it has one, else a
// Portuguese name for the trays every spooler knows ("tray-2" is "Bandeja 2").
std::string trayLabel(const std::string& keyword, const char* localized) {
  if (localized && *localized && keyword != localized) return localized;
  if (const char* known = knownLabel("media-source", keyword)) return known;
  if (keyword.rfind("tray-", 0) == 0) return "Bandeja " + keyword.substr(5);
  return keyword;
}

// CUPS compares queue names without regard to case: "Default ESCRITORIO" in
// lpoptions names the queue "escritorio". An exact match still wins.
int findName(const std::vector<QString>& names, const QString& name) {
  auto it = std::find(names.begin(), names.end(), name);
  if (it == names.end())
    it = std::find_if(names.begin(), names.end(),
                      [&](const QString& n) { return n.compare(name, Qt::CaseInsensitive) == 0; });
  return it == names.end() ? -1 : int(it - names.begin());
}

}  // namespace

CupsBackend::CupsBackend() {
  printers();
  current_ = QPrinterInfo::defaultPrinterName();
}

CupsBackend::~CupsBackend() = default;

std::vector<std::string> CupsBackend::printers() {
  names_.clear();
#ifdef ORV_HAVE_CUPS
  // A default in the user's lpoptions written in another case than the queue
  // ("Default ESCRITORIO" for "escritorio") comes back from the destination
  // list in the user's spelling; the queue's own name ends its address.
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  for (const QString& n : QPrinterInfo::availablePrinterNames()) {
    QString name = n;
    const QByteArray utf8 = n.toUtf8();
    if (cups_dest_t* d = cupsGetDest(utf8.constData(), nullptr, count, dests)) {
      const char* uri = cupsGetOption("printer-uri-supported", d->num_options, d->options);
      const QString own = uri ? QString::fromUtf8(uri).section('/', -1) : QString();
      if (own.compare(n, Qt::CaseInsensitive) == 0) name = own;
    }
    names_.push_back(name);
  }
  cupsFreeDests(count, dests);
#else
  for (const QString& n : QPrinterInfo::availablePrinterNames()) names_.push_back(n);
#endif
  std::vector<std::string> out;
  for (const QString& n : names_) {
    known_.try_emplace(n).first->second.name = n;
    out.push_back(toModel(n));
  }
  return out;
}

int CupsBackend::defaultIndex() {
  return std::max(0, findName(names_, QPrinterInfo::defaultPrinterName()));
}

int CupsBackend::currentIndex() {
  const int i = findName(names_, current_);
  return i < 0 ? defaultIndex() : i;
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
      Bin b{binCode(kw, p.bins.size()), kw, trayLabel(kw, label)};
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

QString CupsBackend::queueName(int index) {
  Printer* p = at(index);
  return p ? p->name : QString();
}

JobOptions CupsBackend::jobOptions(int index) {
  Printer* p = at(index);
  return p ? p->chosen : JobOptions();
}

void CupsBackend::setJobOptions(int index, const JobOptions& options) {
  if (Printer* p = at(index)) p->chosen = options;
}

JobOptions CupsBackend::documentOptions(int index, int copies, const QPageLayout& layout) {
  JobOptions o;
  Printer* p = at(index);
  if (!p) return o;
  // The paper and orientation the printer model laid the document out for,
  // which already hold any the user chose instead of the pages' own. The
  // orientation is said as a number: a bare "landscape" reaches the spooler
  // as landscape=false.
  o.emplace_back(kPaperOption, mediaKeyword(layout.pageSize()));
  o.emplace_back(kOrientationOption, layout.orientation() == QPageLayout::Landscape ? "4" : "3");
  if (copies > 1) o.emplace_back("copies", std::to_string(copies));
  // The tray the user chose for this printer, else the one the pages ask for.
  std::string tray;
  for (const auto& [name, value] : p->chosen) {
    if (name == "media-source")
      tray = value;
    else if (name != kPaperOption && name != kOrientationOption)
      o.emplace_back(name, value);
  }
  readBins(*p);
  for (const Bin& b : p->bins)
    if (tray.empty() && b.code == uint16_t(p->mode.defaultSource)) tray = b.keyword;
  // The tray is a member of the media collection: that is where the spooler
  // looks for it when it turns the job into the driver's own options.
  if (!tray.empty()) o.emplace_back("media-col", "{media-source=" + tray + "}");
  return o;
}

std::string CupsBackend::mediaKeyword(const QPageSize& size) {
#ifdef ORV_HAVE_CUPS
  const QSizeF mm = size.size(QPageSize::Millimeter);
  if (const pwg_media_t* pwg =
          pwgMediaForSize(int(mm.width() * 100 + 0.5), int(mm.height() * 100 + 0.5)))
    if (pwg->pwg) return pwg->pwg;
#endif
  return size.key().toStdString();
}

bool CupsBackend::mediaPaper(int, const std::string& keyword, PaperSpec& paper) {
#ifdef ORV_HAVE_CUPS
  const pwg_media_t* pwg = pwgMediaForPWG(keyword.c_str());
  if (!pwg) pwg = pwgMediaForPPD(keyword.c_str());
  if (!pwg || pwg->width <= 0 || pwg->length <= 0) return false;
  // Hundredths of a millimetre to the model's tenths.
  paper.width = (pwg->width + 5) / 10;
  paper.height = (pwg->length + 5) / 10;
  const QPageSize known(QSizeF(pwg->width / 100.0, pwg->length / 100.0), QPageSize::Millimeter,
                        QString(), QPageSize::FuzzyMatch);
  const int code = known.isValid() ? known.windowsId() : 0;
  paper.size = code > 0 ? code : kCustomPaper;
  return true;
#else
  (void)keyword;
  (void)paper;
  return false;
#endif
}

#ifdef ORV_HAVE_CUPS
namespace {
// A paper's name for the user when the queue gives none but its keyword:
// the common name and the size ("A5 (148 x 210 mm)").
std::string paperLabel(const cups_size_t& size) {
  auto mm = [](int hundredths) {
    return QString::number(hundredths / 100.0, 'f', hundredths % 100 ? 1 : 0).replace('.', ',');
  };
  // The paper's own size: the queue's comes from points and is off by a
  // fraction ("148,2 x 209,9").
  const pwg_media_t* pwg = pwgMediaForPWG(size.media);
  if (!pwg || !pwg->ppd) return size.media;
  return QString("%1 (%2 x %3 mm)")
      .arg(QString::fromUtf8(pwg->ppd), mm(pwg->width), mm(pwg->length))
      .toStdString();
}

// The paper and the orientation, each first "as the report says": pages of
// one report may differ in both, and each keeps its own unless the user
// puts them all on one paper or turns them all.
void appendPaperOptions(cups_dest_t* dest, cups_dinfo_t* info, std::vector<PrinterOption>& out) {
  const std::string asReport = "Conforme o relatório";
  PrinterOption paper;
  paper.name = kPaperOption;
  paper.label = "Papel";
  paper.choices.push_back({"", asReport});
  const int count = cupsGetDestMediaCount(CUPS_HTTP_DEFAULT, dest, info, 0);
  for (int i = 0; i < count; ++i) {
    cups_size_t size;
    if (!cupsGetDestMediaByIndex(CUPS_HTTP_DEFAULT, dest, info, i, 0, &size)) continue;
    // The same paper with other margins comes more than once.
    if (std::any_of(paper.choices.begin(), paper.choices.end(),
                    [&size](const PrinterOption::Choice& c) { return c.value == size.media; }))
      continue;
    const char* label = cupsLocalizeDestMedia(CUPS_HTTP_DEFAULT, dest, info, 0, &size);
    paper.choices.push_back({size.media, label && *label && std::strcmp(label, size.media) != 0
                                             ? std::string(label)
                                             : paperLabel(size)});
  }
  if (paper.choices.size() > 1) out.push_back(std::move(paper));
  out.push_back({kOrientationOption,
                 "Orientação",
                 {{"", asReport}, {"3", "Retrato"}, {"4", "Paisagem"}},
                 "",
                 false,
                 false});
}

}  // namespace
#endif

std::vector<PrinterOption> CupsBackend::printerOptions(int index) {
  std::vector<PrinterOption> out;
#ifdef ORV_HAVE_CUPS
  Printer* p = at(index);
  if (!p) return out;
  const QByteArray queue = p->name.toUtf8();
  cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.constData(), nullptr);
  if (!dest) return out;
  cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest);
  if (!info) {
    cupsFreeDests(1, dest);
    return out;
  }
  auto valueText = [](ipp_attribute_t* a, int i) -> std::string {
    switch (ippGetValueTag(a)) {
      case IPP_TAG_INTEGER:
      case IPP_TAG_ENUM:
        return std::to_string(ippGetInteger(a, i));
      case IPP_TAG_KEYWORD:
      case IPP_TAG_NAME:
      case IPP_TAG_TEXT:
        return ippGetString(a, i, nullptr) ? ippGetString(a, i, nullptr) : "";
      default:
        return std::string();
    }
  };
  appendPaperOptions(dest, info, out);
  for (const char* name :
       {"sides", "print-color-mode", "print-quality", "number-up", "media-source"}) {
    ipp_attribute_t* sup = cupsFindDestSupported(CUPS_HTTP_DEFAULT, dest, info, name);
    if (!sup) continue;
    PrinterOption opt;
    opt.name = name;
    const char* label = knownLabel(name, "");
    opt.label = label ? label : name;
    std::vector<std::string> values;
    if (ippGetValueTag(sup) == IPP_TAG_RANGE) {
      // Pages per sheet come as a range; offer the layouts people use.
      int upper = 0;
      const int lower = ippGetRange(sup, 0, &upper);
      for (int n : {1, 2, 4, 6, 9, 16})
        if (n >= lower && n <= upper) values.push_back(std::to_string(n));
    } else {
      for (int i = 0; i < ippGetCount(sup); ++i) values.push_back(valueText(sup, i));
    }
    for (const std::string& v : values) {
      if (v.empty()) continue;
      const char* localized = cupsLocalizeDestValue(CUPS_HTTP_DEFAULT, dest, info, name, v.c_str());
      if (opt.name == "media-source")
        opt.choices.push_back({v, trayLabel(v, localized)});
      else if (const char* known = knownLabel(name, v))
        opt.choices.push_back({v, known});
      else
        opt.choices.push_back({v, localized && *localized ? localized : v});
    }
    if (ipp_attribute_t* def = cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest, info, name))
      opt.defaultValue = valueText(def, 0);
    // One choice is no choice.
    if (opt.choices.size() > 1) out.push_back(std::move(opt));
  }
  cupsFreeDestInfo(info);
  cupsFreeDests(1, dest);
  appendDriverOptions(queue, out);
#else
  (void)index;
#endif
  return out;
}

#ifdef ORV_HAVE_CUPS
// A queue set up with a driver (PPD) marks further options of its own
// (stapling, output bin, toner saving...). The spooler passes them on to the
// driver by their own names, so they are offered as the driver words them;
// several choices at once go as one value, the choices joined by commas, as
// the spooler sends a list. What is installed in the printer comes last and
// rules out the choices the driver's constraints tie to it. The driver
// interface is old but still the only one that lists them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
void CupsBackend::appendDriverOptions(const QByteArray& queue, std::vector<PrinterOption>& out) {
  static const char* const covered[] = {"PageSize",   "PageRegion",       "InputSlot", "Duplex",
                                        "ColorModel", "cupsPrintQuality", "ManualFeed"};
  const char* file = cupsGetPPD2(CUPS_HTTP_DEFAULT, queue.constData());
  if (!file) return;
  const std::string path = file;
  ppd_file_t* ppd = ppdOpenFile(path.c_str());
  unlink(path.c_str());
  if (!ppd) return;
  // The defaults are what the administrator set, installed hardware included.
  ppdMarkDefaults(ppd);
  auto text = [](const char* t, const char* fallback) {
    return std::string(t && *t ? t : fallback);
  };
  auto installable = [](const ppd_group_t& g) {
    return std::strcmp(g.name, "InstallableOptions") == 0;
  };
  // A choice that only says "nothing" stays open whatever is installed.
  auto saysNothing = [](const char* choice) {
    return std::strcmp(choice, "None") == 0 || std::strcmp(choice, "False") == 0 ||
           std::strcmp(choice, "Off") == 0;
  };
  auto inGroup = [ppd, &installable](const char* keyword) {
    for (int g = 0; g < ppd->num_groups; ++g)
      for (int i = 0; i < ppd->groups[g].num_options; ++i)
        if (std::strcmp(ppd->groups[g].options[i].keyword, keyword) == 0)
          return installable(ppd->groups[g]);
    return false;
  };
  // The choices that what is (not) installed rules out, by option and
  // choice: a constraint whose one side is an installable option as it is
  // set now rules out the other side's choice (with no choice named, every
  // choice but "None").
  std::vector<std::pair<std::string, std::string>> ruledOut;
  auto ruleOut = [&](const char* installed, const char* setting, const char* option,
                     const char* choice) {
    if (!inGroup(installed) || inGroup(option)) return;
    ppd_choice_t* marked = ppdFindMarkedChoice(ppd, installed);
    if (!marked) return;
    if (*setting ? std::strcmp(marked->choice, setting) != 0 : saysNothing(marked->choice)) return;
    ppd_option_t* o = ppdFindOption(ppd, option);
    if (!o) return;
    for (int c = 0; c < o->num_choices; ++c) {
      const char* name = o->choices[c].choice;
      if (*choice ? std::strcmp(name, choice) == 0 : !saysNothing(name))
        ruledOut.emplace_back(option, name);
    }
  };
  for (int k = 0; k < ppd->num_consts; ++k) {
    const ppd_const_t& c = ppd->consts[k];
    ruleOut(c.option1, c.choice1, c.option2, c.choice2);
    ruleOut(c.option2, c.choice2, c.option1, c.choice1);
  }
  auto isRuledOut = [&ruledOut](const std::string& option, const std::string& choice) {
    return std::find(ruledOut.begin(), ruledOut.end(), std::make_pair(option, choice)) !=
           ruledOut.end();
  };

  std::vector<PrinterOption> installed;
  for (int g = 0; g < ppd->num_groups; ++g) {
    const ppd_group_t& group = ppd->groups[g];
    for (int i = 0; i < group.num_options; ++i) {
      const ppd_option_t& o = group.options[i];
      if (o.num_choices < 2) continue;
      if (std::any_of(std::begin(covered), std::end(covered),
                      [&o](const char* c) { return std::strcmp(c, o.keyword) == 0; }))
        continue;
      PrinterOption opt;
      opt.name = o.keyword;
      opt.label = text(o.text, o.keyword);
      opt.pickMany = o.ui == PPD_UI_PICKMANY;
      opt.installable = installable(group);
      std::vector<std::string> marked;
      for (int c = 0; c < o.num_choices; ++c) {
        const ppd_choice_t& choice = o.choices[c];
        opt.choices.push_back({choice.choice, text(choice.text, choice.choice),
                               !isRuledOut(o.keyword, choice.choice)});
        if (choice.marked) marked.push_back(choice.choice);
      }
      opt.defaultValue = opt.pickMany ? joinValues(marked) : std::string(o.defchoice);
      (opt.installable ? installed : out).push_back(std::move(opt));
    }
  }
  // Two-sided printing is offered by its spooler name; the spooler leaves the
  // two-sided choices out when the unit is missing, and they are shown again,
  // greyed, so that the user sees why.
  if (ppd_option_t* duplex = ppdFindOption(ppd, "Duplex")) {
    static const std::pair<const char*, const char*> sides[] = {
        {"None", "one-sided"},
        {"DuplexNoTumble", "two-sided-long-edge"},
        {"DuplexTumble", "two-sided-short-edge"}};
    auto it = std::find_if(out.begin(), out.end(),
                           [](const PrinterOption& o) { return o.name == "sides"; });
    bool any = false;
    for (const auto& side : sides) any = any || isRuledOut("Duplex", side.first);
    if (any && it == out.end()) {
      PrinterOption opt;
      opt.name = "sides";
      opt.label = knownLabel("sides", "");
      opt.defaultValue = "one-sided";
      for (const auto& side : sides)
        if (ppdFindChoice(duplex, side.first))
          opt.choices.push_back({side.second, knownLabel("sides", side.second)});
      auto after = std::find_if(out.begin(), out.end(), [](const PrinterOption& o) {
        return o.name != kPaperOption && o.name != kOrientationOption;
      });
      it = out.insert(after, std::move(opt));
    }
    if (it != out.end())
      for (PrinterOption::Choice& c : it->choices)
        for (const auto& side : sides)
          if (c.value == side.second && isRuledOut("Duplex", side.first)) c.available = false;
  }
  out.insert(out.end(), installed.begin(), installed.end());
  ppdClose(ppd);
}
#pragma GCC diagnostic pop
#endif

namespace {

#ifdef ORV_HAVE_CUPS
// One job's conversation with the spooler, on a connection of its own so that
// a spooler that stops answering ends the wait instead of holding the program:
// a queue that refuses work is found before anything is sent, each document is
// sent as a job of its own, and when one fails every job already taken (and
// the one half sent) is withdrawn, or the user is told which ones remain.
class SpoolerSession {
 public:
  explicit SpoolerSession(QByteArray queue) : queue_(std::move(queue)) {
    // A spooler that goes away mid-transfer must give an error, not a
    // SIGPIPE that ends the program.
    static const bool ignored = (std::signal(SIGPIPE, SIG_IGN), true);
    (void)ignored;
    http_ = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                         kConnectMs, nullptr);
    if (!http_) throw Error("Nada foi impresso: " + message(kSpoolerDown) + ".");
    httpSetTimeout(
        http_, kIdleSeconds, [](http_t*, void*) { return 0; }, nullptr);
  }
  ~SpoolerSession() { httpClose(http_); }
  SpoolerSession(const SpoolerSession&) = delete;
  SpoolerSession& operator=(const SpoolerSession&) = delete;

  // Refuses a queue that rejects jobs; a paused queue still takes them, and
  // they wait there, so that is a note for the user rather than an error.
  void checkQueue() {
    ipp_t* request = newRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    static const char* const wanted[] = {"printer-state", "printer-is-accepting-jobs"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr,
                  wanted);
    ipp_t* response = call(request, "/");
    if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
      ippDelete(response);
      fail(reasonOfLast());
    }
    ipp_attribute_t* accepting =
        ippFindAttribute(response, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
    ipp_attribute_t* state = ippFindAttribute(response, "printer-state", IPP_TAG_ENUM);
    const bool refuses = accepting && !ippGetBoolean(accepting, 0);
    const bool paused = state && ippGetInteger(state, 0) == IPP_PSTATE_STOPPED;
    ippDelete(response);
    if (refuses) fail(kRejecting);
    if (paused)
      notice_ = "A fila de impressão \"" + queue_.toStdString() +
                "\" está pausada: o trabalho ficou guardado nela e será impresso quando a fila "
                "for retomada.";
  }

  void send(QTemporaryFile& file, const QString& title, const JobOptions& documentOptions) {
    cups_option_t* options = nullptr;
    int count = 0;
    for (const auto& [name, value] : documentOptions)
      count = cupsAddOption(name.c_str(), value.c_str(), count, &options);
    const QByteArray name = title.toUtf8();
    ipp_t* request = newRequest(IPP_OP_CREATE_JOB);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, name.constData());
    cupsEncodeOptions2(request, count, options, IPP_TAG_OPERATION);
    cupsEncodeOptions2(request, count, options, IPP_TAG_JOB);
    cupsFreeOptions(count, options);
    ipp_t* response = call(request, ("/printers/" + queue_).constData());
    ipp_attribute_t* id = ippFindAttribute(response, "job-id", IPP_TAG_INTEGER);
    const int job = id ? ippGetInteger(id, 0) : 0;
    ippDelete(response);
    if (job <= 0) fail(reasonOfLast());
    taken_.push_back(job);
    if (cupsStartDocument(http_, queue_.constData(), job, name.constData(), CUPS_FORMAT_PDF, 1) !=
        HTTP_STATUS_CONTINUE)
      fail(reasonOfLast());
    if (!file.seek(0)) fail(kLocalFile);
    std::vector<char> buffer(1 << 16);
    for (;;) {
      const qint64 n = file.read(buffer.data(), qint64(buffer.size()));
      if (n < 0) fail(kLocalFile);
      if (n == 0) break;
      if (cupsWriteRequestData(http_, buffer.data(), size_t(n)) != HTTP_STATUS_CONTINUE)
        fail(reasonOfLast());
    }
    if (cupsFinishDocument(http_, queue_.constData()) != IPP_STATUS_OK) fail(reasonOfLast());
  }

  const std::string& notice() const { return notice_; }

 private:
  enum Reason { kSpoolerDown, kRejecting, kQueueGone, kFull, kForbidden, kLocalFile, kOther };
  static constexpr int kConnectMs = 30000;
  static constexpr double kIdleSeconds = 30.0;

  // An operation on the queue, with the printer's address and our user name.
  ipp_t* newRequest(ipp_op_t op) const {
    ipp_t* request = ippNewRequest(op);
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                     "/printers/%s", queue_.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    return request;
  }

  // Sends a request once and reads the answer. The library's own request
  // loop sends it again after a timeout, for ever, to a spooler that takes
  // connections but never answers.
  ipp_t* call(ipp_t* request, const char* resource) {
    ipp_t* response = nullptr;
    if (cupsSendRequest(http_, request, resource, 0) == HTTP_STATUS_CONTINUE)
      response = cupsGetResponse(http_, resource);
    ippDelete(request);
    return response;
  }

  bool cancel(int job) {
    ipp_t* request = newRequest(IPP_OP_CANCEL_JOB);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job);
    ipp_t* response = call(request, "/jobs/");
    const bool done = response && cupsLastError() <= IPP_STATUS_OK_CONFLICTING;
    ippDelete(response);
    return done;
  }

  Reason reasonOfLast() const {
    switch (cupsLastError()) {
      case IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS:
        return kRejecting;
      case IPP_STATUS_ERROR_NOT_FOUND:
        return kQueueGone;
      case IPP_STATUS_ERROR_TOO_MANY_JOBS:
      case IPP_STATUS_ERROR_NOT_POSSIBLE:  // a quota or a limit of active jobs
        return kFull;
      case IPP_STATUS_ERROR_FORBIDDEN:
      case IPP_STATUS_ERROR_NOT_AUTHORIZED:
        return kForbidden;
      case IPP_STATUS_ERROR_SERVICE_UNAVAILABLE:
      case IPP_STATUS_ERROR_TIMEOUT:
        return kSpoolerDown;
      default:
        return httpError(http_) != 0 ? kSpoolerDown : kOther;
    }
  }

  std::string message(Reason reason) const {
    const std::string q = "\"" + queue_.toStdString() + "\"";
    switch (reason) {
      case kSpoolerDown:
        return "o serviço de impressão (CUPS) não respondeu ao envio do trabalho à fila " + q;
      case kRejecting:
        return "a fila de impressão " + q +
               " não está aceitando trabalhos; peça ao administrador que volte a aceitá-los";
      case kQueueGone:
        return "a fila de impressão " + q + " não existe mais";
      case kFull:
        return "a fila de impressão " + q +
               " atingiu o limite de trabalhos ou a cota que aceita; tente de novo quando ela "
               "esvaziar";
      case kForbidden:
        return "não há permissão para imprimir na fila " + q;
      case kLocalFile:
        return "o arquivo temporário da impressão não pôde ser lido";
      case kOther:
        break;
    }
    const char* why = cupsLastErrorString();
    return "a fila de impressão " + q + " recusou o trabalho (" + (why ? why : "") + ")";
  }

  // Withdraws every job of ours the spooler holds, then raises the error,
  // naming the jobs that could not be withdrawn: those may still print.
  [[noreturn]] void fail(Reason reason) {
    const std::string why = message(reason);
    std::string kept;
    for (int id : taken_) {
      // A spooler that stopped answering would make each withdrawal wait out
      // the timeout again; what it holds is named instead.
      if (reason != kSpoolerDown && cancel(id)) continue;
      kept += (kept.empty() ? "" : ", ") + queue_.toStdString() + "-" + std::to_string(id);
    }
    taken_.clear();
    if (kept.empty()) throw Error("Nada foi impresso: " + why + ".");
    throw Error("A impressão não foi concluída: " + why +
                ". Os trabalhos já entregues à fila não puderam ser retirados (" + kept +
                "); confira a fila quando o serviço voltar.");
  }

  QByteArray queue_;
  http_t* http_ = nullptr;
  std::vector<int> taken_;
  std::string notice_;
};
#endif

// Documents for a CUPS queue. Each document is written to a PDF file of its
// own, laid out as the queue lays out its paper; nothing reaches the spooler
// until the whole job has been drawn, so a page that fails to draw leaves no
// half job behind. Each document then goes to the queue as one job with its
// own options, so a change of tray changes the tray on the printer.
class QtPrinterDevice : public PrintDevice {
 public:
  QtPrinterDevice(CupsBackend& backend, int index) : backend_(backend), index_(index) {}
  ~QtPrinterDevice() override { abortDocument(); }

  void setCopies(int copies) override { copies_ = std::max(1, copies); }

  void beginDocument(const std::string& title) override {
    abortDocument();
    QPrinter native(QPrinter::HighResolution);
    if (!backend_.configure(index_, native) || !native.isValid()) throw Error(loadString8(55210));
    const QPageLayout layout = native.pageLayout();
    const int dpi = native.resolution();
    auto doc = std::make_unique<Document>();
    doc->file.setFileTemplate(QDir::tempPath() + "/orvalen-impressao-XXXXXX.pdf");
    if (!doc->file.open())
      throw Error("Não foi possível criar o arquivo temporário da impressão em " +
                  QDir::tempPath().toStdString() + ".");
    doc->title = decodeBytes(title, kCp);
    doc->options = backend_.documentOptions(index_, copies_, layout);
    writer_ = std::make_unique<QPdfWriter>(&doc->file);
    writer_->setResolution(dpi);
    writer_->setPageLayout(layout);
    writer_->setTitle(doc->title);
    writer_->setCreator(QStringLiteral("Sistema Orvalen Report Reader"));
    painter_ = std::make_unique<QPainter>();
    if (!painter_->begin(writer_.get())) {
      painter_.reset();
      writer_.reset();
      throw Error(loadString8(55210));
    }
    open_ = std::move(doc);
    newCanvas();
  }

  void newSheet() override {
    if (!writer_) return;
    canvas_.reset();
    writer_->newPage();
    newCanvas();
  }

  void endDocument() override {
    canvas_.reset();
    if (painter_) painter_->end();
    painter_.reset();
    writer_.reset();
    if (!open_) return;
    // A document no page was drawn into (the job began on the first page's
    // paper, and the first page printed takes another) would come out as a
    // blank sheet.
    if (!open_->drawn) {
      open_.reset();
      return;
    }
    open_->file.flush();
    ended_.push_back(std::move(open_));
  }

  void abortDocument() override {
    canvas_.reset();
    if (painter_ && painter_->isActive()) painter_->end();
    painter_.reset();
    writer_.reset();
    open_.reset();
  }

  void submit() override {
#ifdef ORV_HAVE_CUPS
    SpoolerSession session(backend_.queueName(index_).toUtf8());
    session.checkQueue();
    notice_ = session.notice();
    for (const auto& doc : ended_) session.send(doc->file, doc->title, doc->options);
    ended_.clear();
#else
    ended_.clear();
    throw Error(loadString8(55210));
#endif
  }

  std::string notice() const override {
    return notice_;
  }

  Canvas& canvas() override {
    if (!canvas_) throw Error(loadString8(55210));
    if (open_) open_->drawn = true;
    return *canvas_;
  }

 private:
  struct Document {
    QTemporaryFile file;
    QString title;
    JobOptions options;
    bool drawn = false;
  };

  void newCanvas() {
    const int dpi = writer_->resolution();
    const QRect page = writer_->pageLayout().paintRectPixels(dpi);
    canvas_ = std::make_unique<QtCanvas>(painter_.get(), Rect{0, 0, page.width(), page.height()},
                                         dpi, dpi);
  }

  CupsBackend& backend_;
  int index_;
  int copies_ = 1;
  std::string notice_;
  std::unique_ptr<Document> open_;
  std::vector<std::unique_ptr<Document>> ended_;
  std::unique_ptr<QPdfWriter> writer_;
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
