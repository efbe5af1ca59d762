// The start-up report the reader carries is the template our generator makes,
// and the engine runs it into the cover page.
#include "startup_template.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "printing/tfr_printer.h"

namespace orv {
namespace {

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

const std::string kCheckedIn =
    std::string(ORV_TEST_DATA_DIR) + "/../../resources/startup_report.frm";

TEST(StartupTemplate, TheCheckedInFormIsWhatTheGeneratorMakes) {
  TfrPrinter::startUp(nullptr);
  TfrReport report;
  tools::buildStartupTemplate(report);
  MemoryStream made;
  report.SaveReportForm(made);
  const std::vector<uint8_t> stored = readFile(kCheckedIn);
  ASSERT_EQ(stored.size(), made.size()) << "run mkstartup resources/startup_report.frm";
  // The last eight bytes are the time of the last change, which every save
  // writes anew.
  EXPECT_TRUE(std::equal(stored.begin(), stored.end() - 8, made.bytes().begin()))
      << "run mkstartup resources/startup_report.frm";
}

TEST(StartupTemplate, TheEngineRunsItIntoTheCoverPage) {
  TfrPrinter::startUp(nullptr);
  TfrReport report;
  report.ShowProgress = false;
  const std::vector<uint8_t> bytes = readFile(kCheckedIn);
  MemoryStream form(bytes);
  report.StoreInDFM = true;
  ASSERT_TRUE(report.LoadReportForm(form).ok());
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_EQ(report.EMFPages.Count(), 1);
  report.EMFPages.BuildObjects(0);
  const auto& objects = report.EMFPages.Entry(0).ObjectPage()->Objects;
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0]->TypeCode, gtPicture);
  EXPECT_EQ(objects[1]->Memo, StringList{"Sistema Report Orvalen"});
  // The picture stands in the middle of the page, the title below it.
  const PreparedPage& page = report.EMFPages.Entry(0);
  const int32_t w = page.Format().PrinterInfo.PaperWidthPx;
  EXPECT_NEAR(objects[0]->Left + objects[0]->Width / 2, w / 2, 1);
  EXPECT_GT(objects[1]->Top, objects[0]->Top + objects[0]->Height);
}

}  // namespace
}  // namespace orv
