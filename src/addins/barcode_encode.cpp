// Encoding of the text into a module string, one symbology at a time. The
// character tables are the published ones of each symbology, written as
// element widths (narrow/wide or 1..4 modules) and converted to the module
// alphabet as the string is built.
#include <cstring>

#include "addins/barcode.h"
#include "platform/error.h"

namespace orv {

namespace {

const BarcodeTypeInfo kTypes[kBarcodeTypeCount] = {
    {"bcCode_2_5_interleaved", "2_5_interleaved", true},
    {"bcCode_2_5_industrial", "2_5_industrial", true},
    {"bcCode_2_5_matrix", "2_5_matrix", true},
    {"bcCode39", "Code39", false},
    {"bcCode39Extended", "Code39 Extended", false},
    {"bcCode128A", "Code128A", false},
    {"bcCode128B", "Code128B", false},
    {"bcCode128C", "Code128C", true},
    {"bcCode93", "Code93", false},
    {"bcCode93Extended", "Code93 Extended", false},
    {"bcCodeMSI", "MSI", true},
    {"bcCodePostNet", "PostNet", true},
    {"bcCodeCodabar", "Codebar", false},
    {"bcCodeEAN8", "EAN8", true},
    {"bcCodeEAN13", "EAN13", true},
    {"bcCodeUPC_A", "UPC_A", true},
    {"bcCodeUPC_E0", "UPC_E0", true},
    {"bcCodeUPC_E1", "UPC_E1", true},
    {"bcCodeUPC_Supp2", "UPC Supp2", true},
    {"bcCodeUPC_Supp5", "UPC Supp5", true},
    {"bcCodeEAN128A", "EAN128A", false},
    {"bcCodeEAN128B", "EAN128B", false},
    {"bcCodeEAN128C", "EAN128C", true},
};

// Narrow ('n') and wide ('w') elements. Bars and spaces alternate, bar first.
// 2 of 5: the five elements of each digit.
const char* const k25[10] = {"nnwwn", "wnnnw", "nwnnw", "wwnnn", "nnwnw",
                             "wnwnn", "nwwnn", "nnnww", "wnnwn", "nwnwn"};

// Code 39: the 43 characters in value order, then the start/stop '*'.
const char kCode39Chars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%*";
const char* const kCode39[44] = {
    "nnnwwnwnn", "wnnwnnnnw", "nnwwnnnnw", "wnwwnnnnn", "nnnwwnnnw", "wnnwwnnnn", "nnwwwnnnn",
    "nnnwnnwnw", "wnnwnnwnn", "nnwwnnwnn", "wnnnnwnnw", "nnwnnwnnw", "wnwnnwnnn", "nnnnwwnnw",
    "wnnnwwnnn", "nnwnwwnnn", "nnnnnwwnw", "wnnnnwwnn", "nnwnnwwnn", "nnnnwwwnn", "wnnnnnnww",
    "nnwnnnnww", "wnwnnnnwn", "nnnnwnnww", "wnnnwnnwn", "nnwnwnnwn", "nnnnnnwww", "wnnnnnwwn",
    "nnwnnnwwn", "nnnnwnwwn", "wwnnnnnnw", "nwwnnnnnw", "wwwnnnnnn", "nwnnwnnnw", "wwnnwnnnn",
    "nwwnwnnnn", "nwnnnnwnw", "wwnnnnwnn", "nwwnnnwnn", "nwnwnwnnn", "nwnwnnnwn", "nwnnnwnwn",
    "nnnwnwnwn", "nwnnwnwnn"};

// Full ASCII on top of Code 39 and Code 93: every character below 128 as one
// or two characters of the base set; '$', '%', '/' and '+' are the shifts.
const char* const kFullAscii[128] = {
    "%U", "$A", "$B", "$C", "$D", "$E", "$F", "$G", "$H", "$I", "$J", "$K", "$L", "$M", "$N", "$O",
    "$P", "$Q", "$R", "$S", "$T", "$U", "$V", "$W", "$X", "$Y", "$Z", "%A", "%B", "%C", "%D", "%E",
    " ",  "/A", "/B", "/C", "/D", "/E", "/F", "/G", "/H", "/I", "/J", "/K", "/L", "-",  ".",  "/O",
    "0",  "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",  "/Z", "%F", "%G", "%H", "%I", "%J",
    "%V", "A",  "B",  "C",  "D",  "E",  "F",  "G",  "H",  "I",  "J",  "K",  "L",  "M",  "N",  "O",
    "P",  "Q",  "R",  "S",  "T",  "U",  "V",  "W",  "X",  "Y",  "Z",  "%K", "%L", "%M", "%N", "%O",
    "%W", "+A", "+B", "+C", "+D", "+E", "+F", "+G", "+H", "+I", "+J", "+K", "+L", "+M", "+N", "+O",
    "+P", "+Q", "+R", "+S", "+T", "+U", "+V", "+W", "+X", "+Y", "+Z", "%P", "%Q", "%R", "%S", "%T"};

// Code 128: element widths of values 0..106 (106 is the stop, with its final bar).
const char* const kCode128[107] = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212",
    "221213", "221312", "231212", "112232", "122132", "122231", "113222", "123122", "123221",
    "223211", "221132", "221231", "213212", "223112", "312131", "311222", "321122", "321221",
    "312212", "322112", "322211", "212123", "212321", "232121", "111323", "131123", "131321",
    "112313", "132113", "132311", "211313", "231113", "231311", "112133", "112331", "132131",
    "113123", "113321", "133121", "313121", "211331", "231131", "213113", "213311", "213131",
    "311123", "311321", "331121", "312113", "312311", "332111", "314111", "221411", "431111",
    "111224", "111422", "121124", "121421", "141122", "141221", "112214", "112412", "122114",
    "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111", "111242",
    "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211", "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311",
    "113141", "114131", "311141", "411131", "211412", "211214", "211232", "2331112"};
constexpr int kCode128Fnc1 = 102;
constexpr int kCode128Stop = 106;

// Code 93: the 47 characters in value order; the four shifts ($) (%) (/) (+)
// are written '[', ']', '{' and '}'.
const char kCode93Chars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%[]{}";
const char* const kCode93[47] = {
    "131112", "111213", "111312", "111411", "121113", "121212", "121311", "111114",
    "131211", "141111", "211113", "211212", "211311", "221112", "221211", "231111",
    "112113", "112212", "112311", "122112", "132111", "111123", "111222", "111321",
    "121122", "131121", "212112", "212211", "211122", "211221", "221121", "222111",
    "112122", "112221", "122121", "123111", "121131", "311112", "311211", "321111",
    "112131", "113121", "211131", "121221", "312111", "311121", "122211"};

// PostNet: five bars per digit, 1 a full bar, 0 a short one.
const char* const kPostNet[10] = {"11000", "00011", "00101", "00110", "01001",
                                  "01010", "01100", "10001", "10010", "10100"};

// Codabar: the 20 characters and their seven elements.
const char kCodabarChars[] = "0123456789-$:/.+ABCD";
const char* const kCodabar[20] = {"nnnnnww", "nnnnwwn", "nnnwnnw", "wwnnnnn", "nnwnnwn",
                                  "wnnnnwn", "nwnnnnw", "nwnnwnn", "nwwnnnn", "wnnwnnn",
                                  "nnnwwnn", "nnwwnnn", "wnnnwnw", "wnwnnnw", "wnwnwnn",
                                  "nnwnwnw", "nnwwnwn", "nwnwnnw", "nnnwnww", "nnnwwwn"};

// EAN/UPC set A (odd parity): space, bar, space, bar widths in modules. Set C
// has the same widths starting with a bar; set B is set C backwards.
const char* const kEanA[10] = {"3211", "2221", "2122", "1411", "1132",
                               "1231", "1114", "1312", "1213", "3112"};
// Parity of EAN-13 digits 2..7 by the first digit ('A' odd, 'B' even).
const char* const kEan13Parity[10] = {"AAAAAA", "AABABB", "AABBAB", "AABBBA", "ABAABB",
                                      "ABBAAB", "ABBBAA", "ABABAB", "ABABBA", "ABBABA"};
// UPC-E, number system 0: parity of the six digits by the check digit ('E' even).
const char* const kUpcEParity[10] = {"EEEOOO", "EEOEOO", "EEOOEO", "EEOOOE", "EOEEOO",
                                     "EOOEEO", "EOOOEE", "EOEOEO", "EOEOOE", "EOOEOE"};
// 5-digit add-on parity by its check digit.
const char* const kSupp5Parity[10] = {"BBAAA", "BABAA", "BAABA", "BAAAB", "ABBAA",
                                      "AABBA", "AAABB", "ABABA", "ABAAB", "AABAB"};

int digitOf(char c) {
  return c - '0';
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Narrow/wide element at position i (bars at even positions) in module characters.
char nw(char w, size_t i) {
  const bool wide = w == 'w';
  return (i % 2 == 0) ? (wide ? '6' : '5') : (wide ? '1' : '0');
}

void appendNarrowWide(std::string& out, const char* pattern) {
  for (size_t i = 0; pattern[i] != 0; ++i) out += nw(pattern[i], i);
}

// Width digits 1..4, bar first, to module characters.
std::string widthsToModules(const std::string& widths) {
  std::string out;
  out.reserve(widths.size());
  for (size_t i = 0; i < widths.size(); ++i) {
    const int d = widths[i] - '0';
    out += (i % 2 == 0) ? char('0' + d + 4) : char('0' + d - 1);
  }
  return out;
}

void appendEanDigit(std::string& out, char set, char digit) {
  const char* w = kEanA[digitOf(digit)];
  switch (set) {
    case 'A':  // space, bar, space, bar
      for (int i = 0; i < 4; ++i) out += char((i % 2 == 0 ? '0' : '5') + w[i] - '1');
      break;
    case 'C':  // bar, space, bar, space
      for (int i = 0; i < 4; ++i) out += char((i % 2 == 0 ? '5' : '0') + w[i] - '1');
      break;
    default:  // 'B': set C read backwards
      for (int i = 3; i >= 0; --i) out += char((i % 2 == 0 ? '5' : '0') + w[i] - '1');
      break;
  }
}

std::string padOrCut(const std::string& text, size_t n) {
  if (text.size() > n) return text.substr(0, n);
  return std::string(n - text.size(), '0') + text;
}

// Modulo 10 with weights 3, 1, 3, ... from the rightmost digit.
int modulo10(const std::string& digits) {
  int sum = 0;
  bool three = true;
  for (size_t i = digits.size(); i-- > 0;) {
    const char c = digits[i];
    if (!isDigit(c)) throw Error("'" + std::string(1, c) + "' is not a valid integer value");
    sum = (sum + digitOf(c) * (three ? 3 : 1)) % 10;
    three = !three;
  }
  return (10 - sum) % 10;
}

std::string withCheckDigit(const std::string& digits, TfrCheckSumMethod method) {
  if (method != csmModulo10) return digits;
  return digits + char('0' + modulo10(digits));
}

// Add-on check digit: weight 3 when an odd number of digits remains from the
// digit to the end, 9 otherwise.
int addOnCheckDigit(const std::string& digits) {
  int sum = 0;
  for (size_t i = 0; i < digits.size(); ++i)
    sum = (sum + digitOf(digits[i]) * ((digits.size() - i) % 2 == 1 ? 3 : 9)) % 10;
  return sum;
}

// The UPC-E check digit is the one of the UPC-A number it stands for.
int upcECheckDigit(int numberSystem, const std::string& d) {
  std::string a(1, char('0' + numberSystem));
  switch (d[5]) {
    case '0':
    case '1':
    case '2':
      a += d.substr(0, 2) + d[5] + "0000" + d.substr(2, 3);
      break;
    case '3':
      a += d.substr(0, 3) + "00000" + d.substr(3, 2);
      break;
    case '4':
      a += d.substr(0, 4) + "00000" + d[4];
      break;
    default:
      a += d.substr(0, 5) + "0000" + d[5];
      break;
  }
  return modulo10(a);
}

std::string code25Interleaved(const std::string& t) {
  std::string out = "5050";
  for (size_t i = 0; i + 1 < t.size(); i += 2) {
    const char* bars = k25[digitOf(t[i])];
    const char* spaces = k25[digitOf(t[i + 1])];
    for (int j = 0; j < 5; ++j) {
      out += bars[j] == 'w' ? '6' : '5';
      out += spaces[j] == 'w' ? '1' : '0';
    }
  }
  return out + "605";
}

std::string code25Industrial(const std::string& t) {
  std::string out = "606050";
  for (char c : t)
    for (int j = 0; j < 5; ++j) out += k25[digitOf(c)][j] == 'w' ? "60" : "50";
  return out + "605060";
}

std::string code25Matrix(const std::string& t) {
  std::string out = "705050";
  for (char c : t) {
    appendNarrowWide(out, k25[digitOf(c)]);
    out += '0';
  }
  return out + "70505";
}

std::string code39(const std::string& t, bool checksum) {
  std::string out;
  appendNarrowWide(out, kCode39[43]);
  out += '0';
  int sum = 0;
  for (char c : t) {
    const char* p = c != 0 && c != '*' ? std::strchr(kCode39Chars, c) : nullptr;
    if (p == nullptr) continue;  // not encodable: skipped
    const int v = int(p - kCode39Chars);
    sum = (sum + v) % 43;
    appendNarrowWide(out, kCode39[v]);
    out += '0';
  }
  if (checksum) {
    appendNarrowWide(out, kCode39[sum]);
    out += '0';
  }
  appendNarrowWide(out, kCode39[43]);
  return out;
}

std::string fullAscii(const std::string& t, bool code93) {
  std::string out;
  for (char ch : t) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 128) continue;
    std::string seq = kFullAscii[c];
    if (code93 && seq.size() == 2) {
      static const char kFrom[] = "$%/+", kTo[] = "[]{}";
      seq[0] = kTo[std::strchr(kFrom, seq[0]) - kFrom];
    }
    out += seq;
  }
  return out;
}

