// Loads arbitrary bytes as a ".frp" file, then builds and draws every page
// that loaded into a metafile: the whole road of a hostile file. A file the
// full check refuses is loaded again with its pages left to their first use,
// so that damaged pages are also met while drawing and saving.
#include <cstdint>

#include "engine/tfr_report.h"
#include "fuzz_app.h"
#include "platform/emf_canvas.h"
#include "prepared/compressor.h"

namespace {
struct Setup {
  Setup() {
    orv::fuzz::startUp();
    compressor.setEnabled(true);
  }
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
    orv::MemoryStream again(std::vector<uint8_t>(data, data + size));
    try {
      report.EMFPages.LoadFromStream(again, orv::PageCheck::OnUse);
    } catch (const orv::Error&) {
      return 0;
    }
  }
  for (int i = 0; i < report.EMFPages.Count() && i < 4; ++i) {
    orv::PreparedPage& e = report.EMFPages.Entry(i);
    const orv::Rect area{0, 0, std::min(e.Format().PrinterInfo.PaperWidthPx, 2000),
                         std::min(e.Format().PrinterInfo.PaperHeightPx, 2000)};
    try {
      orv::EmfCanvas canvas(area);
      e.Visible = 1;
      report.EMFPages.Draw(i, canvas, area);
      canvas.finish();
    } catch (const orv::Error&) {
    }
  }
  orv::MemoryStream out;
  try {
    report.EMFPages.SaveToStream(out);
  } catch (const orv::Error&) {
    // Only a page left unchecked can fail here.
  }
  return 0;
}
