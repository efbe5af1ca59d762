#include "model/view.h"

#include <algorithm>
#include <cmath>

#include "model/page.h"
#include "model/record_writer.h"
#include "model/state.h"
#include "model/text_util.h"
#include "model/views.h"
#include "platform/canvas.h"

namespace orv {

namespace {

// No frame is made of more hairlines than this; a wider styled pen from a
// damaged record would otherwise cost millions of strokes.
constexpr int32_t kMaxHairlines = 4096;

}  // namespace

int32_t clampCoordinate(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, -kMaxCoordinate, kMaxCoordinate));
}

float clampFrameWidth(double w) {
  if (!std::isfinite(w)) return 1.0f;
  // No frame is wider than a page; within this range a width survives being
  // written in thousandths and read back.
  return static_cast<float>(std::clamp<double>(w, -kMaxCoordinate, kMaxFrameWidth));
}

int32_t frameWidthCode(double fw) {
  // The reader takes codes up to 10 as whole pixels and larger ones as
  // thousandths: the code is chosen so that reading it gives back a width
  // that is written with the same code again.
  // Nearly every object has a whole width of a few pixels, which is its own
  // code; the general rule below gives the same for those.
  if (fw >= 0 && fw <= 10 && fw == static_cast<int32_t>(fw)) return static_cast<int32_t>(fw);
  if (fw < 0) return roundEven(fw);
  const double k = std::nearbyint(fw * 1000.0);
  if (k <= 10) return roundEven(fw);
  if (std::fmod(k, 1000.0) == 0 && k <= 10000) return roundEven(k / 1000.0);
  return roundEven(k);
}

// ---------------------------------------------------------------- TfrObject

void TfrObject::SetProperty(std::string_view, const Variant&) {}

Variant TfrObject::GetProperty(std::string_view) {
  return {};
}

Variant TfrObject::CallMethod(std::string_view, const Variant&, const Variant&, const Variant&) {
  return {};
}

void TfrObject::DeclareProperties() {
  PropertyList.clear();
}

const PropertyEntry* TfrObject::FindProperty(std::string_view name) {
  if (PropertyList.empty()) DeclareProperties();
  for (const auto& p : PropertyList)
    if (sameText(p.Name, name)) return &p;
  return nullptr;
}

PropertyEntry& TfrObject::AddProperty(std::string name, uint16_t kind, bool withEditor) {
  PropertyEntry e;
  // Names are limited to 32 characters in the property list.
  if (name.size() > 32) name.resize(32);
  e.Name = std::move(name);
  e.Kind = kind;
  if (withEditor) e.Editor = [] {};
  PropertyList.push_back(std::move(e));
  return PropertyList.back();
}

PropertyEntry& TfrObject::AddEnumProperty(std::string name, uint16_t kind, std::string_view names,
                                          bool withEditor) {
  PropertyEntry& e = AddProperty(std::move(name), kind, withEditor);
  size_t start = 0;
  int32_t value = 0;
  while (start <= names.size()) {
    size_t end = names.find(';', start);
    if (end == std::string_view::npos) end = names.size();
    e.EnumNames.emplace_back(names.substr(start, end - start));
    e.EnumValues.push_back(value++);
    start = end + 1;
  }
  return e;
}

// ---------------------------------------------------------------- TfrView

TfrView::TfrView() = default;
TfrView::~TfrView() = default;

void TfrView::DeclareProperties() {
  PropertyList.clear();
  const bool frame = DeclaresFrameProperties();
  AddProperty("Name", 257);
  AddProperty("Left", 128);
  AddProperty("Top", 128);
  AddProperty("Width", 128);
  AddProperty("Height", 128);
  AddProperty("Flags", 0);
  if (frame) {
    AddProperty("FrameTyp", 2);
    AddProperty("FrameWidth", 132);
    AddProperty("FrameColor", 16);
    AddEnumProperty("FrameStyle", 32, "psSolid;psDash;psDot;psDashDot;psDashDotDot;psDouble");
    AddProperty("FillColor", 16);
    AddProperty("Tag", 320, true);
    AddEnumProperty("BandAlign", 32,
                    "baNone;baLeft;baRight;baCenter;baWidth;baBottom;baTop;baRest");
  }
  AddProperty("Visible", 8);
  AddProperty("Memo", 320, true);
  AddProperty("Memo.Count", 0);
  AddProperty("Restrictions", 64, true);
}

