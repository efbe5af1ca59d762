#include "model/views.h"

#include <algorithm>

#include "model/page.h"
#include "model/state.h"
#include "model/text_util.h"
#include "platform/canvas.h"
#include "platform/error.h"

namespace orv {

namespace {

Graphic::Kind kindForBlobType(uint8_t blobType) {
  switch (blobType) {
    case btJPG:
      return Graphic::Kind::Jpeg;
    case btICO:
      return Graphic::Kind::Icon;
    case btWMF:
      return Graphic::Kind::Metafile;
    default:
      return Graphic::Kind::Bitmap;
  }
}

void setFlag(uint16_t& flags, uint16_t bit, bool on) {
  flags = on ? (flags | bit) : (flags & ~bit);
}

}  // namespace

// ------------------------------------------------------------ picture

TfrPictureView::TfrPictureView() {
  TypeCode = gtPicture;
  ClassStem = "Picture";
  Flags = pfStretched | pfKeepAspect;
}

void TfrPictureView::DeclareProperties() {
  TfrView::DeclareProperties();
  AddProperty("Picture", 64, true);
  AddProperty("Stretched", 8);
  AddProperty("Center", 8);
  AddProperty("KeepAspect", 8);
  AddProperty("DataField", 321, true);
  AddEnumProperty("BlobType", 32, "btBMP;btJPG;btICO;btWMF");
}

void TfrPictureView::SetProperty(std::string_view name, const Variant& value) {
  TfrView::SetProperty(name, value);
  const std::string n = upperCase(name);
  if (n == "CENTER")
    setFlag(Flags, pfCenter, value.toBool());
  else if (n == "KEEPASPECT")
    setFlag(Flags, pfKeepAspect, value.toBool());
  else if (n == "BLOBTYPE")
    BlobType = static_cast<uint8_t>(value.toInt());
}

Variant TfrPictureView::GetProperty(std::string_view name) {
  const std::string n = upperCase(name);
  if (n == "CENTER") return (Flags & pfCenter) != 0;
  if (n == "KEEPASPECT") return (Flags & pfKeepAspect) != 0;
  if (n == "BLOBTYPE") return static_cast<int>(BlobType);
  return TfrView::GetProperty(name);
}

void TfrPictureView::LoadBlob(const BlobField& field) {
  DecodeError.clear();
  if (field.isNull) {
    Picture = Graphic();
    return;
  }
  const Graphic::Kind kind = kindForBlobType(BlobType);
  try {
    Picture = Graphic::load(kind, field.bytes);
  } catch (const Error& e) {
    Picture = Graphic::unreadable(kind, field.bytes);
    DecodeError = e.what();
  }
}

Rect TfrPictureView::ImageRect(int32_t iw, int32_t ih) const {
  // Worked in 64 bits and doubles: a damaged record may pair a huge image
  // with a huge or negative box, and no step of the rule may overflow.
  const Rect& d = DrawRect;
  const auto sat = [](double v) { return roundEven(v); };
  if (Flags & pfStretched) {
    Rect r = d;
    if ((Flags & pfKeepAspect) && iw > 0 && ih > 0) {
      const double kx = double(Width) / iw;
      const double ky = double(Height) / ih;
      if (kx >= ky)
        r = {d.left, d.top, sat(double(d.left) + double(roundEven(iw * ky))), d.bottom};
      else
        r = {d.left, d.top, d.right, sat(double(d.top) + double(roundEven(ih * kx)))};
      if (Flags & pfCenter) {
        const int64_t mx = (int64_t(d.right) - d.left - (int64_t(r.right) - r.left)) / 2;
        const int64_t my = (int64_t(d.bottom) - d.top - (int64_t(r.bottom) - r.top)) / 2;
        r = {sat(double(r.left + mx)), sat(double(r.top + my)), sat(double(r.right + mx)),
             sat(double(r.bottom + my))};
      }
    }
    return r;
  }
  const int64_t w = roundEven(iw * ZoomX);
  const int64_t h = roundEven(ih * ZoomY);
  int64_t left = d.left, top = d.top;
  if (Flags & pfCenter) {
    left += (int64_t(d.right) - d.left - w) / 2;
    top += (int64_t(d.bottom) - d.top - h) / 2;
  }
  return {sat(double(left)), sat(double(top)), sat(double(left + w)), sat(double(top + h))};
}

void TfrPictureView::Draw(Canvas& canvas) {
  ApplyBandAlign(canvas);
  ApplyScale();
  PaintBackground();
  if (!Picture.isEmpty()) {
    const Rect r = ImageRect(Picture.width(), Picture.height());
    // Icons have no route onto a printer's own canvas.
    if (!(OnPrinterCanvas && Picture.kind() == Graphic::Kind::Icon)) Picture.draw(canvas, r);
  } else if (modelState().Mode == DocumentMode::Designing) {
    // The designer's empty-picture mark: a crossed box.
    canvas.setPen({rgb(128, 128, 128), 1, PenStyle::Solid, canvas.pen().mode});
    canvas.moveTo(DrawRect.left, DrawRect.top);
    canvas.lineTo(DrawRect.right - 1, DrawRect.bottom - 1);
    canvas.moveTo(DrawRect.right - 1, DrawRect.top);
    canvas.lineTo(DrawRect.left, DrawRect.bottom - 1);
  }
  PaintFrame();
  RestoreGeometry();
}

void TfrPictureView::LoadRecord(MemoryStream& s) {
  TfrView::LoadRecord(s);
  const uint8_t kind = s.readU8("picture kind");
  if (RecordVersionMajor * 10 + RecordVersionMinor > 10) BlobType = s.readU8("picture blob type");
  const uint32_t end = s.readU32("picture end position");
  const size_t start = s.position();
  if (end < start || end > s.size()) s.fail("picture data");
  const std::span<const uint8_t> bytes(s.data() + start, end - start);
  DecodeError.clear();
  if (kind >= pkBitmap && kind <= pkJpeg) {
    const auto k = static_cast<Graphic::Kind>(kind);
    // A damaged image must not cost the page: its bytes are kept and written
    // back, and the object draws as if it had none.
    try {
      Picture = Graphic::load(k, bytes);
    } catch (const Error& e) {
      Picture = Graphic::unreadable(k, bytes);
      DecodeError = e.what();
    }
  } else {
    Picture = Graphic();
  }
  s.seek(end);
}

void TfrPictureView::SaveRecord(MemoryStream& s) {
  TfrView::SaveRecord(s);
  const auto bytes = Picture.bytes();
  const auto kind = bytes.empty() ? Graphic::Kind::None : Picture.kind();
  s.writeU8(static_cast<uint8_t>(kind));
  s.writeU8(BlobType);
  const size_t at = s.position();
  s.writeU32(0);
  if (kind != Graphic::Kind::None) s.write(bytes);
  const size_t end = s.position();
  if (end > UINT32_MAX) throw Error("picture too large for its record");
  s.seek(at);
  s.writeU32(static_cast<uint32_t>(end));
  s.seek(end);
}

// ------------------------------------------------------------ line

TfrLineView::TfrLineView() {
  TypeCode = gtLine;
  ClassStem = "Line";
  FrameTyp = frftLeft;
  FillColor = clWhite;
}

void TfrLineView::DeclareProperties() {
  TfrView::DeclareProperties();
  AddProperty("Stretched", 8);
}

void TfrLineView::Draw(Canvas& canvas) {
  ApplyBandAlign(canvas);
  // The orientation sticks: a line is whichever way it is longer.
  if (Height < Width) {
    Height = 0;
    FrameTyp = frftTop;
  } else {
    Width = 0;
    FrameTyp = frftLeft;
  }
  ApplyScale();
  PaintFrame();
  RestoreGeometry();
}

// ------------------------------------------------------------ band

TfrBandView::TfrBandView() {
  TypeCode = gtBand;
  ClassStem = "Band";
  Format = 0;
  Flags = bfOnFirstPage | bfOnLastPage;
}

namespace {

bool typeIn(uint16_t t, std::initializer_list<uint16_t> set) {
  return std::find(set.begin(), set.end(), t) != set.end();
}

// Names of the band views on `page` whose type is in `types`, except `self`.
std::string bandNames(const TfrPage* page, const TfrView* self,
                      std::initializer_list<uint16_t> types) {
  std::string r;
  if (!page) return r;
  for (const auto& o : page->Objects) {
    if (o.get() == self || o->TypeCode != gtBand || !typeIn(o->FrameTyp, types)) continue;
    if (!r.empty()) r += ';';
    r += o->Name;
  }
  return r;
}

}  // namespace

void TfrBandView::DeclareProperties() {
  TfrView::DeclareProperties();
  // The band's script is edited under the name of the event it serves.
  for (auto& p : PropertyList)
    if (p.Name == "Memo") p.Name = "OnBeforePrint";
  const uint16_t t = FrameTyp;
  const TfrPage* page = OwnerPage ? OwnerPage : modelState().CurrentPage;
  if (t != btPageFooter) {
    AddEnumProperty("ChildBand", 32, bandNames(page, this, {btChild}));
    AddProperty("PrintChildIfInvisible", 8);
  }
  if (typeIn(t, {0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 16, 17, 18, 21}))
    AddProperty("Stretched", 8);
  if (typeIn(t, {0, 1, 5, 6, 8, 9, 11, 12, 16})) AddProperty("FormNewPage", 8);
  if (typeIn(t, {5, 8})) AddProperty("PrintIfSubsetEmpty", 8);
  if (typeIn(t, {0, 1, 4, 5, 6, 7, 8, 9, 10, 11, 12, 16, 17, 21})) AddProperty("Breaked", 8);
  if (typeIn(t, {2, 3})) AddProperty("OnFirstPage", 8);
  if (t == 3) AddProperty("OnLastPage", 8);
  if (typeIn(t, {4, 7, 10, 16, 18})) AddProperty("RepeatHeader", 8);
  if (t == 19) AddProperty("DataSource", 64, true);
  if (typeIn(t, {5, 8, 11})) {
    AddProperty("Columns", 2);
    AddProperty("ColumnWidth", 128);
    AddProperty("ColumnGap", 128);
    AddProperty("DataSource", 64, true);
  }
  if (t == 16) {
    AddProperty("Condition", 1);
    AddEnumProperty("Master", 32, bandNames(page, this, {5, 8, 11}));
  }
  AddProperty("EOF", 0);
}

namespace {

struct BandFlagName {
  const char* name;
  uint16_t bit;
};
constexpr BandFlagName kBandFlags[] = {
    {"FORMNEWPAGE", bfFormNewPage},
    {"PRINTIFSUBSETEMPTY", bfPrintIfSubsetEmpty},
    {"BREAKED", bfBreaked},
    {"ONFIRSTPAGE", bfOnFirstPage},
    {"ONLASTPAGE", bfOnLastPage},
    {"REPEATHEADER", bfRepeatHeader},
    {"PRINTCHILDIFINVISIBLE", bfPrintChildIfInvisible},
};

}  // namespace

void TfrBandView::SetProperty(std::string_view name, const Variant& value) {
  const std::string n = upperCase(name);
  for (const auto& f : kBandFlags)
    if (n == f.name) {
      setFlag(Flags, f.bit, value.toBool());
      return;
    }
  if (n == "CHILDBAND")
    ChildBand = value.toString();
  else if (n == "MASTER")
    Master = value.toString();
  else if (n == "CONDITION")
    FormatStr = value.toString();
  else if (n == "COLUMNS")
    Columns = static_cast<int32_t>(value.toInt());
  else if (n == "COLUMNGAP")
    ColumnGap = static_cast<int32_t>(value.toInt());
  else if (n == "COLUMNWIDTH")
    ColumnWidth = static_cast<int32_t>(value.toInt());
  else if (n == "NEWCOLUMNAFTER")
    NewColumnAfter = static_cast<int32_t>(value.toInt());
  else if (n == "DATASOURCE")
    FormatStr = value.toString();
  else
    TfrView::SetProperty(name, value);
}

Variant TfrBandView::GetProperty(std::string_view name) {
  const std::string n = upperCase(name);
  for (const auto& f : kBandFlags)
    if (n == f.name) return (Flags & f.bit) != 0;
  if (n == "CHILDBAND") return ChildBand;
  if (n == "MASTER") return Master;
  if (n == "CONDITION" || n == "DATASOURCE") return FormatStr;
  if (n == "COLUMNS") return Columns;
  if (n == "COLUMNGAP") return ColumnGap;
  if (n == "COLUMNWIDTH") return ColumnWidth;
  if (n == "NEWCOLUMNAFTER") return NewColumnAfter;
  return TfrView::GetProperty(name);
}

void TfrBandView::Draw(Canvas& canvas) {
  ApplyBandAlign(canvas);
  // Bands are template scaffolding: only a designer shows them, as an outline.
  if (modelState().Mode != DocumentMode::Designing || modelState().DrawingSuppressed) return;
  ApplyScale();
  canvas.setPen({rgb(128, 128, 128), 1, PenStyle::Dot, canvas.pen().mode});
  canvas.setBrushStyle(BrushStyle::Clear);
  canvas.rectangle({Left, Top, Left + Width + 1, Top + Height + 1});
  RestoreGeometry();
}

QRegion TfrBandView::SelectionRegion(bool inflate) {
  // Without a designer there is no title tab; FrameTyp holds the band type,
  // so the frame-based rule does not apply.
  Rect r{Left, Top, Left + Width + 1, Top + Height + 1};
  if (inflate) r = r.inflated(10);
  return QRegion(r.left, r.top, r.width(), r.height());
}

void TfrBandView::LoadRecord(MemoryStream& s) {
  TfrView::LoadRecord(s);
  const uint8_t version = modelState().StreamVersion;
  if (version < 24) return;
  ChildBand = readString(s, 23);
  Columns = s.readI32("band columns");
  ColumnWidth = clampCoordinate(s.readI32("band columns"));
  ColumnGap = clampCoordinate(s.readI32("band columns"));
  NewColumnAfter = s.readI32("band columns");
  if (RecordVersionMajor * 10 + RecordVersionMinor > 20) Master = readString(s, 23);
}

void TfrBandView::SaveRecord(MemoryStream& s) {
  RecordVersionMinor = 1;
  TfrView::SaveRecord(s);
  writeString(s, ChildBand);
  s.writeI32(Columns);
  s.writeI32(ColumnWidth);
  s.writeI32(ColumnGap);
  s.writeI32(NewColumnAfter);
  writeString(s, Master);
}

// ------------------------------------------------------------ sub-report

TfrSubReportView::TfrSubReportView() {
  TypeCode = gtSubReport;
  ClassStem = "SubReport";
}

void TfrSubReportView::Draw(Canvas& c) {
  ApplyBandAlign(c);
  FrameWidth = 1;
  ApplyScale();
  FontSpec f;
  f.face = "Arial";
  f.height = -roundEven(8.0 * c.dpiY() / 72.0);
  f.charset = 1;
  c.setFont(f);
  c.setTextColor(clBlack);
  c.setPen({clBlack, 1, PenStyle::Solid, c.pen().mode});
  c.setBrush({clWhite, BrushStyle::Solid});
  c.rectangle({Left, Top, Left + Width + 1, Top + Height + 1});
  c.setBrushStyle(BrushStyle::Clear);
  c.setBkMode(BkMode::Transparent);
  const Rect clip = DrawRect;
  c.textOut(Left + 2, Top + 2, Name, &clip, etoClipped);
  RestoreGeometry();
}

void TfrSubReportView::LoadRecord(MemoryStream& s) {
  TfrView::LoadRecord(s);
  SubReportPage = s.readI32("sub-report page");
}

void TfrSubReportView::SaveRecord(MemoryStream& s) {
  TfrView::SaveRecord(s);
  s.writeI32(SubReportPage);
}

}  // namespace orv
