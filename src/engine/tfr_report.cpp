#include "engine/tfr_report.h"

#include "engine/report_run.h"

namespace orv {

bool TfrReport::PrepareReport() {
  TfrReportRun run(*this);
  const bool ok = run.Prepare();
  LastError = run.ErrorText;
  return ok;
}

void TfrReport::LoadPreparedReport(const std::string& fileName, PageCheck check) {
  EMFPages.LoadFromFile(fileName, check);
  CanRebuild = false;
}

void TfrReport::SavePreparedReport(const std::string& fileName) {
  EMFPages.SaveToFile(fileName);
}

}  // namespace orv