void TfrView::SetProperty(std::string_view name, const Variant& value) {
  const std::string n = upperCase(name);
  if (n == "NAME") {
    Name = value.toString();
  } else if (n == "LEFT") {
    Left = clampCoordinate(value.toInt());
  } else if (n == "TOP") {
    Top = clampCoordinate(value.toInt());
  } else if (n == "WIDTH") {
    Width = clampCoordinate(value.toInt());
  } else if (n == "HEIGHT") {
    Height = clampCoordinate(value.toInt());
  } else if (n == "FLAGS") {
    Flags = static_cast<uint16_t>(value.toInt());
  } else if (n == "FRAMETYP") {
    FrameTyp = static_cast<uint16_t>(value.toInt());
  } else if (n == "FRAMEWIDTH") {
    FrameWidth = clampFrameWidth(value.toDouble());
  } else if (n == "FRAMECOLOR") {
    FrameColor = static_cast<Color>(value.toInt());
  } else if (n == "FRAMESTYLE") {
    FrameStyle = static_cast<uint16_t>(value.toInt());
  } else if (n == "FILLCOLOR") {
    FillColor = static_cast<Color>(value.toInt());
  } else if (n == "VISIBLE") {
    Visible = value.toBool();
  } else if (n == "MEMO" || n == "DATAFIELD") {
    Memo = textToLines(value.toString());
  } else if (n == "GAPX") {
    GapX = clampCoordinate(value.toInt());
  } else if (n == "GAPY") {
    GapY = clampCoordinate(value.toInt());
  } else if (n == "STRETCHED") {
    Flags = value.toBool() ? (Flags | flStretched) : (Flags & ~flStretched);
  } else if (n == "BANDALIGN") {
    BandAlign = static_cast<uint8_t>(value.toInt());
  } else if (n == "TAG") {
    Tag = value.toString();
  } else if (n == "RESTRICTIONS") {
    Restrictions = static_cast<uint16_t>(value.toInt());
  }
}

Variant TfrView::GetProperty(std::string_view name) {
  const std::string n = upperCase(name);
  if (n == "NAME") return Name;
  if (n == "LEFT") return Left;
  if (n == "TOP") return Top;
  if (n == "WIDTH") return Width;
  if (n == "HEIGHT") return Height;
  if (n == "FLAGS") return static_cast<int>(Flags);
  if (n == "FRAMETYP") return static_cast<int>(FrameTyp);
  if (n == "FRAMEWIDTH") return static_cast<double>(FrameWidth);
  if (n == "FRAMECOLOR") return static_cast<int>(static_cast<int32_t>(FrameColor));
  if (n == "FRAMESTYLE") return static_cast<int>(FrameStyle);
  if (n == "FILLCOLOR") return static_cast<int>(static_cast<int32_t>(FillColor));
  if (n == "VISIBLE") return Visible;
  if (n == "MEMO") return joinLines(Memo);
  if (n == "MEMO.COUNT") return static_cast<int>(Memo.size());
  if (n == "GAPX") return GapX;
  if (n == "GAPY") return GapY;
  if (n == "STRETCHED") return (Flags & flStretched) != 0;
  if (n == "BANDALIGN") return static_cast<int>(BandAlign);
  if (n == "DATAFIELD") return Memo.empty() ? std::string() : Memo.front();
  if (n == "TAG") return Tag;
  if (n == "RESTRICTIONS") return static_cast<int>(Restrictions);
  return {};
}

