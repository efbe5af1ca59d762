#pragma once
#include <QImage>
#include <cstdint>
#include <string>
#include <vector>

#include "model/printer_info.h"
#include "model/state.h"
#include "platform/canvas.h"
#include "platform/error.h"
#include "platform/geometry.h"

namespace orv::viewtest {

// A canvas that logs what is drawn on it, with the pen or brush in force.
class RecordingCanvas : public Canvas {
 public:
  struct Line {
    Point from, to;
    PenSpec pen;
  };
  struct Fill {
    Rect r;
    BrushSpec brush;
    BkMode bkMode;
  };
  struct Text {
    Point at;
    std::string text;
    Rect clip;
    uint32_t flags;
    FontSpec font;
  };

  std::vector<Line> lines;
  std::vector<Fill> fills;
  std::vector<Rect> rectangles;
  std::vector<Rect> images;
  std::vector<Text> texts;

  Rect deviceBounds() const override { return {0, 0, 5000, 5000}; }
  void lineTo(int32_t x, int32_t y) override {
    lines.push_back({state_.current, {x, y}, state_.pen});
    state_.current = {x, y};
  }
  void polyline(std::span<const Point>) override {}
  void polygon(std::span<const Point>) override {}
  void rectangle(const Rect& r) override { rectangles.push_back(r); }
  void roundRect(const Rect&, int32_t, int32_t) override {}
  void ellipse(const Rect&) override {}
  void arc(const Rect&, Point, Point) override {}
  void pie(const Rect&, Point, Point) override {}
  void fillRect(const Rect& r) override { fills.push_back({r, state_.brush, state_.bkMode}); }
  void textOut(int32_t x, int32_t y, std::string_view text, const Rect* clip,
               uint32_t flags) override {
    texts.push_back({{x, y}, std::string(text), clip ? *clip : Rect{}, flags, state_.font});
  }
  void stretchImage(const Rect& dest, const QImage&) override { images.push_back(dest); }
};

// The virtual printer's arithmetic: report pixels from tenths of a millimetre,
// 18-pixel offsets, a printable area 36 pixels smaller.
class FakePrinter : public PrinterModel {
 public:
  PaperSpec paper;
  bool refuseNonCustom = false;
  int setPaperCalls = 0;

  void SetPaper(int32_t code, int32_t width, int32_t height, int32_t orientation, int32_t bin,
                bool) override {
    ++setPaperCalls;
    if (refuseNonCustom && code != 256) throw Error("paper refused");
    paper = {code, width, height, orientation, bin};
    if (code == 9 && width == 0) paper.width = 2100, paper.height = 2970;
  }
  void FillPrinterInfo(PrinterInfo& info) override {
    info.PaperWidthPx = roundEven(paper.width * 91.6256157635468 / 254);
    info.PaperHeightPx = roundEven(paper.height * 91.6256157635468 / 254);
    info.OffsetX = info.OffsetY = 18;
    info.PrintableWidth = info.PaperWidthPx - 36;
    info.PrintableHeight = info.PaperHeightPx - 36;
  }
  PaperSpec currentPaper() const override { return paper; }
  const std::vector<std::string>& printerNames() const override { return names_; }
  int currentIndex() const override { return 0; }
  int defaultIndex() const override { return 0; }
  void SelectPrinter(int) override {}
  std::string currentPrinterName() const override { return "Impressora Virtual"; }
  bool isPrinting() const override { return false; }

 private:
  std::vector<std::string> names_{"Impressora Virtual"};
};

// Puts the model's process-wide state back to a known start for each test
// and installs a fake printer while the test runs.
class ModelStateGuard {
 public:
  explicit ModelStateGuard(DocumentMode mode = DocumentMode::Running, uint8_t version = 25) {
    saved_ = modelState();
    modelState() = ModelState{};
    modelState().Mode = mode;
    modelState().StreamVersion = version;
    installSharedPrinter(&printer);
  }
  ~ModelStateGuard() {
    modelState() = saved_;
    installSharedPrinter(nullptr);
  }
  FakePrinter printer;

 private:
  ModelState saved_;
};

}  // namespace orv::viewtest
