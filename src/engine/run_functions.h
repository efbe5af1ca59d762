#pragma once
#include <array>
#include <string>

#include "engine/aggregates.h"
#include "engine/band.h"
#include "engine/functions.h"

namespace orv {

class TfrReportRun;
class Variant;

// What expressions and scripts reach in the run: the report functions it
// answers (the function libraries first, then STOPREPORT, NEWPAGE and the
// others of scripts, then the report's own event), the assignments of
// scripts, and the aggregates, registered while a page's bands are
// collected and read back as the bands are placed.
class TfrRunFunctions : public TfrFunctionHost {
 public:
  explicit TfrRunFunctions(TfrReportRun& run) : run_(run) {}
  TfrRunFunctions(const TfrRunFunctions&) = delete;
  TfrRunFunctions& operator=(const TfrRunFunctions&) = delete;

  // The parser's function hook while the run lasts.
  void CallFunction(const std::string& name, const std::string& p1, const std::string& p2,
                    const std::string& p3, Variant& value);
  // Assignments of scripts, in this order: a report variable, a dictionary
  // variable, MODALRESULT, CURY, PROGRESS, an object's property, else a new
  // report variable.
  void SetValue(const std::string& name, const Variant& value);

  // What the function libraries ask of the run.
  void Aggregate(AggregateKind kind, const std::string& expression, const std::string& bandName,
                 const std::string& flag, Variant& value) override;
  bool FieldIsNull(const std::string& reference) override;
  ReportUi* Ui() override;

  // Registers the aggregates that the bands of a template page hold, each
  // with the data band it totals.
  void CollectAggregates(const std::array<TfrBand*, kBandTypes>& bands);
  // After a band is placed: a data band's totals take its record, a band
  // that holds aggregates starts them afresh.
  void InitAggregates(TfrBand* band);
  void ClearAggregates() { aggregates_.Clear(); }
  TfrAggregates& Aggregates() { return aggregates_; }
  // While aggregates are collected: the data band they register with.
  TfrBand* CollectedBand() const { return collectedBand_; }

 private:
  void collectFrom(TfrBand* holder);
  // STOPREPORT, NEWPAGE, NEWCOLUMN, SHOWBAND, INC, DEC, SETARRAY, GETARRAY
  // and object methods; false for any other name.
  bool scriptFunction(const std::string& name, const std::string& p1, const std::string& p2,
                      const std::string& p3, Variant& value);

  TfrReportRun& run_;
  TfrAggregates aggregates_;
  TfrBand* collectedBand_ = nullptr;
};

}  // namespace orv
