#include "platform/emf_player.h"
#include "platform/metafile_player.h"

namespace orv {
namespace {

using namespace metafile;

// Restores the canvas whatever happens during playback.
class SavedCanvas {
 public:
  explicit SavedCanvas(Canvas& c) : c_(c) { c_.save(); }
  ~SavedCanvas() { c_.restore(); }
  SavedCanvas(const SavedCanvas&) = delete;
  SavedCanvas& operator=(const SavedCanvas&) = delete;

 private:
  Canvas& c_;
};

}  // namespace

void playMetafile(std::span<const uint8_t> bytes, Canvas& target, const Rect& dest) {
  const MetafileKind kind = metafileKind(bytes);
  if (kind == MetafileKind::Unknown) fail("neither an enhanced nor a Windows metafile");
  SavedCanvas guard(target);
  // The second level is the one the player narrows its clip in.
  SavedCanvas clipLevel(target);
  Player player(target, dest);
  if (kind == MetafileKind::Emf) {
    player.playEmf(bytes);
  } else {
    player.playWmf(bytes, kind == MetafileKind::PlaceableWmf);
  }
}

void stretchDrawMetafile(std::span<const uint8_t> bytes, Canvas& target, const Rect& rect) {
  Rect inner = rect;
  if (int64_t(inner.right) - inner.left > 1) --inner.right;
  if (int64_t(inner.bottom) - inner.top > 1) --inner.bottom;
  playMetafile(bytes, target, inner);
}

Size metafileSize(std::span<const uint8_t> b) {
  switch (metafileKind(b)) {
    case MetafileKind::Emf: {
      const EmfHeader h = decodeEmfFrame(b);
      const double l = h.frame.left, t = h.frame.top, r = h.frame.right, bt = h.frame.bottom;
      if (r > l && bt > t) return {roundEven((r - l) * 96 / 2540), roundEven((bt - t) * 96 / 2540)};
      // No frame: the bounds, in the reference device's pixels.
      const double bl = h.bounds.left, btp = h.bounds.top;
      const double br = h.bounds.right, bb = h.bounds.bottom;
      return {roundEven(std::max(0.0, br - bl + 1)), roundEven(std::max(0.0, bb - btp + 1))};
    }
    case MetafileKind::PlaceableWmf: {
      const WmfPlaceable p = decodeWmfPlaceable(b);
      const double l = p.box.left, t = p.box.top, r = p.box.right, bt = p.box.bottom;
      if (p.unitsPerInch == 0) fail("placeable header has no units per inch");
      return {roundEven(std::abs(r - l) * 96 / p.unitsPerInch),
              roundEven(std::abs(bt - t) * 96 / p.unitsPerInch)};
    }
    case MetafileKind::Wmf: {
      const WmfWindow w = scanWmfWindow(b, wmf::kHeaderSize);
      if (w.extent) return {int32_t(std::abs(w.extent->x)), int32_t(std::abs(w.extent->y))};
      return {};
    }
    case MetafileKind::Unknown:
      break;
  }
  fail("neither an enhanced nor a Windows metafile");
}

}  // namespace orv
