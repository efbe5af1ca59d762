#pragma once
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "engine/band.h"

namespace orv {

class TfrDataComponents;
class TfrPage;
class TfrBandView;

// The bands of one template page as a run places them: each band type's
// bands chained top to bottom through Next, objects given to the band they
// lie on, data bands with their headers and footers, group headers with
// their footers, bands with their children, and cross-tab cells with the
// band they lie across. Objects on no band belong to the band of type
// btNone, which is always there.
struct TfrBandTree {
  std::array<TfrBand*, kBandTypes> bands{};
  std::vector<std::unique_ptr<TfrBand>> all;
};

// Builds the tree of `page`, finding data sets among `components`. Objects
// given to a band move into its coordinates and name it as their owner.
// A page that only runs as a sub-report (`pageSkipped`) never breaks on
// its own. `missingDataSet` hears of each data band whose data set was
// not found; it may throw to fail the run.
TfrBandTree buildBandTree(TfrPage& page, const TfrDataComponents& components, bool pageSkipped,
                          const std::function<void(TfrBandView&)>& missingDataSet);

}  // namespace orv
