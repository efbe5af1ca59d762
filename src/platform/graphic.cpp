#include "platform/graphic.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "platform/bmp.h"
#include "platform/canvas.h"
#include "platform/emf_player.h"
#include "platform/error.h"
#include "platform/ico.h"
#include "platform/jpeg.h"

namespace orv {

namespace {

// Files larger than this are not pictures anyone puts in a report.
constexpr uintmax_t kMaxFileSize = 256u << 20;

Size metafileExtent(std::span<const uint8_t> bytes) {
  if (metafileKind(bytes) == MetafileKind::Unknown)
    throw Error("metafile: neither an enhanced nor a Windows metafile");
  return metafileSize(bytes);
}

Size headerSize(Graphic::Kind kind, std::span<const uint8_t> bytes) {
  switch (kind) {
    case Graphic::Kind::Bitmap:
      return bmpSize(bytes);
    case Graphic::Kind::Icon:
      return icoSize(bytes);
    case Graphic::Kind::Jpeg: {
      Size s = jpegSize(bytes);
      if (uint64_t(s.cx) * uint64_t(s.cy) > kMaxImagePixels)
        throw Error("JPEG: image of " + std::to_string(s.cx) + " x " + std::to_string(s.cy) +
                    " pixels is too large");
      return s;
    }
    case Graphic::Kind::Metafile:
      return metafileExtent(bytes);
    case Graphic::Kind::None:
      break;
  }
  return {};
}

}  // namespace

QImage decodeImage(Graphic::Kind kind, std::span<const uint8_t> bytes) {
  switch (kind) {
    case Graphic::Kind::Bitmap:
      return decodeBmp(bytes);
    case Graphic::Kind::Icon:
      return decodeIco(bytes);
    case Graphic::Kind::Jpeg:
      return decodeJpeg(bytes);
    default:
      return QImage();
  }
}

Graphic Graphic::load(Kind kind, std::span<const uint8_t> bytes) {
  Graphic g;
  if (kind == Kind::None) return g;
  if (kind != Kind::Bitmap && kind != Kind::Metafile && kind != Kind::Icon && kind != Kind::Jpeg)
    throw Error("unknown image kind " + std::to_string(int(kind)));
  const Size s = headerSize(kind, bytes);
  auto d = std::make_shared<Data>();
  d->kind = kind;
  d->bytes.assign(bytes.begin(), bytes.end());
  d->width = s.cx;
  d->height = s.cy;
  g.d_ = std::move(d);
  return g;
}

Graphic Graphic::unreadable(Kind kind, std::span<const uint8_t> bytes) {
  Graphic g;
  auto d = std::make_shared<Data>();
  d->kind = kind;
  d->bytes.assign(bytes.begin(), bytes.end());
  d->readable = false;
  g.d_ = std::move(d);
  return g;
}

std::optional<Graphic::Kind> Graphic::sniff(std::span<const uint8_t> b) {
  if (b.size() >= 2 && b[0] == 'B' && b[1] == 'M') return Kind::Bitmap;
  if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return Kind::Jpeg;
  if (b.size() >= 4 && b[0] == 0 && b[1] == 0 && (b[2] == 1 || b[2] == 2) && b[3] == 0)
    return Kind::Icon;
  if (metafileKind(b) != MetafileKind::Unknown) return Kind::Metafile;
  return std::nullopt;
}

Graphic Graphic::fromImage(const QImage& image) {
  std::vector<uint8_t> bmp = encodeBmp(image);
  return load(Kind::Bitmap, bmp);
}

std::optional<Graphic> Graphic::recognise(std::span<const uint8_t> bytes) {
  if (std::optional<Kind> kind = sniff(bytes)) return load(*kind, bytes);
  // Other formats Qt reads (PNG, GIF...) become bitmaps.
  if (bytes.size() > size_t(std::numeric_limits<int>::max())) return std::nullopt;
  QImage image = QImage::fromData(bytes.data(), static_cast<int>(bytes.size()));
  if (image.isNull()) return std::nullopt;
  return fromImage(image);
}

Graphic Graphic::fromFile(const std::string& path) {
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) throw Error("cannot read the picture file \"" + path + "\": " + ec.message());
  if (size > kMaxFileSize) throw Error("the picture file \"" + path + "\" is too large");
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (!in || !in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size)))
    throw Error("cannot read the picture file \"" + path + "\"");
  if (std::optional<Graphic> g = recognise(bytes)) return *g;
  throw Error("the file \"" + path + "\" is not a picture of a known kind");
}

QImage Graphic::toImage() const {
  if (!d_ || d_->kind == Kind::None || d_->kind == Kind::Metafile) return QImage();
  if (!d_->readable) throw Error("the picture's data could not be read");
  if (!d_->image) {
    if (!d_->decodeError.empty()) throw Error(d_->decodeError);
    try {
      d_->image = decodeImage(d_->kind, d_->bytes);
    } catch (const Error& e) {
      // Remember the failure: a damaged picture on a page is drawn many times.
      d_->decodeError = e.what();
      throw;
    }
  }
  return *d_->image;
}

void Graphic::draw(Canvas& canvas, const Rect& dest) const {
  if (isEmpty() || !d_->readable || dest.isEmpty()) return;
  if (d_->kind == Kind::Metafile) {
    try {
      stretchDrawMetafile(d_->bytes, canvas, dest);
    } catch (const Error&) {
      // What was played before the damage stays; the rest is left out.
    }
    return;
  }
  QImage image;
  try {
    image = toImage();
  } catch (const Error&) {
    return;
  }
  if (!image.isNull()) canvas.stretchImage(dest, image);
}

}  // namespace orv
