#include "engine/parser.h"

#include <array>
#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <new>

#include "engine/date_time.h"
#include "engine/formatting.h"
#include "model/text_util.h"

namespace orv {

namespace {

bool startsNumber(char c) {
  return (c >= '0' && c <= '9') || c == ',' || c == '.';
}

bool isComparison(char op) {
  switch (op) {
    case pfx::GreaterEqual:
    case pfx::LessEqual:
    case pfx::NotEqual:
    case '<':
    case '=':
    case '>':
      return true;
    default:
      return false;
  }
}

// Lower numbers bind tighter; '(' is never popped by an operator.
int priority(char op) {
  if (isComparison(op)) return 3;
  switch (op) {
    case '+':
    case '-':
    case pfx::Negate:
    case pfx::Plus:
      return 2;
    case '*':
    case '/':
    case pfx::Or:
    case pfx::And:
    case pfx::Not:
    case pfx::Mod:
      return 1;
    case pfx::Int:
    case pfx::Frac:
    case pfx::Round:
    case pfx::Str:
      return 0;
    default:
      return 5;  // '('
  }
}

// Operators written before their one operand.
bool isPrefix(char op) {
  switch (op) {
    case pfx::Negate:
    case pfx::Plus:
    case pfx::Not:
    case pfx::Int:
    case pfx::Frac:
    case pfx::Round:
    case pfx::Str:
      return true;
    default:
      return false;
  }
}

bool isBinary(char op) {
  switch (op) {
    case '+':
    case '-':
    case '*':
    case '/':
    case '<':
    case '=':
    case '>':
    case pfx::GreaterEqual:
    case pfx::LessEqual:
    case pfx::NotEqual:
    case pfx::Or:
    case pfx::And:
    case pfx::Mod:
      return true;
    default:
      return false;
  }
}

char wordOperator(std::string_view word) {
  static constexpr std::array<std::pair<std::string_view, char>, 8> words = {{
      {"OR", pfx::Or},
      {"AND", pfx::And},
      {"NOT", pfx::Not},
      {"MOD", pfx::Mod},
      {"INT", pfx::Int},
      {"FRAC", pfx::Frac},
      {"ROUND", pfx::Round},
      {"STR", pfx::Str},
  }};
  if (word.size() > 5) return 0;
  const std::string u = upperCase(word);
  for (const auto& [w, code] : words)
    if (u == w) return code;
  return 0;
}

// An operand with a two-character '%' prefix: the prefix, then a literal, a
// bracketed reference, or an identifier with its index or arguments.
std::string readPrefixedOperand(std::string_view s, size_t& pos) {
  const size_t start = pos;
  pos = std::min(pos + 2, s.size());
  if (pos < s.size() && s[pos] == '\'') {
    readStringLiteral(s, pos);
  } else if (pos < s.size() && s[pos] == '[') {
    readBracketed(s, pos);
  } else {
    readIdentifier(s, pos);
    if (pos < s.size() && s[pos] == '[')
      readBracketed(s, pos);
    else if (pos < s.size() && s[pos] == '(')
      readArguments(s, pos);
  }
  return std::string(s.substr(start, pos - start));
}

std::string shortText(std::string_view s) {
  return s.size() <= 40 ? std::string(s) : std::string(s.substr(0, 40)) + "...";
}

ConversionError notANumber(const std::string& text) {
  std::string message(1, '\'');
  message += shortText(text);
  message += "' is not a valid number";
  return ConversionError(message);
}

double numberOperand(const std::string& text) {
  double d = 0;
  if (!Variant::parseNumber(text, d)) throw notANumber(text);
  return d;
}

int64_t integerText(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && text[b] == ' ') ++b;
  while (e > b && text[e - 1] == ' ') --e;
  size_t i = b;
  if (i < e && (text[i] == '+' || text[i] == '-')) ++i;
  bool ok = i < e && e - i <= 18;
  for (size_t k = i; ok && k < e; ++k) ok = text[k] >= '0' && text[k] <= '9';
  if (!ok) throw ConversionError("'" + shortText(text) + "' is not a valid integer");
  return std::stoll(text.substr(b, e - b));
}

// INT and FRAC first snap values within 1e-10 of a whole number onto it, so
// that 2.9999999999999 counts as 3.
double snapped(double x) {
  const double n = std::nearbyint(x);
  return std::fabs(n - x) < 1e-10 ? n : x;
}

class DepthGuard {
 public:
  explicit DepthGuard(int& depth) : depth_(depth) {
    if (++depth_ > TfrParser::kMaxDepth) {
      --depth_;
      throw ExpressionError("expression nested too deeply");
    }
  }
  ~DepthGuard() { --depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

 private:
  int& depth_;
};

}  // namespace

std::string TfrParser::ToPostfix(std::string_view s) {
  std::string out;
  std::string stack;  // operators; the back is the top
  bool operand = false;
  size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    char op = 0;
    if (static_cast<unsigned char>(c) <= 32) {
      ++i;
      continue;
    }
    if (c == ';') break;
    if (c == '(') {
      stack += '(';
      operand = false;
      ++i;
      continue;
    }
    if (c == ')') {
      // A surplus ')' only empties the stack: texts that have one have
      // always evaluated that way.
      while (!stack.empty() && stack.back() != '(') {
        out += stack.back();
        stack.pop_back();
      }
      if (!stack.empty()) stack.pop_back();
      ++i;
      continue;
    }
    const char next = i + 1 < s.size() ? s[i + 1] : 0;
    if (c == '<' && next == '>') {
      op = pfx::NotEqual;
    } else if (c == '>' && next == '=') {
      op = pfx::GreaterEqual;
    } else if (c == '<' && next == '=') {
      op = pfx::LessEqual;
    }
    if (op) {
      i += 2;
    } else if (c == '+' || c == '-' || c == '*' || c == '/' || c == '<' || c == '=' || c == '>') {
      op = c;
      ++i;
    } else {
      const size_t start = i;
      if (c == '%') {
        readPrefixedOperand(s, i);
      } else if (c == '\'') {
        readStringLiteral(s, i);
      } else if (c == '[') {
        readBracketed(s, i);
      } else {
        const std::string id = readIdentifier(s, i);
        if (!id.empty() && startsNumber(id[0])) {
          // Numbers are kept as written; CalcPostfix reads either decimal point.
        } else if (const char w = wordOperator(id)) {
          op = w;
        } else if (i < s.size() && s[i] == '[') {
          readBracketed(s, i);
        } else if (i < s.size() && s[i] == '(') {
          readArguments(s, i);
          // A call carries its own end, its ')', so no blank follows it.
          out += s.substr(start, i - start);
          operand = true;
          continue;
        }
      }
      if (!op) {
        out += s.substr(start, i - start);
        out += ' ';
        operand = true;
        continue;
      }
    }
    if (!operand) {
      if (op == '-') op = pfx::Negate;
      if (op == '+') op = pfx::Plus;
    }
    // A prefix operator has nothing on its left to reduce, so it is pushed as
    // it is; popping there would leave "2 * -3" short of an operand.
    if (!isPrefix(op)) {
      while (!stack.empty() && priority(op) >= priority(stack.back())) {
        out += stack.back();
        stack.pop_back();
      }
    }
    stack += op;
    operand = false;
  }
  while (!stack.empty()) {
    if (stack.back() == '(') throw ExpressionError("missing ')' in " + shortText(s));
    out += stack.back();
    stack.pop_back();
  }
  return out;
}

