// The chart view from hostile bytes: either as records of a prepared object
// stream (both forms, any stream version), written back and read again, or
// as memo lines under options the input picks; each is drawn into a
// metafile at a zoom the input picks. Nothing may crash, hang or allocate
// beyond what the input holds.
#include <QGuiApplication>
#include <QLocale>
#include <cstdint>
#include <cstring>
#include <vector>

#include "addins/addins.h"
#include "addins/chart_view.h"
#include "model/factory.h"
#include "model/state.h"
#include "platform/emf_canvas.h"
#include "platform/error.h"

namespace {

void ensureApp() {
  static int argc = 1;
  static char name[] = "fuzz_chart";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    auto* a = new QGuiApplication(argc, argv);
    orv::registerAddIns();
    return a;
  }();
  (void)app;
}

void draw(orv::TfrView& v, uint8_t zoomByte) {
  orv::modelState().Mode = orv::DocumentMode::Running;
  v.ZoomX = v.ZoomY = 0.25 * (1 + zoomByte % 16);
  orv::EmfCanvas canvas({0, 0, 3000, 3000});
  try {
    v.Draw(canvas);
  } catch (const orv::Error&) {
  }
  (void)canvas.finish();
}

void fromRecords(const uint8_t* data, size_t size, uint8_t version, uint8_t zoom) {
  orv::ModelState& st = orv::modelState();
  orv::MemoryStream s(std::vector<uint8_t>(data, data + size));
  for (int n = 0; n < 8 && !s.atEnd(); ++n) {
    st.StreamVersion = version;
    std::unique_ptr<orv::TfrView> v;
    try {
      v = orv::ReadPreparedObject(s);
    } catch (const orv::Error&) {
      return;
    }
    if (!v) return;
    // What was read writes back and reads again, to the end of its record.
    st.StreamVersion = 25;
    orv::MemoryStream out;
    v->ExpandedText = v->Memo;
    v->WriteObject(out);
    out.rewind();
    std::unique_ptr<orv::TfrView> again = orv::ReadPreparedObject(out);
    if (!again || !out.atEnd()) __builtin_trap();
    draw(*v, zoom);
  }
}

// Memo lines split at line feeds; the options from the first bytes.
void fromMemo(const uint8_t* data, size_t size, uint8_t zoom) {
  if (size < 6) return;
  orv::TfrChartView v;
  v.Options.SeriesKind = data[0] % 7;
  const uint8_t f = data[1];
  v.Options.Show3D = f & 1;
  v.Options.SingleSeries = f & 2;
  v.Options.LegendVisible = f & 4;
  v.Options.AxesVisible = f & 8;
  v.Options.MarksVisible = f & 16;
  v.Options.PointColors = f & 32;
  v.Options.MarksKind = data[2] % 6;
  v.Options.TopCount = int8_t(data[3]);
  v.Width = 20 + data[4] * 4;
  v.Height = 20 + data[5] * 3;
  if (f & 64) v.OthersLabel = "Outros";
  if (f & 128) v.FillColor = orv::rgb(data[4], data[5], 200);
  std::string line;
  for (size_t i = 6; i < size; ++i) {
    if (data[i] == '\n') {
      v.Memo.push_back(line);
      line.clear();
    } else {
      line += char(data[i]);
    }
  }
  v.Memo.push_back(line);
  draw(v, zoom);
  // The prepared record of what was drawn reads back.
  orv::modelState().StreamVersion = 25;
  orv::MemoryStream out;
  v.ExpandedText = v.Memo;
  v.WriteObject(out);
  out.rewind();
  if (!orv::ReadPreparedObject(out) || !out.atEnd()) __builtin_trap();
}

}  // namespace

// Input: mode and version byte, zoom byte, then the records or the memo.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ensureApp();
  if (size < 2) return 0;
  orv::ModelState& st = orv::modelState();
  st.CurrentPage = nullptr;
  st.CurrentPages = nullptr;
  st.CurrentView = nullptr;
  // Both separator conventions of the parser.
  QLocale::setDefault((data[0] & 0x40) ? QLocale(QLocale::Portuguese, QLocale::Brazil)
                                       : QLocale::c());
  if (data[0] & 0x80)
    fromMemo(data + 2, size - 2, data[1]);
  else
    fromRecords(data + 2, size - 2, uint8_t(21 + data[0] % 5), data[1]);
  st.CurrentView = nullptr;
  return 0;
}
