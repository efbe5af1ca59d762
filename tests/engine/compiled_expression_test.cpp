#include "engine/compiled_expression.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "engine/parser.h"

namespace orv {
namespace {

// Hooks that answer from a table and log every question, in order, so that a
// converted text can be held to what the text itself did.
struct Logged {
  TfrParser p;
  std::map<std::string, Variant> values;
  std::vector<std::string> log;
  Logged() {
    values["A"] = Variant(4);
    values["b c"] = Variant("x");
    values["N"] = Variant::null();
    p.OnGetValue = [this](const std::string& name, Variant& v) {
      log.push_back("get " + name);
      if (auto it = values.find(name); it != values.end()) v = it->second;
    };
    p.OnFunction = [this](const std::string& name, const std::string& p1, const std::string& p2,
                          const std::string& p3, Variant& v) {
      log.push_back("call " + name + "|" + p1 + "|" + p2 + "|" + p3);
      v = Variant(7);
    };
  }
};

// What one evaluation gives: the value's text and kind, or the error's kind
// and message; with the questions asked on the way.
struct Outcome {
  std::string result;
  std::vector<std::string> log;
  bool operator==(const Outcome&) const = default;
};

template <class F>
Outcome outcome(Logged& l, F evaluate) {
  l.log.clear();
  Outcome o;
  try {
    const Variant v = evaluate();
    o.result = std::to_string(int(v.kind())) + ":" + v.toString();
  } catch (const ConversionError& e) {
    o.result = std::string("conversion: ") + e.what();
  } catch (const ExpressionError& e) {
    o.result = std::string("expression: ") + e.what();
  }
  o.log = l.log;
  return o;
}

// Texts of every kind of operand and operator, and malformed ones whose error
// comes after earlier operands have been asked for.
const char* const kTexts[] = {
    "2+3*4",
    "(2+3)*4 - -2 / 0",
    "10 mod 3 + int(2.9999999999999) + frac(1.25) + round(2.5) + round(3.5)",
    "not 0 + not 5 + (5 > 3) + (1 <> 1) + (2 >= 2) + (3 <= 1)",
    "str([N]) + 'it''s' + str(1.5)",
    "[A] * a + [b c] + %dName",
    "1,5 + 1.5",
    "TRUE or false and 1",
    "IF([A] > 2, 'yes', [never])",
    "IF(1 > 2, [never], COPY('abcdef', 2, 3))",
    "STRTODATE('01/02/2003') + 0",
    "Tab[i + 1] + F(a, 'x,y', (1, 2)) + G()",
    "[A] + 1abc",
    "[A] + 'unclosed",
    "[A] + F(1",
    "[A] + [unclosed",
    "[A] + 1 +",
    "'abc' - [A]",
    "[N] + 1 + [A]",
    "1 + 2; junk [A]",
    "IF('x', 1, 2)",
    "COPY('abc', 'z', 1)",
};

// Postfix texts no conversion writes, which a caller holding text may still
// pass: each fails where its bad operand stands.
const char* const kPostfixTexts[] = {
    "[A] 'unclosed +", "[A] F(1", "[A] [unclosed", "[A] 1x +", ") [A]",
    "[A] (1, 2)+",     "[A] +",   "[A] \x08 ;",    "%x[A]",    "[A] Tab[i ",
};

TEST(CompiledExpression, GivesWhatThePostfixTextGave) {
  std::vector<std::string> postfixes(std::begin(kPostfixTexts), std::end(kPostfixTexts));
  for (const char* text : kTexts) {
    try {
      postfixes.push_back(TfrParser::ToPostfix(text));
    } catch (const ExpressionError&) {
      // the conversion itself refuses it, before any evaluation
    }
  }
  for (const std::string& postfix : postfixes) {
    SCOPED_TRACE(postfix);
    Logged l;
    // Decoded once and run three times, it asks the same questions in the
    // same order and gives the same value or error as the text read afresh
    // each time: nothing a run keeps (entries, arguments converted on first
    // use) changes the next.
    const TfrCompiledExpression compiled(postfix);
    for (int round = 0; round < 3; ++round)
      EXPECT_EQ(outcome(l, [&] { return l.p.Run(compiled); }),
                outcome(l, [&] { return l.p.CalcPostfix(postfix); }));
  }
}

TEST(CompiledExpression, ErrorsComeWhereEvaluationMeetsThem) {
  Logged l;
  const TfrCompiledExpression bad("[A] 'unclosed +");
  EXPECT_THROW(l.p.Run(bad), ExpressionError);
  EXPECT_EQ(l.log, std::vector<std::string>{"get A"});
  // A number that does not read is a conversion error, not a decoding one.
  l.log.clear();
  EXPECT_THROW(l.p.Run(TfrCompiledExpression("[A] 1x +")), ConversionError);
  EXPECT_EQ(l.log, std::vector<std::string>{"get A"});
}

TEST(CompiledExpression, IfConvertsOnlyTheBranchItTakes) {
  Logged l;
  // The branch not taken is never converted, so its call of four arguments
  // is no error, just as evaluating the text never looked at it.
  const TfrCompiledExpression e(TfrParser::ToPostfix("IF([A] > 2, 1, F(1, 2, 3, 4))"));
  EXPECT_EQ(l.p.Run(e).toInt(), 1);
  l.values["A"] = Variant(0);
  EXPECT_THROW(l.p.Run(e), ExpressionError);
  l.values["A"] = Variant(9);
  EXPECT_EQ(l.p.Run(e).toInt(), 1);
}

TEST(CompiledExpression, ResolverDecidesEachNameOncePerResolver) {
  Logged l;
  std::vector<std::string> resolved;
  std::vector<int> values{10, 20};
  auto install = [&] {
    l.p.SetResolver(
        [&](const std::string& name) {
          resolved.push_back(name);
          return name == "A" ? 0 : name == "B" ? 1 : -1;
        },
        [&](int32_t entry, const std::string&, Variant& v) { v = Variant(values[entry]); });
  };
  install();
  const TfrCompiledExpression e(TfrParser::ToPostfix("str([A] + b * 2) + [b c]"));
  EXPECT_EQ(l.p.Run(e).toString(), "50x");
  values[0] = 1;  // values are read at every evaluation, entries kept
  EXPECT_EQ(l.p.Run(e).toString(), "41x");
  EXPECT_EQ(resolved, (std::vector<std::string>{"A", "B", "b c"}));
  // A name without an entry keeps going to OnGetValue by name.
  EXPECT_EQ(l.log, (std::vector<std::string>{"get b c", "get b c"}));
  // Another resolver decides again; a second parser can share the first's.
  install();
  l.p.Run(e);
  EXPECT_EQ(resolved.size(), 6u);
  TfrParser other;
  other.ShareResolver(l.p.Resolver());
  EXPECT_EQ(other.Run(TfrCompiledExpression("[A] ")).toInt(), 1);
  l.p.ClearResolver();
  l.log.clear();
  EXPECT_EQ(l.p.Run(e).toString(), "x");  // by name again: B is unknown, so Null
  EXPECT_EQ(l.log, (std::vector<std::string>{"get A", "get B", "get b c"}));
}

// The evaluation stack computes integers and floats itself and leaves the
// rest to the variant operations; for every pair of operand kinds the result
// must be the one those operations give, kind, value and error alike (a
// comparison gives an integer, division by zero the integer 0, a date-time
// stays one, NaN sorts after every number, integers past 64 bits go on as
// floating point).
TEST(CompiledExpression, EveryOperandKindKeepsTheVariantRules) {
  Logged l;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const Variant operands[] = {
      Variant(),
      Variant::null(),
      Variant(true),
      Variant(false),
      Variant(0),
      Variant(7),
      Variant(-3),
      Variant(INT64_MAX),
      Variant(INT64_MIN),
      Variant(0.0),
      Variant(-0.0),
      Variant(2.5),
      Variant(-7.5),
      Variant(nan),
      Variant(inf),
      Variant(1e300),
      Variant::dateTime(10.5),
      Variant("12"),
      Variant("abc"),
      Variant(""),
  };
  auto compare = [](int k) {
    return [k](const Variant& a, const Variant& b) {
      const int c = variantCompare(a, b);
      const bool holds = k == 0   ? c < 0
                         : k == 1 ? c > 0
                         : k == 2 ? c == 0
                         : k == 3 ? c != 0
                         : k == 4 ? c >= 0
                                  : c <= 0;
      return Variant(holds ? 1 : 0);
    };
  };
  const std::pair<const char*, std::function<Variant(const Variant&, const Variant&)>> binary[] = {
      {"+", variantAdd},
      {"-", variantSub},
      {"*", variantMul},
      {"/",
       [](const Variant& a, const Variant& b) {
         if (variantEquals(b, Variant(0))) return Variant(0);
         if (a.isNull() || b.isNull()) return Variant::null();
         return Variant(a.numberValue() / b.numberValue());
       }},
      {"mod", variantMod},
      {"and", variantAnd},
      {"or", variantOr},
      {"<", compare(0)},
      {">", compare(1)},
      {"=", compare(2)},
      {"<>", compare(3)},
      {">=", compare(4)},
      {"<=", compare(5)},
  };
  auto same = [](const std::function<Variant()>& got, const std::function<Variant()>& want) {
    auto text = [](const std::function<Variant()>& f) {
      try {
        const Variant v = f();
        return std::to_string(int(v.kind())) + ":" + v.toString();
      } catch (const ConversionError& e) {
        return std::string("conversion: ") + e.what();
      }
    };
    EXPECT_EQ(text(got), text(want));
  };
  for (const auto& [op, rule] : binary) {
    const TfrCompiledExpression e(TfrParser::ToPostfix(std::string("[X] ") + op + " [Y]"));
    for (size_t i = 0; i < std::size(operands); ++i)
      for (size_t j = 0; j < std::size(operands); ++j) {
        SCOPED_TRACE(std::string(op) + " " + std::to_string(i) + "," + std::to_string(j));
        l.values["X"] = operands[i];
        l.values["Y"] = operands[j];
        same([&] { return l.p.Run(e); }, [&] { return rule(operands[i], operands[j]); });
      }
  }
  // Neither operand is far enough from a whole number for INT and FRAC to
  // snap it, so plain truncation is what they must give.
  const std::pair<const char*, std::function<Variant(const Variant&)>> unary[] = {
      {"-[X]", variantNeg},
      {"not [X]", [](const Variant& v) { return Variant(variantEquals(v, Variant(0)) ? 1 : 0); }},
      {"int([X])",
       [](const Variant& v) { return v.isNull() ? v : Variant(std::trunc(v.numberValue())); }},
      {"frac([X])",
       [](const Variant& v) {
         return v.isNull() ? v : Variant(v.numberValue() - std::trunc(v.numberValue()));
       }},
      {"round([X])",
       [](const Variant& v) { return v.isNull() ? v : Variant(std::nearbyint(v.numberValue())); }},
  };
  for (const auto& [text, rule] : unary) {
    const TfrCompiledExpression e(TfrParser::ToPostfix(text));
    for (size_t i = 0; i < std::size(operands); ++i) {
      SCOPED_TRACE(std::string(text) + " " + std::to_string(i));
      l.values["X"] = operands[i];
      same([&] { return l.p.Run(e); }, [&] { return rule(operands[i]); });
    }
  }
}

// Texts and numbers take turns in the same stack slots: a text must come back
// whole after a number stood where it stands, and the other way round.
TEST(CompiledExpression, TextsAndNumbersShareTheStack) {
  Logged l;
  l.values["S"] = Variant("x");
  l.values["D"] = Variant::dateTime(2.25);
  EXPECT_EQ(l.p.Calc("str([S] = 'x') + [S] + str(2 * 3)").toString(), "1x6");
  EXPECT_EQ(l.p.Calc("'a' + ('b' + ('c' + [S]))").toString(), "abcx");
  EXPECT_EQ(l.p.Calc("([S] + 'y' = 'xy') * 5 - -1").toString(), "6");
  EXPECT_EQ(l.p.Calc("[D] + 1").kind(), Variant::Kind::DateTime);
  EXPECT_EQ(l.p.Calc("true").kind(), Variant::Kind::Bool);
  const Variant text = l.p.Calc("[S] + [S] + [S] + [S] + [S] + [S] + [S] + [S] + [S] + [S]");
  EXPECT_EQ(text.toString(), "xxxxxxxxxx");
}

TEST(CompiledExpression, CacheConvertsEachTextOnce) {
  Logged l;
  TfrExpressionCache cache;
  l.p.Cache = &cache;
  EXPECT_EQ(l.p.Calc("[A] * 2").toInt(), 8);
  EXPECT_EQ(l.p.Calc("[A] * 2").toInt(), 8);
  EXPECT_EQ(l.p.CalcPostfix("[A] 2 *").toInt(), 8);
  EXPECT_EQ(cache.size(), 2u);
  // A text asked again right away is answered from the entry found last;
  // another one of the same length still finds its own, and so does a text
  // after the cache was emptied.
  const std::pair<const char*, int> repeats[] = {
      {"[A] + 1", 5}, {"[A] + 2", 6}, {"[A] + 2", 6}, {"[A] + 1", 5}, {"[A] * 2", 8}};
  for (const auto& [text, want] : repeats) EXPECT_EQ(l.p.Calc(text).toInt(), want) << text;
  EXPECT_EQ(l.p.CalcPostfix("[A] 3 *").toInt(), 12);
  EXPECT_EQ(l.p.CalcPostfix("[A] 2 *").toInt(), 8);
  cache.clear();
  EXPECT_EQ(l.p.Calc("[A] * 2").toInt(), 8);
  EXPECT_EQ(l.p.CalcPostfix("[A] 2 *").toInt(), 8);
  EXPECT_EQ(cache.size(), 2u);
  // A text that does not convert is refused every time and not kept.
  EXPECT_THROW(l.p.Calc("F(1"), ExpressionError);
  EXPECT_THROW(l.p.Calc("F(1"), ExpressionError);
  EXPECT_EQ(cache.size(), 2u);
  // Full, it still evaluates, converting for the one evaluation.
  for (size_t i = cache.size(); i < TfrExpressionCache::kMaxEntries; ++i)
    l.p.Calc(std::to_string(i));
  EXPECT_EQ(l.p.Calc("[A] + 100").toInt(), 104);
  EXPECT_EQ(cache.size(), TfrExpressionCache::kMaxEntries);
  l.p.Cache = nullptr;
}

// Long texts fill the cache by their length long before its count of
// entries; the parser's own cache is then emptied and starts again.
TEST(CompiledExpression, LongTextsFillTheCacheByTheirLength) {
  // A literal of 64 KB led by a mark of its own.
  auto literal = [](const std::string& mark) {
    std::string text = "'";
    text += mark;
    text.append(64 * 1024, '7');
    text += '\'';
    return text;
  };
  TfrExpressionCache cache;
  size_t kept = 0;
  for (; !cache.full(); ++kept) ASSERT_NE(cache.byInfix(literal(std::to_string(kept))), nullptr);
  EXPECT_LT(kept, 40u);
  EXPECT_EQ(cache.byInfix("'new'"), nullptr);       // converted by the caller, not kept
  EXPECT_NE(cache.byInfix(literal("0")), nullptr);  // what it holds it still gives

  TfrParser parser;
  for (int i = 0; i < 100; ++i) {
    const std::string mark = std::to_string(i);
    EXPECT_EQ(parser.Calc(literal(mark)).toString().size(), 64 * 1024 + mark.size());
  }
}

}  // namespace
}  // namespace orv
