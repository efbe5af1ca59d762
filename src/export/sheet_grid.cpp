#include "export/sheet_grid.h"

#include <algorithm>
#include <cstdlib>

#include "export/page_record.h"
#include "model/memo_view.h"
#include "platform/codepage.h"

namespace orv {

namespace {

// Pixels within which edges and tops count as the same.
constexpr int kSlack = 3;

// A text with its digits masked, for page headers and footers whose page
// numbers and dates change from page to page.
QString masked(const QString& t) {
  QString r = t;
  for (QChar& c : r)
    if (c.isDigit()) c = '0';
  return r;
}

bool hasLetter(const QString& t) {
  return std::any_of(t.begin(), t.end(), [](QChar c) { return c.isLetter(); });
}

}  // namespace

QString objectText(const PageRecord& page, int object) {
  std::vector<const RecordedText*> runs;
  for (int i : page.objects[size_t(object)].texts) runs.push_back(&page.texts[size_t(i)]);
  std::stable_sort(runs.begin(), runs.end(), [](const RecordedText* a, const RecordedText* b) {
    if (std::abs(a->y - b->y) > 2) return a->y < b->y;
    return a->x < b->x;
  });
  QString out, line;
  int lineY = 0, lastRight = 0;
  bool first = true;
  auto endLine = [&] {
    while (!line.isEmpty() && line.back().isSpace()) line.chop(1);
    if (!out.isEmpty() || !line.isEmpty()) {
      if (!first) out += '\n';
      out += line;
    }
    line.clear();
  };
  bool any = false;
  for (const RecordedText* r : runs) {
    if (any && std::abs(r->y - lineY) <= 2) {
      if (r->x > lastRight + 1 && !line.isEmpty() && !line.back().isSpace()) line += ' ';
    } else if (any) {
      endLine();
      first = false;
    }
    if (!any || std::abs(r->y - lineY) > 2) lineY = r->y;
    any = true;
    line += r->text;
    lastRight = r->bounds.right;
  }
  if (any) endLine();
  while (out.endsWith('\n')) out.chop(1);
  return out;
}

std::vector<SheetGrid::Item> SheetGrid::itemsOf(const PageRecord& page) {
  std::vector<Item> items;
  for (size_t o = 0; o < page.objects.size(); ++o) {
    const RecordedObject& obj = page.objects[o];
    if (obj.texts.empty()) continue;
    QString text = objectText(page, int(o));
    if (text.trimmed().isEmpty()) continue;
    const bool typed =
        readCellValue(text, obj.format, obj.formatText).kind != CellValue::Kind::Text;
    items.push_back({std::min(obj.box.left, obj.box.right), std::min(obj.box.top, obj.box.bottom),
                     std::max(obj.box.left, obj.box.right), std::max(obj.box.top, obj.box.bottom),
                     std::move(text), typed, int(o)});
  }
  return items;
}

std::vector<SheetGrid::RowSig> SheetGrid::rowsOf(std::vector<Item> items) {
  std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
    return a.top != b.top ? a.top < b.top : a.left < b.left;
  });
  std::vector<RowSig> rows;
  for (Item& it : items) {
    if (rows.empty() || it.top > rows.back().top + 2) rows.push_back({it.top, {}});
    rows.back().items.push_back(std::move(it));
  }
  for (RowSig& r : rows)
    std::stable_sort(r.items.begin(), r.items.end(),
                     [](const Item& a, const Item& b) { return a.left < b.left; });
  return rows;
}

bool SheetGrid::sameRow(const RowSig& a, const RowSig& b) {
  if (std::abs(a.top - b.top) > 2 || a.items.size() != b.items.size()) return false;
  for (size_t i = 0; i < a.items.size(); ++i) {
    const Item &x = a.items[i], &y = b.items[i];
    if (std::abs(x.left - y.left) > 2 || std::abs(x.right - y.right) > 2 ||
        std::abs(x.bottom - x.top - (y.bottom - y.top)) > 2)
      return false;
    if (x.text == y.text) continue;
    // Page numbers and printing dates change; values of records do not
    // count as such.
    if (x.typed || y.typed || !hasLetter(x.text) || masked(x.text) != masked(y.text)) return false;
  }
  return true;
}

void SheetGrid::survey(const PageRecord& page) {
  std::vector<Item> items = itemsOf(page);
  // Columns start where texts start; a right edge only closes the last
  // column, so that the gaps between objects make no empty columns. An edge
  // recurs when different texts start there: a title repeated on every page
  // makes no column of its own.
  for (const Item& it : items) {
    EdgeCount& e = edgeCounts_[it.left];
    if (e.count == 0) {
      e.count = 1;
      e.firstText = masked(it.text);
    } else if (e.count > 1 || masked(it.text) != e.firstText) {
      ++e.count;
      e.firstText.clear();
    }
    rightmost_ = std::max(rightmost_, it.right);
    if (isDigitCode(it.text)) codeEdges_.insert(it.left);
  }
  std::vector<RowSig> rows = rowsOf(std::move(items));
  auto& mine = repeated_[page.index];
  if (previousPage_ >= 0) {
    const size_t most = std::min(rows.size(), previous_.size());
    size_t head = 0;
    while (head < most && sameRow(rows[head], previous_[head])) ++head;
    size_t foot = 0;
    while (foot < most - head &&
           sameRow(rows[rows.size() - 1 - foot], previous_[previous_.size() - 1 - foot]))
      ++foot;
    mine = {int(head), int(foot)};
    // The first page's footer is known as repeated only now.
    auto& before = repeated_[previousPage_];
    const int room = int(previous_.size()) - before.first;
    before.second = std::max(before.second, std::min(int(foot), room));
  }
  previous_ = std::move(rows);
  previousPage_ = page.index;
}

