// Where the band engine places bands when the flow is broken or bent: new
// pages after bands, stretched bands that move on whole, child bands, headers
// and footers kept off some pages, empty data sets, scripts that start a new
// column or set the current Y. Every case checks positions on the pages.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "band_engine_fixture.h"

namespace orv {
namespace {

using bandtest::BandEngine;
using bandtest::cityOrders;
using bandtest::Placed;
using bandtest::texts;

// The name, text and top of every object of a page, in the order written.
std::vector<std::string> layout(const std::vector<Placed>& objs, int32_t top) {
  std::vector<std::string> out;
  for (const Placed& p : objs)
    out.push_back(p.name + "@" + std::to_string(p.top - top) +
                  (p.text.empty() ? "" : " " + p.text));
  return out;
}
using Lines = std::vector<std::string>;

// ------------------------------------------------------------ new page after a band

TEST_F(BandEngine, ATitleWithNewPageLeavesTheRestToTheNextPage) {
  auto& title = band(btReportTitle, "Title", 10, 40);
  title.Flags = bfFormNewPage;
  memo("TitleText", 0, 12, 300, 16, {"Capa"});
  band(btMasterData, "Data", 60, 20, "2");
  memo("Row", 0, 62, 300, 16, {"[LINE#]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_EQ(report.EMFPages.Count(), 2);
  EXPECT_EQ(layout(objects(0), top()), (Lines{"TitleText@2 Capa"}));
  EXPECT_EQ(layout(objects(1), top()), (Lines{"Row@2 1", "Row@22 2"}));
}

TEST_F(BandEngine, ADataBandWithNewPagePutsEachRecordAtTheTopOfItsOwnPage) {
  auto& data = band(btMasterData, "Data", 40, 20, "3");
  data.Flags = bfFormNewPage;
  memo("Row", 10, 42, 300, 16, {"[LINE#]"});
  band(btReportSummary, "Summary", 100, 20);
  memo("End", 0, 103, 300, 16, {"fim"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  // No page is left empty after the last record: the summary follows it.
  ASSERT_EQ(report.EMFPages.Count(), 3);
  EXPECT_EQ(layout(objects(0), top()), (Lines{"Row@2 1"}));
  EXPECT_EQ(layout(objects(1), top()), (Lines{"Row@2 2"}));
  EXPECT_EQ(layout(objects(2), top()), (Lines{"Row@2 3", "End@23 fim"}));
  EXPECT_EQ(named(2, "Row")[0].left, 10);
}

TEST_F(BandEngine, AGroupHeaderWithNewPageStartsEachNextGroupOnANewPage) {
  const auto orders = cityOrders(report, {{"Recife", 1}, {"Recife", 2}, {"Natal", 3}});
  auto& gh = band(btGroupHeader, "GH", 20, 20, "[CITY]");
  gh.Flags = bfFormNewPage;
  memo("City", 0, 22, 300, 16, {"[CITY]"});
  band(btMasterData, "Data", 60, 20, "Orders");
  memo("Row", 0, 62, 300, 16, {"[N]"});
  band(btGroupFooter, "GF", 100, 30);
  memo("End", 0, 104, 300, 16, {"fim [CITY]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_EQ(report.EMFPages.Count(), 2);
  EXPECT_EQ(layout(objects(0), top()),
            (Lines{"City@2 Recife", "Row@22 1", "Row@42 2", "End@64 fim Recife"}));
  EXPECT_EQ(layout(objects(1), top()), (Lines{"City@2 Natal", "Row@22 3", "End@44 fim Natal"}));
}

// ------------------------------------------------------------ stretched bands

TEST_F(BandEngine, AStretchedBandThatDoesNotFitMovesWholeToTheNextPage) {
  const int32_t room = report.Pages.Page(0).BottomEdge() - top();
  // The title leaves 60 pixels: more than the data band's design height, less
  // than its stretched height.
  band(btReportTitle, "Title", 0, room - 60);
  memo("TitleText", 0, 2, 300, 16, {"Capa"});
  auto& data = band(btMasterData, "Data", room, 20, "1");
  data.Flags = bfStretched;
  std::vector<std::string> lines;
  for (int i = 1; i <= 12; ++i) lines.push_back("linha " + std::to_string(i));
  auto& text = memo("Long", 5, room + 2, 300, 18, lines);
  text.Flags |= flStretched;
  band(btReportSummary, "Summary", room + 40, 20);
  memo("End", 0, room + 42, 300, 16, {"fim"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_EQ(report.EMFPages.Count(), 2);
  EXPECT_EQ(layout(objects(0), top()), (Lines{"TitleText@2 Capa"}));
  const auto moved = named(1, "Long");
  ASSERT_EQ(moved.size(), 1u);
  // Not split: all its lines, at the top of the next page.
  EXPECT_EQ(moved[0].top, top() + 2);
  EXPECT_EQ(moved[0].left, 5);
  EXPECT_GT(moved[0].height, 60);
  EXPECT_NE(moved[0].text.find("linha 12"), std::string::npos) << moved[0].text;
  // The summary follows the band's stretched height, not its design height.
  const auto end = named(1, "End");
  ASSERT_EQ(end.size(), 1u);
  EXPECT_EQ(end[0].top, top() + moved[0].height + 2 + 2);
}

// ------------------------------------------------------------ child bands

TEST_F(BandEngine, AChildBandFollowsItsParentAndRecordByRecord) {
  auto& title = band(btReportTitle, "Title", 10, 30);
  title.ChildBand = "TitleChild";
  memo("TitleText", 0, 12, 300, 16, {"Capa"});
  band(btChild, "TitleChild", 300, 25);
  memo("Under", 0, 304, 300, 16, {"sob a capa"});
  auto& data = band(btMasterData, "Data", 60, 20, "2");
  data.ChildBand = "RowChild";
  memo("Row", 0, 62, 300, 16, {"[LINE#]"});
  band(btChild, "RowChild", 350, 10);
  memo("Note", 0, 351, 300, 8, {"nota"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(layout(objects(0), top()), (Lines{"TitleText@2 Capa", "Under@34 sob a capa", "Row@57 1",
                                              "Note@76 nota", "Row@87 2", "Note@106 nota"}));
}

TEST_F(BandEngine, AnInvisibleBandPlacesItsChildOnlyWhenAskedTo) {
  auto& title = band(btReportTitle, "Title", 10, 30);
  title.ChildBand = "TitleChild";
  title.Visible = false;
  memo("TitleText", 0, 12, 300, 16, {"Capa"});
  band(btChild, "TitleChild", 300, 25);
  memo("Under", 0, 304, 300, 16, {"sob a capa"});
  band(btReportSummary, "Summary", 100, 20);
  memo("End", 0, 102, 300, 16, {"fim"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(layout(objects(0), top()), (Lines{"End@2 fim"}));

  page = &report.Pages.Page(0);
  page->FindObject("Title")->Flags |= bfPrintChildIfInvisible;
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  // The child takes the place the invisible band would have had.
  EXPECT_EQ(layout(objects(0), top()), (Lines{"Under@4 sob a capa", "End@27 fim"}));
}

// ------------------------------------------------------------ page headers and footers

TEST_F(BandEngine, APageHeaderWithoutOnFirstPageOpensOnlyTheFollowingPages) {
  band(btPageHeader, "PH", 0, 20).Flags = 0;
  memo("Head", 0, 3, 300, 14,
       {"Cabe\xE7"
        "alho [PAGE#]"});
  band(btMasterData, "Data", 40, 25, "60");
  memo("Row", 0, 42, 300, 20, {"[LINE#]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_GE(report.EMFPages.Count(), 2);
  EXPECT_TRUE(named(0, "Head").empty());
  EXPECT_EQ(named(0, "Row")[0].top, top() + 2);
  for (int i = 1; i < report.EMFPages.Count(); ++i) {
    const auto head = named(i, "Head");
    ASSERT_EQ(head.size(), 1u) << "page " << i + 1;
    EXPECT_EQ(head[0].top, top() + 3);
    EXPECT_EQ(head[0].text,
              "Cabe\xE7"
              "alho " +
                  std::to_string(i + 1));
    EXPECT_EQ(named(i, "Row")[0].top, top() + 20 + 2) << "page " << i + 1;
  }
}

TEST_F(BandEngine, APageFooterForTheLastPageIsLeftOffTheFirstOfSeveral) {
  auto& footer = band(btPageFooter, "Footer", 900, 30);
  footer.Flags = bfOnLastPage;
  memo("Foot", 0, 905, 300, 20, {"P\xE1gina [PAGE#]"});
  band(btMasterData, "Data", 40, 25, "100");
  memo("Row", 0, 42, 300, 20, {"[LINE#]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  const int32_t bottom = report.Pages.Page(0).BottomEdge() - 30;
  const int32_t perPage = (bottom - top()) / 25;
  ASSERT_EQ(report.EMFPages.Count(), (100 + perPage - 1) / perPage);
  ASSERT_GE(report.EMFPages.Count(), 3);
  const int last = report.EMFPages.Count() - 1;
  EXPECT_TRUE(named(0, "Foot").empty());
  for (int i = 1; i <= last; ++i) {
    const auto foot = named(i, "Foot");
    ASSERT_EQ(foot.size(), 1u) << "page " << i + 1;
    EXPECT_EQ(foot[0].top, bottom + 5) << "page " << i + 1;
    EXPECT_EQ(foot[0].text, "P\xE1gina " + std::to_string(i + 1));
  }

  // Without OnLastPage the last page has none either: only the pages between.
  page = &report.Pages.Page(0);
  page->FindObject("Footer")->Flags = 0;
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_TRUE(named(0, "Foot").empty());
  EXPECT_TRUE(named(last, "Foot").empty());
  for (int i = 1; i < last; ++i) {
    const auto foot = named(i, "Foot");
    ASSERT_EQ(foot.size(), 1u) << "page " << i + 1;
    EXPECT_EQ(foot[0].top, bottom + 5);
  }
}

// ------------------------------------------------------------ empty data sets

TEST_F(BandEngine, AnEmptyDataSetPrintsNoBandOfItsLevelAndItsAveragesAreZero) {
  auto empty = std::make_unique<TfrUserDataset>("Vazio");
  empty->RangeEnd = reCount;
  empty->RangeEndCount = 0;
  report.Components.add(std::move(empty));
  band(btReportTitle, "Title", 0, 40);
  memo("TitleText", 0, 2, 300, 16, {"Capa"});
  band(btMasterHeader, "MH", 50, 20);
  memo("Heads", 0, 52, 300, 16, {"colunas"});
  band(btMasterData, "Data", 80, 20, "Vazio");
  memo("Row", 0, 82, 300, 16, {"[LINE#]"});
  band(btMasterFooter, "MF", 110, 20);
  memo("Foot", 0, 112, 300, 16, {"[COUNT(Data)]"});
  band(btReportSummary, "Summary", 140, 20);
  memo("Totals", 0, 142, 300, 16, {"[AVG([LINE#])] [COUNT(Data)] [SUM([LINE#])] [MAX([LINE#])]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_EQ(report.EMFPages.Count(), 1);
  // The summary follows the title at once.
  EXPECT_EQ(layout(objects(0), top()), (Lines{"TitleText@2 Capa", "Totals@42 0 0 0 0"}));

  // Without PrintIfEmpty an empty master data set forms no page at all.
  report.PrintIfEmpty = false;
  EXPECT_FALSE(report.PrepareReport());
  EXPECT_EQ(report.EMFPages.Count(), 0);
}

TEST_F(BandEngine, AnAverageOverAGroupWithoutVisibleRecordsIsZero) {
  // Records below 9 are visible: the second group's one record is not, and
  // its footer averages over the records it counted: 0 when none counted.
  const auto orders = cityOrders(report, {{"Recife", 4}, {"Recife", 6}, {"Natal", 9}});
  band(btGroupHeader, "GH", 20, 20, "[CITY]");
  auto& data = band(btMasterData, "Data", 60, 20, "Orders");
  data.Memo = {"Data.Visible := [N] < 9"};
  memo("Row", 0, 62, 300, 16, {"[N]"});
  band(btGroupFooter, "GF", 100, 20);
  memo("Avg", 0, 102, 300, 16, {"[AVG([N])] [COUNT(Data)]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Avg")), "5 2 / 0 0");
  const auto avg = named(0, "Avg");
  ASSERT_EQ(avg.size(), 2u);
  // Recife: header, two rows, footer; Natal: header and footer only.
  EXPECT_EQ(avg[0].top, top() + 60 + 2);
  EXPECT_EQ(avg[1].top, top() + 80 + 20 + 2);
}

// ------------------------------------------------------------ scripts that move the flow

TEST_F(BandEngine, NewColumnFromABandScriptMovesTheBandToTheNextColumnThenPage) {
  page->Columns = 2;
  page->ColumnGap = 20;
  auto& data = band(btMasterData, "Data", 40, 20, "4");
  data.Memo = {"if [LINE#] > 2 then NewColumn"};
  memo("Row", 0, 42, 100, 16, {"[LINE#]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  TfrPage& tpl = report.Pages.Page(0);
  const int32_t colWidth = (tpl.RightEdge() - tpl.LeftEdge() - 20) / 2;
  ASSERT_EQ(report.EMFPages.Count(), 2);
  const auto rows = named(0, "Row");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].left, 0);
  EXPECT_EQ(rows[0].top, top() + 2);
  EXPECT_EQ(rows[1].left, 0);
  EXPECT_EQ(rows[1].top, top() + 22);
  // Record 3 opens the second column at its top.
  EXPECT_EQ(rows[2].left, colWidth + 20);
  EXPECT_EQ(rows[2].top, top() + 2);
  EXPECT_EQ(rows[2].text, "3");
  // Record 4 asks again in the last column: a new page, first column.
  const auto next = named(1, "Row");
  ASSERT_EQ(next.size(), 1u);
  EXPECT_EQ(next[0].left, 0);
  EXPECT_EQ(next[0].top, top() + 2);
  EXPECT_EQ(next[0].text, "4");
}

TEST_F(BandEngine, ABandScriptSettingCurYPlacesTheBandThereAndTheRestBelowIt) {
  auto& data = band(btMasterData, "Data", 40, 20, "3");
  data.Memo = {"if [LINE#] = 2 then CurY := 400"};
  memo("Row", 0, 42, 300, 16, {"[LINE#] [CURY]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_EQ(report.EMFPages.Count(), 1);
  const auto rows = named(0, "Row");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].top, top() + 2);
  EXPECT_EQ(rows[1].top, 400 + 2);
  EXPECT_EQ(rows[2].top, 420 + 2);
  // While the band is written, CURY is its top.
  EXPECT_EQ(rows[1].text, "2 400");

  // Set together with a new page, the Y holds on the new page.
  page = &report.Pages.Page(0);
  page->FindObject("Data")->Memo = {"if [LINE#] = 2 then begin NewPage; CurY := 300 end"};
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_EQ(report.EMFPages.Count(), 2);
  EXPECT_EQ(layout(objects(0), top()), (Lines{"Row@2 1 " + std::to_string(top())}));
  const auto moved = named(1, "Row");
  ASSERT_EQ(moved.size(), 2u);
  EXPECT_EQ(moved[0].top, 300 + 2);
  EXPECT_EQ(moved[1].top, 320 + 2);
}

}  // namespace
}  // namespace orv
