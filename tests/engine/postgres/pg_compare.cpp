// Reads the same rows from SQLite and from PostgreSQL through the report's
// data sets and checks that both give the same fields, kinds, values, blobs
// and bookmarks, and that one report template prepared over each gives the
// same pages. Run by pg_test.sh against a private server:
//   orv_pg_compare WORKDIR POSTGRESQL-URL [ANOTHER-URL-OF-THE-SAME-DATABASE]
#include <QGuiApplication>
#include <QImage>
#include <QSqlError>
#include <QSqlQuery>
#include <cstdio>
#include <string>

#include "band_templates.h"
#include "engine/data_components.h"
#include "engine/data_connection.h"
#include "engine/dataset.h"
#include "engine/tfr_report.h"
#include "model/page.h"
#include "printing/tfr_printer.h"

using namespace orv;

namespace {

constexpr int kRows = 3000;
int failures = 0;

void check(bool ok, const std::string& what) {
  if (ok) return;
  if (++failures <= 20) std::fprintf(stderr, "MISMATCH: %s\n", what.c_str());
}

void exec(QSqlQuery& q, const QString& sql) {
  if (!q.exec(sql))
    throw Error("setup failed: " + q.lastError().text().toStdString() + " in " + sql.toStdString());
}

QByteArray smallBitmap(int i) {
  QImage image(4 + i % 5, 3, QImage::Format_RGB32);
  image.fill(QColor::fromRgb(i * 37 % 256, i * 11 % 256, 200));
  const Graphic g = Graphic::fromImage(image);
  return QByteArray(reinterpret_cast<const char*>(g.bytes().data()), qsizetype(g.bytes().size()));
}

// One schema, two dialects: only the binary column's type differs.
void load(QSqlDatabase& db, bool postgres) {
  QSqlQuery q(db);
  exec(q, QStringLiteral("CREATE TABLE items (id INTEGER, name VARCHAR(40), amount NUMERIC(12,2), "
                         "price DOUBLE PRECISION, paid BOOLEAN, day DATE, stamp TIMESTAMP, "
                         "pic %1, grp INTEGER)")
              .arg(postgres ? "BYTEA" : "BLOB"));
  db.transaction();
  if (!q.prepare("INSERT INTO items VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"))
    throw Error("setup failed: " + q.lastError().text().toStdString());
  for (int i = 0; i < kRows; ++i) {
    const bool nulls = i % 97 == 5;
    q.addBindValue(i);
    q.addBindValue(nulls ? QVariant(QMetaType(QMetaType::QString))
                         : QVariant(QString::fromUtf8("Item %1 – ação \"%2\"").arg(i).arg(i % 7)));
    q.addBindValue(nulls ? QVariant(QMetaType(QMetaType::Double))
                         : QVariant((i * 137 % 100000) / 100.0));
    q.addBindValue(i * 0.1 + 0.01);
    q.addBindValue(nulls ? QVariant(QMetaType(QMetaType::Bool)) : QVariant(i % 3 == 0));
    const QDate day = QDate(2020, 1, 1).addDays(i);
    q.addBindValue(day.toString(Qt::ISODate));
    q.addBindValue(QDateTime(day, QTime(i % 24, i % 60, i % 59)).toString("yyyy-MM-dd hh:mm:ss"));
    q.addBindValue(i % 10 == 0   ? QVariant(smallBitmap(i))
                   : i % 10 == 1 ? QVariant(QByteArray("\x00\x01\xFF raw", 7))
                                 : QVariant(QMetaType(QMetaType::QByteArray)));
    q.addBindValue(i / 250);
    if (!q.exec()) throw Error("insert failed: " + q.lastError().text().toStdString());
  }
  db.commit();
}

std::string describe(const Variant& v) {
  static const char* kinds[] = {"empty", "null", "bool", "int", "double", "datetime", "string"};
  return std::string(kinds[int(v.kind())]) + " " + v.toString();
}

void compareRow(DbDataSet& a, DbDataSet& b, const std::string& where) {
  for (int f = 0; f < int(a.Fields().size()); ++f) {
    const Variant va = a.FieldValue(f), vb = b.FieldValue(f);
    check(va == vb, where + " field " + a.Fields()[size_t(f)].Name + ": sqlite " + describe(va) +
                        ", postgresql " + describe(vb));
    if (isBlobKind(a.Fields()[size_t(f)].Kind))
      check(a.FieldBytes(f) == b.FieldBytes(f), where + " blob bytes differ");
  }
}

void compare(TfrDBDataSet& sa, TfrDBDataSet& sb) {
  sa.Init();
  sb.Init();
  DbDataSet& a = sa.GetDataSet();
  DbDataSet& b = sb.GetDataSet();
  check(a.Fields().size() == b.Fields().size(), "field count");
  for (size_t f = 0; f < std::min(a.Fields().size(), b.Fields().size()); ++f) {
    check(a.Fields()[f].Name == b.Fields()[f].Name, "field name " + a.Fields()[f].Name);
    check(a.Fields()[f].Kind == b.Fields()[f].Kind, "kind of " + a.Fields()[f].Name);
  }
  // Forward over every record, as a data band reads them.
  int n = 0;
  sa.First();
  sb.First();
  while (!sa.Eof() && !sb.Eof()) {
    compareRow(a, b, "row " + std::to_string(n));
    ++n;
    sa.Next();
    sb.Next();
  }
  check(sa.Eof() && sb.Eof() && n == kRows, "record count " + std::to_string(n));
  // Backward from the end, as group footers step back.
  for (int i = 0; i < 300; ++i) {
    sa.Prior();
    sb.Prior();
    compareRow(a, b, "backward " + std::to_string(i));
  }
  // Bookmarks are row positions in both.
  a.First();
  b.First();
  for (int i = 0; i < 1234; ++i) {
    a.Next();
    b.Next();
  }
  const DbBookmark ma = a.GetBookmark(), mb = b.GetBookmark();
  check(ma == mb && ma == 1234, "bookmark position");
  a.First();
  b.GotoBookmark(kRows);  // past the end, so the return is a real move
  a.GotoBookmark(ma);
  b.GotoBookmark(mb);
  compareRow(a, b, "bookmarked row");
  check(a.FieldValue(0) == Variant(int64_t(1234)), "bookmarked row is row 1234");
  // A band that starts at the current record and ends with the data set.
  sa.RangeBegin = sb.RangeBegin = rbCurrent;
  sa.Init();
  sb.Init();
  int ca = 0, cb = 0;
  for (sa.First(); !sa.Eof(); sa.Next()) ++ca;
  for (sb.First(); !sb.Eof(); sb.Next()) ++cb;
  check(ca == cb && ca == kRows - 1234,
        "records from the bookmark: " + std::to_string(ca) + " and " + std::to_string(cb));
  sa.Exit();
  sb.Exit();
  check(a.FieldValue(0) == b.FieldValue(0), "position after Exit");
}

// ------------------------------------------------------------ same pages

constexpr int kOrders = 4000;

// Orders of a few cities, each city's count known to the query, so that the
// listing has group headers, footers and page breaks.
void loadOrders(QSqlDatabase& db) {
  QSqlQuery q(db);
  exec(q,
       "CREATE TABLE orders (id INTEGER, customer VARCHAR(40), city VARCHAR(30), "
       "amount NUMERIC(12,2))");
  static const char* cities[] = {"Aracaju", "Belém", "Natal", "Recife", "Salvador", "São Luís"};
  db.transaction();
  if (!q.prepare("INSERT INTO orders VALUES (?, ?, ?, ?)"))
    throw Error("setup failed: " + q.lastError().text().toStdString());
  for (int i = 1; i <= kOrders; ++i) {
    q.addBindValue(i);
    q.addBindValue(QString::fromUtf8("Cliente %1 – ç").arg(i % 37));
    q.addBindValue(QString::fromUtf8(cities[(i * 7 + i / 13) % 6]));
    q.addBindValue((i * 389 % 100000) / 100.0 + 0.25);
    if (!q.exec()) throw Error("insert failed: " + q.lastError().text().toStdString());
  }
  db.commit();
}

struct Placed {
  std::string name, text;
  int32_t left, top, width, height;
  bool operator==(const Placed&) const = default;
};

std::vector<std::vector<Placed>> prepareOrders(QSqlDatabase& db) {
  TfrReport report;
  report.ShowProgress = false;
  tools::buildOrdersListing(report);
  addDatasetDefinition(
      report.Components,
      "Orders=SELECT id AS ID, customer AS CUSTOMER, city AS CITY, amount AS AMOUNT, "
      "(SELECT COUNT(*) FROM orders c WHERE c.city = o.city) AS CITY_COUNT "
      "FROM orders o ORDER BY o.city, o.id",
      &db);
  if (!report.PrepareReport()) throw Error("the listing failed: " + report.LastError);
  std::vector<std::vector<Placed>> pages;
  for (int i = 0; i < report.EMFPages.Count(); ++i) {
    report.EMFPages.BuildObjects(i);
    std::vector<Placed> page;
    for (auto& v : report.EMFPages.Entry(i).ObjectPage()->Objects) {
      std::string text;
      for (const std::string& line : v->Memo) text += line + "|";
      page.push_back({v->Name, text, v->Left, v->Top, v->Width, v->Height});
    }
    pages.push_back(std::move(page));
  }
  return pages;
}

void compareListings(QSqlDatabase& lite, QSqlDatabase& pg) {
  const auto a = prepareOrders(lite);
  const auto b = prepareOrders(pg);
  check(a.size() > 10, "the listing has " + std::to_string(a.size()) + " pages");
  check(a.size() == b.size(), "page count: sqlite " + std::to_string(a.size()) + ", postgresql " +
                                  std::to_string(b.size()));
  size_t orders = 0, cityHeaders = 0;
  for (size_t p = 0; p < std::min(a.size(), b.size()); ++p) {
    check(a[p].size() == b[p].size(), "objects on page " + std::to_string(p + 1));
    for (size_t i = 0; i < std::min(a[p].size(), b[p].size()); ++i) {
      const Placed &x = a[p][i], &y = b[p][i];
      check(x == y, "page " + std::to_string(p + 1) + " object " + std::to_string(i) + ": sqlite " +
                        x.name + " (" + std::to_string(x.left) + ", " + std::to_string(x.top) +
                        ") \"" + x.text + "\", postgresql " + y.name + " (" +
                        std::to_string(y.left) + ", " + std::to_string(y.top) + ") \"" + y.text +
                        "\"");
      orders += x.name == "OrderId";
      cityHeaders += x.name == "CityTitle";
    }
  }
  check(orders == size_t(kOrders), "orders listed: " + std::to_string(orders));
  check(cityHeaders >= 6, "city headers: " + std::to_string(cityHeaders));
  std::printf("SQLite and PostgreSQL gave the same %zu pages of the orders listing\n", a.size());
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  TfrPrinter::startUp(nullptr);
  if (argc < 3) {
    std::fprintf(stderr, "usage: orv_pg_compare WORKDIR POSTGRESQL-URL [ANOTHER-URL]\n");
    return 2;
  }
  try {
    const std::string sqlitePath = std::string(argv[1]) + "/items.db";
    {
      QSqlDatabase w = QSqlDatabase::addDatabase("QSQLITE", "writer");
      w.setDatabaseName(QString::fromStdString(sqlitePath));
      if (!w.open()) throw Error("cannot create " + sqlitePath);
      load(w, false);
      loadOrders(w);
      w.close();
    }
    QSqlDatabase::removeDatabase("writer");
    QSqlDatabase pg = openDatabaseUrl(argv[2]);
    load(pg, true);
    loadOrders(pg);
    QSqlDatabase lite = openDatabaseUrl("sqlite:" + sqlitePath);
    {
      TfrDataComponents components;
      const char* sql = "Items=SELECT * FROM items ORDER BY id";
      TfrDBDataSet& a = addDatasetDefinition(components, std::string("Lite") + (sql + 5), &lite);
      TfrDBDataSet& b = addDatasetDefinition(components, std::string("Pg") + (sql + 5), &pg);
      compare(a, b);
      // An aggregate query: kinds of computed columns and grouping.
      const char* grouped =
          "=SELECT grp, COUNT(*) AS n, MIN(name) AS first_name FROM items GROUP BY grp ORDER BY "
          "grp";
      TfrDBDataSet& ga = addDatasetDefinition(components, std::string("GLite") + grouped, &lite);
      TfrDBDataSet& gb = addDatasetDefinition(components, std::string("GPg") + grouped, &pg);
      ga.Init();
      gb.Init();
      int groups = 0;
      for (ga.First(), gb.First(); !ga.Eof() && !gb.Eof(); ga.Next(), gb.Next(), ++groups)
        compareRow(ga.GetDataSet(), gb.GetDataSet(), "group " + std::to_string(groups));
      check(ga.Eof() && gb.Eof() && groups == kRows / 250, "group count");
      // The server's own reason reaches the message, with the data set's name.
      TfrDBDataSet& bad = addDatasetDefinition(components, "Bad=SELECT * FROM missing_table", &pg);
      std::string message;
      try {
        bad.Init();
      } catch (const Error& e) {
        message = e.what();
      }
      check(message.find("data set \"Bad\": ") == 0 &&
                message.find("relation \"missing_table\" does not exist") != std::string::npos,
            "error message: " + message);
    }
    compareListings(lite, pg);
    closeDatabase(lite);
    closeDatabase(pg);
    // The same server reached with everything in the URL's query keys.
    if (argc > 3) {
      QSqlDatabase again = openDatabaseUrl(argv[3]);
      QSqlQuery q(again);
      check(q.exec("SELECT COUNT(*) FROM items") && q.next() && q.value(0).toInt() == kRows,
            "row count through the second URL form");
      q.finish();
      closeDatabase(again);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orv_pg_compare: %s\n", e.what());
    return 1;
  }
  if (failures) {
    std::fprintf(stderr, "%d mismatches\n", failures);
    return 1;
  }
  std::printf("SQLite and PostgreSQL gave the same %d records\n", kRows);
  return 0;
}
