#include "platform/rtf_document.h"

#include <algorithm>
#include <cstdint>

#include "platform/error.h"

namespace orv::rtf {
namespace {

// The document as one character sequence: every character with its format
// (a paragraph mark with its mark format), and the formats of the paragraphs.
struct Flat {
  std::u16string text;
  std::vector<CharFormat> formats;
  std::vector<ParaFormat> paras;  // one per paragraph
  CharFormat lastMark;            // mark format of the last paragraph
};

Flat toFlat(const Document& doc) {
  Flat f;
  for (size_t i = 0; i < doc.paragraphs.size(); ++i) {
    const Paragraph& p = doc.paragraphs[i];
    for (const Run& r : p.runs) {
      f.text += r.text;
      f.formats.insert(f.formats.end(), r.text.size(), r.format);
    }
    f.paras.push_back(p.format);
    if (i + 1 < doc.paragraphs.size()) {
      f.text.push_back(kParagraphMark);
      f.formats.push_back(p.markFormat);
    } else {
      f.lastMark = p.markFormat;
    }
  }
  return f;
}

// Rebuilds paragraphs from characters [from, to) of a flat sequence whose
// first paragraph has format paras[firstPara].
std::vector<Paragraph> fromFlat(const Flat& f, size_t from, size_t to, size_t firstPara) {
  std::vector<Paragraph> out;
  if (from >= to) return out;
  size_t para = firstPara;
  auto paraFormat = [&](size_t i) { return i < f.paras.size() ? f.paras[i] : ParaFormat{}; };
  Paragraph cur;
  cur.format = paraFormat(para);
  for (size_t i = from; i < to; ++i) {
    const char16_t c = f.text[i];
    if (c == kParagraphMark) {
      cur.markFormat = f.formats[i];
      out.push_back(std::move(cur));
      cur = Paragraph{};
      cur.format = paraFormat(++para);
      continue;
    }
    if (cur.runs.empty() || !(cur.runs.back().format == f.formats[i]))
      cur.runs.push_back({f.formats[i], {}});
    cur.runs.back().text.push_back(c);
  }
  // The part's last paragraph ends where its source paragraph ends, or is cut.
  size_t next = to;
  while (next < f.text.size() && f.text[next] != kParagraphMark) ++next;
  cur.markFormat = next < f.text.size() ? f.formats[next] : f.lastMark;
  out.push_back(std::move(cur));
  return out;
}

size_t paragraphOf(const Flat& f, size_t pos) {
  return size_t(
      std::count(f.text.begin(), f.text.begin() + std::min(pos, f.text.size()), kParagraphMark));
}

}  // namespace

int32_t Document::length() const {
  int64_t n = paragraphs.empty() ? 0 : int64_t(paragraphs.size()) - 1;
  for (const Paragraph& p : paragraphs)
    for (const Run& r : p.runs) n += int64_t(r.text.size());
  return int32_t(std::min<int64_t>(n, INT32_MAX));
}

std::u16string Document::text() const {
  std::u16string out;
  for (size_t i = 0; i < paragraphs.size(); ++i) {
    if (i) out.push_back(kParagraphMark);
    for (const Run& r : paragraphs[i].runs) out += r.text;
  }
  return out;
}

std::u16string Document::plainText() const {
  std::u16string out = text();
  for (char16_t& c : out)
    if (c == kParagraphMark || c == kLineBreak) c = u'\n';
  return out;
}

Document Document::slice(int32_t from, int32_t to) const {
  Document out;
  out.fonts = fonts;
  out.colors = colors;
  out.defaultTab = defaultTab;
  const Flat f = toFlat(*this);
  const size_t n = f.text.size();
  const size_t a = size_t(std::clamp<int64_t>(from, 0, int64_t(n)));
  const size_t b = size_t(std::clamp<int64_t>(to, int64_t(a), int64_t(n)));
  out.paragraphs = fromFlat(f, a, b, paragraphOf(f, a));
  return out;
}

void Document::replace(int32_t from, int32_t count, std::u16string_view insert) {
  Flat f = toFlat(*this);
  const size_t n = f.text.size();
  const size_t a = size_t(std::clamp<int64_t>(from, 0, int64_t(n)));
  const size_t b =
      size_t(std::clamp<int64_t>(int64_t(a) + std::max(count, 0), int64_t(a), int64_t(n)));
  CharFormat format = a < n ? f.formats[a] : a > 0 ? f.formats[a - 1] : f.lastMark;
  if (paragraphs.empty()) f.paras.push_back({});
  // Paragraphs whose marks go away merge into the first of them.
  const size_t firstPara = paragraphOf(f, a);
  const size_t removedMarks = paragraphOf(f, b) - firstPara;
  std::u16string text;
  std::vector<CharFormat> formats;
  size_t addedMarks = 0;
  for (size_t i = 0; i < insert.size(); ++i) {
    char16_t c = insert[i];
    if (c == u'\r') {
      if (i + 1 < insert.size() && insert[i + 1] == u'\n') ++i;
      c = kParagraphMark;
      ++addedMarks;
    } else if (c == u'\n') {
      c = kLineBreak;
    } else if (c < 0x20 && c != u'\t' && c != kLineBreak) {
      continue;
    }
    text.push_back(c);
    formats.push_back(format);
  }
  f.text.replace(a, b - a, text);
  f.formats.erase(f.formats.begin() + std::ptrdiff_t(a), f.formats.begin() + std::ptrdiff_t(b));
  f.formats.insert(f.formats.begin() + std::ptrdiff_t(a), formats.begin(), formats.end());
  const auto at = f.paras.begin() + std::ptrdiff_t(firstPara + 1);
  f.paras.erase(at, at + std::ptrdiff_t(removedMarks));
  f.paras.insert(f.paras.begin() + std::ptrdiff_t(firstPara + 1), addedMarks, f.paras[firstPara]);
  paragraphs = fromFlat(f, 0, f.text.size(), 0);
}

void Document::replaceFields(const std::function<std::u16string(std::u16string_view)>& value,
                             bool rescan, std::optional<uint8_t> charset, int maxRescans) {
  if (paragraphs.empty()) return;
  const Flat f = toFlat(*this);
  // One character with its format and, for a paragraph mark, the format of
  // the paragraph it starts. The input still to read is kept reversed, so
  // that a value to be searched again is put in front of it cheaply.
  struct Cell {
    char16_t c;
    CharFormat format;
    size_t nextPara;
  };
  std::vector<Cell> rest;
  rest.reserve(f.text.size());
  size_t para = 0;
  std::vector<size_t> nextOf(f.text.size());
  for (size_t i = 0; i < f.text.size(); ++i)
    if (f.text[i] == kParagraphMark) nextOf[i] = ++para;
  for (size_t i = f.text.size(); i-- > 0;) rest.push_back({f.text[i], f.formats[i], nextOf[i]});
  std::vector<ParaFormat> paras = f.paras;

  auto fontFor = [&](int32_t font, uint8_t cs) {
    FontEntry want{font >= 0 && size_t(font) < fonts.size() ? fonts[size_t(font)].name : "Arial",
                   cs};
    for (size_t i = 0; i < fonts.size(); ++i)
      if (fonts[i] == want) return int32_t(i);
    fonts.push_back(want);
    return int32_t(fonts.size() - 1);
  };

  std::vector<Cell> out;
  out.reserve(rest.size());
  size_t current = 0;  // the paragraph being written
  int rescans = 0;
  while (!rest.empty()) {
    if (rest.back().c != u'[') {
      if (rest.back().c == kParagraphMark) current = rest.back().nextPara;
      out.push_back(rest.back());
      rest.pop_back();
      continue;
    }
    // The closing bracket, looking ahead from the end of the reversed input.
    size_t close = SIZE_MAX;
    int depth = 0;
    bool quoted = false;
    for (size_t k = rest.size(); k-- > 0;) {
      const char16_t c = rest[k].c;
      if (c == u'\'') {
        quoted = !quoted;
      } else if (quoted) {
        continue;
      } else if (c == u'[') {
        ++depth;
      } else if (c == u']' && --depth == 0) {
        close = k;
        break;
      }
    }
    if (close == SIZE_MAX) break;
    std::u16string inner;
    for (size_t k = rest.size() - 1; --k > close;) inner.push_back(rest[k].c);
    CharFormat format = rest.back().format;
    rest.resize(close);
    const std::u16string text = value(inner);
    if (charset) format.font = fontFor(format.font, *charset);
    std::vector<Cell> cells;
    for (size_t i = 0; i < text.size(); ++i) {
      char16_t c = text[i];
      if (c == u'\r') {
        if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        // A new paragraph of the value's own takes the format of the one it is in.
        paras.push_back(current < paras.size() ? paras[current] : ParaFormat{});
        cells.push_back({kParagraphMark, format, paras.size() - 1});
        continue;
      }
      if (c == u'\n') c = kLineBreak;
      if (c < 0x20 && c != u'\t' && c != kLineBreak) continue;
      cells.push_back({c, format, 0});
    }
    if (rescan) {
      if (++rescans > maxRescans) throw Error("fields in a rich text keep producing fields");
      rest.insert(rest.end(), cells.rbegin(), cells.rend());
    } else {
      for (const Cell& c : cells) {
        if (c.c == kParagraphMark) current = c.nextPara;
        out.push_back(c);
      }
    }
  }
  while (!rest.empty()) {
    out.push_back(rest.back());
    rest.pop_back();
  }

  Flat g;
  g.lastMark = f.lastMark;
  g.paras.push_back(paras.front());
  for (const Cell& c : out) {
    g.text.push_back(c.c);
    g.formats.push_back(c.format);
    if (c.c == kParagraphMark) g.paras.push_back(paras[c.nextPara]);
  }
  paragraphs = g.text.empty() ? std::vector<Paragraph>{Paragraph{g.paras[0], {}, g.lastMark}}
                              : fromFlat(g, 0, g.text.size(), 0);
}

void Document::normalize() {
  for (Paragraph& p : paragraphs) {
    std::vector<Run> runs;
    for (Run& r : p.runs) {
      if (r.text.empty()) continue;
      if (!runs.empty() && runs.back().format == r.format) {
        runs.back().text += r.text;
      } else {
        runs.push_back(std::move(r));
      }
    }
    p.runs = std::move(runs);
  }
}

Color Document::colorAt(int32_t index, Color fallback) const {
  if (index <= 0 || size_t(index) >= colors.size() || colors[size_t(index)] == clNone)
    return fallback;
  return colors[size_t(index)];
}

Document fromPlainText(std::u16string_view text, const FontEntry& font, int32_t halfPoints) {
  Document doc;
  if (text.empty()) return doc;
  doc.fonts.push_back(font);
  doc.paragraphs.push_back({});
  CharFormat format;
  format.font = 0;
  format.halfPoints = halfPoints;
  doc.paragraphs.back().markFormat = format;
  doc.replace(0, 0, text);
  return doc;
}

}  // namespace orv::rtf
