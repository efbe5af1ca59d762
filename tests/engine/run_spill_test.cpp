// A long run keeps its finished pages in a temporary file once they pass a
// threshold. Nothing downstream may tell: the pages draw, search and save as
// those of a run that kept everything in memory, and the file goes with them.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "band_templates.h"
#include "engine/report_run.h"
#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "model/page.h"
#include "model/views.h"
#include "prepared/compressor.h"
#include "prepared/emf_pages.h"
#include "prepared/page_search.h"
#include "printing/tfr_printer.h"
#include "template_builder.h"

namespace orv {
namespace {

// TMPDIR pointed at a folder of the test's own for as long as it lives.
struct TempFolder {
  QTemporaryDir dir;
  QByteArray before = qgetenv("TMPDIR");
  bool hadBefore = qEnvironmentVariableIsSet("TMPDIR");
  TempFolder() { qputenv("TMPDIR", dir.path().toUtf8()); }
  ~TempFolder() {
    if (hadBefore)
      qputenv("TMPDIR", before);
    else
      qunsetenv("TMPDIR");
  }
  std::string path() const { return dir.path().toStdString(); }
  int entries() const {
    return int(std::distance(std::filesystem::directory_iterator(path()),
                             std::filesystem::directory_iterator()));
  }
};

// Descriptors of this process open on files in FOLDER, named or not.
std::vector<std::string> openFilesIn(const std::string& folder) {
  std::vector<std::string> open;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
    if (!ec && target.rfind(folder + "/", 0) == 0) open.push_back(target);
  }
  return open;
}

class RunSpillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TfrPrinter::startUp(nullptr);
    compressor.setEnabled(true);
    report.ShowProgress = false;
    tools::buildBandTemplate(report, tools::BandTemplate::Title);
    TfrPage& page = report.Pages.Page(0);
    page.Objects.clear();
    // Headers and footers name the page, so every page differs; the footer
    // is placed on a page after its data, which reopens finished pages.
    tools::placeBand(page, "Header", btPageHeader, 0, 20, 700).Flags = bfOnFirstPage;
    tools::placeMemo(page, "HeaderText", 0, 2, 300, 16,
                     {"Cabe\xE7"
                      "alho [PAGE#]"});
    tools::placeBand(page, "Data", btMasterData, 40, 20, 700, "1500");
    tools::placeMemo(page, "Row", 0, 42, 300, 16, {"Linha [LINE#] de [PAGE#]"});
    tools::placeMemo(page, "Value", 320, 42, 200, 16, {"[LINE# * 7919]"});
    tools::placeBand(page, "Footer", btPageFooter, 1000, 20, 700).Flags =
        bfOnFirstPage | bfOnLastPage;
    tools::placeMemo(page, "FooterText", 0, 1002, 300, 16, {"P\xE1gina [PAGE#]"});
  }

  // Runs the template with a spill threshold and gives the saved report.
  std::vector<uint8_t> runAndSave(size_t threshold) {
    report.EMFPages.SpillThreshold = threshold;
    TfrReportRun r(report);
    EXPECT_TRUE(r.Prepare()) << r.ErrorText;
    MemoryStream s;
    report.EMFPages.SaveToStream(s);
    return s.bytes();
  }

  std::vector<std::string> textOf(int page) {
    std::vector<std::string> out;
    for (const PageTextRun& run : PageTextRuns(report.EMFPages, page)) out.push_back(run.text);
    return out;
  }

  TfrLZWCompressor compressor;
  TfrReport report;
};

TEST_F(RunSpillTest, SpilledPagesSaveDrawAndSearchAsPagesKeptInMemory) {
  TempFolder tmp;
  const std::vector<uint8_t> inMemory = runAndSave(size_t(64) << 20);
  EXPECT_EQ(report.EMFPages.SpilledBytes(), 0u);
  const int pages = report.EMFPages.Count();
  ASSERT_GT(pages, 20);
  std::vector<std::vector<std::string>> texts;
  for (int i = 0; i < pages; ++i) texts.push_back(textOf(i));
  const auto hits = FindAll(report.EMFPages, "linha 1499", false);
  ASSERT_EQ(hits.size(), 1u);

  // Past 4 KB the pages go to the file: nearly all of them.
  const std::vector<uint8_t> spilled = runAndSave(4096);
  EXPECT_GT(report.EMFPages.SpilledBytes(), inMemory.size() / 2);
  EXPECT_EQ(openFilesIn(tmp.path()).size(), 1u)
      << ::testing::PrintToString(openFilesIn(tmp.path()));
  EXPECT_EQ(tmp.entries(), 0) << "the temporary file has a name";
  ASSERT_EQ(report.EMFPages.Count(), pages);
  EXPECT_TRUE(spilled == inMemory) << "the saved reports differ";
  for (int i = 0; i < pages; ++i) EXPECT_EQ(textOf(i), texts[size_t(i)]) << "page " << i + 1;
  const auto again = FindAll(report.EMFPages, "linha 1499", false);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].page, hits[0].page);
  EXPECT_EQ(again[0].bounds, hits[0].bounds);

  // Saved to a file the bytes come page by page, the same ones.
  const std::string path = tmp.path() + "/saved.frp";
  report.EMFPages.SaveToFile(path);
  std::vector<uint8_t> file;
  {
    std::ifstream in(path, std::ios::binary);
    file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  EXPECT_TRUE(file == inMemory) << "the saved file differs";
  std::filesystem::remove(path);

  // The file goes with the pages, and a new run starts a new one.
  report.EMFPages.Clear();
  EXPECT_EQ(report.EMFPages.SpilledBytes(), 0u);
  EXPECT_EQ(openFilesIn(tmp.path()).size(), 0u)
      << ::testing::PrintToString(openFilesIn(tmp.path()));
}

