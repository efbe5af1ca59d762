#include "prepared/page_search.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/codepage.h"
#include "platform/emf_canvas.h"
#include "platform/emf_player.h"
#include "prepared/emf_pages.h"
#include "prepared/search_cache.h"

namespace orv {

namespace {

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

// The search compares bytes of the system code page; a table lookup per byte
// is fast enough to scan reports of thousands of pages.
void upperInto(std::string_view text, std::string& out) {
  const auto& t = upperCaseTable(1252);
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

namespace {

// A page's runs read as one string, a 0 byte after each, with where each run
// ends; the buffers are reused from page to page.
struct JoinedPage {
  struct Run {
    Rect bounds;
    size_t record;
    size_t end;  // offset just past the run's text in `text`
  };
  std::string text, upper;
  std::vector<Run> runs;

  void read(TfrEMFPages& pages, int index) {
    text.clear();
    runs.clear();
    scanPage(pages, index, [&](const EmfTextRun& run) {
      text += run.text;
      runs.push_back({run.bounds, run.recordIndex, text.size()});
      text += '\0';
      return true;
    });
  }
  // The first run holding the needle, in drawing order, or null. One scan of
  // the whole page instead of one per run; the 0 bytes keep a match inside
  // one run, so the first match is in the first run that holds the text.
  const Run* find(const std::string& needle, bool caseSensitive) {
    std::string_view hay = text;
    if (!caseSensitive) {
      upperInto(text, upper);
      hay = upper;
    }
    const size_t at = hay.find(needle);
    if (at == std::string::npos) return nullptr;
    const auto it = std::lower_bound(runs.begin(), runs.end(), at,
                                     [](const Run& r, size_t a) { return r.end <= a; });
    return it == runs.end() ? nullptr : &*it;
  }
};

// Continues inside a page after the hit at FindRecord: only later records count.
bool findAfterRecord(TfrEMFPages& pages, SearchState& st, std::string& upper) {
  bool found = false;
  scanPage(pages, st.FindPage, [&](const EmfTextRun& run) {
    if (run.recordIndex < size_t(st.FindRecord)) return true;
    std::string_view text = run.text;
    if (!st.FindCase) {
      upperInto(run.text, upper);
      text = upper;
    }
    if (text.find(st.FindText) == std::string::npos) return true;
    // The stored bounds are inclusive; the hit rectangle keeps them as they are.
    st.FoundRect = run.bounds;
    st.FindRecord = int(run.recordIndex + 1);
    found = true;
    return false;
  });
  return found;
}

}  // namespace

bool FindNext(TfrEMFPages& pages, SearchState& st, const std::function<bool(int)>& pageDone,
              SearchCache* cache) {
  if (st.FindText.empty()) return false;
  // The joined runs keep a 0 byte between runs, so a text holding one could
  // match across them; such a search looks at every run on its own.
  const bool joinable = st.FindText.find('\0') == std::string::npos;
  if (!joinable) cache = nullptr;
  JoinedPage page;
  std::string upper;
  while (st.FindPage < pages.Count()) {
    if (st.FindRecord > 0 || !joinable) {
      if (findAfterRecord(pages, st, upper)) return true;
    } else if (!cache || !cache->has(st.FindPage) ||
               cache->mayContain(st.FindPage, st.FindText, st.FindCase)) {
      page.read(pages, st.FindPage);
      const JoinedPage::Run* hit = page.find(st.FindText, st.FindCase);
      // The page was read to its end either way, so it is known now.
      if (cache && !cache->has(st.FindPage)) cache->store(st.FindPage, page.text);
      if (hit) {
        st.FoundRect = hit->bounds;
        st.FindRecord = int(hit->record + 1);
        return true;
      }
    } else {
      // Known not to hold the text: not drawn at all, so nothing to release.
      st.FindRecord = 0;
      ++st.FindPage;
      if (pageDone && !pageDone(st.FindPage)) break;
      continue;
    }
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
