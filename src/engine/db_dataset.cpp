#include "engine/db_dataset.h"

#include "model/text_util.h"
#include "platform/codepage.h"

namespace orv {

bool isBlobKind(FieldKind kind) {
  switch (kind) {
    case FieldKind::Blob:
    case FieldKind::Memo:
    case FieldKind::Graphic:
    case FieldKind::FmtMemo:
    case FieldKind::ParadoxOle:
    case FieldKind::DBaseOle:
    case FieldKind::TypedBinary:
      return true;
    default:
      return false;
  }
}

void DbDataSet::fail(const std::string& reason) const {
  throw Error("data set \"" + Name + "\": " + reason);
}

void DbDataSet::Open() {
  if (active_) return;
  std::vector<DbField> fields;
  doOpen(fields);
  fields_ = std::move(fields);
  active_ = true;
  fetched_ = -1;
  row_ = 0;
  bof_ = true;
  eof_ = !fetch(0);
  if (!eof_) fetched_ = 0;
}

void DbDataSet::Close() {
  if (!active_) return;
  doClose();
  active_ = false;
  fields_.clear();
  fetched_ = -1;
  row_ = 0;
  eof_ = bof_ = true;
}

void DbDataSet::requireActive() const {
  if (!active_) fail("the data set is not open");
}

void DbDataSet::First() {
  requireActive();
  row_ = 0;
  bof_ = true;
  eof_ = !fetch(0);
  fetched_ = eof_ ? -1 : 0;
}

void DbDataSet::Next() {
  requireActive();
  bof_ = false;
  if (eof_) return;
  if (fetch(row_ + 1)) {
    fetched_ = ++row_;
  } else {
    // The position after the last row; the fields keep reading the last one.
    fetched_ = -1;
    ++row_;
    eof_ = true;
  }
}

void DbDataSet::Prior() {
  requireActive();
  if (row_ <= 0) {
    bof_ = true;
    return;
  }
  if (!fetch(row_ - 1)) fail("cannot move back to row " + std::to_string(row_));
  fetched_ = --row_;
  eof_ = false;
  bof_ = false;
}

bool DbDataSet::IsEmpty() {
  requireActive();
  return eof_ && row_ == 0;
}

void DbDataSet::GotoBookmark(DbBookmark bookmark) {
  requireActive();
  bof_ = false;
  if (bookmark >= 0 && fetch(bookmark)) {
    fetched_ = row_ = bookmark;
    eof_ = false;
    return;
  }
  // The row is not there (any more): stand after the last row that is, so
  // that stepping back works as after reading to the end. Bookmarks come
  // from GetBookmark, so this walks back over a few rows at most.
  fetched_ = -1;
  eof_ = true;
  row_ = std::max<DbBookmark>(bookmark, 0);
  while (row_ > 0 && !fetch(row_ - 1)) --row_;
}

int DbDataSet::FieldIndex(std::string_view name) const {
  for (size_t i = 0; i < fields_.size(); ++i)
    if (sameText(fields_[i].Name, name)) return static_cast<int>(i);
  return -1;
}

bool DbDataSet::readable(int index) {
  if (!active_ || index < 0 || index >= static_cast<int>(fields_.size())) return false;
  const int64_t want = eof_ ? row_ - 1 : row_;
  if (want < 0) return false;
  if (fetched_ != want) {
    if (!fetch(want)) return false;
    fetched_ = want;
  }
  return true;
}

Variant DbDataSet::FieldValue(int index) {
  // Reports read many fields of the row the cursor stands on.
  if (!eof_ && fetched_ == row_ && fetched_ >= 0 && index >= 0 && size_t(index) < fields_.size())
    return value(index);
  return readable(index) ? value(index) : Variant::null();
}

bool DbDataSet::FieldIsNull(int index) {
  return FieldValue(index).isNull();
}

std::vector<uint8_t> DbDataSet::FieldBytes(int index) {
  return readable(index) ? bytes(index) : std::vector<uint8_t>();
}

DbDataSource::~DbDataSource() = default;

void DbDataSource::setDataSet(DbDataSet* dataSet) {
  relink(dataSet_, dataSet);
}

void DbDataSource::Notification(TfrComponent* gone) {
  if (gone == dataSet_) dataSet_ = nullptr;
}

StringList fieldNames(DbDataSet& dataSet) {
  StringList names;
  try {
    dataSet.Open();
    for (const DbField& f : dataSet.Fields()) names.push_back(f.Name);
  } catch (const Error&) {
    // A data set that cannot be opened simply offers no fields.
  }
  return names;
}

void copyBlobToStream(DbDataSet& dataSet, int field, MemoryStream& stream) {
  const std::vector<uint8_t> b = dataSet.FieldBytes(field);
  stream.clear();
  stream.write(b.data(), b.size());
  stream.rewind();
}

Graphic copyBlobToGraphic(DbDataSet& dataSet, int field) {
  if (dataSet.FieldIsNull(field)) return Graphic();
  const std::vector<uint8_t> b = dataSet.FieldBytes(field);
  if (b.empty()) return Graphic();
  std::optional<Graphic> g = Graphic::recognise(b);
  if (!g) dataSet.fail("the field holds no picture of a known kind");
  return *g;
}

std::string toModelText(QStringView text) {
  return encodeText(text, 1252);
}

namespace {
// QDate's Julian day of 30 December 1899, the day the values count from.
constexpr qint64 kDayZero = 2415019;
}  // namespace

double toDateTimeValue(const QDate& date) {
  return static_cast<double>(date.toJulianDay() - kDayZero);
}

double toDateTimeValue(const QTime& time) {
  return time.isValid() ? time.msecsSinceStartOfDay() / 86400000.0 : 0.0;
}

double toDateTimeValue(const QDateTime& dateTime) {
  // Before day zero the fraction still counts forward from midnight, the
  // way the day-count values have always been read: -1.25 is 29 December
  // 1899, 06:00. Keeping the sign on both parts does that.
  const double days = toDateTimeValue(dateTime.date());
  const double time = toDateTimeValue(dateTime.time());
  return days < 0 ? days - time : days + time;
}

}  // namespace orv
