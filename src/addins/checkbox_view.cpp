#include "addins/checkbox_view.h"

#include <algorithm>
#include <cmath>

#include "addins/addins.h"
#include "model/state.h"
#include "model/text_util.h"
#include "platform/canvas.h"

namespace orv {

namespace {

// The marks of the symbol font.
constexpr char kCheckMark = '\xFC';
constexpr char kCrossMark = '\xFB';

bool firstLineTrue(const StringList& lines) {
  return !lines.empty() && !lines.front().empty() && lines.front().front() != '0';
}

}  // namespace

TfrCheckBoxView::TfrCheckBoxView() {
  TypeCode = gtAddIn;
  FrameWidth = 2.0f;
  FrameTyp = frftRight | frftBottom | frftLeft | frftTop;
  ClassStem = "Check";
}

void TfrCheckBoxView::DeclareProperties() {
  TfrView::DeclareProperties();
  AddEnumProperty("CheckStyle", 32, "csCross;csCheck");
  AddProperty("CheckColor", 16);
  AddProperty("DataField", 0);
}

void TfrCheckBoxView::SetProperty(std::string_view name, const Variant& value) {
  const std::string n = upperCase(name);
  if (n == "CHECKSTYLE") {
    CheckStyle = static_cast<uint8_t>(value.toInt());
  } else if (n == "CHECKCOLOR") {
    CheckColor = static_cast<Color>(value.toInt());
  } else {
    TfrView::SetProperty(name, value);
  }
}

Variant TfrCheckBoxView::GetProperty(std::string_view name) {
  const std::string n = upperCase(name);
  if (n == "CHECKSTYLE") return static_cast<int>(CheckStyle);
  if (n == "CHECKCOLOR") return static_cast<int>(static_cast<int32_t>(CheckColor));
  return TfrView::GetProperty(name);
}

bool TfrCheckBoxView::IsChecked() const {
  return modelState().Mode == DocumentMode::Designing || firstLineTrue(ExpandedText);
}

std::string TfrCheckBoxView::ExportText() const {
  return firstLineTrue(Memo) ? "X" : "";
}

void TfrCheckBoxView::Draw(Canvas& canvas) {
  ApplyBandAlign(canvas);
  ExpandedText = Memo;
  ApplyScale();
  PaintBackground();
  // A box without room inside its frame has nowhere to put the mark.
  if (IsChecked() && !modelState().DrawingSuppressed && !DrawRect.isEmpty()) {
    FontSpec f;
    f.face = "Wingdings";
    f.height = -DrawRect.height();  // a character height
    f.weight = 400;
    f.charset = 1;
    canvas.setFont(f);
    canvas.setTextColor(CheckColor);
    // The background is painted already; the mark goes over it.
    canvas.setBkMode(BkMode::Transparent);
    const std::string mark(1, CheckStyle == csCheck ? kCheckMark : kCrossMark);
    const int32_t w = canvas.textWidth(mark);
    const Rect clip = DrawRect;
    canvas.textOut(DrawRect.left + (DrawRect.width() - w) / 2, DrawRect.top, mark, &clip,
                   etoClipped);
  }
  PaintFrame();
  RestoreGeometry();
}

void TfrCheckBoxView::EmitToPage(MemoryStream& stream) {
  emitAddInView(
      *this, stream,
      [](TfrView& v) {
        if (v.ExpandedText.empty()) return;
        Variant result;
        if (!evaluateAddInExpression(v, v.ExpandedText.front(), result))
          throw Error("no expression evaluator for the check box " + v.Name);
        // A condition that holds is stored as 1 (not the -1 a Boolean
        // converts to), so the page reads like the comparison it came from.
        const double value = result.kind() == Variant::Kind::Bool ? (result.toBool() ? 1.0 : 0.0)
                                                                  : result.toDouble();
        if (!std::isfinite(value)) throw Error("check box value is not a number: " + v.Name);
        // Truncated, as the value is stored as an integer.
        v.ExpandedText.front() =
            std::to_string(static_cast<int64_t>(std::clamp(std::trunc(value), -9.2e18, 9.2e18)));
      },
      false);
}

void TfrCheckBoxView::LoadRecord(MemoryStream& s) {
  TfrView::LoadRecord(s);
  // Streams up to version 23 had neither field.
  if (modelState().StreamVersion > 23) {
    CheckStyle = s.readU8("check style");
    CheckColor = s.readU32("check colour");
  }
}

void TfrCheckBoxView::SaveRecord(MemoryStream& s) {
  TfrView::SaveRecord(s);
  s.writeU8(CheckStyle);
  s.writeU32(CheckColor);
}

}  // namespace orv
