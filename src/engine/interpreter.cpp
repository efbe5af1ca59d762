#include "engine/interpreter.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "engine/engine_globals.h"
#include "engine/function_splitter.h"
#include "model/text_util.h"

namespace orv {

namespace {

constexpr char kCondJump = 1;
constexpr char kJump = 2;
constexpr char kCall = 3;
// Statements and parentheses nest at most this deep, so that a hostile text
// cannot exhaust the stack of the recursive compiler.
constexpr int kMaxNesting = 200;
constexpr size_t kMaxLabel = 16;

struct CompileFailure {
  size_t pos;
  std::string message;
};

bool identChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '_' || c == '.' || c == '#' || u >= 128;
}

// The working text with its comments taken out. Each comment becomes one
// blank, so that words either side of it stay apart; `removed` remembers
// where, so that error positions refer to the text as written.
struct PreparedText {
  std::string text;
  std::vector<std::pair<size_t, size_t>> removed;  // position in text, characters dropped

  size_t originalPosition(size_t pos) const {
    size_t orig = pos;
    for (const auto& [at, count] : removed)
      if (at < pos) orig += count;
    return orig;
  }
};

PreparedText stripComments(const std::string& src) {
  PreparedText out;
  out.text.reserve(src.size());
  size_t i = 0;
  while (i < src.size()) {
    const char c = src[i];
    if (c == '\'' || c == '"') {
      const size_t close = src.find(c, i + 1);
      const size_t end = close == std::string::npos ? src.size() : close + 1;
      out.text.append(src, i, end - i);
      i = end;
      continue;
    }
    size_t end = std::string::npos;
    if (c == '{') {
      const size_t close = src.find('}', i + 1);
      end = close == std::string::npos ? src.size() : close + 1;
    } else if (c == '/' && i + 1 < src.size() && src[i + 1] == '/') {
      const size_t cr = src.find('\r', i);
      end = cr == std::string::npos ? src.size() : cr;
    }
    if (end != std::string::npos) {
      out.removed.emplace_back(out.text.size(), end - i - 1);
      out.text += ' ';
      i = end;
      continue;
    }
    out.text += c;
    ++i;
  }
  return out;
}

std::string errorLine(const std::string& original, size_t pos, const std::string& message) {
  pos = std::min(pos, original.size());
  // The end of the text is the end of its last line, not a line of its own.
  if (pos == original.size() && pos > 0 && original[pos - 1] == '\r') --pos;
  int line = 1;
  size_t lineStart = 0;
  for (size_t i = 0; i < pos; ++i)
    if (original[i] == '\r') {
      ++line;
      lineStart = i + 1;
    }
  return "Line " + std::to_string(line) + "/" + std::to_string(pos - lineStart + 1) + ": " +
         message;
}

// Reads statements and emits code lines with their expressions still infix;
// the final pass turns them into postfix and resolves goto labels.
class Compiler {
 public:
  explicit Compiler(const std::string& text) : s_(text) {}

  struct Line {
    char kind;  // kCondJump, kJump, kCall, or 0 for an assignment
    int target = 0;
    std::string name;  // assignment target, or goto label
    std::string text;  // infix expression
    size_t pos = 0;    // where the expression starts, for errors
    bool gotoLabel = false;
  };

  void program() {
    for (;;) {
      statement(0);
      skipBlanks();
      if (p_ >= s_.size()) break;
      if (s_[p_] == ';') {
        ++p_;
        continue;
      }
      fail(p_, "Need \";\" or \"end\" here");
    }
  }

