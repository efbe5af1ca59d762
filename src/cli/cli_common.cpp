#include "cli/cli_common.h"

#include <cstdio>

#include "addins/addins.h"
#include "cli/cli.h"
#include "platform/codepage.h"
#include "prepared/frp_error.h"
#include "printing/tfr_printer.h"

namespace orv::cli {

Session::Session() {
  TfrPrinter::startUp(nullptr);
  registerAddIns();
  compressor.setEnabled(true);
}

void Session::load(const std::string& path) {
  try {
    report.LoadPreparedReport(path);
  } catch (const PreparedFileError& e) {
    throw FileError(e.file, e.reason);
  }
}

void Session::checkPage(const std::string& path, int page) const {
  const int count = report.EMFPages.Count();
  if (page < 1 || page > count)
    throw FileError(path, "no page " + std::to_string(page) + " (the report has " +
                              std::to_string(count) + ")");
}

std::string toUtf8(const std::string& cp1252) {
  return decodeBytes(cp1252, 1252).toStdString();
}

std::string jsonString(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += char(c);
        }
    }
  }
  return out + "\"";
}

}  // namespace orv::cli
