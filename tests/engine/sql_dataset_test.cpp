#include "engine/sql_dataset.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include "engine/data_components.h"
#include "engine/data_connection.h"
#include "engine/dataset.h"
#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "model/views.h"
#include "printing/tfr_printer.h"
#include "template_builder.h"

namespace orv {
namespace {

// A SQLite file written through a connection of its own, then read back
// through the data sets as a report would.
class SqliteFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    path_ = dir_.filePath("orders.db").toStdString();
    {
      QSqlDatabase w = QSqlDatabase::addDatabase("QSQLITE", "writer");
      w.setDatabaseName(QString::fromStdString(path_));
      ASSERT_TRUE(w.open());
      QSqlQuery q(w);
      exec(q,
           "CREATE TABLE orders (id INTEGER, customer TEXT, amount REAL, paid BOOLEAN, "
           "day DATE, stamp DATETIME, picture BLOB, note VARCHAR(20))");
      q.prepare("INSERT INTO orders VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
      for (int i = 0; i < 5; ++i) {
        q.addBindValue(i + 1);
        q.addBindValue(i == 2 ? QString::fromUtf8("Ação Ltda") : QString("Cliente %1").arg(i));
        q.addBindValue(10.5 * (i + 1));
        q.addBindValue(i % 2 == 0);
        q.addBindValue(QString("2024-01-0%1").arg(i + 1));
        q.addBindValue(QString("2024-01-0%1 06:00:00").arg(i + 1));
        q.addBindValue(i == 0 ? QVariant(pictureBytes())
                              : QVariant(QMetaType(QMetaType::QByteArray)));
        q.addBindValue(i == 4 ? QVariant(QMetaType(QMetaType::QString)) : QVariant("n"));
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
      }
    }
    QSqlDatabase::removeDatabase("writer");
    db_ = openDatabaseUrl("sqlite:" + path_);
  }
  void TearDown() override {
    components_.clear();
    closeDatabase(db_);
  }
  static void exec(QSqlQuery& q, const char* sql) {
    ASSERT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
  }
  static QByteArray pictureBytes() {
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    const Graphic g = Graphic::fromImage(image);
    return QByteArray(reinterpret_cast<const char*>(g.bytes().data()), qsizetype(g.bytes().size()));
  }
  TfrDBDataSet& dataset(const std::string& spec) {
    return addDatasetDefinition(components_, spec, &db_);
  }

