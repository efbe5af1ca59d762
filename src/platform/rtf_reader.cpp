// The RTF reader: a tokenizer and a stack of group states, filling the
// document model. Everything that is not text or formatting we keep (tables
// of information, style sheets, pictures, fields' instructions) is skipped as
// a whole group.
#include <algorithm>
#include <array>
#include <map>
#include <string_view>

#include "platform/codepage.h"
#include "platform/rtf_document.h"

namespace orv::rtf {
namespace {

// Deeper groups are still balanced but share their parent's state, so a
// hostile nesting costs no memory.
constexpr size_t kMaxDepth = 256;
constexpr size_t kMaxTabs = 64;
constexpr int32_t kMaxTwips = 1 << 20;
constexpr size_t kMaxWordLength = 32;

enum class Dest : uint8_t { Text, FontTable, ColorTable, Skip };

struct State {
  Dest dest = Dest::Text;
  CharFormat chr;
  bool fontSet = false;  // without \f the document's default font applies
  ParaFormat para;
  int32_t uc = 1;
  bool hidden = false;
  bool inTable = false;  // \intbl: the paragraph is a table row's cell
};

// Destinations whose content is never text for us, even without "\*".
constexpr std::string_view kSkipped[] = {"info",
                                         "stylesheet",
                                         "pict",
                                         "object",
                                         "header",
                                         "headerl",
                                         "headerr",
                                         "headerf",
                                         "footer",
                                         "footerl",
                                         "footerr",
                                         "footerf",
                                         "footnote",
                                         "annotation",
                                         "fldinst",
                                         "listtable",
                                         "listoverridetable",
                                         "revtbl",
                                         "rsidtbl",
                                         "generator",
                                         "xmlnstbl",
                                         "themedata",
                                         "colorschememapping",
                                         "latentstyles",
                                         "datastore",
                                         "pgdsctbl",
                                         "pn",
                                         "pnseclvl",
                                         "nonshppict",
                                         "private",
                                         "objdata",
                                         "txe",
                                         "xe",
                                         "tc",
                                         "bkmkstart",
                                         "bkmkend",
                                         "author",
                                         "operator",
                                         "title",
                                         "subject",
                                         "comment",
                                         "doccomm",
                                         "keywords",
                                         "company",
                                         "creatim",
                                         "revtim",
                                         "printim",
                                         "buptim",
                                         "template",
                                         "filetbl",
                                         "userprops",
                                         "docvar",
                                         "fchars",
                                         "lchars",
                                         "shp",
                                         "shpinst",
                                         "sp",
                                         "ftnsep",
                                         "ftnsepc",
                                         "aftnsep",
                                         "aftnsepc",
                                         "atnid",
                                         "atnauthor",
                                         "atrfstart",
                                         "atrfend",
                                         "mmathPr",
                                         "wgrffmtfilter",
                                         "background",
                                         "falt",
                                         "panose",
                                         "leveltext",
                                         "levelnumbers",
                                         "pntxta",
                                         "pntxtb",
                                         "fname",
                                         "passwordhash"};

int32_t clampTwips(int64_t v, int32_t lo = -kMaxTwips) {
  return int32_t(std::clamp<int64_t>(v, lo, kMaxTwips));
}

class Reader {
 public:
  explicit Reader(std::span<const uint8_t> in) : in_(in) {}

  Document run() {
    while (pos_ < in_.size() && !done_) step();
    finish();
    return std::move(doc_);
  }

 private:
  std::span<const uint8_t> in_;
  size_t pos_ = 0;
  bool done_ = false;
  Document doc_;
  std::vector<State> stack_;
  State st_;
  size_t overflow_ = 0;  // groups opened beyond kMaxDepth
  bool started_ = false;
  bool ignorableNext_ = false;
  int32_t pendingSkip_ = 0;
  int codePage_ = 1252;
  int64_t defaultFont_ = 0;
  TabKind tabKind_ = TabKind::Left;  // for the next \tx
  std::vector<int32_t> cellEdges_;   // right edges of the current row's cells
  std::map<int64_t, int32_t> fontByNumber_;
  Paragraph cur_;
  bool curTouched_ = false;
  // The font table entry and colour being read.
  int64_t entryNumber_ = -1;
  std::string entryName_;
  uint8_t entryCharset_ = 0;
  bool entryPending_ = false;
  std::array<int32_t, 3> rgb_{-1, -1, -1};

