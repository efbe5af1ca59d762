// Cross-tabs: cells laid across a band once per column of their data set,
// column events, stretched rows and the column pages of a wide cross-tab.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "band_engine_fixture.h"
#include "engine/band.h"
#include "engine/dataset.h"
#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "model/page.h"
#include "model/views.h"
#include "template_builder.h"

namespace orv {
namespace {

using bandtest::BandEngine;
using bandtest::Placed;
using bandtest::Rows;
using bandtest::texts;
using tools::place;

// A cross-tab: products down the page, months across it, a quantity in each
// cell that depends on both, totals per row (cross footer) and per column
// (master footer).
class CrossTab : public BandEngine {
 protected:
  void SetUp() override {
    BandEngine::SetUp();
    products =
        std::make_unique<Rows>(report, "Products",
                               std::vector<std::map<std::string, Variant>>{
                                   {{"P", Variant("Arroz")}}, {{"P", Variant("Feij\xE3o")}}});
    months = std::make_unique<Rows>(
        report, "Months",
        std::vector<std::map<std::string, Variant>>{
            {{"M", Variant("Jan")}}, {{"M", Variant("Fev")}}, {{"M", Variant("Mar")}}});
    report.OnGetValue = [&](const std::string& n, Variant& v) {
      if (n == "QTY")
        v = Variant(qty(products->dataset->RecNo, months->dataset->RecNo));
      else if (!products->lookup(n, v))
        months->lookup(n, v);
    };
  }
  static int qty(int product, int month) { return (product + 1) * 10 + month * month; }

  // A vertical band over the whole page height.
  TfrBandView& crossBand(uint16_t type, const std::string& name, int x, int w,
                         const std::string& source = {}) {
    auto& b = place<TfrBandView>(*page, name, x, 0, w, 1000);
    b.FrameTyp = type;
    b.FormatStr = source;
    return b;
  }
  void layout() {
    band(btPageHeader, "Head", 0, 20).Flags = bfOnFirstPage;
    band(btMasterData, "Data", 40, 20, "Products");
    band(btMasterFooter, "Foot", 80, 20);
    crossBand(btCrossHeader, "CrossHead", 0, 100);
    crossBand(btCrossData, "CrossData", 120, 80, "Months");
    crossBand(btCrossFooter, "CrossFoot", 220, 80);
    memo("Corner", 10, 2, 80, 16, {"Produto"});
    memo("RowTitle", 10, 42, 80, 16, {"[P]"});
    memo("ColTitle", 125, 2, 70, 16, {"[M]"});
    memo("Cell", 125, 42, 70, 16, {"[COLUMN#]:[QTY]"});
    memo("ColTotal", 125, 82, 70, 16, {"[SUM([QTY])]"});
    memo("TotalTitle", 225, 2, 70, 16, {"Total"});
    memo("RowTotal", 225, 42, 70, 16, {"[SUM([QTY])]"});
  }
  std::vector<std::pair<int32_t, std::string>> cells(const std::string& name) {
    std::vector<std::pair<int32_t, std::string>> out;
    for (const Placed& p : named(0, name)) out.emplace_back(p.left, p.text);
    return out;
  }

