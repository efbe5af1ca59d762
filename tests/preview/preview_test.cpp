#include "preview/preview.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <cmath>

#include "engine/tfr_report.h"
#include "listed_printers.h"
#include "model/memo_view.h"
#include "prepared/compressor.h"
#include "prepared/frp_error.h"
#include "printing/printer_backend.h"
#include "printing/tfr_printer.h"
#include "report_builder.h"

namespace orv {
namespace {

PageSetup paper(int code, int w, int h) {
  PageSetup s;
  s.paper = {code, w, h, 0, -1};
  s.useMargins = true;
  sharedPrinter().SetPaper(code, w, h, 0, -1, true);
  sharedPrinter().FillPrinterInfo(s.info);
  return s;
}

// A memo with a name and tag, in the prepared form, appended to a page.
void addLink(PreparedPage& e, const std::string& name, const std::string& tag, int x, int y) {
  TfrMemoView m;
  m.Name = name;
  m.Tag = tag;
  m.Left = x;
  m.Top = y;
  m.Width = 100;
  m.Height = 20;
  m.ExpandedText = {std::string("link") + kParagraphEnd};
  m.PreparedForm = true;
  MemoryStream& s = e.Objects();
  s.seek(s.size());
  s.writeU8(0);
  m.SaveRecord(s);
  s.rewind();
}

// How much of a rectangle of the image is dark.
double darkShare(const QImage& img, const Rect& r) {
  int dark = 0, all = 0;
  for (int y = std::max(0, r.top); y < std::min(img.height(), r.bottom); ++y)
    for (int x = std::max(0, r.left); x < std::min(img.width(), r.right); ++x, ++all)
      if (qGray(img.pixel(x, y)) < 128) ++dark;
  return all ? double(dark) / all : 0;
}

class PreviewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TfrPrinter::startUp(nullptr);
    lastZoom() = {};
    preview = std::make_unique<TfrPreview>();
    preview->resize(800, 600);
  }
  // Sizes the paint box exactly, whatever the frame and panels take.
  void boxSize(int w, int h) {
    TfrPBox* box = preview->form()->PBox;
    preview->show();
    for (int i = 0; i < 3; ++i) {
      QApplication::processEvents();
      preview->resize(preview->width() + w - box->width(), preview->height() + h - box->height());
      QApplication::processEvents();
    }
    ASSERT_EQ(box->width(), w);
    ASSERT_EQ(box->height(), h);
  }
  void fillA4(TfrReport& r, int pages) {
    for (int i = 0; i < pages; ++i) r.EMFPages.AddPage(paper(9, 2100, 2970));
  }
  TfrPreviewForm& form() { return *preview->form(); }
  // Finds a text, ignoring case, as if typed into the find dialog.
  void findFromFirstPage(const QString& text) {
    form().askFind = [text](QString& t, bool& c, bool& f) {
      t = text;
      c = false;
      f = true;
      return true;
    };
    preview->Find();
  }

  TfrLZWCompressor compressor;
  TfrReport report;
  std::unique_ptr<TfrPreview> preview;
};

TEST_F(PreviewTest, WholePageFitsTheBoxHeightOnePerRow) {
  fillA4(report, 3);
  preview->Connect(&report);
  boxSize(800, 600);
  preview->OnePage();
  EXPECT_DOUBLE_EQ(form().Scale, 580.0 / 1071);
  const Rect r0 = form().Pages->Entry(0).LayoutRect, r1 = form().Pages->Entry(1).LayoutRect;
  EXPECT_EQ(r0.top, 10);
  EXPECT_GT(r1.top, r0.bottom);  // one page per row
  EXPECT_EQ(r0.height(), int(std::nearbyint(1071 * 580.0 / 1071)));
  EXPECT_EQ(lastZoom().Mode, zmWholePage);
  EXPECT_EQ(report.EMFPages.Count(), 0);  // the preview holds the pages now
  EXPECT_EQ(preview->AllPages(), 3);
}

