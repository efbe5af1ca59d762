// The rich-text views: their record and its end position, substitution of
// bracketed expressions by both classes' rules, the heights they need, the
// split of a long text over pages, and what drawing puts into a metafile.
#include "addins/rich_view.h"

#include <gtest/gtest.h>

#include <map>

#include "addins/addins.h"
#include "model/factory.h"
#include "model/view_test_util.h"
#include "platform/emf_canvas.h"
#include "platform/emf_player.h"
#include "platform/rtf_layout.h"

namespace orv {
namespace {

using viewtest::ModelStateGuard;

// The report run's value-to-text service over a fixed table of values.
class FakeRun : public ViewRunHooks {
 public:
  std::map<std::string, std::string> values;
  int scripts = 0;
  void RunScript(TfrView&) override { ++scripts; }
  void ExpandExpressions(TfrView&, std::string& text) override {
    // The view hands over one bracketed expression at a time.
    ASSERT_GE(text.size(), 2u);
    auto it = values.find(text.substr(1, text.size() - 2));
    if (it == values.end()) throw Error("unknown " + text);
    text = it->second;
  }
};

struct HooksGuard {
  explicit HooksGuard(ViewRunHooks* h) { modelState().RunHooks = h; }
  ~HooksGuard() { modelState().RunHooks = nullptr; }
};

rtf::Document rich(std::string_view body) {
  return rtf::read("{\\rtf1{\\fonttbl{\\f0\\fcharset0 Arial;}}\\f0\\fs20 " + std::string(body) +
                   "}");
}

template <class View = TfrRichView>
std::unique_ptr<View> placed(std::string_view body, int32_t width = 300, int32_t height = 100) {
  auto v = std::make_unique<View>();
  v->Left = 20, v->Top = 30, v->Width = width, v->Height = height;
  v->RichContent = rich(body);
  return v;
}

// Writes the view as a prepared object, reads it back.
std::unique_ptr<TfrRichView> emitted(TfrRichView& v) {
  MemoryStream s;
  v.EmitToPage(s);
  s.rewind();
  auto back = ReadPreparedObject(s);
  EXPECT_TRUE(s.atEnd());
  return std::unique_ptr<TfrRichView>(dynamic_cast<TfrRichView*>(back.release()));
}

TEST(RichView, RegisteredWithTheirHintsAndTheirPropertiesInOrder) {
  registerAddIns();
  ASSERT_NE(addInRegistry().find("TfrRichView"), nullptr);
  EXPECT_EQ(addInRegistry().find("TfrRichView")->Hint, "55223");
  EXPECT_EQ(addInRegistry().find("TfrRxRichView")->Hint, "55343");
  auto v = CreateReportObject(gtAddIn, "TfrRxRichView");
  EXPECT_STREQ(v->ClassName(), "TfrRxRichView");
  auto names = [](TfrView& view) {
    view.DeclareProperties();
    std::vector<std::string> out;
    for (size_t i = view.PropertyList.size() - 6; i < view.PropertyList.size(); ++i)
      out.push_back(view.PropertyList[i].Name);
    return out;
  };
  TfrRichView r;
  EXPECT_EQ(names(r), (std::vector<std::string>{"GapX", "GapY", "Lines", "Stretched", "TextOnly",
                                                "DataField"}));
  EXPECT_EQ(names(*v), (std::vector<std::string>{"Lines", "Stretched", "TextOnly", "GapX", "GapY",
                                                 "DataField"}));
  r.SetProperty("textonly", true);
  EXPECT_EQ(r.Flags & 0x10, 0x10);
  EXPECT_EQ(r.GetProperty("TEXTONLY").toBool(), true);
  r.SetProperty("Lines", std::string("um\r\ndois"));
  EXPECT_EQ(r.RichContent.paragraphs.size(), 2u);
  EXPECT_EQ(r.GetProperty("Lines").toString(), "um\r\ndois");
}

TEST(RichView, RecordEndPositionIsHonouredWhateverTheRtfHolds) {
  ModelStateGuard g(DocumentMode::Running, 25);
  registerAddIns();
  auto v = placed("Texto {\\b negrito}\\par segunda");
  MemoryStream s;
  v->WriteObject(s);
  const size_t firstEnd = s.size();
  TfrRichView empty;
  empty.WriteObject(s);
  s.rewind();
  auto a = ReadPreparedObject(s);
  EXPECT_EQ(s.position(), firstEnd);
  auto b = ReadPreparedObject(s);
  EXPECT_TRUE(s.atEnd());
  EXPECT_EQ(dynamic_cast<TfrRichView&>(*a).RichContent, v->RichContent);
  EXPECT_TRUE(dynamic_cast<TfrRichView&>(*b).RichContent.paragraphs.empty());

  // The flag and the end position sit right after the common record: find
  // them, then make the RTF stop early (junk follows it) and let the end
  // position point past bytes nobody reads.
  MemoryStream one;
  empty.WriteObject(one);
  const size_t flagAt = one.size() - 5;
  ASSERT_EQ(one.bytes()[flagAt], 0);
  std::vector<uint8_t> bytes(one.bytes().begin(), one.bytes().begin() + std::ptrdiff_t(flagAt));
  bytes.push_back(1);
  const std::string rtf = "{\\rtf1 kept}}}}{\\b junk";
  const uint32_t end = uint32_t(bytes.size() + 4 + rtf.size() + 3);
  for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(end >> (8 * i)));
  bytes.insert(bytes.end(), rtf.begin(), rtf.end());
  bytes.insert(bytes.end(), {'x', 'y', 'z'});
  // Positions are absolute: the object after it is written in place.
  MemoryStream t(bytes);
  t.seek(t.size());
  empty.WriteObject(t);
  const size_t total = t.size();
  t.rewind();
  auto c = ReadPreparedObject(t);
  EXPECT_EQ(t.position(), end);
  EXPECT_EQ(dynamic_cast<TfrRichView&>(*c).RichContent.plainText(), u"kept");
  EXPECT_NE(ReadPreparedObject(t), nullptr);
  EXPECT_TRUE(t.atEnd());