Variant TfrView::CallMethod(std::string_view name, const Variant& arg1, const Variant& arg2,
                            const Variant& arg3) {
  if (name == "HIDE") {
    SetProperty("Visible", false);
    return {};
  }
  if (name == "SHOW") {
    SetProperty("Visible", true);
    return {};
  }
  if (name == "MEMO.ADD") {
    Memo.push_back(arg1.toString());
    return {};
  }
  if (name == "MEMO.CLEAR") {
    Memo.clear();
    return {};
  }
  if (name == "MEMO.DELETE") {
    const int64_t i = arg1.toInt();
    // A script asking for a line that does not exist changes nothing.
    if (i >= 0 && i < static_cast<int64_t>(Memo.size())) Memo.erase(Memo.begin() + i);
    return {};
  }
  if (name == "MEMO.INDEXOF") {
    const std::string s = arg1.toString();
    for (size_t i = 0; i < Memo.size(); ++i)
      if (sameText(Memo[i], s)) return static_cast<int>(i);
    return -1;
  }
  if (name == "SETINDEXPROPERTY" && upperCase(arg1.toString()) == "MEMO") {
    const int64_t i = arg2.toInt();
    if (i >= 0 && i < static_cast<int64_t>(Memo.size())) Memo[i] = arg3.toString();
    return {};
  }
  if (name == "GETINDEXPROPERTY" && upperCase(arg1.toString()) == "MEMO") {
    const int64_t i = arg2.toInt();
    if (i >= 0 && i < static_cast<int64_t>(Memo.size())) return Memo[i];
    return {};
  }
  return TfrObject::CallMethod(name, arg1, arg2, arg3);
}

void TfrView::LoadBlob(const BlobField&) {}

// ------------------------------------------------------------ geometry

void TfrView::ApplyScale() {
  SavedGeometry = {Left, Top, Width, Height, GapX, GapY, FrameWidth};
  if (modelState().Mode == DocumentMode::Designing) {
    ZoomX = ZoomY = 1.0;
    ShiftX = ShiftY = 0;
  }
  const SavedGeometryBlock& s = SavedGeometry;
  Left = roundEven(s.x * ZoomX) + ShiftX;
  Top = roundEven(s.y * ZoomY) + ShiftY;
  Width = roundEven(s.dx * ZoomX);
  Height = roundEven(s.dy * ZoomY);

  const double fw = s.frameWidth;
  const int32_t bx = roundEven((fw * ZoomX - 1) / 2);
  const int32_t bx1 = roundEven(fw * ZoomX / 2);
  const int32_t by = roundEven((fw * ZoomY - 1) / 2);
  const int32_t by1 = roundEven(fw * ZoomY / 2);
  FrameWidth = static_cast<float>(fw * ZoomX);
  // The horizontal gap takes the whole half frame, the vertical one half of it.
  GapX = roundEven(s.gapX * ZoomX) + bx1;
  GapY = roundEven(s.gapY * ZoomY) + by1 / 2;

  int32_t right = roundEven((double(s.x) + s.dx) * ZoomX + ShiftX);
  int32_t bottom = roundEven((double(s.y) + s.dy) * ZoomY + ShiftY);
  int32_t left = Left;
  int32_t top = Top;
  if (FrameTyp & frftRight) right -= bx1;
  if (FrameTyp & frftBottom) bottom -= by1;
  if (FrameTyp & frftLeft) left += bx;
  if (FrameTyp & frftTop) top += by;
  DrawRect = {left, top, right + 1, bottom + 1};
}

void TfrView::RestoreGeometry() {
  Left = SavedGeometry.x;
  Top = SavedGeometry.y;
  Width = SavedGeometry.dx;
  Height = SavedGeometry.dy;
  GapX = SavedGeometry.gapX;
  GapY = SavedGeometry.gapY;
  FrameWidth = SavedGeometry.frameWidth;
}

// ------------------------------------------------------------ painting