TEST_F(PreviewTest, TwoPagesForcesTwoColumnsAndNarrowPagesAreCentred) {
  fillA4(report, 3);
  preview->Connect(&report);
  // Without the bottom panel the page area may get narrower than its labels.
  preview->setScrollBars(TfrPreview::ssVertical);
  boxSize(300, 400);
  preview->TwoPages();
  const Rect r0 = form().Pages->Entry(0).LayoutRect, r1 = form().Pages->Entry(1).LayoutRect;
  EXPECT_EQ(r0.top, r1.top);
  EXPECT_EQ(r1.left, r0.right + 10);

  preview->SetZoom(300);
  EXPECT_EQ(form().ZoomMode, zmCustom);
  EXPECT_EQ(form().Pages->Entry(0).LayoutRect.left, 10);  // wider than the box: starts at 10
  EXPECT_GT(form().HScrollBar->maximum(), 0);
  EXPECT_TRUE(form().HScrollBar->isEnabled());

  preview->SetZoom(10);
  const Rect small = form().Pages->Entry(0).LayoutRect;
  // Several pages fit a row at 10 %; with three columns nothing is centred.
  EXPECT_EQ(small.left, 10);
  boxSize(90, 400);  // now one column: the narrow page is centred
  const int w = int(std::nearbyint(758 * 0.1));
  EXPECT_EQ(form().Pages->Entry(0).LayoutRect.left, (90 - w) / 2);
  EXPECT_EQ(form().HScrollBar->maximum(), 0);
  EXPECT_FALSE(form().HScrollBar->isEnabled());
}

TEST_F(PreviewTest, EveryPageInATallBoxIsDrawnAndNoneBelowIt) {
  fillA4(report, 4);
  preview->Connect(&report);
  boxSize(800, 3000);
  preview->SetZoom(100);
  QImage img(800, 3000, QImage::Format_RGB32);
  QPainter p(&img);
  form().Paint(p, QRegion(0, 0, 800, 3000));
  EXPECT_EQ(form().Pages->Entry(0).Visible, 1);
  EXPECT_EQ(form().Pages->Entry(1).Visible, 1);  // top at 1091
  EXPECT_EQ(form().Pages->Entry(2).Visible, 1);  // top at 2172: a tall screen shows it
  EXPECT_EQ(form().Pages->Entry(3).Visible, 0);  // top at 3253, below the box
  // Grey around, white page, black frame.
  EXPECT_EQ(img.pixel(5, 5), qRgb(0x80, 0x80, 0x80));
  const Rect r = form().Pages->Entry(2).LayoutRect;
  EXPECT_EQ(img.pixel(r.left, r.top), qRgb(0, 0, 0));
  EXPECT_EQ(img.pixel(r.left + 5, r.top + 5), qRgb(255, 255, 255));
}

TEST_F(PreviewTest, WholePageFitsATallNarrowBoxBothWays) {
  fillA4(report, 3);
  preview->Connect(&report);
  boxSize(680, 1100);
  preview->OnePage();
  const Rect r = form().Pages->Entry(0).LayoutRect;
  EXPECT_GE(r.left, 10);
  EXPECT_LE(r.right, 680 - 10);
  EXPECT_LE(r.bottom, 1100 - 10);
  EXPECT_EQ(form().HScrollBar->maximum(), 0);
  EXPECT_FALSE(form().HScrollBar->isEnabled());
}

TEST_F(PreviewTest, ZoomIsCarriedToTheNextReport) {
  fillA4(report, 1);
  preview->Connect(&report);
  form().ZoomItemChosen(150);
  EXPECT_DOUBLE_EQ(form().Scale, 1.5);
  TfrReport other;
  fillA4(other, 2);
  TfrPreview second;
  second.Connect(&other);
  EXPECT_DOUBLE_EQ(second.form()->Scale, 1.5);
  EXPECT_EQ(second.form()->ZoomMode, zmCustom);
}

