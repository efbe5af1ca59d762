#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include "addins/addins.h"
#include "addins/chart_view.h"
#include "addins/rich_view.h"
#include "export/cell_value.h"
#include "export/page_record.h"
#include "export/report_export.h"
#include "export/sheet_grid.h"
#include "model/printer_info.h"
#include "platform/codepage.h"
#include "platform/rtf_document.h"
#include "prepared/page_search.h"
#include "printing/tfr_printer.h"
#include "report_builder.h"
#include "tool_run.h"

namespace orv {
namespace {

using Kind = CellValue::Kind;

CellValue read(const char* utf8, int32_t format = 0, const std::string& text = {},
               bool codes = false) {
  return readCellValue(QString::fromUtf8(utf8), format, text, codes);
}

// Prepared pages keep only texts: values come back from how the report's
// formats write them, and whatever does not read back stays text.
TEST(CellValueTest, NumbersAndDatesReadBackFromTheirTexts) {
  CellValue v = read("1.234,56");
  EXPECT_EQ(v.kind, Kind::Number);
  EXPECT_DOUBLE_EQ(v.number, 1234.56);
  EXPECT_EQ(v.numberFormat, "#,##0.00");
  v = read("-12,30");
  EXPECT_DOUBLE_EQ(v.number, -12.3);
  EXPECT_EQ(v.numberFormat, "0.00");
  EXPECT_DOUBLE_EQ(read("0,5").number, 0.5);
  EXPECT_DOUBLE_EQ(read("881582.82").number, 881582.82);
  EXPECT_DOUBLE_EQ(read("1.234").number, 1234);  // a point before three digits groups
  EXPECT_EQ(read("42").numberFormat, "0");
  v = read("R$ 2.500,00");
  EXPECT_EQ(v.kind, Kind::Number);
  EXPECT_EQ(v.numberFormat, "\"R$ \"#,##0.00");

  v = read("15/06/2026");
  EXPECT_EQ(v.kind, Kind::Date);
  EXPECT_DOUBLE_EQ(v.number, 46188);  // days since 1899-12-30
  v = read("15/06/2026 18:00");
  EXPECT_EQ(v.kind, Kind::DateTime);
  EXPECT_DOUBLE_EQ(v.number, 46188.75);
  EXPECT_EQ(isoDateTime(v), "2026-06-15 18:00:00");
  EXPECT_EQ(read("08:30:00").kind, Kind::Time);

  for (const char* text : {"007", "00,5", "31/02/2026", "Página 2", "12345678901234567", "1.23.4",
                           "01310-100", "12,5%", "1,234,5", ""})
    EXPECT_EQ(read(text).kind, Kind::Text) << text;
  // A column of codes keeps its whole numbers as texts, but not its amounts.
  EXPECT_EQ(read("770124", 0, {}, true).kind, Kind::Text);
  EXPECT_EQ(read("7,50", 0, {}, true).kind, Kind::Number);
}

// A display format, where an object has one, decides the reading.
TEST(CellValueTest, DisplayFormatsDecideWhenTheyAreKnown) {
  const int32_t fixed2 = 0x01010000 + 2 * 256 + ',';
  CellValue v = read("1234,50", fixed2);
  EXPECT_EQ(v.kind, Kind::Number);
  EXPECT_DOUBLE_EQ(v.number, 1234.5);
  EXPECT_EQ(v.numberFormat, "0.00");
  EXPECT_EQ(read("1234.50", 0x01010000 + 2 * 256 + '.').number, 1234.5);
  EXPECT_EQ(read("1.234,50", 0x01030000 + 2 * 256 + ',').numberFormat, "#,##0.00");
  EXPECT_EQ(read("abc", fixed2).kind, Kind::Text);
  v = read("5 março 2026", 0x02040000, "d mmmm yyyy");
  EXPECT_EQ(v.kind, Kind::Date);
  EXPECT_EQ(v.numberFormat, "[$-416]d mmmm yyyy");
  EXPECT_EQ(isoDateTime(v), "2026-03-05");
  v = read("09:05", 0x03040000, "hh:nn");
  EXPECT_EQ(v.kind, Kind::Time);
  EXPECT_EQ(v.numberFormat, "hh:mm");
  EXPECT_EQ(isoDateTime(v), "09:05:00");
  EXPECT_EQ(read("5 marco 2026", 0x02040000, "d mmmm yyyy").kind, Kind::Text);
}

TEST(CellValueTest, PlainNumbersHaveNoGroupingAndNoNegativeZero) {
  EXPECT_EQ(plainNumber(1234.5), "1234.5");
  EXPECT_EQ(plainNumber(1234.5, ','), "1234,5");
  EXPECT_EQ(plainNumber(-0.0), "0");
  EXPECT_EQ(plainNumber(1e15), "1000000000000000");
}

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TfrPrinter::startUp(nullptr);
    registerAddIns();
  }
  std::vector<int> all() const {
    std::vector<int> v;
    for (int i = 0; i < report.EMFPages.Count(); ++i) v.push_back(i);
    return v;
  }
  QByteArray run(ExportFormat f, ExportOptions o = {}) {
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    EXPECT_TRUE(exportPages(report.EMFPages, all(), f, o, buf));
    return buf.data();
  }
  std::vector<GridRow> table(bool keep) {
    SheetGrid grid({keep});
    for (int i : all()) grid.survey(recordPage(report.EMFPages, i));
    grid.finishSurvey();
    columns = grid.columnCount();
    std::vector<GridRow> rows;
    for (int i : all())
      for (GridRow& r : grid.rows(recordPage(report.EMFPages, i))) rows.push_back(std::move(r));
    return rows;
  }
  TfrReport report;
  int columns = 0;
};

