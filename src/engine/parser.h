#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/compiled_expression.h"
#include "engine/text_readers.h"
#include "model/variant.h"

namespace orv {

// The operator codes of postfix texts. Operators that are written with two
// characters or as words become one control character; '+', '-', '*', '/',
// '<', '=' and '>' stand for themselves. Code 8 is not used.
namespace pfx {
inline constexpr char GreaterEqual = 1;  // >=
inline constexpr char LessEqual = 2;     // <=
inline constexpr char NotEqual = 3;      // <>
inline constexpr char Or = 4;
inline constexpr char And = 5;
inline constexpr char Int = 6;
inline constexpr char Frac = 7;
inline constexpr char Negate = 9;  // '-' with no operand before it
inline constexpr char Plus = 10;   // '+' with no operand before it
inline constexpr char Str = 11;
inline constexpr char Not = 12;
inline constexpr char Mod = 13;
inline constexpr char Round = 14;
}  // namespace pfx

// The expression language: an infix expression becomes a compact postfix text
// once (ToPostfix), which is then evaluated as often as needed (CalcPostfix)
// on a stack of at most 32 values.
//
// Operands: numbers (either ',' or '.' is the decimal point), 'text' literals
// ('' for a quote), TRUE and FALSE, [bracketed references], identifiers,
// A[i] array elements and F(a, b, c) calls. An operand may begin with '%' and
// one more character; such an operand goes to OnGetValue whole, as written.
// Operators, loosest first: comparisons (< <= = <> >= >, giving integer 1 or
// 0); + and -; * / OR AND NOT MOD; and INT FRAC ROUND STR, written like
// functions. Word operators are matched in any case. A ';' ends the
// expression.
//
// The parser knows no names: every identifier and reference goes to
// OnGetValue, every call it does not know itself (COPY, IF, STRTODATE,
// STRTOTIME) to OnFunction, and A[i] to OnFunction as GETARRAY. Without a hook
// such operands are Null. Errors are exceptions: ExpressionError for a
// malformed text, ConversionError for values that do not convert; both carry
// a message fit for the report's error box.
class TfrParser {
 public:
  // name: an identifier upper-cased, or a bracketed reference's inner text as
  // written. `value` arrives Null.
  using GetValueHook = std::function<void(const std::string& name, Variant& value)>;
  // name upper-cased; p1..p3 the argument texts, unevaluated and untrimmed
  // (empty when absent). `value` arrives Null.
  using FunctionHook =
      std::function<void(const std::string& name, const std::string& p1, const std::string& p2,
                         const std::string& p3, Variant& value)>;

  GetValueHook OnGetValue;
  FunctionHook OnFunction;

  // Optional: names decided once per compiled operand instead of by name at
  // every evaluation. Resolve gives an entry for a name, or -1 to keep asking
  // OnGetValue by name; ValueOf then answers for the entry. An entry stays
  // with its operand until another resolver is set.
  struct NameResolver {
    std::function<int32_t(const std::string& name)> Resolve;
    std::function<void(int32_t entry, const std::string& name, Variant& value)> ValueOf;
    uint32_t Epoch = 0;
  };
  void SetResolver(std::function<int32_t(const std::string&)> resolve,
                   std::function<void(int32_t, const std::string&, Variant&)> valueOf);
  const NameResolver& Resolver() const { return resolver_; }
  // Takes over a resolver (another parser's, a saved one) with the entries it
  // gave.
  void ShareResolver(const NameResolver& r) { resolver_ = r; }
  void ClearResolver() { resolver_ = NameResolver(); }

  // While set, Calc and CalcPostfix convert each text once and keep it here.
  TfrExpressionCache* Cache = nullptr;

  // How many values the evaluation stack holds.
  static constexpr int kStackSize = 32;
  // How deeply evaluations may nest (call arguments, array indexes, hooks that
  // evaluate again): a guard against texts that nest without end.
  static constexpr int kMaxDepth = 64;

  // Operands are followed by a blank, operators are single characters; a
  // function call is kept as written, from its name through its ')'. For
  // example [Qty] * 2 + 1 gives "[Qty] 2 *1 +".
  static std::string ToPostfix(std::string_view expression);
  Variant CalcPostfix(std::string_view postfix);
  Variant Calc(std::string_view expression);
  // Evaluates a converted text: what CalcPostfix gives for its postfix text.
  Variant Run(const TfrCompiledExpression& expression);

 private:
  Variant callFunction(const TfrCompiledExpression::Call& call);
  Variant getValue(const std::string& name);
  Variant nameValue(const TfrCompiledExpression::Name& name);
  Variant argument(const TfrCompiledExpression::Call& call, int n);
  TfrExpressionCache* cache();
  int depth_ = 0;
  // Texts evaluated outside a run (frptool eval, a script of its own) are
  // converted once here too, so asking again does not read the text again.
  TfrExpressionCache own_;
  NameResolver resolver_;
};

}  // namespace orv