TfrCompiledExpression::TfrCompiledExpression(std::string_view postfix) : postfix_(postfix) {
  decode();
}

void TfrCompiledExpression::fail(std::exception_ptr error) {
  steps_.push_back({Op::Fail, 0, static_cast<uint32_t>(errors_.size())});
  errors_.push_back(std::move(error));
}

// Reads the postfix text as evaluating it once did, operand by operand, and
// keeps what each one asks for. An operand that cannot be read ends the
// decoding with its error; evaluation raises it when it gets there.
void TfrCompiledExpression::decode() {
  const std::string_view s = postfix_;
  auto push = [this](Variant v) {
    steps_.push_back({Op::Push, 0, static_cast<uint32_t>(values_.size())});
    values_.push_back(std::move(v));
  };
  auto name = [this](std::string n) {
    steps_.push_back({Op::Name, 0, static_cast<uint32_t>(names_.size())});
    names_.push_back({std::move(n)});
  };
  size_t i = 0;
  try {
    while (i < s.size()) {
      const char c = s[i];
      if (c == ' ' || c == pfx::Plus) {
        ++i;
      } else if (isBinary(c)) {
        const Op op = c == '+'   ? Op::Add
                      : c == '-' ? Op::Subtract
                      : c == '*' ? Op::Multiply
                      : c == '/' ? Op::Divide
                                 : Op::Binary;
        steps_.push_back({op, c, 0});
        ++i;
      } else if (c == pfx::Negate || c == pfx::Not || c == pfx::Int || c == pfx::Frac ||
                 c == pfx::Round || c == pfx::Str) {
        steps_.push_back({Op::Unary, c, 0});
        ++i;
      } else if (c == '\'') {
        push(Variant(unquoteLiteral(readStringLiteral(s, i))));
      } else if (c == '[') {
        name(readBracketed(s, i));
      } else if (c == '%') {
        name(readPrefixedOperand(s, i));
      } else if (static_cast<unsigned char>(c) <= 32) {  // no operator has this code
        ++i;
      } else {
        const size_t start = i;
        const std::string id = readIdentifier(s, i);
        if (!id.empty() && startsNumber(id[0])) {
          double d = 0;
          if (Variant::parseNumber(id, d)) {
            steps_.push_back({Op::Number, 0, static_cast<uint32_t>(numbers_.size())});
            numbers_.push_back(d);
          } else {
            fail(std::make_exception_ptr(notANumber(id)));
          }
        } else if (i < s.size() && s[i] == '[') {
          std::string index(1, ' ');
          index += readBracketed(s, i);
          steps_.push_back({Op::Array, 0, static_cast<uint32_t>(arrays_.size())});
          arrays_.push_back({id, std::move(index)});
        } else if (i < s.size() && s[i] == '(') {
          Arguments args = readArguments(s, i);
          steps_.push_back({Op::Call, 0, static_cast<uint32_t>(calls_.size())});
          calls_.push_back({upperCase(id), std::move(args), {}});
        } else if (!id.empty()) {
          std::string n = upperCase(id);
          if (n == "TRUE" || n == "FALSE")
            steps_.push_back({Op::Boolean, n == "TRUE" ? char(1) : char(0), 0});
          else
            name(std::move(n));
        } else if (i == start) {
          throw ExpressionError("unexpected '" + std::string(1, c) + "' in " + shortText(s));
        }
      }
    }
  } catch (...) {
    fail(std::current_exception());
  }
}

