#pragma once
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <memory>
#include <string>
#include <vector>

#include "engine/db_dataset.h"

namespace orv {

// The rows of one SQL query over an open Qt SQL connection (SQLite,
// PostgreSQL). The query runs on Open; the cursor moves both ways over its
// result. Text comes back in the model's 8-bit form, numbers as integers or
// floating point, dates as day counts, binary columns as blobs.
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
  QSqlDatabase database_;
  std::string sql_;
  std::unique_ptr<QSqlQuery> query_;
  std::vector<FieldKind> kinds_;
};

// The database's own words for a failure, in the model's 8-bit form.
std::string sqlErrorReason(const QSqlError& error);

}  // namespace orv
