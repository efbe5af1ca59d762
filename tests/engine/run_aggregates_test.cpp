// Aggregates over groups, pages, the whole report and named bands, as the
// run totals them record by record.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "band_engine_fixture.h"
#include "engine/dataset.h"
#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "model/page.h"
#include "model/views.h"
#include "template_builder.h"

namespace orv {
namespace {

using bandtest::BandEngine;
using bandtest::cityOrders;
using bandtest::Placed;
using bandtest::Rows;
using bandtest::texts;

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

TEST_F(BandEngine, AnAggregateReadsItsArgumentAnewForEveryRecordAndEveryRun) {
  // The report's own event answers V for some records only; for the others
  // V is the variable the band's script sets. The argument is converted once
  // per run, yet each record's V must be the one it has then.
  Rows rows(report, "Rows", {{{"V", Variant(1)}}, {}, {{"V", Variant(100)}}, {}});
  report.OnGetValue = [&](const std::string& n, Variant& v) { rows.lookup(n, v); };
  auto& data = band(btMasterData, "Data", 40, 20, "Rows");
  data.Memo = {"V := [LINE#] * 1000"};
  memo("Row", 0, 42, 300, 16, {"[V]"});
  band(btReportSummary, "Summary", 80, 20);
  memo("Total", 0, 82, 300, 16, {"[SUM([V])] [SUM([V] + 1)]"});
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(report.PrepareReport()) << report.LastError;
    EXPECT_EQ(texts(named(0, "Row")), "1 / 2000 / 100 / 4000");
    EXPECT_EQ(texts(named(0, "Total")), "6101 6105");
  }
}

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