void TfrParser::SetResolver(std::function<int32_t(const std::string&)> resolve,
                            std::function<void(int32_t, const std::string&, Variant&)> valueOf) {
  // Every resolver gets an epoch no other had, so an entry an operand keeps
  // from an earlier one is never taken for this one's.
  static uint32_t epochs = 0;
  resolver_.Resolve = std::move(resolve);
  resolver_.ValueOf = std::move(valueOf);
  resolver_.Epoch = ++epochs;
}

Variant TfrParser::getValue(const std::string& name) {
  Variant v = Variant::null();
  if (OnGetValue) OnGetValue(name, v);
  return v;
}

Variant TfrParser::nameValue(const TfrCompiledExpression::Name& n) {
  if (!resolver_.ValueOf) return getValue(n.name);
  if (n.epoch != resolver_.Epoch) {
    n.entry = resolver_.Resolve(n.name);
    n.epoch = resolver_.Epoch;
  }
  if (n.entry < 0) return getValue(n.name);
  Variant v = Variant::null();
  resolver_.ValueOf(n.entry, n.name, v);
  return v;
}

Variant TfrParser::argument(const TfrCompiledExpression::Call& call, int n) {
  std::unique_ptr<TfrCompiledExpression>& slot = call.compiled[n];
  if (!slot) {
    const std::string& text = n == 0 ? call.args.p1 : n == 1 ? call.args.p2 : call.args.p3;
    slot = std::make_unique<TfrCompiledExpression>(ToPostfix(text));
  }
  return Run(*slot);
}

Variant TfrParser::callFunction(const TfrCompiledExpression::Call& call) {
  const std::string& name = call.name;
  if (name == "COPY") {
    const std::string text = valueToText(argument(call, 0));
    const int64_t start = integerText(valueToText(argument(call, 1)));
    const int64_t count = integerText(valueToText(argument(call, 2)));
    // As a Pascal copy: positions from 1, a start before 1 counts as 1, and
    // what lies past the end is simply not there.
    const int64_t from = std::max<int64_t>(start, 1) - 1;
    if (count <= 0 || from >= static_cast<int64_t>(text.size())) return Variant(std::string());
    return Variant(text.substr(static_cast<size_t>(from), static_cast<size_t>(count)));
  }
  if (name == "IF") {
    const std::string cond = valueToText(argument(call, 0));
    return std::trunc(numberOperand(cond)) != 0 ? argument(call, 1) : argument(call, 2);
  }
  if (name == "STRTODATE") return Variant::dateTime(strToDate(valueToText(argument(call, 0))));
  if (name == "STRTOTIME") return Variant::dateTime(strToTime(valueToText(argument(call, 0))));
  Variant v = Variant::null();
  if (OnFunction) OnFunction(name, call.args.p1, call.args.p2, call.args.p3, v);
  return v;
}

