#include "preview/page_layout.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>
#include <cmath>

namespace orv {
namespace {

const PageLayout::Paper kA4{794, 1123};

std::vector<PageLayout::Paper> a4(int n) {
  return std::vector<PageLayout::Paper>(n, kA4);
}

int rounded(double v) {
  return int(std::nearbyint(v));
}

TEST(PageLayoutTest, FittingModesAndColumns) {
  PageLayout l;
  l.layOut(a4(5), 0, zmWholePage, 1.0, 800, 600);
  EXPECT_DOUBLE_EQ(l.scale(), 580.0 / 1123);
  EXPECT_EQ(l.columns(), 1);
  const int w = rounded(794 * l.scale());
  EXPECT_EQ(l.rect(0).left, (800 - w) / 2);  // one column, narrower than the box: centred
  EXPECT_EQ(l.rect(1).top, l.rect(0).bottom + 10);

  l.layOut(a4(5), 0, zmTwoPages, 1.0, 300, 400);
  EXPECT_EQ(l.columns(), 2);
  EXPECT_EQ(l.rect(1).left, l.rect(0).right + 10);
  EXPECT_EQ(l.rect(1).top, l.rect(0).top);

  // 25 %: as many pages in a row as fit with their gaps.
  l.layOut(a4(7), 0, zmCustom, 0.25, 800, 600);
  const int pw = rounded(794 * 0.25);
  EXPECT_EQ(l.columns(), (800 - 10) / (pw + 10));
  EXPECT_EQ(l.rect(0).left, 10);
  // The vertical range lets the last row's bottom reach 10 pixels above the view's bottom.
  EXPECT_EQ(l.vMax(), l.rect(6).bottom - 600 + 10);
  EXPECT_EQ(l.hMax(), 0);

  // A tall, narrow box: the whole page fits sideways too, without a scroll range.
  l.layOut(a4(3), 0, zmWholePage, 1.0, 680, 1100);
  EXPECT_DOUBLE_EQ(l.scale(), 660.0 / 794);
  EXPECT_LE(l.rect(0).right, 680 - 10);
  EXPECT_LE(l.rect(0).bottom, 1100 - 10);
  EXPECT_EQ(l.hMax(), 0);

  l.layOut(a4(2), 0, zmCustom, 1.0, 0, 0);  // a box of no size must not break the scale
  EXPECT_GT(l.scale(), 0);
  l.layOut(a4(2), 0, zmPageWidth, 1.0, 5, 5);
  EXPECT_GT(l.scale(), 0);
}

TEST(PageLayoutTest, CurrentPageFromScrollAndPointsOnPages) {
  PageLayout l;
  l.layOut(a4(4), 0, zmCustom, 1.0, 1000, 700);
  EXPECT_EQ(l.pageMostShown(0, 0), 0);
  EXPECT_EQ(l.scrollTop(2), l.rect(2).top - 10);
  EXPECT_EQ(l.pageMostShown(0, l.scrollTop(2)), 2);
  // The page filling most of the view, not the one at its top edge.
  EXPECT_EQ(l.pageMostShown(0, l.rect(1).bottom - 100), 2);
  EXPECT_EQ(l.pageMostShown(0, l.rect(1).bottom - 500), 1);
  EXPECT_EQ(l.pageMostShown(0, l.rect(3).bottom + 50), -1);  // nothing in view
  EXPECT_EQ(l.pageAt({l.rect(1).left, l.rect(1).top}), 1);
  EXPECT_EQ(l.pageAt({l.rect(1).right, l.rect(1).top}), -1);  // right edge excluded
  EXPECT_EQ(l.toPage(1, {l.rect(1).left + 20, l.rect(1).top + 30}), (Point{20, 30}));
  l.layOut(a4(4), 0, zmCustom, 1.0, 1000, 2000);
  EXPECT_LT(l.vMax(), l.rect(3).top - 10);
  EXPECT_EQ(l.scrollTop(3), l.vMax());  // the last page cannot reach the top

  // Two pages a row fill the view as much: the preferred one (the current
  // page) stays named, else the first of them.
  l.layOut(a4(4), 0, zmTwoPages, 1.0, 1000, 700);
  const int y = l.rect(2).top - 10;
  EXPECT_EQ(l.pageMostShown(0, y, 3), 3);
  EXPECT_EQ(l.pageMostShown(0, y, 0), 2);
}

TEST(PageLayoutTest, FoundTextIsBroughtIntoViewByItsEdges) {
  PageLayout l;
  l.layOut(a4(3), 0, zmCustom, 1.0, 1000, 700);
  // Near the page's top: the page's top 10 pixels below the view's top.
  const Rect high{100, 100, 300, 120};
  EXPECT_EQ(l.hitScroll(1, high).y, l.rect(1).top - 10);
  // Lower down: the text's bottom 10 pixels above the view's bottom.
  const Rect low{100, 900, 300, 920};
  EXPECT_EQ(l.hitScroll(1, low).y, l.rect(1).top + 900 + 20 - 700 + 10);
  const Rect mark = l.hitRect(1, low, 0, -l.hitScroll(1, low).y);
  EXPECT_EQ(mark.bottom, 700 - 10 + 1);  // the mark covers the text's last line too
  EXPECT_EQ(mark.width(), 200);
  EXPECT_EQ(l.hitScroll(1, low).x, 0);  // the page's left edge is already in view
}

TEST(PageLabelsTest, LabelsAndLinks) {
  EXPECT_EQ(preview_labels::pageLabel(3, 12), QString::fromUtf8("Página 3/12"));
  EXPECT_TRUE(preview_labels::pageLabel(1, 0).isEmpty());
  const QFontMetrics fm{QFont()};
  EXPECT_GE(preview_labels::pageLabelWidth(fm, 10000),
            fm.horizontalAdvance(preview_labels::pageLabel(10000, 10000)));
  EXPECT_GE(preview_labels::pageLabelWidth(fm, 500),
            fm.horizontalAdvance(preview_labels::pageLabel(499, 500)));

  bool isLink = false;
  EXPECT_EQ(preview_labels::linkPage("@0", isLink), 1);
  EXPECT_TRUE(isLink);
  EXPECT_EQ(preview_labels::linkPage("veja@ 12", isLink), 12);
  EXPECT_EQ(preview_labels::linkPage("page@", isLink), 0);
  EXPECT_FALSE(isLink);
  EXPECT_EQ(preview_labels::linkPage("@abc", isLink), 0);
  EXPECT_FALSE(isLink);
  EXPECT_EQ(preview_labels::hoverText("@7"), QString::fromUtf8("Página 7"));
}

}  // namespace
}  // namespace orv