TEST_F(RunSpillTest, PagesTakenOverByAnotherStoreKeepTheirFileUntilTheyGo) {
  TempFolder tmp;
  runAndSave(0);
  const int pages = report.EMFPages.Count();
  const std::vector<std::string> last = textOf(pages - 1);
  TfrEMFPages shown;
  shown.swap(report.EMFPages);
  EXPECT_EQ(report.EMFPages.SpilledBytes(), 0u);
  EXPECT_GT(shown.SpilledBytes(), 0u);
  // The report runs again meanwhile, into a file of its own.
  runAndSave(0);
  EXPECT_EQ(openFilesIn(tmp.path()).size(), 2u)
      << ::testing::PrintToString(openFilesIn(tmp.path()));
  std::vector<std::string> shownLast;
  for (const PageTextRun& run : PageTextRuns(shown, pages - 1)) shownLast.push_back(run.text);
  EXPECT_EQ(shownLast, last);
  shown.Clear();
  EXPECT_EQ(openFilesIn(tmp.path()).size(), 1u)
      << ::testing::PrintToString(openFilesIn(tmp.path()));
  report.EMFPages.Clear();
  EXPECT_EQ(openFilesIn(tmp.path()).size(), 0u)
      << ::testing::PrintToString(openFilesIn(tmp.path()));
  EXPECT_EQ(tmp.entries(), 0);
}

TEST_F(RunSpillTest, ATemporaryFolderThatCannotBeWrittenEndsTheRunWithItsReason) {
  TempFolder tmp;
  const std::string missing = tmp.path() + "/n\xC3\xA3o-existe";
  qputenv("TMPDIR", QByteArray::fromStdString(missing));
  report.EMFPages.SpillThreshold = 0;
  TfrReportRun r(report);
  EXPECT_FALSE(r.Prepare());
  EXPECT_NE(r.ErrorText.find("arquivo tempor\xE1rio"), std::string::npos) << r.ErrorText;
  EXPECT_NE(r.ErrorText.find("arquivo n\xE3o encontrado"), std::string::npos) << r.ErrorText;
  EXPECT_EQ(report.EMFPages.Count(), 0);
  EXPECT_EQ(tmp.entries(), 0);
}

// A run stopped by the page limit after spilling leaves no pages and no file.
TEST_F(RunSpillTest, APageLimitReachedWhileSpillingLeavesNothingBehind) {
  TempFolder tmp;
  report.EMFPages.SpillThreshold = 0;
  TfrReportRun r(report);
  r.Limits.MaxPages = 10;
  EXPECT_FALSE(r.Prepare());
  EXPECT_NE(r.ErrorText.find("passou de 10 p"), std::string::npos) << r.ErrorText;
  EXPECT_EQ(report.EMFPages.Count(), 0);
  EXPECT_EQ(openFilesIn(tmp.path()).size(), 0u)
      << ::testing::PrintToString(openFilesIn(tmp.path()));
  EXPECT_EQ(tmp.entries(), 0);
}

// Pages of a word or two pack to a few bytes, less than what keeping each of
// them in memory costs besides; the threshold must count that too, or a run
// of such pages holds many times the memory it allows.
TEST(SpillThreshold, CountsWhatEachPageKeptInMemoryCosts) {
  TfrPrinter::startUp(nullptr);
  TempFolder tmp;
  TfrEMFPages store;
  store.SpillThreshold = 64 << 10;
  const int pages = 4000;
  size_t packed = 0;
  for (int i = 0; i < pages; ++i) {
    store.AddPage(PageSetup{});
    store.Pack(i);
    packed += store.Entry(i).Stored.size;
  }
  ASSERT_LT(packed, store.SpillThreshold) << "the pages' bytes alone fit";
  ASSERT_GT(store.SpilledBytes(), 0u);
  // Spilled pages share the file; each page in memory has a source of its own.
  const auto file = store.Entry(pages - 1).Stored.source;
  int inMemory = 0;
  for (int i = 0; i < pages; ++i) inMemory += store.Entry(i).Stored.source != file;
  EXPECT_GT(inMemory, 0);
  EXPECT_LE(size_t(inMemory) * 64, store.SpillThreshold);
  // Read back from either place, every page is the one it was.
  for (int i : {0, inMemory - 1, inMemory, pages - 1})
    EXPECT_EQ(store.Entry(i).ObjectsCopy().bytes(), std::vector<uint8_t>{kPreparedStreamVersion})
        << "page " << i;
}

}  // namespace
}  // namespace orv
