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
  std::function<void(int)> OnBeginPage;
};

}  // namespace orv
