#include "prepared/page_search.h"

#include <QChar>
#include <array>

#include "platform/codepage.h"
#include "platform/emf_canvas.h"
#include "platform/emf_player.h"
#include "prepared/emf_pages.h"
#include "prepared/search_cache.h"

namespace orv {

namespace {

// Upper-casing by table: the search compares bytes of the system code page,
// and a table built once from Unicode's case mapping is both exact for every
// byte and fast enough to scan reports of thousands of pages.
const std::array<uint8_t, 256>& upperTable() {
  static const std::array<uint8_t, 256> table = [] {
    std::array<uint8_t, 256> t{};
    for (int b = 0; b < 256; ++b) {
      t[b] = uint8_t(b);
      const QChar c(byteToUnicode(uint8_t(b), 1252));
      const QChar u = c.toUpper();
      if (u == c) continue;
      const std::string back = encodeText(QString(u), 1252);
      if (back.size() == 1 && back[0] != '?') t[b] = uint8_t(back[0]);
    }
    return t;
  }();
  return table;
}

// Draws one page into a metafile of its own size and hands each text run to
// `visit` with its record index, in drawing order.
void scanPage(TfrEMFPages& pages, int index, const std::function<bool(const EmfTextRun&)>& visit) {
  PreparedPage& e = pages.Entry(index);
  const Rect area{0, 0, e.PrinterInfo.PaperWidthPx, e.PrinterInfo.PaperHeightPx};
  std::vector<uint8_t> emf;
  {
    EmfCanvas canvas(area);
    e.Visible = 1;
    pages.Draw(index, canvas, area);
    emf = canvas.finish();
  }
  forEachTextRun(emf, visit);
}

void releasePage(TfrEMFPages& pages, int index) {
  PreparedPage& e = pages.Entry(index);
  e.Visible = 0;
  e.ObjectPage.reset();
}

}  // namespace

void upperInto(std::string_view text, std::string& out) {
  const auto& t = upperTable();
  out.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) out[i] = char(t[uint8_t(text[i])]);
}

std::string searchUpper(const std::string& text) {
  std::string out;
  upperInto(text, out);
  return out;
}

void beginSearch(SearchState& state, const std::string& text, bool caseSensitive) {
  state.FindCase = caseSensitive;
  state.FindText = caseSensitive ? text : searchUpper(text);
}

bool FindNext(TfrEMFPages& pages, SearchState& st, const std::function<bool(int)>& pageDone,
              SearchCache* cache) {
  if (st.FindText.empty()) return false;
  // The joined runs keep a 0 byte between runs, so a text holding one could
  // match across them; such a search simply draws every page.
  if (st.FindText.find('\0') != std::string::npos) cache = nullptr;
  std::string upper;
  while (st.FindPage < pages.Count()) {
    bool found = false;
    size_t after = 0;
    if (cache && st.FindRecord == 0 && cache->has(st.FindPage) &&
        !cache->mayContain(st.FindPage, st.FindText, st.FindCase)) {
      ++st.FindPage;
      if (pageDone && !pageDone(st.FindPage)) break;
      continue;
    }
    const bool record = cache && !cache->has(st.FindPage);
    std::string joined;
    scanPage(pages, st.FindPage, [&](const EmfTextRun& run) {
      if (record) {
        joined += run.text;
        joined += '\0';
      }
      if (run.recordIndex < size_t(st.FindRecord)) return true;
      // Compared in place, or upper-cased into one buffer reused for every
      // run: the scan allocates nothing per run.
      std::string_view text = run.text;
      if (!st.FindCase) {
        upperInto(run.text, upper);
        text = upper;
      }
      if (text.find(st.FindText) == std::string::npos) return true;
      // The stored bounds are inclusive; the hit rectangle keeps them as they are.
      st.FoundRect = run.bounds;
      after = run.recordIndex + 1;
      found = true;
      return false;
    });
    if (found) {
      st.FindRecord = int(after);
      return true;
    }
    // Only a page read to its end is known; a scan stopped at a hit is not.
    if (record) cache->store(st.FindPage, std::move(joined));
    releasePage(pages, st.FindPage);
    st.FindRecord = 0;
    ++st.FindPage;
    if (pageDone && !pageDone(st.FindPage)) break;
  }
  return false;
}

std::vector<SearchHit> FindAll(TfrEMFPages& pages, const std::string& text, bool caseSensitive) {
  std::vector<SearchHit> hits;
  if (text.empty()) return hits;
  const std::string needle = caseSensitive ? text : searchUpper(text);
  for (int i = 0; i < pages.Count(); ++i) {
    scanPage(pages, i, [&](const EmfTextRun& run) {
      const std::string hay = caseSensitive ? run.text : searchUpper(run.text);
      if (hay.find(needle) != std::string::npos)
        hits.push_back({i + 1, run.bounds, run.text, run.charset});
      return true;
    });
    releasePage(pages, i);
  }
  return hits;
}

std::vector<PageTextRun> PageTextRuns(TfrEMFPages& pages, int index) {
  std::vector<PageTextRun> runs;
  scanPage(pages, index, [&](const EmfTextRun& run) {
    runs.push_back({run.bounds, run.text, run.charset});
    return true;
  });
  releasePage(pages, index);
  return runs;
}

}  // namespace orv
