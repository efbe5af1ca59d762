#include "addins/addins.h"

#include "addins/barcode_view.h"
#include "addins/chart_view.h"
#include "addins/checkbox_view.h"
#include "addins/rich_view.h"
#include "addins/shape_view.h"
#include "model/factory.h"
#include "model/state.h"
#include "model/view.h"

namespace orv {

namespace {

constexpr AddInConstant kConstants[] = {
    {"skRectangle", skRectangle},   {"skRoundRectangle", skRoundRectangle},
    {"skEllipse", skEllipse},       {"skTriangle", skTriangle},
    {"skDiagonal1", skDiagonal1},   {"skDiagonal2", skDiagonal2},
    {"gsHorizontal", gsHorizontal}, {"gsVertical", gsVertical},
    {"gsElliptic", gsElliptic},     {"gsRectangle", gsRectangle},
    {"gsVertCenter", gsVertCenter}, {"gsHorizCenter", gsHorizCenter},
    {"csCross", csCross},           {"csCheck", csCheck},
};

}  // namespace

void registerAddIns() {
  // Registering a class that is present already does nothing, so this is
  // safe to repeat. The hints are string-table numbers of the designer.
  RegisterAddIn<TfrShapeView>({}, "55226");
  RegisterAddIn<TfrChartView>({}, "55225");
  RegisterAddIn<TfrRoundRectView>({}, "55344");
  RegisterAddIn<TfrBarCodeView>({}, "55338");
  RegisterAddIn<TfrRichView>({}, "55223");
  RegisterAddIn<TfrRxRichView>({}, "55343");
  RegisterAddIn<TfrCheckBoxView>({}, "55224");
  for (const AddInConstant& c : kConstants) defineClassConstant(c.name, c.value);
}

std::span<const AddInConstant> addInConstants() {
  return kConstants;
}

AddInExpressionEvaluator*& addInExpressionEvaluator() {
  static AddInExpressionEvaluator* evaluator = nullptr;
  return evaluator;
}

bool evaluateAddInExpression(TfrView& view, std::string_view expression, Variant& value) {
  if (AddInExpressionEvaluator* eval = addInExpressionEvaluator()) {
    value = eval->Evaluate(view, expression);
    return true;
  }
  ViewRunHooks* hooks = modelState().RunHooks;
  return hooks && hooks->Evaluate(view, expression, value);
}

void emitAddInView(TfrView& view, MemoryStream& stream,
                   const std::function<void(TfrView&)>& finishText, bool alignToBand) {
  if (view.TargetCanvas) view.ApplyBandAlign(*view.TargetCanvas);
  view.ExpandedText = view.Memo;
  ViewRunHooks* hooks = modelState().RunHooks;
  if (hooks) {
    hooks->BeforePrint(view);
    hooks->RunScript(view);
  }
  if (!view.Visible) return;
  // The tag is expanded for the record only; the template keeps its expressions.
  const std::string keptTag = view.Tag;
  try {
    if (hooks) {
      if (view.Tag.find('[') != std::string::npos) hooks->ExpandExpressions(view, view.Tag);
      if (alignToBand) hooks->AlignToBand(view);
    }
    if (finishText) finishText(view);
    view.WriteObject(stream);
  } catch (...) {
    view.Tag = keptTag;
    throw;
  }
  view.Tag = keptTag;
}

}  // namespace orv
