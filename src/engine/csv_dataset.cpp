#include "engine/csv_dataset.h"

#include <QFile>
#include <QStringDecoder>
#include <limits>

#include "model/text_util.h"
#include "platform/codepage.h"
#include "platform/error.h"

namespace orv {

namespace {

// Field offsets are 32-bit; a larger file is no table a report reads.
constexpr uint64_t kMaxCsvBytes = std::numeric_limits<uint32_t>::max() / 2;

std::string decodeToModel(std::span<const uint8_t> b) {
  const auto* chars = reinterpret_cast<const char*>(b.data());
  auto convert = [&](QStringDecoder::Encoding enc, size_t skip) {
    QStringDecoder dec(enc, QStringDecoder::Flag::Stateless);
    const QString text = dec(QByteArrayView(chars + skip, qsizetype(b.size() - skip)));
    return toModelText(text);
  };
  if (b.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
    return convert(QStringDecoder::Utf8, 3);
  if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) return convert(QStringDecoder::Utf16LE, 2);
  if (b.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF) return convert(QStringDecoder::Utf16BE, 2);
  bool ascii = true;
  for (uint8_t c : b)
    if (c >= 0x80) {
      ascii = false;
      break;
    }
  if (!ascii) {
    // Without a mark, text that is valid UTF-8 is taken as UTF-8: Windows-1252
    // text almost never forms valid multi-byte sequences by chance.
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = dec(QByteArrayView(chars, qsizetype(b.size())));
    if (!dec.hasError()) return toModelText(text);
  }
  return std::string(chars, b.size());
}

// The separator the header uses most, outside quotes.
char detectSeparator(std::string_view text) {
  size_t comma = 0, semicolon = 0, tab = 0;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '\r' || c == '\n') break;
    if (c == ',') ++comma;
    if (c == ';') ++semicolon;
    if (c == '\t') ++tab;
  }
  if (semicolon > comma && semicolon >= tab) return ';';
  if (tab > comma && tab > semicolon) return '\t';
  return ',';
}

}  // namespace

CsvTable CsvTable::parse(std::span<const uint8_t> bytes) {
  if (bytes.size() > kMaxCsvBytes) throw Error("the CSV file is too large");
  const std::string text = decodeToModel(bytes);
  if (text.size() > kMaxCsvBytes) throw Error("the CSV file is too large");
  CsvTable t;
  t.separator_ = detectSeparator(text);
  t.text_.reserve(text.size());
  const char sep = t.separator_;

  std::vector<uint32_t> ends;  // of the record being read
  std::vector<std::string> headerFields;
  bool inHeader = true;
  bool recordHasContent = false;
  bool atFieldStart = true;
  auto endField = [&] {
    ends.push_back(static_cast<uint32_t>(t.text_.size()));
    atFieldStart = true;
  };
  auto endRecord = [&] {
    atFieldStart = true;
    // A line with nothing on it is no record.
    if (!recordHasContent) return;
    endField();
    if (inHeader) {
      uint32_t start = 0;
      for (uint32_t e : ends) {
        headerFields.emplace_back(t.text_.data() + start, e - start);
        start = e;
      }
      t.text_.clear();
      inHeader = false;
    } else {
      t.rowStart_.push_back(t.end_.size());
      t.end_.insert(t.end_.end(), ends.begin(), ends.end());
    }
    ends.clear();
    recordHasContent = false;
  };

  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    const char c = text[i];
    if (c == '"' && atFieldStart) {
      // A quoted field: up to the closing quote, "" being one quote.
      recordHasContent = true;
      atFieldStart = false;
      ++i;
      bool closed = false;
      while (i < n && !closed) {
        if (text[i] == '"') {
          if (i + 1 < n && text[i + 1] == '"') {
            t.text_ += '"';
            i += 2;
            continue;
          }
          ++i;
          closed = true;
        } else {
          t.text_ += text[i++];
        }
      }
      // A file cut short in a quoted field would otherwise end in a last
      // record that swallowed the rest of the file without a word.
      if (!closed)
        throw Error("the CSV file ends inside a quoted field of record " +
                    std::to_string(t.rowStart_.size() + 1));
    } else if (c == sep) {
      recordHasContent = true;
      endField();
      ++i;
    } else if (c == '\r' || c == '\n') {
      endRecord();
      i += (c == '\r' && i + 1 < n && text[i + 1] == '\n') ? 2 : 1;
    } else {
      recordHasContent = true;
      atFieldStart = false;
      t.text_ += c;
      ++i;
    }
  }
  // A last record with fewer fields than the header and no line end is a
  // file cut short, not a short row.
  if (recordHasContent && !inHeader && ends.size() + 1 < headerFields.size())
    throw Error("the CSV file ends in the middle of record " +
                std::to_string(t.rowStart_.size() + 1) + " (" + std::to_string(ends.size() + 1) +
                " of " + std::to_string(headerFields.size()) + " fields)");
  endRecord();
  t.rowStart_.push_back(t.end_.size());

  for (size_t k = 0; k < headerFields.size(); ++k) {
    // Names are looked up, not printed: blanks around them ("id, name")
    // would only make a field impossible to find.
    std::string_view trimmed = headerFields[k];
    while (!trimmed.empty() && uint8_t(trimmed.front()) <= ' ') trimmed.remove_prefix(1);
    while (!trimmed.empty() && uint8_t(trimmed.back()) <= ' ') trimmed.remove_suffix(1);
    std::string name(trimmed);
    if (name.empty()) name = "Field" + std::to_string(k + 1);
    t.header_.push_back(std::move(name));
  }
  return t;
}

std::string_view CsvTable::field(int64_t row, int column) const {
  if (row < 0 || row >= rowCount() || column < 0) return {};
  const size_t first = rowStart_[size_t(row)];
  const size_t count = rowStart_[size_t(row) + 1] - first;
  if (size_t(column) >= count) return {};
  const size_t k = first + size_t(column);
  const uint32_t start = k == 0 ? 0 : end_[k - 1];
  return std::string_view(text_).substr(start, end_[k] - start);
}

CsvDataSet::CsvDataSet(std::string name, std::string path)
    : DbDataSet(std::move(name)), path_(std::move(path)) {}

void CsvDataSet::doOpen(std::vector<DbField>& fields) {
  QFile file(QString::fromLocal8Bit(path_.c_str()));
  if (!file.open(QIODevice::ReadOnly))
    fail("cannot read \"" + path_ + "\": " + toModelText(file.errorString()));
  if (uint64_t(file.size()) > kMaxCsvBytes) fail("\"" + path_ + "\" is too large for a CSV table");
  const QByteArray data = file.readAll();
  try {
    table_ = CsvTable::parse(
        std::span(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size())));
  } catch (const Error& e) {
    fail(e.what());
  }
  for (const std::string& name : table_.header()) fields.push_back({name, FieldKind::String});
  row_ = -1;
}

void CsvDataSet::doClose() {
  table_ = CsvTable();
  row_ = -1;
}

bool CsvDataSet::fetch(int64_t row) {
  if (row < 0 || row >= table_.rowCount()) return false;
  row_ = row;
  return true;
}

Variant CsvDataSet::value(int index) const {
  return Variant(table_.field(row_, index));
}

std::vector<uint8_t> CsvDataSet::bytes(int index) const {
  const std::string_view f = table_.field(row_, index);
  return std::vector<uint8_t>(f.begin(), f.end());
}

}  // namespace orv
