// Reads picture, band, sub-report and line records from hostile bytes, in
// either form and at any stream version, writes them back, reads that again
// and draws the object at a zoom the input picks. Nothing may crash, hang or
// allocate beyond what the record itself holds.
#include <QGuiApplication>
#include <cstdint>
#include <vector>

#include "model/factory.h"
#include "model/state.h"
#include "model/views.h"
#include "platform/emf_canvas.h"
#include "platform/error.h"

namespace {

void ensureApp() {
  static int argc = 1;
  static char name[] = "fuzz_view_record";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QGuiApplication(argc, argv);
  }();
  (void)app;
}

}  // namespace

// Input: version selector, mode and form bits, object type (1 to 4), zoom
// selector, then the record.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ensureApp();
  if (size < 4) return 0;
  orv::ModelState& st = orv::modelState();
  st.StreamVersion = static_cast<uint8_t>(21 + data[0] % 5);
  st.Mode = (data[1] & 1) ? orv::DocumentMode::Running : orv::DocumentMode::Designing;
  st.CurrentPage = nullptr;
  st.CurrentPages = nullptr;
  const uint8_t code = static_cast<uint8_t>(1 + data[2] % 4);
  const double zoom = 0.25 * (1 + data[3] % 16);

  std::unique_ptr<orv::TfrView> v = orv::CreateReportObject(code, "");
  v->PreparedForm = (data[1] & 2) != 0;
  orv::MemoryStream s(std::vector<uint8_t>(data + 4, data + size));
  try {
    v->LoadRecord(s);
  } catch (const orv::Error&) {
    return 0;
  }
  // What was read must write back and read again.
  orv::MemoryStream out;
  v->ExpandedText = v->Memo;
  v->SaveRecord(out);
  out.rewind();
  st.StreamVersion = 25;
  std::unique_ptr<orv::TfrView> again = orv::CreateReportObject(code, "");
  again->PreparedForm = v->PreparedForm;
  again->LoadRecord(out);
  if (!out.atEnd()) __builtin_trap();

  v->ZoomX = v->ZoomY = zoom;
  v->OnPrinterCanvas = (data[1] & 4) != 0;
  orv::EmfCanvas canvas({0, 0, 2000, 2000});
  v->Draw(canvas);
  (void)v->SelectionRegion(true);
  (void)canvas.finish();
  return 0;
}
