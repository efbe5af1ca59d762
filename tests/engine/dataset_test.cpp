#include "engine/dataset.h"

#include <gtest/gtest.h>

#include "engine/data_components.h"

namespace orv {
namespace {

// How often a data band over `ds` prints: the engine's loop, First then
// Next until Eof, with a guard against a loop that never ends.
int timesPrinted(TfrDataset& ds, int guard = 1000) {
  int n = 0;
  ds.First();
  while (!ds.Eof() && n < guard) {
    ++n;
    ds.Next();
  }
  return n;
}

TEST(UserDataset, CountedSetRepeatsItsCountWithoutHooks) {
  TfrUserDataset ds;
  ds.RangeEnd = reCount;
  ds.RangeEndCount = 3;
  ds.First();
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(ds.Eof()) << i;
    EXPECT_EQ(ds.RecNo, i);
    ds.Next();
  }
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(timesPrinted(ds), 3);

  ds.RangeEndCount = 0;
  ds.First();
  EXPECT_TRUE(ds.Eof());
}

TEST(UserDataset, HooksMoveTheUserCursorButNotPastACountedEnd) {
  TfrUserDataset ds;
  ds.RangeEnd = reCount;
  ds.RangeEndCount = 2;
  int firsts = 0, nexts = 0, priors = 0;
  ds.OnFirst = [&](TfrDataset&) { ++firsts; };
  ds.OnNext = [&](TfrDataset&) { ++nexts; };
  ds.OnPrior = [&](TfrDataset&) { ++priors; };
  EXPECT_EQ(timesPrinted(ds), 2);
  EXPECT_EQ(firsts, 1);
  // Two Next calls: the first moves the user's cursor, the second reaches
  // the count and leaves it alone.
  EXPECT_EQ(nexts, 1);
  ds.Prior();
  EXPECT_EQ(ds.RecNo, 1);
  EXPECT_EQ(priors, 1);
}

TEST(UserDataset, CheckEofEndsEarlyOrKeepsAnUnboundedSetRunning) {
  TfrUserDataset counted;
  counted.RangeEnd = reCount;
  counted.RangeEndCount = 10;
  counted.OnCheckEOF = [](TfrDataset& d, bool& eof) {
    if (d.RecNo >= 4) eof = true;
  };
  EXPECT_EQ(timesPrinted(counted), 4);

  // reLast without a hook never ends by itself: the hook must say so.
  TfrUserDataset unbounded;
  unbounded.OnCheckEOF = [](TfrDataset& d, bool& eof) { eof = d.RecNo >= 7; };
  EXPECT_EQ(timesPrinted(unbounded), 7);

  // And a hook may keep a counted set going past its count.
  TfrUserDataset extended;
  extended.RangeEnd = reCount;
  extended.RangeEndCount = 2;
  extended.OnCheckEOF = [](TfrDataset& d, bool& eof) { eof = d.RecNo >= 5; };
  EXPECT_EQ(timesPrinted(extended), 5);
}

TEST(DBDataSet, WithoutADatabaseDataSetItNamesItself) {
  TfrDBDataSet ds("Orders");
  try {
    ds.Init();
    FAIL() << "no error";
  } catch (const EDSError& e) {
    EXPECT_STREQ(e.what(), "Unable to open dataset Orders");
  }
}

// A database data set over a fixed number of rows, enough to see how the
// report data set drives it.
class RowsDataSet : public DbDataSet {
 public:
  RowsDataSet(std::string name, int rows) : DbDataSet(std::move(name)), rows_(rows) {}
  int opens = 0;
  int closes = 0;

 protected:
  void doOpen(std::vector<DbField>& fields) override {
    ++opens;
    fields.push_back({"N", FieldKind::Integer});
  }
  void doClose() override { ++closes; }
  bool fetch(int64_t row) override {
    if (row < 0 || row >= rows_) return false;
    row_ = row;
    return true;
  }
  Variant value(int) const override { return Variant(row_); }
  std::vector<uint8_t> bytes(int) const override { return {}; }

