// Searches that remember what they read: the same answers as drawing every
// page, without drawing the pages again.
#include "prepared/search_cache.h"

#include <gtest/gtest.h>

#include <QLabel>

#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "platform/codepage.h"
#include "prepared/page_search.h"
#include "preview/preview.h"
#include "printing/tfr_printer.h"
#include "report_builder.h"

namespace orv {
namespace {

class SearchCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TfrPrinter::startUp(nullptr);
    tools::addTextPage(report, {"primeira linha", "Total geral", "nada"});
    tools::addTextPage(report, {"TOTAL da pagina", "outra", "total de novo"});
    tools::addTextPage(report, {"sem nada", "geral"});
    tools::addTextPage(report, {"total parcial"});
  }
  // Every hit from the first page on, as (page, bounds.top) pairs.
  std::vector<std::pair<int, int>> allHits(const std::string& text, bool caseSensitive,
                                           SearchCache* cache) {
    SearchState st;
    beginSearch(st, text, caseSensitive);
    std::vector<std::pair<int, int>> hits;
    while (FindNext(report.EMFPages, st, {}, cache))
      hits.emplace_back(st.FindPage + 1, st.FoundRect.top);
    return hits;
  }
  // Pages that can no longer be drawn: any drawing raises an error.
  void breakEveryPage() {
    for (int i = 0; i < report.EMFPages.Count(); ++i) {
      MemoryStream& s = report.EMFPages.Entry(i).Objects();
      s = MemoryStream();
      s.writeU8(10);
      writeString(s, "TfrNoSuchView");
      s.rewind();
    }
  }
  TfrReport report;
};

TEST_F(SearchCacheTest, SameHitsAsDrawingWhateverTheCaseRule) {
  SearchCache cache;
  const auto plain = allHits("total", false, nullptr);
  ASSERT_EQ(plain.size(), 4u);
  EXPECT_EQ(allHits("total", false, &cache), plain);
  // Every page was read to its end once all hits were passed.
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(cache.has(i)) << i;
  EXPECT_EQ(allHits("total", false, &cache), plain);
  EXPECT_EQ(allHits("total", true, &cache), allHits("total", true, nullptr));
  EXPECT_EQ(allHits("total", true, &cache).size(), 2u);
  EXPECT_EQ(allHits("TOTAL", true, &cache).size(), 1u);
  // Runs never run into each other, cached or not.
  EXPECT_TRUE(allHits("geral nada", false, &cache).empty());
  EXPECT_TRUE(allHits("lGeral", false, &cache).empty());
}

TEST_F(SearchCacheTest, AnAbsentTextIsNotDrawnForTwice) {
  SearchCache cache;
  EXPECT_TRUE(allHits("QXZJWKVQ", false, &cache).empty());
  EXPECT_GT(cache.bytes(), 0u);
  breakEveryPage();
  // Drawing would raise the unknown class's error; the cache answers instead.
  EXPECT_TRUE(allHits("QXZJWKVQ", false, &cache).empty());
  EXPECT_TRUE(allHits("zzz", true, &cache).empty());
  EXPECT_THROW(allHits("zzz", true, nullptr), std::exception);
  // A text the cache cannot rule out sends the search back to the page.
  EXPECT_THROW(allHits("parcial", false, &cache), std::exception);
  cache.clear();
  EXPECT_FALSE(cache.has(0));
  EXPECT_THROW(allHits("QXZJWKVQ", false, &cache), std::exception);
}

TEST_F(SearchCacheTest, ThePreviewForgetsThePagesItNoLongerHolds) {
  TfrPreview preview;
  preview.resize(800, 600);
  preview.Connect(&report);
  TfrPreviewForm& f = *preview.form();
  f.askFind = [](QString& t, bool& c, bool& first) {
    t = "ausente";
    c = false;
    first = true;
    return true;
  };
  preview.Find();
  EXPECT_TRUE(f.SearchRuns.has(3));
  EXPECT_EQ(f.Label2->text(), QString::fromUtf8("Texto não encontrado"));
  EXPECT_EQ(f.CurPage, 1);
  preview.Clear();
  EXPECT_FALSE(f.SearchRuns.has(0));
}

// Texts drawn in fonts of other scripts are found by what they read, typed in
// Unicode, with or without regard to case; the cache answers the same.
TEST_F(SearchCacheTest, TextsInFontsOfOtherScriptsAreFound) {
  TfrReport scripts;
  PageSetup setup;
  setup.paper = {9, 2100, 2970, 0, -1};
  setup.useMargins = true;
  sharedPrinter().SetPaper(9, 2100, 2970, 0, -1, true);
  sharedPrinter().FillPrinterInfo(setup.info);
  scripts.EMFPages.AddPage(setup);
  PreparedPage& e = scripts.EMFPages.Entry(0);
  int y = 40;
  auto memo = [&](const char* utf8, uint8_t charset) {
    TfrMemoView m;
    m.Left = 40;
    m.Top = y;
    m.Width = 500;
    m.Height = 20;
    y += 30;
    m.Font.Charset = charset;
    const int page = codePageForCharset(charset);
    m.ExpandedText = {encodeText(QString::fromUtf8(utf8), page) + kParagraphEnd};
    m.PreparedForm = true;
    MemoryStream& s = e.Objects();
    s.seek(s.size());
    s.writeU8(0);
    m.SaveRecord(s);
    s.rewind();
  };
  memo("Итого по складу", 204);
  memo("Σύνολο παραγγελιών", 161);
  memo("Ação concluída", 0);
  auto found = [&](const char* utf8, bool caseSensitive) {
    return FindAll(scripts.EMFPages, QString::fromUtf8(utf8).toUtf8().toStdString(), caseSensitive)
        .size();
  };
  EXPECT_EQ(found("Итого", true), 1u);
  EXPECT_EQ(found("итого ПО", false), 1u);
  EXPECT_EQ(found("итого", true), 0u);
  EXPECT_EQ(found("ΠΑΡΑΓΓΕΛΙΏΝ", false), 1u);
  EXPECT_EQ(found("AÇÃO CONCLUÍDA", false), 1u);
  EXPECT_EQ(found("ação", true), 0u);

  SearchCache cache;
  for (int round = 0; round < 2; ++round) {
    SearchState st;
    beginSearch(st, QString::fromUtf8("СКЛАДУ").toUtf8().toStdString(), false);
    EXPECT_TRUE(FindNext(scripts.EMFPages, st, {}, &cache)) << round;
    EXPECT_EQ(st.FoundRect.top >= 40 && st.FoundRect.top < 70, true);
  }
}

}  // namespace
}  // namespace orv
