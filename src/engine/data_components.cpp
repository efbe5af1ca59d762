#include "engine/data_components.h"

#include <charconv>
#include <limits>

#include "model/text_util.h"

namespace orv {

TfrDataComponents::~TfrDataComponents() {
  clear();
}

void TfrDataComponents::addComponent(std::unique_ptr<TfrComponent> component, bool named) {
  if (!component) return;
  if (named) {
    if (component->Name.empty()) throw Error("a data component needs a name");
    if (find(component->Name))
      throw Error("there is already a data component named \"" + component->Name + "\"");
  }
  components_.push_back({std::move(component), named});
}

TfrComponent* TfrDataComponents::find(std::string_view name) const {
  for (const Slot& s : components_)
    if (s.named && sameText(s.component->Name, name)) return s.component.get();
  return nullptr;
}

TfrDataset* TfrDataComponents::findDataset(std::string_view name) const {
  return dynamic_cast<TfrDataset*>(find(name));
}

bool TfrDataComponents::remove(std::string_view name) {
  for (auto it = components_.begin(); it != components_.end(); ++it) {
    if (it->named && sameText(it->component->Name, name)) {
      components_.erase(it);
      return true;
    }
  }
  return false;
}

void TfrDataComponents::clear() {
  while (!components_.empty()) components_.pop_back();
}

namespace {

// The leading digits of a repeat count; an enormous number is capped, as a
// band could never print that often anyway.
int32_t leadingCount(std::string_view text) {
  size_t n = 0;
  while (n < text.size() && text[n] >= '0' && text[n] <= '9') ++n;
  int64_t value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + n, value);
  if (ec == std::errc::result_out_of_range || value > std::numeric_limits<int32_t>::max())
    return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

}  // namespace

DataLevel fieldLevelOfBand(uint8_t bandType) {
  switch (bandType) {
    case 0:   // report title
    case 1:   // report summary
    case 2:   // page header
    case 3:   // page footer
    case 4:   // master header
    case 5:   // master data
    case 6:   // master footer
    case 16:  // group header
    case 17:  // group footer
      return DataLevel::Master;
    case 8:  // detail data
    case 9:  // detail footer
      return DataLevel::Detail;
    case 11:  // sub-detail data
    case 12:  // sub-detail footer
      return DataLevel::SubDetail;
    case 19:  // cross data
    case 20:  // cross footer
      return DataLevel::Cross;
    default:
      return DataLevel::None;
  }
}

BandDataset findBandDataset(const TfrDataComponents& components, uint8_t bandType,
                            std::string_view text) {
  BandDataset result;
  if (bandType == kGroupHeaderBandType) return result;
  if (text.find(';') != std::string_view::npos) return result;
  if (!text.empty() && text[0] >= '1' && text[0] <= '9') {
    auto counted = std::make_unique<TfrUserDataset>();
    counted->RangeEnd = reCount;
    counted->RangeEndCount = leadingCount(text);
    result.dataset = counted.get();
    result.owned = std::move(counted);
  } else {
    result.dataset = components.findDataset(text);
  }
  if (result.dataset) result.dataset->Init();
  return result;
}

}  // namespace orv