 private:
  int rows_;
  int64_t row_ = -1;
};

TEST(DBDataSet, DropsItsReferencesWhenTheyAreDestroyed) {
  TfrDBDataSet ds("Orders");
  {
    RowsDataSet rows("rows", 3);
    DbDataSource source("source");
    source.setDataSet(&rows);
    ds.setDataSource(&source);
    EXPECT_EQ(&ds.GetDataSet(), &rows);
  }
  EXPECT_EQ(ds.DataSource(), nullptr);
  EXPECT_THROW(ds.GetDataSet(), EDSError);
  {
    RowsDataSet rows("rows", 3);
    ds.setDataSet(&rows);
  }
  EXPECT_EQ(ds.DataSet(), nullptr);
  // And the other way round: a data set destroyed first leaves nothing
  // behind in the one it pointed at.
  RowsDataSet rows("rows", 3);
  {
    TfrDBDataSet shortLived("x");
    shortLived.setDataSet(&rows);
  }
  rows.Open();
  EXPECT_EQ(rows.FieldValue(0), Variant(int64_t(0)));
}

TEST(DBDataSet, DataSourceWinsOverDataSet) {
  RowsDataSet direct("direct", 1), viaSource("via", 2);
  DbDataSource source("source");
  source.setDataSet(&viaSource);
  TfrDBDataSet ds("Orders");
  ds.setDataSet(&direct);
  ds.setDataSource(&source);
  ds.Init();
  EXPECT_EQ(timesPrinted(ds), 2);
  EXPECT_EQ(viaSource.opens, 1);
  EXPECT_EQ(direct.opens, 0);
}

TEST(DBDataSet, OpensOnInitAndClosesOnExitOnlyWhenAsked) {
  RowsDataSet rows("rows", 4);
  TfrDBDataSet ds("Orders");
  ds.setDataSet(&rows);
  int opened = 0, closed = 0;
  ds.OnOpen = [&](TfrDataset&) { ++opened; };
  ds.OnClose = [&](TfrDataset&) { ++closed; };
  ds.Init();
  EXPECT_TRUE(rows.Active());
  EXPECT_EQ(timesPrinted(ds), 4);
  ds.Exit();
  EXPECT_TRUE(rows.Active());
  EXPECT_EQ(rows.closes, 0);
  ds.CloseDataSource = true;
  ds.Init();
  ds.Exit();
  EXPECT_FALSE(rows.Active());
  EXPECT_EQ(opened, 2);
  EXPECT_EQ(closed, 2);

  ds.OpenDataSource = false;
  ds.Init();
  EXPECT_FALSE(rows.Active());
}

TEST(DBDataSet, CountedRangeStopsBeforeTheRowsEnd) {
  RowsDataSet rows("rows", 10);
  TfrDBDataSet ds("Orders");
  ds.setDataSet(&rows);
  ds.RangeEnd = reCount;
  ds.RangeEndCount = 3;
  ds.Init();
  EXPECT_EQ(timesPrinted(ds), 3);
  ds.RangeEndCount = 50;
  EXPECT_EQ(timesPrinted(ds), 10);
}

TEST(BandDataset, TheDataSourceTextDecides) {
  TfrDataComponents components;
  auto& orders = components.add(std::make_unique<TfrUserDataset>("Orders"));
  int inits = 0;
  struct Counting : TfrUserDataset {
    int* inits;
    Counting(int* n) : TfrUserDataset("Counted"), inits(n) {}
    void Init() override { ++*inits; }
  };
  components.add(std::make_unique<Counting>(&inits));

  BandDataset five = findBandDataset(components, 5, "5");
  ASSERT_NE(five.dataset, nullptr);
  EXPECT_EQ(five.owned.get(), five.dataset);
  EXPECT_EQ(five.dataset->RangeEnd, reCount);
  EXPECT_EQ(timesPrinted(*five.dataset), 5);
  // Only the leading digits count.
  EXPECT_EQ(findBandDataset(components, 5, "12 rows").dataset->RangeEndCount, 12);
  EXPECT_EQ(findBandDataset(components, 5, "99999999999999999999").dataset->RangeEndCount,
            std::numeric_limits<int32_t>::max());

  EXPECT_EQ(findBandDataset(components, 5, "orders").dataset, &orders);
  EXPECT_EQ(findBandDataset(components, 5, "orders").owned, nullptr);
  findBandDataset(components, 8, "COUNTED");
  EXPECT_EQ(inits, 1);

  EXPECT_EQ(findBandDataset(components, kGroupHeaderBandType, "Orders").dataset, nullptr);
  EXPECT_EQ(findBandDataset(components, 19, "Band1=Orders;Band2=Counted").dataset, nullptr);
  EXPECT_EQ(findBandDataset(components, 5, "Missing").dataset, nullptr);
  EXPECT_EQ(findBandDataset(components, 5, "").dataset, nullptr);
  // "0" is no count: it is a name, and there is none.
  EXPECT_EQ(findBandDataset(components, 5, "0").dataset, nullptr);
}

TEST(DataComponents, NamesAreUniqueAndUnnamedOnesStayHidden) {
  TfrDataComponents components;
  components.add(std::make_unique<TfrUserDataset>("Orders"));
  EXPECT_THROW(components.add(std::make_unique<TfrUserDataset>("ORDERS")), Error);
  auto& rows = components.own(std::make_unique<RowsDataSet>("Orders", 1));
  EXPECT_NE(components.find("orders"), &rows);
  // A component that is no report data set is not a band's data set.
  components.add(std::make_unique<DbDataSource>("Source"));
  EXPECT_NE(components.find("Source"), nullptr);
  EXPECT_EQ(components.findDataset("Source"), nullptr);
  EXPECT_TRUE(components.remove("orders"));
  EXPECT_EQ(components.find("Orders"), nullptr);
  EXPECT_FALSE(components.remove("orders"));
}

}  // namespace
}  // namespace orv
