#include "engine/functions.h"

#include <gtest/gtest.h>

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