  QTemporaryDir dir_;
  std::string path_;
  QSqlDatabase db_;
  TfrDataComponents components_;
};

TEST_F(SqliteFile, FieldsComeBackWithTheirKindsAndModelForms) {
  TfrDBDataSet& ds = dataset("Orders=SELECT * FROM orders ORDER BY id");
  ds.Init();
  DbDataSet& rows = ds.GetDataSet();
  ASSERT_EQ(rows.Fields().size(), 8u);
  const std::vector<FieldKind> kinds = {
      FieldKind::Integer,  FieldKind::String,   FieldKind::Float, FieldKind::Boolean,
      FieldKind::DateTime, FieldKind::DateTime, FieldKind::Blob,  FieldKind::String};
  for (size_t i = 0; i < kinds.size(); ++i) EXPECT_EQ(rows.Fields()[i].Kind, kinds[i]) << i;
  EXPECT_EQ(rows.FieldIndex("CUSTOMER"), 1);
  EXPECT_TRUE(isBlobKind(rows.Fields()[6].Kind));
  EXPECT_FALSE(isBlobKind(rows.Fields()[1].Kind));

  ds.First();
  EXPECT_EQ(rows.FieldValue(0), Variant(int64_t(1)));
  EXPECT_EQ(rows.FieldValue(2), Variant(10.5));
  EXPECT_EQ(rows.FieldValue(3), Variant(true));
  // 1 January 2024 is day 45292 counted from 30 December 1899.
  EXPECT_EQ(rows.FieldValue(4), Variant::dateTime(45292));
  EXPECT_EQ(rows.FieldValue(5), Variant::dateTime(45292.25));
  ds.Next();
  ds.Next();
  EXPECT_EQ(rows.FieldValue(1), Variant("A\xE7\xE3o Ltda"));  // Windows-1252 bytes
  EXPECT_EQ(rows.FieldValue(3), Variant(true));
  EXPECT_TRUE(rows.FieldIsNull(6));
  ds.Next();
  EXPECT_EQ(rows.FieldValue(3), Variant(false));
  ds.Next();
  EXPECT_TRUE(rows.FieldValue(7).isNull());
}

// SQLite keeps whole numbers of a numeric column as integers, and any column
// may hold a value of another type: the column's kind and the value's own
// type together decide what the report sees.
TEST_F(SqliteFile, ValuesOfLooseColumnsFollowTheColumnAndTheirOwnType) {
  {
    QSqlDatabase w = QSqlDatabase::addDatabase("QSQLITE", "loose");
    w.setDatabaseName(QString::fromStdString(path_));
    ASSERT_TRUE(w.open());
    QSqlQuery l(w);
    exec(l, "CREATE TABLE loose (amount NUMERIC, qty INTEGER, name TEXT)");
    exec(l, "INSERT INTO loose VALUES (21.0, 7, 'Caf\xC3\xA9')");
    exec(l, "INSERT INTO loose VALUES (2.5, 'muitos', 12)");
  }
  QSqlDatabase::removeDatabase("loose");
  TfrDBDataSet& ds = dataset("Loose=SELECT amount, qty, name FROM loose ORDER BY amount DESC");
  ds.Init();
  DbDataSet& rows = ds.GetDataSet();
  ds.First();
  const Variant amount = rows.FieldValue(0);
  EXPECT_EQ(amount.kind(), Variant::Kind::Double);
  EXPECT_EQ(amount, Variant(21.0));
  EXPECT_EQ(rows.FieldValue(1), Variant(int64_t(7)));
  EXPECT_EQ(rows.FieldValue(2), Variant("Caf\xE9"));
  ds.Next();
  EXPECT_EQ(rows.FieldValue(0), Variant(2.5));
  EXPECT_EQ(rows.FieldValue(1), Variant("muitos"));
  EXPECT_EQ(rows.FieldValue(2), Variant("12"));  // a text column keeps the number as text
}

TEST_F(SqliteFile, CursorStepsBothWaysAndReadsTheLastRowAtTheEnd) {
  TfrDBDataSet& ds = dataset("Orders=SELECT id FROM orders ORDER BY id");
  ds.Init();
  DbDataSet& rows = ds.GetDataSet();
  ds.First();
  int n = 0;
  while (!ds.Eof()) {
    ++n;
    ds.Next();
  }
  EXPECT_EQ(n, 5);
  EXPECT_EQ(ds.RecNo, 5);
  // At the end the fields still show the last record, and one step back is
  // that record again (a group footer after the last record needs both).
  EXPECT_EQ(rows.FieldValue(0), Variant(int64_t(5)));
  ds.Prior();
  EXPECT_FALSE(ds.Eof());
  EXPECT_EQ(rows.FieldValue(0), Variant(int64_t(5)));
  ds.Prior();
  EXPECT_EQ(rows.FieldValue(0), Variant(int64_t(4)));
  ds.First();
  ds.Prior();
  EXPECT_TRUE(rows.Bof());
  EXPECT_EQ(rows.FieldValue(0), Variant(int64_t(1)));

  TfrDBDataSet& empty = dataset("None=SELECT id FROM orders WHERE id > 100");
  empty.Init();
  empty.First();
  EXPECT_TRUE(empty.Eof());
  EXPECT_TRUE(empty.GetDataSet().IsEmpty());
  EXPECT_TRUE(empty.GetDataSet().FieldValue(0).isNull());
}

// Iterates like a data band and lists the ids it saw.
std::vector<int64_t> idsPrinted(TfrDBDataSet& ds) {
  std::vector<int64_t> ids;
  ds.First();
  while (!ds.Eof() && ids.size() < 100) {
    ids.push_back(ds.GetDataSet().FieldValue(0).toInt());
    ds.Next();
  }
  return ids;
}

TEST_F(SqliteFile, CurrentRangesUseABookmarkOfTheRecordAtInit) {
  TfrDBDataSet& ds = dataset("Orders=SELECT id FROM orders ORDER BY id");
  DbDataSet& rows = ds.GetDataSet();
  rows.Open();
  rows.Next();
  rows.Next();  // the third record is current when the band starts

  ds.RangeBegin = rbCurrent;
  ds.Init();
  EXPECT_EQ(idsPrinted(ds), (std::vector<int64_t>{3, 4, 5}));
  ds.Exit();
  // Exit went back to the saved record.
  EXPECT_EQ(rows.FieldValue(0), Variant(int64_t(3)));

  ds.RangeBegin = rbFirst;
  ds.RangeEnd = reCurrent;
  ds.Init();
  EXPECT_EQ(idsPrinted(ds), (std::vector<int64_t>{1, 2, 3}));
  ds.Exit();
  EXPECT_EQ(rows.FieldValue(0), Variant(int64_t(3)));

  ds.RangeBegin = rbCurrent;
  ds.Init();
  EXPECT_EQ(idsPrinted(ds), (std::vector<int64_t>{3}));
  ds.Exit();

  // A bookmark is a row position: it survives moving about.
  const DbBookmark mark = rows.GetBookmark();
  rows.First();
  rows.GotoBookmark(mark);
  EXPECT_EQ(rows.FieldValue(0), Variant(int64_t(3)));
  EXPECT_LT(DbDataSet::CompareBookmarks(0, mark), 0);
  rows.GotoBookmark(99);
  EXPECT_TRUE(rows.Eof());
  EXPECT_EQ(rows.RecNo(), 5);
  rows.Prior();
  EXPECT_EQ(rows.FieldValue(0), Variant(int64_t(5)));
}

TEST_F(SqliteFile, FarStepsBackAndBookmarksWorkOnLongResults) {
  // More rows than the cursor keeps at hand, so moving back far runs the
  // query again; the rows must come out the same.
  TfrDBDataSet& ds = dataset(
      "Numbers=WITH RECURSIVE c(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM c WHERE x < 2999) "
      "SELECT x, x * 2 AS twice FROM c");
  ds.Init();
  DbDataSet& rows = ds.GetDataSet();
  ds.First();
  while (!ds.Eof()) ds.Next();
  EXPECT_EQ(rows.RecNo(), 3000);
  bool ok = true;
  for (int64_t expect = 2999; expect >= 0 && ok; --expect) {
    ds.Prior();
    ok = rows.FieldValue(0) == Variant(expect) && rows.FieldValue(1) == Variant(expect * 2);
    EXPECT_TRUE(ok) << expect;
  }
  EXPECT_EQ(rows.RecNo(), 0);
  rows.GotoBookmark(2500);
  rows.GotoBookmark(17);
  EXPECT_EQ(rows.FieldValue(0), Variant(int64_t(17)));
  rows.Next();
  EXPECT_EQ(rows.FieldValue(0), Variant(int64_t(18)));
}

TEST_F(SqliteFile, FieldsReadAgainGiveTheirOwnRowsValuesPastTheKeptRows) {
  // Rows are converted once and the storage of rows that leave the cursor's
  // reach is used again: every read must still be of the current row.
  TfrDBDataSet& ds = dataset(
      "Words=WITH RECURSIVE c(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM c WHERE x < 699) "
      "SELECT x, 'w' || x AS word, CASE WHEN x % 3 = 0 THEN NULL ELSE x END AS maybe FROM c");
  ds.Init();
  DbDataSet& rows = ds.GetDataSet();
  int64_t bad = -1;
  auto check = [&](int64_t x) {
    for (int twice = 0; twice < 2; ++twice) {
      const bool ok = rows.FieldValue(0) == Variant(x) &&
                      rows.FieldValue(1) == Variant("w" + std::to_string(x)) &&
                      (x % 3 == 0 ? rows.FieldValue(2).isNull() : rows.FieldValue(2) == Variant(x));
      if (!ok && bad < 0) bad = x;
    }
  };
  int64_t x = 0;
  for (ds.First(); !ds.Eof(); ds.Next()) check(x++);
  EXPECT_EQ(x, 700);
  for (int back = 0; back < 100; ++back) ds.Prior();
  check(600);
  EXPECT_EQ(bad, -1) << "first wrong row";
}

// The first row of a SQLite query comes through the driver and the rows
// after it straight from the statement: the same row must read the same
// either way, as values and as bytes, whatever its columns hold.
TEST_F(SqliteFile, LaterRowsReadAsTheFirstDoes) {
  {
    QSqlDatabase w = QSqlDatabase::addDatabase("QSQLITE", "mixed");
    w.setDatabaseName(QString::fromStdString(path_));
    ASSERT_TRUE(w.open());
    QSqlQuery l(w);
    exec(l,
         "CREATE TABLE mixed (n INTEGER, r REAL, whole NUMERIC, big NUMERIC, t TEXT, "
         "wide TEXT, nul TEXT, day DATE, flag BOOLEAN, yes BOOLEAN, b BLOB, e TEXT, z BLOB, "
         "absent INTEGER)");
    exec(l,
         "INSERT INTO mixed VALUES (-42, 0.1, 7, 1152921504606846977, 'Rua 1 '"
         " || char(9) || 'fim', 'Caf\xC3\xA9 \xE2\x82\xAC \xE4\xB8\xAD', 'a' || char(0) || 'b',"
         " '2024-02-29 12:00:00', 'yes', 1, x'00FF10', '', x'', NULL)");
  }
  QSqlDatabase::removeDatabase("mixed");
  TfrDBDataSet& ds = dataset(
      "Mixed=SELECT * FROM mixed UNION ALL SELECT * FROM mixed UNION ALL SELECT * FROM mixed");
  ds.Init();
  DbDataSet& rows = ds.GetDataSet();
  const size_t n = rows.Fields().size();
  ASSERT_EQ(n, 14u);
  ds.First();
  std::vector<Variant> first;
  std::vector<std::vector<uint8_t>> firstBytes;
  for (size_t i = 0; i < n; ++i) {
    first.push_back(rows.FieldValue(int(i)));
    firstBytes.push_back(rows.FieldBytes(int(i)));
  }
  EXPECT_EQ(first[0], Variant(int64_t(-42)));
  EXPECT_EQ(first[2].kind(), Variant::Kind::Double);
  EXPECT_EQ(first[4], Variant("Rua 1 \tfim"));
  EXPECT_EQ(first[5], Variant("Caf\xE9 \x80 ?"));
  EXPECT_EQ(first[6].str(), std::string("a\0b", 3));
  EXPECT_EQ(first[7].kind(), Variant::Kind::DateTime);
  EXPECT_EQ(first[8], Variant(true));
  EXPECT_EQ(firstBytes[3], std::vector<uint8_t>({'1', '1', '5', '2', '9', '2', '1', '5', '0', '4',
                                                 '6', '0', '6', '8', '4', '6', '9', '7', '7'}));
  EXPECT_EQ(firstBytes[10], std::vector<uint8_t>({0x00, 0xFF, 0x10}));
  EXPECT_TRUE(first[13].isNull());
  for (int row = 1; row < 3; ++row) {
    ds.Next();
    ASSERT_FALSE(ds.Eof());
    for (size_t i = 0; i < n; ++i) {
      // Bytes first: a field never read as a value still gives its bytes.
      EXPECT_EQ(rows.FieldBytes(int(i)), firstBytes[i]) << "row " << row << " field " << i;
      const Variant v = rows.FieldValue(int(i));
      EXPECT_EQ(v.kind(), first[i].kind()) << "row " << row << " field " << i;
      EXPECT_EQ(v, first[i]) << "row " << row << " field " << i;
    }
  }
  ds.Next();
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(rows.FieldValue(5), first[5]);  // the last row, still
}

// Closing the connection finalises the query under the data set: stepping
// on must be a clear error of the data set, not a read of freed memory.
TEST_F(SqliteFile, AConnectionClosedUnderTheDataSetIsAnError) {
  TfrDBDataSet& ds = dataset("Orders=SELECT id, customer FROM orders ORDER BY id");
  ds.Init();
  DbDataSet& rows = ds.GetDataSet();
  ds.First();
  ds.Next();  // read from the statement itself
  EXPECT_EQ(rows.FieldValue(0), Variant(int64_t(2)));
  db_.close();
  EXPECT_THROW(
      {
        ds.Next();
        ds.Next();
      },
      Error);
  EXPECT_EQ(rows.FieldValue(1), Variant("Cliente 1"));  // rows already read stay readable
}

TEST_F(SqliteFile, BlobsFeedStreamsAndPictures) {
  TfrDBDataSet& ds = dataset("Orders=SELECT picture, customer FROM orders ORDER BY id");
  ds.Init();
  DbDataSet& rows = ds.GetDataSet();
  ds.First();
  MemoryStream stream;
  stream.writeU32(0xDEADBEEF);  // whatever was there goes
  copyBlobToStream(rows, 0, stream);
  EXPECT_EQ(stream.position(), 0u);
  const QByteArray expected = pictureBytes();
  ASSERT_EQ(stream.size(), size_t(expected.size()));
  EXPECT_EQ(std::memcmp(stream.data(), expected.constData(), stream.size()), 0);

  const Graphic g = copyBlobToGraphic(rows, 0);
  EXPECT_EQ(g.kind(), Graphic::Kind::Bitmap);
  EXPECT_EQ(g.width(), 3);
  EXPECT_EQ(g.height(), 2);
  EXPECT_THROW(copyBlobToGraphic(rows, 1), Error);  // a text is no picture
  ds.Next();
  EXPECT_TRUE(copyBlobToGraphic(rows, 0).isEmpty());  // Null
}

TEST_F(SqliteFile, APictureBoundToABlobFieldLoadsIt) {
  TfrDBDataSet& ds = dataset("Orders=SELECT id, picture FROM orders ORDER BY id");
  ds.Init();
  ds.First();
  TfrPictureView view;
  view.BlobSourceSet = &ds;
  view.BlobSourceField = "PICTURE";
  ASSERT_TRUE(loadBlobField(view));
  EXPECT_EQ(view.Picture.kind(), Graphic::Kind::Bitmap);
  EXPECT_EQ(view.Picture.width(), 3);
  ds.Next();
  ASSERT_TRUE(loadBlobField(view));
  EXPECT_TRUE(view.Picture.isEmpty());  // a Null field empties the picture
  view.BlobSourceField = "missing";
  EXPECT_FALSE(loadBlobField(view));
}

TEST_F(SqliteFile, DatabaseErrorsNameTheDataSetAndTheReason) {
  TfrDBDataSet& ds = dataset("Orders=SELECT x FROM nowhere");
  try {
    ds.Init();
    FAIL() << "no error";
  } catch (const Error& e) {
    const std::string msg = e.what();
    EXPECT_NE(msg.find("\"Orders\""), std::string::npos) << msg;
    EXPECT_NE(msg.find("no such table: nowhere"), std::string::npos) << msg;
  }
  EXPECT_TRUE(fieldNames(ds.GetDataSet()).empty());  // errors are not raised here
  TfrDBDataSet& ok = dataset("Ok=SELECT id, customer AS Name FROM orders");
  EXPECT_EQ(fieldNames(ok.GetDataSet()), (StringList{"id", "Name"}));

  // The file is opened read-only: a report cannot change it.
  TfrDBDataSet& write = dataset("Write=DELETE FROM orders");
  EXPECT_THROW(write.Init(), Error);
  TfrDBDataSet& count = dataset("Count=SELECT COUNT(*) FROM orders");
  count.Init();
  EXPECT_EQ(count.GetDataSet().FieldValue(0), Variant(int64_t(5)));
}

TEST_F(SqliteFile, FieldIsNullTellsANullDatabaseFieldOfTheCurrentRecord) {
  TfrPrinter::startUp(nullptr);
  TfrReport report;
  report.ShowProgress = false;
  addDatasetDefinition(report.Components, "Orders=SELECT id, note FROM orders ORDER BY id", &db_);
  TfrPage& page = report.Pages.Add();
  auto& data = tools::place<TfrBandView>(page, "Data", 0, 40, 700, 20);
  data.FrameTyp = btMasterData;
  data.FormatStr = "Orders";
  tools::place<TfrMemoView>(page, "Row", 0, 42, 300, 16).Memo = {
      "[IF(FIELDISNULL('Orders.note') = FALSE, 'set', 'null')]"};
  ASSERT_TRUE(report.PrepareReport()) << report.LastError;
  report.EMFPages.BuildObjects(0);
  std::vector<std::string> texts;
  for (auto& v : report.EMFPages.Entry(0).ObjectPage()->Objects)
    if (v->Name == "Row") texts.push_back(v->Memo.empty() ? "" : v->Memo[0]);
  // Only the fifth order has no note.
  EXPECT_EQ(texts, (std::vector<std::string>{"set", "set", "set", "set", "null"}));
}

TEST(DateTimeValues, CountDaysFrom30December1899) {
  EXPECT_EQ(toDateTimeValue(QDate(1899, 12, 30)), 0.0);
  EXPECT_EQ(toDateTimeValue(QDate(1900, 1, 1)), 2.0);
  EXPECT_EQ(toDateTimeValue(QTime(18, 0)), 0.75);
  EXPECT_EQ(toDateTimeValue(QDateTime(QDate(1899, 12, 31), QTime(12, 0))), 1.5);
  // Before day zero the time of day still adds its fraction away from zero.
  EXPECT_EQ(toDateTimeValue(QDateTime(QDate(1899, 12, 29), QTime(6, 0))), -1.25);
}

}  // namespace
}  // namespace orv
