// The report functions, assignments and aggregates that expressions and
// scripts reach during a run.
#include "engine/run_functions.h"

#include <QScopedValueRollback>
#include <set>

#include "engine/data_components.h"
#include "engine/dataset.h"
#include "engine/engine_globals.h"
#include "engine/interpreter.h"
#include "engine/report_run.h"
#include "engine/text_readers.h"
#include "engine/tfr_report.h"
#include "model/page.h"
#include "model/state.h"
#include "model/text_util.h"

namespace orv {

namespace {

// The data band an aggregate without a band name totals, by the type of the
// band that holds it; 0 for bands that total nothing.
uint16_t dataTypeFor(uint16_t holderType) {
  switch (holderType) {
    case btReportSummary:
    case btPageFooter:
    case btColumnFooter:
    case btMasterFooter:
    case btGroupFooter:
      return btMasterData;
    case btDetailFooter:
      return btDetailData;
    case btSubDetailFooter:
      return btSubDetailData;
    case btCrossFooter:
      return btCrossData;
    default:
      return 0;
  }
}

// The text of an array element's index: a text as it is, anything else as
// its whole number.
std::string indexText(const Variant& v) {
  return v.isString() ? v.str() : std::to_string(v.toInt());
}

}  // namespace

// ------------------------------------------------------------ assignments

void TfrRunFunctions::SetValue(const std::string& name, const Variant& value) {
  TfrVariables& vars = engineGlobals().Variables;
  if (int i = vars.IndexOf(name); i >= 0) {
    vars.setValueAt(i, value);
    return;
  }
  TfrVariables& dict = run_.report_.Dictionary.Variables;
  if (!name.empty() && name[0] != ' ' && dict.IndexOf(name) >= 0) {
    dict.setValue(name, value);
    return;
  }
  const std::string n = upperCase(name);
  if (n == "MODALRESULT") {
    // Only a dialog page's script answers for its dialog.
    if (run_.inDialogPage_) run_.modalResult_ = static_cast<int32_t>(value.toInt());
    return;
  }
  if (n == "CURY") {
    const auto y = static_cast<int32_t>(value.toInt());
    if (run_.band_ && (run_.band_->NewPageRequests > 0 || run_.band_->NewColumnRequests > 0)) {
      run_.hasPendingCurY_ = true;
      run_.pendingCurY_ = y;
    } else if (run_.cur_) {
      run_.cur_->curY = y;
    }
    return;
  }
  if (n == "PROGRESS") {
    run_.progress_.ShowText(value.toString());
    return;
  }
  if (name.find('.') != std::string::npos) {
    std::vector<TfrPage*> pages = pagePointers(run_.report_.Pages);
    ResolvedName r = ResolveObjectName(pages, name);
    if (r.view && r.view->FindProperty(r.property)) {
      r.view->SetProperty(r.property, value);
      return;
    }
    if (r.page && !r.view) {
      r.page->SetProperty(upperCase(r.property), value);
      return;
    }
  }
  vars.setValue(name, value);
}

// ------------------------------------------------------------ report functions

bool TfrRunFunctions::scriptFunction(const std::string& name, const std::string& p1,
                                     const std::string& p2, const std::string& p3, Variant& value) {
  TfrParser& parser = engineGlobals().Parser;
  if (name == "STOPREPORT") {
    run_.Terminated = true;
  } else if (name == "NEWPAGE") {
    if (run_.band_) ++run_.band_->NewPageRequests;
  } else if (name == "NEWCOLUMN") {
    if (run_.band_) ++run_.band_->NewColumnRequests;
  } else if (name == "SHOWBAND") {
    if (!run_.cur_) return true;
    std::string bandName = trimBlanks(p1);
    // The name as written, or quoted as a text.
    if (bandName.size() >= 2 && bandName.front() == '\'' && bandName.back() == '\'')
      bandName = unquoteLiteral(bandName);
    for (auto& b : run_.cur_->all)
      if (b->View && sameText(b->Name, bandName)) {
        run_.printBand(b.get());
        break;
      }
  } else if (name == "INC" || name == "DEC") {
    const std::string v = trimBlanks(p1);
    Variant current;
    run_.names_.GetValue(v, current);
    SetValue(v, name == "INC" ? variantAdd(current, Variant(1)) : variantSub(current, Variant(1)));
  } else if (name == "SETARRAY" || name == "GETARRAY") {
    const std::string a = trimBlanks(p1);
    const bool set = name == "SETARRAY";
    if (a.find('.') != std::string::npos) {
      std::vector<TfrPage*> pages = pagePointers(run_.report_.Pages);
      ResolvedName r = ResolveObjectName(pages, a);
      if (!r.view) return true;
      const Variant index = parser.Calc(p2);
      const Variant x = set ? parser.Calc(p3) : Variant();
      value = r.view->CallMethod(set ? "SETINDEXPROPERTY" : "GETINDEXPROPERTY",
                                 Variant(upperCase(r.property)), index, x);
      if (set) value = Variant("0");
      return true;
    }
    const std::string variable = "Arr_" + a + "_" + indexText(parser.Calc(p2));
    if (set)
      engineGlobals().Variables.setValue(variable, parser.Calc(p3));
    else
      value = engineGlobals().Variables.value(variable);
  } else if (name.find('.') != std::string::npos) {
    std::vector<TfrPage*> pages = pagePointers(run_.report_.Pages);
    ResolvedName r = ResolveObjectName(pages, name);
    if (!r.view) return false;
    auto arg = [&](const std::string& p) {
      return trimBlanks(p).empty() ? Variant() : parser.Calc(p);
    };
    const Variant result = r.view->CallMethod(upperCase(r.property), arg(p1), arg(p2), arg(p3));
    if (!result.isEmpty()) value = result;
  } else {
    return false;
  }
  return true;
}

void TfrRunFunctions::CallFunction(const std::string& name, const std::string& p1,
                                   const std::string& p2, const std::string& p3, Variant& value) {
  value = Variant("0");
  if (callLibraryFunction(name, p1, p2, p3, value)) return;
  if (scriptFunction(name, p1, p2, p3, value)) return;
  if (run_.report_.OnUserFunction) run_.report_.OnUserFunction(name, p1, p2, p3, value);
}

bool TfrRunFunctions::FieldIsNull(const std::string& reference) {
  // "DataSet.Field", the field name possibly in double quotes.
  const size_t dot = reference.find('.');
  if (dot == std::string::npos) return false;
  TfrDataset* ds = run_.report_.Components.findDataset(trimBlanks(reference.substr(0, dot)));
  std::string field = trimBlanks(reference.substr(dot + 1));
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
    field = field.substr(1, field.size() - 2);
  const DatasetField f = findDatasetField(ds, field);
  return f.dataSet && f.index >= 0 && f.dataSet->FieldIsNull(f.index);
}

ReportUi* TfrRunFunctions::Ui() {
  return run_.report_.Ui;
}

// ------------------------------------------------------------ aggregates

void TfrRunFunctions::Aggregate(AggregateKind kind, const std::string& expression,
                                const std::string& bandName, const std::string& flag,
                                Variant& value) {
  TfrBand* holder = run_.band_;
  // Header and data cells of a cross-tab total for the band they lie across.
  if (TfrBand* row = run_.cross_.Row();
      row && holder && (holder->Type == btCrossHeader || holder->Type == btCrossData))
    holder = row;
  if (!holder) return;
  if (TfrBand* data = collectedBand_) {
    const std::string named = trimBlanks(bandName);
    const bool belongs =
        named.empty() ? dataTypeFor(holder->Type) == data->Type : sameText(named, data->Name);
    if (belongs) aggregates_.Register(data, holder, kind, expression, flag, bandName);
    return;
  }
  aggregates_.Read(holder, kind, expression, flag, bandName, run_.cur_ ? run_.cur_->crossColumn : 0,
                   value);
}

void TfrRunFunctions::InitAggregates(TfrBand* band) {
  if (!band) return;
  if (band->IsDataBand() && aggregates_.Totals(band)) run_.cross_.AccumulateColumns(band);
  if (aggregates_.Holds(band)) aggregates_.Reset(band);
}

void TfrRunFunctions::collectFrom(TfrBand* holder) {
  run_.band_ = holder;
  StringList found;
  TAggregateFunctionsSplitter splitter(found, &run_.report_.Dictionary.Variables);
  TInterpretator& in = engineGlobals().Interpreter;
  TfrParser& parser = engineGlobals().Parser;
  auto evaluateFound = [&](TfrView* view) {
    StringList calls;
    calls.swap(found);
    for (const std::string& call : calls) {
      try {
        parser.Calc(call);
      } catch (const RunTerminated&) {
        throw;
      } catch (const std::exception& e) {
        run_.failObject(view, e);
      }
    }
  };
  in.SplitExpressions(holder->Script, TAggregateFunctionsSplitter::Names(),
                      &run_.report_.Dictionary.Variables, found);
  evaluateFound(nullptr);
  // The header and data cells of a cross-tab lying across the holder count
  // as its own; its footer cells total the cross columns instead.
  std::vector<TfrView*> views = holder->Objects;
  for (const auto& cell : holder->CrossCells)
    if (cell.Cross->Type != btCrossFooter) views.push_back(cell.View);
  for (TfrView* v : views) {
    run_.view_ = v;
    try {
      if (v->TypeCode == gtMemo)
        for (const std::string& line : v->Memo)
          for (size_t pos = line.find('['); pos != std::string::npos; pos = line.find('[', pos)) {
            const std::string inner = readBracketed(line, pos);
            splitter.Split(inner);
          }
      if (auto it = run_.scripts_.find(v); it != run_.scripts_.end())
        in.SplitExpressions(it->second, TAggregateFunctionsSplitter::Names(),
                            &run_.report_.Dictionary.Variables, found);
    } catch (const RunTerminated&) {
      throw;
    } catch (const std::exception& e) {
      run_.failObject(v, e);
    }
    evaluateFound(v);
  }
  run_.view_ = nullptr;
}

void TfrRunFunctions::CollectAggregates(const std::array<TfrBand*, kBandTypes>& bands) {
  static const std::vector<uint16_t> common{btPageFooter, btColumnFooter, btMasterFooter,
                                            btGroupFooter, btReportSummary};
  struct Chain {
    uint16_t data;
    std::vector<uint16_t> scanned;
  };
  std::vector<Chain> chains{{btMasterData, common},
                            {btDetailData, common},
                            {btSubDetailData, common},
                            {btCrossData, {btCrossFooter}}};
  chains[1].scanned.push_back(btDetailFooter);
  chains[2].scanned.push_back(btDetailFooter);
  chains[2].scanned.push_back(btSubDetailFooter);

  TfrBand* const outerBand = run_.band_;
  struct Restore {
    TfrRunFunctions& functions;
    TfrBand* band;
    ~Restore() {
      functions.collectedBand_ = nullptr;
      functions.run_.band_ = band;
      functions.run_.view_ = nullptr;
    }
  } restore{*this, outerBand};
  for (const Chain& chain : chains)
    for (TfrBand* d = bands[chain.data]; d; d = d->Next) {
      collectedBand_ = d;
      for (uint16_t t : chain.scanned) {
        TfrBand* first = bands[t];
        if (!first) continue;
        std::set<TfrBand*> seen;
        for (TfrBand* b = first; b; b = b->Next)
          if (b->IsPresent() && seen.insert(b).second) collectFrom(b);
        for (TfrBand* c = first->ChildBand; c && seen.insert(c).second; c = c->ChildBand)
          collectFrom(c);
      }
    }
}

}  // namespace orv
