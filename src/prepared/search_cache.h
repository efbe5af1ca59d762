#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

// What the search has already read of each page: the page's text runs joined
// into one string, a 0 byte between runs so that no match can span two of
// them. A page known this way need not be drawn again to learn that a text is
// not on it; a page that may hold the text is still drawn, so hits, their
// bounds and record numbers always come from the page itself. Belongs to one
// store and must be cleared whenever that store's pages change.
class SearchCache {
 public:
  // Bytes of text kept at most; pages beyond it are simply drawn each time.
  static constexpr size_t kMaxBytes = size_t(256) << 20;

  bool has(int page) const {
    return page >= 0 && size_t(page) < pages_.size() && pages_[page].known;
  }
  // Whether the page's runs may hold `needle` (already upper-cased when case
  // does not matter). Only meaningful when has(page).
  bool mayContain(int page, std::string_view needle, bool caseSensitive) const;
  void store(int page, std::string joinedRuns);
  void clear();
  size_t bytes() const { return bytes_; }

 private:
  struct Page {
    bool known = false;
    std::string text;   // as drawn
    std::string upper;  // upper-cased for searches that ignore case, made on first need
  };
  mutable std::vector<Page> pages_;
  mutable size_t bytes_ = 0;
};

}  // namespace orv
