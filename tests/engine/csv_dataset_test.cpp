#include "engine/csv_dataset.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "engine/data_components.h"
#include "engine/data_connection.h"
#include "engine/data_test_util.h"

namespace orv {
namespace {

CsvTable parse(std::string_view text) {
  return CsvTable::parse(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

std::vector<std::string> row(const CsvTable& t, int64_t r, int columns) {
  std::vector<std::string> out;
  for (int c = 0; c < columns; ++c) out.emplace_back(t.field(r, c));
  return out;
}

using Row = std::vector<std::string>;

TEST(CsvTable, QuotingFollowsRfc4180) {
  const CsvTable t = parse(
      "id,name,note\r\n"
      "1,\"Silva, Ana\",\"she said \"\"hi\"\"\"\r\n"
      "2,\"two\r\nlines\",\r\n"
      "3,plain \"quote\" inside,\"\"\r\n");
  EXPECT_EQ(t.header(), (Row{"id", "name", "note"}));
  ASSERT_EQ(t.rowCount(), 3);
  EXPECT_EQ(row(t, 0, 3), (Row{"1", "Silva, Ana", "she said \"hi\""}));
  EXPECT_EQ(row(t, 1, 3), (Row{"2", "two\r\nlines", ""}));
  EXPECT_EQ(row(t, 2, 3), (Row{"3", "plain \"quote\" inside", ""}));
}

TEST(CsvTable, LineEndsBlankLinesAndRaggedRows) {
  const CsvTable t = parse("a,b\n1,2\r\rx\n\n3,4,5\n6,7");
  EXPECT_EQ(t.header(), (Row{"a", "b"}));
  ASSERT_EQ(t.rowCount(), 4);
  EXPECT_EQ(row(t, 0, 2), (Row{"1", "2"}));
  EXPECT_EQ(row(t, 1, 2), (Row{"x", ""}));  // a short row reads empty fields
  EXPECT_EQ(row(t, 2, 3), (Row{"3", "4", "5"}));
  EXPECT_EQ(row(t, 3, 2), (Row{"6", "7"}));  // no line break after the last record
  EXPECT_EQ(t.field(9, 0), "");
  EXPECT_EQ(t.field(0, -1), "");

  EXPECT_EQ(parse("").rowCount(), 0);
  EXPECT_EQ(parse("only,a,header\r\n").rowCount(), 0);
  EXPECT_EQ(parse(", x ,\t").header(), (Row{"Field1", "x", "Field3"}));
}

// A file cut short (a copy that stopped, a disk that filled) is refused with
// the record where it stops, rather than read as a shorter table.
TEST(CsvTable, AFileCutShortIsRefused) {
  auto reason = [](std::string_view text) {
    try {
      parse(text);
    } catch (const Error& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  EXPECT_EQ(reason("a\n\"never closed,\nstill"),
            "the CSV file ends inside a quoted field of record 1");
  EXPECT_EQ(reason("a,b\n1,2\n3,\""), "the CSV file ends inside a quoted field of record 2");
  EXPECT_EQ(reason("a,b,c\n1,2,3\n4,5"),
            "the CSV file ends in the middle of record 2 (2 of 3 fields)");
  // Short rows inside the file, and a short last row that has its line end,
  // are rows of their own.
  EXPECT_EQ(reason("a,b,c\n1\n4,5\n"), "accepted");
  EXPECT_EQ(reason("\"a\",\"b\"\n\"1\",\"2\""), "accepted");
}

TEST(CsvTable, SeparatorFollowsTheHeader) {
  const CsvTable semi = parse("nome;valor\n\"a;b\";1,5\n");
  EXPECT_EQ(semi.separator(), ';');
  EXPECT_EQ(row(semi, 0, 2), (Row{"a;b", "1,5"}));
  EXPECT_EQ(parse("a\tb\n1\t2\n").separator(), '\t');
  EXPECT_EQ(parse("\"x;y\",z\n").separator(), ',');  // quoted ones do not count
}

TEST(CsvTable, TextIsKeptAsWindows1252) {
  // "Ação" with a UTF-8 byte-order mark, in UTF-8 without one, in
  // Windows-1252, and in UTF-16 with a mark.
  const std::string expected = "A\xE7\xE3o";
  EXPECT_EQ(parse("\xEF\xBB\xBFn\nA\xC3\xA7\xC3\xA3o\n").field(0, 0), expected);
  EXPECT_EQ(parse("\xEF\xBB\xBFn\nA\xC3\xA7\xC3\xA3o\n").header()[0], "n");
  EXPECT_EQ(parse("n\nA\xC3\xA7\xC3\xA3o\n").field(0, 0), expected);
  EXPECT_EQ(parse("n\nA\xE7\xE3o\n").field(0, 0), expected);
  const std::string utf16("\xFF\xFEn\0\n\0A\0\xE7\0\xE3\0o\0", 14);
  EXPECT_EQ(parse(utf16).field(0, 0), expected);
  // A character Windows-1252 lacks becomes '?'.
  EXPECT_EQ(parse("\xEF\xBB\xBFn\n\xE2\x82\xAC\xE2\x86\x92\n").field(0, 0), "\x80?");
}

TEST(CsvDataSet, AFileIsADataSetOfTexts) {
  QTemporaryDir dir;
  const std::string path =
      writeTestFile(dir, "clientes.csv", "Nome,Cidade\r\nAna,Recife\r\nBruno,\"S\xE3o Paulo\"\r\n");
  ASSERT_FALSE(path.empty());
  TfrDataComponents components;
  TfrDBDataSet& ds = addDatasetDefinition(components, "Clientes=csv:" + path, nullptr);
  ds.Init();
  DbDataSet& rows = ds.GetDataSet();
  ASSERT_EQ(rows.Fields().size(), 2u);
  EXPECT_EQ(rows.Fields()[1].Name, "Cidade");
  EXPECT_EQ(rows.Fields()[1].Kind, FieldKind::String);
  ds.First();
  EXPECT_EQ(rows.FieldValue(rows.FieldIndex("cidade")), Variant("Recife"));
  ds.Next();
  EXPECT_EQ(rows.FieldValue(1), Variant("S\xE3o Paulo"));
  ds.Next();
  EXPECT_TRUE(ds.Eof());

  TfrDBDataSet& missing = addDatasetDefinition(components, "Gone=csv:/nonexistent/x.csv", nullptr);
  try {
    missing.Init();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("data set \"Gone\": cannot read"), std::string::npos)
        << e.what();
  }
}

}  // namespace
}  // namespace orv
