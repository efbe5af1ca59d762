// Parts of a run that work without running a report: the template's objects
// a run changes and puts back, the fields it binds them to, and the edges
// and columns of a page.
#include <gtest/gtest.h>

#include <QSqlError>
#include <QSqlQuery>
#include <memory>
#include <string>
#include <vector>

#include "engine/data_components.h"
#include "engine/data_connection.h"
#include "engine/dataset.h"
#include "engine/page_run.h"
#include "engine/report_run.h"
#include "engine/template_objects.h"
#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "model/page.h"
#include "template_builder.h"

namespace orv {
namespace {

using tools::place;
using tools::placeMemo;

// An object that collects what text objects print, as a chart does.
class Listener : public TfrMemoView {
 public:
  void CollectValue(const TfrView& text) override { heard.push_back(text.Name); }
  std::vector<std::string> heard;
};

class RunParts : public ::testing::Test {
 protected:
  TfrReport report;
  TfrReportRun run{report};
  TfrTemplateObjects objects{run.Names()};
};

TEST_F(RunParts, TheObjectsOfAPageGetTheirGeometryBackAndListenersHearOnlyTheirOwnPage) {
  TfrPage first, second;
  TfrMemoView& text = placeMemo(first, "Text", 10, 20, 100, 16, {"a"});
  text.BandAlign = baBottom;
  Listener& chart = place<Listener>(first, "Chart", 0, 100, 200, 100);
  chart.Flags |= flAddInNotify;
  TfrMemoView& other = placeMemo(second, "Other", 0, 0, 50, 16, {"b"});
  objects.Note(first);
  objects.Note(second);

  // Placing moves and stretches objects; the listener hears of texts of
  // its own page only.
  text.Left = 300;
  text.Top = 900;
  text.Width = 1;
  text.Height = 700;
  text.BandAlign = baNone;
  objects.TextWritten(&first, text);
  objects.TextWritten(&second, other);
  EXPECT_EQ(chart.heard, (std::vector<std::string>{"Text"}));

  objects.Restore();
  EXPECT_EQ(text.Left, 10);
  EXPECT_EQ(text.Top, 20);
  EXPECT_EQ(text.Width, 100);
  EXPECT_EQ(text.Height, 16);
  EXPECT_EQ(text.BandAlign, baBottom);
  // A pass that ends forgets the listeners: the next one notes them again.
  objects.TextWritten(&first, text);
  EXPECT_EQ(chart.heard.size(), 1u);
}

TEST_F(RunParts, OnlyAnObjectWhoseWholeTextIsOneFieldIsBoundToIt) {
  QSqlDatabase db = openDatabaseUrl("sqlite::memory:");
  {
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec("CREATE TABLE orders (Amount REAL)")) << q.lastError().text().toStdString();
  }
  TfrDataComponents& components = report.Components;
  addDatasetDefinition(components, "Orders=SELECT * FROM orders", &db);
  report.Dictionary.FindDataset = [&](std::string_view name) {
    return components.findDataset(name);
  };
  TfrPages pages;
  TfrPage& page = *pages.Pages.emplace_back(std::make_unique<TfrPage>());
  TfrMemoView& whole = placeMemo(page, "Whole", 0, 0, 100, 16, {"[Orders.\"Amount\"]"});
  TfrMemoView& more = placeMemo(page, "More", 0, 20, 100, 16, {"[Orders.Amount] reais"});
  TfrMemoView& plain = placeMemo(page, "Plain", 0, 40, 100, 16, {"[Orders.Amount]"});
  plain.Flags |= flTextOnly;
  TfrMemoView& unknown = placeMemo(page, "Unknown", 0, 60, 100, 16, {"[Nada.Aqui]"});
  TfrMemoView& open = placeMemo(page, "Open", 0, 80, 100, 16, {"[Orders.Amount"});

  objects.BindFields(pages, report.Dictionary);
  EXPECT_EQ(whole.BlobSourceSet, components.findDataset("Orders"));
  EXPECT_EQ(whole.BlobSourceField, "Amount");
  for (TfrMemoView* v : {&more, &plain, &unknown, &open})
    EXPECT_EQ(v->BlobSourceSet, nullptr) << v->Name;

  report.Dictionary.FindDataset = nullptr;
  components.clear();
  closeDatabase(db);
}

TEST(PageRun, AHostileColumnCountIsBoundedAndNoFooterReservesNothing) {
  TfrPage page;
  TfrPageRun run;
  run.page = &page;
  page.FooterBandHeight = 40;
  for (const auto& [columns, expected] :
       std::vector<std::pair<int, int>>{{0, 1}, {-5, 1}, {3, 3}, {2000000000, 1000}}) {
    page.Columns = columns;
    run.computeGeometry();
    EXPECT_EQ(run.columnCount, expected) << columns;
    EXPECT_EQ(page.FooterBandHeight, 0);
    EXPECT_LE(run.topY, run.bottom);
  }
}

}  // namespace
}  // namespace orv
