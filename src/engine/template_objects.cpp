#include "engine/template_objects.h"

#include <exception>
#include <string>

#include "engine/data_dictionary.h"
#include "engine/run_names.h"
#include "engine/text_readers.h"
#include "model/memo_view.h"
#include "model/page.h"
#include "model/view.h"

namespace orv {

TfrObjectGeometry::TfrObjectGeometry(const TfrView& v)
    : left(v.Left), top(v.Top), width(v.Width), height(v.Height), bandAlign(v.BandAlign) {}

void TfrObjectGeometry::restore(TfrView& v) const {
  v.Left = left;
  v.Top = top;
  v.Width = width;
  v.Height = height;
  v.BandAlign = bandAlign;
}

void TfrTemplateObjects::Note(TfrPage& page) {
  for (auto& obj : page.Objects) {
    TfrView& v = *obj;
    v.OwnerBand = nullptr;
    designGeometry_.emplace_back(&v, TfrObjectGeometry(v));
    if (auto* memo = dynamic_cast<TfrMemoView*>(&v); memo && !memo->HighlightCondition.empty())
      names_.AddHighlight(v, memo->HighlightCondition);
    if (v.Flags & flAddInNotify) notified_[&page].push_back(&v);
  }
}

void TfrTemplateObjects::BindFields(const TfrPages& pages, TfrDataDictionary& dictionary) {
  for (const auto& page : pages.Pages)
    for (auto& obj : page->Objects) {
      TfrView& v = *obj;
      if (v.TypeCode == gtBand || v.Memo.size() != 1) continue;
      if (v.TypeCode == gtMemo && (v.Flags & flTextOnly)) continue;
      const std::string& line = v.Memo[0];
      if (line.size() < 3 || line.front() != '[') continue;
      size_t pos = 0;
      std::string inner;
      try {
        inner = readBracketed(line, pos);
      } catch (const std::exception&) {
        continue;
      }
      if (pos != line.size()) continue;
      TfrCacheItem item;
      if (!dictionary.FieldOf(inner, item) || !item.DataSet) continue;
      v.BlobSourceSet = item.DataSet;
      v.BlobSourceField = item.FieldName;
    }
}

void TfrTemplateObjects::TextWritten(const TfrPage* page, TfrView& text) {
  // Most reports have no object that listens, and every text passes here.
  if (notified_.empty()) return;
  if (auto it = notified_.find(page); it != notified_.end())
    for (TfrView* listener : it->second) listener->CollectValue(text);
}

void TfrTemplateObjects::Restore() {
  for (auto& [view, geometry] : designGeometry_) geometry.restore(*view);
  designGeometry_.clear();
  notified_.clear();
  names_.ClearObjects();
}

}  // namespace orv
