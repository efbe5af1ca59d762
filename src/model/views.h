#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/view.h"
#include "platform/graphic.h"

namespace orv {

// Picture Flags bits (bit 0 is the common "stretched").
enum : uint16_t { pfStretched = 0x1, pfCenter = 0x2, pfKeepAspect = 0x4 };
// How a database field's bytes are read into a picture.
enum : uint8_t { btBMP = 0, btJPG = 1, btICO = 2, btWMF = 3 };
// Image kinds in a picture record.
enum : uint8_t { pkNone = 0, pkBitmap = 1, pkMetafile = 2, pkIcon = 3, pkJpeg = 4 };

// Shows a bitmap, metafile, icon or JPEG image.
class TfrPictureView : public TfrView {
 public:
  TfrPictureView();

  Graphic Picture;
  uint8_t BlobType = btBMP;
  // Why the record's image could not be loaded; its bytes are kept in
  // Picture so they are written back, and nothing is drawn for them.
  std::string DecodeError;

  const char* ClassName() const override { return "TfrPictureView"; }
  std::unique_ptr<TfrView> Create() const override { return std::make_unique<TfrPictureView>(); }
  void SetProperty(std::string_view name, const Variant& value) override;
  Variant GetProperty(std::string_view name) override;
  void DeclareProperties() override;
  void LoadBlob(const BlobField& field) override;
  void Draw(Canvas& canvas) override;
  void LoadRecord(MemoryStream& stream) override;
  void SaveRecord(MemoryStream& stream) override;

  // The rectangle the image is drawn into, from DrawRect, the flags and the
  // image size (valid between ApplyScale and RestoreGeometry).
  Rect ImageRect(int32_t imageWidth, int32_t imageHeight) const;
};

// A horizontal or vertical line drawn with the frame machinery.
class TfrLineView : public TfrStretcheable {
 public:
  TfrLineView();

  const char* ClassName() const override { return "TfrLineView"; }
  std::unique_ptr<TfrView> Create() const override { return std::make_unique<TfrLineView>(); }
  void DeclareProperties() override;
  void Draw(Canvas& canvas) override;
  int32_t CalcHeight() override { return Height; }
  int32_t MinLineHeight() override { return 1; }
  int32_t UnusedHeight() override { return 0; }
};

// Band Flags bits.
enum : uint16_t {
  bfStretched = 0x1,
  bfFormNewPage = 0x2,
  bfPrintIfSubsetEmpty = 0x4,
  bfBreaked = 0x8,
  bfOnFirstPage = 0x10,
  bfOnLastPage = 0x20,
  bfRepeatHeader = 0x40,
  bfPrintChildIfInvisible = 0x80,
};

// Band types kept in a band view's FrameTyp.
enum : uint16_t {
  btReportTitle = 0,
  btReportSummary = 1,
  btPageHeader = 2,
  btPageFooter = 3,
  btMasterHeader = 4,
  btMasterData = 5,
  btMasterFooter = 6,
  btDetailHeader = 7,
  btDetailData = 8,
  btDetailFooter = 9,
  btSubDetailHeader = 10,
  btSubDetailData = 11,
  btSubDetailFooter = 12,
  btOverlay = 13,
  btColumnHeader = 14,
  btColumnFooter = 15,
  btGroupHeader = 16,
  btGroupFooter = 17,
  btCrossHeader = 18,
  btCrossData = 19,
  btCrossFooter = 20,
  btChild = 21,
  btNone = 22,
};

// The template-side description of a band; the band engine builds live bands
// from it. Never drawn on prepared pages.
class TfrBandView : public TfrView {
 public:
  TfrBandView();

  std::string ChildBand;
  std::string Master;
  int32_t Columns = 1;
  int32_t ColumnWidth = 200;
  int32_t ColumnGap = 20;
  int32_t NewColumnAfter = 1;

  uint16_t BandType() const { return FrameTyp; }
  bool IsVertical() const { return FrameTyp >= btCrossHeader && FrameTyp <= btCrossFooter; }

  const char* ClassName() const override { return "TfrBandView"; }
  std::unique_ptr<TfrView> Create() const override { return std::make_unique<TfrBandView>(); }
  void SetProperty(std::string_view name, const Variant& value) override;
  Variant GetProperty(std::string_view name) override;
  void DeclareProperties() override;
  void Draw(Canvas& canvas) override;
  void LoadRecord(MemoryStream& stream) override;
  void SaveRecord(MemoryStream& stream) override;
  QRegion SelectionRegion(bool inflate) override;

 protected:
  bool DeclaresFrameProperties() const override { return false; }
};

// Marks where another template page prints as a sub-report.
class TfrSubReportView : public TfrView {
 public:
  TfrSubReportView();

  int32_t SubReportPage = 0;

  const char* ClassName() const override { return "TfrSubReportView"; }
  std::unique_ptr<TfrView> Create() const override { return std::make_unique<TfrSubReportView>(); }
  void Draw(Canvas& canvas) override;
  void LoadRecord(MemoryStream& stream) override;
  void SaveRecord(MemoryStream& stream) override;

 protected:
  bool DeclaresFrameProperties() const override { return false; }
};

}  // namespace orv
