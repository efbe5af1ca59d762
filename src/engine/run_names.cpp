// How the run answers for names: the parser's name hook, the special
// variables, fields of the current data level, objects' properties, and the
// bracketed expressions and conditions of the objects being written.
#include "engine/run_names.h"

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

namespace {

// The special variables, by the place they take in the order of names: the
// first group comes before report variables, the second after them.
constexpr const char* kSpecial[] = {
    "VALUE",     "PAGE#",    "DATE",       "TIME",          "LINE#",      "LINETHROUGH#",
    "COLUMN#",   "CURRENT#", "TOTALPAGES", "REPORTCOMMENT", "REPORTNAME", "REPORTAUTOR",
    "VMAJOR",    "VMINOR",   "VRELEASE",   "VBUILD",        "REPORTDATE", "REPORTLASTCHANGE",
    "CALCWIDTH",
};
constexpr const char* kLateSpecial[] = {"CURY", "FREESPACE", "FINALPASS", "PAGEHEIGHT",
                                        "PAGEWIDTH"};

template <size_t N>
int8_t indexIn(const char* const (&names)[N], const std::string& name) {
  for (size_t i = 0; i < N; ++i)
    if (name == names[i]) return static_cast<int8_t>(i);
  return -1;
}

// Names are kept for the run; past this many, a new one is decided for its
// one evaluation only.
constexpr size_t kMaxNames = 20000;

}  // namespace

TfrRunNames::TfrRunNames(TfrReportRun& run) : run_(run) {}

TfrRunNames::Entry TfrRunNames::decide(const std::string& name) const {
  Entry e;
  TfrDataDictionary& dict = run_.report_.Dictionary;
  // The dictionary's own variables are fixed for the run; a data-set field
  // it may come to know only by a point in the name. Other names it never
  // knows, so they are not asked of it.
  if (!name.empty() && name[0] != ' ' && dict.Variables.IndexOf(name) >= 0)
    e.dictionary = Entry::Dictionary::Always;
  else if (name.find('.') != std::string::npos)
    e.dictionary = Entry::Dictionary::Maybe;
  e.special = indexIn(kSpecial, name);
  e.lateSpecial = indexIn(kLateSpecial, name);
  e.dotted = name.find('.') != std::string::npos;
  e.constant = globalConstants().IndexOf(name) >= 0;
  return e;
}

int32_t TfrRunNames::Resolve(const std::string& name) {
  if (auto it = byName_.find(name); it != byName_.end()) return it->second;
  if (entries_.size() >= kMaxNames) return -1;
  entries_.push_back(decide(name));
  const auto index = static_cast<int32_t>(entries_.size() - 1);
  byName_.emplace(name, index);
  return index;
}

void TfrRunNames::ValueOf(int32_t entry, const std::string& name, Variant& value) {
  // A copy: answering may evaluate again and add entries.
  const Entry e = entry >= 0 ? entries_[size_t(entry)] : decide(name);
  valueOf(e, name, value);
}

void TfrRunNames::GetValue(const std::string& name, Variant& value) {
  ValueOf(Resolve(name), name, value);
}

void TfrRunNames::valueOf(const Entry& e, const std::string& name, Variant& value) {
  TfrReport& report = run_.report_;
  value = Variant();
  if (report.OnGetValue) report.OnGetValue(name, value);
  if (!value.isEmpty()) return;
  value = Variant(0);
  // Asked even of the dictionary's own variables: asking binds one whose text
  // names a field to that field, which its value then comes from.
  if (e.dictionary != Entry::Dictionary::Never && report.Dictionary.Lookup(name, value)) return;
  if (e.special >= 0) return special(e.special, value);
  if (const TfrVariables& vars = engineGlobals().Variables; vars.IndexOf(name) >= 0) {
    value = vars.value(name);
    return;
  }
  if (e.lateSpecial >= 0) return lateSpecial(e.lateSpecial, value);
  if (fieldValue(name, value)) return;
  if (e.dotted && objectProperty(name, value)) return;
  if (e.constant) {
    value = globalConstants().value(name);
    return;
  }
  nameAsExpression(name, value);
}

