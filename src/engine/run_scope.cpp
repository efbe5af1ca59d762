#include "engine/run_scope.h"

#include "engine/data_components.h"
#include "engine/engine_globals.h"
#include "engine/report_run.h"
#include "engine/tfr_report.h"

namespace orv {

TfrRunScope::TfrRunScope(TfrReportRun& run, TfrReport& report) : report_(report) {
  ModelState& st = modelState();
  savedMode_ = st.Mode;
  savedHooks_ = st.RunHooks;
  savedReport_ = st.CurrentReport;
  st.Mode = DocumentMode::Running;
  st.RunHooks = &run.ViewHooks();
  st.CurrentReport = &report;
  // Drawing elsewhere leaves the last view it aligned here, which may be
  // gone by now; a script of the run must never reach it.
  st.CurrentView = nullptr;
  st.CurrentBand = nullptr;
  st.CurrentPage = nullptr;

  EngineGlobals& g = engineGlobals();
  TfrParser& p = g.Parser;
  savedGet_ = p.OnGetValue;
  savedFn_ = p.OnFunction;
  savedHost_ = g.FunctionHost;
  savedSet_ = g.Interpreter.OnSetValue;
  TfrRunFunctions& functions = run.Functions();
  g.FunctionHost = &functions;
  // Report variables live for one preparation: a second run starts clean.
  g.Variables.Clear();
  g.Interpreter.OnSetValue = [&functions](const std::string& n, const Variant& v) {
    functions.SetValue(n, v);
  };
  TfrRunNames& names = run.Names();
  savedResolver_ = p.Resolver();
  p.OnGetValue = [&names](const std::string& n, Variant& v) { names.GetValue(n, v); };
  p.SetResolver(
      [&names](const std::string& n) { return names.Resolve(n); },
      [&names](int32_t entry, const std::string& n, Variant& v) { names.ValueOf(entry, n, v); });
  savedCache_ = p.Cache;
  p.Cache = &names.Expressions();
  p.OnFunction = [&functions](const std::string& n, const std::string& p1, const std::string& p2,
                              const std::string& p3,
                              Variant& v) { functions.CallFunction(n, p1, p2, p3, v); };

  TfrDataDictionary& dict = report.Dictionary;
  dict.FindDataset = [&report](std::string_view name) {
    return report.Components.findDataset(name);
  };
  dict.Evaluate = [](const std::string& expression) {
    return engineGlobals().Parser.Calc(expression);
  };
}

TfrRunScope::~TfrRunScope() {
  TfrDataDictionary& dict = report_.Dictionary;
  dict.FindDataset = nullptr;
  dict.Evaluate = nullptr;

  ModelState& st = modelState();
  st.Mode = savedMode_;
  st.RunHooks = savedHooks_;
  st.CurrentReport = savedReport_;
  st.CurrentView = nullptr;
  st.CurrentBand = nullptr;
  st.CurrentPage = nullptr;

  EngineGlobals& g = engineGlobals();
  g.Parser.OnGetValue = savedGet_;
  g.Parser.OnFunction = savedFn_;
  g.Parser.Cache = savedCache_;
  g.Parser.ShareResolver(savedResolver_);
  g.FunctionHost = savedHost_;
  g.Interpreter.OnSetValue = savedSet_;
}

}  // namespace orv
