#pragma once
#include <QRegion>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/stream.h"
#include "model/variant.h"
#include "platform/color.h"
#include "platform/geometry.h"

namespace orv {

class RecordWriter;

class Canvas;
class TfrPage;
class TfrPages;
class TfrBand;     // the report run's live band; defined by the engine
class TfrDataset;  // a data set of the report run; defined by the engine

// Object-type codes, one byte in every stream.
enum : uint8_t {
  gtMemo = 0,
  gtPicture = 1,
  gtBand = 2,
  gtSubReport = 3,
  gtLine = 4,
  gtAddIn = 10,
};

// Frame edges in FrameTyp.
enum : uint16_t {
  frftNone = 0,
  frftRight = 1,
  frftBottom = 2,
  frftLeft = 4,
  frftTop = 8,
};

// Frame styles in FrameStyle; psDouble is ours, the rest are the pen styles.
enum : uint16_t {
  psSolid = 0,
  psDash = 1,
  psDot = 2,
  psDashDot = 3,
  psDashDotDot = 4,
  psDouble = 5,
};

// Band alignment in BandAlign.
enum : uint8_t {
  baNone = 0,
  baLeft = 1,
  baRight = 2,
  baCenter = 3,
  baWidth = 4,
  baBottom = 5,
  baTop = 6,
  baRest = 7,
};

// Bit 0 of Flags means "stretched" for every class.
inline constexpr uint16_t flStretched = 0x1;
// Bit 15 enters an add-in view in the report run's notification list
// (CollectValue).
inline constexpr uint16_t flAddInNotify = 0x8000;

// The decimal separator this build formats numbers with by default (the
// Brazilian locale's comma); the default display format of a view carries it.
inline constexpr char kDefaultDecimalSeparator = ',';

// Coordinates, sizes and gaps are kept within +-2^24 report pixels (some
// 4.6 km): no report comes near it, and every sum and scaling of such values
// stays inside 32 bits, whatever a damaged record or a script asks for.
inline constexpr int32_t kMaxCoordinate = 1 << 24;
int32_t clampCoordinate(int64_t v);
// Frame widths likewise (a width that is not a number becomes 1), and no
// wider than kMaxFrameWidth.
inline constexpr double kMaxFrameWidth = 1000.0;
float clampFrameWidth(double w);
// The stored form of a frame width: whole pixels up to 10, else thousandths.
int32_t frameWidthCode(double fw);

// One scriptable property as an object declares it. Kind and Editor only mean
// something to a design-time inspector, which this program lacks; they are kept
// as declared.
struct PropertyEntry {
  std::string Name;
  uint16_t Kind = 0;
  std::vector<std::string> EnumNames;
  std::vector<int32_t> EnumValues;
  std::function<void()> Editor;  // may be empty
};

// A database field handed to LoadBlob by the report run: Null or some bytes.
struct BlobField {
  bool isNull = true;
  std::span<const uint8_t> bytes;
};

class TfrView;
class TfrStretcheable;

// What emitting a view into a prepared page needs from the report run, which
// lives above the model. The run installs an implementation in ModelState's
// RunHooks; the defaults do nothing.
class ViewRunHooks {
 public:
  virtual ~ViewRunHooks() = default;
  // Loads the bound database field (LoadBlob), then raises the report's
  // before-print event with the view's ExpandedText.
  virtual void BeforePrint(TfrView& view) {}
  // Runs the view's BeforePrintScript through the script interpreter.
  virtual void RunScript(TfrView& view) {}
  // Replaces every bracketed expression in `text` by its value's text.
  virtual void ExpandExpressions(TfrView& view, std::string& text) {}
  // Appends `text` to `out` with its expressions replaced. `text` may be one
  // of the view's own lines, which an expression could change: it is read
  // whole before any expression runs.
  virtual void AppendExpanded(TfrView& view, const std::string& text, std::string& out) {
    std::string copy = text;
    ExpandExpressions(view, copy);
    out += copy;
  }
  // Aligns baBottom, baTop and cross-band baWidth views to the band being printed.
  virtual void AlignToBand(TfrView& view) {}
  // Whether the report has a before-print handler that may rewrite texts.
  virtual bool HasBeforePrintHandler() { return false; }
  // A text object's highlight condition: true when it holds (not 0). A
  // condition that cannot be evaluated does not hold.
  virtual bool EvaluateCondition(TfrView& view, const std::string& condition) { return false; }
  // Whether measuring a suppressed text already remembers its value (the
  // first pass of a two-pass report, which writes nothing).
  virtual bool SuppressRemembersValue() { return false; }
  // One expression of an add-in view that emits itself (a check box's
  // value, a barcode's bracketed text); false when the hooks evaluate none.
  // Evaluation errors propagate.
  virtual bool Evaluate(TfrView& view, std::string_view expression, Variant& value) {
    return false;
  }
};

// The scriptable root: a property list and the four scripting slots.
class TfrObject {
 public:
  TfrObject() = default;
  TfrObject(const TfrObject&) = delete;
  TfrObject& operator=(const TfrObject&) = delete;
  virtual ~TfrObject() = default;

