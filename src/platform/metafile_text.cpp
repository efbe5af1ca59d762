// Text output: fonts on the device, code pages and character spacing.
#include <numbers>

#include "platform/codepage.h"
#include "platform/metafile_player.h"

namespace orv::metafile {

// Character sets tried, in order, when a Unicode text does not fit the code
// page of its font: the 8-bit canvas then draws it in a page that holds it.
constexpr uint8_t kFallbackCharsets[] = {0, 238, 204, 161, 162, 186, 177, 178, 163, 222};

bool encodesWithoutLoss(QStringView text, const std::string& bytes) {
  if (bytes.size() != size_t(text.size())) return false;
  for (size_t i = 0; i < bytes.size(); ++i)
    if (bytes[i] == '?' && text[qsizetype(i)] != u'?') return false;
  return true;
}

// The character extra, and the justification with the number of blanks it is
// spread over, that turn the canvas's own advances into the recorded ones;
// `whole` is false when none do.
struct Spacing {
  bool whole = true;
  int32_t extra = 0;
  int32_t breaks = 0;
  int64_t justify = 0;
};

Spacing fitSpacing(const std::string& bytes, const std::vector<int32_t>& adv,
                   const std::vector<int32_t>& natural) {
  Spacing s;
  bool& whole = s.whole;
  int32_t &extra = s.extra, &breaks = s.breaks;
  int64_t& justify = s.justify;
  if (!adv.empty()) {
    const uint8_t breakChar = 0x20;
    std::optional<int32_t> common;
    for (size_t i = 0; i < adv.size(); ++i)
      if (uint8_t(bytes[i]) != breakChar) {
        common = adv[i] - natural[i];
        break;
      }
    extra = common.value_or(adv[0] - natural[0]);
    std::vector<int32_t> shares;
    for (size_t i = 0; i < adv.size() && whole; ++i) {
      const int32_t d = adv[i] - natural[i] - extra;
      if (uint8_t(bytes[i]) == breakChar) {
        shares.push_back(d);
        justify += d;
      } else if (d != 0) {
        whole = false;
      }
    }
    if (whole && justify != 0) {
      // The justification may cover all the blanks or only the first ones.
      auto matches = [&](int32_t count) {
        const int64_t share = justify / count;
        int64_t rest = justify % count;
        const int64_t step = rest < 0 ? -1 : 1;
        for (int32_t i = 0; i < int32_t(shares.size()); ++i) {
          int64_t want = 0;
          if (i < count) {
            want = share;
            if (rest != 0) want += step, rest -= step;
          }
          if (shares[size_t(i)] != want) return false;
        }
        return true;
      };
      int32_t used = 0;
      for (int32_t i = 0; i < int32_t(shares.size()); ++i)
        if (shares[size_t(i)] != 0) used = i + 1;
      breaks = 0;
      for (int32_t count : {int32_t(shares.size()), used})
        if (count > 0 && !breaks && matches(count)) breaks = count;
      whole = breaks != 0 && std::abs(justify) <= kMaxCoord;
    }
  }
  return s;
}

// -- text --

void Player::text(DPoint ref, std::string bytes, const QString* unicode, uint8_t charset,
                  std::span<const int32_t> dxLogical, uint32_t options,
                  const std::optional<Rect>& rect, bool useCurrent) {
  FontSpec font = deviceFont();
  font.charset = charset;
  if (unicode) {
    // Unicode text goes out in the font's page or, when that page lacks some
    // of its characters, in the first page that holds them all.
    bytes = encodeText(*unicode, codePageForFont(font.face, charset));
    if (!encodesWithoutLoss(*unicode, bytes)) {
      for (uint8_t cs : kFallbackCharsets) {
        std::string alt = encodeText(*unicode, codePageForFont(font.face, cs));
        if (encodesWithoutLoss(*unicode, alt)) {
          bytes = std::move(alt);
          font.charset = cs;
          break;
        }
      }
    }
  }
  count(bytes.size() + 1);
  applyClip();
  target_.setFont(font);
  target_.setTextColor(dc_.textColor);
  target_.setBkMode(dc_.bkMode);
  target_.setBkColor(dc_.bkColor);
  target_.setTextCharacterExtra(0);
  target_.setTextJustification(0, 0);

  const std::vector<int32_t> natural = target_.charAdvances(bytes);
  std::vector<int32_t> adv = natural;
  if (!dxLogical.empty() && dxLogical.size() == bytes.size()) {
    const double s = scaleX();
    double sum = 0;
    int32_t prev = 0;
    for (size_t i = 0; i < adv.size(); ++i) {
      sum += dxLogical[i];
      const int32_t at = toDevice(sum * s);
      adv[i] = at - prev;
      prev = at;
    }
  } else if (wmf_ && dc_.charExtra != 0) {
    const int32_t extra = toDevice(dc_.charExtra * scaleX());
    for (int32_t& a : adv) a += extra;
  }
  int64_t width = 0;
  for (int32_t a : adv) width += a;

  const TextMetrics tm = target_.textMetrics();
  const DPoint origin = dev(useCurrent ? dc_.current : ref);
  double ox = 0, oy = 0;
  const uint32_t horz = dc_.textAlign & TA_HORZMASK;
  if (horz == TA_RIGHT) ox = -double(width);
  if (horz == TA_CENTER) ox = -double(width) / 2;
  const uint32_t vert = dc_.textAlign & TA_VERTMASK;
  if (vert == TA_BASELINE) oy = -tm.ascent;
  if (vert == TA_BOTTOM) oy = -tm.height;
  const double ang = font.escapement / 10.0 * std::numbers::pi / 180;
  const double ca = std::cos(ang), sa = std::sin(ang);
  auto along = [&](double u, double v) {
    return DPoint{origin.x + u * ca + v * sa, origin.y - u * sa + v * ca};
  };
  const Point topLeft = toPoint(along(ox, oy));

  uint32_t flags = 0;
  if (options & ETO_RTLREADING) flags |= etoRtlReading;
  Rect clip;
  if (rect && (options & (ETO_OPAQUE | ETO_CLIPPED))) {
    clip = devRect(rect->left, rect->top, rect->right, rect->bottom);
    if (options & ETO_OPAQUE) flags |= etoOpaque;
    if (options & ETO_CLIPPED) flags |= etoClipped;
  }
  const Rect* clipPtr = (flags & (etoOpaque | etoClipped)) ? &clip : nullptr;

  // The canvas spaces characters by its own advances plus the character
  // extra and the justification; when the recorded advances are exactly
  // that, the text goes out in one piece, otherwise character by character.
  const Spacing fit = fitSpacing(bytes, adv, natural);
  const bool whole = fit.whole;
  const int32_t extra = fit.extra, breaks = fit.breaks;
  const int64_t justify = fit.justify;
  if (whole) {
    target_.setTextCharacterExtra(extra);
    if (justify != 0) target_.setTextJustification(int32_t(justify), breaks);
    target_.textOut(topLeft.x, topLeft.y, bytes, clipPtr, flags);
  } else {
    if (flags & etoOpaque) {
      target_.setBrush(BrushSpec{dc_.bkColor, BrushStyle::Solid});
      target_.fillRect(clip);
      flags &= ~uint32_t(etoOpaque);
      clipPtr = (flags & etoClipped) ? &clip : nullptr;
    }
    int64_t at = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
      const Point p = toPoint(along(ox + double(at), oy));
      target_.textOut(p.x, p.y, std::string_view(bytes).substr(i, 1), clipPtr, flags);
      at += adv[i];
    }
  }
  target_.setTextCharacterExtra(0);
  target_.setTextJustification(0, 0);
  if (useCurrent) {
    const double s = scaleX();
    if (s > 0) dc_.current.x += double(width) / s;
  }
}

}  // namespace orv::metafile
