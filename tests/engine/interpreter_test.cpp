#include "engine/interpreter.h"

#include <gtest/gtest.h>

#include <map>

#include "model/text_util.h"

namespace orv {
namespace {

// An interpreter over a plain table of variables; calls are logged, INC
// adds one to its argument's variable.
class TableInterpreter : public TfrInterpretator {
 public:
  std::map<std::string, Variant> vars;
  std::vector<std::string> calls;
  void GetValue(const std::string& name, Variant& value) override {
    auto it = vars.find(upperCase(name));
    if (it != vars.end()) value = it->second;
  }
  void SetValue(const std::string& name, const Variant& value) override {
    vars[upperCase(name)] = value;
  }
  void CallFunction(const std::string& name, const std::string& p1, const std::string& p2,
                    const std::string& p3, Variant& value) override {
    calls.push_back(name + "(" + p1 + "|" + p2 + "|" + p3 + ")");
    if (name == "INC") {
      const std::string v = upperCase(p1);
      vars[v] = Variant(vars[v].toInt() + 1);
    }
    value = Variant(0);
  }
  StringList code, errors;
  void compile(const StringList& src) {
    errors.clear();
    Compile(src, code, errors);
  }
  void run(const StringList& src) {
    compile(src);
    ASSERT_TRUE(errors.empty()) << errors.front();
    Run(code);
  }
  std::vector<std::string> listing() const {
    std::vector<std::string> out;
    for (const std::string& l : code) out.push_back(describeCodeLine(l));
    return out;
  }
};

using Lines = std::vector<std::string>;

TEST(ScriptCode, EveryStatementFormCompilesToItsLines) {
  TableInterpreter t;
  t.compile({"begin end"});
  EXPECT_TRUE(t.errors.empty());
  EXPECT_TRUE(t.code.empty());

  t.compile({"if 1 > 2 then x := 1 else x := 2"});
  EXPECT_EQ(t.listing(), (Lines{"ifnot 1 2 > goto 3", "x := 1", "goto 4", "x := 2"}));
  // The target sits in characters 2 and 3, low byte first.
  ASSERT_EQ(t.code[0].substr(0, 3), std::string("\x01\x03\x00", 3));

  t.compile({"if a then b := 1"});
  EXPECT_EQ(t.listing(), (Lines{"ifnot a goto 2", "b := 1"}));

  t.compile({"while i < 3 do i := i + 1"});
  EXPECT_EQ(t.listing(), (Lines{"ifnot i 3 < goto 3", "i := i 1 +", "goto 0"}));

  t.compile({"repeat i := i + 1; j := i until i >= 3"});
  EXPECT_EQ(t.listing(), (Lines{"i := i 1 +", "j := i", "ifnot i 3 >= goto 0"}));

  t.compile({"for i := 1 to n do Inc(k)"});
  EXPECT_EQ(t.listing(),
            (Lines{"i := 1", "ifnot i n <= goto 5", "call Inc(k)", "i := i 1 +", "goto 1"}));

  t.compile({"NewPage; exit"});
  EXPECT_EQ(t.listing(), (Lines{"call NewPage(0)", "call exit(0)"}));

  t.compile({"Arr[2] := 5"});
  EXPECT_EQ(t.listing(), (Lines{"call SETARRAY(Arr, 2, 5)"}));

  t.compile({"goto 10; x := 1; 10: y := 2; goto 99"});
  EXPECT_EQ(t.listing(), (Lines{"goto 2", "x := 1", "y := 2", "goto 0"}));

  t.compile({"Memo1.Visible := False; Memo1.Clear(1, 'a,b')"});
  EXPECT_EQ(t.listing(), (Lines{"Memo1.Visible := False", "call Memo1.Clear(1, 'a,b')"}));
}

TEST(ScriptRun, StatementsDoWhatTheySay) {
  TableInterpreter t;
  t.run({"if 1 > 2 then x := 1 else x := 2"});
  EXPECT_EQ(t.vars["X"].toInt(), 2);

  t.vars["N"] = Variant(10);
  t.run({"for i := 1 to 3 do Inc(n)"});
  EXPECT_EQ(t.vars["N"].toInt(), 13);
  t.run({"for i := 5 to 3 do Inc(n)"});
  EXPECT_EQ(t.vars["N"].toInt(), 13);

  t.run({"begin", "  s := 0; i := 0;", "  while i < 4 do", "  begin i := i + 1; s := s + i end;",
         "  repeat s := s * 2 until s > 50", "end"});
  EXPECT_EQ(t.vars["S"].toInt(), 80);

  t.run({"a := 1; exit; a := 2"});
  EXPECT_EQ(t.vars["A"].toInt(), 1);

  t.run({"k := 0; 1: k := k + 1; if k < 5 then goto 1"});
  EXPECT_EQ(t.vars["K"].toInt(), 5);
}

TEST(ScriptErrors, CarryLineAndColumnAsWritten) {
  TableInterpreter t;
  t.compile({"if x = 1 y := 2"});
  ASSERT_EQ(t.errors.size(), 1u);
  EXPECT_EQ(t.errors[0], "Line 1/10: Need \"then\" here");
  EXPECT_TRUE(t.code.empty());

  // A comment before the error does not move it.
  t.compile({"{ a comment } if x = 1 y := 2"});
  ASSERT_EQ(t.errors.size(), 1u);
  EXPECT_EQ(t.errors[0], "Line 1/24: Need \"then\" here");
  t.compile({"x := 1; // note", "{ two", "lines } while x y := 1"});
  ASSERT_EQ(t.errors.size(), 1u);
  EXPECT_EQ(t.errors[0], "Line 3/17: Need \"do\" here");

  const std::map<std::string, std::string> cases = {
      {"begin x := 1 y := 2 end", "Line 1/14: Need \";\" or \"end\" here"},
      {"repeat x := 1 y := 2", "Line 1/15: Need \";\" or \"until\" here"},
      {"for i := 1 downto 3 do x := 1", "Line 1/12: Need \"to\" here"},
      {"for i := 1 to 3 x := 1", "Line 1/17: Need \"do\" here"},
      {"goto abc", "Line 1/6: \"goto\" label must be a number"},
      {"x = 1", "Line 1/3: Need \":=\" here"},
      {"x := (1 + 2", "Line 1/12: Need \")\" here"},
      {"x := a[1", "Line 1/9: Need \"]\" here"},
      {"x := f(1 2)", "Line 1/10: Need \",\" or \")\" here"},
  };
  for (const auto& [src, error] : cases) {
    t.compile({src});
    ASSERT_EQ(t.errors.size(), 1u) << src;
    EXPECT_EQ(t.errors[0], error) << src;
  }
}

TEST(ScriptLimits, LongTextsAndEndlessLoopsAreClearErrors) {
  TableInterpreter t;
  t.compile({std::string(TfrInterpretator::kMaxText, ' ')});
  ASSERT_EQ(t.errors.size(), 1u);
  EXPECT_NE(t.errors[0].find("32000"), std::string::npos);
  EXPECT_TRUE(t.code.empty());

  t.compile({"while 1 do x := x + 1"});
  ASSERT_TRUE(t.errors.empty());
  t.MaxSteps = 1000;
  EXPECT_THROW(t.Run(t.code), ScriptLimitError);

  // Deep nesting is refused instead of overflowing the compiler's stack.
  t.compile({"x := " + std::string(5000, '(') + "1" + std::string(5000, ')')});
  EXPECT_EQ(t.errors.size(), 1u);
}

TEST(ScriptSplit, FindsCallsInEveryExpression) {
  TableInterpreter t;
  t.compile({"if SUM([a]) > 1 then x := MAX([b]) + 1; COUNT(Band1)"});
  ASSERT_TRUE(t.errors.empty());
  StringList found;
  t.SplitExpressions(t.code, {"SUM", "MAX", "COUNT"}, nullptr, found);
  EXPECT_EQ(found, (StringList{"SUM([a])", "MAX([b])", "COUNT(Band1)"}));
}

}  // namespace
}  // namespace orv
