// Line breaking of text objects: paragraphs into lines that fit the object's
// inner width at design resolution, with optional syllable hyphenation.

#include <algorithm>
#include <climits>
#include <cmath>

#include "model/memo_view.h"
#include "model/state.h"

namespace orv {

namespace {

int32_t clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// Upper case in code page 1251, the page the hyphenation rule is written for.
uint8_t upper1251(uint8_t c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c >= 0xE0) return c - 32;  // а..я
  switch (c) {
    case 0xB8:
      return 0xA8;  // ё
    case 0xA2:
      return 0xA1;  // ў
    case 0xB3:
      return 0xB2;  // і
    case 0xB4:
      return 0xA5;  // ґ
    case 0xBA:
      return 0xAA;  // є
    case 0xBF:
      return 0xAF;  // ї
    case 0xBC:
      return 0xA3;  // ј
    case 0xBE:
      return 0xBD;  // ѕ
    case 0x83:
      return 0x81;  // ѓ
    case 0x90:
      return 0x80;  // ђ
    case 0x9A:
      return 0x8A;  // љ
    case 0x9C:
      return 0x8C;  // њ
    case 0x9D:
      return 0x8D;  // ќ
    case 0x9E:
      return 0x8E;  // ћ
    case 0x9F:
      return 0x8F;  // џ
    default:
      return c;
  }
}

// Upper-case vowels: Ё А Е И О У Ы Э Ю Я.
bool isVowel(uint8_t c) {
  switch (c) {
    case 0xA8:
    case 0xC0:
    case 0xC5:
    case 0xC8:
    case 0xCE:
    case 0xD3:
    case 0xDB:
    case 0xDD:
    case 0xDE:
    case 0xDF:
      return true;
    default:
      return false;
  }
}

// The hard and the soft sign, which never start a syllable.
bool isSign(uint8_t c) {
  return c == 0xDA || c == 0xDC;
}

bool isWordDelimiter(uint8_t c) {
  return c == ' ' || c == ',' || c == '-' || c == '.';
}

}  // namespace

std::vector<int32_t> TfrMemoView::BreakWord(std::string_view word) {
  std::vector<int32_t> points;
  const int64_t n = static_cast<int64_t>(word.size());
  if (n < 4) return points;
  auto at = [&](int64_t i) { return upper1251(static_cast<uint8_t>(word[size_t(i - 1)])); };
  for (int64_t i = 2; i <= n - 2; ++i) {
    const uint8_t c = at(i), next = at(i + 1), after = at(i + 2);
    bool can;
    if (isVowel(c))
      can = isVowel(next) || isVowel(after);
    else if (isSign(c))
      can = !isWordDelimiter(after);
    else
      can = !isVowel(next) && !isSign(next) && isVowel(after);
    if (can) points.push_back(static_cast<int32_t>(i));
  }
  return points;
}

void TfrMemoView::OutputLine(std::string line) {
  WrappedLines().push_back(std::move(line));
  layout_.position += LineStep;
}

void TfrMemoView::WrapMemo() {
  Canvas& c = scratchCanvas();
  // Design resolution: the point size at 96 pixels per inch, whatever the zoom.
  const FontSpec upright = Font.Spec(roundEven(-(Font.Size * 96.0 / 72.0)));
  c.setFont(upright);
  c.setTextCharacterExtra(CharSpacing);
  c.setTextJustification(0, 0);
  WrappedLines().clear();
  layout_.canvas = &c;

  const bool rotated = (Alignment & frtaVertical) != 0;
  // Rotated lines advance by the same step across the object; keeping it
  // for them too makes the rotated block's width come out right.
  LineStep = clamp32(int64_t(LineSpacing) - upright.height);
  if (!rotated) {
    layout_.position = int64_t(Top) + GapY;
    layout_.maxWidth = int64_t(Width) - 2 * int64_t(GapX);
  } else {
    FontSpec f = upright;
    f.escapement = f.orientation = 900;
    c.setFont(f);
    layout_.position = int64_t(Left) + GapX;
    layout_.maxWidth = int64_t(Height) - 2 * int64_t(GapY);
  }

  // The designer shows a lone expression that does not fit as it stands
  // rather than broken into pieces.
  if (!rotated && modelState().Mode == DocumentMode::Designing && ExpandedText.size() == 1 &&
      !ExpandedText.front().empty() && ExpandedText.front().front() == '[' &&
      c.textWidth(ExpandedText.front()) > layout_.maxWidth) {
    OutputLine(ExpandedText.front());
  } else {
    for (const std::string& line : ExpandedText) {
      if (PreWrapped)
        OutputLine(line);
      else if (Flags & flWordWrap)
        WrapLine(line);
      else
        OutputLine(rotated ? line : line + kParagraphEnd);
    }
  }

  const int64_t gap = rotated ? GapX : GapY;
  const int64_t origin = rotated ? Left : Top;
  TextBlockHeight = clamp32(layout_.position + gap - origin);
  c.setFont(upright);
  layout_.canvas = nullptr;
}

