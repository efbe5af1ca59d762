// Speed of report scripts, per record: a compiled band script of about 20
// lines (assignments, an if, a for of 10) run once per record over 100,000
// records, and the standard library's SUM over the same records in a real
// band run. For a sense of scale the same arithmetic runs as a Lua script in
// a lua5.4 process (skipped when lua5.4 is absent). Counters:
//   records_per_s  records handled per second of CPU
//   vs_lua         our time per record / Lua's (above 1.0: slower)
// Lua compiles to register bytecode over doubles; ours runs postfix text over
// variants and asks a hook for every name, as a report does.
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "engine/interpreter.h"
#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "model/text_util.h"
#include "model/views.h"
#include "printing/tfr_printer.h"

namespace {

using namespace orv;

constexpr int kRecords = 100000;

const StringList& script() {
  static const StringList s = {"begin",
                               "  qty := rec mod 17 + 1;",
                               "  price := 3.5 + rec mod 29;",
                               "  discount := rec mod 4 * 5;",
                               "  amount := qty * price * (1 - discount / 100);",
                               "  if amount > 100 then",
                               "    big := big + 1",
                               "  else",
                               "    small := small + 1;",
                               "  acc := 0;",
                               "  for i := 1 to 10 do",
                               "    acc := acc + i * qty;",
                               "  total := total + amount;",
                               "  tax := amount * 0.18;",
                               "  net := amount - tax;",
                               "  avg := total / (rec + 1);",
                               "  last := net + acc;",
                               "  flag := last > 500;",
                               "  count := count + 1",
                               "end"};
  return s;
}

// Variables in a small table, as report variables would be; names arrive
// upper-cased when read and as written when assigned.
class BenchInterpreter : public TfrInterpretator {
 public:
  std::map<std::string, Variant> vars;
  void GetValue(const std::string& name, Variant& value) override {
    auto it = vars.find(name);
    value = it != vars.end() ? it->second : Variant(0);
  }
  void SetValue(const std::string& name, const Variant& value) override {
    vars[upperCase(name)] = value;
  }
};

double cpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// Seconds a lua5.4 process needs for the same loop, or a negative number.
double luaSeconds() {
  static const double seconds = [] {
    if (std::system("command -v lua5.4 >/dev/null 2>&1") != 0) return -1.0;
    const char* path = "/tmp/orv_script_bench.lua";
    std::ofstream f(path);
    f << "local big, small, total, count = 0, 0, 0, 0\n"
         "for rec = 0, "
      << kRecords - 1
      << " do\n"
         "  local qty = rec % 17 + 1\n"
         "  local price = 3.5 + rec % 29\n"
         "  local discount = rec % 4 * 5\n"
         "  local amount = qty * price * (1 - discount / 100)\n"
         "  if amount > 100 then big = big + 1 else small = small + 1 end\n"
         "  local acc = 0\n"
         "  for i = 1, 10 do acc = acc + i * qty end\n"
         "  total = total + amount\n"
         "  local tax = amount * 0.18\n"
         "  local net = amount - tax\n"
         "  local avg = total / (rec + 1)\n"
         "  local last = net + acc\n"
         "  local flag = last > 500\n"
         "  count = count + 1\n"
         "end\n"
         "print(count)\n";
    f.close();
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = std::system("lua5.4 /tmp/orv_script_bench.lua >/dev/null");
    const auto t1 = std::chrono::steady_clock::now();
    return rc == 0 ? std::chrono::duration<double>(t1 - t0).count() : -1.0;
  }();
  return seconds;
}

void BM_BandScriptPerRecord(benchmark::State& state) {
  BenchInterpreter in;
  StringList code, errors;
  in.Compile(script(), code, errors);
  if (!errors.empty()) {
    state.SkipWithError(errors.front().c_str());
    return;
  }
  double cpu = 0;
  for (auto _ : state) {
    in.vars.clear();
    const double t0 = cpuSeconds();
    for (int r = 0; r < kRecords; ++r) {
      in.vars["REC"] = Variant(r);
      in.Run(code);
    }
    cpu += cpuSeconds() - t0;
  }
  const double perRun = cpu / double(state.iterations());
  state.counters["records_per_s"] = kRecords / perRun;
  if (const double lua = luaSeconds(); lua > 0) state.counters["vs_lua"] = perRun / lua;
}
BENCHMARK(BM_BandScriptPerRecord)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SumOverRecords(benchmark::State& state) {
  TfrPrinter::startUp(nullptr);
  TfrReport report;
  report.ShowProgress = false;
  TfrPage& page = report.Pages.Add();
  auto band = std::make_unique<TfrBandView>();
  band->Name = "Data";
  band->FrameTyp = btMasterData;
  band->Top = 40;
  band->Height = 0;
  band->Width = 700;
  band->FormatStr = std::to_string(kRecords);
  page.Add(std::move(band));
  auto summary = std::make_unique<TfrBandView>();
  summary->Name = "Summary";
  summary->FrameTyp = btReportSummary;
  summary->Top = 100;
  summary->Height = 20;
  summary->Width = 700;
  page.Add(std::move(summary));
  auto total = std::make_unique<TfrMemoView>();
  total->Name = "Total";
  total->Top = 102;
  total->Width = 300;
  total->Height = 16;
  total->Memo = {"[SUM([LINE#] * 2)]"};
  page.Add(std::move(total));
  double cpu = 0;
  for (auto _ : state) {
    const double t0 = cpuSeconds();
    if (!report.PrepareReport()) state.SkipWithError(report.LastError.c_str());
    cpu += cpuSeconds() - t0;
  }
  state.counters["records_per_s"] = kRecords / (cpu / double(state.iterations()));
}
BENCHMARK(BM_SumOverRecords)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
