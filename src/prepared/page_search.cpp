#include "prepared/page_search.h"

#include <QChar>
#include <QString>
#include <algorithm>
#include <array>
#include <map>
#include <string_view>

#include "platform/codepage.h"
#include "platform/emf_canvas.h"
#include "platform/emf_player.h"
#include "prepared/emf_pages.h"
#include "prepared/search_cache.h"

namespace orv {

namespace {

// A code page's bytes as UTF-8, built once for each page met: runs are read
// by table, as fast as the bytes themselves, and runs of different fonts
// (Cyrillic, Greek, Western) compare with one text typed in Unicode.
const std::array<std::string, 256>& utf8Table(int codePage) {
  static std::map<int, std::array<std::string, 256>> tables;
  auto [it, added] = tables.try_emplace(codePage);
  if (added)
    for (int b = 0; b < 256; ++b)
      it->second[b] = QString(QChar(byteToUnicode(uint8_t(b), codePage))).toUtf8().toStdString();
  return it->second;
}

void appendUtf8(std::string& out, std::string_view bytes, uint8_t charset) {
  const auto& table = utf8Table(codePageForCharset(charset));
  // ASCII, the bulk of most reports, is the same in every page: copied in runs.
  size_t i = 0;
  while (i < bytes.size()) {
    size_t j = i;
    while (j < bytes.size() && uint8_t(bytes[j]) < 0x80) ++j;
    out.append(bytes.data() + i, j - i);
    if (j < bytes.size()) out += table[uint8_t(bytes[j++])];
    i = j;
  }
}

std::string runUtf8(const EmfTextRun& run) {
  std::string out;
  appendUtf8(out, run.text, run.charset);
  return out;
}

// The length of the UTF-8 sequence a lead byte starts; 1 for a stray byte.
int sequenceLength(uint8_t lead) {
  if (lead >= 0xF0 && lead < 0xF8) return 4;
  if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
  if (lead >= 0xC0) return 2;
  return 1;
}

// Draws one page into a metafile of its own size and hands each text run to
// `visit` with its record index, in drawing order.
void scanPage(TfrEMFPages& pages, int index, const std::function<bool(const EmfTextRun&)>& visit) {
  PreparedPage& e = pages.Entry(index);
  const Rect area{0, 0, e.Format().PrinterInfo.PaperWidthPx, e.Format().PrinterInfo.PaperHeightPx};
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
  e.ReleaseObjects();
}

}  // namespace

// The search compares bytes of the system code page; a table lookup per byte
// is fast enough to scan reports of thousands of pages.
void upperInto(std::string_view text, std::string& out) {
  // Letter by letter, each keeping its length, so that an offset into the
  // upper-cased text is the same offset into the text. The few letters whose
  // capital is longer or shorter in UTF-8 stay as they are.
  out.assign(text.begin(), text.end());
  for (size_t i = 0; i < out.size();) {
    const auto lead = uint8_t(out[i]);
    if (lead < 0x80) {
      if (lead >= 'a' && lead <= 'z') out[i] = char(lead - 'a' + 'A');
      ++i;
      continue;
    }
    const size_t n = sequenceLength(lead);
    if (n == 1 || i + n > out.size()) {
      ++i;
      continue;
    }
    // Decoded, mapped and encoded in place, without building strings.
    char32_t c = lead & (0xFF >> (n + 1));
    for (size_t k = 1; k < n; ++k) c = (c << 6) | (uint8_t(out[i + k]) & 0x3F);
    const char32_t u = QChar::toUpper(c);
    const size_t m = u < 0x80 ? 1 : u < 0x800 ? 2 : u < 0x10000 ? 3 : 4;
    if (u != c && m == n) {
      static constexpr uint8_t kLeads[] = {0, 0, 0xC0, 0xE0, 0xF0};
      char32_t rest = u;
      for (size_t k = n - 1; k > 0; --k) {
        out[i + k] = char(0x80 | (rest & 0x3F));
        rest >>= 6;
      }
      out[i] = char(kLeads[n] | rest);
    }
    i += n;
  }
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
      appendUtf8(text, run.text, run.charset);
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
    const std::string utf8 = runUtf8(run);
    std::string_view text = utf8;
    if (!st.FindCase) {
      upperInto(utf8, upper);
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
      const std::string hay = caseSensitive ? runUtf8(run) : searchUpper(runUtf8(run));
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
