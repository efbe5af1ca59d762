#include "platform/bmp.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/error.h"
#include "platform/graphic_test_util.h"

namespace orv {
namespace {

using testing::matchesReference;
using testing::readImageData;

void put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = (v >> 8) & 0xFF;
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  put16(b, at, v & 0xFFFF);
  put16(b, at + 2, v >> 16);
}

// A BMP file with a 40-byte header, the given colour table and pixel bytes.
std::vector<uint8_t> makeBmp(int32_t w, int32_t h, uint16_t bpp, uint32_t compression,
                             const std::vector<uint8_t>& table, const std::vector<uint8_t>& bits,
                             uint32_t clrUsed = 0) {
  std::vector<uint8_t> f(54, 0);
  f[0] = 'B';
  f[1] = 'M';
  put32(f, 10, uint32_t(54 + table.size()));
  put32(f, 14, 40);
  put32(f, 18, uint32_t(w));
  put32(f, 22, uint32_t(h));
  put16(f, 26, 1);
  put16(f, 28, bpp);
  put32(f, 30, compression);
  put32(f, 46, clrUsed);
  for (uint8_t b : table) f.push_back(b);
  for (uint8_t b : bits) f.push_back(b);
  put32(f, 2, uint32_t(f.size()));
  return f;
}

// Colour table of 4 entries: red, green, red, blue.
const std::vector<uint8_t> kTable = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0};

class BmpReference : public ::testing::TestWithParam<const char*> {};

// Every header form, bit depth and compression, against ImageMagick's decoding.
TEST_P(BmpReference, DecodesLikeImageMagick) {
  const std::string name = GetParam();
  const std::vector<uint8_t> file = readImageData(name + ".bmp");
  QImage img = decodeBmp(file);
  ASSERT_EQ(img.width(), 13);
  ASSERT_EQ(img.height(), 7);
  EXPECT_TRUE(matchesReference(img, name + ".rgba"));
  EXPECT_EQ(bmpSize(file), (Size{13, 7}));
}

INSTANTIATE_TEST_SUITE_P(AllForms, BmpReference,
                         ::testing::Values("rgb24", "core24", "core4", "pal4", "pal1", "pal8",
                                           "rle8", "rle4", "rle8delta", "rgb565", "rgb555", "rgb16",
                                           "argb32", "rgb32", "rgb32a", "v4argb32", "topdown24"));

// ImageMagick widens narrow fields by shifting (15 of 15 becomes 240, a 1-bit
// alpha 128); full intensity must stay full, so these are checked against the
// source pixels within half a quantisation step instead.
TEST(Bmp, BitFieldsWidenToTheFullRange) {
  // 10 bits per channel, made from src.png by rounding: exactly back.
  EXPECT_TRUE(matchesReference(decodeBmp(readImageData("bf101010.bmp")), "src.rgba"));
  // 4 bits: steps of 17 (ImageMagick's writer truncates, so within one step).
  QImage a4 = decodeBmp(readImageData("argb4444.bmp"));
  EXPECT_TRUE(matchesReference(a4, "alpha.rgba", 17));
  EXPECT_EQ(qAlpha(a4.pixel(12, 3)), 255);
  EXPECT_EQ(qRed(a4.pixel(5, 0)), 255);
  // 5 bits of colour, 1 of alpha: the source's opaque column stays opaque.
  QImage a1 = decodeBmp(readImageData("argb1555.bmp"));
  EXPECT_EQ(qAlpha(a1.pixel(12, 2)), 255);
  EXPECT_EQ(qAlpha(a1.pixel(0, 2)), 0);
  for (int x = 0; x < 13; ++x) EXPECT_TRUE(qAlpha(a1.pixel(x, 4)) % 255 == 0);
}

TEST(Bmp, ZeroAlphaEverywhereMeansOpaqueButOneAlphaCounts) {
  QImage opaque = decodeBmp(readImageData("rgb32.bmp"));
  EXPECT_FALSE(opaque.hasAlphaChannel());
  QImage withAlpha = decodeBmp(readImageData("rgb32a.bmp"));
  EXPECT_TRUE(withAlpha.hasAlphaChannel());
  // rgb32a's first pixel has alpha 0 and the image is not treated as opaque.
  EXPECT_EQ(qAlpha(withAlpha.pixel(0, 0)), 0);
}

