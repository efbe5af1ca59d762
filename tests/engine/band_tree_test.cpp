// The band tree of a template page, built without running a report: which
// band each object lands on, and how headers, footers, groups, children and
// cross-tab cells find one another.
#include "engine/band_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/data_components.h"
#include "engine/dataset.h"
#include "model/memo_view.h"
#include "model/page.h"
#include "model/views.h"
#include "template_builder.h"

namespace orv {
namespace {

using tools::place;
using tools::placeBand;
using tools::placeMemo;

class BandTree : public ::testing::Test {
 protected:
  TfrBandView& band(uint16_t type, const std::string& name, int y, int h,
                    const std::string& source = {}) {
    return placeBand(page, name, type, y, h, 700, source);
  }
  TfrMemoView& memo(const std::string& name, int x, int y) {
    return placeMemo(page, name, x, y, 100, 16, {name});
  }
  TfrBandTree build(bool skipped = false) {
    return buildBandTree(page, components, skipped,
                         [this](TfrBandView& v) { missing.push_back(v.Name); });
  }
  static std::vector<std::string> chain(const TfrBand* first) {
    std::vector<std::string> names;
    for (const TfrBand* b = first; b; b = b->Next) names.push_back(b->Name);
    return names;
  }

  TfrPage page;
  TfrDataComponents components;
  std::vector<std::string> missing;
};

TEST_F(BandTree, ObjectsGoToTheBandTheyLieOnInItsCoordinatesAndTheRestToNoBand) {
  // Placed out of order: the chain follows the page from the top.
  band(btMasterData, "Second", 200, 30, "3");
  band(btMasterData, "First", 100, 30, "2");
  band(btPageHeader, "Head", 0, 40);
  TfrMemoView& onHead = memo("OnHead", 10, 40);  // on the lower edge still
  TfrMemoView& onSecond = memo("OnSecond", 20, 215);
  TfrMemoView& loose = memo("Loose", 30, 500);
  const TfrBandTree tree = build();

  EXPECT_EQ(chain(tree.bands[btMasterData]), (std::vector<std::string>{"First", "Second"}));
  EXPECT_EQ(onHead.OwnerBand, tree.bands[btPageHeader]);
  EXPECT_EQ(onHead.Top, 40);
  EXPECT_EQ(onSecond.OwnerBand, tree.bands[btMasterData]->Next);
  EXPECT_EQ(onSecond.Top, 15);
  EXPECT_EQ(onSecond.Left, 20);
  // The band of no type is always there and keeps the page's coordinates.
  ASSERT_NE(tree.bands[btNone], nullptr);
  EXPECT_EQ(loose.OwnerBand, tree.bands[btNone]);
  EXPECT_EQ(loose.Top, 500);
  EXPECT_TRUE(tree.bands[btNone]->IsPresent());
  // Every band the tree made is owned by it: three views and no band.
  EXPECT_EQ(tree.all.size(), 4u);
  // Record counts give data sets of their own.
  ASSERT_NE(tree.bands[btMasterData]->DataSet, nullptr);
  EXPECT_EQ(tree.bands[btMasterData]->DataSet, tree.bands[btMasterData]->OwnDataSet.get());
  EXPECT_TRUE(missing.empty());
}

TEST_F(BandTree, HeadersFootersGroupsAndChildrenFindTheirBands) {
  band(btMasterHeader, "MHead", 0, 20);
  band(btGroupHeader, "Outer", 30, 20, "[A]");
  band(btGroupHeader, "Inner", 60, 20, "[B]");
  TfrBandView& data = band(btMasterData, "Data", 90, 20, "4");
  data.ChildBand = "detalhe";  // names match whatever their case
  band(btChild, "Detalhe", 120, 20);
  band(btGroupFooter, "InnerFoot", 150, 20);
  band(btGroupFooter, "OuterFoot", 180, 20);
  band(btMasterFooter, "MFoot", 210, 20);
  const TfrBandTree tree = build();

  const TfrBand* d = tree.bands[btMasterData];
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->HeaderBand, tree.bands[btMasterHeader]);
  EXPECT_EQ(d->FooterBand, tree.bands[btMasterFooter]);
  ASSERT_NE(d->ChildBand, nullptr);
  EXPECT_EQ(d->ChildBand->Name, "Detalhe");
  // Groups pair from the outside in, and keep their condition compiled.
  const TfrBand* outer = tree.bands[btGroupHeader];
  ASSERT_NE(outer, nullptr);
  ASSERT_NE(outer->Next, nullptr);
  ASSERT_NE(outer->GroupFooter, nullptr);
  ASSERT_NE(outer->Next->GroupFooter, nullptr);
  EXPECT_EQ(outer->GroupFooter->Name, "OuterFoot");
  EXPECT_EQ(outer->Next->GroupFooter->Name, "InnerFoot");
  EXPECT_FALSE(outer->GroupCondition.empty());
}

TEST_F(BandTree, ObjectsOfCrossBandsLieAcrossTheRowBandsAsCells) {
  band(btMasterData, "Row", 100, 30, "2");
  auto& cross = place<TfrBandView>(page, "Months", 300, 0, 150, 1000);
  cross.FrameTyp = btCrossData;
  cross.FormatStr = "3";
  TfrMemoView& cell = memo("Cell", 310, 110);
  TfrMemoView& beside = memo("Beside", 10, 110);
  const TfrBandTree tree = build();

  const TfrBand* cb = tree.bands[btCrossData];
  const TfrBand* row = tree.bands[btMasterData];
  ASSERT_NE(cb, nullptr);
  ASSERT_NE(row, nullptr);
  // The cross band takes the object and its X; the row lays it across.
  EXPECT_EQ(cell.OwnerBand, cb);
  EXPECT_EQ(cell.Left, 10);
  EXPECT_EQ(beside.OwnerBand, row);
  ASSERT_EQ(row->CrossCells.size(), 1u);
  EXPECT_EQ(row->CrossCells[0].Cross, cb);
  EXPECT_EQ(row->CrossCells[0].View, &cell);
  EXPECT_EQ(row->CrossCells[0].Top, 10);
  EXPECT_NE(cb->DataSet, nullptr);
}

TEST_F(BandTree, AMissingDataSetIsReportedAndASubReportPageNeverBreaksOnItsOwn) {
  TfrBandView& data = band(btMasterData, "Data", 100, 30, "NaoExiste");
  data.Flags = bfFormNewPage;
  band(btDetailData, "Counted", 140, 30, "5");
  TfrBandTree tree = build(true);
  EXPECT_EQ(missing, (std::vector<std::string>{"Data"}));
  EXPECT_EQ(tree.bands[btMasterData]->DataSet, nullptr);
  EXPECT_FALSE(tree.bands[btMasterData]->FormNewPage);
  // The same page run on its own breaks where its band asks.
  tree = build(false);
  EXPECT_TRUE(tree.bands[btMasterData]->FormNewPage);
}

}  // namespace
}  // namespace orv
