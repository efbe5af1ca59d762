#include "engine/sql_dataset.h"

#include <sqlite3.h>

#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <QSqlResult>
#include <limits>
#include <optional>

#include "platform/codepage.h"

namespace orv {

namespace {

// SQLite keeps one loose type per value; the column's declared type (what
// CREATE TABLE said) is what tells a date or a Boolean from a text or an
// integer, the way a typed database reports it.
FieldKind kindFromDeclaredType(QString decl) {
  decl = decl.toUpper();
  if (decl.isEmpty()) return FieldKind::Unknown;
  if (decl.contains(u"BOOL")) return FieldKind::Boolean;
  if (decl.contains(u"DATE") || decl.contains(u"TIME")) return FieldKind::DateTime;
  if (decl.contains(u"GRAPHIC") || decl.contains(u"IMAGE") || decl.contains(u"PICTURE"))
    return FieldKind::Graphic;
  if (decl.contains(u"BLOB") || decl.contains(u"BINARY") || decl.contains(u"BYTEA"))
    return FieldKind::Blob;
  if (decl.contains(u"INT")) return FieldKind::Integer;
  if (decl.contains(u"CHAR") || decl.contains(u"CLOB") || decl.contains(u"TEXT"))
    return FieldKind::String;
  if (decl.contains(u"REAL") || decl.contains(u"FLOA") || decl.contains(u"DOUB") ||
      decl.contains(u"NUMERIC") || decl.contains(u"DECIMAL") || decl.contains(u"MONEY"))
    return FieldKind::Float;
  return FieldKind::Unknown;
}

FieldKind kindFromMetaType(QMetaType type) {
  switch (type.id()) {
    case QMetaType::Bool:
      return FieldKind::Boolean;
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
      return FieldKind::Integer;
    case QMetaType::Float:
    case QMetaType::Double:
      return FieldKind::Float;
    case QMetaType::QDate:
    case QMetaType::QTime:
    case QMetaType::QDateTime:
      return FieldKind::DateTime;
    case QMetaType::QByteArray:
      return FieldKind::Blob;
    case QMetaType::QString:
      return FieldKind::String;
    default:
      return FieldKind::Unknown;
  }
}

// The SQLite statement a query runs, null when the connection is another
// database's or the query has none (any more).
sqlite3_stmt* sqliteStatement(const QSqlQuery& query) {
  const QSqlResult* result = query.result();
  if (!result) return nullptr;
  const QVariant h = result->handle();
  if (!h.isValid() || qstrcmp(h.typeName(), "sqlite3_stmt*") != 0) return nullptr;
  return *static_cast<sqlite3_stmt* const*>(h.constData());
}

// The declared types of the query's columns when the connection is SQLite;
// empty otherwise.
std::vector<QString> sqliteDeclaredTypes(const QSqlQuery& query) {
  std::vector<QString> types;
  sqlite3_stmt* stmt = sqliteStatement(query);
  if (!stmt) return types;
  const int n = sqlite3_column_count(stmt);
  for (int i = 0; i < n; ++i) {
    const char* decl = sqlite3_column_decltype(stmt, i);
    types.push_back(decl ? QString::fromUtf8(decl) : QString());
  }
  return types;
}

bool isPlainAscii(const char* text, size_t size) {
  unsigned char seen = 0;
  for (size_t i = 0; i < size; ++i) seen |= static_cast<unsigned char>(text[i]);
  return seen < 0x80;
}

// A date or date-time that a typed column keeps as ISO text (SQLite).
std::optional<double> parseIsoDateTime(const QString& text) {
  const QString s = text.trimmed();
  if (s.size() == 10) {
    const QDate d = QDate::fromString(s, Qt::ISODate);
    if (d.isValid()) return toDateTimeValue(d);
  }
  QString iso = s;
  if (iso.size() > 10 && iso[10] == u' ') iso[10] = u'T';
  const QDateTime dt = QDateTime::fromString(iso, Qt::ISODateWithMs);
  if (dt.isValid()) return toDateTimeValue(dt);
  const QTime t = QTime::fromString(s, Qt::ISODateWithMs);
  if (t.isValid()) return toDateTimeValue(t);
  return std::nullopt;
}

Variant fromQVariant(const QVariant& v, FieldKind declared) {
  if (v.isNull()) return Variant::null();
  const int type = v.typeId();
  // What the drivers give for nearly every value, read in place rather than
  // through QVariant's general conversions; the same values as below.
  if (declared != FieldKind::DateTime && declared != FieldKind::Boolean) {
    switch (type) {
      case QMetaType::LongLong: {
        const qlonglong i = *static_cast<const qlonglong*>(v.constData());
        return declared == FieldKind::Float ? Variant(double(i)) : Variant(int64_t(i));
      }
      case QMetaType::Double:
        return Variant(*static_cast<const double*>(v.constData()));
      case QMetaType::QString:
        return Variant(toModelText(*static_cast<const QString*>(v.constData())));
      default:
        break;
    }
  }
  if (declared == FieldKind::DateTime && type == QMetaType::QString) {
    if (std::optional<double> d = parseIsoDateTime(v.toString())) return Variant::dateTime(*d);
  }
  if (declared == FieldKind::Boolean && type != QMetaType::Bool) {
    if (type == QMetaType::QString) {
      const QString s = v.toString().trimmed().toLower();
      return Variant(s == u"t" || s == u"true" || s == u"y" || s == u"yes" || s == u"1");
    }
    return Variant(v.toLongLong() != 0);
  }
  // Otherwise the value's own type decides: SQLite may hold any in a column.
  // Its numeric columns keep whole numbers as integers, though, where a
  // typed database gives the column's floating point.
  const FieldKind actual = kindFromMetaType(v.metaType());
  if (declared == FieldKind::Float && actual == FieldKind::Integer) return Variant(v.toDouble());
  switch (actual) {
    case FieldKind::Boolean:
      return Variant(v.toBool());
    case FieldKind::Integer:
      if (type == QMetaType::ULongLong || type == QMetaType::ULong) {
        const qulonglong u = v.toULongLong();
        if (u > qulonglong(std::numeric_limits<int64_t>::max())) return Variant(double(u));
      }
      return Variant(int64_t(v.toLongLong()));
    case FieldKind::Float:
      return Variant(v.toDouble());
    case FieldKind::DateTime:
      if (type == QMetaType::QDate) return Variant::dateTime(toDateTimeValue(v.toDate()));
      if (type == QMetaType::QTime) return Variant::dateTime(toDateTimeValue(v.toTime()));
      // The wall-clock date and time the database gave, whatever its zone.
      return Variant::dateTime(toDateTimeValue(v.toDateTime()));
    case FieldKind::Blob: {
      const QByteArray b = v.toByteArray();
      return Variant(std::string(b.constData(), size_t(b.size())));
    }
    default:
      return Variant(toModelText(v.toString()));
  }
}

}  // namespace

std::string sqlErrorReason(const QSqlError& e) {
  const QString db = e.databaseText().trimmed();
  return toModelText(db.isEmpty() ? e.text().trimmed() : db);
}

SqlDataSet::SqlDataSet(std::string name, QSqlDatabase database, std::string sql)
    : DbDataSet(std::move(name)), database_(std::move(database)), sql_(std::move(sql)) {}

SqlDataSet::~SqlDataSet() {
  // Destroyed before the connection name can be removed by its owner.
  query_.reset();
}

void SqlDataSet::execute() {
  window_.clear();
  windowFirst_ = 0;
  exhausted_ = false;
  stmt_ = nullptr;
  current_ = nullptr;
  if (!query_->exec(QString::fromUtf8(sql_))) fail(sqlErrorReason(query_->lastError()));
}

sqlite3_stmt* SqlDataSet::statement() const {
  return query_ ? sqliteStatement(*query_) : nullptr;
}

bool SqlDataSet::advance() {
  if (exhausted_) return false;
  // Should the connection have finalised the statement (closed under the
  // data set), the driver reports that as it always has.
  const bool direct = stmt_ && statement() == stmt_;
  if (direct) {
    const int rc = sqlite3_step(stmt_);
    if (rc != SQLITE_ROW) {
      exhausted_ = true;
      const QString reason =
          rc == SQLITE_DONE ? QString()
                            : QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(stmt_))).trimmed();
      // Lets go of the read lock the way the driver does at the end.
      sqlite3_reset(stmt_);
      if (!reason.isEmpty()) fail(toModelText(reason));
      return false;
    }
  } else if (!query_->next()) {
    exhausted_ = true;
    if (query_->lastError().isValid()) fail(sqlErrorReason(query_->lastError()));
    return false;
  }
  // The row leaving the window lends its storage to the new one.
  Row row;
  if (window_.size() >= kWindowRows) {
    row = std::move(window_.front());
    window_.pop_front();
    ++windowFirst_;
  }
  const size_t n = kinds_.size();
  row.raw.resize(n);
  if (direct) {
    row.values.resize(n);
    readStatementRow(row);
  } else {
    row.values.assign(n, Variant());
    for (size_t i = 0; i < n; ++i) row.raw[i] = query_->value(int(i));
    // The driver has the first row from running the query; the statement
    // stands on it, and the rows after it are read here.
    if (!stmt_) stmt_ = statement();
  }
  window_.push_back(std::move(row));
  return true;
}