TfrExpressionCache* TfrParser::cache() {
  if (Cache) return Cache;
  // Emptied only when no evaluation is under way: one may be running a text
  // it holds. While full and busy it converts texts for one evaluation.
  if (depth_ == 0 && own_.full()) own_.clear();
  return &own_;
}

Variant TfrParser::Calc(std::string_view expression) {
  if (const TfrCompiledExpression* e = cache()->byInfix(expression)) return Run(*e);
  return Run(TfrCompiledExpression(ToPostfix(expression)));
}

Variant TfrParser::CalcPostfix(std::string_view postfix) {
  if (const TfrCompiledExpression* e = cache()->byPostfix(postfix)) return Run(*e);
  return Run(TfrCompiledExpression(postfix));
}

namespace {

// Whether comparison c holds for operands ordered as k (-1, 0, 1).
bool comparisonHolds(char c, int k) {
  switch (c) {
    case '<':
      return k < 0;
    case '=':
      return k == 0;
    case '>':
      return k > 0;
    case pfx::GreaterEqual:
      return k >= 0;
    case pfx::LessEqual:
      return k <= 0;
    default:
      return k != 0;
  }
}

// A value on the evaluation stack. Everything but text fits in the cell
// itself, so the arithmetic most reports do never builds, moves or destroys a
// Variant; a text lives in a Variant kept beside its cell. Cells are left
// uninitialised until a value lands in them: clearing all 32 at every
// evaluation would cost more than a short expression itself.
struct Cell {
  Variant::Kind kind;
  int64_t i;  // Int, and Bool as 1 or 0
  double d;   // Double and DateTime

  void setInt(int64_t v) {
    kind = Variant::Kind::Int;
    i = v;
  }
  void setDouble(double v) {
    kind = Variant::Kind::Double;
    d = v;
  }
};

Cell cellOf(const Variant& v) {
  Cell c{v.kind(), 0, 0};
  switch (v.kind()) {
    case Variant::Kind::Bool:
      c.i = v.toBool() ? 1 : 0;
      break;
    case Variant::Kind::Int:
      c.i = v.toInt();
      break;
    case Variant::Kind::Double:
    case Variant::Kind::DateTime:
      c.d = v.toDouble();
      break;
    default:
      break;
  }
  return c;
}

Variant variantOf(const Cell& c) {
  switch (c.kind) {
    case Variant::Kind::Null:
      return Variant::null();
    case Variant::Kind::Bool:
      return Variant(c.i != 0);
    case Variant::Kind::Int:
      return Variant(c.i);
    case Variant::Kind::Double:
      return Variant(c.d);
    case Variant::Kind::DateTime:
      return Variant::dateTime(c.d);
    default:
      return Variant();
  }
}

// The evaluation stack. A slot's text box is built the first time a text
// lands there and then reused until the evaluation ends, so a short numeric
// expression builds no Variant at all.
class EvalStack {
 public:
  static_assert(TfrParser::kStackSize <= 32, "one bit per slot");

  EvalStack() = default;
  EvalStack(const EvalStack&) = delete;
  EvalStack& operator=(const EvalStack&) = delete;
  ~EvalStack() {
    for (uint32_t live = boxed_; live != 0; live &= live - 1)
      std::launder(reinterpret_cast<Variant*>(raw(__builtin_ctz(live))))->~Variant();
  }

  int size() const { return size_; }
  bool full() const { return size_ >= TfrParser::kStackSize; }
  Cell& cell(int i) { return cells_[i]; }

  void push(const Cell& c) { cells_[size_++] = c; }
  void push(Variant&& v) { put(size_++, std::move(v)); }
  void pushCopy(const Variant& v) {
    if (v.isString()) {
      box(size_) = v;
      cells_[size_++].kind = Variant::Kind::String;
    } else {
      cells_[size_++] = cellOf(v);
    }
  }
  void pop() { --size_; }

