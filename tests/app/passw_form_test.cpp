#include "app/passw_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "app/reports.h"
#include "printing/tfr_printer.h"
#include "template_builder.h"

namespace orv {
namespace {

// Runs `answer` on the dialog the next modal loop opens.
template <class Dialog, class F>
void whenShown(F answer) {
  QTimer::singleShot(0, [answer] {
    auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    ASSERT_NE(d, nullptr) << "no dialog of the expected kind is open";
    answer(*d);
  });
}

TEST(PasswordFormTest, TextsAndStarredField) {
  TfrPasswForm f;
  EXPECT_EQ(f.windowTitle(), "Senha");
  EXPECT_EQ(f.L1->text(), QString::fromUtf8("Digite a senha para abrir o relatório"));
  EXPECT_EQ(f.L2->text(), QString::fromUtf8("Digite novamente a senha para validação"));
  EXPECT_TRUE(f.L2->isHidden());
  EXPECT_EQ(f.Button1->text(), "OK");
  EXPECT_EQ(f.Button2->text(), "Cancelar");
  EXPECT_EQ(f.E1->echoMode(), QLineEdit::Password);
  EXPECT_EQ(f.focusWidget(), f.E1);
}

TEST(PasswordFormTest, DialogAnswersTheEngine) {
  auto ui = makeDialogReportUi(nullptr);
  whenShown<TfrPasswForm>([](TfrPasswForm& f) {
    f.E1->setText(QString::fromUtf8("segrédo"));
    f.Button1->click();
  });
  std::string entered;
  EXPECT_TRUE(ui->AskPassword(entered));
  EXPECT_EQ(entered,
            "segr\xE9"
            "do")
      << "in the templates' code page";

  whenShown<TfrPasswForm>([](TfrPasswForm& f) {
    f.E1->setText("x");
    f.Button2->click();
  });
  EXPECT_FALSE(ui->AskPassword(entered));
}

TEST(PasswordFormTest, ErrorBoxIsCaptionedErro) {
  auto ui = makeDialogReportUi(nullptr);
  whenShown<QMessageBox>([](QMessageBox& box) {
    EXPECT_EQ(box.windowTitle(), "Erro");
    EXPECT_EQ(box.icon(), QMessageBox::Critical);
    EXPECT_EQ(box.text(),
              "Report contains the following non-plugged components:\nTfrGhostView\nYou must "
              "include these components into your project.");
    EXPECT_EQ(box.informativeText(), QString::fromUtf8("relatório.frf"));
    box.accept();
  });
  ui->ShowError(
      "Report contains the following non-plugged components:\rTfrGhostView\rYou must include "
      "these components into your project.",
      "relat\xF3rio.frf");
}

TEST(PasswordFormTest, ReaderAsksForAProtectedTemplatesPassword) {
  TfrPrinter::startUp(nullptr);
  QTemporaryDir dir;
  const std::string path = dir.filePath("protegido.frf").toStdString();
  {
    TfrReport r;
    tools::buildSampleTemplate(r);
    r.PasswordText = "abc";
    r.PasswordRequired = 1;
    r.SaveToFile(path);
  }
  TfReports reports(QString(), false);
  whenShown<TfrPasswForm>([](TfrPasswForm& f) {
    f.E1->setText("abc");
    f.Button1->click();
  });
  EXPECT_EQ(reports.frReport.LoadFromFile(path).status, TemplateLoadResult::Status::Loaded);
  EXPECT_EQ(reports.frReport.Pages.Count(), 3u);
}

}  // namespace
}  // namespace orv
