#include "engine/dataset.h"

namespace orv {

void TfrDataset::First() {
  RecNo = 0;
  if (OnFirst) OnFirst(*this);
}

void TfrDataset::Next() {
  ++RecNo;
  // A counted data set has no user cursor to move past its last record.
  if (!(RangeEnd == reCount && RecNo >= RangeEndCount) && OnNext) OnNext(*this);
}

void TfrDataset::Prior() {
  --RecNo;
  if (OnPrior) OnPrior(*this);
}

bool TfrDataset::Eof() {
  bool eof = RangeEnd == reCount && RecNo >= RangeEndCount;
  if (OnCheckEOF) OnCheckEOF(*this, eof);
  return eof;
}

TfrDBDataSet::~TfrDBDataSet() = default;

void TfrDBDataSet::setDataSet(DbDataSet* dataSet) {
  relink(dataSet_, dataSet);
}

void TfrDBDataSet::setDataSource(DbDataSource* dataSource) {
  relink(dataSource_, dataSource);
}

void TfrDBDataSet::Notification(TfrComponent* gone) {
  if (gone == dataSet_) dataSet_ = nullptr;
  if (gone == dataSource_) dataSource_ = nullptr;
}

DbDataSet& TfrDBDataSet::GetDataSet() const {
  if (dataSource_ && dataSource_->DataSet()) return *dataSource_->DataSet();
  if (dataSet_) return *dataSet_;
  throw EDSError(EngineProblem(EngineReason::DataSetUnavailable).ofDataSet(Name));
}

void TfrDBDataSet::Init() {
  DbDataSet& ds = GetDataSet();
  if (OpenDataSource) ds.Open();
  if (OnOpen) OnOpen(*this);
  bookmark_.reset();
  if (RangeBegin == rbCurrent || RangeEnd == reCurrent) bookmark_ = ds.GetBookmark();
  eof_ = false;
}

void TfrDBDataSet::Exit() {
  DbDataSet& ds = GetDataSet();
  if (bookmark_) {
    ds.GotoBookmark(*bookmark_);
    ds.FreeBookmark(*bookmark_);
    bookmark_.reset();
  }
  if (OnClose) OnClose(*this);
  if (CloseDataSource) ds.Close();
}

void TfrDBDataSet::First() {
  DbDataSet& ds = GetDataSet();
  if (RangeBegin == rbCurrent && bookmark_)
    ds.GotoBookmark(*bookmark_);
  else
    ds.First();
  eof_ = false;
  TfrDataset::First();
}

void TfrDBDataSet::Next() {
  DbDataSet& ds = GetDataSet();
  eof_ = false;
  if (RangeEnd == reCurrent && bookmark_ &&
      DbDataSet::CompareBookmarks(ds.GetBookmark(), *bookmark_) == 0) {
    eof_ = true;
    return;
  }
  ds.Next();
  TfrDataset::Next();
}

void TfrDBDataSet::Prior() {
  GetDataSet().Prior();
  TfrDataset::Prior();
}

bool TfrDBDataSet::Eof() {
  const bool base = TfrDataset::Eof();
  return base || GetDataSet().Eof() || eof_;
}

DatasetField findDatasetField(TfrDataset* dataset, std::string_view fieldName) {
  auto* db = dynamic_cast<TfrDBDataSet*>(dataset);
  if (!db) return {};
  // A data set that cannot be opened is an error worth seeing, not an
  // unknown name: the message gives the database's reason.
  DbDataSet& ds = db->GetDataSet();
  // The field list is known only once the data set has run its query.
  ds.Open();
  const int index = ds.FieldIndex(fieldName);
  if (index < 0) return {};
  return {&ds, index};
}

bool loadBlobField(TfrView& view) {
  if (!view.BlobSourceSet || view.BlobSourceField.empty()) return false;
  const DatasetField f = findDatasetField(view.BlobSourceSet, view.BlobSourceField);
  if (!f.dataSet) return false;
  const std::vector<uint8_t> bytes = f.dataSet->FieldBytes(f.index);
  view.LoadBlob(BlobField{f.dataSet->FieldIsNull(f.index), bytes});
  return true;
}

}  // namespace orv
