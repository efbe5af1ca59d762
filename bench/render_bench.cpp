// In-process drawing of prepared reports: one dense page into an image, every
// page of a large report into metafiles, and opening a report up to its first
// painted page in the preview. The peers (mupdf drawing the PDF this program
// writes for the same report) run in bench/run_peers.sh, which prints ratios.
//
//   render_bench --report FILE.frp --page N [benchmark flags]
//   render_bench --densest FILE.frp   prints the page (1-based) with most bytes
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/tfr_report.h"
#include "model/printer_info.h"
#include "platform/emf_canvas.h"
#include "platform/emf_player.h"
#include "platform/qt_canvas.h"
#include "prepared/compressor.h"
#include "prepared/emf_pages.h"
#include "prepared/page_search.h"
#include "prepared/search_cache.h"
#include "preview/preview.h"
#include "printing/tfr_printer.h"

namespace {

using namespace orv;

std::string g_report;
int g_page = 1;

int roundHalfEven(double v) {
  return int(std::nearbyint(v));
}

// The report stays loaded across iterations so that only drawing is timed.
TfrReport& loadedReport() {
  static TfrReport* report = [] {
    auto* r = new TfrReport;
    r->LoadPreparedReport(g_report);
    return r;
  }();
  return *report;
}

// Draws a page the way `frptool render` and the preview do: objects are built
// from the page's stream on every draw and released afterwards.
void drawIntoImage(TfrEMFPages& pages, int index, QImage& img) {
  img.fill(Qt::white);
  QPainter painter(&img);
  const Rect r{0, 0, img.width(), img.height()};
  QtCanvas canvas(&painter, r);
  PreparedPage& e = pages.Entry(index);
  e.Visible = 1;
  pages.Draw(index, canvas, pageTargetRect(e, r, 1.0));
  e.Visible = 0;
  e.ReleaseObjects();
}

void BM_RenderDensePage(benchmark::State& state) {
  TfrEMFPages& pages = loadedReport().EMFPages;
  const int index = g_page - 1;
  const PrinterInfo& info = pages.Entry(index).Format().PrinterInfo;
  for (auto _ : state) {
    QImage img(roundHalfEven(info.PaperWidthPx), roundHalfEven(info.PaperHeightPx),
               QImage::Format_RGB32);
    drawIntoImage(pages, index, img);
    benchmark::DoNotOptimize(img.constBits());
  }
  state.counters["width"] = roundHalfEven(info.PaperWidthPx);
  state.counters["height"] = roundHalfEven(info.PaperHeightPx);
}
BENCHMARK(BM_RenderDensePage)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Every page built and recorded into a metafile of its own size, as the
// search and the metafile export do.
void BM_AllPagesToEmf(benchmark::State& state) {
  TfrEMFPages& pages = loadedReport().EMFPages;
  size_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    for (int i = 0; i < pages.Count(); ++i) {
      PreparedPage& e = pages.Entry(i);
      const Rect area{0, 0, e.Format().PrinterInfo.PaperWidthPx,
                      e.Format().PrinterInfo.PaperHeightPx};
      EmfCanvas canvas(area);
      e.Visible = 1;
      pages.Draw(i, canvas, area);
      bytes += canvas.finish().size();
      e.Visible = 0;
      e.ReleaseObjects();
    }
  }
  state.counters["pages"] = pages.Count();
  state.counters["emf_MB"] = double(bytes) / (1 << 20);
  state.counters["us_per_page"] = benchmark::Counter(
      double(pages.Count()) * 1e-6,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_AllPagesToEmf)->Unit(benchmark::kMillisecond)->Iterations(3);

// Opening a report as the viewer does: read the file, hand the pages to the
// preview, lay them out and paint what the preview's page area shows.
void BM_OpenAndPaintFirstPage(benchmark::State& state) {
  // The viewer window exists before a file is opened; only opening is timed.
  TfrPreview preview;
  preview.resize(1000, 800);
  preview.show();
  QApplication::processEvents();
  TfrPreviewForm& form = *preview.form();
  lastZoom() = {1.0, zmCustom};
  {
    // A first open lets the page area take its final size.
    TfrReport warm;
    warm.LoadPreparedReport(g_report);
    preview.Connect(&warm);
    QApplication::processEvents();
    preview.Disconnect();
  }
  for (auto _ : state) {
    auto report = std::make_unique<TfrReport>();
    report->LoadPreparedReport(g_report);
    lastZoom() = {1.0, zmCustom};
    preview.Connect(report.get());  // takes the pages over and lays them out
    QImage img(form.PBox->size(), QImage::Format_RGB32);
    {
      QPainter painter(&img);
      form.Paint(painter, QRegion(img.rect()));
    }
    benchmark::DoNotOptimize(img.constBits());
    state.PauseTiming();
    preview.Disconnect();
    report.reset();
    state.ResumeTiming();
  }
  state.counters["pages"] = form.AllPages();
}
BENCHMARK(BM_OpenAndPaintFirstPage)->Unit(benchmark::kMillisecond)->Iterations(5);

// Searching every page for a text that is on none, as F3 does after the find
// dialog: the search as it was before the cache (every page drawn, each run
// upper-cased into a new string), the first search that fills a cache, and
// the same search again with it.
constexpr const char* kAbsent = "QXZJWKVQ";

bool searchAbsent(TfrEMFPages& pages, SearchCache* cache) {
  SearchState st;
  beginSearch(st, kAbsent, false);
  return FindNext(pages, st, {}, cache);
}

bool searchAbsentAsBefore(TfrEMFPages& pages) {
  const std::string needle = searchUpper(kAbsent);
  for (int i = 0; i < pages.Count(); ++i) {
    PreparedPage& e = pages.Entry(i);
    const Rect area{0, 0, e.Format().PrinterInfo.PaperWidthPx,
                    e.Format().PrinterInfo.PaperHeightPx};
    std::vector<uint8_t> emf;
    {
      EmfCanvas canvas(area);
      e.Visible = 1;
      pages.Draw(i, canvas, area);
      emf = canvas.finish();
    }
    bool found = false;
    forEachTextRun(emf, [&](const EmfTextRun& run) {
      const std::string text = searchUpper(run.text);
      found = text.find(needle) != std::string::npos;
      return !found;
    });
    e.Visible = 0;
    e.ReleaseObjects();
    if (found) return true;
  }
  return false;
}

void BM_SearchAbsentAsBefore(benchmark::State& state) {
  TfrEMFPages& pages = loadedReport().EMFPages;
  for (auto _ : state) benchmark::DoNotOptimize(searchAbsentAsBefore(pages));
  state.counters["pages"] = pages.Count();
}
BENCHMARK(BM_SearchAbsentAsBefore)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_SearchAbsentFirst(benchmark::State& state) {
  TfrEMFPages& pages = loadedReport().EMFPages;
  size_t bytes = 0;
  for (auto _ : state) {
    SearchCache cache;
    benchmark::DoNotOptimize(searchAbsent(pages, &cache));
    bytes = cache.bytes();
    state.PauseTiming();
    cache.clear();
    state.ResumeTiming();
  }
  state.counters["cache_MB"] = double(bytes) / (1 << 20);
}
BENCHMARK(BM_SearchAbsentFirst)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_SearchAbsentRepeated(benchmark::State& state) {
  TfrEMFPages& pages = loadedReport().EMFPages;
  SearchCache cache;
  searchAbsent(pages, &cache);
  for (auto _ : state) benchmark::DoNotOptimize(searchAbsent(pages, &cache));
  state.counters["cache_MB"] = double(cache.bytes()) / (1 << 20);
}
BENCHMARK(BM_SearchAbsentRepeated)->Unit(benchmark::kMillisecond)->Iterations(3);

// Page with the largest object stream: the densest one to draw.
int densestPage(const std::string& file) {
  TfrReport report;
  report.LoadPreparedReport(file);
  int best = 0;
  size_t bestSize = 0;
  for (int i = 0; i < report.EMFPages.Count(); ++i) {
    const size_t n = report.EMFPages.Entry(i).ObjectsSize();
    if (n > bestSize) bestSize = n, best = i;
  }
  return best + 1;
}

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
    if (a == "--densest" && i + 1 < argc) {
      std::printf("%d\n", densestPage(argv[i + 1]));
      return 0;
    }
    if (a == "--report" && i + 1 < argc)
      g_report = argv[++i];
    else if (a == "--page" && i + 1 < argc)
      g_page = std::atoi(argv[++i]);
    else
      rest.push_back(argv[i]);
  }
  if (g_report.empty()) {
    std::fprintf(stderr, "usage: render_bench --report FILE.frp [--page N] [benchmark flags]\n");
    return 2;
  }
  int n = int(rest.size());
  benchmark::Initialize(&n, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
