#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/compiled_expression.h"
#include "engine/function_splitter.h"
#include "engine/functions.h"
#include "model/variant.h"

namespace orv {

class TfrBand;

// Finds the aggregate calls (AVG, COUNT, MAX, MIN, SUM) of an expression.
class TAggregateFunctionsSplitter : public TfrFunctionSplitter {
 public:
  TAggregateFunctionsSplitter(StringList& splitTo, const TfrVariables* variables);
  static const StringList& Names();
};

// The aggregates of one report run. A call registers, while the run collects
// them, with the data band it totals and the band that holds it (a footer,
// the summary); each record of the data band then accumulates every key of
// that band; the holding band reads its keys when it is written and resets
// them after it is placed.
class TfrAggregates {
 public:
  // The key of one aggregate call as a holding band sees it. A band with
  // cross-tab cells (other than a cross footer) keeps one total per cross
  // column; its keys begin with "0". The band name is part of the key: the
  // same call over two data bands (COUNT of the masters beside COUNT of the
  // details) gives two totals.
  static std::string MakeKey(const TfrBand& holder, AggregateKind kind,
                             const std::string& expression, const std::string& flag,
                             const std::string& bandName);
  static bool PerColumn(const TfrBand& holder);

  // Walks the cross columns of a holding band, calling back with each
  // column's number (from 1) while that column's record is current.
  using ColumnWalker =
      std::function<void(TfrBand* holder, const std::function<void(int32_t column)>& each)>;

  // ExpressionError when the expression does not convert.
  void Register(TfrBand* data, TfrBand* holder, AggregateKind kind, const std::string& expression,
                const std::string& flag, const std::string& bandName);
  // After a record of `data` was placed or passed over. `visible` is the data
  // band's visibility; `evaluate` computes an aggregate's converted argument.
  using Evaluator = std::function<Variant(const TfrCompiledExpression&)>;
  void Accumulate(TfrBand* data, bool visible, const Evaluator& evaluate,
                  const ColumnWalker& columns = {});
  // The accumulated value of the holder's key; false when it has none.
  // `column` is the cross column being written (0 outside the columns).
  bool Read(TfrBand* holder, AggregateKind kind, const std::string& expression,
            const std::string& flag, const std::string& bandName, int32_t column,
            Variant& value) const;
  // Every key the holder owns back to its start, with its record count.
  void Reset(TfrBand* holder);
  bool Holds(TfrBand* holder) const { return holders_.count(holder) != 0; }
  bool Totals(TfrBand* data) const { return data_.count(data) != 0; }
  void Clear();

 private:
  struct Item {
    std::string key;
    TfrBand* holder;
    AggregateKind kind;
    std::string expression;
    // Converted once, evaluated for every record; none for COUNT.
    std::unique_ptr<TfrCompiledExpression> argument;
    bool always;  // the flag "1": records of an invisible band count too
    Variant start;
    Variant value;
    bool perColumn;
    std::vector<Variant> columns;  // index 0 unused
    // Records accumulated since the last reset, for AVG. Kept per key: a
    // count per data band would be reset by an inner group's footer while an
    // outer footer still averages over the same records.
    int64_t count = 0;
  };
  static void add(AggregateKind kind, Variant& total, const Variant& v);
  struct DataAggregates {
    std::vector<Item> items;
  };
  std::map<TfrBand*, DataAggregates> data_;
  // Holding band -> the data bands it totals: a footer may count the master
  // records and sum a named detail band at once.
  std::map<TfrBand*, std::vector<TfrBand*>> holders_;
  const Item* find(TfrBand* holder, const std::string& key) const;
};

}  // namespace orv
