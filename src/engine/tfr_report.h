#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "prepared/emf_pages.h"

namespace orv {

// The report component. For now it owns the prepared page store and what the
// reader needs around it; the template, the run and its events grow here with
// the report engine.
class TfrReport : public PreparedOwner {
 public:
  TfrReport() : EMFPages(this) {}

  // Reads a ".frp" file into the store; afterwards the stored pages are
  // printed as they are, without preparing the report again.
  void LoadPreparedReport(const std::string& fileName);
  void SavePreparedReport(const std::string& fileName);

  uint8_t generatorVersion() const override { return GeneratorVersion; }
  void setGeneratorVersion(uint8_t v) override { GeneratorVersion = v; }
  bool printsToDefault() const override { return PrintToDefault; }
  void setPrinterName(const std::string& name) override { PrinterName = name; }
  void pageAdded(int pageNo) override {
    if (OnBeginPage) OnBeginPage(pageNo);
  }

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
  // Replaces the progress window: gets each printed page's number.
  std::function<void(int)> OnProgress;
};

}  // namespace orv
