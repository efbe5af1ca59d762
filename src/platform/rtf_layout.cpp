#include "platform/rtf_layout.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <tuple>

#include "platform/canvas.h"
#include "platform/codepage.h"
#include "platform/fonts.h"

namespace orv::rtf {
namespace {

// Layout works in sixteenths of a twip, with fonts measured at sixteen times
// their size where the font cache allows: the widths of a long line then add
// up as exactly as the fonts' design units allow.
constexpr int64_t kSub = 16;
constexpr int32_t kMaxEm = 8192;

// How many times its size a font of em twips is measured at.
int32_t fineness(int32_t em) {
  int32_t k = int32_t(kSub);
  while (k > 1 && int64_t(em) * k > kMaxEm) k /= 2;
  return k;
}

int64_t floorDiv(int64_t a, int64_t b) {
  return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// Pair kerning from a face's "kern" table (format 0, horizontal), in design
// units, with the face's units per em.
struct KernTable {
  int upem = 2048;
  std::map<uint32_t, int16_t> pairs;  // left glyph << 16 | right glyph
};

const KernTable& kernTable(const ScaledFont& font) {
  static std::mutex mutex;
  static std::map<std::tuple<QString, bool, bool>, KernTable> tables;
  std::lock_guard lock(mutex);
  auto key = std::make_tuple(font.family(), font.bold(), font.italic());
  auto [it, inserted] = tables.try_emplace(key);
  if (!inserted) return it->second;
  KernTable& t = it->second;
  const QRawFont raw = font.rawFont();
  if (!raw.isValid()) return t;
  const QByteArray head = raw.fontTable("head");
  const QByteArray kern = raw.fontTable("kern");
  auto u16 = [](const QByteArray& b, qsizetype at) -> int {
    if (at < 0 || at + 2 > b.size()) return -1;
    return (uint8_t(b[at]) << 8) | uint8_t(b[at + 1]);
  };
  if (u16(head, 18) >= 16) t.upem = u16(head, 18);
  if (u16(kern, 0) != 0) return t;
  const int tables16 = std::max(0, u16(kern, 2));
  qsizetype at = 4;
  for (int n = 0; n < tables16 && at + 14 <= kern.size(); ++n) {
    const int length = u16(kern, at + 2), coverage = u16(kern, at + 4);
    if (length < 14) break;
    if ((coverage >> 8) == 0 && (coverage & 1) && !(coverage & 4)) {
      const int count = std::max(0, u16(kern, at + 6));
      for (int i = 0; i < count; ++i) {
        const qsizetype e = at + 14 + qsizetype(i) * 6;
        if (e + 6 > kern.size()) break;
        t.pairs[uint32_t(u16(kern, e)) << 16 | uint32_t(u16(kern, e + 2))] =
            int16_t(uint16_t(u16(kern, e + 4)));
      }
    }
    at += length;
  }
  return t;
}

// Character sets tried, in this order, for a character the run's own font
// cannot encode, so that a Cyrillic or Greek letter in a Western font still
// draws as itself.
constexpr uint8_t kFallbackCharsets[] = {0, 238, 204, 161, 162, 186, 177, 178, 222, 163};

// The logical font of a format at an em size in whatever unit the caller
// measures in (twips for layout, device pixels for drawing).
FontSpec fontOf(const Document& doc, const CharFormat& f, int32_t em, uint8_t charset) {
  FontSpec s;
  if (f.font >= 0 && size_t(f.font) < doc.fonts.size()) s.face = doc.fonts[size_t(f.font)].name;
  while (!s.face.empty() && s.face.back() == ' ') s.face.pop_back();
  if (s.face.empty()) s.face = "Arial";
  s.height = -std::max(1, em);
  s.weight = f.bold ? 700 : 400;
  s.italic = f.italic;
  s.underline = f.underline;
  s.strikeOut = f.strike;
  s.charset = charset;
  return s;
}

uint8_t charsetOf(const Document& doc, const CharFormat& f) {
  if (f.font >= 0 && size_t(f.font) < doc.fonts.size()) return doc.fonts[size_t(f.font)].charset;
  return 1;
}

// Em size in twips; sub- and superscripts are two thirds of the size.
int32_t emTwips(const CharFormat& f) {
  const int32_t em = f.halfPoints * 10;
  return f.vertical != 0 ? std::max(1, em * 2 / 3) : em;
}

// One character of a paragraph with what layout and drawing need of it.
struct Glyph {
  char16_t ch = 0;
  uint8_t byte = 0;
  uint8_t charset = 1;
  const CharFormat* format = nullptr;
  int32_t advance = 0;  // layout units; tabs get theirs during layout
  int32_t ascent = 0;
  int32_t descent = 0;
};

bool isBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

struct LineBox {
  size_t first = 0;  // glyph indexes [first, end)
  size_t end = 0;
  bool forcedBreak = false;  // ended by a line break
  bool lastOfParagraph = false;
  bool firstOfParagraph = false;
  int64_t top = 0;
  int64_t height = 0;
  int64_t ascent = 0;
  int64_t descent = 0;
  int64_t baseline = 0;  // from the line's top
  // Layout units from the area's left: the left edge of the line's text, the
  // right edge it may reach, and where every glyph starts.
  int64_t indent = 0;
  int64_t limit = 0;
  std::vector<int64_t> x;
  int64_t endX = 0;
};

class Layout {
 public:
  Layout(const Document& doc, const Rect& area) : doc_(doc), area_(area) {}

  // Calls `placed` for every line that fits; returns the result.
  FormatResult run(int32_t start,
                   const std::function<void(const LineBox&, const Paragraph&,
                                            const std::vector<Glyph>&, int64_t)>& placed) {
    const int32_t length = doc_.length();
    FormatResult result{std::clamp(start, 0, length), area_.top};
    if (result.nextChar >= length) {
      result.nextChar = length;
      return result;
    }
    // The paragraph that holds `start`, and where it begins.
    int64_t paraStart = 0;
    size_t p = 0;
    for (; p < doc_.paragraphs.size(); ++p) {
      const int64_t len = paragraphLength(doc_.paragraphs[p]);
      if (start <= paraStart + len) break;
      paraStart += len + 1;
    }
    int64_t y = int64_t(area_.top) * kSub;
    for (; p < doc_.paragraphs.size(); ++p) {
      const Paragraph& para = doc_.paragraphs[p];
      const int64_t len = paragraphLength(para);
      const size_t offset = size_t(std::clamp<int64_t>(start - paraStart, 0, len));
      std::vector<Glyph> glyphs = shape(para, offset);
      bool first = offset == 0;
      size_t pos = 0;
      while (true) {
        LineBox line = breakLine(para, glyphs, pos, first);
        if (first) y += int64_t(para.format.spaceBefore) * kSub;
        line.top = y;
        if (y + line.height > int64_t(area_.bottom) * kSub) {
          result.nextChar = int32_t(paraStart + int64_t(offset + pos));
          return result;
        }
        if (placed) placed(line, para, glyphs, paraStart + int64_t(offset));
        y += line.height;
        result.bottom = int32_t(std::clamp<int64_t>(-floorDiv(-y, kSub), INT32_MIN, INT32_MAX));
        pos = line.end;
        first = false;
        // A line break at the paragraph's end leaves one more, empty line.
        if (pos >= glyphs.size() && !line.forcedBreak) break;
      }
      y += int64_t(para.format.spaceAfter) * kSub;
      paraStart += len + 1;
    }
    result.nextChar = length;
    return result;
  }

 private:
  const Document& doc_;
  Rect area_;

  static int64_t paragraphLength(const Paragraph& p) {
    int64_t n = 0;
    for (const Run& r : p.runs) n += int64_t(r.text.size());
    return n;
  }

  std::vector<Glyph> shape(const Paragraph& para, size_t offset) const {
    std::vector<Glyph> out;
    size_t skipped = 0;
    for (const Run& r : para.runs) {
      if (skipped + r.text.size() <= offset) {
        skipped += r.text.size();
        continue;
      }
      const size_t from = offset > skipped ? offset - skipped : 0;
      skipped += r.text.size();
      const uint8_t own = charsetOf(doc_, r.format);
      const int32_t em = emTwips(r.format);
      const int32_t k = fineness(em);
      const int64_t unit = kSub / k;
      const FontSpec spec = fontOf(doc_, r.format, em * k, own);
      const size_t firstGlyph = out.size();
      const int ownPage = codePageForFont(spec.face, own);
      const std::string encoded = encodeText(r.text, ownPage);
      for (size_t i = from; i < r.text.size(); ++i) {
        Glyph g;
        g.ch = r.text[i];
        g.format = &r.format;
        g.charset = own;
        const char16_t c = g.ch == u'\t' || g.ch == kLineBreak ? u' ' : g.ch;
        const std::u16string one(1, c);
        std::string b = c == g.ch ? encoded.substr(i, 1) : std::string(1, ' ');
        if (b == "?" && c != u'?') {
          for (uint8_t cs : kFallbackCharsets) {
            std::string alt = encodeText(one, codePageForCharset(cs));
            if (alt != "?") {
              b = alt;
              g.charset = cs;
              break;
            }
          }
        }
        g.byte = uint8_t(b.empty() ? '?' : b[0]);
        const ScaledFont& font =
            scaledFont(g.charset == own ? spec : fontOf(doc_, r.format, em * k, g.charset));
        g.advance = int32_t(font.advance(g.byte) * unit);
        g.ascent = int32_t(font.metrics().ascent * unit);
        g.descent = int32_t(font.metrics().descent * unit);
        if (r.format.vertical > 0) g.ascent += int32_t(r.format.halfPoints * 10 * kSub / 3);
        if (r.format.vertical < 0) g.descent += int32_t(r.format.halfPoints * 10 * kSub / 6);
        out.push_back(g);
      }
      if (r.format.kerning > 0 && r.format.halfPoints >= r.format.kerning)
        kern(out, firstGlyph, scaledFont(spec), em);
    }
    return out;
  }

  // Narrows the advances of kerned pairs among glyphs [from, end) of one run.
  static void kern(std::vector<Glyph>& glyphs, size_t from, const ScaledFont& font, int32_t em) {
    const KernTable& table = kernTable(font);
    if (table.pairs.empty()) return;
    for (size_t i = from; i + 1 < glyphs.size(); ++i) {
      Glyph& a = glyphs[i];
      const Glyph& b = glyphs[i + 1];
      if (a.charset != b.charset || font.usesFallback(a.byte) || font.usesFallback(b.byte))
        continue;
      auto it = table.pairs.find(font.glyph(a.byte) << 16 | font.glyph(b.byte));
      if (it == table.pairs.end()) continue;
      a.advance += int32_t(std::lround(double(it->second) * em * kSub / table.upem));
    }
  }

  // The nearest stop after x; past the paragraph's own stops the default
  // ones, every defaultTab twips.
  TabStop tabStop(const ParaFormat& pf, int64_t x) const {
    const TabStop* best = nullptr;
    for (const TabStop& t : pf.tabs)
      if (int64_t(t.position) * kSub > x && (!best || t.position < best->position)) best = &t;
    if (best) return {int32_t(best->position * kSub), best->kind};
    const int64_t step = int64_t(std::max(1, doc_.defaultTab)) * kSub;
    return {int32_t(std::min<int64_t>((x / step + 1) * step, INT32_MAX)), TabKind::Left};
  }

  // The advance of the tab at glyph i, which starts at x: the text after a
  // right, centred or decimal stop (up to the next tab or line break) is
  // placed against the stop, never before the tab itself.
  int64_t tabAdvance(const ParaFormat& pf, const std::vector<Glyph>& glyphs, size_t i,
                     int64_t x) const {
    const TabStop stop = tabStop(pf, x);
    if (stop.kind == TabKind::Left) return stop.position - x;
    int64_t w = 0;
    for (size_t j = i + 1; j < glyphs.size(); ++j) {
      const char16_t c = glyphs[j].ch;
      if (c == u'\t' || c == kLineBreak) break;
      if (stop.kind == TabKind::Decimal && (c == u'.' || c == u',')) break;
      w += glyphs[j].advance;
    }
    const int64_t before = stop.kind == TabKind::Center ? w / 2 : w;
    return std::max<int64_t>(0, stop.position - x - before);
  }

  LineBox breakLine(const Paragraph& para, const std::vector<Glyph>& glyphs, size_t pos,
                    bool first) const {
    const ParaFormat& pf = para.format;
    LineBox line;
    line.first = pos;
    line.firstOfParagraph = first;
    line.indent = (int64_t(pf.leftIndent) + (first ? pf.firstIndent : 0)) * kSub;
    line.limit = (int64_t(area_.right) - area_.left - pf.rightIndent) * kSub;
    int64_t x = line.indent;
    size_t i = pos;
    size_t lastBreak = pos;
    std::vector<int64_t> xs;
    while (i < glyphs.size()) {
      const Glyph& g = glyphs[i];
      if (g.ch == kLineBreak) {
        xs.push_back(x);
        ++i;
        line.forcedBreak = true;
        break;
      }
      const int64_t adv = g.ch == u'\t' ? tabAdvance(pf, glyphs, i, x) : g.advance;
      if (isBlank(g.ch)) {
        // Blanks at the end of a line hang past its edge.
        xs.push_back(x);
        x += adv;
        ++i;
        lastBreak = i;
        continue;
      }
      if (x + adv > line.limit && i > pos) {
        if (lastBreak > pos) {
          i = lastBreak;
          xs.resize(i - pos);
        }
        break;
      }
      xs.push_back(x);
      x += adv;
      ++i;
      if (g.ch == u'-') lastBreak = i;
    }
    line.end = i;
    line.lastOfParagraph = i >= glyphs.size() && !line.forcedBreak;
    line.x = std::move(xs);
    line.endX = x;
    // A line break at the very end of a paragraph leaves an empty last line.
    if (line.forcedBreak && i >= glyphs.size()) line.lastOfParagraph = false;
    measure(para, glyphs, line);
    return line;
  }

  void measure(const Paragraph& para, const std::vector<Glyph>& glyphs, LineBox& line) const {
    int64_t ascent = 0, descent = 0;
    for (size_t i = line.first; i < line.end; ++i) {
      ascent = std::max<int64_t>(ascent, glyphs[i].ascent);
      descent = std::max<int64_t>(descent, glyphs[i].descent);
    }
    if (line.first == line.end) {
      // An empty line is as high as its paragraph mark.
      const CharFormat& f = para.markFormat;
      const int32_t em = emTwips(f), k = fineness(em);
      const ScaledFont& font = scaledFont(fontOf(doc_, f, em * k, charsetOf(doc_, f)));
      ascent = font.metrics().ascent * (kSub / k);
      descent = font.metrics().descent * (kSub / k);
    }
    const int64_t natural = ascent + descent;
    const ParaFormat& pf = para.format;
    int64_t h = natural;
    if (pf.lineMultiple && pf.lineSpacing > 0) {
      h = natural * pf.lineSpacing / 240;
    } else if (pf.lineSpacing > 0) {
      h = std::max<int64_t>(natural, int64_t(pf.lineSpacing) * kSub);
    } else if (pf.lineSpacing < 0) {
      h = -int64_t(pf.lineSpacing) * kSub;
    }
    line.ascent = ascent;
    line.descent = descent;
    line.height = std::max<int64_t>(h, 1);
    // Proportional spacing adds its room below the text, as LibreOffice and
    // Word do; a fixed or minimum height puts the text at the line's foot.
    line.baseline = pf.lineMultiple && h >= natural ? ascent : line.height - descent;
  }
};

// Draws one placed line: alignment, justification, and each run of one
// format and character set as one text output.
class LinePainter {
 public:
  LinePainter(const Document& doc, const Rect& area, Canvas& canvas, const Rect& target)
      : doc_(doc), area_(area), canvas_(canvas), target_(target) {
    sx_ = area.width() > 0 ? double(target.width()) / area.width() : 0;
    sy_ = area.height() > 0 ? double(target.height()) / area.height() : 0;
  }

  void paint(const LineBox& line, const Paragraph& para, const std::vector<Glyph>& glyphs) {
    // Trailing blanks and the line break do not count for alignment.
    size_t contentEnd = line.end;
    while (contentEnd > line.first &&
           (isBlank(glyphs[contentEnd - 1].ch) || glyphs[contentEnd - 1].ch == kLineBreak))
      --contentEnd;
    if (contentEnd == line.first) return;
    auto xOf = [&](size_t i) {
      return i - line.first < line.x.size() ? line.x[i - line.first] : line.endX;
    };
    const int64_t width = xOf(contentEnd - 1) + glyphs[contentEnd - 1].advance - line.indent;
    const int64_t free = std::max<int64_t>(0, line.limit - line.indent - width);
    double shift = 0;
    double perBlank = 0;
    size_t justifyFrom = line.first;
    switch (para.format.align) {
      case Align::Right:
        shift = double(free);
        break;
      case Align::Center:
        shift = double(free) / 2;
        break;
      case Align::Justify:
        if (!line.lastOfParagraph && !line.forcedBreak) {
          // Only the blanks after the last tab stretch.
          for (size_t i = line.first; i < contentEnd; ++i)
            if (glyphs[i].ch == u'\t') justifyFrom = i + 1;
          size_t blanks = 0;
          for (size_t i = justifyFrom; i < contentEnd; ++i) blanks += glyphs[i].ch == u' ';
          if (blanks) perBlank = double(free) / double(blanks);
        }
        break;
      case Align::Left:
        break;
    }
    // Positions with the justification added, for every glyph and the end.
    std::vector<double> pos(contentEnd - line.first + 1);
    double added = 0;
    for (size_t i = line.first; i < contentEnd; ++i) {
      pos[i - line.first] = double(xOf(i)) + shift + added;
      if (perBlank > 0 && i >= justifyFrom && glyphs[i].ch == u' ') added += perBlank;
    }
    pos.back() = double(xOf(contentEnd - 1) + glyphs[contentEnd - 1].advance) + shift + added;

    const int64_t baseline = line.top + line.baseline;
    size_t i = line.first;
    while (i < contentEnd) {
      if (glyphs[i].ch == u'\t') {
        ++i;
        continue;
      }
      size_t j = i + 1;
      while (j < contentEnd && glyphs[j].ch != u'\t' && glyphs[j].format == glyphs[i].format &&
             glyphs[j].charset == glyphs[i].charset)
        ++j;
      segment(glyphs, i, j, &pos[i - line.first], baseline);
      i = j;
    }
  }

 private:
  const Document& doc_;
  Rect area_;
  Canvas& canvas_;
  Rect target_;
  double sx_ = 0;
  double sy_ = 0;

  int32_t devX(double units) const { return roundEven(target_.left + units / kSub * sx_); }
  int32_t devY(double units) const {
    return roundEven(target_.top + (units / kSub - area_.top) * sy_);
  }

  // Draws glyphs [from, to), the first of which starts at pos[0] and the
  // next ones at pos[1], pos[2]...
  void segment(const std::vector<Glyph>& glyphs, size_t from, size_t to, const double* pos,
               int64_t baseline) {
    const CharFormat& f = *glyphs[from].format;
    std::string bytes;
    for (size_t k = from; k < to; ++k) bytes.push_back(char(glyphs[k].byte));
    const int32_t em = roundEven(emTwips(f) * sy_);
    if (em <= 0) return;
    canvas_.setFont(fontOf(doc_, f, em, glyphs[from].charset));
    const int32_t left = devX(pos[0]);
    const int32_t want = devX(pos[to - from]) - left;
    // Every character goes where the layout put it: a device font is a whole
    // number of pixels high, and its own widths would drift from the
    // layout's along the run.
    std::vector<int32_t> advances(to - from);
    for (size_t k = 0; k < advances.size(); ++k) advances[k] = devX(pos[k + 1]) - devX(pos[k]);
    canvas_.setTextAdvances(std::move(advances));
    int64_t shift = 0;
    if (f.vertical > 0) shift = -int64_t(f.halfPoints) * 10 * kSub / 3;
    if (f.vertical < 0) shift = int64_t(f.halfPoints) * 10 * kSub / 6;
    const int32_t top = devY(double(baseline + shift)) - canvas_.textMetrics().ascent;
    const Color back = doc_.colorAt(f.background, clNone);
    if (back != clNone) {
      canvas_.setBrush({back, BrushStyle::Solid});
      canvas_.fillRect({left, top, left + want, top + canvas_.textMetrics().height});
    }
    canvas_.setBkMode(BkMode::Transparent);
    canvas_.setTextColor(doc_.colorAt(f.color, clBlack));
    const Rect clip = target_;
    canvas_.textOut(left, top, bytes, &clip, etoClipped);
    canvas_.setTextAdvances({});
  }
};

}  // namespace

FormatResult formatRange(const Document& doc, int32_t start, const Rect& area, Canvas* canvas,
                         const Rect& target) {
  Layout layout(doc, area);
  if (!canvas || target.isEmpty()) return layout.run(start, {});
  canvas->save();
  LinePainter painter(doc, area, *canvas, target);
  FormatResult r;
  try {
    r = layout.run(start,
                   [&](const LineBox& line, const Paragraph& para, const std::vector<Glyph>& glyphs,
                       int64_t) { painter.paint(line, para, glyphs); });
  } catch (...) {
    canvas->restore();
    throw;
  }
  canvas->restore();
  return r;
}

std::vector<LaidLine> layoutLines(const Document& doc, int32_t start, const Rect& area) {
  std::vector<LaidLine> out;
  Layout(doc, area).run(start, [&](const LineBox& line, const Paragraph&,
                                   const std::vector<Glyph>& glyphs, int64_t base) {
    size_t end = line.end;
    if (end > line.first && glyphs[end - 1].ch == kLineBreak) --end;
    const int64_t top = floorDiv(line.top, kSub);
    const int64_t bottom = -floorDiv(-(line.top + line.height), kSub);
    out.push_back({int32_t(base + int64_t(line.first)), int32_t(base + int64_t(end)), int32_t(top),
                   int32_t(bottom - top)});
  });
  return out;
}

}  // namespace orv::rtf