TEST_F(PreviewTest, PageLinksJumpAndBadLinksDoNothing) {
  fillA4(report, 5);
  addLink(report.EMFPages.Entry(0), "URL1", "@0", 100, 100);
  addLink(report.EMFPages.Entry(0), "URL2", "@99", 100, 200);
  addLink(report.EMFPages.Entry(0), "URL3", "page@", 100, 300);
  addLink(report.EMFPages.Entry(0), "URL4", "@3", 100, 400);
  addLink(report.EMFPages.Entry(0), "xURL", "@4", 100, 500);
  preview->Connect(&report);
  boxSize(800, 600);
  preview->SetZoom(100);
  auto click = [&](int x, int y) {
    const Rect r = form().Pages->Entry(0).LayoutRect;
    form().MouseDown(QPoint(r.left + x + form().OfsX, r.top + y + form().OfsY), Qt::LeftButton,
                     QPoint());
    form().PBox->Down = false;
  };
  click(110, 410);
  EXPECT_EQ(form().CurPage, 3);
  form().SetCurPage(1);
  click(110, 110);  // "@0" goes to page 1
  EXPECT_EQ(form().CurPage, 1);
  form().SetCurPage(2);
  form().SetCurPage(1);
  click(110, 210);  // beyond the count: ignored
  EXPECT_EQ(form().CurPage, 1);
  click(110, 310);  // trailing "@": no page link
  EXPECT_EQ(form().CurPage, 1);
  click(110, 510);  // not a link name
  EXPECT_EQ(form().CurPage, 1);

  // Hovering shows the link as a page number.
  const Rect r = form().Pages->Entry(0).LayoutRect;
  form().MouseMove(QPoint(r.left + 110 + form().OfsX, r.top + 410 + form().OfsY));
  EXPECT_EQ(form().Label2->text(), QString::fromUtf8("Página 3"));
}

TEST_F(PreviewTest, PrintingWithoutAPrinterSaysSoInTheStatusBar) {
  fillA4(report, 2);
  preview->Connect(&report);
  // Only the virtual printer: no dialog opens, and the reason is shown.
  form().PrintCommand();
  EXPECT_EQ(form().Label2->text(), QString::fromUtf8("Nenhuma impressora instalada"));
  EXPECT_EQ(form().AllPages(), 2);
}

TEST_F(PreviewTest, BackReturnsToWhereTheLinkWasFollowed) {
  fillA4(report, 5);
  addLink(report.EMFPages.Entry(1), "URL1", "@5", 100, 700);
  addLink(report.EMFPages.Entry(4), "URL2", "@1", 100, 100);
  preview->Connect(&report);
  boxSize(800, 600);
  preview->SetZoom(100);
  EXPECT_FALSE(form().GoBack());  // nothing followed yet
  preview->SetPage(2);
  form().VScrollBar->setValue(form().VScrollBar->value() + 300);  // the link's height
  const int h = form().HScrollBar->value(), v = form().VScrollBar->value();
  const int intoPage = v - form().Pages->Entry(1).LayoutRect.top;
  auto click = [&](int page, int x, int y) {
    const Rect r = form().Pages->Entry(page - 1).LayoutRect;
    form().MouseDown(QPoint(r.left + x + form().OfsX, r.top + y + form().OfsY), Qt::LeftButton,
                     QPoint());
    form().PBox->Down = false;
  };
  click(2, 110, 710);
  ASSERT_EQ(form().CurPage, 5);
  click(5, 110, 110);
  ASSERT_EQ(form().CurPage, 1);
  EXPECT_TRUE(form().GoBack());
  EXPECT_EQ(form().CurPage, 5);
  EXPECT_TRUE(form().GoBack());
  EXPECT_EQ(form().CurPage, 2);
  EXPECT_EQ(form().VScrollBar->value(), v);
  EXPECT_EQ(form().HScrollBar->value(), h);
  EXPECT_FALSE(form().GoBack());
  // The place survives a zoom in between: the same report point at the top.
  click(2, 110, 710);
  preview->SetZoom(200);
  preview->Back();
  EXPECT_EQ(form().CurPage, 2);
  EXPECT_EQ(form().VScrollBar->value() - form().Pages->Entry(1).LayoutRect.top, 2 * intoPage);
}

TEST_F(PreviewTest, SaveForcesTheFrpExtension) {
  QTemporaryDir dir;
  fillA4(report, 2);
  preview->Connect(&report);
  form().askSaveFile = [&] { return dir.filePath("saida.txt"); };
  EXPECT_TRUE(form().KeyDown(Qt::Key_S, Qt::ControlModifier));
  EXPECT_TRUE(QFile::exists(dir.filePath("saida.frp")));
  EXPECT_FALSE(QFile::exists(dir.filePath("saida.txt")));
  EXPECT_EQ(preview->AllPages(), 2);  // taken over again after saving
  EXPECT_EQ(report.EMFPages.Count(), 0);
}

