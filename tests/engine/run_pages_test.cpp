// Pages and breaks of the band engine over templates built in code: page
// counts, where every band lands, headers and footers, columns, splits and
// runs that must stop.
#include <gtest/gtest.h>

#include <set>
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
using bandtest::Placed;

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
    for (auto& v : report.EMFPages.Entry(i).ObjectPage()->Objects)
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
namespace {}  // namespace
}  // namespace orv
