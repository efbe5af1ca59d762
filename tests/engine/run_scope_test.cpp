// What a run leaves behind in the process-wide state: nothing of its own,
// whether it ends well or fails half way.
#include "engine/run_scope.h"

#include <gtest/gtest.h>

#include <string>

#include "band_templates.h"
#include "engine/engine_globals.h"
#include "engine/report_run.h"
#include "engine/tfr_report.h"
#include "model/page.h"
#include "model/state.h"
#include "printing/tfr_printer.h"
#include "template_builder.h"

namespace orv {
namespace {

// The hooks that stand in the process before a run, so that a run that puts
// back nothing, or the wrong thing, shows.
struct OutsideHooks {
  OutsideHooks() {
    EngineGlobals& g = engineGlobals();
    g.Parser.OnGetValue = [](const std::string&, Variant& v) { v = Variant(std::string("fora")); };
    g.Parser.OnFunction = nullptr;
    g.Interpreter.OnSetValue = [this](const std::string&, const Variant&) { ++assignments; };
    g.FunctionHost = nullptr;
    g.Variables.setValue("Deixada", Variant(1));
    modelState().CurrentReport = &marker;
  }
  ~OutsideHooks() {
    EngineGlobals& g = engineGlobals();
    g.Parser.OnGetValue = nullptr;
    g.Interpreter.OnSetValue = nullptr;
    g.Variables.Clear();
    modelState().CurrentReport = nullptr;
  }
  void expectBack() const {
    EngineGlobals& g = engineGlobals();
    ASSERT_TRUE(g.Parser.OnGetValue);
    Variant v;
    g.Parser.OnGetValue("X", v);
    EXPECT_EQ(v.toString(), "fora");
    EXPECT_FALSE(g.Parser.OnFunction);
    EXPECT_EQ(g.FunctionHost, nullptr);
    ASSERT_TRUE(g.Interpreter.OnSetValue);
    const int before = assignments;
    g.Interpreter.OnSetValue("Y", Variant(2));
    EXPECT_EQ(assignments, before + 1);
    const ModelState& st = modelState();
    EXPECT_EQ(st.Mode, DocumentMode::Designing);
    EXPECT_EQ(st.RunHooks, nullptr);
    EXPECT_EQ(st.CurrentReport, &marker);
    EXPECT_EQ(st.CurrentView, nullptr);
    EXPECT_EQ(st.CurrentBand, nullptr);
    EXPECT_EQ(st.CurrentPage, nullptr);
  }
  int marker = 0;
  int assignments = 0;
};

class RunScopeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TfrPrinter::startUp(nullptr);
    report.ShowProgress = false;
    tools::buildBandTemplate(report, tools::BandTemplate::Title);
  }
  TfrReport report;
};

TEST_F(RunScopeTest, TheScopeHandsTheProcessToTheRunAndBackWhateverWasThere) {
  OutsideHooks outside;
  {
    TfrReportRun run(report);
    TfrRunScope scope(run, report);
    const ModelState& st = modelState();
    EXPECT_EQ(st.Mode, DocumentMode::Running);
    EXPECT_EQ(st.RunHooks, &run.ViewHooks());
    EXPECT_EQ(st.CurrentReport, &report);
    EngineGlobals& g = engineGlobals();
    EXPECT_EQ(g.FunctionHost, &run.Functions());
    // Report variables of an earlier run are gone, and a script's
    // assignment reaches the run, not the hook outside.
    EXPECT_EQ(g.Variables.Count(), 0);
    g.Interpreter.OnSetValue("Nova", Variant(3));
    EXPECT_EQ(outside.assignments, 0);
    EXPECT_EQ(g.Variables.value("Nova").toString(), "3");
    EXPECT_TRUE(report.Dictionary.FindDataset);
    EXPECT_TRUE(report.Dictionary.Evaluate);
    ASSERT_TRUE(g.Parser.OnFunction);
  }
  outside.expectBack();
  EXPECT_FALSE(report.Dictionary.FindDataset);
  EXPECT_FALSE(report.Dictionary.Evaluate);
}

TEST_F(RunScopeTest, ARunThatEndsWellOrFailsLeavesTheProcessAsItFoundIt) {
  OutsideHooks outside;
  {
    TfrReportRun run(report);
    EXPECT_TRUE(run.Prepare());
  }
  outside.expectBack();
  // A page limit ends this one half way, through an exception.
  TfrPage& page = report.Pages.Page(0);
  page.Objects.clear();
  tools::placeBand(page, "Data", btMasterData, 40, 100, 700, "900000000");
  {
    TfrReportRun run(report);
    run.Limits.MaxPages = 3;
    EXPECT_FALSE(run.Prepare());
    EXPECT_FALSE(run.ErrorText.empty());
  }
  outside.expectBack();
  EXPECT_FALSE(report.Dictionary.FindDataset);
}

}  // namespace
}  // namespace orv
