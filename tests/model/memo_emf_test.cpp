// The text view drawn into a metafile: each line is one EMR_EXTTEXTOUTW
// record whose reference point and clip rectangle follow the layout rules.
// Records are read here by their public layout, not through our player.

#include <gtest/gtest.h>

#include "model/memo_test_support.h"
#include "model/memo_view.h"
#include "platform/emf_canvas.h"

namespace orv {
namespace {

using test::fontOf;
using test::ModelStateGuard;
using test::widthOf;

uint32_t u32at(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) |
         (uint32_t(b[at + 3]) << 24);
}

struct TextRecord {
  int32_t x = 0, y = 0;
  uint32_t options = 0;
  Rect clip;
  std::string text;  // the UTF-16 string, kept to its low bytes (ASCII here)
  int64_t advanceSum = 0;
};

struct FontRecord {
  int32_t height = 0;
  int32_t escapement = 0;
};

constexpr uint32_t kExtCreateFontIndirectW = 82;
constexpr uint32_t kExtTextOutW = 84;

void parse(const std::vector<uint8_t>& emf, std::vector<TextRecord>& texts,
           std::vector<FontRecord>& fonts) {
  size_t pos = 0;
  while (pos + 8 <= emf.size()) {
    const uint32_t type = u32at(emf, pos);
    const uint32_t size = u32at(emf, pos + 4);
    ASSERT_GE(size, 8u);
    ASSERT_LE(pos + size, emf.size());
    auto field = [&](size_t i) { return int32_t(u32at(emf, pos + 8 + 4 * i)); };
    if (type == kExtTextOutW) {
      // bounds(4) graphicsMode exScale eyScale, then EMRTEXT: reference
      // point, nChars, offString, options, rectangle, offDx.
      TextRecord t;
      t.x = field(7);
      t.y = field(8);
      const uint32_t n = uint32_t(field(9));
      const uint32_t offString = uint32_t(field(10));
      t.options = uint32_t(field(11));
      t.clip = {field(12), field(13), field(14), field(15)};
      const uint32_t offDx = uint32_t(field(16));
      for (uint32_t i = 0; i < n; ++i) {
        t.text += char(emf[pos + offString + 2 * i]);
        t.advanceSum += int32_t(u32at(emf, pos + offDx + 4 * i));
      }
      texts.push_back(t);
    } else if (type == kExtCreateFontIndirectW) {
      fonts.push_back({field(1), field(3)});  // ihFont, then LOGFONTW
    }
    pos += size;
  }
}

class MemoEmf : public ::testing::Test {
 protected:
  ModelStateGuard guard;
  TfrMemoView memo;
  std::vector<TextRecord> texts;
  std::vector<FontRecord> fonts;

  void SetUp() override {
    modelState().Mode = DocumentMode::Running;
    modelState().CurrentPage = nullptr;
    memo.Left = 10;
    memo.Top = 20;
    memo.Width = 200;
    memo.Height = 100;
  }
  void draw() {
    EmfCanvas canvas({0, 0, 400, 300});
    memo.Draw(canvas);
    parse(canvas.finish(), texts, fonts);
  }
};

TEST_F(MemoEmf, RightAlignedLinesAndTheirClip) {
  memo.Memo = {"Hello", "World wide"};
  memo.Alignment = frtaRight;
  draw();
  ASSERT_EQ(texts.size(), 2u);
  const FontSpec f = fontOf("Arial", -13);
  const char* lines[] = {"Hello", "World wide"};
  for (int i = 0; i < 2; ++i) {
    const TextRecord& t = texts[size_t(i)];
    EXPECT_EQ(t.text, lines[i]);
    // DrawRect is (10, 20, 211, 121); GapX 2, GapY 1, step 2 + 13.
    EXPECT_EQ(t.x, 10 + 201 - 2 - widthOf(lines[i], f) - 1);
    EXPECT_EQ(t.y, 21 + 15 * i);
    EXPECT_TRUE(t.options & 0x4);  // ETO_CLIPPED
    EXPECT_FALSE(t.options & 0x80);
    EXPECT_EQ(t.clip, (Rect{11, 20, 209, 120}));
    EXPECT_EQ(t.advanceSum, widthOf(lines[i], f));
  }
}

TEST_F(MemoEmf, JustifiedLineFillsTheInnerWidth) {
  const std::string first = "aaa bb cccc";
  memo.Memo = {first + " dd"};
  memo.Width = widthOf(first, fontOf("Arial", -13)) + 10;
  memo.Alignment = frtaJustify;
  draw();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].text, first);
  // DrawRect width dx + 1, less both gaps.
  EXPECT_EQ(texts[0].advanceSum, memo.Width + 1 - 4);
  EXPECT_EQ(texts[1].advanceSum, widthOf("dd", fontOf("Arial", -13)));
}

TEST_F(MemoEmf, RotatedTextUsesAnEscapedFontAndRightToLeftFlag) {
  memo.Memo = {"Up"};
  memo.Alignment = frtaVertical;
  memo.Flags |= flRTLReading;
  draw();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].x, 10 + 2);
  EXPECT_EQ(texts[0].y, 121 - 1);
  EXPECT_TRUE(texts[0].options & 0x80);  // ETO_RTLREADING
  bool rotated = false;
  for (const FontRecord& f : fonts) rotated |= f.escapement == 900 && f.height == -13;
  EXPECT_TRUE(rotated);
}

TEST_F(MemoEmf, PrinterCanvasKeepsThePointSizeAtItsResolution) {
  memo.Memo = {"x"};
  memo.OnPrinterCanvas = true;
  memo.ZoomX = memo.ZoomY = 600.0 / 96;
  EmfCanvas canvas({0, 0, 5000, 7000}, 600);
  memo.Draw(canvas);
  parse(canvas.finish(), texts, fonts);
  ASSERT_FALSE(fonts.empty());
  EXPECT_EQ(fonts.back().height, -83);  // 10 points at 600 per inch: 83.3 pixels
}

// -------------------------------------------------------------- export

TEST(MemoExport, LinesGoToTheFilterWithTheirFrameEdges) {
  ModelStateGuard guard;
  modelState().Mode = DocumentMode::Running;
  modelState().CurrentPage = nullptr;
  std::vector<MemoExportLine> got;
  memoExportSink() = [&](const MemoExportLine& l) { got.push_back(l); };
  TfrMemoView m;
  m.Left = 10;
  m.Top = 20;
  m.Width = 200;
  m.Height = 100;
  m.FrameTyp = frftLeft | frftTop | frftRight | frftBottom;
  m.Memo = {"one", "two", "three"};
  m.ExportToFilter();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].text, "one");
  EXPECT_EQ(got[0].frameEdges, frftLeft | frftTop | frftRight);
  EXPECT_EQ(got[1].frameEdges, frftLeft | frftRight);
  EXPECT_EQ(got[2].frameEdges, frftLeft | frftBottom | frftRight);
  // Frame width 1 on all edges: DrawRect starts at (10, 20); GapX 2, GapY 1.
  EXPECT_EQ(got[0].x, 12);
  EXPECT_EQ(got[0].y, 21);
  EXPECT_EQ(got[1].y, 21 + 15);
  EXPECT_EQ(got[0].view, &m);
  EXPECT_FALSE(m.ExportMode);

  got.clear();
  m.Memo = {"single"};
  m.ExportToFilter();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].frameEdges, m.FrameTyp);

  got.clear();
  m.Alignment = frtaVertical;
  m.ExportToFilter();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].frameEdges, 0);
  memoExportSink() = nullptr;
}

}  // namespace
}  // namespace orv
