#pragma once
#include <QString>
#include <memory>

#include "engine/tfr_report.h"
#include "prepared/compressor.h"

namespace orv {

class TfPreview;

// True when the upper-cased extension of the argument (from the last "." of
// its file name, dot included) contains "FRP".
bool isPreparedReportArgument(const QString& arg);

// The invisible report holder: the report, the compressor component and the
// viewer window it owns.
class TfReports {
 public:
  // Writes the desktop association (problems go to standard error once), then
  // creates the viewer and attaches its preview to the report.
  explicit TfReports(const QString& executable, bool integrateDesktop = true);
  ~TfReports();

  // Puts the cover page into the report and shows it in the preview.
  void ShowReport();
  // The start-up sequence after the forms exist: cover, optional file, modal viewer.
  int Run(const QStringList& args);
  // Loads the file named first on the command line, when it is a report.
  void LoadArgument(const QStringList& args);

  TfrLZWCompressor frLZWCompressor;
  TfrReport frReport;
  std::unique_ptr<TfPreview> fPreview;
  // Password requests and load errors of the report's templates.
  std::unique_ptr<ReportUi> reportUi;
};

}  // namespace orv
