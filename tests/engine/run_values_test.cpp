// Values a run computes and the errors it reports, over templates built in
// code: aggregate keys, line numbers, page properties in scripts, scripts
// that do not compile and data sets that no component gives.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "band_engine_fixture.h"
#include "engine/band.h"
#include "engine/formatting.h"

namespace orv {
namespace {

using bandtest::BandEngine;
using bandtest::cityOrders;
using bandtest::Rows;
using bandtest::texts;

// ------------------------------------------------------------ aggregates

TEST_F(BandEngine, AggregatesOfDifferentBandsInOneBandAreKeptApart) {
  // Two orders with three and two items.
  const std::vector<int> items = {3, 2};
  Rows masters(report, "Masters", {{}, {}});
  Rows details(report, "Details", {});
  details.dataset->OnFirst = [&](TfrDataset& ds) {
    ds.RangeEndCount = items[size_t(masters.dataset->RecNo)];
  };
  band(btMasterData, "MasterData1", 20, 20, "Masters");
  band(btDetailData, "DetailData1", 60, 20, "Details");
  band(btReportSummary, "Summary", 100, 20);
  memo("Counts", 0, 102, 600, 16, {"[COUNT(MasterData1)] [COUNT(DetailData1)]"});
  memo("Reverse", 0, 102, 600, 16, {"[COUNT(DetailData1)] [COUNT(MasterData1)]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Counts")), "2 5");
  EXPECT_EQ(texts(named(0, "Reverse")), "5 2");
}

TEST_F(BandEngine, TheSameSumOverTwoNamedBandsGivesEachItsOwnTotal) {
  Rows masters(report, "Masters", {{{"M", Variant(1)}}, {{"M", Variant(2)}}});
  Rows details(report, "Details", {});
  details.dataset->OnFirst = [&](TfrDataset& ds) { ds.RangeEndCount = 3; };
  report.OnGetValue = [&](const std::string& n, Variant& v) { masters.lookup(n, v); };
  band(btMasterData, "MasterData1", 20, 20, "Masters");
  band(btDetailData, "DetailData1", 60, 20, "Details");
  band(btReportSummary, "Summary", 100, 20);
  // [M] is the master's number on both levels: 1 + 2 over the masters,
  // 3 × 1 + 3 × 2 over the details.
  memo("Sums", 0, 102, 600, 16, {"[SUM([M], MasterData1)] [SUM([M], DetailData1)]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Sums")), "3 9");
}

// ------------------------------------------------------------ names

TEST_F(BandEngine, ANameTakesTheMeaningItHasWhenItIsEvaluated) {
  // A constant, and a special name that report variables come before: from
  // the second record on, the band script defines variables of both names,
  // which then win, although the same expressions were already evaluated.
  auto& data = band(btMasterData, "Data", 40, 20, "3");
  data.Memo = {"if [LINE#] = 2 then begin clRed := 7; FinalPass := 'x' end"};
  memo("Row", 0, 42, 300, 16, {"[clRed] [FINALPASS] [clRed + 1]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Row")), "255 True 256 / 7 x 8 / 7 x 8");
}

// ------------------------------------------------------------ texts

TEST_F(BandEngine, ATextReadOnceStillTakesEachRecordsValuesAndEachObjectsFormat) {
  Rows rows(report, "Rows",
            {{{"X", Variant(1.5)}, {"T", Variant(std::string("a[b"))}},
             {{"X", Variant(2.25)}, {"T", Variant(std::string("]"))}}});
  report.OnGetValue = [&](const std::string& n, Variant& v) { rows.lookup(n, v); };
  band(btMasterData, "Data", 40, 20, "Rows");
  // One text in two objects of different formats; one with a format of its
  // own; brackets inside values are values, not expressions.
  memo("Plain", 0, 42, 200, 16, {"<[X]> [T]"});
  TfrMemoView& fixed = memo("Fixed", 200, 42, 200, 16, {"<[X]> [T]"});
  fixed.Format = makeFormat(fkNumber, 1, 2, '.');
  memo("Own", 400, 42, 200, 16, {"[X #N0.000]", "[LINE#]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Plain")), "<1,5> a[b / <2,25> ]");
  EXPECT_EQ(texts(named(0, "Fixed")), "<1.50> a[b / <2.25> ]");
  EXPECT_EQ(texts(named(0, "Own")), "1.500|1 / 2.250|2");
}

TEST_F(BandEngine, AValueThatRewritesItsOwnTextPrintsTheTextAsItWas) {
  // The new text, longer than the old, takes the old one's memory: the line
  // being expanded must have been read whole before [A] is asked for.
  Rows rows(report, "Rows", {{}, {}});
  band(btMasterData, "Data", 40, 20, "Rows");
  TfrMemoView& m = memo("Self", 0, 42, 300, 16, {"[A] then [B], and the rest of the line"});
  report.OnGetValue = [&](const std::string& n, Variant& v) {
    if (n == "A") {
      m.Memo = {"[B] again, in a line long enough to be stored apart from its object"};
      v = Variant(std::string("a"));
    } else if (n == "B") {
      v = Variant(std::string("b\r\nc"));
    }
  };
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Self")),
            "a then b|c, and the rest of the line / "
            "b|c again, in a line long enough to be stored apart from its object");
}

TEST_F(BandEngine, AnUnclosedBracketFailsEveryRecordAfterTheExpressionsBeforeIt) {
  Rows rows(report, "Rows", {{}, {}});
  band(btMasterData, "Data", 40, 20, "Rows");
  memo("Bad", 0, 42, 300, 16, {"[LINE#] and [LINE# + 1"});
  EXPECT_FALSE(report.PrepareReport());
  EXPECT_NE(report.LastError.find("]"), std::string::npos) << report.LastError;
}

