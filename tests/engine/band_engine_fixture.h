// The band engine's test fixture: a report with one A4 page whose bands and
// texts a test places in code, and what the run then wrote on each page.
#pragma once
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/dataset.h"
#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "model/page.h"
#include "model/views.h"
#include "printing/tfr_printer.h"
#include "template_builder.h"

namespace orv::bandtest {

using tools::place;

using tools::place;

// One object of a prepared page, as the engine wrote it.
struct Placed {
  std::string name;
  int32_t left, top, width, height;
  std::string text;
};

class BandEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    TfrPrinter::startUp(nullptr);
    report.ShowProgress = false;
    page = &report.Pages.Add();
    page->ChangePaper(9, 2100, 2970, poPortrait, -1);
    page->UseMargins = true;
    page->Margins = {20, 30, 20, 40};
  }

  TfrBandView& band(uint16_t type, const std::string& name, int y, int h,
                    const std::string& source = {}) {
    auto& b = place<TfrBandView>(*page, name, 0, y, 700, h);
    b.FrameTyp = type;
    b.FormatStr = source;
    return b;
  }
  TfrMemoView& memo(const std::string& name, int x, int y, int w, int h,
                    std::vector<std::string> lines) {
    auto& m = place<TfrMemoView>(*page, name, x, y, w, h);
    m.Memo = std::move(lines);
    return m;
  }

  std::vector<Placed> objects(int index) {
    report.EMFPages.BuildObjects(index);
    std::vector<Placed> out;
    for (auto& v : report.EMFPages.Entry(index).ObjectPage()->Objects) {
      std::string text;
      for (size_t i = 0; i < v->Memo.size(); ++i) text += (i ? "|" : "") + v->Memo[i];
      out.push_back({v->Name, v->Left, v->Top, v->Width, v->Height, text});
    }
    return out;
  }
  std::vector<Placed> named(int index, const std::string& name) {
    std::vector<Placed> out;
    for (const Placed& p : objects(index))
      if (p.name == name) out.push_back(p);
    return out;
  }
  int32_t top() { return report.Pages.Page(0).TopEdge(); }

  TfrReport report;
  TfrPage* page = nullptr;
};

// A data set of rows the test holds, read through the report's name hook.
class Rows {
 public:
  explicit Rows(TfrReport& report, std::string name,
                std::vector<std::map<std::string, Variant>> rows)
      : rows_(std::move(rows)) {
    auto ds = std::make_unique<TfrUserDataset>(name);
    ds->RangeEnd = reCount;
    ds->RangeEndCount = int32_t(rows_.size());
    dataset = &report.Components.add(std::move(ds));
  }
  bool lookup(const std::string& name, Variant& value) const {
    const int32_t r = dataset->RecNo;
    if (r < 0 || r >= int32_t(rows_.size())) return false;
    auto it = rows_[r].find(name);
    if (it == rows_[r].end()) return false;
    value = it->second;
    return true;
  }
  TfrUserDataset* dataset;

 private:
  std::vector<std::map<std::string, Variant>> rows_;
};

// The data set "Orders": a record per (city, number) pair, its fields CITY
// and N read through the report's name hook, which it takes over.
inline std::unique_ptr<Rows> cityOrders(TfrReport& report,
                                        const std::vector<std::pair<std::string, int>>& records) {
  std::vector<std::map<std::string, Variant>> rows;
  for (const auto& [city, n] : records)
    rows.push_back({{"CITY", Variant(city)}, {"N", Variant(n)}});
  auto orders = std::make_unique<Rows>(report, "Orders", std::move(rows));
  report.OnGetValue = [o = orders.get()](const std::string& n, Variant& v) { o->lookup(n, v); };
  return orders;
}

// The texts of placed objects joined with " / ".
inline std::string texts(const std::vector<Placed>& placed) {
  std::string out;
  for (const Placed& p : placed) out += (out.empty() ? "" : " / ") + p.text;
  return out;
}

}  // namespace orv::bandtest
