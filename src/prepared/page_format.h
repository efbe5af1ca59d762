#pragma once
#include <cstdint>
#include <deque>
#include <unordered_map>

#include "model/printer_info.h"

namespace orv {

struct Margins {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  friend bool operator==(const Margins&, const Margins&) = default;
};

// The paper, margins and printer-information block a page is laid out and
// printed with. Nearly every page of a report has the same, so the store keeps
// one copy of each distinct one and its pages share it.
struct PageFormat {
  int32_t PaperWidth = 0;
  int32_t PaperHeight = 0;
  int32_t Bin = 0;
  uint16_t PaperSize = 0;
  uint8_t Orientation = 0;
  uint8_t UseMargins = 0;
  orv::Margins Margins;
  orv::PrinterInfo PrinterInfo;
  friend bool operator==(const PageFormat&, const PageFormat&) = default;
};

// The distinct formats of a store's pages, each kept once at an address that
// stays put for as long as the store holds it.
class PageFormats {
 public:
  // The copy equal to `format`, made the first time it is asked for.
  const PageFormat* intern(const PageFormat& format);
  size_t size() const { return all_.size(); }
  void clear();
  void swap(PageFormats& other) noexcept;

 private:
  std::deque<PageFormat> all_;
  std::unordered_multimap<size_t, const PageFormat*> byHash_;
  const PageFormat* last_ = nullptr;
};

}  // namespace orv
