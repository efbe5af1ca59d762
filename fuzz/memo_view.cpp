// Reads a text object's record from hostile bytes, in either form and at any
// stream version, then lays it out, measures it and draws it at a zoom the
// input picks. Nothing may crash, hang or allocate beyond what the record
// itself holds.
#include "model/memo_view.h"

#include <QGuiApplication>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "model/state.h"
#include "platform/error.h"

namespace {

void ensureApp() {
  static int argc = 1;
  static char name[] = "fuzz_memo_view";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QGuiApplication(argc, argv);
  }();
  (void)app;
}

}  // namespace

// Input: version selector, mode and form bits, zoom selector, then the record.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ensureApp();
  if (size < 3) return 0;
  orv::ModelState& st = orv::modelState();
  st.StreamVersion = static_cast<uint8_t>(21 + data[0] % 5);
  st.Mode = (data[1] & 1) ? orv::DocumentMode::Running : orv::DocumentMode::Designing;
  st.CurrentPage = nullptr;
  st.CurrentPages = nullptr;
  const double zoom = 0.25 * (1 + data[2] % 16);

  orv::TfrMemoView memo;
  memo.PreparedForm = (data[1] & 2) != 0;
  orv::MemoryStream s(std::vector<uint8_t>(data + 3, data + size));
  try {
    memo.LoadRecord(s);
  } catch (const orv::Error&) {
    return 0;
  }
  memo.PreparedForm = false;
  // The frame arithmetic of ApplyScale belongs to the common record and its
  // own checks; keep this target on the text layout.
  memo.FrameWidth = std::clamp(memo.FrameWidth, -1000.0f, 1000.0f);
  memo.ZoomX = memo.ZoomY = zoom;
  memo.OnPrinterCanvas = (data[1] & 4) != 0;
  memo.Draw(orv::scratchCanvas());
  memo.ExportToFilter();
  (void)memo.CalcHeight();
  (void)memo.MinLineHeight();
  (void)memo.UnusedHeight();
  return 0;
}
