// The report run's side of scripts, functions and aggregates: compiling the
// scripts of a page when it is initialised, running them where the band
// engine calls for them, the assignments and report functions scripts reach,
// and the collection, accumulation, reading and reset of aggregates.

#include <QScopedValueRollback>
#include <set>

#include "engine/data_components.h"
#include "engine/dataset.h"
#include "engine/engine_globals.h"
#include "engine/interpreter.h"
#include "engine/report_print.h"
#include "engine/report_run.h"
#include "engine/text_readers.h"
#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "model/page.h"
#include "model/state.h"
#include "model/text_util.h"
#include "platform/codepage.h"

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

// ------------------------------------------------------------ assignments

void TfrReportRun::SetValue(const std::string& name, const Variant& value) {
  TfrVariables& vars = engineGlobals().Variables;
  if (int i = vars.IndexOf(name); i >= 0) {
    vars.setValueAt(i, value);
    return;
  }
  TfrVariables& dict = report_.Dictionary.Variables;
  if (!name.empty() && name[0] != ' ' && dict.IndexOf(name) >= 0) {
    dict.setValue(name, value);
    return;
  }
  const std::string n = upperCase(name);
  if (n == "MODALRESULT") {
    // Only a dialog page's script answers for its dialog.
    if (inDialogPage_) modalResult_ = static_cast<int32_t>(value.toInt());
    return;
  }
  if (n == "CURY") {
    const auto y = static_cast<int32_t>(value.toInt());
    if (band_ && (band_->NewPageRequests > 0 || band_->NewColumnRequests > 0)) {
      hasPendingCurY_ = true;
      pendingCurY_ = y;
    } else if (cur_) {
      cur_->curY = y;
    }
    return;
  }
  if (n == "PROGRESS") {
    // The progress window has one label: the script's text takes it.
    if (PrintUi* ui = printUi(); ui && report_.ShowProgress && !report_.OnProgress) {
      ui->setProgressLabel(decodeBytes(value.toString(), 1252));
      ui->processMessages();
    }
    return;
  }
  if (name.find('.') != std::string::npos) {
    std::vector<TfrPage*> pages = pagePointers(report_.Pages);
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

bool TfrReportRun::scriptFunction(const std::string& name, const std::string& p1,
                                  const std::string& p2, const std::string& p3, Variant& value) {
  TfrParser& parser = engineGlobals().Parser;
  if (name == "STOPREPORT") {
    StopReport();
  } else if (name == "NEWPAGE") {
    RequestNewPage();
  } else if (name == "NEWCOLUMN") {
    RequestNewColumn();
  } else if (name == "SHOWBAND") {
    if (!cur_) return true;
    std::string bandName = trimBlanks(p1);
    // The name as written, or quoted as a text.
    if (bandName.size() >= 2 && bandName.front() == '\'' && bandName.back() == '\'')
      bandName = unquoteLiteral(bandName);
    for (auto& b : cur_->all)
      if (b->View && sameText(b->Name, bandName)) {
        printBand(b.get());
        break;
      }
  } else if (name == "INC" || name == "DEC") {
    const std::string v = trimBlanks(p1);
    Variant current;
    names_.GetValue(v, current);
    SetValue(v, name == "INC" ? variantAdd(current, Variant(1)) : variantSub(current, Variant(1)));
  } else if (name == "SETARRAY" || name == "GETARRAY") {
    const std::string a = trimBlanks(p1);
    const bool set = name == "SETARRAY";
    if (a.find('.') != std::string::npos) {
      std::vector<TfrPage*> pages = pagePointers(report_.Pages);
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
    std::vector<TfrPage*> pages = pagePointers(report_.Pages);
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

void TfrReportRun::CallFunction(const std::string& name, const std::string& p1,
                                const std::string& p2, const std::string& p3, Variant& value) {
  value = Variant("0");
  if (callLibraryFunction(name, p1, p2, p3, value)) return;
  if (scriptFunction(name, p1, p2, p3, value)) return;
  if (report_.OnUserFunction) report_.OnUserFunction(name, p1, p2, p3, value);
}

bool TfrReportRun::FieldIsNull(const std::string& reference) {
  // "DataSet.Field", the field name possibly in double quotes.
  const size_t dot = reference.find('.');
  if (dot == std::string::npos) return false;
  TfrDataset* ds = report_.Components.findDataset(trimBlanks(reference.substr(0, dot)));
  std::string field = trimBlanks(reference.substr(dot + 1));
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
    field = field.substr(1, field.size() - 2);
  const DatasetField f = findDatasetField(ds, field);
  return f.dataSet && f.index >= 0 && f.dataSet->FieldIsNull(f.index);
}

ReportUi* TfrReportRun::Ui() {
  return report_.Ui;
}

// ------------------------------------------------------------ aggregates

void TfrReportRun::Aggregate(AggregateKind kind, const std::string& expression,
                             const std::string& bandName, const std::string& flag, Variant& value) {
  TfrBand* holder = band_;
  // Header and data cells of a cross-tab total for the band they lie across.
  if (TfrBand* row = cross_.Row();
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
  aggregates_.Read(holder, kind, expression, flag, bandName, cur_ ? cur_->crossColumn : 0, value);
}

void TfrReportRun::initAggregates(TfrBand* band) {
  if (!band) return;
  if (band->IsDataBand() && aggregates_.Totals(band)) cross_.AccumulateColumns(band);
  if (aggregates_.Holds(band)) aggregates_.Reset(band);
}

void TfrReportRun::collectFrom(TfrBand* holder) {
  band_ = holder;
  StringList found;
  TAggregateFunctionsSplitter splitter(found, &report_.Dictionary.Variables);
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
        failObject(view, e);
      }
    }
  };
  in.SplitExpressions(holder->Script, TAggregateFunctionsSplitter::Names(),
                      &report_.Dictionary.Variables, found);
  evaluateFound(nullptr);
  // The header and data cells of a cross-tab lying across the holder count
  // as its own; its footer cells total the cross columns instead.
  std::vector<TfrView*> views = holder->Objects;
  for (const auto& cell : holder->CrossCells)
    if (cell.Cross->Type != btCrossFooter) views.push_back(cell.View);
  for (TfrView* v : views) {
    view_ = v;
    try {
      if (v->TypeCode == gtMemo)
        for (const std::string& line : v->Memo)
          for (size_t pos = line.find('['); pos != std::string::npos; pos = line.find('[', pos)) {
            const std::string inner = readBracketed(line, pos);
            splitter.Split(inner);
          }
      if (auto it = scripts_.find(v); it != scripts_.end())
        in.SplitExpressions(it->second, TAggregateFunctionsSplitter::Names(),
                            &report_.Dictionary.Variables, found);
    } catch (const RunTerminated&) {
      throw;
    } catch (const std::exception& e) {
      failObject(v, e);
    }
    evaluateFound(v);
  }
  view_ = nullptr;
}

void TfrReportRun::collectAggregates(PageRun& pr) {
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

  TfrBand* const outerBand = band_;
  struct Restore {
    TfrReportRun& run;
    TfrBand* band;
    ~Restore() {
      run.collectedBand_ = nullptr;
      run.band_ = band;
      run.view_ = nullptr;
    }
  } restore{*this, outerBand};
  for (const Chain& chain : chains)
    for (TfrBand* d = pr.bands[chain.data]; d; d = d->Next) {
      collectedBand_ = d;
      for (uint16_t t : chain.scanned) {
        TfrBand* first = pr.bands[t];
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
