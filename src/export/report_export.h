#pragma once
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QIODevice;

namespace orv {

class TfrEMFPages;
class SheetGrid;

// A report's pages as a spreadsheet, a CSV table, a web page or plain text.
enum class ExportFormat { Xlsx, Csv, Html, Text };

// The format a file name asks for by its suffix (.xlsx, .csv, .html/.htm,
// .txt), if any.
std::optional<ExportFormat> exportFormatForPath(const QString& path);
// The usual suffix of a format, without the dot.
const char* exportSuffix(ExportFormat format);

struct ExportOptions {
  // Spreadsheet: one sheet per page instead of one table of all pages. Every
  // sheet then keeps its page's headers and footers.
  bool sheetPerPage = false;
  // Spreadsheet and CSV: keep the page headers and footers repeated on every
  // page (by default only the first page's header stays).
  bool keepPageBands = false;
  // CSV: the field separator; with ';' numbers take a decimal comma.
  char separator = ',';
  // HTML: the document's title.
  QString title;
};

// Progress of an export: `done` of `total` steps; returning false stops it.
using ExportProgress = std::function<bool(int done, int total)>;

// Writes the pages (0-based, in the order given) to `out`. Pages are drawn one
// at a time, exactly as the screen draws them, and released again, so that
// a report of any length exports in the memory of a few pages. Returns false
// when `progress` stopped the export (`out` then holds an unfinished file the
// caller discards). Raises ExportError or the page's own error when a page
// cannot be drawn or the file cannot be made.
bool exportPages(TfrEMFPages& pages, const std::vector<int>& indices, ExportFormat format,
                 const ExportOptions& options, QIODevice& out, const ExportProgress& progress = {});

// The formats' writers, for exportPages. Each reports progress over `steps`
// of its own, counted from `first`.
bool writeXlsx(TfrEMFPages& pages, const std::vector<int>& indices, const SheetGrid& grid,
               const ExportOptions& options, QIODevice& out, const ExportProgress& step);
bool writeCsv(TfrEMFPages& pages, const std::vector<int>& indices, const SheetGrid& grid,
              const ExportOptions& options, QIODevice& out, const ExportProgress& step);
bool writeHtml(TfrEMFPages& pages, const std::vector<int>& indices, const ExportOptions& options,
               QIODevice& out, const ExportProgress& step);
bool writeLayoutText(TfrEMFPages& pages, const std::vector<int>& indices, QIODevice& out,
                     const ExportProgress& step);

}  // namespace orv
