#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "model/stream.h"
#include "model/variant.h"

namespace orv {

class TfrView;

// Registers every add-in object class with the factory's registry. Safe to
// call more than once; the program, the tools and the tests call it at start
// (a static initialiser in a static library would be dropped by the linker).
void registerAddIns();

// A global constant of the expression language that an add-in class defines
// ("skTriangle", "gsElliptic", "csCheck"...). registerAddIns() defines them
// as class constants, which the report engine resolves like its own.
struct AddInConstant {
  const char* name;
  int32_t value;
};
std::span<const AddInConstant> addInConstants();

// Evaluates one expression of the report run for an add-in view that emits
// itself (the barcode's bracketed first line, the check box's value). The
// report engine installs one for the length of a run; outside a run there is
// none.
class AddInExpressionEvaluator {
 public:
  virtual ~AddInExpressionEvaluator() = default;
  // Raises orv::Error when the expression cannot be evaluated.
  virtual Variant Evaluate(TfrView& view, std::string_view expression) = 0;
};
AddInExpressionEvaluator*& addInExpressionEvaluator();
// The installed evaluator's answer, else the report run's; false when there
// is neither.
bool evaluateAddInExpression(TfrView& view, std::string_view expression, Variant& value);

// The common first steps of emitting an add-in view into a prepared page
// (alignment, the text, the before-print notification and script, the
// visibility test, the tag's expressions), then `finishText` on the expanded
// text, then the object itself; the tag is put back afterwards. Band-relative
// alignment is applied only when `alignToBand` is set.
void emitAddInView(TfrView& view, MemoryStream& stream,
                   const std::function<void(TfrView&)>& finishText, bool alignToBand);

}  // namespace orv