void TfrView::PaintBackground() {
  const ModelState& st = modelState();
  if (st.DrawingSuppressed || !TargetCanvas) return;
  Canvas& c = *TargetCanvas;
  c.setBkMode(BkMode::Opaque);
  c.setBrush({FillColor == clNone ? clWhite : FillColor, BrushStyle::Solid});
  if (st.Mode == DocumentMode::Running) {
    if (FillColor == clNone) return;
    const SavedGeometryBlock& s = SavedGeometry;
    c.fillRect({Left, Top, roundEven((double(s.x) + s.dx) * ZoomX + ShiftX),
                roundEven((double(s.y) + s.dy) * ZoomY + ShiftY)});
  } else {
    c.fillRect(DrawRect);
  }
}

void TfrView::PaintFrame() {
  const ModelState& st = modelState();
  if (st.DrawingSuppressed || !TargetCanvas) return;
  const bool running = st.Mode == DocumentMode::Running;
  if (running && (FrameTyp & 0xF) == 0) return;
  Canvas& c = *TargetCanvas;
  c.setBrushStyle(BrushStyle::Solid);
  c.setPenStyle(PenStyle::Solid);

  const int32_t x = Left, y = Top, dx = Width, dy = Height;
  if (dx > 0 && dy > 0 && !running) {
    c.setPen({clBlack, 1, PenStyle::Solid, c.pen().mode});
    auto stroke = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
      c.moveTo(x1, y1);
      c.lineTo(x2, y2);
    };
    stroke(x, y + 3, x, y);
    stroke(x, y, x + 4, y);
    stroke(x, y + dy - 3, x, y + dy);
    stroke(x, y + dy, x + 4, y + dy);
    stroke(x + dx - 3, y, x + dx, y);
    stroke(x + dx, y, x + dx, y + 4);
    stroke(x + dx - 3, y + dy, x + dx, y + dy);
    stroke(x + dx, y + dy, x + dx, y + dy - 4);
  }

  c.setPenColor(FrameColor);
  c.setPenWidth(roundEven(FrameWidth));
  c.setPenStyle(FrameStyle == psDouble || FrameStyle > psDashDotDot
                    ? PenStyle::Solid
                    : static_cast<PenStyle>(FrameStyle));
  const SavedGeometryBlock& s = SavedGeometry;
  const int32_t r = roundEven((double(s.x) + s.dx) * ZoomX + ShiftX);
  const int32_t b = roundEven((double(s.y) + s.dy) * ZoomY + ShiftY);
  if (FrameTyp & frftRight) DrawStyledLine(r, y, r, b);
  if (FrameTyp & frftLeft) DrawStyledLine(x, y, x, b);
  if (FrameTyp & frftBottom) DrawStyledLine(x, b, r, b);
  if (FrameTyp & frftTop) DrawStyledLine(x, y, r, y);
}

void TfrView::DrawStyledLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  Canvas& c = *TargetCanvas;
  const bool vertical = x1 == x2;
  auto line = [&](int32_t off) {
    if (vertical) {
      c.moveTo(x1 + off, y1);
      c.lineTo(x2 + off, y2);
    } else {
      c.moveTo(x1, y1 + off);
      c.lineTo(x2, y2 + off);
    }
  };
  if (c.pen().style != PenStyle::Solid) {
    // Wide styled pens are drawn as parallel hairlines so dashes stay dashes
    // at every width. A width below one still draws one line, as a solid
    // frame of that width does.
    c.setBrush({FillColor, BrushStyle::Solid});
    const int32_t w = c.pen().width;
    const int32_t n = std::clamp(w, 1, kMaxHairlines);
    c.setPenWidth(1);
    for (int32_t i = 0; i < n; ++i) line(i - n / 2);
    c.setPenWidth(w);
  } else if (FrameStyle != psDouble) {
    line(0);
  } else {
    const int32_t f = roundEven(FrameWidth);
    line(-f);
    // The middle line clears the space between the two strokes with the
    // fill; a transparent object has nothing to clear it with.
    if (FillColor != clNone) {
      c.setPenColor(FillColor);
      line(0);
    }
    c.setPenColor(FrameColor);
    line(f);
  }
}

