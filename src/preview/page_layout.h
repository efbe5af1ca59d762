#pragma once
#include <QString>

class QFontMetrics;
#include <cstdint>
#include <string>
#include <vector>

#include "platform/geometry.h"

namespace orv {

enum : uint8_t { zmCustom = 0, zmPageWidth = 1, zmWholePage = 2, zmTwoPages = 3 };

// The page area's geometry, kept apart from the widget that paints it: where
// every page sits at a zoom, how far the view can scroll, which page a scroll
// position or a point shows, and where a found text must be scrolled to and
// marked. Coordinates are those of the laid-out area (scroll offsets removed)
// unless a function says otherwise.
class PageLayout {
 public:
  // A page's paper in screen pixels at 100 %.
  struct Paper {
    int width = 1;
    int height = 1;
  };

  // Fits the scale to the zoom mode by the paper of the page `current`
  // (0-based; a custom mode keeps `scale`), places the pages in rows and
  // derives the scroll ranges for a box of the given size.
  void layOut(const std::vector<Paper>& papers, int current, uint8_t mode, double scale,
              int boxWidth, int boxHeight);

  int count() const { return int(rects_.size()); }
  double scale() const { return scale_; }
  int columns() const { return columns_; }
  int boxWidth() const { return boxW_; }
  int boxHeight() const { return boxH_; }
  const Rect& rect(int index) const { return rects_.at(index); }
  int hMax() const { return hMax_; }
  int vMax() const { return vMax_; }

  // The vertical position that puts the page's top 10 pixels below the view's
  // top, within the scroll range.
  int scrollTop(int index) const;
  // The page that fills most of the view at these scroll positions; among
  // pages that fill as much, `preferred` when it is one of them, else the
  // first. -1 when no page is in view.
  int pageMostShown(int hpos, int vpos, int preferred = -1) const;
  // The first page holding the point; -1 when none does.
  int pageAt(Point p) const;
  // A point of the area in the report pixels of a page.
  Point toPage(int index, Point p) const;

  // The scroll positions (x horizontal, y vertical) that bring a found text
  // (the page's report pixels) into view: the page's corner 10 pixels inside
  // the view when the text then shows whole, else the text's far edges 10
  // pixels inside the view's far edges, so that the mark does not touch the
  // view's border. Both within the scroll ranges.
  Point hitScroll(int index, const Rect& found) const;
  // The found text's rectangle on screen for the given drawing offsets: its
  // scaled width, and one line more than its scaled height (the mark covers
  // both the top and the bottom line).
  Rect hitRect(int index, const Rect& found, int ofsX, int ofsY) const;

 private:
  std::vector<Rect> rects_;
  double scale_ = 1.0;
  int columns_ = 1;
  int boxW_ = 0, boxH_ = 0;
  int hMax_ = 0, vMax_ = 0;
  int tallest_ = 0;  // the tallest page, to find the first page in view quickly
};

// The texts of the page area's labels.
namespace preview_labels {
// "Página 3/12"; empty without pages.
QString pageLabel(int current, int count);
// The width the page label needs for any page of a report of `count` pages.
int pageLabelWidth(const QFontMetrics& metrics, int count);
// A link's page: "@" followed by a page number, the "@" not being the last
// character; 0 or less counts as 1. Returns 0 with isLink false otherwise.
int linkPage(const std::string& text, bool& isLink);
// What the link label shows for the text under the pointer.
QString hoverText(const std::string& text);
}  // namespace preview_labels

}  // namespace orv