  void step() {
    const uint8_t c = in_[pos_];
    if (c == '{') {
      ++pos_;
      openGroup();
    } else if (c == '}') {
      ++pos_;
      closeGroup();
    } else if (c == '\\') {
      ++pos_;
      controlWord();
    } else {
      ++pos_;
      if (c == '\r' || c == '\n') return;
      if (c == '\t') {
        textChar(u'\t');
      } else if (c >= 0x20) {
        byteChar(c);
      }
    }
  }

  void openGroup() {
    pendingSkip_ = 0;
    if (stack_.size() >= kMaxDepth) {
      ++overflow_;
      return;
    }
    stack_.push_back(st_);
    started_ = true;
  }

  void closeGroup() {
    pendingSkip_ = 0;
    ignorableNext_ = false;
    if (overflow_ > 0) {
      --overflow_;
      return;
    }
    if (st_.dest == Dest::FontTable) commitFont(false);
    if (stack_.empty()) return;
    st_ = stack_.back();
    stack_.pop_back();
    // The document's own group has closed: what follows is not RTF any more.
    if (stack_.empty() && started_) done_ = true;
  }

  void controlWord() {
    if (pos_ >= in_.size()) return;
    const uint8_t c = in_[pos_];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter) {
      ++pos_;
      controlSymbol(c);
      return;
    }
    const size_t start = pos_;
    while (pos_ < in_.size() && pos_ - start < kMaxWordLength &&
           ((in_[pos_] >= 'a' && in_[pos_] <= 'z') || (in_[pos_] >= 'A' && in_[pos_] <= 'Z')))
      ++pos_;
    const std::string_view word(reinterpret_cast<const char*>(in_.data() + start), pos_ - start);
    // Longer words are nobody's: swallow the rest of the letters.
    while (pos_ < in_.size() &&
           ((in_[pos_] >= 'a' && in_[pos_] <= 'z') || (in_[pos_] >= 'A' && in_[pos_] <= 'Z')))
      ++pos_;
    bool hasParam = false;
    bool negative = false;
    int64_t param = 0;
    if (pos_ < in_.size() && in_[pos_] == '-' && pos_ + 1 < in_.size() && in_[pos_ + 1] >= '0' &&
        in_[pos_ + 1] <= '9') {
      negative = true;
      ++pos_;
    }
    size_t digits = 0;
    while (pos_ < in_.size() && in_[pos_] >= '0' && in_[pos_] <= '9') {
      if (digits++ < 10) param = param * 10 + (in_[pos_] - '0');
      hasParam = true;
      ++pos_;
    }
    if (negative) param = -param;
    if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
    if (word == "bin") {
      // Binary data: skipped by its length, whatever it holds.
      const size_t n = size_t(std::max<int64_t>(param, 0));
      pos_ += std::min(n, in_.size() - pos_);
      return;
    }
    if (pendingSkip_ > 0 && st_.dest == Dest::Text) {
      --pendingSkip_;
      return;
    }
    handleWord(word, hasParam, param);
  }