TEST(Bmp, PackedDibDecodesLikeTheFile) {
  for (const char* name : {"rgb24", "pal8", "core4", "rgb565", "bf101010", "rle4"}) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> file = readImageData(std::string(name) + ".bmp");
    std::span<const uint8_t> packed(file.data() + 14, file.size() - 14);
    QImage fromFile = decodeBmp(file);
    EXPECT_EQ(decodeDib(packed), fromFile);
    // Header and pixels apart, as metafile records hold them.
    uint32_t off = file[10] | (file[11] << 8);
    EXPECT_EQ(decodeDib(packed.first(off - 14), packed.subspan(off - 14)), fromFile);
  }
}

TEST(Bmp, IndexPastTheColourTableIsBlack) {
  std::vector<uint8_t> file = readImageData("pal8.bmp");
  const uint32_t off = file[10] | (file[11] << 8);
  // The first pixel of the bottom row, the last row on screen.
  file[off] = 200;
  QImage img = decodeBmp(file);
  EXPECT_EQ(img.pixel(0, 6), qRgb(0, 0, 0));
  QImage ref = decodeBmp(readImageData("pal8.bmp"));
  EXPECT_EQ(img.pixel(1, 6), ref.pixel(1, 6));
}

TEST(Bmp, LastRowMayLackItsPadding) {
  // 3 x 2 at 24 bits: rows of 9 bytes padded to 12; the last row stops at 9.
  std::vector<uint8_t> bits(12 + 9, 0x80);
  QImage img = decodeBmp(makeBmp(3, 2, 24, biRgb, {}, bits));
  EXPECT_EQ(img.pixel(2, 0), qRgb(0x80, 0x80, 0x80));
  bits.pop_back();
  EXPECT_THROW(decodeBmp(makeBmp(3, 2, 24, biRgb, {}, bits)), Error);
  EXPECT_THROW(bmpSize(makeBmp(3, 2, 24, biRgb, {}, bits)), Error);
}

