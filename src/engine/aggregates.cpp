#include "engine/aggregates.h"

#include "engine/band.h"
#include "engine/dataset.h"
#include "engine/parser.h"

namespace orv {

namespace {

constexpr char kSep = 1;

}  // namespace

TAggregateFunctionsSplitter::TAggregateFunctionsSplitter(StringList& splitTo,
                                                         const TfrVariables* variables)
    : TfrFunctionSplitter(Names(), splitTo, variables) {}

const StringList& TAggregateFunctionsSplitter::Names() {
  static const StringList names{"AVG", "COUNT", "MAX", "MIN", "SUM"};
  return names;
}

std::string TfrAggregates::MakeKey(const std::string& holderName, AggregateKind kind,
                                   const std::string& expression, const std::string& flag) {
  std::string key = holderName;
  key += kSep;
  key += static_cast<char>(kind);
  key += kSep;
  key += expression;
  key += kSep;
  key += flag;
  key += kSep;
  return key;
}

void TfrAggregates::Register(TfrBand* data, TfrBand* holder, AggregateKind kind,
                             const std::string& expression, const std::string& flag) {
  const std::string key = MakeKey(holder->Name, kind, expression, flag);
  holders_[holder] = data;
  DataAggregates& d = data_[data];
  for (const Item& i : d.items)
    if (i.key == key) return;
  const Variant start = kind == akMin ? Variant(1e300) : Variant(0);
  const std::string postfix = kind == akCount ? std::string() : TfrParser::ToPostfix(expression);
  d.items.push_back(
      {key, holder, kind, expression, postfix, trimBlanks(flag) == "1", start, start});
}

void TfrAggregates::Accumulate(TfrBand* data, bool visible,
                               const std::function<Variant(const std::string&)>& evaluate) {
  auto it = data_.find(data);
  if (it == data_.end()) return;
  DataAggregates& d = it->second;
  const std::string* lastExpression = nullptr;
  Variant v;
  for (Item& item : d.items) {
    if (!visible && !item.always) continue;
    if (item.kind == akCount) {
      item.value = variantAdd(item.value.isNull() ? Variant(0) : item.value, Variant(1));
      continue;
    }
    // Keys over the same expression share one evaluation.
    if (!lastExpression || *lastExpression != item.expression) {
      v = evaluate(item.postfix);
      if (v.isNull() || v.isEmpty()) v = Variant(0);
      lastExpression = &item.expression;
    }
    if (item.value.isNull()) item.value = Variant(0);
    switch (item.kind) {
      case akSum:
      case akAvg:
        item.value = variantAdd(item.value, v);
        break;
      case akMin:
        if (variantCompare(v, item.value) < 0) item.value = v;
        break;
      case akMax:
        if (variantCompare(v, item.value) > 0) item.value = v;
        break;
      default:
        break;
    }
  }
  ++d.count;
}

bool TfrAggregates::Read(TfrBand* holder, AggregateKind kind, const std::string& expression,
                         const std::string& flag, Variant& value) const {
  auto h = holders_.find(holder);
  if (h == holders_.end()) return false;
  auto it = data_.find(h->second);
  if (it == data_.end()) return false;
  const std::string key = MakeKey(holder->Name, kind, expression, flag);
  for (const Item& item : it->second.items)
    if (item.key == key) {
      if (kind == akAvg) {
        const int64_t n = it->second.count;
        value = n == 0 ? Variant(0) : Variant(item.value.numberValue() / double(n));
      } else {
        value = item.value;
      }
      return true;
    }
  return false;
}

void TfrAggregates::Reset(TfrBand* holder) {
  auto h = holders_.find(holder);
  if (h == holders_.end()) return;
  auto it = data_.find(h->second);
  if (it == data_.end()) return;
  for (Item& item : it->second.items)
    if (item.holder == holder) item.value = item.start;
  it->second.count = 0;
}

void TfrAggregates::Clear() {
  data_.clear();
  holders_.clear();
}

}  // namespace orv