  // An end position behind the field or beyond the stream is an error.
  for (int64_t bad : {int64_t(flagAt), int64_t(total) + 1, int64_t(-1)}) {
    std::vector<uint8_t> d = bytes;
    for (int i = 0; i < 4; ++i) d[flagAt + 1 + size_t(i)] = uint8_t(uint64_t(bad) >> (8 * i));
    MemoryStream m(d);
    EXPECT_THROW(ReadPreparedObject(m), StreamError) << bad;
  }
}

TEST(RichView, LoadBlobTakesTheFieldsRtf) {
  TfrRichView v;
  const std::string rtf = "{\\rtf1 do banco}";
  v.LoadBlob({false, std::span(reinterpret_cast<const uint8_t*>(rtf.data()), rtf.size())});
  EXPECT_EQ(v.RichContent.plainText(), u"do banco");
  v.LoadBlob({true, {}});
  EXPECT_TRUE(v.RichContent.paragraphs.empty());
}

TEST(RichView, EmptyTextHasNoContentAndItsMinimumHeight) {
  ModelStateGuard g(DocumentMode::Running, 25);
  registerAddIns();
  TfrRichView v;
  v.Width = 200, v.Height = 50, v.GapY = 3;
  MemoryStream s;
  v.WriteObject(s);
  EXPECT_EQ(s.bytes()[s.size() - 5], 0) << "HasContent";
  EXPECT_EQ(v.CalcHeight(), 2 * 3 + 8);
  TfrRxRichView rx;
  rx.Width = 200, rx.GapY = 3;
  EXPECT_EQ(rx.CalcHeight(), 0);
}

TEST(RichView, NeededHeightIsTheLayoutHeightInScreenPixels) {
  ModelStateGuard g(DocumentMode::Running, 25);
  for (bool rx : {false, true}) {
    std::unique_ptr<TfrRichView> v;
    if (rx) {
      v = placed<TfrRxRichView>("um dois tr\\'eas quatro cinco seis sete oito nove dez onze", 120);
    } else {
      v = placed("um dois tr\\'eas quatro cinco seis sete oito nove dez onze", 120);
    }
    const int32_t h = v->CalcHeight();
    const int32_t widthTwips = roundEven((120 * 1440 - 2 * 2880) / 96.0);
    const auto lines = rtf::layoutLines(v->Scratch(), 0, {0, 0, widthTwips, 1 << 30});
    ASSERT_GE(lines.size(), 3u);
    const int32_t bottom = lines.back().top + lines.back().height;
    // The smallest whole number of pixels that holds every line.
    const int32_t expected = (bottom + 14) / 15 + 2 * v->GapY;
    EXPECT_NEAR(h, expected, rx ? 1 : 0) << rx;
    EXPECT_EQ(v->MinLineHeight(), 8);
  }
}

TEST(RichView, OneBracketedExpressionIsReplacedOrLeftWithTextOnly) {
  ModelStateGuard g(DocumentMode::Running, 25);
  registerAddIns();
  FakeRun run;
  run.values = {{"Cliente.Nome", "Jo\xE3o"}, {"[Inner]", "x"}, {"Total", "1.234,50"}};
  HooksGuard hg(&run);
  for (bool rx : {false, true}) {
    std::unique_ptr<TfrRichView> v;
    const char* body = "Sr. {\\b [Cliente.Nome]}, total [Total].";
    if (rx) {
      v = placed<TfrRxRichView>(body);
    } else {
      v = placed(body);
    }
    auto back = emitted(*v);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->RichContent.plainText(), u"Sr. João, total 1.234,50.") << rx;
    // The value takes the format of the expression it replaced.
    EXPECT_TRUE(back->RichContent.paragraphs[0].runs[1].format.bold);
    EXPECT_EQ(back->RichContent.paragraphs[0].runs[1].text, u"João");
    EXPECT_EQ(v->RichContent, rich(body)) << "the template keeps its expressions";
    v->SetProperty("TextOnly", true);
    EXPECT_EQ(emitted(*v)->RichContent.plainText(), u"Sr. [Cliente.Nome], total [Total].");
  }
  // Nested brackets belong to one expression; an unclosed one ends the search.
  rtf::Document d = rich("a [[Inner]] b [Total");
  substituteExpressions(
      d, [&](std::string_view e) { return run.values.at(std::string(e)); },
      RichSubstitution::ContinueAfterValue, 1);
  EXPECT_EQ(d.plainText(), u"a x b [Total");
  // A value that holds an expression is scanned again by the restarting rule
  // only, and one that never ends is stopped.
  auto loop = [](std::string_view) { return std::string("[again]"); };
  rtf::Document once = rich("[x]");
  substituteExpressions(once, loop, RichSubstitution::ContinueAfterValue, 1);
  EXPECT_EQ(once.plainText(), u"[again]");
  rtf::Document endless = rich("[x]");
  EXPECT_THROW(substituteExpressions(endless, loop, RichSubstitution::RestartFromBeginning, 1),
               Error);
  // A failing expression reaches the run.
  auto bad = placed("[Unknown]");
  MemoryStream s;
  EXPECT_THROW(bad->EmitToPage(s), Error);
}

