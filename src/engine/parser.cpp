#include "engine/parser.h"

#include <array>
#include <cmath>
#include <exception>
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

// The evaluation stack: slots come alive only when a value is pushed, so a
// short expression does not pay for all 32.
class ValueStack {
 public:
  ValueStack() = default;
  ValueStack(const ValueStack&) = delete;
  ValueStack& operator=(const ValueStack&) = delete;
  ~ValueStack() {
    while (size_ > 0) pop();
  }
  int size() const { return size_; }
  Variant& at(int i) { return std::launder(reinterpret_cast<Variant*>(slots_))[i]; }
  Variant& top() { return at(size_ - 1); }
  // False when all slots are taken.
  bool push(Variant&& v) {
    if (size_ >= TfrParser::kStackSize) return false;
    new (slots_ + size_ * sizeof(Variant)) Variant(std::move(v));
    ++size_;
    return true;
  }
  void pop() { at(--size_).~Variant(); }

 private:
  alignas(Variant) unsigned char slots_[TfrParser::kStackSize * sizeof(Variant)];
  int size_ = 0;
};

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
        steps_.push_back({Op::Binary, c, 0});
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
          if (Variant::parseNumber(id, d))
            push(Variant(d));
          else
            fail(std::make_exception_ptr(notANumber(id)));
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
            push(Variant(n == "TRUE"));
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
  if (depth_ == 0 && own_.size() >= TfrExpressionCache::kMaxEntries) own_.clear();
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

// Two floating-point operands, the common case of report arithmetic: the
// results the variant operations give, without their general dispatch.
bool applyToDoubles(char c, Variant& a, const Variant& b) {
  const double x = a.toDouble(), y = b.toDouble();
  int k = 0;
  switch (c) {
    case '+':
      a = Variant(x + y);
      return true;
    case '-':
      a = Variant(x - y);
      return true;
    case '*':
      a = Variant(x * y);
      return true;
    case '/':
      a = y == 0 ? Variant(0) : Variant(x / y);
      return true;
    default:
      break;
  }
  if (!isComparison(c)) return false;
  if (x < y)
    k = -1;
  else if (x > y)
    k = 1;
  else if (!(x == y))
    return false;  // NaN has an order of its own
  a = Variant(comparisonHolds(c, k) ? 1 : 0);
  return true;
}

void applyBinary(char c, Variant& a, const Variant& b) {
  if (a.kind() == Variant::Kind::Double && b.kind() == Variant::Kind::Double &&
      applyToDoubles(c, a, b))
    return;
  switch (c) {
    case '+':
      a = variantAdd(a, b);
      return;
    case '-':
      a = variantSub(a, b);
      return;
    case '*':
      a = variantMul(a, b);
      return;
    case '/':
      if (variantEquals(b, Variant(0)))
        a = Variant(0);
      else if (a.isNull() || b.isNull())
        a = Variant::null();
      else
        a = Variant(a.numberValue() / b.numberValue());
      return;
    case pfx::Mod:
      a = variantMod(a, b);
      return;
    case pfx::And:
      a = variantAnd(a, b);
      return;
    case pfx::Or:
      a = variantOr(a, b);
      return;
    default:
      break;
  }
  const int k = variantCompare(a, b);
  a = Variant(comparisonHolds(c, k) ? 1 : 0);
}

void applyUnary(char c, Variant& v) {
  if (c == pfx::Negate) {
    v = variantNeg(v);
  } else if (c == pfx::Not) {
    v = Variant(variantEquals(v, Variant(0)) ? 1 : 0);
  } else if (c == pfx::Str) {
    v = Variant(v.isNull() ? std::string() : valueToText(v));
  } else if (!v.isNull()) {
    const double x = v.numberValue();
    if (c == pfx::Int)
      v = Variant(std::trunc(snapped(x)));
    else if (c == pfx::Frac)
      v = Variant(snapped(x) - std::trunc(snapped(x)));
    else
      v = Variant(std::nearbyint(x));  // the default rounding: halves to even
  }
}

}  // namespace

Variant TfrParser::Run(const TfrCompiledExpression& e) {
  DepthGuard guard(depth_);
  ValueStack st;
  auto push = [&](Variant v) {
    if (!st.push(std::move(v)))
      throw ExpressionError("expression needs more than 32 pending values: " +
                            shortText(e.postfix_));
  };
  auto need = [&](int n) {
    if (st.size() < n)
      throw ExpressionError("operator without operand in " + shortText(e.postfix_));
  };
  for (const TfrCompiledExpression::Step& step : e.steps_) {
    switch (step.op) {
      case TfrCompiledExpression::Op::Push:
        push(e.values_[step.index]);
        break;
      case TfrCompiledExpression::Op::Name:
        push(nameValue(e.names_[step.index]));
        break;
      case TfrCompiledExpression::Op::Array: {
        const TfrCompiledExpression::Array& a = e.arrays_[step.index];
        Variant v = Variant::null();
        if (OnFunction) OnFunction("GETARRAY", a.name, a.index, std::string(), v);
        push(std::move(v));
        break;
      }
      case TfrCompiledExpression::Op::Call:
        push(callFunction(e.calls_[step.index]));
        break;
      case TfrCompiledExpression::Op::Binary:
        need(2);
        applyBinary(step.code, st.at(st.size() - 2), st.top());
        st.pop();
        break;
      case TfrCompiledExpression::Op::Unary:
        need(1);
        applyUnary(step.code, st.top());
        break;
      case TfrCompiledExpression::Op::Fail:
        std::rethrow_exception(e.errors_[step.index]);
    }
  }
  return st.size() > 0 ? std::move(st.at(0)) : Variant();
}

}  // namespace orv
