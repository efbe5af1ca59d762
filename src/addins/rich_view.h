#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "model/view.h"
#include "platform/rtf_document.h"

namespace orv {

// "TextOnly": bracketed expressions stay as they are.
inline constexpr uint16_t flRichTextOnly = 0x10;

// The text an expression gives, as the report run's value-to-text service
// makes it (8-bit, in the character set the run reports its values in).
// Raises orv::Error when the expression fails.
using ExpressionValueText = std::function<std::string(std::string_view expression)>;

// How the two rich-text classes go through a text's bracketed expressions.
enum class RichSubstitution : uint8_t {
  // Search on after each inserted value; the value takes `charset`.
  ContinueAfterValue,
  // Search again from the start after each replacement; character sets stay.
  RestartFromBeginning,
};

// Replaces each bracketed expression of `doc` (brackets included) by its
// value's text, which takes the format of the opening bracket. Brackets nest
// and quoted strings may hold brackets. An opening bracket without its
// closing one ends the search. A restarting search that keeps finding
// expressions (values that hold expressions themselves) is stopped with
// orv::Error after a bounded number of rounds.
void substituteExpressions(rtf::Document& doc, const ExpressionValueText& value,
                           RichSubstitution rule, uint8_t charset);

// Rich text held as RTF. The run substitutes the bracketed expressions into
// a scratch copy (one per class, shared by its views), measures and splits
// that copy, and writes into each prepared page only the part that fits
// there, with the values in it.
class TfrRichView : public TfrStretcheable {
 public:
  TfrRichView();

  rtf::Document RichContent;
  int32_t StartChar = 0;
  int32_t NextChar = 0;
  int32_t PrintedUpTo = 0;
  bool WritingPrepared = false;

  const char* ClassName() const override { return "TfrRichView"; }
  std::unique_ptr<TfrView> Create() const override { return std::make_unique<TfrRichView>(); }

  void DeclareProperties() override;
  void SetProperty(std::string_view name, const Variant& value) override;
  Variant GetProperty(std::string_view name) override;
  void LoadBlob(const BlobField& field) override;
  void Draw(Canvas& canvas) override;
  void EmitToPage(MemoryStream& stream) override;
  void LoadRecord(MemoryStream& stream) override;
  void SaveRecord(MemoryStream& stream) override;

  int32_t CalcHeight() override;
  int32_t MinLineHeight() override { return 8; }
  int32_t UnusedHeight() override;
  int32_t RemainingHeight() override;

  // The scratch copy that substitution, measuring and splitting work on.
  virtual rtf::Document& Scratch() const;
  void CopyToScratch() { Scratch() = RichContent; }
  // Substitutes the scratch copy's expressions unless "TextOnly" is set.
  void SubstituteScratch(const ExpressionValueText& value);
  // Lays out from StartChar: measuring on the scratch copy into the view's
  // size, or drawing RichContent into DrawRect on `canvas`. NextChar becomes
  // the first character that did not fit.
  int32_t FormatRange(bool render, Canvas* canvas = nullptr);
  // The height in report pixels the scratch copy needs from StartChar.
  virtual int32_t NeededHeight();

 protected:
  // The layout area of a view of width dx in twips at the screen's 96
  // pixels per inch, less the gaps.
  int32_t AreaWidthTwips() const;
  // The value-to-text service of the report run, through its hooks.
  ExpressionValueText RunValueText();
  virtual RichSubstitution SubstitutionRule() const { return RichSubstitution::ContinueAfterValue; }
};

// The twin on the extended rich edit control: the same record, its own
// scratch copy, a restarting substitution that keeps character sets, and a
// height taken from one layout into a very tall area (0 for empty text).
class TfrRxRichView : public TfrRichView {
 public:
  TfrRxRichView();

  const char* ClassName() const override { return "TfrRxRichView"; }
  std::unique_ptr<TfrView> Create() const override { return std::make_unique<TfrRxRichView>(); }
  void DeclareProperties() override;
  rtf::Document& Scratch() const override;
  int32_t NeededHeight() override;

 protected:
  RichSubstitution SubstitutionRule() const override {
    return RichSubstitution::RestartFromBeginning;
  }
};

}  // namespace orv