  std::vector<PropertyEntry> PropertyList;

  // Slots 1 to 4.
  virtual void SetProperty(std::string_view name, const Variant& value);
  virtual Variant GetProperty(std::string_view name);
  virtual Variant CallMethod(std::string_view name, const Variant& arg1, const Variant& arg2,
                             const Variant& arg3);
  virtual void DeclareProperties();

  // Property lookup by name, case-insensitive, first match; the list is built
  // on demand when it is empty.
  const PropertyEntry* FindProperty(std::string_view name);

 protected:
  PropertyEntry& AddProperty(std::string name, uint16_t kind, bool withEditor = false);
  // "psSolid;psDash" style enumerations with the values 0, 1, ...
  PropertyEntry& AddEnumProperty(std::string name, uint16_t kind, std::string_view names,
                                 bool withEditor = false);
};

// Geometry taken by ApplyScale and put back by RestoreGeometry.
struct SavedGeometryBlock {
  int32_t x = 0;
  int32_t y = 0;
  int32_t dx = 0;
  int32_t dy = 0;
  int32_t gapX = 0;
  int32_t gapY = 0;
  float frameWidth = 0;
};

// Every printable thing on a page. Fields keep the names and defaults of the
// record format; coordinates are report pixels relative to the page.
class TfrView : public TfrObject {
 public:
  TfrView();
  ~TfrView() override;

  SavedGeometryBlock SavedGeometry;
  std::string ClassStem = "View";
  Canvas* TargetCanvas = nullptr;
  Rect DrawRect;
  StringList ExpandedText;
  TfrDataset* BlobSourceSet = nullptr;
  std::string BlobSourceField;
  bool PreparedForm = false;
  std::string Name;
  uint8_t TypeCode = gtAddIn;
  uint8_t RecordVersionMajor = 0;
  uint8_t RecordVersionMinor = 0;
  int32_t ObjectNumber = 0;
  double ZoomX = 1.0;
  double ZoomY = 1.0;
  int32_t ShiftX = 0;
  int32_t ShiftY = 0;
  bool OnPrinterCanvas = false;
  int32_t Left = 0;    // x
  int32_t Top = 0;     // y
  int32_t Width = 0;   // dx
  int32_t Height = 0;  // dy
  uint16_t Flags = flStretched;
  uint16_t FrameTyp = frftNone;
  float FrameWidth = 1.0f;
  Color FrameColor = clBlack;
  uint16_t FrameStyle = psSolid;
  Color FillColor = clNone;
  int32_t Format = 2 * 256 + kDefaultDecimalSeparator;
  std::string FormatStr;
  bool Visible = true;  // a 16-bit Boolean in streams: 0 false, -1 true
  int32_t GapX = 2;
  int32_t GapY = 1;
  uint16_t Restrictions = 0;
  std::string Tag;
  StringList Memo;
  StringList BeforePrintScript;
  uint8_t BandAlign = baNone;
  TfrBand* OwnerBand = nullptr;
  TfrPage* OwnerPage = nullptr;

