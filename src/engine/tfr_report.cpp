#include "engine/tfr_report.h"

namespace orv {

void TfrReport::LoadPreparedReport(const std::string& fileName, PageCheck check) {
  EMFPages.LoadFromFile(fileName, check);
  CanRebuild = false;
}

void TfrReport::SavePreparedReport(const std::string& fileName) {
  EMFPages.SaveToFile(fileName);
}

}  // namespace orv
