#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/color.h"
#include "platform/geometry.h"

namespace orv {

class Canvas;

// The symbologies, numbered as report files store them.
enum TfrBarcodeType : int {
  bcCode_2_5_interleaved = 0,
  bcCode_2_5_industrial = 1,
  bcCode_2_5_matrix = 2,
  bcCode39 = 3,
  bcCode39Extended = 4,
  bcCode128A = 5,
  bcCode128B = 6,
  bcCode128C = 7,
  bcCode93 = 8,
  bcCode93Extended = 9,
  bcCodeMSI = 10,
  bcCodePostNet = 11,
  bcCodeCodabar = 12,
  bcCodeEAN8 = 13,
  bcCodeEAN13 = 14,
  bcCodeUPC_A = 15,
  bcCodeUPC_E0 = 16,
  bcCodeUPC_E1 = 17,
  bcCodeUPC_Supp2 = 18,
  bcCodeUPC_Supp5 = 19,
  bcCodeEAN128A = 20,
  bcCodeEAN128B = 21,
  bcCodeEAN128C = 22,
};
inline constexpr int kBarcodeTypeCount = 23;

enum TfrCheckSumMethod : int { csmNone = 0, csmModulo10 = 1 };

struct BarcodeTypeInfo {
  const char* name;         // enumeration name, "bcCodeEAN13"
  const char* displayName;  // what the editor lists, "EAN13"
  bool numericOnly;
};
// nullptr for a number that is no symbology.
const BarcodeTypeInfo* barcodeTypeInfo(int typ);

// One element of a module string.
enum class BarKind : uint8_t { Space, Bar, ShortBar };
struct BarElement {
  int32_t width = 0;  // pixels
  BarKind kind = BarKind::Space;
};

// One filled four-cornered polygon of a drawn barcode, in canvas coordinates.
struct BarPolygon {
  Color color = clBlack;
  std::array<Point, 4> corners;
};

// Turns a text and a symbology into bars and draws them at any angle. The text
// is first encoded into a module string, one character per bar or space:
//   '0'..'3'  space of width ModuleWidths()[0..3]
//   '5'..'8'  full-height bar of width ModuleWidths()[0..3]
//   'A'..'D'  short bar (2/5 of the height) of width ModuleWidths()[0..3]
// and the module string is then drawn element by element.
class TfrBarcode {
 public:
  static constexpr const char* kClassName = "TfrBarcode";

  int32_t height() const { return height_; }
  void setHeight(int32_t v);
  const std::string& text() const { return text_; }
  void setText(const std::string& v);
  int32_t top() const { return top_; }
  void setTop(int32_t v);
  int32_t left() const { return left_; }
  void setLeft(int32_t v);
  // Width of the narrowest element in pixels; values outside 1..49 are ignored.
  int32_t modul() const { return modul_; }
  void setModul(int32_t v);
  // Wide element relative to a narrow one; clamped per symbology when encoding.
  double ratio() const { return ratio_; }
  void setRatio(double v);
  int typ() const { return typ_; }
  void setTyp(int v);
  bool checksum() const { return checksum_; }
  void setChecksum(bool v);
  TfrCheckSumMethod checkSumMethod() const { return checkSumMethod_; }
  void setCheckSumMethod(TfrCheckSumMethod v);
  // Degrees, counter-clockwise on screen.
  double angle() const { return angle_; }
  void setAngle(double v);
  orv::Color color() const { return color_; }
  void setColor(orv::Color v);
  orv::Color colorBar() const { return colorBar_; }
  void setColorBar(orv::Color v);

  // Total width of the bars in pixels (encodes the text, so it may raise).
  int32_t width();
  // Scales Modul so that the bars come as close as possible to `wished` pixels.
  void setWidth(int32_t wished);

  // Fired after a property changed through its setter.
  std::function<void()> OnChange;

  // Encodes the current text; numeric symbologies trim the text, and the EAN
  // and UPC families leave it padded and with its check digit.
  std::string BuildModuleString();
  // Width and kind of one module character (ModuleWidths as last computed).
  BarElement ElementOf(char c) const;
  const std::array<uint8_t, 4>& ModuleWidths() const { return moduleWidths_; }

  // The polygons DrawBarcode fills for a module string, rotated by Angle and
  // placed so that the rotated box starts at (Left, Top).
  std::vector<BarPolygon> BarPolygons(std::string_view modules) const;
  // Draws the barcode; the canvas's font, pen and brush are left as they were.
  void DrawBarcode(Canvas& canvas);

 private:
  void changed();
  void ComputeModuleWidths();
  std::string encode();

  int32_t height_ = 0;
  std::string text_;
  int32_t top_ = 0;
  int32_t left_ = 0;
  int32_t modul_ = 1;
  double ratio_ = 2.0;
  int typ_ = bcCodeEAN13;
  bool checksum_ = false;
  TfrCheckSumMethod checkSumMethod_ = csmModulo10;
  double angle_ = 0.0;
  orv::Color color_ = clWhite;
  orv::Color colorBar_ = clBlack;
  std::array<uint8_t, 4> moduleWidths_{1, 2, 3, 4};
  // EAN-128 appends its check digit to the text; the text it was appended to
  // is kept so that encoding the same barcode again does not append another.
  std::string checkedSource_;
  std::string checkedText_;
};

}  // namespace orv
