// Drawing, records, properties and heights of the text view. Expected
// positions come from the layout rules with widths measured by the canvas.

#include "model/memo_view.h"

#include <gtest/gtest.h>

#include <climits>

#include "model/factory.h"
#include "model/memo_test_support.h"

namespace orv {
namespace {

using test::fontOf;
using test::ModelStateGuard;
using test::RecordingCanvas;
using test::TextCall;
using test::widthOf;

constexpr char P = kParagraphEnd;

class MemoDraw : public ::testing::Test {
 protected:
  ModelStateGuard guard;
  TfrMemoView memo;
  RecordingCanvas canvas;
  const FontSpec arial13 = fontOf("Arial", -13);

  void SetUp() override {
    modelState().Mode = DocumentMode::Running;
    modelState().CurrentPage = nullptr;
    memo.Left = 10;
    memo.Top = 20;
    memo.Width = 200;
    memo.Height = 100;
  }

  std::vector<TextCall> draw() {
    canvas.texts.clear();
    canvas.lines.clear();
    memo.Draw(canvas);
    return canvas.texts;
  }
};

// At zoom 1 with a one-pixel frame: GapX 2, GapY 1, DrawRect (10, 20, 211,
// 121), line step 2 + 13.
TEST_F(MemoDraw, LeftAlignedLinesStepDownFromTheTopGap) {
  memo.Memo = {"First line", "Second"};
  memo.Font.FontColor = 0x00123456;
  auto t = draw();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0].text, "First line");
  EXPECT_EQ(t[0].x, 12);
  EXPECT_EQ(t[0].y, 21);
  EXPECT_EQ(t[1].text, "Second");
  EXPECT_EQ(t[1].x, 12);
  EXPECT_EQ(t[1].y, 21 + 15);
  // Clipped to the drawing rectangle less one pixel left, two right, one below.
  ASSERT_TRUE(t[0].clip.has_value());
  EXPECT_EQ(*t[0].clip, (Rect{11, 20, 209, 120}));
  EXPECT_TRUE(t[0].flags & etoClipped);
  EXPECT_FALSE(t[0].flags & etoRtlReading);
  EXPECT_EQ(t[0].font.height, -13);
  EXPECT_EQ(t[0].font.face, "Arial");
  EXPECT_EQ(t[0].textColor, 0x00123456u);
  // The stored geometry is untouched and the spacing reset afterwards.
  EXPECT_EQ(memo.Left, 10);
  EXPECT_EQ(memo.Width, 200);
  EXPECT_EQ(canvas.state().charExtra, 0);
}

TEST_F(MemoDraw, RightAndCentreAlignment) {
  memo.Memo = {"Right"};
  memo.Alignment = frtaRight;
  auto t = draw();
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].x, 10 + 201 - 2 - widthOf("Right", arial13) - 1);

  memo.Memo = {"Centre"};
  memo.Alignment = frtaCenter;
  t = draw();
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].x, 10 + 2 + (201 - 4 - widthOf("Centre", arial13)) / 2);
}

TEST_F(MemoDraw, JustifiesEveryLineButTheParagraphsLast) {
  // Three paragraph lines after wrapping: find a width that splits the text.
  const std::string first = "aaa bb cccc";
  memo.Memo = {first + " dd ee", "x y"};
  memo.Width = widthOf(first, arial13) + 4;  // inner width = the first line
  memo.Alignment = frtaJustify;
  auto t = draw();
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[0].text, first);
  EXPECT_EQ(t[0].justifyBreaks, 2);
  EXPECT_EQ(t[0].justifyExtra, memo.Width + 1 - 4 - widthOf(first, arial13));
  // Last line of each paragraph: no justification.
  EXPECT_EQ(t[1].text, "dd ee");
  EXPECT_EQ(t[1].justifyBreaks, 0);
  EXPECT_EQ(t[2].text, "x y");
  EXPECT_EQ(t[2].justifyBreaks, 0);
  for (const auto& c : t) EXPECT_EQ(c.x, 12);
  EXPECT_EQ(canvas.state().justifyBreaks, 0);
}

TEST_F(MemoDraw, PreWrappedTextIsDrawnAsStoredAndMarkersNeverShow) {
  // A prepared memo: lines finished by the run, too wide for the object now.
  memo.Width = 20;
  memo.Memo = {"one two three", std::string("four five") + P, std::string(1, P)};
  auto t = draw();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0].text, "one two three");
  EXPECT_EQ(t[1].text, "four five");
  EXPECT_EQ(t[1].y, t[0].y + 15);
}

