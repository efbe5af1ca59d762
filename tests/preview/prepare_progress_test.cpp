// Preparing a report in the reader runs inside the progress window, whose
// label follows the pages and whose Cancel stops the run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "model/views.h"
#include "preview/progress_form.h"
#include "printing/tfr_printer.h"
#include "template_builder.h"

namespace orv {
namespace {

// A template whose one data band repeats `records` times, a few per page.
void longTemplate(TfrReport& report, int records) {
  report.ClearTemplate();
  TfrPage& page = report.Pages.Add();
  page.ChangePaper(9, 2100, 2970, poPortrait, -1);
  auto& band = tools::place<TfrBandView>(page, "Data", 0, 40, 700, 300);
  band.FrameTyp = btMasterData;
  band.FormatStr = std::to_string(records);
  auto& memo = tools::place<TfrMemoView>(page, "Row", 0, 42, 300, 20);
  memo.Memo = {"[LINE#]"};
}

TfrProgressForm* visibleProgressForm() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* f = qobject_cast<TfrProgressForm*>(w); f && f->isVisible()) return f;
  return nullptr;
}

TEST(PrepareProgress, TheWindowShowsThePagesAndItsCancelStopsTheRun) {
  TfrPrinter::startUp(nullptr);
  installWidgetPrintUi();
  TfrReport report;
  report.Title = "Vendas";
  longTemplate(report, 100000);
  QString caption, label;
  bool clicked = false;
  // Cancel once the run has shown a few pages.
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    TfrProgressForm* f = visibleProgressForm();
    if (!f || clicked || report.EMFPages.Count() < 5) return;
    caption = f->windowTitle();
    label = f->Label1->text();
    clicked = true;
    f->Button1->click();
  });
  timer.start(1);
  EXPECT_FALSE(report.PrepareReport());
  EXPECT_TRUE(clicked);
  EXPECT_EQ(report.EMFPages.Count(), 0);
  EXPECT_EQ(caption, QString::fromUtf8("Preparando relatório - Vendas"));
  EXPECT_TRUE(label.startsWith(QString::fromUtf8("Processando página:  "))) << label.toStdString();
  // The store is usable for the next run.
  report.ShowProgress = false;
  longTemplate(report, 3);
  EXPECT_TRUE(report.PrepareReport()) << report.LastError;
  EXPECT_EQ(report.EMFPages.Count(), 1);
}

}  // namespace
}  // namespace orv
