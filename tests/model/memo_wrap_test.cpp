// Line breaking of text objects: breaks at blanks, overlong words, paragraph
// ends, hyphenation. A monospaced face makes every expectation a matter of
// counting characters.

#include <gtest/gtest.h>

#include <random>

#include "model/memo_test_support.h"
#include "model/memo_view.h"

namespace orv {
namespace {

using test::fontOf;
using test::ModelStateGuard;
using test::widthOf;

constexpr char P = kParagraphEnd;

std::string para(std::string s) {
  return s + P;
}

class MemoWrap : public ::testing::Test {
 protected:
  ModelStateGuard guard;
  TfrMemoView memo;
  int32_t cw = 0;  // advance of one character of the monospaced face

  void SetUp() override {
    modelState().Mode = DocumentMode::Designing;
    modelState().CurrentPage = nullptr;
    memo.Font.Name = "Courier New";
    memo.Font.Charset = 204;  // Cyrillic: the hyphenation rule's code page
    memo.Left = 10;
    memo.Top = 20;
    memo.Height = 200;
    const FontSpec f = fontOf("Courier New", -13, 204);
    cw = widthOf("a", f);
    ASSERT_GT(cw, 0);
    // Every character used below has the same advance.
    ASSERT_EQ(widthOf("ab \xEE\xEB\xE0\xFA,.-", f), 10 * cw);
  }

  // Inner width of `chars` characters: dx minus both horizontal gaps (2 each
  // with a frame of width 1).
  void innerChars(int32_t chars) { memo.Width = chars * cw + 4; }