// The recording is the drawing the search reads: the same texts at the same
// places, each tied to the object that drew it.
TEST_F(ExportTest, TheRecordingHoldsTheTextsTheSearchSees) {
  tools::buildListing(report, {2, 5, true});
  for (int page : all()) {
    const PageRecord rec = recordPage(report.EMFPages, page, kReportPixelsPerInch);
    const std::vector<PageTextRun> runs = PageTextRuns(report.EMFPages, page);
    ASSERT_EQ(rec.texts.size(), runs.size());
    for (size_t i = 0; i < runs.size(); ++i) {
      EXPECT_EQ(rec.texts[i].text, decodeBytes(runs[i].text, codePageForCharset(runs[i].charset)));
      EXPECT_EQ(rec.texts[i].bounds.left, runs[i].bounds.left) << i;
      EXPECT_EQ(rec.texts[i].bounds.top, runs[i].bounds.top) << i;
      ASSERT_GE(rec.texts[i].object, 0);
      EXPECT_TRUE(rec.objects[size_t(rec.texts[i].object)].box.contains(
          {rec.texts[i].x + 1, rec.texts[i].y + 1}));
    }
    EXPECT_FALSE(rec.images.empty());                              // the header's picture
    EXPECT_FALSE(rec.shapes.empty());                              // frames and rules
    EXPECT_EQ(report.EMFPages.Entry(page).ObjectPage(), nullptr);  // released again
  }
}

// A listing over pages becomes one table: the columns of its records, the
// column titles once, the repeated page headers and footers left out unless
// asked for.
TEST_F(ExportTest, AListingBecomesOneTableWithoutRepeatedPageBands) {
  tools::buildListing(report, {3, 11, false});
  const std::vector<GridRow> rows = table(false);
  EXPECT_EQ(columns, 5);
  int titles = 0, records = 0;
  for (const GridRow& r : rows) {
    if (!r.cells.empty() && r.cells[0].text == QString::fromUtf8("Código")) ++titles;
    if (r.cells.size() == 5 && r.cells[3].value.kind == Kind::Number) {
      ++records;
      EXPECT_EQ(r.cells[0].col, 0);
      EXPECT_EQ(r.cells[4].col, 4);
      EXPECT_EQ(r.cells[0].value.kind, Kind::Text);  // codes keep their zeros
      EXPECT_EQ(r.cells[4].value.kind, Kind::Number);
      EXPECT_EQ(r.cells[4].style.align, 1);  // right
    }
  }
  EXPECT_EQ(titles, 1);
  EXPECT_GT(records, 60);
  EXPECT_EQ(rows.front().page, 0);

  const std::vector<GridRow> kept = table(true);
  titles = 0;
  for (const GridRow& r : kept)
    if (!r.cells.empty() && r.cells[0].text == QString::fromUtf8("Código")) ++titles;
  EXPECT_EQ(titles, 3);
  EXPECT_GT(kept.size(), rows.size());
}

TEST_F(ExportTest, CsvQuotesAsRfc4180AndTakesADecimalCommaWithSemicolons) {
  tools::addTextPage(report, {"a \"quoted\", text", "1.234,5", "plain"});
  const QByteArray comma = run(ExportFormat::Csv);
  EXPECT_EQ(comma, "\"a \"\"quoted\"\", text\"\r\n1234.5\r\nplain\r\n");
  ExportOptions semi;
  semi.separator = ';';
  EXPECT_EQ(run(ExportFormat::Csv, semi), "\"a \"\"quoted\"\", text\"\r\n1234,5\r\nplain\r\n");
}

TEST_F(ExportTest, TextKeepsLinesAndPutsFormFeedsBetweenPages) {
  tools::addTextPage(report, {"primeira linha", "segunda"});
  tools::addTextPage(report, {"outra p\xE1gina"});
  const QString text = QString::fromUtf8(run(ExportFormat::Text));
  EXPECT_EQ(text.count('\f'), 1);
  const QStringList pages = text.split('\f');
  EXPECT_EQ(pages[0].trimmed().split('\n').size(), 2);
  EXPECT_TRUE(pages[0].contains("primeira linha"));
  EXPECT_TRUE(pages[1].contains(QString::fromUtf8("outra página")));
}

