#pragma once
#include <string_view>

#include "engine/variables.h"
#include "model/stream.h"

namespace orv {

// Finds the calls of chosen functions inside an expression, looking through
// call arguments, bracketed references and variables (whose values are
// expression texts): the aggregates of a memo are found this way before a
// band is printed. Each match is added to SplitTo as written, from the
// function's name through its ')'; inner calls come before outer ones.
class TfrFunctionSplitter {
 public:
  // MatchFuncs: function names, compared without regard to case. Variables
  // may be null. The lists must outlive the splitter.
  TfrFunctionSplitter(const StringList& MatchFuncs, StringList& SplitTo,
                      const TfrVariables* Variables);

  // ExpressionError for an unclosed bracket or argument list, or for
  // variables that refer to each other without end or expand beyond reason.
  void Split(std::string_view s);

 private:
  void split(std::string_view s, int depth);
  bool matches(std::string_view name) const;
  const StringList& matchFuncs_;
  StringList& splitTo_;
  const TfrVariables* variables_;
  int pieces_ = 0;
};

}  // namespace orv
