#pragma once
#include <QIODevice>
#include <QImage>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "cli/cli.h"
#include "engine/tfr_report.h"
#include "engine/variables.h"
#include "prepared/compressor.h"

namespace orv::cli {

// What every command that reads a report starts with: the printer model, the
// page compressor and a report holding the loaded file. Load errors become
// FileError, printed as "frptool: FILE: reason".
struct Session {
  Session();
  // OnUse for commands that read a page or two of a possibly long report:
  // a damaged page is then reported when it is drawn.
  void load(const std::string& path, PageCheck check = PageCheck::AtLoad);
  // FileError unless the loaded report has that page (1-based).
  void checkPage(const std::string& path, int page) const;
  TfrReport report;
  TfrLZWCompressor compressor;
};

// The 0-based pages a --pages LIST names (all when it is empty); UsageError
// when the list is wrong or names no page of the report.
std::vector<int> selectedPages(const std::string& list, int count);

// Writes the pages into the PDF file OUT, replacing it only when the whole
// PDF was written; FileError naming OUT otherwise.
void writePdfFile(TfrEMFPages& pages, const std::vector<int>& indices, const std::string& out);
// Writes OUT through WRITE the same way (see replaceFile).
void writeOutputFile(const std::string& out, const std::function<void(QIODevice&)>& write);

void savePngFile(const QImage& image, const std::string& out);

// Text of the system code page as UTF-8, for output.
std::string toUtf8(const std::string& cp1252);
std::string jsonString(const std::string& utf8);
// UTF-8 from the command line as text of the system code page.
std::string fromUtf8(const std::string& s);

// VALUE of --var NAME=VALUE: 'quoted' is always text; TRUE, FALSE and NULL
// (any case), whole numbers, decimal numbers and ISO dates (2026-12-09,
// optionally with THH:MM[:SS]) take their own kinds; anything else is text.
Variant parseValue(const std::string& text);
// Removes every --var NAME=VALUE (or --var=NAME=VALUE) from the arguments.
TfrVariables takeVarOptions(Args& args);

}  // namespace orv::cli
