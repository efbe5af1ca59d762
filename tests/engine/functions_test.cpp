#include "engine/functions.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "engine/engine_globals.h"
#include "engine/report_ui.h"

namespace orv {
namespace {

// The shared parser with the libraries as its only functions and the
// constant table as its only names, as long as the fixture lives.
class Functions : public ::testing::Test {
 protected:
  void SetUp() override {
    TfrParser& p = engineGlobals().Parser;
    savedGet = p.OnGetValue;
    savedFn = p.OnFunction;
    p.OnGetValue = [](const std::string& n, Variant& v) { v = engineGlobals().Constants.value(n); };
    p.OnFunction = [](const std::string& n, const std::string& p1, const std::string& p2,
                      const std::string& p3, Variant& v) {
      v = Variant("0");
      callLibraryFunction(n, p1, p2, p3, v);
    };
  }
  void TearDown() override {
    engineGlobals().Parser.OnGetValue = savedGet;
    engineGlobals().Parser.OnFunction = savedFn;
  }
  std::string text(const char* e) { return engineGlobals().Parser.Calc(e).toString(); }
  TfrParser::GetValueHook savedGet;
  TfrParser::FunctionHook savedFn;
};

TEST_F(Functions, TextAndNumberFunctionsFollowTheirRules) {
  EXPECT_EQ(text("MINNUM(3, 5)"), "3");
  EXPECT_EQ(text("MAXNUM('b', 'a')"), "b");
  EXPECT_EQ(text("NAMECASE('JOHN SMITH')"), "John smith");
  EXPECT_EQ(text("NAMECASE('')"), "");
  EXPECT_EQ(text("POS('c', 'abc')"), "3");
  EXPECT_EQ(text("POS('x', 'abc')"), "0");
  EXPECT_EQ(text("LENGTH('abcd')"), "4");
  EXPECT_EQ(text("TRIM('  a b  ')"), "a b");
  EXPECT_EQ(text("UPPERCASE('aBc') + LOWERCASE('DeF')"), "ABCdef");
  EXPECT_EQ(text("FORMATTEXT('(99) 9999', '123456')"), "(12) 3456");
  // The current separators: decimal ',' and thousands '.'.
  EXPECT_EQ(text("FORMATFLOAT('#,##0.00', 1234.5)"), "1.234,50");
}

// Texts are Windows-1252: accented letters change case like plain ones, as
// the search's case rules have them, and signs without a case stay.
TEST_F(Functions, CaseFunctionsChangeAccentedLettersOfTheCodePage) {
  EXPECT_EQ(text("NAMECASE('JO\xC3O DA SILVA')"), "Jo\xE3o da silva");
  EXPECT_EQ(text("NAMECASE('\xE9RICA')"), "\xC9rica");
  EXPECT_EQ(text("UPPERCASE('a\xE7\xE3o \xE0 \xFC\xF1\xFF')"), "A\xC7\xC3O \xC0 \xDC\xD1\x9F");
  EXPECT_EQ(text("LOWERCASE('A\xC7\xC3O \xC0 \xDC\xD1\x9F')"), "a\xE7\xe3o \xE0 \xFC\xF1\xFF");
  EXPECT_EQ(text("UPPERCASE('\x9A\x9C\x9E')"), "\x8A\x8C\x8E");
  // Sharp s, micro sign, ordinal marks and the division sign have no
  // single-byte partner in the page.
  EXPECT_EQ(text("UPPERCASE('\xDF\xB5\xAA\xBA\xF7')"), "\xDF\xB5\xAA\xBA\xF7");
  EXPECT_EQ(text("LOWERCASE('\xD7')"), "\xD7");
  // The edit mask's case marks too.
  EXPECT_EQ(text("FORMATTEXT('>cccc', 'a\xE7\xE3o')"), "A\xC7\xC3O");
}

TEST_F(Functions, DatePartsAndFormats) {
  EXPECT_EQ(text("DAYOF(STRTODATE('09/12/2026'))"), "9");
  EXPECT_EQ(text("MONTHOF(STRTODATE('09/12/2026'))"), "12");
  EXPECT_EQ(text("YEAROF(STRTODATE('09/12/2026'))"), "2026");
  EXPECT_EQ(text("FORMATDATETIME('yyyy-mm-dd', STRTODATE('09/12/2026'))"), "2026-12-09");
  EXPECT_THROW(text("DAYOF('not a date')"), ConversionError);
}

TEST_F(Functions, WithoutAWindowInputGivesItsDefaultAndMessageBoxItsFirstButton) {
  EXPECT_EQ(text("INPUT('Nome?', 'Maria')"), "Maria");
  EXPECT_EQ(text("MESSAGEBOX('Continuar?', 'Pergunta', mb_YesNo + mb_IconQuestion)"), "6");
  EXPECT_EQ(text("MESSAGEBOX('Pronto', '', mb_OkCancel)"), "1");
  // Aggregates outside a run, unknown names: the start text stays.
  EXPECT_EQ(text("SUM(1)"), "0");
  Variant v("0");
  EXPECT_FALSE(callLibraryFunction("NOSUCHFUNCTION", "", "", "", v));
}

TEST_F(Functions, TheConstantTableHoldsColoursStylesAndTexts) {
  const TfrVariables& c = engineGlobals().Constants;
  EXPECT_EQ(c.value("clRed").toInt(), 0xFF);
  EXPECT_EQ(c.value("CLBLUE").toInt(), 0xFF0000);
  EXPECT_EQ(c.value("clBtnFace").toInt(), 0x80000000LL + 15);
  EXPECT_EQ(c.value("clInfoBk").toInt(), 0x80000000LL + 24);
  EXPECT_EQ(c.value("fsBold").toInt(), 2);
  EXPECT_EQ(c.value("mb_IconWarning").toInt(), 48);
  EXPECT_EQ(c.value("CRLF").toString(), "\r\n");
  EXPECT_TRUE(c.value("Null").isNull());
  EXPECT_TRUE(c.Sorted());
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

TEST(FunctionDescriptions, EveryStandardNameIsListedOnceUnderACategory) {
  const std::vector<std::string> expected = {
      // the standard library's own
      "AVG", "COUNT", "DAYOF", "FORMATDATETIME", "FORMATFLOAT", "FORMATTEXT", "INPUT", "LENGTH",
      "LOWERCASE", "MAX", "MAXNUM", "MESSAGEBOX", "MIN", "MINNUM", "MONTHOF", "NAMECASE", "POS",
      "SUM", "TRIM", "UPPERCASE", "YEAROF",
      // the parser's
      "IF", "COPY", "MOD", "STR", "NOT", "AND", "OR", "ROUND", "FRAC", "INT", "TRUE", "FALSE",
      "STRTODATE", "STRTOTIME",
      // the name resolver's
      "VALUE", "PAGE#", "DATE", "TIME", "LINE#", "LINETHROUGH#", "COLUMN#", "CURRENT#",
      "TOTALPAGES", "CALCWIDTH", "REPORTCOMMENT", "REPORTNAME", "REPORTAUTOR", "VMAJOR", "VMINOR",
      "VRELEASE", "VBUILD", "REPORTDATE", "REPORTLASTCHANGE",
      // the interpreter's
      "MROK", "MRCANCEL", "CURY", "FREESPACE", "FINALPASS", "PAGEHEIGHT", "PAGEWIDTH", "PROGRESS",
      "MODALRESULT", "STOPREPORT", "NEWPAGE", "NEWCOLUMN", "SHOWBAND", "INC", "DEC",
      // the database library's
      "FIELDISNULL"};
  std::map<std::string, const TfrFunctionDesc*> byName;
  for (const TfrFunctionDesc& d : installedFunctions().Items()) {
    SCOPED_TRACE(d.FunctionName);
    EXPECT_TRUE(byName.emplace(d.FunctionName, &d).second) << "listed twice";
    EXPECT_FALSE(d.Category.empty());
    // "NAME(<args>)/text" or "NAME/text": a text numbered one off would
    // describe its neighbour (MAX and MAXNUM, for one).
    const std::string& text = d.Description;
    ASSERT_GT(text.size(), d.FunctionName.size() + 1);
    EXPECT_EQ(text.substr(0, d.FunctionName.size()), d.FunctionName);
    EXPECT_NE(std::string("(/").find(text[d.FunctionName.size()]), std::string::npos) << text;
    const size_t slash = text.find('/');
    ASSERT_NE(slash, std::string::npos) << text;
    EXPECT_GT(text.size(), slash + 5) << text;
    for (char c : text + d.Category) EXPECT_LT(static_cast<unsigned char>(c), 0x80) << text;
  }
  for (const std::string& name : expected) EXPECT_EQ(byName.count(name), 1u) << name;
  EXPECT_EQ(byName.size(), expected.size());

  EXPECT_EQ(byName.at("REPORTNAME")->Description, "REPORTNAME/Returns report name");
  EXPECT_EQ(byName.at("REPORTNAME")->Category, "Report info");
  EXPECT_EQ(byName.at("FIELDISNULL")->Category, "Database");
  EXPECT_NE(dynamic_cast<TDatabaseFunctionLibrary*>(byName.at("FIELDISNULL")->Library), nullptr);
  EXPECT_NE(dynamic_cast<TfrStdFunctionLibrary*>(byName.at("IF")->Library), nullptr);
  EXPECT_EQ(byName.at("SUM")->Category, byName.at("COUNT")->Category);
  EXPECT_NE(byName.at("SUM")->Category, byName.at("TRIM")->Category);
}

TEST(FunctionDescriptions, OnlyTheFirstDescriptionOfANameWithACategoryCounts) {
  TfrInstalledFunctions list;
  list.Add(nullptr, "Twice", "", "TWICE/no category");
  list.Add(nullptr, "TWICE", "Mine", "TWICE/first");
  list.Add(nullptr, "twice", "Mine", "TWICE/second");
  ASSERT_EQ(list.Items().size(), 1u);
  EXPECT_EQ(list.Items()[0].Description, "TWICE/first");
}

}  // namespace
}  // namespace orv
