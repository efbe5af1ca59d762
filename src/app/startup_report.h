#pragma once

namespace orv {
class TfrReport;

// Loads the start-up report the program carries (a template in its
// "ReportForm" form) into the report and runs it through the engine, so that
// the report's store holds the cover page. A run that fails has shown its
// "Erro" box and leaves the store empty; a form that cannot be read raises
// Error.
void prepareStartupReport(TfrReport& report);

}  // namespace orv
