#include <QIODevice>
#include <algorithm>
#include <cmath>

#include "export/page_record.h"
#include "export/report_export.h"
#include "prepared/emf_pages.h"

namespace orv {

namespace {

struct Run {
  int x, right, baseline, height;
  QString text;
};

// The page as lines of characters: each text at the column its left edge
// falls on, at least two blanks apart from the text before it unless the two
// read as words of one line, which keep a single blank.
QString layoutPage(const PageRecord& page) {
  std::vector<Run> runs;
  std::vector<double> widths;
  for (const RecordedText& t : page.texts) {
    QString text = t.text;
    text.replace('\t', ' ');
    for (QChar& c : text)
      if (c.unicode() < 0x20) c = ' ';
    if (text.trimmed().isEmpty()) continue;
    // Blanks at either end are placed as the gap they make.
    int lead = 0;
    while (lead < text.size() && text[lead] == ' ') ++lead;
    int x = t.bounds.left;
    for (int k = 0; k < lead && k < int(t.advances.size()); ++k) x += t.advances[size_t(k)];
    text = text.mid(lead);
    while (text.endsWith(' ')) text.chop(1);
    int w = 0;
    for (int k = 0; k < text.size() && size_t(lead + k) < t.advances.size(); ++k)
      w += t.advances[size_t(lead + k)];
    runs.push_back({x, x + w, t.y + t.ascent, std::max(1, t.bounds.height()), text});
    if (text.size() >= 2) widths.push_back(double(w) / text.size());
  }
  if (runs.empty()) return {};
  std::sort(widths.begin(), widths.end());
  const double cw = widths.empty() ? 7.0 : std::max(2.0, widths[widths.size() / 2]);
  std::stable_sort(runs.begin(), runs.end(),
                   [](const Run& a, const Run& b) { return a.baseline < b.baseline; });
  // Runs whose baselines lie within half a line of each other share a line.
  std::vector<std::vector<Run>> lines;
  std::vector<int> lineBase, lineHeight;
  for (Run& r : runs) {
    if (lines.empty() || r.baseline - lineBase.back() > std::max(2, lineHeight.back() / 2)) {
      lines.emplace_back();
      lineBase.push_back(r.baseline);
      lineHeight.push_back(r.height);
    }
    lineHeight.back() = std::max(lineHeight.back(), r.height);
    lines.back().push_back(std::move(r));
  }
  QString out;
  for (size_t l = 0; l < lines.size(); ++l) {
    if (l > 0) {
      // A gap of more than a line and a half leaves an empty line.
      const int gap = lineBase[l] - lineBase[l - 1];
      if (gap > lineHeight[l] * 2) out += '\n';
    }
    std::vector<Run>& line = lines[l];
    std::stable_sort(line.begin(), line.end(),
                     [](const Run& a, const Run& b) { return a.x < b.x; });
    QString text;
    int lastRight = 0;
    for (size_t k = 0; k < line.size(); ++k) {
      const Run& r = line[k];
      const int want = int(std::lround(r.x / cw));
      int col = want;
      if (k > 0) {
        const int gap = r.x - lastRight;
        if (gap < cw * 1.5)
          col = int(text.size()) + (gap > cw * 0.15 ? 1 : 0);
        else
          col = std::max(want, int(text.size()) + 2);
      }
      if (col > text.size()) text += QString(col - text.size(), ' ');
      text += r.text;
      lastRight = std::max(lastRight, r.right);
    }
    out += text;
    out += '\n';
  }
  return out;
}

}  // namespace

bool writeLayoutText(TfrEMFPages& pages, const std::vector<int>& indices, QIODevice& out,
                     const ExportProgress& step) {
  int done = 0;
  for (int i : indices) {
    QString text = layoutPage(recordPage(pages, i));
    if (done > 0) text.prepend('\f');
    const QByteArray bytes = text.toUtf8();
    out.write(bytes);
    if (++done; step && !step(done, int(indices.size()))) return false;
  }
  return true;
}

}  // namespace orv
