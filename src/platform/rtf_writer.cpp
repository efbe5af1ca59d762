// The RTF writer. Every paragraph and every run states its whole format
// (\pard, \plain and what differs from the defaults), so reading the result
// gives the model back unchanged, and other programs read it as written.
#include <string>

#include "platform/rtf_document.h"

namespace orv::rtf {
namespace {

void word(std::string& out, std::string_view w, int64_t value) {
  out += '\\';
  out += w;
  out += std::to_string(value);
}

void hexByte(std::string& out, uint8_t b) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\'";
  out += kHex[b >> 4];
  out += kHex[b & 15];
}

void charFormat(std::string& out, const CharFormat& f) {
  out += "\\plain";
  if (f.font >= 0) word(out, "f", f.font);
  word(out, "fs", f.halfPoints);
  if (f.bold) out += "\\b";
  if (f.italic) out += "\\i";
  if (f.underline) out += "\\ul";
  if (f.strike) out += "\\strike";
  if (f.color != 0) word(out, "cf", f.color);
  if (f.background != 0) word(out, "highlight", f.background);
  if (f.vertical > 0) out += "\\super";
  if (f.vertical < 0) out += "\\sub";
  if (f.kerning) word(out, "kerning", f.kerning);
  out += ' ';
}

void paraFormat(std::string& out, const ParaFormat& p) {
  out += "\\pard";
  switch (p.align) {
    case Align::Left:
      break;
    case Align::Right:
      out += "\\qr";
      break;
    case Align::Center:
      out += "\\qc";
      break;
    case Align::Justify:
      out += "\\qj";
      break;
  }
  if (p.leftIndent) word(out, "li", p.leftIndent);
  if (p.rightIndent) word(out, "ri", p.rightIndent);
  if (p.firstIndent) word(out, "fi", p.firstIndent);
  if (p.spaceBefore) word(out, "sb", p.spaceBefore);
  if (p.spaceAfter) word(out, "sa", p.spaceAfter);
  if (p.lineSpacing || p.lineMultiple) {
    word(out, "sl", p.lineSpacing);
    word(out, "slmult", p.lineMultiple ? 1 : 0);
  }
  for (const TabStop& t : p.tabs) {
    if (t.kind == TabKind::Center) out += "\\tqc";
    if (t.kind == TabKind::Right) out += "\\tqr";
    if (t.kind == TabKind::Decimal) out += "\\tqdec";
    word(out, "tx", t.position);
  }
  out += ' ';
}

void text(std::string& out, std::u16string_view s) {
  for (char16_t c : s) {
    if (c == u'\\' || c == u'{' || c == u'}') {
      out += '\\';
      out += char(c);
    } else if (c == u'\t') {
      out += "\\tab ";
    } else if (c == kLineBreak) {
      out += "\\line ";
    } else if (c >= 0x20 && c < 0x7F) {
      out += char(c);
    } else if (c >= 0x7F) {
      // \u takes a signed 16-bit number; the "?" is for readers without Unicode.
      word(out, "u", int16_t(c));
      out += '?';
    }
  }
}

bool usesDefaultFont(const Document& doc) {
  for (const Paragraph& p : doc.paragraphs) {
    if (p.markFormat.font < 0) return true;
    for (const Run& r : p.runs)
      if (r.format.font < 0) return true;
  }
  return false;
}

}  // namespace

std::string write(const Document& doc) {
  std::string out = "{\\rtf1\\ansi\\ansicpg1252";
  // Runs in the default face name no font, so the default font must be one
  // the table does not hold.
  word(out, "deff", usesDefaultFont(doc) ? int64_t(doc.fonts.size()) : 0);
  word(out, "deftab", doc.defaultTab);
  out += "\\uc1";
  if (!doc.fonts.empty()) {
    out += "{\\fonttbl";
    for (size_t i = 0; i < doc.fonts.size(); ++i) {
      out += "{";
      word(out, "f", int64_t(i));
      word(out, "fcharset", doc.fonts[i].charset);
      out += ' ';
      for (char ch : doc.fonts[i].name) {
        const uint8_t b = uint8_t(ch);
        if (b < 0x20 || b >= 0x7F || b == ';' || b == '\\' || b == '{' || b == '}') {
          hexByte(out, b);
        } else {
          out += ch;
        }
      }
      out += ";}";
    }
    out += "}";
  }
  if (!doc.colors.empty()) {
    out += "{\\colortbl";
    for (Color c : doc.colors) {
      if (c != clNone) {
        word(out, "red", redOf(c));
        word(out, "green", greenOf(c));
        word(out, "blue", blueOf(c));
      }
      out += ';';
    }
    out += "}";
  }
  out += "\n";
  for (const Paragraph& p : doc.paragraphs) {
    paraFormat(out, p.format);
    const CharFormat* last = nullptr;
    for (const Run& r : p.runs) {
      if (r.text.empty()) continue;
      charFormat(out, r.format);
      text(out, r.text);
      last = &r.format;
    }
    if (!last || !(*last == p.markFormat)) charFormat(out, p.markFormat);
    out += "\\par\n";
  }
  out += "}";
  return out;
}

}  // namespace orv::rtf