  void controlSymbol(uint8_t c) {
    if (c == '\'') {
      int value = 0;
      for (int i = 0; i < 2; ++i) {
        const int d = pos_ < in_.size() ? hexValue(in_[pos_]) : -1;
        if (d < 0) break;
        value = value * 16 + d;
        ++pos_;
      }
      if (st_.dest == Dest::FontTable) {
        entryName_.push_back(char(value));
        return;
      }
      if (pendingSkip_ > 0 && st_.dest == Dest::Text) {
        --pendingSkip_;
        return;
      }
      byteChar(uint8_t(value), true);
      return;
    }
    if (c == '*') {
      ignorableNext_ = true;
      return;
    }
    if (pendingSkip_ > 0 && st_.dest == Dest::Text) {
      --pendingSkip_;
      return;
    }
    switch (c) {
      case '\\':
      case '{':
      case '}':
        if (st_.dest == Dest::FontTable) {
          entryName_.push_back(char(c));
        } else {
          textChar(c);
        }
        break;
      case '~':
        textChar(0xA0);
        break;
      case '_':
        textChar(0x2011);
        break;
      case '\r':
      case '\n':
        endParagraph();
        break;
      case '\t':
        textChar(u'\t');
        break;
      default:  // "\-" optional hyphen, "\:" index entries and the like
        break;
    }
  }

