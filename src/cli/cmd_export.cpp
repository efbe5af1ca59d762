#include <QString>

#include "cli/cli.h"
#include "cli/cli_common.h"
#include "export/report_export.h"
#include "platform/codepage.h"

namespace orv::cli {
namespace {

int runExport(const std::vector<std::string>& argv) {
  Args args(argv);
  const std::string out = args.option("--output", "-o", "");
  const std::string list = args.option("--pages", "");
  const std::string separator = args.option("--separator", "");
  ExportOptions options;
  options.sheetPerPage = args.flag("--sheet-per-page");
  options.keepPageBands = args.flag("--keep-page-bands");
  const std::string path = args.positional("FILE");
  args.done();
  if (out.empty()) throw UsageError("missing -o OUT.xlsx|.csv|.html|.txt");
  const auto format = exportFormatForPath(QString::fromStdString(out));
  if (!format) throw UsageError("OUT must end in .xlsx, .csv, .html or .txt");
  if (!separator.empty()) {
    if (*format != ExportFormat::Csv) throw UsageError("--separator is for .csv files");
    if (separator.size() != 1 || separator == "\"" || separator == "\r" || separator == "\n")
      throw UsageError("--separator takes one character other than a quote or a line break");
    options.separator = separator[0];
  }
  if ((options.sheetPerPage) && *format != ExportFormat::Xlsx)
    throw UsageError("--sheet-per-page is for .xlsx files");
  if (options.keepPageBands && *format != ExportFormat::Xlsx && *format != ExportFormat::Csv)
    throw UsageError("--keep-page-bands is for .xlsx and .csv files");
  Session s;
  s.load(path);
  TfrEMFPages& pages = s.report.EMFPages;
  const std::vector<int> indices = selectedPages(list, pages.Count());
  options.title = s.report.Title.empty() ? QString::fromStdString(path).section('/', -1)
                                         : decodeBytes(s.report.Title, 1252);
  writeOutputFile(out, [&](QIODevice& d) { exportPages(pages, indices, *format, options, d); });
  return kExitOk;
}

Registrar exportCommand(
    {"export",
     "export FILE -o OUT.xlsx|.csv|.html|.txt [--pages LIST] [--sheet-per-page] "
     "[--keep-page-bands] [--separator C]",
     "write the pages as a spreadsheet, a CSV table, a web page or laid-out text", runExport});

}  // namespace
}  // namespace orv::cli
