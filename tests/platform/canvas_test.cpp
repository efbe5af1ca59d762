#include "platform/canvas.h"

#include <gtest/gtest.h>

#include <numeric>

#include "platform/fonts.h"

namespace orv {
namespace {

// Records text output so that drawText's placement can be checked.
class RecordingCanvas : public Canvas {
 public:
  struct Out {
    int32_t x, y;
    std::string text;
  };
  std::vector<Out> outs;

  Rect deviceBounds() const override { return {0, 0, 800, 600}; }
  void lineTo(int32_t, int32_t) override {}
  void polyline(std::span<const Point>) override {}
  void polygon(std::span<const Point>) override {}
  void rectangle(const Rect&) override {}
  void roundRect(const Rect&, int32_t, int32_t) override {}
  void ellipse(const Rect&) override {}
  void arc(const Rect&, Point, Point) override {}
  void pie(const Rect&, Point, Point) override {}
  void fillRect(const Rect&) override {}
  void textOut(int32_t x, int32_t y, std::string_view text, const Rect*, uint32_t) override {
    outs.push_back({x, y, std::string(text)});
  }
  void stretchImage(const Rect&, const QImage&) override {}
  int clipChanges = 0;

 protected:
  void clipChanged() override { ++clipChanges; }
};

int plainWidth(const FontSpec& spec, std::string_view s) {
  int w = 0;
  for (char c : s) w += scaledFont(spec).advance(uint8_t(c));
  return w;
}

TEST(CanvasText, CharacterExtraIsAddedAfterEveryCharacter) {
  RecordingCanvas c;
  const std::string s = "Relatorio de vendas";
  int plain = plainWidth(c.font(), s);
  c.setTextCharacterExtra(3);
  EXPECT_EQ(c.textWidth(s), plain + 3 * int(s.size()));
  std::vector<int32_t> adv = c.charAdvances(s);
  ASSERT_EQ(adv.size(), s.size());
  EXPECT_EQ(std::accumulate(adv.begin(), adv.end(), 0), c.textWidth(s));
  EXPECT_EQ(adv[0], scaledFont(c.font()).advance('R') + 3);
  c.setTextCharacterExtra(-1);
  EXPECT_EQ(c.textWidth(s), plain - int(s.size()));
  EXPECT_EQ(c.textWidth(""), 0);
}

TEST(CanvasText, JustificationSpreadsTheRemainderOverTheFirstBreaks) {
  RecordingCanvas c;
  const std::string s = "um dois tres quatro";  // three blanks
  int space = scaledFont(c.font()).advance(' ');
  int plain = plainWidth(c.font(), s);
  c.setTextJustification(8, 3);  // 8 = 3 + 3 + 2
  std::vector<int32_t> adv = c.charAdvances(s);
  EXPECT_EQ(adv[2], space + 3);
  EXPECT_EQ(adv[7], space + 3);
  EXPECT_EQ(adv[12], space + 2);
  EXPECT_EQ(adv[0], scaledFont(c.font()).advance('u'));
  EXPECT_EQ(c.textWidth(s), plain + 8);
  // Only as many break characters as announced take part.
  c.setTextJustification(5, 1);
  adv = c.charAdvances(s);
  EXPECT_EQ(adv[2], space + 5);
  EXPECT_EQ(adv[7], space);
  c.setTextJustification(0, 0);
  EXPECT_EQ(c.textWidth(s), plain);
}

TEST(CanvasText, CalcRectMeasuresEveryLineBreakKind) {
  RecordingCanvas c;
  const int h = c.textMetrics().height;
  const int wide = plainWidth(c.font(), "a much longer line");
  for (std::string text : {"ab\r\na much longer line\r\nc", "ab\na much longer line\nc",
                           "ab\ra much longer line\rc", "ab\r\na much longer line\nc\r\n"}) {
    Rect r{10, 20, 15, 25};
    int got = c.drawText(text, r, dtCalcRect | dtNoPrefix);
    EXPECT_EQ(got, 3 * h) << text;
    EXPECT_EQ(r, (Rect{10, 20, 10 + wide, 20 + 3 * h})) << text;
  }
  // An empty line in the middle counts.
  Rect r{0, 0, 0, 0};
  EXPECT_EQ(c.drawText("a\r\n\r\nb", r, dtCalcRect | dtNoPrefix), 3 * h);
  // Character extra widens the measured lines too.
  c.setTextCharacterExtra(2);
  r = {0, 0, 0, 0};
  c.drawText("abc\r\nde", r, dtCalcRect | dtNoPrefix);
  EXPECT_EQ(r.right, plainWidth(c.font(), "abc") + 6);
}

TEST(CanvasText, PrefixAmpersandsAreHiddenUnlessNoPrefix) {
  RecordingCanvas c;
  Rect r{0, 0, 0, 0};
  c.drawText("&Arquivo && mais", r, dtCalcRect);
  EXPECT_EQ(r.right, plainWidth(c.font(), "Arquivo & mais"));
  r = {0, 0, 0, 0};
  c.drawText("&Arquivo && mais", r, dtCalcRect | dtNoPrefix);
  EXPECT_EQ(r.right, plainWidth(c.font(), "&Arquivo && mais"));
}

TEST(CanvasText, WordBreakWrapsAtBlanksAndKeepsLongWordsWhole) {
  RecordingCanvas c;
  const int h = c.textMetrics().height;
  const int w = plainWidth(c.font(), "alpha beta");
  Rect r{0, 0, w, 0};
  EXPECT_EQ(c.drawText("alpha beta gamma", r, dtCalcRect | dtWordBreak | dtNoPrefix), 2 * h);
  EXPECT_EQ(r.right, w);
  r = {0, 0, w, 100};
  c.drawText("alpha beta gamma", r, dtWordBreak | dtNoPrefix);
  ASSERT_EQ(c.outs.size(), 2u);
  EXPECT_EQ(c.outs[0].text, "alpha beta");
  EXPECT_EQ(c.outs[1].text, "gamma");
  EXPECT_EQ(c.outs[1].y, h);
  // A word wider than the rectangle widens the calculated rectangle.
  const int longWord = plainWidth(c.font(), "Paralelepipedo");
  r = {0, 0, 20, 0};
  EXPECT_EQ(c.drawText("Paralelepipedo x", r, dtCalcRect | dtWordBreak | dtNoPrefix), 2 * h);
  EXPECT_EQ(r.right, longWord);
}

TEST(CanvasText, DrawPlacesLinesByAlignment) {
  RecordingCanvas c;
  const int h = c.textMetrics().height;
  Rect r{100, 50, 300, 200};
  c.drawText("abc\r\nde", r, dtRight | dtNoPrefix);
  ASSERT_EQ(c.outs.size(), 2u);
  EXPECT_EQ(c.outs[0].x, 300 - plainWidth(c.font(), "abc"));
  EXPECT_EQ(c.outs[1].x, 300 - plainWidth(c.font(), "de"));
  EXPECT_EQ(c.outs[1].y, 50 + h);
  c.outs.clear();
  c.drawText("abc", r, dtCenter | dtNoPrefix);
  EXPECT_EQ(c.outs[0].x, 100 + (200 - plainWidth(c.font(), "abc")) / 2);
  c.outs.clear();
  c.drawText("a\tb", r, dtExpandTabs | dtNoPrefix);
  ASSERT_EQ(c.outs.size(), 2u);
  EXPECT_EQ(c.outs[1].x, 100 + 8 * c.textMetrics().aveCharWidth);
}

TEST(CanvasClip, IntersectExcludeAndVisibility) {
  RecordingCanvas c;
  EXPECT_TRUE(c.rectVisible({790, 590, 900, 900}));
  EXPECT_FALSE(c.rectVisible({800, 0, 900, 10}));  // right of the surface
  EXPECT_FALSE(c.rectVisible({10, 10, 10, 20}));   // empty
  c.intersectClipRect({100, 100, 200, 200});
  EXPECT_TRUE(c.rectVisible({199, 199, 300, 300}));
  EXPECT_FALSE(c.rectVisible({200, 100, 300, 200}));  // right edge is exclusive
  c.excludeClipRect({100, 100, 150, 200});
  EXPECT_FALSE(c.rectVisible({120, 120, 150, 150}));
  EXPECT_TRUE(c.rectVisible({120, 120, 151, 150}));
  ASSERT_TRUE(c.state().clip);
  EXPECT_EQ(c.state().clip->boundingRect(), QRect(150, 100, 50, 100));
  // Excluding without a clip starts from the whole surface.
  c.setClipRect(std::nullopt);
  c.excludeClipRect({0, 0, 400, 600});
  EXPECT_FALSE(c.rectVisible({0, 0, 400, 600}));
  EXPECT_TRUE(c.rectVisible({0, 0, 401, 1}));
  EXPECT_GE(c.clipChanges, 4);
}

TEST(CanvasState, SaveRestoreBringsBackEverything) {
  RecordingCanvas c;
  c.setPenColor(rgb(1, 2, 3));
  c.intersectClipRect({0, 0, 10, 10});
  c.save();
  c.setPenColor(rgb(9, 9, 9));
  c.setFontHeight(-40);
  c.setTextCharacterExtra(5);
  c.setClipRect(std::nullopt);
  c.moveTo(7, 8);
  c.restore();
  EXPECT_EQ(c.pen().color, rgb(1, 2, 3));
  EXPECT_EQ(c.font().height, -13);
  EXPECT_EQ(c.state().charExtra, 0);
  ASSERT_TRUE(c.state().clip);
  EXPECT_EQ(c.state().clip->boundingRect(), QRect(0, 0, 10, 10));
  // More restores than saves leave the state alone.
  c.restore();
  EXPECT_EQ(c.pen().color, rgb(1, 2, 3));
}

}  // namespace
}  // namespace orv
