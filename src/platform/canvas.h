#pragma once
#include <QRegion>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/color.h"
#include "platform/geometry.h"

class QImage;

namespace orv {

// A logical font as a GDI LOGFONT describes it. Heights are in device pixels:
// negative means character height (em), positive means cell height.
struct FontSpec {
  std::string face = "Arial";
  int32_t height = -13;
  int32_t weight = 400;  // 400 normal, 700 bold
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
  uint8_t charset = 1;     // 1 default, 0 ANSI, 2 symbol, 204 Cyrillic...
  int32_t escapement = 0;  // tenths of a degree, counter-clockwise
  int32_t orientation = 0;
  friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

struct TextMetrics {
  int32_t height = 0;  // ascent + descent
  int32_t ascent = 0;
  int32_t descent = 0;
  int32_t internalLeading = 0;
  int32_t externalLeading = 0;
  int32_t aveCharWidth = 0;
  int32_t maxCharWidth = 0;
};

enum class PenStyle : uint8_t {
  Solid = 0,
  Dash = 1,
  Dot = 2,
  DashDot = 3,
  DashDotDot = 4,
  Clear = 5,
  InsideFrame = 6
};
enum class PenMode : uint8_t { Copy, Xor, NotXor };

struct PenSpec {
  Color color = clBlack;
  int32_t width = 1;
  PenStyle style = PenStyle::Solid;
  PenMode mode = PenMode::Copy;
  friend bool operator==(const PenSpec&, const PenSpec&) = default;
};

enum class BrushStyle : uint8_t { Solid, Clear };

struct BrushSpec {
  Color color = clWhite;
  BrushStyle style = BrushStyle::Solid;
  friend bool operator==(const BrushSpec&, const BrushSpec&) = default;
};

enum class BkMode : uint8_t { Transparent = 1, Opaque = 2 };

// ExtTextOut options.
enum TextOutFlag : uint32_t {
  etoOpaque = 0x0002,
  etoClipped = 0x0004,
  etoRtlReading = 0x0080,
};

// DrawText options (the subset the views use).
enum DrawTextFlag : uint32_t {
  dtLeft = 0x0000,
  dtCenter = 0x0001,
  dtRight = 0x0002,
  dtWordBreak = 0x0010,
  dtSingleLine = 0x0020,
  dtExpandTabs = 0x0040,
  dtCalcRect = 0x0400,
  dtNoPrefix = 0x0800,
};

// Selected objects and modes of a drawing surface, saved and restored as a whole.
struct CanvasState {
  FontSpec font;
  PenSpec pen;
  BrushSpec brush;
  BkMode bkMode = BkMode::Opaque;
  Color bkColor = clWhite;
  Color textColor = clBlack;
  int32_t charExtra = 0;     // extra pixels after every character
  int32_t justifyExtra = 0;  // pixels spread over the break characters of the next text out
  int32_t justifyBreaks = 0;
  // Like ExtTextOut's lpDx: the advance of every character of the next text
  // output of exactly that length; empty means the font's own.
  std::vector<int32_t> advances;
  Point current;                // move-to position
  std::optional<QRegion> clip;  // device coordinates; none = whole surface
};

// The one drawing interface every view draws through, with GDI semantics:
// rectangles exclude their right and bottom edges, text is placed by its
// top-left corner and escapement rotates it about that point, pens and brushes
// are selected into the canvas and used by the following calls.
//
// Text comes in as 8-bit bytes in the code page of the font's character set;
// the canvas converts it. Measuring is done here, once, for every device, so a
// screen, a printer and a metafile lay out text with the same integer widths.
class Canvas {
 public:
  virtual ~Canvas() = default;

  // Device.
  virtual int dpiX() const { return 96; }
  virtual int dpiY() const { return 96; }
  virtual bool isMetafile() const { return false; }
  // Set by the print job on the canvas of the printer it prints to.
  bool printerCanvas = false;
  // Set by the print job with printerCanvas: the share of its own size the
  // page is printed at (below 1 when it is fitted onto a smaller paper).
  // Text keeps its point size on a printer, so it must follow this share.
  double printScale = 1.0;
  // Bounds of the drawable surface in device pixels.
  virtual Rect deviceBounds() const = 0;

