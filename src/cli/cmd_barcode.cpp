// frptool barcode: draws one barcode on its own into a PNG, the way the barcode
// view draws it, with a white background and a quiet zone around it.
#include <QImage>
#include <QPainter>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "addins/barcode.h"
#include "cli/cli.h"
#include "cli/cli_common.h"
#include "platform/qt_canvas.h"

namespace orv::cli {
namespace {

// Names compare without case, blanks, '_' and '-', so "ean13", "EAN-13" and
// "Code39 Extended" or "code39extended" all work on a command line.
std::string normalized(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c != ' ' && c != '_' && c != '-') out += char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

int parseType(const std::string& arg) {
  if (!arg.empty() && arg.size() <= 2 && arg.find_first_not_of("0123456789") == std::string::npos) {
    const int n = std::atoi(arg.c_str());
    if (n < kBarcodeTypeCount) return n;
  }
  const std::string want = normalized(arg);
  for (int t = 0; t < kBarcodeTypeCount; ++t) {
    const BarcodeTypeInfo* info = barcodeTypeInfo(t);
    if (want == normalized(info->name) || want == normalized(info->displayName)) return t;
  }
  if (want == "codabar") return bcCodeCodabar;
  std::string names;
  for (int t = 0; t < kBarcodeTypeCount; ++t)
    names += std::string(t ? ", " : "") + barcodeTypeInfo(t)->displayName;
  throw UsageError("unknown barcode type \"" + arg + "\"; use 0 to 22 or one of: " + names);
}

double parseAngle(const std::string& v) {
  char* end = nullptr;
  const double a = std::strtod(v.c_str(), &end);
  if (v.empty() || *end != 0 || !std::isfinite(a))
    throw UsageError("option --angle needs a number of degrees, not \"" + v + "\"");
  return a;
}

int run(const std::vector<std::string>& argv) {
  Args args(argv);
  const std::string out = args.option("--output", "-o", "");
  const bool checksum = args.flag("--checksum");
  const double angle = parseAngle(args.option("--angle", "0"));
  const int modul = args.intOption("--modul", "-m", 1);
  if (modul < 1 || modul > 49) throw UsageError("option --modul needs a value from 1 to 49");
  const int height = args.intOption("--height", "", 50 * modul);
  if (height < 1 || height > 10000) throw UsageError("option --height needs 1 to 10000 pixels");
  const int typ = parseType(args.positional("TYPE"));
  const std::string text = args.positional("TEXT");
  args.done();
  if (out.empty()) throw UsageError("missing -o OUT.png");

  TfrBarcode b;
  b.setTyp(typ);
  b.setText(text);
  b.setChecksum(checksum);
  b.setModul(modul);
  b.setAngle(angle);
  b.setHeight(height);

  // Where the bars fall when drawn at (0, 0), to place them inside the margin.
  const std::vector<BarPolygon> polygons = b.BarPolygons(b.BuildModuleString());
  int64_t left = 0, top = 0, right = 0, bottom = 0;
  bool first = true;
  for (const BarPolygon& p : polygons)
    for (const Point& c : p.corners) {
      left = first ? c.x : std::min<int64_t>(left, c.x);
      top = first ? c.y : std::min<int64_t>(top, c.y);
      right = first ? c.x : std::max<int64_t>(right, c.x);
      bottom = first ? c.y : std::max<int64_t>(bottom, c.y);
      first = false;
    }
  const int64_t quiet = 10 * int64_t(modul);
  const int64_t w = right - left + 1 + 2 * quiet, h = bottom - top + 1 + 2 * quiet;
  if (w > 30000 || h > 30000)
    throw Error("the barcode is too large for an image (" + std::to_string(w) + " x " +
                std::to_string(h) + " pixels)");
  b.setLeft(int32_t(quiet - left));
  b.setTop(int32_t(quiet - top));

  QImage image(int(w), int(h), QImage::Format_RGB32);
  if (image.isNull()) throw Error("not enough memory for the image");
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    QtCanvas canvas(&painter, Rect{0, 0, int32_t(w), int32_t(h)});
    b.DrawBarcode(canvas);
  }
  savePngFile(image, out);
  // The text as encoded, with padding and check digit where the symbology adds them.
  std::printf("%s\n", b.text().c_str());
  return kExitOk;
}

Registrar reg({"barcode",
               "barcode TYPE TEXT -o OUT.png [--checksum] [--angle A] [--modul M] [--height H]",
               "draw one barcode (TYPE: 0 to 22 or a name such as EAN13, Code39, Code128B) into "
               "a PNG and print the encoded text",
               run});

}  // namespace
}  // namespace orv::cli