TEST(RichView, ATextSplitOverThreePagesEmitsPartsThatMakeTheWhole) {
  ModelStateGuard g(DocumentMode::Running, 25);
  registerAddIns();
  FakeRun run;
  run.values = {{"N", "quarenta e dois"}};
  HooksGuard hg(&run);
  std::string body;
  for (int i = 0; i < 9; ++i)
    body += "Linha " + std::to_string(i) + " com [N] e mais palavras\\par ";
  auto v = placed(body, 160, 0);
  v->CalcHeight();
  const std::u16string whole = v->Scratch().text();
  // Each page gives room for a third of the lines.
  const int32_t lineHeight = v->NeededHeight() / 9;
  std::u16string joined;
  int32_t stopped = 0;
  for (int page = 0; page < 3; ++page) {
    v->Height = 2 * v->GapY + 4 * lineHeight;
    v->StretchPass = 2;
    auto part = emitted(*v);
    ASSERT_NE(part, nullptr);
    const std::u16string text = part->RichContent.text();
    ASSERT_FALSE(text.empty()) << page;
    EXPECT_EQ(whole.substr(size_t(stopped), text.size()), text) << page;
    joined += text;
    stopped = v->PrintedUpTo;
    EXPECT_EQ(stopped, int32_t(joined.size()));
  }
  EXPECT_EQ(joined, whole);
  EXPECT_EQ(v->StretchPass, 0);
}

