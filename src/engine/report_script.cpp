// The report run's side of scripts: compiling the scripts of a page when it
// is initialised, and running them where the band engine calls for them.

#include <QScopedValueRollback>

#include "engine/engine_globals.h"
#include "engine/interpreter.h"
#include "engine/report_run.h"
#include "engine/tfr_report.h"
#include "model/page.h"
#include "model/state.h"

namespace orv {

// ------------------------------------------------------------ compiling

void TfrReportRun::compileScripts(PageRun& pr) {
  TInterpretator& in = engineGlobals().Interpreter;
  // A script that does not compile fails the run with its errors, as any
  // other error of its object does: left out silently, the report would
  // print as if the script were not there.
  auto compile = [&](const StringList& source, StringList& code, TfrView* view) {
    StringList errors;
    in.Compile(source, code, errors);
    if (errors.empty()) return;
    std::string message;
    if (!view) message.append("\"").append(pageName(*pr.page)).append("\":");
    for (const std::string& e : errors) {
      if (!message.empty()) message += '\r';
      message += e;
    }
    failObject(view, EngineProblem(EngineReason::Other).named(message));
  };
  auto compileInto = [&](const void* owner, const StringList& source, TfrView* view) {
    if (source.empty()) return;
    StringList code;
    compile(source, code, view);
    if (!code.empty()) scripts_[owner] = std::move(code);
  };
  compileInto(pr.page, pr.page->PageScript, nullptr);
  for (auto& obj : pr.page->Objects)
    if (obj->TypeCode != gtBand) compileInto(obj.get(), obj->BeforePrintScript, obj.get());
  for (auto& b : pr.all) {
    if (b->Script.empty()) continue;
    StringList code;
    compile(b->Script, code, b->View);
    b->Script = std::move(code);
  }
}

std::string TfrReportRun::pageName(const TfrPage& page) const {
  if (!page.Name.empty()) return page.Name;
  const TfrPages& pages = report_.Pages;
  for (size_t i = 0; i < pages.Count(); ++i)
    if (pages.Pages[i].get() == &page) return "Page" + std::to_string(i + 1);
  return {};
}

// ------------------------------------------------------------ running

void TfrReportRun::runCompiled(const StringList& code, const std::string& owner) {
  if (code.empty()) return;
  try {
    engineGlobals().Interpreter.Run(code);
  } catch (const ScriptLimitError& e) {
    throw ScriptLimitError(EngineProblem(e.problem).inScriptOf(owner));
  }
}

bool TfrReportRun::initDialogPages() {
  // A dialog page asks its questions through its activation script (INPUT,
  // MESSAGEBOX go through the report's Ui); the script answers for the
  // dialog with MODALRESULT, and mrCancel ends the run.
  for (auto& pr : pages_) {
    if (pr->page->PageKind != ptDialog) continue;
    cur_ = pr.get();
    modelState().CurrentPage = pr->page;
    compileScripts(*pr);
    modalResult_ = 1;
    {
      const QScopedValueRollback dialog(inDialogPage_, true);
      runPageScript(*pr->page);
    }
    if (modalResult_ == 2 || Terminated) return false;
  }
  return true;
}

void TfrReportRun::runPageScript(TfrPage& page) {
  auto it = scripts_.find(&page);
  if (it != scripts_.end()) runCompiled(it->second, page.Name);
}

void TfrReportRun::runBandScript(TfrBand& band) {
  if (band.Script.empty()) return;
  // The script sees and may change the band's visibility through its view.
  if (band.View) band.View->Visible = band.Visible;
  runCompiled(band.Script, band.Name);
  if (band.View) band.Visible = band.View->Visible;
}

void TfrReportRun::runObjectScript(TfrView& view) {
  auto it = scripts_.find(&view);
  if (it == scripts_.end()) return;
  TfrView* const outer = view_;
  view_ = &view;
  try {
    runCompiled(it->second, view.Name);
  } catch (...) {
    view_ = outer;
    throw;
  }
  view_ = outer;
}

}  // namespace orv
