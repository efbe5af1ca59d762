#include "platform/rtf_layout.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "platform/canvas.h"
#include "platform/codepage.h"
#include "platform/fonts.h"

namespace orv::rtf {
namespace {

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
  int32_t advance = 0;  // twips; tabs get theirs during layout
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
  int64_t indent = 0;      // left edge of the line's text, twips from the area's left
  int64_t limit = 0;       // right edge available, twips from the area's left
  std::vector<int64_t> x;  // start of every glyph, twips from the area's left
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
    int64_t y = area_.top;
    for (; p < doc_.paragraphs.size(); ++p) {
      const Paragraph& para = doc_.paragraphs[p];
      const int64_t len = paragraphLength(para);
      const size_t offset = size_t(std::clamp<int64_t>(start - paraStart, 0, len));
      std::vector<Glyph> glyphs = shape(para, offset);
      bool first = offset == 0;
      size_t pos = 0;
      while (true) {
        LineBox line = breakLine(para, glyphs, pos, first);
        if (first) y += para.format.spaceBefore;
        line.top = y;
        if (y + line.height > area_.bottom) {
          result.nextChar = int32_t(paraStart + int64_t(offset + pos));
          return result;
        }
        if (placed) placed(line, para, glyphs, paraStart + int64_t(offset));
        y += line.height;
        result.bottom = int32_t(std::clamp<int64_t>(y, INT32_MIN, INT32_MAX));
        pos = line.end;
        first = false;
        // A line break at the paragraph's end leaves one more, empty line.
        if (pos >= glyphs.size() && !line.forcedBreak) break;
      }
      y += para.format.spaceAfter;
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
      const FontSpec spec = fontOf(doc_, r.format, em, own);
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
            scaledFont(g.charset == own ? spec : fontOf(doc_, r.format, em, g.charset));
        g.advance = font.advance(g.byte);
        g.ascent = font.metrics().ascent;
        g.descent = font.metrics().descent;
        if (r.format.vertical > 0) g.ascent += r.format.halfPoints * 10 / 3;
        if (r.format.vertical < 0) g.descent += r.format.halfPoints * 10 / 6;
        out.push_back(g);
      }
    }
    return out;
  }

  int64_t tabStop(const ParaFormat& pf, int64_t x) const {
    for (int32_t t : pf.tabs)
      if (t > x) return t;
    const int64_t step = std::max(1, doc_.defaultTab);
    return (x / step + 1) * step;
  }

  LineBox breakLine(const Paragraph& para, const std::vector<Glyph>& glyphs, size_t pos,
                    bool first) const {
    const ParaFormat& pf = para.format;
    LineBox line;
    line.first = pos;
    line.firstOfParagraph = first;
    line.indent = int64_t(pf.leftIndent) + (first ? pf.firstIndent : 0);
    line.limit = int64_t(area_.right) - area_.left - pf.rightIndent;
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
      const int64_t adv = g.ch == u'\t' ? tabStop(pf, x) - x : g.advance;
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
      const ScaledFont& font = scaledFont(fontOf(doc_, f, emTwips(f), charsetOf(doc_, f)));
      ascent = font.metrics().ascent;
      descent = font.metrics().descent;
    }
    const int64_t natural = ascent + descent;
    const ParaFormat& pf = para.format;
    int64_t h = natural;
    if (pf.lineMultiple && pf.lineSpacing > 0) {
      h = natural * pf.lineSpacing / 240;
    } else if (pf.lineSpacing > 0) {
      h = std::max<int64_t>(natural, pf.lineSpacing);
    } else if (pf.lineSpacing < 0) {
      h = -int64_t(pf.lineSpacing);
    }
    line.ascent = ascent;
    line.descent = descent;
    line.height = std::max<int64_t>(h, 1);
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

    const int64_t baseline = line.top + line.height - line.descent;
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
      segment(glyphs, i, j, pos[i - line.first], pos[j - line.first], baseline);
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

  int32_t devX(double twips) const { return roundEven(target_.left + (twips)*sx_); }
  int32_t devY(double twips) const { return roundEven(target_.top + (twips - area_.top) * sy_); }

  void segment(const std::vector<Glyph>& glyphs, size_t from, size_t to, double x0, double x1,
               int64_t baseline) {
    const CharFormat& f = *glyphs[from].format;
    std::string bytes;
    int32_t blanks = 0;
    for (size_t k = from; k < to; ++k) {
      bytes.push_back(char(glyphs[k].byte));
      blanks += glyphs[k].ch == u' ';
    }
    const int32_t em = roundEven(emTwips(f) * sy_);
    if (em <= 0) return;
    canvas_.setFont(fontOf(doc_, f, em, glyphs[from].charset));
    canvas_.setTextJustification(0, 0);
    canvas_.setTextCharacterExtra(0);
    const int32_t left = devX(x0);
    const int32_t want = devX(x1) - left;
    const int32_t have = canvas_.textWidth(bytes);
    // The device's rounded widths differ from the layout's: spread the
    // difference so the run ends where the layout ends it.
    if (blanks > 0) {
      canvas_.setTextJustification(want - have, blanks);
    } else if (!bytes.empty()) {
      canvas_.setTextCharacterExtra((want - have) / int32_t(bytes.size()));
    }
    int64_t shift = 0;
    if (f.vertical > 0) shift = -int64_t(f.halfPoints) * 10 / 3;
    if (f.vertical < 0) shift = int64_t(f.halfPoints) * 10 / 6;
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
    canvas_.setTextJustification(0, 0);
    canvas_.setTextCharacterExtra(0);
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
    out.push_back({int32_t(base + int64_t(line.first)), int32_t(base + int64_t(end)),
                   int32_t(line.top), int32_t(line.height)});
  });
  return out;
}

}  // namespace orv::rtf