// ------------------------------------------------------------ line numbers

TEST_F(BandEngine, LineAndLineThroughBothNumberTheFirstRecordOne) {
  const auto orders =
      cityOrders(report, {{"Recife", 1}, {"Recife", 2}, {"Natal", 3}, {"Natal", 4}});
  band(btGroupHeader, "GH", 20, 20, "[CITY]");
  band(btMasterData, "Data", 60, 20, "Orders");
  memo("Row", 0, 62, 300, 16, {"[LINE#] [LINETHROUGH#]"});
  // LINE# starts again in each group; LINETHROUGH# runs on over the data set.
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Row")), "1 1 / 2 2 / 1 3 / 2 4");
  // A second run counts from 1 again.
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Row")), "1 1 / 2 2 / 1 3 / 2 4");
}

// ------------------------------------------------------------ page properties

TEST_F(BandEngine, APageScriptReadsAndSetsTheColumnWidth) {
  page->Columns = 2;
  page->ColumnGap = 20;
  band(btReportTitle, "Title", 0, 20);
  memo("Shared", 0, 2, 300, 16, {"[Page1.ColumnWidth]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  TfrPage& tpl = report.Pages.Page(0);
  const int32_t shared = (tpl.RightEdge() - tpl.LeftEdge() - 20) / 2;
  EXPECT_EQ(texts(named(0, "Shared")), std::to_string(shared));

  page = &report.Pages.Page(0);
  page->PageScript = {"Page1.ColumnWidth := 250"};
  band(btMasterData, "Data", 40, 100, "20");
  memo("Row", 0, 42, 100, 16, {"[LINE#] [Page1.ColumnWidth]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Shared")), "250");
  const auto rows = named(0, "Row");
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0].text, "1 250");
  // The second column starts one set width and the gap to the right.
  size_t firstRight = 0;
  while (firstRight < rows.size() && rows[firstRight].left == 0) ++firstRight;
  ASSERT_LT(firstRight, rows.size());
  EXPECT_EQ(rows[firstRight].left, 250 + 20);
  EXPECT_EQ(rows[firstRight].top, rows[0].top);

  // The width set by a run does not outlive it.
  report.Pages.Page(0).PageScript.clear();
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Shared")), std::to_string(shared));
}

// ------------------------------------------------------------ errors

TEST_F(BandEngine, AScriptThatDoesNotCompileFailsTheRunNamingItsObjectLineAndReason) {
  band(btReportTitle, "Title", 10, 40);
  auto& text = memo("Greeting", 0, 12, 300, 20, {"Ol\xE1"});
  text.BeforePrintScript = {"begin", "  if 1 > 2 Greeting.Visible := 0", "end"};
  EXPECT_FALSE(report.PrepareReport());
  EXPECT_EQ(report.EMFPages.Count(), 0);
  for (const char* part : {"Objeto: Greeting", "Line 2/", "Need \"then\" here"})
    EXPECT_NE(report.LastError.find(part), std::string::npos) << part << "\n" << report.LastError;

  // A band's script and a page's script the same way.
  page = &report.Pages.Page(0);
  page->FindObject("Greeting")->BeforePrintScript.clear();
  page->FindObject("Title")->Memo = {"x := (1 + 2"};
  EXPECT_FALSE(report.PrepareReport());
  for (const char* part : {"Objeto: Title", "Line 1/", "Need \")\" here"})
    EXPECT_NE(report.LastError.find(part), std::string::npos) << part << "\n" << report.LastError;

  page = &report.Pages.Page(0);
  page->FindObject("Title")->Memo.clear();
  page->Name = "Capa";
  page->PageScript = {"for i := 1 3 do Inc(n)"};
  EXPECT_FALSE(report.PrepareReport());
  for (const char* part : {"\"Capa\"", "Line 1/", "Need \"to\" here"})
    EXPECT_NE(report.LastError.find(part), std::string::npos) << part << "\n" << report.LastError;

  // Mended, the template runs.
  report.Pages.Page(0).PageScript = {"begin n := 0; for i := 1 to 3 do Inc(n) end"};
  EXPECT_TRUE(report.PrepareReport()) << report.LastError;
}

TEST_F(BandEngine, AMissingDataSetFailsTheRunOnlyWhenTheCallerAsksForIt) {
  band(btReportTitle, "Title", 10, 20);
  memo("TitleText", 0, 12, 300, 16, {"Pa\xEDses"});
  band(btMasterData, "MasterData1", 40, 20, "Paises");
  memo("Row", 0, 42, 300, 16, {"[LINE#]"});
  // As stored templates expect, a band whose data set is missing prints
  // nothing and the rest of the page stays.
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(named(0, "TitleText").size(), 1u);
  EXPECT_TRUE(named(0, "Row").empty());

  report.RequireDataSets = true;
  EXPECT_FALSE(report.PrepareReport());
  EXPECT_EQ(report.EMFPages.Count(), 0);
  for (const char* part : {"\"MasterData1\"", "\"Paises\""})
    EXPECT_NE(report.LastError.find(part), std::string::npos) << part << "\n" << report.LastError;

  // A counted source, a group condition and a band without a source name no
  // component and still run.
  report.Pages.Page(0).FindObject("MasterData1")->FormatStr = "2";
  page = &report.Pages.Page(0);
  band(btGroupHeader, "GH", 70, 20, "[LINE#]");
  band(btPageHeader, "PH", 100, 20);
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(named(0, "Row").size(), 2u);
}

}  // namespace
}  // namespace orv
