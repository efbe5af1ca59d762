#pragma once
#include <cstdint>
#include <memory>

#include "model/memo_view.h"
#include "model/view.h"

namespace orv {

// Figures of a shape view, as ShapeType and the script constants number them.
enum : uint8_t {
  skRectangle = 0,
  skRoundRectangle = 1,
  skEllipse = 2,
  skTriangle = 3,
  skDiagonal1 = 4,
  skDiagonal2 = 5,
};

// Gradient styles of a rounded-rectangle view in gradient mode.
enum : int32_t {
  gsHorizontal = 0,
  gsVertical = 1,
  gsElliptic = 2,
  gsRectangle = 3,
  gsVertCenter = 4,
  gsHorizCenter = 5,
};

// One simple figure drawn with the frame pen and the fill colour.
class TfrShapeView : public TfrView {
 public:
  TfrShapeView();

  uint8_t ShapeType = skRectangle;

  const char* ClassName() const override { return "TfrShapeView"; }
  std::unique_ptr<TfrView> Create() const override { return std::make_unique<TfrShapeView>(); }
  void SetProperty(std::string_view name, const Variant& value) override;
  Variant GetProperty(std::string_view name) override;
  void DeclareProperties() override;
  void Draw(Canvas& canvas) override;
  void LoadRecord(MemoryStream& stream) override;
  void SaveRecord(MemoryStream& stream) override;
};

// A text object in a box with a drop shadow and optionally rounded corners,
// or, in gradient mode (ShadowWidth -99), in a box filled with a two-colour
// gradient whose style is kept in RoundSize.
class TfrRoundRectView : public TfrMemoView {
 public:
  static constexpr int32_t kGradientMode = -99;

  TfrRoundRectView();

  Color ShadowColor = rgb(128, 128, 128);
  int32_t ShadowWidth = 6;
  bool FramedBorder = true;
  bool RoundCorners = true;
  int32_t RoundSize = 10;

  bool IsGradient() const { return ShadowWidth == kGradientMode; }

  const char* ClassName() const override { return "TfrRoundRectView"; }
  std::unique_ptr<TfrView> Create() const override { return std::make_unique<TfrRoundRectView>(); }
  void SetProperty(std::string_view name, const Variant& value) override;
  Variant GetProperty(std::string_view name) override;
  void DeclareProperties() override;
  void ApplyScale() override;
  void RestoreGeometry() override;
  void PaintBackground() override;
  void PaintFrame() override;
  void LoadRecord(MemoryStream& stream) override;
  void SaveRecord(MemoryStream& stream) override;

 private:
  int32_t keptGapX_ = 0;
  int32_t keptGapY_ = 0;
};

// The platform's MulDiv: a * b / c rounded to nearest, halves away from
// zero; -1 when c is 0.
int32_t mulDiv(int32_t a, int32_t b, int32_t c);

// Fills the box (left, top, width, height) with a gradient of the given style
// from `endColor` (at the edges, or at the left or top) to `beginColor`.
// Styles outside 0 to 5 fill nothing.
void fillGradient(Canvas& canvas, const Rect& box, int32_t style, Color endColor, Color beginColor);

}  // namespace orv
