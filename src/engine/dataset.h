#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "engine/component.h"
#include "engine/db_dataset.h"
#include "engine/engine_error.h"
#include "model/view.h"
#include "platform/error.h"

namespace orv {

// Raised by a report data set that has nothing to read from.
class EDSError : public EngineError {
 public:
  using EngineError::EngineError;
};

enum TfrRangeBegin : uint8_t { rbFirst = 0, rbCurrent = 1 };
enum TfrRangeEnd : uint8_t { reLast = 0, reCurrent = 1, reCount = 2 };

// A report data set: the record cursor a data band walks. The base class
// counts records and asks its hooks to move the user's own cursor; with
// reCount it is a band that repeats RangeEndCount times.
class TfrDataset : public TfrComponent {
 public:
  using TfrComponent::TfrComponent;

  TfrRangeBegin RangeBegin = rbFirst;
  TfrRangeEnd RangeEnd = reLast;
  int32_t RangeEndCount = 0;
  // 0 at the first record.
  int32_t RecNo = 0;

  std::function<void(TfrDataset&)> OnFirst;
  std::function<void(TfrDataset&)> OnNext;
  std::function<void(TfrDataset&)> OnPrior;
  // Gets the end flag computed so far and may change it.
  std::function<void(TfrDataset&, bool&)> OnCheckEOF;

  virtual void Init() {}
  virtual void Exit() {}
  virtual void First();
  virtual void Next();
  virtual void Prior();
  virtual bool Eof();
};

// The data set a report's own events drive: the fields above are all it has.
class TfrUserDataset : public TfrDataset {
 public:
  using TfrDataset::TfrDataset;
};

// A report data set bound to a database data set, given directly or through
// a data source (whose data set wins when both are set).
class TfrDBDataSet : public TfrDataset {
 public:
  using TfrDataset::TfrDataset;
  ~TfrDBDataSet() override;

  DbDataSet* DataSet() const { return dataSet_; }
  void setDataSet(DbDataSet* dataSet);
  DbDataSource* DataSource() const { return dataSource_; }
  void setDataSource(DbDataSource* dataSource);

  // Open the database data set on Init; close it again on Exit.
  bool OpenDataSource = true;
  bool CloseDataSource = false;
  std::function<void(TfrDataset&)> OnOpen;
  std::function<void(TfrDataset&)> OnClose;

  // The database data set behind this one: through DataSource first, then
  // DataSet. Raises EDSError when there is none.
  DbDataSet& GetDataSet() const;

  void Init() override;
  void Exit() override;
  void First() override;
  void Next() override;
  void Prior() override;
  bool Eof() override;

 protected:
  void Notification(TfrComponent* gone) override;

 private:
  DbDataSet* dataSet_ = nullptr;
  DbDataSource* dataSource_ = nullptr;
  std::optional<DbBookmark> bookmark_;
  bool eof_ = false;
};

// A field of a report data set: only database-bound data sets have fields.
// Null data set and -1 when `dataset` has no field of that name. Opens the
// database data set when it is closed; its errors propagate.
struct DatasetField {
  DbDataSet* dataSet = nullptr;
  int index = -1;
};
DatasetField findDatasetField(TfrDataset* dataset, std::string_view fieldName);

// The first step before a view bound to a database field is printed: its
// BlobSourceSet's field named BlobSourceField goes to its LoadBlob. False
// (and nothing loaded) when the view is bound to no such field.
bool loadBlobField(TfrView& view);

}  // namespace orv
