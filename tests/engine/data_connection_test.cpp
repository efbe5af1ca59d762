#include "engine/data_connection.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "engine/data_test_util.h"

namespace orv {
namespace {

std::string errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return "no error";
}

TEST(DatabaseUrl, OpensSqliteFilesAndMemory) {
  QSqlDatabase memory = openDatabaseUrl("sqlite::memory:");
  QSqlDatabase other = openDatabaseUrl("SQLITE::memory:");
  EXPECT_TRUE(memory.isOpen());
  EXPECT_NE(memory.connectionName(), other.connectionName());
  QSqlQuery q(memory);
  EXPECT_TRUE(q.exec("CREATE TABLE t (x)"));
  closeDatabase(memory);
  closeDatabase(other);
  EXPECT_FALSE(memory.isValid());

  QTemporaryDir dir;
  const std::string path = dir.filePath("x.db").toStdString();
  EXPECT_EQ(errorOf([&] { openDatabaseUrl("sqlite:" + path); }),
            "no SQLite database \"" + path + "\"");
  // Opening a missing file did not create it either.
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path)));
  EXPECT_EQ(errorOf([&] { openDatabaseUrl("sqlite:"); }),
            "the SQLite URL names no file (sqlite:/path/file.db)");
}

TEST(DatabaseUrl, RejectsWhatItCannotOpenWithTheReason) {
  EXPECT_EQ(errorOf([] { openDatabaseUrl("mysql://u@h/db"); }),
            "unknown database URL scheme \"mysql\" (use sqlite:/path/file.db or "
            "postgresql://user@host/dbname)");
  EXPECT_EQ(errorOf([] { openDatabaseUrl("postgresql://u@/"); }),
            "the PostgreSQL URL names no database");
  EXPECT_EQ(errorOf([] { openDatabaseUrl("postgresql://u@/db?port=abc"); }),
            "the database URL has a port that is no number");
  // No server listens there: the message is the connection's own reason,
  // and the password is not repeated.
  QTemporaryDir dir;
  const std::string msg = errorOf(
      [&] { openDatabaseUrl("postgresql://ana:s3cret@/vendas?host=" + dir.path().toStdString()); });
  EXPECT_EQ(msg.rfind("cannot connect to the PostgreSQL database \"vendas\": ", 0), 0u) << msg;
  EXPECT_NE(msg.find(dir.path().toStdString()), std::string::npos) << msg;
  EXPECT_EQ(msg.find("s3cret"), std::string::npos) << msg;
}

TEST(DatasetSpec, NamesAndSourcesAreChecked) {
  TfrDataComponents components;
  QSqlDatabase db = openDatabaseUrl("sqlite::memory:");
  EXPECT_EQ(errorOf([&] { addDatasetDefinition(components, "SELECT 1", &db); }),
            "a data set is given as NAME=SQL or NAME=csv:FILE, not \"SELECT 1\"");
  EXPECT_EQ(errorOf([&] { addDatasetDefinition(components, "5x=SELECT 1", &db); }),
            "the data set name \"5x\" must not begin with a digit");
  EXPECT_EQ(errorOf([&] { addDatasetDefinition(components, "a.b=SELECT 1", &db); }),
            "the data set name \"a.b\" may not contain '.'");
  EXPECT_EQ(errorOf([&] { addDatasetDefinition(components, "Q=SELECT 1", nullptr); }),
            "the data set \"Q\" is a query, but no database was given");
  EXPECT_EQ(errorOf([&] { addDatasetDefinition(components, "Q=", &db); }),
            "the data set \"Q\" has no query");
  EXPECT_EQ(errorOf([&] { addDatasetDefinition(components, "C=csv:", &db); }),
            "the data set \"C\" names no CSV file");

  // The SQL keeps its own '=' signs.
  TfrDBDataSet& q = addDatasetDefinition(components, "Q=SELECT 1 = 1 AS same", &db);
  EXPECT_EQ(components.findDataset("q"), &q);
  q.Init();
  EXPECT_EQ(q.GetDataSet().Fields()[0].Name, "same");
  EXPECT_EQ(q.GetDataSet().FieldValue(0), Variant(int64_t(1)));
  EXPECT_EQ(errorOf([&] { addDatasetDefinition(components, "q=SELECT 2", &db); }),
            "the data set \"q\" is given twice");
  components.clear();
  closeDatabase(db);
}

TEST(DataSources, KeepOneDatabaseForTheirDataSets) {
  QTemporaryDir dir;
  const std::string csv = writeTestFile(dir, "a.csv", "x\n1\n");
  ASSERT_FALSE(csv.empty());
  DataSources sources;
  sources.addDataset("A=csv:" + csv);
  EXPECT_EQ(errorOf([&] { sources.addDataset("Q=SELECT 1"); }),
            "the data set \"Q\" is a query, but no database was given");
  sources.connect("sqlite::memory:");
  EXPECT_EQ(errorOf([&] { sources.connect("sqlite::memory:"); }), "only one database can be given");
  TfrDBDataSet& q = sources.addDataset("Q=SELECT 1 AS one");
  q.Init();
  EXPECT_EQ(q.GetDataSet().FieldValue(0), Variant(int64_t(1)));
  EXPECT_NE(sources.components().findDataset("a"), nullptr);
  // Leaving the scope closes the data sets, then the connection, without
  // Qt's warnings about a connection still in use.
}

}  // namespace
}  // namespace orv