  StringList wrap(StringList text) {
    memo.ExpandedText = std::move(text);
    memo.PreWrapped = false;
    memo.ApplyScale();
    memo.WrapMemo();
    memo.RestoreGeometry();
    return WrappedLines();
  }
};

TEST_F(MemoWrap, FirstWordAloneWhenOneCharacterTooNarrow) {
  // "abc def" needs 7 characters; the memo holds 6.
  innerChars(6);
  EXPECT_EQ(wrap({"abc def"}), (StringList{"abc", para("def")}));
  innerChars(7);
  EXPECT_EQ(wrap({"abc def"}), (StringList{para("abc def")}));
}

TEST_F(MemoWrap, BreaksAtTheLastBlankThatFits) {
  innerChars(9);
  EXPECT_EQ(wrap({"aa bb aa bb aa"}), (StringList{"aa bb aa", "bb aa" + std::string(1, P)}));
  // Several blanks: the line is cut at the last one before the overflow.
  innerChars(5);
  EXPECT_EQ(wrap({"ab  ab  ab"}), (StringList{"ab ", "ab ", para("ab")}));
}

TEST_F(MemoWrap, OverlongWordsAreCutWhereTheyOverflow) {
  innerChars(4);
  EXPECT_EQ(wrap({"abababab ab"}), (StringList{"abab", "abab", para("ab")}));
  innerChars(3);
  EXPECT_EQ(wrap({"ab abababab"}), (StringList{"ab", "aba", "bab", para("ab")}));
}

TEST_F(MemoWrap, EveryParagraphEndsWithTheMarker) {
  innerChars(5);
  EXPECT_EQ(wrap({"ab ab ab", "", "a"}), (StringList{"ab ab", para("ab"), para(""), para("a")}));
  // Line breaks inside a line end paragraphs too; runs of them collapse.
  EXPECT_EQ(wrap({"ab\r\nba\r\n\r\nab"}), (StringList{para("ab"), para("ba"), para("ab")}));
  // A line ending in breaks gives no empty paragraph after it.
  EXPECT_EQ(wrap({"ab\r\n"}), (StringList{para("ab")}));
}

TEST_F(MemoWrap, WithoutWordWrapLinesStayWhole) {
  memo.Flags &= ~flWordWrap;
  innerChars(2);
  EXPECT_EQ(wrap({"ab ab ab", "b"}), (StringList{para("ab ab ab"), para("b")}));
  // Rotated text without wrapping carries no markers.
  memo.Alignment = frtaVertical;
  EXPECT_EQ(wrap({"ab ab ab", "b"}), (StringList{"ab ab ab", "b"}));
}

TEST_F(MemoWrap, PreWrappedLinesAreTakenAsTheyAre) {
  innerChars(2);
  memo.ExpandedText = {"abc def", para("gh ij")};
  memo.PreWrapped = true;
  memo.ApplyScale();
  memo.WrapMemo();
  memo.RestoreGeometry();
  EXPECT_EQ(WrappedLines(), (StringList{"abc def", para("gh ij")}));
}

TEST_F(MemoWrap, LoneExpressionIsLeftWholeInTheDesigner) {
  innerChars(4);
  EXPECT_EQ(wrap({"[Data.Field]"}), (StringList{"[Data.Field]"}));
  modelState().Mode = DocumentMode::Running;
  EXPECT_EQ(wrap({"[Data.Field]"}).size(), 3u);
}

TEST_F(MemoWrap, TextBlockHeightCountsLinesAndBothGaps) {
  innerChars(5);
  memo.LineSpacing = 4;
  wrap({"ab ab ab", "ab"});
  // Three lines of (spacing + 13-pixel font) plus the top and bottom gaps.
  EXPECT_EQ(memo.LineStep, 4 + 13);
  EXPECT_EQ(memo.TextBlockHeight, 3 * 17 + 2 * 1);
  // Rotated: the same lines across the width, gaps from GapX.
  memo.Alignment = frtaVertical;
  memo.Height = 5 * cw + 2;
  memo.GapX = 3;
  wrap({"ab ab ab", "ab"});
  EXPECT_EQ(memo.TextBlockHeight, 3 * 17 + 2 * 3);
}

// -------------------------------------------------------------- hyphenation

// "молоко", "объект" and "мама" in code page 1251.
const std::string kMoloko = "\xEC\xEE\xEB\xEE\xEA\xEE";
const std::string kObyekt = "\xEE\xE1\xFA\xE5\xEA\xF2";

TEST(MemoBreakWord, SyllableRule) {
  // мо-ло-ко: a vowel followed by consonant and vowel.
  EXPECT_EQ(TfrMemoView::BreakWord(kMoloko), (std::vector<int32_t>{2, 4}));
  // The rule works on upper case: МОЛОКО breaks the same.
  EXPECT_EQ(TfrMemoView::BreakWord("\xCC\xCE\xCB\xCE\xCA\xCE"), (std::vector<int32_t>{2, 4}));
  // объ-ект: after the hard sign.
  EXPECT_EQ(TfrMemoView::BreakWord(kObyekt), (std::vector<int32_t>{3}));
  // Two vowels in a row: ау-ди (А У Д И) breaks after each vowel that
  // precedes a vowel or a consonant-vowel pair.
  EXPECT_EQ(TfrMemoView::BreakWord("\xE0\xF3\xE4\xE8"), (std::vector<int32_t>{2}));
  // A sign followed by a delimiter two places on gives nothing.
  EXPECT_EQ(TfrMemoView::BreakWord("\xE1\xFA\xE1 \xE1"), (std::vector<int32_t>{}));
}

TEST(MemoBreakWord, ShortWordsAndLatinTextHaveNoPoints) {
  EXPECT_TRUE(TfrMemoView::BreakWord("\xEC\xEE\xEB").empty());  // three letters
  EXPECT_TRUE(TfrMemoView::BreakWord("").empty());
  EXPECT_TRUE(TfrMemoView::BreakWord("hello world").empty());
}

TEST_F(MemoWrap, HyphenatesAtTheLastSyllableThatFits) {
  memo.Flags |= flWordBreak;
  innerChars(6);
  // "xx мо-" is six characters with the hyphen; "xx моло-" would be eight.
  EXPECT_EQ(wrap({"xx " + kMoloko}), (StringList{"xx \xEC\xEE-", para("\xEB\xEE\xEA\xEE")}));
  innerChars(8);
  EXPECT_EQ(wrap({"xx " + kMoloko}), (StringList{"xx \xEC\xEE\xEB\xEE-", para("\xEA\xEE")}));
  // Without word breaking the word moves to the next line whole.
  memo.Flags &= ~flWordBreak;
  innerChars(6);
  EXPECT_EQ(wrap({"xx " + kMoloko}), (StringList{"xx", para(kMoloko)}));
}

TEST_F(MemoWrap, WordBreakWithNoSyllableThatFitsStillEnds) {
  // Two characters plus the hyphen never fit in two: every syllable fails.
  memo.Flags |= flWordBreak;
  innerChars(2);
  const StringList lines = wrap({"xx " + kMoloko + kMoloko});
  ASSERT_FALSE(lines.empty());
  ASSERT_LT(lines.size(), 20u);
  std::string joined;
  for (const auto& l : lines) joined += l;
  std::erase(joined, P);
  std::erase(joined, ' ');
  EXPECT_EQ(joined, "xx" + kMoloko + kMoloko);
}

// Random paragraphs at random widths: breaking must end, keep every
// character (blanks at breaks aside) and end the paragraph with the marker.
TEST_F(MemoWrap, RandomParagraphsLoseNoText) {
  const std::string alphabet = "ab  \xEE\xEB\xE0\xFA\xEC,.";
  std::mt19937 rng(12345);
  for (int round = 0; round < 3000; ++round) {
    std::string s;
    const int n = std::uniform_int_distribution<int>(0, 30)(rng);
    for (int i = 0; i < n; ++i)
      s += alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(rng)];
    innerChars(std::uniform_int_distribution<int>(0, 10)(rng));
    if (round % 2)
      memo.Flags |= flWordBreak;
    else
      memo.Flags &= ~flWordBreak;
    const StringList lines = wrap({s});
    ASSERT_FALSE(lines.empty()) << s;
    ASSERT_LE(lines.size(), s.size() + 2) << s;
    EXPECT_EQ(lines.back().back(), P) << "'" << s << "' width " << memo.Width;
    std::string joined;
    for (std::string l : lines) {
      std::erase(l, P);
      if (!l.empty() && l.back() == '-') l.pop_back();  // only hyphens end in '-'
      joined += l;
    }
    std::string expected = s;
    std::erase(expected, ' ');
    std::erase(joined, ' ');
    ASSERT_EQ(joined, expected) << "'" << s << "' width " << memo.Width << " round " << round;
  }
}

TEST_F(MemoWrap, LongParagraphBreaksInLinearTime) {
  // A 60000-character word in a narrow memo: thousands of lines, each found
  // without measuring the paragraph again.
  innerChars(10);
  const StringList lines = wrap({std::string(60000, 'a')});
  ASSERT_EQ(lines.size(), 6000u);
  EXPECT_EQ(lines.back(), para(std::string(10, 'a')));
}

}  // namespace
}  // namespace orv
