#include "model/state.h"

#include "model/printer_info.h"
#include "platform/error.h"

namespace orv {

ModelState& modelState() {
  static ModelState state;
  return state;
}

namespace {
PrinterModel* g_printer = nullptr;
}

PrinterModel& sharedPrinter() {
  if (!g_printer) throw Error("the printer model has not been started");
  return *g_printer;
}

void installSharedPrinter(PrinterModel* model) { g_printer = model; }

}  // namespace orv
