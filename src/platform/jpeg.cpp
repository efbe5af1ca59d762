#include "platform/jpeg.h"

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include <QPainter>
#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/error.h"

namespace orv {

namespace {

// More scans than any encoder writes; a progressive stream with thousands of
// tiny scans is only a way to make decoding crawl.
constexpr int kMaxScans = 500;

// Every block of every component codes at least one bit (its DC difference),
// so even a flat greyscale picture needs a byte per 512 pixels; past a few
// megapixels a stream shorter than that claims a size it cannot fill, and
// decoding it would only burn time and memory.
constexpr uint64_t kFreePixels = 4'000'000;
constexpr uint64_t kPixelsPerByte = 1024;

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr J_COLOR_SPACE kQRgbSpace = JCS_EXT_BGRA;
constexpr J_COLOR_SPACE kQRgbInputSpace = JCS_EXT_BGRX;
#else
constexpr J_COLOR_SPACE kQRgbSpace = JCS_EXT_ARGB;
constexpr J_COLOR_SPACE kQRgbInputSpace = JCS_EXT_XRGB;
#endif

// The library's default error handler ends the process; ours jumps back to
// the call that started the work, which then throws.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void jumpOut(j_common_ptr c) {
  auto* e = reinterpret_cast<ErrorManager*>(c->err);
  std::longjmp(e->jump, 1);
}

[[noreturn]] void onError(j_common_ptr c) {
  auto* e = reinterpret_cast<ErrorManager*>(c->err);
  (*c->err->format_message)(c, e->message);
  jumpOut(c);
}

// Warnings (damaged pixel data the library recovers from) are not shown.
void onMessage(j_common_ptr, int) {}
void onOutput(j_common_ptr) {}

void initErrors(ErrorManager& e) {
  jpeg_std_error(&e.pub);
  e.pub.error_exit = onError;
  e.pub.emit_message = onMessage;
  e.pub.output_message = onOutput;
  e.message[0] = 0;
}

void onProgress(j_common_ptr c) {
  auto* d = reinterpret_cast<j_decompress_ptr>(c);
  if (d->input_scan_number > kMaxScans) {
    auto* e = reinterpret_cast<ErrorManager*>(c->err);
    std::snprintf(e->message, sizeof e->message, "more than %d scans", kMaxScans);
    jumpOut(c);
  }
}

// Everything the jump may skip over lives here, outside the function that
// calls setjmp, so nothing is left half-destroyed.
struct DecodeJob {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  jpeg_progress_mgr progress;
  std::span<const uint8_t> data;
  uint64_t maxPixels = 0;
  bool headerOnly = false;
  QImage* out = nullptr;
  Size size;
  char limitMessage[160];
};

uint8_t mul255(unsigned a, unsigned b) {
  return static_cast<uint8_t>((a * b + 127) / 255);
}

// Returns false with a message in the job after a library error.
bool runDecode(DecodeJob& job) {
  job.cinfo.err = &job.err.pub;
  initErrors(job.err);
  job.limitMessage[0] = 0;
  if (setjmp(job.err.jump)) {
    jpeg_destroy_decompress(&job.cinfo);
    return false;
  }
  jpeg_create_decompress(&job.cinfo);
  j_decompress_ptr ci = &job.cinfo;
  job.progress.progress_monitor = onProgress;
  ci->progress = &job.progress;
  jpeg_mem_src(ci, job.data.data(), static_cast<unsigned long>(job.data.size()));
  jpeg_read_header(ci, TRUE);
  job.size = {static_cast<int32_t>(ci->image_width), static_cast<int32_t>(ci->image_height)};
  if (uint64_t(ci->image_width) * ci->image_height > job.maxPixels) {
    std::snprintf(job.limitMessage, sizeof job.limitMessage, "image of %u x %u pixels is too large",
                  ci->image_width, ci->image_height);
    jpeg_destroy_decompress(ci);
    return false;
  }
  if (job.headerOnly) {
    jpeg_destroy_decompress(ci);
    return true;
  }
  const uint64_t pixels = uint64_t(ci->image_width) * ci->image_height;
  if (pixels > kFreePixels && pixels / kPixelsPerByte > job.data.size()) {
    std::snprintf(job.limitMessage, sizeof job.limitMessage,
                  "%zu bytes of data cannot make a %u x %u image", job.data.size(), ci->image_width,
                  ci->image_height);
    jpeg_destroy_decompress(ci);
    return false;
  }

  const bool cmyk = ci->jpeg_color_space == JCS_CMYK || ci->jpeg_color_space == JCS_YCCK;
  ci->out_color_space = cmyk ? JCS_CMYK : kQRgbSpace;
  jpeg_start_decompress(ci);
  *job.out = QImage(static_cast<int>(ci->output_width), static_cast<int>(ci->output_height),
                    QImage::Format_RGB32);
  if (job.out->isNull()) {
    std::snprintf(job.limitMessage, sizeof job.limitMessage, "out of memory for the image");
    jpeg_destroy_decompress(ci);
    return false;
  }
  // Adobe applications store CMYK inverted (0 = full ink) and mark the file
  // with their APP14 segment; other writers store plain ink amounts.
  const bool inverted = ci->saw_Adobe_marker;
  JSAMPARRAY buffer = nullptr;
  if (cmyk)
    buffer = (*ci->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(ci), JPOOL_IMAGE,
                                      ci->output_width * 4, 1);
  while (ci->output_scanline < ci->output_height) {
    uchar* line = job.out->scanLine(static_cast<int>(ci->output_scanline));
    if (!cmyk) {
      JSAMPROW row = line;
      jpeg_read_scanlines(ci, &row, 1);
      continue;
    }
    jpeg_read_scanlines(ci, buffer, 1);
    const JSAMPLE* s = buffer[0];
    QRgb* d = reinterpret_cast<QRgb*>(line);
    for (JDIMENSION x = 0; x < ci->output_width; ++x, s += 4) {
      unsigned c = s[0], m = s[1], y = s[2], k = s[3];
      if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
      d[x] = qRgb(mul255(c, k), mul255(m, k), mul255(y, k));
    }
  }
  jpeg_finish_decompress(ci);
  jpeg_destroy_decompress(ci);
  return true;
}

void decodeOrThrow(DecodeJob& job) {
  if (job.data.empty()) throw Error("JPEG: no data");
  if (!runDecode(job)) {
    std::string why = job.limitMessage[0] ? job.limitMessage : job.err.message;
    if (job.out) *job.out = QImage();
    throw Error("JPEG: " + why);
  }
}

struct EncodeJob {
  jpeg_compress_struct cinfo;
  ErrorManager err;
  const QImage* image = nullptr;
  bool gray = false;
  int quality = 75;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
};

bool runEncode(EncodeJob& job) {
  job.cinfo.err = &job.err.pub;
  initErrors(job.err);
  if (setjmp(job.err.jump)) {
    jpeg_destroy_compress(&job.cinfo);
    return false;
  }
  jpeg_create_compress(&job.cinfo);
  j_compress_ptr ci = &job.cinfo;
  jpeg_mem_dest(ci, &job.buffer, &job.size);
  ci->image_width = static_cast<JDIMENSION>(job.image->width());
  ci->image_height = static_cast<JDIMENSION>(job.image->height());
  ci->input_components = job.gray ? 1 : 4;
  ci->in_color_space = job.gray ? JCS_GRAYSCALE : kQRgbInputSpace;
  jpeg_set_defaults(ci);
  jpeg_set_quality(ci, job.quality, TRUE);
  jpeg_start_compress(ci, TRUE);
  while (ci->next_scanline < ci->image_height) {
    JSAMPROW row =
        const_cast<JSAMPROW>(job.image->constScanLine(static_cast<int>(ci->next_scanline)));
    jpeg_write_scanlines(ci, &row, 1);
  }
  jpeg_finish_compress(ci);
  jpeg_destroy_compress(ci);
  return true;
}

}  // namespace

