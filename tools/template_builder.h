#pragma once
#include <memory>
#include <string>

#include "engine/tfr_report.h"
#include "model/memo_view.h"
#include "model/views.h"

namespace orv::tools {

// Replaces the report's template with a small but complete one built through
// the template API: an A4 report page with title, data and footer bands,
// text, a picture, a line and a sub-report; a landscape A5 page in two
// columns; a dialog page with its script; a dictionary with a heading,
// variables, an alias and a band data source; and a filled information
// block. Text is in the system code page.
void buildSampleTemplate(TfrReport& report);

// Appends a view the page then owns, placed at (x, y) with size (w, h).
template <class View>
View& place(TfrPage& page, std::string name, int x, int y, int w, int h) {
  auto v = std::make_unique<View>();
  v->Name = std::move(name);
  v->Left = x;
  v->Top = y;
  v->Width = w;
  v->Height = h;
  return static_cast<View&>(*page.Add(std::move(v)));
}

// A band view of the given type spanning `width`, with its data-set name or
// group condition.
inline TfrBandView& placeBand(TfrPage& page, std::string name, uint16_t type, int y, int h,
                              int width, std::string source = {}) {
  TfrBandView& b = place<TfrBandView>(page, std::move(name), 0, y, width, h);
  b.FrameTyp = type;
  b.FormatStr = std::move(source);
  return b;
}

inline TfrMemoView& placeMemo(TfrPage& page, std::string name, int x, int y, int w, int h,
                              std::vector<std::string> lines) {
  TfrMemoView& m = place<TfrMemoView>(page, std::move(name), x, y, w, h);
  m.Memo = std::move(lines);
  return m;
}

}  // namespace orv::tools
