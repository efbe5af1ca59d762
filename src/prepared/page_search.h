#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/geometry.h"

namespace orv {

class SearchCache;
class TfrEMFPages;

// Where a search stands: what it looks for and where the next one starts.
// Texts are compared in Unicode (UTF-8 here): each run is read in its own
// font's code page, so text in any script drawn by any font can be found.
struct SearchState {
  std::string FindText;  // UTF-8; upper-cased when the search ignores case
  bool FindCase = false;
  int FindPage = 0;    // 0-based page where the next search starts
  int FindRecord = 0;  // first metafile record of that page that may hold a hit
  Rect FoundRect;      // bounds of the last hit, in the page's report pixels
};

// Upper-cases UTF-8 text the way the search compares, keeping every letter's
// length in bytes.
std::string searchUpper(const std::string& text);
// The same into a buffer the caller reuses.
void upperInto(std::string_view text, std::string& out);

// Sets the text (UTF-8) and case rule of a new search (the text is
// upper-cased when case does not matter).
void beginSearch(SearchState& state, const std::string& text, bool caseSensitive);

// Finds the next occurrence from FindPage/FindRecord on. Each page is drawn
// into a metafile exactly as it is shown, and its text-output records are
// scanned in order, so whatever text a view draws is found; text split over
// two drawing calls is not found as one piece. Pages that hold no hit are
// released again, so memory stays at one page. Returns whether something was
// found; then FindPage is the hit's page and FindRecord the record after it.
// `pageDone` is called after each page searched and may return false to stop.
// With a cache, pages it knows not to hold the text are passed over without
// drawing them, and pages drawn in full are added to it.
bool FindNext(TfrEMFPages& pages, SearchState& state,
              const std::function<bool(int page)>& pageDone = {}, SearchCache* cache = nullptr);

// Every hit of a text in every page, in order: the page (1-based), the bounds
// of the text record and the record's whole text (for tools).
struct SearchHit {
  int page = 0;
  Rect bounds;
  std::string runText;
  uint8_t charset = 1;  // character set of runText's bytes
};
// `text` is UTF-8.
std::vector<SearchHit> FindAll(TfrEMFPages& pages, const std::string& text, bool caseSensitive);

// The text runs of one page in drawing order, as the search sees them.
struct PageTextRun {
  Rect bounds;
  std::string text;
  uint8_t charset = 1;
};
std::vector<PageTextRun> PageTextRuns(TfrEMFPages& pages, int index);

}  // namespace orv