  void put(int i, Variant&& v) {
    if (v.isString()) {
      box(i) = std::move(v);
      cells_[i].kind = Variant::Kind::String;
    } else {
      cells_[i] = cellOf(v);
    }
  }
  // Slot i as a Variant: its box for a text, otherwise built in `scratch`.
  const Variant& view(int i, Variant& scratch) {
    if (cells_[i].kind == Variant::Kind::String) return box(i);
    scratch = variantOf(cells_[i]);
    return scratch;
  }
  Variant take(int i) {
    return cells_[i].kind == Variant::Kind::String ? std::move(box(i)) : variantOf(cells_[i]);
  }

 private:
  unsigned char* raw(int i) { return boxes_ + i * sizeof(Variant); }
  Variant& box(int i) {
    if (!(boxed_ & (1u << i))) {
      new (raw(i)) Variant();
      boxed_ |= 1u << i;
    }
    return *std::launder(reinterpret_cast<Variant*>(raw(i)));
  }

  Cell cells_[TfrParser::kStackSize];
  alignas(Variant) unsigned char boxes_[TfrParser::kStackSize * sizeof(Variant)];
  uint32_t boxed_ = 0;
  int size_ = 0;
};

bool plainNumber(const Cell& c) {
  return c.kind == Variant::Kind::Int || c.kind == Variant::Kind::Double;
}

// How variantCompare orders two numbers: NaN after every number.
int order(double x, double y) {
  if (x < y) return -1;
  if (x > y) return 1;
  if (x == y) return 0;
  return std::isnan(x) ? (std::isnan(y) ? 0 : 1) : -1;
}

// Integers and floats on both sides: what the variant operations give, kinds
// included, computed on the cells. False for MOD, AND and OR, which stay with
// the variant operations.
// Inlined where the operator is known, so that its switch folds away.
[[gnu::always_inline]] inline bool numericBinary(char c, Cell& a, const Cell& b) {
  if (c == pfx::Mod || c == pfx::And || c == pfx::Or) return false;
  if (a.kind == Variant::Kind::Int && b.kind == Variant::Kind::Int) {
    const int64_t x = a.i, y = b.i;
    int64_t r = 0;
    bool overflow = false;
    switch (c) {
      case '+':
        overflow = __builtin_add_overflow(x, y, &r);
        break;
      case '-':
        overflow = __builtin_sub_overflow(x, y, &r);
        break;
      case '*':
        overflow = __builtin_mul_overflow(x, y, &r);
        break;
      case '/':
        if (y == 0)
          a.setInt(0);
        else
          a.setDouble(double(x) / double(y));
        return true;
      default:
        a.setInt(comparisonHolds(c, x < y ? -1 : (x > y ? 1 : 0)) ? 1 : 0);
        return true;
    }
    if (!overflow) {
      a.i = r;
      return true;
    }
    // Past 64 bits the integers go on as floating point.
  }
  const double x = a.kind == Variant::Kind::Int ? double(a.i) : a.d;
  const double y = b.kind == Variant::Kind::Int ? double(b.i) : b.d;
  switch (c) {
    case '+':
      a.setDouble(x + y);
      return true;
    case '-':
      a.setDouble(x - y);
      return true;
    case '*':
      a.setDouble(x * y);
      return true;
    case '/':
      if (y == 0)
        a.setInt(0);
      else
        a.setDouble(x / y);
      return true;
    default:
      a.setInt(comparisonHolds(c, order(x, y)) ? 1 : 0);
      return true;
  }
}

Variant variantBinary(char c, const Variant& a, const Variant& b) {
  switch (c) {
    case '+':
      return variantAdd(a, b);
    case '-':
      return variantSub(a, b);
    case '*':
      return variantMul(a, b);
    case '/':
      if (variantEquals(b, Variant(0))) return Variant(0);
      if (a.isNull() || b.isNull()) return Variant::null();
      return Variant(a.numberValue() / b.numberValue());
    case pfx::Mod:
      return variantMod(a, b);
    case pfx::And:
      return variantAnd(a, b);
    case pfx::Or:
      return variantOr(a, b);
    default:
      return Variant(comparisonHolds(c, variantCompare(a, b)) ? 1 : 0);
  }
}

void generalBinary(char c, EvalStack& st) {
  const int a = st.size() - 2;
  Variant sa, sb;
  Variant r = variantBinary(c, st.view(a, sa), st.view(a + 1, sb));
  st.put(a, std::move(r));
}

[[gnu::always_inline]] inline void applyBinary(char c, EvalStack& st) {
  const int a = st.size() - 2;
  if (!(plainNumber(st.cell(a)) && plainNumber(st.cell(a + 1)) &&
        numericBinary(c, st.cell(a), st.cell(a + 1))))
    generalBinary(c, st);
  st.pop();
}

double intOrFrac(char c, double x) {
  if (c == pfx::Int) return std::trunc(snapped(x));
  if (c == pfx::Frac) return snapped(x) - std::trunc(snapped(x));
  return std::nearbyint(x);  // ROUND, the default rounding: halves to even
}

bool numericUnary(char c, Cell& v) {
  if (!plainNumber(v) || c == pfx::Str) return false;
  const bool isInt = v.kind == Variant::Kind::Int;
  if (c == pfx::Negate) {
    if (!isInt)
      v.d = -v.d;
    else if (v.i == std::numeric_limits<int64_t>::min())
      v.setDouble(-double(v.i));
    else
      v.i = -v.i;
  } else if (c == pfx::Not) {
    v.setInt((isInt ? v.i == 0 : v.d == 0) ? 1 : 0);
  } else {
    v.setDouble(intOrFrac(c, isInt ? double(v.i) : v.d));
  }
  return true;
}

Variant variantUnary(char c, const Variant& v) {
  if (c == pfx::Negate) return variantNeg(v);
  if (c == pfx::Not) return Variant(variantEquals(v, Variant(0)) ? 1 : 0);
  if (c == pfx::Str) return Variant(v.isNull() ? std::string() : valueToText(v));
  if (v.isNull()) return v;
  return Variant(intOrFrac(c, v.numberValue()));
}

void applyUnary(char c, EvalStack& st) {
  const int top = st.size() - 1;
  if (numericUnary(c, st.cell(top))) return;
  Variant scratch;
  Variant r = variantUnary(c, st.view(top, scratch));
  st.put(top, std::move(r));
}

}  // namespace

