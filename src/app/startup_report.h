#pragma once

namespace orv {
class TfrReport;

// Puts the cover page into the report's store: the program's picture centred
// on an A4 page and the title line across the content width. It stands for
// running the built-in template until the report engine runs it.
void prepareStartupReport(TfrReport& report);

}  // namespace orv
