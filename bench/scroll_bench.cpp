// Memory while the preview scrolls a large report from its first page to its
// last, one page step of the vertical scroll bar at a time, painting what the
// page area shows after each step as a real repaint would. Live page objects
// must exist only for the pages on screen, so the resident size stays flat.
// Counters:
//   start_rss_MB   resident size once the report is open and page 1 painted
//   peak_rss_MB    highest resident size while scrolling (the kernel's mark is
//                  reset after the first paint, so loading does not count)
//   end_rss_MB     resident size after the last page was painted
//   max_live_pages most pages holding built objects at once
//   steps          scroll steps taken; the time is per whole scroll
//
//   scroll_bench --report FILE.frp [benchmark flags]
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "engine/tfr_report.h"
#include "prepared/compressor.h"
#include "prepared/emf_pages.h"
#include "preview/preview.h"
#include "printing/tfr_printer.h"

namespace {

using namespace orv;

std::string g_report;

// A field of /proc/self/status in megabytes ("VmRSS", "VmHWM").
double statusMB(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + key.size()) / 1024.0;
  return 0;
}

// Lets the peak mark measure the scroll alone.
void resetPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

int livePages(TfrEMFPages& pages) {
  int n = 0;
  for (int i = 0; i < pages.Count(); ++i) n += pages.Entry(i).ObjectPage() != nullptr;
  return n;
}

void paintBox(TfrPreviewForm& form, QImage& img) {
  QPainter painter(&img);
  form.Paint(painter, QRegion(img.rect()));
}

void BM_ScrollFirstToLast(benchmark::State& state) {
  TfrReport report;
  report.LoadPreparedReport(g_report);
  TfrPreview preview;
  preview.resize(1000, 800);
  preview.show();
  QApplication::processEvents();
  lastZoom() = {1.0, zmCustom};
  preview.Connect(&report);
  QApplication::processEvents();
  TfrPreviewForm& form = *preview.form();
  QImage img(form.PBox->size(), QImage::Format_RGB32);
  QScrollBar& bar = *form.VScrollBar;

  double startRss = 0, peakRss = 0, endRss = 0;
  int maxLive = 0, steps = 0;
  for (auto _ : state) {
    bar.setValue(bar.minimum());
    paintBox(form, img);
    startRss = statusMB("VmRSS");
    resetPeak();
    steps = 0;
    while (bar.value() < bar.maximum()) {
      bar.setValue(std::min(bar.maximum(), bar.value() + bar.pageStep()));
      paintBox(form, img);
      ++steps;
      if (steps % 64 == 0) {
        state.PauseTiming();
        maxLive = std::max(maxLive, livePages(*form.Pages));
        state.ResumeTiming();
      }
    }
    maxLive = std::max(maxLive, livePages(*form.Pages));
    endRss = statusMB("VmRSS");
    peakRss = statusMB("VmHWM");
  }
  state.counters["pages"] = form.AllPages();
  state.counters["box_w"] = img.width();
  state.counters["box_h"] = img.height();
  state.counters["steps"] = steps;
  state.counters["start_rss_MB"] = startRss;
  state.counters["peak_rss_MB"] = peakRss;
  state.counters["end_rss_MB"] = endRss;
  state.counters["max_live_pages"] = maxLive;
  preview.Disconnect();
}
BENCHMARK(BM_ScrollFirstToLast)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TfrPrinter::startUp(nullptr);
  TfrLZWCompressor compressor;
  compressor.setEnabled(true);

  std::vector<char*> rest{argv[0]};
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--report" && i + 1 < argc)
      g_report = argv[++i];
    else
      rest.push_back(argv[i]);
  }
  if (g_report.empty()) {
    std::fprintf(stderr, "usage: scroll_bench --report FILE.frp [benchmark flags]\n");
    return 2;
  }
  int n = int(rest.size());
  benchmark::Initialize(&n, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
