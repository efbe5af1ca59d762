#include "addins/barcode_view.h"

#include <cmath>
#include <string_view>

#include "addins/addins.h"
#include "model/state.h"
#include "platform/canvas.h"
#include "platform/emf_canvas.h"
#include "platform/emf_player.h"

namespace orv {

namespace {

constexpr const char* kDefaultText = "12345678";
// Height of the human-readable line and the room kept for it under the bars.
constexpr int32_t kTextHeight = 12;
constexpr int32_t kTextRoom = 14;
// The metafile's reference device: at 254 pixels per inch its frame, kept in
// hundredths of a millimetre, is exactly ten units per pixel, so stretching
// the recording maps its pixels onto the view without rounding drift.
constexpr int kMetafileDpi = 254;

bool isQuarterTurn(double r, double q) {
  return r == q;
}

std::string trimBlanks(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && static_cast<unsigned char>(s[a]) <= ' ') ++a;
  while (b > a && static_cast<unsigned char>(s[b - 1]) <= ' ') --b;
  return s.substr(a, b - a);
}

// What a numeric-only symbology accepts: digits, blanks around them allowed.
bool isNumber(const std::string& s) {
  const std::string t = trimBlanks(s);
  if (t.empty()) return false;
  for (char c : t)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

TfrBarCodeView::TfrBarCodeView() {
  TypeCode = gtAddIn;
  ClassStem = "Bar";
  Memo = {kDefaultText};
}

void TfrBarCodeView::DeclareProperties() {
  TfrView::DeclareProperties();
  AddProperty("Barcode", 0, true);
  AddProperty("DataField", 0);
}

void TfrBarCodeView::Draw(Canvas& canvas) {
  lastMetafile_.clear();
  if (Width < 0 || Height < 0) return;
  if (Memo.size() == 1 && Memo.front().empty()) return;
  ApplyBandAlign(canvas);
  ExpandedText = Memo;
  std::string t =
      ExpandedText.empty() || (!ExpandedText.front().empty() && ExpandedText.front().front() == '[')
          ? std::string(kDefaultText)
          : ExpandedText.front();

  Barcode.setAngle(Rotation);
  Barcode.setRatio(2);
  Barcode.setModul(1);
  Barcode.setChecksum(CalcCheckSum);
  Barcode.setColor(FillColor == clNone ? clWhite : FillColor);
  Barcode.setTyp(BarType);
  const BarcodeTypeInfo* info = barcodeTypeInfo(BarType);
  if (info && info->numericOnly && !isNumber(t)) t = kDefaultText;
  Barcode.setText(t);

  // The length along the bars becomes the barcode's own width (one pixel per
  // module) for the recording, and that width times Zoom for the page.
  const bool upright = isQuarterTurn(Rotation, 90) || isQuarterTurn(Rotation, 270);
  int32_t keptWidth = Width, keptHeight = Height;
  const int32_t bars = clampCoordinate(Barcode.width());
  const int32_t zoomed = clampCoordinate(roundEven(bars * Zoom));
  if (upright) {
    Height = bars;
    keptHeight = zoomed;
  } else {
    Width = bars;
    keptWidth = zoomed;
  }
  if (trimBlanks(Barcode.text()) == "0") return;

  const int32_t dx = Width, dy = Height;
  int32_t h = upright ? dx : dy;
  if (ShowText) h -= kTextRoom;
  Barcode.setLeft(0);
  Barcode.setTop(0);
  Barcode.setHeight(h);
  if (BarType == bcCodePostNet && isQuarterTurn(Rotation, 0)) {
    // PostNet's short bars stand on the baseline: the bars grow upward.
    Barcode.setTop(h);
    Barcode.setHeight(-h);
  } else if (isQuarterTurn(Rotation, 180)) {
    Barcode.setTop(dy - h);
  } else if (isQuarterTurn(Rotation, 270)) {
    Barcode.setLeft(dx - h);
  }

  EmfCanvas meta({0, 0, dx, dy}, kMetafileDpi);
  Barcode.DrawBarcode(meta);
  t = Barcode.text();
  if (ShowText) {
    FontSpec f;
    f.face = "Courier New";
    f.height = kTextHeight;
    f.weight = 400;
    const int32_t tenths = roundEven(std::fmod(Rotation, 360.0)) * 10;
    f.escapement = f.orientation = tenths;
    meta.setFont(f);
    meta.setTextColor(clBlack);
    const int32_t w = meta.textWidth(t);
    // Only the four quarter turns have a place for the line.
    if (isQuarterTurn(Rotation, 0))
      meta.textOut((dx - w) / 2, dy - kTextHeight, t);
    else if (isQuarterTurn(Rotation, 90))
      meta.textOut(dx - kTextHeight, dy - (dy - w) / 2, t);
    else if (isQuarterTurn(Rotation, 270))
      meta.textOut(kTextHeight, (dy - w) / 2, t);
    else if (isQuarterTurn(Rotation, 180))
      meta.textOut(dx - (dx - w) / 2, kTextHeight, t);
  }
  lastMetafile_ = meta.finish();
  Width = keptWidth;
  Height = keptHeight;

  ApplyScale();
  try {
    PaintBackground();
    // A recording without area has nothing to stretch.
    if (dx > 0 && dy > 0 && !DrawRect.isEmpty())
      stretchDrawMetafile(lastMetafile_, canvas, DrawRect);
    PaintFrame();
  } catch (...) {
    RestoreGeometry();
    throw;
  }
  RestoreGeometry();
}

void TfrBarCodeView::EmitToPage(MemoryStream& stream) {
  emitAddInView(
      *this, stream,
      [](TfrView& v) {
        if (v.ExpandedText.empty()) return;
        std::string& first = v.ExpandedText.front();
        if (first.empty() || first.front() != '[') return;
        // A failed expression leaves "0", which draws no barcode.
        std::string value;
        try {
          Variant result;
          if (!evaluateAddInExpression(v, first, result)) return;
          value = result.toString();
        } catch (const Error&) {
          value = std::string(1, '0');
        }
        first.swap(value);
      },
      false);
}

void TfrBarCodeView::LoadRecord(MemoryStream& s) {
  TfrView::LoadRecord(s);
  CalcCheckSum = s.readU8("barcode check sum") != 0;
  ShowText = s.readU8("barcode text") != 0;
  ReservedByte = s.readU8("barcode");
  BarType = s.readU8("barcode type");
  ZoomVersion = s.readI32("barcode zoom version");
  Zoom = s.readF64("barcode zoom");
  Rotation = s.readF64("barcode rotation");
  // Old records kept the zoom doubled.
  if (ZoomVersion == 1) {
    Zoom /= 2;
    ZoomVersion = 2;
  }
}

void TfrBarCodeView::SaveRecord(MemoryStream& s) {
  TfrView::SaveRecord(s);
  s.writeU8(CalcCheckSum ? 1 : 0);
  s.writeU8(ShowText ? 1 : 0);
  s.writeU8(ReservedByte);
  s.writeU8(BarType);
  s.writeI32(ZoomVersion);
  s.writeF64(Zoom);
  s.writeF64(Rotation);
}

}  // namespace orv
