// Runs hostile text through the expression language: conversion to postfix
// and evaluation, evaluation of raw postfix text, the function splitter, and
// value formatting under the inline format an expression may carry. Hooks
// answer every name with a fixed value; EVAL(x) evaluates x again, so that
// nesting through hooks is exercised too. Only clear errors may come out.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/engine_globals.h"
#include "engine/formatting.h"
#include "engine/function_splitter.h"
#include "engine/parser.h"

namespace {

orv::Variant fixedValue(size_t n) {
  switch (n % 6) {
    case 0:
      return orv::Variant(7);
    case 1:
      return orv::Variant(2.5);
    case 2:
      return orv::Variant("12");
    case 3:
      return orv::Variant::null();
    case 4:
      return orv::Variant::dateTime(45000.25);
    default:
      return orv::Variant(true);
  }
}

orv::TfrParser& parser() {
  static orv::TfrParser& p = [&]() -> orv::TfrParser& {
    orv::TfrParser& q = orv::engineGlobals().Parser;
    q.OnGetValue = [](const std::string& name, orv::Variant& v) { v = fixedValue(name.size()); };
    q.OnFunction = [&q](const std::string& name, const std::string& p1, const std::string& p2,
                        const std::string&, orv::Variant& v) {
      if (name == "EVAL")
        v = q.Calc(p1);
      else
        v = fixedValue(p1.size() + p2.size());
    };
    return q;
  }();
  return p;
}

}  // namespace

// Input: a mode byte, then the text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  orv::TfrParser& p = parser();
  const char separator = orv::engineGlobals().Format.DecimalSeparator;
  try {
    switch (data[0] % 4) {
      case 0:
        p.CalcPostfix(orv::TfrParser::ToPostfix(text));
        break;
      case 1:
        p.CalcPostfix(text);
        break;
      case 2: {
        static const orv::StringList match{"SUM", "AVG", "COUNT"};
        static orv::TfrVariables vars = [] {
          orv::TfrVariables v;
          v.setValue("A", orv::Variant("SUM(x) + [B]"));
          v.setValue("B", orv::Variant("A"));
          return v;
        }();
        orv::StringList found;
        orv::TfrFunctionSplitter(match, found, &vars).Split(text);
        break;
      }
      default: {
        // The memo's own format comes from the first bytes, the value from
        // the expression before any inline format.
        const int32_t code = size >= 5
                                 ? static_cast<int32_t>(data[1] | data[2] << 8 | data[3] << 16 |
                                                        uint32_t(data[4]) << 24)
                                 : 0;
        const orv::InlineFormat f = orv::ResolveInlineFormat(text, code, text);
        orv::Variant v;
        try {
          v = p.Calc(f.Expression);
        } catch (const orv::Error&) {
          v = orv::Variant(f.Expression);
        }
        orv::FormatValue(v, f.Format, f.FormatStr);
        orv::FormatValue(orv::Variant(static_cast<double>(size) * 1234.567), f.Format, f.FormatStr);
        orv::FormatValue(orv::Variant::dateTime(static_cast<double>(code % 3000000)), f.Format,
                         f.FormatStr);
        break;
      }
    }
  } catch (const orv::Error&) {
  }
  if (orv::engineGlobals().Format.DecimalSeparator != separator) __builtin_trap();
  return 0;
}