TEST_F(PreviewTest, SavingOverAnotherFileAsksFirst) {
  QTemporaryDir dir;
  TfrReport other;
  tools::buildListing(other, {3, 7, false});
  const QString shown = dir.filePath("mostrado.frp"), victim = dir.filePath("outro.frp");
  other.SavePreparedReport(shown.toStdString());
  QFile::copy(shown, victim);
  {
    QFile f(victim);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("x");  // tells the copy apart
  }
  const qint64 victimSize = QFileInfo(victim).size();
  preview->Connect(&report);
  preview->LoadFromFile(shown);
  QStringList asked;
  bool answer = false;
  form().confirmReplace = [&](const QString& path) {
    asked << path;
    return answer;
  };
  // A typo names another report: asked, refused, nothing written.
  form().askSaveFile = [&] { return dir.filePath("outro"); };
  preview->SaveFile();
  EXPECT_EQ(asked, QStringList{victim});
  EXPECT_EQ(QFileInfo(victim).size(), victimSize);
  // Accepted: replaced.
  answer = true;
  preview->SaveFile();
  EXPECT_EQ(asked.size(), 2);
  EXPECT_NE(QFileInfo(victim).size(), victimSize);
  // A new name and the shown file itself are written without a question.
  form().askSaveFile = [&] { return dir.filePath("novo.frp"); };
  preview->SaveFile();
  form().askSaveFile = [&] { return shown; };
  preview->SaveFile();
  EXPECT_EQ(asked.size(), 2);
  EXPECT_TRUE(QFile::exists(dir.filePath("novo.frp")));
  EXPECT_EQ(preview->AllPages(), 3);
}

TEST_F(PreviewTest, ANewSearchClearsTheLastMarkAndNoteAndOffersTheLastText) {
  tools::addTextPage(report, {"primeira linha", "Total geral"});
  tools::addTextPage(report, {"outra"});
  preview->Connect(&report);
  boxSize(800, 600);
  QString status;
  preview->OnStatus = [&](const QString& text) { status = text; };
  QStringList offered;
  QString typed;
  form().askFind = [&](QString& t, bool& c, bool& f) {
    offered << t;
    t = typed;
    c = false;
    f = true;
    return true;
  };
  typed = "Total geral";
  preview->Find();
  ASSERT_GE(form().Mark.page, 0);
  typed = "nada disso";
  preview->Find();
  EXPECT_LT(form().Mark.page, 0);  // the old hit is no longer marked
  EXPECT_EQ(status, QString::fromUtf8("Texto não encontrado"));
  typed = "outra";
  preview->Find();
  EXPECT_EQ(preview->Page(), 2);
  EXPECT_TRUE(status.isEmpty());  // the old note went with the new search
  EXPECT_EQ(offered, QStringList({"", "Total geral", "nada disso"}));
}

TEST_F(PreviewTest, OnlyOpenWorksAfterClear) {
  fillA4(report, 2);
  preview->Connect(&report);
  preview->Clear();
  EXPECT_EQ(preview->AllPages(), 0);
  EXPECT_TRUE(form().Label1->text().isEmpty());
  int opened = 0, asked = 0;
  form().askOpenFile = [&] {
    ++opened;
    return QString();
  };
  form().askSaveFile = [&] {
    ++asked;
    return QString();
  };
  form().askFind = [&](QString&, bool&, bool&) {
    ++asked;
    return false;
  };
  form().printCommand = [&] { ++asked; };
  for (int key : {Qt::Key_S, Qt::Key_P, Qt::Key_F})
    EXPECT_FALSE(form().KeyDown(key, Qt::ControlModifier));
  preview->SaveFile();
  preview->Print();
  preview->Find();
  EXPECT_EQ(asked, 0);
  // Open must always work, or an empty viewer could never show a report again.
  EXPECT_TRUE(form().KeyDown(Qt::Key_O, Qt::ControlModifier));
  preview->OpenFile();
  EXPECT_EQ(opened, 2);
}

