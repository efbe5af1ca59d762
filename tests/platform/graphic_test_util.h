#pragma once
#include <gtest/gtest.h>

#include <QImage>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orv::testing {

inline std::vector<uint8_t> readImageData(const std::string& name) {
  std::ifstream in(std::string(ORV_TEST_DATA_DIR) + "/images/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Compares decoded pixels with ImageMagick's decoding of the same file (an
// X.rgba dump, 8 bits per channel, rows top to bottom). Fully transparent
// pixels have no colour to compare. `tolerance` is per channel.
inline ::testing::AssertionResult matchesReference(const QImage& image, const std::string& rgba,
                                                   int tolerance = 0) {
  const std::vector<uint8_t> ref = readImageData(rgba);
  if (image.isNull()) return ::testing::AssertionFailure() << "null image";
  const QImage img = image.convertToFormat(QImage::Format_RGBA8888);
  const size_t n = size_t(img.width()) * img.height() * 4;
  if (ref.size() != n)
    return ::testing::AssertionFailure() << "reference holds " << ref.size() << " bytes, image "
                                         << img.width() << " x " << img.height();
  int bad = 0;
  ::testing::AssertionResult result = ::testing::AssertionSuccess();
  for (int y = 0; y < img.height(); ++y) {
    const uint8_t* row = img.constScanLine(y);
    for (int x = 0; x < img.width(); ++x) {
      const uint8_t* got = row + x * 4;
      const uint8_t* want = ref.data() + (size_t(y) * img.width() + x) * 4;
      const int channels = want[3] == 0 ? 0 : 3;
      bool same = std::abs(got[3] - want[3]) <= tolerance;
      for (int c = 0; c < channels; ++c) same = same && std::abs(got[c] - want[c]) <= tolerance;
      if (!same && bad++ < 5) {
        if (bad == 1) result = ::testing::AssertionFailure();
        result << "(" << x << "," << y << ") got " << int(got[0]) << "," << int(got[1]) << ","
               << int(got[2]) << "," << int(got[3]) << " want " << int(want[0]) << ","
               << int(want[1]) << "," << int(want[2]) << "," << int(want[3]) << "; ";
      }
    }
  }
  if (bad) result << bad << " pixels differ";
  return result;
}

}  // namespace orv::testing
