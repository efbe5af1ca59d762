// The RTF layout: where lines break, what a layout request that runs out of
// room gives back, and where indents, tabs, spacing and alignment put the
// text drawn into a metafile.
#include "platform/rtf_layout.h"

#include <gtest/gtest.h>

#include "platform/emf_canvas.h"
#include "platform/emf_player.h"
#include "platform/fonts.h"
#include "platform/rtf_document.h"

namespace orv::rtf {
namespace {

const char* const kWords =
    "O relat\\'f3rio mensal apresenta os resultados consolidados de todas as filiais e compara "
    "cada indicador com as metas definidas pela diretoria no in\\'edcio do ano fiscal corrente";

Document doc(const std::string& paraFormat, const std::string& text = kWords) {
  return read("{\\rtf1{\\fonttbl{\\f0\\fcharset0 Arial;}}\\pard" + paraFormat + "\\f0\\fs20 " +
              text + "\\par}");
}

// The width of a text in Arial 10 in twips, from the font's widths at 16
// times the size, as precise as the layout measures.
double widthOf(const std::u16string& text) {
  FontSpec f;
  f.face = "Arial";
  f.height = -200 * 16;
  const ScaledFont& font = scaledFont(f);
  double w = 0;
  for (char16_t c : text) w += font.advance(uint8_t(c < 0x100 ? c : '?'));
  return w / 16;
}

std::u16string trimEnd(std::u16string s) {
  while (!s.empty() && s.back() == u' ') s.pop_back();
  return s;
}

TEST(RtfLayout, EachLineEndsAtTheLastWordThatFits) {
  const Document d = doc("");
  const std::u16string text = d.text();
  for (int32_t width : {1500, 2400, 4000}) {
    const auto lines = layoutLines(d, 0, {0, 0, width, 1 << 30});
    ASSERT_GT(lines.size(), 1u) << width;
    EXPECT_EQ(lines.front().first, 0);
    EXPECT_EQ(lines.back().end, d.length());
    for (size_t i = 0; i < lines.size(); ++i) {
      const std::u16string line =
          text.substr(size_t(lines[i].first), size_t(lines[i].end - lines[i].first));
      EXPECT_LE(widthOf(trimEnd(line)), width) << i;
      if (i + 1 == lines.size()) break;
      EXPECT_EQ(lines[i + 1].first, lines[i].end) << "lines follow each other";
      // The next word would not have fitted.
      const std::u16string rest = text.substr(size_t(lines[i].end));
      const std::u16string next = rest.substr(0, rest.find(u' '));
      EXPECT_GT(widthOf(line + next), width) << i;
    }
  }
}

TEST(RtfLayout, AWordWiderThanTheLineBreaksBetweenCharacters) {
  const Document d = doc("", "abcdefghijklmnopqrstuvwxyz");
  const auto lines = layoutLines(d, 0, {0, 0, 700, 1 << 30});
  ASSERT_GT(lines.size(), 2u);
  for (const LaidLine& l : lines) EXPECT_GT(l.end, l.first);
  EXPECT_EQ(lines.back().end, 26);
  // Even with no width at all every line takes a character.
  EXPECT_EQ(layoutLines(d, 0, {0, 0, 0, 1 << 30}).size(), 26u);
}

TEST(RtfLayout, ARequestStopsBeforeTheFirstLineThatDoesNotFit) {
  const Document d = doc("\\fi400");
  const Rect tall{0, 100, 2400, 1 << 30};
  const auto lines = layoutLines(d, 0, tall);
  ASSERT_GE(lines.size(), 4u);
  const int32_t h = lines[0].height;
  EXPECT_EQ(lines[0].top, 100);
  // Room for two and a half lines: two are placed.
  const FormatResult two = formatRange(d, 0, {0, 100, 2400, 100 + h * 5 / 2});
  EXPECT_EQ(two.nextChar, lines[2].first);
  EXPECT_EQ(two.bottom, lines[1].top + lines[1].height);
  // No room for one: nothing is placed and the start comes back.
  const FormatResult none = formatRange(d, lines[1].first, {0, 100, 2400, 100 + h - 1});
  EXPECT_EQ(none.nextChar, lines[1].first);
  EXPECT_EQ(none.bottom, 100);
  // Going on from where a request stopped gives the same lines as one layout
  // (the continuation is no first line, so it has no first-line indent).
  const auto rest = layoutLines(d, two.nextChar, tall);
  ASSERT_EQ(rest.size(), lines.size() - 2);
  for (size_t i = 0; i < rest.size(); ++i) {
    EXPECT_EQ(rest[i].first, lines[i + 2].first);
    EXPECT_EQ(rest[i].end, lines[i + 2].end);
  }
  // Everything fits: the length comes back; past the end nothing is laid out.
  EXPECT_EQ(formatRange(d, 0, tall).nextChar, d.length());
  EXPECT_EQ(formatRange(d, d.length() + 5, tall).nextChar, d.length());
  EXPECT_EQ(formatRange(Document{}, 0, tall).nextChar, 0);
}

TEST(RtfLayout, SpacingAndLineHeightsFollowTheParagraphFormat) {
  const Document base = doc("", "um\\par dois");
  const auto plain = layoutLines(base, 0, {0, 0, 5000, 1 << 30});
  ASSERT_EQ(plain.size(), 2u);
  const int32_t natural = plain[0].height;
  // Arial's ascent and descent are 1854 and 434 units of 2048.
  EXPECT_NEAR(natural, 200.0 * (1854 + 434) / 2048, 1);
  const Document spaced = doc("\\sb100\\sa300", "um\\par dois");
  const auto s = layoutLines(spaced, 0, {0, 0, 5000, 1 << 30});
  EXPECT_EQ(s[0].top, 100);
  EXPECT_NEAR(s[1].top, 100 + natural + 300 + 100, 1);
  EXPECT_EQ(layoutLines(doc("\\sl-400"), 0, {0, 0, 5000, 1 << 30})[0].height, 400);
  EXPECT_EQ(layoutLines(doc("\\sl100"), 0, {0, 0, 5000, 1 << 30})[0].height, natural);
  EXPECT_EQ(layoutLines(doc("\\sl600"), 0, {0, 0, 5000, 1 << 30})[0].height, 600);
  EXPECT_NEAR(layoutLines(doc("\\sl480\\slmult1"), 0, {0, 0, 5000, 1 << 30})[0].height, 2 * natural,
              1);
  // An empty paragraph and a line break at a paragraph's end are lines too.
  EXPECT_EQ(layoutLines(doc("", "a\\par\\par b\\line"), 0, {0, 0, 5000, 1 << 30}).size(), 4u);
}

// Text runs drawn at one pixel per 15 twips from the origin.
std::vector<EmfTextRun> drawn(const Document& d, int32_t widthTwips) {
  EmfCanvas c({0, 0, 1000, 1000});
  formatRange(d, 0, {0, 0, widthTwips, 15000}, &c, {0, 0, widthTwips / 15, 1000});
  return enumerateTextRuns(c.finish());
}

TEST(RtfLayout, IndentsTabsAndAlignmentPlaceTheRuns) {
  // First line at li + fi, the next ones at li; tabs go to their stops.
  auto runs = drawn(doc("\\li600\\fi300\\tx3000", "Nome\\tab Valor"), 6000);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].text, "Nome");
  EXPECT_EQ(runs[0].reference.x, 900 / 15);
  EXPECT_EQ(runs[1].reference.x, 3000 / 15);
  // The text after a right, centred or decimal stop ends at, is centred on,
  // or has its separator on the stop.
  runs =
      drawn(doc("\\tqr\\tx3000\\tqc\\tx4500\\tqdec\\tx6000", "a\\tab 1.234,50\\tab meio\\tab 12,5"),
            9000);
  ASSERT_EQ(runs.size(), 4u);
  EXPECT_NEAR(runs[1].reference.x + widthOf(u"1.234,50") / 15, 3000 / 15, 1);
  EXPECT_NEAR(runs[2].reference.x + widthOf(u"meio") / 30, 4500 / 15, 1);
  EXPECT_NEAR(runs[3].reference.x + widthOf(u"12") / 15, 6000 / 15, 1);
  runs = drawn(doc("\\li600\\fi-300"), 2400);
  ASSERT_GE(runs.size(), 2u);
  EXPECT_EQ(runs[0].reference.x, 300 / 15);
  EXPECT_EQ(runs[1].reference.x, 600 / 15);
  // Right and centred lines end at, or are centred in, the room the indents leave.
  const int32_t w = roundEven(widthOf(u"abc def") / 15);
  runs = drawn(doc("\\qr\\ri300", "abc def"), 6000);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_NEAR(runs[0].reference.x + w, (6000 - 300) / 15, 1);
  runs = drawn(doc("\\qc", "abc def"), 6000);
  EXPECT_NEAR(runs[0].reference.x, (400 - w) / 2, 1);
  // Justified lines but the last fill the width.
  runs = drawn(doc("\\qj"), 2400);
  ASSERT_GE(runs.size(), 3u);
  for (size_t i = 0; i + 1 < runs.size(); ++i) EXPECT_NEAR(runs[i].bounds.right + 1, 160, 1) << i;
  EXPECT_LT(runs.back().bounds.right + 1, 155);
}

}  // namespace
}  // namespace orv::rtf
