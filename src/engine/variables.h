#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/variant.h"

namespace orv {

// An ordered list of named values: report variables, constants, and the three
// lists of the data dictionary. Names compare without regard to case; adding a
// name that is already there replaces its value instead of adding a second
// entry. In sorted mode the entries are kept in name order and found by binary
// search, which the two program-wide lists use because they are read on every
// expression.
class TfrVariables {
 public:
  TfrVariables() = default;
  TfrVariables(const TfrVariables& other);
  TfrVariables& operator=(const TfrVariables& other);
  TfrVariables(TfrVariables&&) noexcept = default;
  TfrVariables& operator=(TfrVariables&&) noexcept = default;

  // Null when the name is absent.
  Variant value(std::string_view name) const;
  // Replaces the value of an existing name, else appends (or inserts in
  // sorted mode) a new entry.
  void setValue(std::string_view name, const Variant& value);

  // Out-of-range indexes read as integer 0 and ignore writes.
  Variant valueAt(int index) const;
  void setValueAt(int index, const Variant& value);
  // Out-of-range reads give an empty text. A rename keeps the entry's
  // position, except in sorted mode, where the entry moves to its new place
  // so that lookups keep finding it; renaming onto another entry's name is
  // ignored, as adding a duplicate is.
  std::string nameAt(int index) const;
  void setNameAt(int index, std::string_view name);

  int IndexOf(std::string_view name) const;
  int Count() const { return static_cast<int>(entries_.size()); }
  void Delete(int index);
  void Clear();
  bool Sorted() const { return sorted_; }
  void setSorted(bool sorted);

  // Direct access to a value cell, for callers that update in place (the
  // aggregates); null when absent.
  Variant* cell(std::string_view name);

 private:
  struct Entry {
    std::string name;
    std::string key;  // upper-cased name
    std::unique_ptr<Variant> value;
  };
  int find(const std::string& key) const;
  int lowerBound(const std::string& key) const;

  std::vector<Entry> entries_;
  bool sorted_ = false;
};

}  // namespace orv
