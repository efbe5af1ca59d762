#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/aggregates.h"
#include "engine/band.h"
#include "engine/cross_tab.h"
#include "engine/engine_error.h"
#include "engine/functions.h"
#include "engine/page_marks.h"
#include "engine/page_run.h"
#include "engine/run_functions.h"
#include "engine/run_names.h"
#include "engine/run_progress.h"
#include "engine/run_view_hooks.h"
#include "engine/template_objects.h"
#include "model/view.h"

namespace orv {

class TfrReport;
class TfrPage;
class TfrDataset;
class MemoryStream;

// Thrown to end a run early: the person cancelled, a script stopped the
// report, or a limit was reached. The run's own errors carry a message.
class RunTerminated {};

// Bounds that keep a hostile template from running for ever or filling memory.
struct RunLimits {
  // The finished pages go to a temporary file once they are many, so the
  // count bounds the run's time and the pages' table rather than memory.
  int32_t MaxPages = 1000000;
  // Rounds of a band split that place nothing before the run gives up.
  int32_t MaxIdleSplitRounds = 100;
  // Records read and bands placed in one pass: a counted band of a billion
  // empty records would otherwise keep the program busy for hours. Each
  // finished page allows StepsPerPage more, so that a long report, which
  // fills a page every hundred or two of them, runs on to the page and byte
  // limits, while records that never fill a page still stop here.
  int64_t MaxSteps = 20000000;
  int32_t StepsPerPage = 256;
  // Bytes of the finished pages, packed as they are kept during the run, most
  // of them in a temporary file: more than a report file can hold (its page
  // records point with 32-bit offsets), so a run past it could not be saved.
  int64_t MaxPageBytes = int64_t(2047) << 20;
};

// One run of a report: the single or double pass over its template pages, the
// bands placed page by page, the data loops and the prepared pages they fill.
// It lives for one Prepare; the process-wide states (current page, band, view,
// the parser's hooks) are set from it and cleared when it ends (TfrRunScope).
// The parts it holds answer for the rest: names and values, the views' calls,
// the functions and assignments of scripts, cross-tabs, the progress window
// and the template's objects it changes.
class TfrReportRun {
  friend class TfrRunNames;
  friend class TfrRunViewHooks;
  friend class TfrRunFunctions;
  friend class TfrRunProgress;
  friend class TfrCrossTab;

 public:
  explicit TfrReportRun(TfrReport& report);
  ~TfrReportRun();
  TfrReportRun(const TfrReportRun&) = delete;
  TfrReportRun& operator=(const TfrReportRun&) = delete;

  // The whole preparation; true when pages were produced and the run was not
  // cancelled. A failed run leaves the store empty and its message in
  // ErrorText.
  bool Prepare();

  RunLimits Limits;
  bool ErrorFlag = false;
  // frptool's words; Failure holds the facts both languages are made from.
  std::string ErrorText;
  RunFailure Failure;
  bool Cancelled = false;

  // Run state that scripts and functions see.
  int32_t PageNo = 0;  // the prepared page being filled, from 0
  bool FirstPass = false;
  bool FinalPass = false;
  bool DoublePass = false;
  bool Terminated = false;
  int32_t TotalPages = 0;
  double RunDate = 0;
  double RunTime = 0;
  bool Append = false;
  // The value being formatted or tested by the current object (VALUE).
  Variant CurrentValue;

  // How the run answers for names and values: the parser's name hook and
  // the expressions of the objects being written.
  TfrRunNames& Names() { return names_; }
  // What views call back into while they are written.
  TfrRunViewHooks& ViewHooks() { return viewHooks_; }
  // The report functions, assignments and aggregates that expressions and
  // scripts reach.
  TfrRunFunctions& Functions() { return functions_; }

  // Run state of one template page.
  using PageRun = TfrPageRun;
  // The run state of the page being formed.
  PageRun* CurrentPageRun() { return cur_; }
  TfrBand* CurrentBand() { return band_; }

 private:
  using ObjectGeometry = TfrObjectGeometry;

