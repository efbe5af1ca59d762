#include "engine/functions.h"

#include <algorithm>
#include <initializer_list>

#include "engine/date_time.h"
#include "engine/engine_globals.h"
#include "engine/formatting.h"
#include "engine/report_ui.h"
#include "model/text_util.h"
#include "platform/codepage.h"
#include "platform/strings.h"

namespace orv {

namespace {

constexpr int kDatabaseCategory = 55620;
constexpr int kFieldIsNullDescription = 55621;

Variant calc(const std::string& argument) {
  return engineGlobals().Parser.Calc(argument);
}
std::string textOf(const std::string& argument) {
  return valueToText(calc(argument));
}

// Texts are Windows-1252: accented letters change case too.
constexpr int kTextCodePage = 1252;
char upperChar(char c) {
  return static_cast<char>(upperCaseTable(kTextCodePage)[static_cast<uint8_t>(c)]);
}
char lowerChar(char c) {
  return static_cast<char>(lowerCaseTable(kTextCodePage)[static_cast<uint8_t>(c)]);
}

// The button a message box gives when nobody can answer: its first one.
int firstButton(int flags) {
  switch (flags & 0x0F) {
    case 3:  // yes, no, cancel
    case 4:  // yes, no
      return 6;
    default:  // ok; ok, cancel
      return 1;
  }
}

// The registry without the libraries that fill it: their constructors add to
// it while libraries() builds them.
TfrInstalledFunctions& descriptions() {
  static TfrInstalledFunctions registry;
  return registry;
}

std::vector<TfrFunctionLibrary*>& libraries() {
  static TfrStdFunctionLibrary standard;
  static TDatabaseFunctionLibrary database;
  static std::vector<TfrFunctionLibrary*> list{&standard, &database};
  return list;
}

}  // namespace

// ------------------------------------------------------------ registry

void TfrInstalledFunctions::Add(TfrFunctionLibrary* library, const std::string& name,
                                const std::string& category, const std::string& description) {
  if (category.empty()) return;
  for (const TfrFunctionDesc& d : items_)
    if (sameText(d.FunctionName, name)) return;
  items_.push_back({library, name, category, description});
}

TfrInstalledFunctions& installedFunctions() {
  libraries();
  return descriptions();
}

bool TfrFunctionLibrary::OnFunction(const std::string& name, const std::string& p1,
                                    const std::string& p2, const std::string& p3, Variant& value) {
  for (size_t i = 0; i < List.size(); ++i)
    if (sameText(List[i], name)) {
      DoFunction(static_cast<int>(i), p1, p2, p3, value);
      return true;
    }
  return false;
}

void TfrFunctionLibrary::AddFunctionDesc(const std::string& name, const std::string& category,
                                         const std::string& description) {
  descriptions().Add(this, name, category, description);
}

void frRegisterFunctionLibrary(TfrFunctionLibrary* library) {
  auto& list = libraries();
  if (library && std::find(list.begin(), list.end(), library) == list.end())
    list.push_back(library);
}

void frUnRegisterFunctionLibrary(TfrFunctionLibrary* library) {
  auto& list = libraries();
  list.erase(std::remove(list.begin(), list.end(), library), list.end());
}

bool callLibraryFunction(const std::string& name, const std::string& p1, const std::string& p2,
                         const std::string& p3, Variant& value) {
  for (TfrFunctionLibrary* library : libraries())
    if (library->OnFunction(name, p1, p2, p3, value)) return true;
  return false;
}

// ------------------------------------------------------------ standard library

TfrStdFunctionLibrary::TfrStdFunctionLibrary() {
  List = {"AVG",        "COUNT",      "DAYOF",  "FORMATDATETIME", "FORMATFLOAT",
          "FORMATTEXT", "INPUT",      "LENGTH", "LOWERCASE",      "MAX",
          "MAXNUM",     "MESSAGEBOX", "MIN",    "MINNUM",         "MONTHOF",
          "NAMECASE",   "POS",        "SUM",    "TRIM",           "UPPERCASE",
          "YEAROF"};
  // Besides its own functions the list describes what the parser, the name
  // resolver and the script interpreter understand; each group's texts are
  // numbered on from its first.
  const auto describe = [this](int category, int first, std::initializer_list<const char*> names) {
    const std::string categoryText = loadString8(category);
    int id = first;
    for (const char* name : names) AddFunctionDesc(name, categoryText, loadString8(id++));
  };
  describe(55349, 55360, {"AVG", "COUNT", "MAX", "MIN", "SUM"});
  describe(
      55350, 55365,
      {"COPY", "FORMATTEXT", "LENGTH", "LOWERCASE", "NAMECASE", "POS", "STR", "TRIM", "UPPERCASE"});
  describe(
      55351, 55374,
      {"DATE", "DAYOF", "FORMATDATETIME", "MONTHOF", "STRTODATE", "STRTOTIME", "TIME", "YEAROF"});
  describe(55352, 55382, {"FORMATFLOAT", "FRAC", "INT", "MAXNUM", "MINNUM", "MOD", "ROUND"});
  describe(55353, 55389, {"AND", "FALSE", "IF", "NOT", "OR", "TRUE"});
  describe(55354, 55395,
           {"CALCWIDTH", "COLUMN#", "CURRENT#", "LINE#", "LINETHROUGH#", "PAGE#", "TOTALPAGES",
            "VALUE", "INPUT", "MESSAGEBOX"});
  describe(
      55355, 55405,
      {"CURY", "DEC", "FINALPASS", "FREESPACE", "INC", "MODALRESULT", "MRCANCEL", "MROK",
       "NEWCOLUMN", "NEWPAGE", "PAGEHEIGHT", "PAGEWIDTH", "PROGRESS", "SHOWBAND", "STOPREPORT"});
  describe(55622, 55623,
           {"REPORTCOMMENT", "REPORTNAME", "REPORTAUTOR", "VMAJOR", "VMINOR", "VRELEASE", "VBUILD",
            "REPORTDATE", "REPORTLASTCHANGE"});
}

void TfrStdFunctionLibrary::DoFunction(int index, const std::string& p1, const std::string& p2,
                                       const std::string& p3, Variant& value) {
  TfrFunctionHost* host = engineGlobals().FunctionHost;
  auto aggregate = [&](AggregateKind kind) {
    if (!host) return;
    if (kind == akCount)
      host->Aggregate(kind, {}, p1, p2, value);
    else
      host->Aggregate(kind, p1, p2, p3, value);
  };
  switch (index) {
    case 0:
      aggregate(akAvg);
      break;
    case 1:
      aggregate(akCount);
      break;
    case 2:
      value = Variant(decodeDateTime(dateTimeValue(calc(p1))).day);
      break;
    case 3:
      value = Variant(FormatDateTime(textOf(p1), dateTimeValue(calc(p2))));
      break;
    case 4:
      value = Variant(formatFloat(textOf(p1), calc(p2).numberValue()));
      break;
    case 5:
      value = Variant(formatMaskText(textOf(p1) + ";0; ", textOf(p2)));
      break;
    case 6: {
      std::string text = textOf(p2);
      if (ReportUi* ui = host ? host->Ui() : nullptr) ui->InputBox("", textOf(p1), text);
      value = Variant(text);
      break;
    }
    case 7:
      value = Variant(static_cast<int64_t>(textOf(p1).size()));
      break;
    case 8:
      value = Variant(lowerCaseText(textOf(p1), kTextCodePage));
      break;
    case 9:
      aggregate(akMax);
      break;
    case 10:
    case 13: {
      const Variant a = calc(p1);
      const Variant b = calc(p2);
      const int c = variantCompare(a, b);
      value = (index == 10 ? c > 0 : c < 0) ? a : b;
      break;
    }
    case 11: {
      const std::string text = textOf(p1);
      const std::string caption = textOf(p2);
      const int flags = static_cast<int>(calc(p3).toInt());
      ReportUi* ui = host ? host->Ui() : nullptr;
      value = Variant(ui ? ui->MessageBox(text, caption, flags) : firstButton(flags));
      break;
    }
    case 12:
      aggregate(akMin);
      break;
    case 14:
      value = Variant(decodeDateTime(dateTimeValue(calc(p1))).month);
      break;
    case 15: {
      std::string s = lowerCaseText(textOf(p1), kTextCodePage);
      if (!s.empty()) s[0] = upperChar(s[0]);
      value = Variant(s);
      break;
    }
    case 16: {
      const std::string sub = textOf(p1);
      const size_t at = textOf(p2).find(sub);
      value = Variant(sub.empty() || at == std::string::npos ? 0 : static_cast<int64_t>(at) + 1);
      break;
    }
    case 17:
      aggregate(akSum);
      break;
    case 18:
      value = Variant(trimBlanks(textOf(p1)));
      break;
    case 19:
      value = Variant(upperCaseText(textOf(p1), kTextCodePage));
      break;
    case 20:
      value = Variant(decodeDateTime(dateTimeValue(calc(p1))).year);
      break;
    default:
      break;
  }
}

// ------------------------------------------------------------ database library

TDatabaseFunctionLibrary::TDatabaseFunctionLibrary() {
  List = {"FIELDISNULL"};
  AddFunctionDesc("FIELDISNULL", loadString8(kDatabaseCategory),
                  loadString8(kFieldIsNullDescription));
}

void TDatabaseFunctionLibrary::DoFunction(int index, const std::string& p1, const std::string&,
                                          const std::string&, Variant& value) {
  if (index != 0) return;
  TfrFunctionHost* host = engineGlobals().FunctionHost;
  const std::string reference = textOf(p1);
  value = Variant(host ? host->FieldIsNull(reference) : false);
}

// ------------------------------------------------------------ constants

void fillGlobalConstants(TfrVariables& c) {
  struct Named {
    const char* name;
    int64_t value;
  };
  static constexpr Named table[] = {
      {"clWhite", 0xFFFFFF},
      {"clBlack", 0},
      {"clMaroon", 0x80},
      {"clGreen", 0x8000},
      {"clOlive", 0x8080},
      {"clNavy", 0x800000},
      {"clPurple", 0x800080},
      {"clTeal", 0x808000},
      {"clGray", 0x808080},
      {"clSilver", 0xC0C0C0},
      {"clRed", 0xFF},
      {"clLime", 0xFF00},
      {"clYellow", 0xFFFF},
      {"clBlue", 0xFF0000},
      {"clFuchsia", 0xFF00FF},
      {"clAqua", 0xFFFF00},
      {"clTransparent", 0x1FFFFFFF},
      {"mrNone", 0},
      {"mrOk", 1},
      {"mrCancel", 2},
      {"mrYes", 6},
      {"mrNo", 7},
      {"fsBold", 2},
      {"fsItalic", 1},
      {"fsUnderline", 4},
      {"fsStrikeOut", 8},
      {"frftNone", 0},
      {"frftRight", 1},
      {"frftBottom", 2},
      {"frftLeft", 4},
      {"frftTop", 8},
      {"frtaLeft", 0},
      {"frtaRight", 1},
      {"frtaCenter", 2},
      {"frtaVertical", 4},
      {"frtaMiddle", 8},
      {"frtaDown", 16},
      {"baNone", 0},
      {"baLeft", 1},
      {"baRight", 2},
      {"baCenter", 3},
      {"baWidth", 4},
      {"baBottom", 5},
      {"baTop", 6},
      {"baRest", 7},
      {"psSolid", 0},
      {"psDash", 1},
      {"psDot", 2},
      {"psDashDot", 3},
      {"psDashDotDot", 4},
      {"psDouble", 5},
      {"mb_Ok", 0},
      {"mb_OkCancel", 1},
      {"mb_YesNo", 4},
      {"mb_YesNoCancel", 3},
      {"mb_IconError", 16},
      {"mb_IconQuestion", 32},
      {"mb_IconInformation", 64},
      {"mb_IconWarning", 48},
  };
  static constexpr const char* systemColours[] = {
      "clScrollBar",    "clBackground",  "clActiveCaption", "clInactiveCaption",
      "clMenu",         "clWindow",      "clWindowFrame",   "clMenuText",
      "clWindowText",   "clCaptionText", "clActiveBorder",  "clInactiveBorder",
      "clAppWorkSpace", "clHighlight",   "clHighlightText", "clBtnFace",
      "clBtnShadow",    "clGrayText",    "clBtnText",       "clInactiveCaptionText",
      "clBtnHighlight", "cl3DDkShadow",  "cl3DLight",       "clInfoText",
      "clInfoBk"};
  c.setSorted(true);
  for (const Named& n : table) c.setValue(n.name, Variant(n.value));
  for (size_t i = 0; i < std::size(systemColours); ++i)
    c.setValue(systemColours[i], Variant(static_cast<int64_t>(0x80000000u + i)));
  c.setValue("CRLF", Variant("\r\n"));
  c.setValue("Null", Variant::null());
}

std::string trimBlanks(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && static_cast<unsigned char>(s[a]) <= ' ') ++a;
  while (b > a && static_cast<unsigned char>(s[b - 1]) <= ' ') --b;
  return std::string(s.substr(a, b - a));
}

