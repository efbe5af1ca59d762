// Evaluation speed of the expression language, per record, against muparser
// (a bytecode-compiling expression library) on the same expression and the
// same record values, in the same run. Counters:
//   vs_muparser  our time per record / muparser's (above 1.0: slower)
// Ours works on variants and asks a hook for every name, as a report does;
// muparser reads doubles bound by address. The cached form is what band
// conditions use; the reparsed one shows what caching the postfix text saves.
#include <benchmark/benchmark.h>
#include <muParser.h>
#include <time.h>

#include <array>
#include <string>

#include "engine/parser.h"

namespace {

using namespace orv;

constexpr int kRecords = 1000;
const char* const kOurs = "[Qty] * [Price] * (1 - [Discount] / 100) > 100";
const char* const kPeer = "Qty * Price * (1 - Discount / 100) > 100";

double cpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

struct Record {
  double qty, price, discount;
};

const std::array<Record, kRecords>& records() {
  static const std::array<Record, kRecords> r = [] {
    std::array<Record, kRecords> a{};
    for (int i = 0; i < kRecords; ++i) a[i] = {double(i % 17 + 1), 3.5 + i % 29, double(i % 4 * 5)};
    return a;
  }();
  return r;
}

// The report's hook in miniature: names looked up in the current record.
void attach(TfrParser& p, const Record*& current) {
  p.OnGetValue = [&current](const std::string& name, Variant& v) {
    if (name == "Qty")
      v = Variant(current->qty);
    else if (name == "Price")
      v = Variant(current->price);
    else if (name == "Discount")
      v = Variant(current->discount);
  };
}

// muparser with the record's values bound by address.
struct Peer {
  mu::Parser p;
  double qty = 0, price = 0, discount = 0;
  Peer() {
    p.DefineVar("Qty", &qty);
    p.DefineVar("Price", &price);
    p.DefineVar("Discount", &discount);
    p.SetExpr(kPeer);
  }
  void pass() {
    for (const Record& r : records()) {
      qty = r.qty;
      price = r.price;
      discount = r.discount;
      benchmark::DoNotOptimize(p.Eval());
    }
  }
};

double muparserSecondsPerRecord() {
  static const double t = [] {
    Peer peer;
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
      const double t0 = cpuSeconds();
      int passes = 0;
      double spent = 0;
      do {
        peer.pass();
        ++passes;
        spent = cpuSeconds() - t0;
      } while (spent < 0.05);
      best = std::min(best, spent / (double(passes) * kRecords));
    }
    return best;
  }();
  return t;
}

template <class F>
void timed(benchmark::State& state, F pass) {
  const double peer = muparserSecondsPerRecord();
  const double t0 = cpuSeconds();
  for (auto _ : state) pass();
  const double spent = cpuSeconds() - t0;
  state.SetItemsProcessed(state.iterations() * kRecords);
  if (spent > 0)
    state.counters["vs_muparser"] = spent / (double(state.iterations()) * kRecords) / peer;
}

void BM_MuParser(benchmark::State& state) {
  Peer peer;
  timed(state, [&] { peer.pass(); });
}

void BM_CachedPostfix(benchmark::State& state) {
  TfrParser p;
  const Record* current = nullptr;
  attach(p, current);
  const std::string postfix = TfrParser::ToPostfix(kOurs);
  timed(state, [&] {
    for (const Record& r : records()) {
      current = &r;
      benchmark::DoNotOptimize(p.CalcPostfix(postfix));
    }
  });
}

// Converted once per run, as a report run now evaluates: names still asked of
// the hook by name, no text read.
void BM_Compiled(benchmark::State& state) {
  TfrParser p;
  const Record* current = nullptr;
  attach(p, current);
  const TfrCompiledExpression compiled(TfrParser::ToPostfix(kOurs));
  timed(state, [&] {
    for (const Record& r : records()) {
      current = &r;
      benchmark::DoNotOptimize(p.Run(compiled));
    }
  });
}

// Converted once, each name decided once into an entry of the record, as the
// run's names do for what cannot change during a run.
void BM_CompiledWithEntries(benchmark::State& state) {
  TfrParser p;
  const Record* current = nullptr;
  attach(p, current);
  p.SetResolver(
      [](const std::string& name) {
        return name == "Qty" ? 0 : name == "Price" ? 1 : name == "Discount" ? 2 : -1;
      },
      [&current](int32_t entry, const std::string&, Variant& v) {
        v = Variant(entry == 0 ? current->qty : entry == 1 ? current->price : current->discount);
      });
  const TfrCompiledExpression compiled(TfrParser::ToPostfix(kOurs));
  timed(state, [&] {
    for (const Record& r : records()) {
      current = &r;
      benchmark::DoNotOptimize(p.Run(compiled));
    }
  });
}

void BM_ReparsedEachTime(benchmark::State& state) {
  TfrParser p;
  const Record* current = nullptr;
  attach(p, current);
  timed(state, [&] {
    for (const Record& r : records()) {
      current = &r;
      benchmark::DoNotOptimize(p.Calc(kOurs));
    }
  });
}

}  // namespace

BENCHMARK(BM_MuParser);
BENCHMARK(BM_CachedPostfix);
BENCHMARK(BM_Compiled);
BENCHMARK(BM_CompiledWithEntries);
BENCHMARK(BM_ReparsedEachTime);

BENCHMARK_MAIN();
