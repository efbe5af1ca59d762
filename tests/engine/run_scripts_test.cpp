// Scripts of pages, bands and objects during a run: where they run, the
// breaks and bands they ask for, the questions they put to the person and
// the dialog pages that run first.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "band_engine_fixture.h"
#include "engine/dataset.h"
#include "engine/engine_globals.h"
#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "model/page.h"
#include "model/views.h"
#include "template_builder.h"

namespace orv {
namespace {

using bandtest::BandEngine;
using bandtest::Placed;
using bandtest::texts;

TEST_F(BandEngine, ScriptsOfPagesBandsAndObjectsRunWhereTheyArePlaced) {
  page->PageScript = {"Lines := 100"};
  auto& data = band(btMasterData, "Data", 40, 20, "3");
  data.Memo = {"begin Inc(Lines); if [LINE#] = 2 then Arr[[LINE#]] := 'two' end"};
  auto& row = memo("Row", 0, 42, 300, 16, {"[Lines] [Arr[2]]"});
  row.BeforePrintScript = {"if [LINE#] = 3 then Row.Memo.Add('end')"};
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Row")), "101  / 102 two / 103 two|end");
  // The template is unchanged by the run.
  EXPECT_EQ(report.Pages.Page(0).FindObject("Row")->Memo.size(), 1u);
}

TEST_F(BandEngine, NewPageAndStopReportComeFromTheBandScript) {
  auto& data = band(btMasterData, "Data", 40, 20, "5");
  data.Memo = {"if [LINE#] = 3 then NewPage; if [LINE#] = 4 then StopReport"};
  memo("Row", 0, 42, 300, 16, {"[LINE#]"});
  report.PrepareReport();
  ASSERT_EQ(report.EMFPages.Count(), 2);
  EXPECT_EQ(texts(named(0, "Row")), "1 / 2");
  EXPECT_EQ(texts(named(1, "Row")), "3");
}

TEST_F(BandEngine, ShowBandPlacesANamedBandAtOnce) {
  auto& data = band(btMasterData, "Data", 40, 20, "3");
  data.Memo = {"if [LINE#] = 2 then ShowBand(Extra)"};
  memo("Row", 0, 42, 300, 16, {"[LINE#]"});
  band(btChild, "Extra", 100, 20);
  memo("ExtraText", 0, 102, 300, 16, {"extra"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  std::vector<std::string> order;
  for (const Placed& p : objects(0)) order.push_back(p.text);
  EXPECT_EQ(order, (std::vector<std::string>{"1", "extra", "2", "3"}));
}

// Answers as a person would, and remembers what it was asked.
class AnsweringUi : public ReportUi {
 public:
  std::string asked;
  void ShowError(const std::string& text, const std::string&) override { asked += "error;"; }
  bool AskPassword(std::string&) override { return false; }
  void InputBox(const std::string&, const std::string& prompt, std::string& value) override {
    asked += prompt + "=" + value + ";";
    value = "typed";
  }
  int MessageBox(const std::string& text, const std::string&, int flags) override {
    asked += text + "/" + std::to_string(flags) + ";";
    return 7;
  }
};

TEST_F(BandEngine, InputAndMessageBoxAskTheReportsUi) {
  band(btReportTitle, "Title", 10, 40);
  memo("Answers", 0, 12, 300, 16,
       {"[INPUT('Nome', 'x')] [MESSAGEBOX('Sair?', 'c', mb_YesNo + mb_IconQuestion)]"});
  AnsweringUi ui;
  report.Ui = &ui;
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Answers")), "typed 7");
  EXPECT_EQ(ui.asked, "Nome=x;Sair?/36;");
  // Without a window: the default and the first button.
  report.Ui = nullptr;
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Answers")), "x 6");
}

TEST_F(BandEngine, AScriptThatNeverEndsFailsTheRunNamingItsObject) {
  auto& data = band(btMasterData, "Data", 40, 20, "1");
  memo("Row", 0, 42, 300, 16, {"x"}).BeforePrintScript = {"x := 0; while 1 do x := x + 1"};
  (void)data;
  TInterpretator& in = engineGlobals().Interpreter;
  in.MaxSteps = 5000;
  EXPECT_FALSE(report.PrepareReport());
  in.MaxSteps = TfrInterpretator::kMaxSteps;
  EXPECT_NE(report.LastError.find("Row"), std::string::npos) << report.LastError;
  EXPECT_NE(report.LastError.find("5000"), std::string::npos)
      << QString::fromLatin1(report.LastError).toStdString();
  EXPECT_EQ(report.EMFPages.Count(), 0);
}

TEST_F(BandEngine, ADialogPageRunsFirstAndMayCancelTheRun) {
  band(btReportTitle, "Title", 10, 20);
  memo("Greeting", 0, 12, 300, 16, {"Ol\xE1 [Cliente]"});
  TfrPage& dialog = report.Pages.Add();
  dialog.PageKind = ptDialog;
  dialog.PageScript = {"Cliente := 'Ana'"};
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_EQ(report.EMFPages.Count(), 1);
  const auto g = named(0, "Greeting");
  ASSERT_EQ(g.size(), 1u);
  EXPECT_EQ(g[0].text, "Ol\xE1 Ana");

  report.Pages.Page(1).PageScript = {"MODALRESULT := mrCancel"};
  EXPECT_FALSE(report.PrepareReport());
  EXPECT_EQ(report.EMFPages.Count(), 0);
  EXPECT_TRUE(report.LastError.empty()) << report.LastError;
}

}  // namespace
}  // namespace orv
