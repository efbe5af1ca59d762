#include <QDateTime>
#include <cmath>
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "cli/cli_common.h"
#include "model/views.h"

namespace orv::cli {
namespace {

// frptool never waits for anyone: the password comes from the command line
// and the messages are left to the command, which knows the file's name.
class CommandLineUi : public ReportUi {
 public:
  explicit CommandLineUi(const std::string* password) : password_(password) {}
  void ShowError(const std::string&, const std::string&) override {}
  bool AskPassword(std::string& password) override {
    if (!password_) return false;
    password = *password_;
    return true;
  }

 private:
  const std::string* password_;
};

const char* typeName(uint8_t code) {
  switch (code) {
    case gtMemo:
      return "text";
    case gtPicture:
      return "picture";
    case gtBand:
      return "band";
    case gtSubReport:
      return "subreport";
    case gtLine:
      return "line";
    default:
      return "addin";
  }
}

// Day counts from 30/12/1899 as text; out-of-range values print as numbers.
std::string dateText(double days, bool iso) {
  if (!std::isfinite(days) || std::fabs(days) > 3e6) return std::to_string(days);
  const double whole = std::floor(days);
  const qint64 ms = std::llround((days - whole) * 86400000.0);
  const QDateTime t(QDate(1899, 12, 30).addDays(static_cast<qint64>(whole)), QTime(0, 0));
  return t.addMSecs(ms).toString(iso ? "yyyy-MM-ddTHH:mm:ss" : "dd/MM/yyyy HH:mm").toStdString();
}

std::string js(const std::string& cp1252) {
  return jsonString(toUtf8(cp1252));
}

std::string jsonLines(const StringList& lines) {
  std::string out = "[";
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) out += ',';
    out += js(lines[i]);
  }
  return out + "]";
}

std::string jsonList(const TfrVariables& list) {
  std::string out = "[";
  for (int i = 0; i < list.Count(); ++i) {
    if (i) out += ',';
    out += "{\"name\":" + js(list.nameAt(i)) + ",\"value\":" + js(list.valueAt(i).toString()) + "}";
  }
  return out + "]";
}

std::string jsonObject(TfrView& v) {
  std::string out = "{\"type\":" + std::to_string(v.TypeCode) + ",\"kind\":\"" +
                    typeName(v.TypeCode) + "\",\"class\":" + jsonString(v.ClassName()) +
                    ",\"name\":" + js(v.Name) + ",\"left\":" + std::to_string(v.Left) +
                    ",\"top\":" + std::to_string(v.Top) + ",\"width\":" + std::to_string(v.Width) +
                    ",\"height\":" + std::to_string(v.Height);
  if (auto* band = dynamic_cast<TfrBandView*>(&v))
    out += ",\"bandType\":" + std::to_string(band->BandType()) +
           ",\"dataSource\":" + js(band->FormatStr);
  if (auto* sub = dynamic_cast<TfrSubReportView*>(&v))
    out += ",\"subReportPage\":" + std::to_string(sub->SubReportPage);
  return out + ",\"memo\":" + jsonLines(v.Memo) + ",\"script\":" + jsonLines(v.BeforePrintScript) +
         "}";
}