TEST_F(MemoDraw, WrappedLinesCarryNoMarkerOnCanvas) {
  memo.Memo = {"abc def"};
  memo.Width = widthOf("abc def", arial13) - 1 + 4;  // one pixel too narrow
  auto t = draw();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0].text, "abc");
  EXPECT_EQ(t[1].text, "def");
}

TEST_F(MemoDraw, EmptyLineAdvancesOneStep) {
  memo.Memo = {"a", "", "b"};
  auto t = draw();
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[1].text, "");
  EXPECT_EQ(t[2].y, 21 + 2 * 15);
}

TEST_F(MemoDraw, VerticalPlacement) {
  memo.Memo = {"one", "two"};
  const int32_t block = 2 * 15 + 2 * 1;  // two lines and both gaps
  memo.Alignment = frtaDown;
  auto t = draw();
  ASSERT_EQ(t.size(), 2u);
  // The block's bottom sits one pixel above DrawRect.bottom (121).
  EXPECT_EQ(t[0].y, 121 - block - 1 + 1);
  EXPECT_EQ(t[1].y + 15 + 1, 121 - 1);

  memo.Alignment = frtaMiddle | frtaRight;
  t = draw();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0].y, 20 + (101 - block) / 2 + 1);
  // The horizontal bits still apply while placing vertically.
  EXPECT_EQ(t[0].x, 10 + 201 - 2 - widthOf("one", arial13) - 1);
  EXPECT_EQ(memo.Alignment, frtaMiddle | frtaRight);
  EXPECT_EQ(memo.Top, 20);
}

TEST_F(MemoDraw, VerticalPlacementIsNotAppliedWhileClipping) {
  memo.Memo = {"one"};
  memo.Alignment = frtaDown;
  memo.ExpandedText = {std::string("one") + P};
  memo.TextBlockHeight = 17;
  memo.ClipToRect = true;
  memo.TargetCanvas = &canvas;
  memo.ApplyScale();
  memo.ShowMemo();
  memo.RestoreGeometry();
  ASSERT_EQ(canvas.texts.size(), 1u);
  EXPECT_EQ(canvas.texts[0].y, 21);
  EXPECT_EQ(memo.LinesShown, 1);
}

TEST_F(MemoDraw, ClippingStopsAtTheFirstLineCrossingTheBottom) {
  memo.Height = 40;  // DrawRect.bottom = 61
  memo.ExpandedText = {"a", "b", "c", "d"};
  memo.ClipToRect = true;
  memo.TargetCanvas = &canvas;
  memo.ApplyScale();
  memo.ShowMemo();
  memo.RestoreGeometry();
  // Lines start at 21, 36, 51: the third would end at 66 > 61.
  EXPECT_EQ(memo.LinesShown, 2);
  EXPECT_EQ(canvas.texts.size(), 2u);
}

TEST_F(MemoDraw, RotatedTextRunsUpFromTheBottom) {
  memo.Memo = {"Up"};
  memo.Alignment = frtaVertical;  // from the bottom
  auto t = draw();
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].font.escapement, 900);
  EXPECT_EQ(t[0].x, 10 + 2);
  EXPECT_EQ(t[0].y, 121 - 1);

  const int32_t w = widthOf("Up", arial13);
  memo.Alignment = frtaVertical | frtaRight;  // from the top
  t = draw();
  EXPECT_EQ(t[0].y, 20 + 1 + w);

  memo.Alignment = frtaVertical | frtaCenter;
  t = draw();
  EXPECT_EQ(t[0].y, 121 - 1 - (101 - 2 - w) / 2 - 1);

  // Lines of rotated text step across the width.
  memo.Memo = {"a", "b"};
  memo.Alignment = frtaVertical;
  t = draw();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1].x, t[0].x + 15);
  // The canvas is left upright.
  EXPECT_EQ(canvas.font().escapement, 0);
}

TEST_F(MemoDraw, RotatedBlockCentredAcrossTheWidth) {
  memo.Memo = {"a", "b"};
  memo.Alignment = frtaVertical | frtaMiddle;
  auto t = draw();
  ASSERT_EQ(t.size(), 2u);
  const int32_t block = 2 * 15 + 2 * 2;  // across the width the gaps are GapX
  EXPECT_EQ(t[0].x, 10 + (201 - block) / 2 + 2);
}

