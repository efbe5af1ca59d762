// Loads arbitrary bytes as a report template and runs it. A template decides
// how many pages, records and split rounds it asks for, so the run is bounded
// by a small page limit: the run must end (with pages or with its error
// text), never throw, and leave the template's pages and objects as it found
// them. (The saved stream itself may differ: the run selects the template's
// printer, whose name the writer stores.)
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "engine/report_run.h"
#include "engine/tfr_report.h"
#include "fuzz_app.h"

namespace {

constexpr int kMaxPages = 50;

// What the run must put back: every object of every page, where it stood,
// with its text.
std::string objects(const orv::TfrReport& report) {
  std::string out;
  for (size_t p = 0; p < report.Pages.Count(); ++p) {
    out += "page\n";
    for (const auto& v : report.Pages.Page(p).Objects) {
      out += v->Name + " " + std::to_string(v->Left) + " " + std::to_string(v->Top) + " " +
             std::to_string(v->Width) + " " + std::to_string(v->Height) + " " +
             std::to_string(v->Flags);
      for (const std::string& line : v->Memo) out += "|" + line;
      out += "\n";
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orv::fuzz::startUp();
  orv::TfrReport report;
  report.ShowProgress = false;
  orv::MemoryStream in(std::vector<uint8_t>(data, data + size));
  if (!report.LoadFromStream(in).ok()) return 0;
  // A template the writer cannot store (objects beyond the pages a stream
  // can address) cannot be run either.
  try {
    orv::MemoryStream probe;
    report.SaveToStream(probe);
  } catch (const orv::Error&) {
    return 0;
  }
  const std::string before = objects(report);
  orv::TfrReportRun run(report);
  run.Limits.MaxPages = kMaxPages;
  run.Limits.MaxIdleSplitRounds = 20;
  const bool ok = run.Prepare();
  const int pages = report.EMFPages.Count();
  if (pages > kMaxPages) {
    std::fprintf(stderr, "the run went past its page limit: %d pages\n", pages);
    std::abort();
  }
  if (!ok && pages != 0) {
    std::fprintf(stderr, "a failed run left %d pages: %s\n", pages, run.ErrorText.c_str());
    std::abort();
  }
  if (objects(report) != before) {
    std::fprintf(stderr, "the run changed the template\n");
    std::abort();
  }
  // Every prepared page builds back into objects, as the preview does.
  for (int i = 0; i < pages; ++i) report.EMFPages.BuildObjects(i);
  return 0;
}