QImage decodeJpeg(std::span<const uint8_t> data, uint64_t maxPixels) {
  QImage image;
  DecodeJob job{};
  job.data = data;
  job.maxPixels = maxPixels;
  job.out = &image;
  decodeOrThrow(job);
  return image;
}

Size jpegSize(std::span<const uint8_t> data) {
  DecodeJob job{};
  job.data = data;
  job.maxPixels = UINT64_MAX;
  job.headerOnly = true;
  decodeOrThrow(job);
  return job.size;
}

std::vector<uint8_t> encodeJpeg(const QImage& image, int quality) {
  if (image.isNull()) throw Error("JPEG: cannot encode an empty image");
  if (image.width() > JPEG_MAX_DIMENSION || image.height() > JPEG_MAX_DIMENSION)
    throw Error("JPEG: image is too large to encode");
  QImage src;
  const bool gray = image.isGrayscale() && !image.hasAlphaChannel();
  if (gray) {
    src = image.convertToFormat(QImage::Format_Grayscale8);
  } else if (image.hasAlphaChannel()) {
    src = QImage(image.size(), QImage::Format_RGB32);
    src.fill(Qt::white);
    QPainter p(&src);
    p.drawImage(0, 0, image);
  } else {
    src = image.convertToFormat(QImage::Format_RGB32);
  }
  EncodeJob job{};
  job.image = &src;
  job.gray = gray;
  job.quality = std::clamp(quality, 1, 100);
  const bool ok = runEncode(job);
  std::vector<uint8_t> out;
  if (ok) out.assign(job.buffer, job.buffer + job.size);
  std::free(job.buffer);
  if (!ok) throw Error(std::string("JPEG: ") + job.err.message);
  return out;
}

}  // namespace orv
