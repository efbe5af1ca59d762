// The RTF reader and writer: what a document's control words mean in the
// model, that writing and reading again changes nothing, and that damaged
// input gives what could be read.
#include <gtest/gtest.h>

#include <string>

#include "platform/rtf_document.h"

namespace orv::rtf {
namespace {

const char* const kSample =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0"
    "{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}{\\f1\\froman\\fcharset204 Times New Roman;}"
    "{\\f2\\fnil Courier{\\*\\falt Courier New};}}"
    "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
    "{\\stylesheet{\\s0 Normal;}}{\\info{\\title Hidden title}{\\author Someone}}"
    "{\\*\\generator Tests;}\\uc1"
    "\\pard\\qj\\li720\\ri360\\fi-360\\sb120\\sa240\\sl-300\\slmult0\\tx1440\\tqr\\tx2880 "
    "\\f0\\fs20 plain {\\b bold {\\i both}} \\ul under\\ulnone  {\\strike gone}\\par"
    "\\pard\\qc{\\f1 \\'c0\\'c1} \\u915? \\u-3913\\'3f x\\tab y\\line z\\par"
    "\\pard\\qr{\\cf1 red}{\\highlight2 marked}{\\super 2}{\\sub i}{\\*\\unknown skipped}"
    "{\\pict\\wmetafile8\\bin4 {}}}} after\\par"
    "\\pard\\plain last}";

TEST(RtfReader, ReadsParagraphAndCharacterFormatsFromTheTables) {
  const Document d = read(std::string_view(kSample));
  ASSERT_EQ(d.fonts.size(), 3u);
  EXPECT_EQ(d.fonts[0], (FontEntry{"Arial", 0}));
  EXPECT_EQ(d.fonts[1], (FontEntry{"Times New Roman", 204}));
  EXPECT_EQ(d.fonts[2].name, "Courier");
  ASSERT_EQ(d.colors.size(), 3u);
  EXPECT_EQ(d.colors[0], clNone);
  EXPECT_EQ(d.colors[1], rgb(255, 0, 0));
  ASSERT_EQ(d.paragraphs.size(), 4u);

  const Paragraph& p0 = d.paragraphs[0];
  EXPECT_EQ(p0.format.align, Align::Justify);
  EXPECT_EQ(p0.format.leftIndent, 720);
  EXPECT_EQ(p0.format.rightIndent, 360);
  EXPECT_EQ(p0.format.firstIndent, -360);
  EXPECT_EQ(p0.format.spaceBefore, 120);
  EXPECT_EQ(p0.format.spaceAfter, 240);
  EXPECT_EQ(p0.format.lineSpacing, -300);
  EXPECT_EQ(p0.format.tabs, (std::vector<TabStop>{{1440, TabKind::Left}, {2880, TabKind::Right}}));
  // Groups give their formats back when they close.
  ASSERT_EQ(p0.runs.size(), 7u);
  EXPECT_EQ(p0.runs[0].text, u"plain ");
  EXPECT_EQ(p0.runs[0].format.halfPoints, 20);
  EXPECT_EQ(p0.runs[0].format.font, 0);
  EXPECT_TRUE(p0.runs[1].format.bold);
  EXPECT_FALSE(p0.runs[1].format.italic);
  EXPECT_EQ(p0.runs[2].text, u"both");
  EXPECT_TRUE(p0.runs[2].format.bold && p0.runs[2].format.italic);
  EXPECT_EQ(p0.runs[3].text, u" ");
  EXPECT_FALSE(p0.runs[3].format.bold);
  EXPECT_EQ(p0.runs[4].text, u"under");
  EXPECT_TRUE(p0.runs[4].format.underline);
  EXPECT_EQ(p0.runs[5].text, u" ");
  EXPECT_TRUE(p0.runs[6].format.strike);

  // \'hh in the code page of the font's character set, \u with its
  // fallback skipped (a negative number is the upper half), tab and line.
  const Paragraph& p1 = d.paragraphs[1];
  EXPECT_EQ(p1.format.align, Align::Center);
  EXPECT_EQ(p1.format.leftIndent, 0) << "\\pard resets";
  std::u16string text;
  for (const rtf::Run& r : p1.runs) text += r.text;
  EXPECT_EQ(text, u"АБ Γ \uF0B7 x\ty\vz");
  EXPECT_EQ(p1.runs[0].format.font, 1);

  const Paragraph& p2 = d.paragraphs[2];
  EXPECT_EQ(p2.format.align, Align::Right);
  ASSERT_GE(p2.runs.size(), 5u);
  EXPECT_EQ(p2.runs[0].text, u"red");
  EXPECT_EQ(d.colorAt(p2.runs[0].format.color, 0), rgb(255, 0, 0));
  EXPECT_EQ(d.colorAt(p2.runs[1].format.background, 0), rgb(0, 0, 255));
  EXPECT_EQ(p2.runs[2].format.vertical, 1);
  EXPECT_EQ(p2.runs[3].format.vertical, -1);
  // Unknown ignorable destinations, pictures and their binary data are skipped.
  EXPECT_EQ(p2.runs[4].text, u" after");

  EXPECT_EQ(d.paragraphs[3].runs.at(0).text, u"last");
  EXPECT_EQ(d.paragraphs[3].runs[0].format.halfPoints, 24);
  EXPECT_EQ(d.plainText(),
            u"plain bold both under gone\nАБ Γ \uF0B7 x\ty\nz\nredmarked2i after\nlast");
}

TEST(RtfReader, TableRowsBecomeParagraphsWithTheirCellsAtTabStops) {
  const Document d = read(std::string_view(
      "{\\rtf1\\trowd\\cellx2000\\cellx5000\\cellx7000\\pard\\intbl Nome\\cell Cidade\\cell "
      "UF\\cell\\row\\pard depois\\par}"));
  ASSERT_EQ(d.paragraphs.size(), 2u);
  EXPECT_EQ(d.paragraphs[0].runs[0].text, u"Nome\tCidade\tUF\t");
  EXPECT_EQ(d.paragraphs[0].format.tabs, (std::vector<TabStop>{{2000}, {5000}}));
  EXPECT_TRUE(d.paragraphs[1].format.tabs.empty());
}

TEST(RtfReader, PositionsCountParagraphMarks) {
  const Document d = read(std::string_view("{\\rtf1 ab\\par\\par cd\\par}"));
  ASSERT_EQ(d.paragraphs.size(), 3u);
  EXPECT_EQ(d.text(), u"ab\r\rcd");
  EXPECT_EQ(d.length(), 6);
  EXPECT_TRUE(read(std::string_view("{\\rtf1 }")).empty());
  // A section break after a paragraph mark and a page break add no paragraph.
  EXPECT_EQ(read(std::string_view("{\\rtf1 a\\par\\sect b\\page c\\sect}")).text(), u"a\rbc");
  EXPECT_TRUE(read(std::string_view("")).paragraphs.empty());
}

TEST(RtfWriter, ReadingWhatWasWrittenGivesTheSameDocument) {
  Document d = read(std::string_view(kSample));
  // Whatever a report run may put into a document, too.
  d.replace(3, 2, u"{\\}é\u4E2D;\r\nnew paragraph\nbreak");
  d.fonts.push_back({"Odd;Name{\\}\xE9", 238});
  d.paragraphs[0].runs[0].format.font = int32_t(d.fonts.size() - 1);
  d.paragraphs.back().runs[0].format.font = -1;
  d.paragraphs.back().markFormat.color = 2;
  const std::string once = write(d);
  const Document back = read(once);
  EXPECT_EQ(back, d) << once;
  EXPECT_EQ(write(back), once);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(read(write(read(write(back)))), d);
}

TEST(RtfReader, DamagedInputGivesWhatCouldBeRead) {
  // Cut anywhere, the prefix never throws and never invents text.
  const std::string full = write(read(std::string_view(kSample)));
  for (size_t n = 0; n <= full.size(); ++n) {
    const Document d = read(std::string_view(full).substr(0, n));
    EXPECT_LE(d.length(), int32_t(n));
  }
  // Deep nesting keeps the text and costs no stack.
  std::string deep = "{\\rtf1 a";
  deep += std::string(200000, '{') + "deep" + std::string(200000, '}') + " b}";
  EXPECT_EQ(read(deep).plainText(), u"adeep b");
  // Unbalanced closing, junk after the end, lone backslash, huge numbers.
  EXPECT_EQ(read(std::string_view("{\\rtf1 x}}} y")).plainText(), u"x");
  EXPECT_EQ(read(std::string_view("{\\rtf1\\fs999999999999999 big\\")).plainText(), u"big");
  EXPECT_EQ(read(std::string_view("{\\rtf1\\bin999999 ")).plainText(), u"");
  EXPECT_EQ(read(std::string_view("{\\rtf1\\u65\\'")).plainText(), u"A");
}

TEST(RtfDocument, SlicesJoinToTheWholeAndEditsKeepFormats) {
  const Document d = read(std::string_view(kSample));
  const std::u16string whole = d.text();
  const int32_t n = d.length();
  for (int32_t a : {0, 5, 27, 28}) {
    for (int32_t b : {a, a + 1, n - 3, n}) {
      if (b < a) continue;
      const Document s1 = d.slice(0, a), s2 = d.slice(a, b), s3 = d.slice(b, n);
      EXPECT_EQ(s1.text() + s2.text() + s3.text(), whole) << a << " " << b;
      EXPECT_EQ(s2.length(), b - a);
    }
  }
  // A slice keeps the paragraph formats of the paragraphs it touches.
  const Document tail = d.slice(28, n);
  EXPECT_EQ(tail.paragraphs.front().format.align, Align::Center);

  Document e = read(std::string_view("{\\rtf1 {\\b [x]} tail\\par next}"));
  e.replace(0, 3, u"value");
  EXPECT_EQ(e.text(), u"value tail\rnext");
  EXPECT_TRUE(e.paragraphs[0].runs[0].format.bold);
  EXPECT_EQ(e.paragraphs[0].runs[0].text, u"value");
  // Removing a paragraph mark joins the paragraphs.
  e.replace(10, 1, u"");
  EXPECT_EQ(e.paragraphs.size(), 1u);

  // Fields: the value takes the opening bracket's format and the character
  // set asked for; a paragraph mark in it starts a paragraph of the same
  // format; a field across a paragraph mark joins the paragraphs.
  Document f = read(std::string_view(
      "{\\rtf1{\\fonttbl{\\f0\\fcharset0 Arial;}}\\qc\\f0 {\\b [x]} tail [y\\par z] end\\par "
      "next ['[q]']}"));
  std::vector<std::u16string> asked;
  f.replaceFields(
      [&](std::u16string_view inner) {
        asked.emplace_back(inner);
        return inner == u"x" ? std::u16string(u"v1\r\nv2") : std::u16string();
      },
      false, uint8_t(204), 0);
  EXPECT_EQ(asked, (std::vector<std::u16string>{u"x", u"y\rz", u"'[q]'"}));
  EXPECT_EQ(f.text(), u"v1\rv2 tail  end\rnext ");
  ASSERT_EQ(f.paragraphs.size(), 3u);
  EXPECT_EQ(f.paragraphs[1].format.align, Align::Center);
  const CharFormat& v2 = f.paragraphs[1].runs[0].format;
  EXPECT_TRUE(v2.bold);
  EXPECT_EQ(f.fonts.at(size_t(v2.font)), (FontEntry{"Arial", 204}));
}

}  // namespace
}  // namespace orv::rtf
