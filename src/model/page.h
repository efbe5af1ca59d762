#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/printer_info.h"
#include "model/stream.h"
#include "model/variant.h"
#include "model/view.h"
#include "platform/color.h"

namespace orv {

enum : uint8_t { poPortrait = 0, poLandscape = 1 };
enum : uint8_t { ptReport = 0, ptDialog = 1 };

// Page margins in report pixels; 0 leaves that side to the printable area.
struct PageMargins {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  friend bool operator==(const PageMargins&, const PageMargins&) = default;
};

// One report page: its paper, margins, print geometry and the views on it,
// which it owns.
class TfrPage {
 public:
  TfrPage() = default;
  // A page whose paper is pushed through the printer model at once.
  explicit TfrPage(const PaperSpec& paper);
  TfrPage(const TfrPage&) = delete;
  TfrPage& operator=(const TfrPage&) = delete;
  ~TfrPage();

  int32_t PaperSize = 9;
  int32_t PaperWidth = 0;
  int32_t PaperHeight = 0;
  PageMargins Margins;
  uint8_t Orientation = poPortrait;
  int32_t Bin = -1;
  bool PrintToPrevPage = false;
  bool UseMargins = true;
  int32_t Columns = 0;
  int32_t ColumnGap = 0;
  // The width of one column when a script set it (not stored); 0: the
  // content width shared out among the columns.
  int32_t ColumnWidth = 0;
  uint8_t PageKind = ptReport;
  std::string Name;
  uint8_t BorderStyle = 3;
  std::string Caption = "Form";
  orv::Color Color = clBtnFace;  // the dialog form's colour
  int32_t Left = 220;
  int32_t Top = 120;
  int32_t Width = 380;
  int32_t Height = 300;
  uint8_t Position = 4;
  StringList PageScript;

  orv::PrinterInfo PrinterInfo;
  std::vector<std::unique_ptr<TfrView>> Objects;
  bool Visible = true;
  // Set by the report run: the page footer's height, which the bottom content
  // edge leaves free while running.
  int32_t FooterBandHeight = 0;

  // Sets the paper through the printer model (SetPaper, then FillPrinterInfo).
  // When the model refuses it, the custom code 256 with bin -1 is tried, and
  // the page takes what the model then reports.
  void ChangePaper(int32_t code, int32_t width, int32_t height, uint8_t orientation, int32_t bin);

  // Content edges in report pixels.
  int32_t LeftEdge() const;
  int32_t TopEdge() const;
  int32_t RightEdge() const;
  int32_t BottomEdge() const;
  // The width of one page column: ColumnWidth when set, else the content
  // width less the gaps, shared out among the columns (at least one).
  int32_t ColumnWidthPx() const;

  // Script access by upper-cased name. A report page's "WIDTH" and "HEIGHT"
  // are its paper size in report pixels (tenths of a millimetre in the page);
  // paper changes go through the printer model. Unknown names are ignored on
  // writing and read as empty.
  void SetProperty(std::string_view name, const Variant& value);
  Variant GetProperty(std::string_view name) const;

  // The properties a designer lists for the page, by its kind: the dialog
  // form's for a dialog page, the paper and layout for a report page, each
  // with the name of its script event last.
  std::vector<PropertyEntry> DeclaredProperties() const;

  // First object whose name equals `name` ignoring case.
  TfrView* FindObject(std::string_view name) const;
  // Appends a view the page then owns, and returns it.
  TfrView* Add(std::unique_ptr<TfrView> view);

  // The page record of a template stream (what follows its byte 255), read in
  // the form of ModelState's StreamVersion and written in the current form.
  // Reading ends by pushing the paper through the printer model. Streams
  // before version 24 carry no page name; the caller gives the page one.
  void LoadFromStream(MemoryStream& stream);
  void SaveToStream(MemoryStream& stream) const;
};

// The template's page list.
class TfrPages {
 public:
  std::vector<std::unique_ptr<TfrPage>> Pages;
  void* Parent = nullptr;  // the report owning the list; opaque to the model

  size_t Count() const { return Pages.size(); }
  TfrPage& Page(size_t i) const { return *Pages.at(i); }
  void Clear() { Pages.clear(); }
  // Appends a blank page with the printer model's default paper.
  TfrPage& Add();
};

// Name service over a list of pages (the template's, or the live pages being
// drawn). Pages may be null entries, which are skipped.
TfrView* FindObject(std::span<TfrPage* const> pages, std::string_view name);
TfrView* FindObject(const TfrPages& pages, std::string_view name);

// Gives the view the first free name ClassStem + n (n = 1 .. 10000) among the
// objects of the pages; leaves it empty when all are taken.
void GenerateName(TfrView& view, std::span<TfrPage* const> pages);
// The same among the pages of the current load: ModelState's CurrentPages,
// or only CurrentPage when no page list is set.
void GenerateName(TfrView& view);

// Resolves "A.B" (or a plain "B") to an object and a property name, the way
// expressions and scripts address objects: "PAGEn.B" is template page n's
// property B; otherwise A is an object name; failing that, when the current
// view declares a property A, the whole text is that view's property.
struct ResolvedName {
  TfrView* view = nullptr;  // null when the target is a page or nothing
  TfrPage* page = nullptr;
  std::string property;
};
ResolvedName ResolveObjectName(std::span<TfrPage* const> pages, std::string_view name);

// Pointers to the pages of a page list, for the span-taking functions.
std::vector<TfrPage*> pagePointers(const TfrPages& pages);

}  // namespace orv
