#pragma once
#include <memory>
#include <string>

#include "engine/tfr_report.h"

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

}  // namespace orv::tools
