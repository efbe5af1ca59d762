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

MetafileKind metafileKind(std::span<const uint8_t> b) {
  if (b.size() >= 44 && le32(b, 0) == EMR_HEADER && le32(b, 40) == kSignature)
    return MetafileKind::Emf;
  if (b.size() >= 4 && le32(b, 0) == wmf::kPlaceableKey) return MetafileKind::PlaceableWmf;
  if (b.size() >= wmf::kHeaderSize) {
    const uint16_t type = le16(b, 0), words = le16(b, 2), version = le16(b, 4);
    if ((type == 1 || type == 2) && words == 9 && (version == 0x0100 || version == 0x0300))
      return MetafileKind::Wmf;
  }
  return MetafileKind::Unknown;
}

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
      if (b.size() < 40) fail("enhanced metafile header is truncated");
      const double l = int32_t(le32(b, 24)), t = int32_t(le32(b, 28));
      const double r = int32_t(le32(b, 32)), bt = int32_t(le32(b, 36));
      if (r > l && bt > t) return {roundEven((r - l) * 96 / 2540), roundEven((bt - t) * 96 / 2540)};
      // No frame: the bounds, in the reference device's pixels.
      const double bl = int32_t(le32(b, 8)), btp = int32_t(le32(b, 12));
      const double br = int32_t(le32(b, 16)), bb = int32_t(le32(b, 20));
      return {roundEven(std::max(0.0, br - bl + 1)), roundEven(std::max(0.0, bb - btp + 1))};
    }
    case MetafileKind::PlaceableWmf: {
      if (b.size() < wmf::kPlaceableSize) fail("placeable header is truncated");
      const double l = int16_t(le16(b, 6)), t = int16_t(le16(b, 8));
      const double r = int16_t(le16(b, 10)), bt = int16_t(le16(b, 12));
      const uint16_t inch = le16(b, 14);
      if (inch == 0) fail("placeable header has no units per inch");
      return {roundEven(std::abs(r - l) * 96 / inch), roundEven(std::abs(bt - t) * 96 / inch)};
    }
    case MetafileKind::Wmf: {
      for (size_t p = wmf::kHeaderSize; b.size() - p >= 6;) {
        const uint32_t words = le32(b, p);
        const uint16_t fn = le16(b, p + 4);
        if (words < 3 || words > (b.size() - p) / 2 || fn == wmf::META_EOF) break;
        if (fn == wmf::META_SETWINDOWEXT && words >= 5)
          return {std::abs(int16_t(le16(b, p + 8))), std::abs(int16_t(le16(b, p + 6)))};
        p += size_t(words) * 2;
      }
      return {};
    }
    case MetafileKind::Unknown:
      break;
  }
  fail("neither an enhanced nor a Windows metafile");
}

}  // namespace orv
