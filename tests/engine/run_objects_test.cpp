// Objects of the add-ins and rich texts in a run: splits over pages, charts
// that collect texts, constants, check boxes and barcodes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "addins/addins.h"
#include "addins/barcode_view.h"
#include "addins/chart_view.h"
#include "addins/checkbox_view.h"
#include "addins/rich_view.h"
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
using bandtest::Placed;
using bandtest::texts;
using tools::place;

TEST_F(BandEngine, ALongRichTextSplitsOverPagesEachPartStartingWhereTheLastStopped) {
  registerAddIns();
  std::string body;
  for (int i = 0; i < 200; ++i) body += "Par\\'e1grafo " + std::to_string(i) + " [PAGE#]\\par ";
  auto& b = band(btMasterData, "Data", 40, 30, "1");
  b.Flags = bfStretched | bfBreaked;
  auto& rich = place<TfrRichView>(*page, "Rich", 0, 40, 400, 30);
  rich.RichContent =
      rtf::read("{\\rtf1{\\fonttbl{\\f0\\fcharset0 Arial;}}\\f0\\fs20 " + body + "}");
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  ASSERT_GE(report.EMFPages.Count(), 3);
  // Every paragraph comes once, in order; each part's expressions are
  // replaced on the page it stands on.
  int next = 0;
  for (int i = 0; i < report.EMFPages.Count(); ++i) {
    report.EMFPages.BuildObjects(i);
    const auto& objs = report.EMFPages.Entry(i).ObjectPage()->Objects;
    ASSERT_EQ(objs.size(), 1u) << "page " << i + 1;
    auto* part = dynamic_cast<TfrRichView*>(objs[0].get());
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->Top, top()) << "page " << i + 1;
    const QStringList lines =
        QString::fromStdU16String(part->RichContent.text()).split('\r', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty()) << "page " << i + 1;
    for (const QString& line : lines)
      EXPECT_EQ(line, QString::fromUtf8("Parágrafo %1 %2").arg(next++).arg(i + 1));
  }
  EXPECT_EQ(next, 200);
}

TEST_F(BandEngine, AChartCollectsTheTextsItNamesAsTheRunWritesThem) {
  registerAddIns();
  band(btMasterData, "Data", 40, 20, "3");
  memo("Label", 0, 42, 100, 16, {"M[LINE#]"});
  memo("Amount", 120, 42, 100, 16, {"[LINE# * 10]"});
  band(btReportSummary, "Summary", 100, 200);
  auto& chart = place<TfrChartView>(*page, "Chart", 0, 100, 400, 200);
  chart.Flags |= flAddInNotify;
  chart.LegendObject = "Label";
  chart.ValueObject = "Amount";
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  const auto charts = named(0, "Chart");
  ASSERT_EQ(charts.size(), 1u);
  EXPECT_EQ(charts[0].text, "M1;M2;M3;|10;20;30;");
  EXPECT_GT(charts[0].top, named(0, "Label").back().top);

  // With several series each print of the legend object starts a series.
  page = &report.Pages.Page(0);
  auto* again = dynamic_cast<TfrChartView*>(page->FindObject("Chart"));
  ASSERT_NE(again, nullptr);
  again->Options.SingleSeries = false;
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(named(0, "Chart")[0].text, "M1;M2;M3;|10;|20;|30;");
}

TEST_F(BandEngine, AddInAndPictureConstantsResolveInTextsAndScripts) {
  // Registered late, after the engine's constant table exists.
  registerAddIns();
  registerAddIns();
  auto& data = band(btMasterData, "Data", 40, 20, "1");
  auto& box = place<TfrCheckBoxView>(*page, "Box", 400, 42, 16, 16);
  box.CheckStyle = csCross;
  // Only its property matters here; the box itself is not printed.
  box.Visible = false;
  data.Memo = {"if Box.CheckStyle = csCross then Box.CheckStyle := csCheck"};
  memo("Row", 0, 42, 300, 16, {"[csCheck] [skEllipse] [gsVertical] [btJPG] [Box.CheckStyle]"});
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(texts(named(0, "Row")), "1 2 1 1 1");
}

TEST_F(BandEngine, CheckBoxesAndBarcodesEvaluateTheirExpressionsInARun) {
  registerAddIns();
  band(btMasterData, "Data", 40, 40, "3");
  auto& box = place<TfrCheckBoxView>(*page, "Box", 0, 42, 16, 16);
  box.Memo = {"[LINE#] = 2"};
  auto& code = place<TfrBarCodeView>(*page, "Code", 100, 42, 200, 36);
  code.Memo = {"[LINE# * 111]"};
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  std::vector<std::string> boxes, codes;
  for (const Placed& p : named(0, "Box")) boxes.push_back(p.text);
  for (const Placed& p : named(0, "Code")) codes.push_back(p.text);
  EXPECT_EQ(boxes, (std::vector<std::string>{"0", "1", "0"}));
  EXPECT_EQ(codes, (std::vector<std::string>{"111", "222", "333"}));
}

}  // namespace
}  // namespace orv