  std::unique_ptr<Rows> products, months;
};

TEST_F(CrossTab, CellsRepeatForEachColumnBetweenTheHeaderAndTheFooter) {
  layout();
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_EQ(report.EMFPages.Count(), 1);
  using Row = std::vector<std::pair<int32_t, std::string>>;
  EXPECT_EQ(cells("Corner"), (Row{{10, "Produto"}}));
  EXPECT_EQ(cells("ColTitle"), (Row{{125, "Jan"}, {205, "Fev"}, {285, "Mar"}}));
  // The footer keeps its gap of 20 after the last column.
  EXPECT_EQ(cells("TotalTitle"), (Row{{385, "Total"}}));
  Row expectCells, expectRowTotals, expectColTotals;
  for (int p = 0; p < 2; ++p) {
    int sum = 0;
    for (int m = 0; m < 3; ++m) {
      std::string text = std::to_string(m + 1);
      text += ':';
      text += std::to_string(qty(p, m));
      expectCells.emplace_back(125 + 80 * m, text);
      sum += qty(p, m);
    }
    expectRowTotals.emplace_back(385, std::to_string(sum));
  }
  for (int m = 0; m < 3; ++m)
    expectColTotals.emplace_back(125 + 80 * m, std::to_string(qty(0, m) + qty(1, m)));
  EXPECT_EQ(cells("Cell"), expectCells);
  EXPECT_EQ(cells("RowTotal"), expectRowTotals);
  EXPECT_EQ(cells("ColTotal"), expectColTotals);
  // Cells stand on their rows.
  const auto rows = named(0, "RowTitle");
  ASSERT_EQ(rows.size(), 2u);
  const auto c = named(0, "Cell");
  EXPECT_EQ(c[0].top, rows[0].top);
  EXPECT_EQ(c[3].top, rows[1].top);
  EXPECT_EQ(rows[1].top - rows[0].top, 20);
}

TEST_F(CrossTab, ColumnEventsSeeEachColumnAndMayWidenIt) {
  layout();
  std::set<std::string> begun;
  std::set<int32_t> printed;
  report.OnBeginColumn = [&](TfrBand& b) { begun.insert(b.Name); };
  report.OnPrintColumn = [&](int32_t column, int32_t& width) {
    printed.insert(column);
    if (column == 2) width = 100;
  };
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(begun, (std::set<std::string>{"CrossData"}));
  EXPECT_EQ(printed, (std::set<int32_t>{1, 2, 3}));
  using Row = std::vector<std::pair<int32_t, std::string>>;
  EXPECT_EQ(cells("ColTitle"), (Row{{125, "Jan"}, {205, "Fev"}, {305, "Mar"}}));
  EXPECT_EQ(cells("TotalTitle"), (Row{{405, "Total"}}));
}

TEST_F(CrossTab, AStretchedRowTakesTheHeightOfItsTallestCell) {
  layout();
  page->FindObject("Data")->Flags |= bfStretched;
  auto* cell = static_cast<TfrMemoView*>(page->FindObject("Cell"));
  cell->Flags |= flStretched;
  // Only February's cell of the first product wraps into several lines.
  cell->Memo = {"[IF([COLUMN#] = 2, 'um dois tr\xEAs quatro cinco seis sete oito', 'x')]"};
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  const auto rows = named(0, "RowTitle");
  ASSERT_EQ(rows.size(), 2u);
  const auto c = named(0, "Cell");
  ASSERT_EQ(c.size(), 6u);
  // The tall cell grew, the others did not, and the next row moved down by
  // what the tall cell needs.
  EXPECT_GT(c[1].height, 2 * c[0].height);
  EXPECT_EQ(c[0].height, c[2].height);
  EXPECT_EQ(rows[1].top - rows[0].top, 2 + c[1].height);
}

TEST_F(CrossTab, ColumnsBeyondTheRightEdgeGoOnInFurtherColumnPages) {
  std::vector<std::map<std::string, Variant>> many;
  for (int i = 0; i < 40; ++i) many.push_back({{"M", Variant(std::to_string(i))}});
  months = std::make_unique<Rows>(report, "ManyMonths", many);
  layout();
  page->FindObject("CrossData")->FormatStr = "ManyMonths";
  memo("PageNo", 600, 2, 60, 16, {"[PAGE#]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  const int32_t right = report.Pages.Page(0).RightEdge();
  const int pages = report.EMFPages.Count();
  ASSERT_GT(pages, 1);
  std::vector<std::string> titles;
  for (int i = 0; i < pages; ++i) {
    const auto t = named(i, "ColTitle");
    ASSERT_FALSE(t.empty()) << "page " << i + 1;
    // Every column page starts at the cross data band and stays within the
    // page; the row titles open every one of them.
    EXPECT_EQ(t.front().left, 125) << "page " << i + 1;
    EXPECT_LE(t.back().left - 5 + 80, right) << "page " << i + 1;
    if (i + 1 < pages) {
      EXPECT_GT(t.back().left - 5 + 160, right) << "page " << i + 1;
    }
    for (const Placed& p : t) titles.push_back(p.text);
    EXPECT_EQ(named(i, "RowTitle").size(), 2u) << "page " << i + 1;
    EXPECT_EQ(texts(named(i, "PageNo")), std::to_string(i + 1));
    EXPECT_EQ(named(i, "Cell").size(), 2 * t.size()) << "page " << i + 1;
    EXPECT_EQ(named(i, "RowTotal").empty(), i + 1 < pages) << "page " << i + 1;
  }
  std::vector<std::string> all;
  for (int i = 0; i < 40; ++i) all.push_back(std::to_string(i));
  EXPECT_EQ(titles, all);
  // The row totals close the last column page and count every column.
  const auto totals = named(pages - 1, "RowTotal");
  ASSERT_EQ(totals.size(), 2u);
  for (int p = 0; p < 2; ++p) {
    int sum = 0;
    for (int m = 0; m < 40; ++m) sum += qty(p, m);
    EXPECT_EQ(totals[size_t(p)].text, std::to_string(sum));
  }
  EXPECT_EQ(totals[0].left, named(pages - 1, "ColTitle").back().left + 80 + 20);
}

}  // namespace
}  // namespace orv
