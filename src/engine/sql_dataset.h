#pragma once
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "engine/db_dataset.h"

struct sqlite3_stmt;

namespace orv {

// The rows of one SQL query over an open Qt SQL connection (SQLite,
// PostgreSQL). The query runs on Open; the cursor moves both ways over its
// result, though rows far behind cost a new run of the query, so the query
// should give its rows in a fixed order (ORDER BY). Text comes back in the model's 8-bit form,
// numbers as integers or floating point, dates as day counts, binary columns as blobs.
class SqlDataSet : public DbDataSet {
 public:
  // `sql` is the query text in UTF-8.
  SqlDataSet(std::string name, QSqlDatabase database, std::string sql);
  ~SqlDataSet() override;

  const std::string& Sql() const { return sql_; }

 protected:
  void doOpen(std::vector<DbField>& fields) override;
  void doClose() override;
  bool fetch(int64_t row) override;
  Variant value(int index) const override;
  std::vector<uint8_t> bytes(int index) const override;

 private:
  // Runs the query (again) from its first row.
  void execute();
  // Reads the query's next row into the window; false after the last.
  bool advance();

  // Enough for the steps back a report takes (a group footer looks at the
  // record before the break), small enough to be no memory at all.
  static constexpr size_t kWindowRows = 256;

  // A row as the query gave it, and its fields as report values once asked
  // for: a report reads the same field of a row many times (conditions,
  // texts, totals), and the conversion is the costly part. Values read
  // straight from SQLite whose report value says all (numbers, Null, ASCII
  // text) are converted at once and have no raw form.
  struct Row {
    std::vector<QVariant> raw;
    mutable std::vector<Variant> values;  // empty until converted
  };

  // Reads the row the SQLite statement stands on.
  void readStatementRow(Row& row) const;
  // The SQLite statement behind the query, null on other databases and
  // once the connection has let it go.
  sqlite3_stmt* statement() const;

  QSqlDatabase database_;
  std::string sql_;
  std::unique_ptr<QSqlQuery> query_;
  std::vector<FieldKind> kinds_;
  std::deque<Row> window_;   // the rows read last
  int64_t windowFirst_ = 0;  // row number of window_.front()
  bool exhausted_ = false;
  // SQLite rows past the first are read from the query's statement rather
  // than through the driver, which would turn every text into UTF-16 and
  // back: set once the driver has handed over the first row.
  sqlite3_stmt* stmt_ = nullptr;
  const Row* current_ = nullptr;
};

// The database's own words for a failure, in the model's 8-bit form.
std::string sqlErrorReason(const QSqlError& error);

}  // namespace orv
