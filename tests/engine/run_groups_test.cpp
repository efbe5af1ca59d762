// The data loop of the band engine over templates built in code: records,
// masters and details, groups and their headers and footers, fields.
#include <gtest/gtest.h>

#include <QSqlQuery>
#include <QTemporaryDir>
#include <map>
#include <string>
#include <vector>

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
