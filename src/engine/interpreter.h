#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/engine_error.h"
#include "engine/parser.h"
#include "engine/variables.h"
#include "model/stream.h"
#include "platform/error.h"

namespace orv {

// A script ran longer than its bound: a loop that never ends, most likely.
class ScriptLimitError : public EngineError {
 public:
  using EngineError::EngineError;
};

// The script language of pages, bands and objects: begin/end blocks, if,
// while, repeat, for, goto with numeric labels, assignments and procedure
// calls, over the expressions of TfrParser. A script is compiled once into
// code lines and each Run executes them.
//
// Code lines, by their first character:
//   code 1, target (2 bytes, low first), condition (postfix): jump to target
//           when the condition equals 0;
//   code 2, target (2 bytes): jump;
//   code 3, expression (postfix): evaluate and drop; EXIT(0) ends the run;
//   else:   target name, a blank, expression (postfix): assign via SetValue.
// Targets are 0-based line indexes.
class TfrInterpretator {
 public:
  TfrInterpretator() = default;
  TfrInterpretator(const TfrInterpretator&) = delete;
  TfrInterpretator& operator=(const TfrInterpretator&) = delete;
  virtual ~TfrInterpretator() = default;

  // The longest script text, joined with a carriage return after each line.
  static constexpr size_t kMaxText = 32000;
  // How many code lines one Run executes before it gives up.
  static constexpr int64_t kMaxSteps = 10'000'000;

  // Compiles `source` into `code` (replaced). Each error is appended to
  // `errors` as "Line L/C: message", L and C 1-based and counted in the text
  // as written. A script with errors compiles to no code at all, so that a
  // half-compiled script never runs with jumps that lead nowhere.
  void Compile(const StringList& source, StringList& code, StringList& errors);
  // Runs compiled code. Raises what the expressions raise, and
  // ScriptLimitError beyond kMaxSteps lines.
  void Run(const StringList& code);
  // The calls of `functions` inside every expression of the code, as
  // TfrFunctionSplitter finds them.
  void SplitExpressions(const StringList& code, const StringList& functions,
                        const TfrVariables* variables, StringList& found);

  // The bound of one Run; tests and the fuzzer lower it.
  int64_t MaxSteps = kMaxSteps;

  // In slot order; the base class resolves nothing and stores nothing.
  virtual void GetValue(const std::string& name, Variant& value) {}
  virtual void SetValue(const std::string& name, const Variant& value) {}
  virtual void CallFunction(const std::string& name, const std::string& p1, const std::string& p2,
                            const std::string& p3, Variant& value) {}

 protected:
  // Evaluates postfix text with this interpreter's hooks.
  Variant evaluate(std::string_view postfix);
  // The parser whose hooks GetValue and CallFunction forward to, if any: its
  // converted expressions and name entries then serve this one's too.
  virtual TfrParser* forwardsTo() { return nullptr; }

 private:
  TfrParser parser_;
};

// The report's interpreter: names and calls go to the shared parser's hooks
// (the running report's name resolver and function dispatcher); assignments
// to OnSetValue, or, with none set, to the program-wide report variables.
class TInterpretator : public TfrInterpretator {
 public:
  std::function<void(const std::string& name, const Variant& value)> OnSetValue;

  void GetValue(const std::string& name, Variant& value) override;
  void SetValue(const std::string& name, const Variant& value) override;
  void CallFunction(const std::string& name, const std::string& p1, const std::string& p2,
                    const std::string& p3, Variant& value) override;

 protected:
  TfrParser* forwardsTo() override;
};

// A readable listing of code lines: "  0: if not (postfix) goto 3", with
// operator codes of postfix texts spelled out.
std::string describeCodeLine(const std::string& line);
// Postfix text with its control-character operators spelled out.
std::string describePostfix(std::string_view postfix);

}  // namespace orv
