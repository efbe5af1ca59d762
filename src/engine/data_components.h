#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/component.h"
#include "engine/dataset.h"

namespace orv {

// The components a report's templates reach by name: report data sets and
// the database data sets and data sources behind them. It owns them, and
// destroys them in the reverse order of adding, so that a report data set
// goes before the database data set it reads.
class TfrDataComponents {
 public:
  TfrDataComponents() = default;
  TfrDataComponents(const TfrDataComponents&) = delete;
  TfrDataComponents& operator=(const TfrDataComponents&) = delete;
  ~TfrDataComponents();

  // Takes the component over. Names compare without regard to case; adding a
  // name that is taken raises orv::Error, so a template never reaches the
  // wrong one.
  template <typename T>
  T& add(std::unique_ptr<T> component) {
    T& c = *component;
    addComponent(std::move(component), true);
    return c;
  }
  // Takes over a component that templates do not reach by name, such as the
  // database data set behind a report data set of the same name.
  template <typename T>
  T& own(std::unique_ptr<T> component) {
    T& c = *component;
    addComponent(std::move(component), false);
    return c;
  }

  // Null when absent.
  TfrComponent* find(std::string_view name) const;
  // Null when absent or when that component is no report data set.
  TfrDataset* findDataset(std::string_view name) const;
  // Destroys the component of that name; false when there is none.
  bool remove(std::string_view name);
  void clear();

 private:
  struct Slot {
    std::unique_ptr<TfrComponent> component;
    bool named = true;
  };
  void addComponent(std::unique_ptr<TfrComponent> component, bool named);
  std::vector<Slot> components_;
};

// The data set a band's data-source text gives. A counted data set made from
// a number belongs to the band (`owned`); `dataset` points at it or at a
// registered data set, or is null when the band has none.
struct BandDataset {
  TfrDataset* dataset = nullptr;
  std::unique_ptr<TfrDataset> owned;
};

// The band type whose data-source text is a group condition, not a data set.
inline constexpr uint8_t kGroupHeaderBandType = 16;

// The data levels whose data sets bare field names in expressions read.
enum class DataLevel : uint8_t { None, Master, Detail, SubDetail, Cross };

// The level a band of that type reads fields from: the master level for the
// report title and summary, page header and footer, the master bands and the
// group bands; the detail level for detail data and footer; the sub-detail
// level for sub-detail data and footer; the cross level for cross data and
// footer. Other bands (detail and sub-detail headers among them) read none.
DataLevel fieldLevelOfBand(uint8_t bandType);

// Finds a band's data set from its data-source text and calls its Init:
// a group header has none (its text is the condition), nor has a text with
// ';' (a list of cross-band pairs); a text starting with a digit 1 to 9 is a
// band that repeats that many times; any other text names a registered data
// set. A name that is not there leaves the band without one.
BandDataset findBandDataset(const TfrDataComponents& components, uint8_t bandType,
                            std::string_view text);

}  // namespace orv
