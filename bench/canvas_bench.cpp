// Text measuring and painting through the canvas against Qt's own text
// functions on the same strings, in the same run. The peers are what a port
// would call without our layer: QFontMetrics::horizontalAdvance for
// measuring, QPainter::drawText for painting. Counter:
//   vs_qt  our throughput / Qt's for the same work (higher is better)
#include <benchmark/benchmark.h>
#include <time.h>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/fonts.h"
#include "platform/qt_canvas.h"

namespace {

using namespace orv;

double cpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// Lines like those of a report: names, amounts, dates, accented words.
std::vector<std::string> reportLines() {
  std::vector<std::string> lines;
  const char* words[] = {
      "Relat\xF3rio", "de",     "vendas", "por",        "regi\xE3o", "Total",   "R$",
      "1.234,56",     "S\xE3o", "Paulo",  "08/12/2026", "Cliente",   "Jo\xE3o", "Concei\xE7\xE3o",
      "n\xBA",        "12345"};
  uint32_t seed = 12345;
  for (int i = 0; i < 400; ++i) {
    std::string line;
    int n = 3 + int(seed % 9);
    for (int w = 0; w < n; ++w) {
      seed = seed * 1103515245u + 12345u;
      if (!line.empty()) line += ' ';
      line += words[(seed >> 16) % std::size(words)];
    }
    lines.push_back(line);
  }
  return lines;
}

struct Fixture {
  std::vector<std::string> lines = reportLines();
  std::vector<QString> unicode;
  QImage image{800, 600, QImage::Format_RGB32};
  FontSpec spec;
  Fixture() {
    for (const std::string& l : lines) unicode.push_back(decodeBytes(l, 1252));
    spec.height = -13;
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

double measureOurs(int rounds) {
  Fixture& f = fixture();
  QPainter painter(&f.image);
  QtCanvas canvas(&painter, {0, 0, 800, 600});
  canvas.setFont(f.spec);
  int64_t sum = 0;
  double t0 = cpuSeconds();
  for (int r = 0; r < rounds; ++r) {
    for (const std::string& l : f.lines) sum += canvas.textWidth(l);
  }
  benchmark::DoNotOptimize(sum);
  return cpuSeconds() - t0;
}

double measureQt(int rounds) {
  Fixture& f = fixture();
  QFontMetrics fm(scaledFont(f.spec).qfont());
  int64_t sum = 0;
  double t0 = cpuSeconds();
  for (int r = 0; r < rounds; ++r) {
    for (const QString& l : f.unicode) sum += fm.horizontalAdvance(l);
  }
  benchmark::DoNotOptimize(sum);
  return cpuSeconds() - t0;
}

double paintOurs(int rounds) {
  Fixture& f = fixture();
  QPainter painter(&f.image);
  QtCanvas canvas(&painter, {0, 0, 800, 600});
  canvas.setFont(f.spec);
  canvas.setBkMode(BkMode::Transparent);
  double t0 = cpuSeconds();
  for (int r = 0; r < rounds; ++r) {
    int y = 0;
    for (const std::string& l : f.lines) {
      canvas.textOut(10, y, l);
      y = (y + 15) % 580;
    }
  }
  return cpuSeconds() - t0;
}

double paintQt(int rounds) {
  Fixture& f = fixture();
  QPainter painter(&f.image);
  painter.setFont(scaledFont(f.spec).qfont());
  double t0 = cpuSeconds();
  for (int r = 0; r < rounds; ++r) {
    int y = 0;
    for (const QString& l : f.unicode) {
      painter.drawText(QPointF(10, y + 12), l);
      y = (y + 15) % 580;
    }
  }
  return cpuSeconds() - t0;
}

void BM_MeasureLines(benchmark::State& state) {
  double ours = 0, qt = 0;
  for (auto _ : state) {
    ours += measureOurs(10);
    qt += measureQt(10);
  }
  state.counters["vs_qt"] = ours > 0 ? qt / ours : 0;
}
BENCHMARK(BM_MeasureLines)->Unit(benchmark::kMillisecond);

void BM_PaintLines(benchmark::State& state) {
  double ours = 0, qt = 0;
  for (auto _ : state) {
    ours += paintOurs(1);
    qt += paintQt(1);
  }
  state.counters["vs_qt"] = ours > 0 ? qt / ours : 0;
}
BENCHMARK(BM_PaintLines)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
