#pragma once
#include "engine/tfr_report.h"

namespace orv::tools {

// Replaces the report's template with the reader's start-up report: one A4
// page holding our cover picture centred on the page and the title line
// across the content width, both on no band, so that they stand on the page
// the run opens.
void buildStartupTemplate(TfrReport& report);

}  // namespace orv::tools
