// Rich-text line breaking against Qt's QTextLayout on the same paragraphs at
// the same width, in the same run. The peer is what a port would reach for:
// one QTextLayout per paragraph in the same face and size, broken into lines
// of the same width. Ours reads nothing in the loop either: both lay out
// text already in memory. Counter:
//   vs_qt  our throughput / Qt's for the same paragraphs (higher is better)
#include <benchmark/benchmark.h>
#include <time.h>

#include <QFile>
#include <QGuiApplication>
#include <QTextLayout>

#include "platform/rtf_document.h"
#include "platform/rtf_layout.h"

namespace {

using namespace orv;

double cpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// The justified sans test document, ten times over: 600 lines.
struct Fixture {
  rtf::Document doc;
  std::vector<QString> paragraphs;
  int32_t width = 9638;  // twips: A4 less 2 cm margins
  QFont font;
  Fixture() {
    // Run from the source folder, or name the file.
    QFile f(qEnvironmentVariable("ORV_RTF_BENCH_FILE",
                                 QStringLiteral("tests/data/rtf/sans_justified.rtf")));
    if (!f.open(QIODevice::ReadOnly)) return;
    const QByteArray bytes = f.readAll();
    const rtf::Document one =
        rtf::read(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size()));
    doc = one;
    for (int i = 1; i < 10; ++i)
      doc.paragraphs.insert(doc.paragraphs.end(), one.paragraphs.begin(), one.paragraphs.end());
    for (const rtf::Paragraph& p : doc.paragraphs) {
      std::u16string text;
      for (const rtf::Run& r : p.runs) text += r.text;
      paragraphs.push_back(QString::fromStdU16String(text));
    }
    // Ten points at 1440 per inch: the peer measures in twips as well.
    font = QFont(QStringLiteral("Liberation Sans"));
    font.setPixelSize(200);
    font.setHintingPreference(QFont::PreferNoHinting);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

size_t ourLines(const Fixture& f) {
  return rtf::layoutLines(f.doc, 0, {0, 0, f.width, 1 << 30}).size();
}

size_t qtLines(const Fixture& f) {
  size_t n = 0;
  for (const QString& p : f.paragraphs) {
    QTextLayout layout(p, f.font);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    while (true) {
      QTextLine line = layout.createLine();
      if (!line.isValid()) break;
      line.setLineWidth(f.width - 567 - 720);
      ++n;
    }
    layout.endLayout();
  }
  return n;
}

void BM_RtfLayout(benchmark::State& state) {
  const Fixture& f = fixture();
  double ours = 0, qt = 0;
  size_t lines = 0;
  for (auto _ : state) {
    double t0 = cpuSeconds();
    lines = ourLines(f);
    double t1 = cpuSeconds();
    benchmark::DoNotOptimize(qtLines(f));
    double t2 = cpuSeconds();
    ours += t1 - t0;
    qt += t2 - t1;
  }
  state.counters["lines"] = double(lines);
  state.counters["vs_qt"] = ours > 0 ? qt / ours : 0;
}
BENCHMARK(BM_RtfLayout)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
