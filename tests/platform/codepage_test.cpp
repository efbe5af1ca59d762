#include "platform/codepage.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace orv {
namespace {

TEST(CodePage, Windows1252UpperControlBlockHoldsTypographicCharacters) {
  // The published Windows-1252 table for 0x80-0x9F; 0 marks the five holes.
  const char16_t expected[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       //
                                 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  for (int b = 0x80; b < 0xA0; ++b) {
    char16_t want = expected[b - 0x80] ? expected[b - 0x80] : char16_t(b);
    EXPECT_EQ(byteToUnicode(uint8_t(b), 1252), want) << std::hex << b;
  }
  // The rest of the upper half is Latin-1.
  for (int b = 0xA0; b < 0x100; ++b) EXPECT_EQ(byteToUnicode(uint8_t(b), 1252), char16_t(b));
  EXPECT_EQ(decodeBytes("Ol\xE1 \x80 5", 1252), QStringLiteral(u"Olá € 5"));
}

TEST(CodePage, CharsetsSelectTheirPages) {
  EXPECT_EQ(codePageForCharset(0), 1252);
  EXPECT_EQ(codePageForCharset(1), 1252);
  EXPECT_EQ(codePageForCharset(204), 1251);
  EXPECT_EQ(codePageForCharset(238), 1250);
  EXPECT_EQ(codePageForCharset(161), 1253);
  EXPECT_EQ(codePageForCharset(162), 1254);
  EXPECT_EQ(codePageForCharset(186), 1257);
  EXPECT_EQ(codePageForCharset(177), 1255);
  EXPECT_EQ(codePageForCharset(178), 1256);
  EXPECT_EQ(codePageForCharset(163), 1258);
  EXPECT_EQ(codePageForCharset(222), 874);
  EXPECT_EQ(codePageForCharset(2), kCodePageSymbol);
  EXPECT_EQ(codePageForCharset(128), 1252);  // double-byte sets are not supported
  // Cyrillic capital A and small ya; Polish L with stroke; Greek omega.
  EXPECT_EQ(byteToUnicode(0xC0, codePageForCharset(204)), u'\u0410');
  EXPECT_EQ(byteToUnicode(0xFF, codePageForCharset(204)), u'\u044F');
  EXPECT_EQ(byteToUnicode(0xA3, codePageForCharset(238)), u'\u0141');
  EXPECT_EQ(byteToUnicode(0xF9, codePageForCharset(161)), u'\u03C9');
}

TEST(CodePage, WingdingsMarksMapToUnicodeLookAlikes) {
  int cp = codePageForFont("Wingdings", 1);  // the check box selects charset 1
  EXPECT_EQ(cp, kCodePageSymbol);
  EXPECT_EQ(codePageForFont("WINGDINGS", 0), kCodePageSymbol);
  EXPECT_EQ(byteToUnicode(0xFC, cp), u'\u2714');
  EXPECT_EQ(byteToUnicode(0xFB, cp), u'\u2718');
  EXPECT_EQ(codePageForFont("Arial", 2), kCodePageSymbol);
  EXPECT_EQ(byteToUnicode('A', cp), u'A');
  EXPECT_EQ(codePageForFont("Arial", 204), 1251);
}

// glibc's converter is an independent oracle for the pages it knows.
std::u16string iconvDecode(const char* page, uint8_t byte, bool* ok) {
  iconv_t cd = iconv_open("UTF-16LE", page);
  if (cd == iconv_t(-1)) {
    *ok = false;
    return {};
  }
  char in[1] = {char(byte)};
  char out[8] = {};
  char* ip = in;
  char* op = out;
  size_t il = 1, ol = sizeof out;
  *ok = iconv(cd, &ip, &il, &op, &ol) != size_t(-1);
  // Vietnamese holds a base letter back waiting for a combining mark: flush.
  if (*ok) *ok = iconv(cd, nullptr, nullptr, &op, &ol) != size_t(-1);
  iconv_close(cd);
  std::u16string r;
  for (char* p = out; p + 1 < op; p += 2)
    r.push_back(char16_t(uint8_t(p[0]) | (uint8_t(p[1]) << 8)));
  return r;
}

TEST(CodePage, PagesAgreeWithIconvAndRoundTrip) {
  const std::pair<int, const char*> pages[] = {{1252, "CP1252"}, {1250, "CP1250"}, {1251, "CP1251"},
                                               {1253, "CP1253"}, {1254, "CP1254"}, {1255, "CP1255"},
                                               {1256, "CP1256"}, {1257, "CP1257"}, {1258, "CP1258"},
                                               {874, "CP874"},   {850, "CP850"}};
  for (auto [cp, name] : pages) {
    int compared = 0;
    std::string all;
    for (int b = 0; b < 256; ++b) {
      all.push_back(char(b));
      bool ok = false;
      std::u16string want = iconvDecode(name, uint8_t(b), &ok);
      if (!ok || want.size() != 1) continue;  // undefined in this page, or a combining pair
      EXPECT_EQ(byteToUnicode(uint8_t(b), cp), want[0]) << cp << " byte " << b;
      ++compared;
    }
    EXPECT_GT(compared, 200) << cp;
    // Every byte, defined or not, survives decoding and encoding again.
    EXPECT_EQ(encodeText(decodeBytes(all, cp), cp), all) << cp;
  }
}

TEST(CodePage, UnmappableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(encodeText(u"Ж€a", 1252),
            "?\x80"
            "a");
  EXPECT_EQ(encodeText(u"Жa€", 1251),
            "\xC6"
            "a\x88");
  EXPECT_EQ(encodeText(u"日本", 1250), "??");
  EXPECT_EQ(encodeText(u"", 1252), "");
  // Plain text, and plain text with one character of the page at its end.
  EXPECT_EQ(encodeText(u"Pedido 42", 1252), "Pedido 42");
  EXPECT_EQ(encodeText(u"Pedidos por regi\u00e3o", 1252), "Pedidos por regi\xE3o");
}

}  // namespace
}  // namespace orv
