#include "engine/variables.h"

#include <algorithm>

#include "model/text_util.h"

namespace orv {

TfrVariables::TfrVariables(const TfrVariables& other) {
  *this = other;
}

TfrVariables& TfrVariables::operator=(const TfrVariables& other) {
  if (this == &other) return *this;
  entries_.clear();
  entries_.reserve(other.entries_.size());
  for (const Entry& e : other.entries_)
    entries_.push_back({e.name, e.key, std::make_unique<Variant>(*e.value)});
  sorted_ = other.sorted_;
  return *this;
}

int TfrVariables::lowerBound(const std::string& key) const {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                             [](const Entry& e, const std::string& k) { return e.key < k; });
  return static_cast<int>(it - entries_.begin());
}

int TfrVariables::find(const std::string& key) const {
  if (sorted_) {
    int i = lowerBound(key);
    return i < Count() && entries_[i].key == key ? i : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (entries_[i].key == key) return i;
  return -1;
}

int TfrVariables::IndexOf(std::string_view name) const {
  return find(upperCase(name));
}

Variant TfrVariables::value(std::string_view name) const {
  int i = IndexOf(name);
  return i < 0 ? Variant::null() : *entries_[i].value;
}

Variant* TfrVariables::cell(std::string_view name) {
  int i = IndexOf(name);
  return i < 0 ? nullptr : entries_[i].value.get();
}

void TfrVariables::setValue(std::string_view name, const Variant& value) {
  std::string key = upperCase(name);
  int i = find(key);
  if (i >= 0) {
    *entries_[i].value = value;
    return;
  }
  Entry e{std::string(name), std::move(key), std::make_unique<Variant>(value)};
  if (sorted_)
    entries_.insert(entries_.begin() + lowerBound(e.key), std::move(e));
  else
    entries_.push_back(std::move(e));
}

Variant TfrVariables::valueAt(int index) const {
  if (index < 0 || index >= Count()) return Variant(0);
  return *entries_[index].value;
}

void TfrVariables::setValueAt(int index, const Variant& value) {
  if (index < 0 || index >= Count()) return;
  *entries_[index].value = value;
}

std::string TfrVariables::nameAt(int index) const {
  if (index < 0 || index >= Count()) return {};
  return entries_[index].name;
}

void TfrVariables::setNameAt(int index, std::string_view name) {
  if (index < 0 || index >= Count()) return;
  std::string key = upperCase(name);
  const int other = find(key);
  if (other >= 0 && other != index) return;
  entries_[index].name = std::string(name);
  if (!sorted_ || entries_[index].key == key) {
    entries_[index].key = std::move(key);
    return;
  }
  Entry e = std::move(entries_[index]);
  e.key = std::move(key);
  entries_.erase(entries_.begin() + index);
  entries_.insert(entries_.begin() + lowerBound(e.key), std::move(e));
}

void TfrVariables::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  entries_.erase(entries_.begin() + index);
}

void TfrVariables::Clear() {
  entries_.clear();
}

void TfrVariables::setSorted(bool sorted) {
  if (sorted && !sorted_)
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.key < b.key; });
  sorted_ = sorted;
}

}  // namespace orv