  // The class name written after type code 10 and looked up in the registry.
  virtual const char* ClassName() const { return "TfrView"; }
  // This view as one that measures its own height, or null. Asked of every
  // object a run writes, where a dynamic_cast costs as much as a field.
  virtual TfrStretcheable* AsStretcheable() { return nullptr; }

  // Slots 1 to 4.
  void SetProperty(std::string_view name, const Variant& value) override;
  Variant GetProperty(std::string_view name) override;
  Variant CallMethod(std::string_view name, const Variant& arg1, const Variant& arg2,
                     const Variant& arg3) override;
  void DeclareProperties() override;

  // Slots 5 to 22.
  virtual void PaintBackground();
  virtual void PaintFrame();
  // Picture-like views load their content from a database field (report run).
  virtual void LoadBlob(const BlobField& field);
  // The add-in notification: the report run calls it on the views that
  // asked for it (Flags bit 15) for every text view it wrote and did not
  // split. Nothing by default; the chart view collects its values here.
  virtual void CollectValue(const TfrView& textView) {}
  // Called on every object of every page after a template load.
  virtual void AfterTemplateLoad() {}
  // The virtual constructor: a fresh object of the same class with its defaults.
  virtual std::unique_ptr<TfrView> Create() const = 0;
  virtual void ApplyScale();
  virtual void RestoreGeometry();
  virtual void Draw(Canvas& canvas) = 0;
  // Writes the view into a prepared page during a report run: alignment, the
  // text, the before-print notification and script, the visibility test, the
  // tag's expressions, band alignment and the record. The run's own steps go
  // through ModelState's RunHooks.
  virtual void EmitToPage(MemoryStream& stream);
  virtual void ExportToFilter() {}
  virtual void LoadRecord(MemoryStream& stream);
  // Writes the record's fields through one writer (WriteFields), so that a
  // class adding fields of its own costs the stream one write, not two.
  virtual void SaveRecord(MemoryStream& stream);
  virtual void Reserved18() {}
  virtual void Reserved19() {}
  virtual void Reserved20() {}
  virtual QRegion SelectionRegion(bool inflate);
  virtual void Reserved22() {}

  // First step of every Draw: remembers the canvas, makes this the current
  // view and moves the object to its band alignment on the current page.
  void ApplyBandAlign(Canvas& canvas);

  // Type code, class name for add-ins, then the prepared-form record: one
  // object as a prepared page's object stream holds it.
  void WriteObject(MemoryStream& stream);

 protected:
  // The fields of the record, those of the classes above first.
  virtual void WriteFields(RecordWriter& w);
  // Styled frame line of PaintFrame, drawn on TargetCanvas.
  void DrawStyledLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  // Whether the property rows marked for frame, fill, tag and alignment are
  // declared (band and sub-report views leave them out).
  virtual bool DeclaresFrameProperties() const { return true; }
};

// Views that can measure their own height.
class TfrStretcheable : public TfrView {
 public:
  // 0 normal, 1 being measured (CalcHeight), 2 printing the part that fits.
  uint8_t StretchPass = 0;

  TfrStretcheable* AsStretcheable() override { return this; }

  Variant CallMethod(std::string_view name, const Variant& arg1, const Variant& arg2,
                     const Variant& arg3) override;

  // Slots 23 to 25.
  virtual int32_t CalcHeight() = 0;
  virtual int32_t MinLineHeight() = 0;
  // Height left below the last whole line.
  virtual int32_t UnusedHeight() = 0;
  // After a part was written in split mode: the height the rest still needs,
  // 0 when nothing is left, -1 when the object cannot tell.
  virtual int32_t RemainingHeight() { return -1; }
};

// A dialog control on a dialog page. This program shows prepared reports and
// runs no dialogs, so the wrapped control is only kept as a reference.
class TfrControl : public TfrView {
 public:
  TfrControl();

  void* ControlRef = nullptr;

  void DeclareProperties() override;
  void Draw(Canvas& canvas) override;
  // Slot 23: paints the wrapped control's image at (x, y).
  virtual void PaintControl();
};

class TfrNonVisualControl : public TfrControl {
 public:
  TfrNonVisualControl();

  void* Component = nullptr;

  void DeclareProperties() override;
  void Draw(Canvas& canvas) override;
};

}  // namespace orv
