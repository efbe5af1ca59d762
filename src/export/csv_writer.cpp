#include <QIODevice>

#include "export/page_record.h"
#include "export/report_export.h"
#include "export/sheet_grid.h"
#include "prepared/emf_pages.h"

namespace orv {

namespace {

// A field as RFC 4180 has it: quoted, with quotes doubled, when it holds the
// separator, a quote or a line break.
void appendField(std::string& line, const std::string& field, char separator) {
  if (field.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string::npos) {
    line += field;
    return;
  }
  line += '"';
  for (char c : field) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

std::string fieldText(const GridCell& cell, char decimalMark) {
  switch (cell.value.kind) {
    case CellValue::Kind::Number:
      return plainNumber(cell.value.number, decimalMark);
    case CellValue::Kind::Date:
    case CellValue::Kind::Time:
    case CellValue::Kind::DateTime:
      return isoDateTime(cell.value);
    case CellValue::Kind::Text:
      break;
  }
  // Lines of a text object end in CR LF like the records do.
  return cell.text.toStdString();
}

// A device that fails says so when the file is closed (see replaceFile).
void put(QIODevice& out, const std::string& bytes) {
  out.write(bytes.data(), qint64(bytes.size()));
}

}  // namespace

bool writeCsv(TfrEMFPages& pages, const std::vector<int>& indices, const SheetGrid& grid,
              const ExportOptions& options, QIODevice& out, const ExportProgress& step) {
  const char sep = options.separator ? options.separator : ',';
  const char mark = sep == ';' ? ',' : '.';
  const int columns = std::max(1, grid.columnCount());
  int done = 0;
  std::string text;
  for (int i : indices) {
    text.clear();
    for (const GridRow& row : grid.rows(recordPage(pages, i))) {
      int col = 0;
      for (const GridCell& cell : row.cells) {
        for (; col < cell.col; ++col) text += sep;
        appendField(text, fieldText(cell, mark), sep);
      }
      // Every line has the same number of fields.
      for (++col; col < columns; ++col) text += sep;
      text += "\r\n";
    }
    put(out, text);
    if (++done; step && !step(done, int(indices.size()))) return false;
  }
  return true;
}

}  // namespace orv
