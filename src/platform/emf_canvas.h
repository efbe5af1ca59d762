#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/canvas.h"

namespace orv {

// A canvas that records what is drawn on it as a Windows enhanced metafile.
//
// Logical units are the canvas's device pixels (mapping mode MM_TEXT); the
// header names a reference device of exactly `dpi` pixels per inch, so a
// player maps the recording back onto the same pixels. Pens, brushes and fonts
// are created, selected and deleted lazily: a drawing call first emits the
// records that bring the recorded device context to the canvas's current
// state, and nothing else. An object stays alive while it is selected or kept
// by a saved state, so every created object is deleted exactly once.
//
// Text goes out as EMR_EXTTEXTOUTW with the bytes converted from the font's
// code page to UTF-16, the advance of every character (including the
// character extra spacing and the justification) and the bounds of the text
// cell computed from our own metrics, so a search that reads the recording
// back finds each run where it was drawn.
//
// fillRect is recorded as EMR_FILLRGN of a one-rectangle region with the
// current brush: it fills exactly the rectangle, whatever pen is selected,
// which a pen-less EMR_RECTANGLE (one pixel short on the right and bottom in
// GDI) would not.
class EmfCanvas : public Canvas {
 public:
  explicit EmfCanvas(Rect bounds, int dpi = 96);

  int dpiX() const override { return dpi_; }
  int dpiY() const override { return dpi_; }
  bool isMetafile() const override { return true; }
  Rect deviceBounds() const override { return bounds_; }

  // Optional description stored in the header (application and title).
  void setDescription(std::u16string application, std::u16string title);

  void save() override;
  void restore() override;
  void setClipRect(const std::optional<Rect>& r) override;
  void intersectClipRect(const Rect& r) override;
  void excludeClipRect(const Rect& r) override;

  void lineTo(int32_t x, int32_t y) override;
  void polyline(std::span<const Point> pts) override;
  void polygon(std::span<const Point> pts) override;
  void rectangle(const Rect& r) override;
  void roundRect(const Rect& r, int32_t ellipseWidth, int32_t ellipseHeight) override;
  void ellipse(const Rect& r) override;
  void arc(const Rect& r, Point start, Point end) override;
  void pie(const Rect& r, Point start, Point end) override;
  void fillRect(const Rect& r) override;
  void textOut(int32_t x, int32_t y, std::string_view text, const Rect* clip = nullptr,
               uint32_t flags = 0) override;
  void stretchImage(const Rect& dest, const QImage& image) override;

  // Completes the recording (restores saved states, deletes the objects,
  // writes the end record and the header) and returns the metafile. The
  // canvas records nothing after this; a second call returns the same bytes.
  std::vector<uint8_t> finish();

  // Records written so far (after finish(), all of them, header and end included).
  size_t recordCount() const { return records_; }

 private:
  // What the recorded device context holds, as far as the recording knows.
  struct Emitted {
    uint32_t pen = 0;  // object index or stock object; 0 = not yet chosen
    uint32_t brush = 0;
    uint32_t font = 0;
    PenSpec penSpec;
    BrushSpec brushSpec;
    FontSpec fontSpec;
    BkMode bkMode = BkMode::Opaque;
    Color bkColor = clWhite;
    Color textColor = clBlack;
    PenMode rop = PenMode::Copy;
    Point current;
  };

  void begin(uint32_t type);
  void end();
  void put32(uint32_t v);
  void putI32(int32_t v) { put32(static_cast<uint32_t>(v)); }
  void put16(uint16_t v);
  void putRect(const Rect& r);  // as a RECTL, fields as given
  void putBounds(const Rect& inclusive);
  void simpleRecord(uint32_t type, std::initializer_list<int32_t> args);

  uint32_t allocHandle();
  void retain(uint32_t handle);
  void release(uint32_t handle);
  void selectObject(uint32_t handle);

  void syncPen();
  void syncBrush();
  void syncFont();
  void syncModes(bool text);
  void syncForShape();
  void markDrawn(const Rect& inclusive);
  Rect shapeBounds(const Rect& r) const;
  void polyRecord(uint32_t type16, uint32_t type32, std::span<const Point> pts);
  void boxRecord(uint32_t type, const Rect& r);
  void arcRecord(uint32_t type, const Rect& r, Point start, Point end);

  Rect bounds_;
  int dpi_;
  std::vector<uint8_t> out_;
  size_t recordStart_ = 0;
  size_t records_ = 0;
  bool finished_ = false;
  std::u16string description_;
  std::optional<Rect> drawn_;  // union of drawn bounds, inclusive
  Emitted emitted_;
  std::vector<Emitted> emittedSaved_;
  std::vector<uint32_t> refs_;  // per object index: how many states hold it
  uint32_t maxHandle_ = 0;
};

}  // namespace orv