void SqlDataSet::readStatementRow(Row& row) const {
  // The same values the driver gives, column by column. Those whose report
  // value says all the driver's would (whole numbers outside floating-point
  // columns, floating point, Null, ASCII text) are kept as that value alone;
  // dates and Booleans, whatever they are stored as, have readings of their
  // own and keep the driver's form.
  for (size_t i = 0; i < row.raw.size(); ++i) {
    const int c = int(i);
    const FieldKind kind = kinds_[i];
    const bool plainKind = kind != FieldKind::DateTime && kind != FieldKind::Boolean;
    QVariant& raw = row.raw[i];
    Variant& value = row.values[i];
    // The storage is a row read before; only what this row has stays.
    if (raw.isValid()) raw.clear();
    switch (sqlite3_column_type(stmt_, c)) {
      case SQLITE_INTEGER: {
        const int64_t n = sqlite3_column_int64(stmt_, c);
        if (plainKind && kind != FieldKind::Float) {
          value = Variant(n);
        } else {
          raw = QVariant(qlonglong(n));
          value = Variant();
        }
        break;
      }
      case SQLITE_FLOAT: {
        const double d = sqlite3_column_double(stmt_, c);
        if (plainKind) {
          value = Variant(d);
        } else {
          raw = QVariant(d);
          value = Variant();
        }
        break;
      }
      case SQLITE_NULL:
        value = Variant::null();
        break;
      case SQLITE_BLOB:
        raw = QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt_, c)),
                                  sqlite3_column_bytes(stmt_, c)));
        value = Variant();
        break;
      default: {
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, c));
        const size_t size = size_t(sqlite3_column_bytes(stmt_, c));
        // ASCII is the same in UTF-8 and in the model's code page.
        if (plainKind && isPlainAscii(text, size)) {
          value = Variant(std::string_view(text ? text : "", size));
        } else {
          const auto* wide = static_cast<const QChar*>(sqlite3_column_text16(stmt_, c));
          raw = QVariant(QString(wide, sqlite3_column_bytes16(stmt_, c) / 2));
          value = Variant();
        }
      }
    }
  }
}

