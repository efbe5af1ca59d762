#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

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
  // The key of one aggregate call as a holding band sees it.
  static std::string MakeKey(const std::string& holderName, AggregateKind kind,
                             const std::string& expression, const std::string& flag);

  // ExpressionError when the expression does not convert.
  void Register(TfrBand* data, TfrBand* holder, AggregateKind kind, const std::string& expression,
                const std::string& flag);
  // After a record of `data` was placed or passed over. `visible` is the data
  // band's visibility; `evaluate` computes a postfix text.
  void Accumulate(TfrBand* data, bool visible,
                  const std::function<Variant(const std::string&)>& evaluate);
  // The accumulated value of the holder's key; false when it has none.
  bool Read(TfrBand* holder, AggregateKind kind, const std::string& expression,
            const std::string& flag, Variant& value) const;
  // Every key the holder owns back to its start, its data band's count to 0.
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
    std::string postfix;  // converted once, evaluated per record
    bool always;          // the flag "1": records of an invisible band count too
    Variant start;
    Variant value;
  };
  struct DataAggregates {
    std::vector<Item> items;
    int64_t count = 0;
  };
  std::map<TfrBand*, DataAggregates> data_;
  std::map<TfrBand*, TfrBand*> holders_;  // holding band -> data band
};

}  // namespace orv
