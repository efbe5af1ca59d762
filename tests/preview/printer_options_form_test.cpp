#include "preview/printer_options_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
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

TEST(PrinterOptionsFormTest, PaperAndOrientationKeepThePagesOwnUntilChosen) {
  std::vector<PrinterOption> options = {
      {kPaperOption,
       "Papel",
       {{"", "Conforme o relatório"}, {"iso_a4_210x297mm", "A4"}, {"iso_a5_148x210mm", "A5"}},
       ""},
      {kOrientationOption,
       "Orientação",
       {{"", "Conforme o relatório"}, {"3", "Retrato"}, {"4", "Paisagem"}},
       ""}};
  TfrPrinterOptionsForm f("Laser", options, {});
  EXPECT_EQ(f.Boxes[0]->currentText(), QString::fromUtf8("Conforme o relatório"));
  EXPECT_EQ(f.Boxes[1]->currentText(), QString::fromUtf8("Conforme o relatório"));
  EXPECT_TRUE(f.chosen().empty());
  f.Boxes[0]->setCurrentIndex(f.Boxes[0]->findText("A5"));
  f.Boxes[1]->setCurrentIndex(f.Boxes[1]->findText("Paisagem"));
  EXPECT_EQ(f.chosen(),
            (JobOptions{{kPaperOption, "iso_a5_148x210mm"}, {kOrientationOption, "4"}}));
  // Remembered, they come back as chosen.
  TfrPrinterOptionsForm again("Laser", options, f.chosen());
  EXPECT_EQ(again.Boxes[0]->currentText(), "A5");
  EXPECT_EQ(again.Boxes[1]->currentText(), "Paisagem");
}

// A driver with several-at-once choices, and a two-sided unit its
// administrator marked as not installed.
std::vector<PrinterOption> driverOptions() {
  PrinterOption sides{"sides",
                      "Frente e verso",
                      {{"one-sided", "Desligado"},
                       {"two-sided-long-edge", "Borda longa", false},
                       {"two-sided-short-edge", "Borda curta", false}},
                      "one-sided"};
  PrinterOption holes{"OrvFuros",
                      "Furar",
                      {{"Esquerda", "Na esquerda"}, {"Topo", "No topo"}, {"Direita", "Na direita"}},
                      "Esquerda",
                      true};
  PrinterOption unit{"OptionDuplex",
                     "Duplexer Installed",
                     {{"True", "Installed"}, {"False", "Not Installed"}},
                     "False",
                     false,
                     true};
  return {sides, holes, unit};
}

TEST(PrinterOptionsFormTest, SeveralChoicesAtOnceAndWhatIsInstalled) {
  TfrPrinterOptionsForm f("Laser", driverOptions(), {{"sides", "two-sided-long-edge"}});
  // A choice the missing unit rules out is shown greyed and never preset.
  ASSERT_NE(f.Boxes[0], nullptr);
  EXPECT_EQ(current(f.Boxes[0]), "one-sided");
  auto* model = qobject_cast<QStandardItemModel*>(f.Boxes[0]->model());
  ASSERT_NE(model, nullptr);
  EXPECT_TRUE(model->item(0)->isEnabled());
  EXPECT_FALSE(model->item(1)->isEnabled());
  EXPECT_FALSE(model->item(2)->isEnabled());
  // Several choices: a box each, the default ticked.
  EXPECT_EQ(f.Boxes[1], nullptr);
  ASSERT_EQ(f.Checks[1].size(), 3u);
  EXPECT_TRUE(f.Checks[1][0]->isChecked());
  EXPECT_FALSE(f.Checks[1][1]->isChecked());
  EXPECT_TRUE(f.chosen().empty());
  f.Checks[1][2]->setChecked(true);
  f.Checks[1][1]->setChecked(true);
  EXPECT_EQ(f.chosen(), (JobOptions{{"OrvFuros", "Esquerda,Topo,Direita"}}));
  f.Checks[1][0]->setChecked(false);
  EXPECT_EQ(f.chosen(), (JobOptions{{"OrvFuros", "Topo,Direita"}}));
  // What is installed shows in a group of its own, as set, and is not a
  // choice of the user's.
  ASSERT_NE(f.Installed, nullptr);
  ASSERT_NE(f.Boxes[2], nullptr);
  EXPECT_TRUE(f.Installed->isAncestorOf(f.Boxes[2]));
  EXPECT_FALSE(f.Boxes[2]->isEnabled());
  EXPECT_EQ(current(f.Boxes[2]), "False");
  EXPECT_EQ(f.chosen(), (JobOptions{{"OrvFuros", "Topo,Direita"}}));
  // Remembered several choices come back ticked, in any order.
  TfrPrinterOptionsForm again("Laser", driverOptions(), {{"OrvFuros", "Direita,Topo"}});
  EXPECT_FALSE(again.Checks[1][0]->isChecked());
  EXPECT_TRUE(again.Checks[1][1]->isChecked());
  EXPECT_TRUE(again.Checks[1][2]->isChecked());
}

TEST(PrinterOptionsTest, OffersOnlyWhatTheInstalledPrinterCanDo) {
  const std::vector<PrinterOption> o = driverOptions();
  EXPECT_TRUE(offersValue(o[0], "one-sided"));
  EXPECT_FALSE(offersValue(o[0], "two-sided-long-edge"));
  EXPECT_TRUE(offersValue(o[1], "Topo,Direita"));
  EXPECT_FALSE(offersValue(o[1], "Topo,Lateral"));
  EXPECT_FALSE(offersValue(o[1], ""));
  EXPECT_FALSE(offersValue(o[0], "Topo,Direita"));  // one choice only
  EXPECT_EQ(splitValues("A,,B,"), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(joinValues({"A", "B"}), "A,B");
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
