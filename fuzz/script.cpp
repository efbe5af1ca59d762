// Compiles hostile script text and runs what compiles, with a small step
// bound: names answer with a number, assignments are kept in a small table,
// calls give their argument count. Only clear errors may come out, and no
// run may go on beyond its bound.
#include <cstdint>
#include <map>
#include <string>

#include "engine/interpreter.h"
#include "model/text_util.h"

namespace {

class FuzzInterpreter : public orv::TfrInterpretator {
 public:
  std::map<std::string, orv::Variant> vars;
  void GetValue(const std::string& name, orv::Variant& value) override {
    auto it = vars.find(orv::upperCase(name));
    value = it != vars.end() ? it->second : orv::Variant(static_cast<int>(name.size()));
  }
  void SetValue(const std::string& name, const orv::Variant& value) override {
    // A bounded table: a script assigning to ever new names cannot grow it.
    if (vars.size() < 64 || vars.count(orv::upperCase(name))) vars[orv::upperCase(name)] = value;
  }
  void CallFunction(const std::string& name, const std::string& p1, const std::string& p2,
                    const std::string& p3, orv::Variant& value) override {
    value = orv::Variant(static_cast<int>(!p1.empty() + !p2.empty() + !p3.empty()));
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  orv::StringList source;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i)
    if (i == text.size() || text[i] == '\n') {
      source.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  FuzzInterpreter in;
  in.MaxSteps = 20000;
  orv::StringList code, errors;
  in.Compile(source, code, errors);
  try {
    in.Run(code);
  } catch (const orv::Error&) {
  }
  orv::StringList found;
  try {
    in.SplitExpressions(code, {"SUM", "COUNT"}, nullptr, found);
  } catch (const orv::Error&) {
  }
  for (const std::string& line : code) orv::describeCodeLine(line);
  return 0;
}