Variant TfrParser::Run(const TfrCompiledExpression& e) {
  DepthGuard guard(depth_);
  EvalStack st;
  auto room = [&] {
    if (st.full())
      throw ExpressionError("expression needs more than 32 pending values: " +
                            shortText(e.postfix_));
  };
  auto need = [&](int n) {
    if (st.size() < n)
      throw ExpressionError("operator without operand in " + shortText(e.postfix_));
  };
  for (const TfrCompiledExpression::Step& step : e.steps_) {
    switch (step.op) {
      case TfrCompiledExpression::Op::Number:
        room();
        st.push(Cell{Variant::Kind::Double, 0, e.numbers_[step.index]});
        break;
      case TfrCompiledExpression::Op::Boolean:
        room();
        st.push(Cell{Variant::Kind::Bool, step.code != 0 ? 1 : 0, 0});
        break;
      case TfrCompiledExpression::Op::Push:
        room();
        st.pushCopy(e.values_[step.index]);
        break;
      case TfrCompiledExpression::Op::Name: {
        Variant v = nameValue(e.names_[step.index]);
        room();
        st.push(std::move(v));
        break;
      }
      case TfrCompiledExpression::Op::Array: {
        const TfrCompiledExpression::Array& a = e.arrays_[step.index];
        Variant v = Variant::null();
        if (OnFunction) OnFunction("GETARRAY", a.name, a.index, std::string(), v);
        room();
        st.push(std::move(v));
        break;
      }
      case TfrCompiledExpression::Op::Call: {
        Variant v = callFunction(e.calls_[step.index]);
        room();
        st.push(std::move(v));
        break;
      }
      case TfrCompiledExpression::Op::Add:
        need(2);
        applyBinary('+', st);
        break;
      case TfrCompiledExpression::Op::Subtract:
        need(2);
        applyBinary('-', st);
        break;
      case TfrCompiledExpression::Op::Multiply:
        need(2);
        applyBinary('*', st);
        break;
      case TfrCompiledExpression::Op::Divide:
        need(2);
        applyBinary('/', st);
        break;
      case TfrCompiledExpression::Op::Binary:
        need(2);
        applyBinary(step.code, st);
        break;
      case TfrCompiledExpression::Op::Unary:
        need(1);
        applyUnary(step.code, st);
        break;
      case TfrCompiledExpression::Op::Fail:
        std::rethrow_exception(e.errors_[step.index]);
    }
  }
  return st.size() > 0 ? st.take(0) : Variant();
}

}  // namespace orv
