#pragma once
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "engine/variables.h"
#include "model/stream.h"

namespace orv {

class TfrDataset;

// A resolved field reference: which data set and which of its fields.
struct TfrCacheItem {
  TfrDataset* DataSet = nullptr;
  std::string FieldName;
};

// The report's data dictionary: named variables (whose values are expression
// texts), the aliases users see for data sets and fields, the data source of
// each band, and a cache of field references resolved during a run.
class TfrDataDictionary {
 public:
  // name -> value text; names beginning with a blank are category headings.
  TfrVariables Variables;
  // real data-set (or data-set.field) name -> alias shown to users.
  TfrVariables FieldAliases;
  // band name -> data-source name.
  TfrVariables BandDatasources;
  StringList DisabledDatasets;

  void Clear();

  // The block after marker byte 254 of a template stream.
  void SaveToStream(MemoryStream& stream) const;
  void LoadFromStream(MemoryStream& stream);

  // Run-time lookups. The band engine supplies how names are found and
  // values computed, so the dictionary itself needs neither.
  bool IsVariable(std::string_view name);
  Variant GetValue(std::string_view name);
  // IsVariable, then GetValue when it is one: the same answers, with the
  // name looked up once. False (and `value` untouched) when it is none.
  bool Lookup(std::string_view name, Variant& value);
  void ClearCache() { cache_.clear(); }
  // The data set and field a name stands for, when it names a field.
  bool FieldOf(std::string_view name, TfrCacheItem& item);

  // Finds a data set by component name (null when there is none).
  std::function<TfrDataset*(std::string_view)> FindDataset;
  // Evaluates an expression text (the value of a dictionary variable).
  std::function<Variant(const std::string&)> Evaluate;
  // The report variable of that name, when the report has one.
  std::function<bool(std::string_view, Variant&)> ReportVariable;

 private:
  // Resolves `DataSet."Field"` (aliases allowed) to a data set and field name.
  bool resolveField(std::string_view reference, TfrCacheItem& item) const;
  bool isDictionaryVariable(std::string_view name) const;

  std::map<std::string, TfrCacheItem, std::less<>> cache_;  // keyed by upper-cased name
  std::string key_;                                         // the name being looked up, upper-cased
};

}  // namespace orv
