// frptool prepare: runs a report template into a prepared report.
#include <unistd.h>

#include <QSqlDatabase>
#include <cstdio>
#include <optional>

#include "cli/cli.h"
#include "cli/cli_common.h"
#include "engine/data_connection.h"
#include "engine/report_ui.h"
#include "model/text_util.h"
#include "platform/codepage.h"
#include "prepared/frp_error.h"
#include "prepared/page_export.h"

namespace orv::cli {

namespace {

// Answers the template's questions from the command line and keeps what the
// run would have shown in a message box, to print it as the command's error.
class PrepareUi : public ReportUi {
 public:
  explicit PrepareUi(std::optional<std::string> password) : password_(std::move(password)) {}
  void ShowError(const std::string& text, const std::string& detail) override {
    message = detail.empty() ? text : text + ": " + detail;
  }
  bool AskPassword(std::string& password) override {
    if (!password_) return false;
    password = *password_;
    return true;
  }
  std::string message;

 private:
  std::optional<std::string> password_;
};

// The error text of a run has carriage returns between its lines.
std::string printable(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\r' ? '\n' : c;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return toUtf8(out);
}

int runPrepare(const std::vector<std::string>& argv) {
  Args args(argv);
  const std::string out = args.option("--output", "-o", "");
  const std::string pdf = args.option("--pdf", "");
  const std::string db = args.option("--db", "");
  std::optional<std::string> password;
  if (std::find(args.rest.begin(), args.rest.end(), "--password") != args.rest.end())
    password = args.option("--password", "");
  std::vector<std::string> datasets;
  for (std::string d; !(d = args.option("--dataset", "")).empty();) datasets.push_back(d);
  // Each record of this data set repeats the whole report.
  const std::string each = args.option("--each", "");
  const TfrVariables vars = takeVarOptions(args);
  const std::string path = args.positional("TEMPLATE");
  args.done();
  if (out.empty() && pdf.empty()) throw UsageError("missing -o OUT.frp (or --pdf OUT.pdf)");

  Session s;
  PrepareUi ui(password);
  TfrReport& report = s.report;
  report.Ui = &ui;
  const TemplateLoadResult loaded = report.LoadFromFile(path);
  if (!loaded.ok()) throw FileError(path, loaded.reason.empty() ? ui.message : loaded.reason);
  if (loaded.status == TemplateLoadResult::Status::MissingClasses)
    std::fprintf(stderr, "frptool: %s: objects of unknown classes left out: %s\n", path.c_str(),
                 toUtf8(loaded.reason).c_str());

  QSqlDatabase database;
  if (!db.empty()) {
    try {
      database = openDatabaseUrl(db);
    } catch (const Error& e) {
      throw FileError(db, e.what());
    }
  }
  struct Closer {
    QSqlDatabase& d;
    ~Closer() {
      if (d.isValid()) closeDatabase(d);
    }
  } closer{database};
  for (const std::string& d : datasets) {
    try {
      addDatasetDefinition(report.Components, d, db.empty() ? nullptr : &database);
    } catch (const Error& e) {
      throw UsageError(std::string("--dataset ") + d + ": " + e.what());
    }
  }
  if (!each.empty()) {
    report.Dataset = report.Components.findDataset(each);
    if (!report.Dataset) throw UsageError("--each " + each + ": no data set of that name");
    report.ReportType = TfrReport::rtMultiple;
  }
  // Every data set comes from the command line: one the template names and
  // no --dataset gives is a mistake to report, not a report without records.
  report.RequireDataSets = true;
  report.OnGetValue = [&vars](const std::string& name, Variant& value) {
    if (vars.IndexOf(name) >= 0) value = vars.value(name);
  };
  const bool terminal = isatty(STDERR_FILENO);
  if (terminal)
    report.OnProgress = [](int n) { std::fprintf(stderr, "\rpreparando página %d", n); };
  const bool ok = report.PrepareReport();
  if (terminal) std::fprintf(stderr, "\r\033[K");
  if (!ok) {
    const std::string reason = !report.LastError.empty() ? report.LastError
                               : !ui.message.empty()     ? ui.message
                                                         : "the report produced no pages";
    throw FileError(path, printable(reason));
  }
  if (!out.empty()) {
    try {
      report.SavePreparedReport(out);
    } catch (const PreparedFileError& e) {
      throw FileError(e.file, e.reason);
    } catch (const Error& e) {
      throw FileError(out, e.what());
    }
  }
  if (!pdf.empty()) {
    std::vector<int> all(size_t(report.EMFPages.Count()));
    for (size_t i = 0; i < all.size(); ++i) all[i] = int(i);
    writePdfFile(report.EMFPages, all, pdf);
  }
  return kExitOk;
}

Registrar prepare({"prepare",
                   "prepare TEMPLATE.frf -o OUT.frp [--pdf OUT.pdf] [--db URL] "
                   "[--dataset NAME=SQL|csv:FILE]... [--each NAME] [--var NAME=VALUE]... "
                   "[--password TEXT]",
                   "run a report template through the engine into a prepared report", runPrepare});

}  // namespace

}  // namespace orv::cli
