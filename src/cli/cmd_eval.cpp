// frptool eval: runs one expression through the report engine's parser and
// formatting, printing the postfix text, the value with its kind, and the
// value as a text object would show it. Names resolve only to --var values.
#include <QDateTime>
#include <QString>
#include <cstdio>
#include <cstdlib>

#include "cli/cli.h"
#include "cli/cli_common.h"
#include "engine/date_time.h"
#include "engine/engine_globals.h"
#include "engine/formatting.h"
#include "engine/variables.h"
#include "platform/codepage.h"

namespace orv::cli {
namespace {

const char* kindName(Variant::Kind k) {
  switch (k) {
    case Variant::Kind::Empty:
      return "empty";
    case Variant::Kind::Null:
      return "null";
    case Variant::Kind::Bool:
      return "boolean";
    case Variant::Kind::Int:
      return "integer";
    case Variant::Kind::Double:
      return "float";
    case Variant::Kind::DateTime:
      return "date-time";
    case Variant::Kind::String:
      return "text";
  }
  return "?";
}

// Operator codes are control characters; they are shown as \xNN.
std::string printable(const std::string& postfix) {
  std::string out;
  for (unsigned char c : postfix) {
    if (c < 32 || c == '\\') {
      char buf[8];
      std::snprintf(buf, sizeof buf, c == '\\' ? "\\\\" : "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return toUtf8(out);
}

int32_t parseFormatCode(const std::string& v) {
  if (v.empty()) return 0;
  char* end = nullptr;
  errno = 0;
  const long long n = std::strtoll(v.c_str(), &end, 0);
  if (*end != 0 || errno != 0 || n < INT32_MIN || n > UINT32_MAX)
    throw UsageError("option --format needs an integer code (decimal or 0x...), not \"" + v + "\"");
  return static_cast<int32_t>(static_cast<uint32_t>(n));
}

int run(const std::vector<std::string>& argv) {
  Args args(argv);
  TfrVariables vars = takeVarOptions(args);
  const int32_t code = parseFormatCode(args.option("--format", ""));
  const std::string formatText = fromUtf8(args.option("--format-text", ""));
  // Whatever is left is the expression, even when it starts with '-'.
  if (!args.rest.empty() && args.rest.front() == "--") args.rest.erase(args.rest.begin());
  if (args.rest.empty()) throw UsageError("missing EXPR");
  const std::string expression = fromUtf8(args.rest.front());
  args.rest.erase(args.rest.begin());
  args.done();

  TfrParser& parser = engineGlobals().Parser;
  parser.OnGetValue = [&](const std::string& name, Variant& v) {
    const int i = vars.IndexOf(name);
    if (i < 0) throw Error("unknown name \"" + toUtf8(name) + "\" (give it with --var)");
    v = vars.valueAt(i);
  };
  parser.OnFunction = [](const std::string& name, const std::string&, const std::string&,
                         const std::string&,
                         Variant&) { throw Error("unknown function \"" + toUtf8(name) + "\""); };

  // An expression may carry its own format after " #", as inside a text object.
  const InlineFormat f = ResolveInlineFormat(expression, code, formatText);
  const std::string postfix = TfrParser::ToPostfix(f.Expression);
  std::printf("postfix: %s\n", printable(postfix).c_str());
  const Variant value = parser.CalcPostfix(postfix);
  std::printf("value: %s (%s)\n", toUtf8(valueToText(value)).c_str(), kindName(value.kind()));
  std::printf("text: %s\n", toUtf8(FormatValue(value, f.Format, f.FormatStr)).c_str());
  return kExitOk;
}

Registrar reg({"eval", "eval 'EXPR' [--var NAME=VALUE]... [--format CODE --format-text TEXT]",
               "evaluate an expression as a report does: its postfix text (operator codes as "
               "\\xNN), its value and kind, and the value under a display format",
               run});

}  // namespace
}  // namespace orv::cli
