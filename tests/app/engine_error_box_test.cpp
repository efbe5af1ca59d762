// What the reader's "Erro" boxes say when a template cannot be read or a run
// fails: the engine's facts in the reader's own words.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "app/passw_form.h"
#include "band_templates.h"
#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "model/page.h"
#include "printing/tfr_printer.h"
#include "template_builder.h"

namespace orv {
namespace {

struct Box {
  QString title, text, detail;
};

// Runs `action` and gives what the message box it opened said.
template <class F>
Box boxOf(F action) {
  Box seen;
  QTimer::singleShot(0, [&seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr) << "no message box is open";
    seen = {box->windowTitle(), box->text(), box->informativeText()};
    box->accept();
  });
  action();
  return seen;
}

class EngineErrorBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TfrPrinter::startUp(nullptr);
    report.Ui = ui.get();
    report.ShowProgress = false;
  }
  std::unique_ptr<ReportUi> ui = makeDialogReportUi(nullptr);
  TfrReport report;
};

TEST_F(EngineErrorBoxTest, AFailedRunShowsItsFramedMessage) {
  tools::buildBandTemplate(report, tools::BandTemplate::Title);
  TfrPage& page = report.Pages.Page(0);
  page.Objects.clear();
  report.InfoName = "Vendas";
  tools::placeBand(page, "Titulo", btReportTitle, 10, 40, 700);
  tools::placeMemo(page, "Quebrado", 0, 12, 300, 20, {"Total:", "[NINGUEM]"});
  const Box box = boxOf([&] { EXPECT_FALSE(report.PrepareReport()); });
  EXPECT_EQ(box.title, "Erro");
  EXPECT_EQ(box.text, QString::fromUtf8("Ocorreu um erro durante o cálculo\nTotal:\n[NINGUEM]\n\n"
                                        "Relatório: Vendas\nObjeto: Quebrado\n\n"
                                        "Símbolo indefinido \"NINGUEM\""));
  EXPECT_EQ(box.detail, "");
}

TEST_F(EngineErrorBoxTest, ATemplateThatCannotBeReadSaysWhyUnderTheHeadline) {
  const auto loadBox = [&](std::vector<uint8_t> bytes) {
    MemoryStream s(std::move(bytes));
    return boxOf([&] { EXPECT_FALSE(report.LoadFromStream(s).ok()); });
  };
  const Box newer = loadBox({26, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(newer.title, "Erro");
  EXPECT_EQ(newer.text, QString::fromUtf8("Formato (FRF) não suportado"));
  EXPECT_EQ(newer.detail,
            QString::fromUtf8("a versão do modelo (26) é mais nova do que as que este programa "
                              "lê (até 25)"));

  const Box cut = loadBox({25, 0, 0});
  EXPECT_EQ(cut.text, QString::fromUtf8("Formato (FRF) não suportado"));
  EXPECT_EQ(cut.detail, QString::fromUtf8("fim inesperado dos dados ao ler o cabeçalho da lista "
                                          "de páginas na posição 3"));
}

}  // namespace
}  // namespace orv
