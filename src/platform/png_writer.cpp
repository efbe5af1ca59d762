#include "platform/png_writer.h"

#include <png.h>

#include <QIODevice>
#include <QImage>
#include <csetjmp>

namespace orv {

namespace {

void writeData(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<QIODevice*>(png_get_io_ptr(png));
  if (out->write(reinterpret_cast<const char*>(data), qint64(n)) != qint64(n))
    png_error(png, "short write");
}

void flushData(png_structp) {}

// A failed write is the caller's to report, with the device's own reason;
// libpng's default would print its own words to the terminal as well.
[[noreturn]] void quietError(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}

// libpng's warnings concern reading; a writer fed sound values has none to give.
void ignoreWarning(png_structp, png_const_charp) {}

// libpng reports an error by jumping back to the setjmp below, so no object
// with a destructor may live in this function.
bool writeRows(png_structp png, png_infop info, const QImage& img) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, png_uint_32(img.width()), png_uint_32(img.height()), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (img.dotsPerMeterX() > 0 && img.dotsPerMeterY() > 0)
    png_set_pHYs(png, info, png_uint_32(img.dotsPerMeterX()), png_uint_32(img.dotsPerMeterY()),
                 PNG_RESOLUTION_METER);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_compression_level(png, 1);
  png_write_info(png, info);
  // Format_RGB32 pixels are 0xffRRGGBB words; the unused byte is dropped.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
  png_set_filler(png, 0, PNG_FILLER_AFTER);
  png_set_bgr(png);
#else
  png_set_filler(png, 0, PNG_FILLER_BEFORE);
#endif
  for (int y = 0; y < img.height(); ++y)
    png_write_row(png, const_cast<png_bytep>(img.constScanLine(y)));
  png_write_end(png, info);
  return true;
}

}  // namespace

bool writePng(const QImage& image, QIODevice& out) {
  const QImage img =
      image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
  if (img.isNull()) return false;
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, ignoreWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  bool ok = false;
  if (info) {
    png_set_write_fn(png, &out, writeData, flushData);
    ok = writeRows(png, info, img);
  }
  png_destroy_write_struct(&png, &info);
  return ok;
}

}  // namespace orv
