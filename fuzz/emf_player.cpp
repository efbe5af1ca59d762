// EMF player and text-record enumeration: any bytes either play or raise
// orv::Error, on a small raster canvas and on the metafile recorder, without
// crashing, hanging or allocating beyond what the input justifies; the
// canvas's own state is the same after playback as before.
#include "platform/emf_player.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <span>

#include "platform/emf_canvas.h"
#include "platform/error.h"
#include "platform/qt_canvas.h"

namespace {

void ensureApp() {
  static int argc = 1;
  static char name[] = "fuzz_emf_player";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QGuiApplication(argc, argv);
  }();
  (void)app;
}

void playChecked(std::span<const uint8_t> bytes, orv::Canvas& c, const orv::Rect& dest) {
  const orv::PenSpec pen = c.pen();
  const orv::FontSpec font = c.font();
  try {
    orv::playMetafile(bytes, c, dest);
  } catch (const orv::Error&) {
  }
  if (!(c.pen() == pen) || !(c.font() == font) || c.state().clip) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ensureApp();
  const std::span<const uint8_t> bytes(data, size);
  try {
    (void)orv::metafileSize(bytes);
  } catch (const orv::Error&) {
  }
  {
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    orv::QtCanvas c(&painter, {0, 0, 64, 48});
    playChecked(bytes, c, {2, 3, 62, 45});
  }
  {
    orv::EmfCanvas c({0, 0, 200, 100});
    playChecked(bytes, c, {0, 0, 200, 100});
    const std::vector<uint8_t> out = c.finish();
    // What the recorder wrote is a well-formed metafile of its own.
    try {
      orv::enumerateTextRuns(out);
    } catch (const orv::Error&) {
      __builtin_trap();
    }
  }
  try {
    size_t last = 0;
    bool first = true;
    orv::forEachTextRun(bytes, [&](const orv::EmfTextRun& run) {
      if (!first && run.recordIndex <= last) __builtin_trap();
      first = false;
      last = run.recordIndex;
      return true;
    });
  } catch (const orv::Error&) {
  }
  return 0;
}
