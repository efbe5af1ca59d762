// The band engine over templates built in code: page counts, where every band
// lands and what each prepared page holds.
#include <gtest/gtest.h>

#include <QSqlQuery>
#include <QTemporaryDir>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "addins/addins.h"
#include "addins/barcode_view.h"
#include "addins/chart_view.h"
#include "addins/checkbox_view.h"
#include "addins/rich_view.h"
#include "band_engine_fixture.h"
#include "engine/band.h"
#include "engine/data_connection.h"
#include "engine/dataset.h"
#include "engine/engine_globals.h"
#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "model/page.h"
#include "model/views.h"
#include "printing/tfr_printer.h"
#include "template_builder.h"

namespace orv {
namespace {

using bandtest::BandEngine;
using bandtest::cityOrders;
using bandtest::Placed;
using bandtest::Rows;
using bandtest::texts;
using tools::place;

TEST_F(BandEngine, TitleAndFirstPageFooterMakeOnePageWithTheFooterAtTheBottomLimit) {
  band(btReportTitle, "Title", 10, 40);
  memo("TitleText", 20, 15, 300, 20, {"Relatório"});
  auto& footer = band(btPageFooter, "Footer", 900, 30);
  footer.Flags = bfOnFirstPage;
  memo("FooterText", 20, 905, 300, 20, {"Rodapé"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_EQ(report.EMFPages.Count(), 1);
  const auto title = named(0, "TitleText");
  ASSERT_EQ(title.size(), 1u);
  EXPECT_EQ(title[0].top, top() + 5);
  const auto foot = named(0, "FooterText");
  ASSERT_EQ(foot.size(), 1u);
  // The footer stands at the bottom limit: the content bottom less its height.
  EXPECT_EQ(foot[0].top, report.Pages.Page(0).BottomEdge() - 30 + 5);
}

TEST_F(BandEngine, AFooterForNeitherFirstNorLastPageLeavesASinglePageWithoutIt) {
  band(btReportTitle, "Title", 10, 40);
  memo("TitleText", 20, 15, 300, 20, {"Relatório"});
  auto& footer = band(btPageFooter, "Footer", 900, 30);
  footer.Flags = 0;
  memo("FooterText", 20, 905, 300, 20, {"Rodapé"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_EQ(report.EMFPages.Count(), 1);
  EXPECT_TRUE(named(0, "FooterText").empty());
}

TEST_F(BandEngine, RecordsThatOverflowStartNewPagesWithHeadersAndFooters) {
  auto& header = band(btPageHeader, "Header", 0, 20);
  header.Flags = bfOnFirstPage;
  memo("HeaderText", 0, 2, 300, 16, {"Cabeçalho [PAGE#]"});
  band(btMasterData, "Data", 40, 25, "100");
  memo("Row", 0, 42, 300, 20, {"Linha [LINE#]"});
  auto& footer = band(btPageFooter, "Footer", 900, 30);
  footer.Flags = bfOnFirstPage | bfOnLastPage;
  memo("FooterText", 0, 905, 300, 20, {"Página [PAGE#]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;

  const int32_t bottom =
      report.Pages.Page(0).BottomEdge() - 30;  // without the footer while running
  const int32_t perPage = (bottom - (top() + 20)) / 25;
  const int pages = (100 + perPage - 1) / perPage;
  ASSERT_EQ(report.EMFPages.Count(), pages);
  // Finished pages are kept packed while the run goes on.
  for (int i = 0; i + 1 < pages; ++i) EXPECT_TRUE(report.EMFPages.Entry(i).Stored.packed) << i;
  int seen = 0;
  for (int i = 0; i < pages; ++i) {
    const auto head = named(i, "HeaderText");
    ASSERT_EQ(head.size(), 1u) << "page " << i + 1;
    EXPECT_EQ(head[0].text, "Cabeçalho " + std::to_string(i + 1));
    EXPECT_EQ(head[0].top, top() + 2);
    const auto rows = named(i, "Row");
    for (size_t r = 0; r < rows.size(); ++r) {
      EXPECT_EQ(rows[r].text, "Linha " + std::to_string(seen + 1));
      EXPECT_EQ(rows[r].top, top() + 20 + int32_t(r) * 25 + 2);
      EXPECT_LE(rows[r].top - 2 + 25, bottom);
      ++seen;
    }
    const auto foot = named(i, "FooterText");
    ASSERT_EQ(foot.size(), 1u) << "page " << i + 1;
    EXPECT_EQ(foot[0].text, "Página " + std::to_string(i + 1));
  }
  EXPECT_EQ(seen, 100);
}

TEST_F(BandEngine, ADataSourceOfFivePrintsTheBandFiveTimesAndZeroRecordsPrintNothing) {
  band(btMasterData, "Data", 40, 25, "5");
  memo("Row", 0, 42, 300, 20, {"[LINE#]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(named(0, "Row").size(), 5u);

  auto ds = std::make_unique<TfrUserDataset>("Empty");
  ds->RangeEnd = reCount;
  ds->RangeEndCount = 0;
  report.Components.add(std::move(ds));
  page = &report.Pages.Page(0);  // the run put the template back as it was
  page->FindObject("Data")->FormatStr = "Empty";
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_TRUE(named(0, "Row").empty());
}

TEST_F(BandEngine, GroupFootersSeeTheLastRecordOfTheirGroupBeforeTheNextHeader) {
  const auto orders = cityOrders(report, {{"Recife", 1}, {"Recife", 2}, {"Natal", 3}});
  band(btGroupHeader, "GH", 20, 20, "[CITY]");
  memo("GroupTitle", 0, 22, 300, 16, {"Cidade [CITY]"});
  band(btMasterData, "Data", 60, 20, "Orders");
  memo("Row", 0, 62, 300, 16, {"Pedido [N]"});
  band(btGroupFooter, "GF", 100, 20);
  memo("GroupEnd", 0, 102, 300, 16, {"Fim [CITY] [N]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  std::vector<std::string> order;
  for (const Placed& p : objects(0)) order.push_back(p.text);
  EXPECT_EQ(order,
            (std::vector<std::string>{"Cidade Recife", "Pedido 1", "Pedido 2", "Fim Recife 2",
                                      "Cidade Natal", "Pedido 3", "Fim Natal 3"}));
  // Each band starts where the one before it ended.
  const auto objs = objects(0);
  for (size_t i = 0; i < objs.size(); ++i) EXPECT_EQ(objs[i].top, top() + 20 * int32_t(i) + 2);
}

TEST_F(BandEngine, AMasterRecordWithoutDetailsIsLeftOutUnlessPrintIfSubsetEmpty) {
  Rows masters(report, "Masters", {{{"M", Variant(1)}}, {{"M", Variant(2)}}});
  Rows details(report, "Details", {{{"D", Variant(10)}}, {{"D", Variant(20)}}});
  // Master 1 has two details, master 2 none.
  details.dataset->OnFirst = [&](TfrDataset& ds) {
    ds.RangeEndCount = masters.dataset->RecNo == 0 ? 2 : 0;
  };
  report.OnGetValue = [&](const std::string& n, Variant& v) {
    if (!masters.lookup(n, v)) details.lookup(n, v);
  };
  band(btMasterData, "Master", 20, 20, "Masters");
  memo("MasterRow", 0, 22, 300, 16, {"M[M]"});
  band(btDetailData, "Detail", 60, 20, "Details");
  memo("DetailRow", 20, 62, 300, 16, {"D[D]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  std::vector<std::string> texts;
  for (const Placed& p : objects(0)) texts.push_back(p.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"M1", "D10", "D20"}));

  page = &report.Pages.Page(0);
  page->FindObject("Master")->Flags |= bfPrintIfSubsetEmpty;
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  texts.clear();
  for (const Placed& p : objects(0)) texts.push_back(p.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"M1", "D10", "D20", "M2"}));
}

TEST_F(BandEngine, ATextTallerThanAPageSplitsAndContinuesWhereItStopped) {
  std::vector<std::string> lines;
  for (int i = 1; i <= 150; ++i) lines.push_back("linha " + std::to_string(i));
  auto& b = band(btMasterData, "Data", 40, 30, "1");
  b.Flags = bfStretched | bfBreaked;
  memo("Long", 0, 40, 400, 30, lines);
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_GE(report.EMFPages.Count(), 3);
  std::vector<std::string> all;
  for (int i = 0; i < report.EMFPages.Count(); ++i) {
    const auto parts = named(i, "Long");
    ASSERT_EQ(parts.size(), 1u) << "page " << i + 1;
    EXPECT_EQ(parts[0].top, top()) << "page " << i + 1;
    report.EMFPages.BuildObjects(i);
    for (auto& v : report.EMFPages.Entry(i).ObjectPage->Objects)
      for (const std::string& l : v->Memo)
        if (l != std::string(1, kParagraphEnd)) {
          std::string t = l;
          if (!t.empty() && t.back() == kParagraphEnd) t.pop_back();
          all.push_back(t);
        }
  }
  EXPECT_EQ(all, lines);
}

TEST_F(BandEngine, TotalPagesIsTheFinalCountInADoublePassAndZeroOtherwise) {
  band(btMasterData, "Data", 40, 200, "12");
  memo("Row", 0, 42, 300, 20, {"[PAGE#] de [TOTALPAGES]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  const int pages = report.EMFPages.Count();
  ASSERT_GT(pages, 1);
  EXPECT_EQ(named(pages - 1, "Row").back().text, std::to_string(pages) + " de 0");

  report.DoublePassReport = 1;
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_EQ(report.EMFPages.Count(), pages);
  for (int i = 0; i < pages; ++i)
    for (const Placed& p : named(i, "Row"))
      EXPECT_EQ(p.text, std::to_string(i + 1) + " de " + std::to_string(pages));
}

TEST_F(BandEngine, APageMarkedPrintToPrevPageContinuesOnTheSamePreparedPage) {
  band(btReportTitle, "Title", 10, 40);
  memo("First", 0, 12, 300, 20, {"Página [PAGE#]"});
  TfrPage* second = &report.Pages.Add();
  second->ChangePaper(9, 2100, 2970, poPortrait, -1);
  second->UseMargins = true;
  second->Margins = page->Margins;
  second->PrintToPrevPage = true;
  page = second;
  band(btReportTitle, "Title2", 10, 40);
  memo("Second", 0, 12, 300, 20, {"Segunda [PAGE#]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_EQ(report.EMFPages.Count(), 1);
  EXPECT_EQ(named(0, "First")[0].text, "Página 1");
  const auto s = named(0, "Second");
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].text, "Segunda 1");
  EXPECT_EQ(s[0].top, top() + 40 + 2);
}

TEST_F(BandEngine, AnUnknownNameFailsTheRunWithItsMessageAndLeavesNoPages) {
  band(btReportTitle, "Title", 10, 40);
  memo("Broken", 0, 12, 300, 20, {"[NINGUEM]"});
  EXPECT_FALSE(report.PrepareReport());
  EXPECT_EQ(report.EMFPages.Count(), 0);
  EXPECT_NE(report.LastError.find("S\xEDmbolo indefinido \"NINGUEM\""), std::string::npos)
      << report.LastError;
  EXPECT_NE(report.LastError.find("Objeto: Broken"), std::string::npos) << report.LastError;
  // The template is as it was.
  EXPECT_EQ(report.Pages.Page(0).FindObject("Broken")->Top, 12);
}

TEST_F(BandEngine, RepeatedHeadersComeBackOnEveryNewPage) {
  auto& mh = band(btMasterHeader, "MH", 20, 20);
  mh.Flags = bfRepeatHeader;
  memo("Columns", 0, 22, 300, 16, {"Colunas"});
  band(btMasterData, "Data", 60, 40, "80");
  memo("Row", 0, 62, 300, 16, {"[LINE#]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_GT(report.EMFPages.Count(), 1);
  for (int i = 0; i < report.EMFPages.Count(); ++i) {
    const auto objs = objects(i);
    ASSERT_FALSE(objs.empty());
    EXPECT_EQ(objs[0].name, "Columns") << "page " << i + 1;
    EXPECT_EQ(objs[0].top, top() + 2);
  }
}

TEST_F(BandEngine, MultiColumnBandsFillAcrossBeforeGoingDown) {
  auto& d = band(btMasterData, "Data", 40, 20, "5");
  d.Columns = 2;
  d.ColumnWidth = 150;
  d.ColumnGap = 10;
  memo("Cell", 0, 40, 140, 20, {"[LINE#]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  const auto cells = named(0, "Cell");
  ASSERT_EQ(cells.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(cells[i].left, (i % 2) * 160) << i;
    EXPECT_EQ(cells[i].top, top() + (i / 2) * 20) << i;
  }
}

// ------------------------------------------------------------ scripts and aggregates

TEST_F(BandEngine, AggregatesTotalEachGroupAndTheWholeReport) {
  const std::vector<std::pair<std::string, int>> data = {
      {"Recife", -4}, {"Recife", -2}, {"Natal", 3}, {"Natal", 8}, {"Natal", 1}};
  const auto orders = cityOrders(report, data);
  band(btGroupHeader, "GH", 20, 20, "[CITY]");
  band(btMasterData, "Data", 60, 20, "Orders");
  band(btGroupFooter, "GF", 100, 20);
  memo("GroupEnd", 0, 102, 600, 16, {"[SUM([N])] [COUNT(Data)] [MAX([N])] [MIN([N])] [AVG([N])]"});
  band(btReportSummary, "Summary", 140, 20);
  memo("Total", 0, 142, 600, 16, {"[SUM([N])] [COUNT(Data)]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;

  // Expectations from the rows: per group sum, count, max (which starts at
  // 0), min and average.
  std::vector<std::string> expected;
  int total = 0;
  for (size_t i = 0; i < data.size();) {
    size_t j = i;
    int sum = 0, mx = 0, mn = 1 << 30;
    while (j < data.size() && data[j].first == data[i].first) {
      sum += data[j].second;
      mx = std::max(mx, data[j].second);
      mn = std::min(mn, data[j].second);
      ++j;
    }
    const int count = int(j - i);
    const double avg = double(sum) / count;
    std::string avgText = std::to_string(avg);
    avgText = avg == int(avg) ? std::to_string(int(avg)) : avgText;
    expected.push_back(std::to_string(sum) + " " + std::to_string(count) + " " +
                       std::to_string(mx) + " " + std::to_string(mn) + " " + avgText);
    total += sum;
    i = j;
  }
  std::vector<std::string> got;
  for (const Placed& p : named(0, "GroupEnd")) got.push_back(p.text);
  // Average of Natal: 12 / 3 = 4; of Recife: -3.
  EXPECT_EQ(got, expected);
  const auto summary = named(0, "Total");
  ASSERT_EQ(summary.size(), 1u);
  EXPECT_EQ(summary[0].text, std::to_string(total) + " " + std::to_string(data.size()));
}

TEST_F(BandEngine, APageFooterTotalsTheRecordsOfItsOwnPage) {
  band(btMasterData, "Data", 40, 25, "90");
  memo("Row", 0, 42, 300, 20, {"[LINE#]"});
  auto& footer = band(btPageFooter, "Footer", 900, 30);
  footer.Flags = bfOnFirstPage | bfOnLastPage;
  memo("PageTotal", 0, 905, 300, 20, {"[SUM([LINE#])] [COUNT(Data)]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_GT(report.EMFPages.Count(), 1);
  int rows = 0;
  for (int i = 0; i < report.EMFPages.Count(); ++i) {
    int sum = 0, count = 0;
    for (const Placed& p : named(i, "Row")) {
      sum += std::stoi(p.text);
      ++count;
    }
    rows += count;
    EXPECT_EQ(texts(named(i, "PageTotal")), std::to_string(sum) + " " + std::to_string(count))
        << "page " << i + 1;
  }
  EXPECT_EQ(rows, 90);
}

TEST_F(BandEngine, CountSkipsInvisibleRecordsUnlessItsFlagIsOne) {
  auto& data = band(btMasterData, "Data", 40, 20, "4");
  // The band's script hides the odd lines.
  data.Memo = {"MasterData := 0; Data.Visible := [LINE#] mod 2 = 0"};
  memo("Row", 0, 42, 300, 16, {"[LINE#]"});
  band(btReportSummary, "Summary", 100, 20);
  memo("Counts", 0, 102, 300, 16, {"[COUNT(Data)] [COUNT(Data, 1)] [AVG([LINE#], Data)]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Row")), "2 / 4");
  // Visible lines 2 and 4: average over the count of all records passed (4).
  EXPECT_EQ(texts(named(0, "Counts")), "2 4 1,5");
}

TEST_F(BandEngine, AnAverageOverNoRecordsIsZeroAndAnUnknownBandNeverRegisters) {
  band(btMasterData, "Data", 40, 20, "3");
  band(btReportSummary, "Summary", 100, 20);
  memo("Values", 0, 102, 300, 16, {"[SUM([LINE#], Other)] [MIN([LINE#])]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Values")), "0 1");
}

TEST_F(BandEngine, ScriptsOfPagesBandsAndObjectsRunWhereTheyArePlaced) {
  page->PageScript = {"Lines := 100"};
  auto& data = band(btMasterData, "Data", 40, 20, "3");
  data.Memo = {"begin Inc(Lines); if [LINE#] = 2 then Arr[[LINE#]] := 'two' end"};
  auto& row = memo("Row", 0, 42, 300, 16, {"[Lines] [Arr[2]]"});
  row.BeforePrintScript = {"if [LINE#] = 3 then Row.Memo.Add('end')"};
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Row")), "101  / 102 two / 103 two|end");
  // The template is unchanged by the run.
  EXPECT_EQ(report.Pages.Page(0).FindObject("Row")->Memo.size(), 1u);
}

TEST_F(BandEngine, NewPageAndStopReportComeFromTheBandScript) {
  auto& data = band(btMasterData, "Data", 40, 20, "5");
  data.Memo = {"if [LINE#] = 3 then NewPage; if [LINE#] = 4 then StopReport"};
  memo("Row", 0, 42, 300, 16, {"[LINE#]"});
  report.PrepareReport();
  ASSERT_EQ(report.EMFPages.Count(), 2);
  EXPECT_EQ(texts(named(0, "Row")), "1 / 2");
  EXPECT_EQ(texts(named(1, "Row")), "3");
}

TEST_F(BandEngine, ShowBandPlacesANamedBandAtOnce) {
  auto& data = band(btMasterData, "Data", 40, 20, "3");
  data.Memo = {"if [LINE#] = 2 then ShowBand(Extra)"};
  memo("Row", 0, 42, 300, 16, {"[LINE#]"});
  band(btChild, "Extra", 100, 20);
  memo("ExtraText", 0, 102, 300, 16, {"extra"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  std::vector<std::string> order;
  for (const Placed& p : objects(0)) order.push_back(p.text);
  EXPECT_EQ(order, (std::vector<std::string>{"1", "extra", "2", "3"}));
}

// Answers as a person would, and remembers what it was asked.
class AnsweringUi : public ReportUi {
 public:
  std::string asked;
  void ShowError(const std::string& text, const std::string&) override { asked += "error;"; }
  bool AskPassword(std::string&) override { return false; }
  void InputBox(const std::string&, const std::string& prompt, std::string& value) override {
    asked += prompt + "=" + value + ";";
    value = "typed";
  }
  int MessageBox(const std::string& text, const std::string&, int flags) override {
    asked += text + "/" + std::to_string(flags) + ";";
    return 7;
  }
};

TEST_F(BandEngine, InputAndMessageBoxAskTheReportsUi) {
  band(btReportTitle, "Title", 10, 40);
  memo("Answers", 0, 12, 300, 16,
       {"[INPUT('Nome', 'x')] [MESSAGEBOX('Sair?', 'c', mb_YesNo + mb_IconQuestion)]"});
  AnsweringUi ui;
  report.Ui = &ui;
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Answers")), "typed 7");
  EXPECT_EQ(ui.asked, "Nome=x;Sair?/36;");
  // Without a window: the default and the first button.
  report.Ui = nullptr;
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Answers")), "x 6");
}

TEST_F(BandEngine, AScriptThatNeverEndsFailsTheRunNamingItsObject) {
  auto& data = band(btMasterData, "Data", 40, 20, "1");
  memo("Row", 0, 42, 300, 16, {"x"}).BeforePrintScript = {"x := 0; while 1 do x := x + 1"};
  (void)data;
  TInterpretator& in = engineGlobals().Interpreter;
  in.MaxSteps = 5000;
  EXPECT_FALSE(report.PrepareReport());
  in.MaxSteps = TfrInterpretator::kMaxSteps;
  EXPECT_NE(report.LastError.find("Row"), std::string::npos) << report.LastError;
  EXPECT_NE(report.LastError.find("5000"), std::string::npos)
      << QString::fromLatin1(report.LastError).toStdString();
  EXPECT_EQ(report.EMFPages.Count(), 0);
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

TEST_F(BandEngine, NestedGroupsCloseInnerFootersFirstAndReopenFromTheGroupThatBroke) {
  Rows sales(report, "Sales",
             {{{"UF", Variant("PE")}, {"CITY", Variant("Recife")}, {"N", Variant(1)}},
              {{"UF", Variant("PE")}, {"CITY", Variant("Olinda")}, {"N", Variant(2)}},
              {{"UF", Variant("RN")}, {"CITY", Variant("Natal")}, {"N", Variant(3)}}});
  report.OnGetValue = [&](const std::string& n, Variant& v) { sales.lookup(n, v); };
  band(btGroupHeader, "Outer", 20, 20, "[UF]");
  memo("OuterHead", 0, 22, 300, 16, {"UF [UF]"});
  band(btGroupHeader, "Inner", 50, 20, "[CITY]");
  memo("InnerHead", 0, 52, 300, 16, {"Cidade [CITY]"});
  band(btMasterData, "Data", 80, 20, "Sales");
  memo("Row", 0, 82, 300, 16, {"[N]"});
  band(btGroupFooter, "InnerFoot", 110, 20);
  memo("InnerEnd", 0, 112, 300, 16, {"fim [CITY]"});
  band(btGroupFooter, "OuterFoot", 140, 20);
  memo("OuterEnd", 0, 142, 300, 16, {"fim [UF]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  std::vector<std::string> texts;
  for (const Placed& p : objects(0)) texts.push_back(p.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"UF PE", "Cidade Recife", "1", "fim Recife",
                                             "Cidade Olinda", "2", "fim Olinda", "fim PE", "UF RN",
                                             "Cidade Natal", "3", "fim Natal", "fim RN"}));
}

TEST_F(BandEngine, PageColumnsFillDownThenAcrossWithColumnHeadersAndFooters) {
  page->Columns = 2;
  page->ColumnGap = 20;
  band(btColumnHeader, "CH", 10, 20);
  memo("ColHead", 0, 12, 100, 16, {"Coluna"});
  band(btMasterData, "Data", 40, 100, "14");
  memo("Row", 0, 42, 100, 16, {"[LINE#]"});
  band(btColumnFooter, "CF", 200, 20);
  memo("ColFoot", 0, 202, 100, 16, {"fim"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  TfrPage& tpl = report.Pages.Page(0);
  const int32_t colWidth = (tpl.RightEdge() - tpl.LeftEdge() - 20) / 2;
  const auto heads = named(0, "ColHead");
  ASSERT_EQ(heads.size(), 2u);
  EXPECT_EQ(heads[0].left, 0);
  EXPECT_EQ(heads[1].left, colWidth + 20);
  EXPECT_EQ(heads[1].top, heads[0].top);
  const auto rows = named(0, "Row");
  ASSERT_FALSE(rows.empty());
  // The second column starts at the top of the column area again.
  size_t firstRight = 0;
  while (firstRight < rows.size() && rows[firstRight].left == 0) ++firstRight;
  ASSERT_LT(firstRight, rows.size());
  EXPECT_EQ(rows[firstRight].top, rows[0].top);
  EXPECT_EQ(rows[firstRight].text, std::to_string(firstRight + 1));
  // Every column is closed by its footer.
  EXPECT_EQ(named(0, "ColFoot").size(), 2u);
}

TEST_F(BandEngine, AGroupHeaderWithRepeatHeaderComesBackAtTheTopOfANewPage) {
  std::vector<std::map<std::string, Variant>> rows;
  for (int i = 0; i < 60; ++i) rows.push_back({{"G", Variant("A")}, {"N", Variant(i + 1)}});
  Rows data(report, "Data", rows);
  report.OnGetValue = [&](const std::string& n, Variant& v) { data.lookup(n, v); };
  auto& g = band(btGroupHeader, "GH", 20, 20, "[G]");
  g.Flags = bfRepeatHeader;
  memo("Head", 0, 22, 300, 16, {"Grupo [G]"});
  band(btMasterData, "Rows", 60, 30, "Data");
  memo("Row", 0, 62, 300, 16, {"[N]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_GT(report.EMFPages.Count(), 1);
  for (int i = 0; i < report.EMFPages.Count(); ++i) {
    const auto objs = objects(i);
    ASSERT_FALSE(objs.empty());
    EXPECT_EQ(objs[0].text, "Grupo A") << "page " << i + 1;
    EXPECT_EQ(objs[0].top, top() + 2) << "page " << i + 1;
  }
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

TEST_F(BandEngine, DatabaseFieldsReachTextsByDataSetAndByPlainName) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("vendas.db").toStdString();
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "band-engine-setup");
    db.setDatabaseName(QString::fromStdString(path));
    ASSERT_TRUE(db.open());
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec("CREATE TABLE orders (id INTEGER, client TEXT, amount NUMERIC)"));
    ASSERT_TRUE(
        q.exec("INSERT INTO orders VALUES (1, 'Ana', 10.5), (2, 'Bruno', 20), "
               "(3, 'Caio', 7.25)"));
    db.close();
  }
  QSqlDatabase::removeDatabase("band-engine-setup");
  QSqlDatabase db = openDatabaseUrl("sqlite:" + path);
  addDatasetDefinition(report.Components,
                       "Orders=SELECT id, client, amount FROM orders ORDER BY id", &db);
  band(btMasterData, "Data", 40, 20, "Orders");
  memo("Row", 0, 42, 300, 16, {"[Orders.\"client\"]: [amount]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  std::vector<std::string> texts;
  for (const Placed& p : named(0, "Row")) texts.push_back(p.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Ana: 10,5", "Bruno: 20", "Caio: 7,25"}));
  report.Components.clear();
  closeDatabase(db);
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

TEST_F(BandEngine, ARunThatWouldNeverEndStopsWithAClearError) {
  // A billion records on a band of no height never fill a page.
  band(btMasterData, "Data", 40, 0, "1000000000");
  ASSERT_FALSE(report.PrepareReport());
  EXPECT_NE(report.LastError.find("20000000 registros e faixas e foi interrompido"),
            std::string::npos)
      << report.LastError;
  EXPECT_EQ(report.EMFPages.Count(), 0);
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

TEST_F(BandEngine, ARepeatedHeaderOpensEveryNewColumnToo) {
  page->Columns = 2;
  page->ColumnGap = 20;
  auto& mh = band(btMasterHeader, "MH", 20, 20);
  mh.Flags = bfRepeatHeader;
  memo("Head", 0, 22, 100, 16, {"Nome"});
  band(btMasterData, "Data", 60, 100, "25");
  memo("Row", 0, 62, 100, 16, {"[LINE#]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_GT(report.EMFPages.Count(), 1);
  for (int i = 0; i < report.EMFPages.Count(); ++i) {
    const auto heads = named(i, "Head");
    const auto rows = named(i, "Row");
    // One header per column that holds rows, at the top of the column.
    std::set<int32_t> columns;
    for (const Placed& r : rows) columns.insert(r.left);
    ASSERT_EQ(heads.size(), columns.size()) << "page " << i + 1;
    for (const Placed& h : heads) {
      EXPECT_EQ(h.top, top() + 2) << "page " << i + 1;
      EXPECT_TRUE(columns.count(h.left)) << "page " << i + 1;
    }
  }
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

TEST_F(BandEngine, ALongRichTextSplitsOverPagesEachPartStartingWhereTheLastStopped) {
  registerAddIns();
  std::string body;
  for (int i = 0; i < 200; ++i) body += "Par\\'e1grafo " + std::to_string(i) + " [PAGE#]\\par ";
  auto& b = band(btMasterData, "Data", 40, 30, "1");
  b.Flags = bfStretched | bfBreaked;
  auto& rich = place<TfrRichView>(*page, "Rich", 0, 40, 400, 30);
  rich.RichContent =
      rtf::read("{\\rtf1{\\fonttbl{\\f0\\fcharset0 Arial;}}\\f0\\fs20 " + body + "}");
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_GE(report.EMFPages.Count(), 3);
  // Every paragraph comes once, in order; each part's expressions are
  // replaced on the page it stands on.
  int next = 0;
  for (int i = 0; i < report.EMFPages.Count(); ++i) {
    report.EMFPages.BuildObjects(i);
    const auto& objs = report.EMFPages.Entry(i).ObjectPage->Objects;
    ASSERT_EQ(objs.size(), 1u) << "page " << i + 1;
    auto* part = dynamic_cast<TfrRichView*>(objs[0].get());
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->Top, top()) << "page " << i + 1;
    const QStringList lines =
        QString::fromStdU16String(part->RichContent.text()).split('\r', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty()) << "page " << i + 1;
    for (const QString& line : lines)
      EXPECT_EQ(line, QString::fromUtf8("Parágrafo %1 %2").arg(next++).arg(i + 1));
  }
  EXPECT_EQ(next, 200);
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

TEST_F(BandEngine, AChartCollectsTheTextsItNamesAsTheRunWritesThem) {
  registerAddIns();
  band(btMasterData, "Data", 40, 20, "3");
  memo("Label", 0, 42, 100, 16, {"M[LINE#]"});
  memo("Amount", 120, 42, 100, 16, {"[LINE# * 10]"});
  band(btReportSummary, "Summary", 100, 200);
  auto& chart = place<TfrChartView>(*page, "Chart", 0, 100, 400, 200);
  chart.Flags |= flAddInNotify;
  chart.LegendObject = "Label";
  chart.ValueObject = "Amount";
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  const auto charts = named(0, "Chart");
  ASSERT_EQ(charts.size(), 1u);
  EXPECT_EQ(charts[0].text, "M1;M2;M3;|10;20;30;");
  EXPECT_GT(charts[0].top, named(0, "Label").back().top);

  // With several series each print of the legend object starts a series.
  page = &report.Pages.Page(0);
  auto* again = dynamic_cast<TfrChartView*>(page->FindObject("Chart"));
  ASSERT_NE(again, nullptr);
  again->Options.SingleSeries = false;
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(named(0, "Chart")[0].text, "M1;M2;M3;|10;|20;|30;");
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

TEST_F(BandEngine, AddInAndPictureConstantsResolveInTextsAndScripts) {
  // Registered late, after the engine's constant table exists.
  registerAddIns();
  registerAddIns();
  auto& data = band(btMasterData, "Data", 40, 20, "1");
  auto& box = place<TfrCheckBoxView>(*page, "Box", 400, 42, 16, 16);
  box.CheckStyle = csCross;
  // Only its property matters here; the box itself is not printed.
  box.Visible = false;
  data.Memo = {"if Box.CheckStyle = csCross then Box.CheckStyle := csCheck"};
  memo("Row", 0, 42, 300, 16, {"[csCheck] [skEllipse] [gsVertical] [btJPG] [Box.CheckStyle]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Row")), "1 2 1 1 1");
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

TEST_F(BandEngine, AnAggregateOfAnExpressionSumsTheExpression) {
  Rows items(
      report, "Items",
      {{{"Q", Variant(2)}, {"PRICE", Variant(3)}}, {{"Q", Variant(5)}, {"PRICE", Variant(7)}}});
  report.OnGetValue = [&](const std::string& n, Variant& v) { items.lookup(n, v); };
  band(btMasterData, "Data", 40, 20, "Items");
  band(btReportSummary, "Summary", 80, 20);
  memo("Total", 0, 82, 300, 16, {"[SUM([Q] * [PRICE] + 1)]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  const auto total = named(0, "Total");
  ASSERT_EQ(total.size(), 1u);
  EXPECT_EQ(total[0].text, std::to_string(2 * 3 + 1 + 5 * 7 + 1));
}

TEST_F(BandEngine, EachRecordOfTheReportsDataSetRepeatsTheWholeReport) {
  Rows clients(
      report, "Clients",
      {{{"NAME", Variant("Ana")}}, {{"NAME", Variant("Bruno")}}, {{"NAME", Variant("Caio")}}});
  report.OnGetValue = [&](const std::string& n, Variant& v) { clients.lookup(n, v); };
  band(btReportTitle, "Title", 10, 20);
  memo("Name", 0, 12, 300, 16, {"[NAME] [PAGE#]"});
  report.Dataset = clients.dataset;
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  // A simple report runs once, whatever its data set.
  ASSERT_EQ(report.EMFPages.Count(), 1);
  report.ReportType = TfrReport::rtMultiple;
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_EQ(report.EMFPages.Count(), 3);
  const std::vector<std::string> expected{"Ana 1", "Bruno 2", "Caio 3"};
  for (int i = 0; i < 3; ++i) {
    const auto n = named(i, "Name");
    ASSERT_EQ(n.size(), 1u);
    EXPECT_EQ(n[0].text, expected[size_t(i)]);
    EXPECT_EQ(n[0].top, top() + 2);
  }
}

TEST_F(BandEngine, ADialogPageRunsFirstAndMayCancelTheRun) {
  band(btReportTitle, "Title", 10, 20);
  memo("Greeting", 0, 12, 300, 16, {"Ol\xE1 [Cliente]"});
  TfrPage& dialog = report.Pages.Add();
  dialog.PageKind = ptDialog;
  dialog.PageScript = {"Cliente := 'Ana'"};
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_EQ(report.EMFPages.Count(), 1);
  const auto g = named(0, "Greeting");
  ASSERT_EQ(g.size(), 1u);
  EXPECT_EQ(g[0].text, "Ol\xE1 Ana");

  report.Pages.Page(1).PageScript = {"MODALRESULT := mrCancel"};
  EXPECT_FALSE(report.PrepareReport());
  EXPECT_EQ(report.EMFPages.Count(), 0);
  EXPECT_TRUE(report.LastError.empty()) << report.LastError;
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

TEST_F(BandEngine, CheckBoxesAndBarcodesEvaluateTheirExpressionsInARun) {
  registerAddIns();
  band(btMasterData, "Data", 40, 40, "3");
  auto& box = place<TfrCheckBoxView>(*page, "Box", 0, 42, 16, 16);
  box.Memo = {"[LINE#] = 2"};
  auto& code = place<TfrBarCodeView>(*page, "Code", 100, 42, 200, 36);
  code.Memo = {"[LINE# * 111]"};
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  std::vector<std::string> boxes, codes;
  for (const Placed& p : named(0, "Box")) boxes.push_back(p.text);
  for (const Placed& p : named(0, "Code")) codes.push_back(p.text);
  EXPECT_EQ(boxes, (std::vector<std::string>{"0", "1", "0"}));
  EXPECT_EQ(codes, (std::vector<std::string>{"111", "222", "333"}));
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

TEST_F(BandEngine, AFooterTotalsMastersAndANamedDetailBandTogether) {
  // Two cities; each order has its items; footers count orders, sum the
  // items of the named detail band and average the orders' numbers.
  const std::vector<std::pair<std::string, std::vector<int>>> orders = {
      {"Recife", {5, 7}}, {"Recife", {1}}, {"Natal", {2, 2, 2}}, {"Natal", {10}}, {"Natal", {4}}};
  std::vector<std::map<std::string, Variant>> masterRows;
  for (size_t i = 0; i < orders.size(); ++i)
    masterRows.push_back({{"CITY", Variant(orders[i].first)}, {"N", Variant(int(i + 1))}});
  Rows masters(report, "Masters", masterRows);
  Rows details(report, "Details", {});
  details.dataset->OnFirst = [&](TfrDataset& ds) {
    ds.RangeEndCount = int32_t(orders[size_t(masters.dataset->RecNo)].second.size());
  };
  report.OnGetValue = [&](const std::string& n, Variant& v) {
    if (n == "QTY") {
      v = Variant(orders[size_t(masters.dataset->RecNo)].second[size_t(details.dataset->RecNo)]);
      return;
    }
    masters.lookup(n, v);
  };
  band(btGroupHeader, "GH", 20, 20, "[CITY]");
  band(btMasterData, "Order", 60, 20, "Masters");
  band(btDetailData, "Item", 100, 20, "Details");
  band(btGroupFooter, "GF", 140, 20);
  memo("CityEnd", 0, 142, 600, 16, {"[COUNT(Order)] [SUM([QTY], Item)] [AVG([N])]"});
  band(btReportSummary, "Summary", 180, 20);
  memo("Total", 0, 182, 600, 16, {"[COUNT(Order)] [SUM([QTY], Item)] [AVG([N])]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;

  std::vector<std::string> expected;
  auto line = [](int count, int sum, double avg) {
    // The averages here are whole or end in ,5.
    std::string a = std::to_string(int(avg));
    if (avg != int(avg)) a += ",5";
    return std::to_string(count) + " " + std::to_string(sum) + " " + a;
  };
  int allCount = 0, allSum = 0, allN = 0;
  for (size_t i = 0; i < orders.size();) {
    int count = 0, sum = 0, n = 0;
    size_t j = i;
    for (; j < orders.size() && orders[j].first == orders[i].first; ++j) {
      ++count;
      n += int(j + 1);
      for (int q : orders[j].second) sum += q;
    }
    expected.push_back(line(count, sum, double(n) / count));
    allCount += count;
    allSum += sum;
    allN += n;
    i = j;
  }
  std::vector<std::string> got;
  for (const Placed& p : named(0, "CityEnd")) got.push_back(p.text);
  EXPECT_EQ(got, expected);
  // The summary still averages over every order, whatever the inner footers
  // reset.
  EXPECT_EQ(texts(named(0, "Total")), line(allCount, allSum, double(allN) / allCount));
}

}  // namespace
}  // namespace orv