TEST_F(MemoDraw, RightToLeftReadingFlag) {
  memo.Memo = {"abc"};
  memo.Flags |= flRTLReading;
  auto t = draw();
  ASSERT_EQ(t.size(), 1u);
  EXPECT_TRUE(t[0].flags & etoRtlReading);
}

TEST_F(MemoDraw, FontHeightRoundsAtZoomOneAndTruncatesOtherwise) {
  memo.Memo = {"x"};
  memo.Font.Size = 11;  // 14.67 pixels at 96 per inch
  auto t = draw();
  EXPECT_EQ(t[0].font.height, -15);
  memo.Font.Size = 10;  // 13.33 pixels, 16.67 at 1.25
  memo.ZoomX = memo.ZoomY = 1.25;
  t = draw();
  EXPECT_EQ(t[0].font.height, -16);
  // Printing keeps the point size at the printer's own resolution (96 here).
  memo.OnPrinterCanvas = true;
  t = draw();
  EXPECT_EQ(t[0].font.height, -13);
}

TEST_F(MemoDraw, ZoomScalesPositionsButNotTheLineBreaks) {
  memo.Memo = {"abc def"};
  memo.Width = widthOf("abc def", arial13) - 1 + 4;
  memo.ZoomX = memo.ZoomY = 2.0;
  memo.ShiftX = 5;
  memo.ShiftY = 7;
  auto t = draw();
  ASSERT_EQ(t.size(), 2u);  // broken at design resolution, as at zoom 1
  // x = 20 + 5, GapX = Round(2 * 2) + Round(1 * 2 / 2) = 5;
  // y = 40 + 7, GapY = Round(1 * 2) + Round(2 / 2) div 2 = 2.
  EXPECT_EQ(t[0].x, 25 + 5);
  EXPECT_EQ(t[0].y, 47 + 2);
  EXPECT_EQ(t[0].font.height, -26);
  EXPECT_EQ(t[1].y, 47 + 2 + 4 + 26);
}

TEST_F(MemoDraw, CharacterSpacingScalesWithZoom) {
  memo.Memo = {"ab"};
  memo.CharSpacing = 3;
  memo.ZoomX = memo.ZoomY = 1.5;
  auto t = draw();
  EXPECT_EQ(t[0].charExtra, 4);  // Round(4.5) to even
}

TEST_F(MemoDraw, AutoWidthFollowsTheText) {
  memo.Memo = {"Short", "A longer line"};
  memo.Flags |= flAutoWidth;
  memo.Alignment = frtaRight;
  const int32_t w = widthOf("A longer line", arial13);
  const int32_t expected = w + 1 + 2 * 2 + 1;  // text, frame width, gaps, one
  auto t = draw();
  EXPECT_EQ(memo.Width, expected);
  EXPECT_EQ(memo.Left, 10 + 200 - expected);  // right edge kept
  ASSERT_EQ(t.size(), 2u);                    // no wrapping
  // Designing leaves the width alone.
  modelState().Mode = DocumentMode::Designing;
  memo.Width = 30;
  draw();
  EXPECT_EQ(memo.Width, 30);
}

TEST_F(MemoDraw, CalcWidthIgnoresMarkersAndDividesByZoom) {
  memo.TargetCanvas = &canvas;
  EXPECT_EQ(memo.CalcWidth({"ab", std::string("abcdef") + P}),
            widthOf("abcdef", arial13) + 1 + 4 + 1);
  memo.ZoomX = memo.ZoomY = 2.0;
  const double w = widthOf("abcdef", fontOf("Arial", -26));
  EXPECT_EQ(memo.CalcWidth({"abcdef"}), roundEven(w / 2 + 1 + 4 + 1));
}

TEST_F(MemoDraw, UnderlinesRuleTheWholeHeight) {
  memo.Flags |= flUnderlines;
  memo.FrameColor = 0x0000FF;
  memo.FrameWidth = 2;
  memo.Memo = {"x"};
  draw();
  // FrameWidth 2: GapY = 1 + Round(1) div 2 = 1. Step 15; 100 div 15 = 6.
  ASSERT_EQ(canvas.lines.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    const int32_t y = 20 + 1 + 15 * int32_t(i) + 2 + 13;
    EXPECT_EQ(canvas.lines[i].from, (Point{10, y}));
    EXPECT_EQ(canvas.lines[i].to, (Point{10 + 200 - 1, y}));
    EXPECT_EQ(canvas.lines[i].pen.color, 0x0000FFu);
    EXPECT_EQ(canvas.lines[i].pen.width, 2);
  }
}