int code128Value(int typ, const std::string& t, size_t& i) {
  const auto c = static_cast<unsigned char>(t[i++]);
  switch (typ) {
    case bcCode128A:
    case bcCodeEAN128A:
      return c >= 32 && c <= 95 ? c - 32 : 0;
    case bcCode128B:
    case bcCodeEAN128B:
      return c >= 32 && c <= 126 ? c - 32 : 0;
    default: {  // set C: two digits at a time
      const char d = i < t.size() ? t[i++] : 0;
      if (!isDigit(char(c)) || !isDigit(d)) return 0;
      return digitOf(char(c)) * 10 + digitOf(d);
    }
  }
}

std::string code128(int typ, std::string t, bool ean) {
  const bool setA = typ == bcCode128A || typ == bcCodeEAN128A;
  const bool setB = typ == bcCode128B || typ == bcCodeEAN128B;
  const int start = setA ? 103 : setB ? 104 : 105;
  if (!setA && !setB && t.size() % 2 == 1) t.insert(t.begin(), '0');
  std::string widths = kCode128[start];
  // Reduced modulo 103 as it goes, so any length of text keeps within range.
  int sum = start % 103;
  size_t position = 1;
  auto add = [&](int v) {
    widths += kCode128[v];
    sum = int((sum + uint64_t(v) * (position % 103)) % 103);
    ++position;
  };
  if (ean) add(kCode128Fnc1);
  for (size_t i = 0; i < t.size();) add(code128Value(typ, t, i));
  widths += kCode128[sum];
  widths += kCode128[kCode128Stop];
  return widthsToModules(widths);
}

