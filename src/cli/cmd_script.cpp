// frptool script: compiles a report script and prints its code lines and
// errors; with --run it runs the code over the --var values, with the
// standard functions, and prints the variables afterwards. INPUT answers its
// default and MESSAGEBOX its first button, so nothing waits for a person.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "addins/addins.h"
#include "cli/cli.h"
#include "cli/cli_common.h"
#include "engine/engine_globals.h"
#include "engine/formatting.h"
#include "engine/functions.h"
#include "engine/interpreter.h"

namespace orv::cli {
namespace {

StringList readLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileError(path, "cannot be read");
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  StringList lines;
  std::string line;
  for (const char c : text) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(fromUtf8(line));
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(fromUtf8(line));
  return lines;
}

int run(const std::vector<std::string>& argv) {
  Args args(argv);
  const bool runIt = args.flag("--run");
  TfrVariables vars = takeVarOptions(args);
  const std::string path = args.positional("FILE");
  args.done();

  // The add-in classes bring constants of their own (skEllipse, csCheck...)
  // that a report's scripts may use.
  registerAddIns();
  TInterpretator& in = engineGlobals().Interpreter;
  StringList code, errors;
  in.Compile(readLines(path), code, errors);
  for (size_t i = 0; i < code.size(); ++i)
    std::printf("%4zu: %s\n", i, toUtf8(describeCodeLine(code[i])).c_str());
  for (const std::string& e : errors) std::printf("error: %s\n", toUtf8(e).c_str());
  if (!errors.empty()) return kExitFailure;
  if (!runIt) return kExitOk;

  TfrParser& parser = engineGlobals().Parser;
  parser.OnGetValue = [&](const std::string& name, Variant& v) {
    if (const int i = vars.IndexOf(name); i >= 0) {
      v = vars.valueAt(i);
    } else if (const int c = globalConstants().IndexOf(name); c >= 0) {
      v = globalConstants().valueAt(c);
    } else {
      throw Error("unknown name \"" + toUtf8(name) + "\" (give it with --var)");
    }
  };
  parser.OnFunction = [&](const std::string& name, const std::string& p1, const std::string& p2,
                          const std::string& p3, Variant& v) {
    v = Variant("0");
    if (callLibraryFunction(name, p1, p2, p3, v)) return;
    if (name == "INC" || name == "DEC") {
      Variant current;
      parser.OnGetValue(trimBlanks(p1), current);
      vars.setValue(trimBlanks(p1), name == "INC" ? variantAdd(current, Variant(1))
                                                  : variantSub(current, Variant(1)));
      return;
    }
    throw Error("unknown function \"" + toUtf8(name) + "\"");
  };
  in.OnSetValue = [&](const std::string& name, const Variant& v) { vars.setValue(name, v); };
  try {
    in.Run(code);
  } catch (const std::exception& e) {
    throw Error(std::string("the script failed: ") + toUtf8(e.what()));
  }
  for (int i = 0; i < vars.Count(); ++i)
    std::printf("%s = %s\n", toUtf8(vars.nameAt(i)).c_str(),
                toUtf8(valueToText(vars.valueAt(i))).c_str());
  return kExitOk;
}

Registrar reg({"script", "script FILE [--run] [--var NAME=VALUE]...",
               "compile a report script and list its code lines (jump targets as numbers) and "
               "errors; --run runs it and prints the variables afterwards",
               run});

}  // namespace
}  // namespace orv::cli
