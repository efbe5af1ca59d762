#include "engine/aggregates.h"

#include <algorithm>

#include "engine/band.h"
#include "engine/dataset.h"
#include "engine/parser.h"
#include "model/text_util.h"

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

bool TfrAggregates::PerColumn(const TfrBand& holder) {
  return holder.HasCrossObjects() && holder.Type != btCrossFooter;
}

std::string TfrAggregates::MakeKey(const TfrBand& holder, AggregateKind kind,
                                   const std::string& expression, const std::string& flag,
                                   const std::string& bandName) {
  std::string key;
  if (PerColumn(holder)) {
    key += '0';
    key += kSep;
  }
  key += holder.Name;
  key += kSep;
  key += static_cast<char>(kind);
  key += kSep;
  key += expression;
  key += kSep;
  key += flag;
  key += kSep;
  key += upperCase(trimBlanks(bandName));
  key += kSep;
  return key;
}

void TfrAggregates::Register(TfrBand* data, TfrBand* holder, AggregateKind kind,
                             const std::string& expression, const std::string& flag,
                             const std::string& bandName) {
  const std::string key = MakeKey(*holder, kind, expression, flag, bandName);
  std::vector<TfrBand*>& totalled = holders_[holder];
  if (std::find(totalled.begin(), totalled.end(), data) == totalled.end()) totalled.push_back(data);
  DataAggregates& d = data_[data];
  for (const Item& i : d.items)
    if (i.key == key) return;
  const Variant start = kind == akMin ? Variant(1e300) : Variant(0);
  std::unique_ptr<TfrCompiledExpression> argument;
  if (kind != akCount)
    argument = std::make_unique<TfrCompiledExpression>(TfrParser::ToPostfix(expression));
  d.items.push_back({key,
                     holder,
                     kind,
                     expression,
                     std::move(argument),
                     trimBlanks(flag) == "1",
                     start,
                     start,
                     PerColumn(*holder),
                     {}});
}

void TfrAggregates::add(AggregateKind kind, Variant& total, const Variant& v) {
  if (total.isNull()) total = Variant(0);
  switch (kind) {
    case akCount:
      total = variantAdd(total, Variant(1));
      break;
    case akSum:
    case akAvg:
      total = variantAdd(total, v);
      break;
    case akMin:
      if (variantCompare(v, total) < 0) total = v;
      break;
    case akMax:
      if (variantCompare(v, total) > 0) total = v;
      break;
  }
}

void TfrAggregates::Accumulate(TfrBand* data, bool visible, const Evaluator& evaluate,
                               const ColumnWalker& columns) {
  auto it = data_.find(data);
  if (it == data_.end()) return;
  DataAggregates& d = it->second;
  // Keys over the same expression share one evaluation.
  const std::string* lastExpression = nullptr;
  Variant v;
  auto valueOf = [&](const Item& item) -> const Variant& {
    if (item.kind == akCount) return v;
    if (!lastExpression || *lastExpression != item.expression) {
      v = evaluate(*item.argument);
      if (v.isNull() || v.isEmpty()) v = Variant(0);
      lastExpression = &item.expression;
    }
    return v;
  };
  std::vector<TfrBand*> perColumnHolders;
  for (Item& item : d.items) {
    if (!visible && !item.always) continue;
    add(item.kind, item.value, valueOf(item));
    if (item.perColumn && columns &&
        std::find(perColumnHolders.begin(), perColumnHolders.end(), item.holder) ==
            perColumnHolders.end())
      perColumnHolders.push_back(item.holder);
  }
  // Totals per cross column: the same keys once more for each column's
  // record, each into its own column's slot.
  for (TfrBand* holder : perColumnHolders)
    columns(holder, [&](int32_t column) {
      if (column < 1) return;
      lastExpression = nullptr;
      for (Item& item : d.items) {
        if (item.holder != holder || !item.perColumn || (!visible && !item.always)) continue;
        if (item.columns.size() <= size_t(column)) item.columns.resize(size_t(column) + 1);
        Variant& slot = item.columns[size_t(column)];
        if (slot.isEmpty()) slot = item.start;
        add(item.kind, slot, valueOf(item));
      }
    });
  for (Item& item : d.items) ++item.count;
}

const TfrAggregates::Item* TfrAggregates::find(TfrBand* holder, const std::string& key) const {
  auto h = holders_.find(holder);
  if (h == holders_.end()) return nullptr;
  // The data band registered last answers first, as when a holder knew one
  // data band only.
  for (auto d = h->second.rbegin(); d != h->second.rend(); ++d)
    if (auto it = data_.find(*d); it != data_.end())
      for (const Item& item : it->second.items)
        if (item.key == key) return &item;
  return nullptr;
}

bool TfrAggregates::Read(TfrBand* holder, AggregateKind kind, const std::string& expression,
                         const std::string& flag, const std::string& bandName, int32_t column,
                         Variant& value) const {
  const Item* item = find(holder, MakeKey(*holder, kind, expression, flag, bandName));
  if (!item) return false;
  Variant total = item->value;
  if (item->perColumn && column > 0)
    total = size_t(column) < item->columns.size() && !item->columns[size_t(column)].isEmpty()
                ? item->columns[size_t(column)]
                : item->start;
  if (kind == akAvg)
    value = item->count == 0 ? Variant(0) : Variant(total.numberValue() / double(item->count));
  else
    value = total;
  return true;
}

void TfrAggregates::Reset(TfrBand* holder) {
  auto h = holders_.find(holder);
  if (h == holders_.end()) return;
  for (TfrBand* data : h->second) {
    auto it = data_.find(data);
    if (it == data_.end()) continue;
    for (Item& item : it->second.items)
      if (item.holder == holder) {
        item.value = item.start;
        item.columns.clear();
        item.count = 0;
      }
  }
}

void TfrAggregates::Clear() {
  data_.clear();
  holders_.clear();
}

}  // namespace orv