void TfrMemoView::WrapLine(std::string_view s) {
  Canvas& c = layout_.canvas ? *layout_.canvas : scratchCanvas();
  const int64_t maxWidth = layout_.maxWidth;
  const int64_t len = static_cast<int64_t>(s.size());

  // Widths of pieces from the advances of the whole paragraph: the canvas
  // measures a text as the sum of its characters' advances, and measuring
  // each candidate piece again would make long paragraphs quadratic.
  std::vector<int64_t> prefix(size_t(len) + 1, 0);
  {
    const std::vector<int32_t> adv = c.charAdvances(s);
    for (int64_t i = 0; i < len; ++i) prefix[size_t(i + 1)] = prefix[size_t(i)] + adv[size_t(i)];
  }
  const int64_t hyphenWidth = c.textWidth("-");

  // Positions count from 1 and pieces follow the rules of a Pascal Copy: the
  // count is cut at the end of the text, a count below one gives nothing.
  auto at = [&](int64_t i) -> uint8_t {
    return (i >= 1 && i <= len) ? static_cast<uint8_t>(s[size_t(i - 1)]) : 0;
  };
  auto range = [&](int64_t index, int64_t count) -> std::pair<int64_t, int64_t> {
    index = std::max<int64_t>(index, 1);
    if (count <= 0 || index > len) return {0, 0};
    return {index - 1, std::min(len, index - 1 + count)};
  };
  auto copy = [&](int64_t index, int64_t count) -> std::string {
    auto [from, to] = range(index, count);
    return std::string(s.substr(size_t(from), size_t(to - from)));
  };
  auto width = [&](int64_t index, int64_t count) -> int64_t {
    auto [from, to] = range(index, count);
    return prefix[size_t(to)] - prefix[size_t(from)];
  };
  auto isBreak = [](uint8_t ch) { return ch == 13 || ch == 10; };

  if (s.find_first_of("\r\n") == std::string_view::npos &&
      (len <= 1 || prefix[size_t(len)] <= maxWidth)) {
    OutputLine(std::string(s) + kParagraphEnd);
    return;
  }

  const bool wordBreak = (Flags & flWordBreak) != 0;
  int64_t beg = 1, last = 1, a = 1, prev = 0;
  int stalls = 0;  // overflow breaks in a row that did not move the line start
  while (a <= len) {
    if (isBreak(at(a))) {
      OutputLine(copy(beg, a - beg) + kParagraphEnd);
      while (a < len && isBreak(at(a))) ++a;
      beg = last = a;
      if (isBreak(at(a))) return;  // the text ended in line breaks
      continue;
    }
    if (at(a) != ' ' && width(beg, a - beg + 1) > maxWidth) {
      const int64_t oldBeg = beg;
      bool hyphen = false;
      if (wordBreak) {
        int64_t j = a;
        while (j <= len && !isWordDelimiter(at(j))) ++j;
        const std::vector<int32_t> points = BreakWord(copy(last + 1, j - last - 1));
        if (!points.empty()) {
          int64_t fit = last;
          for (int32_t k : points) {
            if (width(beg, k + last - beg + 1) + hyphenWidth > maxWidth) break;
            hyphen = true;
            fit = k + last;
          }
          if (hyphen || last >= beg) {
            a = fit;
            last = a;
          } else {
            // No syllable fits and the word starts the line: going back to
            // the blank before it would give an empty line, and the same
            // again forever. Break the word where it overflows instead.
            last = a;
          }
        }
      } else if (last == beg) {
        last = a;
      }

      if (hyphen) {
        OutputLine(copy(beg, last - beg + 1) + "-");
      } else if (at(last) == ' ') {
        OutputLine(copy(beg, last - beg));
      } else {
        if (last == beg) last = a;
        OutputLine(copy(beg, last - beg));
        --last;
      }

      if (wordBreak && !hyphen && a == last + 1) {
        if (a == prev) {
          // The word cannot be placed: the rest of the paragraph, from the
          // first character not yet output, becomes one last line.
          beg = a;
          a = len + 1;
          break;
        }
        prev = a;
      }
      beg = last + 1;
      last = beg;
      // Safety net: a line start that stops moving means no further break
      // can help; flush the rest rather than loop.
      stalls = beg <= oldBeg ? stalls + 1 : 0;
      if (stalls >= 3) {
        a = len + 1;
        break;
      }
    }
    if (at(a) == ' ') last = a;
    ++a;  // code pages of this program have no double-byte characters
  }
  if (a != beg) OutputLine(copy(beg, a - beg + 1) + kParagraphEnd);
}

}  // namespace orv
