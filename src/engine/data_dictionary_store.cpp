// The data dictionary's stored form inside a template stream.
#include "engine/data_dictionary.h"
#include "engine/engine_error.h"
#include "model/state.h"

namespace orv {

namespace {

// The marker the current form starts with; -1 marks the form before it, whose
// lists are cleaned of entries that point nowhere after reading.
constexpr int16_t kCurrentMarker = -2;
constexpr int16_t kPreviousMarker = -1;

void writeList(MemoryStream& s, const TfrVariables& list) {
  s.writeI32(list.Count());
  for (int i = 0; i < list.Count(); ++i) {
    writeString(s, list.nameAt(i));
    writeString(s, list.valueAt(i).toString());
  }
}

void readList(MemoryStream& s, uint8_t version, TfrVariables& list) {
  const size_t at = s.position();
  const int32_t count = s.readI32("dictionary list count");
  // A name and a value take at least 3 bytes each in the length-prefixed form
  // and 1 each in the 0-terminated one.
  const size_t minimum = version >= 23 ? 6 : 2;
  if (count < 0 || static_cast<size_t>(count) > s.remaining() / minimum)
    throw EngineStreamError(EngineProblem(EngineReason::DictionaryListTooLong)
                                .found(count)
                                .atOffset(int64_t(at))
                                .beyond(int64_t(s.remaining())));
  for (int32_t i = 0; i < count; ++i) {
    std::string name = readString(s, version);
    std::string value = readString(s, version);
    list.setValue(name, Variant(std::move(value)));
  }
}

}  // namespace

void TfrDataDictionary::Clear() {
  Variables.Clear();
  FieldAliases.Clear();
  BandDatasources.Clear();
  DisabledDatasets.clear();
  cache_.clear();
}

void TfrDataDictionary::SaveToStream(MemoryStream& s) const {
  s.writeI16(kCurrentMarker);
  writeList(s, Variables);
  writeList(s, FieldAliases);
  writeList(s, BandDatasources);
}

void TfrDataDictionary::LoadFromStream(MemoryStream& s) {
  const uint8_t version = modelState().StreamVersion;
  Clear();
  const size_t start = s.position();
  const int16_t marker = s.readI16("dictionary marker");
  if (marker != kCurrentMarker && marker != kPreviousMarker) {
    // The oldest dictionaries predate the marker. None is known to survive, so
    // such a block is read as no dictionary and the bytes go back to the
    // template reader.
    s.seek(start);
    return;
  }
  readList(s, version, Variables);
  readList(s, version, FieldAliases);
  readList(s, version, BandDatasources);
  // Category headings begin with a blank and a dictionary begins with one.
  // Lists stored the other way round (variables marked, headings plain) are
  // turned round.
  // The list is built anew: renaming in place would meet names the turn has
  // not reached yet ("A" beside " A") and leave them half turned, so that
  // every load would turn them again.
  if (Variables.Count() > 0 && !Variables.nameAt(0).starts_with(' ')) {
    TfrVariables turned;
    for (int i = 0; i < Variables.Count(); ++i) {
      const std::string name = Variables.nameAt(i);
      turned.setValue(name.starts_with(' ') ? name.substr(1) : ' ' + name, Variables.valueAt(i));
    }
    Variables = std::move(turned);
  }
  if (marker == kPreviousMarker) {
    // Without a way to find data sets, no alias can be judged dangling.
    if (FindDataset) {
      for (int i = FieldAliases.Count() - 1; i >= 0; --i) {
        const std::string name = FieldAliases.nameAt(i);
        if (!FindDataset(name.substr(0, name.find('.')))) FieldAliases.Delete(i);
      }
    }
    for (int i = BandDatasources.Count() - 1; i >= 0; --i)
      if (BandDatasources.valueAt(i).toString().empty()) BandDatasources.Delete(i);
  }
}

}  // namespace orv
