// Reading a 100,000-row SQLite table through the report's data set against
// reading it with a bare forward-only QSqlQuery, in the same run. Both turn
// every field into a value a program can use: ours into the report's values
// (8-bit text, day-count dates), the peer into native Qt values (UTF-8 bytes,
// QDate). Counters:
//   rows_per_s       our rows per second of thread CPU time
//   vs_qsqlquery     our time / the bare query's time (below 1.0: faster)
//
// With ORV_ORDERS_DB naming the database prepare_bench made, it also reads
// that report's own rows (its two queries, sorted as the report sorts them)
// both ways, so that the report run can be set against a bare read of exactly
// the rows it reads: the counters bare_s and ours_s are seconds per read.
#include <benchmark/benchmark.h>
#include <time.h>

#include <QCoreApplication>
#include <QDir>
#include <QSqlQuery>
#include <QSqlRecord>

#include "engine/data_components.h"
#include "engine/data_connection.h"
#include "master_detail_sql.h"

namespace {

using namespace orv;

constexpr int kRows = 100000;

double cpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

const std::string& databasePath() {
  static const std::string path = [] {
    const std::string p = QDir::temp().filePath("orv-dataset-bench.db").toStdString();
    QFile::remove(QString::fromStdString(p));
    {
      QSqlDatabase w = QSqlDatabase::addDatabase("QSQLITE", "bench-writer");
      w.setDatabaseName(QString::fromStdString(p));
      w.open();
      QSqlQuery q(w);
      q.exec(
          "CREATE TABLE detail (id INTEGER, customer VARCHAR(40), amount NUMERIC(12,2), "
          "day DATE, grp INTEGER)");
      w.transaction();
      q.prepare("INSERT INTO detail VALUES (?, ?, ?, ?, ?)");
      for (int i = 0; i < kRows; ++i) {
        q.addBindValue(i);
        q.addBindValue(QString::fromUtf8("Cliente n\u00ba %1").arg(i % 997));
        q.addBindValue((i * 37 % 100000) / 100.0);
        q.addBindValue(QDate(2020, 1, 1).addDays(i % 2000).toString(Qt::ISODate));
        q.addBindValue(i / 1000);
        q.exec();
      }
      w.commit();
    }
    QSqlDatabase::removeDatabase("bench-writer");
    return p;
  }();
  return path;
}

const char* kSql = "SELECT id, customer, amount, day, grp FROM detail ORDER BY id";

double readWithDataSet(QSqlDatabase& db, const char* sql = kSql) {
  TfrDataComponents components;
  TfrDBDataSet& ds = addDatasetDefinition(components, std::string("Detail=") + sql, &db);
  const double t0 = cpuSeconds();
  ds.Init();
  DbDataSet& rows = ds.GetDataSet();
  const int fields = int(rows.Fields().size());
  for (ds.First(); !ds.Eof(); ds.Next())
    for (int f = 0; f < fields; ++f) benchmark::DoNotOptimize(rows.FieldValue(f));
  ds.Exit();
  return cpuSeconds() - t0;
}

double readWithQuery(QSqlDatabase& db) {
  const double t0 = cpuSeconds();
  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.exec(kSql);
  while (q.next()) {
    benchmark::DoNotOptimize(q.value(0).toLongLong());
    benchmark::DoNotOptimize(q.value(1).toString().toUtf8());
    benchmark::DoNotOptimize(q.value(2).toDouble());
    benchmark::DoNotOptimize(QDate::fromString(q.value(3).toString(), Qt::ISODate));
    benchmark::DoNotOptimize(q.value(4).toLongLong());
  }
  return cpuSeconds() - t0;
}

void BM_SqliteDataSet(benchmark::State& state) {
  QSqlDatabase db = openDatabaseUrl("sqlite:" + databasePath());
  double ours = 0, peer = 0;
  for (auto _ : state) {
    // Alternated, so both see the same machine.
    peer += readWithQuery(db);
    ours += readWithDataSet(db);
  }
  state.counters["rows_per_s"] = kRows * double(state.iterations()) / ours;
  state.counters["vs_qsqlquery"] = ours / peer;
  closeDatabase(db);
}
BENCHMARK(BM_SqliteDataSet)->Unit(benchmark::kMillisecond)->Iterations(5);

// The master-detail report's rows: 4 columns of the orders (a number and
// three texts), 5 of the items (three numbers, a text, a float).
double readReportRowsBare(QSqlDatabase& db) {
  const double t0 = cpuSeconds();
  for (const char* sql : {kOrdersSelect, kItemsSelect}) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.exec(sql);
    const int columns = q.record().count();
    while (q.next())
      for (int c = 0; c < columns; ++c) {
        const QVariant v = q.value(c);
        if (v.typeId() == QMetaType::QString)
          benchmark::DoNotOptimize(v.toString().toUtf8());
        else
          benchmark::DoNotOptimize(v.toDouble());
      }
  }
  return cpuSeconds() - t0;
}

double readReportRowsWithDataSets(QSqlDatabase& db) {
  return readWithDataSet(db, kOrdersSelect) + readWithDataSet(db, kItemsSelect);
}

void BM_MasterDetailRows(benchmark::State& state) {
  const QByteArray path = qgetenv("ORV_ORDERS_DB");
  if (path.isEmpty()) {
    state.SkipWithError("ORV_ORDERS_DB names no database");
    return;
  }
  QSqlDatabase db = openDatabaseUrl("sqlite:" + path.toStdString());
  double ours = 0, bare = 0;
  for (auto _ : state) {
    bare += readReportRowsBare(db);
    ours += readReportRowsWithDataSets(db);
  }
  state.counters["bare_s"] = bare / double(state.iterations());
  state.counters["ours_s"] = ours / double(state.iterations());
  closeDatabase(db);
}
BENCHMARK(BM_MasterDetailRows)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
