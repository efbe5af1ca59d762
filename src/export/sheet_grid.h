#pragma once
#include <QString>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "export/cell_value.h"
#include "platform/color.h"

namespace orv {

struct PageRecord;

// The look of a cell, taken from the text object it comes from.
struct CellStyle {
  QString fontName;
  double points = 10;
  bool bold = false, italic = false, underline = false;
  Color color = clBlack;
  Color fill = clNone;
  int align = 0;  // frtaLeft, frtaRight, frtaCenter, frtaJustify
  bool wrap = false;
  friend bool operator==(const CellStyle&, const CellStyle&) = default;
};

struct GridCell {
  int col = 0;
  int span = 1;  // columns covered; more than one makes a merged cell
  QString text;
  CellValue value;
  CellStyle style;
};

struct GridRow {
  int page = 0;                 // 0-based page the row comes from
  int height = 0;               // pixels
  std::vector<GridCell> cells;  // by column
};

// Rebuilds the table that the positioned texts of a report's pages form.
// Columns start at the left edges of text objects that recur down the pages
// (a text reaching past the next start spans columns), rows come from their
// tops; one object's text is one cell. Built in
// two passes, so that no more than one page is held at a time: survey() every
// page, then rows() of each page again.
class SheetGrid {
 public:
  struct Options {
    // Page headers and footers repeated from page to page stay in the
    // table; otherwise only the first page's header does.
    bool keepPageBands = false;
  };
  explicit SheetGrid(Options options) : options_(options) {}

  void survey(const PageRecord& page);
  // Settles the columns once every page was surveyed.
  void finishSurvey();
  // Column widths in pixels, left to right.
  std::vector<int> columnWidths() const;
  int columnCount() const { return int(edges_.size()) - 1; }
  // The rows of a page (in the order surveyed), without repeated page bands.
  std::vector<GridRow> rows(const PageRecord& page) const;

 private:
  struct Item {
    int left, top, right, bottom;
    QString text;
    bool typed;  // read as a number or a date
    int object;
  };
  struct RowSig {
    int top;
    std::vector<Item> items;
  };
  static std::vector<Item> itemsOf(const PageRecord& page);
  static std::vector<RowSig> rowsOf(std::vector<Item> items);
  static bool sameRow(const RowSig& a, const RowSig& b);
  Options options_;
  struct EdgeCount {
    int count = 0;
    QString firstText;  // while only one text starts there
  };
  std::map<int, EdgeCount> edgeCounts_;
  int startColumn(int left) const;
  std::vector<int> edges_;
  // Columns where a code with leading zeros was seen: their digits stay texts.
  std::set<int> codeEdges_, codeColumns_;
  int rightmost_ = 0;
  // Per page surveyed: rows at its top and bottom repeated from a neighbour.
  std::map<int, std::pair<int, int>> repeated_;
  std::vector<RowSig> previous_;
  int previousPage_ = -1;
};

// The text of an object as its runs draw it: lines top to bottom, runs of
// one line joined with a blank where they stand apart.
QString objectText(const PageRecord& page, int object);

}  // namespace orv
