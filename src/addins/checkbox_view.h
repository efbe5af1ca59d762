#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "model/view.h"

namespace orv {

enum : uint8_t { csCross = 0, csCheck = 1 };

// A box that shows a cross or a check mark when its value is true. The value
// is the memo's first line: an expression in a template, its integer result
// in a prepared page.
class TfrCheckBoxView : public TfrView {
 public:
  TfrCheckBoxView();

  uint8_t CheckStyle = csCross;
  Color CheckColor = clBlack;

  const char* ClassName() const override { return "TfrCheckBoxView"; }
  std::unique_ptr<TfrView> Create() const override { return std::make_unique<TfrCheckBoxView>(); }
  void SetProperty(std::string_view name, const Variant& value) override;
  Variant GetProperty(std::string_view name) override;
  void DeclareProperties() override;
  void Draw(Canvas& canvas) override;
  // Evaluates the first line through the report run's evaluator and stores
  // the value truncated to an integer before writing the object.
  void EmitToPage(MemoryStream& stream) override;
  void LoadRecord(MemoryStream& stream) override;
  void SaveRecord(MemoryStream& stream) override;

  // Whether the mark shows: always while designing, else when the first line
  // is there and does not begin with '0'.
  bool IsChecked() const;
  // What an export filter receives for the box: "X" when the first line is
  // there and does not begin with '0', else nothing.
  std::string ExportText() const;
};

}  // namespace orv