  static int hexValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  void handleWord(std::string_view w, bool hasParam, int64_t p) {
    const bool ignorable = ignorableNext_;
    ignorableNext_ = false;
    // Destinations first: they apply to the group just opened.
    if (w == "fonttbl") {
      st_.dest = Dest::FontTable;
      entryPending_ = false;
      return;
    }
    if (w == "colortbl") {
      st_.dest = Dest::ColorTable;
      rgb_ = {-1, -1, -1};
      return;
    }
    if (std::find(std::begin(kSkipped), std::end(kSkipped), w) != std::end(kSkipped)) {
      st_.dest = Dest::Skip;
      return;
    }
    if (ignorable) {
      // "\*" marks a destination we may ignore when we do not know it.
      st_.dest = Dest::Skip;
      return;
    }
    if (st_.dest == Dest::Skip) return;
    const int64_t v = hasParam ? p : 1;
    if (st_.dest == Dest::FontTable) {
      if (w == "f") {
        commitFont(false);
        entryNumber_ = p;
        entryPending_ = true;
      } else if (w == "fcharset") {
        entryCharset_ = uint8_t(std::clamp<int64_t>(p, 0, 255));
        entryPending_ = true;
      }
      return;
    }
    if (st_.dest == Dest::ColorTable) {
      const int32_t c = int32_t(std::clamp<int64_t>(p, 0, 255));
      if (w == "red") rgb_[0] = c;
      if (w == "green") rgb_[1] = c;
      if (w == "blue") rgb_[2] = c;
      return;
    }
    CharFormat& f = st_.chr;
    ParaFormat& pf = st_.para;
    auto flag = [&](bool& b) { b = v != 0; };
    if (w == "par" || w == "row") {
      endParagraph();
    } else if (w == "sect") {
      // A section ends a paragraph only when it ends text; after a "\par"
      // it would make an empty one. Page breaks have no place in a box.
      if (curTouched_) endParagraph();
    } else if (w == "line") {
      textChar(kLineBreak);
    } else if (w == "tab" || w == "cell") {
      textChar(u'\t');
    } else if (w == "u") {
      int64_t u = p;
      if (u < 0) u += 65536;
      if (u >= 0 && u <= 0xFFFF) textChar(char16_t(u));
      pendingSkip_ = st_.uc;
    } else if (w == "uc") {
      st_.uc = int32_t(std::clamp<int64_t>(p, 0, 16));
    } else if (w == "ansicpg") {
      codePage_ = int(std::clamp<int64_t>(p, 0, 65535));
    } else if (w == "deff") {
      defaultFont_ = p;
    } else if (w == "deftab") {
      if (p > 0) doc_.defaultTab = clampTwips(p, 1);
    } else if (w == "plain") {
      f = CharFormat{};
      st_.fontSet = false;
      st_.hidden = false;
    } else if (w == "pard") {
      pf = ParaFormat{};
      st_.inTable = false;
    } else if (w == "intbl") {
      st_.inTable = true;
    } else if (w == "trowd") {
      cellEdges_.clear();
    } else if (w == "cellx") {
      if (cellEdges_.size() < kMaxTabs) cellEdges_.push_back(clampTwips(p, 0));
      tabKind_ = TabKind::Left;
    } else if (w == "f") {
      auto it = fontByNumber_.find(p);
      f.font = it == fontByNumber_.end() ? -1 : it->second;
      st_.fontSet = true;
    } else if (w == "fs") {
      f.halfPoints = p <= 0 ? 24 : int32_t(std::min<int64_t>(p, 3276));
    } else if (w == "kerning") {
      f.kerning = int32_t(std::clamp<int64_t>(p, 0, 3276));
    } else if (w == "b") {
      flag(f.bold);
    } else if (w == "i") {
      flag(f.italic);
    } else if (w == "ul" || w == "uld" || w == "uldash" || w == "uldashd" || w == "uldashdd" ||
               w == "uldb" || w == "ulth" || w == "ulw" || w == "ulwave" || w == "ulhwave" ||
               w == "ululdbwave" || w == "ulthd" || w == "ulthdash" || w == "ulldash" ||
               w == "ulthldash" || w == "ulthdashd" || w == "ulthdashdd") {
      flag(f.underline);
    } else if (w == "ulnone") {
      f.underline = false;
    } else if (w == "strike" || w == "striked") {
      flag(f.strike);
    } else if (w == "cf") {
      f.color = int32_t(std::clamp<int64_t>(p, 0, INT32_MAX));
    } else if (w == "cb" || w == "highlight" || w == "chcbpat") {
      f.background = int32_t(std::clamp<int64_t>(p, 0, INT32_MAX));
    } else if (w == "super" || w == "up") {
      f.vertical = v != 0 ? 1 : 0;
    } else if (w == "sub" || w == "dn") {
      f.vertical = v != 0 ? -1 : 0;
    } else if (w == "nosupersub") {
      f.vertical = 0;
    } else if (w == "v") {
      st_.hidden = v != 0;
    } else if (w == "ql") {
      pf.align = Align::Left;
    } else if (w == "qr") {
      pf.align = Align::Right;
    } else if (w == "qc") {
      pf.align = Align::Center;
    } else if (w == "qj") {
      pf.align = Align::Justify;
    } else if (w == "li") {
      pf.leftIndent = clampTwips(p);
    } else if (w == "ri") {
      pf.rightIndent = clampTwips(p);
    } else if (w == "fi") {
      pf.firstIndent = clampTwips(p);
    } else if (w == "sb") {
      pf.spaceBefore = clampTwips(p, 0);
    } else if (w == "sa") {
      pf.spaceAfter = clampTwips(p, 0);
    } else if (w == "sl") {
      pf.lineSpacing = clampTwips(p);
    } else if (w == "slmult") {
      pf.lineMultiple = v != 0;
    } else if (w == "tx" || w == "tb") {
      if (pf.tabs.size() < kMaxTabs) pf.tabs.push_back({clampTwips(p, 0), tabKind_});
      tabKind_ = TabKind::Left;
    } else if (w == "tqr") {
      tabKind_ = TabKind::Right;
    } else if (w == "tqc") {
      tabKind_ = TabKind::Center;
    } else if (w == "tqdec") {
      tabKind_ = TabKind::Decimal;
    } else {
      // Symbols written as words.
      static const std::pair<std::string_view, char16_t> kSymbols[] = {
          {"emdash", 0x2014},  {"endash", 0x2013},    {"bullet", 0x2022},    {"lquote", 0x2018},
          {"rquote", 0x2019},  {"ldblquote", 0x201C}, {"rdblquote", 0x201D}, {"emspace", 0x2003},
          {"enspace", 0x2002}, {"qmspace", 0x2005}};
      for (const auto& [name, ch] : kSymbols)
        if (w == name) textChar(ch);
    }
  }

  // A table row becomes one paragraph whose cells are separated by tabs:
  // the cells' edges are its tab stops unless it has stops of its own.
  ParaFormat paraFormat() const {
    ParaFormat pf = st_.para;
    if (st_.inTable && pf.tabs.empty() && cellEdges_.size() > 1)
      for (size_t i = 0; i + 1 < cellEdges_.size(); ++i) pf.tabs.push_back({cellEdges_[i]});
    return pf;
  }

