#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/stream.h"
#include "model/variant.h"
#include "model/views.h"

namespace orv {

class TfrDataset;
class TfrPage;
class TfrView;

// Kinds of band that make up one data level: its header, its data band and
// its footer.
struct LevelBands {
  uint16_t header, data, footer;
};
inline constexpr LevelBands kDataLevels[3] = {
    {btMasterHeader, btMasterData, btMasterFooter},
    {btDetailHeader, btDetailData, btDetailFooter},
    {btSubDetailHeader, btSubDetailData, btSubDetailFooter},
};
inline constexpr int kBandTypes = 23;

// A band as the report run sees it: built from a band view of the template
// when a page is initialised and freed when the run ends. A band type the
// template has no view for still has a band, one without a view, which counts
// as absent.
class TfrBand {
 public:
  TfrBand(uint16_t type, TfrPage* page) : Type(type), Parent(page) {}
  TfrBand(const TfrBand&) = delete;
  TfrBand& operator=(const TfrBand&) = delete;
  ~TfrBand();

  uint16_t Type;
  TfrPage* Parent;
  TfrBandView* View = nullptr;
  std::string Name;
  // The data set the band walks (data bands) or the data set of a cross band.
  TfrDataset* DataSet = nullptr;
  // A counted data set made from a data-source text such as "5"; the band
  // frees it.
  std::unique_ptr<TfrDataset> OwnDataSet;
  TfrBand* HeaderBand = nullptr;
  TfrBand* FooterBand = nullptr;
  // The next band of the same type: data bands of one level, group headers
  // from the outermost to the innermost.
  TfrBand* Next = nullptr;
  TfrBand* ChildBand = nullptr;
  TfrBand* GroupFooter = nullptr;
  std::string GroupCondition;  // postfix text
  Variant LastGroupValue;
  StringList Script;

  int32_t x = 0, y = 0, dx = 0, dy = 0;
  // The height the band takes when placed: its stretched height, or dy.
  int32_t CalculatedHeight = 0;
  int32_t MaxDY = -1;
  bool Stretched = false;
  bool Visible = true;
  bool PrintIfSubsetEmpty = false;
  bool PrintChildIfInvisible = false;
  bool FormNewPage = false;
  bool Breaked = false;
  bool OnFirstPage = false;
  bool OnLastPage = false;
  bool RepeatHeader = false;
  int32_t Columns = 1;
  int32_t ColumnWidth = 200;
  int32_t ColumnGap = 20;
  int32_t NewColumnAfter = 1;

  // LINE# within the current group, LINETHROUGH# over the whole run; both
  // number the first record 1.
  int32_t LineNo = 0;
  int32_t LineThrough = 1;
  int32_t ColumnCounter = 1;
  int32_t SavedXAdjust = 0;
  int32_t NewPageRequests = 0;
  int32_t NewColumnRequests = 0;
  bool KeepPosition = false;
  bool SkipScriptOnce = false;
  bool SkipAggregatesOnce = false;
  // Set while a placement may split the band over pages.
  bool SplitFlag = false;
  // CalculatedHeight holds this placement's stretched height.
  bool heightKnown = false;

  // The objects lying on the band, in page order, with Y relative to it.
  std::vector<TfrView*> Objects;

  // A cross-tab cell: an object of a cross band (a vertical band) that lies
  // across this band. It is written once per cross column for the cross data
  // band, once before the columns for the cross header and once after them
  // for the cross footer.
  struct CrossCell {
    TfrBand* Cross;
    TfrView* View;
    int32_t Top;  // relative to this band
  };
  std::vector<CrossCell> CrossCells;
  // The data set whose records are this band's cross columns, when the cross
  // data band names one for it; else the cross data band's own.
  TfrDataset* CrossDataSet = nullptr;
  bool HasCrossObjects() const { return !CrossCells.empty(); }

  // The band of objects that lie on no band is present when it has any.
  bool IsPresent() const { return View != nullptr || (Type == btNone && !Objects.empty()); }
  bool IsDataBand() const {
    return Type == btMasterData || Type == btDetailData || Type == btSubDetailData ||
           Type == btCrossData;
  }
  bool IsMultiColumn() const { return Columns > 1 && NewColumnAfter == 1; }
  // The flags of the band view, read once at page initialisation.
  void ReadView(const TfrBandView& view, bool pageSkipped);
};

}  // namespace orv
