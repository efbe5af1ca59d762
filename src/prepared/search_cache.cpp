#include "prepared/search_cache.h"

#include "prepared/page_search.h"

namespace orv {

bool SearchCache::mayContain(int page, std::string_view needle, bool caseSensitive) const {
  if (!has(page)) return true;
  Page& p = pages_[page];
  if (caseSensitive) return p.text.find(needle) != std::string::npos;
  if (p.upper.size() != p.text.size()) {
    // Upper-casing once per page keeps repeated case-blind searches a plain scan.
    if (bytes_ + p.text.size() > kMaxBytes)
      return searchUpper(p.text).find(needle) != std::string::npos;
    p.upper = searchUpper(p.text);
    bytes_ += p.upper.size();
  }
  return p.upper.find(needle) != std::string::npos;
}

void SearchCache::store(int page, std::string joinedRuns) {
  if (page < 0 || bytes_ + joinedRuns.size() > kMaxBytes) return;
  if (size_t(page) >= pages_.size()) pages_.resize(size_t(page) + 1);
  Page& p = pages_[page];
  if (p.known) return;
  bytes_ += joinedRuns.size();
  p.text = std::move(joinedRuns);
  p.known = true;
}

void SearchCache::clear() {
  pages_.clear();
  pages_.shrink_to_fit();
  bytes_ = 0;
}

}  // namespace orv
