#include <QFileInfo>
#include <QScrollBar>
#include <algorithm>

#include "engine/tfr_report.h"
#include "prepared/frp_error.h"
#include "preview/preview.h"
#include "printing/tfr_printer.h"

namespace orv {

void TfrPreviewForm::loadChecked(const QString& name, TfrEMFPages& into) {
  // Reading a report chooses its printer and paper as it goes, and names the
  // printer in the report: a file that turns out damaged must undo all of it,
  // or the next print would go to a printer nobody chose.
  TfrPrinter& printer = TfrPrinter::current();
  const int index = printer.CurrentIndex;
  const int32_t size = printer.PaperSize, width = printer.PaperWidth, height = printer.PaperHeight,
                orientation = printer.Orientation, bin = printer.Bin;
  const std::string printerName = Report->PrinterName;
  const uint8_t generator = Report->GeneratorVersion;
  try {
    into.LoadFromFile(name.toStdString());
  } catch (...) {
    into.Clear();
    Report->PrinterName = printerName;
    Report->GeneratorVersion = generator;
    printer.SelectPrinter(index);
    printer.SetPaper(size, width, height, orientation, bin, true);
    throw;
  }
}

bool TfrPreviewForm::ReloadFile(QString* error) {
  if (!Report || !Pages || FileName.isEmpty()) return false;
  // The new pages are read beside the old ones: a file caught half-written,
  // or damaged, must leave what the user sees untouched.
  TfrEMFPages fresh(Report);
  try {
    loadChecked(FileName, fresh);
  } catch (const std::exception& e) {
    if (error) *error = portugueseMessage(e);
    return false;
  }
  if (fresh.Count() == 0) {
    if (error) *error = QString::fromUtf8("o arquivo não tem páginas");
    return false;
  }
  const int oldPage = std::clamp(CurPage, 1, AllPages());
  const int intoPage = VScrollBar->value() - (Pages->Entry(oldPage - 1).LayoutRect.top - 10);
  const int hpos = HScrollBar->value();
  Pages->swap(fresh);
  Report->CanRebuild = false;
  // Hits and record numbers of the old pages mean nothing in the new ones.
  Search.FindPage = 0;
  Search.FindRecord = 0;
  SearchRuns.clear();
  CurPage = std::min(oldPage, AllPages());
  FormResize();
  if (CurPage == oldPage) VScrollBar->setValue(VScrollBar->value() + intoPage);
  HScrollBar->setValue(hpos);
  UpdateLabel();
  markAllInvisible();
  PBox->update();
  pagesChanged();
  return true;
}

}  // namespace orv
