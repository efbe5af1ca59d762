#include "engine/text_readers.h"

namespace orv {

namespace {

// Tracks single and double quotes while a reader walks a text: inside one
// kind of quote the other kind is an ordinary character.
struct Quotes {
  bool single = false, dbl = false;
  // Feeds one character; true when it is inside quotes (or is a quote).
  bool quoted(char c) {
    if (c == '\'' && !dbl) {
      single = !single;
      return true;
    }
    if (c == '"' && !single) {
      dbl = !dbl;
      return true;
    }
    return single || dbl;
  }
};

bool isDelimiter(char c) {
  switch (c) {
    case '\r':
    case ' ':
    case '(':
    case ')':
    case '*':
    case '+':
    case '-':
    case '/':
    case ';':
    case '<':
    case '=':
    case '>':
    case '[':
      return true;
    default:
      return false;
  }
}

std::string shortText(std::string_view s) {
  return s.size() <= 40 ? std::string(s) : std::string(s.substr(0, 40)) + "...";
}

}  // namespace

std::string readBracketed(std::string_view s, size_t& pos) {
  if (pos >= s.size() || s[pos] != '[') return {};
  Quotes q;
  int depth = 0;
  for (size_t i = pos; i < s.size(); ++i) {
    const char c = s[i];
    if (q.quoted(c)) continue;
    if (c == '[') {
      ++depth;
    } else if (c == ']' && --depth == 0) {
      std::string inner(s.substr(pos + 1, i - pos - 1));
      pos = i + 1;
      return inner;
    }
  }
  throw ExpressionError("missing ']' in " + shortText(s.substr(pos)));
}

std::string readIdentifier(std::string_view s, size_t& pos) {
  while (pos < s.size() && static_cast<unsigned char>(s[pos]) <= 32) ++pos;
  const size_t start = pos;
  bool dbl = false;
  while (pos < s.size()) {
    const char c = s[pos];
    if (c == '"')
      dbl = !dbl;
    else if (!dbl && isDelimiter(c))
      break;
    ++pos;
  }
  return std::string(s.substr(start, pos - start));
}

std::string readStringLiteral(std::string_view s, size_t& pos) {
  if (pos >= s.size() || s[pos] != '\'') return {};
  size_t i = pos + 1;
  while (i < s.size()) {
    if (s[i] == '\'') {
      if (i + 1 < s.size() && s[i + 1] == '\'') {
        i += 2;
        continue;
      }
      std::string lit(s.substr(pos, i + 1 - pos));
      pos = i + 1;
      return lit;
    }
    ++i;
  }
  throw ExpressionError("missing closing quote in " + shortText(s.substr(pos)));
}

std::string unquoteLiteral(std::string_view literal) {
  if (literal.size() >= 2 && literal.front() == '\'' && literal.back() == '\'')
    literal = literal.substr(1, literal.size() - 2);
  std::string r;
  r.reserve(literal.size());
  for (size_t i = 0; i < literal.size(); ++i) {
    r += literal[i];
    if (literal[i] == '\'' && i + 1 < literal.size() && literal[i + 1] == '\'') ++i;
  }
  return r;
}

Arguments readArguments(std::string_view s, size_t& pos) {
  Arguments a;
  if (pos >= s.size() || s[pos] != '(') return a;
  std::string* slots[] = {&a.p1, &a.p2, &a.p3};
  Quotes q;
  int depth = 0;
  size_t argStart = pos + 1;
  int n = 0;
  for (size_t i = pos; i < s.size(); ++i) {
    const char c = s[i];
    if (q.quoted(c)) continue;
    if (c == '(' || c == '[') {
      ++depth;
      continue;
    }
    const bool closes = (c == ')' || c == ']') && --depth == 0;
    if (depth == 1 && c == ',') {
      if (n == 2) throw ExpressionError("more than three arguments in " + shortText(s.substr(pos)));
      *slots[n++] = std::string(s.substr(argStart, i - argStart));
      argStart = i + 1;
    } else if (closes) {
      if (c != ')') break;
      *slots[n] = std::string(s.substr(argStart, i - argStart));
      a.count = (n == 0 && slots[0]->empty()) ? 0 : n + 1;
      pos = i + 1;
      return a;
    }
  }
  throw ExpressionError("missing ')' after the arguments in " + shortText(s.substr(pos)));
}

}  // namespace orv
