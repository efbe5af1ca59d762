#include "app/startup_report.h"

#include <QFile>

#include "engine/engine_error.h"
#include "engine/tfr_report.h"
#include "platform/error.h"
#include "preview/progress_form.h"

namespace orv {

void prepareStartupReport(TfrReport& report) {
  QFile form(":/orvalen/startup_report.frm");
  if (!form.open(QIODevice::ReadOnly))
    throw EngineError(EngineProblem(EngineReason::StartupReportMissing));
  const QByteArray bytes = form.readAll();
  MemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  report.StoreInDFM = true;
  const TemplateLoadResult loaded = report.LoadReportForm(stream);
  if (!loaded.ok()) throw EngineError(loaded.problem);
  // Preparing shows the progress window, as every run does.
  installWidgetPrintUi();
  report.PrepareReport();
}

}  // namespace orv
