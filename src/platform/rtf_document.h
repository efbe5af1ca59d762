#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/color.h"

namespace orv::rtf {

// Formatted text as the rich-text views keep it: paragraphs of runs, with the
// font and colour tables the runs point into. Text is UTF-16; font names stay
// the bytes the file held.
//
// Character positions count as a rich edit control counts them: every
// character of a run is one position, and the end of every paragraph but the
// last is one more (a carriage return). A line break inside a paragraph is
// the character kLineBreak.

inline constexpr char16_t kLineBreak = 0x0B;
inline constexpr char16_t kParagraphMark = u'\r';

enum class Align : uint8_t { Left, Right, Center, Justify };

struct CharFormat {
  int32_t font = -1;  // index into Document::fonts; -1 = the default face
  int32_t halfPoints = 24;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strike = false;
  int32_t color = 0;       // index into Document::colors; 0 = automatic (black)
  int32_t background = 0;  // index into Document::colors; 0 = none
  int8_t vertical = 0;     // 1 superscript, -1 subscript
  int32_t kerning = 0;     // pairs are kerned from this size in half-points on; 0 never
  friend bool operator==(const CharFormat&, const CharFormat&) = default;
};

// How the text after a tab meets its stop: starting there, centred on it,
// ending there, or with its decimal separator on it.
enum class TabKind : uint8_t { Left, Center, Right, Decimal };

struct TabStop {
  int32_t position = 0;  // twips from the left margin
  TabKind kind = TabKind::Left;
  friend bool operator==(const TabStop&, const TabStop&) = default;
};

struct ParaFormat {
  Align align = Align::Left;
  // Twips. The first-line indent is relative to the left one.
  int32_t leftIndent = 0;
  int32_t rightIndent = 0;
  int32_t firstIndent = 0;
  int32_t spaceBefore = 0;
  int32_t spaceAfter = 0;
  // \sl: 0 single; above 0 at least that many twips; below 0 exactly; with
  // lineMultiple, sl/240 single lines.
  int32_t lineSpacing = 0;
  bool lineMultiple = false;
  std::vector<TabStop> tabs;
  friend bool operator==(const ParaFormat&, const ParaFormat&) = default;
};

struct Run {
  CharFormat format;
  std::u16string text;
  friend bool operator==(const Run&, const Run&) = default;
};

struct Paragraph {
  ParaFormat format;
  std::vector<Run> runs;
  // The format of the paragraph mark: what an empty paragraph is measured with.
  CharFormat markFormat;
  friend bool operator==(const Paragraph&, const Paragraph&) = default;
};

struct FontEntry {
  std::string name;
  uint8_t charset = 0;  // \fcharset
  friend bool operator==(const FontEntry&, const FontEntry&) = default;
};

struct Document {
  std::vector<FontEntry> fonts;
  // The colour table as stored; clNone marks an automatic entry.
  std::vector<Color> colors;
  int32_t defaultTab = 720;  // twips
  std::vector<Paragraph> paragraphs;
  friend bool operator==(const Document&, const Document&) = default;

  // Number of character positions.
  int32_t length() const;
  bool empty() const { return length() == 0; }
  // The text with paragraph marks and line breaks as characters.
  std::u16string text() const;
  // The text for people: paragraphs and line breaks become "\n".
  std::u16string plainText() const;

  // The part from `from` up to `to` (positions, clamped), with the tables and
  // the formats of the paragraphs it touches.
  Document slice(int32_t from, int32_t to) const;
  // Replaces `count` characters at `from` by `text`, which takes the format
  // of the first replaced character (or of the one before when none is).
  // "\r" in `text` starts a new paragraph; "\n" is a line break.
  void replace(int32_t from, int32_t count, std::u16string_view text);
  // Replaces every bracketed field ("[...]": brackets nest, quoted strings
  // may hold brackets) in one pass over the text, brackets included, by the
  // text `value` gives for its inner text. The value takes the format of the
  // opening bracket and, when `charset` is given, a font of that character
  // set. With `rescan` a value is searched for fields again; more than
  // `maxRescans` of them raise orv::Error. An opening bracket without its
  // closing one ends the search.
  void replaceFields(const std::function<std::u16string(std::u16string_view inner)>& value,
                     bool rescan, std::optional<uint8_t> charset, int maxRescans);

  // Merges neighbouring runs of one format and drops empty runs.
  void normalize();

  // The colour a format's colour index stands for, or `fallback`.
  Color colorAt(int32_t index, Color fallback) const;
};

// Reads RTF. Damaged or hostile input gives what could be read: unknown
// control words and destinations are skipped, nesting is bounded, and an
// unbalanced end closes the open groups. Never throws.
Document read(std::span<const uint8_t> bytes);
inline Document read(std::string_view text) {
  return read(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

// Writes the document as RTF that `read` gives back unchanged.
std::string write(const Document& doc);

// A document of plain text in one font: paragraphs at "\r\n", "\r" or "\n".
Document fromPlainText(std::u16string_view text, const FontEntry& font, int32_t halfPoints);

}  // namespace orv::rtf
