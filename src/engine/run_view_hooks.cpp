#include "engine/run_view_hooks.h"

#include "engine/dataset.h"
#include "engine/report_run.h"
#include "engine/tfr_report.h"

namespace orv {

void TfrRunViewHooks::BeforePrint(TfrView& view) {
  loadBlobField(view);
  TfrReport& report = run_.report_;
  if (report.OnBeforePrint) report.OnBeforePrint(view.ExpandedText, view);
}

void TfrRunViewHooks::RunScript(TfrView& view) {
  run_.runObjectScript(view);
}

void TfrRunViewHooks::ExpandExpressions(TfrView& view, std::string& text) {
  run_.names_.ExpandExpressions(view, text);
}

void TfrRunViewHooks::AppendExpanded(TfrView& view, const std::string& text, std::string& out) {
  run_.names_.AppendExpanded(view, text, out);
}

bool TfrRunViewHooks::HasBeforePrintHandler() {
  return bool(run_.report_.OnBeforePrint);
}

bool TfrRunViewHooks::EvaluateCondition(TfrView& view, const std::string& condition) {
  return run_.names_.EvaluateCondition(view, condition);
}

bool TfrRunViewHooks::SuppressRemembersValue() {
  return run_.DoublePass && !run_.FinalPass;
}

bool TfrRunViewHooks::Evaluate(TfrView& view, std::string_view expression, Variant& value) {
  return run_.names_.Evaluate(view, expression, value);
}

void TfrRunViewHooks::AlignToBand(TfrView& view) {
  const TfrBand* b = run_.band_;
  if (!b) return;
  switch (view.BandAlign) {
    case baBottom:
      view.Top = b->y + (b->heightKnown ? b->CalculatedHeight : b->dy) - view.Height;
      view.BandAlign = baNone;
      break;
    case baTop:
      view.Top = b->y;
      break;
    case baWidth:
      if (b->Type >= btCrossHeader && b->Type <= btCrossFooter) {
        view.Width = b->dx;
        view.BandAlign = baNone;
      }
      break;
    default:
      break;
  }
}

}  // namespace orv
