#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/view.h"
#include "platform/canvas.h"
#include "platform/color.h"

namespace orv {

// The font of a text object as records and scripts hold it: a size in points
// and the style bits of the stream encoding (italic is 1, bold is 2).
struct ViewFont {
  static constexpr uint16_t Italic = 1;
  static constexpr uint16_t Bold = 2;
  static constexpr uint16_t Underline = 4;
  static constexpr uint16_t StrikeOut = 8;
  // The default character set of a new font.
  static constexpr uint8_t DefaultCharset = 1;

  std::string Name = "Arial";
  int32_t Size = 10;
  uint16_t Style = 0;
  Color FontColor = clBlack;
  uint8_t Charset = DefaultCharset;

  // The font's own pixel height at the screen's 96 pixels per inch: negative,
  // meaning a character height.
  int32_t Height() const;
  // A logical font of this face and style with the given pixel height.
  FontSpec Spec(int32_t height) const;
  friend bool operator==(const ViewFont&, const ViewFont&) = default;
};

// Flags bits of a text object (bit 0, "stretched", is common to every view).
enum : uint16_t {
  flWordWrap = 0x2,
  flWordBreak = 0x4,
  flAutoWidth = 0x8,
  flTextOnly = 0x10,
  flSuppress = 0x20,
  flHideZeros = 0x40,
  flUnderlines = 0x80,
  flRTLReading = 0x100,
};

// Alignment bits: 0-1 horizontal, 2 rotated, 3-4 vertical placement.
enum : int32_t {
  frtaLeft = 0,
  frtaRight = 1,
  frtaCenter = 2,
  frtaJustify = 3,
  frtaVertical = 4,
  frtaMiddle = 8,
  frtaDown = 16,
};

// Ends the last line of every paragraph in laid-out text; never drawn.
inline constexpr char kParagraphEnd = '\x01';

class TfrMemoView;

// One output line handed to an export filter instead of the canvas.
struct MemoExportLine {
  TfrMemoView* view = nullptr;
  Rect drawRect;
  int32_t x = 0;
  int32_t y = 0;
  std::string text;
  uint16_t frameEdges = 0;
};
// Receives lines drawn in export mode; set by the report run while exporting.
using MemoExportSink = std::function<void(const MemoExportLine&)>;
MemoExportSink& memoExportSink();

// The lines the last WrapMemo produced (process-wide, like the layout it
// comes from).
StringList& WrappedLines();

// The process-wide measuring canvas. It measures exactly as every other
// canvas does and discards whatever is drawn on it.
Canvas& scratchCanvas();

// The text object: wraps its text at design resolution (so a memo breaks its
// lines identically at every zoom and on paper), then draws the lines at the
// current zoom with alignment, justification, rotation and underlines.
class TfrMemoView : public TfrStretcheable {
 public:
  TfrMemoView();

  ViewFont Font;
  std::string LastValue;
  bool PreWrapped = false;
  int32_t TextBlockHeight = 0;
  bool ClipToRect = false;
  int32_t LineStep = 0;
  int32_t LinesShown = 0;
  bool ExportMode = false;
  int32_t Alignment = frtaLeft;
  uint16_t HighlightStyle = ViewFont::Bold;
  Color HighlightFontColor = clBlack;
  Color HighlightFillColor = clWhite;
  std::string HighlightCondition;
  int32_t LineSpacing = 2;
  int32_t CharSpacing = 0;

  const char* ClassName() const override { return "TfrMemoView"; }
  std::unique_ptr<TfrView> Create() const override;

  void SetProperty(std::string_view name, const Variant& value) override;
  Variant GetProperty(std::string_view name) override;
  Variant CallMethod(std::string_view name, const Variant& arg1, const Variant& arg2,
                     const Variant& arg3) override;
  void DeclareProperties() override;

  void Draw(Canvas& canvas) override;
  // Hands the object to the export filter, then its lines one by one: the
  // object is drawn in export mode onto the scratch canvas.
  void ExportToFilter() override;
  void LoadRecord(MemoryStream& stream) override;
  // Writes the text into a prepared page: the whole text, or in split mode
  // (StretchPass 2) the lines that fit, keeping the rest in ExpandedText.
  void EmitToPage(MemoryStream& stream) override;

  int32_t CalcHeight() override;
  int32_t MinLineHeight() override;
  int32_t UnusedHeight() override;
  int32_t RemainingHeight() override;

  // The steps of laying out and drawing, each replaceable by a derived text
  // view. WrapMemo and ShowMemo work on the geometry ApplyScale left.
  //
  // ExpandText fills ExpandedText from Memo, expanding bracketed expressions
  // through the report run's hooks; outside a run the lines are copied.
  virtual void ExpandText();
  // Lays ExpandedText out into WrappedLines at design resolution.
  virtual void WrapMemo();
  // Breaks one paragraph into lines no wider than the current layout width.
  virtual void WrapLine(std::string_view s);
  // Paints ExpandedText's lines onto TargetCanvas.
  virtual void ShowMemo();
  virtual void AssignFont(Canvas& canvas);
  // The width, in report pixels, the lines need including frame and gaps.
  virtual int32_t CalcWidth(const StringList& lines);
  virtual void DrawUnderlines();

  // Positions (1-based, increasing) after which a hyphen may go in a word:
  // a syllable rule for Cyrillic text in code page 1251.
  static std::vector<int32_t> BreakWord(std::string_view word);

 protected:
  void WriteFields(RecordWriter& w) override;
  // Draws the lines of horizontal and of rotated text (ShowMemo step 5).
  virtual void ShowHorizontalLines();
  virtual void ShowRotatedLines();

 private:
  // The layout in progress: measuring canvas, width limit and position.
  struct Layout {
    Canvas* canvas = nullptr;
    int64_t maxWidth = 0;
    int64_t position = 0;
  };
  Layout layout_;
  // Applies the highlight when its condition holds; gives what it changed back.
  struct Appearance {
    ViewFont font;
    Color fill;
  };
  Appearance ApplyHighlight();
  // Writes the record, unless the text is suppressed and repeats the last one.
  void writeUnlessSuppressed(MemoryStream& stream);
  // Appends a finished line to WrappedLines and moves the position on.
  void OutputLine(std::string line);
};

}  // namespace orv
