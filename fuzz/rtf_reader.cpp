// Reads hostile RTF, writes it and reads it again: the model must come back
// unchanged and write the same bytes. Then lays the text out into a small
// area the input's first bytes pick, measuring from a start character and
// drawing into a metafile, and replaces its fields. Nothing may crash, hang
// or allocate beyond what the input justifies.
#include <QGuiApplication>
#include <cstdint>
#include <string>

#include "platform/emf_canvas.h"
#include "platform/error.h"
#include "platform/rtf_document.h"
#include "platform/rtf_layout.h"

namespace {

void ensureApp() {
  static int argc = 1;
  static char name[] = "fuzz_rtf_reader";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QGuiApplication(argc, argv);
  }();
  (void)app;
}

}  // namespace

// Input: area width, area height and start selectors, then the RTF.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ensureApp();
  if (size < 3) return 0;
  const orv::rtf::Document doc = orv::rtf::read(std::span(data + 3, size - 3));
  const std::string written = orv::rtf::write(doc);
  const orv::rtf::Document again = orv::rtf::read(written);
  if (!(again == doc)) __builtin_trap();
  if (orv::rtf::write(again) != written) __builtin_trap();

  const orv::Rect area{0, 0, 60 * (1 + data[0]), 40 * (1 + data[1])};
  const int32_t length = doc.length();
  const int32_t start = length > 0 ? data[2] % (length + 1) : 0;
  const orv::rtf::FormatResult measured = orv::rtf::formatRange(doc, start, area);
  if (measured.nextChar < start || measured.nextChar > length) __builtin_trap();
  orv::EmfCanvas canvas({0, 0, 400, 300});
  const orv::rtf::FormatResult drawn =
      orv::rtf::formatRange(doc, start, area, &canvas, {10, 10, 390, 290});
  if (drawn.nextChar != measured.nextChar) __builtin_trap();
  (void)canvas.finish();

  // Fields replaced by values that hold paragraph marks, line breaks and
  // fields of their own: the result still writes and reads back unchanged.
  orv::rtf::Document fields = doc;
  try {
    fields.replaceFields(
        [](std::u16string_view inner) {
          return inner.size() % 3 == 0 ? std::u16string(u"a\r\nb\nc") : std::u16string(u"[z]");
        },
        (data[2] & 1) != 0, uint8_t(204), 50);
  } catch (const orv::Error&) {
    // Values that keep producing fields.
  }
  if (!(orv::rtf::read(orv::rtf::write(fields)) == fields)) __builtin_trap();
  return 0;
}