void SheetGrid::finishSurvey() {
  struct Cluster {
    int edge, best, count;
  };
  std::vector<Cluster> clusters;
  for (const auto& [edge, info] : edgeCounts_) {
    const int count = info.count;
    if (!clusters.empty() && edge - clusters.back().edge <= kSlack) {
      Cluster& c = clusters.back();
      if (count > c.best) {
        c.best = count;
        c.edge = edge;
      }
      c.count += count;
      continue;
    }
    clusters.push_back({edge, count, count});
  }
  // Weak edges (a title and its subtitle) give way to the columns of the
  // listing: an edge must recur at least a tenth as often as the strongest.
  int strongest = 0;
  for (const Cluster& c : clusters) strongest = std::max(strongest, c.count);
  const int needed = std::max(2, strongest / 10);
  edges_.clear();
  for (size_t i = 0; i < clusters.size(); ++i)
    if (clusters[i].count >= needed || i == 0) edges_.push_back(clusters[i].edge);
  if (edges_.size() < 2) {
    edges_.clear();
    for (const Cluster& c : clusters) edges_.push_back(c.edge);
  }
  if (edges_.empty()) edges_.push_back(0);
  if (rightmost_ > edges_.back() + kSlack)
    edges_.push_back(rightmost_);
  else
    edges_.push_back(edges_.back() + 64);
  edgeCounts_.clear();
  previous_.clear();
  for (int e : codeEdges_) codeColumns_.insert(startColumn(e));
  codeEdges_.clear();
}

int SheetGrid::startColumn(int left) const {
  int c = 0;
  for (int i = 0; i < columnCount(); ++i)
    if (edges_[size_t(i)] <= left + kSlack) c = i;
  return c;
}

std::vector<int> SheetGrid::columnWidths() const {
  std::vector<int> w;
  for (size_t i = 1; i < edges_.size(); ++i) w.push_back(std::max(1, edges_[i] - edges_[i - 1]));
  return w;
}

std::vector<GridRow> SheetGrid::rows(const PageRecord& page) const {
  std::vector<RowSig> sigs = rowsOf(itemsOf(page));
  size_t head = 0, foot = 0;
  if (!options_.keepPageBands) {
    if (auto it = repeated_.find(page.index); it != repeated_.end()) {
      head = size_t(it->second.first);
      foot = size_t(it->second.second);
    }
  }
  const int columns = columnCount();
  auto endCol = [&](int right) {
    for (int i = 1; i <= columns; ++i)
      if (edges_[size_t(i)] >= right - kSlack) return i;
    return columns;
  };
  std::vector<GridRow> out;
  for (size_t r = head; r + foot < sigs.size(); ++r) {
    const RowSig& sig = sigs[r];
    GridRow row;
    row.page = page.index;
    std::vector<int> owner(size_t(std::max(columns, 1)), -1);
    for (const Item& it : sig.items) {
      row.height = std::max(row.height, it.bottom - it.top);
      int c = startColumn(it.left);
      const bool codes = codeColumns_.count(c) > 0;
      const int end = std::max(c + 1, endCol(it.right));
      if (owner[size_t(c)] >= 0) {
        int free = -1;
        for (int k = c; k < columns && free < 0; ++k)
          if (owner[size_t(k)] < 0) free = k;
        if (free < 0) {
          // Nowhere to go: the text joins the cell that took its place.
          GridCell& prev = row.cells[size_t(owner[size_t(c)])];
          prev.text += ' ' + it.text;
          prev.value = CellValue{};
          continue;
        }
        c = free;
      }
      int span = 1;
      while (c + span < end && owner[size_t(c + span)] < 0) ++span;
      const RecordedObject& obj = page.objects[size_t(it.object)];
      GridCell cell;
      cell.col = c;
      cell.span = span;
      cell.text = it.text;
      cell.value = readCellValue(it.text, obj.format, obj.formatText, codes);
      cell.style.fontName = decodeBytes(obj.font.face, 1252);
      cell.style.points = obj.fontPoints > 0 ? obj.fontPoints : 10;
      cell.style.bold = obj.font.weight >= 600;
      cell.style.italic = obj.font.italic;
      cell.style.underline = obj.font.underline;
      cell.style.color = obj.fontColor;
      cell.style.fill = obj.fill;
      cell.style.align = obj.alignment & 3;
      cell.style.wrap = it.text.contains('\n');
      for (int k = 0; k < span; ++k) owner[size_t(c + k)] = int(row.cells.size());
      row.cells.push_back(std::move(cell));
    }
    std::sort(row.cells.begin(), row.cells.end(),
              [](const GridCell& a, const GridCell& b) { return a.col < b.col; });
    row.height = std::max(row.height, 1);
    out.push_back(std::move(row));
  }
  return out;
}

}  // namespace orv
