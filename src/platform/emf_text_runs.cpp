// The text-output records of an EMF, read back for search and text export.
#include "platform/codepage.h"
#include "platform/emf_player.h"
#include "platform/metafile_player.h"

namespace orv {
namespace {

using namespace metafile;

// Follows the fonts an EMF selects, which is all the text needs of its state.
class TextRunReader {
 public:
  TextRunReader(uint16_t handles, uint8_t charsetHint)
      : fonts_(std::max<uint32_t>(handles, 1)), fallback_(charsetHint == 1 ? 0 : charsetHint) {}

  // False when the visitor wants no more runs.
  bool record(const Rec& r, const std::function<bool(const EmfTextRun&)>& visit) {
    switch (r.type) {
      case EMR_EXTCREATEFONTINDIRECTW:
        createFont(r);
        break;
      case EMR_SELECTOBJECT:
        selectObject(r);
        break;
      case EMR_DELETEOBJECT:
        if (!(emfValue(r) & kStockObject)) slot(r) = Font{};
        break;
      case EMR_CREATEPEN:
      case EMR_CREATEBRUSHINDIRECT:
      case EMR_EXTCREATEPEN:
      case EMR_CREATEPALETTE:
      case EMR_CREATEMONOBRUSH:
      case EMR_CREATEDIBPATTERNBRUSHPT:
        slot(r) = Font{};
        break;
      case EMR_SAVEDC:
        if (saved_.size() >= kMaxSavedStates) r.bad("saves more states than a picture needs");
        saved_.push_back(current_);
        break;
      case EMR_RESTOREDC:
        restore(int32_t(emfValue(r)));
        break;
      case EMR_EXTTEXTOUTA:
      case EMR_EXTTEXTOUTW:
        return visit(run(r));
      default:
        break;
    }
    return true;
  }

 private:
  struct Font {
    bool present = false;
    uint8_t charset = 1;
    std::string face;
  };

  Font& slot(const Rec& r) {
    const uint32_t ih = emfValue(r);
    if (ih == 0 || ih >= fonts_.size()) r.bad("names an object outside the table");
    return fonts_[ih];
  }

  void createFont(const Rec& r) {
    Font& f = slot(r);
    const FontRecord font = emfCreateFont(r);
    f = Font{true, font.charset, font.face};
  }

  void selectObject(const Rec& r) {
    const uint32_t ih = emfValue(r);
    if (ih & kStockObject) {
      const uint32_t n = ih & ~kStockObject;
      if (n >= OEM_FIXED_FONT && n <= DEFAULT_GUI_FONT && n != DEFAULT_PALETTE) current_ = Font{};
      return;
    }
    const Font& f = slot(r);
    if (f.present) current_ = f;
  }

  void restore(int32_t n) {
    size_t keep = saved_.size();
    if (n < 0 && uint64_t(-int64_t(n)) <= saved_.size()) keep = saved_.size() - size_t(-int64_t(n));
    if (n > 0 && size_t(n) <= saved_.size()) keep = size_t(n) - 1;
    if (keep < saved_.size()) {
      current_ = saved_[keep];
      saved_.resize(keep);
    }
  }

  EmfTextRun run(const Rec& r) const {
    const EmfExtTextOut t = emfExtTextOut(r, false);
    EmfTextRun run;
    run.recordIndex = r.index;
    run.recordType = r.type;
    run.bounds = t.bounds;
    run.reference = t.reference;
    run.charset = current_.charset == 1 ? fallback_ : current_.charset;
    if (t.wide) {
      run.text = encodeText(t.unicode(), codePageForFont(current_.face, run.charset));
    } else {
      run.text.assign(t.chars.begin(), t.chars.end());
    }
    return run;
  }

  std::vector<Font> fonts_;
  Font current_;  // the stock font: default character set
  std::vector<Font> saved_;
  uint8_t fallback_;
};

}  // namespace

void forEachTextRun(std::span<const uint8_t> emf,
                    const std::function<bool(const EmfTextRun&)>& visit, uint8_t charsetHint) {
  if (metafileKind(emf) != MetafileKind::Emf) fail("not an enhanced metafile");
  TextRunReader reader(decodeEmfHandles(emf), charsetHint);
  size_t pos = 0, index = 0;
  while (pos < emf.size()) {
    const Rec r = nextEmfRecord(emf, pos, index);
    if (index >= kMaxRecords) fail("too many records");
    if (!reader.record(r, visit)) return;
    pos += r.d.size();
    ++index;
    if (r.type == EMR_EOF) break;
  }
}

std::vector<EmfTextRun> enumerateTextRuns(std::span<const uint8_t> emf, uint8_t charsetHint) {
  std::vector<EmfTextRun> runs;
  forEachTextRun(
      emf,
      [&](const EmfTextRun& r) {
        runs.push_back(r);
        return true;
      },
      charsetHint);
  return runs;
}

}  // namespace orv
