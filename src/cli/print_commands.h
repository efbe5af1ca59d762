#pragma once

// The commands that talk to printers live in a helper program of their own,
// frptool-print beside frptool, so that Qt's printing classes and the spooler
// library are loaded only by them: every other command starts without them.
// Both programs describe the commands with these texts.
namespace orv::cli {

inline constexpr const char* kPrintUsage =
    "print FILE [--printer NAME] [--pages LIST] [--copies N] [--collate] [--odd|--even] "
    "[--title TEXT] [--sides one-sided|two-sided-long-edge|two-sided-short-edge] [--color|--gray] "
    "[--option NAME=VALUE]... [--no-saved-options]";
inline constexpr const char* kPrintSummary =
    "print a prepared report on an installed printer (progress on standard error)";
inline constexpr const char* kPrintersUsage = "printers [--json]";
inline constexpr const char* kPrintersSummary =
    "list the printers with their papers and bins as the printer model sees them";

// The helper's file name, looked for in frptool's own folder.
inline constexpr const char* kPrintHelper = "frptool-print";

}  // namespace orv::cli
