#include "engine/band_tree.h"

#include <algorithm>
#include <set>
#include <string_view>

#include "engine/data_components.h"
#include "engine/dataset.h"
#include "engine/parser.h"
#include "model/page.h"
#include "model/text_util.h"
#include "model/views.h"

namespace orv {

TfrBand::~TfrBand() = default;

void TfrBand::ReadView(const TfrBandView& v, bool pageSkipped) {
  View = const_cast<TfrBandView*>(&v);
  Name = v.Name;
  x = v.Left;
  y = v.Top;
  dx = v.Width;
  dy = v.Height;
  CalculatedHeight = dy;
  Script = v.Memo;
  Visible = v.Visible;
  const uint16_t f = v.Flags;
  Stretched = f & bfStretched;
  // A page that only runs as a sub-report never breaks on its own.
  FormNewPage = (f & bfFormNewPage) && !pageSkipped;
  Breaked = (f & bfBreaked) && !pageSkipped;
  PrintIfSubsetEmpty = f & bfPrintIfSubsetEmpty;
  OnFirstPage = f & bfOnFirstPage;
  OnLastPage = f & bfOnLastPage;
  RepeatHeader = f & bfRepeatHeader;
  PrintChildIfInvisible = f & bfPrintChildIfInvisible;
  Columns = std::max(1, v.Columns);
  ColumnWidth = v.ColumnWidth;
  ColumnGap = v.ColumnGap;
  NewColumnAfter = v.NewColumnAfter;
  SplitFlag = Breaked;
}

TfrBandTree buildBandTree(TfrPage& page, const TfrDataComponents& components, bool pageSkipped,
                          const std::function<void(TfrBandView&)>& missingDataSet) {
  TfrBandTree tree;
  auto newBand = [&](uint16_t type, TfrBandView* view) {
    auto b = std::make_unique<TfrBand>(type, &page);
    if (view) b->ReadView(*view, pageSkipped);
    TfrBand* raw = b.get();
    tree.all.push_back(std::move(b));
    return raw;
  };
  auto bandViews = [&](uint16_t type) {
    std::vector<TfrBandView*> views;
    for (auto& obj : page.Objects)
      if (obj->TypeCode == gtBand) {
        auto* bv = static_cast<TfrBandView*>(obj.get());
        if (bv->BandType() == type) views.push_back(bv);
      }
    std::stable_sort(views.begin(), views.end(),
                     [](const TfrBandView* a, const TfrBandView* b) { return a->Top < b->Top; });
    return views;
  };
  std::set<TfrView*> given;
  auto give = [&](TfrBand* b, TfrView& v, bool horizontal) {
    if (horizontal)
      v.Top -= b->y;
    else
      v.Left -= b->x;
    v.OwnerBand = b;
    b->Objects.push_back(&v);
    given.insert(&v);
  };

  // Cross bands first: objects lying within one's horizontal extent belong to it.
  for (uint16_t t = btCrossHeader; t <= btCrossFooter; ++t) {
    TfrBand* prev = nullptr;
    for (TfrBandView* bv : bandViews(t)) {
      TfrBand* b = newBand(t, bv);
      BandDataset found = findBandDataset(components, uint8_t(t), bv->FormatStr);
      b->DataSet = found.dataset;
      b->OwnDataSet = std::move(found.owned);
      if (!b->DataSet && b->IsDataBand()) missingDataSet(*bv);
      if (prev)
        prev->Next = b;
      else
        tree.bands[t] = b;
      prev = b;
    }
  }
  for (uint16_t t = btCrossHeader; t <= btCrossFooter; ++t)
    for (TfrBand* b = tree.bands[t]; b; b = b->Next)
      for (auto& obj : page.Objects) {
        TfrView& v = *obj;
        if (v.TypeCode == gtBand || given.count(&v)) continue;
        if (v.Left >= b->x && v.Left + v.Width <= b->x + b->dx) give(b, v, false);
      }

  for (uint16_t t = 0; t < btNone; ++t) {
    if (t >= btCrossHeader && t <= btCrossFooter) continue;
    TfrBand* prev = nullptr;
    for (TfrBandView* bv : bandViews(t)) {
      TfrBand* b = newBand(t, bv);
      if (t == btGroupHeader) {
        b->GroupCondition = TfrParser::ToPostfix(bv->FormatStr);
      } else if (b->IsDataBand() || !bv->FormatStr.empty()) {
        BandDataset found = findBandDataset(components, uint8_t(t), bv->FormatStr);
        b->DataSet = found.dataset;
        b->OwnDataSet = std::move(found.owned);
        if (!b->DataSet && b->IsDataBand()) missingDataSet(*bv);
      }
      if (prev)
        prev->Next = b;
      else
        tree.bands[t] = b;
      prev = b;
    }
  }
  for (int pass = 0; pass < 2; ++pass)
    for (uint16_t t = 0; t < btNone; ++t) {
      if (t >= btCrossHeader && t <= btCrossFooter) continue;
      for (TfrBand* b = tree.bands[t]; b; b = b->Next)
        for (auto& obj : page.Objects) {
          TfrView& v = *obj;
          if (v.TypeCode == gtBand || given.count(&v)) continue;
          // Sub-reports go last, so that ordinary objects choose first.
          if ((v.TypeCode == gtSubReport) != (pass == 1)) continue;
          if (b->y <= v.Top && v.Top <= b->y + b->dy) give(b, v, true);
        }
    }
  // Cross-tab cells: each object of a cross band lies across the first
  // other band whose vertical span holds its top.
  std::set<TfrView*> cells;
  for (uint16_t t = 0; t < btNone; ++t) {
    if (t >= btCrossHeader && t <= btCrossFooter) continue;
    for (TfrBand* b = tree.bands[t]; b; b = b->Next)
      for (uint16_t ct = btCrossHeader; ct <= btCrossFooter; ++ct)
        for (TfrBand* cb = tree.bands[ct]; cb; cb = cb->Next)
          for (TfrView* v : cb->Objects)
            if (b->y <= v->Top && v->Top <= b->y + b->dy && cells.insert(v).second)
              b->CrossCells.push_back({cb, v, v->Top - b->y});
  }
  TfrBand* none = newBand(btNone, nullptr);
  tree.bands[btNone] = none;
  for (auto& obj : page.Objects)
    if (obj->TypeCode != gtBand && !given.count(obj.get())) {
      obj->OwnerBand = none;
      none->Objects.push_back(obj.get());
    }

  // Headers and footers of the data levels.
  for (const LevelBands& lv : kDataLevels) {
    for (TfrBand* h = tree.bands[lv.header]; h; h = h->Next)
      for (TfrBand* d = tree.bands[lv.data]; d; d = d->Next)
        if (d->y > h->y + h->dy) {
          if (!d->HeaderBand) d->HeaderBand = h;
          break;
        }
    for (TfrBand* f = tree.bands[lv.footer]; f; f = f->Next) {
      TfrBand* above = nullptr;
      for (TfrBand* d = tree.bands[lv.data]; d; d = d->Next)
        if (d->y + d->dy <= f->y) above = d;
      if (above && !above->FooterBand) above->FooterBand = f;
    }
  }
  // Group headers and footers pair from the outside in: the topmost header
  // with the lowest footer.
  std::vector<TfrBand*> footers;
  for (TfrBand* f = tree.bands[btGroupFooter]; f; f = f->Next) footers.push_back(f);
  size_t gi = 0;
  for (TfrBand* g = tree.bands[btGroupHeader]; g; g = g->Next, ++gi)
    if (gi < footers.size()) g->GroupFooter = footers[footers.size() - 1 - gi];
  // Child bands by name.
  for (auto& b : tree.all)
    if (b->View && !b->View->ChildBand.empty())
      for (TfrBand* c = tree.bands[btChild]; c; c = c->Next)
        if (sameText(c->Name, b->View->ChildBand) && c != b.get()) {
          b->ChildBand = c;
          break;
        }
  // Cross data sets named per band: "Band1=Set1;Band2=Set2".
  if (TfrBand* cd = tree.bands[btCrossData];
      cd && cd->View && cd->View->FormatStr.find(';') != std::string::npos) {
    std::string_view text = cd->View->FormatStr;
    while (!text.empty()) {
      const size_t semi = text.find(';');
      std::string_view pair = text.substr(0, semi);
      text = semi == std::string_view::npos ? std::string_view() : text.substr(semi + 1);
      const size_t eq = pair.find('=');
      if (eq == std::string_view::npos) continue;
      for (auto& b : tree.all)
        if (sameText(b->Name, pair.substr(0, eq)))
          if ((b->CrossDataSet = components.findDataset(pair.substr(eq + 1))))
            b->CrossDataSet->Init();
    }
  }
  return tree;
}

}  // namespace orv