  int32_t resolveFont(int64_t number) const {
    auto it = fontByNumber_.find(number);
    return it == fontByNumber_.end() ? -1 : it->second;
  }

  void commitFont(bool force) {
    if (!entryPending_ && !force && entryName_.empty()) return;
    const int32_t index = int32_t(doc_.fonts.size());
    doc_.fonts.push_back({entryName_, entryCharset_});
    fontByNumber_[entryNumber_ >= 0 ? entryNumber_ : int64_t(index)] = index;
    entryName_.clear();
    entryCharset_ = 0;
    entryNumber_ = -1;
    entryPending_ = false;
  }

  int codePageOf(const CharFormat& f) const {
    if (f.font >= 0 && size_t(f.font) < doc_.fonts.size()) {
      const uint8_t cs = doc_.fonts[size_t(f.font)].charset;
      if (cs != 0 && cs != 1) return codePageForCharset(cs);
    }
    return codePage_ == 0 ? 1252 : codePage_;
  }

  CharFormat effective() const {
    CharFormat f = st_.chr;
    if (!st_.fontSet) f.font = resolveFont(defaultFont_);
    return f;
  }

  void byteChar(uint8_t b, bool escaped = false) {
    if (st_.dest == Dest::FontTable) {
      if (b == ';' && !escaped) {
        commitFont(true);
      } else {
        entryName_.push_back(char(b));
      }
      return;
    }
    if (st_.dest == Dest::ColorTable) {
      if (b == ';') {
        doc_.colors.push_back(rgb_[0] < 0 && rgb_[1] < 0 && rgb_[2] < 0
                                  ? clNone
                                  : rgb(uint8_t(std::max(rgb_[0], 0)),
                                        uint8_t(std::max(rgb_[1], 0)),
                                        uint8_t(std::max(rgb_[2], 0))));
        rgb_ = {-1, -1, -1};
      }
      return;
    }
    if (st_.dest != Dest::Text) return;
    if (pendingSkip_ > 0) {
      --pendingSkip_;
      return;
    }
    if (b < 0x20 && b != '\t') return;
    if (b < 0x80) {
      textChar(char16_t(b));
    } else {
      textChar(byteToUnicode(b, codePageOf(effective())));
    }
  }

  void textChar(char16_t c) {
    if (st_.dest != Dest::Text || st_.hidden || !started_) return;
    if (c < 0x20 && c != u'\t' && c != kLineBreak) return;
    const CharFormat f = effective();
    if (cur_.runs.empty() || !(cur_.runs.back().format == f)) cur_.runs.push_back({f, {}});
    cur_.runs.back().text.push_back(c);
    cur_.format = paraFormat();
    cur_.markFormat = f;
    curTouched_ = true;
  }

  void endParagraph() {
    if (st_.dest != Dest::Text || !started_) return;
    cur_.format = paraFormat();
    cur_.markFormat = effective();
    doc_.paragraphs.push_back(std::move(cur_));
    cur_ = Paragraph{};
    curTouched_ = false;
  }

  void finish() {
    // Text after the last paragraph mark is a paragraph of its own; an empty
    // rest is only the document's end.
    if (!cur_.runs.empty()) doc_.paragraphs.push_back(std::move(cur_));
    const int32_t colors = int32_t(doc_.colors.size());
    for (Paragraph& para : doc_.paragraphs) {
      for (CharFormat* f : {&para.markFormat}) {
        if (f->color >= colors) f->color = 0;
        if (f->background >= colors) f->background = 0;
      }
      for (Run& r : para.runs) {
        if (r.format.color >= colors) r.format.color = 0;
        if (r.format.background >= colors) r.format.background = 0;
      }
    }
    doc_.normalize();
  }
};

}  // namespace

Document read(std::span<const uint8_t> bytes) {
  return Reader(bytes).run();
}

}  // namespace orv::rtf