  // Preparation.
  bool runWithProgress();
  void runPass();
  void pageLoop();
  void restoreTemplatePositions();
  void initPage(PageRun& pr);
  // With RequireDataSets, fails the run when the data band names a data set
  // that no component gives.
  void checkMissingDataSet(TfrBandView& view);
  void formPage(PageRun& pr, bool normalMode);

  // The data loop and groups.
  void dataLoop(PageRun& pr, int level, int deepest);
  void initGroups(TfrBand* from);
  bool groupBreaks(TfrBand* group, TfrDataset& ds);
  void placeQueue();

  // Placing bands.
  bool printBand(TfrBand* band);
  void afterBand(TfrBand* band);
  int32_t fitHeight(TfrBand* band);
  void placeBand(TfrBand* band);
  bool checkFit(TfrBand* band, int32_t height, bool onlyReport = false);
  void splitBand(TfrBand* band, int32_t height);
  void writeObjects(TfrBand* band);
  void emitObject(TfrBand* band, TfrView& view);
  // The placed object into the current prepared page; `kept` puts it back.
  void writeView(TfrView& view, const ObjectGeometry& kept, bool splitPart);

  // A text object that grows with its text.
  static bool isStretchable(TfrView& v);

  // The dialog pages' activation scripts; false when one cancelled the run.
  bool initDialogPages();
  int32_t stretchedHeight(TfrBand* band);
  void restoreStretchedObjects(TfrBand* band);
  void runSubReport(TfrBand* band, TfrView& view);
  void printPageFooters(bool treatAsFirstPage);
  void startNewPage();
  void startNewColumn(TfrBand* forBand);
  void addPreparedPage();
  // Counts one record or band placement against the run's bound.
  void step();

  // Where scripts and aggregates take part.
  void runPageScript(TfrPage& page);
  void runBandScript(TfrBand& band);
  void runObjectScript(TfrView& view);
  // Fails the run when a script does not compile.
  void compileScripts(PageRun& pr);
  // The page's name, or "PageN" by its place when it has none.
  std::string pageName(const TfrPage& page) const;
  void runCompiled(const StringList& code, const std::string& owner);

  // Errors.
  [[noreturn]] void failObject(TfrView* view, const EngineProblem& problem);
  [[noreturn]] void failObject(TfrView* view, const std::exception& e) {
    failObject(view, engineProblemOf(e));
  }

  TfrReport& report_;
  TfrRunNames names_{*this};
  TfrCrossTab cross_{*this};
  TfrRunViewHooks viewHooks_{*this};
  TfrRunFunctions functions_{*this};
  TfrRunProgress progress_{*this};
  TfrTemplateObjects objects_{names_};
  std::vector<std::unique_ptr<PageRun>> pages_;
  std::map<const TfrPage*, PageRun*> byPage_;
  PageRun* cur_ = nullptr;
  TfrBand* band_ = nullptr;
  TfrView* view_ = nullptr;
  std::vector<TfrBand*> queue_;
  std::map<TfrView*, int32_t> stretched_;
  TfrPageMarks footersPlaced_;
  bool subReportTookOver_ = false;
  int32_t packedUpTo_ = 0;
  int64_t packedBytes_ = 0;
  int64_t steps_ = 0;
  int newPageDepth_ = 0;
  static constexpr int kMaxNewPageDepth = 32;
  // Appending a template page to the prepared page of the one before.
  int32_t savedY_ = 0;
  int32_t savedBottom_ = 0;
  bool savedAfterFooter_ = false;
  // Scripts compiled when their page is initialised: objects' and pages'
  // by their owner (band scripts are compiled into the runtime band).
  std::map<const void*, StringList> scripts_;
  // The modal result a dialog page's script set (MODALRESULT).
  int32_t modalResult_ = 1;
  bool inDialogPage_ = false;
  // A CURY a script set while asking for a new page or column, applied
  // after that break.
  bool hasPendingCurY_ = false;
  int32_t pendingCurY_ = 0;
};

}  // namespace orv
