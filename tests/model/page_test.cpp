#include "model/page.h"

#include <gtest/gtest.h>

#include "model/view_test_util.h"
#include "model/views.h"

namespace orv {
namespace {

using viewtest::ModelStateGuard;

// Report pixels of a paper length in tenths of a millimetre, as the virtual
// printer computes them.
int32_t px(int32_t tenths) {
  return roundEven(tenths * 91.6256157635468 / 254);
}

TEST(Page, PaperGoesThroughThePrinterModel) {
  ModelStateGuard g;
  TfrPage p(PaperSpec{9, 2100, 2970, poPortrait, -1});
  EXPECT_EQ(g.printer.setPaperCalls, 1);
  EXPECT_EQ(p.PrinterInfo.PaperWidthPx, 758);
  EXPECT_EQ(p.PrinterInfo.PaperHeightPx, 1071);
  EXPECT_EQ(p.PaperSize, 9);
  EXPECT_EQ(p.Bin, -1);
}

TEST(Page, RefusedPaperFallsBackToCustomSize) {
  ModelStateGuard g;
  g.printer.refuseNonCustom = true;
  TfrPage p(PaperSpec{70, 1050, 1480, poLandscape, -1});
  EXPECT_EQ(p.PaperSize, 256);
  EXPECT_EQ(p.PaperWidth, 1050);
  EXPECT_EQ(p.Orientation, poLandscape);
  EXPECT_EQ(p.Bin, 0xFFFF);
  EXPECT_EQ(p.PrinterInfo.PaperWidthPx, px(1050));
}

TEST(Page, ContentEdgesFollowMarginsOrThePrintableArea) {
  ModelStateGuard g(DocumentMode::Designing);
  TfrPage p(PaperSpec{256, 2000, 1000, poPortrait, -1});
  const int32_t w = px(2000), h = px(1000);
  EXPECT_EQ(p.LeftEdge(), 18);
  EXPECT_EQ(p.TopEdge(), 18);
  EXPECT_EQ(p.RightEdge(), 18 + (w - 36));
  EXPECT_EQ(p.BottomEdge(), 18 + (h - 36));
  p.Margins = {30, 40, 50, 60};
  EXPECT_EQ(p.LeftEdge(), 30);
  EXPECT_EQ(p.TopEdge(), 40);
  EXPECT_EQ(p.RightEdge(), w - 50);
  EXPECT_EQ(p.BottomEdge(), h - 60);
  p.FooterBandHeight = 25;
  EXPECT_EQ(p.BottomEdge(), h - 60) << "the footer only counts while running";
  modelState().Mode = DocumentMode::Running;
  EXPECT_EQ(p.BottomEdge(), h - 60 - 25);
  p.UseMargins = false;
  EXPECT_EQ(p.LeftEdge(), 0);
  EXPECT_EQ(p.TopEdge(), 0);
  EXPECT_EQ(p.RightEdge(), w);
  EXPECT_EQ(p.BottomEdge(), h - 25);
}

TEST(Pages, AddGivesABlankPageWithTheDefaultPaper) {
  ModelStateGuard g;
  TfrPages pages;
  TfrPage& p = pages.Add();
  EXPECT_EQ(pages.Count(), 1u);
  EXPECT_EQ(p.PaperSize, 9);
  EXPECT_EQ(p.PrinterInfo.PaperWidthPx, 758);
}

TEST(Page, ScriptPropertiesChangeThePaperThroughThePrinter) {
  ModelStateGuard g;
  TfrPage p(PaperSpec{9, 2100, 2970, poPortrait, -1});
  p.SetProperty("width", 360);  // report pixels: 360 * 50 / 18 = 1000 tenths of a millimetre
  EXPECT_EQ(p.PaperSize, 256);
  EXPECT_EQ(p.PaperWidth, 1000);
  EXPECT_EQ(p.PaperHeight, 2970);
  EXPECT_EQ(p.PrinterInfo.PaperWidthPx, px(1000));
  EXPECT_EQ(p.GetProperty("WIDTH"), Variant(360));
  p.SetProperty("Orientation", 1);
  EXPECT_EQ(p.Orientation, poLandscape);
  EXPECT_EQ(p.PaperWidth, 2970);
  EXPECT_EQ(p.PrinterInfo.PaperWidthPx, px(2970));
  p.SetProperty("StretchToPrintable", true);
  EXPECT_FALSE(p.UseMargins);
  EXPECT_EQ(p.GetProperty("stretchtoprintable"), Variant(true));
  p.SetProperty("LeftMargin", 25);
  EXPECT_EQ(p.Margins.left, 25);
  EXPECT_TRUE(p.GetProperty("Nonsense").isEmpty());

  TfrPage dialog;
  dialog.PageKind = ptDialog;
  dialog.SetProperty("Width", 500);
  EXPECT_EQ(dialog.Width, 500);
  EXPECT_EQ(dialog.GetProperty("Caption"), Variant("Form"));
}

TEST(Page, DeclaredPropertiesFollowThePageKind) {
  ModelStateGuard g;
  TfrPage p;
  const auto names = [](const std::vector<PropertyEntry>& list) {
    std::vector<std::string> n;
    for (const auto& e : list) n.push_back(e.Name);
    return n;
  };
  const auto report = p.DeclaredProperties();
  EXPECT_EQ(names(report),
            (std::vector<std::string>{"Type", "Visible", "Size", "LeftMargin", "TopMargin",
                                      "RightMargin", "BottomMargin", "Orientation",
                                      "PrintToPrevPage", "StretchToPrintable", "Columns",
                                      "ColumnWidth", "ColumnGap", "OnBeforePrint"}));
  p.PageKind = ptDialog;
  const auto dialog = p.DeclaredProperties();
  EXPECT_EQ(names(dialog),
            (std::vector<std::string>{"Type", "Visible", "BorderStyle", "Caption", "Color", "Left",
                                      "Top", "Width", "Height", "Position", "OnActivate"}));
  // The enumerations carry the values the fields hold, not their positions.
  EXPECT_EQ(dialog[2].EnumValues, (std::vector<int32_t>{3, 2}));
  EXPECT_EQ(dialog[9].EnumNames, (std::vector<std::string>{"poDesigned", "poScreenCenter"}));
  EXPECT_EQ(dialog[9].EnumValues, (std::vector<int32_t>{0, 4}));
}

// ------------------------------------------------------------ names

class NamesTest : public ::testing::Test {
 protected:
  NamesTest() {
    for (int i = 0; i < 3; ++i) pages_.Pages.push_back(std::make_unique<TfrPage>());
  }
  TfrView* add(int page, std::string name, uint8_t code = gtLine) {
    std::unique_ptr<TfrView> v;
    if (code == gtBand)
      v = std::make_unique<TfrBandView>();
    else
      v = std::make_unique<TfrLineView>();
    v->Name = std::move(name);
    return pages_.Page(page).Add(std::move(v));
  }
  ModelStateGuard guard_{DocumentMode::Designing};
  TfrPages pages_;
};

TEST_F(NamesTest, FindObjectIgnoresCaseIncludingAccentsAndTakesTheFirst) {
  add(0, "Total");
  TfrView* second = add(1, "A\xE7\xE3o");  // "Ação" in Windows-1252
  add(2, "A\xC7\xC3O");
  EXPECT_EQ(FindObject(pages_, "total"), pages_.Page(0).Objects[0].get());
  EXPECT_EQ(FindObject(pages_, "A\xC7\xC3O"), second);
  EXPECT_EQ(FindObject(pages_, "Acao"), nullptr);
  EXPECT_EQ(pages_.Page(2).FindObject("a\xe7\xe3o"), pages_.Page(2).Objects[0].get());
}

TEST_F(NamesTest, GenerateNameTakesTheFirstFreeNumberAcrossPages) {
  add(0, "Line1");
  add(2, "LINE2");
  add(1, "Line4");
  TfrView* v = add(1, "");
  auto ptrs = pagePointers(pages_);
  GenerateName(*v, ptrs);
  EXPECT_EQ(v->Name, "Line3");

  // Through the process-wide state of a load.
  TfrView* w = add(0, "");
  modelState().CurrentPages = &pages_;
  GenerateName(*w);
  EXPECT_EQ(w->Name, "Line5");
}

TEST_F(NamesTest, GenerateNameGivesUpAfterTenThousand) {
  for (int i = 1; i <= 10000; ++i) {
    std::string name = "Band";
    name += std::to_string(i);
    add(0, name, gtBand);
  }
  TfrView* v = add(1, "", gtBand);
  auto ptrs = pagePointers(pages_);
  GenerateName(*v, ptrs);
  EXPECT_EQ(v->Name, "");
}

TEST_F(NamesTest, ResolvesPagesObjectsAndCurrentViewProperties) {
  TfrView* memo = add(1, "Memo1");
  TfrView* current = add(0, "Atual");
  modelState().CurrentView = current;
  auto ptrs = pagePointers(pages_);

  ResolvedName r = ResolveObjectName(ptrs, "page2.Width");
  EXPECT_EQ(r.page, &pages_.Page(1));
  EXPECT_EQ(r.view, nullptr);
  EXPECT_EQ(r.property, "Width");
  EXPECT_EQ(ResolveObjectName(ptrs, "PAGE9.Width").page, nullptr);

  r = ResolveObjectName(ptrs, "memo1.Left");
  EXPECT_EQ(r.view, memo);
  EXPECT_EQ(r.property, "Left");
  EXPECT_FALSE(memo->PropertyList.empty()) << "built on demand";

  // Not an object, but a property the current view declares: the whole text.
  r = ResolveObjectName(ptrs, "Memo.Count");
  EXPECT_EQ(r.view, current);
  EXPECT_EQ(r.property, "Memo.Count");

  r = ResolveObjectName(ptrs, "Visible");
  EXPECT_EQ(r.view, current);
  EXPECT_EQ(r.property, "Visible");

  // "PAGEX" is not a page reference: its fifth character is no digit.
  r = ResolveObjectName(ptrs, "PAGEX.Width");
  EXPECT_EQ(r.view, nullptr);
  EXPECT_EQ(r.page, nullptr);
}

// ------------------------------------------------------------ properties

TEST(Properties, BaseNamesReadAndWriteTheirFields) {
  ModelStateGuard g;
  TfrLineView v;
  v.SetProperty("left", 12);
  v.SetProperty("Width", 3.6);  // rounded
  v.SetProperty("FRAMEWIDTH", 2.5);
  v.SetProperty("FillColor", int64_t(0xFF));
  v.SetProperty("Stretched", false);
  v.SetProperty("Visible", false);
  v.SetProperty("BandAlign", 4);
  v.SetProperty("Memo", "um\r\ndois");
  v.SetProperty("NoSuchThing", 1);
  EXPECT_EQ(v.Left, 12);
  EXPECT_EQ(v.Width, 4);
  EXPECT_FLOAT_EQ(v.FrameWidth, 2.5f);
  EXPECT_EQ(v.FillColor, 0xFFu);
  EXPECT_EQ(v.Flags & flStretched, 0);
  EXPECT_FALSE(v.Visible);
  EXPECT_EQ(v.BandAlign, baWidth);
  EXPECT_EQ(v.Memo, (StringList{"um", "dois"}));
  EXPECT_EQ(v.GetProperty("MEMO.COUNT"), Variant(2));
  EXPECT_EQ(v.GetProperty("DataField"), Variant("um"));
  EXPECT_EQ(v.GetProperty("Visible"), Variant(false));
  EXPECT_EQ(v.GetProperty("Memo"), Variant("um\r\ndois\r\n"));
  EXPECT_TRUE(v.GetProperty("NoSuchThing").isEmpty());
  v.SetProperty("DataField", "campo");
  EXPECT_EQ(v.Memo, StringList{"campo"});
  v.Memo.clear();
  EXPECT_EQ(v.GetProperty("DATAFIELD"), Variant(""));
}

TEST(Properties, MethodsHideShowAndEditTheMemo) {
  ModelStateGuard g;
  TfrLineView v;
  v.CallMethod("HIDE", {}, {}, {});
  EXPECT_FALSE(v.Visible);
  v.CallMethod("SHOW", {}, {}, {});
  EXPECT_TRUE(v.Visible);
  v.CallMethod("MEMO.ADD", "a", {}, {});
  v.CallMethod("MEMO.ADD", "b", {}, {});
  EXPECT_EQ(v.CallMethod("MEMO.INDEXOF", "B", {}, {}), Variant(1));
  v.CallMethod("SETINDEXPROPERTY", "Memo", 0, "z");
  EXPECT_EQ(v.CallMethod("GETINDEXPROPERTY", "MEMO", 0, {}), Variant("z"));
  v.CallMethod("MEMO.DELETE", 7, {}, {});  // out of range: nothing
  v.CallMethod("MEMO.DELETE", 0, {}, {});
  EXPECT_EQ(v.Memo, StringList{"b"});
  v.CallMethod("MEMO.CLEAR", {}, {}, {});
  EXPECT_TRUE(v.Memo.empty());
  v.Height = 17;
  EXPECT_EQ(v.CallMethod("CALCHEIGHT", {}, {}, {}), Variant(17));
}

std::vector<std::string> names(TfrObject& o) {
  o.DeclareProperties();
  std::vector<std::string> r;
  for (const auto& p : o.PropertyList) r.push_back(p.Name);
  return r;
}

TEST(Properties, DeclaredListsFollowTheClass) {
  ModelStateGuard g;
  TfrLineView line;
  EXPECT_EQ(names(line),
            (std::vector<std::string>{"Name", "Left", "Top", "Width", "Height", "Flags", "FrameTyp",
                                      "FrameWidth", "FrameColor", "FrameStyle", "FillColor", "Tag",
                                      "BandAlign", "Visible", "Memo", "Memo.Count", "Restrictions",
                                      "Stretched"}));
  const PropertyEntry* style = line.FindProperty("framestyle");
  ASSERT_TRUE(style);
  EXPECT_EQ(style->Kind, 32);
  EXPECT_EQ(style->EnumNames.back(), "psDouble");
  EXPECT_EQ(style->EnumValues.back(), 5);
  EXPECT_TRUE(line.FindProperty("Tag")->Editor);

  TfrBandView band;
  band.FrameTyp = btMasterData;
  EXPECT_EQ(names(band),
            (std::vector<std::string>{"Name",         "Left",          "Top",
                                      "Width",        "Height",        "Flags",
                                      "Visible",      "OnBeforePrint", "Memo.Count",
                                      "Restrictions", "ChildBand",     "PrintChildIfInvisible",
                                      "Stretched",    "FormNewPage",   "PrintIfSubsetEmpty",
                                      "Breaked",      "Columns",       "ColumnWidth",
                                      "ColumnGap",    "DataSource",    "EOF"}));
  band.FrameTyp = btPageFooter;
  EXPECT_EQ(names(band),
            (std::vector<std::string>{"Name", "Left", "Top", "Width", "Height", "Flags", "Visible",
                                      "OnBeforePrint", "Memo.Count", "Restrictions", "OnFirstPage",
                                      "OnLastPage", "EOF"}));
}

TEST(Properties, BandAndPictureNames) {
  ModelStateGuard g;
  TfrBandView b;
  b.SetProperty("FormNewPage", true);
  b.SetProperty("OnFirstPage", false);
  b.SetProperty("Condition", "[Grupo]");
  b.SetProperty("Columns", 2);
  EXPECT_EQ(b.Flags, bfFormNewPage | bfOnLastPage);
  EXPECT_EQ(b.FormatStr, "[Grupo]");
  EXPECT_EQ(b.GetProperty("COLUMNS"), Variant(2));
  EXPECT_EQ(b.GetProperty("Breaked"), Variant(false));

  TfrPictureView p;
  EXPECT_EQ(p.Flags, pfStretched | pfKeepAspect);
  p.SetProperty("Center", true);
  p.SetProperty("KeepAspect", false);
  p.SetProperty("BlobType", btWMF);
  EXPECT_EQ(p.Flags, pfStretched | pfCenter);
  EXPECT_EQ(p.BlobType, btWMF);
  EXPECT_EQ(p.GetProperty("center"), Variant(true));
}

}  // namespace
}  // namespace orv
