#pragma once
#include <QDate>
#include <QDateTime>
#include <QStringView>
#include <QTime>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/component.h"
#include "model/stream.h"
#include "model/variant.h"
#include "platform/graphic.h"

namespace orv {

// What a database field holds. The binary kinds are the ones a picture or a
// memo may be fed from as a whole (blob detection), whatever their content.
enum class FieldKind : uint8_t {
  Unknown,
  String,
  Integer,
  Boolean,
  Float,
  DateTime,
  Blob,
  Memo,
  Graphic,
  FmtMemo,
  ParadoxOle,
  DBaseOle,
  TypedBinary,
};

bool isBlobKind(FieldKind kind);

struct DbField {
  std::string Name;  // 8-bit text, as the model's strings are
  FieldKind Kind = FieldKind::Unknown;
};

// A saved cursor position: the row number. Rows never move while a data set
// is open, so a row number is all a bookmark needs to be.
using DbBookmark = int64_t;

// The database data set: rows of a query or of a file behind a cursor that
// moves forward and back. After the last row is a position of its own: Next
// past the last row gives Eof, and Prior from there comes back to the last
// row, so a footer that steps back sees the record it belongs to. At Eof the
// fields still read the last row. Prior on the first row stays there.
class DbDataSet : public TfrComponent {
 public:
  using TfrComponent::TfrComponent;

  // Opening runs the query or reads the file; failures are orv::Error texts
  // that name the data set and give the database's own reason.
  void Open();
  void Close();
  bool Active() const { return active_; }

  void First();
  void Next();
  // Stays on the first row (and sets Bof) when there is none before it.
  void Prior();
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  // 0-based row of the cursor; the row count when at Eof.
  int64_t RecNo() const { return row_; }
  bool IsEmpty();

  const std::vector<DbField>& Fields() const { return fields_; }
  // Case-insensitive; -1 when there is no such field.
  int FieldIndex(std::string_view name) const;
  // Null for a Null field and when there is no current row. Reading may
  // move the source back onto the row the cursor shows.
  Variant FieldValue(int index);
  bool FieldIsNull(int index);
  // The field's content as bytes: a blob's data, a text's 8-bit form.
  std::vector<uint8_t> FieldBytes(int index);

  DbBookmark GetBookmark() const { return row_; }
  // Returns to a saved row; a row that no longer exists gives Eof.
  void GotoBookmark(DbBookmark bookmark);
  void FreeBookmark(DbBookmark) {}
  static int CompareBookmarks(DbBookmark a, DbBookmark b) { return a < b ? -1 : a > b ? 1 : 0; }

  // The error texts of this layer: the data set's name, then the reason.
  [[noreturn]] void fail(const std::string& reason) const;

 protected:
  // Opens the source and fills `fields`; throws orv::Error with the reason.
  virtual void doOpen(std::vector<DbField>& fields) = 0;
  virtual void doClose() = 0;
  // Makes `row` current; false when the data set has no such row.
  virtual bool fetch(int64_t row) = 0;
  // The current row's field (after a successful fetch).
  virtual Variant value(int index) const = 0;
  virtual std::vector<uint8_t> bytes(int index) const = 0;

 private:
  void requireActive() const;
  bool readable(int index);

  std::vector<DbField> fields_;
  int64_t row_ = 0;
  int64_t fetched_ = -1;  // the row the source has current, -1 none
  bool active_ = false;
  bool eof_ = true;
  bool bof_ = true;
};

// A data set given through a data source: the source is what a report data
// set names when the data set behind it may be exchanged.
class DbDataSource : public TfrComponent {
 public:
  using TfrComponent::TfrComponent;
  ~DbDataSource() override;
  DbDataSet* DataSet() const { return dataSet_; }
  void setDataSet(DbDataSet* dataSet);

 protected:
  void Notification(TfrComponent* gone) override;

 private:
  DbDataSet* dataSet_ = nullptr;
};

// The field names of a data set; a data set that cannot be opened lists none.
StringList fieldNames(DbDataSet& dataSet);
// Copies a blob (or any) field into a stream, which is rewound afterwards.
void copyBlobToStream(DbDataSet& dataSet, int field, MemoryStream& stream);
// Loads a blob field into a picture, recognising the image by its bytes; a
// Null field gives the empty picture. Throws orv::Error when the bytes are no
// image of a known kind.
Graphic copyBlobToGraphic(DbDataSet& dataSet, int field);

// Text from the database or a file in the model's 8-bit Windows-1252 form;
// characters the code page lacks become '?'.
std::string toModelText(QStringView text);

// Dates as the values carry them: days since 30 December 1899, the fraction
// being the time of day.
double toDateTimeValue(const QDate& date);
double toDateTimeValue(const QDateTime& dateTime);
double toDateTimeValue(const QTime& time);

}  // namespace orv
