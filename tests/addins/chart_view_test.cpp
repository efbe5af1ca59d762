// The chart view: its records, how memo lines become series and points, the
// collection of values during a run, and its drawing into a metafile.
#include "addins/chart_view.h"

#include <gtest/gtest.h>

#include <QLocale>

#include "addins/addin_test_util.h"
#include "addins/addins.h"
#include "model/factory.h"
#include "model/view_test_util.h"
#include "platform/emf_canvas.h"
#include "platform/emf_player.h"
#include "prepared/emf_pages.h"
#include "prepared/page_search.h"
#include "printing/tfr_printer.h"

namespace orv {
namespace {

using viewtest::ModelStateGuard;

class LocaleGuard {
 public:
  explicit LocaleGuard(const QLocale& l) { QLocale::setDefault(l); }
  ~LocaleGuard() { QLocale::setDefault(kept_); }

 private:
  QLocale kept_;
};

const QLocale kBrazil(QLocale::Portuguese, QLocale::Brazil);

std::unique_ptr<TfrChartView> chartView(StringList memo, uint8_t kind = 3) {
  auto v = std::make_unique<TfrChartView>();
  v->Left = 20, v->Top = 30, v->Width = 400, v->Height = 250;
  v->Memo = std::move(memo);
  v->Options.SeriesKind = kind;
  return v;
}

std::vector<uint8_t> drawn(TfrView& v, Rect page = {0, 0, 2000, 2000}) {
  EmfCanvas c(page);
  v.Draw(c);
  return c.finish();
}

std::vector<double> values(const ChartSeries& s) {
  std::vector<double> out;
  for (const ChartPoint& p : s.points()) out.push_back(p.value);
  return out;
}

TEST(ChartView, NewViewHasTheDefaultOptionsAndIsRegistered) {
  registerAddIns();
  const AddInEntry* e = addInRegistry().find("TfrChartView");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Hint, "55225");
  auto v = CreateReportObject(gtAddIn, "TfrChartView");
  auto* chart = dynamic_cast<TfrChartView*>(v.get());
  ASSERT_NE(chart, nullptr);
  EXPECT_EQ(chart->ClassStem, "Chart");
  EXPECT_EQ(chart->Flags, flStretched | flAddInNotify);
  const ChartOptions& o = chart->Options;
  EXPECT_EQ(o.SeriesKind, 0);
  EXPECT_TRUE(o.Show3D && o.SingleSeries && o.LegendVisible && o.MarksVisible && o.PointColors);
  EXPECT_FALSE(o.AxesVisible);
  EXPECT_EQ(o.MarksKind, 0);
  EXPECT_EQ(o.TopCount, 0);
  EXPECT_NE(chart->FindProperty("chart"), nullptr);
}

TEST(ChartView, NumbersParseUnderTheProcessLocale) {
  {
    LocaleGuard g(kBrazil);
    EXPECT_DOUBLE_EQ(parseChartNumber("R$ 1.234,50"), 1234.5);
    EXPECT_DOUBLE_EQ(parseChartNumber("  -12,5 kg "), -12.5);
    EXPECT_DOUBLE_EQ(parseChartNumber("1.000.000"), 1e6);
    EXPECT_DOUBLE_EQ(parseChartNumber("3.5"), 35);  // the full stop only groups here
  }
  LocaleGuard g(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_DOUBLE_EQ(parseChartNumber("$1,234.50"), 1234.5);
  EXPECT_DOUBLE_EQ(parseChartNumber("(42)"), 42);
  for (const char* bad : {"", "   ", "abc", "-", "1-2", "- 5", "1.2.3e"})
    EXPECT_EQ(parseChartNumber(bad), 0) << bad;
  EXPECT_EQ(parseChartNumber("1e999"), 0);  // beyond the range: not a number
}

TEST(ChartView, ThreeLabelsAndThreeValuesGiveAThreePointChart) {
  ModelStateGuard g;
  LocaleGuard l(QLocale::c());
  for (uint8_t kind = 0; kind <= 5; ++kind) {
    auto v = chartView({"A;B;C", "1;2;3"}, kind);
    const std::vector<uint8_t> page = drawn(*v);
    ASSERT_EQ(v->chart().seriesCount(), 1u);
    const ChartSeries& s = v->chart().series(0);
    EXPECT_EQ(int(s.kind()), kind);
    ASSERT_EQ(s.points().size(), 3u);
    EXPECT_EQ(values(s), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(s.points()[0].label, "A");
    EXPECT_EQ(s.points()[2].label, "C");
    EXPECT_TRUE(s.colorEachPoint);
    // The labels are texts of the page, inside the view.
    const Rect view{20, 30, 421, 281};
    int labels = 0;
    for (const EmfTextRun& r : enumerateTextRuns(page)) {
      EXPECT_TRUE(view.contains({r.bounds.left, r.bounds.top}) &&
                  view.contains({r.bounds.right, r.bounds.bottom}))
          << r.text;
      labels += r.text == "A" || r.text == "B" || r.text == "C";
    }
    EXPECT_GE(labels, 3) << int(kind);
  }
  // Pie: exactly one wedge per item.
  auto pie = chartView({"A;B;C;", "1;2;3;"}, 5);
  EXPECT_EQ(emftest::ofType(emftest::records(drawn(*pie)), emf::EMR_PIE).size(), 3u);
}

TEST(ChartView, MismatchedCountsDrawOnlyTheBackground) {
  ModelStateGuard g;
  auto v = chartView({"A;B", "1;2;3"});
  v->FillColor = rgb(200, 220, 240);
  EXPECT_FALSE((v->ExpandedText = v->Memo, v->ShowChart()));
  const std::vector<uint8_t> page = drawn(*v);
  EXPECT_TRUE(enumerateTextRuns(page).empty());
  EXPECT_TRUE(emftest::ofType(emftest::records(page), emf::EMR_PIE).empty());
  const auto d = addintest::readDrawing(page);
  ASSERT_EQ(d.fills.size(), 1u);
  EXPECT_EQ(d.fills[0].color, rgb(200, 220, 240));
  EXPECT_EQ(d.fills[0].r, (Rect{20, 30, 420, 280}));
  // So do a missing values line and an unknown kind.
  for (auto& bad : {chartView({"A;B"}), chartView({"A;B", "1;2"}, 9)}) {
    bad->FillColor = rgb(1, 2, 3);
    EXPECT_TRUE(enumerateTextRuns(drawn(*bad)).empty());
  }
}

TEST(ChartView, TopGroupingKeepsTheLargestAndSumsTheOthers) {
  LocaleGuard l(kBrazil);
  std::string labels = "a;b;c;d;", vals = "5;1;9;3;";
  applyTopGrouping(labels, vals, 2, "Outros");
  EXPECT_EQ(chartItems(labels), (std::vector<std::string>{"c", "a", "Outros"}));
  std::vector<double> got;
  for (const std::string& item : chartItems(vals)) got.push_back(parseChartNumber(item));
  EXPECT_EQ(got, (std::vector<double>{9, 5, 4}));
  // The value texts are twelve wide with three decimals, in the locale's way.
  EXPECT_EQ(chartItems(vals)[0], "       9,000");

  // Without an others label the rest is dropped; negative and wide values
  // keep their numeric order.
  labels = "x;y;z;w;", vals = "-5;3;123456789;-40;";
  applyTopGrouping(labels, vals, 3, "");
  EXPECT_EQ(labels, "z;y;x;");

  ModelStateGuard g;
  auto v = chartView({"a;b;c;d", "5;1;9;3"});
  v->Options.TopCount = 2;
  v->OthersLabel = "Outros";
  drawn(*v);
  EXPECT_EQ(values(v->chart().series(0)), (std::vector<double>{9, 5, 4}));
  EXPECT_EQ(v->chart().series(0).points()[2].label, "Outros");
  // A top count not below the number of items changes nothing.
  v->Options.TopCount = 4;
  drawn(*v);
  EXPECT_EQ(values(v->chart().series(0)), (std::vector<double>{5, 1, 9, 3}));
}

TEST(ChartView, SeveralSeriesNeedOneValueLinePerTitle) {
  ModelStateGuard g;
  LocaleGuard l(QLocale::c());
  auto v = chartView({"Norte;Sul", "1;2;3", "4;5"});
  v->Options.SingleSeries = false;
  v->Options.AxesVisible = true;
  drawn(*v);
  ASSERT_EQ(v->chart().seriesCount(), 2u);
  EXPECT_EQ(v->chart().series(0).title, "Norte");
  EXPECT_EQ(values(v->chart().series(0)), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(values(v->chart().series(1)), (std::vector<double>{4, 5}));
  EXPECT_TRUE(v->chart().series(1).points()[0].label.empty());
  int titles = 0;
  for (const EmfTextRun& r : enumerateTextRuns(v->LastMetafile()))
    titles += r.text == "Norte" || r.text == "Sul";
  EXPECT_EQ(titles, 2);  // the legend

  for (StringList memo : {StringList{"Norte;Sul", "1;2"}, StringList{"Norte;Sul", "1", "2", "3"}}) {
    auto w = chartView(memo);
    w->Options.SingleSeries = false;
    w->ExpandedText = w->Memo;
    EXPECT_FALSE(w->ShowChart()) << memo.size();
  }
}

TEST(ChartView, CollectsLabelsAndValuesAsTheirObjectsPrint) {
  ModelStateGuard g;
  registerAddIns();
  auto v = chartView({});
  v->LegendObject = "Regiao";
  v->ValueObject = "Total";
  v->Options.SingleSeries = false;
  // Each print of the legend object starts a new series.
  v->CollectValue("REGIAO", {"Norte"});
  v->CollectValue("Total", {"10"});
  v->CollectValue("Total", {"20", "ignored second line"});
  v->CollectValue("Outro", {"99"});
  v->CollectValue("Regiao", {"Sul"});
  v->CollectValue("total", {"30"});
  EXPECT_EQ(v->Memo, (StringList{"Norte;Sul;", "10;20;", "30;"}));
  EXPECT_EQ(v->LastValue, "30");
  drawn(*v);
  EXPECT_EQ(v->chart().seriesCount(), 2u);

  // Emitting writes the collected lines and starts the next occurrence afresh.
  MemoryStream s;
  v->EmitToPage(s);
  EXPECT_TRUE(v->Memo.empty());
  v->CollectValue("Regiao", {"Leste"});
  v->CollectValue("Total", {"7"});
  EXPECT_EQ(v->Memo, (StringList{"Leste;", "7;"}));
  // The run reaches it through the base class, with the text view itself.
  auto memo = createMemoView();
  memo->Name = "Total";
  memo->ExpandedText = {"8", "9"};
  static_cast<TfrView&>(*v).CollectValue(*memo);
  EXPECT_EQ(v->Memo, (StringList{"Leste;", "7;8;"}));
  s.rewind();
  auto back = ReadPreparedObject(s);
  auto* read = dynamic_cast<TfrChartView*>(back.get());
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->Memo, (StringList{"Norte;Sul;", "10;20;", "30;"}));
  EXPECT_EQ(read->LegendObject, "Regiao");

  // One series keeps its values in line 1, even one printed before any label.
  auto one = chartView({});
  one->LegendObject = "L";
  one->ValueObject = "V";
  one->CollectValue("V", {"1"});
  one->CollectValue("L", {"a"});
  one->CollectValue("V", {"2"});
  one->CollectValue("L", {"b"});
  one->CollectValue("V", {});
  EXPECT_EQ(one->Memo, (StringList{"a;b;", "1;2;"}));
  EXPECT_EQ(one->SeriesIndex, 1);
}

TEST(ChartView, OptionsRecordRoundTripsEveryByte) {
  ModelStateGuard g;
  registerAddIns();
  TfrChartView v;
  v.Name = "Chart1";
  v.Memo = {"A;B;", "1;2;"};
  v.Options = {4, false, false, false, true, false, false, 3, -7, {}};
  for (size_t i = 0; i < v.Options.Reserved.size(); ++i) v.Options.Reserved[i] = uint8_t(i * 7);
  v.LegendObject = "Memo1";
  v.ValueObject = "Memo2";
  v.OthersLabel = "Outros";
  MemoryStream s;
  v.WriteObject(s);
  s.rewind();
  auto back = ReadPreparedObject(s);
  EXPECT_TRUE(s.atEnd());
  auto* r = dynamic_cast<TfrChartView*>(back.get());
  ASSERT_NE(r, nullptr);
  MemoryStream a, b;
  v.Options.write(a);
  r->Options.write(b);
  EXPECT_EQ(a.bytes().size(), ChartOptions::kSize);
  EXPECT_EQ(a.bytes(), b.bytes());
  EXPECT_EQ(a.bytes()[8], uint8_t(-7));  // TopCount, little-endian, after eight flag bytes
  EXPECT_EQ(r->LegendObject, "Memo1");
  EXPECT_EQ(r->ValueObject, "Memo2");
  EXPECT_EQ(r->OthersLabel, "Outros");
  EXPECT_TRUE(r->Metafile().empty());
}

TEST(ChartView, PictureFormKeepsItsMetafileAndStretchesIt) {
  ModelStateGuard g;
  registerAddIns();
  // A view with neither lines nor object names stores its chart as a picture.
  TfrChartView v;
  v.Width = 200, v.Height = 100;
  MemoryStream s;
  v.WriteObject(s);
  s.rewind();
  auto back = ReadPreparedObject(s);
  auto* r = dynamic_cast<TfrChartView*>(back.get());
  ASSERT_NE(r, nullptr);
  ASSERT_FALSE(r->Metafile().empty());
  EXPECT_EQ(metafileKind(r->Metafile()), MetafileKind::Emf);

  // A stored picture with a text of its own: written back unchanged, drawn
  // stretched into the view.
  Chart c;
  ChartSeries& series = c.addSeries(ChartSeriesKind::Pie);
  series.marksStyle = ChartMarksStyle::Label;
  series.addPoint(1, "Fatia");
  const std::vector<uint8_t> picture = c.renderMetafile({100, 50});
  MemoryStream rec;
  TfrView& base = *r;
  base.TfrView::SaveRecord(rec);
  rec.writeU8(1);
  rec.writeI32(int32_t(picture.size()));
  rec.write(picture.data(), picture.size());
  rec.rewind();
  TfrChartView p;
  p.LoadRecord(rec);
  EXPECT_EQ(p.Metafile(), picture);
  p.Left = 100, p.Top = 100, p.Width = 300, p.Height = 150;
  // Played at another size, the recorded text may come out in pieces.
  std::string text;
  for (const EmfTextRun& t : enumerateTextRuns(drawn(p))) {
    text += t.text;
    EXPECT_TRUE((Rect{100, 100, 402, 252}).contains({t.bounds.left, t.bounds.top}));
  }
  EXPECT_EQ(text, "Fatia");
  MemoryStream again;
  p.SaveRecord(again);
  again.rewind();
  TfrChartView q;
  q.LoadRecord(again);
  EXPECT_EQ(q.Metafile(), picture);
}

TEST(ChartView, DamagedRecordsFailClearly) {
  ModelStateGuard g;
  TfrChartView v;
  MemoryStream base;
  v.TfrView::SaveRecord(base);
  auto withTail = [&](std::vector<uint8_t> tail) {
    MemoryStream s(base.bytes());
    s.seek(s.size());
    s.write(tail);
    s.rewind();
    return s;
  };
  // An unknown form, a picture longer than the record, a negative length,
  // options cut short.
  for (std::vector<uint8_t> tail : {std::vector<uint8_t>{2},
                                    {1, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2},
                                    {1, 0xFF, 0xFF, 0xFF, 0xFF},
                                    {0, 1, 2, 3}}) {
    MemoryStream s = withTail(tail);
    TfrChartView r;
    EXPECT_THROW(r.LoadRecord(s), StreamError) << int(tail[0]);
  }
  // A picture that is no metafile draws nothing and does not throw.
  MemoryStream s = withTail({1, 4, 0, 0, 0, 'j', 'u', 'n', 'k'});
  TfrChartView r;
  r.LoadRecord(s);
  r.Width = 100, r.Height = 100;
  EXPECT_NO_THROW(drawn(r));
}

TEST(ChartView, DrawsAtZoomInsideItsScaledRectangle) {
  ModelStateGuard g;
  auto v = chartView({"Alfa;Beta;Gama", "10;20;30"}, 3);
  v->Options.AxesVisible = true;
  v->FrameTyp = 15;
  v->ZoomX = v->ZoomY = 2.5;
  v->ShiftX = 40, v->ShiftY = 60;
  const std::vector<uint8_t> page = drawn(*v, {0, 0, 3000, 3000});
  // x = 20 * 2.5 + 40 = 90, y = 30 * 2.5 + 60 = 135, 1000 x 625.
  const Rect dest{90, 135, 1091, 761};
  size_t texts = 0, alfa = 0;
  for (const EmfTextRun& t : enumerateTextRuns(page)) {
    ++texts;
    alfa += t.text == "Alfa";
    EXPECT_TRUE(dest.contains({t.bounds.left, t.bounds.top}) &&
                dest.contains({t.bounds.right, t.bounds.bottom}))
        << t.text;
  }
  EXPECT_GE(texts, 9u);    // three labels on the axis, three in the legend, three marks
  EXPECT_EQ(alfa, 2u);     // whole runs, as the search needs them
  EXPECT_EQ(v->Left, 20);  // the geometry is back
  EXPECT_EQ(v->Width, 400);
}

TEST(ChartView, APreparedPageWithAChartDrawsAndTheSearchFindsItsLabels) {
  registerAddIns();
  TfrPrinter::startUp(nullptr);
  PageSetup setup;
  setup.paper = {9, 2100, 2970, 0, -1};
  setup.useMargins = true;
  sharedPrinter().SetPaper(9, 2100, 2970, 0, -1, true);
  sharedPrinter().FillPrinterInfo(setup.info);
  TfrEMFPages store;
  store.AddPage(setup);
  MemoryStream& s = store.Entry(0).Objects();
  s.seek(s.size());
  auto v = chartView({"Janeiro;Fevereiro;Mar\xE7o;", "120;340;95;"}, 5);
  v->Name = "Chart1";
  v->ExpandedText = v->Memo;
  v->WriteObject(s);

  const std::vector<SearchHit> hits = FindAll(store, "fevereiro", false);
  ASSERT_EQ(hits.size(), 1u);  // the legend; the marks show the values
  EXPECT_EQ(hits[0].page, 1);
  EXPECT_EQ(hits[0].runText, "Fevereiro");
  EXPECT_EQ(FindAll(store, "340", false).size(), 1u);
  int wedges = 0;
  PreparedPage& e = store.Entry(0);
  const Rect area{0, 0, e.Format().PrinterInfo.PaperWidthPx, e.Format().PrinterInfo.PaperHeightPx};
  e.Visible = 1;
  EmfCanvas c(area);
  store.Draw(0, c, area);
  for (const auto& r : emftest::records(c.finish())) wedges += r.type == emf::EMR_PIE;
  EXPECT_EQ(wedges, 3);
}

}  // namespace
}  // namespace orv