std::string code93(const std::string& t) {
  std::vector<int> values;
  values.reserve(t.size() + 2);
  for (char c : t) {
    const char* p = c != 0 ? std::strchr(kCode93Chars, c) : nullptr;
    if (p == nullptr)
      throw Error(std::string(TfrBarcode::kClassName) + ":Code93 bad Data <" + t + ">");
    values.push_back(int(p - kCode93Chars));
  }
  int c = 0, k = 0;
  for (size_t p = 1; p <= values.size(); ++p) {  // p counts from the rightmost
    const int v = values[values.size() - p];
    c = int((c + v * ((p - 1) % 20 + 1)) % 47);
    k = int((k + v * (p % 15 + 1)) % 47);
  }
  k = (k + c) % 47;
  std::string widths = "111141";
  for (int v : values) widths += kCode93[v];
  widths += kCode93[c];
  widths += kCode93[k];
  widths += "1111411";
  return widthsToModules(widths);
}

std::string msi(const std::string& t) {
  std::string out = "60";
  auto digit = [&out](int d) {
    for (int bit = 3; bit >= 0; --bit) out += (d >> bit) & 1 ? "60" : "51";
  };
  // The check digit doubles every other digit starting with the rightmost,
  // so that a scanner's verification of the appended digit succeeds.
  int total = 0;
  for (size_t r = 0; r < t.size(); ++r) {
    const int d = digitOf(t[t.size() - 1 - r]);
    total += r % 2 == 0 ? (2 * d) / 10 + (2 * d) % 10 : d;
    total %= 10;
  }
  for (char c : t) digit(digitOf(c));
  digit((10 - total) % 10);
  return out + "515";
}

