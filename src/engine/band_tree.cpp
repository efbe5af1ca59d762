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

namespace {

bool isCross(uint16_t type) {
  return type >= btCrossHeader && type <= btCrossFooter;
}

// One build: the page and its data, the tree as it grows and the objects
// already given to a band.
class TreeBuilder {
 public:
  TreeBuilder(TfrPage& page, const TfrDataComponents& components, bool pageSkipped,
              const std::function<void(TfrBandView&)>& missingDataSet)
      : page_(page),
        components_(components),
        pageSkipped_(pageSkipped),
        missingDataSet_(missingDataSet) {}

  TfrBandTree build() {
    // Cross bands first: objects lying within one's horizontal extent belong
    // to it.
    for (uint16_t t = btCrossHeader; t <= btCrossFooter; ++t) makeBands(t);
    giveToCrossBands();
    for (uint16_t t = 0; t < btNone; ++t)
      if (!isCross(t)) makeBands(t);
    giveToBands();
    layCrossCells();
    giveTheRestToNoBand();
    pairLevels();
    pairGroups();
    linkChildren();
    nameCrossDataSets();
    return std::move(tree_);
  }

 private:
  TfrBand* newBand(uint16_t type, TfrBandView* view) {
    auto b = std::make_unique<TfrBand>(type, &page_);
    if (view) b->ReadView(*view, pageSkipped_);
    TfrBand* raw = b.get();
    tree_.all.push_back(std::move(b));
    return raw;
  }

  // The bands of one type, chained from the top of the page down.
  void makeBands(uint16_t type) {
    std::vector<TfrBandView*> views;
    for (auto& obj : page_.Objects)
      if (obj->TypeCode == gtBand) {
        auto* bv = static_cast<TfrBandView*>(obj.get());
        if (bv->BandType() == type) views.push_back(bv);
      }
    std::stable_sort(views.begin(), views.end(),
                     [](const TfrBandView* a, const TfrBandView* b) { return a->Top < b->Top; });
    TfrBand* prev = nullptr;
    for (TfrBandView* bv : views) {
      TfrBand* b = newBand(type, bv);
      if (type == btGroupHeader) {
        b->GroupCondition = TfrParser::ToPostfix(bv->FormatStr);
      } else if (isCross(type) || b->IsDataBand() || !bv->FormatStr.empty()) {
        BandDataset found = findBandDataset(components_, uint8_t(type), bv->FormatStr);
        b->DataSet = found.dataset;
        b->OwnDataSet = std::move(found.owned);
        if (!b->DataSet && b->IsDataBand()) missingDataSet_(*bv);
      }
      if (prev)
        prev->Next = b;
      else
        tree_.bands[type] = b;
      prev = b;
    }
  }

  void give(TfrBand* b, TfrView& v, bool horizontal) {
    if (horizontal)
      v.Top -= b->y;
    else
      v.Left -= b->x;
    v.OwnerBand = b;
    b->Objects.push_back(&v);
    given_.insert(&v);
  }
  bool isFree(const TfrView& v) const { return v.TypeCode != gtBand && !given_.count(&v); }

  void giveToCrossBands() {
    for (uint16_t t = btCrossHeader; t <= btCrossFooter; ++t)
      for (TfrBand* b = tree_.bands[t]; b; b = b->Next)
        for (auto& obj : page_.Objects) {
          TfrView& v = *obj;
          if (isFree(v) && v.Left >= b->x && v.Left + v.Width <= b->x + b->dx) give(b, v, false);
        }
  }

  void giveToBands() {
    for (int pass = 0; pass < 2; ++pass)
      for (uint16_t t = 0; t < btNone; ++t) {
        if (isCross(t)) continue;
        for (TfrBand* b = tree_.bands[t]; b; b = b->Next)
          for (auto& obj : page_.Objects) {
            TfrView& v = *obj;
            if (!isFree(v)) continue;
            // Sub-reports go last, so that ordinary objects choose first.
            if ((v.TypeCode == gtSubReport) != (pass == 1)) continue;
            if (b->y <= v.Top && v.Top <= b->y + b->dy) give(b, v, true);
          }
      }
  }

