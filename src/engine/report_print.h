#pragma once
#include <QString>
#include <functional>
#include <string>

namespace orv {

class TfrReport;

// The windows printing shows, as the engine sees them. The widget layer
// installs the real ones (the progress window and message boxes); without
// them, as in the command-line tool, jobs run directly and errors propagate.
class PrintUi {
 public:
  virtual ~PrintUi() = default;
  // The progress window: caption, the prefix of its page label (also shown
  // at once), then shown modally with the job running inside it. Cancel sets
  // the report's Terminated flag.
  virtual void runWithProgress(TfrReport& report, const QString& caption, const QString& prefix,
                               const std::function<void()>& job) = 0;
  virtual void setProgressLabel(const QString& text) = 0;
  // Lets the window system process pending events (a click on Cancel).
  virtual void processMessages() = 0;
  virtual void showError(const QString& caption, const QString& text) = 0;
  // A note after a job that went through but will not come out at once.
  virtual void showNotice(const QString& caption, const QString& text) = 0;
};

void installPrintUi(PrintUi* ui);
PrintUi* printUi();

// Prints the report's prepared pages: page list (empty: all), copies (0 or
// less: 1), page filter (0 all, 1 odd, 2 even) and collation. Returns when the
// job has finished or was cancelled; errors (a page list that is not valid, a
// printer that cannot print, a page that fails to draw) propagate after the
// document has been aborted.
void StartPrint(TfrReport& report, const std::string& pageList, int copies, int pageFilter,
                bool collate);
// The job body with the request stored in the report; false when cancelled.
bool RunPrintJob(TfrReport& report);

// Moves the printer model (and the report's printer name) to printer `newIndex`;
// on failure shows "Impressora selecionada não é válida", goes back to
// `oldIndex` and returns false.
bool ChangePrinter(TfrReport& report, int oldIndex, int newIndex);

// Selects the printer a prepared file names, unless the report prints to the
// default printer; the report's printer name becomes `name` either way.
void SelectPrinterByName(TfrReport& report, const std::string& name);

}  // namespace orv