TEST_F(MemoDraw, DamagedSpacingsDoNotHangOrCrash) {
  memo.Flags |= flUnderlines;
  memo.Memo = {"x", "y"};
  memo.LineSpacing = -13;  // a line step of zero
  draw();
  EXPECT_TRUE(canvas.lines.empty());
  memo.LineSpacing = -12;  // one pixel per row over a huge height
  memo.Height = 2000000000;
  draw();
  EXPECT_LE(canvas.lines.size(), 4000u);
  memo.LineSpacing = -13;
  EXPECT_EQ(memo.UnusedHeight(), 2 * 1 + 2);  // no line step: only gaps and frame
  memo.Height = 100;
  memo.Font.Size = 2000000000;
  memo.ZoomX = memo.ZoomY = 3;
  draw();
  EXPECT_GT(memo.MinLineHeight(), 0);  // no wrap-around into negative heights
}

// A run that knows two expressions: one giving two lines, one giving nothing.
class TwoExpressions : public ViewRunHooks {
 public:
  void ExpandExpressions(TfrView&, std::string& text) override {
    if (text == "[two lines]")
      text = "a\r\nb";
    else if (text == "[nothing]")
      text.clear();
  }
};

TEST(MemoText, ExpandedValuesSplitIntoLinesAndEmptyValuesLeaveNone) {
  ModelStateGuard guard;
  TwoExpressions hooks;
  modelState().RunHooks = &hooks;
  TfrMemoView m;
  m.Memo = {"[two lines]", "", "[nothing]", "plain"};
  m.ExpandText();
  EXPECT_EQ(m.ExpandedText, (StringList{"a", "b", "", "plain"}));
  m.Flags |= flTextOnly;
  m.ExpandText();
  EXPECT_EQ(m.ExpandedText, m.Memo);
  // Outside a run the text stays as written.
  modelState().RunHooks = nullptr;
  m.Flags &= ~flTextOnly;
  m.ExpandText();
  EXPECT_EQ(m.ExpandedText, m.Memo);
}

// A run whose script hides objects named "Hidden" and whose before-print
// handler replaces the text of objects named "Handled".
class ScriptAndHandler : public ViewRunHooks {
 public:
  int expansions = 0;
  void RunScript(TfrView& v) override {
    if (v.Name == "Hidden") v.Visible = false;
  }
  void BeforePrint(TfrView& v) override {
    if (v.Name == "Handled") v.ExpandedText = {"x", "y"};
  }
  void ExpandExpressions(TfrView&, std::string&) override { ++expansions; }
};

TEST(MemoHeights, CalcHeightRunsTheScriptAndTheBeforePrintHandler) {
  ModelStateGuard guard;
  ScriptAndHandler hooks;
  modelState().RunHooks = &hooks;
  modelState().Mode = DocumentMode::Running;
  modelState().CurrentPage = nullptr;
  TfrMemoView m;
  m.Width = 200;
  m.Memo = {"[a]", "[b]", "[c]"};
  EXPECT_EQ(m.CalcHeight(), 3 * 15 + 2);
  EXPECT_EQ(hooks.expansions, 3);
  // The handler's lines are used as they are, without expanding.
  m.Name = "Handled";
  EXPECT_EQ(m.CalcHeight(), 2 * 15 + 2);
  EXPECT_EQ(hooks.expansions, 3);
  m.Name = "Hidden";
  EXPECT_EQ(m.CalcHeight(), 0);
}

// A run whose highlight condition holds when told to, which aligns every
// object to the band (a bottom-aligned one for good), and whose tag
// expression changes the font on the way.
class HighlightingRun : public ViewRunHooks {
 public:
  bool holds = false;
  void ExpandExpressions(TfrView& v, std::string& text) override {
    if (text == "[grow]") {
      static_cast<TfrMemoView&>(v).Font.Size = 99;
      text = "grown";
    } else if (text == "[value]") {
      text = "v";
    }
  }
  void AlignToBand(TfrView& v) override {
    v.Top = 7;
    v.BandAlign = baNone;
  }
  bool EvaluateCondition(TfrView&, const std::string&) override { return holds; }
};

