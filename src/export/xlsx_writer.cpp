#include <xlsxwriter.h>

#include <QFile>
#include <QIODevice>
#include <QTemporaryDir>
#include <map>

#include "export/page_record.h"
#include "export/report_export.h"
#include "export/sheet_grid.h"
#include "prepared/emf_pages.h"
#include "prepared/page_export.h"

namespace orv {

namespace {

// A spreadsheet's limits: rows of one sheet and the sheets a workbook of
// pages may sensibly hold (each open sheet keeps a temporary file).
constexpr int kMaxRows = 1048576;
constexpr int kMaxSheets = 1000;
constexpr size_t kMaxCellText = 32767;

[[noreturn]] void fail(const std::string& what) {
  throw ExportError(FrpProblem(FrpReason::CannotWriteSpreadsheet).about(what));
}

void check(lxw_error e) {
  if (e != LXW_NO_ERROR) fail(lxw_strerror(e));
}

uint32_t sheetColor(Color c) {
  const Color r = resolveColor(c);
  return (uint32_t(redOf(r)) << 16) | (uint32_t(greenOf(r)) << 8) | blueOf(r);
}

// The workbook's cell formats, made once per look.
class Formats {
 public:
  explicit Formats(lxw_workbook* wb) : wb_(wb) {}
  lxw_format* get(const CellStyle& s, const std::string& numberFormat) {
    const std::string key =
        s.fontName.toStdString() + '\x1f' + std::to_string(s.points) + '\x1f' + char('0' + s.bold) +
        char('0' + s.italic) + char('0' + s.underline) + char('0' + s.wrap) + char('0' + s.align) +
        '\x1f' + std::to_string(s.color) + '\x1f' + std::to_string(s.fill) + '\x1f' + numberFormat;
    auto it = formats_.find(key);
    if (it != formats_.end()) return it->second;
    lxw_format* f = workbook_add_format(wb_);
    if (!f) fail("out of memory");
    const std::string name = s.fontName.toStdString();
    if (!name.empty()) format_set_font_name(f, name.c_str());
    format_set_font_size(f, s.points);
    if (s.bold) format_set_bold(f);
    if (s.italic) format_set_italic(f);
    if (s.underline) format_set_underline(f, LXW_UNDERLINE_SINGLE);
    if (resolveColor(s.color) != clBlack) format_set_font_color(f, sheetColor(s.color));
    if (s.fill != clNone && resolveColor(s.fill) != clWhite) {
      format_set_pattern(f, LXW_PATTERN_SOLID);
      format_set_bg_color(f, sheetColor(s.fill));
    }
    static constexpr uint8_t aligns[] = {LXW_ALIGN_LEFT, LXW_ALIGN_RIGHT, LXW_ALIGN_CENTER,
                                         LXW_ALIGN_JUSTIFY};
    format_set_align(f, aligns[s.align & 3]);
    format_set_align(f, LXW_ALIGN_VERTICAL_TOP);
    if (s.wrap) format_set_text_wrap(f);
    if (!numberFormat.empty()) format_set_num_format(f, numberFormat.c_str());
    formats_.emplace(key, f);
    return f;
  }

 private:
  lxw_workbook* wb_;
  std::map<std::string, lxw_format*> formats_;
};

class Sheets {
 public:
  Sheets(lxw_workbook* wb, const std::vector<int>& widths) : wb_(wb), widths_(widths) {}
  lxw_worksheet* open(const QString& name) {
    if (++count_ > kMaxSheets) fail("more than 1000 sheets");
    ws_ = workbook_add_worksheet(wb_, name.left(31).toStdString().c_str());
    if (!ws_) fail("cannot add the sheet " + name.toStdString());
    for (size_t c = 0; c < widths_.size() && c < 16384; ++c)
      check(worksheet_set_column_pixels(ws_, lxw_col_t(c), lxw_col_t(c),
                                        uint32_t(std::max(widths_[c], 8)), nullptr));
    row_ = 0;
    return ws_;
  }
  // The next row's number, going on in a further sheet when one is full.
  lxw_row_t nextRow(const QString& base) {
    if (row_ >= kMaxRows) open(QString("%1 (%2)").arg(base).arg(++overflow_ + 1));
    return lxw_row_t(row_++);
  }
  lxw_worksheet* current() const { return ws_; }

 private:
  lxw_workbook* wb_;
  std::vector<int> widths_;
  lxw_worksheet* ws_ = nullptr;
  int row_ = 0, count_ = 0, overflow_ = 0;
};

void writeRow(lxw_worksheet* ws, lxw_row_t r, const GridRow& row, Formats& formats) {
  check(worksheet_set_row_pixels(ws, r, uint32_t(std::clamp(row.height, 1, 409 * 4 / 3)), nullptr));
  for (const GridCell& cell : row.cells) {
    if (cell.col >= 16384) continue;
    const lxw_col_t c = lxw_col_t(cell.col);
    const lxw_col_t last = lxw_col_t(std::min(cell.col + cell.span - 1, 16383));
    lxw_format* f = formats.get(cell.style, cell.value.numberFormat);
    // A cell holds at most 32767 characters.
    const std::string text = cell.text.left(int(kMaxCellText)).toStdString();
    if (last > c) check(worksheet_merge_range(ws, r, c, r, last, "", f));
    if (cell.value.kind != CellValue::Kind::Text)
      check(worksheet_write_number(ws, r, c, cell.value.number, f));
    else
      check(worksheet_write_string(ws, r, c, text.c_str(), f));
  }
}

}  // namespace

bool writeXlsx(TfrEMFPages& pages, const std::vector<int>& indices, const SheetGrid& grid,
               const ExportOptions& options, QIODevice& out, const ExportProgress& step) {
  if (options.sheetPerPage && indices.size() > size_t(kMaxSheets)) fail("more than 1000 sheets");
  QTemporaryDir dir;
  if (!dir.isValid()) fail("no temporary folder");
  const QByteArray tmp = QFile::encodeName(dir.path());
  const QByteArray path = QFile::encodeName(dir.filePath("report.xlsx"));
  lxw_workbook_options opts{};
  // Rows go to disk as they are written, so the sheet of a long report
  // does not stay in memory.
  opts.constant_memory = LXW_TRUE;
  opts.tmpdir = const_cast<char*>(tmp.constData());
  opts.use_zip64 = LXW_TRUE;
  lxw_workbook* wb = workbook_new_opt(path.constData(), &opts);
  if (!wb) fail("cannot create the workbook");
  try {
    Formats formats(wb);
    Sheets sheets(wb, grid.columnWidths());
    const QString base = QString::fromUtf8("Relatório");
    if (!options.sheetPerPage) sheets.open(base);
    int done = 0;
    for (int i : indices) {
      const QString name = options.sheetPerPage ? QString::fromUtf8("Página %1").arg(i + 1) : base;
      if (options.sheetPerPage) sheets.open(name);
      for (const GridRow& row : grid.rows(recordPage(pages, i)))
        writeRow(sheets.current(), sheets.nextRow(name), row, formats);
      if (++done; step && !step(done, int(indices.size()))) {
        workbook_close(wb);
        return false;
      }
    }
  } catch (...) {
    workbook_close(wb);
    throw;
  }
  const lxw_error e = workbook_close(wb);
  if (e != LXW_NO_ERROR) fail(lxw_strerror(e));
  QFile f(QString::fromLocal8Bit(path));
  if (!f.open(QIODevice::ReadOnly)) fail("cannot read the finished workbook");
  QByteArray chunk;
  while (!(chunk = f.read(1 << 20)).isEmpty()) out.write(chunk);
  return true;
}

}  // namespace orv
