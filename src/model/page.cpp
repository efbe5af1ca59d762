#include "model/page.h"

#include <algorithm>

#include "model/state.h"
#include "model/text_util.h"
#include "model/view.h"
#include "platform/error.h"

namespace orv {

TfrPage::TfrPage(const PaperSpec& paper) {
  ChangePaper(paper.size, paper.width, paper.height, static_cast<uint8_t>(paper.orientation),
              paper.bin);
}

TfrPage::~TfrPage() = default;

void TfrPage::ChangePaper(int32_t code, int32_t width, int32_t height, uint8_t orientation,
                          int32_t bin) {
  PrinterModel& printer = sharedPrinter();
  PaperSize = code;
  PaperWidth = width;
  PaperHeight = height;
  Orientation = orientation;
  Bin = bin;
  try {
    printer.SetPaper(code, width, height, orientation, bin, false);
    printer.FillPrinterInfo(PrinterInfo);
  } catch (const Error&) {
    // Any printer takes a custom size; the page then has what it accepted.
    printer.SetPaper(256, width, height, orientation, -1, false);
    printer.FillPrinterInfo(PrinterInfo);
    const PaperSpec got = printer.currentPaper();
    PaperSize = got.size;
    PaperWidth = got.width;
    PaperHeight = got.height;
    Orientation = static_cast<uint8_t>(got.orientation);
    Bin = bin == -1 ? 0xFFFF : got.bin;
  }
}

int32_t TfrPage::LeftEdge() const {
  if (!UseMargins) return 0;
  return Margins.left != 0 ? Margins.left : PrinterInfo.OffsetX;
}

int32_t TfrPage::TopEdge() const {
  if (!UseMargins) return 0;
  return Margins.top != 0 ? Margins.top : PrinterInfo.OffsetY;
}

int32_t TfrPage::RightEdge() const {
  if (!UseMargins) return PrinterInfo.PaperWidthPx;
  return Margins.right != 0 ? PrinterInfo.PaperWidthPx - Margins.right
                            : PrinterInfo.OffsetX + PrinterInfo.PrintableWidth;
}

int32_t TfrPage::BottomEdge() const {
  int32_t b;
  if (!UseMargins)
    b = PrinterInfo.PaperHeightPx;
  else
    b = Margins.bottom != 0 ? PrinterInfo.PaperHeightPx - Margins.bottom
                            : PrinterInfo.OffsetY + PrinterInfo.PrintableHeight;
  if (modelState().Mode == DocumentMode::Running) b -= FooterBandHeight;
  return b;
}

int32_t TfrPage::ColumnWidthPx() const {
  if (ColumnWidth > 0) return ColumnWidth;
  // A damaged page may ask for any number of columns and any gap; the sums
  // stay in 64 bits and the result within the coordinate range.
  const int64_t columns = std::clamp(Columns, 1, 1000);
  const int64_t gaps = (columns - 1) * clampCoordinate(ColumnGap);
  return clampCoordinate((int64_t(RightEdge()) - LeftEdge() - gaps) / columns);
}

void TfrPage::SetProperty(std::string_view name, const Variant& value) {
  const std::string n = upperCase(name);
  const auto i32 = [&] { return static_cast<int32_t>(value.toInt()); };
  const bool dialog = PageKind == ptDialog;
  if (n == "LEFT") {
    Left = i32();
  } else if (n == "TOP") {
    Top = i32();
  } else if (n == "WIDTH" || n == "HEIGHT") {
    if (dialog) {
      (n == "WIDTH" ? Width : Height) = i32();
    } else {
      // Report pixels to tenths of a millimetre, the way stored scripts expect.
      const int32_t tenths = roundEven(value.toDouble() * 10 * 5 / 18);
      ChangePaper(256, n == "WIDTH" ? tenths : PaperWidth, n == "HEIGHT" ? tenths : PaperHeight,
                  Orientation, Bin);
    }
  } else if (n == "TYPE") {
    PageKind = static_cast<uint8_t>(i32());
  } else if (n == "BORDERSTYLE") {
    BorderStyle = static_cast<uint8_t>(i32());
  } else if (n == "CAPTION") {
    Caption = value.toString();
  } else if (n == "NAME") {
    Name = value.toString();
  } else if (n == "COLOR") {
    Color = static_cast<orv::Color>(value.toInt());
  } else if (n == "POSITION") {
    Position = static_cast<uint8_t>(i32());
  } else if (n == "SIZE") {
    ChangePaper(i32(), PaperWidth, PaperHeight, Orientation, Bin);
  } else if (n == "LEFTMARGIN") {
    Margins.left = clampCoordinate(value.toInt());
  } else if (n == "TOPMARGIN") {
    Margins.top = clampCoordinate(value.toInt());
  } else if (n == "RIGHTMARGIN") {
    Margins.right = clampCoordinate(value.toInt());
  } else if (n == "BOTTOMMARGIN") {
    Margins.bottom = clampCoordinate(value.toInt());
  } else if (n == "ORIENTATION") {
    const auto o = static_cast<uint8_t>(i32() != 0 ? poLandscape : poPortrait);
    if (o != Orientation) {
      // The paper is seen the other way round.
      ChangePaper(PaperSize, PaperHeight, PaperWidth, o, Bin);
    }
  } else if (n == "PRINTTOPREVPAGE") {
    PrintToPrevPage = value.toBool();
  } else if (n == "STRETCHTOPRINTABLE") {
    UseMargins = !value.toBool();
  } else if (n == "COLUMNS") {
    Columns = i32();
  } else if (n == "COLUMNGAP") {
    ColumnGap = clampCoordinate(value.toInt());
  } else if (n == "COLUMNWIDTH") {
    ColumnWidth = std::max<int32_t>(0, clampCoordinate(value.toInt()));
  } else if (n == "VISIBLE") {
    Visible = value.toBool();
  }
}

Variant TfrPage::GetProperty(std::string_view name) const {
  const std::string n = upperCase(name);
  const bool dialog = PageKind == ptDialog;
  if (n == "LEFT") return Left;
  if (n == "TOP") return Top;
  if (n == "WIDTH") return dialog ? Width : roundEven(PaperWidth * 18.0 / 50);
  if (n == "HEIGHT") return dialog ? Height : roundEven(PaperHeight * 18.0 / 50);
  if (n == "TYPE") return static_cast<int>(PageKind);
  if (n == "BORDERSTYLE") return static_cast<int>(BorderStyle);
  if (n == "CAPTION") return Caption;
  if (n == "NAME") return Name;
  if (n == "COLOR") return static_cast<int>(static_cast<int32_t>(Color));
  if (n == "POSITION") return static_cast<int>(Position);
  if (n == "SIZE") return PaperSize;
  if (n == "LEFTMARGIN") return Margins.left;
  if (n == "TOPMARGIN") return Margins.top;
  if (n == "RIGHTMARGIN") return Margins.right;
  if (n == "BOTTOMMARGIN") return Margins.bottom;
  if (n == "ORIENTATION") return static_cast<int>(Orientation);
  if (n == "PRINTTOPREVPAGE") return PrintToPrevPage;
  if (n == "STRETCHTOPRINTABLE") return !UseMargins;
  if (n == "COLUMNS") return Columns;
  if (n == "COLUMNGAP") return ColumnGap;
  if (n == "COLUMNWIDTH") return ColumnWidthPx();
  if (n == "VISIBLE") return Visible;
  return {};
}

std::vector<PropertyEntry> TfrPage::DeclaredProperties() const {
  std::vector<PropertyEntry> list;
  const auto add = [&](const char* name, std::vector<std::string> names = {},
                       std::vector<int32_t> values = {}) {
    PropertyEntry e;
    e.Name = name;
    e.EnumNames = std::move(names);
    e.EnumValues = std::move(values);
    list.push_back(std::move(e));
  };
  add("Type", {"ptReport", "ptDialog"}, {ptReport, ptDialog});
  add("Visible");
  if (PageKind == ptDialog) {
    add("BorderStyle", {"bsDialog", "bsSizeable"}, {3, 2});
    add("Caption");
    add("Color");
    add("Left");
    add("Top");
    add("Width");
    add("Height");
    add("Position", {"poDesigned", "poScreenCenter"}, {0, 4});
    add("OnActivate");
  } else {
    add("Size");
    add("LeftMargin");
    add("TopMargin");
    add("RightMargin");
    add("BottomMargin");
    add("Orientation", {"poPortrait", "poLandscape"}, {poPortrait, poLandscape});
    add("PrintToPrevPage");
    add("StretchToPrintable");
    add("Columns");
    add("ColumnWidth");
    add("ColumnGap");
    add("OnBeforePrint");
  }
  return list;
}

TfrView* TfrPage::FindObject(std::string_view name) const {
  for (const auto& v : Objects)
    if (v && sameText(v->Name, name)) return v.get();
  return nullptr;
}

TfrView* TfrPage::Add(std::unique_ptr<TfrView> view) {
  view->OwnerPage = this;
  Objects.push_back(std::move(view));
  return Objects.back().get();
}

void TfrPage::LoadFromStream(MemoryStream& s) {
  const uint8_t version = modelState().StreamVersion;
  // Current records start with -1; older ones start with the paper code and
  // have no page script.
  const int32_t marker = s.readI32("page record");
  const bool current = marker == -1;
  const int32_t code = current ? s.readI32("paper code") : marker;
  const int32_t width = s.readI32("paper width");
  const int32_t height = s.readI32("paper height");
  Margins.left = clampCoordinate(s.readI32("page margins"));
  Margins.top = clampCoordinate(s.readI32("page margins"));
  Margins.right = clampCoordinate(s.readI32("page margins"));
  Margins.bottom = clampCoordinate(s.readI32("page margins"));
  const uint8_t orientation = s.readU8("page orientation") != 0 ? poLandscape : poPortrait;
  if (version < 23) s.skip(6, "page record");
  const int32_t bin = version >= 24 ? s.readI32("paper bin") : -1;
  PrintToPrevPage = s.readI16("page flags") != 0;
  UseMargins = s.readI16("page flags") != 0;
  Columns = s.readI32("page columns");
  ColumnGap = clampCoordinate(s.readI32("page column gap"));
  if (version >= 24) {
    PageKind = s.readU8("page kind");
    Name = readString(s, version);
    // Older writers stored the form border by its position in a shorter list.
    const uint8_t border = s.readU8("page border style");
    BorderStyle = border == 0 ? 3 : border == 1 ? 2 : border;
    Caption = readString(s, version);
    Color = s.readU32("page colour");
    Left = s.readI32("page bounds");
    Top = s.readI32("page bounds");
    Width = s.readI32("page bounds");
    Height = s.readI32("page bounds");
    Position = s.readU8("page position") != 0 ? 4 : 0;
    if (current) PageScript = readStringList(s, version);
  }
  ChangePaper(code, width, height, orientation, bin);
}

void TfrPage::SaveToStream(MemoryStream& s) const {
  s.writeI32(-1);
  s.writeI32(PaperSize);
  s.writeI32(PaperWidth);
  s.writeI32(PaperHeight);
  s.writeI32(Margins.left);
  s.writeI32(Margins.top);
  s.writeI32(Margins.right);
  s.writeI32(Margins.bottom);
  s.writeU8(Orientation);
  s.writeI32(Bin);
  s.writeI16(PrintToPrevPage ? -1 : 0);
  s.writeI16(UseMargins ? -1 : 0);
  s.writeI32(Columns);
  s.writeI32(ColumnGap);
  s.writeU8(PageKind);
  writeString(s, Name);
  s.writeU8(BorderStyle);
  writeString(s, Caption);
  s.writeU32(Color);
  s.writeI32(Left);
  s.writeI32(Top);
  s.writeI32(Width);
  s.writeI32(Height);
  s.writeU8(Position);
  writeStringList(s, PageScript);
}

TfrPage& TfrPages::Add() {
  PaperSpec paper;
  paper.size = sharedPrinter().defaultPaperSize();
  paper.width = 0;
  paper.height = 0;
  paper.orientation = poPortrait;
  paper.bin = -1;
  Pages.push_back(std::make_unique<TfrPage>(paper));
  return *Pages.back();
}

std::vector<TfrPage*> pagePointers(const TfrPages& pages) {
  std::vector<TfrPage*> r;
  r.reserve(pages.Pages.size());
  for (const auto& p : pages.Pages) r.push_back(p.get());
  return r;
}

TfrView* FindObject(std::span<TfrPage* const> pages, std::string_view name) {
  for (TfrPage* p : pages)
    if (p)
      if (TfrView* v = p->FindObject(name)) return v;
  return nullptr;
}

TfrView* FindObject(const TfrPages& pages, std::string_view name) {
  auto ptrs = pagePointers(pages);
  return FindObject(ptrs, name);
}

void GenerateName(TfrView& view, std::span<TfrPage* const> pages) {
  for (int n = 1; n <= 10000; ++n) {
    const std::string candidate = view.ClassStem + std::to_string(n);
    if (!FindObject(pages, candidate)) {
      view.SetProperty("Name", candidate);
      return;
    }
  }
}

void GenerateName(TfrView& view) {
  const ModelState& st = modelState();
  std::vector<TfrPage*> scope;
  if (st.CurrentPages)
    scope = pagePointers(*st.CurrentPages);
  else if (st.CurrentPage)
    scope.push_back(st.CurrentPage);
  GenerateName(view, scope);
}

ResolvedName ResolveObjectName(std::span<TfrPage* const> pages, std::string_view name) {
  ResolvedName r;
  TfrView* current = modelState().CurrentView;
  const size_t dot = name.find('.');
  if (dot == std::string_view::npos) {
    r.view = current;
    r.property = std::string(name);
    if (current && current->PropertyList.empty()) current->DeclareProperties();
    return r;
  }
  const std::string_view a = name.substr(0, dot);
  const std::string_view b = name.substr(dot + 1);
  const std::string ua = upperCase(a);
  if (ua.size() > 4 && ua.compare(0, 4, "PAGE") == 0 && ua[4] >= '0' && ua[4] <= '9') {
    // Page numbers count from 1; a number with trailing junk or out of range
    // names no page.
    size_t n = 0;
    bool ok = true;
    for (size_t i = 4; i < ua.size(); ++i) {
      if (ua[i] < '0' || ua[i] > '9' || n > 1000000) {
        ok = false;
        break;
      }
      n = n * 10 + static_cast<size_t>(ua[i] - '0');
    }
    if (ok && n >= 1 && n <= pages.size()) r.page = pages[n - 1];
    r.property = std::string(b);
    return r;
  }
  if (TfrView* v = FindObject(pages, a)) {
    r.view = v;
    r.property = std::string(b);
  } else if (current && current->FindProperty(a)) {
    r.view = current;
    r.property = std::string(name);
  }
  if (r.view && r.view->PropertyList.empty()) r.view->DeclareProperties();
  return r;
}

}  // namespace orv