TEST(MemoEmit, TheRecordCarriesWhatTheRunChangedAndTheTemplateKeepsItsOwn) {
  ModelStateGuard guard;
  modelState().Mode = DocumentMode::Running;
  modelState().StreamVersion = 25;
  HighlightingRun run;
  modelState().RunHooks = &run;
  TfrMemoView m;
  m.Memo = {"[value]"};
  m.BandAlign = baBottom;
  m.Top = 30;
  m.HighlightStyle = ViewFont::Italic;
  m.HighlightFontColor = 0x000000FF;
  m.HighlightFillColor = 0x0000FF00;
  const ViewFont font = m.Font;
  const Color fill = m.FillColor;
  auto written = [&]() -> std::unique_ptr<TfrMemoView> {
    MemoryStream s;
    m.EmitToPage(s);
    if (s.size() == 0) return nullptr;
    s.rewind();
    auto v = ReadPreparedObject(s);
    return std::unique_ptr<TfrMemoView>(dynamic_cast<TfrMemoView*>(v.release()));
  };
  auto expectTemplateUntouched = [&] {
    EXPECT_EQ(m.Font, font);
    EXPECT_EQ(m.FillColor, fill);
    EXPECT_EQ(m.BandAlign, baBottom);
  };

  auto r = written();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->Memo, StringList{"v"});
  EXPECT_EQ(r->Top, 7);
  EXPECT_EQ(r->BandAlign, baNone);
  expectTemplateUntouched();

  m.HighlightCondition = "[value] > 1";
  run.holds = true;
  r = written();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->Font.Style, ViewFont::Italic);
  EXPECT_EQ(r->Font.FontColor, Color(0x000000FF));
  EXPECT_EQ(r->FillColor, Color(0x0000FF00));
  expectTemplateUntouched();

  // What the tag's expression did to the font is in the record only.
  m.HighlightCondition.clear();
  m.Tag = "[grow]";
  r = written();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->Tag, "grown");
  EXPECT_EQ(r->Font.Size, 99);
  EXPECT_EQ(m.Tag, "[grow]");
  expectTemplateUntouched();

  // A suppressed text is written once while it repeats.
  m.Tag.clear();
  m.Flags |= flSuppress;
  EXPECT_TRUE(written());
  EXPECT_FALSE(written());
  m.Memo = {"other"};
  EXPECT_TRUE(written());
  expectTemplateUntouched();
}

TEST(MemoHeights, MinLineAndUnusedHeight) {
  TfrMemoView m;  // Arial 10 (13 pixels), spacing 2, GapY 1, frame width 1
  EXPECT_EQ(m.MinLineHeight(), 2 + 2 + 2 + 13);
  EXPECT_EQ(m.LineStep, 15);
  m.Height = 100;
  // 2 * GapY + ((100 - 2 - 2) mod 15) + 2
  EXPECT_EQ(m.UnusedHeight(), 2 + 96 % 15 + 2);
  m.Font.Size = 12;  // 16 pixels
  m.FrameWidth = 0.5f;
  EXPECT_EQ(m.MinLineHeight(), 1 + 2 + 2 + 16);  // Round(2 * 0.5)
}

TEST(MemoHeights, CalcHeightIsTheWrappedBlock) {
  ModelStateGuard guard;
  modelState().Mode = DocumentMode::Running;
  modelState().CurrentPage = nullptr;
  TfrMemoView m;
  m.Width = 200;
  m.Height = 10;
  m.Memo = {"a", "b", "c"};
  EXPECT_EQ(m.CalcHeight(), 3 * 15 + 2);
  EXPECT_EQ(m.StretchPass, 1);
  m.Visible = false;
  EXPECT_EQ(m.CalcHeight(), 0);
}

// -------------------------------------------------------------- records

void fillSample(TfrMemoView& m) {
  m.Name = "Memo9";
  m.Left = 11;
  m.Top = 22;
  m.Width = 333;
  m.Height = 44;
  m.Memo = {"[Value]", "second"};
  m.Font.Name = "Courier New";
  m.Font.Size = 14;
  m.Font.Style = ViewFont::Bold | ViewFont::Underline;
  m.Font.FontColor = 0x00112233;
  m.Font.Charset = 204;
  m.Alignment = frtaCenter | frtaMiddle;
  m.HighlightStyle = ViewFont::Italic;
  m.HighlightFontColor = 0x000000FF;
  m.HighlightFillColor = 0x0000FF00;
  m.HighlightCondition = "[Value] > 10";
  m.LineSpacing = 5;
  m.CharSpacing = -1;
}

