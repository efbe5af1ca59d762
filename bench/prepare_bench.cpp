// Prepares a master-detail report over SQLite with the band engine: 10,000
// orders (master) with 100,000 items (detail), grouped by region and city
// with counts and texts in the group footers, page header and footer with
// the page number. Prints the figures as one JSON line for
// bench/prepare_peer.sh, which runs ReportLab on the same rows.
//
//   prepare_bench DB.sqlite [--orders N] [--items-per-order K] [--out OUT.frp]
//
// The database is created when the file does not exist yet.
#include <sys/resource.h>

#include <QFile>
#include <QGuiApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "engine/data_connection.h"
#include "engine/dataset.h"
#include "engine/tfr_report.h"
#include "master_detail_sql.h"
#include "prepared/compressor.h"
#include "printing/tfr_printer.h"
#include "template_builder.h"

using namespace orv;

namespace {

void fail(const std::string& what) {
  std::fprintf(stderr, "prepare_bench: %s\n", what.c_str());
  std::exit(1);
}

void createDatabase(const QString& path, int orders, int perOrder) {
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "bench-writer");
    db.setDatabaseName(path);
    if (!db.open()) fail("cannot create " + path.toStdString());
    QSqlQuery q(db);
    q.exec("CREATE TABLE orders (id INTEGER PRIMARY KEY, customer TEXT, region TEXT, city TEXT)");
    q.exec(
        "CREATE TABLE items (order_id INTEGER, line INTEGER, product TEXT, qty INTEGER, "
        "price REAL)");
    static const char* regions[] = {"Nordeste", "Norte", "Sudeste", "Sul"};
    static const char* cities[] = {"Capital", "Interior", "Litoral", "Serra", "Vale"};
    db.transaction();
    q.prepare("INSERT INTO orders VALUES (?, ?, ?, ?)");
    for (int i = 1; i <= orders; ++i) {
      q.addBindValue(i);
      q.addBindValue(QString("Cliente %1").arg(i * 7919 % 5000));
      q.addBindValue(regions[i * 31 % 4]);
      q.addBindValue(QString("%1 %2").arg(cities[i * 17 % 5]).arg(i * 13 % 7));
      if (!q.exec()) fail(q.lastError().text().toStdString());
    }
    q.prepare("INSERT INTO items VALUES (?, ?, ?, ?, ?)");
    for (int i = 1; i <= orders; ++i)
      for (int l = 1; l <= perOrder; ++l) {
        q.addBindValue(i);
        q.addBindValue(l);
        q.addBindValue(QString("Produto %1").arg((i * 101 + l * 37) % 2000));
        q.addBindValue(1 + (i + l) % 9);
        q.addBindValue(((i * 389 + l * 71) % 100000) / 100.0);
        if (!q.exec()) fail(q.lastError().text().toStdString());
      }
    db.commit();
  }
  QSqlDatabase::removeDatabase("bench-writer");
}

// Counts and totals are the engine's own aggregates.
const std::string kOrdersSql = std::string("Orders=") + kOrdersSelect;
const std::string kItemsSql = std::string("AllItems=") + kItemsSelect;

void buildTemplate(TfrReport& report) {
  using namespace tools;
  report.ClearTemplate();
  TfrPage& p = report.Pages.Add();
  p.ChangePaper(9, 2100, 2970, poPortrait, -1);
  p.UseMargins = true;
  p.Margins = {20, 30, 20, 40};
  const int w = 700;
  placeBand(p, "PageHeader", btPageHeader, 0, 24, w).Flags = bfOnFirstPage;
  placeMemo(p, "HeaderText", 0, 2, 500, 18, {"Pedidos por regi\xE3o e cidade - p\xE1gina [PAGE#]"});
  placeBand(p, "RegionHeader", btGroupHeader, 40, 22, w, "[Orders.\"REGION\"]");
  placeMemo(p, "RegionTitle", 0, 42, 500, 18, {"Regi\xE3o [REGION]"});
  placeBand(p, "CityHeader", btGroupHeader, 70, 20, w, "[Orders.\"CITY\"]");
  placeMemo(p, "CityTitle", 10, 72, 500, 16, {"Cidade [CITY]"});
  placeBand(p, "Order", btMasterData, 100, 18, w, "Orders");
  placeMemo(p, "OrderId", 20, 101, 80, 16, {"Pedido [ID]"});
  placeMemo(p, "OrderCustomer", 110, 101, 300, 16, {"[CUSTOMER]"});
  placeBand(p, "Item", btDetailData, 130, 16, w, "Items");
  placeMemo(p, "ItemLine", 40, 130, 40, 14, {"[LINE]"});
  placeMemo(p, "ItemProduct", 90, 130, 250, 14, {"[PRODUCT]"});
  placeMemo(p, "ItemQty", 350, 130, 60, 14, {"[QTY]"});
  placeMemo(p, "ItemPrice", 420, 130, 100, 14, {"[PRICE]"});
  placeBand(p, "CityFooter", btGroupFooter, 160, 20, w);
  placeMemo(p, "CityEnd", 10, 162, 600, 16,
            {"Fim de [CITY]: [COUNT(Order)] pedidos, [FORMATFLOAT('0.00', SUM([QTY] * [PRICE], "
             "Item))] em itens, \xFAltimo [ID]"});
  placeBand(p, "RegionFooter", btGroupFooter, 190, 22, w);
  placeMemo(p, "RegionEnd", 0, 192, 600, 18,
            {"Regi\xE3o [REGION]: [COUNT(Order)] pedidos, [FORMATFLOAT('0.00', SUM([QTY] * "
             "[PRICE], Item))] em itens"});
  placeBand(p, "PageFooter", btPageFooter, 1000, 24, w).Flags = bfOnFirstPage | bfOnLastPage;
  placeMemo(p, "FooterText", 0, 1002, 300, 18, {"P\xE1gina [PAGE#]"});
}

