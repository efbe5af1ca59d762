#include <gtest/gtest.h>

#include "model/factory.h"
#include "model/memo_view.h"
#include "model/page.h"
#include "model/views.h"
#include "platform/emf_canvas.h"
#include "platform/emf_player.h"
#include "prepared/emf_pages.h"
#include "prepared/frp_error.h"
#include "prepared/page_search.h"
#include "printing/tfr_printer.h"

namespace orv {
namespace {

class PageDrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TfrPrinter::startUp(nullptr);
    PageSetup s;
    s.paper = {9, 2100, 2970, 0, -1};
    s.useMargins = true;
    sharedPrinter().SetPaper(9, 2100, 2970, 0, -1, true);
    sharedPrinter().FillPrinterInfo(s.info);
    setup = s;
  }
  MemoryStream& page() {
    store.AddPage(setup);
    MemoryStream& s = store.Entry(store.Count() - 1).Objects();
    s.seek(s.size());
    return s;
  }
  void memo(MemoryStream& s, const std::string& name, const std::string& tag,
            const std::string& text, int y) {
    TfrMemoView m;
    m.Name = name;
    m.Tag = tag;
    m.Left = 50;
    m.Top = y;
    m.Width = 200;
    m.Height = 20;
    m.ExpandedText = {text + kParagraphEnd};
    m.PreparedForm = true;
    s.writeU8(0);
    m.SaveRecord(s);
  }
  std::vector<std::string> texts(int index) {
    std::vector<std::string> out;
    for (const PageTextRun& r : PageTextRuns(store, index)) out.push_back(r.text);
    return out;
  }
  PageSetup setup;
  TfrEMFPages store;
};

TEST_F(PageDrawTest, InvisiblePagesReleaseAndRebuildTheSame) {
  MemoryStream& s = page();
  memo(s, "A", "", "primeiro", 40);
  memo(s, "B", "", "segundo", 80);
  PreparedPage& e = store.Entry(0);
  const Rect area{0, 0, e.Format().PrinterInfo.PaperWidthPx, e.Format().PrinterInfo.PaperHeightPx};
  e.Visible = 1;
  EmfCanvas first(area);
  store.Draw(0, first, area);
  ASSERT_TRUE(e.ObjectPage());
  EXPECT_EQ(e.ObjectPage()->Objects.size(), 2u);
  const auto bytes1 = first.finish();

  e.Visible = 0;
  EmfCanvas none(area);
  store.Draw(0, none, area);
  EXPECT_FALSE(e.ObjectPage());  // released, nothing drawn
  EXPECT_TRUE(enumerateTextRuns(none.finish()).empty());

  e.Visible = 1;
  EmfCanvas again(area);
  store.Draw(0, again, area);
  EXPECT_EQ(again.finish(), bytes1);
  EXPECT_EQ(texts(0), (std::vector<std::string>{"primeiro", "segundo"}));

  // Packed, as a run leaves its finished pages, the page draws the same and
  // is still packed once it is released again.
  ASSERT_FALSE(e.ObjectPage());
  store.Pack(0);
  ASSERT_TRUE(e.Stored);
  e.Visible = 1;
  EmfCanvas packed(area);
  store.Draw(0, packed, area);
  EXPECT_EQ(packed.finish(), bytes1);
  store.Pack(0);  // a page being drawn keeps its objects
  EXPECT_TRUE(e.ObjectPage());
  e.ReleaseObjects();
  EXPECT_FALSE(e.ObjectPage());
  EXPECT_TRUE(e.Stored);
  EXPECT_EQ(texts(0), (std::vector<std::string>{"primeiro", "segundo"}));
}

