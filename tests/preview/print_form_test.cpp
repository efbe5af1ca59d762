#include "preview/print_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "engine/tfr_report.h"
#include "listed_printers.h"
#include "preview/progress_form.h"
#include "printing/tfr_printer.h"

namespace orv {
namespace {

void mouse(QWidget* w, QEvent::Type type) {
  const QPointF at(2, 2);
  QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton,
                type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

class PrintFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    printer = &TfrPrinter::startUp(std::make_unique<ListedPrinters>(
        std::vector<std::string>{"Laser", "Jato", "Etiquetas"}, 1));
  }
  void TearDown() override { TfrPrinter::startUp(nullptr); }
  TfrPrinter* printer = nullptr;
};

TEST_F(PrintFormTest, CaptionsAndInitialState) {
  TfrPrintForm f;
  EXPECT_EQ(f.windowTitle(), "Imprimir");
  EXPECT_EQ(f.RB1->text(), "&Todas");
  EXPECT_EQ(f.RB3->text(), "Pa&ginas:");
  EXPECT_EQ(f.Label1->text(), "Número de &copias:");
  EXPECT_EQ(f.Label2->text(),
            "Separe com ',' e/ou '-' o intervalo de páginas a imprimir. Por exemplo: 1,3,5-12");
  EXPECT_EQ(f.Button1->text(), "OK");
  EXPECT_EQ(f.Button2->text(), "Cancelar");
  EXPECT_TRUE(f.Button1->isDefault());
  EXPECT_TRUE(f.RB1->isChecked());
  ASSERT_EQ(f.CB2->count(), 3);
  EXPECT_EQ(f.CB2->itemText(0), "Todas as páginas");
  // The filter's choices say what they print: odd and even pages.
  EXPECT_EQ(f.CB2->itemText(1), "Páginas ímpares");
  EXPECT_EQ(f.CB2->itemText(2), "Páginas pares");
  EXPECT_EQ(f.CB2->currentIndex(), 0);
  // The installed printers only, with the current one selected.
  ASSERT_EQ(f.CB1->count(), 3);
  EXPECT_EQ(f.CB1->itemText(2), "Etiquetas");
  EXPECT_EQ(f.CB1->currentIndex(), 1);
  EXPECT_EQ(f.OldIndex, 1);
}

TEST_F(PrintFormTest, ChoicesThatPrintNothingKeepTheDialogOpenAndSayWhy) {
  TfrPrintForm f;
  f.PageCount = 3;
  f.CurrentPage = 2;
  f.E1->setText("1");
  f.show();
  const QSize first = f.size();
  auto ok = [&] {
    QTest::mouseClick(f.Button1, Qt::LeftButton);
    return !f.isVisible() && f.result() == QDialog::Accepted;
  };
  f.RB3->setChecked(true);
  for (const char* bad : {"9", "3-1", "3-1,2", "0", "abc", "1,,2", "", "-"}) {
    f.E2->setText(bad);
    EXPECT_FALSE(ok()) << bad;
    EXPECT_TRUE(f.isVisible()) << bad;
    EXPECT_TRUE(f.PagesError->isVisible()) << bad;
    EXPECT_FALSE(f.PagesError->text().isEmpty()) << bad;
  }
  f.E2->setText("1");
  QTest::keyClick(f.E2, Qt::Key_Backspace);
  const QSize plain = f.size();
  EXPECT_EQ(plain, first);  // back to its size once no complaint is shown
  f.E2->setText("abc");
  ok();
  EXPECT_EQ(f.PagesError->text(), QString::fromUtf8("'abc' não é um valor inteiro válido"));
  // A reversed range is named, even when another piece would print something.
  f.E2->setText("3-1,2");
  ok();
  EXPECT_EQ(f.PagesError->text(),
            QString::fromUtf8("O intervalo 3-1 está invertido: escreva 1-3."));
  EXPECT_GT(f.height(), plain.height());  // grown by the complaint
  // Typing takes the complaint away, and the room it took; the settings are
  // all still there.
  QTest::keyClick(f.E2, Qt::Key_Backspace);
  EXPECT_FALSE(f.PagesError->isVisible());
  EXPECT_EQ(f.size(), plain);
  EXPECT_TRUE(f.RB3->isChecked());

  f.E2->setText("2");
  f.CB2->setCurrentIndex(1);  // odd pages of page 2: nothing
  EXPECT_FALSE(ok());
  EXPECT_TRUE(f.PagesError->text().contains(QString::fromUtf8("ímpar")));
  f.E1->setText("x");
  f.CB2->setCurrentIndex(2);
  EXPECT_FALSE(ok());
  EXPECT_TRUE(f.CopiesError->isVisible());
  EXPECT_FALSE(f.PagesError->isVisible());
  f.E1->setText("2");
  EXPECT_TRUE(ok());

  // The current page with the even filter: page 2 is even, page 1 would not be.
  TfrPrintForm g;
  g.PageCount = 3;
  g.CurrentPage = 1;
  g.E1->setText("1");
  g.RB2->setChecked(true);
  g.CB2->setCurrentIndex(2);
  g.show();
  QTest::mouseClick(g.Button1, Qt::LeftButton);
  EXPECT_TRUE(g.isVisible());
  g.CurrentPage = 2;
  QTest::mouseClick(g.Button1, Qt::LeftButton);
  EXPECT_FALSE(g.isVisible());
}

TEST_F(PrintFormTest, UpAndDownButtonsNeverGoBelowOne) {
  TfrPrintForm f;
  f.E1->setText("2");
  f.UpButton->click();
  EXPECT_EQ(f.E1->text(), "3");
  for (int i = 0; i < 5; ++i) f.DownButton->click();
  EXPECT_EQ(f.E1->text(), "1");
}

TEST_F(PrintFormTest, PageFieldAndRangeButtonFollowEachOther) {
  TfrPrintForm f;
  f.show();
  QApplication::setActiveWindow(&f);
  f.E2->setFocus();
  QApplication::processEvents();
  EXPECT_TRUE(f.RB3->isChecked());

  f.RB1->setChecked(true);
  f.CB2->setFocus();
  QApplication::processEvents();
  f.RB3->click();
  QApplication::processEvents();
  EXPECT_TRUE(f.E2->hasFocus());
}

TEST_F(PrintFormTest, CollateLabelTogglesAndPictureFollows) {
  TfrPrintForm f;
  f.CollateCB->setChecked(false);
  EXPECT_FALSE(f.PB1->collated());
  mouse(f.Label3, QEvent::MouseButtonPress);
  mouse(f.Label3, QEvent::MouseButtonRelease);
  EXPECT_TRUE(f.CollateCB->isChecked());
  EXPECT_TRUE(f.PB1->collated());
  // A double click is a press, a release, a double-click and a release: the
  // press toggles and the double-click toggles again.
  mouse(f.Label3, QEvent::MouseButtonPress);
  mouse(f.Label3, QEvent::MouseButtonRelease);
  mouse(f.Label3, QEvent::MouseButtonDblClick);
  mouse(f.Label3, QEvent::MouseButtonRelease);
  EXPECT_TRUE(f.CollateCB->isChecked());

  // The picture: the collated one at (8, 0), the uncollated one at (0, 8).
  f.CollateCB->setChecked(true);
  QImage on = f.PB1->grab().toImage();
  f.CollateCB->setChecked(false);
  QImage off = f.PB1->grab().toImage();
  EXPECT_NE(on, off);
  const QColor face = f.PB1->palette().color(QPalette::Button);
  EXPECT_EQ(QColor(on.pixel(2, 2)), face);        // left of the collated picture
  EXPECT_EQ(QColor(off.pixel(2, 2)), face);       // above the uncollated picture
  EXPECT_NE(QColor(off.pixel(2, 9 + 17)), face);  // the uncollated sheet's edge
  EXPECT_EQ(CollatePicture::collatedPixmap().size(), QSize(74, 53));
  EXPECT_EQ(CollatePicture::uncollatedPixmap().size(), QSize(92, 40));
  EXPECT_EQ(PrinterItemDelegate::printerGlyph().size(), QSize(18, 16));
}

TEST_F(PrintFormTest, PrinterChoiceIsLiveAndCancelRestoresIt) {
  {
    TfrPrintForm f;
    f.CB1->setCurrentIndex(2);
    emit f.CB1->activated(2);
    EXPECT_EQ(printer->CurrentIndex, 2);
    f.reject();
  }
  EXPECT_EQ(printer->CurrentIndex, 1);
  EXPECT_EQ(printer->backend()->currentIndex(), 1);
  {
    TfrPrintForm f;
    emit f.CB1->activated(0);
    f.accept();
  }
  EXPECT_EQ(printer->CurrentIndex, 0);
}

TEST_F(PrintFormTest, ProgressWindowCancelSetsTerminated) {
  TfrReport report;
  TfrProgressForm form;
  bool ran = false;
  form.OnJob = [&] {
    ran = true;
    EXPECT_EQ(form.Button1->text(), "Cancelar");
    form.Button1->click();
  };
  EXPECT_EQ(form.RunWithProgress(report), QDialog::Rejected);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(report.Terminated);
}

TEST_F(PrintFormTest, ProgressWindowClosesWithOkWhenTheJobEnds) {
  TfrReport report;
  WidgetPrintUi ui;
  int steps = 0;
  ui.runWithProgress(report, "Preparando relatório - Vendas", "Imprimindo página:", [&] {
    EXPECT_EQ(ui.form().windowTitle(), "Preparando relatório - Vendas");
    EXPECT_EQ(ui.form().Label1->text(), "Imprimindo página:");
    ui.setProgressLabel("Imprimindo página:  1");
    ++steps;
  });
  EXPECT_EQ(steps, 1);
  EXPECT_EQ(ui.form().result(), QDialog::Accepted);
  EXPECT_FALSE(ui.form().isVisible());
  EXPECT_FALSE(report.Terminated);

  // A long caption (a file's name) fits the window: the title bar shows it whole.
  const QString caption = QString::fromUtf8("Preparando relatório - relatorio-de-vendas-anual.frp");
  ui.runWithProgress(report, caption, "Imprimindo página:", [&] {
    EXPECT_GT(ui.form().width(), ui.form().fontMetrics().horizontalAdvance(caption) + 100);
  });
}

}  // namespace
}  // namespace orv