// ------------------------------------------------------------ edit masks

std::string formatMaskText(std::string_view mask, std::string_view text) {
  // The mask proper ends at its first unescaped ';'; the rest says whether
  // literals are stored (here: never) and which character fills blanks.
  std::string_view body = mask;
  char blank = ' ';
  for (size_t i = 0; i < mask.size(); ++i) {
    if (mask[i] == '\\') {
      ++i;
      continue;
    }
    if (mask[i] == ';') {
      body = mask.substr(0, i);
      const size_t second = mask.find(';', i + 1);
      if (second != std::string_view::npos && second + 1 < mask.size()) blank = mask[second + 1];
      break;
    }
  }
  std::string out;
  size_t t = 0;
  int caseMode = 0;  // 1 upper, -1 lower
  for (size_t i = 0; i < body.size(); ++i) {
    const char m = body[i];
    switch (m) {
      case '!':
        break;
      case '>':
        caseMode = i + 1 < body.size() && body[i + 1] == '<' ? (++i, 0) : 1;
        break;
      case '<':
        caseMode = -1;
        break;
      case '\\':
        if (i + 1 < body.size()) out += body[++i];
        break;
      case '0':
      case '9':
      case '#':
      case 'L':
      case 'l':
      case 'A':
      case 'a':
      case 'C':
      case 'c': {
        char ch = t < text.size() ? text[t++] : blank;
        if (caseMode > 0) ch = upperChar(ch);
        if (caseMode < 0) ch = lowerChar(ch);
        out += ch;
        break;
      }
      case ':':
        out += engineGlobals().Format.TimeSeparator;
        break;
      case '/':
        out += engineGlobals().Format.DateSeparator;
        break;
      default:
        out += m;
        break;
    }
  }
  return out;
}

}  // namespace orv