  StringList finish() {
    StringList code;
    code.reserve(lines_.size());
    for (Line& l : lines_) {
      if (l.gotoLabel) {
        l.target = 0;
        for (const auto& [name, index] : labels_)
          if (name == l.name) l.target = index;
      }
      std::string postfix;
      if (l.kind != kJump) {
        try {
          postfix = TfrParser::ToPostfix(l.text);
        } catch (const std::exception& e) {
          fail(l.pos, *e.what() ? e.what() : "Need \")\" here");
        }
      }
      switch (l.kind) {
        case kCondJump:
        case kJump:
          code.push_back(std::string(1, l.kind) + char(l.target & 0xFF) +
                         char((l.target >> 8) & 0xFF) + postfix);
          break;
        case kCall:
          code.push_back(std::string(1, kCall) + postfix);
          break;
        default:
          code.push_back(l.name + " " + postfix);
          break;
      }
    }
    return code;
  }

 private:
  [[noreturn]] void fail(size_t pos, const std::string& message) {
    throw CompileFailure{pos, message};
  }

  void skipBlanks() {
    while (p_ < s_.size() && static_cast<unsigned char>(s_[p_]) <= ' ') ++p_;
  }

  // The keyword-like word at the current position (after blanks),
  // upper-cased; `end` receives where it ends.
  std::string peekWord(size_t& end) {
    skipBlanks();
    end = p_;
    while (end < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[end])) || s_[end] == '_'))
      ++end;
    return upperCase(std::string_view(s_).substr(p_, end - p_));
  }
  bool atWord(const char* word) {
    size_t end;
    return peekWord(end) == word;
  }
  void expectWord(const char* word, const char* message) {
    size_t end;
    if (peekWord(end) != word) fail(p_, message);
    p_ = end;
  }

  int emit(char kind, std::string text = {}, size_t pos = 0) {
    if (lines_.size() >= 0xFFFF) fail(pos, "Script too long: more than 65535 code lines");
    Line l;
    l.kind = kind;
    l.text = std::move(text);
    l.pos = pos;
    lines_.push_back(std::move(l));
    return static_cast<int>(lines_.size() - 1);
  }
  void emitAssign(const std::string& name, std::string text, size_t pos) {
    const int i = emit(0, std::move(text), pos);
    lines_[i].name = name;
  }
  int next() const { return static_cast<int>(lines_.size()); }

  void nest(int depth) {
    if (depth > kMaxNesting) fail(p_, "Script nests too deeply");
  }

  void statement(int depth) {
    nest(depth);
    skipBlanks();
    if (p_ >= s_.size()) return;
    // A label: digits and a colon that is not part of ":=".
    if (std::isdigit(static_cast<unsigned char>(s_[p_]))) {
      size_t q = p_;
      while (q < s_.size() && std::isdigit(static_cast<unsigned char>(s_[q]))) ++q;
      size_t r = q;
      while (r < s_.size() && static_cast<unsigned char>(s_[r]) <= ' ') ++r;
      if (r < s_.size() && s_[r] == ':' && (r + 1 >= s_.size() || s_[r + 1] != '=')) {
        std::string name = s_.substr(p_, std::min(q - p_, kMaxLabel));
        labels_.emplace_back(std::move(name), next());
        p_ = r + 1;
        statement(depth + 1);
        return;
      }
    }
    size_t end;
    const std::string w = peekWord(end);
    if (w == "END" || w == "UNTIL" || w == "ELSE" || s_[p_] == ';') return;
    if (w == "BEGIN") {
      p_ = end;
      block(depth);
    } else if (w == "IF") {
      p_ = end;
      ifStatement(depth);
    } else if (w == "REPEAT") {
      p_ = end;
      repeatStatement(depth);
    } else if (w == "WHILE") {
      p_ = end;
      whileStatement(depth);
    } else if (w == "FOR") {
      p_ = end;
      forStatement(depth);
    } else if (w == "GOTO") {
      p_ = end;
      gotoStatement();
    } else {
      simpleStatement();
    }
  }

  // Statements separated by ';' up to the closing word (END, UNTIL).
  void statementsUntil(int depth, const char* closing, const char* message) {
    for (;;) {
      statement(depth + 1);
      skipBlanks();
      if (p_ < s_.size() && s_[p_] == ';') {
        ++p_;
        continue;
      }
      size_t end;
      if (peekWord(end) == closing) {
        p_ = end;
        return;
      }
      fail(p_, message);
    }
  }

  void block(int depth) { statementsUntil(depth, "END", "Need \";\" or \"end\" here"); }

  void ifStatement(int depth) {
    size_t pos;
    std::string cond = expression(pos);
    expectWord("THEN", "Need \"then\" here");
    const int c1 = emit(kCondJump, std::move(cond), pos);
    statement(depth + 1);
    size_t end;
    if (peekWord(end) == "ELSE") {
      p_ = end;
      const int c2 = emit(kJump);
      lines_[c1].target = next();
      statement(depth + 1);
      lines_[c2].target = next();
    } else {
      lines_[c1].target = next();
    }
  }

  void repeatStatement(int depth) {
    const int first = next();
    statementsUntil(depth, "UNTIL", "Need \";\" or \"until\" here");
    size_t pos;
    std::string cond = expression(pos);
    const int c = emit(kCondJump, std::move(cond), pos);
    lines_[c].target = first;
  }

  void whileStatement(int depth) {
    size_t pos;
    std::string cond = expression(pos);
    expectWord("DO", "Need \"do\" here");
    const int c1 = emit(kCondJump, std::move(cond), pos);
    statement(depth + 1);
    const int back = emit(kJump);
    lines_[back].target = c1;
    lines_[c1].target = next();
  }

  void forStatement(int depth) {
    skipBlanks();
    const size_t vpos = p_;
    const std::string v = target();
    if (v.empty()) fail(vpos, "Need \":=\" here");
    skipBlanks();
    if (s_.compare(p_, 2, ":=") != 0) fail(p_, "Need \":=\" here");
    p_ += 2;
    size_t apos;
    std::string from = expression(apos);
    expectWord("TO", "Need \"to\" here");
    size_t bpos;
    std::string to = expression(bpos);
    expectWord("DO", "Need \"do\" here");
    emitAssign(v, std::move(from), apos);
    const int c1 = emit(kCondJump, v + " <= (" + to + ")", bpos);
    statement(depth + 1);
    emitAssign(v, v + " + 1", vpos);
    const int back = emit(kJump);
    lines_[back].target = c1;
    lines_[c1].target = next();
  }

  void gotoStatement() {
    skipBlanks();
    const size_t start = p_;
    size_t q = p_;
    while (q < s_.size() && identChar(s_[q])) ++q;
    const std::string label = s_.substr(start, q - start);
    if (label.empty() || !std::all_of(label.begin(), label.end(), [](char c) {
          return std::isdigit(static_cast<unsigned char>(c));
        }))
      fail(start, "\"goto\" label must be a number");
    p_ = q;
    const int j = emit(kJump);
    lines_[j].name = label.substr(0, kMaxLabel);
    lines_[j].gotoLabel = true;
  }

  // An assignment, a procedure call or a bare name (a call without
  // arguments, given the dummy argument 0).
  void simpleStatement() {
    const size_t start = p_;
    std::string name = target();
    if (name.empty()) fail(start, "Need \":=\" here");
    std::string index;
    size_t indexPos = p_;
    if (p_ < s_.size() && s_[p_] == '[') {
      ++p_;
      indexPos = p_;
      checkExpression(0);
      skipBlanks();
      if (p_ >= s_.size() || s_[p_] != ']') fail(p_, "Need \"]\" here");
      index = trimmed(indexPos, p_);
      ++p_;
    }
    const size_t nameEnd = p_;
    if (index.empty() && p_ < s_.size() && s_[p_] == '(') {
      arguments(0);
      emit(kCall, s_.substr(start, p_ - start), start);
      return;
    }
    skipBlanks();
    if (s_.compare(p_, 2, ":=") == 0) {
      p_ += 2;
      size_t pos;
      std::string value = expression(pos);
      if (index.empty())
        emitAssign(name, std::move(value), pos);
      else
        emit(kCall, "SETARRAY(" + name + ", " + index + ", " + value + ")", start);
      return;
    }
    size_t end;
    const std::string w = peekWord(end);
    if (p_ >= s_.size() || s_[p_] == ';' || w == "END" || w == "ELSE" || w == "UNTIL") {
      emit(kCall, s_.substr(start, nameEnd - start) + "(0)", start);
      return;
    }
    fail(p_, "Need \":=\" here");
  }

  // A name that can be assigned to: letters, digits, '_', '.', '#' and
  // double-quoted parts (Customers."Last name").
  std::string target() {
    const size_t start = p_;
    while (p_ < s_.size()) {
      if (identChar(s_[p_])) {
        ++p_;
      } else if (s_[p_] == '"') {
        const size_t close = s_.find('"', p_ + 1);
        if (close == std::string::npos) fail(p_, "Need \"\"\" here");
        p_ = close + 1;
      } else {
        break;
      }
    }
    return s_.substr(start, p_ - start);
  }

  // The text from `from` to `to` without the blanks and line ends that
  // follow it (a carriage return would read as MOD in postfix text).
  std::string trimmed(size_t from, size_t to) const {
    while (to > from && static_cast<unsigned char>(s_[to - 1]) <= ' ') --to;
    return s_.substr(from, to - from);
  }

  // Reads and checks one expression; returns its text, `pos` where it starts.
  std::string expression(size_t& pos) {
    skipBlanks();
    pos = p_;
    checkExpression(0);
    return trimmed(pos, p_);
  }

  bool atOperatorWord(const char* word) {
    const size_t n = std::char_traits<char>::length(word);
    if (p_ + n > s_.size()) return false;
    for (size_t i = 0; i < n; ++i)
      if (std::toupper(static_cast<unsigned char>(s_[p_ + i])) != word[i]) return false;
    return p_ + n >= s_.size() || !identChar(s_[p_ + n]);
  }

  void checkExpression(int depth) {
    nest(depth);
    simple(depth);
    for (;;) {
      skipBlanks();
      if (p_ >= s_.size()) return;
      const char c = s_[p_];
      if (c == '<' || c == '>') {
        ++p_;
        if (p_ < s_.size() && (s_[p_] == '=' || (c == '<' && s_[p_] == '>'))) ++p_;
      } else if (c == '=') {
        ++p_;
      } else {
        return;
      }
      simple(depth);
    }
  }

  void simple(int depth) {
    term(depth);
    for (;;) {
      skipBlanks();
      if (p_ < s_.size() && (s_[p_] == '+' || s_[p_] == '-'))
        ++p_;
      else if (atOperatorWord("OR"))
        p_ += 2;
      else
        return;
      term(depth);
    }
  }

  void term(int depth) {
    factor(depth);
    for (;;) {
      skipBlanks();
      if (p_ < s_.size() && (s_[p_] == '*' || s_[p_] == '/'))
        ++p_;
      else if (atOperatorWord("AND") || atOperatorWord("MOD"))
        p_ += 3;
      else
        return;
      factor(depth);
    }
  }

  void factor(int depth) {
    nest(depth);
    skipBlanks();
    if (p_ >= s_.size()) return;
    const char c = s_[p_];
    if (c == '+' || c == '-') {
      ++p_;
      factor(depth + 1);
      return;
    }
    if (atOperatorWord("NOT")) {
      p_ += 3;
      factor(depth + 1);
      return;
    }
    if (c == '(') {
      ++p_;
      checkExpression(depth + 1);
      skipBlanks();
      if (p_ >= s_.size() || s_[p_] != ')') fail(p_, "Need \")\" here");
      ++p_;
      return;
    }
    if (c == '\'') {
      try {
        readStringLiteral(s_, p_);
      } catch (const ExpressionError&) {
        fail(p_, "Need \"'\" here");
      }
      return;
    }
    if (c == '[') {
      const size_t at = p_;
      try {
        readBracketed(s_, p_);
      } catch (const ExpressionError&) {
        fail(at, "Need \"]\" here");
      }
      return;
    }
    if (c == '%' && p_ + 1 < s_.size()) p_ += 2;
    if (p_ >= s_.size()) return;
    const char d = s_[p_];
    if (std::isdigit(static_cast<unsigned char>(d)) || d == '.') {
      while (p_ < s_.size()) {
        const char e = s_[p_];
        if (std::isalnum(static_cast<unsigned char>(e)) || e == '.')
          ++p_;
        else if (e == ',' && argDepth_ == 0 && p_ + 1 < s_.size() &&
                 std::isdigit(static_cast<unsigned char>(s_[p_ + 1])))
          ++p_;
        else
          break;
      }
      return;
    }
    if (!identChar(d) && d != '"') return;
    size_t end;
    const std::string w = peekWord(end);
    if (w == "THEN" || w == "DO" || w == "TO" || w == "ELSE" || w == "END" || w == "UNTIL" ||
        w == "BEGIN")
      return;
    target();
    if (p_ < s_.size() && s_[p_] == '(') {
      arguments(depth + 1);
    } else if (p_ < s_.size() && s_[p_] == '[') {
      ++p_;
      checkExpression(depth + 1);
      skipBlanks();
      if (p_ >= s_.size() || s_[p_] != ']') fail(p_, "Need \"]\" here");
      ++p_;
    }
  }

  // At '(': the arguments of a call through its ')'.
  void arguments(int depth) {
    ++p_;
    ++argDepth_;
    skipBlanks();
    if (p_ < s_.size() && s_[p_] == ')') {
      ++p_;
      --argDepth_;
      return;
    }
    for (;;) {
      checkExpression(depth + 1);
      skipBlanks();
      if (p_ < s_.size() && s_[p_] == ')') {
        ++p_;
        break;
      }
      if (p_ < s_.size() && s_[p_] == ',') {
        ++p_;
        continue;
      }
      fail(p_, "Need \",\" or \")\" here");
    }
    --argDepth_;
  }

  const std::string& s_;
  size_t p_ = 0;
  int argDepth_ = 0;
  std::vector<Line> lines_;
  std::vector<std::pair<std::string, int>> labels_;
};