void TfrRunNames::nameAsExpression(const std::string& name, Variant& value) {
  if (name == resolving_) {
    // Collecting aggregates evaluates texts out of their place; a name that
    // means nothing there is no error yet.
    if (run_.functions_.CollectedBand()) return;
    throw EngineError(EngineProblem(EngineReason::UndefinedSymbol).named(name));
  }
  const QScopedValueRollback outer(resolving_, name);
  value = engineGlobals().Parser.Calc(name);
}

Variant TfrRunNames::GroupValue(const TfrBand& group) {
  return engineGlobals().Parser.CalcPostfix(group.GroupCondition);
}

TfrBand* TfrRunNames::LineBand() const {
  TfrBand* b = run_.band_;
  // A cross-tab cell counts the lines of the band it lies across; its column
  // is COLUMN#.
  if (TfrBand* row = run_.cross_.Row();
      b && row && b->Type >= btCrossHeader && b->Type <= btCrossFooter)
    b = row;
  if (!b || b->DataSet || !run_.cur_) return b;
  // A band without its own data set counts the lines of its chain's first band.
  TfrBand* first = run_.cur_->bands[b->Type];
  return first ? first : b;
}

void TfrRunNames::special(int index, Variant& value) {
  const TfrReportRun& r = run_;
  const TfrReport& report = r.report_;
  const TfrReportRun::PageRun* pr = r.cur_;
  switch (index) {
    case 0:
      value = r.CurrentValue;
      break;
    case 1:
      value = Variant(r.PageNo + 1);
      break;
    case 2:
      value = Variant::dateTime(r.RunDate);
      break;
    case 3:
      value = Variant::dateTime(r.RunTime);
      break;
    case 4:
    case 5: {
      const TfrBand* b = LineBand();
      value = Variant(!b ? 0 : index == 4 ? b->LineNo : b->LineThrough);
      break;
    }
    case 6:
      value = Variant(pr ? pr->crossColumn : 0);
      break;
    case 7:
      value = Variant(pr ? pr->currentRecord : 0);
      break;
    case 8:
      value = Variant(r.TotalPages);
      break;
    case 9:
      value = Variant(report.InfoComment);
      break;
    case 10:
      value = Variant(report.InfoName);
      break;
    case 11:
      value = Variant(report.InfoAuthor);
      break;
    case 12:
      value = Variant(report.InfoVersionMajor);
      break;
    case 13:
      value = Variant(report.InfoVersionMinor);
      break;
    case 14:
      value = Variant(report.InfoVersionRelease);
      break;
    case 15:
      value = Variant(report.InfoVersionBuild);
      break;
    case 16:
      value = Variant::dateTime(report.CreatedAt);
      break;
    case 17:
      value = Variant::dateTime(report.ChangedAt);
      break;
    default: {
      TfrView* view = r.view_;
      if (!view)
        value = Variant(0);
      else if (auto* memo = dynamic_cast<TfrMemoView*>(view))
        value =
            Variant(memo->CalcWidth(memo->ExpandedText.empty() ? memo->Memo : memo->ExpandedText));
      else
        value = Variant(view->Width);
    }
  }
}

void TfrRunNames::lateSpecial(int index, Variant& value) {
  const TfrReportRun::PageRun* pr = run_.cur_;
  switch (index) {
    case 0:
      value = Variant(pr ? pr->curY : 0);
      break;
    case 1:
      value = Variant(pr ? pr->bottom - pr->curY : 0);
      break;
    case 2:
      value = Variant(run_.FinalPass);
      break;
    case 3:
      value = Variant(pr ? pr->bottom : 0);
      break;
    default:
      value = Variant(pr ? pr->rightX : 0);
  }
}

bool TfrRunNames::fieldValue(const std::string& name, Variant& value) {
  // A plain field name belongs to the data set of the current band's level.
  const TfrReportRun::PageRun* cur = run_.cur_;
  if (!cur) return false;
  // Group conditions are computed between bands: they read the master level.
  const uint16_t t = run_.band_ ? run_.band_->Type : uint16_t(btMasterData);
  TfrBand* source = nullptr;
  if (t == btDetailData || t == btDetailFooter)
    source = cur->bands[btDetailData];
  else if (t == btSubDetailData || t == btSubDetailFooter)
    source = cur->bands[btSubDetailData];
  else if (t == btCrossData || t == btCrossFooter)
    source = cur->bands[btCrossData];
  else
    source = cur->bands[btMasterData];
  TfrDataset* ds = source ? source->DataSet : nullptr;
  // The columns being walked may come from a data set of the row's own.
  if (TfrDataset* columns = run_.cross_.DataSet();
      (t == btCrossData || t == btCrossFooter) && columns)
    ds = columns;
  if (!ds) return false;
  std::string_view field = name;
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
    field = field.substr(1, field.size() - 2);
  DatasetField f = findDatasetField(ds, field);
  if (!f.dataSet || f.index < 0) return false;
  value = f.dataSet->FieldValue(f.index);
  return true;
}

