#pragma once
#include <span>
#include <string>
#include <string_view>

namespace orv {

// Puts facts[0] in place of %1, facts[1] of %2 and so on, in one pass, so
// that a fact holding a % of its own is never taken for a place. A place
// without its fact stays as it is written.
inline std::string fillIn(std::string_view pattern, std::span<const std::string> facts) {
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const size_t n = i + 1 < pattern.size() ? size_t(pattern[i + 1] - '1') : facts.size();
    if (pattern[i] == '%' && n < facts.size()) {
      out += facts[n];
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

}  // namespace orv