int jumpTarget(const std::string& line) {
  if (line.size() < 3) return 0;
  return static_cast<unsigned char>(line[1]) | (static_cast<unsigned char>(line[2]) << 8);
}

// Where the expression of an assignment line begins: after the target name,
// whose double-quoted parts may hold blanks.
size_t assignmentSplit(const std::string& line) {
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] == ' ' && !quoted) return i;
  }
  return line.size();
}

}  // namespace

void TfrInterpretator::Compile(const StringList& source, StringList& code, StringList& errors) {
  code.clear();
  std::string original;
  for (const std::string& line : source) {
    original += line;
    original += '\r';
  }
  std::replace(original.begin(), original.end(), '\t', ' ');
  if (original.size() > kMaxText) {
    errors.push_back(errorLine(original, kMaxText,
                               "Script text longer than " + std::to_string(kMaxText) +
                                   " characters (" + std::to_string(original.size()) + ")"));
    return;
  }
  const PreparedText prepared = stripComments(original);
  Compiler compiler(prepared.text);
  try {
    compiler.program();
    code = compiler.finish();
  } catch (const CompileFailure& f) {
    code.clear();
    errors.push_back(errorLine(original, prepared.originalPosition(f.pos), f.message));
  }
}

Variant TfrInterpretator::evaluate(std::string_view postfix) {
  if (!parser_.OnGetValue) {
    parser_.OnGetValue = [this](const std::string& n, Variant& v) { GetValue(n, v); };
    parser_.OnFunction = [this](const std::string& n, const std::string& p1, const std::string& p2,
                                const std::string& p3,
                                Variant& v) { CallFunction(n, p1, p2, p3, v); };
  }
  if (const TfrParser* shared = forwardsTo()) {
    parser_.Cache = shared->Cache;
    if (parser_.Resolver().Epoch != shared->Resolver().Epoch)
      parser_.ShareResolver(shared->Resolver());
  }
  return parser_.CalcPostfix(postfix);
}