TEST(RichView, DrawingPutsTheRunsIntoMetafileTextRecordsInsideTheView) {
  ModelStateGuard g(DocumentMode::Running, 25);
  auto v = placed(
      "\\qr Direita {\\b forte}\\par\\pard\\qj palavra "
      "um dois tres quatro cinco seis sete oito nove dez onze doze treze catorze");
  v->ZoomX = v->ZoomY = 2.0;
  EmfCanvas c({0, 0, 2000, 2000});
  v->Draw(c);
  const auto runs = enumerateTextRuns(c.finish());
  ASSERT_GE(runs.size(), 4u);
  EXPECT_EQ(runs[0].text, "Direita ");
  EXPECT_EQ(runs[1].text, "forte");
  // Right aligned: the bold run ends at the right edge, less the gap.
  const int32_t right = 2 * (20 + 300) - 2 * v->GapX;
  EXPECT_NEAR(runs[1].bounds.right + 1, right, 2);
  // A justified line that is not the paragraph's last ends there too.
  EXPECT_NEAR(runs[2].bounds.right + 1, right, 2);
  for (const EmfTextRun& r : runs) {
    EXPECT_GE(r.bounds.left, 2 * 20);
    EXPECT_LE(r.bounds.right, right);
  }
  // Nothing is drawn of a view without room.
  auto none = placed("x", 0, 0);
  EmfCanvas c2({0, 0, 100, 100});
  none->Draw(c2);
  EXPECT_TRUE(enumerateTextRuns(c2.finish()).empty());
}

TEST(RichView, BreaksTheSameLinesOnScreenAndAtPrinterResolution) {
  ModelStateGuard g(DocumentMode::Running, 25);
  auto v = placed(
      "\\qj Um relat\\'f3rio {\\b mensal} apresenta os resultados consolidados de "
      "todas as filiais e compara cada indicador com as metas definidas pela "
      "diretoria no in\\'edcio do ano fiscal",
      200, 200);
  auto runsAt = [&](double zoom) {
    v->ZoomX = v->ZoomY = zoom;
    EmfCanvas c({0, 0, 20000, 20000}, 600);
    v->Draw(c);
    return enumerateTextRuns(c.finish());
  };
  const auto screen = runsAt(1.0);
  const double printer = 600 / (93 / 1.015);
  const auto paper = runsAt(printer);
  ASSERT_GT(screen.size(), 3u);
  ASSERT_EQ(paper.size(), screen.size());
  for (size_t i = 0; i < screen.size(); ++i) {
    EXPECT_EQ(paper[i].text, screen[i].text) << i;
    // The same place on the page, to within a screen pixel.
    EXPECT_NEAR(paper[i].reference.x / printer, screen[i].reference.x, 1.0) << i;
    EXPECT_NEAR(paper[i].reference.y / printer, screen[i].reference.y, 1.0) << i;
  }
}

}  // namespace
}  // namespace orv
