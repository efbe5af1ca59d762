#include "engine/function_splitter.h"

#include "engine/formatting.h"
#include "engine/text_readers.h"
#include "model/text_util.h"

namespace orv {

namespace {

// Deeper than any expression a person writes; reached only by variables that
// name each other in a circle.
constexpr int kMaxDepth = 64;
// Variables that each name another one twice would double the work with every
// level; no real expression comes near this many pieces.
constexpr int kMaxPieces = 20000;

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

bool stepsOver(char c) {
  switch (c) {
    case '\r':
    case ' ':
    case '*':
    case '+':
    case '-':
    case '/':
    case '<':
    case '=':
    case '>':
      return true;
    default:
      return false;
  }
}

}  // namespace

TfrFunctionSplitter::TfrFunctionSplitter(const StringList& MatchFuncs, StringList& SplitTo,
                                         const TfrVariables* Variables)
    : matchFuncs_(MatchFuncs), splitTo_(SplitTo), variables_(Variables) {}

void TfrFunctionSplitter::Split(std::string_view s) {
  pieces_ = 0;
  split(s, 0);
}

bool TfrFunctionSplitter::matches(std::string_view name) const {
  for (const std::string& f : matchFuncs_)
    if (sameText(f, name)) return true;
  return false;
}

void TfrFunctionSplitter::split(std::string_view text, int depth) {
  if (depth > kMaxDepth) throw ExpressionError("variables refer to each other without end");
  if (++pieces_ > kMaxPieces) throw ExpressionError("expression expands into too many pieces");
  const std::string_view s = trimmed(text);
  if (s.empty() || s[0] == '\'') return;
  auto variable = [&](std::string_view name) -> int {
    return variables_ && !name.empty() ? variables_->IndexOf(name) : -1;
  };
  size_t i = 0;
  while (i < s.size()) {
    if (s[i] == '[') {
      const std::string inner = readBracketed(s, i);
      const int v = variable(inner);
      split(v >= 0 ? valueToText(variables_->valueAt(v)) : inner, depth + 1);
      continue;
    }
    const size_t start = i;
    const std::string id = readIdentifier(s, i);
    if (i < s.size() && s[i] == '(') {
      const Arguments a = readArguments(s, i);
      split(a.p1, depth + 1);
      split(a.p2, depth + 1);
      split(a.p3, depth + 1);
      if (matches(id)) splitTo_.push_back(std::string(trimmed(s.substr(start, i - start))));
    } else if (const int v = variable(id); v >= 0) {
      split(valueToText(variables_->valueAt(v)), depth + 1);
    } else if (i < s.size() && stepsOver(s[i])) {
      ++i;
    } else if (id.empty() && i == start) {
      // Nothing an expression goes on with: a ')', a ',' or a quote.
      return;
    }
    // Blanks skipped before a '[' bring the loop back to the bracket.
  }
}

}  // namespace orv
