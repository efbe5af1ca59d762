#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "engine/data_components.h"
#include "engine/data_dictionary.h"
#include "engine/engine_error.h"
#include "engine/report_ui.h"
#include "model/page.h"
#include "prepared/emf_pages.h"

namespace orv {

// How a template load ended. Failures have already been shown through the
// report's ReportUi; callers without one (or that report on their own, like
// frptool) read them here.
struct TemplateLoadResult {
  enum class Status : uint8_t {
    Loaded,           // the template was replaced
    Empty,            // nothing to read: the template is unchanged
    Unsupported,      // a stream version above 25: the template is unchanged
    Unreadable,       // the file could not be read: the template is unchanged
    Damaged,          // the stream failed: one blank page remains
    MissingClasses,   // loaded, but objects of unregistered classes were dropped
    PasswordRefused,  // no or a wrong password: one blank page remains
  };
  Status status = Status::Loaded;
  // The reason for a failure in frptool's words, or the missing class names,
  // one per line.
  std::string reason;
  // The facts of a failure, which the reader words in Portuguese.
  EngineProblem problem;
  uint8_t streamVersion = 0;  // the version the stream was read as
  void fail(EngineProblem p) {
    reason = englishText(p);
    problem = std::move(p);
  }
  bool ok() const {
    return status == Status::Loaded || status == Status::Empty || status == Status::MissingClasses;
  }
};

// The report component. For now it owns the prepared page store and what the
// reader needs around it; the template, the run and its events grow here with
// the report engine.
class TfrReport : public PreparedOwner {
 public:
  TfrReport();

  // Reads a ".frp" file into the store; afterwards the stored pages are
  // printed as they are, without preparing the report again.
  void LoadPreparedReport(const std::string& fileName, PageCheck check = PageCheck::AtLoad);
  void SavePreparedReport(const std::string& fileName);

  uint8_t generatorVersion() const override { return GeneratorVersion; }
  void setGeneratorVersion(uint8_t v) override { GeneratorVersion = v; }
  bool printsToDefault() const override { return PrintToDefault; }
  void setPrinterName(const std::string& name) override { PrinterName = name; }
  void pageAdded(int pageNo) override {
    if (OnBeginPage) OnBeginPage(pageNo);
  }

  // ------------------------------------------------------------ template
  //
  // The template is replaced as a whole by every load. A report run saves it
  // to a memory stream first and loads it back afterwards, so nothing a run
  // changes survives it.

  // Empties the pages and the dictionary and resets the information block.
  void ClearTemplate();
  // The template stream, version 25.
  void SaveToStream(MemoryStream& stream);
  // Reads versions 21 to 25 (a stream without a version byte as 21). An
  // in-memory stream never asks for a password.
  TemplateLoadResult LoadFromStream(MemoryStream& stream);
  // A template file (".frf"): the template stream itself. A protected template
  // asks for its password through Ui.
  TemplateLoadResult LoadFromFile(const std::string& fileName);
  // Raises Error when the file cannot be written.
  void SaveToFile(const std::string& fileName);
  // The form property "ReportForm": int32 25, then, when StoreInDFM is set,
  // the template's length and the template stream.
  void SaveReportForm(MemoryStream& stream);
  TemplateLoadResult LoadReportForm(MemoryStream& stream);

  TfrPages Pages;
  TfrDataDictionary Dictionary;
  int16_t IgnoreStoredPrinter = 0;
  int16_t DoublePassReport = 0;
  std::string TemplatePrinter;
  std::string InfoComment;
  std::string InfoName;
  std::string InfoAuthor;
  std::string InfoVersionMajor;
  std::string InfoVersionMinor;
  std::string InfoVersionRelease;
  std::string InfoVersionBuild;
  double CreatedAt = 0;  // days since 30/12/1899, the fraction the time of day
  double ChangedAt = 0;
  uint8_t PasswordRequired = 0;
  std::string PasswordText;
  uint8_t WriterVersion = 88;
  std::string DisplayName;
  // Whether the "ReportForm" property carries the template.
  bool StoreInDFM = false;
  // Answers password requests and shows load errors; none: nobody is asked
  // and nothing is shown.
  ReportUi* Ui = nullptr;

  // ------------------------------------------------------------ prepared pages

  TfrEMFPages EMFPages;
  std::string PrinterName;
  // The byte that ends every saved file; the built-in report carries 88.
  uint8_t GeneratorVersion = 88;
  bool PrintToDefault = false;
  bool CanRebuild = true;
  std::string Title;
  // Preview settings: the zoom a preview starts with (0 default, 1 page
  // width, 2 whole page, 3 two pages) and whether Escape ends a modal viewer.
  uint8_t InitialZoom = 0;
  bool ModalPreview = true;
  std::function<void(int)> OnBeginPage;

  // Printing. The last print request is kept for the duration of the job.
  bool ShowProgress = true;
  bool ShowPrintDialog = true;
  int32_t DefaultCopies = 1;
  bool DefaultCollate = true;
  // Prepare the report again when the user prints to another printer.
  bool RebuildPrinter = false;
  // Set by the progress window's Cancel; the job stops after the current page.
  bool Terminated = false;
  std::string PrintPageList;
  int32_t PrintCopies = 1;
  bool PrintCollate = true;
  int PrintFilter = 0;  // 0 all pages, 1 odd, 2 even
  std::function<void()> OnPrintReport;
  // Replaces the progress window: gets each printed or prepared page's number.
  std::function<void(int)> OnProgress;

  // ------------------------------------------------------------ running

  // Runs the template into the prepared page store; true when pages were
  // produced. A failed run shows its error through Ui and leaves the store
  // empty; its text stays in LastError.
  bool PrepareReport();
  std::string LastError;

  // The data sets templates reach by name.
  TfrDataComponents Components;
  // Form the pages even when the master data set is empty.
  bool PrintIfEmpty = true;
  // A band naming a data set that no component gives fails the run instead
  // of printing nothing, for callers that give every data set themselves
  // (the command line) and must not pass a missing one off as no records.
  bool RequireDataSets = false;

  // Report events; each is called only when set.
  std::function<void()> OnBeginDoc;
  std::function<void()> OnEndDoc;
  std::function<void(int pageIndex)> OnEndPage;
  std::function<void(TfrBand& band)> OnBeginBand;
  std::function<void(TfrBand& band)> OnEndBand;
  // First chance to resolve a name: leave `value` empty to pass.
  std::function<void(const std::string& name, Variant& value)> OnGetValue;
  std::function<void(StringList& lines, TfrView& view)> OnBeforePrint;
  // Last chance for a function call nothing else knows.
  std::function<void(const std::string& name, const std::string& p1, const std::string& p2,
                     const std::string& p3, Variant& value)>
      OnUserFunction;
  // Replaces the automatic data loop of a page.
  std::function<void(TfrPage& page)> OnManualBuild;
  // Cross-tab columns: before each column of a band's cross cells, with the
  // cross data band; then with the column number (from 1) and its width,
  // which the handler may change.
  std::function<void(TfrBand& band)> OnBeginColumn;
  std::function<void(int32_t column, int32_t& width)> OnPrintColumn;

  // A data set whose every record repeats the whole report (`rtMultiple`);
  // with `rtSimple` the report runs once and the data set is not used.
  enum TfrReportType : uint8_t { rtSimple, rtMultiple };
  TfrDataset* Dataset = nullptr;
  TfrReportType ReportType = rtSimple;
};

}  // namespace orv
