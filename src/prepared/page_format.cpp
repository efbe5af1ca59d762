#include "prepared/page_format.h"

#include <cstring>
#include <type_traits>

namespace orv {

namespace {

// Every bit of a format is a field, so equal formats have equal bytes.
static_assert(std::has_unique_object_representations_v<PageFormat>);

size_t hashOf(const PageFormat& f) {
  unsigned char bytes[sizeof(PageFormat)];
  std::memcpy(bytes, &f, sizeof bytes);
  uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (unsigned char b : bytes) h = (h ^ b) * 1099511628211ull;
  return size_t(h);
}

}  // namespace

const PageFormat* PageFormats::intern(const PageFormat& format) {
  // Pages come in runs of the same paper: the last one asked for is nearly
  // always the answer.
  if (last_ && *last_ == format) return last_;
  const size_t h = hashOf(format);
  auto [from, to] = byHash_.equal_range(h);
  for (auto it = from; it != to; ++it)
    if (*it->second == format) return last_ = it->second;
  const PageFormat* made = &all_.emplace_back(format);
  try {
    byHash_.emplace(h, made);
  } catch (...) {
    all_.pop_back();
    throw;
  }
  return last_ = made;
}

void PageFormats::clear() {
  byHash_.clear();
  all_.clear();
  last_ = nullptr;
}

void PageFormats::swap(PageFormats& other) noexcept {
  all_.swap(other.all_);
  byHash_.swap(other.byHash_);
  std::swap(last_, other.last_);
}

}  // namespace orv