TEST(Bmp, SixteenBitMasksWidenByRounding) {
  // 5-6-5: the largest value of each field is full intensity, 1 of 31 is 8.
  std::vector<uint8_t> masks = {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
  std::vector<uint8_t> bits = {0xFF, 0xFF, 0x01, 0x08, 0, 0, 0, 0};  // white; r=1,g=0,b=1
  QImage img = decodeBmp(makeBmp(2, 1, 16, biBitfields, masks, bits));
  EXPECT_EQ(img.pixel(0, 0), qRgb(255, 255, 255));
  EXPECT_EQ(img.pixel(1, 0), qRgb(8, 0, 8));
}

TEST(Bmp, RejectsDamagedHeaders) {
  const std::vector<uint8_t> good = makeBmp(2, 2, 1, biRgb, kTable, std::vector<uint8_t>(8, 0));
  ASSERT_NO_THROW(decodeBmp(good));
  auto patched = [&](size_t at, uint32_t v, bool wide = true) {
    std::vector<uint8_t> f = good;
    if (wide) {
      put32(f, at, v);
    } else {
      put16(f, at, v);
    }
    return f;
  };
  EXPECT_THROW(decodeBmp(std::vector<uint8_t>(good.begin(), good.begin() + 13)), Error);
  EXPECT_THROW(decodeBmp(patched(0, 'X', false)), Error);
  EXPECT_THROW(decodeBmp(patched(10, 4000)), Error);  // pixels past the end
  EXPECT_THROW(decodeBmp(patched(10, 20)), Error);    // pixels inside the header
  EXPECT_THROW(decodeBmp(patched(14, 20)), Error);    // unknown header size
  EXPECT_THROW(decodeBmp(patched(14, 4000)), Error);  // header past the pixel offset
  EXPECT_THROW(decodeBmp(patched(18, 0)), Error);     // no width
  EXPECT_THROW(decodeBmp(patched(18, uint32_t(-2))), Error);
  EXPECT_THROW(decodeBmp(patched(22, 0)), Error);  // no height
  EXPECT_THROW(decodeBmp(patched(22, 0x80000000u)), Error);
  EXPECT_THROW(decodeBmp(patched(28, 7, false)), Error);  // bit count
  EXPECT_THROW(decodeBmp(patched(30, biRle8)), Error);    // RLE8 at 1 bit
  EXPECT_THROW(decodeBmp(patched(30, biBitfields)), Error);
  EXPECT_THROW(decodeBmp(patched(30, 9)), Error);  // unknown compression
  // A table of 300 entries cannot fit before the pixels.
  std::vector<uint8_t> f = makeBmp(2, 2, 8, biRgb, kTable, std::vector<uint8_t>(8, 0), 300);
  std::span<const uint8_t> packed(f.data() + 14, f.size() - 14);
  EXPECT_THROW(decodeDib(packed), Error);
  // Masks with holes.
  std::vector<uint8_t> masks = {0x05, 0xF0, 0, 0, 0, 0, 0x0F, 0, 0, 0, 0, 0x0F};
  EXPECT_THROW(decodeBmp(makeBmp(1, 1, 32, biBitfields, masks, std::vector<uint8_t>(4, 0))), Error);
}

TEST(Bmp, RefusesHugeImagesBeforeAllocating) {
  // 60000 x 60000 claims 3.6 gigapixels; the check comes before any allocation.
  EXPECT_THROW(decodeBmp(makeBmp(60000, 60000, 24, biRgb, {}, std::vector<uint8_t>(64, 0))), Error);
  EXPECT_THROW(decodeBmp(makeBmp(60000, -60000, 1, biRgb, kTable, {})), Error);
  // Within the pixel limit but without the pixels it claims.
  EXPECT_THROW(decodeBmp(makeBmp(10000, 10000, 32, biRgb, {}, std::vector<uint8_t>(64, 0))), Error);
}

TEST(Bmp, RunLengthNeverWritesOutsideTheImage) {
  // 4 x 2 image, RLE8.
  auto rle = [&](std::vector<uint8_t> data) {
    return decodeBmp(makeBmp(4, 2, 8, biRle8, kTable, data, 4));
  };
  QImage ok = rle({4, 1, 0, 0, 2, 0, 0, 1});
  EXPECT_EQ(ok.pixel(3, 1), qRgb(0, 255, 0));  // bottom row green
  EXPECT_EQ(ok.pixel(0, 0), qRgb(255, 0, 0));  // top row: 2 red, then untouched index 0
  EXPECT_EQ(ok.pixel(3, 0), qRgb(255, 0, 0));
  // Runs and moves past the right edge (writers fill the row padding) are cut
  // there, without spilling into the next row.
  QImage cut = rle({6, 1, 0, 0, 1, 3, 0, 2, 5, 0, 2, 1, 0, 3, 1, 1, 1, 0, 0, 1});
  EXPECT_EQ(cut.pixel(3, 1), qRgb(0, 255, 0));
  EXPECT_EQ(cut.pixel(0, 0), qRgb(0, 0, 255));
  EXPECT_EQ(cut.pixel(1, 0), qRgb(255, 0, 0));
  EXPECT_EQ(cut.pixel(3, 0), qRgb(255, 0, 0));
  EXPECT_THROW(rle({0, 2, 0, 3}), Error);        // delta above the top
  EXPECT_THROW(rle({0, 0, 0, 0, 1, 1}), Error);  // pixels after the last row
  EXPECT_THROW(rle({0, 3, 1, 1}), Error);        // absolute run cut short
  EXPECT_THROW(rle({2, 1, 0, 2, 1}), Error);     // delta cut short
  EXPECT_THROW(decodeBmp(makeBmp(4, 2, 4, biRle4, kTable, {0, 0, 0, 0, 2, 0x11}, 4)), Error);
  EXPECT_THROW(decodeBmp(makeBmp(4, -2, 8, biRle8, kTable, {0, 1}, 4)), Error);
}

TEST(Bmp, EmbeddedPngAndJpeg) {
  std::vector<uint8_t> png = readImageData("icopng.png");
  EXPECT_TRUE(matchesReference(decodeBmp(makeBmp(24, 20, 0, biPng, {}, png)), "pngico.rgba"));
  // The header's size must be the image's.
  EXPECT_THROW(decodeBmp(makeBmp(24, 21, 0, biPng, {}, png)), Error);
  // A chunk claiming more bytes than there are never reaches the PNG library.
  png[33] = 0x7F;
  EXPECT_THROW(decodeBmp(makeBmp(24, 20, 0, biPng, {}, png)), Error);
  std::vector<uint8_t> jpg = readImageData("gray.jpg");
  EXPECT_TRUE(matchesReference(decodeBmp(makeBmp(40, 30, 0, biJpeg, {}, jpg)), "gray.rgba"));
}

TEST(Bmp, EncodedFilesDecodeToTheSamePixels) {
  QImage opaque = decodeBmp(readImageData("pal4.bmp"));
  std::vector<uint8_t> bmp = encodeBmp(opaque);
  EXPECT_EQ(decodeBmp(bmp), opaque.convertToFormat(QImage::Format_RGB32));
  QImage alpha = decodeBmp(readImageData("argb32.bmp"));
  ASSERT_TRUE(alpha.hasAlphaChannel());
  EXPECT_TRUE(matchesReference(decodeBmp(encodeBmp(alpha)), "argb32.rgba"));
}

}  // namespace
}  // namespace orv