void SqlDataSet::doOpen(std::vector<DbField>& fields) {
  if (!database_.isValid()) fail("no database connection");
  if (!database_.isOpen()) fail("the database connection is not open");
  query_ = std::make_unique<QSqlQuery>(database_);
  // Rows are read once, in order, and only the last few are kept, so a data
  // set costs the same memory whatever the number of its rows. Going back
  // further than that runs the query again.
  query_->setForwardOnly(true);
  // Exact decimals become floating point, as the report's numbers are.
  query_->setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
  try {
    execute();
    if (!query_->isSelect()) fail("the query returns no rows");
  } catch (...) {
    query_.reset();
    throw;
  }
  const std::vector<QString> declared = sqliteDeclaredTypes(*query_);
  const QSqlRecord record = query_->record();
  kinds_.clear();
  for (int i = 0; i < record.count(); ++i) {
    const QSqlField f = record.field(i);
    FieldKind kind = FieldKind::Unknown;
    if (size_t(i) < declared.size()) kind = kindFromDeclaredType(declared[size_t(i)]);
    if (kind == FieldKind::Unknown) kind = kindFromMetaType(f.metaType());
    kinds_.push_back(kind);
    fields.push_back({toModelText(f.name()), kind});
  }
}

void SqlDataSet::doClose() {
  query_.reset();
  kinds_.clear();
  window_.clear();
  stmt_ = nullptr;
  current_ = nullptr;
}

bool SqlDataSet::fetch(int64_t row) {
  if (!query_ || row < 0) return false;
  if (row < windowFirst_) execute();
  while (windowFirst_ + int64_t(window_.size()) <= row)
    if (!advance()) return false;
  current_ = &window_[size_t(row - windowFirst_)];
  return true;
}

Variant SqlDataSet::value(int index) const {
  const size_t i = size_t(index);
  Variant& v = current_->values[i];
  if (v.isEmpty()) v = fromQVariant(current_->raw[i], kinds_[i]);
  return v;
}

std::vector<uint8_t> SqlDataSet::bytes(int index) const {
  const QVariant& v = current_->raw[size_t(index)];
  if (!v.isValid()) {
    // A value read without a raw form: what the driver's would have given.
    const Variant& value = current_->values[size_t(index)];
    std::string s;
    if (value.kind() == Variant::Kind::String)
      s = value.str();
    else if (value.kind() == Variant::Kind::Int)
      s = toModelText(QVariant(qlonglong(value.toInt())).toString());
    else if (value.kind() == Variant::Kind::Double)
      s = toModelText(QVariant(value.toDouble()).toString());
    return std::vector<uint8_t>(s.begin(), s.end());
  }
  if (v.isNull()) return {};
  if (v.metaType().id() == QMetaType::QByteArray) {
    const QByteArray b = v.toByteArray();
    return std::vector<uint8_t>(b.begin(), b.end());
  }
  const std::string s = toModelText(v.toString());
  return std::vector<uint8_t>(s.begin(), s.end());
}

}  // namespace orv
