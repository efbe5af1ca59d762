// The text-output records of an EMF, read back for search and text export.
#include "platform/codepage.h"
#include "platform/emf_player.h"
#include "platform/metafile_player.h"

namespace orv {

using namespace metafile;

void forEachTextRun(std::span<const uint8_t> emf,
                    const std::function<bool(const EmfTextRun&)>& visit, uint8_t charsetHint) {
  if (metafileKind(emf) != MetafileKind::Emf) fail("not an enhanced metafile");
  if (emf.size() < 88) fail("enhanced metafile header is truncated");
  const uint8_t fallback = charsetHint == 1 ? 0 : charsetHint;
  struct Font {
    bool present = false;
    uint8_t charset = 1;
    std::string face;
  };
  const uint32_t handles = le16(emf, 56);
  std::vector<Font> fonts(std::max<uint32_t>(handles, 1));
  Font current;  // the stock font: default character set
  std::vector<Font> saved;
  size_t pos = 0, index = 0;
  while (pos < emf.size()) {
    if (emf.size() - pos < 8) fail("record " + std::to_string(index) + " is truncated");
    const uint32_t type = le32(emf, pos), size = le32(emf, pos + 4);
    if (size < 8 || size % 4 || size > emf.size() - pos)
      fail("record " + std::to_string(index) + " has a bad size");
    if (index >= kMaxRecords) fail("too many records");
    const Rec r{emf.subspan(pos, size), type, index};
    switch (type) {
      case EMR_EXTCREATEFONTINDIRECTW: {
        const uint32_t ih = r.u32(8);
        if (ih == 0 || ih >= fonts.size()) r.bad("names an object outside the table");
        Font f;
        f.present = true;
        f.charset = r.u8(35);
        QString face;
        for (size_t i = 0; i < 32; ++i) {
          const char16_t c = r.u16(40 + i * 2);
          if (c == 0) break;
          face += QChar(c);
        }
        f.face = encodeText(face, 1252);
        fonts[ih] = f;
        break;
      }
      case EMR_SELECTOBJECT: {
        const uint32_t ih = r.u32(8);
        if (ih & kStockObject) {
          const uint32_t n = ih & ~kStockObject;
          if (n >= OEM_FIXED_FONT && n <= DEFAULT_GUI_FONT && n != DEFAULT_PALETTE)
            current = Font{};
        } else {
          if (ih == 0 || ih >= fonts.size()) r.bad("names an object outside the table");
          if (fonts[ih].present) current = fonts[ih];
        }
        break;
      }
      case EMR_DELETEOBJECT: {
        const uint32_t ih = r.u32(8);
        if (!(ih & kStockObject)) {
          if (ih == 0 || ih >= fonts.size()) r.bad("names an object outside the table");
          fonts[ih] = Font{};
        }
        break;
      }
      case EMR_CREATEPEN:
      case EMR_CREATEBRUSHINDIRECT:
      case EMR_EXTCREATEPEN:
      case EMR_CREATEPALETTE:
      case EMR_CREATEMONOBRUSH:
      case EMR_CREATEDIBPATTERNBRUSHPT: {
        const uint32_t ih = r.u32(8);
        if (ih == 0 || ih >= fonts.size()) r.bad("names an object outside the table");
        fonts[ih] = Font{};
        break;
      }
      case EMR_SAVEDC:
        if (saved.size() >= kMaxSavedStates) r.bad("saves more states than a picture needs");
        saved.push_back(current);
        break;
      case EMR_RESTOREDC: {
        const int32_t n = r.i32(8);
        size_t keep = saved.size();
        if (n < 0 && uint64_t(-int64_t(n)) <= saved.size())
          keep = saved.size() - size_t(-int64_t(n));
        if (n > 0 && size_t(n) <= saved.size()) keep = size_t(n) - 1;
        if (keep < saved.size()) {
          current = saved[keep];
          saved.resize(keep);
        }
        break;
      }
      case EMR_EXTTEXTOUTA:
      case EMR_EXTTEXTOUTW: {
        EmfTextRun run;
        run.recordIndex = index;
        run.recordType = type;
        run.bounds = {r.i32(8), r.i32(12), r.i32(16), r.i32(20)};
        run.reference = {r.i32(36), r.i32(40)};
        const uint32_t n = r.u32(44), off = r.u32(48);
        const bool wide = type == EMR_EXTTEXTOUTW;
        auto chars = r.sub(off, uint64_t(n) * (wide ? 2 : 1));
        run.charset = current.charset == 1 ? fallback : current.charset;
        if (wide) {
          QString u(qsizetype(n), Qt::Uninitialized);
          for (uint32_t i = 0; i < n; ++i) u[qsizetype(i)] = QChar(char16_t(le16(chars, i * 2)));
          run.text = encodeText(u, codePageForFont(current.face, run.charset));
        } else {
          run.text.assign(chars.begin(), chars.end());
        }
        if (!visit(run)) return;
        break;
      }
      default:
        break;
    }
    pos += size;
    ++index;
    if (type == EMR_EOF) break;
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