QRegion TfrView::SelectionRegion(bool inflate) {
  const double fw = FrameWidth;
  int32_t outer, inner;
  if (FrameStyle == psDouble) {
    outer = roundEven(fw * 1.5);
    inner = roundEven(fw + (fw - 1) / 2);
  } else {
    outer = roundEven(fw / 2);
    inner = roundEven((fw - 1) / 2);
  }
  Rect r{Left, Top, Left + Width + 1, Top + Height + 1};
  if (FrameTyp & frftLeft) r.left -= outer;
  if (FrameTyp & frftTop) r.top -= outer;
  if (FrameTyp & frftRight) r.right += inner;
  if (FrameTyp & frftBottom) r.bottom += inner;
  if (inflate) r = r.inflated(10);
  return QRegion(r.left, r.top, r.width(), r.height());
}

// ------------------------------------------------------------ band alignment

namespace {

// Whether `cand` sits on the same row as `self` for the neighbour searches.
bool sameRow(const TfrView& self, const TfrView& cand) {
  const ModelState& st = modelState();
  if (st.Mode == DocumentMode::Running && st.CurrentBand) {
    // While a band prints, the view has been moved onto the page; the
    // template objects of the band still carry band-relative positions.
    const TfrView& band = static_cast<const TfrView&>(*st.CurrentBand);
    if (cand.Top == self.Top - band.Top) return true;
    if ((band.Flags & 1) && cand.Top == self.Top) return true;
    return false;
  }
  return cand.Top == self.Top;
}

// Nearest baLeft neighbour to the left (greatest x; the earliest on ties).
const TfrView* leftNeighbour(const TfrView& self, const TfrPage& page) {
  const TfrView* best = nullptr;
  for (const auto& o : page.Objects) {
    const TfrView& v = *o;
    if (&v == &self || v.TypeCode == gtBand || v.BandAlign != baLeft) continue;
    if (v.Left >= self.Left || !sameRow(self, v)) continue;
    if (!best || v.Left > best->Left) best = &v;
  }
  return best;
}

// Nearest baRight neighbour to the right (smallest x; the latest on ties).
const TfrView* rightNeighbour(const TfrView& self, const TfrPage& page) {
  const TfrView* best = nullptr;
  for (const auto& o : page.Objects) {
    const TfrView& v = *o;
    if (&v == &self || v.TypeCode == gtBand || v.BandAlign != baRight) continue;
    if (v.Left <= self.Left || !sameRow(self, v)) continue;
    if (!best || v.Left <= best->Left) best = &v;
  }
  return best;
}

// The band view under the object's top-left corner, for design-time alignment.
const TfrView* bandUnder(const TfrView& self, const TfrPage& page) {
  for (const auto& o : page.Objects) {
    const TfrView& v = *o;
    if (v.TypeCode != gtBand) continue;
    const uint16_t type = v.FrameTyp;
    const bool vertical = type >= 18 && type <= 20;
    if (vertical ? (self.Left >= v.Left && self.Left < v.Left + v.Width)
                 : (self.Top >= v.Top && self.Top < v.Top + v.Height))
      return &v;
  }
  return nullptr;
}

}  // namespace