void printJson(TfrReport& r, const TemplateLoadResult& res) {
  std::string out = "{\"version\":" + std::to_string(res.streamVersion) +
                    ",\"printer\":" + js(r.TemplatePrinter) +
                    ",\"ignoreStoredPrinter\":" + (r.IgnoreStoredPrinter ? "true" : "false") +
                    ",\"doublePass\":" + (r.DoublePassReport ? "true" : "false");
  out += ",\"info\":{\"name\":" + js(r.InfoName) + ",\"comment\":" + js(r.InfoComment) +
         ",\"author\":" + js(r.InfoAuthor) + ",\"versionMajor\":" + js(r.InfoVersionMajor) +
         ",\"versionMinor\":" + js(r.InfoVersionMinor) +
         ",\"versionRelease\":" + js(r.InfoVersionRelease) +
         ",\"versionBuild\":" + js(r.InfoVersionBuild) +
         ",\"created\":" + jsonString(dateText(r.CreatedAt, true)) +
         ",\"changed\":" + jsonString(dateText(r.ChangedAt, true)) +
         ",\"writerVersion\":" + std::to_string(r.WriterVersion) +
         ",\"passwordRequired\":" + (r.PasswordRequired ? "true" : "false") + "}";
  const TfrDataDictionary& d = r.Dictionary;
  out += ",\"dictionary\":{\"variables\":" + jsonList(d.Variables) +
         ",\"fieldAliases\":" + jsonList(d.FieldAliases) +
         ",\"bandDataSources\":" + jsonList(d.BandDatasources) + "}";
  out += ",\"missingClasses\":" + jsonLines(res.status == TemplateLoadResult::Status::MissingClasses
                                                ? splitLines(res.reason)
                                                : StringList{});
  out += ",\"pages\":[";
  for (size_t i = 0; i < r.Pages.Count(); ++i) {
    TfrPage& p = r.Pages.Page(i);
    if (i) out += ',';
    out += "{\"name\":" + js(p.Name) + ",\"kind\":\"" +
           (p.PageKind == ptDialog ? "dialog" : "report") +
           "\",\"paperSize\":" + std::to_string(p.PaperSize) +
           ",\"paperWidth\":" + std::to_string(p.PaperWidth) +
           ",\"paperHeight\":" + std::to_string(p.PaperHeight) +
           ",\"orientation\":" + std::to_string(p.Orientation) +
           ",\"bin\":" + std::to_string(p.Bin) + ",\"margins\":[" + std::to_string(p.Margins.left) +
           "," + std::to_string(p.Margins.top) + "," + std::to_string(p.Margins.right) + "," +
           std::to_string(p.Margins.bottom) +
           "],\"useMargins\":" + (p.UseMargins ? "true" : "false") +
           ",\"printToPrevPage\":" + (p.PrintToPrevPage ? "true" : "false") +
           ",\"columns\":" + std::to_string(p.Columns) +
           ",\"columnGap\":" + std::to_string(p.ColumnGap) + ",\"caption\":" + js(p.Caption) +
           ",\"script\":" + jsonLines(p.PageScript) + ",\"objects\":[";
    for (size_t k = 0; k < p.Objects.size(); ++k) {
      if (k) out += ',';
      out += jsonObject(*p.Objects[k]);
    }
    out += "]}";
  }
  out += "]}\n";
  std::fputs(out.c_str(), stdout);
}

void printLines(const char* label, const StringList& lines) {
  for (const std::string& l : lines) std::printf("         %s %s\n", label, toUtf8(l).c_str());
}

void printList(const char* label, const TfrVariables& list) {
  for (int i = 0; i < list.Count(); ++i)
    std::printf("    %s \"%s\" = \"%s\"\n", label, toUtf8(list.nameAt(i)).c_str(),
                toUtf8(list.valueAt(i).toString()).c_str());
}

