// A template must not be able to run for ever, recurse without end or fill
// memory: every bound ends the run with a clear error and an empty store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "band_templates.h"
#include "engine/report_run.h"
#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "model/page.h"
#include "model/views.h"
#include "printing/tfr_printer.h"
#include "template_builder.h"

namespace orv {
namespace {

using tools::place;

class RunLimitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TfrPrinter::startUp(nullptr);
    report.ShowProgress = false;
    tools::buildBandTemplate(report, tools::BandTemplate::Title);
    page = &report.Pages.Page(0);
    page->Objects.clear();  // the title template's A4 page, empty
  }
  TfrBandView& band(uint16_t type, const std::string& name, int y, int h,
                    const std::string& source = {}) {
    return tools::placeBand(*page, name, type, y, h, 700, source);
  }
  TfrMemoView& memo(const std::string& name, int y, int h, std::vector<std::string> lines) {
    return tools::placeMemo(*page, name, 0, y, 300, h, std::move(lines));
  }
  // Runs with the given limits and gives the error text ("" on success).
  std::string run(int32_t maxPages, int32_t idleRounds, bool* ok = nullptr) {
    TfrReportRun r(report);
    r.Limits.MaxPages = maxPages;
    r.Limits.MaxIdleSplitRounds = idleRounds;
    const bool done = r.Prepare();
    if (ok) *ok = done;
    return r.ErrorText;
  }
  static std::vector<std::string> manyLines(int n) {
    std::vector<std::string> lines;
    for (int i = 1; i <= n; ++i) lines.push_back("linha " + std::to_string(i));
    return lines;
  }

  TfrReport report;
  TfrPage* page = nullptr;
};

TEST_F(RunLimitsTest, APageLimitEndsAnEndlessDataBandWithItsMessageAndNoPages) {
  band(btPageHeader, "Header", 0, 20).Flags = bfOnFirstPage;
  memo("HeaderText", 2, 16, {"[PAGE#]"});
  band(btMasterData, "Data", 40, 100, "900000000");
  memo("Row", 42, 20, {"[LINE#]"});
  bool ok = true;
  const std::string error = run(50, 100, &ok);
  EXPECT_FALSE(ok);
  EXPECT_NE(error.find("passou de 50 p"), std::string::npos) << error;
  EXPECT_EQ(report.EMFPages.Count(), 0);
  // The same template within the limit.
  page = &report.Pages.Page(0);
  page->FindObject("Data")->FormatStr = "20";
  EXPECT_EQ(run(50, 100, &ok), "");
  EXPECT_TRUE(ok);
  EXPECT_GT(report.EMFPages.Count(), 1);
}

// Pages of many objects fill the memory long before their count reaches the
// page limit; the bytes of the finished pages are bounded too.
TEST_F(RunLimitsTest, ThePagesBytesEndALongRunOfFullPages) {
  band(btMasterData, "Data", 40, 10, "900000000");
  for (int i = 0; i < 6; ++i)
    memo("Cell" + std::to_string(i), 40, 10, {"[LINE# * " + std::to_string(7919 + i) + "]"}).Left =
        i * 100;
  TfrReportRun r(report);
  r.Limits.MaxPageBytes = 1 << 20;
  EXPECT_FALSE(r.Prepare());
  EXPECT_NE(r.ErrorText.find("passou de 1 MB de p\xE1ginas"), std::string::npos) << r.ErrorText;
  EXPECT_EQ(report.EMFPages.Count(), 0);
  // Well below the page limit, so the bytes were what stopped it.
  EXPECT_LT(r.PageNo, 1000);
}

// The count of records and bands stops data that never fills a page, but a
// long report that fills its pages as it goes runs on past it.
TEST_F(RunLimitsTest, TheStepBoundGrowsWithTheFinishedPages) {
  band(btMasterData, "Data", 40, 10, "3000");
  memo("Row", 40, 10, {"[LINE#]"});
  auto steps = [&](int64_t maxSteps, bool* ok) {
    TfrReportRun r(report);
    r.Limits.MaxSteps = maxSteps;
    *ok = r.Prepare();
    return r.ErrorText;
  };
  bool ok = false;
  // Some 6,000 records and bands over about 30 pages, far past 1,000.
  EXPECT_EQ(steps(1000, &ok), "");
  EXPECT_TRUE(ok);
  const int pages = report.EMFPages.Count();
  EXPECT_GT(pages, 20);

  // The same records on bands of no height fill no page.
  page->FindObject("Data")->Height = 0;
  page->FindObject("Row")->Height = 0;
  EXPECT_NE(steps(1000, &ok).find("passou de 1000 registros e faixas"), std::string::npos);
  EXPECT_FALSE(ok);
  EXPECT_EQ(report.EMFPages.Count(), 0);

  // Rows of one pixel fill a page every two thousand steps, more than a page
  // allows: the run stops, and says the bound it reached.
  page->FindObject("Data")->Height = 1;
  page->FindObject("Row")->Height = 1;
  page->FindObject("Data")->FormatStr = "900000000";
  const std::string error = steps(5000, &ok);
  EXPECT_FALSE(ok);
  const auto at = error.find("passou de ");
  ASSERT_NE(at, std::string::npos) << error;
  const int64_t bound = std::stoll(error.substr(at + 10));
  EXPECT_GT(bound, 5000) << error;
  EXPECT_EQ((bound - 5000) % 256, 0) << error;
  EXPECT_NE(error.find("registros e faixas"), std::string::npos) << error;
}

TEST_F(RunLimitsTest, AnObjectTallerThanEveryPageStopsTheSplitInsteadOfLooping) {
  // Taller than an empty page, so it is split; a line cannot be cut, so no
  // round of the split places it.
  auto& b = band(btMasterData, "Data", 40, 5000, "1");
  b.Flags = bfBreaked;
  place<TfrLineView>(*page, "Tall", 10, 40, 0, 5000);
  bool ok = true;
  const std::string error = run(1000, 5, &ok);
  EXPECT_FALSE(ok);
  EXPECT_NE(error.find("\"Tall\""), std::string::npos) << error;
  EXPECT_EQ(report.EMFPages.Count(), 0);
}

// A page footer that cannot fit on any page asked for a new page while
// closing the page, whose footer asked again, without end: the run overflowed
// the stack before any page limit could stop it.
TEST_F(RunLimitsTest, APageFooterTallerThanThePageEndsTheRunWithAnError) {
  band(btMasterData, "Data", 40, 25, "3");
  memo("Row", 42, 20, {"[LINE#]"});
  auto& footer = band(btPageFooter, "Footer", 900, 30);
  footer.Flags = bfOnFirstPage | bfOnLastPage | bfStretched;
  memo("FooterText", 900, 30, manyLines(300)).Flags |= flStretched;
  bool ok = true;
  run(50, 100, &ok);
  EXPECT_EQ(ok, report.EMFPages.Count() > 0);
  EXPECT_LE(report.EMFPages.Count(), 50);
}

}  // namespace
}  // namespace orv
