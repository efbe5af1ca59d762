#include "engine/report_run.h"

#include <algorithm>
#include <cmath>

#include "engine/band_tree.h"
#include "engine/dataset.h"
#include "engine/date_time.h"
#include "engine/report_print.h"
#include "engine/run_scope.h"
#include "engine/tfr_report.h"
#include "model/page.h"
#include "model/state.h"
#include "model/text_util.h"
#include "model/views.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/strings.h"

namespace orv {

namespace {

constexpr int kErrorCaption = 55206;

// Bands that keep their own Y instead of taking the current one.
bool keepsOwnY(uint16_t type) {
  return type == btPageFooter || type == btOverlay || type == btNone;
}

}  // namespace

TfrReportRun::TfrReportRun(TfrReport& report) : report_(report) {}

TfrReportRun::~TfrReportRun() = default;

bool TfrReportRun::isStretchable(TfrView& v) {
  return (v.Flags & flStretched) && v.AsStretcheable() != nullptr;
}

// ------------------------------------------------------------ preparation

bool TfrReportRun::Prepare() {
  TfrRunScope scope(*this, report_);
  const double now = currentDateTime();
  RunDate = std::floor(now);
  RunTime = now - RunDate;
  DoublePass = report_.DoublePassReport != 0;
  band_ = nullptr;

  // The run may change the template (scripts, objects moved onto bands); it
  // is put back afterwards.
  MemoryStream saved;
  try {
    report_.SaveToStream(saved);
  } catch (const std::exception& e) {
    ErrorFlag = true;
    Failure.cause = engineProblemOf(e);
    ErrorText = englishText(Failure);
    report_.EMFPages.Clear();
    return false;
  }

  if (report_.OnBeginDoc) report_.OnBeginDoc();
  try {
    if (!runWithProgress()) Cancelled = true;
  } catch (const RunTerminated&) {
    // The error text, if any, is already set.
  } catch (const std::exception& e) {
    // Errors of page and band scripts, data sets and group conditions end the
    // run too; they are shown the same way, so that a broken template never
    // leaves the program with half a report or a changed template.
    ErrorFlag = true;
    if (ErrorText.empty()) {
      Failure.cause = engineProblemOf(e);
      ErrorText = englishText(Failure);
    }
  }
  if (report_.OnEndDoc) report_.OnEndDoc();

  pages_.clear();
  byPage_.clear();
  cur_ = nullptr;
  saved.seek(0);
  report_.LoadFromStream(saved);

  FinalPass = false;
  if (ErrorFlag) {
    if (report_.Ui)
      report_.Ui->ShowRunError(Failure);
    else if (PrintUi* ui = printUi())
      ui->showError(loadString(kErrorCaption), decodeBytes(ErrorText, 1252));
    report_.EMFPages.Clear();
  }
  if (Cancelled) report_.EMFPages.Clear();
  return report_.EMFPages.Count() > 0 && !Cancelled && !ErrorFlag;
}

bool TfrReportRun::runWithProgress() {
  Terminated = false;
  Append = false;
  FirstPass = false;
  FinalPass = true;
  report_.EMFPages.Clear();
  if (DoublePass) {
    FirstPass = true;
    FinalPass = false;
  }
  progress_.StartPass(DoublePass, 0);
  progress_.Run([this] { runPass(); });
  return !Cancelled;
}

void TfrReportRun::runPass() {
  pageLoop();
  if (!FirstPass) return;
  TotalPages = report_.EMFPages.Count();
  const int16_t keptDoublePass = report_.DoublePassReport;
  report_.DoublePassReport = 0;
  if (Terminated) {
    report_.EMFPages.Clear();
    Cancelled = true;
    report_.DoublePassReport = keptDoublePass;
    return;
  }
  Terminated = false;
  Append = false;
  FirstPass = false;
  FinalPass = true;
  report_.EMFPages.Clear();
  progress_.StartPass(false, TotalPages);
  pageLoop();
  report_.DoublePassReport = keptDoublePass;
}

void TfrReportRun::step() {
  if (++steps_ <= Limits.MaxSteps) return;
  // The page being filled is not finished yet.
  const int64_t finished = std::max(report_.EMFPages.Count() - 1, 0);
  const int64_t bound = Limits.MaxSteps + int64_t(Limits.StepsPerPage) * finished;
  if (steps_ > bound) throw EngineError(EngineProblem(EngineReason::TooManySteps).beyond(bound));
}

void TfrReportRun::pageLoop() {
  report_.Dictionary.ClearCache();
  steps_ = 0;
  ErrorFlag = false;
  PageNo = 0;
  packedUpTo_ = 0;
  packedBytes_ = 0;
  footersPlaced_.clear();
  pages_.clear();
  byPage_.clear();
  scripts_.clear();
  functions_.ClearAggregates();

  // Every page gets its run state first, so that sub-reports can mark the
  // pages they print as skipped.
  for (size_t i = 0; i < report_.Pages.Count(); ++i) {
    auto pr = std::make_unique<PageRun>();
    pr->page = &report_.Pages.Page(i);
    byPage_[pr->page] = pr.get();
    pages_.push_back(std::move(pr));
  }
  if (!initDialogPages()) {
    // A dialog the person cancelled ends the run without pages or error.
    Cancelled = true;
    Terminated = true;
    cur_ = nullptr;
    modelState().CurrentPage = nullptr;
    return;
  }
  for (auto& pr : pages_)
    if (pr->page->PageKind == ptReport) initPage(*pr);
  objects_.BindFields(report_.Pages, report_.Dictionary);
  for (auto& pr : pages_)
    if (pr->page->PageKind == ptReport) {
      cur_ = pr.get();
      functions_.CollectAggregates(pr->bands);
    }
  cur_ = nullptr;
  // Objects moved onto bands get their template positions back when the
  // pass ends, so that a second pass starts from the template as it was.
  struct Restore {
    TfrReportRun& run;
    ~Restore() { run.restoreTemplatePositions(); }
  } restore{*this};

  // Each record of the report's own data set repeats the whole report.
  TfrDataset* repeat = report_.ReportType == TfrReport::rtMultiple ? report_.Dataset : nullptr;
  struct CloseRepeat {
    TfrDataset* ds;
    ~CloseRepeat() {
      if (ds) ds->Exit();
    }
  } closeRepeat{repeat};
  if (repeat) {
    repeat->Init();
    repeat->First();
  }
  do {
    for (size_t i = 0; i < pages_.size(); ++i) {
      PageRun& pr = *pages_[i];
      TfrPage& page = *pr.page;
      cur_ = &pr;
      modelState().CurrentPage = &page;
      progress_.Report(PageNo + 1);
      if (!page.Visible) runPageScript(page);
      if (page.Visible && !pr.skipped && page.PageKind != ptDialog)
        cross_.FormColumnPages([&] { formPage(pr, true); });
      if (i + 1 < pages_.size() && pages_[i + 1]->page->PrintToPrevPage) {
        --PageNo;
        Append = true;
      } else {
        PageNo = report_.EMFPages.Count();
      }
      if (Terminated) break;
    }
    if (!repeat || Terminated) break;
    step();
    repeat->Next();
  } while (!repeat->Eof());
  cur_ = nullptr;
  modelState().CurrentPage = nullptr;
}

void TfrReportRun::restoreTemplatePositions() {
  objects_.Restore();
  for (auto& pr : pages_)
    for (auto& b : pr->all) {
      if (b->DataSet) b->DataSet->Exit();
      if (b->CrossDataSet) b->CrossDataSet->Exit();
      for (TfrView* v : b->Objects) v->OwnerBand = nullptr;
    }
}

void TfrReportRun::initPage(PageRun& pr) {
  TfrPage& page = *pr.page;
  objects_.Note(page);
  // The pages that sub-reports print are not formed on their own.
  for (auto& obj : page.Objects)
    if (obj->TypeCode == gtSubReport) {
      const int32_t target = static_cast<TfrSubReportView&>(*obj).SubReportPage;
      if (target >= 0 && target < int32_t(pages_.size())) pages_[target]->skipped = true;
    }

  TfrBandTree tree = buildBandTree(page, report_.Components, pr.skipped,
                                   [this](TfrBandView& view) { checkMissingDataSet(view); });
  pr.bands = tree.bands;
  pr.all = std::move(tree.all);
  compileScripts(pr);
  pr.initialised = true;
}

void TfrReportRun::checkMissingDataSet(TfrBandView& view) {
  if (!report_.RequireDataSets) return;
  const std::string name = trimBlanks(view.FormatStr);
  // No name, a record count ("5") or a cross list ("Band=Set;...") names no
  // component of its own.
  if (name.empty() || (name[0] >= '0' && name[0] <= '9') || name.find(';') != std::string::npos)
    return;
  failObject(&view, EngineProblem(EngineReason::MissingDataSet).ofBand(view.Name).ofDataSet(name));
}

void TfrReportRun::formPage(PageRun& pr, bool normal) {
  TfrEMFPages& store = report_.EMFPages;
  if (!report_.PrintIfEmpty) {
    TfrBand* master = pr.bands[btMasterData];
    if (master && master->DataSet) {
      bool empty;
      try {
        master->DataSet->First();
        empty = master->DataSet->Eof();
      } catch (const std::exception&) {
        empty = true;
      }
      if (empty) {
        if (Append) ++PageNo;
        return;
      }
    }
  }
  pr.suppressRepeated = false;
  if (normal) {
    runPageScript(*pr.page);
    if (Append && savedY_ == savedBottom_) Append = false;
    pr.computeGeometry();
    if (Append && savedAfterFooter_) pr.bottom = savedBottom_;
    pr.curColumn = 0;
    pr.xAdjust = pr.leftX;
    if (Append) {
      pr.curY = savedY_;
    } else {
      addPreparedPage();
      pr.curY = pr.topY;
      printBand(pr.bands[btOverlay]);
      printBand(pr.bands[btNone]);
    }
  }
  if (!report_.OnManualBuild) {
    const int before = store.Count();
    printBand(pr.bands[btReportTitle]);
    if (store.Count() == before) {
      if (TfrBand* ph = pr.bands[btPageHeader]; ph && ph->OnFirstPage) printBand(ph);
      // Without a column header the columns start below what is placed so far.
      pr.columnTop = pr.curY;
      printBand(pr.bands[btColumnHeader]);
    }
    int deepest = 0;
    for (int l = 0; l < 3; ++l)
      if (pr.bands[kDataLevels[l].data]) deepest = l + 1;
    if (deepest > 0) dataLoop(pr, 1, deepest);
  }
  if (normal) {
    if (report_.OnManualBuild) {
      report_.OnManualBuild(*pr.page);
    } else {
      pr.suppressRepeated = true;
      printBand(pr.bands[btColumnFooter]);
      TfrBand* cf = pr.bands[btColumnFooter];
      const int32_t keptCf = cf ? cf->dy : 0;
      if (cf) cf->dy = 0;
      printBand(pr.bands[btReportSummary]);
      if (cf) cf->dy = keptCf;
      pr.suppressRepeated = false;
    }
  }
  savedY_ = pr.curColumn > 0 ? pr.bottom : pr.curY;
  savedBottom_ = pr.bottom;
  savedAfterFooter_ = false;
  pr.curColumn = 0;
  pr.xAdjust = pr.leftX;
  if (!report_.OnManualBuild) {
    TfrBand* pf = pr.bands[btPageFooter];
    if (pf && pf->IsPresent() && ((PageNo == 0 && pf->OnFirstPage) || pf->OnLastPage)) {
      printPageFooters(true);
      savedAfterFooter_ = true;
    }
  }
  if (report_.OnEndPage) report_.OnEndPage(PageNo);
  ++PageNo;
  pr.lastBand = nullptr;
}

// ------------------------------------------------------------ data loop

void TfrReportRun::initGroups(TfrBand* from) {
  for (TfrBand* g = from; g; g = g->Next) {
    g->LastGroupValue = names_.GroupValue(*g);
    queue_.push_back(g);
  }
}

bool TfrReportRun::groupBreaks(TfrBand* group, TfrDataset& ds) {
  if (ds.Eof() || group->LastGroupValue.isEmpty()) return true;
  return !(names_.GroupValue(*group) == group->LastGroupValue);
}

void TfrReportRun::placeQueue() {
  std::vector<TfrBand*> q;
  q.swap(queue_);
  for (TfrBand* b : q)
    if (b && b->IsPresent()) printBand(b);
}

void TfrReportRun::dataLoop(PageRun& pr, int level, int deepest) {
  const LevelBands& lv = kDataLevels[level - 1];
  for (TfrBand* b = pr.bands[lv.data]; b && !Terminated; b = b->Next) {
    if (!b->DataSet) continue;
    TfrDataset& ds = *b->DataSet;
    ds.First();
    b->LineNo = 1;
    for (TfrBand* g = pr.bands[btGroupHeader]; g; g = g->Next) g->LineNo = 0;
    if (ds.Eof()) continue;
    // Groups break the master level's records.
    TfrBand* groups = level == 1 ? pr.bands[btGroupHeader] : nullptr;
    std::vector<TfrBand*> chain;
    for (TfrBand* g = groups; g; g = g->Next) chain.push_back(g);
    initGroups(groups);
    queue_.push_back(b->HeaderBand);
    functions_.InitAggregates(b->FooterBand);
    while (!ds.Eof() && !Terminated) {
      step();
      queue_.push_back(b);
      if (b->PrintIfSubsetEmpty) placeQueue();
      bool counted = true;
      if (level < deepest) {
        dataLoop(pr, level + 1, deepest);
        if (!queue_.empty()) {
          if (b->PrintIfSubsetEmpty) {
            placeQueue();
          } else {
            queue_.pop_back();
            counted = false;
          }
        }
      } else {
        placeQueue();
      }
      ds.Next();
      size_t broke = chain.size();
      for (size_t i = 0; i < chain.size(); ++i)
        if (groupBreaks(chain[i], ds)) {
          broke = i;
          break;
        }
      if (broke < chain.size()) {
        TfrBand* g = chain[broke];
        const bool atEnd = ds.Eof();
        // Footers see the last record of the group that ends.
        bool steppedBack = true;
        try {
          ds.Prior();
        } catch (const std::exception&) {
          steppedBack = false;
        }
        for (size_t i = chain.size() - 1; i > broke; --i) {
          queue_.push_back(chain[i]->GroupFooter);
          chain[i]->LineNo = 0;
          if (chain[i]->GroupFooter) chain[i]->GroupFooter->LineNo = 0;
        }
        queue_.push_back(g->GroupFooter);
        placeQueue();
        if (steppedBack) ds.Next();
        if (!atEnd) {
          if (g->FormNewPage && g->Visible) startNewPage();
          initGroups(g);
          b->LineNo = 0;
        }
      }
      if (counted) {
        ++pr.currentRecord;
        ++b->LineNo;
        ++b->LineThrough;
        if (b->FormNewPage && b->Visible && !ds.Eof()) startNewPage();
      }
    }
    if (!queue_.empty())
      queue_.pop_back();
    else
      printBand(b->FooterBand);
  }
}

// ------------------------------------------------------------ placing bands

int32_t TfrReportRun::fitHeight(TfrBand* b) {
  if (b->IsDataBand() && b->Next && !b->Next->DataSet) {
    int64_t h = 0;
    for (TfrBand* c = b; c && (c == b || !c->DataSet); c = c->Next) h += c->dy;
    return clampCoordinate(h);
  }
  if (b->Stretched) return stretchedHeight(b);
  return b->dy;
}

bool TfrReportRun::printBand(TfrBand* b) {
  if (!b || !b->IsPresent()) return true;
  step();
  PageRun& pr = *cur_;
  TfrBand* const outer = band_;
  band_ = b;
  ModelState& st = modelState();
  st.CurrentBand = b->View;
  st.CurrentView = nullptr;
  view_ = nullptr;
  b->MaxDY = -1;
  b->NewPageRequests = 0;
  b->NewColumnRequests = 0;
  b->KeepPosition = false;
  b->heightKnown = false;
  if (report_.OnBeginBand) report_.OnBeginBand(*b);

  TfrBand* last = pr.lastBand;
  if (last && last != b && last->IsPresent() && last->IsMultiColumn() && last->ColumnCounter > 1) {
    pr.xAdjust = last->SavedXAdjust;
    pr.curY += last->dy;
    last->ColumnCounter = 1;
  }
  const int32_t yBeforeScript = pr.curY;
  if (b->SkipScriptOnce)
    b->SkipScriptOnce = false;
  else
    runBandScript(*b);
  if (Terminated) {
    band_ = outer;
    return false;
  }
  for (int32_t i = 0; i < b->NewPageRequests; ++i) {
    pr.curColumn = pr.columnCount - 1;
    startNewColumn(b);
  }
  for (int32_t i = 0; i < b->NewColumnRequests; ++i) startNewColumn(b);
  if (b->KeepPosition) pr.curY = yBeforeScript;
  if (hasPendingCurY_) {
    hasPendingCurY_ = false;
    pr.curY = pendingCurY_;
  }

  if (b->Visible) {
    if (b->Type == btColumnHeader) pr.columnTop = pr.curY;
    if (b->Type == btPageFooter) b->y = pr.bottom;
    if (b->Type != btPageFooter && b->Type != btOverlay && b->Type != btColumnFooter &&
        b->Type != btNone) {
      const int32_t h = fitHeight(b);
      if (int64_t(pr.curY) + h > pr.bottom && !b->SplitFlag) {
        if (pr.bottom - pr.topY >= h || pr.curY != pr.topY) {
          if (pr.skipped) {
            band_ = outer;
            return true;
          }
          startNewColumn(b);
        } else {
          b->SplitFlag = true;
        }
      }
    }
    if (b->IsDataBand() && b->Next && !b->Next->DataSet) {
      for (TfrBand* c = b; c && (c == b || !c->DataSet); c = c->Next)
        if (c->Visible) placeBand(c);
    } else {
      placeBand(b);
      if (b->ChildBand) printBand(b->ChildBand);
    }
    if (!b->IsDataBand() && b->Type != btGroupHeader && b->FormNewPage) startNewPage();
  } else if (b->PrintChildIfInvisible && b->ChildBand) {
    printBand(b->ChildBand);
  }

  if (b->SkipAggregatesOnce) {
    b->SkipAggregatesOnce = false;
  } else {
    afterBand(b);
  }
  if (report_.OnEndBand) report_.OnEndBand(*b);
  b->SplitFlag = b->Breaked;
  band_ = outer;
  st.CurrentBand = outer ? outer->View : nullptr;
  return true;
}

void TfrReportRun::afterBand(TfrBand* b) {
  if (b->Type == btPageFooter && PageNo != report_.EMFPages.Count() - 1) return;
  functions_.InitAggregates(b);
  if (b->Type == btGroupHeader)
    for (TfrBand* g = b; g; g = g->Next) g->LastGroupValue = names_.GroupValue(*g);
}

bool TfrReportRun::checkFit(TfrBand* b, int32_t height, bool onlyReport) {
  if (b->Type == btColumnFooter) return false;
  PageRun& pr = *cur_;
  const TfrBand* cf = pr.bands[btColumnFooter];
  const int32_t cfh = cf && cf->IsPresent() ? cf->dy : 0;
  if (int64_t(pr.bottom) >= int64_t(b->y) + height + cfh) return false;
  if (!onlyReport) {
    startNewColumn(b);
    b->y = pr.curY;
  }
  return true;
}

void TfrReportRun::placeBand(TfrBand* b) {
  PageRun& pr = *cur_;
  if (!keepsOwnY(b->Type)) b->y = pr.curY;
  if (b->IsMultiColumn() && pr.lastBand != b) {
    b->ColumnCounter = 1;
    b->SavedXAdjust = pr.xAdjust;
  }
  subReportTookOver_ = false;
  const bool fixed = keepsOwnY(b->Type);
  if (b->Stretched) {
    const int32_t h = stretchedHeight(b);
    if (!fixed && !b->SplitFlag) checkFit(b, h);
    if (b->SplitFlag) {
      splitBand(b, h);
    } else {
      writeObjects(b);
      if (!subReportTookOver_) pr.curY = clampCoordinate(int64_t(b->y) + h);
    }
    restoreStretchedObjects(b);
  } else {
    if (!fixed && !b->SplitFlag) checkFit(b, b->dy);
    if (b->SplitFlag) {
      splitBand(b, b->dy);
    } else {
      writeObjects(b);
      if (!fixed && !subReportTookOver_) pr.curY = clampCoordinate(int64_t(b->y) + b->dy);
    }
  }
  if (b->IsMultiColumn()) {
    ++b->ColumnCounter;
    if (b->ColumnCounter <= b->Columns) {
      pr.xAdjust =
          clampCoordinate(int64_t(b->SavedXAdjust) +
                          int64_t(b->ColumnCounter - 1) * (int64_t(b->ColumnWidth) + b->ColumnGap));
      pr.curY -= b->dy;
    } else {
      pr.xAdjust = b->SavedXAdjust;
      b->ColumnCounter = 1;
    }
  }
  pr.lastBand = b;
}

int32_t TfrReportRun::stretchedHeight(TfrBand* b) {
  if (b->heightKnown) return b->CalculatedHeight;
  int32_t h = b->dy;
  for (TfrView* v : b->Objects) {
    if (!isStretchable(*v) || v->TypeCode == gtLine) continue;
    auto* s = static_cast<TfrStretcheable*>(v);
    band_ = b;
    const int32_t need = clampCoordinate(s->CalcHeight());
    stretched_[v] = v->Height;
    if (need > v->Height) v->Height = need;
    h = std::max(h, clampCoordinate(int64_t(v->Top) + v->Height));
  }
  if (b->HasCrossObjects()) h = std::max(h, cross_.Height(b));
  // Stretched lines reach down to the bottom of the stretched band.
  for (TfrView* v : b->Objects)
    if (isStretchable(*v) && v->TypeCode == gtLine && v->Height > v->Width) {
      stretched_[v] = v->Height;
      v->Height = std::max(v->Height, clampCoordinate(int64_t(h) - v->Top));
    }
  b->CalculatedHeight = h;
  b->heightKnown = true;
  return h;
}

void TfrReportRun::restoreStretchedObjects(TfrBand* b) {
  for (TfrView* v : b->Objects) {
    auto it = stretched_.find(v);
    if (it == stretched_.end()) continue;
    v->Height = it->second;
    stretched_.erase(it);
  }
  b->heightKnown = false;
}

void TfrReportRun::writeObjects(TfrBand* b) {
  for (TfrView* v : b->Objects) {
    if (v->TypeCode == gtSubReport) {
      if (v->Visible) {
        if (b->HasCrossObjects()) cross_.WriteCells(b);
        runSubReport(b, *v);
        return;
      }
      continue;
    }
    emitObject(b, *v);
  }
  if (b->HasCrossObjects()) cross_.WriteCells(b);
}

void TfrReportRun::emitObject(TfrBand* b, TfrView& v) {
  PageRun& pr = *cur_;
  view_ = &v;
  modelState().CurrentView = &v;
  band_ = b;
  if (FirstPass) {
    runObjectScript(v);
    return;
  }
  const ObjectGeometry kept(v);
  v.Left += pr.xAdjust - pr.leftX;
  v.Top += b->y;
  const TfrStretcheable* s = v.AsStretcheable();
  writeView(v, kept, s && s->StretchPass == 2);
}

void TfrReportRun::writeView(TfrView& v, const ObjectGeometry& kept, bool splitPart) {
  try {
    v.EmitToPage(report_.EMFPages.Entry(PageNo).Objects());
    // Objects that collect what text objects print (charts) hear of every
    // text written whole.
    if (v.TypeCode == gtMemo && !splitPart) objects_.TextWritten(cur_->page, v);
  } catch (const RunTerminated&) {
    kept.restore(v);
    throw;
  } catch (const std::exception& e) {
    kept.restore(v);
    failObject(&v, e);
  }
  kept.restore(v);
}

void TfrReportRun::splitBand(TfrBand* b, int32_t height) {
  PageRun& pr = *cur_;
  if (!checkFit(b, height, true)) {
    writeObjects(b);
    pr.curY = b->y + height;
    return;
  }
  struct Pending {
    TfrView* view;
    int32_t top, height;  // still to place, relative to the band's current Y
    bool started = false;
  };
  // Cross cells go with the first part of the band.
  if (b->HasCrossObjects()) cross_.WriteCells(b);
  std::vector<Pending> pending;
  for (TfrView* v : b->Objects) {
    int32_t top = v->Top;
    if (v->BandAlign == baBottom) top = height - v->Height;
    pending.push_back({v, top, v->Height});
  }
  const TfrBand* cf = pr.bands[btColumnFooter];
  const int32_t cfh = cf && cf->IsPresent() ? cf->dy : 0;
  int idleRounds = 0;
  int32_t lastBottom = 0;
  while (!pending.empty() && !Terminated) {
    const int32_t room = clampCoordinate(int64_t(pr.bottom) - cfh - b->y - 2);
    bool wrote = false;
    lastBottom = 0;
    std::vector<Pending> next;
    for (Pending& p : pending) {
      TfrView& v = *p.view;
      const int32_t top = std::max(0, p.top);
      const int32_t bottom = clampCoordinate(int64_t(p.top) + p.height);
      if (top > room) {
        next.push_back(p);
        continue;
      }
      const ObjectGeometry kept(v);
      const bool text = v.AsStretcheable() != nullptr && v.TypeCode != gtLine;
      if (bottom <= room) {
        v.Top = top;
        v.Height = bottom - top;
        if (text && p.started) static_cast<TfrStretcheable&>(v).StretchPass = 2;
        emitObject(b, v);
        kept.restore(v);
        lastBottom = std::max(lastBottom, bottom);
        wrote = true;
        continue;
      }
      if (!text) {
        // Pushed whole to the next page.
        p.top = room;
        next.push_back(p);
        continue;
      }
      auto& s = static_cast<TfrStretcheable&>(v);
      if (!p.started && s.StretchPass != 1) s.CalcHeight();
      v.Top = top;
      v.Height = room - top;
      s.StretchPass = 2;
      emitObject(b, v);
      kept.restore(v);
      const bool continued = p.started;
      p.started = true;
      lastBottom = room;
      // The rest starts at the top of the next page, as tall as its lines;
      // for other stretchable objects, as tall as what lay below the room.
      int32_t rest = clampCoordinate(s.RemainingHeight());
      if (rest < 0) rest = clampCoordinate(std::max<int64_t>(0, int64_t(bottom) - room));
      // A part that printed nothing of the rest is no progress: a text whose
      // lines never fit must not open pages until the page limit.
      if (!continued || rest < p.height) wrote = true;
      if (rest > 0) {
        p.top = room;
        p.height = rest;
        next.push_back(p);
      }
    }
    for (Pending& p : next) p.top = clampCoordinate(int64_t(p.top) - room);
    pending.swap(next);
    if (pending.empty()) break;
    idleRounds = wrote ? 0 : idleRounds + 1;
    if (idleRounds > Limits.MaxIdleSplitRounds)
      throw EngineError(
          EngineProblem(EngineReason::ObjectFitsNoPage).ofObject(pending.front().view->Name));
    startNewColumn(b);
    b->y = pr.curY;
  }
  pr.curY = clampCoordinate(int64_t(b->y) + lastBottom);
}

void TfrReportRun::runSubReport(TfrBand* b, TfrView& v) {
  subReportTookOver_ = true;
  const int32_t target = static_cast<TfrSubReportView&>(v).SubReportPage;
  if (target < 0 || target >= int32_t(pages_.size())) return;
  PageRun& outer = *cur_;
  PageRun& sub = *pages_[target];
  if (!sub.initialised || &sub == &outer) return;
  sub.computeGeometry();
  sub.bottom = outer.bottom;
  sub.topY = outer.topY;
  sub.curY = b->y + v.Top;
  sub.xAdjust = outer.xAdjust + v.Left - outer.leftX;
  sub.leftX = outer.leftX;
  sub.curColumn = 0;
  sub.columnCount = 1;
  const int pagesBefore = report_.EMFPages.Count();
  cur_ = &sub;
  int deepest = 0;
  for (int l = 0; l < 3; ++l)
    if (sub.bands[kDataLevels[l].data]) deepest = l + 1;
  if (deepest > 0) dataLoop(sub, 1, deepest);
  cur_ = &outer;
  if (report_.EMFPages.Count() == pagesBefore)
    outer.curY = std::max(sub.curY, b->y + b->dy);
  else
    outer.curY = sub.curY;
  modelState().CurrentPage = outer.page;
  // The sub-report's own placements cleared the mark; the band must not move
  // the position on by its own height now.
  subReportTookOver_ = true;
}

void TfrReportRun::printPageFooters(bool treatAsFirstPage) {
  PageRun& pr = *cur_;
  pr.curColumn = 0;
  pr.xAdjust = pr.leftX;
  TfrBand* pf = pr.bands[btPageFooter];
  if (pf && pf->IsPresent() && (PageNo != 0 || pf->OnFirstPage || treatAsFirstPage)) {
    for (int32_t i = PageNo; i < report_.EMFPages.Count(); ++i) {
      if (footersPlaced_.contains(i)) continue;
      PageNo = i;
      if (report_.OnEndPage) report_.OnEndPage(i);
      printBand(pf);
      footersPlaced_.insert(i);
    }
  }
  PageNo = report_.EMFPages.Count();
}

void TfrReportRun::addPreparedPage() {
  TfrEMFPages& store = report_.EMFPages;
  if (store.Count() >= Limits.MaxPages)
    throw EngineError(EngineProblem(EngineReason::TooManyPages).beyond(Limits.MaxPages));
  const TfrPage& page = *cur_->page;
  PageSetup setup;
  setup.paper = {page.PaperSize, page.PaperWidth, page.PaperHeight, page.Orientation, page.Bin};
  setup.useMargins = page.UseMargins;
  setup.margins = {page.Margins.left, page.Margins.top, page.Margins.right, page.Margins.bottom};
  setup.info = page.PrinterInfo;
  store.AddPage(setup);
  PageNo = store.Count() - 1;
  // The pages before this one are complete: their footers stand.
  for (packedUpTo_ = std::min(packedUpTo_, PageNo); packedUpTo_ < PageNo; ++packedUpTo_) {
    // A page packed before and not opened since is counted already.
    if (store.Entry(packedUpTo_).Stored) continue;
    try {
      store.Pack(packedUpTo_);
    } catch (const PreparedError& e) {
      // No room for the pages' temporary file: the run's error, in its words.
      throw Error(encodeText(portugueseReason(e.problem), 1252));
    }
    packedBytes_ += int64_t(store.Entry(packedUpTo_).Stored.size);
  }
  if (packedBytes_ > Limits.MaxPageBytes)
    throw EngineError(EngineProblem(EngineReason::PagesTooLarge).beyond(Limits.MaxPageBytes >> 20));
  // A page holds about what the one before it held: its objects get that room
  // at once instead of a dozen copies growing it from nothing.
  if (PageNo > 0) {
    const size_t before = store.Entry(PageNo - 1).ObjectsSize();
    store.Entry(PageNo).Objects().reserve(before + before / 8);
  }
}

void TfrReportRun::startNewPage() {
  PageRun& pr = *cur_;
  // Bands placed while a page opens (footers, headers) may ask for a new page
  // themselves; a template where that never settles is stopped.
  struct Depth {
    int& d;
    explicit Depth(int& depth) : d(depth) { ++d; }
    ~Depth() { --d; }
  } depth(newPageDepth_);
  if (newPageDepth_ > kMaxNewPageDepth)
    throw EngineError(EngineProblem(EngineReason::HeadersDoNotFit));
  progress_.Report(PageNo + 1);
  if (!pr.suppressRepeated) printBand(pr.bands[btColumnFooter]);
  printPageFooters(false);
  pr.computeGeometry();
  addPreparedPage();
  Append = false;
  printBand(pr.bands[btOverlay]);
  pr.curY = pr.topY;
  pr.curColumn = 0;
  pr.xAdjust = pr.leftX;
  printBand(pr.bands[btPageHeader]);
  pr.columnTop = pr.curY;
  printBand(pr.bands[btColumnHeader]);
}

void TfrReportRun::startNewColumn(TfrBand* forBand) {
  PageRun& pr = *cur_;
  if (pr.curColumn < pr.columnCount - 1) {
    printBand(pr.bands[btColumnFooter]);
    ++pr.curColumn;
    pr.xAdjust = clampCoordinate(int64_t(pr.xAdjust) + pr.columnWidth + pr.columnGap);
    pr.curY = pr.columnTop;
    printBand(pr.bands[btColumnHeader]);
  } else {
    startNewPage();
  }
  if (!pr.suppressRepeated)
    for (TfrBand* g = pr.bands[btGroupHeader]; g && g != forBand; g = g->Next)
      if (g->RepeatHeader) {
        g->SkipAggregatesOnce = true;
        printBand(g);
      }
  if (forBand && forBand->IsDataBand())
    if (TfrBand* h = forBand->HeaderBand; h && h != forBand && h->RepeatHeader) {
      h->SkipAggregatesOnce = true;
      printBand(h);
    }
}

// ------------------------------------------------------------ scripts and aggregates

// Compiling and running scripts and the aggregates: report_script.cpp.

// ------------------------------------------------------------ errors

void TfrReportRun::failObject(TfrView* view, const EngineProblem& problem) {
  ErrorFlag = true;
  Failure.framed = true;
  Failure.lines = view ? view->Memo : StringList();
  Failure.reportName = report_.InfoName;
  Failure.objectName = view ? std::optional<std::string>(view->Name) : std::nullopt;
  Failure.cause = problem;
  ErrorText = englishText(Failure);
  Terminated = true;
  throw RunTerminated();
}

}  // namespace orv
