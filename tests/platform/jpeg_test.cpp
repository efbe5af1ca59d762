#include "platform/jpeg.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/error.h"
#include "platform/graphic_test_util.h"

namespace orv {
namespace {

using testing::matchesReference;
using testing::readImageData;

TEST(Jpeg, DecodesLikeImageMagick) {
  // Both go through libjpeg-turbo's default (accurate) path: the same pixels.
  for (const char* name : {"rgb", "gray", "progressive"}) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> file = readImageData(std::string(name) + ".jpg");
    QImage img = decodeJpeg(file);
    EXPECT_EQ(img.size(), QSize(40, 30));
    EXPECT_TRUE(matchesReference(img, std::string(name) + ".rgba"));
    EXPECT_EQ(jpegSize(file), (Size{40, 30}));
  }
}

TEST(Jpeg, CmykWithAdobeMarkerIsInverted) {
  std::vector<uint8_t> file = readImageData("cmyk.jpg");
  QImage img = decodeJpeg(file);
  // ImageMagick rounds the CMYK conversion its own way: a step of 1 or so.
  EXPECT_TRUE(matchesReference(img, "cmyk.rgba", 2));

  // Without the APP14 segment the same samples are plain ink amounts: the
  // white circle (no ink, stored as 255 by the inverted convention) turns black.
  std::vector<uint8_t> plain;
  size_t i = 2;
  plain.assign(file.begin(), file.begin() + 2);
  while (i + 4 <= file.size() && file[i] == 0xFF && file[i + 1] != 0xDA) {
    size_t len = (file[i + 2] << 8) | file[i + 3];
    if (file[i + 1] != 0xEE)
      plain.insert(plain.end(), file.begin() + i, file.begin() + i + 2 + len);
    i += 2 + len;
  }
  plain.insert(plain.end(), file.begin() + i, file.end());
  ASSERT_LT(plain.size(), file.size());
  QImage inverted = decodeJpeg(plain);
  EXPECT_GT(qGray(img.pixel(20, 15)), 240);
  EXPECT_LT(qGray(inverted.pixel(20, 15)), 15);
}

TEST(Jpeg, DamagedData) {
  std::vector<uint8_t> file = readImageData("rgb.jpg");
  EXPECT_THROW(decodeJpeg({}), Error);
  EXPECT_THROW(decodeJpeg(std::vector<uint8_t>(file.begin(), file.begin() + 100)), Error);
  EXPECT_THROW(jpegSize(std::vector<uint8_t>(file.begin(), file.begin() + 100)), Error);
  std::vector<uint8_t> notJpeg = readImageData("rgb24.bmp");
  EXPECT_THROW(decodeJpeg(notJpeg), Error);
  // Scan data cut short: the library fills the rest, the image keeps its size.
  std::vector<uint8_t> cut(file.begin(), file.end() - 200);
  EXPECT_EQ(decodeJpeg(cut).size(), QSize(40, 30));
}

TEST(Jpeg, RefusesHugeImagesBeforeAllocating) {
  std::vector<uint8_t> file = readImageData("rgb.jpg");
  // Find the start-of-frame segment and claim 60000 x 60000 pixels.
  size_t i = 2;
  while (i + 9 < file.size() && !(file[i] == 0xFF && (file[i + 1] == 0xC0 || file[i + 1] == 0xC2)))
    i += 2 + ((file[i + 2] << 8) | file[i + 3]);
  ASSERT_LT(i + 9, file.size());
  file[i + 5] = file[i + 7] = 0xEA;
  file[i + 6] = file[i + 8] = 0x60;
  EXPECT_EQ(jpegSize(file), (Size{60000, 60000}));
  EXPECT_THROW(decodeJpeg(file), Error);
  // 3000 x 3000 is within the limit, but not from a few kilobytes.
  file[i + 5] = file[i + 7] = 0x0B;
  file[i + 6] = file[i + 8] = 0xB8;
  EXPECT_EQ(jpegSize(file), (Size{3000, 3000}));
  EXPECT_THROW(decodeJpeg(file), Error);
  EXPECT_THROW(decodeJpeg(readImageData("rgb.jpg"), 1000), Error);
}

TEST(Jpeg, EncodeThenDecodeStaysClose) {
  QImage src = decodeJpeg(readImageData("rgb.jpg"));
  std::vector<uint8_t> high = encodeJpeg(src, 95);
  std::vector<uint8_t> low = encodeJpeg(src, 20);
  EXPECT_LT(low.size(), high.size());
  ASSERT_GE(high.size(), 4u);
  EXPECT_EQ(high[0], 0xFF);
  EXPECT_EQ(high[1], 0xD8);
  EXPECT_EQ(std::string(high.begin() + 6, high.begin() + 10), "JFIF");
  // Peak signal-to-noise ratio: above 30 dB is a faithful copy, even with the
  // sharp colour edges of this picture and chroma subsampling.
  auto psnr = [&](const QImage& back) {
    EXPECT_EQ(back.size(), src.size());
    double se = 0;
    for (int y = 0; y < src.height(); ++y)
      for (int x = 0; x < src.width(); ++x) {
        QRgb a = src.pixel(x, y), b = back.pixel(x, y);
        for (int d : {qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b)}) se += d * d;
      }
    return 10 * std::log10(255.0 * 255.0 / (se / (src.width() * src.height() * 3)));
  };
  const double good = psnr(decodeJpeg(high)), poor = psnr(decodeJpeg(low));
  EXPECT_GT(good, 30.0);
  EXPECT_GT(good, poor + 3);

  // Greyscale stays greyscale; transparent pixels are laid on white.
  QImage gray = src.convertToFormat(QImage::Format_Grayscale8);
  QImage g = decodeJpeg(encodeJpeg(gray, 90));
  EXPECT_EQ(qRed(g.pixel(5, 20)), qBlue(g.pixel(5, 20)));
  QImage clear(16, 16, QImage::Format_ARGB32);
  clear.fill(Qt::transparent);
  QImage w = decodeJpeg(encodeJpeg(clear, 90));
  EXPECT_GE(qGray(w.pixel(8, 8)), 250);
  EXPECT_THROW(encodeJpeg(QImage()), Error);
}

}  // namespace
}  // namespace orv