TEST_F(ExportTest, HtmlIsOneFileWithEscapedRealText) {
  tools::buildListing(report, {2, 3, true});
  tools::addTextPage(report, {"<b>&amp; nada de marca\xE7\xE3o</b>"});
  const QString html = QString::fromUtf8(run(ExportFormat::Html));
  EXPECT_EQ(html.count("class=\"page\""), 3);
  EXPECT_TRUE(html.contains(QString::fromUtf8("&lt;b&gt;&amp;amp; nada de marcação&lt;/b&gt;")));
  EXPECT_FALSE(html.contains("http"));
  EXPECT_TRUE(html.contains("href=\"data:image/png;base64,"));
  EXPECT_TRUE(html.contains("font-family=\"'Liberation Sans',sans-serif\""));
}

// Rich text and charts draw their texts like any view: the exports take them.
TEST_F(ExportTest, RichTextAndChartTextsAreExported) {
  PageSetup setup;
  setup.paper = {9, 2100, 2970, 0, -1};
  setup.useMargins = true;
  sharedPrinter().SetPaper(9, 2100, 2970, 0, -1, true);
  sharedPrinter().FillPrinterInfo(setup.info);
  TfrEMFPages& pages = report.EMFPages;
  pages.AddPage(setup);
  MemoryStream& s = pages.Entry(0).Objects();
  s.seek(s.size());
  TfrRichView rich;
  rich.Left = 20, rich.Top = 30, rich.Width = 400, rich.Height = 60;
  rich.RichContent =
      rtf::read("{\\rtf1{\\fonttbl{\\f0\\fcharset0 Arial;}}\\f0\\fs20 Texto {\\b negrito} rico}");
  rich.WriteObject(s);
  TfrChartView chart;
  chart.Left = 20, chart.Top = 120, chart.Width = 400, chart.Height = 250;
  chart.Memo = {"Norte;Sul;", "10;20;"};
  chart.ExpandedText = chart.Memo;
  chart.WriteObject(s);
  for (ExportFormat f : {ExportFormat::Text, ExportFormat::Csv, ExportFormat::Html}) {
    const QString out = QString::fromUtf8(run(f));
    for (const char* word : {"Texto", "negrito", "rico", "Norte", "Sul"})
      EXPECT_TRUE(out.contains(word)) << word << " in " << exportSuffix(f);
  }
}

// Stopping keeps nothing going; each format stops after the page it was on.
TEST_F(ExportTest, ProgressCanStopEveryFormat) {
  tools::buildListing(report, {4, 2, false});
  for (ExportFormat f :
       {ExportFormat::Xlsx, ExportFormat::Csv, ExportFormat::Html, ExportFormat::Text}) {
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    int calls = 0, total = 0;
    EXPECT_FALSE(exportPages(report.EMFPages, all(), f, {}, buf, [&](int done, int t) {
      ++calls;
      total = t;
      return done < 2;
    }));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(total, f == ExportFormat::Xlsx || f == ExportFormat::Csv ? 8 : 4);
  }
}

TEST_F(ExportTest, FrptoolExportChecksItsCommandLine) {
  QTemporaryDir dir;
  tools::buildListing(report, {2, 8, false});
  const QString frp = dir.filePath("r.frp");
  report.SavePreparedReport(frp.toStdString());
  const QString csv = dir.filePath("r.csv");
  ToolRun r = runFrptool({"export", frp, "-o", csv, "--pages", "2", "--separator", ";"});
  ASSERT_EQ(r.code, 0) << r.err;
  QFile f(csv);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(f.readAll().contains(";"));
  for (const QStringList& wrong :
       {QStringList{"export", frp, "-o", dir.filePath("r.pdf")},
        QStringList{"export", frp, "-o", dir.filePath("r.xlsx"), "--separator", ";"},
        QStringList{"export", frp, "-o", dir.filePath("r.csv"), "--separator", "\""},
        QStringList{"export", frp, "-o", dir.filePath("r.txt"), "--sheet-per-page"},
        QStringList{"export", frp, "-o", dir.filePath("r.html"), "--keep-page-bands"},
        QStringList{"export", frp, "-o", dir.filePath("r.csv"), "--pages", "9"},
        QStringList{"export", frp}}) {
    r = runFrptool(wrong);
    EXPECT_EQ(r.code, 64) << wrong.join(' ').toStdString() << ": " << r.err;
  }
  r = runFrptool({"export", dir.filePath("none.frp"), "-o", dir.filePath("n.csv")});
  EXPECT_EQ(r.code, 2);
  EXPECT_FALSE(QFile::exists(dir.filePath("n.csv")));
}

TEST(ExportFormatTest, TheSuffixNamesTheFormat) {
  EXPECT_EQ(exportFormatForPath("a/b.XLSX"), ExportFormat::Xlsx);
  EXPECT_EQ(exportFormatForPath("b.htm"), ExportFormat::Html);
  EXPECT_EQ(exportFormatForPath("b.txt"), ExportFormat::Text);
  EXPECT_EQ(exportFormatForPath("b.csv"), ExportFormat::Csv);
  EXPECT_FALSE(exportFormatForPath("b.pdf"));
  EXPECT_FALSE(exportFormatForPath("b"));
}

}  // namespace
}  // namespace orv