// CPU time of the whole process (user and system), steadier than the wall
// clock on a shared machine.
double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

long peakRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc < 2) fail("usage: prepare_bench DB.sqlite [--orders N] [--items-per-order K] [--out F]");
  const QString dbPath = argv[1];
  int orders = 10000, perOrder = 10;
  std::string out;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--orders")) orders = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--items-per-order")) perOrder = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--out")) out = argv[i + 1];
  }
  if (!QFile::exists(dbPath)) createDatabase(dbPath, orders, perOrder);
  TfrPrinter::startUp(nullptr);
  TfrLZWCompressor compressor;
  compressor.setEnabled(true);  // the saved report packed, as the reader writes it
  const long rssBefore = peakRssKb();

  const auto start = std::chrono::steady_clock::now();
  const double cpuStart = cpuSeconds();
  size_t pages = 0, storeBytes = 0;
  QSqlDatabase db = openDatabaseUrl("sqlite:" + dbPath.toStdString());
  {
    TfrReport report;
    report.ShowProgress = false;
    buildTemplate(report);
    TfrDBDataSet& master = addDatasetDefinition(report.Components, kOrdersSql, &db);
    TfrDBDataSet& all = addDatasetDefinition(report.Components, kItemsSql, &db);
    all.Init();
    all.First();
    DbDataSet& rows = all.GetDataSet();
    DbDataSet& masterRows = master.GetDataSet();
    const int fOrder = rows.FieldIndex("ORDER_ID");
    const int fLine = rows.FieldIndex("LINE"), fProduct = rows.FieldIndex("PRODUCT");
    const int fQty = rows.FieldIndex("QTY"), fPrice = rows.FieldIndex("PRICE");
    // The detail set follows the master through the items cursor: it ends
    // where the items of the next order begin.
    auto items = std::make_unique<TfrUserDataset>("Items");
    items->OnNext = [&](TfrDataset&) { all.Next(); };
    items->OnCheckEOF = [&](TfrDataset&, bool& eof) {
      eof = all.Eof() || !(rows.FieldValue(fOrder) == masterRows.FieldValue(0));
    };
    report.Components.add(std::move(items));
    report.OnGetValue = [&](const std::string& name, Variant& v) {
      if (name.size() > 7 || all.Eof()) return;
      if (name == "LINE")
        v = rows.FieldValue(fLine);
      else if (name == "PRODUCT")
        v = rows.FieldValue(fProduct);
      else if (name == "QTY")
        v = rows.FieldValue(fQty);
      else if (name == "PRICE")
        v = rows.FieldValue(fPrice);
    };
    if (!report.PrepareReport()) fail("the report failed: " + report.LastError);
    if (!out.empty()) report.SavePreparedReport(out);
    pages = size_t(report.EMFPages.Count());
    for (int i = 0; i < report.EMFPages.Count(); ++i)
      storeBytes += report.EMFPages.Entry(i).ObjectsSize();
    all.Exit();
  }
  closeDatabase(db);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = cpuSeconds() - cpuStart;
  std::printf(
      "{\"pages\": %zu, \"seconds\": %.3f, \"cpu_seconds\": %.3f, \"pages_per_second\": %.1f, "
      "\"store_MB\": %.1f, \"rss_before_MB\": %.1f, \"peak_rss_MB\": %.1f}\n",
      pages, seconds, cpu, pages / seconds, storeBytes / 1048576.0, rssBefore / 1024.0,
      peakRssKb() / 1024.0);
  return 0;
}