TEST_F(PreviewTest, AFileThatFailsToLoadLeavesTheShownReportAsItWas) {
  QTemporaryDir dir;
  TfrReport source;
  tools::buildListing(source, {3, 7, false});
  const QString good = dir.filePath("r.frp"), bad = dir.filePath("bad.frp");
  source.SavePreparedReport(good.toStdString());
  QFile in(good), out(bad);
  ASSERT_TRUE(in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly));
  out.write(in.read(40));  // cut short in the first page
  out.close();
  preview->Connect(&report);
  boxSize(800, 600);
  preview->LoadFromFile(good);
  preview->SetPage(2);
  QString picked = bad, error;
  form().askOpenFile = [&] { return picked; };
  form().showError = [&](const QString& text) { error = text; };
  preview->OpenFile();
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(preview->AllPages(), 3);
  EXPECT_EQ(preview->Page(), 2);
  EXPECT_EQ(form().Label1->text(), QString::fromUtf8("Página 2/3"));
  EXPECT_TRUE(form().PreviewPanel->isVisible());
  QImage img(800, 600, QImage::Format_RGB32);
  QPainter p(&img);
  form().Paint(p, QRegion(0, 0, 800, 600));
  EXPECT_EQ(form().Pages->Entry(1).Visible, 1);  // still drawn
  EXPECT_EQ(report.EMFPages.Count(), 0);         // nothing half-loaded left with the report
  // And open still works after the failure.
  error.clear();
  picked = good;
  preview->OpenFile();
  EXPECT_TRUE(error.isEmpty());
  EXPECT_EQ(preview->Page(), 1);
}

TEST_F(PreviewTest, AFileThatFailsToLoadLeavesThePrinterAsItWas) {
  TfrPrinter& printer = TfrPrinter::startUp(
      std::make_unique<ListedPrinters>(std::vector<std::string>{"Laser", "Jato"}, 0));
  QTemporaryDir dir;
  // A report for the other printer, on A3 landscape, cut short in its last page.
  printer.SelectPrinter(1);
  TfrReport source;
  for (int i = 0; i < 3; ++i) source.EMFPages.AddPage(paper(8, 2970, 4200));
  const QString good = dir.filePath("a3.frp"), bad = dir.filePath("cortado.frp");
  source.SavePreparedReport(good.toStdString());
  QFile in(good), out(bad);
  ASSERT_TRUE(in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly));
  out.write(in.readAll().chopped(8));
  out.close();

  printer.SelectPrinter(0);
  printer.SetPaper(9, 2100, 2970, 0, -1, true);
  report.PrinterName = "Laser";
  fillA4(report, 2);
  preview->Connect(&report);
  form().showError = [](const QString&) {};
  form().askOpenFile = [&] { return bad; };
  preview->OpenFile();
  EXPECT_EQ(preview->AllPages(), 2);
  EXPECT_EQ(printer.CurrentIndex, 0);
  EXPECT_EQ(printer.PaperSize, 9);
  EXPECT_EQ(printer.Orientation, 0);
  EXPECT_EQ(report.PrinterName, "Laser");

  // The same when the shown file is replaced by a damaged one and read again.
  preview->LoadFromFile(good);
  printer.SelectPrinter(0);
  printer.SetPaper(9, 2100, 2970, 0, -1, true);
  report.PrinterName = "Laser";
  QFile::remove(good);
  QFile::copy(bad, good);
  QString error;
  EXPECT_FALSE(form().ReloadFile(&error));
  EXPECT_EQ(printer.CurrentIndex, 0);
  EXPECT_EQ(printer.PaperSize, 9);
  EXPECT_EQ(report.PrinterName, "Laser");
  TfrPrinter::startUp(nullptr);
}

TEST_F(PreviewTest, LoadingAFileAndAMissingFile) {
  QTemporaryDir dir;
  TfrReport source;
  tools::buildListing(source, {3, 7, false});
  const QString path = dir.filePath("r.frp");
  source.SavePreparedReport(path.toStdString());
  preview->Connect(&report);
  preview->LoadFromFile(path);
  EXPECT_EQ(preview->AllPages(), 3);
  EXPECT_EQ(form().Label1->text(), QString::fromUtf8("Página 1/3"));
  preview->LoadFromFile(dir.filePath("none.frp"));
  EXPECT_EQ(preview->AllPages(), 0);
}

