// CSV reader: any bytes give a table or orv::Error, never a crash. Where the
// text is plain ASCII, writing the table back fully quoted and reading it
// again gives the same table (the quoting rules undo each other).
#include <algorithm>
#include <cstring>
#include <memory>
#include <span>
#include <string>

#include "engine/csv_dataset.h"
#include "platform/error.h"

using namespace orv;

namespace {

std::string quoted(std::string_view field) {
  std::string out = "\"";
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

std::string write(const CsvTable& t, int columns) {
  std::string out;
  for (size_t c = 0; c < t.header().size(); ++c) out += (c ? "," : "") + quoted(t.header()[c]);
  out += "\r\n";
  for (int64_t r = 0; r < t.rowCount(); ++r) {
    // Trailing empty fields of a ragged row cannot be told from missing ones.
    int last = 0;
    for (int c = 0; c < columns; ++c)
      if (!t.field(r, c).empty()) last = c;
    for (int c = 0; c <= last; ++c) out += (c ? "," : "") + quoted(t.field(r, c));
    out += "\r\n";
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto copy = std::make_unique<uint8_t[]>(size ? size : 1);
  if (size) std::memcpy(copy.get(), data, size);
  const std::span<const uint8_t> bytes(copy.get(), size);
  CsvTable t;
  try {
    t = CsvTable::parse(bytes);
  } catch (const Error&) {
    return 0;
  }
  if (t.rowCount() > int64_t(size)) __builtin_trap();
  const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b < 0x80; });
  if (!ascii || t.header().empty() || size > 4096) return 0;
  const int columns = 64;
  const std::string again = write(t, columns);
  const CsvTable u =
      CsvTable::parse(std::span(reinterpret_cast<const uint8_t*>(again.data()), again.size()));
  if (u.header() != t.header() || u.rowCount() != t.rowCount()) __builtin_trap();
  for (int64_t r = 0; r < t.rowCount(); ++r)
    for (int c = 0; c < columns; ++c)
      if (u.field(r, c) != t.field(r, c)) __builtin_trap();
  return 0;
}
