#include "preview/printer_options_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "preview/print_form.h"
#include "printing/tfr_printer.h"

namespace orv {
namespace {

std::vector<PrinterOption> duplexAndColour() {
  return {{"sides",
           "Frente e verso",
           {{"one-sided", "Desligado"},
            {"two-sided-long-edge", "Borda longa"},
            {"two-sided-short-edge", "Borda curta"}},
           "one-sided"},
          {"print-color-mode", "Cor", {{"color", "Colorido"}, {"monochrome", "Cinza"}}, "color"}};
}

QString current(QComboBox* box) {
  return box->currentData().toString();
}

TEST(PrinterOptionsFormTest, PresetsTheChoicesAndReturnsWhatDiffersFromTheDefaults) {
  TfrPrinterOptionsForm f("Laser", duplexAndColour(), {{"sides", "two-sided-long-edge"}});
  EXPECT_EQ(f.windowTitle(), "Propriedades - Laser");
  ASSERT_EQ(f.Boxes.size(), 2u);
  EXPECT_EQ(f.Boxes[0]->count(), 3);
  EXPECT_EQ(f.Boxes[0]->currentText(), "Borda longa");
  EXPECT_EQ(current(f.Boxes[1]), "color");  // the printer's default
  EXPECT_EQ(f.chosen(), (JobOptions{{"sides", "two-sided-long-edge"}}));
  f.Boxes[1]->setCurrentIndex(1);
  f.Boxes[0]->setCurrentIndex(0);
  EXPECT_EQ(f.chosen(), (JobOptions{{"print-color-mode", "monochrome"}}));
  EXPECT_EQ(f.NoOptions, nullptr);
}

TEST(PrinterOptionsFormTest, AChoiceThePrinterNoLongerOffersFallsBackToItsDefault) {
  TfrPrinterOptionsForm f("Laser", duplexAndColour(), {{"print-color-mode", "roxo"}});
  EXPECT_EQ(current(f.Boxes[1]), "color");
  EXPECT_TRUE(f.chosen().empty());
  // A queue whose default is not among its choices: the first one shows,
  // and leaving it is no choice of the user's.
  std::vector<PrinterOption> trays = {
      {"media-source", "Bandeja", {{"top", "Superior"}, {"bottom", "Inferior"}}, "auto"}};
  TfrPrinterOptionsForm tray("Laser", trays, {});
  EXPECT_EQ(current(tray.Boxes[0]), "top");
  EXPECT_TRUE(tray.chosen().empty());
  tray.Boxes[0]->setCurrentIndex(1);
  EXPECT_EQ(tray.chosen(), (JobOptions{{"media-source", "bottom"}}));
  TfrPrinterOptionsForm none("Etiquetas", {}, {});
  ASSERT_NE(none.NoOptions, nullptr);
  EXPECT_TRUE(none.Boxes.empty());
}

// Two printers; the first offers two-sided printing and colour.
class OptionPrinters : public PrinterBackend {
 public:
  std::vector<std::string> printers() override { return {"Laser", "Jato"}; }
  int defaultIndex() override { return 0; }
  bool getDeviceMode(int, DeviceMode& m) override {
    m.fields = DeviceMode::kPaperSize | DeviceMode::kOrientation;
    return true;
  }
  bool setDeviceMode(int, const DeviceMode&) override { return true; }
  bool capabilities(int, const DeviceMode&, DeviceCaps& c) override {
    c.logPixelsX = c.logPixelsY = 300;
    c.physicalWidth = c.pageWidth = 2480;
    c.physicalHeight = c.pageHeight = 3508;
    return true;
  }
  std::vector<PrinterOption> printerOptions(int index) override {
    return index == 0 ? duplexAndColour() : std::vector<PrinterOption>{};
  }
  JobOptions jobOptions(int index) override { return chosen[index]; }
  void setJobOptions(int index, const JobOptions& o) override { chosen[index] = o; }
  JobOptions chosen[2];
};

TEST(PrinterOptionsFormTest, PropertiesSetTheJobOptionsAndRememberThemPerPrinter) {
  auto owned = std::make_unique<OptionPrinters>();
  OptionPrinters* backend = owned.get();
  TfrPrinter& printer = TfrPrinter::startUp(std::move(owned));
  // A loaded report laid out for the virtual printer puts the model there;
  // the dialog still shows, and sets up, the printer the job goes to.
  printer.SelectPrinter(printer.VirtualIndex);
  {
    TfrPrintForm f;
    ASSERT_EQ(f.CB1->currentIndex(), 0);
    // Answer the properties dialog as a user would: grey, both sides, OK.
    QTimer::singleShot(0, [] {
      auto* d = qobject_cast<TfrPrinterOptionsForm*>(QApplication::activeModalWidget());
      ASSERT_NE(d, nullptr);
      d->Boxes[0]->setCurrentIndex(2);
      d->Boxes[1]->setCurrentIndex(1);
      d->accept();
    });
    f.PropButton->click();
    EXPECT_EQ(backend->chosen[0],
              (JobOptions{{"sides", "two-sided-short-edge"}, {"print-color-mode", "monochrome"}}));
    // Cancel leaves the choice as it was.
    QTimer::singleShot(0, [] {
      auto* d = qobject_cast<TfrPrinterOptionsForm*>(QApplication::activeModalWidget());
      ASSERT_NE(d, nullptr);
      d->Boxes[0]->setCurrentIndex(0);
      d->reject();
    });
    f.PropButton->click();
    EXPECT_EQ(backend->chosen[0].size(), 2u);
  }
  // The next run of the program finds the choices again for that printer only.
  auto again = std::make_unique<OptionPrinters>();
  OptionPrinters* next = again.get();
  TfrPrinter::startUp(std::move(again));
  TfrPrintForm f;
  EXPECT_EQ(next->chosen[0],
            (JobOptions{{"sides", "two-sided-short-edge"}, {"print-color-mode", "monochrome"}}));
  EXPECT_TRUE(next->chosen[1].empty());
  rememberPrinterOptions("Laser", {});
  TfrPrinter::startUp(nullptr);
}

}  // namespace
}  // namespace orv