TEST_F(PreviewTest, SearchAcrossPagesWithF3AndCase) {
  tools::addTextPage(report, {"primeira linha", "Total geral", "nada"});
  tools::addTextPage(report, {"TOTAL da página", "outra"});
  tools::addTextPage(report, {"sem nada", "total parcial"});
  preview->Connect(&report);
  boxSize(800, 600);
  QString text = "total";
  bool caseSensitive = false, fromFirst = true;
  form().askFind = [&](QString& t, bool& c, bool& f) {
    t = text;
    c = caseSensitive;
    f = fromFirst;
    return true;
  };
  preview->Find();
  EXPECT_EQ(form().CurPage, 1);
  EXPECT_EQ(form().Search.FindPage, 0);
  form().KeyDown(Qt::Key_F3, Qt::NoModifier);
  EXPECT_EQ(form().CurPage, 2);
  form().KeyDown(Qt::Key_F3, Qt::NoModifier);
  EXPECT_EQ(form().CurPage, 3);
  form().KeyDown(Qt::Key_F3, Qt::NoModifier);  // nothing more: unchanged
  EXPECT_EQ(form().CurPage, 3);
  EXPECT_EQ(form().Search.FindPage, 3);

  caseSensitive = true;
  preview->Find();
  EXPECT_EQ(form().CurPage, 3);  // only the lower-case spelling, on page 3
  EXPECT_GT(form().Search.FoundRect.right, form().Search.FoundRect.left);

  // Split text is not found as one piece.
  text = "geral nada";
  caseSensitive = false;
  form().SetCurPage(1);
  preview->Find();
  EXPECT_EQ(form().Search.FindPage, 3);
  EXPECT_EQ(form().CurPage, 1);
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

TEST_F(PreviewTest, FindShowsItsHitMarkedUntilTheViewChanges) {
  const std::vector<std::string> filler(37, "linha comum");
  for (int i = 0; i < 500; ++i) {
    std::vector<std::string> lines = filler;
    if (i == 436) lines.push_back("agulha no palheiro");  // low on page 437
    tools::addTextPage(report, lines);
  }
  preview->Connect(&report);
  boxSize(800, 600);
  findFromFirstPage("agulha no palheiro");
  ASSERT_EQ(preview->Page(), 437);
  EXPECT_EQ(form().Label1->text(), QString::fromUtf8("Página 437/500"));
  const Rect mark = form().Layout.hitRect(436, form().Search.FoundRect, form().OfsX, form().OfsY);
  EXPECT_GE(mark.top, 0);
  EXPECT_LE(mark.bottom, 600 + 1);  // the whole hit is in view
  EXPECT_GE(mark.left, 0);
  EXPECT_LE(mark.right, 800);

  // Every paint shows the inverted hit, not just one that is at once painted over.
  QImage img(800, 600, QImage::Format_RGB32);
  {
    QPainter p(&img);
    form().Paint(p, QRegion(0, 0, 800, 600));
  }
  EXPECT_GT(darkShare(img, mark), 0.6);
  // Scrolling takes the mark away.
  form().KeyDown(Qt::Key_Up, Qt::NoModifier);
  {
    QPainter p(&img);
    form().Paint(p, QRegion(0, 0, 800, 600));
  }
  const Rect moved{mark.left, mark.top + 10, mark.right, mark.bottom + 10};
  EXPECT_LT(darkShare(img, moved), 0.3);

  // A "Total geral" near the top of a small report is marked as well.
  TfrReport small;
  tools::addTextPage(small, {"primeira linha", "Total geral"});
  tools::addTextPage(small, {"outra"});
  tools::addTextPage(small, {"mais"});
  preview->Connect(&small);
  findFromFirstPage("Total geral");
  const Rect top = form().Layout.hitRect(0, form().Search.FoundRect, form().OfsX, form().OfsY);
  {
    QPainter p(&img);
    form().Paint(p, QRegion(0, 0, 800, 600));
  }
  EXPECT_GT(darkShare(img, top), 0.6);
  preview->SetZoom(50);  // and a zoom takes it away too
  {
    QPainter p(&img);
    form().Paint(p, QRegion(0, 0, 800, 600));
  }
  EXPECT_LT(darkShare(img, top), 0.3);
}

TEST_F(PreviewTest, ZoomKeepsTheCurrentPage) {
  fillA4(report, 10000);
  preview->Connect(&report);
  boxSize(1260, 780);
  preview->OnePage();
  preview->SetPage(4969);
  form().ZoomItemChosen(10);
  EXPECT_EQ(preview->Page(), 4969);
  EXPECT_EQ(form().Label1->text(), QString::fromUtf8("Página 4969/10000"));
  const Rect r = form().Pages->Entry(4968).LayoutRect;
  EXPECT_GE(r.top + form().OfsY, 0);
  EXPECT_LT(r.top + form().OfsY, 600);
  form().ZoomItemChosen(200);
  EXPECT_EQ(preview->Page(), 4969);
  EXPECT_EQ(form().Pages->Entry(4968).LayoutRect.top + form().OfsY, 10);
}

TEST_F(PreviewTest, APageWithAnUnknownObjectShowsWhatCameBeforeAndSaysWhy) {
  fillA4(report, 2);
  addLink(report.EMFPages.Entry(1), "Antes", "", 100, 100);
  MemoryStream& s = report.EMFPages.Entry(1).Objects();
  s.seek(s.size());
  s.writeU8(10);
  writeString(s, "TfrNoSuchView");
  s.rewind();
  QTemporaryDir dir;
  const QString path = dir.filePath("badpage.frp");
  report.SavePreparedReport(path.toStdString());
  report.EMFPages.Clear();

  // frptool names the file, the page and what went wrong, in one line.
  QProcess tool;
  tool.start(ORV_FRPTOOL, {"text", path, "-p", "2"});
  ASSERT_TRUE(tool.waitForFinished(30000));
  EXPECT_NE(tool.exitCode(), 0);
  EXPECT_EQ(QString::fromUtf8(tool.readAllStandardError()),
            "frptool: " + path + ": page 2: unknown object type TfrNoSuchView\n");

  // The viewer draws the object before the unknown one, and says why in Portuguese.
  preview->Connect(&report);
  boxSize(800, 600);
  preview->LoadFromFile(path);
  preview->SetPage(2);
  QImage img(800, 600, QImage::Format_RGB32);
  QPainter p(&img);
  form().Paint(p, QRegion(0, 0, 800, 600));
  const Rect page = form().Pages->Entry(1).LayoutRect;
  const Rect memo{page.left + form().OfsX + 100, page.top + form().OfsY + 100,
                  page.left + form().OfsX + 200, page.top + form().OfsY + 120};
  EXPECT_GT(darkShare(img, memo), 0.0);  // "link" is drawn
  int red = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (qRed(img.pixel(x, y)) > 200 && qGreen(img.pixel(x, y)) < 100) ++red;
  EXPECT_GT(red, 20);
  ASSERT_TRUE(form().Pages->Entry(1).ObjectPage());
  EXPECT_EQ(portugueseReason(*form().Pages->Entry(1).ObjectsError()),
            QString::fromUtf8("página 2: tipo de objeto desconhecido: TfrNoSuchView"));
}

TEST_F(PreviewTest, LoadErrorsAreShownInPortuguese) {
  QTemporaryDir dir;
  const QString bad = dir.filePath("curto.frp");
  QFile f(bad);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("\x19\x01", 2);
  f.close();
  fillA4(report, 1);
  preview->Connect(&report);
  QString error;
  form().showError = [&](const QString& text) { error = text; };
  form().askOpenFile = [&] { return bad; };
  preview->OpenFile();
  EXPECT_EQ(error, bad + QString::fromUtf8(": fim inesperado dos dados ao ler o tamanho do nome "
                                           "da impressora na posição 2"));
}

TEST_F(PreviewTest, ThePageLabelShowsWhole) {
  fillA4(report, 10000);
  preview->Connect(&report);
  boxSize(800, 600);
  auto fits = [&](int page) {
    preview->SetPage(page);
    QApplication::processEvents();
    QLabel& l = *form().Label1;
    return l.contentsRect().width() >= l.fontMetrics().horizontalAdvance(l.text());
  };
  EXPECT_TRUE(fits(9999)) << form().Label1->text().toStdString();
  EXPECT_TRUE(fits(10000));
  TfrReport other;
  fillA4(other, 500);
  preview->Connect(&other);
  EXPECT_TRUE(fits(499));
  EXPECT_TRUE(fits(1));
}

TEST_F(PreviewTest, TheLabelNamesThePageGoneToWhenPagesShareARow) {
  fillA4(report, 500);
  preview->Connect(&report);
  boxSize(1700, 600);
  preview->SetZoom(100);
  ASSERT_EQ(form().Layout.columns(), 2);
  preview->Next();  // beside page 1: nothing scrolls, the label still follows
  EXPECT_EQ(preview->Page(), 2);
  EXPECT_EQ(form().Label1->text(), QString::fromUtf8("Página 2/500"));
  preview->SetPage(300);
  EXPECT_EQ(preview->Page(), 300);
  EXPECT_EQ(form().Label1->text(), QString::fromUtf8("Página 300/500"));
  // Scrolling by hand names the page that fills most of the view: within the
  // row both fill as much and the current one stays, then the next row's.
  form().KeyDown(Qt::Key_PageDown, Qt::NoModifier);
  form().KeyDown(Qt::Key_PageDown, Qt::NoModifier);
  EXPECT_EQ(preview->Page(), 300);
  for (int i = 0; i < 4; ++i) form().KeyDown(Qt::Key_PageDown, Qt::NoModifier);
  EXPECT_EQ(preview->Page(), 301);
  EXPECT_EQ(form().Label1->text(), QString::fromUtf8("Página 301/500"));
}

TEST_F(PreviewTest, TheLabelNamesThePageThatFillsMostOfTheView) {
  fillA4(report, 3);
  preview->Connect(&report);
  boxSize(1700, 600);
  preview->SetZoom(100);
  ASSERT_EQ(form().Layout.columns(), 2);
  // Beside page 1, back to the start: the view does not move, the label does.
  preview->Next();
  form().KeyDown(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(preview->Page(), 1);
  EXPECT_EQ(form().Label1->text(), QString::fromUtf8("Página 1/3"));

  boxSize(800, 600);
  preview->SetPage(1);
  // Page 2 fills nine tenths of the view; page 1's foot is still at the top.
  form().VScrollBar->setValue(form().Pages->Entry(1).LayoutRect.top - 60);
  EXPECT_EQ(preview->Page(), 2);
  EXPECT_EQ(form().Label1->text(), QString::fromUtf8("Página 2/3"));
  form().VScrollBar->setValue(form().Pages->Entry(1).LayoutRect.top - 400);
  EXPECT_EQ(preview->Page(), 1);
}

TEST_F(PreviewTest, ShiftWheelTiltAndCtrlHomeScrollSideways) {
  fillA4(report, 3);
  preview->Connect(&report);
  boxSize(800, 600);
  preview->SetZoom(400);
  QScrollBar& h = *form().HScrollBar;
  QScrollBar& v = *form().VScrollBar;
  ASSERT_GT(h.maximum(), 0);
  auto wheel = [&](QPoint delta, Qt::KeyboardModifiers mods) {
    QWheelEvent e(QPointF(100, 100), QPointF(100, 100), QPoint(), delta, Qt::NoButton, mods,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(form().PBox, &e);
  };
  const int v0 = v.value();
  wheel(QPoint(0, -120), Qt::ShiftModifier);  // down with Shift: to the right
  EXPECT_GT(h.value(), 0);
  EXPECT_EQ(v.value(), v0);
  const int h1 = h.value();
  wheel(QPoint(-240, 0), Qt::NoModifier);  // tilted to the right
  EXPECT_GT(h.value(), h1);
  wheel(QPoint(0, -120), Qt::NoModifier);  // an upright wheel still scrolls down
  EXPECT_GT(v.value(), v0);
  form().KeyDown(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(h.value(), 0);
  EXPECT_EQ(v.value(), 0);
  EXPECT_EQ(preview->Page(), 1);
}

}  // namespace
}  // namespace orv