void TfrView::ApplyBandAlign(Canvas& canvas) {
  TargetCanvas = &canvas;
  ModelState& st = modelState();
  st.CurrentView = this;
  const TfrPage* page = st.CurrentPage;
  if (!page || BandAlign == baNone) return;
  const bool running = st.Mode == DocumentMode::Running;
  const int32_t l = page->LeftEdge();
  const int32_t r = page->RightEdge();
  switch (BandAlign) {
    case baLeft:
      if (const TfrView* n = leftNeighbour(*this, *page)) {
        const int32_t edge = n->Left + n->Width;
        // A neighbour reaching past the content edge leaves no room at all.
        if (edge > r) Width = 0;
        Left = edge;
      } else {
        Left = l;
      }
      break;
    case baRight:
      if (const TfrView* n = rightNeighbour(*this, *page))
        Left = n->Left - Width - 1;
      else
        Left = r - Width;
      break;
    case baCenter:
      Left = l + (r - l - Width) / 2;
      break;
    case baWidth:
      if (running) {
        if (!st.CurrentBand) {
          Left = l;
          Width = r - l - 1;
        }
      } else if (const TfrView* band = bandUnder(*this, *page);
                 band && band->FrameTyp >= 18 && band->FrameTyp <= 20) {
        Left = band->Left;
        Width = band->Width;
      } else {
        Left = l;
        Width = r - l;
      }
      break;
    case baBottom:
    case baTop:
      if (!running) {
        if (const TfrView* band = bandUnder(*this, *page))
          Top = BandAlign == baBottom ? band->Top + band->Height - Height : band->Top;
      }
      break;
    case baRest: {
      const TfrView* ln = leftNeighbour(*this, *page);
      Left = ln ? ln->Left + ln->Width : l;
      const TfrView* rn = rightNeighbour(*this, *page);
      Width = std::max(0, (rn ? rn->Left : r) - Left);
      break;
    }
    default:
      break;
  }
}

// ------------------------------------------------------------ emitting

void TfrView::EmitToPage(MemoryStream& stream) {
  if (TargetCanvas) ApplyBandAlign(*TargetCanvas);
  ExpandedText = Memo;
  ViewRunHooks* hooks = modelState().RunHooks;
  if (hooks) {
    hooks->BeforePrint(*this);
    hooks->RunScript(*this);
  }
  if (!Visible) return;
  // The tag is expanded for the record only; the template keeps its expressions.
  const std::string keptTag = Tag;
  try {
    if (hooks) {
      if (Tag.find('[') != std::string::npos) hooks->ExpandExpressions(*this, Tag);
      hooks->AlignToBand(*this);
    }
    WriteObject(stream);
  } catch (...) {
    Tag = keptTag;
    throw;
  }
  Tag = keptTag;
}

void TfrView::WriteObject(MemoryStream& stream) {
  stream.writeU8(TypeCode);
  if (TypeCode == gtAddIn) writeString(stream, ClassName());
  const bool was = PreparedForm;
  PreparedForm = true;
  try {
    SaveRecord(stream);
  } catch (...) {
    PreparedForm = was;
    throw;
  }
  PreparedForm = was;
}

// ------------------------------------------------------------ records

void TfrView::LoadRecord(MemoryStream& s) {
  const uint8_t version = modelState().StreamVersion;
  if (version > 23 || (version == 23 && !PreparedForm)) {
    Name = readString(s, version);
  } else {
    GenerateName(*this);
  }
  if (version > 23) {
    RecordVersionMajor = s.readU8("record version");
    RecordVersionMinor = s.readU8("record version");
  }
  Left = clampCoordinate(s.readI32("object geometry"));
  Top = clampCoordinate(s.readI32("object geometry"));
  Width = clampCoordinate(s.readI32("object geometry"));
  Height = clampCoordinate(s.readI32("object geometry"));
  Flags = s.readU16("object flags");
  FrameTyp = s.readU16("frame type");
  int64_t code = s.readI32("frame width");
  // Small values are whole pixel widths, larger ones thousandths.
  if (code <= 10) code *= 1000;
  FrameWidth = clampFrameWidth(code / 1000.0);
  FrameColor = s.readU32("frame colour");
  FrameStyle = s.readU16("frame style");
  FillColor = s.readU32("fill colour");
  if (!PreparedForm) {
    Format = s.readI32("display format");
    FormatStr = readString(s, version);
  }
  Memo = readStringList(s, version);
  if (!PreparedForm && version >= 23) {
    BeforePrintScript = readStringList(s, version);
    Visible = s.readI16("visibility") != 0;
  }
  if (version >= 24) {
    Restrictions = s.readU16("restrictions");
    Tag = readString(s, version);
    GapX = clampCoordinate(s.readI32("gaps"));
    GapY = clampCoordinate(s.readI32("gaps"));
  }
  if (RecordVersionMajor > 1) BandAlign = s.readU8("band alignment");
}

