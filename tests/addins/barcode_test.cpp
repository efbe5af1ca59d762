// Module strings checked against the published symbology tables, written here
// in their own form (module bits, weights) independently of the generator's
// tables; rules of the generator itself (padding, limits, errors, geometry).
#include "addins/barcode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <string>

#include "addins/barcode_test_util.h"
#include "platform/emf_canvas.h"
#include "platform/emf_player.h"
#include "platform/error.h"
#include "platform/qt_canvas.h"

namespace orv {
namespace {

using test::moduleBits;

TfrBarcode make(int typ, const std::string& text, bool checksum = false) {
  TfrBarcode b;
  b.setTyp(typ);
  b.setText(text);
  b.setChecksum(checksum);
  b.setHeight(50);
  return b;
}

std::string bits(int typ, const std::string& text, bool checksum = false) {
  TfrBarcode b = make(typ, text, checksum);
  return moduleBits(b);
}

std::string errorOf(TfrBarcode& b) {
  try {
    b.BuildModuleString();
  } catch (const Error& e) {
    return e.what();
  }
  return "no error";
}

// Modulo 10 as EAN and UPC define it: weights 3 and 1 from the right.
char mod10(const std::string& digits) {
  int sum = 0;
  for (size_t i = 0; i < digits.size(); ++i)
    sum += (digits[digits.size() - 1 - i] - '0') * (i % 2 == 0 ? 3 : 1);
  return char('0' + (10 - sum % 10) % 10);
}

// ---- EAN and UPC: bit patterns of the published L code; R is its complement,
// G is R reversed.
const char* const kL[10] = {"0001101", "0011001", "0010011", "0111101", "0100011",
                            "0110001", "0101111", "0111011", "0110111", "0001011"};
std::string eanL(char d) {
  return kL[d - '0'];
}
std::string eanR(char d) {
  std::string r = eanL(d);
  for (char& c : r) c = c == '1' ? '0' : '1';
  return r;
}
std::string eanG(char d) {
  std::string r = eanR(d);
  return std::string(r.rbegin(), r.rend());
}
const char* const kFirstDigit[10] = {"LLLLLL", "LLGLGG", "LLGGLG", "LLGGGL", "LGLLGG",
                                     "LGGLLG", "LGGGLL", "LGLGLG", "LGLGGL", "LGGLGL"};

std::string ean13Bits(const std::string& d) {
  std::string out = "101";
  for (int i = 1; i < 7; ++i)
    out += kFirstDigit[d[0] - '0'][i - 1] == 'L' ? eanL(d[i]) : eanG(d[i]);
  out += "01010";
  for (int i = 7; i < 13; ++i) out += eanR(d[i]);
  return out + "101";
}

TEST(BarcodeEan, Ean13MatchesTheStandardPatternsAndCarriesItsCheckDigit) {
  for (std::string data : {"400638133393", "590123412345", "978020137962", "000000000000"}) {
    TfrBarcode b = make(bcCodeEAN13, data, true);
    const std::string full = data + mod10(data);
    EXPECT_EQ(moduleBits(b), ean13Bits(full)) << data;
    EXPECT_EQ(b.text(), full);
    EXPECT_EQ(b.width(), 95) << "3 + 42 + 5 + 42 + 3 modules";
  }
  TfrBarcode b = make(bcCodeEAN13, "400638133393", true);
  b.BuildModuleString();
  EXPECT_EQ(b.text(), "4006381333931");
}

TEST(BarcodeEan, PadsWithLeadingZerosAndCutsLongTexts) {
  TfrBarcode b = make(bcCodeEAN13, "123");
  b.BuildModuleString();
  EXPECT_EQ(b.text(), "0000000000123");
  EXPECT_EQ(moduleBits(b), ean13Bits("0000000000123"));

  b = make(bcCodeEAN13, "12345678901234567", true);
  b.BuildModuleString();
  EXPECT_EQ(b.text(), std::string("123456789012") + mod10("123456789012"));

  b = make(bcCodeEAN8, "123", true);
  b.BuildModuleString();
  EXPECT_EQ(b.text(), std::string("0000123") + mod10("0000123"));
  std::string ean8 = "101";
  for (int i = 0; i < 4; ++i) ean8 += eanL(b.text()[i]);
  ean8 += "01010";
  for (int i = 4; i < 8; ++i) ean8 += eanR(b.text()[i]);
  EXPECT_EQ(moduleBits(b), ean8 + "101");

  // Blanks around a numeric text are dropped before it is checked.
  b = make(bcCodeEAN8, "  1234567 \t", true);
  b.BuildModuleString();
  EXPECT_EQ(b.text(), "12345670");
}

TEST(BarcodeEan, UpcWithCheckDigitKeepsEveryDigitOfAShortText) {
  TfrBarcode b = make(bcCodeUPC_A, "3600029145", true);
  b.BuildModuleString();
  EXPECT_EQ(b.text(), "036000291452");
  b = make(bcCodeUPC_A, "036000291459", true);  // a wrong check digit is replaced
  b.BuildModuleString();
  EXPECT_EQ(b.text(), "036000291452");
  b = make(bcCodeUPC_E0, "123456", true);
  b.BuildModuleString();
  EXPECT_EQ(b.text(), "1234565");     // the published example 0 123456 5
  b = make(bcCodeUPC_E0, "1234569");  // without: the seventh digit is only shown
  b.BuildModuleString();
  EXPECT_EQ(b.text(), "1234569");
  EXPECT_EQ(moduleBits(b), bits(bcCodeUPC_E0, "123456", true));
}

// UPC-E parity by number system and check digit, 'O' for the L code.
const char* const kUpcE0[10] = {"EEEOOO", "EEOEOO", "EEOOEO", "EEOOOE", "EOEEOO",
                                "EOOEEO", "EOOOEE", "EOEOEO", "EOEOOE", "EOOEOE"};

// The UPC-A number a UPC-E number stands for.
std::string upcEExpanded(char system, const std::string& d) {
  std::string s(1, system);
  switch (d[5]) {
    case '0':
    case '1':
    case '2':
      return s + d[0] + d[1] + d[5] + "0000" + d[2] + d[3] + d[4];
    case '3':
      return s + d[0] + d[1] + d[2] + "00000" + d[3] + d[4];
    case '4':
      return s + d[0] + d[1] + d[2] + d[3] + "00000" + d[4];
    default:
      return s + d.substr(0, 5) + "0000" + d[5];
  }
}

TEST(BarcodeEan, UpcEParityFollowsTheCheckDigitOfTheExpandedNumber) {
  for (std::string d : {"123456", "654320", "100003", "424244", "000001"}) {
    for (int typ : {bcCodeUPC_E0, bcCodeUPC_E1}) {
      const char system = typ == bcCodeUPC_E0 ? '0' : '1';
      const char check = mod10(upcEExpanded(system, d));
      std::string expected = "101";
      for (int i = 0; i < 6; ++i) {
        const bool even = (kUpcE0[check - '0'][i] == 'E') == (system == '0');
        expected += even ? eanG(d[i]) : eanL(d[i]);
      }
      expected += "010101";
      TfrBarcode b = make(typ, d, true);
      EXPECT_EQ(moduleBits(b), expected) << d << " system " << system;
      EXPECT_EQ(b.text(), d + check);
    }
  }
}

TEST(BarcodeEan, AddOnsUseTheirParityTablesAndCheckDigit) {
  // 2 digits: parity by the value mod 4; the check digit only goes to the text.
  const char* const parity2[4] = {"LL", "LG", "GL", "GG"};
  for (int v : {0, 1, 2, 3, 42, 99}) {
    const std::string d = std::string(1, char('0' + v / 10)) + char('0' + v % 10);
    const char* p = parity2[v % 4];
    const std::string expected = "1011" + (p[0] == 'L' ? eanL(d[0]) : eanG(d[0])) + "01" +
                                 (p[1] == 'L' ? eanL(d[1]) : eanG(d[1]));
    EXPECT_EQ(bits(bcCodeUPC_Supp2, d), expected) << d;
    TfrBarcode b = make(bcCodeUPC_Supp2, d, true);
    EXPECT_EQ(moduleBits(b), expected);
    EXPECT_EQ(b.text(), d + char('0' + ((d[0] - '0') * 9 + (d[1] - '0') * 3) % 10));
  }
  // 5 digits: check = 3 x (odd positions) + 9 x (even positions) mod 10.
  const char* const parity5[10] = {"GGLLL", "GLGLL", "GLLGL", "GLLLG", "LGGLL",
                                   "LLGGL", "LLLGG", "LGLGL", "LGLLG", "LLGLG"};
  for (std::string d : {"52495", "00000", "12345", "90000", "24"}) {
    TfrBarcode b = make(bcCodeUPC_Supp5, d, true);
    const std::string padded = std::string(5 - std::min<size_t>(5, d.size()), '0') + d;
    const int check = (3 * (padded[0] + padded[2] + padded[4] - 3 * '0') +
                       9 * (padded[1] + padded[3] - 2 * '0')) %
                      10;
    std::string expected = "1011";
    for (int i = 0; i < 5; ++i) {
      if (i > 0) expected += "01";
      expected += parity5[check][i] == 'L' ? eanL(padded[i]) : eanG(padded[i]);
    }
    EXPECT_EQ(moduleBits(b), expected) << d;
    EXPECT_EQ(b.text(), padded + char('0' + check));
  }
}

// ---- Code 39: a few characters of the published table, narrow 1, wide 2.
const std::map<char, std::string> kCode39Bits = {
    {'*', "100101101101"}, {'0', "101001101101"}, {'1', "110100101011"}, {'A', "110101001011"},
    {'-', "100101011011"}, {'.', "110010101101"}, {' ', "100110101101"}, {'$', "100100100101"},
    {'/', "100100101001"}, {'+', "100101001001"}, {'%', "101001001001"}};
const std::string kCode39Set = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";

TEST(BarcodeCode39, CharactersMatchThePublishedPatterns) {
  std::string text, expected = kCode39Bits.at('*') + "0";
  for (const auto& [c, pattern] : kCode39Bits) {
    if (c == '*') continue;
    text += c;
    expected += pattern + "0";
  }
  EXPECT_EQ(bits(bcCode39, text), expected + kCode39Bits.at('*'));
  // The check character is the one whose value is the sum of the values mod 43:
  // $ (39) + 1 + 1 = 41, the '+'.
  std::string check = kCode39Bits.at('*') + "0";
  for (char c : std::string("$11+")) check += kCode39Bits.at(c) + "0";
  EXPECT_EQ(bits(bcCode39, "$11", true), check + kCode39Bits.at('*'));
}

TEST(BarcodeCode39, LowerCaseAndUnknownCharactersAreSkipped) {
  const std::string star = kCode39Bits.at('*');
  EXPECT_EQ(bits(bcCode39, "ab"), star + "0" + star);
  EXPECT_EQ(bits(bcCode39, "ab", true), star + "0" + kCode39Bits.at('0') + "0" + star);
  EXPECT_EQ(bits(bcCode39, "a1*b"), bits(bcCode39, "1"));
  // Code 39 leaves the text alone; the extended one spells it in full ASCII.
  TfrBarcode b = make(bcCode39Extended, "a1");
  EXPECT_EQ(moduleBits(b), bits(bcCode39, "+A1"));
  EXPECT_EQ(b.text(), "a1");
}

TEST(BarcodeCode39, ExtendedSpellsControlAndHighCharacters) {
  EXPECT_EQ(bits(bcCode39Extended, std::string("\0\x01\x1b\x7f", 4)), bits(bcCode39, "%U$A%A%T"));
  EXPECT_EQ(bits(bcCode39Extended, "@`[{!:"), bits(bcCode39, "%V%W%K%P/A/Z"));
  EXPECT_EQ(bits(bcCode39Extended,
                 "A\xc7\xff"
                 "B"),
            bits(bcCode39, "AB"));
}

TEST(BarcodeCode93, ExtendedUsesTheFourShiftCharacters) {
  EXPECT_EQ(bits(bcCode93Extended, "a"), bits(bcCode93, "}A"));
  EXPECT_EQ(bits(bcCode93Extended, std::string("\0\x01!", 3)), bits(bcCode93, "]U[A{A"));
  EXPECT_EQ(bits(bcCode93Extended, "x\xe9y"), bits(bcCode93, "}X}Y"));
  // Every symbol is 9 modules: start, data, two check characters, stop and its final bar.
  EXPECT_EQ(bits(bcCode93, "CODE93").size(), size_t(9 * (1 + 6 + 2 + 1) + 1));
}

// ---- Code 128: start B, value 1, stop in the published bit form.
TEST(BarcodeCode128, EmptyTextIsStartCheckAndStop) {
  EXPECT_EQ(bits(bcCode128B, ""),
            "11010010000"
            "11001101100"
            "1100011101011");
  // Set A: start A 103, check 103 mod 103 = 0 (the space).
  EXPECT_EQ(bits(bcCode128A, ""),
            "11010000100"
            "11011001100"
            "1100011101011");
}

TEST(BarcodeCode128, OddDigitCountGetsALeadingZero) {
  TfrBarcode b = make(bcCode128C, "123");
  EXPECT_EQ(moduleBits(b), bits(bcCode128C, "0123"));
  EXPECT_EQ(moduleBits(b).size(), size_t(11 * (1 + 2 + 1) + 13));
  EXPECT_EQ(bits(bcCode128A, "ab"), bits(bcCode128A, "  ")) << "not in set A: a space";
  // Code 128 keeps any ratio; its widths 1..4 then grow with it.
  TfrBarcode wide = make(bcCode128B, "x");
  wide.setRatio(1.5);
  wide.BuildModuleString();
  EXPECT_DOUBLE_EQ(wide.ratio(), 1.5);
}

TEST(BarcodeCode128, Ean128CheckDigitIsAppendedOnce) {
  TfrBarcode b = make(bcCodeEAN128B, "1234", true);
  const std::string first = b.BuildModuleString();
  EXPECT_EQ(b.text(), "12348");
  EXPECT_EQ(b.width(), b.width());
  EXPECT_EQ(b.BuildModuleString(), first);
  EXPECT_EQ(b.text(), "12348");
  b.setText("12348");  // set by the user: this is new data
  b.BuildModuleString();
  EXPECT_EQ(b.text(), std::string("12348") + mod10("12348"));
  // FNC1 follows the start: 11 modules more than plain Code 128.
  EXPECT_EQ(bits(bcCodeEAN128C, "1234").size(), bits(bcCode128C, "1234").size() + 11);
}

// ---- 2 of 5: the table follows from the weights 1, 2, 4, 7, 0 of the five
// elements; exactly two are wide, their weights add up to the digit (0 is 4 + 7).
std::string wide25(char digit) {
  const int weights[5] = {1, 2, 4, 7, 0};
  const int want = digit == '0' ? 11 : digit - '0';
  for (int i = 0; i < 5; ++i)
    for (int j = i + 1; j < 5; ++j)
      if (weights[i] + weights[j] == want) {
        std::string w = "nnnnn";
        w[i] = w[j] = 'w';
        return w;
      }
  return "";
}

TEST(Barcode2of5, IndustrialAndMatrixFollowTheWeightTable) {
  const std::string digits = "0123456789";
  std::string industrial = "11011010", matrix = "11101010";
  for (char d : digits) {
    const std::string w = wide25(d);
    for (char e : w) industrial += e == 'w' ? "110" : "10";
    for (int i = 0; i < 5; ++i) matrix += std::string(w[i] == 'w' ? 2 : 1, i % 2 ? '0' : '1');
    matrix += "0";
  }
  EXPECT_EQ(bits(bcCode_2_5_industrial, digits), industrial + "11010110");
  EXPECT_EQ(bits(bcCode_2_5_matrix, digits), matrix + "1110101");
}

TEST(Barcode2of5, InterleavedDropsATrailingOddDigit) {
  EXPECT_EQ(bits(bcCode_2_5_interleaved, "12345"), bits(bcCode_2_5_interleaved, "1234"));
  std::string expected = "1010";
  const std::string a = wide25('1'), b = wide25('2');
  for (int i = 0; i < 5; ++i)
    expected += std::string(a[i] == 'w' ? 2 : 1, '1') + std::string(b[i] == 'w' ? 2 : 1, '0');
  EXPECT_EQ(bits(bcCode_2_5_interleaved, "12"), expected + "1101");
}

// ---- MSI: start 110, bit 0 = 100, bit 1 = 110, stop 1001; the check digit
// is the Luhn digit, which doubles every other digit from the rightmost.
char luhn(const std::string& d) {
  int total = 0;
  for (size_t r = 0; r < d.size(); ++r) {
    int v = d[d.size() - 1 - r] - '0';
    if (r % 2 == 0) v = 2 * v > 9 ? 2 * v - 9 : 2 * v;
    total += v;
  }
  return char('0' + (10 - total % 10) % 10);
}

TEST(BarcodeMsi, DigitsAreBcdAndTheCheckDigitIsLuhns) {
  EXPECT_EQ(luhn("1234567"), '4') << "the published example 1234567 4";
  for (std::string d : {"1234567", "80523", "1234", "0", "", "99999999"}) {
    std::string expected = "110";
    for (char c : d + luhn(d))
      for (int bit = 3; bit >= 0; --bit) expected += ((c - '0') >> bit) & 1 ? "110" : "100";
    EXPECT_EQ(bits(bcCodeMSI, d), expected + "1001") << d;
  }
}

// ---- PostNet: the five bars of a digit have weights 7, 4, 2, 1, 0 and two
// of them are full; 0 is 7 + 4.
TEST(BarcodePostNet, FullBarsFollowTheWeightTable) {
  const std::string digits = "0123456789";
  std::string expected = "100";
  for (char d : digits) {
    const int weights[5] = {7, 4, 2, 1, 0};
    const int want = d == '0' ? 11 : d - '0';
    std::string full = "00000";
    for (int i = 0; i < 5; ++i)
      for (int j = i + 1; j < 5; ++j)
        if (weights[i] + weights[j] == want) full[i] = full[j] = '1';
    for (char f : full) expected += std::string(f == '1' ? "1" : "s") + "00";
  }
  EXPECT_EQ(bits(bcCodePostNet, digits), expected + "1");
}

TEST(BarcodeCodabar, UnknownCharactersAreSkipped) {
  EXPECT_EQ(bits(bcCodeCodabar, "12x3*4"), bits(bcCodeCodabar, "1234"));
  // Start A = 1011001001, stop B = 1001001011 (narrow 1, wide 2), the gap a narrow space.
  EXPECT_EQ(bits(bcCodeCodabar, ""),
            "1011001001"
            "0"
            "1001001011");
}

// ---- Module widths, limits and properties.
TEST(BarcodeWidths, ModulAndRatioGiveTheFourWidths) {
  TfrBarcode b = make(bcCode39, "A");
  b.setModul(3);
  b.setRatio(2.5);
  b.BuildModuleString();
  EXPECT_EQ(b.ModuleWidths(), (std::array<uint8_t, 4>{3, 8, 12, 16})) << "7.5 rounds to 8";
  b.setModul(1);
  b.BuildModuleString();
  EXPECT_EQ(b.ModuleWidths(), (std::array<uint8_t, 4>{1, 2, 3, 4})) << "2.5 rounds to 2";
  b.setModul(5);
  b.setRatio(2.1);
  b.BuildModuleString();
  EXPECT_EQ(b.ModuleWidths(), (std::array<uint8_t, 4>{5, 10, 15, 20})) << "10.5 rounds to 10";
  EXPECT_EQ(b.ElementOf('1').width, 10);
  EXPECT_EQ(b.ElementOf('8').kind, BarKind::Bar);
  EXPECT_EQ(b.ElementOf('C').kind, BarKind::ShortBar);
  EXPECT_EQ(b.ElementOf('C').width, 15);
}

TEST(BarcodeWidths, ModulOutsideOneTo49IsIgnored) {
  TfrBarcode b;
  int changes = 0;
  b.OnChange = [&] { ++changes; };
  b.setModul(0);
  b.setModul(50);
  b.setModul(-3);
  EXPECT_EQ(b.modul(), 1);
  EXPECT_EQ(changes, 0);
  b.setModul(49);
  b.setModul(49);
  EXPECT_EQ(b.modul(), 49);
  EXPECT_EQ(changes, 1);
}

TEST(BarcodeWidths, RatioIsClampedPerSymbologyAtTheNextEncoding) {
  struct Case {
    int typ;
    std::string text;
    double ratio, expected;
  } cases[] = {
      {bcCode39, "A", 1.5, 2.0},          {bcCode39, "A", 3.5, 3.0},
      {bcCodeEAN13, "1", 1.5, 2.0},       {bcCode_2_5_matrix, "1", 1.5, 2.25},
      {bcCode_2_5_matrix, "1", 2.5, 2.5}, {bcCode128B, "A", 1.5, 1.5},
      {bcCode93, "A", 7.0, 7.0},          {bcCodeMSI, "1", 0.5, 0.5},
      {bcCodePostNet, "1", 9.0, 9.0},     {bcCodeEAN128C, "12", 1.0, 1.0},
  };
  for (const Case& c : cases) {
    TfrBarcode b = make(c.typ, c.text);
    b.setRatio(c.ratio);
    EXPECT_DOUBLE_EQ(b.ratio(), c.ratio);
    b.BuildModuleString();
    EXPECT_DOUBLE_EQ(b.ratio(), c.expected) << "type " << c.typ << " ratio " << c.ratio;
  }
}

TEST(BarcodeWidths, ExtremeRatiosStayWithinEightBitWidths) {
  TfrBarcode b = make(bcCode128B, "Hello");
  b.setModul(49);
  b.setRatio(1e300);
  b.BuildModuleString();
  EXPECT_EQ(b.ModuleWidths()[3], 255);
  EXPECT_GT(b.width(), 0);
  b.setRatio(-5);
  b.BuildModuleString();
  EXPECT_EQ(b.ModuleWidths()[1], 0);
  b.setRatio(std::nan(""));
  EXPECT_DOUBLE_EQ(b.ratio(), -5) << "not a number is ignored";
}

TEST(BarcodeWidths, WritingWidthScalesModul) {
  TfrBarcode b = make(bcCodeEAN13, "400638133393", true);
  EXPECT_EQ(b.width(), 95);
  b.setWidth(300);
  EXPECT_EQ(b.modul(), 3) << "1 x 300 / 95";
  EXPECT_EQ(b.width(), 285);
  b.setWidth(100);
  EXPECT_EQ(b.modul(), 1);
  b.setWidth(50);  // 1 x 50 / 95 = 0: ignored
  EXPECT_EQ(b.modul(), 1);
  b.setWidth(95 * 60);  // 60: ignored
  EXPECT_EQ(b.modul(), 1);
}

TEST(BarcodeProperties, SettersFireOnChangeOnlyForNewValues) {
  TfrBarcode b;
  EXPECT_EQ(b.typ(), bcCodeEAN13);
  EXPECT_EQ(b.checkSumMethod(), csmModulo10);
  EXPECT_EQ(b.color(), clWhite);
  EXPECT_EQ(b.colorBar(), clBlack);
  int changes = 0;
  b.OnChange = [&] { ++changes; };
  b.setText("1");
  b.setText("1");
  b.setHeight(10);
  b.setTop(1);
  b.setLeft(1);
  b.setTyp(bcCode39);
  b.setChecksum(true);
  b.setCheckSumMethod(csmNone);
  b.setAngle(90);
  b.setColor(clBlack);
  b.setColorBar(clWhite);
  b.setRatio(2.0);  // unchanged
  EXPECT_EQ(changes, 10);
  b.setRatio(1.0);
  b.BuildModuleString();  // clamped back to 2 through the setter
  EXPECT_EQ(changes, 12);
}

TEST(BarcodeErrors, MessagesAreTheDocumentedOnes) {
  TfrBarcode b = make(bcCodeEAN13, "12a");
  EXPECT_EQ(errorOf(b), "Barcode must be numeric");
  b = make(bcCode128C, " 12 34 ");
  EXPECT_EQ(errorOf(b), "Barcode must be numeric");
  b = make(bcCode128C, " 1234 ");
  EXPECT_EQ(errorOf(b), "no error");
  EXPECT_EQ(b.text(), "1234");
  b = make(23, "1");
  EXPECT_EQ(errorOf(b), "TfrBarcode: wrong BarcodeType");
  b = make(-1, "1");
  EXPECT_EQ(errorOf(b), "TfrBarcode: wrong BarcodeType");
  b = make(bcCode93, "AB*c");
  EXPECT_EQ(errorOf(b), "TfrBarcode:Code93 bad Data <AB*c>");
  b = make(bcCodeEAN8, "1234567", true);
  b.setCheckSumMethod(csmNone);
  EXPECT_EQ(errorOf(b), "Invalid Text len (EAN8)");
  b = make(bcCodeEAN13, "1234567", true);
  b.setCheckSumMethod(csmNone);
  EXPECT_EQ(errorOf(b), "Invalid Text len (EAN13)");
  b = make(bcCodeEAN128A, "12X4", true);
  EXPECT_EQ(errorOf(b), "'X' is not a valid integer value");
  EXPECT_THROW(b.ElementOf('4'), Error);
  try {
    b.ElementOf('x');
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "TfrBarcode: internal Error");
  }
}

// ---- Drawing geometry.
test::Box drawnBox(TfrBarcode& b, test::PolygonCanvas& canvas) {
  b.DrawBarcode(canvas);
  test::Box box;
  for (const auto& call : canvas.calls)
    for (const Point& p : call.points) {
      box.left = std::min(box.left, p.x);
      box.top = std::min(box.top, p.y);
      box.right = std::max(box.right, p.x);
      box.bottom = std::max(box.bottom, p.y);
    }
  return box;
}

TEST(BarcodeDrawing, EveryElementIsOneFilledPolygonAndTheCanvasIsRestored) {
  TfrBarcode b = make(bcCode39, "AB", true);
  b.setLeft(10);
  b.setTop(20);
  b.setColor(rgb(1, 2, 3));
  b.setColorBar(rgb(200, 0, 0));
  test::PolygonCanvas canvas;
  const PenSpec pen{rgb(9, 9, 9), 5, PenStyle::Dash};
  const BrushSpec brush{rgb(7, 7, 7), BrushStyle::Clear};
  FontSpec font;
  font.face = "Courier New";
  canvas.setPen(pen);
  canvas.setBrush(brush);
  canvas.setFont(font);
  const std::string modules = b.BuildModuleString();
  const test::Box box = drawnBox(b, canvas);
  EXPECT_EQ(canvas.pen(), pen);
  EXPECT_EQ(canvas.brush(), brush);
  EXPECT_EQ(canvas.font(), font);
  EXPECT_EQ(canvas.others, 0);
  ASSERT_EQ(canvas.calls.size(), modules.size());
  int32_t x = 10;
  for (size_t i = 0; i < modules.size(); ++i) {
    const auto& call = canvas.calls[i];
    const BarElement e = b.ElementOf(modules[i]);
    const Color c = e.kind == BarKind::Space ? rgb(1, 2, 3) : rgb(200, 0, 0);
    EXPECT_EQ(call.pen.color, c);
    EXPECT_EQ(call.pen.width, 1);
    EXPECT_EQ(call.brush.color, c);
    EXPECT_EQ(call.brush.style, BrushStyle::Solid);
    const std::vector<Point> corners = {
        {x, 20}, {x, 70}, {x + e.width - 1, 70}, {x + e.width - 1, 20}};
    EXPECT_EQ(call.points, corners) << i;
    x += e.width;
  }
  EXPECT_EQ(box.left, 10);
  EXPECT_EQ(box.right, 10 + b.width() - 1);
}

TEST(BarcodeDrawing, QuarterTurnsKeepTheBoxAtLeftTop) {
  TfrBarcode b = make(bcCodeEAN8, "1234567", true);
  b.setLeft(100);
  b.setTop(200);
  const int32_t w = b.width(), h = b.height();
  {  // 90: the first element at the bottom, the following ones above it
    b.setAngle(90);
    test::PolygonCanvas canvas;
    const test::Box box = drawnBox(b, canvas);
    EXPECT_EQ(box.left, 100);
    EXPECT_EQ(box.right, 100 + h);
    EXPECT_EQ(box.top, 201);
    EXPECT_EQ(box.bottom, 200 + w);
    const auto& first = canvas.calls.front().points;
    const auto& second = canvas.calls[1].points;
    EXPECT_EQ(std::max(first[0].y, first[2].y), 200 + w);
    EXPECT_LT(std::max(second[0].y, second[2].y), std::min(first[0].y, first[2].y));
  }
  {  // 180: mirrored both ways, the first element at the right
    b.setAngle(180);
    test::PolygonCanvas canvas;
    const test::Box box = drawnBox(b, canvas);
    EXPECT_EQ(box.left, 101);
    EXPECT_EQ(box.right, 100 + w);
    EXPECT_EQ(box.top, 200);
    EXPECT_EQ(box.bottom, 200 + h);
    EXPECT_EQ(canvas.calls.front().points[0].x, 100 + w);
  }
  {  // 270: the first element at the top
    b.setAngle(270);
    test::PolygonCanvas canvas;
    const test::Box box = drawnBox(b, canvas);
    EXPECT_EQ(box.left, 100);
    EXPECT_EQ(box.right, 100 + h);
    EXPECT_EQ(box.top, 200);
    EXPECT_EQ(box.bottom, 200 + w - 1);
    EXPECT_EQ(canvas.calls.front().points[0].y, 200);
  }
}

TEST(BarcodeDrawing, AnyAngleStartsTheRotatedBoxAtLeftTop) {
  TfrBarcode b = make(bcCode128B, "Angles");
  b.setLeft(300);
  b.setTop(400);
  b.setHeight(40);
  const int32_t w = b.width();
  for (int deg = -720; deg <= 720; deg += 7) {
    b.setAngle(deg + 0.25);
    const test::Box box = test::boxOf(b.BarPolygons(b.BuildModuleString()));
    const double a = b.angle() * std::numbers::pi / 180;
    // The rotated w x h box is |w cos| + |h sin| wide and |w sin| + |h cos| high.
    const double bw = std::abs(w * std::cos(a)) + std::abs(40 * std::sin(a));
    const double bh = std::abs(w * std::sin(a)) + std::abs(40 * std::cos(a));
    EXPECT_NEAR(box.left, 300, 2) << deg;
    EXPECT_NEAR(box.top, 400, 2) << deg;
    EXPECT_NEAR(box.right - box.left, bw, 3) << deg;
    EXPECT_NEAR(box.bottom - box.top, bh, 3) << deg;
  }
}

TEST(BarcodeDrawing, ShortBarsAreTwoFifthsOfTheHeight) {
  TfrBarcode b = make(bcCodePostNet, "1");
  b.setHeight(52);
  const std::string m = b.BuildModuleString();
  const auto polys = b.BarPolygons(m);
  for (size_t i = 0; i < m.size(); ++i)
    EXPECT_EQ(polys[i].corners[1].y, m[i] == 'A' ? 20 : 52) << i;
  b.setHeight(-52);  // the view draws PostNet upward from the baseline this way
  EXPECT_EQ(b.BarPolygons(m)[2].corners[1].y, -20);
}

TEST(BarcodeDrawing, PaintedColumnsFollowTheModules) {
  for (int modul : {1, 2}) {
    TfrBarcode b = make(bcCodeEAN13, "590123412345", true);
    b.setModul(modul);
    b.setHeight(30);
    const QImage img = test::renderBarcode(b, 10);
    const std::string m = moduleBits(b);  // one character per pixel column
    ASSERT_EQ(img.width(), 95 * modul + 20);
    for (int x = 0; x < img.width(); ++x) {
      const bool inside = x >= 10 && x < 10 + 95 * modul;
      const bool black = inside && m[size_t(x - 10)] == '1';
      EXPECT_EQ(qGray(img.pixel(x, 25)) < 128, black) << "modul " << modul << " x " << x;
    }
  }
}

// The barcode view draws into a metafile that is played back later; the bars
// must come out of the recording as they went in.
TEST(BarcodeDrawing, AMetafileRecordingPlaysBackToTheSamePixels) {
  for (int angle : {0, 90, 180, 270}) {
    TfrBarcode b = make(bcCode128B, "Metafile", false);
    b.setHeight(30);
    b.setAngle(angle);
    b.setColor(rgb(255, 255, 0));
    const QImage direct = test::renderBarcode(b, 8);
    const Rect r{0, 0, direct.width(), direct.height()};
    EmfCanvas emf(r);
    b.DrawBarcode(emf);
    const std::vector<uint8_t> bytes = emf.finish();
    QImage played(direct.size(), QImage::Format_RGB32);
    played.fill(Qt::white);
    {
      QPainter painter(&played);
      QtCanvas canvas(&painter, r);
      playMetafile(bytes, canvas, r);
    }
    EXPECT_TRUE(played == direct) << "angle " << angle;
  }
}

}  // namespace
}  // namespace orv
