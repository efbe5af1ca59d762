#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orv {

// A set of prepared page numbers, a bit each. The run marks the pages whose
// footer stands; a long report has hundreds of thousands of them, which a
// tree of nodes would keep at some fifty bytes a page.
class TfrPageMarks {
 public:
  bool contains(int32_t page) const {
    return page >= 0 && size_t(page) < bits_.size() && bits_[size_t(page)];
  }
  void insert(int32_t page) {
    if (page < 0) return;
    if (size_t(page) >= bits_.size()) bits_.resize(size_t(page) + 1);
    bits_[size_t(page)] = true;
  }
  void clear() { bits_.clear(); }

 private:
  std::vector<bool> bits_;
};

}  // namespace orv
