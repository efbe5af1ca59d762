// frptool prepare: templates from the writer and written byte by byte run
// through the engine; data from CSV files and SQLite; failures; PDF output.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "band_templates.h"
#include "engine/template_test_util.h"
#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "prepared/compressor.h"
#include "printing/tfr_printer.h"
#include "template_builder.h"
#include "tool_run.h"

namespace orv {
namespace {

using templatetest::Bytes;

// One object of a prepared page.
struct Placed {
  std::string name;
  int32_t left, top, width, height;
  std::string text;
  bool operator==(const Placed&) const = default;
};
using Pages = std::vector<std::vector<Placed>>;

std::ostream& operator<<(std::ostream& o, const Placed& p) {
  return o << p.name << " (" << p.left << ", " << p.top << ") " << p.width << "x" << p.height
           << " \"" << p.text << "\"";
}

Pages pagesOf(TfrReport& report) {
  Pages out;
  for (int i = 0; i < report.EMFPages.Count(); ++i) {
    report.EMFPages.BuildObjects(i);
    std::vector<Placed> page;
    for (auto& v : report.EMFPages.Entry(i).ObjectPage()->Objects) {
      std::string text;
      for (size_t l = 0; l < v->Memo.size(); ++l) text += (l ? "|" : "") + v->Memo[l];
      page.push_back({v->Name, v->Left, v->Top, v->Width, v->Height, text});
    }
    out.push_back(std::move(page));
  }
  return out;
}

// Each object where `want` has it; a wanted text is the start of the
// written one (a text may end in a paragraph mark).
void expectPlaced(const std::vector<Placed>& got, const std::vector<Placed>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].name, want[i].name) << i;
    EXPECT_EQ(got[i].left, want[i].left) << i;
    EXPECT_EQ(got[i].top, want[i].top) << i;
    EXPECT_EQ(got[i].text.substr(0, want[i].text.size()), want[i].text) << i;
  }
}

// The texts of the orders listing's rows, in the order the CSV and the
// database give them: ordered by city, then id.
struct Order {
  int id;
  std::string customer, city;
  double amount;
};
std::vector<Order> orders() {
  static const char* cities[] = {"Natal", "Recife", "Salvador"};
  std::vector<Order> out;
  for (int i = 1; i <= 150; ++i)
    out.push_back({i, "Cliente " + std::to_string(i % 17), cities[(i * 7) % 3], i * 3.25});
  std::stable_sort(out.begin(), out.end(),
                   [](const Order& a, const Order& b) { return a.city < b.city; });
  return out;
}
int cityCount(const std::string& city) {
  int n = 0;
  for (const Order& o : orders()) n += o.city == city;
  return n;
}

class PrepareCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    TfrPrinter::startUp(nullptr);
  }
  std::string path(const char* name) { return dir.filePath(name).toStdString(); }
  QString qpath(const char* name) { return dir.filePath(name); }
  // Reads a prepared report that frptool wrote.
  Pages load(const char* name) {
    TfrReport r;
    r.LoadPreparedReport(path(name));
    return pagesOf(r);
  }
  void writeCsv(const char* name) {
    QFile f(qpath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("ID,CUSTOMER,CITY,AMOUNT,CITY_COUNT\n");
    for (const Order& o : orders())
      f.write(QString("%1,%2,%3,%4,%5\n")
                  .arg(o.id)
                  .arg(QString::fromStdString(o.customer), QString::fromStdString(o.city))
                  .arg(o.amount, 0, 'f', 2)
                  .arg(cityCount(o.city))
                  .toUtf8());
  }
  void writeSqlite(const char* name) {
    {
      QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "prepare-cli-writer");
      db.setDatabaseName(qpath(name));
      ASSERT_TRUE(db.open());
      QSqlQuery q(db);
      ASSERT_TRUE(
          q.exec("CREATE TABLE orders (id INTEGER, customer TEXT, city TEXT, "
                 "amount NUMERIC(10,2))"));
      db.transaction();
      q.prepare("INSERT INTO orders VALUES (?, ?, ?, ?)");
      for (const Order& o : orders()) {
        q.addBindValue(o.id);
        q.addBindValue(QString::fromStdString(o.customer));
        q.addBindValue(QString::fromStdString(o.city));
        q.addBindValue(o.amount);
        ASSERT_TRUE(q.exec());
      }
      db.commit();
    }
    QSqlDatabase::removeDatabase("prepare-cli-writer");
  }

  QTemporaryDir dir;
  TfrLZWCompressor compressor;
};

