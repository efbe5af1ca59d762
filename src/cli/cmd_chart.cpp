// frptool chart: draws a chart view from memo lines given on the command
// line, the way a report page draws it, into a PNG, a PDF or an EMF.
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QString>

#include "addins/chart_view.h"
#include "cli/cli.h"
#include "cli/cli_common.h"
#include "model/printer_info.h"
#include "model/state.h"
#include "platform/codepage.h"
#include "platform/emf_canvas.h"
#include "platform/qt_canvas.h"
#include "prepared/page_export.h"

namespace orv::cli {
namespace {

constexpr const char* kKinds[] = {"line", "area", "point", "bar", "hbar", "pie"};

uint8_t parseKind(const std::string& k) {
  for (uint8_t i = 0; i < 6; ++i)
    if (k == kKinds[i]) return i;
  throw UsageError("unknown chart kind \"" + k + "\"; use line, area, point, bar, hbar or pie");
}

Size parseSize(const std::string& v) {
  const size_t x = v.find('x');
  bool okW = false, okH = false;
  const int w = x == std::string::npos ? 0 : QString::fromStdString(v.substr(0, x)).toInt(&okW);
  const int h = x == std::string::npos ? 0 : QString::fromStdString(v.substr(x + 1)).toInt(&okH);
  if (!okW || !okH || w < 16 || h < 16 || w > 4000 || h > 4000)
    throw UsageError("--size needs WIDTHxHEIGHT in report pixels, 16 to 4000 each");
  return {w, h};
}

bool endsWith(const std::string& s, const char* suffix) {
  const std::string t(suffix);
  if (s.size() < t.size()) return false;
  std::string tail = s.substr(s.size() - t.size());
  for (char& c : tail) c = char(std::tolower(static_cast<unsigned char>(c)));
  return tail == t;
}

// Draws the view with its top-left corner at the device origin, scaled by `zoom`.
void drawView(TfrChartView& v, Canvas& canvas, double zoom) {
  v.ZoomX = v.ZoomY = zoom;
  v.ShiftX = v.ShiftY = 0;
  v.Draw(canvas);
}

int run(const std::vector<std::string>& argv) {
  Args args(argv);
  const std::string out = args.option("--output", "-o", "");
  TfrChartView v;
  v.Options.SeriesKind = parseKind(args.option("--kind", "bar"));
  v.Options.Show3D = args.flag("--3d");
  v.Options.SingleSeries = !args.flag("--series");
  v.Options.AxesVisible = args.flag("--axes");
  v.Options.LegendVisible = !args.flag("--no-legend");
  v.Options.MarksVisible = !args.flag("--no-marks");
  v.Options.PointColors = !args.flag("--one-color");
  const int marks = args.intOption("--marks", "", 0);
  if (marks < 0 || marks > 4) throw UsageError("--marks needs 0 to 4");
  v.Options.MarksKind = uint8_t(marks);
  const int top = args.intOption("--top", "", 0);
  if (top < 0) throw UsageError("--top needs a count of 0 or more");
  v.Options.TopCount = top;
  const int zoomPercent = args.intOption("--zoom", "", 100);
  if (zoomPercent < 10 || zoomPercent > 1000) throw UsageError("--zoom needs 10 to 1000");
  const Size size = parseSize(args.option("--size", "", "480x300"));
  const bool picture = args.flag("--picture");
  v.OthersLabel = encodeText(QString::fromLocal8Bit(args.option("--others", "")), 1252);
  if (out.empty()) throw UsageError("missing -o OUT.png, OUT.pdf or OUT.emf");
  // Whatever is left are the memo lines; values may start with '-'.
  for (const std::string& line : args.rest)
    v.Memo.push_back(encodeText(QString::fromLocal8Bit(line), 1252));
  if (v.Memo.empty()) throw UsageError("missing the memo lines (labels, then values)");
  v.Width = size.cx;
  v.Height = size.cy;
  modelState().Mode = DocumentMode::Running;
  if (picture) {
    // Through the picture form: the chart as it stands is stored as a
    // metafile, which the view read back stretches into its rectangle.
    EmfCanvas scratch({0, 0, 1, 1});
    v.Draw(scratch);
    v.Memo.clear();
    MemoryStream record;
    v.SaveRecord(record);
    record.rewind();
    v.LoadRecord(record);
  }

  if (endsWith(out, ".emf")) {
    EmfCanvas meta({0, 0, size.cx + 1, size.cy + 1});
    drawView(v, meta, 1.0);
    const std::vector<uint8_t> bytes = meta.finish();
    writeOutputFile(out, [&](QIODevice& d) {
      d.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    });
  } else if (endsWith(out, ".pdf")) {
    // The chart alone on a page of its own size, at printer resolution.
    constexpr int kDpi = 600;
    const double scale = kDpi / kReportPixelsPerInch;
    writeOutputFile(out, [&](QIODevice& d) {
      QPdfWriter pdf(&d);
      pdf.setResolution(kDpi);
      pdf.setCreator("Sistema Orvalen Report Reader");
      pdf.setPageSize(QPageSize(QSizeF((size.cx + 1) / kReportPixelsPerInch * 72,
                                       (size.cy + 1) / kReportPixelsPerInch * 72),
                                QPageSize::Point, QString(), QPageSize::ExactMatch));
      pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
      QPainter painter;
      if (!painter.begin(&pdf)) throw ExportError(FrpReason::CannotWritePdf);
      const Rect r{0, 0, roundEven((size.cx + 1) * scale), roundEven((size.cy + 1) * scale)};
      QtCanvas canvas(&painter, r, kDpi, kDpi);
      drawView(v, canvas, scale);
      painter.end();
    });
  } else if (endsWith(out, ".png")) {
    const double zoom = zoomPercent / 100.0;
    const int w = roundEven((size.cx + 1) * zoom), h = roundEven((size.cy + 1) * zoom);
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull()) throw Error("not enough memory for the image");
    image.fill(Qt::white);
    {
      QPainter painter(&image);
      QtCanvas canvas(&painter, Rect{0, 0, w, h});
      drawView(v, canvas, zoom);
    }
    savePngFile(image, out);
  } else {
    throw UsageError("the output must end in .png, .pdf or .emf");
  }
  return kExitOk;
}

Registrar reg({"chart",
               "chart --kind line|area|point|bar|hbar|pie [--3d] [--series] [--marks N] "
               "[--top N --others LABEL] [--axes] [--no-legend] [--no-marks] [--one-color] "
               "[--size WxH] [--zoom PERCENT] [--picture] LINE... -o OUT.png|OUT.pdf|OUT.emf",
               "draw a chart view from its memo lines (labels, then values, items ended by ';')",
               run});

}  // namespace
}  // namespace orv::cli
