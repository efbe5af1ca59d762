#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "addins/barcode.h"
#include "model/view.h"

namespace orv {

// A barcode on the page. The text is the memo's first line; the bars are drawn
// by the generator into a metafile as wide as the barcode's modules, which is
// then stretched into the view, so the view's length along the bars follows
// the barcode (times Zoom) after every drawing.
class TfrBarCodeView : public TfrView {
 public:
  TfrBarCodeView();

  bool CalcCheckSum = true;
  bool ShowText = true;
  uint8_t ReservedByte = 0;  // kept from the record and written back
  uint8_t BarType = bcCode39;
  int32_t ZoomVersion = 2;
  double Zoom = 1.0;
  double Rotation = 0.0;

  TfrBarcode Barcode;

  const char* ClassName() const override { return "TfrBarCodeView"; }
  std::unique_ptr<TfrView> Create() const override { return std::make_unique<TfrBarCodeView>(); }
  void DeclareProperties() override;
  void Draw(Canvas& canvas) override;
  // Evaluates a bracketed first line through the report run's evaluator ("0"
  // when it fails) before writing the object.
  void EmitToPage(MemoryStream& stream) override;
  void LoadRecord(MemoryStream& stream) override;
  void SaveRecord(MemoryStream& stream) override;

  // The metafile the last Draw stretched into the view (empty when nothing
  // was drawn), and its size.
  const std::vector<uint8_t>& LastMetafile() const { return lastMetafile_; }

 private:
  std::vector<uint8_t> lastMetafile_;
};

}  // namespace orv