void expectSameMemoFields(const TfrMemoView& a, const TfrMemoView& b) {
  EXPECT_EQ(a.Font, b.Font);
  EXPECT_EQ(a.Alignment, b.Alignment);
  EXPECT_EQ(a.LineSpacing, b.LineSpacing);
  EXPECT_EQ(a.CharSpacing, b.CharSpacing);
}

TEST(MemoRecord, TemplateFormRoundTrips) {
  ModelStateGuard guard;
  modelState().StreamVersion = 25;
  TfrMemoView m;
  fillSample(m);
  MemoryStream s;
  m.SaveRecord(s);
  s.rewind();
  TfrMemoView r;
  r.LoadRecord(s);
  EXPECT_TRUE(s.atEnd());
  expectSameMemoFields(m, r);
  EXPECT_EQ(r.HighlightStyle, m.HighlightStyle);
  EXPECT_EQ(r.HighlightFontColor, m.HighlightFontColor);
  EXPECT_EQ(r.HighlightFillColor, m.HighlightFillColor);
  EXPECT_EQ(r.HighlightCondition, m.HighlightCondition);
  EXPECT_EQ(r.Memo, m.Memo);
  EXPECT_EQ(r.Name, "Memo9");
  EXPECT_EQ(r.Width, 333);
}

TEST(MemoRecord, PreparedFormHoldsFinishedLinesAndNoHighlight) {
  ModelStateGuard guard;
  modelState().StreamVersion = 25;
  TfrMemoView m;
  fillSample(m);
  m.ExpandedText = {"12", std::string("second") + P};
  MemoryStream s;
  m.WriteObject(s);
  // The record ends with the text object's own fields, highlight left out.
  MemoryStream tail;
  writeString(tail, "Courier New");
  tail.writeI32(14);
  tail.writeU16(ViewFont::Bold | ViewFont::Underline);
  tail.writeI32(0x00112233);
  tail.writeI32(frtaCenter | frtaMiddle);
  tail.writeU16(204);
  tail.writeI32(5);
  tail.writeI32(-1);
  ASSERT_GT(s.size(), tail.size());
  EXPECT_TRUE(std::equal(tail.bytes().begin(), tail.bytes().end(),
                         s.bytes().end() - ptrdiff_t(tail.size())));

  s.rewind();
  auto v = ReadPreparedObject(s);
  EXPECT_TRUE(s.atEnd());
  auto* r = dynamic_cast<TfrMemoView*>(v.get());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->TypeCode, gtMemo);
  EXPECT_EQ(r->Memo, m.ExpandedText);  // a prepared record is read into Memo
  expectSameMemoFields(m, *r);
  EXPECT_EQ(r->HighlightCondition, "");
  EXPECT_EQ(r->HighlightStyle, ViewFont::Bold);
}

// A template record as an older program wrote it for the given stream
// version, built field by field.
std::vector<uint8_t> oldTemplateRecord(uint8_t version, uint16_t flags, uint16_t charset) {
  MemoryStream s;
  auto str = [&](const std::string& t) {
    if (version >= 23) s.writeU16(uint16_t(t.size()));
    s.write(t.data(), t.size());
    s.writeU8(0);
  };
  auto list = [&](const StringList& lines) {
    if (version >= 23) {
      writeStringList(s, lines);
      return;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
      s.write(lines[i].data(), lines[i].size());
      if (i + 1 < lines.size()) s.writeU8(13);
    }
    s.writeU8(0);
  };
  if (version >= 23) str("Text1");
  if (version > 23) {
    s.writeU8(2);
    s.writeU8(0);
  }
  for (int32_t v : {5, 6, 70, 80}) s.writeI32(v);
  s.writeU16(flags);
  s.writeU16(frftLeft);
  s.writeI32(1);
  s.writeI32(0);
  s.writeU16(psSolid);
  s.writeI32(int32_t(clNone));
  s.writeI32(0);
  str("");
  list({"hello", "world"});
  if (version >= 23) {
    list({});
    s.writeI16(-1);
  }
  if (version >= 24) {
    s.writeU16(0);
    str("");
    s.writeI32(3);
    s.writeI32(4);
    s.writeU8(baNone);
  }
  str("Times New Roman");
  s.writeI32(12);
  s.writeU16(ViewFont::Italic);
  s.writeI32(0x00FF0000);
  s.writeI32(frtaRight);
  s.writeU16(charset);
  s.writeU16(ViewFont::Bold);
  s.writeI32(0);
  s.writeI32(0x00FFFFFF);
  str("");
  if (version >= 24) {
    s.writeI32(7);
    s.writeI32(1);
  }
  return s.takeBytes();
}

