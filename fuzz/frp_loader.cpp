// Loads arbitrary bytes as a ".frp" file, then builds and draws every page
// that loaded into a metafile: the whole road of a hostile file.
#include <QGuiApplication>
#include <cstdint>

#include "addins/addins.h"
#include "engine/tfr_report.h"
#include "platform/emf_canvas.h"
#include "prepared/compressor.h"
#include "printing/tfr_printer.h"

namespace {
struct Setup {
  Setup() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    app = new QGuiApplication(argc, argv);
    orv::TfrPrinter::startUp(nullptr);
    orv::registerAddIns();
    compressor.setEnabled(true);
  }
  QGuiApplication* app;
  orv::TfrLZWCompressor compressor;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  orv::TfrReport report;
  orv::MemoryStream s(std::vector<uint8_t>(data, data + size));
  try {
    report.EMFPages.LoadFromStream(s);
  } catch (const orv::Error&) {
    return 0;
  }
  for (int i = 0; i < report.EMFPages.Count() && i < 4; ++i) {
    orv::PreparedPage& e = report.EMFPages.Entry(i);
    const orv::Rect area{0, 0, std::min(e.PrinterInfo.PaperWidthPx, 2000),
                         std::min(e.PrinterInfo.PaperHeightPx, 2000)};
    try {
      orv::EmfCanvas canvas(area);
      e.Visible = 1;
      report.EMFPages.Draw(i, canvas, area);
      canvas.finish();
    } catch (const orv::Error&) {
    }
  }
  orv::MemoryStream out;
  report.EMFPages.SaveToStream(out);
  return 0;
}