bool TfrRunNames::objectProperty(const std::string& name, Variant& value) {
  std::vector<TfrPage*> pages = pagePointers(run_.report_.Pages);
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

TfrRunNames::Pieces TfrRunNames::splitText(const std::string& text) {
  Pieces pieces;
  size_t pos = 0;
  while (pos < text.size()) {
    Piece& p = pieces.emplace_back();
    const size_t open = text.find('[', pos);
    if (open == std::string::npos) {
      p.literal.assign(text, pos, std::string::npos);
      p.last = true;
      break;
    }
    p.literal.assign(text, pos, open - pos);
    pos = open;
    try {
      p.expression = readBracketed(text, pos);
    } catch (const ExpressionError& e) {
      // Raised where the reading of the text reaches it, after the
      // expressions before it have been evaluated.
      p.broken = e.what();
      break;
    }
    const size_t mark = p.expression.find(" #");
    p.inlineFormat = mark != std::string::npos;
    p.name = p.inlineFormat ? p.expression.substr(0, mark) : p.expression;
    p.entry = Resolve(p.name);
  }
  return pieces;
}

void TfrRunNames::appendPiece(std::string& out, TfrView& view, const Piece& piece) {
  Variant v;
  ValueOf(piece.entry, piece.name, v);
  run_.CurrentValue = std::move(v);
  const Variant& value = run_.CurrentValue;
  if ((view.Flags & flHideZeros) && view.TypeCode == gtMemo && hidesAsZero(value)) return;
  if (!piece.inlineFormat) return AppendFormatted(out, value, view.Format, view.FormatStr);
  const InlineFormat f = ResolveInlineFormat(piece.expression, view.Format, view.FormatStr);
  AppendFormatted(out, value, f.Format, f.FormatStr);
}

void TfrRunNames::ExpandExpressions(TfrView& view, std::string& text) {
  std::string out;
  AppendExpanded(view, text, out);
  text = std::move(out);
}

void TfrRunNames::AppendExpanded(TfrView& view, const std::string& text, std::string& out) {
  // Texts made up during the run (by scripts, or very long ones) are split
  // again each time rather than kept without bound.
  constexpr size_t kMaxTexts = 2048, kMaxTextSize = 1024;
  Pieces once;
  const Pieces* pieces = &once;
  if (auto it = texts_.find(text); it != texts_.end())
    pieces = &it->second;
  else if (texts_.size() < kMaxTexts && text.size() <= kMaxTextSize)
    pieces = &texts_.emplace(text, splitText(text)).first->second;
  else
    once = splitText(text);
  for (const Piece& p : *pieces) {
    out += p.literal;
    if (p.last) break;
    if (!p.broken.empty()) throw ExpressionError(p.broken);
    appendPiece(out, view, p);
  }
}

void TfrRunNames::AddHighlight(const TfrView& view, const std::string& condition) {
  try {
    if (const TfrCompiledExpression* e = expressions_.byInfix(condition)) highlights_[&view] = e;
  } catch (const std::exception&) {
    // A condition that does not parse never highlights.
  }
}

bool TfrRunNames::EvaluateCondition(TfrView& view, const std::string& condition) {
  try {
    TfrParser& parser = engineGlobals().Parser;
    auto it = highlights_.find(&view);
    const Variant v = it != highlights_.end() ? parser.Run(*it->second) : parser.Calc(condition);
    return !(v == Variant(0)) && v.toDouble() != 0;
  } catch (const std::exception&) {
    return false;
  }
}

bool TfrRunNames::Evaluate(TfrView& view, std::string_view expression, Variant& value) {
  const QScopedValueRollback current(run_.view_, &view);
  value = engineGlobals().Parser.Calc(expression);
  return true;
}

}  // namespace orv