std::unique_ptr<TfrMemoView> loadOld(uint8_t version, uint16_t flags, uint16_t charset,
                                     bool* atEnd) {
  modelState().StreamVersion = version;
  modelState().CurrentPage = nullptr;
  modelState().CurrentPages = nullptr;
  MemoryStream s(oldTemplateRecord(version, flags, charset));
  auto m = std::make_unique<TfrMemoView>();
  m->LoadRecord(s);
  *atEnd = s.atEnd();
  return m;
}

TEST(MemoRecord, OlderVersions) {
  ModelStateGuard guard;
  bool atEnd = false;
  // 21: no word-wrap flag yet, so every memo wraps; the stored set is ignored.
  auto m = loadOld(21, flStretched, 204, &atEnd);
  EXPECT_TRUE(atEnd);
  EXPECT_EQ(m->Flags, flStretched | flWordWrap);
  EXPECT_EQ(m->Font.Charset, ViewFont::DefaultCharset);
  EXPECT_EQ(m->Font.Name, "Times New Roman");
  EXPECT_EQ(m->Alignment, frtaRight);
  EXPECT_EQ(m->LineSpacing, 2);  // not stored before 24
  EXPECT_EQ(m->Memo, (StringList{"hello", "world"}));
  EXPECT_EQ(m->Name, "Memo1");  // generated: no name before 23

  m = loadOld(22, flStretched, 204, &atEnd);
  EXPECT_TRUE(atEnd);
  EXPECT_EQ(m->Flags, flStretched);
  EXPECT_EQ(m->Font.Charset, ViewFont::DefaultCharset);

  m = loadOld(23, flStretched, 204, &atEnd);
  EXPECT_TRUE(atEnd);
  EXPECT_EQ(m->Font.Charset, 204);
  EXPECT_EQ(m->LineSpacing, 2);
  EXPECT_EQ(m->CharSpacing, 0);

  m = loadOld(24, flStretched, 0x01CC, &atEnd);  // only the low byte is the set
  EXPECT_TRUE(atEnd);
  EXPECT_EQ(m->Font.Charset, 0xCC);
  EXPECT_EQ(m->LineSpacing, 7);
  EXPECT_EQ(m->CharSpacing, 1);
  EXPECT_EQ(m->GapX, 3);
}

TEST(MemoRecord, EveryTruncationIsAnError) {
  ModelStateGuard guard;
  modelState().StreamVersion = 25;
  TfrMemoView m;
  fillSample(m);
  MemoryStream s;
  m.SaveRecord(s);
  const std::vector<uint8_t> full = s.bytes();
  for (size_t n = 0; n < full.size(); ++n) {
    MemoryStream cut(std::vector<uint8_t>(full.begin(), full.begin() + ptrdiff_t(n)));
    TfrMemoView r;
    EXPECT_THROW(r.LoadRecord(cut), Error) << n;
  }
}

// -------------------------------------------------------------- properties