// The same template run in this process and through frptool gives the same
// pages, object for object.
TEST_F(PrepareCli, AWriterTemplateGivesThePagesOfAnInProcessRun) {
  for (auto kind : {tools::BandTemplate::PageBands, tools::BandTemplate::SplitText,
                    tools::BandTemplate::FiveRecords}) {
    SCOPED_TRACE(int(kind));
    TfrReport report;
    report.ShowProgress = false;
    tools::buildBandTemplate(report, kind);
    report.SaveToFile(path("t.frf"));
    ASSERT_TRUE(report.PrepareReport()) << report.LastError;
    const Pages want = pagesOf(report);
    ASSERT_FALSE(want.empty());

    QFile::remove(qpath("out.frp"));
    const ToolRun r = runFrptool({"prepare", qpath("t.frf"), "-o", qpath("out.frp")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(load("out.frp"), want);
  }
}

// A template that bends the flow (a title with a child band and a new page
// after it, a page header kept off the first page, a footer for the last
// page, two columns, a band script asking for a new column and setting the
// current Y) goes through the file and frptool to the same pages.
TEST_F(PrepareCli, ATemplateThatBendsTheFlowGivesThePagesOfAnInProcessRun) {
  TfrReport report;
  report.ShowProgress = false;
  TfrPage& page = report.Pages.Add();
  page.ChangePaper(9, 2100, 2970, poPortrait, -1);
  page.UseMargins = true;
  page.Margins = {20, 30, 20, 40};
  page.Columns = 2;
  page.ColumnGap = 20;
  auto& title = tools::placeBand(page, "Titulo", btReportTitle, 0, 30, 700);
  title.Flags = bfFormNewPage;
  title.ChildBand = "SobTitulo";
  tools::placeMemo(page, "TextoTitulo", 0, 5, 300, 18, {"Capa"});
  tools::placeBand(page, "SobTitulo", btChild, 400, 20, 700);
  tools::placeMemo(page, "TextoSob", 0, 401, 300, 18, {"sob a capa"});
  tools::placeBand(page, "Cabecalho", btPageHeader, 40, 20, 700).Flags = 0;
  tools::placeMemo(page, "TextoCabecalho", 0, 41, 300, 18, {"P\xE1gina [PAGE#]"});
  auto& data = tools::placeBand(page, "Dados", btMasterData, 80, 25, 700, "40");
  data.Memo = {"if [LINE#] = 5 then NewColumn; if [LINE#] = 9 then CurY := 600"};
  tools::placeMemo(page, "Linha", 5, 81, 200, 18, {"[LINE#] [LINETHROUGH#]"});
  tools::placeBand(page, "Rodape", btPageFooter, 500, 30, 700).Flags = bfOnLastPage;
  tools::placeMemo(page, "TextoRodape", 0, 505, 300, 18, {"fim da p\xE1gina [PAGE#]"});
  report.SaveToFile(path("fluxo.frf"));
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  const Pages want = pagesOf(report);
  ASSERT_GE(want.size(), 2u);

  const ToolRun r = runFrptool({"prepare", qpath("fluxo.frf"), "-o", qpath("fluxo.frp")});
  ASSERT_EQ(r.code, 0) << r.err;
  const Pages got = load("fluxo.frp");
  EXPECT_EQ(got, want);
  // The title alone on the first page, its child below it; the second page
  // opens with its header and record 5 starts the second column at the top.
  ASSERT_EQ(got[0].size(), 2u);
  EXPECT_EQ(got[0][1], (Placed{"TextoSob", 0, 30 + 30 + 1, 300, 18, "sob a capa"}));
  ASSERT_FALSE(got[1].empty());
  EXPECT_EQ(got[1][0].name, "TextoCabecalho");
  EXPECT_EQ(got[1][0].top, 30 + 1);
  bool fifth = false;
  for (const Placed& p : got[1])
    if (p.name == "Linha" && p.text.rfind("5 5", 0) == 0) {
      fifth = true;
      EXPECT_GT(p.left, 5);
      EXPECT_EQ(p.top, 30 + 20 + 1);
    }
  EXPECT_TRUE(fifth);
}

// A template written field by field: a title and a data band "3" on an A4
// page with margins (20, 30, 20, 40).
Bytes handWrittenTemplate() {
  Bytes b;
  b.u8(25).i16(0).i16(0).str("\x01");
  b.u8(255).i32(-1).i32(9).i32(2100).i32(2970).i32(20).i32(30).i32(20).i32(40).u8(0);
  b.i32(-1).i16(0).i16(-1).i32(0).i32(0);
  b.u8(0).str("Capa").u8(3).str("Form").i32(int32_t(0x8000000F));
  b.i32(220).i32(120).i32(380).i32(300).u8(4).emptyList();
  auto common = [&b](std::string_view name, uint8_t minor, int x, int y, int w, int h,
                     uint16_t flags, uint16_t frameTyp, int32_t format, std::string_view formatStr,
                     std::string_view text) {
    b.str(name).u8(2).u8(minor).i32(x).i32(y).i32(w).i32(h).i16(int16_t(flags));
    b.i16(int16_t(frameTyp)).i32(1).i32(0).i16(0).i32(int32_t(0x1FFFFFFF));
    b.i32(format).str(formatStr);
    if (text.empty())
      b.emptyList();
    else
      b.i16(1).i16(int16_t(text.size())).raw(text).u8(0);
    b.emptyList().i16(-1).i16(0).str("").i32(2).i32(1).u8(0);
  };
  auto object = [&b](uint8_t type, auto&& record) {
    b.u8(type).u8(0);
    const size_t endAt = b.size();
    b.i32(0);
    record();
    b.patch32(endAt, int32_t(b.size()));
  };
  auto band = [&](std::string_view name, uint16_t type, int y, int h, std::string_view source) {
    object(2, [&] {
      common(name, 1, 0, y, 700, h, 0x30, type, 0, source, "");
      b.str("").i32(1).i32(200).i32(20).i32(1).str("");
    });
  };
  auto memo = [&](std::string_view name, int x, int y, std::string_view text) {
    object(0, [&] {
      common(name, 0, x, y, 300, 18, 0x3, 0, 2 * 256 + ',', "", text);
      b.str("Arial").i32(10).i16(0).i32(0).i32(0).i16(1);
      b.i16(2).i32(0).i32(0xFFFFFF).str("").i32(2).i32(0);
    });
  };
  band("Titulo", 0, 10, 40, "");
  memo("TextoTitulo", 20, 15, "Capa da p\xE1gina [PAGE#]");
  band("Dados", 5, 60, 20, "3");
  memo("Linha", 40, 61, "Linha [LINE#]");
  b.u8(254).i16(-2).i32(0).i32(0).i32(0);
  b.u8(252);
  for (int i = 0; i < 7; ++i) b.shortStr("");
  b.shortStr("").u8(88).u8(0).f64(46000.5).f64(46000.5);
  return b;
}

TEST_F(PrepareCli, AHandWrittenTemplatePlacesItsBandsAtTheirPositions) {
  const Bytes b = handWrittenTemplate();
  QFile f(qpath("mao.frf"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(reinterpret_cast<const char*>(b.b.data()), qsizetype(b.size()));
  f.close();
  const ToolRun r = runFrptool({"prepare", qpath("mao.frf"), "-o", qpath("mao.frp")});
  ASSERT_EQ(r.code, 0) << r.err;
  const Pages pages = load("mao.frp");
  ASSERT_EQ(pages.size(), 1u);
  // The content starts at the top margin; each object keeps its offset in
  // its band, and the data band repeats below the title.
  const std::vector<Placed> want = {{"TextoTitulo", 20, 30 + 5, 300, 18, "Capa da p\xE1gina 1"},
                                    {"Linha", 40, 30 + 40 + 1, 300, 18, "Linha 1"},
                                    {"Linha", 40, 30 + 60 + 1, 300, 18, "Linha 2"},
                                    {"Linha", 40, 30 + 80 + 1, 300, 18, "Linha 3"}};
  expectPlaced(pages[0], want);
}

// The orders listing over a CSV file and over the same rows in SQLite.
TEST_F(PrepareCli, CsvAndSqliteDataSetsGiveTheSameListing) {
  TfrReport report;
  tools::buildOrdersListing(report);
  report.SaveToFile(path("pedidos.frf"));
  writeCsv("pedidos.csv");
  writeSqlite("pedidos.db");

  const ToolRun csv = runFrptool({"prepare", qpath("pedidos.frf"), "-o", qpath("csv.frp"),
                                  "--dataset", "Orders=csv:" + qpath("pedidos.csv")});
  ASSERT_EQ(csv.code, 0) << csv.err;
  const ToolRun db = runFrptool(
      {"prepare", qpath("pedidos.frf"), "-o", qpath("db.frp"), "--db",
       "sqlite:" + qpath("pedidos.db"), "--dataset",
       "Orders=SELECT id AS ID, customer AS CUSTOMER, o.city AS CITY, printf('%.2f', amount) AS "
       "AMOUNT, (SELECT COUNT(*) FROM orders c WHERE c.city = o.city) AS CITY_COUNT FROM orders o "
       "ORDER BY o.city, rowid"});
  ASSERT_EQ(db.code, 0) << db.err;
  const Pages fromCsv = load("csv.frp");
  const Pages fromDb = load("db.frp");
  ASSERT_GT(fromCsv.size(), 1u);
  EXPECT_EQ(fromDb, fromCsv);

  // Every order once, each city opened by its header and closed by a footer
  // that still sees the city's last order.
  std::vector<std::string> texts;
  for (const auto& page : fromCsv)
    for (const Placed& p : page)
      if (p.name == "CityTitle" || p.name == "CityEnd" || p.name == "OrderId")
        texts.push_back(p.text);
  std::vector<std::string> want;
  const std::vector<Order> all = orders();
  for (size_t i = 0; i < all.size(); ++i) {
    if (i == 0 || all[i - 1].city != all[i].city)
      want.push_back("Cidade: " + all[i].city + " (" + std::to_string(cityCount(all[i].city)) +
                     " pedidos)");
    want.push_back(std::to_string(all[i].id));
    if (i + 1 == all.size() || all[i + 1].city != all[i].city)
      want.push_back("Fim de " + all[i].city + ": \xFAltimo pedido " + std::to_string(all[i].id));
  }
  EXPECT_EQ(texts, want);
  for (size_t i = 0; i < fromCsv.size(); ++i) {
    ASSERT_FALSE(fromCsv[i].empty());
    EXPECT_EQ(fromCsv[i].front().text, "Pedidos por cidade - p\xE1gina " + std::to_string(i + 1));
    EXPECT_EQ(fromCsv[i].back().text, "P\xE1gina " + std::to_string(i + 1));
  }
}

// Inside the master level a group condition names the master data set's
// fields plainly, as the band's own texts do.
TEST_F(PrepareCli, AGroupConditionReachesThePlainFieldNamesOfTheMasterDataSet) {
  TfrReport report;
  tools::buildOrdersListing(report);
  report.Pages.Page(0).FindObject("CityHeader")->FormatStr = "[CITY]";
  report.SaveToFile(path("pedidos.frf"));
  writeCsv("pedidos.csv");
  const ToolRun r = runFrptool({"prepare", qpath("pedidos.frf"), "-o", qpath("g.frp"), "--dataset",
                                "Orders=csv:" + qpath("pedidos.csv")});
  ASSERT_EQ(r.code, 0) << r.err;
  int headers = 0;
  for (const auto& page : load("g.frp"))
    for (const Placed& p : page) headers += p.name == "CityTitle";
  EXPECT_EQ(headers, 3);
}

// One letter per client: every record of the named data set runs the whole
// report again.
TEST_F(PrepareCli, EachRepeatsTheReportForEveryRecordOfTheNamedDataSet) {
  TfrReport report;
  tools::buildBandTemplate(report, tools::BandTemplate::Title);
  static_cast<TfrMemoView&>(*report.Pages.Page(0).FindObject("TitleText")).Memo = {
      "Prezado [Clients.\"NAME\"]"};
  report.SaveToFile(path("carta.frf"));
  {
    QFile csv(qpath("clientes.csv"));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("NAME\nAna\nBruno\n");
  }
  const QString clients = "Clients=csv:" + qpath("clientes.csv");
  const ToolRun r = runFrptool({"prepare", qpath("carta.frf"), "-o", qpath("cartas.frp"),
                                "--dataset", clients, "--each", "Clients"});
  ASSERT_EQ(r.code, 0) << r.err;
  const Pages pages = load("cartas.frp");
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].front().text, "Prezado Ana");
  EXPECT_EQ(pages[1].front().text, "Prezado Bruno");
  const ToolRun bad = runFrptool({"prepare", qpath("carta.frf"), "-o", qpath("x.frp"), "--dataset",
                                  clients, "--each", "Ninguem"});
  EXPECT_EQ(bad.code, 64);
  EXPECT_NE(bad.err.find("--each Ninguem"), std::string::npos) << bad.err;
}

// A cross-tab of LINE# × COLUMN#: three rows, four columns, totals per row
// and per column.
TEST_F(PrepareCli, ACrossTabTemplateGivesItsCellsAndTotals) {
  TfrReport report;
  tools::buildBandTemplate(report, tools::BandTemplate::CrossTab);
  report.SaveToFile(path("cruzada.frf"));
  const ToolRun r = runFrptool({"prepare", qpath("cruzada.frf"), "-o", qpath("cruzada.frp")});
  ASSERT_EQ(r.code, 0) << r.err;
  std::map<std::string, std::vector<std::string>> byName;
  const Pages pages = load("cruzada.frp");
  ASSERT_EQ(pages.size(), 1u);
  // Texts measured in a stretched band keep their paragraph ends.
  for (const Placed& p : pages[0]) {
    std::string text = p.text;
    std::erase(text, '\x01');
    byName[p.name].push_back(text);
  }
  std::vector<std::string> cells, rowTotals, colTotals;
  for (int line = 1; line <= 3; ++line) {
    int sum = 0;
    for (int column = 1; column <= 4; ++column) {
      cells.push_back(std::to_string(line * column));
      sum += line * column;
    }
    rowTotals.push_back(std::to_string(sum));
  }
  for (int column = 1; column <= 4; ++column) colTotals.push_back(std::to_string(6 * column));
  EXPECT_EQ(byName["Cell"], cells);
  EXPECT_EQ(byName["RowTotal"], rowTotals);
  EXPECT_EQ(byName["ColTotal"], colTotals);
  EXPECT_EQ(byName["ColTitle"].size(), 4u);
}

TEST_F(PrepareCli, AFailedRunPrintsTheEngineTextExitsTwoAndWritesNothing) {
  TfrReport report;
  tools::buildBandTemplate(report, tools::BandTemplate::Title);
  report.InfoName = "Quebrado";
  TfrPage& page = report.Pages.Page(0);
  static_cast<TfrMemoView&>(*page.FindObject("TitleText")).Memo = {"[NINGUEM]"};
  report.SaveToFile(path("ruim.frf"));
  const ToolRun r = runFrptool({"prepare", qpath("ruim.frf"), "-o", qpath("ruim.frp")});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("frptool: " + path("ruim.frf") + ": "), std::string::npos) << r.err;
  for (const char* part : {"indefinido \"NINGUEM\"", "Quebrado", "TitleText"})
    EXPECT_NE(r.err.find(part), std::string::npos) << part << "\n" << r.err;
  EXPECT_FALSE(QFile::exists(qpath("ruim.frp")));

  // A data set the database cannot give names the data set and the reason.
  tools::buildOrdersListing(report);
  report.SaveToFile(path("pedidos.frf"));
  writeSqlite("pedidos.db");
  const ToolRun bad =
      runFrptool({"prepare", qpath("pedidos.frf"), "-o", qpath("bad.frp"), "--db",
                  "sqlite:" + qpath("pedidos.db"), "--dataset", "Orders=SELECT * FROM nada"});
  EXPECT_EQ(bad.code, 2);
  EXPECT_NE(bad.err.find("Orders"), std::string::npos) << bad.err;
  EXPECT_NE(bad.err.find("no such table: nada"), std::string::npos) << bad.err;
  EXPECT_FALSE(QFile::exists(qpath("bad.frp")));
}

// A band whose data set no --dataset gives fails the run by name instead of
// writing a report without its records; given, the same template lists it.
TEST_F(PrepareCli, ADataSetNoOptionGivesFailsTheRunNamingBandAndDataSet) {
  TfrReport report;
  TfrPage& page = report.Pages.Add();
  page.ChangePaper(9, 2100, 2970, poPortrait, -1);
  page.UseMargins = true;
  page.Margins = {20, 30, 20, 40};
  tools::placeBand(page, "Titulo", btReportTitle, 0, 30, 700);
  tools::placeMemo(page, "TextoTitulo", 0, 5, 300, 18, {"Pa\xEDses"});
  tools::placeBand(page, "MasterData1", btMasterData, 40, 20, 700, "Paises");
  tools::placeMemo(page, "Nome", 10, 41, 300, 18, {"[LINE#] [UPPERCASE([Paises.\"NOME\"])]"});
  report.SaveToFile(path("paises.frf"));

  const ToolRun missing = runFrptool({"prepare", qpath("paises.frf"), "-o", qpath("p.frp")});
  EXPECT_EQ(missing.code, 2);
  for (const char* part : {"\"MasterData1\"", "\"Paises\""})
    EXPECT_NE(missing.err.find(part), std::string::npos) << part << "\n" << missing.err;
  EXPECT_FALSE(QFile::exists(qpath("p.frp")));

  {
    QFile csv(qpath("paises.csv"));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("NOME\nBrasil\n\xC3\x81ustria\nS\xC3\xA3o Tom\xC3\xA9 e Pr\xC3\xADncipe\n");
  }
  const ToolRun given = runFrptool({"prepare", qpath("paises.frf"), "-o", qpath("p.frp"),
                                    "--dataset", "Paises=csv:" + qpath("paises.csv")});
  ASSERT_EQ(given.code, 0) << given.err;
  const Pages pages = load("p.frp");
  ASSERT_EQ(pages.size(), 1u);
  const std::vector<Placed> want = {
      {"TextoTitulo", 0, 30 + 5, 300, 18, "Pa\xEDses"},
      {"Nome", 10, 30 + 30 + 1, 300, 18, "1 BRASIL"},
      {"Nome", 10, 30 + 50 + 1, 300, 18, "2 \xC1USTRIA"},
      {"Nome", 10, 30 + 70 + 1, 300, 18, "3 S\xC3O TOM\xC9 E PR\xCDNCIPE"}};
  expectPlaced(pages[0], want);
}

// The error text is in the system code page throughout, as the engine's own
// strings are; frptool turns it into UTF-8 once.
TEST_F(PrepareCli, TheErrorTextReachesTheTerminalInOneEncoding) {
  TfrReport report;
  tools::buildBandTemplate(report, tools::BandTemplate::Title);
  static_cast<TfrMemoView&>(*report.Pages.Page(0).FindObject("TitleText")).Memo = {"[NINGUEM]"};
  report.SaveToFile(path("ruim.frf"));
  const ToolRun r = runFrptool({"prepare", qpath("ruim.frf"), "-o", qpath("ruim.frp")});
  EXPECT_NE(r.err.find("Ocorreu um erro durante o c\xC3\xA1lculo"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("S\xC3\xADmbolo indefinido \"NINGUEM\""), std::string::npos) << r.err;
}

TEST_F(PrepareCli, PdfOutputHoldsThePreparedText) {
  TfrReport report;
  tools::buildBandTemplate(report, tools::BandTemplate::PageBands);
  report.SaveToFile(path("paginas.frf"));
  const ToolRun r =
      runFrptool({"prepare", qpath("paginas.frf"), "--pdf", qpath("p.pdf"), "-o", qpath("p.frp")});
  ASSERT_EQ(r.code, 0) << r.err;
  const int pages = int(load("p.frp").size());
  ASSERT_GT(pages, 1);
  QProcess text;
  text.start("pdftotext", {qpath("p.pdf"), "-"});
  if (!text.waitForFinished(30000) || text.exitStatus() != QProcess::NormalExit)
    GTEST_SKIP() << "pdftotext is not available";
  const QString out = QString::fromUtf8(text.readAllStandardOutput());
  EXPECT_EQ(out.count('\f'), pages) << "one form feed per page";
  EXPECT_TRUE(out.contains("Linha 60")) << out.toStdString();
  EXPECT_TRUE(out.contains(QString::fromUtf8("Página %1").arg(pages))) << out.toStdString();
}

}  // namespace
}  // namespace orv
