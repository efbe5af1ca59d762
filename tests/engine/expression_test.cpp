#include <gtest/gtest.h>

#include <map>

#include "engine/date_time.h"
#include "engine/engine_globals.h"
#include "engine/function_splitter.h"
#include "engine/parser.h"

namespace orv {
namespace {

// Postfix texts with their control-character operators spelled out.
std::string pf(std::string_view expression) {
  static const std::map<char, std::string> names = {
      {pfx::GreaterEqual, "{>=}"}, {pfx::LessEqual, "{<=}"}, {pfx::NotEqual, "{<>}"},
      {pfx::Or, "{or}"},           {pfx::And, "{and}"},      {pfx::Int, "{int}"},
      {pfx::Frac, "{frac}"},       {pfx::Negate, "{neg}"},   {pfx::Plus, "{pos}"},
      {pfx::Str, "{str}"},         {pfx::Not, "{not}"},      {pfx::Mod, "{mod}"},
      {pfx::Round, "{round}"}};
  std::string out;
  for (char c : TfrParser::ToPostfix(expression)) {
    auto it = names.find(c);
    out += it == names.end() ? std::string(1, c) : it->second;
  }
  return out;
}

// A parser whose hooks answer from a table and log what they were asked.
struct Fixture {
  TfrParser p;
  std::map<std::string, Variant> values;
  std::vector<std::string> asked;
  std::vector<std::vector<std::string>> calls;
  Fixture() {
    p.OnGetValue = [this](const std::string& name, Variant& v) {
      asked.push_back(name);
      auto it = values.find(name);
      if (it != values.end()) v = it->second;
    };
    p.OnFunction = [this](const std::string& name, const std::string& p1, const std::string& p2,
                          const std::string& p3, Variant& v) {
      calls.push_back({name, p1, p2, p3});
      v = Variant(name);
    };
  }
  Variant calc(std::string_view e) { return p.Calc(e); }
};

TEST(Postfix, OperatorsOfEveryPriority) {
  EXPECT_EQ(pf("[Qty] * 2 + 1"), "[Qty] 2 *1 +");
  EXPECT_EQ(pf("2+3*4"), "2 3 4 *+");
  EXPECT_EQ(pf("(2+3)*4"), "2 3 +4 *");
  EXPECT_EQ(pf("10-4-3"), "10 4 -3 -");  // left to right
  EXPECT_EQ(pf("1 + 2 > 2"), "1 2 +2 >");
  EXPECT_EQ(pf("a>=b"), "a b {>=}");
  EXPECT_EQ(pf("a<=b"), "a b {<=}");
  EXPECT_EQ(pf("a<>b"), "a b {<>}");
  EXPECT_EQ(pf("a < b = c"), "a b <c =");
  EXPECT_EQ(pf("6 / 3 * 2"), "6 3 /2 *");
  // OR and AND bind as tightly as '*', tighter than comparisons.
  EXPECT_EQ(pf("1 = 1 and 2"), "1 1 2 {and}=");
  EXPECT_EQ(pf("INT(2.5) + 1"), "2.5 {int}1 +");
  EXPECT_EQ(pf("Round(2.5) * 2"), "2.5 {round}2 *");
}

TEST(Postfix, UnaryMinusAndPlus) {
  EXPECT_EQ(pf("-2*3"), "2 3 *{neg}");
  EXPECT_EQ(pf("(-2)*3"), "2 {neg}3 *");
  EXPECT_EQ(pf("+2"), "2 {pos}");
  EXPECT_EQ(pf("-2+3"), "2 {neg}3 +");
  // After an operator the sign belongs to the operand that follows.
  EXPECT_EQ(pf("2*-3"), "2 3 {neg}*");
  EXPECT_EQ(pf("10 - -3"), "10 3 {neg}-");
  EXPECT_EQ(pf("1 AND NOT 0"), "1 0 {not}{and}");
  EXPECT_EQ(pf("- -2"), "2 {neg}{neg}");
}

TEST(Postfix, WordOperatorsInAnyCase) {
  for (const char* e : {"1 or 0", "1 OR 0", "1 Or 0"}) EXPECT_EQ(pf(e), "1 0 {or}") << e;
  EXPECT_EQ(pf("1 and 0"), "1 0 {and}");
  EXPECT_EQ(pf("not 0"), "0 {not}");
  EXPECT_EQ(pf("7 Mod 3"), "7 3 {mod}");
  EXPECT_EQ(pf("frac(1.25)"), "1.25 {frac}");
  EXPECT_EQ(pf("sTr(1)"), "1 {str}");
  // Only whole words: ORDER is a name.
  EXPECT_EQ(pf("ORDER + 1"), "ORDER 1 +");
}

TEST(Postfix, OperandsKeepTheirText) {
  EXPECT_EQ(pf("'it''s' + 'x'"), "'it''s' 'x' +");
  EXPECT_EQ(pf("1,5 + 1.5"), "1,5 1.5 +");
  EXPECT_EQ(pf("%dName + 1"), "%dName 1 +");
  EXPECT_EQ(pf("%x[a b] + %y'c d'"), "%x[a b] %y'c d' +");
  EXPECT_EQ(pf("Customers.\"Last name\" + 1"), "Customers.\"Last name\" 1 +");
  EXPECT_EQ(pf("A[i + 1] * 2"), "A[i + 1] 2 *");
  EXPECT_EQ(pf("[a [b] 'x]'] + 1"), "[a [b] 'x]'] 1 +");
  // A call is kept whole and carries its own end.
  EXPECT_EQ(pf("COPY('a(b', 2, 3) + F(1)"), "COPY('a(b', 2, 3)F(1)+");
  EXPECT_EQ(pf("1 + 2; junk"), "1 2 +");
  EXPECT_EQ(pf("1\r\n+\t2"), "1 2 +");
}

TEST(Postfix, MalformedTextsAreClearErrors) {
  EXPECT_THROW(TfrParser::ToPostfix("COPY('abc', 1"), ExpressionError);
  EXPECT_THROW(TfrParser::ToPostfix("(1 + 2"), ExpressionError);
  EXPECT_THROW(TfrParser::ToPostfix("'open"), ExpressionError);
  EXPECT_THROW(TfrParser::ToPostfix("[open"), ExpressionError);
  EXPECT_THROW(TfrParser::ToPostfix("F(1, 2, 3, 4)"), ExpressionError);
  try {
    TfrParser::ToPostfix("IF(1, 2");
    FAIL();
  } catch (const ExpressionError& e) {
    EXPECT_NE(std::string(e.what()).find("missing ')'"), std::string::npos);
  }
  // A surplus ')' has always been harmless.
  EXPECT_EQ(pf("1 + 2)"), "1 2 +");
}

TEST(Evaluation, ArithmeticAndPriorities) {
  Fixture f;
  EXPECT_EQ(f.calc("2+3*4").toDouble(), 14);
  EXPECT_EQ(f.calc("(2+3)*4").toDouble(), 20);
  EXPECT_EQ(f.calc("10-4-3").toDouble(), 3);
  EXPECT_EQ(f.calc("-2*3").toDouble(), -6);
  EXPECT_EQ(f.calc("2*-3").toDouble(), -6);
  EXPECT_EQ(f.calc("10 - -3").toDouble(), 13);
  EXPECT_EQ(f.calc("7 mod 3"), Variant(int64_t(1)));
  EXPECT_EQ(f.calc("6 or 1"), Variant(int64_t(7)));
  EXPECT_EQ(f.calc("1 + 2; junk").toDouble(), 3);
  EXPECT_EQ(f.calc("'a' + 'b'"), Variant("ab"));
  EXPECT_EQ(f.calc("'2' + 1").toDouble(), 3);
  EXPECT_EQ(f.calc("'it''s'"), Variant("it's"));
  EXPECT_EQ(f.calc(""), Variant());
}

TEST(Evaluation, ComparisonsAndNotGiveIntegers) {
  Fixture f;
  EXPECT_EQ(f.calc("5 > 3"), Variant(1));
  EXPECT_EQ(f.calc("5 < 3"), Variant(0));
  EXPECT_EQ(f.calc("3 >= 3"), Variant(1));
  EXPECT_EQ(f.calc("'a' <> 'b'"), Variant(1));
  EXPECT_EQ(f.calc("NOT 0"), Variant(1));
  EXPECT_EQ(f.calc("NOT 5"), Variant(0));
  EXPECT_EQ(f.calc("NOT (1 > 2)"), Variant(1));
  // Null equals only Null.
  EXPECT_EQ(f.calc("[Missing] = [Other]"), Variant(1));
  EXPECT_EQ(f.calc("[Missing] = 0"), Variant(0));
  EXPECT_EQ(f.calc("TRUE"), Variant(true));
  EXPECT_EQ(f.calc("false"), Variant(false));
}

TEST(Evaluation, DivisionAndRounding) {
  Fixture f;
  EXPECT_EQ(f.calc("7/0"), Variant(0));
  EXPECT_EQ(f.calc("7/2"), Variant(3.5));
  EXPECT_EQ(f.calc("INT(2.9999999999999)"), Variant(3.0));
  EXPECT_EQ(f.calc("INT(-2.5)"), Variant(-2.0));
  EXPECT_EQ(f.calc("INT(2.5)"), Variant(2.0));
  EXPECT_EQ(f.calc("FRAC(1.25)"), Variant(0.25));
  EXPECT_EQ(f.calc("FRAC(1.99999999999999)"), Variant(0.0));
  EXPECT_EQ(f.calc("ROUND(2.5)"), Variant(2.0));
  EXPECT_EQ(f.calc("ROUND(3.5)"), Variant(4.0));
  EXPECT_EQ(f.calc("ROUND(-2.5)"), Variant(-2.0));
  EXPECT_THROW(f.calc("7 mod 0"), ConversionError);
}

TEST(Evaluation, NumbersReadEitherDecimalPoint) {
  Fixture f;
  for (char sep : {',', '.'}) {
    DecimalSeparatorScope scope(sep);
    EXPECT_EQ(f.calc("1,5 + 1.5").toDouble(), 3) << sep;
  }
  EXPECT_THROW(f.calc("1.5.3"), ConversionError);
  EXPECT_THROW(f.calc("2x"), ConversionError);
}

TEST(Evaluation, StrAndTextForm) {
  Fixture f;
  EXPECT_EQ(f.calc("STR([Missing])"), Variant(""));
  DecimalSeparatorScope comma(',');
  EXPECT_EQ(f.calc("STR(1.5)"), Variant("1,5"));
  EXPECT_EQ(f.calc("STR(2 > 1)"), Variant("1"));
}

TEST(Evaluation, BuiltInFunctions) {
  Fixture f;
  EXPECT_EQ(f.calc("COPY('abcdef', 2, 3)"), Variant("bcd"));
  EXPECT_EQ(f.calc("COPY('abc', 0, 2)"), Variant("ab"));
  EXPECT_EQ(f.calc("COPY('abc', 3, 10)"), Variant("c"));
  EXPECT_EQ(f.calc("COPY('abc', 9, 1)"), Variant(""));
  EXPECT_THROW(f.calc("COPY('abc', 1.5, 1)"), ConversionError);
  EXPECT_EQ(f.calc("IF(1 > 2, 'a', 'b')"), Variant("b"));
  EXPECT_EQ(f.calc("if(2, 'a', 'b')"), Variant("a"));
  // A Boolean is not a number to IF.
  EXPECT_THROW(f.calc("IF(TRUE, 1, 2)"), ConversionError);
  EXPECT_EQ(f.calc("STRTODATE('09/12/2026')"), Variant::dateTime(encodeDate(2026, 12, 9)));
  EXPECT_EQ(f.calc("STRTOTIME('18:30')"), Variant::dateTime(encodeTime(18, 30, 0, 0)));
  EXPECT_THROW(f.calc("STRTODATE('31/02/2026')"), ConversionError);
}

TEST(Evaluation, IfEvaluatesOnlyTheChosenBranch) {
  Fixture f;
  EXPECT_TRUE(f.calc("IF(1 > 2, [A], [B])").isNull());
  EXPECT_EQ(f.asked, std::vector<std::string>{"B"});
}

TEST(Evaluation, NamesReachTheHooks) {
  Fixture f;
  f.values["Qty"] = Variant(3);
  f.values["PRICE"] = Variant(2.5);
  EXPECT_EQ(f.calc("[Qty] * 2 + 1").toDouble(), 7);
  EXPECT_EQ(f.calc("price * 2").toDouble(), 5);
  f.asked.clear();
  f.calc("Customers.\"Last name\" + [as Written] + %dName");
  EXPECT_EQ(f.asked, (std::vector<std::string>{"CUSTOMERS.\"LAST NAME\"", "as Written", "%dName"}));
  f.asked.clear();
  f.calc("%y'c d' + %x[a b]");
  f.p.CalcPostfix(std::string("\x08[z]", 4));  // a code no operator has is skipped
  EXPECT_EQ(f.asked, (std::vector<std::string>{"%y'c d'", "%x[a b]", "z"}));
}

TEST(Evaluation, CallsAndArraysReachOnFunction) {
  Fixture f;
  EXPECT_EQ(f.calc("sum(a, 'x,y', (1, 2))"), Variant("SUM"));
  EXPECT_EQ(f.calls.back(), (std::vector<std::string>{"SUM", "a", " 'x,y'", " (1, 2)"}));
  EXPECT_EQ(f.calc("Tab[i + 1]"), Variant("GETARRAY"));
  EXPECT_EQ(f.calls.back(), (std::vector<std::string>{"GETARRAY", "Tab", " i + 1", ""}));
  EXPECT_EQ(f.calc("F()"), Variant("F"));
  EXPECT_EQ(f.calls.back(), (std::vector<std::string>{"F", "", "", ""}));
  TfrParser bare;  // no hooks: every name is Null
  EXPECT_TRUE(bare.Calc("[x] + F(1)").isNull());
}

TEST(Evaluation, LimitsAreErrorsNotCorruption) {
  Fixture f;
  auto nested = [](int operands) {
    std::string e;
    for (int i = 1; i < operands; ++i) e += "1+(";
    e += "1" + std::string(operands - 1, ')');
    return e;
  };
  EXPECT_EQ(f.calc(nested(32)).toDouble(), 32);
  EXPECT_THROW(f.calc(nested(33)), ExpressionError);
  EXPECT_THROW(f.p.CalcPostfix("F(1"), ExpressionError);
  EXPECT_THROW(f.calc("1 +"), ExpressionError);
  EXPECT_THROW(f.p.CalcPostfix("*"), ExpressionError);
  EXPECT_THROW(f.p.CalcPostfix(")"), ExpressionError);
  std::string deep;
  for (int i = 0; i < 200; ++i) deep += "IF(1, ";
  deep += "1" + std::string(200, ')');
  EXPECT_THROW(f.calc(deep), ExpressionError);
  // The guard unwinds: the parser still works afterwards.
  EXPECT_EQ(f.calc("IF(1, IF(1, 5, 0), 0)").toDouble(), 5);
}

TEST(Evaluation, ConversionErrorsPropagate) {
  Fixture f;
  EXPECT_THROW(f.calc("'abc' - 1"), ConversionError);
  EXPECT_THROW(f.calc("'abc' * 2"), ConversionError);
  f.values["N"] = Variant::null();
  EXPECT_TRUE(f.calc("[N] + 1").isNull());
}

TEST(TextReaders, BracketsNestAndSkipQuotes) {
  size_t pos = 2;
  EXPECT_EQ(readBracketed("x [a[b] ']' \"]\"] y", pos), "a[b] ']' \"]\"");
  EXPECT_EQ(pos, 16u);
  pos = 0;
  EXPECT_EQ(readBracketed("abc", pos), "");
  EXPECT_EQ(pos, 0u);
  pos = 0;
  EXPECT_THROW(readBracketed("[a[b]", pos), ExpressionError);
}

TEST(TextReaders, IdentifiersAndLiterals) {
  size_t pos = 0;
  EXPECT_EQ(readIdentifier("  \t Data.\"A + B\"*2", pos), "Data.\"A + B\"");
  EXPECT_EQ(pos, 16u);
  pos = 0;
  EXPECT_EQ(readIdentifier("abc;def", pos), "abc");
  pos = 1;
  EXPECT_EQ(readStringLiteral("x'a''b'c", pos), "'a''b'");
  EXPECT_EQ(pos, 7u);
  EXPECT_EQ(unquoteLiteral("'a''b'"), "a'b");
}

TEST(TextReaders, ArgumentsSplitAtOuterCommas) {
  size_t pos = 1;
  const Arguments a = readArguments("F(a, g(b, c), 'd,e')+1", pos);
  EXPECT_EQ(a.count, 3);
  EXPECT_EQ(a.p1, "a");
  EXPECT_EQ(a.p2, " g(b, c)");
  EXPECT_EQ(a.p3, " 'd,e'");
  EXPECT_EQ(pos, 20u);
  pos = 0;
  const Arguments b = readArguments("([x,y], ')')", pos);
  EXPECT_EQ(b.count, 2);
  EXPECT_EQ(b.p1, "[x,y]");
  EXPECT_EQ(b.p2, " ')'");
  pos = 0;
  EXPECT_THROW(readArguments("(a, (b)", pos), ExpressionError);
}

TEST(FunctionSplitter, FindsCallsThroughArgumentsAndVariables) {
  StringList match{"sum", "AVG"}, found;
  TfrVariables vars;
  vars.setValue("Total", Variant("SUM([Qty]) * 2"));
  vars.setValue("Loop", Variant("[Loop] + 1"));
  TfrFunctionSplitter sp(match, found, &vars);
  sp.Split("IF(SUM(a) > 0, AVG(b), 0) + Sum(c)");
  EXPECT_EQ(found, (StringList{"SUM(a)", "AVG(b)", "Sum(c)"}));
  found.clear();
  sp.Split("[Total] + Total / 2 + [Total]");
  EXPECT_EQ(found, (StringList{"SUM([Qty])", "SUM([Qty])", "SUM([Qty])"}));
  found.clear();
  sp.Split("SUM(AVG(x))");
  EXPECT_EQ(found, (StringList{"AVG(x)", "SUM(AVG(x))"}));
  found.clear();
  sp.Split("'SUM(a)' + SUM(b)");
  EXPECT_TRUE(found.empty());
  EXPECT_THROW(sp.Split("[Loop]"), ExpressionError);
  // V0 names V1 twice, V1 names V2 twice...: stopped soon, not after 2^40 steps.
  for (int i = 0; i < 40; ++i) {
    std::string name(1, 'V'), next(2, '[');
    name += std::to_string(i);
    next[1] = 'V';
    next += std::to_string(i + 1);
    next += ']';
    vars.setValue(name, Variant(next + " + " + next));
  }
  EXPECT_THROW(sp.Split("V0"), ExpressionError);
  EXPECT_THROW(sp.Split("SUM(a"), ExpressionError);
}

}  // namespace
}  // namespace orv