std::string postNet(const std::string& t) {
  std::string out = "51";
  for (char c : t)
    for (int j = 0; j < 5; ++j) {
      out += kPostNet[digitOf(c)][j] == '1' ? '5' : 'A';
      out += '1';
    }
  return out + "5";
}

std::string codabar(const std::string& t) {
  std::string out;
  appendNarrowWide(out, kCodabar[16]);  // start 'A'
  out += '0';
  for (char c : t) {
    const char* p = c != 0 ? std::strchr(kCodabarChars, c) : nullptr;
    if (p == nullptr) continue;  // no pattern: skipped, as Code 39 does
    appendNarrowWide(out, kCodabar[p - kCodabarChars]);
    out += '0';
  }
  appendNarrowWide(out, kCodabar[17]);  // stop 'B'
  return out;
}

}  // namespace

const BarcodeTypeInfo* barcodeTypeInfo(int typ) {
  return typ >= 0 && typ < kBarcodeTypeCount ? &kTypes[typ] : nullptr;
}

std::string TfrBarcode::encode() {
  const std::string& t = text_;
  switch (typ_) {
    case bcCode_2_5_interleaved:
      return code25Interleaved(t);
    case bcCode_2_5_industrial:
      return code25Industrial(t);
    case bcCode_2_5_matrix:
      return code25Matrix(t);
    case bcCode39:
      return code39(t, checksum_);
    case bcCode39Extended:
      return code39(fullAscii(t, false), checksum_);
    case bcCode128A:
    case bcCode128B:
    case bcCode128C:
      return code128(typ_, t, false);
    case bcCodeEAN128A:
    case bcCodeEAN128B:
    case bcCodeEAN128C:
      if (checksum_) {
        const bool again = !checkedText_.empty() && text_ == checkedText_;
        const std::string source = again ? checkedSource_ : text_;
        text_ = withCheckDigit(source, checkSumMethod_);
        checkedSource_ = source;
        checkedText_ = text_;
      }
      return code128(typ_, text_, true);
    case bcCode93:
      return code93(t);
    case bcCode93Extended:
      return code93(fullAscii(t, true));
    case bcCodeMSI:
      return msi(t);
    case bcCodePostNet:
      return postNet(t);
    case bcCodeCodabar:
      return codabar(t);
    case bcCodeEAN8: {
      const std::string d =
          checksum_ ? withCheckDigit(padOrCut(t, 7), checkSumMethod_) : padOrCut(t, 8);
      if (d.size() != 8) throw Error("Invalid Text len (EAN8)");
      text_ = d;  // shown under the bars, so it carries the check digit too
      std::string out = "505";
      for (int i = 0; i < 4; ++i) appendEanDigit(out, 'A', d[i]);
      out += "05050";
      for (int i = 4; i < 8; ++i) appendEanDigit(out, 'C', d[i]);
      return out + "505";
    }
    case bcCodeEAN13: {
      const std::string d =
          checksum_ ? withCheckDigit(padOrCut(t, 12), checkSumMethod_) : padOrCut(t, 13);
      if (d.size() != 13) throw Error("Invalid Text len (EAN13)");
      text_ = d;
      const char* parity = kEan13Parity[digitOf(d[0])];
      std::string out = "505";
      for (int i = 1; i < 7; ++i) appendEanDigit(out, parity[i - 1], d[i]);
      out += "05050";
      for (int i = 7; i < 13; ++i) appendEanDigit(out, 'C', d[i]);
      return out + "505";
    }
    case bcCodeUPC_A: {
      // With the check digit the text holds the 11 data digits: padded to 11,
      // not to 12, so a short text does not lose its last digit. UPC has a
      // single check-digit rule, whatever the method says.
      const std::string d =
          checksum_ ? withCheckDigit(padOrCut(t, 11), csmModulo10) : padOrCut(t, 12);
      text_ = d;
      std::string out = "505";
      for (int i = 0; i < 6; ++i) appendEanDigit(out, 'A', d[i]);
      out += "05050";
      for (int i = 6; i < 12; ++i) appendEanDigit(out, 'C', d[i]);
      return out + "505";
    }
    case bcCodeUPC_E0:
    case bcCodeUPC_E1: {
      // Six data digits and the check digit; with the check digit computed the
      // text is padded to six, so a short text keeps all of its digits.
      const bool e1 = typ_ == bcCodeUPC_E1;
      std::string d = padOrCut(t, checksum_ ? 6 : 7);
      const int check = upcECheckDigit(e1 ? 1 : 0, d);
      if (checksum_) d += char('0' + check);
      text_ = d;
      const char* parity = kUpcEParity[check];
      std::string out = "505";
      for (int i = 0; i < 6; ++i) appendEanDigit(out, (parity[i] == 'E') != e1 ? 'B' : 'A', d[i]);
      return out + "050505";
    }
    case bcCodeUPC_Supp2: {
      const std::string d = padOrCut(t, 2);
      static const char* const kParity[4] = {"AA", "AB", "BA", "BB"};
      const char* parity = kParity[(digitOf(d[0]) * 10 + digitOf(d[1])) % 4];
      text_ = checksum_ ? d + char('0' + addOnCheckDigit(d)) : d;
      std::string out = "506";
      appendEanDigit(out, parity[0], d[0]);
      out += "05";
      appendEanDigit(out, parity[1], d[1]);
      return out;
    }
    case bcCodeUPC_Supp5: {
      const std::string d = padOrCut(t, 5);
      const int check = addOnCheckDigit(d);
      text_ = checksum_ ? d + char('0' + check) : d;
      const char* parity = kSupp5Parity[check];
      std::string out = "506";
      for (int i = 0; i < 5; ++i) {
        if (i > 0) out += "05";
        appendEanDigit(out, parity[i], d[i]);
      }
      return out;
    }
    default:
      throw Error(std::string(kClassName) + ": wrong BarcodeType");
  }
}

}  // namespace orv