void TfrView::SaveRecord(MemoryStream& s) {
  RecordWriter w(s);
  WriteFields(w);
  w.flush();
}

void TfrView::WriteFields(RecordWriter& w) {
  RecordVersionMajor = 2;
  w.string(Name);
  w.fields(RecordVersionMajor, RecordVersionMinor, Left, Top, Width, Height, Flags, FrameTyp,
           frameWidthCode(FrameWidth), FrameColor, FrameStyle, FillColor);
  if (!PreparedForm) {
    w.i32(Format);
    w.string(FormatStr);
  }
  w.stringList(PreparedForm ? ExpandedText : Memo);
  if (!PreparedForm) {
    w.stringList(BeforePrintScript);
    w.i16(Visible ? -1 : 0);
  }
  w.u16(Restrictions);
  w.string(Tag);
  w.fields(GapX, GapY, BandAlign);
}

// ---------------------------------------------------------- TfrStretcheable

Variant TfrStretcheable::CallMethod(std::string_view name, const Variant& arg1, const Variant& arg2,
                                    const Variant& arg3) {
  if (name == "CALCHEIGHT") return static_cast<int>(CalcHeight());
  return TfrView::CallMethod(name, arg1, arg2, arg3);
}

// ---------------------------------------------------------- dialog controls

TfrControl::TfrControl() {
  TypeCode = gtAddIn;
  FillColor = clBtnFace;
  FrameTyp = frftNone;
}

void TfrControl::DeclareProperties() {
  PropertyList.clear();
  AddProperty("Name", 257);
  AddProperty("Left", 128);
  AddProperty("Top", 128);
  AddProperty("Width", 128);
  AddProperty("Height", 128);
  AddProperty("Visible", 8);
  AddProperty("Restrictions", 64, true);
}

void TfrControl::Draw(Canvas& canvas) {
  ApplyBandAlign(canvas);
  ApplyScale();
  PaintControl();
  RestoreGeometry();
}

void TfrControl::PaintControl() {
  // No dialog runs in this program, so there is no live control to render:
  // the control's place is shown as its face-coloured box.
  if (!TargetCanvas) return;
  TargetCanvas->setBrush({clBtnFace, BrushStyle::Solid});
  TargetCanvas->fillRect({Left, Top, Left + Width + 1, Top + Height + 1});
}

TfrNonVisualControl::TfrNonVisualControl() {
  Width = 28;
  Height = 28;
}

void TfrNonVisualControl::DeclareProperties() {
  PropertyList.clear();
  AddProperty("Name", 257);
  AddProperty("Restrictions", 64, true);
}

void TfrNonVisualControl::Draw(Canvas& canvas) {
  ApplyBandAlign(canvas);
  Width = Height = 28;
  ApplyScale();
  FillColor = clBtnFace;
  PaintBackground();
  // A raised edge: light on the top and left, dark on the bottom and right.
  Canvas& c = canvas;
  const Rect& r = DrawRect;
  c.setPen({clWhite, 1, PenStyle::Solid, c.pen().mode});
  c.moveTo(r.left, r.bottom - 1);
  c.lineTo(r.left, r.top);
  c.lineTo(r.right - 1, r.top);
  c.setPen({rgb(128, 128, 128), 1, PenStyle::Solid, c.pen().mode});
  c.lineTo(r.right - 1, r.bottom - 1);
  c.lineTo(r.left, r.bottom - 1);
  RestoreGeometry();
}

}  // namespace orv
