#include "model/memo_view.h"

#include <QImage>
#include <algorithm>
#include <climits>
#include <cmath>

#include "model/factory.h"
#include "model/record_writer.h"
#include "model/state.h"
#include "model/text_util.h"

namespace orv {

namespace {

// Sums of hostile sizes and spacings may not fit an int32; they saturate
// rather than wrap around.
int32_t clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// a * b / c rounded half away from zero, as the platform's MulDiv does.
int64_t mulDiv(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return -1;
  int64_t n = a * b;
  const bool negative = (n < 0) != (c < 0);
  n = n < 0 ? -n : n;
  const int64_t d = c < 0 ? -c : c;
  const int64_t q = (n + d / 2) / d;
  return negative ? -q : q;
}

// A canvas that only measures: the layout needs the metrics of the text, and
// whatever is drawn on it (a view measured for the report run, or sent to an
// export filter) is not wanted anywhere.
class MeasuringCanvas : public Canvas {
 public:
  Rect deviceBounds() const override { return {0, 0, 16, 16}; }
  void lineTo(int32_t x, int32_t y) override { moveTo(x, y); }
  void polyline(std::span<const Point>) override {}
  void polygon(std::span<const Point>) override {}
  void rectangle(const Rect&) override {}
  void roundRect(const Rect&, int32_t, int32_t) override {}
  void ellipse(const Rect&) override {}
  void arc(const Rect&, Point, Point) override {}
  void pie(const Rect&, Point, Point) override {}
  void fillRect(const Rect&) override {}
  void textOut(int32_t, int32_t, std::string_view, const Rect*, uint32_t) override {}
  void stretchImage(const Rect&, const QImage&) override {}
};

bool isRotated(int32_t alignment) {
  return (alignment & frtaVertical) != 0;
}

// Sizes of the drawing rectangle without int32 overflow for extreme records.
int64_t rectWidth(const Rect& r) {
  return int64_t(r.right) - r.left;
}
int64_t rectHeight(const Rect& r) {
  return int64_t(r.bottom) - r.top;
}

// Text is clipped one pixel inside on the left, two on the right and one at
// the bottom of the drawing rectangle.
Rect textClip(const Rect& r) {
  return {clamp32(int64_t(r.left) + 1), r.top, clamp32(int64_t(r.right) - 2),
          clamp32(int64_t(r.bottom) - 1)};
}

}  // namespace

// ------------------------------------------------------------ process-wide

Canvas& scratchCanvas() {
  static MeasuringCanvas canvas;
  return canvas;
}

StringList& WrappedLines() {
  static StringList lines;
  return lines;
}

MemoExportSink& memoExportSink() {
  static MemoExportSink sink;
  return sink;
}

std::unique_ptr<TfrView> createMemoView() {
  return std::make_unique<TfrMemoView>();
}

// ------------------------------------------------------------ font

int32_t ViewFont::Height() const {
  return clamp32(-mulDiv(Size, 96, 72));
}

FontSpec ViewFont::Spec(int32_t height) const {
  FontSpec f;
  f.face = Name;
  f.height = height;
  f.weight = (Style & Bold) ? 700 : 400;
  f.italic = (Style & Italic) != 0;
  f.underline = (Style & Underline) != 0;
  f.strikeOut = (Style & StrikeOut) != 0;
  f.charset = Charset;
  return f;
}

// ------------------------------------------------------------ construction

TfrMemoView::TfrMemoView() {
  TypeCode = gtMemo;
  ClassStem = "Memo";
  Flags = flStretched | flWordWrap;
}

std::unique_ptr<TfrView> TfrMemoView::Create() const {
  return std::make_unique<TfrMemoView>();
}

// ------------------------------------------------------------ properties

void TfrMemoView::DeclareProperties() {
  TfrStretcheable::DeclareProperties();
  AddProperty("Font.Name", 0);
  AddProperty("Font.Size", 0);
  AddProperty("Font.Style", 0);
  AddProperty("Font.Color", 0);
  AddProperty("Font", 64, true);
  AddProperty("Alignment", 0);
  AddProperty("DisplayFormat", 64, true);
  AddProperty("Highlight", 64, true);
  AddProperty("LineSpacing", 2);
  AddProperty("CharSpacing", 2);
  AddProperty("GapX", 2);
  AddProperty("GapY", 2);
  for (const char* name :
       {"Stretched", "WordWrap", "WordBreak", "AutoWidth", "TextOnly", "Suppress", "HideZeros"})
    AddProperty(name, 8);
  AddProperty("Lines.Count", 0);
  AddProperty("Underlines", 8);
  AddProperty("RTLReading", 8);
}

namespace {

// The Boolean properties of a text object and the flag bit each one sets.
uint16_t memoFlagBit(const std::string& upperName) {
  if (upperName == "WORDWRAP") return flWordWrap;
  if (upperName == "WORDBREAK") return flWordBreak;
  if (upperName == "AUTOWIDTH") return flAutoWidth;
  if (upperName == "TEXTONLY") return flTextOnly;
  if (upperName == "SUPPRESS") return flSuppress;
  if (upperName == "HIDEZEROS") return flHideZeros;
  if (upperName == "UNDERLINES") return flUnderlines;
  if (upperName == "RTLREADING") return flRTLReading;
  return 0;
}

}  // namespace

void TfrMemoView::SetProperty(std::string_view name, const Variant& value) {
  TfrStretcheable::SetProperty(name, value);
  const std::string n = upperCase(name);
  if (n == "FONT.NAME") {
    Font.Name = value.toString();
  } else if (n == "FONT.SIZE") {
    Font.Size = clamp32(value.toInt());
  } else if (n == "FONT.STYLE") {
    Font.Style = static_cast<uint16_t>(value.toInt());
  } else if (n == "FONT.COLOR") {
    Font.FontColor = static_cast<Color>(value.toInt());
  } else if (n == "ALIGNMENT") {
    Alignment = clamp32(value.toInt());
  } else if (n == "LINESPACING") {
    LineSpacing = clamp32(value.toInt());
  } else if (n == "CHARSPACING") {
    CharSpacing = clamp32(value.toInt());
  } else if (uint16_t bit = memoFlagBit(n)) {
    Flags = value.toBool() ? (Flags | bit) : (Flags & ~bit);
  }
}

Variant TfrMemoView::GetProperty(std::string_view name) {
  Variant v = TfrStretcheable::GetProperty(name);
  if (!v.isEmpty()) return v;
  const std::string n = upperCase(name);
  if (n == "FONT.NAME") return Font.Name;
  if (n == "FONT.SIZE") return Font.Size;
  if (n == "FONT.STYLE") return static_cast<int>(Font.Style);
  if (n == "FONT.COLOR") return static_cast<int>(static_cast<int32_t>(Font.FontColor));
  if (n == "ALIGNMENT") return Alignment;
  if (n == "LINESPACING") return LineSpacing;
  if (n == "CHARSPACING") return CharSpacing;
  if (n == "LINES.COUNT") return static_cast<int>(Memo.size());
  if (uint16_t bit = memoFlagBit(n)) return (Flags & bit) != 0;
  return {};
}

Variant TfrMemoView::CallMethod(std::string_view name, const Variant& arg1, const Variant& arg2,
                                const Variant& arg3) {
  // "Lines" is another name for the text: its list methods are Memo's.
  if (name.starts_with("LINES.")) {
    const std::string memoName = "MEMO" + std::string(name.substr(5));
    return TfrStretcheable::CallMethod(memoName, arg1, arg2, arg3);
  }
  if ((name == "SETINDEXPROPERTY" || name == "GETINDEXPROPERTY") &&
      upperCase(arg1.toString()) == "LINES")
    return TfrStretcheable::CallMethod(name, Variant("MEMO"), arg2, arg3);
  return TfrStretcheable::CallMethod(name, arg1, arg2, arg3);
}

// ------------------------------------------------------------ record

void TfrMemoView::LoadRecord(MemoryStream& s) {
  TfrStretcheable::LoadRecord(s);
  const uint8_t version = modelState().StreamVersion;
  Font.Name = readString(s, version);
  Font.Size = s.readI32("font size");
  Font.Style = s.readU16("font style");
  Font.FontColor = s.readU32("font colour");
  Alignment = s.readI32("alignment");
  const uint16_t charset = s.readU16("character set");
  // Older streams stored a value that meant nothing; they always used the
  // default set.
  Font.Charset = version < 23 ? ViewFont::DefaultCharset : static_cast<uint8_t>(charset & 0xFF);
  if (!PreparedForm) {
    HighlightStyle = s.readU16("highlight style");
    HighlightFontColor = s.readU32("highlight colour");
    HighlightFillColor = s.readU32("highlight fill");
    HighlightCondition = readString(s, version);
  }
  if (version >= 24) {
    LineSpacing = s.readI32("line spacing");
    CharSpacing = s.readI32("character spacing");
  }
  // Version 21 had no word-wrap flag and always wrapped.
  if (version == 21) Flags |= flWordWrap;
}

void TfrMemoView::WriteFields(RecordWriter& w) {
  TfrStretcheable::WriteFields(w);
  w.string(Font.Name);
  // The character set is a byte that the record keeps in a word.
  w.fields(Font.Size, Font.Style, Font.FontColor, Alignment, uint16_t(Font.Charset));
  if (!PreparedForm) {
    w.fields(HighlightStyle, HighlightFontColor, HighlightFillColor);
    w.string(HighlightCondition);
  }
  w.fields(LineSpacing, CharSpacing);
}

// ------------------------------------------------------------ text

void TfrMemoView::ExpandText() {
  ViewRunHooks* hooks = modelState().RunHooks;
  const bool expand = hooks && !(Flags & flTextOnly);
  // The first line's buffer takes the new text: an object mostly prints one
  // line of about the same length on every record.
  std::string line;
  if (!ExpandedText.empty()) line = std::move(ExpandedText.front());
  ExpandedText.clear();
  auto add = [&](const std::string& source) {
    if (source.empty()) {
      ExpandedText.emplace_back();
      return;
    }
    line.clear();
    if (expand)
      hooks->AppendExpanded(*this, source, line);
    else
      line = source;
    // A value may hold line breaks of its own; they become separate lines,
    // and a value that came out empty leaves no line.
    if (line.find('\r') == std::string::npos && line.find('\n') == std::string::npos) {
      if (!line.empty()) ExpandedText.push_back(std::move(line));
    } else {
      for (std::string& l : textToLines(line)) ExpandedText.push_back(std::move(l));
    }
  };
  // A hook may run a script that edits Memo: the lines are read as they were
  // when the expansion began. The hooks read a single line before any
  // expression in it runs.
  if (Memo.size() == 1) return add(Memo.front());
  const StringList lines = Memo;
  for (const std::string& l : lines) add(l);
}

// ------------------------------------------------------------ drawing

void TfrMemoView::AssignFont(Canvas& canvas) {
  canvas.setBkMode(BkMode::Transparent);
  int32_t height;
  if (OnPrinterCanvas) {
    // The printer's canvas keeps the point size at its own resolution, of
    // the page as printed when it is fitted onto another paper.
    if (canvas.printScale == 1.0)
      height = clamp32(-mulDiv(Font.Size, canvas.dpiY(), 72));
    else
      height = clamp32(-roundEven(Font.Size * double(canvas.dpiY()) / 72.0 * canvas.printScale));
  } else {
    const double pixels = Font.Size * 96.0 / 72.0 * ZoomY;
    height = ZoomY == 1.0 ? roundEven(-pixels) : truncInt(-pixels);
  }
  canvas.setFont(Font.Spec(height));
  canvas.setTextColor(Font.FontColor);
}

void TfrMemoView::Draw(Canvas& canvas) {
  const bool running = modelState().Mode == DocumentMode::Running;
  const bool autoWidth = (Flags & flAutoWidth) && running;
  TargetCanvas = &canvas;
  if (autoWidth && !Memo.empty()) {
    const int32_t w = CalcWidth(Memo);
    if (isRotated(Alignment)) {
      Height = clampCoordinate(w);
    } else {
      // Right-aligned and justified text keeps its right edge.
      if (Alignment & 1) Left = clampCoordinate(int64_t(Left) + Width - w);
      Width = clampCoordinate(w);
    }
  }
  ApplyBandAlign(canvas);
  ClipToRect = false;

  ExpandedText = Memo;
  if (!ExpandedText.empty()) {
    PreWrapped = std::any_of(ExpandedText.begin(), ExpandedText.end(), [](const std::string& l) {
      return l.find(kParagraphEnd) != std::string::npos;
    });
    if (ExpandedText.back() == std::string(1, kParagraphEnd)) ExpandedText.pop_back();
    // Lines are always broken at design resolution, so that they break the
    // same way at every zoom and on every device.
    const double zoomX = ZoomX, zoomY = ZoomY;
    ZoomX = ZoomY = 1.0;
    ApplyScale();
    if (autoWidth) Width = clamp32(int64_t(Width) + 100);
    WrapMemo();
    ZoomX = zoomX;
    ZoomY = zoomY;
    RestoreGeometry();
    ExpandedText = WrappedLines();
  }

  ApplyScale();
  if (!ExportMode) {
    PaintBackground();
    PaintFrame();
    DrawUnderlines();
  }
  if (!ExpandedText.empty()) ShowMemo();
  canvas.setTextCharacterExtra(0);
  RestoreGeometry();
}

void TfrMemoView::ExportToFilter() {
  TfrStretcheable::ExportToFilter();
  ExportMode = true;
  try {
    Draw(scratchCanvas());
  } catch (...) {
    ExportMode = false;
    throw;
  }
  ExportMode = false;
}

void TfrMemoView::ShowMemo() {
  if (!TargetCanvas) return;
  Canvas& c = *TargetCanvas;
  AssignFont(c);
  c.setTextCharacterExtra(roundEven(CharSpacing * ZoomX));
  TextBlockHeight = roundEven(TextBlockHeight * ZoomY);

  const int32_t savedX = Left, savedY = Top, savedAlignment = Alignment;
  const int32_t vertical = Alignment & (frtaMiddle | frtaDown);
  if (vertical) {
    Alignment &= 7;
    if (isRotated(Alignment)) {
      if (vertical == frtaMiddle)
        Left = clamp32(Left + (rectWidth(DrawRect) - TextBlockHeight) / 2);
      else if (vertical == frtaDown)
        Left = clamp32(int64_t(DrawRect.right) - TextBlockHeight);
    } else if (!ClipToRect) {
      // While emitting, the block is cut at the bottom, not placed.
      if (vertical == frtaMiddle)
        Top = clamp32(Top + (rectHeight(DrawRect) - TextBlockHeight) / 2);
      else if (vertical == frtaDown)
        Top = clamp32(int64_t(DrawRect.bottom) - TextBlockHeight - 1);
    }
  }
  if (isRotated(Alignment))
    ShowRotatedLines();
  else
    ShowHorizontalLines();
  Left = savedX;
  Top = savedY;
  Alignment = savedAlignment;
}

namespace {

// Splits off the paragraph-end marker: true when the line ends a paragraph.
bool takeParagraphEnd(std::string& s) {
  if (s.empty()) return true;
  if (s.back() != kParagraphEnd) return false;
  s.pop_back();
  return true;
}

// Justification stretches the characters the font breaks lines at: spaces.
int32_t countBreaks(std::string_view s) {
  return static_cast<int32_t>(std::count(s.begin(), s.end(), ' '));
}

}  // namespace

void TfrMemoView::ShowHorizontalLines() {
  Canvas& c = *TargetCanvas;
  const Rect clip = textClip(DrawRect);
  const uint32_t flags = etoClipped | ((Flags & flRTLReading) ? uint32_t(etoRtlReading) : 0u);
  const int64_t step = int64_t(roundEven(LineSpacing * ZoomY)) - c.font().height;
  const int64_t inner = rectWidth(DrawRect) - 2 * int64_t(GapX);
  int64_t p = int64_t(Top) + GapY;
  LinesShown = 0;
  const size_t count = ExpandedText.size();
  for (size_t i = 0; i < count; ++i) {
    if (ClipToRect && DrawRect.bottom < p + step) break;
    std::string s = ExpandedText[i];
    const bool paragraphEnd = takeParagraphEnd(s);
    const int64_t w = c.textWidth(s);
    int64_t x = Left;
    bool justified = false;
    switch (Alignment & 3) {
      case frtaLeft:
        x = int64_t(Left) + GapX;
        break;
      case frtaRight:
        x = int64_t(Left) + rectWidth(DrawRect) - GapX - w - 1;
        break;
      case frtaCenter:
        x = int64_t(Left) + GapX + (inner - w) / 2;
        break;
      case frtaJustify: {
        x = int64_t(Left) + GapX;
        const int32_t breaks = countBreaks(s);
        if (!ExportMode && breaks > 0 && !paragraphEnd) {
          c.setTextJustification(clamp32(inner - w), breaks);
          justified = true;
        }
        break;
      }
    }
    if (!ExportMode) {
      c.textOut(clamp32(x), clamp32(p), s, &clip, flags);
      if (justified) c.setTextJustification(0, 0);
    } else if (const MemoExportSink& sink = memoExportSink()) {
      uint16_t edges = FrameTyp;
      if (count > 1) {
        if (i == 0)
          edges &= ~frftBottom;
        else if (i + 1 == count)
          edges &= ~frftTop;
        else
          edges &= ~(frftTop | frftBottom);
      }
      sink({this, DrawRect, clamp32(x), clamp32(p), s, edges});
    }
    ++LinesShown;
    p += step;
  }
}

void TfrMemoView::ShowRotatedLines() {
  Canvas& c = *TargetCanvas;
  const Rect clip = textClip(DrawRect);
  const uint32_t flags = etoClipped | ((Flags & flRTLReading) ? uint32_t(etoRtlReading) : 0u);
  const FontSpec upright = c.font();
  FontSpec rotated = upright;
  rotated.escapement = rotated.orientation = 900;
  c.setFont(rotated);
  const int64_t step = int64_t(roundEven(LineSpacing * ZoomX)) - rotated.height;
  const int64_t inner = rectHeight(DrawRect) - 2 * int64_t(GapY);
  int64_t p = int64_t(Left) + GapX;
  LinesShown = 0;
  for (const std::string& line : ExpandedText) {
    std::string s = line;
    const bool paragraphEnd = takeParagraphEnd(s);
    const int64_t w = c.textWidth(s);
    int64_t y = DrawRect.bottom;
    bool justified = false;
    switch (Alignment & 7) {
      case frtaVertical | frtaLeft:  // from the bottom
        y = int64_t(DrawRect.bottom) - GapY;
        break;
      case frtaVertical | frtaRight:  // from the top
        y = int64_t(Top) + GapY + w;
        break;
      case frtaVertical | frtaCenter:
        y = int64_t(DrawRect.bottom) - GapY - (inner - w) / 2 - 1;
        break;
      case frtaVertical | frtaJustify: {
        y = int64_t(Top) + rectHeight(DrawRect) - GapY;
        const int32_t breaks = countBreaks(s);
        if (!ExportMode && breaks > 0 && !paragraphEnd) {
          c.setTextJustification(clamp32(inner - w), breaks);
          justified = true;
        }
        break;
      }
    }
    if (!ExportMode) {
      c.textOut(clamp32(p), clamp32(y), s, &clip, flags);
      if (justified) c.setTextJustification(0, 0);
    } else if (const MemoExportSink& sink = memoExportSink()) {
      sink({this, DrawRect, clamp32(p), clamp32(y), s, 0});
    }
    ++LinesShown;
    p += step;
  }
  c.setFont(upright);
}

void TfrMemoView::DrawUnderlines() {
  if (!(Flags & flUnderlines) || !TargetCanvas) return;
  Canvas& c = *TargetCanvas;
  AssignFont(c);
  c.setPen({FrameColor, roundEven(FrameWidth), PenStyle::Solid, c.pen().mode});
  const int64_t fontHeight = c.font().height;
  const int64_t h = int64_t(roundEven(LineSpacing * ZoomY)) - fontHeight;
  // A line step of zero or less (a negative spacing from a damaged record)
  // has no rows to rule.
  if (h <= 0) return;
  const int64_t rows = Height / h;
  const int64_t first = int64_t(Top) + GapY + roundEven(2 * ZoomY) - fontHeight;
  const Rect bounds = c.deviceBounds();
  const int32_t right = clamp32(int64_t(Left) + Width - 1);
  // Rows above or below the surface cannot be seen; a damaged geometry must
  // not make us walk or draw billions of them.
  int64_t i = 0;
  if (!bounds.isEmpty() && first < bounds.top) i = (int64_t(bounds.top) - first) / h;
  for (; i < rows; ++i) {
    const int64_t yi = first + h * i;
    if (!bounds.isEmpty() && yi >= bounds.bottom) break;
    c.moveTo(Left, clamp32(yi));
    c.lineTo(right, clamp32(yi));
  }
}

int32_t TfrMemoView::CalcWidth(const StringList& lines) {
  std::string text;
  for (const std::string& l : lines) {
    for (char ch : l)
      if (ch != kParagraphEnd) text += ch;
    text += "\r\n";
  }
  if (text.size() > 2) text.resize(text.size() - 2);
  Canvas& c = TargetCanvas ? *TargetCanvas : scratchCanvas();
  AssignFont(c);
  c.setTextCharacterExtra(roundEven(CharSpacing * ZoomX));
  Rect r{0, 0, Width, Height};
  c.drawText(text, r, dtCalcRect | dtNoPrefix);
  const double zoomX = ZoomX > 0 ? ZoomX : 1.0;
  return roundEven(r.width() / zoomX + double(FrameWidth) + 2.0 * GapX + 1);
}

// ------------------------------------------------------------ heights

TfrMemoView::Appearance TfrMemoView::ApplyHighlight() {
  Appearance kept{Font, FillColor};
  ViewRunHooks* hooks = modelState().RunHooks;
  if (hooks && !HighlightCondition.empty() && hooks->EvaluateCondition(*this, HighlightCondition)) {
    Font.Style = HighlightStyle;
    Font.FontColor = HighlightFontColor;
    FillColor = HighlightFillColor;
  }
  return kept;
}

void TfrMemoView::EmitToPage(MemoryStream& stream) {
  ApplyBandAlign(scratchCanvas());
  ClipToRect = true;
  ViewRunHooks* hooks = modelState().RunHooks;
  if (StretchPass == 0 && hooks) hooks->RunScript(*this);
  bool expand = StretchPass != 1;
  if (StretchPass == 0 && hooks && hooks->HasBeforePrintHandler()) {
    ExpandedText = Memo;
    const StringList before = ExpandedText;
    hooks->BeforePrint(*this);
    expand = ExpandedText == before;
  }
  if (StretchPass != 2 && expand) ExpandText();
  // Only a highlight condition or an expression in the tag runs code between
  // here and the record that could change the font, fill or tag; without
  // either there is nothing to keep and put back, and a text object is
  // written by the hundred thousand.
  if (Visible && StretchPass != 2 &&
      (!hooks || (HighlightCondition.empty() && Tag.find('[') == std::string::npos))) {
    const uint8_t keptAlign = BandAlign;
    try {
      if (hooks) hooks->AlignToBand(*this);
      writeUnlessSuppressed(stream);
    } catch (...) {
      BandAlign = keptAlign;
      StretchPass = 0;
      throw;
    }
    BandAlign = keptAlign;
  } else if (Visible) {
    const Appearance kept = ApplyHighlight();
    if (StretchPass == 2) {
      ApplyScale();
      TargetCanvas = &scratchCanvas();
      ShowMemo();
      WrappedLines() = ExpandedText;
      if (int32_t(ExpandedText.size()) > LinesShown) ExpandedText.resize(size_t(LinesShown));
      const bool hasEnd = std::any_of(ExpandedText.begin(), ExpandedText.end(), [](const auto& l) {
        return l.find(kParagraphEnd) != std::string::npos;
      });
      if (!hasEnd) ExpandedText.emplace_back(1, kParagraphEnd);
      RestoreGeometry();
    }
    const std::string keptTag = Tag;
    const uint8_t keptAlign = BandAlign;
    const int32_t keptFormat = Format;
    Format = 0;
    try {
      if (hooks && Tag.find('[') != std::string::npos) hooks->ExpandExpressions(*this, Tag);
      Format = keptFormat;
      if (hooks) hooks->AlignToBand(*this);
      writeUnlessSuppressed(stream);
    } catch (...) {
      Format = keptFormat;
      Tag = keptTag;
      BandAlign = keptAlign;
      Font = kept.font;
      FillColor = kept.fill;
      StretchPass = 0;
      throw;
    }
    if (StretchPass == 2) {
      const StringList& all = WrappedLines();
      const size_t shown = std::min(all.size(), size_t(std::max(0, LinesShown)));
      ExpandedText.assign(all.begin() + shown, all.end());
    }
    Font = kept.font;
    FillColor = kept.fill;
    Tag = keptTag;
    BandAlign = keptAlign;
  }
  StretchPass = 0;
}

void TfrMemoView::writeUnlessSuppressed(MemoryStream& stream) {
  if (!(Flags & flSuppress)) {
    WriteObject(stream);
  } else if (std::string text = joinLines(ExpandedText); text != LastValue) {
    WriteObject(stream);
    LastValue = std::move(text);
  }
}

int32_t TfrMemoView::CalcHeight() {
  StretchPass = 1;
  ApplyBandAlign(scratchCanvas());
  ViewRunHooks* hooks = modelState().RunHooks;
  if (hooks) hooks->RunScript(*this);
  int32_t result = 0;
  if (Visible) {
    ExpandedText = Memo;
    if (hooks) hooks->BeforePrint(*this);
    // A handler that rewrote the text has given the final lines already.
    if (ExpandedText == Memo) ExpandText();
    const Appearance kept = ApplyHighlight();
    ApplyScale();
    if (!ExpandedText.empty()) {
      WrapMemo();
      ExpandedText = WrappedLines();
      const std::string text = joinLines(ExpandedText);
      const bool suppressed = (Flags & flSuppress) && text == LastValue;
      result = suppressed ? 0 : TextBlockHeight;
      if ((Flags & flSuppress) && hooks && hooks->SuppressRemembersValue()) LastValue = text;
    }
    RestoreGeometry();
    Font = kept.font;
    FillColor = kept.fill;
  }
  return result;
}

int32_t TfrMemoView::RemainingHeight() {
  // The lines still to print are wrapped already; laying them out again gives
  // their height.
  StringList rest = ExpandedText;
  while (!rest.empty() && rest.back() == std::string(1, kParagraphEnd)) rest.pop_back();
  if (rest.empty()) return 0;
  const StringList kept = ExpandedText;
  ExpandedText = rest;
  ApplyBandAlign(scratchCanvas());
  ApplyScale();
  WrapMemo();
  const int32_t h = TextBlockHeight;
  RestoreGeometry();
  ExpandedText = kept;
  return std::max<int32_t>(h, 1);
}

int32_t TfrMemoView::MinLineHeight() {
  const int64_t fontHeight = Font.Height();
  LineStep = clamp32(int64_t(LineSpacing) - fontHeight);
  return clamp32(int64_t(roundEven(2.0 * FrameWidth)) + LineSpacing + 2 * int64_t(GapY) -
                 fontHeight);
}

int32_t TfrMemoView::UnusedHeight() {
  const int64_t fontHeight = Font.Height();
  LineStep = clamp32(int64_t(LineSpacing) - fontHeight);
  const int64_t frame = roundEven(2.0 * FrameWidth);
  const int64_t room = int64_t(Height) - frame - 2 * int64_t(GapY);
  // With no line step (a damaged spacing) no line uses any room.
  const int64_t rest = LineStep != 0 ? room % LineStep : 0;
  return clamp32(2 * int64_t(GapY) + rest + frame);
}

}  // namespace orv
