#include "preview/page_layout.h"

#include <QFontMetrics>
#include <algorithm>

#include "platform/codepage.h"
#include "platform/strings.h"

namespace orv {

namespace {
constexpr int kGap = 10;  // around and between pages
}  // namespace

void PageLayout::layOut(const std::vector<Paper>& papers, int current, uint8_t mode, double scale,
                        int boxWidth, int boxHeight) {
  boxW_ = boxWidth;
  boxH_ = boxHeight;
  rects_.assign(papers.size(), Rect{});
  const int n = int(papers.size());
  if (n == 0) {
    hMax_ = vMax_ = 0;
    return;
  }
  const Paper& cur = papers[std::clamp(current, 0, n - 1)];
  const int pw = std::max(1, cur.width), ph = std::max(1, cur.height);
  switch (mode) {
    case zmPageWidth:
      scale = double(boxWidth - 20) / pw;
      break;
    case zmWholePage:
      // The whole page both ways: in a tall, narrow window the width limits.
      scale = std::min(double(boxHeight - 20) / ph, double(boxWidth - 20) / pw);
      break;
    case zmTwoPages:
      scale = double(boxWidth - 30) / (2.0 * pw);
      break;
    default:
      break;
  }
  // A box too small to show anything must not turn the scale negative.
  if (scale <= 0) scale = 0.01;
  scale_ = scale;

  int cols = 0, x = kGap, inRow = 0;
  for (int j = 0; j < n; ++j) {
    const int g = roundEven(papers[j].width * scale) + x + kGap;
    if (g > boxWidth) {
      cols = std::max(cols, inRow);
      x = kGap;
      inRow = 0;
    } else {
      x = g;
      ++inRow;
      if (j == n - 1) cols = std::max(cols, inRow);
    }
  }
  if (cols == 0) cols = 1;
  if (mode == zmWholePage) cols = 1;
  if (mode == zmTwoPages) cols = 2;
  columns_ = cols;

  int y = kGap, maxRight = 0, maxBottom = 0;
  tallest_ = 0;
  for (int j = 0; j < n; j += cols) {
    int px = kGap, rowH = 0;
    for (int k = j; k < std::min(n, j + cols); ++k) {
      const int w = roundEven(papers[k].width * scale);
      const int h = roundEven(papers[k].height * scale);
      const int left = (cols == 1 && w < boxWidth) ? (boxWidth - w) / 2 : px;
      rects_[k] = {left, y, left + w, y + h};
      px += w + kGap;
      rowH = std::max(rowH, h);
      maxRight = std::max(maxRight, left + w);
      maxBottom = std::max(maxBottom, y + h);
      tallest_ = std::max(tallest_, h);
    }
    y += rowH + kGap;
  }
  hMax_ = maxRight - boxWidth;
  hMax_ = hMax_ < 0 ? 0 : hMax_ + kGap;
  vMax_ = maxBottom - boxHeight;
  vMax_ = vMax_ < 0 ? 0 : vMax_ + kGap;
}

int PageLayout::scrollTop(int index) const {
  if (index < 0 || index >= count()) return 0;
  return std::clamp(rects_[index].top - kGap, 0, vMax_);
}

int PageLayout::pageMostShown(int hpos, int vpos, int preferred) const {
  const Rect view{hpos, vpos, hpos + boxW_, vpos + boxH_};
  // Pages lie in rows from the top down: no page starting a page's height
  // above the view reaches into it, so a long report is not walked whole.
  const auto first = std::partition_point(
      rects_.begin(), rects_.end(), [&](const Rect& r) { return r.top + tallest_ < view.top; });
  int best = -1;
  int64_t bestArea = 0;
  for (auto it = first; it != rects_.end() && it->top < view.bottom; ++it) {
    const int w = std::min(it->right, view.right) - std::max(it->left, view.left);
    const int h = std::min(it->bottom, view.bottom) - std::max(it->top, view.top);
    if (w <= 0 || h <= 0) continue;
    const int64_t area = int64_t(w) * h;
    const int i = int(it - rects_.begin());
    if (area > bestArea || (area == bestArea && i == preferred)) {
      best = i;
      bestArea = area;
    }
  }
  return best;
}

int PageLayout::pageAt(Point p) const {
  for (int i = 0; i < count(); ++i)
    if (rects_[i].contains(p)) return i;
  return -1;
}

Point PageLayout::toPage(int index, Point p) const {
  const Rect& r = rect(index);
  return {roundEven((p.x - r.left) / scale_), roundEven((p.y - r.top) / scale_)};
}

Point PageLayout::hitScroll(int index, const Rect& f) const {
  const double s = scale_;
  const Rect& page = rect(index);
  const int e = roundEven((f.bottom - f.top) * s);
  const int d = roundEven((f.right - f.left) * s);
  const int v = roundEven(f.top * s) + kGap + e <= boxH_
                    ? page.top - kGap
                    : page.top + roundEven(f.top * s) + e - boxH_ + kGap;
  const int h = roundEven(f.left * s) + kGap + d <= boxW_
                    ? page.left - kGap
                    : page.left + roundEven(f.left * s) + d - boxW_ + kGap;
  return {std::clamp(h, 0, hMax_), std::clamp(v, 0, vMax_)};
}

Rect PageLayout::hitRect(int index, const Rect& f, int ofsX, int ofsY) const {
  const double s = scale_;
  const Rect& page = rect(index);
  const int x = page.left + ofsX + roundEven(f.left * s);
  const int y = page.top + ofsY + roundEven(f.top * s);
  return {x, y, x + roundEven((f.right - f.left) * s), y + roundEven((f.bottom - f.top) * s) + 1};
}

namespace preview_labels {

QString pageLabel(int current, int count) {
  if (count <= 0) return QString();
  return loadString(55004) + " " + QString::number(current) + "/" + QString::number(count);
}

int pageLabelWidth(const QFontMetrics& metrics, int count) {
  int digit = 0;
  for (char c = '0'; c <= '9'; ++c) digit = std::max(digit, metrics.horizontalAdvance(QChar(c)));
  const int digits = int(QString::number(std::max(1, count)).size());
  return metrics.horizontalAdvance(loadString(55004) + " /") + 2 * digits * digit;
}

int linkPage(const std::string& text, bool& isLink) {
  const size_t at = text.find('@');
  isLink = at != std::string::npos && at + 1 < text.size();
  if (!isLink) return 0;
  bool ok = false;
  const int n = QString::fromStdString(text.substr(at + 1)).trimmed().toInt(&ok);
  if (!ok) {
    // A number that does not convert is no page link.
    isLink = false;
    return 0;
  }
  return n <= 0 ? 1 : n;
}

QString hoverText(const std::string& text) {
  bool isLink = false;
  const int target = linkPage(text, isLink);
  if (isLink) return loadString(55004) + " " + QString::number(target);
  return decodeBytes(text, 1252);
}

}  // namespace preview_labels

}  // namespace orv
