#pragma once
#include <string>

#include "engine/tfr_report.h"

namespace orv::tools {

// Small templates that exercise one piece of the band engine each, for the
// command-line tests and as seeds of the preparation fuzzer.
enum class BandTemplate {
  Title,        // a report title alone
  FiveRecords,  // a data band over the counted data set "5"
  PageBands,    // page header and footer with [PAGE#] around 60 records
  Groups,       // a group header on [LINE#] > 4 with its footer
  SplitText,    // one stretched, breakable record taller than two pages
  CrossTab,     // rows "3" down, cross columns "4" across, with totals
  // Hostile templates, which the run's limits must stop:
  EndlessPages,    // 50 million records, each on a page of its own
  DensePages,      // 50 million records in rows of six numbers, pages full of them
  EndlessRecords,  // 50 million records of an empty band of no height
  EndlessScript,   // a script that loops for ever
  StuckSplit,      // a breakable band holding a line taller than any page
  ChartPoints,     // a chart collecting the values of 50 million records
};
void buildBandTemplate(TfrReport& report, BandTemplate kind);
// The name frpgen takes for a kind ("title", "five", "pages", "groups",
// "split", "cross", and the hostile "endless-pages", "dense-pages", "endless-records",
// "endless-script", "stuck-split", "chart-points"); false when the name is
// none of them.
bool bandTemplateByName(const std::string& name, BandTemplate& kind);

// A listing of the data set "Orders" (fields ID, CUSTOMER, CITY, AMOUNT,
// CITY_COUNT, ordered by city): page header and footer with [PAGE#], a group
// header on the city with its footer, and one data band whose text reaches
// the fields both plainly and as [Orders."AMOUNT"].
void buildOrdersListing(TfrReport& report);

// A listing of the data set "Sales" (CODE text with leading zeros, CUSTOMER,
// DAY a date, QTY whole, AMOUNT money) with display formats on the values,
// its column titles in a page header repeated on every page, a page footer
// and a summary with the totals of QTY and AMOUNT.
void buildSalesListing(TfrReport& report);

}  // namespace orv::tools
