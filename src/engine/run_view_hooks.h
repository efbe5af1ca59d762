#pragma once
#include <string>
#include <string_view>

#include "model/view.h"

namespace orv {

class TfrReportRun;

// What the objects of a template call back into the run while they are
// written: their bound field and the report's before-print event, their
// script, their expressions and conditions, and their alignment to the band
// being placed.
class TfrRunViewHooks : public ViewRunHooks {
 public:
  explicit TfrRunViewHooks(TfrReportRun& run) : run_(run) {}
  TfrRunViewHooks(const TfrRunViewHooks&) = delete;
  TfrRunViewHooks& operator=(const TfrRunViewHooks&) = delete;

  void BeforePrint(TfrView& view) override;
  void RunScript(TfrView& view) override;
  void ExpandExpressions(TfrView& view, std::string& text) override;
  void AppendExpanded(TfrView& view, const std::string& text, std::string& out) override;
  void AlignToBand(TfrView& view) override;
  bool HasBeforePrintHandler() override;
  bool EvaluateCondition(TfrView& view, const std::string& condition) override;
  bool SuppressRemembersValue() override;
  bool Evaluate(TfrView& view, std::string_view expression, Variant& value) override;

 private:
  TfrReportRun& run_;
};

}  // namespace orv
