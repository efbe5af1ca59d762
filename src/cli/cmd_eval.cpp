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

std::string fromUtf8(const std::string& s) {
  return encodeText(QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())), 1252);
}

// VALUE of --var NAME=VALUE: 'quoted' is always text; TRUE, FALSE and NULL
// (any case), whole numbers, decimal numbers and ISO dates (2026-12-09,
// optionally with THH:MM[:SS]) take their own kinds; anything else is text.
Variant parseValue(const std::string& text) {
  if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'')
    return Variant(fromUtf8(text.substr(1, text.size() - 2)));
  const QString q = QString::fromUtf8(text.c_str());
  if (q.compare("TRUE", Qt::CaseInsensitive) == 0) return Variant(true);
  if (q.compare("FALSE", Qt::CaseInsensitive) == 0) return Variant(false);
  if (q.compare("NULL", Qt::CaseInsensitive) == 0) return Variant::null();
  bool ok = false;
  const qlonglong i = q.toLongLong(&ok);
  if (ok) return Variant(static_cast<int64_t>(i));
  double d = 0;
  if (Variant::parseNumber(text, d)) return Variant(d);
  const QDateTime dt = QDateTime::fromString(q, Qt::ISODate);
  if (dt.isValid() && q.size() >= 10 && q[4] == '-') {
    const QDate day = dt.date();
    const QTime t = dt.time();
    return Variant::dateTime(encodeDate(day.year(), day.month(), day.day()) +
                             encodeTime(t.hour(), t.minute(), t.second(), t.msec()));
  }
  return Variant(fromUtf8(text));
}

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
  TfrVariables vars;
  for (size_t i = 0; i < args.rest.size();) {
    std::string spec;
    if (args.rest[i] == "--var") {
      if (i + 1 >= args.rest.size()) throw UsageError("option --var needs NAME=VALUE");
      spec = args.rest[i + 1];
      args.rest.erase(args.rest.begin() + i, args.rest.begin() + i + 2);
    } else if (args.rest[i].rfind("--var=", 0) == 0) {
      spec = args.rest[i].substr(6);
      args.rest.erase(args.rest.begin() + i);
    } else {
      ++i;
      continue;
    }
    const size_t eq = spec.find('=');
    if (eq == std::string::npos || eq == 0)
      throw UsageError("option --var needs NAME=VALUE, not \"" + spec + "\"");
    vars.setValue(fromUtf8(spec.substr(0, eq)), parseValue(spec.substr(eq + 1)));
  }
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