  // Selected objects and modes.
  const CanvasState& state() const { return state_; }
  const FontSpec& font() const { return state_.font; }
  const PenSpec& pen() const { return state_.pen; }
  const BrushSpec& brush() const { return state_.brush; }
  void setFont(const FontSpec& f) { state_.font = f; }
  void setFontHeight(int32_t h) { state_.font.height = h; }
  void setPen(const PenSpec& p) { state_.pen = p; }
  void setPenColor(Color c) { state_.pen.color = c; }
  void setPenWidth(int32_t w) { state_.pen.width = w; }
  void setPenStyle(PenStyle s) { state_.pen.style = s; }
  void setPenMode(PenMode m) { state_.pen.mode = m; }
  void setBrush(const BrushSpec& b) { state_.brush = b; }
  void setBrushColor(Color c) { state_.brush.color = c; }
  void setBrushStyle(BrushStyle s) { state_.brush.style = s; }
  void setBkMode(BkMode m) { state_.bkMode = m; }
  void setBkColor(Color c) { state_.bkColor = c; }
  void setTextColor(Color c) { state_.textColor = c; }
  void setTextCharacterExtra(int32_t extra) { state_.charExtra = extra; }
  // Like SetTextJustification: `extra` pixels spread over `breaks` break
  // characters of the next text output; (0, 0) turns it off.
  void setTextJustification(int32_t extra, int32_t breaks) {
    state_.justifyExtra = extra;
    state_.justifyBreaks = breaks;
  }

  void setTextAdvances(std::vector<int32_t> advances) { state_.advances = std::move(advances); }

  // Whole-state save and restore, like SaveDC/RestoreDC.
  virtual void save();
  virtual void restore();

  // Clipping in device coordinates.
  virtual void setClipRect(const std::optional<Rect>& r);
  virtual void intersectClipRect(const Rect& r);
  virtual void excludeClipRect(const Rect& r);
  bool rectVisible(const Rect& r) const;

  // Lines and shapes with the selected pen (outline) and brush (fill).
  void moveTo(int32_t x, int32_t y) { state_.current = {x, y}; }
  virtual void lineTo(int32_t x, int32_t y) = 0;
  virtual void polyline(std::span<const Point> pts) = 0;
  virtual void polygon(std::span<const Point> pts) = 0;
  virtual void rectangle(const Rect& r) = 0;
  virtual void roundRect(const Rect& r, int32_t ellipseWidth, int32_t ellipseHeight) = 0;
  virtual void ellipse(const Rect& r) = 0;
  // Arcs go counter-clockwise from the radial through `start` to the one through `end`.
  virtual void arc(const Rect& r, Point start, Point end) = 0;
  virtual void pie(const Rect& r, Point start, Point end) = 0;
  // Fills with the selected brush, no outline.
  virtual void fillRect(const Rect& r) = 0;

  // Text output at (x, y), the top-left of the text cell (before rotation).
  // With etoClipped the output is clipped to `clip`; with etoOpaque the clip
  // rectangle is first filled with the background colour.
  virtual void textOut(int32_t x, int32_t y, std::string_view text, const Rect* clip = nullptr,
                       uint32_t flags = 0) = 0;

  // Measuring with the selected font. Widths are integers, as the layout
  // rules depend on them; the extent includes the character extra spacing.
  Size textExtent(std::string_view text) const;
  int32_t textWidth(std::string_view text) const { return textExtent(text).cx; }
  std::vector<int32_t> charAdvances(std::string_view text) const;
  TextMetrics textMetrics() const;
  // DrawText: with dtCalcRect only measures (the rectangle's right and bottom
  // are set to the extent of the text); otherwise draws. Returns the text height.
  int32_t drawText(std::string_view text, Rect& r, uint32_t flags);

  // Stretches an image into the destination rectangle.
  virtual void stretchImage(const Rect& dest, const QImage& image) = 0;

 protected:
  CanvasState state_;
  std::vector<CanvasState> saved_;

  // Called after the clip region changed, so a device can follow.
  virtual void clipChanged() {}
};

}  // namespace orv
