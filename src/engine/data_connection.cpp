#include "engine/data_connection.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>
#include <atomic>

#include "engine/csv_dataset.h"
#include "engine/sql_dataset.h"
#include "model/text_util.h"
#include "platform/codepage.h"

namespace orv {

namespace {

QString uniqueConnectionName() {
  static std::atomic<int> counter{0};
  return QStringLiteral("orv-db-%1").arg(++counter);
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && sameText(s.substr(0, prefix.size()), prefix);
}

void requireDriver(const char* driver, const char* package) {
  if (!QSqlDatabase::isDriverAvailable(QString::fromLatin1(driver)))
    throw Error(std::string("the Qt SQL driver ") + driver + " is not installed (Debian package " +
                package + ")");
}

QSqlDatabase openSqlite(std::string_view rest) {
  requireDriver("QSQLITE", "libqt6sql6-sqlite");
  std::string path(rest);
  if (path.starts_with("//")) path.erase(0, 2);
  const bool memory = path == ":memory:";
  if (path.empty()) throw Error("the SQLite URL names no file (sqlite:/path/file.db)");
  if (!memory && !QFileInfo(QString::fromLocal8Bit(path.c_str())).isFile())
    throw Error("no SQLite database \"" + path + "\"");
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), uniqueConnectionName());
  db.setDatabaseName(QString::fromLocal8Bit(path.c_str()));
  // A report only reads; a read-only connection can neither change the data
  // nor leave a new file behind.
  if (!memory) db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
  if (!db.open()) {
    const std::string reason = sqlErrorReason(db.lastError());
    closeDatabase(db);
    throw Error("cannot open the SQLite database \"" + path + "\": " + reason);
  }
  // A report's queries sort their rows (ORDER BY), and SQLite sorts within
  // its page cache's size, spilling to temporary files beyond it. The default
  // 2 MB spilled the sorting of a hundred thousand rows, a twentieth of the run;
  // 8 MB sorts them in memory and still bounds what any query costs.
  QSqlQuery(db).exec(QStringLiteral("PRAGMA cache_size = -8192"));
  return db;
}

QSqlDatabase openPostgres(std::string_view url) {
  requireDriver("QPSQL", "libqt6sql6-psql");
  const QUrl u(QString::fromUtf8(url.data(), qsizetype(url.size())), QUrl::StrictMode);
  if (!u.isValid()) throw Error("the database URL is not valid: " + toModelText(u.errorString()));
  QString host = u.host();
  int port = u.port();
  QString user = u.userName();
  QString password = u.password();
  QString dbname = u.path();
  if (dbname.startsWith(u'/')) dbname.remove(0, 1);
  QStringList options;
  const QUrlQuery query(u);
  for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
    if (key == u"host") {
      host = value;
    } else if (key == u"port") {
      bool ok = false;
      port = value.toInt(&ok);
      if (!ok) throw Error("the database URL has a port that is no number");
    } else if (key == u"user") {
      user = value;
    } else if (key == u"password") {
      password = value;
    } else if (key == u"dbname") {
      dbname = value;
    } else {
      // The options travel as "key=value;key=value": keep them unambiguous.
      if (key.contains(u';') || key.contains(u'=') || value.contains(u';'))
        throw Error("the database URL has an option that cannot be passed on: " + toModelText(key));
      options << key + u'=' + value;
    }
  }
  if (dbname.isEmpty()) throw Error("the PostgreSQL URL names no database");
  // A server that cannot be reached, or a network that goes quiet in the
  // middle of a run, ends the run with the reason instead of holding it for
  // the system's minutes-long TCP time-outs. The URL may say otherwise.
  for (const char* option : {"connect_timeout=10", "keepalives_idle=15", "keepalives_interval=5",
                             "keepalives_count=3", "tcp_user_timeout=30000"}) {
    const QString key = QString::fromLatin1(option).section(u'=', 0, 0) + u'=';
    if (std::none_of(options.begin(), options.end(),
                     [&](const QString& o) { return o.startsWith(key); }))
      options << QString::fromLatin1(option);
  }
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), uniqueConnectionName());
  db.setHostName(host);
  if (port > 0) db.setPort(port);
  db.setUserName(user);
  db.setPassword(password);
  db.setDatabaseName(dbname);
  if (!options.isEmpty()) db.setConnectOptions(options.join(u';'));
  if (!db.open()) {
    const std::string reason = sqlErrorReason(db.lastError());
    closeDatabase(db);
    throw Error("cannot connect to the PostgreSQL database \"" + toModelText(dbname) +
                "\": " + reason);
  }
  return db;
}

}  // namespace

QSqlDatabase openDatabaseUrl(std::string_view url) {
  if (startsWithNoCase(url, "sqlite:")) return openSqlite(url.substr(7));
  if (startsWithNoCase(url, "postgresql://") || startsWithNoCase(url, "postgres://"))
    return openPostgres(url);
  const size_t colon = url.find(':');
  const std::string scheme(colon == std::string_view::npos ? url : url.substr(0, colon));
  throw Error("unknown database URL scheme \"" + scheme +
              "\" (use sqlite:/path/file.db or postgresql://user@host/dbname)");
}

void closeDatabase(QSqlDatabase& database) {
  const QString name = database.connectionName();
  database.close();
  database = QSqlDatabase();
  if (!name.isEmpty()) QSqlDatabase::removeDatabase(name);
}

TfrDBDataSet& addDatasetDefinition(TfrDataComponents& components, std::string_view definition,
                                   const QSqlDatabase* database) {
  const size_t eq = definition.find('=');
  if (eq == std::string_view::npos || eq == 0)
    throw Error("a data set is given as NAME=SQL or NAME=csv:FILE, not \"" +
                std::string(definition) + "\"");
  const std::string name(definition.substr(0, eq));
  const std::string_view source = definition.substr(eq + 1);
  // A band reads a leading digit as a repeat count and a point or a quote as
  // part of a field reference, so such names could never be reached.
  if (name[0] >= '0' && name[0] <= '9')
    throw Error("the data set name \"" + name + "\" must not begin with a digit");
  for (char c : name)
    if (c == '.' || c == '"' || c == ';' || c == '[' || c == ']' || uint8_t(c) <= ' ')
      throw Error("the data set name \"" + name + "\" may not contain '" + std::string(1, c) + "'");
  if (components.find(name)) throw Error("the data set \"" + name + "\" is given twice");

  std::unique_ptr<DbDataSet> rows;
  if (startsWithNoCase(source, "csv:")) {
    const std::string path(source.substr(4));
    if (path.empty()) throw Error("the data set \"" + name + "\" names no CSV file");
    rows = std::make_unique<CsvDataSet>(name, path);
  } else {
    if (source.empty()) throw Error("the data set \"" + name + "\" has no query");
    if (!database || !database->isValid())
      throw Error("the data set \"" + name + "\" is a query, but no database was given");
    rows = std::make_unique<SqlDataSet>(name, *database, std::string(source));
  }
  DbDataSet& owned = components.own(std::move(rows));
  auto report = std::make_unique<TfrDBDataSet>(name);
  report->setDataSet(&owned);
  return components.add(std::move(report));
}

DataSources::~DataSources() {
  components_.clear();
  if (database_.isValid()) closeDatabase(database_);
}

void DataSources::connect(std::string_view url) {
  if (database_.isValid()) throw Error("only one database can be given");
  database_ = openDatabaseUrl(url);
}

TfrDBDataSet& DataSources::addDataset(std::string_view definition) {
  return addDatasetDefinition(components_, definition, database_.isValid() ? &database_ : nullptr);
}

}  // namespace orv
