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

}  // namespace
}  // namespace orv
