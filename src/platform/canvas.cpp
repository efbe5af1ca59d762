#include "platform/canvas.h"

#include <QRect>
#include <algorithm>
#include <climits>

#include "platform/fonts.h"

namespace orv {
namespace {

// Clip rectangles come from files too: keep them to a range where QRect's
// width and height cannot overflow.
QRect toQRect(const Rect& r) {
  constexpr int64_t kLimit = int64_t(1) << 29;
  int64_t l = std::clamp<int64_t>(r.left, -kLimit, kLimit);
  int64_t t = std::clamp<int64_t>(r.top, -kLimit, kLimit);
  int64_t rr = std::clamp<int64_t>(r.right, -kLimit, kLimit);
  int64_t b = std::clamp<int64_t>(r.bottom, -kLimit, kLimit);
  if (rr <= l || b <= t) return {};
  return QRect(int(l), int(t), int(rr - l), int(b - t));
}

int32_t saturate(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

void Canvas::save() {
  saved_.push_back(state_);
}

void Canvas::restore() {
  // An unmatched restore keeps the current state, as RestoreDC fails quietly.
  if (saved_.empty()) return;
  state_ = std::move(saved_.back());
  saved_.pop_back();
  clipChanged();
}

void Canvas::setClipRect(const std::optional<Rect>& r) {
  if (r) {
    state_.clip = QRegion(toQRect(*r));
  } else {
    state_.clip.reset();
  }
  clipChanged();
}

void Canvas::intersectClipRect(const Rect& r) {
  QRegion base = state_.clip ? *state_.clip : QRegion(toQRect(deviceBounds()));
  state_.clip = base.intersected(toQRect(r));
  clipChanged();
}

void Canvas::excludeClipRect(const Rect& r) {
  QRegion base = state_.clip ? *state_.clip : QRegion(toQRect(deviceBounds()));
  state_.clip = base.subtracted(QRegion(toQRect(r)));
  clipChanged();
}

bool Canvas::rectVisible(const Rect& r) const {
  Rect visible = r.intersected(deviceBounds());
  if (visible.isEmpty()) return false;
  if (!state_.clip) return true;
  return state_.clip->intersects(toQRect(visible));
}

std::vector<int32_t> Canvas::charAdvances(std::string_view text) const {
  if (!state_.advances.empty() && state_.advances.size() == text.size()) return state_.advances;
  const ScaledFont& f = scaledFont(state_.font);
  std::vector<int32_t> adv(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    adv[i] = saturate(int64_t(f.advance(uint8_t(text[i]))) + state_.charExtra);
  }
  // Justification: the extra pixels go to the break characters, the same share
  // to each and what does not divide evenly one pixel more to the first ones.
  int32_t breaks = state_.justifyBreaks;
  int32_t extra = state_.justifyExtra;
  if (breaks > 0 && extra != 0) {
    int32_t share = extra / breaks;
    int32_t rest = extra % breaks;
    int32_t step = rest < 0 ? -1 : 1;
    int32_t seen = 0;
    for (size_t i = 0; i < text.size() && seen < breaks; ++i) {
      if (uint8_t(text[i]) != f.breakChar()) continue;
      int64_t a = int64_t(adv[i]) + share;
      if (rest != 0) {
        a += step;
        rest -= step;
      }
      adv[i] = saturate(a);
      ++seen;
    }
  }
  return adv;
}

Size Canvas::textExtent(std::string_view text) const {
  const ScaledFont& f = scaledFont(state_.font);
  int64_t cx = 0;
  if ((state_.justifyBreaks > 0 && state_.justifyExtra != 0) ||
      (!state_.advances.empty() && state_.advances.size() == text.size())) {
    for (int32_t a : charAdvances(text)) cx += a;
  } else {
    for (char c : text) cx += f.advance(uint8_t(c));
    cx += int64_t(state_.charExtra) * int64_t(text.size());
  }
  return {saturate(cx), f.metrics().height};
}

TextMetrics Canvas::textMetrics() const {
  return scaledFont(state_.font).metrics();
}

namespace {

// Splits text into lines at CR LF, LF or CR; a break at the very end does not
// start another line.
std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c != '\r' && c != '\n') {
      ++i;
      continue;
    }
    lines.push_back(text.substr(start, i - start));
    i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    start = i;
  }
  if (start < text.size() || lines.empty()) lines.push_back(text.substr(start));
  return lines;
}

// '&' marks a mnemonic unless dtNoPrefix is given: it disappears and "&&"
// stands for one '&'.
std::string stripPrefixes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') {
        out.push_back('&');
        ++i;
      }
      continue;
    }
    out.push_back(text[i]);
  }
  return out;
}

}  // namespace

