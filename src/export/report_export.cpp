#include "export/report_export.h"

#include <QFileInfo>
#include <QIODevice>

#include "export/page_record.h"
#include "export/sheet_grid.h"
#include "prepared/emf_pages.h"

namespace orv {

std::optional<ExportFormat> exportFormatForPath(const QString& path) {
  const QString s = QFileInfo(path).suffix().toLower();
  if (s == "xlsx") return ExportFormat::Xlsx;
  if (s == "csv") return ExportFormat::Csv;
  if (s == "html" || s == "htm") return ExportFormat::Html;
  if (s == "txt") return ExportFormat::Text;
  return std::nullopt;
}

const char* exportSuffix(ExportFormat format) {
  switch (format) {
    case ExportFormat::Xlsx:
      return "xlsx";
    case ExportFormat::Csv:
      return "csv";
    case ExportFormat::Html:
      return "html";
    case ExportFormat::Text:
      return "txt";
  }
  return "";
}

bool exportPages(TfrEMFPages& pages, const std::vector<int>& indices, ExportFormat format,
                 const ExportOptions& options, QIODevice& out, const ExportProgress& progress) {
  const int n = int(indices.size());
  if (format == ExportFormat::Html) return writeHtml(pages, indices, options, out, progress);
  if (format == ExportFormat::Text) return writeLayoutText(pages, indices, out, progress);
  // Tables read every page twice: once for the columns and the repeated
  // headers, once to write the rows.
  SheetGrid grid({options.keepPageBands || options.sheetPerPage});
  int done = 0;
  for (int i : indices) {
    grid.survey(recordPage(pages, i));
    if (++done; progress && !progress(done, 2 * n)) return false;
  }
  grid.finishSurvey();
  const ExportProgress second = [&](int d, int) { return !progress || progress(n + d, 2 * n); };
  if (format == ExportFormat::Xlsx) return writeXlsx(pages, indices, grid, options, out, second);
  return writeCsv(pages, indices, grid, options, out, second);
}

}  // namespace orv
