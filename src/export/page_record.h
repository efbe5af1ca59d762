#pragma once
#include <QImage>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "platform/geometry.h"

namespace orv {

class TfrEMFPages;

// One page as its objects draw it, taken down call by call by a canvas that
// records instead of painting. Every export format reads pages this way, so
// what leaves the program is what the screen shows. Coordinates are device
// pixels of the recording's resolution.

// What a drawn object is, as far as exporting cares. Text objects carry
// their display format so numbers and dates can be read back as such.
struct RecordedObject {
  Rect box;              // the object's rectangle on the page
  uint8_t typeCode = 0;  // gtMemo, gtPicture, gtLine, gtAddIn...
  std::string className;
  int32_t format = 0;      // display format code of a text object
  std::string formatText;  // its format text (UTF-8)
  int32_t alignment = 0;   // text objects: frtaLeft...
  Color fill = clNone;
  FontSpec font;  // text objects: the object's own font
  int32_t fontPoints = 0;
  Color fontColor = clBlack;
  std::vector<int> texts;  // indices into PageRecord::texts, in drawing order
};

struct RecordedText {
  int object = -1;       // index into PageRecord::objects; -1 when drawn outside one
  int32_t x = 0, y = 0;  // top-left of the text cell (before rotation)
  Rect bounds;           // the unrotated cell
  QString text;
  FontSpec font;
  int32_t emPixels = 0;
  int32_t ascent = 0;
  Color color = clBlack;
  std::vector<int32_t> advances;  // one per character of `text`
  std::optional<Rect> clip;       // what the text is cut to, if anything
  std::optional<Color> opaque;    // background filled behind the cell
};

// Fill is fillRect's: the whole rectangle in the brush, no outline.
enum class ShapeKind : uint8_t {
  Line,
  Polyline,
  Polygon,
  Rectangle,
  RoundRect,
  Ellipse,
  Arc,
  Pie,
  Fill
};

struct RecordedShape {
  int object = -1;
  ShapeKind kind = ShapeKind::Line;
  std::vector<Point> points;   // Line/Polyline/Polygon; Arc/Pie: start and end radials
  Rect box;                    // rectangle and ellipse shapes
  Size corner;                 // round rectangles
  std::optional<PenSpec> pen;  // none: no outline
  std::optional<Color> fill;   // none: no fill
  std::optional<Rect> clip;
};

struct RecordedImage {
  int object = -1;
  Rect dest;
  QImage image;
  std::optional<Rect> clip;
};

// Shapes, images and texts keep their drawing order through `order`.
struct PageRecord {
  int index = 0;  // 0-based page
  Rect page;      // the paper at this resolution
  double scale = 1;
  std::vector<RecordedObject> objects;
  std::vector<RecordedText> texts;
  std::vector<RecordedShape> shapes;
  std::vector<RecordedImage> images;
  enum class Item : uint8_t { Text, Shape, Image };
  std::vector<std::pair<Item, int>> order;
};

// Draws page `index` at `dpi` (96 = one CSS pixel per device pixel) and
// returns what was drawn; the page's objects are released again. A page that
// fails to draw raises its error as the screen would.
PageRecord recordPage(TfrEMFPages& pages, int index, double dpi = 96.0);

// The canvas behind recordPage.
class RecordingCanvas : public Canvas {
 public:
  RecordingCanvas(PageRecord& out, const Rect& bounds) : out_(out), bounds_(bounds) {}
  Rect deviceBounds() const override { return bounds_; }
  // The object whose drawing the following calls belong to.
  int currentObject = -1;

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

 private:
  PageRecord& out_;
  Rect bounds_;
  std::optional<Rect> clipBox() const;
  RecordedShape& shape(ShapeKind kind, bool outline, bool filled);
};

}  // namespace orv
