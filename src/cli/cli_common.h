#pragma once
#include <QString>
#include <memory>
#include <string>

#include "engine/tfr_report.h"
#include "prepared/compressor.h"

namespace orv::cli {

// What every command that reads a report starts with: the printer model, the
// page compressor and a report holding the loaded file. Load errors become
// FileError, printed as "frptool: FILE: reason".
struct Session {
  Session();
  void load(const std::string& path);
  // FileError unless the loaded report has that page (1-based).
  void checkPage(const std::string& path, int page) const;
  TfrReport report;
  TfrLZWCompressor compressor;
};

// Text of the system code page as UTF-8, for output.
std::string toUtf8(const std::string& cp1252);
std::string jsonString(const std::string& utf8);

}  // namespace orv::cli