void printText(TfrReport& r, const TemplateLoadResult& res, const std::string& path) {
  std::printf("%s\n", path.c_str());
  std::printf("  format:     template version %d\n", res.streamVersion);
  std::printf("  printer:    %s%s\n", toUtf8(r.TemplatePrinter).c_str(),
              r.IgnoreStoredPrinter ? " (not selected on load)" : "");
  std::printf("  two passes: %s\n", r.DoublePassReport ? "yes" : "no");
  std::printf("  name:       %s\n", toUtf8(r.InfoName).c_str());
  std::printf("  comment:    %s\n", toUtf8(r.InfoComment).c_str());
  std::printf("  author:     %s\n", toUtf8(r.InfoAuthor).c_str());
  std::printf("  version:    %s.%s.%s.%s\n", toUtf8(r.InfoVersionMajor).c_str(),
              toUtf8(r.InfoVersionMinor).c_str(), toUtf8(r.InfoVersionRelease).c_str(),
              toUtf8(r.InfoVersionBuild).c_str());
  std::printf("  created:    %s\n", dateText(r.CreatedAt, false).c_str());
  std::printf("  changed:    %s\n", dateText(r.ChangedAt, false).c_str());
  std::printf("  writer:     %d\n", r.WriterVersion);
  std::printf("  password:   %s\n", r.PasswordRequired ? "required" : "none");
  const TfrDataDictionary& d = r.Dictionary;
  std::printf("  dictionary: %d variables, %d field aliases, %d band data sources\n",
              d.Variables.Count(), d.FieldAliases.Count(), d.BandDatasources.Count());
  printList("variable", d.Variables);
  printList("alias", d.FieldAliases);
  printList("band source", d.BandDatasources);
  for (size_t i = 0; i < r.Pages.Count(); ++i) {
    TfrPage& p = r.Pages.Page(i);
    std::printf(
        "  page %zu \"%s\": %s page, paper %d (%d x %d mm/10, %s), bin %d, margins %d %d %d %d%s, "
        "%d columns (gap %d), %zu objects\n",
        i + 1, toUtf8(p.Name).c_str(), p.PageKind == ptDialog ? "dialog" : "report", p.PaperSize,
        p.PaperWidth, p.PaperHeight, p.Orientation ? "landscape" : "portrait", p.Bin,
        p.Margins.left, p.Margins.top, p.Margins.right, p.Margins.bottom,
        p.UseMargins ? "" : ", whole paper", p.Columns, p.ColumnGap, p.Objects.size());
    for (const std::string& l : p.PageScript) std::printf("    script %s\n", toUtf8(l).c_str());
    for (size_t k = 0; k < p.Objects.size(); ++k) {
      TfrView& v = *p.Objects[k];
      std::printf("    %zu. %s \"%s\" %s at (%d, %d) %d x %d", k + 1, typeName(v.TypeCode),
                  toUtf8(v.Name).c_str(), v.ClassName(), v.Left, v.Top, v.Width, v.Height);
      if (auto* band = dynamic_cast<TfrBandView*>(&v))
        std::printf(", band type %d, data \"%s\"", band->BandType(),
                    toUtf8(band->FormatStr).c_str());
      std::printf("\n");
      printLines("memo  ", v.Memo);
      printLines("script", v.BeforePrintScript);
    }
  }
}

int run(const std::vector<std::string>& argv) {
  Args args(argv);
  const bool json = args.flag("--json");
  const bool hasPassword =
      std::find(args.rest.begin(), args.rest.end(), "--password") != args.rest.end() ||
      std::any_of(args.rest.begin(), args.rest.end(),
                  [](const std::string& a) { return a.rfind("--password=", 0) == 0; });
  const std::string password = args.option("--password");
  const std::string path = args.positional("FILE");
  args.done();
  Session s;
  CommandLineUi ui(hasPassword ? &password : nullptr);
  TfrReport& r = s.report;
  r.Ui = &ui;
  TemplateLoadResult res = r.LoadFromFile(path);
  using Status = TemplateLoadResult::Status;
  if (res.status == Status::PasswordRefused && !hasPassword)
    res.reason += " (give it with --password)";
  if (!res.ok()) throw FileError(path, res.reason);
  if (res.status == Status::MissingClasses) {
    std::string names;
    for (const std::string& n : splitLines(res.reason)) {
      if (!names.empty()) names += ", ";
      names += toUtf8(n);
    }
    std::fprintf(stderr, "frptool: %s: objects of classes nobody registered were left out: %s\n",
                 path.c_str(), names.c_str());
  }
  if (json)
    printJson(r, res);
  else
    printText(r, res, path);
  return kExitOk;
}

Registrar reg({"template", "template [--json] [--password TEXT] FILE.frf",
               "describe a report template: pages, objects, dictionary, information", run});

}  // namespace
}  // namespace orv::cli