int32_t Canvas::drawText(std::string_view text, Rect& r, uint32_t flags) {
  std::string stripped;
  if (!(flags & dtNoPrefix) && text.find('&') != std::string_view::npos) {
    stripped = stripPrefixes(text);
    text = stripped;
  }
  const TextMetrics tm = textMetrics();
  const int32_t tabWidth = 8 * std::max(1, tm.aveCharWidth);
  const bool expandTabs = flags & dtExpandTabs;

  auto lineWidth = [&](std::string_view line) -> int32_t {
    if (!expandTabs || line.find('\t') == std::string_view::npos) return textWidth(line);
    int64_t x = 0;
    size_t start = 0;
    for (size_t i = 0; i <= line.size(); ++i) {
      if (i < line.size() && line[i] != '\t') continue;
      x += textWidth(line.substr(start, i - start));
      if (i < line.size()) x = (x / tabWidth + 1) * tabWidth;
      start = i + 1;
    }
    return saturate(x);
  };

  std::vector<std::string_view> lines;
  if (flags & dtSingleLine) {
    lines.push_back(text);
  } else {
    lines = splitLines(text);
  }

  if ((flags & dtWordBreak) && !(flags & dtSingleLine)) {
    // Break at blanks so that each line fits the rectangle's width; a word
    // wider than the rectangle stays whole on its own line.
    const int64_t maxWidth = int64_t(r.right) - r.left;
    std::vector<std::string_view> wrapped;
    for (std::string_view line : lines) {
      while (true) {
        if (lineWidth(line) <= maxWidth) {
          wrapped.push_back(line);
          break;
        }
        size_t fit = 0;  // end of the longest prefix that ends before a blank and fits
        size_t pos = 0;
        while (true) {
          size_t blank = line.find(' ', pos);
          if (blank == std::string_view::npos) break;
          if (blank > 0 && lineWidth(line.substr(0, blank)) > maxWidth) break;
          fit = blank;
          pos = blank + 1;
        }
        if (fit == 0) {
          size_t blank = line.find(' ', line.find_first_not_of(' '));
          if (blank == std::string_view::npos) {
            wrapped.push_back(line);
            break;
          }
          fit = blank;
        }
        wrapped.push_back(line.substr(0, fit));
        size_t next = line.find_first_not_of(' ', fit);
        if (next == std::string_view::npos) break;
        line = line.substr(next);
      }
    }
    lines = std::move(wrapped);
  }

  const int32_t height = saturate(int64_t(tm.height) * int64_t(lines.size()));
  if (flags & dtCalcRect) {
    int32_t widest = 0;
    for (std::string_view line : lines) widest = std::max(widest, lineWidth(line));
    r.right = saturate(int64_t(r.left) + widest);
    r.bottom = saturate(int64_t(r.top) + height);
    return height;
  }

  int32_t y = r.top;
  for (std::string_view line : lines) {
    const int32_t w = lineWidth(line);
    int32_t x = r.left;
    if (flags & dtCenter) {
      x = saturate(int64_t(r.left) + (int64_t(r.right) - r.left - w) / 2);
    } else if (flags & dtRight) {
      x = saturate(int64_t(r.right) - w);
    }
    if (expandTabs && line.find('\t') != std::string_view::npos) {
      int64_t dx = 0;
      size_t start = 0;
      for (size_t i = 0; i <= line.size(); ++i) {
        if (i < line.size() && line[i] != '\t') continue;
        std::string_view part = line.substr(start, i - start);
        if (!part.empty()) textOut(saturate(int64_t(x) + dx), y, part, &r, etoClipped);
        dx += textWidth(part);
        if (i < line.size()) dx = (dx / tabWidth + 1) * tabWidth;
        start = i + 1;
      }
    } else if (!line.empty()) {
      textOut(x, y, line, &r, etoClipped);
    }
    y = saturate(int64_t(y) + tm.height);
  }
  return height;
}

}  // namespace orv
