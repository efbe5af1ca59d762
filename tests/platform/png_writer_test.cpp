#include "platform/png_writer.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <random>

namespace orv {
namespace {

// Every pixel comes back as it was written, whatever the rows hold: noise,
// runs of one colour and an odd width that leaves no padding to hide in.
TEST(PngWriter, PixelsAndResolutionComeBackUnchanged) {
  std::mt19937 rng(7);
  for (const QSize size : {QSize(1, 1), QSize(757, 33), QSize(64, 64)}) {
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
      for (int x = 0; x < img.width(); ++x)
        row[x] = y % 3 == 0 ? qRgb(255, 255, 255) : (rng() | 0xff000000u);
    }
    img.setDotsPerMeterX(23622);  // 600 dots per inch
    img.setDotsPerMeterY(11811);
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    ASSERT_TRUE(writePng(img, buf));
    QImage back = QImage::fromData(buf.data(), "PNG");
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), img) << size.width();
    EXPECT_EQ(back.dotsPerMeterX(), 23622);
    EXPECT_EQ(back.dotsPerMeterY(), 11811);
  }
  // Other formats are written as their opaque colours.
  QImage grey(5, 4, QImage::Format_Grayscale8);
  grey.fill(0x80);
  QBuffer buf;
  buf.open(QIODevice::WriteOnly);
  ASSERT_TRUE(writePng(grey, buf));
  EXPECT_EQ(QImage::fromData(buf.data(), "PNG").pixel(4, 3), qRgb(0x80, 0x80, 0x80));
}

TEST(PngWriter, ADeviceThatRefusesBytesFails) {
  QImage img(40, 40, QImage::Format_RGB32);
  img.fill(Qt::white);
  QBuffer closed;
  EXPECT_FALSE(writePng(img, closed));
  QByteArray bytes;
  QBuffer readOnly(&bytes);
  readOnly.open(QIODevice::ReadOnly);
  EXPECT_FALSE(writePng(img, readOnly));
}

}  // namespace
}  // namespace orv
