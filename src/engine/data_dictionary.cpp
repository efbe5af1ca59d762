#include "engine/data_dictionary.h"

#include "engine/dataset.h"
#include "model/text_util.h"

namespace orv {

namespace {

// Splits `Orders."Unit price"` at the last point outside double quotes; the
// field part loses its quotes. False when there is no such point.
bool splitFieldReference(std::string_view name, std::string& dataset, std::string& field) {
  size_t split = std::string_view::npos;
  bool quoted = false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '"')
      quoted = !quoted;
    else if (name[i] == '.' && !quoted)
      split = i;
  }
  if (split == std::string_view::npos) return false;
  dataset.assign(name.substr(0, split));
  field.clear();
  for (char c : name.substr(split + 1))
    if (c != '"') field += c;
  return !dataset.empty() && !field.empty();
}

}  // namespace

bool TfrDataDictionary::resolveField(std::string_view reference, TfrCacheItem& item) const {
  std::string dataset;
  std::string field;
  if (!splitFieldReference(reference, dataset, field)) return false;
  // Users write the names they see: map a data-set alias back to the real
  // name, then a field alias of that data set back to the field's name.
  for (int i = 0; i < FieldAliases.Count(); ++i) {
    const std::string real = FieldAliases.nameAt(i);
    if (real.find('.') == std::string::npos &&
        sameText(FieldAliases.valueAt(i).toString(), dataset)) {
      dataset = real;
      break;
    }
  }
  const std::string prefix = upperCase(dataset) + ".";
  for (int i = 0; i < FieldAliases.Count(); ++i) {
    const std::string real = FieldAliases.nameAt(i);
    if (upperCase(real).starts_with(prefix) &&
        sameText(FieldAliases.valueAt(i).toString(), field)) {
      field = real.substr(prefix.size());
      std::erase(field, '"');
      break;
    }
  }
  if (!FindDataset) return false;
  TfrDataset* ds = FindDataset(dataset);
  if (!ds || !findDatasetField(ds, field).dataSet) return false;
  item.DataSet = ds;
  item.FieldName = field;
  return true;
}

bool TfrDataDictionary::IsVariable(std::string_view name) {
  const std::string key = upperCase(name);
  if (cache_.count(key)) return true;
  if (isDictionaryVariable(name)) {
    const std::string text = Variables.value(name).toString();
    TfrCacheItem item;
    if (text.find('.') != std::string::npos && resolveField(text, item)) cache_[key] = item;
    return true;
  }
  TfrCacheItem item;
  if (!resolveField(name, item)) return false;
  cache_[key] = item;
  return true;
}

Variant TfrDataDictionary::GetValue(std::string_view name) {
  Variant result = Variant::null();
  const std::string key = upperCase(name);
  auto it = cache_.find(key);
  // A field reference not asked about before is resolved here, so a value is
  // never Null merely because nobody called IsVariable first.
  if (it == cache_.end() && !isDictionaryVariable(name) && IsVariable(name)) it = cache_.find(key);
  if (it != cache_.end()) {
    const DatasetField f = findDatasetField(it->second.DataSet, it->second.FieldName);
    if (f.dataSet) result = f.dataSet->FieldValue(f.index);
    return result;
  }
  if (!isDictionaryVariable(name)) return result;
  if (ReportVariable && ReportVariable(name, result)) return result;
  result = Variables.value(name);
  if (result.isString() && !result.str().empty() && Evaluate) result = Evaluate(result.str());
  return result;
}

bool TfrDataDictionary::Lookup(std::string_view name, Variant& value) {
  // Names are looked up for every record: the key's storage is kept.
  key_.assign(name);
  for (char& c : key_) c = upperChar1252(c);
  auto it = cache_.find(key_);
  if (it == cache_.end()) {
    if (!IsVariable(name)) return false;
    value = GetValue(name);
    return true;
  }
  const DatasetField f = findDatasetField(it->second.DataSet, it->second.FieldName);
  value = f.dataSet ? f.dataSet->FieldValue(f.index) : Variant::null();
  return true;
}

bool TfrDataDictionary::isDictionaryVariable(std::string_view name) const {
  // Category headings begin with a blank; they are no variables.
  return !name.empty() && name[0] != ' ' && Variables.IndexOf(name) >= 0;
}

bool TfrDataDictionary::FieldOf(std::string_view name, TfrCacheItem& item) {
  if (!IsVariable(name)) return false;
  auto it = cache_.find(upperCase(name));
  if (it == cache_.end()) return false;
  item = it->second;
  return true;
}

}  // namespace orv