void TfrInterpretator::Run(const StringList& code) {
  int64_t steps = 0;
  size_t i = 0;
  while (i < code.size()) {
    if (++steps > MaxSteps)
      throw ScriptLimitError(EngineProblem(EngineReason::ScriptWithoutEnd).beyond(MaxSteps));
    const std::string& line = code[i];
    if (line.empty()) {
      ++i;
      continue;
    }
    switch (line[0]) {
      case kCondJump: {
        const Variant v = evaluate(std::string_view(line).substr(std::min<size_t>(3, line.size())));
        if (variantEquals(v, Variant(0)))
          i = jumpTarget(line);
        else
          ++i;
        break;
      }
      case kJump:
        i = jumpTarget(line);
        break;
      case kCall: {
        const std::string_view expression = std::string_view(line).substr(1);
        if (sameText(expression, "EXIT(0)")) return;
        evaluate(expression);
        ++i;
        break;
      }
      default: {
        const size_t split = assignmentSplit(line);
        const std::string name = line.substr(0, split);
        const Variant v =
            evaluate(split < line.size() ? std::string_view(line).substr(split + 1) : "");
        SetValue(name, v);
        ++i;
        break;
      }
    }
  }
}

void TfrInterpretator::SplitExpressions(const StringList& code, const StringList& functions,
                                        const TfrVariables* variables, StringList& found) {
  TfrFunctionSplitter splitter(functions, found, variables);
  for (const std::string& line : code) {
    if (line.empty()) continue;
    switch (line[0]) {
      case kCondJump:
        if (line.size() > 3) splitter.Split(std::string_view(line).substr(3));
        break;
      case kJump:
        break;
      case kCall:
        splitter.Split(std::string_view(line).substr(1));
        break;
      default: {
        const size_t split = assignmentSplit(line);
        if (split < line.size()) splitter.Split(std::string_view(line).substr(split + 1));
        break;
      }
    }
  }
}

