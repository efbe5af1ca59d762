#include "printing/page_list.h"

#include <gtest/gtest.h>

#include <numeric>

namespace orv {
namespace {

std::vector<int32_t> range(int32_t from, int32_t to) {
  std::vector<int32_t> v(size_t(to - from + 1));
  std::iota(v.begin(), v.end(), from);
  return v;
}

std::vector<int32_t> pages(const std::string& text, int32_t count = 12) {
  const PageSelection s = ParsePageList(text, count);
  EXPECT_FALSE(s.all) << text;
  return s.pages;
}

TEST(ParsePageListTest, EmptyTextSelectsEveryPage) {
  for (const char* text : {"", " ", "   "}) {
    const PageSelection s = ParsePageList(text, 12);
    EXPECT_TRUE(s.all);
    EXPECT_TRUE(s.includes(1));
    EXPECT_TRUE(s.includes(12));
  }
}

TEST(ParsePageListTest, SinglesAndRanges) {
  std::vector<int32_t> expected = {1, 3};
  const auto tail = range(5, 12);
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(pages("1,3,5-12"), expected);
  EXPECT_EQ(pages("1 , 2"), pages("1,2"));
  EXPECT_EQ(pages(" 1 - 3 "), range(1, 3));
  // Open end runs to the last page.
  EXPECT_EQ(pages("5-", 12), range(5, 12));
  EXPECT_EQ(pages("2,5-", 7), (std::vector<int32_t>{2, 5, 6, 7}));
  // A later '-' replaces the range start.
  EXPECT_EQ(pages("1-3-5"), range(3, 5));
  // Duplicates are harmless; the selection is kept sorted for lookups.
  EXPECT_EQ(pages("3,1,3,2-3"), range(1, 3));
  // Non-canonical numbers select the page they denote.
  EXPECT_EQ(pages("007,+8,$A"), (std::vector<int32_t>{7, 8, 10}));
}

TEST(ParsePageListTest, SelectionsThatNameNoPage) {
  // Numbers beyond the page count select nothing, and the list then does not
  // fall back to printing every page.
  const PageSelection beyond = ParsePageList("20,30", 12);
  EXPECT_FALSE(beyond.all);
  for (int p = 1; p <= 12; ++p) EXPECT_FALSE(beyond.includes(p));
  // An open end past the last page is no slip of the user's.
  EXPECT_TRUE(ParsePageList("5-", 3).pages.empty());
  EXPECT_EQ(pages("1,5-", 3), (std::vector<int32_t>{1}));
}

TEST(ParsePageListTest, ReversedRangesAreRefusedWhereverTheyStand) {
  // Printing nothing for "3-1", or only page 2 for "3-1,2", would hide the slip.
  for (const char* text : {"3-1", "3-1,2", "2,3-1", "7-3", "1-9-4"}) {
    EXPECT_THROW(ParsePageList(text, 12), ReversedRangeError) << text;
  }
  try {
    ParsePageList("1, 12 - 10", 12);
    FAIL();
  } catch (const ReversedRangeError& e) {
    EXPECT_EQ(e.from, 12);
    EXPECT_EQ(e.to, 10);
    EXPECT_STREQ(e.what(), "O intervalo 12-10 está invertido: escreva 10-12.");
  }
  // A range of one page is not reversed.
  EXPECT_EQ(pages("4-4"), (std::vector<int32_t>{4}));
}

TEST(ParsePageListTest, HugeRangesStopAtTheLastPage) {
  const PageSelection s = ParsePageList("1-2147483647", 5);
  EXPECT_EQ(s.pages, range(1, 5));
  EXPECT_TRUE(ParsePageList("100-2147483647", 5).pages.empty());
}

TEST(ParsePageListTest, PiecesThatAreNotIntegersFail) {
  for (const char* text : {"-", "a", "1,,2", "1,a", ",1", "1-x", "-3", "1--3", "3-,", "1.5",
                           "2147483648", "$", "0x", "$G"}) {
    EXPECT_THROW(ParsePageList(text, 12), InvalidIntegerError) << text;
  }
  try {
    ParsePageList("1,abc", 12);
    FAIL();
  } catch (const InvalidIntegerError& e) {
    EXPECT_EQ(e.text, "abc");
    EXPECT_STREQ(e.what(), "'abc' não é um valor inteiro válido");
  }
  // An empty piece is said in words, not as a pair of empty quotes.
  try {
    ParsePageList("1,,2", 12);
    FAIL();
  } catch (const InvalidIntegerError& e) {
    EXPECT_EQ(e.text, "");
    EXPECT_STREQ(e.what(), "falta um número: há um trecho vazio");
  }
}

TEST(ParseIntegerTest, AcceptsWhatTheIntegerFieldsAccept) {
  EXPECT_EQ(parseInteger("0"), 0);
  EXPECT_EQ(parseInteger("-12"), -12);
  EXPECT_EQ(parseInteger("+12"), 12);
  EXPECT_EQ(parseInteger("2147483647"), 2147483647);
  EXPECT_EQ(parseInteger("-2147483648"), INT32_MIN);
  EXPECT_EQ(parseInteger("$ff"), 255);
  EXPECT_EQ(parseInteger("0X10"), 16);
  for (const char* bad : {"", "+", "-", " 1", "1 ", "1e3", "99999999999", "-2147483649"})
    EXPECT_THROW(parseInteger(bad), InvalidIntegerError) << bad;
}

}  // namespace
}  // namespace orv
