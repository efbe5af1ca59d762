#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/band.h"

namespace orv {

class TfrPage;

// The run state of one template page: its bands, where the next band goes,
// its edges and its columns.
struct TfrPageRun {
  TfrPage* page = nullptr;
  std::array<TfrBand*, kBandTypes> bands{};
  std::vector<std::unique_ptr<TfrBand>> all;
  int32_t curY = 0, bottom = 0, topY = 0, leftX = 0, rightX = 0;
  int32_t xAdjust = 0;
  int32_t curColumn = 0, columnCount = 1, columnWidth = 0, columnGap = 0;
  int32_t columnTop = 0;
  TfrBand* lastBand = nullptr;
  bool suppressRepeated = false;
  int32_t currentRecord = 0;
  int32_t crossColumn = 0;
  bool skipped = false;
  bool initialised = false;
  bool hasFooter() const;
  // The edges and columns from the template page as it stands now (a page
  // script may have changed it), and the footer's height it reserves.
  void computeGeometry();
};

}  // namespace orv
