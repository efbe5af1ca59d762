// How the run answers for names: the parser's name hook, the special
// variables, fields of the current data level, objects' properties, and the
// bracketed expressions and conditions of the objects being written.
#include <QScopedValueRollback>

#include "engine/data_components.h"
#include "engine/dataset.h"
#include "engine/engine_globals.h"
#include "engine/formatting.h"
#include "engine/parser.h"
#include "engine/report_run.h"
#include "engine/text_readers.h"
#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "model/page.h"
#include "model/state.h"
#include "model/text_util.h"
#include "model/views.h"
#include "platform/error.h"
#include "platform/strings.h"

namespace orv {

void TfrReportRun::GetValue(const std::string& name, Variant& value) {
  value = Variant();
  if (report_.OnGetValue) report_.OnGetValue(name, value);
  if (!value.isEmpty()) return;
  value = Variant(0);
  if (report_.Dictionary.IsVariable(name)) {
    value = report_.Dictionary.GetValue(name);
    return;
  }
  if (specialValue(name, value)) return;
  if (name == resolving_) {
    // Collecting aggregates evaluates texts out of their place; a name that
    // means nothing there is no error yet.
    if (collectedBand_) return;
    throw EngineError(EngineProblem(EngineReason::UndefinedSymbol).named(name));
  }
  const std::string outer = resolving_;
  resolving_ = name;
  try {
    value = engineGlobals().Parser.Calc(name);
  } catch (...) {
    resolving_ = outer;
    throw;
  }
  resolving_ = outer;
}

TfrBand* TfrReportRun::lineBand() const {
  TfrBand* b = band_;
  // A cross-tab cell counts the lines of the band it lies across; its column
  // is COLUMN#.
  if (b && crossRow_ && b->Type >= btCrossHeader && b->Type <= btCrossFooter) b = crossRow_;
  if (!b || b->DataSet || !cur_) return b;
  // A band without its own data set counts the lines of its chain's first band.
  TfrBand* first = cur_->bands[b->Type];
  return first ? first : b;
}

const std::string* TfrReportRun::infoText(const std::string& name) const {
  static const std::pair<const char*, std::string TfrReport::*> kInfo[] = {
      {"REPORTCOMMENT", &TfrReport::InfoComment}, {"REPORTNAME", &TfrReport::InfoName},
      {"REPORTAUTOR", &TfrReport::InfoAuthor},    {"VMAJOR", &TfrReport::InfoVersionMajor},
      {"VMINOR", &TfrReport::InfoVersionMinor},   {"VRELEASE", &TfrReport::InfoVersionRelease},
      {"VBUILD", &TfrReport::InfoVersionBuild},
  };
  for (const auto& [key, member] : kInfo)
    if (name == key) return &(report_.*member);
  return nullptr;
}

bool TfrReportRun::specialValue(const std::string& n, Variant& value) {
  const PageRun* pr = cur_;
  if (n == "VALUE") {
    value = CurrentValue;
  } else if (n == "PAGE#") {
    value = Variant(PageNo + 1);
  } else if (n == "DATE") {
    value = Variant::dateTime(RunDate);
  } else if (n == "TIME") {
    value = Variant::dateTime(RunTime);
  } else if (n == "LINE#") {
    const TfrBand* b = lineBand();
    value = Variant(b ? b->LineNo : 0);
  } else if (n == "LINETHROUGH#") {
    const TfrBand* b = lineBand();
    value = Variant(b ? b->LineThrough : 0);
  } else if (n == "COLUMN#") {
    value = Variant(pr ? pr->crossColumn : 0);
  } else if (n == "CURRENT#") {
    value = Variant(pr ? pr->currentRecord : 0);
  } else if (n == "TOTALPAGES") {
    value = Variant(TotalPages);
  } else if (const std::string* info = infoText(n)) {
    value = Variant(*info);
  } else if (n == "REPORTDATE") {
    value = Variant::dateTime(report_.CreatedAt);
  } else if (n == "REPORTLASTCHANGE") {
    value = Variant::dateTime(report_.ChangedAt);
  } else if (n == "CALCWIDTH") {
    if (!view_)
      value = Variant(0);
    else if (auto* memo = dynamic_cast<TfrMemoView*>(view_))
      value =
          Variant(memo->CalcWidth(memo->ExpandedText.empty() ? memo->Memo : memo->ExpandedText));
    else
      value = Variant(view_->Width);
  } else if (const TfrVariables& vars = engineGlobals().Variables; vars.IndexOf(n) >= 0) {
    value = vars.value(n);
  } else if (n == "CURY") {
    value = Variant(pr ? pr->curY : 0);
  } else if (n == "FREESPACE") {
    value = Variant(pr ? pr->bottom - pr->curY : 0);
  } else if (n == "FINALPASS") {
    value = Variant(FinalPass);
  } else if (n == "PAGEHEIGHT") {
    value = Variant(pr ? pr->bottom : 0);
  } else if (n == "PAGEWIDTH") {
    value = Variant(pr ? pr->rightX : 0);
  } else if (fieldValue(n, value)) {
  } else if (objectProperty(n, value)) {
  } else if (const TfrVariables& c = globalConstants(); c.IndexOf(n) >= 0) {
    value = c.value(n);
  } else {
    return false;
  }
  return true;
}

bool TfrReportRun::fieldValue(const std::string& name, Variant& value) {
  // A plain field name belongs to the data set of the current band's level.
  if (!cur_) return false;
  // Group conditions are computed between bands: they read the master level.
  const uint16_t t = band_ ? band_->Type : uint16_t(btMasterData);
  TfrBand* source = nullptr;
  if (t == btDetailData || t == btDetailFooter)
    source = cur_->bands[btDetailData];
  else if (t == btSubDetailData || t == btSubDetailFooter)
    source = cur_->bands[btSubDetailData];
  else if (t == btCrossData || t == btCrossFooter)
    source = cur_->bands[btCrossData];
  else
    source = cur_->bands[btMasterData];
  TfrDataset* ds = source ? source->DataSet : nullptr;
  // The columns being walked may come from a data set of the row's own.
  if ((t == btCrossData || t == btCrossFooter) && crossDataSet_) ds = crossDataSet_;
  if (!ds) return false;
  std::string field = name;
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
    field = field.substr(1, field.size() - 2);
  DatasetField f = findDatasetField(ds, field);
  if (!f.dataSet || f.index < 0) return false;
  value = f.dataSet->FieldValue(f.index);
  return true;
}

bool TfrReportRun::objectProperty(const std::string& name, Variant& value) {
  if (name.find('.') == std::string::npos) return false;
  std::vector<TfrPage*> pages = pagePointers(report_.Pages);
  ResolvedName r = ResolveObjectName(pages, name);
  if (r.view && r.view->FindProperty(r.property)) {
    value = r.view->GetProperty(r.property);
    return true;
  }
  if (r.page) {
    value = r.page->GetProperty(r.property);
    return true;
  }
  return false;
}

std::string TfrReportRun::ExpressionText(TfrView& view, const std::string& expression) {
  const InlineFormat f = ResolveInlineFormat(expression, view.Format, view.FormatStr);
  Variant v;
  GetValue(f.Expression, v);
  CurrentValue = v;
  if ((view.Flags & flHideZeros) && view.TypeCode == gtMemo && hidesAsZero(v)) return {};
  return FormatValue(v, f.Format, f.FormatStr);
}

void TfrReportRun::ExpandExpressions(TfrView& view, std::string& text) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t open = text.find('[', pos);
    if (open == std::string::npos) {
      out.append(text, pos, std::string::npos);
      break;
    }
    out.append(text, pos, open - pos);
    size_t p = open;
    const std::string expression = readBracketed(text, p);
    out += ExpressionText(view, expression);
    pos = p;
  }
  text = std::move(out);
}

bool TfrReportRun::EvaluateCondition(TfrView& view, const std::string& condition) {
  try {
    auto it = highlights_.find(&view);
    const std::string postfix =
        it != highlights_.end() ? it->second : TfrParser::ToPostfix(condition);
    const Variant v = engineGlobals().Parser.CalcPostfix(postfix);
    return !(v == Variant(0)) && v.toDouble() != 0;
  } catch (const std::exception&) {
    return false;
  }
}

bool TfrReportRun::Evaluate(TfrView& view, std::string_view expression, Variant& value) {
  const QScopedValueRollback current(view_, &view);
  value = engineGlobals().Parser.Calc(expression);
  return true;
}

}  // namespace orv