TfrParser* TInterpretator::forwardsTo() {
  return &engineGlobals().Parser;
}

void TInterpretator::GetValue(const std::string& name, Variant& value) {
  if (auto& hook = engineGlobals().Parser.OnGetValue) hook(name, value);
}

void TInterpretator::SetValue(const std::string& name, const Variant& value) {
  if (OnSetValue)
    OnSetValue(name, value);
  else
    engineGlobals().Variables.setValue(name, value);
}

void TInterpretator::CallFunction(const std::string& name, const std::string& p1,
                                  const std::string& p2, const std::string& p3, Variant& value) {
  if (auto& hook = engineGlobals().Parser.OnFunction) hook(name, p1, p2, p3, value);
}

std::string describePostfix(std::string_view postfix) {
  static const char* const names[] = {"",   ">=",  "<=", "<>",  "or",  "and", "int",  "frac",
                                      "?8", "neg", "+u", "str", "not", "mod", "round"};
  std::string out;
  bool quoted = false;
  for (const char c : postfix) {
    if (c == '\'') quoted = !quoted;
    const auto u = static_cast<unsigned char>(c);
    if (!quoted && u >= 1 && u <= 14) {
      out += names[u];
      out += ' ';
    } else if (!quoted && u < 32) {
      out += '?';
    } else {
      out += c;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string describeCodeLine(const std::string& line) {
  if (line.empty()) return {};
  switch (line[0]) {
    case kCondJump:
      return "ifnot " +
             describePostfix(std::string_view(line).substr(std::min<size_t>(3, line.size()))) +
             " goto " + std::to_string(jumpTarget(line));
    case kJump:
      return "goto " + std::to_string(jumpTarget(line));
    case kCall:
      return "call " + describePostfix(std::string_view(line).substr(1));
    default: {
      const size_t split = assignmentSplit(line);
      return line.substr(0, split) + " := " +
             (split < line.size() ? describePostfix(std::string_view(line).substr(split + 1))
                                  : std::string());
    }
  }
}

}  // namespace orv
