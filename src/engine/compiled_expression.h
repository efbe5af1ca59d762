#pragma once
#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/text_readers.h"
#include "model/variant.h"

namespace orv {

// A postfix text decoded once into steps that the parser runs without
// looking at text again: literals and numbers are values, names are ready
// upper-cased strings, a call keeps its argument texts. A text that cannot be
// decoded keeps its error as a step of its own, raised only when evaluation
// reaches it, so that everything before it happens as it did on the text.
class TfrCompiledExpression {
 public:
  explicit TfrCompiledExpression(std::string_view postfix);
  TfrCompiledExpression(const TfrCompiledExpression&) = delete;
  TfrCompiledExpression& operator=(const TfrCompiledExpression&) = delete;

  const std::string& postfix() const { return postfix_; }

 private:
  friend class TfrParser;
  // Number and Boolean constants are ready for the evaluation stack; only
  // text literals are kept as values. The four arithmetic operators have a
  // step each, so that evaluating one takes a single decision.
  enum class Op : uint8_t {
    Number,
    Boolean,
    Push,
    Name,
    Array,
    Call,
    Add,
    Subtract,
    Multiply,
    Divide,
    Binary,  // comparisons, MOD, AND, OR
    Unary,
    Fail
  };
  struct Step {
    Op op;
    char code;       // the operator of Binary and Unary; 1 for a true Boolean
    uint32_t index;  // into the list of its kind
  };
  // A name asked of the hooks. Where the parser has a resolver, the entry it
  // gave stays with the operand for as long as that resolver is in place.
  struct Name {
    std::string name;
    mutable int32_t entry = -1;
    mutable uint32_t epoch = 0;
  };
  struct Call {
    std::string name;  // upper-cased
    Arguments args;
    // The arguments a built-in evaluates itself, converted at their first
    // use: IF never converts the branch it does not take.
    mutable std::array<std::unique_ptr<TfrCompiledExpression>, 3> compiled;
  };
  struct Array {
    std::string name, index;  // index with its leading blank
  };

  void decode();
  void fail(std::exception_ptr error);

  std::string postfix_;
  std::vector<Step> steps_;
  std::vector<double> numbers_;
  std::vector<Variant> values_;
  std::vector<Name> names_;
  std::vector<Call> calls_;
  std::vector<Array> arrays_;
  std::vector<std::exception_ptr> errors_;
};

// The expressions of one run, converted once each: by their infix text (what
// Calc is given) and by their postfix text (what CalcPostfix is given). A
// run's texts come from its template, so the cache stays small. Past a bound
// it keeps what it has and answers null for new texts, which the caller then
// converts for the one evaluation: an entry is never dropped while an
// evaluation may still be running it.
class TfrExpressionCache {
 public:
  // An infix text that does not convert raises its error every time it is
  // asked for, as converting it did.
  const TfrCompiledExpression* byInfix(std::string_view expression);
  const TfrCompiledExpression* byPostfix(std::string_view postfix);
  size_t size() const { return infix_.size() + postfix_.size(); }
  // Past either bound: a script can make up long texts of its own, and
  // their converted forms take several times their length.
  bool full() const { return size() >= kMaxEntries || bytes_ >= kMaxBytes; }
  void clear();

  static constexpr size_t kMaxEntries = 20000;
  static constexpr size_t kMaxBytes = size_t(2) << 20;  // of the texts kept

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
  };
  using Map = std::unordered_map<std::string, std::unique_ptr<TfrCompiledExpression>, Hash,
                                 std::equal_to<>>;
  // The entry found last in a map: the same text asked again, as a condition
  // or a memo is for every record, is then one comparison instead of hashing
  // the text. Map nodes stay where they are until the map is cleared.
  struct Last {
    const std::string* key = nullptr;
    const TfrCompiledExpression* expression = nullptr;
  };
  const TfrCompiledExpression* find(Map& map, Last& last, std::string_view key);
  const TfrCompiledExpression* insert(Map& map, Last& last, std::string_view key,
                                      std::string_view postfix);
  Map infix_, postfix_;
  Last lastInfix_, lastPostfix_;
  size_t bytes_ = 0;
};

}  // namespace orv
