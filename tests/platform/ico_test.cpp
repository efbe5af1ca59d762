#include "platform/ico.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/graphic_test_util.h"

namespace orv {
namespace {

using testing::matchesReference;
using testing::readImageData;

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}

TEST(Ico, ChoosesTheLargestImageAndAppliesItsAlpha) {
  // ImageMagick's icon of 32 and 16 pixels, 32 bits each.
  std::vector<uint8_t> file = readImageData("im.ico");
  QImage img = decodeIco(file);
  EXPECT_EQ(img.size(), QSize(32, 32));
  EXPECT_TRUE(matchesReference(img, "im.rgba"));
  EXPECT_EQ(icoSize(file), (Size{32, 32}));
}

TEST(Ico, PaletteImageWithAndMask) {
  // A 1-bit 8 x 8 image and a 4-bit 16 x 16 one with a transparent band.
  std::vector<uint8_t> file = readImageData("pal4.ico");
  QImage img = decodeIco(file);
  EXPECT_EQ(img.size(), QSize(16, 16));
  EXPECT_TRUE(matchesReference(img, "pal4ico.rgba"));
  EXPECT_EQ(qAlpha(img.pixel(5, 5)), 0);    // on the band
  EXPECT_EQ(qAlpha(img.pixel(9, 2)), 255);  // off it
}

TEST(Ico, EmbeddedPng) {
  std::vector<uint8_t> file = readImageData("png.ico");
  QImage img = decodeIco(file);
  EXPECT_EQ(img.size(), QSize(24, 20));
  EXPECT_TRUE(matchesReference(img, "pngico.rgba"));
  // A PNG chunk claiming far more bytes than the entry holds: the other image.
  const uint32_t at = file[6 + 16 + 12] | (file[6 + 16 + 13] << 8);
  file[at + 33] = 0x7F;
  EXPECT_EQ(decodeIco(file).size(), QSize(16, 16));
}

TEST(Ico, DamagedEntries) {
  const std::vector<uint8_t> good = readImageData("pal4.ico");
  auto patched = [&](size_t at, uint32_t v) {
    std::vector<uint8_t> f = good;
    put32(f, at, v);
    return f;
  };
  EXPECT_THROW(decodeIco(std::vector<uint8_t>(good.begin(), good.begin() + 5)), Error);
  // Count of 0, type 3, more entries than bytes.
  EXPECT_THROW(decodeIco(patched(2, 0x00000001)), Error);
  EXPECT_THROW(decodeIco(patched(2, 0x00020003)), Error);
  EXPECT_THROW(decodeIco(patched(2, 0x7FFF0001)), Error);
  // The second (chosen) entry pointing outside the file: the first one is used.
  QImage fallback = decodeIco(patched(6 + 16 + 12, uint32_t(good.size())));
  EXPECT_EQ(fallback.size(), QSize(8, 8));
  fallback = decodeIco(patched(6 + 16 + 8, uint32_t(good.size())));
  EXPECT_EQ(fallback.size(), QSize(8, 8));
  // Both entries broken: an error.
  std::vector<uint8_t> both = patched(6 + 12, 0xFFFFFFF0u);
  put32(both, 6 + 16 + 12, 3);  // inside the directory
  EXPECT_THROW(decodeIco(both), Error);
  EXPECT_THROW(icoSize(both), Error);
  // An image header claiming far more pixels than allowed.
  std::vector<uint8_t> huge = good;
  const uint32_t at = good[6 + 16 + 12] | (good[6 + 16 + 13] << 8);
  put32(huge, at + 4, 100000);
  put32(huge, at + 8, 200000);
  EXPECT_EQ(decodeIco(huge).size(), QSize(8, 8));
}

TEST(Ico, MissingAndMaskLeavesTheImageOpaque) {
  std::vector<uint8_t> file = readImageData("pal4.ico");
  const uint32_t at = file[6 + 16 + 12] | (file[6 + 16 + 13] << 8);
  const uint32_t size = 40 + 64 + 16 * 8;  // header, table, XOR image
  file.resize(at + size);
  put32(file, 6 + 16 + 8, size);
  QImage img = decodeIco(file);
  EXPECT_EQ(img.size(), QSize(16, 16));
  EXPECT_FALSE(img.hasAlphaChannel());
}

}  // namespace
}  // namespace orv