TEST_F(PageDrawTest, UnknownAddInKeepsTheObjectsBeforeItAndSaysWhatIsMissing) {
  MemoryStream& bad = page();
  memo(bad, "A", "", "antes", 40);
  bad.writeU8(10);
  writeString(bad, "TfrNoSuchView");
  MemoryStream& good = page();
  memo(good, "B", "", "certo", 40);
  const Rect area{0, 0, 100, 100};
  EmfCanvas canvas(area);
  store.Entry(0).Visible = 1;
  try {
    store.Draw(0, canvas, area);
    FAIL() << "an unknown class must be reported";
  } catch (const Error& e) {
    // In words, with the page, and no bare class name with a carriage return.
    EXPECT_EQ(std::string(e.what()), "page 1: unknown object type TfrNoSuchView");
    EXPECT_EQ(portugueseMessage(e),
              QString::fromUtf8("página 1: tipo de objeto desconhecido: TfrNoSuchView"));
  }
  ASSERT_TRUE(store.Entry(0).ObjectPage());
  EXPECT_EQ(store.Entry(0).ObjectPage()->Objects.size(), 1u);  // what came before is drawn
  std::vector<std::string> drawn;
  for (const EmfTextRun& r : enumerateTextRuns(canvas.finish())) drawn.push_back(r.text);
  EXPECT_EQ(drawn, std::vector<std::string>{"antes"});
  EXPECT_EQ(texts(1), std::vector<std::string>{"certo"});
  // Released, the page forgets why it stopped, and says so again when redrawn.
  store.Entry(0).ReleaseObjects();
  EXPECT_EQ(store.Entry(0).ObjectsError(), nullptr);
  EmfCanvas redrawn(area);
  EXPECT_THROW(store.Draw(0, redrawn, area), Error);
  ASSERT_NE(store.Entry(0).ObjectsError(), nullptr);
}

TEST_F(PageDrawTest, LinksOnClickAndHover) {
  MemoryStream& s = page();
  memo(s, "URLpage", "@3", "vai", 40);
  memo(s, "URLweb", "javascript:alert(1)", "web", 80);
  memo(s, "xURL", "@4", "nao", 120);
  memo(s, "urlLower", "@5", "minusculo", 160);
  auto at = [&](int y, bool click) { return store.ObjectAt(0, Point{60, y}, click); };

  TfrEMFPages::Hit h = at(45, true);
  EXPECT_TRUE(h.handled);
  EXPECT_EQ(h.text, "@3");
  h = at(45, false);
  EXPECT_EQ(h.cursor, LinkCursor::HandPoint);
  EXPECT_EQ(h.text, "@3");
  // An unsafe target is never handed to the desktop; its text is reported instead.
  h = at(85, true);
  EXPECT_TRUE(h.handled);
  EXPECT_EQ(h.text, "javascript:alert(1)");
  h = at(125, true);
  EXPECT_FALSE(h.handled);
  EXPECT_TRUE(h.text.empty());
  h = at(165, true);  // the name test ignores case
  EXPECT_EQ(h.text, "@5");
  h = at(500, false);  // nothing there
  EXPECT_FALSE(h.handled);
  EXPECT_EQ(h.cursor, LinkCursor::Default);
}

TEST_F(PageDrawTest, MetafilePagesBecomeAPictureOverThePaper) {
  EmfCanvas meta(Rect{0, 0, 200, 100});
  meta.setFont(FontSpec{});
  meta.textOut(10, 10, "antigo");
  const std::vector<uint8_t> emf = meta.finish();
  MemoryStream f;
  f.writeU8(23);
  f.write("HP\r", 3);
  f.writeU8(0);
  f.writeI32(1);
  const size_t at = f.position();
  f.writeI32(0);
  f.writeU16(9);
  f.writeI32(2100);
  f.writeI32(2970);
  f.writeU8(0);
  f.writeU8(1);
  f.write(emf.data(), emf.size());
  const int32_t end = int32_t(f.position());
  f.seek(at);
  f.writeI32(end);
  f.rewind();
  store.LoadFromStream(f);
  ASSERT_EQ(store.Count(), 1);
  store.BuildObjects(0);
  const auto& objects = store.Entry(0).ObjectPage()->Objects;
  ASSERT_EQ(objects.size(), 1u);
  auto* pic = dynamic_cast<TfrPictureView*>(objects[0].get());
  ASSERT_NE(pic, nullptr);
  EXPECT_EQ(pic->Left, 0);
  EXPECT_EQ(pic->Top, 0);
  EXPECT_EQ(pic->Width, 758);
  EXPECT_EQ(pic->Height, 1071);
  EXPECT_EQ(pic->Picture.kind(), Graphic::Kind::Metafile);
  // Stretched unevenly over the paper, the text may come back in pieces.
  std::string joined;
  for (const std::string& t : texts(0)) joined += t;
  EXPECT_EQ(joined, "antigo");
}

}  // namespace
}  // namespace orv
