#pragma once
#include <QFont>
#include <QRawFont>
#include <QString>
#include <array>
#include <cstdint>
#include <mutex>
#include <string_view>

#include "platform/canvas.h"

namespace orv {

// The face we draw with for a face name the reports use. Windows faces map to
// their metric-compatible substitutes (Arial → Liberation Sans, Courier New →
// Liberation Mono, Times New Roman → Liberation Serif), MS Sans Serif to
// Liberation Sans, Arial Black to DejaVu Sans Bold (its widths are the closest
// of the faces we ship), Wingdings to DejaVu Sans, which has the marks the
// symbol code page maps to. Other faces are used when installed, else
// Liberation Sans.
QString mappedFaceName(std::string_view face);

// One font at one pixel size, measured as GDI measures a TrueType font without
// hinting: design units scaled to the em size and rounded, glyph by glyph, so
// that the numbers do not depend on the screen or on the paint device.
class ScaledFont {
 public:
  ScaledFont() = default;

  const TextMetrics& metrics() const { return metrics_; }
  int32_t emPixels() const { return em_; }
  int codePage() const { return codePage_; }
  // Advance of one byte of text in whole pixels.
  int32_t advance(uint8_t byte) const { return advances_[byte]; }
  // The byte GDI stretches for justification: the font's space.
  uint8_t breakChar() const { return 0x20; }
  char16_t unicode(uint8_t byte) const { return unicode_[byte]; }
  // True when the mapped face has no glyph for the byte and the fallback face
  // (DejaVu Sans) draws it.
  bool usesFallback(uint8_t byte) const { return fallback_[byte]; }

  // Decorations, in pixels from the baseline (positive = below it).
  int32_t underlineOffset() const { return underlineOffset_; }
  int32_t underlineThickness() const { return underlineThickness_; }
  int32_t strikeOutOffset() const { return strikeOutOffset_; }
  int32_t strikeOutThickness() const { return strikeOutThickness_; }

  // Fonts for painting with exactly these metrics (pixel size = em size,
  // no hinting, no kerning, no font merging).
  QFont qfont(bool fallbackFace = false) const;
  QRawFont rawFont(bool fallbackFace = false) const;
  // Glyph of a byte in the face that draws it (see usesFallback), and that
  // face loaded at this em size for drawing glyph runs. Built once per font.
  quint32 glyph(uint8_t byte) const { return glyphs_[byte]; }
  const QRawFont& paintRawFont(bool fallbackFace) const;
  const QString& family() const { return family_; }
  bool bold() const { return bold_; }
  bool italic() const { return italic_; }
  // The face has no bold or italic of its own: drawing smears the glyphs by
  // a pixel, or slants them, as GDI does.
  bool syntheticBold() const { return syntheticBold_; }
  bool syntheticItalic() const { return syntheticItalic_; }

 private:
  friend class FontCache;
  TextMetrics metrics_;
  int32_t em_ = 0;
  int codePage_ = 1252;
  QString family_;
  QString fallbackFamily_;
  bool bold_ = false;
  bool italic_ = false;
  bool syntheticBold_ = false;
  bool syntheticItalic_ = false;
  int32_t underlineOffset_ = 1;
  int32_t underlineThickness_ = 1;
  int32_t strikeOutOffset_ = -3;
  int32_t strikeOutThickness_ = 1;
  std::array<int32_t, 256> advances_{};
  std::array<char16_t, 256> unicode_{};
  std::array<bool, 256> fallback_{};
  std::array<quint32, 256> glyphs_{};
  mutable std::once_flag rawOnce_;
  mutable QRawFont raw_;
  mutable QRawFont rawFallback_;
};

// The measured font for a logical font, from a process-wide cache. The
// reference stays valid while at least the next 2048 other fonts are created,
// which is far more than any drawing call uses at once. Needs a QGuiApplication;
// without one the metrics are a plain approximation of the em size.
const ScaledFont& scaledFont(const FontSpec& spec);

}  // namespace orv
