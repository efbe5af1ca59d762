// Reads a prepared object stream of add-in objects (barcode, shape, rounded
// rectangle, check box) from hostile bytes at any stream version, writes each
// object back and reads it again, and draws it at a zoom the input picks.
// Nothing may crash, hang or allocate beyond what the stream holds.
#include <QGuiApplication>
#include <cstdint>
#include <vector>

#include "addins/addins.h"
#include "model/factory.h"
#include "model/memo_view.h"
#include "model/state.h"
#include "model/view.h"
#include "platform/emf_canvas.h"
#include "platform/error.h"

namespace {

void ensureApp() {
  static int argc = 1;
  static char name[] = "fuzz_addin_records";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    auto* a = new QGuiApplication(argc, argv);
    orv::registerAddIns();
    return a;
  }();
  (void)app;
}

}  // namespace

// Input: version selector, mode bits, zoom selector, then the object stream.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ensureApp();
  if (size < 3) return 0;
  orv::ModelState& st = orv::modelState();
  const uint8_t version = static_cast<uint8_t>(21 + data[0] % 5);
  st.CurrentPage = nullptr;
  st.CurrentPages = nullptr;
  st.CurrentView = nullptr;
  st.DrawingSuppressed = (data[1] & 4) != 0;
  const double zoom = 0.25 * (1 + data[2] % 16);
  orv::MemoryStream s(std::vector<uint8_t>(data + 3, data + size));
  for (int n = 0; n < 16 && !s.atEnd(); ++n) {
    st.StreamVersion = version;
    st.Mode = orv::DocumentMode::Running;
    std::unique_ptr<orv::TfrView> v;
    try {
      v = orv::ReadPreparedObject(s);
    } catch (const orv::Error&) {
      return 0;
    }
    if (!v) return 0;

    // What was read writes back and reads again, to the byte.
    st.StreamVersion = 25;
    orv::MemoryStream out;
    v->ExpandedText = v->Memo;
    v->WriteObject(out);
    out.rewind();
    std::unique_ptr<orv::TfrView> again = orv::ReadPreparedObject(out);
    if (!again || !out.atEnd()) __builtin_trap();

    st.Mode = (data[1] & 1) ? orv::DocumentMode::Designing : orv::DocumentMode::Running;
    // Ruled lines under text are the text view's own drawing, fuzzed with it;
    // their row count is not bounded by the rounded rectangle.
    if (dynamic_cast<orv::TfrMemoView*>(v.get())) v->Flags &= ~orv::flUnderlines;
    v->ZoomX = v->ZoomY = zoom;
    v->ShiftX = (data[1] & 2) ? 7 : 0;
    orv::EmfCanvas canvas({0, 0, 2000, 2000});
    try {
      v->Draw(canvas);
    } catch (const orv::Error&) {
      // A text the symbology rejects; the rest of the page would go on.
    }
    (void)canvas.finish();
  }
  st.CurrentView = nullptr;
  return 0;
}
