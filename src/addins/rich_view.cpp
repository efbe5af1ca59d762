#include "addins/rich_view.h"

#include <algorithm>
#include <cstdlib>

#include "addins/addins.h"
#include "model/state.h"
#include "model/text_util.h"
#include "platform/canvas.h"
#include "platform/codepage.h"
#include "platform/rtf_layout.h"
#include "platform/strings.h"

namespace orv {

namespace {

// Layout happens at the screen's resolution, so that a text breaks the same
// way in the run that measured it, on screen and on paper.
constexpr int32_t kScreenDpi = 96;
constexpr int32_t kTwipsPerPixel = 1440 / kScreenDpi;
constexpr int32_t kMaxHeightPixels = 1000000;
// A restarting substitution that has replaced this many expressions is
// looping on values that hold expressions themselves.
constexpr int kMaxRestarts = 10000;
// The string holding the character set number values are reported in.
constexpr int kValueCharsetString = 55337;
// The code page of the model's own 8-bit texts.
constexpr int kSystemCodePage = 1252;

int32_t twips(int64_t pixels1440) {
  return roundEven(double(pixels1440) / kScreenDpi);
}

uint8_t valueCharset() {
  const std::string s = loadString8(kValueCharsetString);
  const long v = s.empty() ? 1 : std::strtol(s.c_str(), nullptr, 10);
  return uint8_t(std::clamp<long>(v, 0, 255));
}

}  // namespace

void substituteExpressions(rtf::Document& doc, const ExpressionValueText& value,
                           RichSubstitution rule, uint8_t charset) {
  const bool restart = rule == RichSubstitution::RestartFromBeginning;
  const int valuePage = restart ? kSystemCodePage : codePageForCharset(charset);
  // Searching again from the start finds nothing before the value just put
  // in (the text before it holds no bracket), so searching the value again
  // is the same and costs no second pass over the text.
  doc.replaceFields(
      [&](std::u16string_view inner) {
        const std::string text =
            value(encodeText(QStringView(inner.data(), qsizetype(inner.size())), kSystemCodePage));
        return decodeBytes(text, valuePage).toStdU16String();
      },
      restart, restart ? std::nullopt : std::optional<uint8_t>(charset), kMaxRestarts);
}

// ------------------------------------------------------------ TfrRichView

TfrRichView::TfrRichView() {
  TypeCode = gtAddIn;
  ClassStem = "Rich";
}

rtf::Document& TfrRichView::Scratch() const {
  static rtf::Document scratch;
  return scratch;
}

void TfrRichView::DeclareProperties() {
  TfrView::DeclareProperties();
  AddProperty("GapX", 2);
  AddProperty("GapY", 2);
  AddProperty("Lines", 64, true);
  AddProperty("Stretched", 8);
  AddProperty("TextOnly", 8);
  AddProperty("DataField", 0);
}

void TfrRichView::SetProperty(std::string_view name, const Variant& value) {
  const std::string n = upperCase(name);
  if (n == "TEXTONLY") {
    Flags = value.toBool() ? (Flags | flRichTextOnly) : (Flags & ~flRichTextOnly);
  } else if (n == "LINES") {
    // A script gives plain text: it takes the default face and size.
    const QString text = decodeBytes(value.toString(), kSystemCodePage);
    RichContent = rtf::fromPlainText(text.toStdU16String(), {"Arial", 0}, 20);
  } else {
    TfrView::SetProperty(name, value);
  }
}

Variant TfrRichView::GetProperty(std::string_view name) {
  const std::string n = upperCase(name);
  if (n == "TEXTONLY") return (Flags & flRichTextOnly) != 0;
  if (n == "LINES") {
    std::u16string text = RichContent.plainText();
    QString lines = QString::fromStdU16String(text);
    lines.replace(u'\n', QStringLiteral("\r\n"));
    return encodeText(lines, kSystemCodePage);
  }
  return TfrView::GetProperty(name);
}

void TfrRichView::LoadBlob(const BlobField& field) {
  RichContent = field.isNull ? rtf::Document{} : rtf::read(field.bytes);
}

void TfrRichView::SubstituteScratch(const ExpressionValueText& value) {
  if (Flags & flRichTextOnly) return;
  substituteExpressions(Scratch(), value, SubstitutionRule(), valueCharset());
}

int32_t TfrRichView::AreaWidthTwips() const {
  return twips(int64_t(Width) * 1440 - int64_t(GapX) * 2880);
}

int32_t TfrRichView::FormatRange(bool render, Canvas* canvas) {
  if (!render) {
    const Rect area{0, 0, AreaWidthTwips(), twips(int64_t(Height) * 1440 - int64_t(GapY) * 2880)};
    NextChar = rtf::formatRange(Scratch(), StartChar, area).nextChar;
    return NextChar;
  }
  // Drawing maps the text laid out at the view's own size onto DrawRect,
  // whatever the zoom, as a metafile of that size stretched into it would.
  const SavedGeometryBlock& s = SavedGeometry;
  const Rect area{0, 0, twips(int64_t(s.dx) * 1440 - int64_t(s.gapX) * 2880),
                  twips(int64_t(s.dy) * 1440 - int64_t(s.gapY) * 2880)};
  NextChar = rtf::formatRange(RichContent, StartChar, area, canvas, DrawRect).nextChar;
  return NextChar;
}

int32_t TfrRichView::NeededHeight() {
  const rtf::Document& doc = Scratch();
  const int32_t length = doc.length();
  const int32_t width = AreaWidthTwips();
  // Only a layout that placed everything fits; one that placed nothing (the
  // result is where it started) needs more room, not less.
  auto fits = [&](int32_t pixels) {
    const Rect area{0, 0, width, twips(int64_t(pixels) * 1440)};
    return rtf::formatRange(doc, StartChar, area).nextChar >= length;
  };
  int32_t lo = 0, hi = kMaxHeightPixels;
  // More room never places fewer lines, so one layout into the tallest area
  // tells where the answer lies and the search only confirms it.
  const int32_t bottom =
      rtf::formatRange(doc, StartChar, {0, 0, width, twips(int64_t(hi) * 1440)}).bottom;
  const int32_t guess =
      int32_t(std::min<int64_t>((int64_t(bottom) + kTwipsPerPixel - 1) / kTwipsPerPixel, hi));
  if (guess + 1 < hi && fits(guess + 1)) hi = guess + 1;
  if (guess - 2 > lo && !fits(guess - 2)) lo = guess - 2;
  while (hi - lo > 1) {
    const int32_t mid = lo + (hi - lo) / 2;
    if (fits(mid)) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  if (hi < 2) hi = 8;
  return 2 * GapY + hi;
}

void TfrRichView::Draw(Canvas& canvas) {
  ApplyBandAlign(canvas);
  ApplyScale();
  try {
    PaintBackground();
    DrawRect.left += GapX;
    DrawRect.right -= GapX;
    DrawRect.top += GapY;
    DrawRect.bottom -= GapY;
    StartChar = 0;
    if (Width > 0 && Height > 0 && !modelState().DrawingSuppressed) FormatRange(true, &canvas);
    PaintFrame();
  } catch (...) {
    RestoreGeometry();
    throw;
  }
  RestoreGeometry();
}

ExpressionValueText TfrRichView::RunValueText() {
  return [this](std::string_view expression) {
    std::string text(1, '[');
    text.append(expression);
    text.push_back(']');
    if (ViewRunHooks* hooks = modelState().RunHooks) hooks->ExpandExpressions(*this, text);
    return text;
  };
}

int32_t TfrRichView::CalcHeight() {
  NextChar = 0;
  PrintedUpTo = 0;
  ViewRunHooks* hooks = modelState().RunHooks;
  if (hooks) hooks->RunScript(*this);
  if (!Visible) return 0;
  ExpandedText = Memo;
  if (hooks) hooks->BeforePrint(*this);
  CopyToScratch();
  SubstituteScratch(RunValueText());
  StartChar = 0;
  return NeededHeight();
}

int32_t TfrRichView::UnusedHeight() {
  CopyToScratch();
  SubstituteScratch(RunValueText());
  const int32_t keptNext = NextChar, keptPrinted = PrintedUpTo;
  StartChar = 0;
  rtf::Document& doc = Scratch();
  doc = doc.slice(NextChar, doc.length());
  FormatRange(false);
  if (NextChar <= doc.length()) doc = doc.slice(0, NextChar);
  const int32_t h = std::max(NeededHeight(), Height);
  NextChar = keptNext;
  PrintedUpTo = keptPrinted;
  return std::abs(Height - h) + 2 * GapY + roundEven(2 * double(FrameWidth));
}

int32_t TfrRichView::RemainingHeight() {
  CopyToScratch();
  SubstituteScratch(RunValueText());
  if (PrintedUpTo >= Scratch().length()) return 0;
  const int32_t kept = StartChar;
  StartChar = PrintedUpTo;
  const int32_t h = NeededHeight();
  StartChar = kept;
  return h;
}

void TfrRichView::EmitToPage(MemoryStream& stream) {
  try {
    emitAddInView(
        *this, stream,
        [this](TfrView&) {
          CopyToScratch();
          SubstituteScratch(RunValueText());
          if (StretchPass == 2) {
            // The part that fits on this page: from where the last page
            // stopped to the first character that does not fit here.
            rtf::Document& doc = Scratch();
            StartChar = NextChar;
            FormatRange(false);
            doc = doc.slice(PrintedUpTo, std::min(NextChar, doc.length()));
            PrintedUpTo = NextChar;
          }
          WritingPrepared = true;
        },
        false);
  } catch (...) {
    WritingPrepared = false;
    StretchPass = 0;
    throw;
  }
  WritingPrepared = false;
  StretchPass = 0;
}

void TfrRichView::LoadRecord(MemoryStream& s) {
  TfrView::LoadRecord(s);
  const uint8_t hasContent = s.readU8("rich text flag");
  const int64_t end = s.readI32("rich text end position");
  // The end must lie ahead inside the stream: a position behind would make
  // a reader go over the same objects again.
  if (end < int64_t(s.position()) || end > int64_t(s.size()))
    throw StreamError("rich text end position " + std::to_string(end) + " out of range at offset " +
                      std::to_string(s.position()));
  if (hasContent == 1) {
    RichContent = rtf::read(s.readSpan(size_t(end) - s.position(), "rich text"));
  } else {
    RichContent = {};
  }
  s.seek(size_t(end));
}

void TfrRichView::SaveRecord(MemoryStream& s) {
  TfrView::SaveRecord(s);
  const rtf::Document& doc = WritingPrepared ? Scratch() : RichContent;
  const bool hasContent = !doc.paragraphs.empty();
  s.writeU8(hasContent ? 1 : 0);
  const size_t placeholder = s.position();
  s.writeI32(0);
  if (hasContent) {
    const std::string rtf = rtf::write(doc);
    s.write(rtf.data(), rtf.size());
  }
  const size_t end = s.position();
  s.seek(placeholder);
  s.writeI32(int32_t(end));
  s.seek(s.size());
}

// ------------------------------------------------------------ TfrRxRichView

TfrRxRichView::TfrRxRichView() {
  ClassStem = "RxRich";
}

rtf::Document& TfrRxRichView::Scratch() const {
  static rtf::Document scratch;
  return scratch;
}

void TfrRxRichView::DeclareProperties() {
  TfrView::DeclareProperties();
  AddProperty("Lines", 64, true);
  AddProperty("Stretched", 8);
  AddProperty("TextOnly", 8);
  AddProperty("GapX", 2);
  AddProperty("GapY", 2);
  AddProperty("DataField", 0);
}

int32_t TfrRxRichView::NeededHeight() {
  const rtf::Document& doc = Scratch();
  const Rect area{0, 0, AreaWidthTwips(), twips(int64_t(1440) * 1000000)};
  const rtf::FormatResult r = rtf::formatRange(doc, StartChar, area);
  if (doc.empty() || r.bottom >= area.bottom) return 0;
  return roundEven(r.bottom / (1440.0 / kScreenDpi)) + 2 * GapY;
}

}  // namespace orv
