#pragma once
#include <cstdint>
#include <string>

#include "engine/tfr_report.h"

namespace orv::tools {

struct ReportSpec {
  int pages = 10;
  uint32_t seed = 1;
  // Every page gets a small picture in its header.
  bool picture = true;
};

// Fills the report's store with pages of a realistic business listing: a
// title, column headings in frames, rows of memos in several fonts and
// alignments, ruling lines, totals and a footer. Text is Portuguese-like, so
// code-page characters appear. Deterministic for a given seed.
void buildListing(TfrReport& report, const ReportSpec& spec);

// A page holding exactly the given text lines, one memo each, for tests.
void addTextPage(TfrReport& report, const std::vector<std::string>& lines);

struct BarcodeSpec {
  int type = 0;  // a TfrBarcodeType
  std::string text;
  bool checksum = false;
};

// An A4 page of barcode views at one pixel a module, one under the other with
// room around each for a scanner, each with its human-readable line.
void addBarcodePage(TfrReport& report, const std::vector<BarcodeSpec>& codes);

}  // namespace orv::tools
