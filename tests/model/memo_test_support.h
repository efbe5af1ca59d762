#pragma once
// A canvas that records the calls the text view makes, with the state each
// call was made in, so tests can check exact positions.

#include <optional>
#include <string>
#include <vector>

#include "model/state.h"
#include "platform/canvas.h"

namespace orv::test {

struct TextCall {
  int32_t x = 0;
  int32_t y = 0;
  std::string text;
  std::optional<Rect> clip;
  uint32_t flags = 0;
  FontSpec font;
  Color textColor = 0;
  int32_t charExtra = 0;
  int32_t justifyExtra = 0;
  int32_t justifyBreaks = 0;
};

struct LineCall {
  Point from;
  Point to;
  PenSpec pen;
};

class RecordingCanvas : public Canvas {
 public:
  std::vector<TextCall> texts;
  std::vector<LineCall> lines;
  std::vector<Rect> fills;

  Rect deviceBounds() const override { return {0, 0, 4000, 4000}; }
  void lineTo(int32_t x, int32_t y) override {
    lines.push_back({state_.current, {x, y}, state_.pen});
    moveTo(x, y);
  }
  void polyline(std::span<const Point>) override {}
  void polygon(std::span<const Point>) override {}
  void rectangle(const Rect&) override {}
  void roundRect(const Rect&, int32_t, int32_t) override {}
  void ellipse(const Rect&) override {}
  void arc(const Rect&, Point, Point) override {}
  void pie(const Rect&, Point, Point) override {}
  void fillRect(const Rect& r) override { fills.push_back(r); }
  void textOut(int32_t x, int32_t y, std::string_view text, const Rect* clip,
               uint32_t flags) override {
    TextCall t;
    t.x = x;
    t.y = y;
    t.text = std::string(text);
    if (clip) t.clip = *clip;
    t.flags = flags;
    t.font = state_.font;
    t.textColor = state_.textColor;
    t.charExtra = state_.charExtra;
    t.justifyExtra = state_.justifyExtra;
    t.justifyBreaks = state_.justifyBreaks;
    texts.push_back(std::move(t));
  }
  void stretchImage(const Rect&, const QImage&) override {}
};

// Keeps the model's process-wide state as a test found it.
class ModelStateGuard {
 public:
  ModelStateGuard() : saved_(modelState()) {}
  ~ModelStateGuard() { modelState() = saved_; }

 private:
  ModelState saved_;
};

// A measuring canvas with the given font, for computing expected widths.
inline int32_t widthOf(std::string_view text, const FontSpec& font, int32_t charExtra = 0) {
  RecordingCanvas c;
  c.setFont(font);
  c.setTextCharacterExtra(charExtra);
  return c.textWidth(text);
}

inline FontSpec fontOf(const char* face, int32_t height, uint8_t charset = 1) {
  FontSpec f;
  f.face = face;
  f.height = height;
  f.charset = charset;
  return f;
}

}  // namespace orv::test
