#include "engine/run_progress.h"

#include <exception>

#include "engine/report_print.h"
#include "engine/report_run.h"
#include "engine/tfr_report.h"
#include "platform/codepage.h"
#include "platform/strings.h"

namespace orv {

namespace {

constexpr int kPreparing = 55203;
constexpr int kFirstPassLabel = 55204;
constexpr int kPageLabel = 55205;
constexpr int kOf = 55199;

}  // namespace

void TfrRunProgress::StartPass(bool firstOfTwo, int32_t total) {
  label_ = loadString8(firstOfTwo ? kFirstPassLabel : kPageLabel);
  total_ = total;
}

void TfrRunProgress::Run(const std::function<void()>& passes) {
  TfrReport& report = run_.report_;
  std::string caption = loadString8(kPreparing);
  if (!report.Title.empty()) caption += " - " + report.Title;
  report.Terminated = false;
  PrintUi* ui = printUi();
  if (report.OnProgress || !report.ShowProgress || !ui) {
    passes();
    return;
  }
  // An error must not unwind through the progress window's event loop: it
  // is kept, the window closes, and it is raised again here.
  std::exception_ptr failure;
  ui->runWithProgress(report, decodeBytes(caption, 1252), decodeBytes(label_, 1252), [&] {
    try {
      passes();
    } catch (...) {
      failure = std::current_exception();
      // Closes the window; the failure, not a cancel, is what is reported.
      report.Terminated = true;
    }
  });
  if (failure) std::rethrow_exception(failure);
  if (report.Terminated) run_.Cancelled = true;
}

void TfrRunProgress::Report(int32_t n) {
  TfrReport& report = run_.report_;
  if (report.OnProgress) {
    report.OnProgress(n);
  } else if (PrintUi* ui = printUi(); ui && report.ShowProgress) {
    std::string text = label_ + "  " + std::to_string(n);
    if (run_.FinalPass && run_.DoublePass && total_ > 0) {
      // Appended piece by piece: GCC 12 warns, wrongly, of overlapping copies
      // in " " + a temporary string once this function is inlined differently.
      text.append(" ").append(loadString8(kOf)).append(" ").append(std::to_string(total_));
    }
    ui->setProgressLabel(decodeBytes(text, 1252));
    ui->processMessages();
    // Cancel in the progress window.
    if (report.Terminated) {
      run_.Cancelled = true;
      run_.Terminated = true;
    }
  }
  if (run_.Terminated) throw RunTerminated();
}

void TfrRunProgress::ShowText(const std::string& text) {
  // The progress window has one label: the script's text takes it.
  TfrReport& report = run_.report_;
  if (PrintUi* ui = printUi(); ui && report.ShowProgress && !report.OnProgress) {
    ui->setProgressLabel(decodeBytes(text, 1252));
    ui->processMessages();
  }
}

}  // namespace orv