TEST(MemoProperties, FontAlignmentAndFlags) {
  TfrMemoView m;
  m.SetProperty("font.name", "Courier New");
  m.SetProperty("FONT.SIZE", 14);
  m.SetProperty("Font.Style", ViewFont::Bold | ViewFont::Italic);
  m.SetProperty("Font.Color", 255);
  m.SetProperty("Alignment", frtaCenter | frtaDown);
  m.SetProperty("LineSpacing", 6);
  m.SetProperty("CharSpacing", 2);
  EXPECT_EQ(m.Font.Name, "Courier New");
  EXPECT_EQ(m.Font.Size, 14);
  EXPECT_EQ(m.Font.Style, 3);
  EXPECT_EQ(m.Font.FontColor, 255u);
  EXPECT_EQ(m.Alignment, 18);
  EXPECT_EQ(m.GetProperty("FONT.NAME").toString(), "Courier New");
  EXPECT_EQ(m.GetProperty("Font.Size").toInt(), 14);
  EXPECT_EQ(m.GetProperty("linespacing").toInt(), 6);
  EXPECT_EQ(m.GetProperty("CharSpacing").toInt(), 2);

  const std::pair<const char*, uint16_t> flags[] = {
      {"WordWrap", flWordWrap},     {"WordBreak", flWordBreak},  {"AutoWidth", flAutoWidth},
      {"TextOnly", flTextOnly},     {"Suppress", flSuppress},    {"HideZeros", flHideZeros},
      {"Underlines", flUnderlines}, {"RTLReading", flRTLReading}};
  for (auto [name, bit] : flags) {
    m.Flags = flStretched;
    m.SetProperty(name, true);
    EXPECT_EQ(m.Flags, flStretched | bit) << name;
    EXPECT_EQ(m.GetProperty(name), Variant(true)) << name;
    m.SetProperty(name, false);
    EXPECT_EQ(m.Flags, flStretched) << name;
  }
  // The common names still work, and unknown ones give nothing.
  m.SetProperty("Left", 77);
  EXPECT_EQ(m.Left, 77);
  EXPECT_TRUE(m.GetProperty("NoSuchThing").isEmpty());
}

TEST(MemoProperties, LinesIsAnotherNameForTheText) {
  TfrMemoView m;
  m.CallMethod("LINES.ADD", "one", {}, {});
  m.CallMethod("LINES.ADD", "two", {}, {});
  EXPECT_EQ(m.Memo, (StringList{"one", "two"}));
  EXPECT_EQ(m.GetProperty("Lines.Count").toInt(), 2);
  EXPECT_EQ(m.CallMethod("LINES.INDEXOF", "TWO", {}, {}).toInt(), 1);
  m.CallMethod("SETINDEXPROPERTY", "Lines", 0, "uno");
  EXPECT_EQ(m.CallMethod("GETINDEXPROPERTY", "LINES", 0, {}).toString(), "uno");
  m.CallMethod("LINES.DELETE", 0, {}, {});
  EXPECT_EQ(m.Memo, (StringList{"two"}));
  m.CallMethod("LINES.CLEAR", {}, {}, {});
  EXPECT_TRUE(m.Memo.empty());
}

TEST(MemoProperties, DeclaredAfterTheCommonOnes) {
  TfrMemoView m;
  m.DeclareProperties();
  std::vector<std::string> names;
  for (const auto& p : m.PropertyList) names.push_back(p.Name);
  auto pos = [&](const char* n) {
    return std::find(names.begin(), names.end(), n) - names.begin();
  };
  EXPECT_LT(pos("Restrictions"), pos("Font.Name"));
  const char* order[] = {"Font.Name",  "Font.Size",     "Font.Style", "Font.Color",  "Font",
                         "Alignment",  "DisplayFormat", "Highlight",  "LineSpacing", "CharSpacing",
                         "GapX",       "GapY",          "Stretched",  "WordWrap",    "WordBreak",
                         "AutoWidth",  "TextOnly",      "Suppress",   "HideZeros",   "Lines.Count",
                         "Underlines", "RTLReading"};
  for (size_t i = 1; i < std::size(order); ++i)
    EXPECT_EQ(pos(order[i]), pos(order[i - 1]) + 1) << order[i];
  const PropertyEntry* font = m.FindProperty("FONT");
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->Kind, 64);
  EXPECT_TRUE(bool(font->Editor));
  EXPECT_EQ(m.FindProperty("rtlreading")->Kind, 8);
  EXPECT_EQ(m.FindProperty("GapY")->Kind, 2);
}

TEST(MemoFactory, CodeZeroIsATextObject) {
  auto v = CreateReportObject(gtMemo, "");
  auto* m = dynamic_cast<TfrMemoView*>(v.get());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->TypeCode, gtMemo);
  EXPECT_EQ(m->ClassStem, "Memo");
  EXPECT_EQ(m->Flags, flStretched | flWordWrap);
  EXPECT_EQ(m->Font, ViewFont{});
  EXPECT_EQ(m->LineSpacing, 2);
  EXPECT_EQ(m->HighlightFillColor, clWhite);
}

}  // namespace
}  // namespace orv
