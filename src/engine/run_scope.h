#pragma once
#include <functional>
#include <string>

#include "engine/parser.h"
#include "model/state.h"

namespace orv {

class TfrReport;
class TfrReportRun;
class TfrFunctionHost;
class Variant;

// Everything a run sets in the process-wide state, and puts back when it
// ends, however it ends: the document mode and the views' run hooks, the
// report and the current page, band and view, the parser's name and function
// hooks, the function host, the interpreter's assignment hook, the report
// variables and the data dictionary's hooks into the report. A run is one
// Prepare; a second run, or drawing after it, must find none of it.
class TfrRunScope {
 public:
  TfrRunScope(TfrReportRun& run, TfrReport& report);
  ~TfrRunScope();
  TfrRunScope(const TfrRunScope&) = delete;
  TfrRunScope& operator=(const TfrRunScope&) = delete;

 private:
  TfrReport& report_;
  DocumentMode savedMode_;
  ViewRunHooks* savedHooks_;
  void* savedReport_;
  TfrParser::GetValueHook savedGet_;
  TfrParser::FunctionHook savedFn_;
  TfrParser::NameResolver savedResolver_;
  TfrExpressionCache* savedCache_;
  TfrFunctionHost* savedHost_;
  std::function<void(const std::string&, const Variant&)> savedSet_;
};

}  // namespace orv
