#include "addins/shape_view.h"

#include <algorithm>
#include <cmath>

#include "model/state.h"
#include "model/text_util.h"
#include "platform/canvas.h"

namespace orv {

namespace {

int32_t sat(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// One step of a gradient: each component of `e` moved by step/n of the way to `s`.
Color gradientStep(Color e, Color s, int32_t step, int32_t n) {
  auto part = [&](uint8_t a, uint8_t b) {
    // A divisor of 0 (a box too small to have a middle) keeps the edge colour.
    const int32_t d = n == 0 ? 0 : mulDiv(step, int32_t(b) - int32_t(a), n);
    return static_cast<uint8_t>(std::clamp(int32_t(a) + d, 0, 255));
  };
  return rgb(part(redOf(e), redOf(s)), part(greenOf(e), greenOf(s)), part(blueOf(e), blueOf(s)));
}

Color plainColor(Color c) {
  return c == clNone ? clWhite : resolveColor(c);
}

}  // namespace

int32_t mulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  const int64_t p = int64_t(a) * b;
  const int64_t half = std::abs(int64_t(c)) / 2;
  // Round half away from zero, on the magnitude, as the platform does.
  const bool negative = (p < 0) != (c < 0);
  const int64_t q = (std::abs(p) + half) / std::abs(int64_t(c));
  return sat(negative ? -q : q);
}

void fillGradient(Canvas& c, const Rect& box, int32_t style, Color endColor, Color beginColor) {
  const Color e = plainColor(endColor), s = plainColor(beginColor);
  const int32_t l = box.left, t = box.top;
  const int32_t w = box.width(), h = box.height();
  c.setBrush({e, BrushStyle::Solid});
  auto fill = [&](int64_t x1, int64_t y1, int64_t x2, int64_t y2, Color col) {
    c.setBrushColor(col);
    c.fillRect({sat(x1), sat(y1), sat(x2), sat(y2)});
  };
  // The steps i = 0 .. size / 2 of a centre gradient, each painting the line
  // at `start` + i and its mirror. Only the steps whose lines can reach the
  // surface (lo .. hi) are taken: a huge box would otherwise cost a fill for
  // every one of millions of lines nobody sees.
  auto centreSteps = [&](int32_t size, int32_t start, int32_t lo, int32_t hi, auto&& paint) {
    if (size <= 0) return;
    const int64_t half = size / 2;
    auto run = [&](int64_t from, int64_t to) {  // steps [from, to)
      from = std::max<int64_t>(from, 0);
      to = std::min<int64_t>(to, half + 1);
      for (int64_t i = from; i < to; ++i)
        paint(int32_t(i), gradientStep(e, s, int32_t(i), int32_t(half)));
    };
    // Line start + i is visible for i in [lo - start, hi - start), its mirror
    // start + size - 1 - i for i in [start + size - hi, start + size - lo).
    int64_t a1 = int64_t(lo) - start, b1 = int64_t(hi) - start;
    int64_t a2 = int64_t(start) + size - hi, b2 = int64_t(start) + size - lo;
    if (a2 < a1) std::swap(a1, a2), std::swap(b1, b2);
    if (a2 <= b1) {
      run(a1, std::max(b1, b2));  // overlapping: one pass, in step order
    } else {
      run(a1, b1);
      run(a2, b2);
    }
  };
  switch (style) {
    case gsHorizontal:
      for (int32_t i = 0; i <= 255; ++i)
        fill(int64_t(l) + mulDiv(i, w, 256), t, int64_t(l) + mulDiv(i + 1, w, 256), int64_t(t) + h,
             gradientStep(e, s, i, 255));
      break;
    case gsVertical:
      for (int32_t i = 0; i <= 255; ++i)
        fill(l, int64_t(t) + mulDiv(i, h, 256), int64_t(l) + w, int64_t(t) + mulDiv(i + 1, h, 256),
             gradientStep(e, s, i, 255));
      break;
    case gsElliptic: {
      c.save();
      c.intersectClipRect(box);
      c.setPenStyle(PenStyle::Clear);
      double x1 = l - w / 4.0, y1 = t - h / 4.0;
      double x2 = double(l) + w + w / 4.0, y2 = double(t) + h + h / 4.0;
      const double sx = (w / 4.0 + w / 2.0) / 155, sy = (h / 4.0 + h / 2.0) / 155;
      for (int32_t i = 0; i <= 155; ++i) {
        c.setBrushColor(gradientStep(e, s, i, 155));
        c.ellipse({truncInt(x1), truncInt(y1), truncInt(x2), truncInt(y2)});
        x1 += sx, x2 -= sx, y1 += sy, y2 -= sy;
      }
      c.restore();
      break;
    }
    case gsRectangle: {
      double x1 = l, y1 = t, x2 = double(l) + w, y2 = double(t) + h;
      const double sx = w / 2.0 / 255, sy = h / 2.0 / 255;
      for (int32_t i = 0; i <= 255; ++i) {
        fill(truncInt(x1), truncInt(y1), truncInt(x2), truncInt(y2), gradientStep(e, s, i, 255));
        x1 += sx, x2 -= sx, y1 += sy, y2 -= sy;
      }
      break;
    }
    case gsVertCenter:
      // Rows from both edges towards the middle; the box's own rows only.
      centreSteps(h, t, c.deviceBounds().top, c.deviceBounds().bottom, [&](int32_t i, Color col) {
        fill(l, int64_t(t) + i, int64_t(l) + w, int64_t(t) + i + 1, col);
        fill(l, int64_t(t) + h - 1 - i, int64_t(l) + w, int64_t(t) + h - i, col);
      });
      break;
    case gsHorizCenter:
      centreSteps(w, l, c.deviceBounds().left, c.deviceBounds().right, [&](int32_t i, Color col) {
        fill(int64_t(l) + i, t, int64_t(l) + i + 1, int64_t(t) + h, col);
        fill(int64_t(l) + w - 1 - i, t, int64_t(l) + w - i, int64_t(t) + h, col);
      });
      break;
    default:
      break;
  }
}

// ------------------------------------------------------------ TfrShapeView

TfrShapeView::TfrShapeView() {
  TypeCode = gtAddIn;
  ClassStem = "Shape";
}

void TfrShapeView::DeclareProperties() {
  TfrView::DeclareProperties();
  AddEnumProperty("Shape", 32,
                  "skRectangle;skRoundRectangle;skEllipse;skTriangle;skDiagonal1;skDiagonal2");
}

void TfrShapeView::SetProperty(std::string_view name, const Variant& value) {
  if (upperCase(name) == "SHAPE") {
    ShapeType = static_cast<uint8_t>(value.toInt());
    return;
  }
  TfrView::SetProperty(name, value);
}

Variant TfrShapeView::GetProperty(std::string_view name) {
  if (upperCase(name) == "SHAPE") return static_cast<int>(ShapeType);
  return TfrView::GetProperty(name);
}

void TfrShapeView::Draw(Canvas& canvas) {
  ApplyBandAlign(canvas);
  ExpandedText = Memo;
  ApplyScale();
  // The background and frame pass paints only the frame edges; the figure
  // does the filling.
  const Color fill = FillColor;
  FillColor = clNone;
  PaintBackground();
  PaintFrame();
  FillColor = fill;

  const SavedGeometryBlock& s = SavedGeometry;
  const int32_t x = Left, y = Top;
  const int32_t r = roundEven((double(s.x) + s.dx) * ZoomX + ShiftX);
  const int32_t b = roundEven((double(s.y) + s.dy) * ZoomY + ShiftY);
  Canvas& c = canvas;
  c.setPen({FrameColor, roundEven(FrameWidth), PenStyle::Solid, c.pen().mode});
  c.setBkMode(BkMode::Opaque);
  c.setBrush(FillColor == clNone ? BrushSpec{clWhite, BrushStyle::Clear}
                                 : BrushSpec{FillColor, BrushStyle::Solid});
  const Rect box{x, y, sat(int64_t(r) + 1), sat(int64_t(b) + 1)};
  switch (ShapeType) {
    case skRectangle:
      c.rectangle(box);
      break;
    case skRoundRectangle: {
      const int32_t m = std::min(Width, Height) / 4;
      c.roundRect(box, m, m);
      break;
    }
    case skEllipse:
      c.ellipse(box);
      break;
    case skTriangle: {
      const Point pts[] = {{r, b}, {x, b}, {sat(x + (int64_t(r) - x) / 2), y}, {r, b}};
      c.polygon(pts);
      break;
    }
    case skDiagonal1:
      c.moveTo(x, b);
      c.lineTo(r, y);
      break;
    case skDiagonal2:
      c.moveTo(x, y);
      c.lineTo(r, b);
      break;
    default:
      break;
  }
  RestoreGeometry();
}

void TfrShapeView::LoadRecord(MemoryStream& s) {
  TfrView::LoadRecord(s);
  ShapeType = s.readU8("shape type");
}

void TfrShapeView::SaveRecord(MemoryStream& s) {
  TfrView::SaveRecord(s);
  s.writeU8(ShapeType);
}

// ------------------------------------------------------------ TfrRoundRectView

TfrRoundRectView::TfrRoundRectView() {
  TypeCode = gtAddIn;
  FrameTyp = 255;
  ClassStem = "RoundRect";
}

void TfrRoundRectView::DeclareProperties() {
  TfrMemoView::DeclareProperties();
  AddProperty("ShadowColor", 16);
  AddProperty("ShadowWidth", 0);
  AddProperty("RoundRect", 8);
  AddProperty("RoundSize", 0);
  AddProperty("Gradient", 8);
  AddEnumProperty("Style", 32,
                  "gsHorizontal;gsVertical;gsElliptic;gsRectangle;gsVertCenter;gsHorizCenter");
  AddProperty("BeginColor", 16);
  AddProperty("EndColor", 16);
}

void TfrRoundRectView::SetProperty(std::string_view name, const Variant& value) {
  const std::string n = upperCase(name);
  if (n == "SHADOWCOLOR" || n == "BEGINCOLOR") {
    ShadowColor = static_cast<Color>(value.toInt());
  } else if (n == "SHADOWWIDTH") {
    ShadowWidth = clampCoordinate(value.toInt());
  } else if (n == "ROUNDRECT") {
    RoundCorners = value.toBool();
  } else if (n == "ROUNDSIZE" || n == "STYLE") {
    RoundSize = clampCoordinate(value.toInt());
  } else if (n == "GRADIENT") {
    if (value.toBool()) {
      ShadowWidth = kGradientMode;
      RoundSize = 0;
    } else {
      ShadowWidth = 10;
    }
  } else if (n == "ENDCOLOR") {
    FillColor = static_cast<Color>(value.toInt());
  } else {
    TfrMemoView::SetProperty(name, value);
  }
}

Variant TfrRoundRectView::GetProperty(std::string_view name) {
  const std::string n = upperCase(name);
  if (n == "SHADOWCOLOR" || n == "BEGINCOLOR")
    return static_cast<int>(static_cast<int32_t>(ShadowColor));
  if (n == "SHADOWWIDTH") return ShadowWidth;
  if (n == "ROUNDRECT") return RoundCorners;
  if (n == "ROUNDSIZE") return RoundSize;
  if (n == "GRADIENT") return IsGradient();
  if (n == "STYLE") return IsGradient() ? RoundSize : 0;
  if (n == "ENDCOLOR") return static_cast<int>(static_cast<int32_t>(FillColor));
  return TfrMemoView::GetProperty(name);
}

void TfrRoundRectView::ApplyScale() {
  keptGapX_ = GapX;
  keptGapY_ = GapY;
  TfrMemoView::ApplyScale();
  // The text keeps clear of the shadow (by its unscaled width) and of the corners.
  if (!IsGradient()) {
    DrawRect.right = clampCoordinate(int64_t(DrawRect.right) - ShadowWidth);
    DrawRect.bottom = clampCoordinate(int64_t(DrawRect.bottom) - ShadowWidth);
  }
  GapX = clampCoordinate(int64_t(GapX) + RoundSize / 4);
  GapY = clampCoordinate(int64_t(GapY) + RoundSize / 4);
}

void TfrRoundRectView::RestoreGeometry() {
  TfrMemoView::RestoreGeometry();
  GapX = keptGapX_;
  GapY = keptGapY_;
}

void TfrRoundRectView::PaintBackground() {
  const ModelState& st = modelState();
  if (IsGradient() || st.Mode == DocumentMode::Running || st.DrawingSuppressed || !TargetCanvas)
    return;
  // While designing, the whole box is cleared so the figure shows on its own.
  Canvas& c = *TargetCanvas;
  c.setBkMode(BkMode::Opaque);
  c.setBrush({clWhite, BrushStyle::Solid});
  c.fillRect({Left, Top, sat(int64_t(Left) + Width + 1), sat(int64_t(Top) + Height + 1)});
}

void TfrRoundRectView::PaintFrame() {
  if (modelState().DrawingSuppressed || !TargetCanvas) return;
  Canvas& c = *TargetCanvas;
  const int32_t x = Left, y = Top;
  const int32_t r = sat(int64_t(Left) + Width), b = sat(int64_t(Top) + Height);
  if (IsGradient()) {
    if (RoundSize < 0) RoundSize = 0;
    fillGradient(c, {x, y, r, b}, RoundSize, FillColor, ShadowColor);
    c.setPen({FrameColor, roundEven(FrameWidth), PenStyle::Solid, c.pen().mode});
    auto edge = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
      c.moveTo(x1, y1);
      c.lineTo(x2, y2);
    };
    if (FrameTyp & frftRight) edge(r, y, r, b);
    if (FrameTyp & frftLeft) edge(x, y, x, b);
    if (FrameTyp & frftBottom) edge(x, b, r, b);
    if (FrameTyp & frftTop) edge(x, y, r, y);
    return;
  }
  const int32_t a = roundEven(RoundSize * ZoomY);
  const int32_t s = roundEven(ShadowWidth * ZoomY);
  auto figure = [&](const Rect& box) {
    if (RoundCorners)
      c.roundRect(box, a, a);
    else
      c.rectangle(box);
  };
  const int32_t w = roundEven(FrameWidth);
  c.setPen({ShadowColor, w, PenStyle::Solid, c.pen().mode});
  c.setBrush({ShadowColor, BrushStyle::Solid});
  figure({sat(int64_t(x) + s), sat(int64_t(y) + s), sat(int64_t(r) + 1), sat(int64_t(b) + 1)});

  FramedBorder = (FrameTyp & 0xF) == 0xF;
  // Without a frame the body's outline takes the body's colour; a body without
  // a colour of its own is white, outline included.
  const Color body = FillColor == clNone ? clWhite : FillColor;
  c.setPenColor(FramedBorder ? FrameColor : body);
  c.setBrush({body, BrushStyle::Solid});
  figure({x, y, sat(int64_t(r) - s + 1), sat(int64_t(b) - s + 1)});
}

void TfrRoundRectView::LoadRecord(MemoryStream& s) {
  TfrMemoView::LoadRecord(s);
  ShadowColor = s.readU32("shadow colour");
  ShadowWidth = s.readI32("shadow width");
  FramedBorder = s.readU8("framed border") != 0;
  RoundCorners = s.readU8("round corners") != 0;
  RoundSize = s.readI32("corner size");
}

void TfrRoundRectView::SaveRecord(MemoryStream& s) {
  TfrMemoView::SaveRecord(s);
  s.writeU32(ShadowColor);
  s.writeI32(ShadowWidth);
  s.writeU8(FramedBorder ? 1 : 0);
  s.writeU8(RoundCorners ? 1 : 0);
  s.writeI32(RoundSize);
}

}  // namespace orv
