#pragma once
#include <QImage>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/geometry.h"

namespace orv {

class Canvas;

// The image a picture holds: nothing, a bitmap, a metafile, an icon or a JPEG
// image. It keeps the bytes it was loaded from, so a report saves them back
// unchanged, and decodes pixels only when first drawn. Copies share the data;
// a Graphic never changes after it is made.
class Graphic {
 public:
  // The numbers are the image kinds of a picture record.
  enum class Kind : uint8_t { None = 0, Bitmap = 1, Metafile = 2, Icon = 3, Jpeg = 4 };

  Graphic() = default;

  // Loads the image's own serialisation (BMP file, EMF or placeable WMF, ICO
  // file, JFIF data). Checks the headers and throws orv::Error on bad data.
  // Kind::None gives the empty graphic whatever the bytes.
  static Graphic load(Kind kind, std::span<const uint8_t> bytes);
  // Keeps bytes that failed to load: they are saved back as they were and draw nothing.
  static Graphic unreadable(Kind kind, std::span<const uint8_t> bytes);
  // Loads a file, recognising its kind by its content; throws orv::Error when
  // the file cannot be read or is no image of a known kind.
  static Graphic fromFile(const std::string& path);
  // Recognises an image by its content as fromFile does; nothing when the
  // bytes are no image of a known kind. Throws orv::Error on a damaged one.
  static std::optional<Graphic> recognise(std::span<const uint8_t> bytes);
  // The kind the bytes look like, by their signature.
  static std::optional<Kind> sniff(std::span<const uint8_t> bytes);
  // A bitmap graphic holding the image (written as a BMP file).
  static Graphic fromImage(const QImage& image);

  Kind kind() const { return d_ ? d_->kind : Kind::None; }
  bool isEmpty() const { return !d_ || d_->width <= 0 || d_->height <= 0; }
  // The bytes to save: exactly those loaded.
  std::span<const uint8_t> bytes() const {
    return d_ ? std::span<const uint8_t>(d_->bytes) : std::span<const uint8_t>();
  }
  // Size in pixels (for metafiles, their frame at the device resolution they name).
  int32_t width() const { return d_ ? d_->width : 0; }
  int32_t height() const { return d_ ? d_->height : 0; }

  // Stretches the image into `dest`. Raster images go through the canvas's
  // image stretch; metafiles are played record by record. An image whose
  // pixels turn out to be damaged draws nothing.
  void draw(Canvas& canvas, const Rect& dest) const;

  // The decoded pixels of a bitmap, icon or JPEG image (cached); a null image
  // for none and metafiles. Throws orv::Error when the pixels are damaged.
  QImage toImage() const;

  friend bool operator==(const Graphic& a, const Graphic& b) {
    return a.kind() == b.kind() && std::ranges::equal(a.bytes(), b.bytes());
  }

 private:
  struct Data {
    Kind kind = Kind::None;
    std::vector<uint8_t> bytes;
    int32_t width = 0;
    int32_t height = 0;
    bool readable = true;
    // Decoded on first use; a Graphic is used by one thread at a time.
    mutable std::optional<QImage> image;
    mutable std::string decodeError;
  };
  std::shared_ptr<const Data> d_;
};

// Decodes a bitmap, icon or JPEG serialisation to pixels. Throws orv::Error.
QImage decodeImage(Graphic::Kind kind, std::span<const uint8_t> bytes);

}  // namespace orv
