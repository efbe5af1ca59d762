#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace orv {

class TfrReportRun;

// The progress a run shows, and the cancel that comes back from it: the
// report's own progress event, or else the progress window with its label
// of the pass and page, which a script may also write (PROGRESS).
class TfrRunProgress {
 public:
  explicit TfrRunProgress(TfrReportRun& run) : run_(run) {}
  TfrRunProgress(const TfrRunProgress&) = delete;
  TfrRunProgress& operator=(const TfrRunProgress&) = delete;

  // The label of the pass that begins: the first of two passes, or one that
  // writes pages, out of `total` when a first pass counted them.
  void StartPass(bool firstOfTwo, int32_t total);
  // Runs the passes, in the progress window when the report shows one.
  void Run(const std::function<void()>& passes);
  // Page `n` is being formed. Ends the run (RunTerminated) when it was
  // cancelled, in the window or by the run itself.
  void Report(int32_t n);
  // A script's own text in the progress window.
  void ShowText(const std::string& text);

 private:
  TfrReportRun& run_;
  std::string label_;
  int32_t total_ = 0;
};

}  // namespace orv
