#include "platform/graphic.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/bmp.h"
#include "platform/canvas.h"
#include "platform/emf_canvas.h"
#include "platform/error.h"
#include "platform/graphic_test_util.h"

namespace orv {
namespace {

using testing::matchesReference;
using testing::readImageData;

// Records the image stretches; everything else is irrelevant here.
class ImageRecorder : public Canvas {
 public:
  struct Call {
    Rect dest;
    QImage image;
  };
  std::vector<Call> calls;
  std::vector<Rect> fills;

  Rect deviceBounds() const override { return {0, 0, 1000, 1000}; }
  void lineTo(int32_t, int32_t) override {}
  void polyline(std::span<const Point>) override {}
  void polygon(std::span<const Point>) override {}
  void rectangle(const Rect&) override {}
  void roundRect(const Rect&, int32_t, int32_t) override {}
  void ellipse(const Rect&) override {}
  void arc(const Rect&, Point, Point) override {}
  void pie(const Rect&, Point, Point) override {}
  void fillRect(const Rect& r) override { fills.push_back(r); }
  void textOut(int32_t, int32_t, std::string_view, const Rect*, uint32_t) override {}
  void stretchImage(const Rect& dest, const QImage& image) override {
    calls.push_back({dest, image});
  }
};

std::string dataPath(const char* name) {
  return std::string(ORV_TEST_DATA_DIR) + "/images/" + name;
}

TEST(Graphic, KeepsTheLoadedBytesAndReportsTheSize) {
  struct Case {
    Graphic::Kind kind;
    const char* file;
    int32_t w, h;
  };
  for (const Case& c : {Case{Graphic::Kind::Bitmap, "rle4.bmp", 13, 7},
                        Case{Graphic::Kind::Icon, "pal4.ico", 16, 16},
                        Case{Graphic::Kind::Jpeg, "cmyk.jpg", 40, 30}}) {
    SCOPED_TRACE(c.file);
    std::vector<uint8_t> bytes = readImageData(c.file);
    Graphic g = Graphic::load(c.kind, bytes);
    EXPECT_EQ(g.kind(), c.kind);
    EXPECT_FALSE(g.isEmpty());
    EXPECT_EQ(g.width(), c.w);
    EXPECT_EQ(g.height(), c.h);
    EXPECT_TRUE(std::ranges::equal(g.bytes(), bytes));
    Graphic copy = g;
    EXPECT_EQ(copy, g);
    EXPECT_EQ(Graphic::sniff(bytes), c.kind);
  }
}

TEST(Graphic, NoneIsEmptyAndBadDataThrows) {
  Graphic none = Graphic::load(Graphic::Kind::None, std::vector<uint8_t>{1, 2, 3});
  EXPECT_TRUE(none.isEmpty());
  EXPECT_TRUE(none.bytes().empty());
  EXPECT_TRUE(Graphic().isEmpty());
  std::vector<uint8_t> bmp = readImageData("rgb24.bmp");
  EXPECT_THROW(Graphic::load(Graphic::Kind::Jpeg, bmp), Error);
  EXPECT_THROW(Graphic::load(Graphic::Kind::Icon, bmp), Error);
  EXPECT_THROW(Graphic::load(Graphic::Kind::Metafile, bmp), Error);
  EXPECT_THROW(Graphic::load(Graphic::Kind(9), bmp), Error);
  EXPECT_THROW(Graphic::load(Graphic::Kind::Bitmap, std::span(bmp).first(60)), Error);

  // Bytes that failed can still be kept and saved back; they draw nothing.
  Graphic kept = Graphic::unreadable(Graphic::Kind::Jpeg, bmp);
  EXPECT_TRUE(std::ranges::equal(kept.bytes(), bmp));
  ImageRecorder canvas;
  kept.draw(canvas, {0, 0, 10, 10});
  EXPECT_TRUE(canvas.calls.empty());
}

TEST(Graphic, DrawStretchesTheDecodedImage) {
  Graphic g = Graphic::load(Graphic::Kind::Bitmap, readImageData("pal4.bmp"));
  ImageRecorder canvas;
  g.draw(canvas, {10, 20, 36, 34});
  g.draw(canvas, {0, 0, 13, 7});
  g.draw(canvas, {5, 5, 5, 9});  // empty: nothing
  ASSERT_EQ(canvas.calls.size(), 2u);
  EXPECT_EQ(canvas.calls[0].dest, (Rect{10, 20, 36, 34}));
  EXPECT_TRUE(matchesReference(canvas.calls[0].image, "pal4.rgba"));
  EXPECT_TRUE(matchesReference(g.toImage(), "pal4.rgba"));
}

TEST(Graphic, DamagedPixelsDrawNothing) {
  // Valid headers, run-length data whose delta moves past the last row.
  std::vector<uint8_t> f = readImageData("rle8delta.bmp");
  const uint32_t off = f[10] | (f[11] << 8);
  f[off + 5] = 50;
  Graphic g = Graphic::load(Graphic::Kind::Bitmap, f);
  ImageRecorder canvas;
  g.draw(canvas, {0, 0, 13, 7});
  EXPECT_TRUE(canvas.calls.empty());
  EXPECT_THROW(g.toImage(), Error);
  EXPECT_THROW(g.toImage(), Error);  // the failure is remembered
}

TEST(Graphic, MetafilesArePlayedIntoTheDestination) {
  EmfCanvas emf({0, 0, 40, 20});
  emf.setBrushColor(rgb(255, 0, 0));
  emf.fillRect({0, 0, 40, 20});
  const std::vector<uint8_t> bytes = emf.finish();
  ASSERT_EQ(Graphic::sniff(bytes), Graphic::Kind::Metafile);
  Graphic g = Graphic::load(Graphic::Kind::Metafile, bytes);
  EXPECT_EQ(g.width(), 40);
  EXPECT_EQ(g.height(), 20);
  EXPECT_TRUE(std::ranges::equal(g.bytes(), bytes));
  EXPECT_TRUE(g.toImage().isNull());
  ImageRecorder canvas;
  // A stretch-draw takes the rectangle to include its right and bottom edge.
  g.draw(canvas, {100, 100, 181, 141});
  ASSERT_EQ(canvas.fills.size(), 1u);
  EXPECT_EQ(canvas.fills[0], (Rect{100, 100, 180, 140}));
  // Cut inside its records: the header still loads, playing stops quietly.
  Graphic cut = Graphic::load(Graphic::Kind::Metafile, std::span(bytes).first(bytes.size() - 30));
  ImageRecorder other;
  EXPECT_NO_THROW(cut.draw(other, {0, 0, 40, 20}));
}

TEST(Graphic, FromFileRecognisesTheKindByContent) {
  EXPECT_EQ(Graphic::fromFile(dataPath("core4.bmp")).kind(), Graphic::Kind::Bitmap);
  EXPECT_EQ(Graphic::fromFile(dataPath("png.ico")).kind(), Graphic::Kind::Icon);
  EXPECT_EQ(Graphic::fromFile(dataPath("gray.jpg")).kind(), Graphic::Kind::Jpeg);
  // Formats without a kind of their own become bitmaps with the same pixels.
  Graphic png = Graphic::fromFile(dataPath("src.png"));
  EXPECT_EQ(png.kind(), Graphic::Kind::Bitmap);
  EXPECT_TRUE(matchesReference(png.toImage(), "rgb24.rgba"));
  EXPECT_THROW(Graphic::fromFile(dataPath("no-such-file.bmp")), Error);
  EXPECT_THROW(Graphic::fromFile(dataPath("make_images.py")), Error);
}

}  // namespace
}  // namespace orv
