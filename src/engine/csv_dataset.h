#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/db_dataset.h"

namespace orv {

// A CSV file read whole: the first record names the fields (blanks around a
// name do not count; a missing name becomes FieldN), every further record is
// a row. Quoting follows RFC 4180 (fields in double quotes may hold
// separators, line breaks and doubled quotes), leniently: a stray quote in an
// unquoted field is kept as it is and an unterminated quote runs to the end.
// Records end at CR LF, LF or CR. The separator is the comma, or the
// semicolon or tab when the header has more of those (spreadsheets set up for
// Portuguese write semicolons). The text is UTF-8 or UTF-16 when it starts
// with a byte-order mark or is valid UTF-8 with non-ASCII characters, else
// Windows-1252; it is kept in the model's 8-bit Windows-1252 form.
class CsvTable {
 public:
  static CsvTable parse(std::span<const uint8_t> bytes);

  const std::vector<std::string>& header() const { return header_; }
  int64_t rowCount() const { return static_cast<int64_t>(rowStart_.size()) - 1; }
  // Missing fields of a short row read as empty; extra ones are kept but
  // have no name.
  std::string_view field(int64_t row, int column) const;
  char separator() const { return separator_; }

 private:
  std::vector<std::string> header_;
  std::string text_;              // every field's text, one after the other
  std::vector<uint32_t> end_;     // end of each field in text_
  std::vector<size_t> rowStart_;  // first field of each row in end_, plus the end
  char separator_ = ',';
};

// A CSV file as a database data set; every field is text.
class CsvDataSet : public DbDataSet {
 public:
  CsvDataSet(std::string name, std::string path);
  const std::string& Path() const { return path_; }

 protected:
  void doOpen(std::vector<DbField>& fields) override;
  void doClose() override;
  bool fetch(int64_t row) override;
  Variant value(int index) const override;
  std::vector<uint8_t> bytes(int index) const override;

 private:
  std::string path_;
  CsvTable table_;
  int64_t row_ = -1;
};

}  // namespace orv