  // Each object of a cross band lies across the first other band whose
  // vertical span holds its top.
  void layCrossCells() {
    std::set<TfrView*> cells;
    for (uint16_t t = 0; t < btNone; ++t) {
      if (isCross(t)) continue;
      for (TfrBand* b = tree_.bands[t]; b; b = b->Next)
        for (uint16_t ct = btCrossHeader; ct <= btCrossFooter; ++ct)
          for (TfrBand* cb = tree_.bands[ct]; cb; cb = cb->Next)
            for (TfrView* v : cb->Objects)
              if (b->y <= v->Top && v->Top <= b->y + b->dy && cells.insert(v).second)
                b->CrossCells.push_back({cb, v, v->Top - b->y});
    }
  }

  void giveTheRestToNoBand() {
    TfrBand* none = newBand(btNone, nullptr);
    tree_.bands[btNone] = none;
    for (auto& obj : page_.Objects)
      if (isFree(*obj)) {
        obj->OwnerBand = none;
        none->Objects.push_back(obj.get());
      }
  }

  // Headers and footers of the data levels.
  void pairLevels() {
    for (const LevelBands& lv : kDataLevels) {
      for (TfrBand* h = tree_.bands[lv.header]; h; h = h->Next)
        for (TfrBand* d = tree_.bands[lv.data]; d; d = d->Next)
          if (d->y > h->y + h->dy) {
            if (!d->HeaderBand) d->HeaderBand = h;
            break;
          }
      for (TfrBand* f = tree_.bands[lv.footer]; f; f = f->Next) {
        TfrBand* above = nullptr;
        for (TfrBand* d = tree_.bands[lv.data]; d; d = d->Next)
          if (d->y + d->dy <= f->y) above = d;
        if (above && !above->FooterBand) above->FooterBand = f;
      }
    }
  }

  // Group headers and footers pair from the outside in: the topmost header
  // with the lowest footer.
  void pairGroups() {
    std::vector<TfrBand*> footers;
    for (TfrBand* f = tree_.bands[btGroupFooter]; f; f = f->Next) footers.push_back(f);
    size_t gi = 0;
    for (TfrBand* g = tree_.bands[btGroupHeader]; g; g = g->Next, ++gi)
      if (gi < footers.size()) g->GroupFooter = footers[footers.size() - 1 - gi];
  }

  void linkChildren() {
    for (auto& b : tree_.all)
      if (b->View && !b->View->ChildBand.empty())
        for (TfrBand* c = tree_.bands[btChild]; c; c = c->Next)
          if (sameText(c->Name, b->View->ChildBand) && c != b.get()) {
            b->ChildBand = c;
            break;
          }
  }

  // Cross data sets named per band: "Band1=Set1;Band2=Set2".
  void nameCrossDataSets() {
    TfrBand* cd = tree_.bands[btCrossData];
    if (!cd || !cd->View || cd->View->FormatStr.find(';') == std::string::npos) return;
    std::string_view text = cd->View->FormatStr;
    while (!text.empty()) {
      const size_t semi = text.find(';');
      std::string_view pair = text.substr(0, semi);
      text = semi == std::string_view::npos ? std::string_view() : text.substr(semi + 1);
      const size_t eq = pair.find('=');
      if (eq == std::string_view::npos) continue;
      for (auto& b : tree_.all)
        if (sameText(b->Name, pair.substr(0, eq)))
          if ((b->CrossDataSet = components_.findDataset(pair.substr(eq + 1))))
            b->CrossDataSet->Init();
    }
  }

  TfrPage& page_;
  const TfrDataComponents& components_;
  const bool pageSkipped_;
  const std::function<void(TfrBandView&)>& missingDataSet_;
  TfrBandTree tree_;
  std::set<const TfrView*> given_;
};

}  // namespace

TfrBandTree buildBandTree(TfrPage& page, const TfrDataComponents& components, bool pageSkipped,
                          const std::function<void(TfrBandView&)>& missingDataSet) {
  return TreeBuilder(page, components, pageSkipped, missingDataSet).build();
}

}  // namespace orv
