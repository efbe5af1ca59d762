// Barcode generator: any text in any symbology, with any module width, ratio,
// angle and height, either encodes and draws or raises one of the generator's
// own errors. Encoding twice gives the same bars and the same text.
//
// Input: byte 0 the symbology (a few values beyond the 23 and below 0),
// byte 1 flags, byte 2 Modul, byte 3 Ratio, byte 4 Angle, byte 5 Height,
// the rest the text.
#include <cstring>
#include <string>

#include "addins/barcode.h"
#include "platform/canvas.h"
#include "platform/error.h"

using namespace orv;

namespace {

// Counts what it is asked to draw and checks the corners stay in range.
class NullCanvas : public Canvas {
 public:
  Rect deviceBounds() const override { return {0, 0, 1000, 1000}; }
  void lineTo(int32_t, int32_t) override { __builtin_trap(); }
  void polyline(std::span<const Point>) override { __builtin_trap(); }
  void polygon(std::span<const Point> pts) override {
    if (pts.size() != 4) __builtin_trap();
    ++polygons;
  }
  void rectangle(const Rect&) override { __builtin_trap(); }
  void roundRect(const Rect&, int32_t, int32_t) override { __builtin_trap(); }
  void ellipse(const Rect&) override { __builtin_trap(); }
  void arc(const Rect&, Point, Point) override { __builtin_trap(); }
  void pie(const Rect&, Point, Point) override { __builtin_trap(); }
  void fillRect(const Rect&) override { __builtin_trap(); }
  void textOut(int32_t, int32_t, std::string_view, const Rect*, uint32_t) override {
    __builtin_trap();
  }
  void stretchImage(const Rect&, const QImage&) override { __builtin_trap(); }
  size_t polygons = 0;
};

bool expectedError(const std::string& m) {
  if (m == "Barcode must be numeric" || m == "TfrBarcode: wrong BarcodeType" ||
      m == "Invalid Text len (EAN8)" || m == "Invalid Text len (EAN13)")
    return true;
  // The message quotes the text, so a text with a 0 byte cuts it short.
  if (m.rfind("TfrBarcode:Code93 bad Data <", 0) == 0) return true;
  // The EAN-128 check digit over a text that is not all digits; a 0 byte
  // quoted in it ends the message early.
  if (m == "'") return true;
  return m.size() > 2 && m[0] == '\'' && m.substr(2) == "' is not a valid integer value";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6 || size > 4096) return 0;
  TfrBarcode b;
  const uint8_t t = data[0];
  b.setTyp(t < 0xE0 ? t % kBarcodeTypeCount : t < 0xF0 ? t - 0xE0 + 23 : int(int8_t(t)));
  b.setChecksum(data[1] & 1);
  b.setCheckSumMethod(data[1] & 2 ? csmNone : csmModulo10);
  b.setModul(data[2]);
  double ratio = (data[3] - 64) / 16.0;
  if (data[1] & 4) ratio *= 1e300;
  b.setRatio(ratio);
  b.setAngle(data[1] & 8 ? data[4] * 90.0 : data[4] * 1.41);
  b.setHeight(data[1] & 16 ? int8_t(data[5]) * 1000000 : int8_t(data[5]));
  b.setLeft(data[1] & 32 ? 2000000000 : 0);
  b.setText(std::string(reinterpret_cast<const char*>(data + 6), size - 6));

  std::string modules;
  try {
    modules = b.BuildModuleString();
  } catch (const Error& e) {
    if (!expectedError(e.what())) __builtin_trap();
    return 0;
  }
  const std::string text = b.text();
  int64_t sum = 0;
  for (char c : modules) {
    const BarElement e = b.ElementOf(c);  // an unknown character raises: a bug here
    if (e.width < 0 || e.width > 255) __builtin_trap();
    sum += e.width;
  }
  const int32_t width = b.width();
  if (sum <= INT32_MAX && width != sum) __builtin_trap();
  if (b.BuildModuleString() != modules || b.text() != text) __builtin_trap();
  NullCanvas canvas;
  b.DrawBarcode(canvas);
  if (canvas.polygons != modules.size()) __builtin_trap();
  return 0;
}
