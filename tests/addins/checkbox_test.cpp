// The check box view: when the mark shows, which glyph it is and where it
// lands, its record at every stream version and its value in prepared pages.
#include <gtest/gtest.h>

#include <map>

#include "addins/addin_test_util.h"
#include "addins/addins.h"
#include "addins/checkbox_view.h"
#include "model/factory.h"
#include "model/view_test_util.h"
#include "platform/emf_canvas.h"
#include "platform/emf_player.h"

namespace orv {
namespace {

using namespace emf;
using emftest::Record;
using viewtest::ModelStateGuard;

struct Mark {
  std::vector<uint8_t> emf;
  std::vector<EmfTextRun> runs;
};

Mark drawBox(TfrCheckBoxView& v) {
  EmfCanvas c({0, 0, 500, 500});
  v.Draw(c);
  Mark m;
  m.emf = c.finish();
  m.runs = enumerateTextRuns(m.emf);
  return m;
}

void place(TfrCheckBoxView& v, std::string firstLine) {
  v.Left = 10, v.Top = 10, v.Width = 20, v.Height = 20;
  v.Memo = {std::move(firstLine)};
}

TEST(CheckBoxView, CheckMarkIsTheSymbolGlyphCentredInTheBox) {
  ModelStateGuard g(DocumentMode::Running);
  for (uint8_t style : {csCheck, csCross}) {
    TfrCheckBoxView v;
    place(v, "1");
    v.CheckStyle = style;
    v.CheckColor = rgb(0, 128, 0);
    const Mark m = drawBox(v);
    // Frame 2 on every edge at zoom 1: bx = by = 0, bx1 = by1 = 1, so the
    // mark's rectangle is (10, 10, 30, 30).
    const Rect r{10, 10, 30, 30};
    const auto recs = emftest::records(m.emf);
    const auto texts = emftest::ofType(recs, EMR_EXTTEXTOUTW);
    ASSERT_EQ(texts.size(), 1u);
    const Record& t = texts[0];
    // The glyph, as the symbol code page maps it.
    EXPECT_EQ(t.u(9), 1u);  // one character
    const char16_t expectedChar = style == csCheck ? 0x2714 : 0x2718;
    EXPECT_EQ(emftest::u16(t.bytes, t.u(10)), expectedChar);
    // Centred by the character's width in a font as high as the box.
    EmfCanvas measure({0, 0, 10, 10});
    FontSpec f;
    f.face = "Wingdings";
    f.height = -20;
    measure.setFont(f);
    const int32_t w = measure.textWidth(style == csCheck ? "\xFC" : "\xFB");
    EXPECT_EQ(t.i(7), 10 + (20 - w) / 2);
    EXPECT_EQ(t.i(8), 10);
    EXPECT_TRUE(t.u(11) & etoClipped);
    EXPECT_EQ((Rect{t.i(12), t.i(13), t.i(14), t.i(15)}), r);
    const auto fonts = emftest::ofType(recs, EMR_EXTCREATEFONTINDIRECTW);
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_EQ(fonts[0].i(1), -20);
    const auto colours = emftest::ofType(recs, EMR_SETTEXTCOLOR);
    ASSERT_FALSE(colours.empty());
    EXPECT_EQ(colours.back().u(0), rgb(0, 128, 0));
  }
}

TEST(CheckBoxView, PreparedValuesShowTheMarkUnlessTheyBeginWithZero) {
  ModelStateGuard g(DocumentMode::Running);
  const std::map<std::string, bool> cases = {{"1", true}, {"-1", true},  {"0", false},
                                             {"", false}, {"05", false}, {"x", true}};
  for (const auto& [line, shown] : cases) {
    TfrCheckBoxView v;
    place(v, line);
    EXPECT_EQ(drawBox(v).runs.size(), shown ? 1u : 0u) << "'" << line << "'";
  }
  TfrCheckBoxView empty;
  place(empty, "");
  empty.Memo.clear();
  EXPECT_TRUE(drawBox(empty).runs.empty());
}

TEST(CheckBoxView, DesigningAlwaysShowsTheMark) {
  ModelStateGuard g(DocumentMode::Designing);
  TfrCheckBoxView v;
  place(v, "0");
  EXPECT_EQ(drawBox(v).runs.size(), 1u);
}

TEST(CheckBoxView, OldStreamsHaveNoStyleOrColour) {
  {
    // A version-23 template record: name, geometry, format, text, script and
    // visibility, nothing after it. The bytes that follow are not the box's.
    ModelStateGuard g(DocumentMode::Designing, 23);
    MemoryStream s;
    writeString(s, "Check1");
    for (int32_t v : {10, 10, 20, 20}) s.writeI32(v);
    s.writeU16(1);
    s.writeU16(15);
    s.writeI32(2);
    s.writeU32(0);
    s.writeU16(0);
    s.writeU32(clNone);
    s.writeI32(0);
    writeString(s, "");
    writeStringList(s, {"1"});
    writeStringList(s, {});
    s.writeI16(-1);
    const size_t end = s.size();
    for (uint8_t b : {1, 9, 9, 9, 0}) s.writeU8(b);
    s.rewind();
    TfrCheckBoxView back;
    back.LoadRecord(s);
    EXPECT_EQ(s.position(), end);
    EXPECT_EQ(back.Name, "Check1");
    EXPECT_EQ(back.Memo, StringList{"1"});
    EXPECT_EQ(back.CheckStyle, csCross);
    EXPECT_EQ(back.CheckColor, clBlack);
  }
  ModelStateGuard g(DocumentMode::Designing, 25);
  TfrCheckBoxView v;
  place(v, "1");
  v.CheckStyle = csCheck;
  v.CheckColor = rgb(1, 2, 3);
  MemoryStream s;
  v.SaveRecord(s);
  const std::vector<uint8_t> tail(s.bytes().end() - 5, s.bytes().end());
  EXPECT_EQ(tail, (std::vector<uint8_t>{1, 1, 2, 3, 0}));
  s.rewind();
  TfrCheckBoxView back;
  back.LoadRecord(s);
  EXPECT_TRUE(s.atEnd());
  EXPECT_EQ(back.CheckStyle, csCheck);
  EXPECT_EQ(back.CheckColor, rgb(1, 2, 3));
  EXPECT_EQ(back.FrameWidth, 2.0f);
  // One byte short: an error, not a guess.
  MemoryStream cut(std::vector<uint8_t>(s.bytes().begin(), s.bytes().end() - 1));
  TfrCheckBoxView broken;
  EXPECT_THROW(broken.LoadRecord(cut), Error);
}

// Evaluates the few expressions the tests use.
class FakeEvaluator : public AddInExpressionEvaluator {
 public:
  std::map<std::string, Variant> values;
  Variant Evaluate(TfrView&, std::string_view e) override {
    auto it = values.find(std::string(e));
    if (it == values.end()) throw Error("bad expression " + std::string(e));
    return it->second;
  }
};

struct EvaluatorGuard {
  explicit EvaluatorGuard(AddInExpressionEvaluator* e) { addInExpressionEvaluator() = e; }
  ~EvaluatorGuard() { addInExpressionEvaluator() = nullptr; }
};

TEST(CheckBoxView, EmittingStoresTheTruncatedValue) {
  ModelStateGuard g(DocumentMode::Running);
  registerAddIns();
  FakeEvaluator eval;
  eval.values = {{"1 > 0", Variant(true)}, {"0.9", Variant(0.9)}, {"-1", Variant(-1.5)}};
  EvaluatorGuard eg(&eval);
  const std::map<std::string, std::string> expected = {{"1 > 0", "1"}, {"0.9", "0"}, {"-1", "-1"}};
  for (const auto& [expr, stored] : expected) {
    TfrCheckBoxView v;
    place(v, expr);
    MemoryStream s;
    v.EmitToPage(s);
    s.rewind();
    auto back = ReadPreparedObject(s);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->Memo, StringList{stored}) << expr;
    EXPECT_EQ(v.Memo, StringList{expr});  // the template keeps its expression
  }
  // Nothing to evaluate: nothing stored.
  TfrCheckBoxView none;
  place(none, "");
  none.Memo.clear();
  MemoryStream s;
  none.EmitToPage(s);
  s.rewind();
  EXPECT_TRUE(ReadPreparedObject(s)->Memo.empty());
  // An expression that fails reaches the report run.
  TfrCheckBoxView bad;
  place(bad, "nonsense");
  MemoryStream s2;
  EXPECT_THROW(bad.EmitToPage(s2), Error);
}

TEST(CheckBoxView, ScriptPropertiesAndExportText) {
  TfrCheckBoxView v;
  place(v, "1");
  v.SetProperty("checkstyle", 1);
  v.SetProperty("CHECKCOLOR", int(rgb(5, 6, 7)));
  EXPECT_EQ(v.CheckStyle, csCheck);
  EXPECT_EQ(v.GetProperty("CheckColor").toInt(), int(rgb(5, 6, 7)));
  EXPECT_EQ(v.ExportText(), "X");
  v.SetProperty("DataField", "0");
  EXPECT_EQ(v.ExportText(), "");
  const PropertyEntry* p = v.FindProperty("CheckStyle");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->EnumNames, (std::vector<std::string>{"csCross", "csCheck"}));
}

}  // namespace
}  // namespace orv
