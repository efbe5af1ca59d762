#include "model/stream.h"

#include <gtest/gtest.h>

#include "model/record_writer.h"

namespace orv {
namespace {

std::vector<uint8_t> bytesOf(std::initializer_list<int> v) {
  std::vector<uint8_t> out;
  for (int b : v) out.push_back(uint8_t(b));
  return out;
}

TEST(StreamTest, IntegersAreLittleEndianAndShortReadsFail) {
  MemoryStream s;
  s.writeU16(0x1234);
  s.writeI32(-2);
  s.writeF32(0.5f);
  EXPECT_EQ(s.bytes(), bytesOf({0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0x3F}));
  s.rewind();
  EXPECT_EQ(s.readU16(), 0x1234);
  EXPECT_EQ(s.readI32(), -2);
  EXPECT_EQ(s.readF32(), 0.5f);
  EXPECT_THROW(s.readU8(), StreamError);
  s.seek(8);
  try {
    s.readI32("page count");
    FAIL();
  } catch (const StreamError& e) {
    EXPECT_STREQ(e.what(), "unexpected end of data reading page count at offset 8");
  }
  EXPECT_EQ(s.position(), 8u);  // a failed read consumes nothing
  EXPECT_THROW(s.seek(11), StreamError);
}

TEST(StreamTest, StringsInBothForms) {
  MemoryStream s;
  writeString(s, "Olá");
  EXPECT_EQ(s.bytes(), bytesOf({4, 0, 'O', 'l', 0xC3, 0xA1, 0}));
  s.rewind();
  EXPECT_EQ(readString(s, 23), "Olá");
  EXPECT_TRUE(s.atEnd());

  MemoryStream old(bytesOf({'a', 'b', 0, 'c', 0}));
  EXPECT_EQ(readString(old, 22), "ab");
  EXPECT_EQ(readString(old, 22), "c");
  MemoryStream unterminated(bytesOf({'a', 'b'}));
  EXPECT_THROW(readString(unterminated, 22), StreamError);
  MemoryStream tooLong(bytesOf({9, 0, 'a'}));
  EXPECT_THROW(readString(tooLong, 25), StreamError);
}

TEST(StreamTest, StringListsInTheCurrentForm) {
  MemoryStream s;
  writeStringList(s, {});
  EXPECT_EQ(s.bytes(), bytesOf({0, 0, 0}));
  s.clear();
  writeStringList(s, {"ab", "", "c"});
  EXPECT_EQ(s.bytes(), bytesOf({3, 0, 2, 0, 'a', 'b', 13, 0, 0, 13, 1, 0, 'c', 0}));
  s.rewind();
  EXPECT_EQ(readStringList(s, 25), (StringList{"ab", "", "c"}));
  EXPECT_TRUE(s.atEnd());

  // The count is only tested for zero: lines run to the 0 separator.
  MemoryStream wrongCount(bytesOf({9, 0, 1, 0, 'x', 13, 1, 0, 'y', 0}));
  EXPECT_EQ(readStringList(wrongCount, 24), (StringList{"x", "y"}));
  MemoryStream noEnd(bytesOf({1, 0, 1, 0, 'x', 13}));
  EXPECT_THROW(readStringList(noEnd, 24), StreamError);
}

TEST(StreamTest, StringListsInTheOldForm) {
  MemoryStream s(bytesOf({'a', 13, 13, 'b', 13, 0, 0}));
  EXPECT_EQ(readStringList(s, 20), (StringList{"a", "", "b"}));  // no line after the last CR
  EXPECT_EQ(readStringList(s, 20), StringList{});
  EXPECT_EQ(splitLines("x\r"), StringList{"x"});
  EXPECT_EQ(splitLines("\r"), StringList{""});
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

TEST(StreamTest, ARecordGatheredInPiecesHasTheBytesOfOneWritePerField) {
  // Texts around the gathering buffer's size and past the 16-bit length,
  // between fixed fields, written after bytes already in the stream.
  MemoryStream gathered, direct;
  gathered.writeU8(7);
  direct.writeU8(7);
  auto text16 = [&](std::string_view t, uint8_t end) {
    const uint16_t cut = uint16_t(std::min<size_t>(t.size(), 0xFFFF));
    direct.writeU16(cut);
    direct.write(t.data(), cut);
    direct.writeU8(end);
  };
  RecordWriter w(gathered);
  for (size_t n : {0, 1, 200, 239, 240, 241, 470, 479, 480, 481, 1000, 70000}) {
    const std::string text(n, char('a' + n % 26));
    w.i32(-int32_t(n));
    w.string(text);
    w.u8(uint8_t(n));
    w.stringList({text, "", text.substr(0, n / 2)});
    w.u16(uint16_t(n));
    w.fields(uint8_t(n), int32_t(n * 3), uint16_t(n + 1));
    direct.writeI32(-int32_t(n));
    text16(text, 0);
    direct.writeU8(uint8_t(n));
    direct.writeU16(3);
    text16(text, 13);
    text16("", 13);
    text16(text.substr(0, n / 2), 0);
    direct.writeU16(uint16_t(n));
    direct.writeU8(uint8_t(n));
    direct.writeI32(int32_t(n * 3));
    direct.writeU16(uint16_t(n + 1));
  }
  w.flush();
  EXPECT_EQ(gathered.size(), direct.size());
  EXPECT_TRUE(gathered.bytes() == direct.bytes());

  // A byte written inside the stream replaces the one there; at the end it is added.
  gathered.seek(0);
  gathered.writeU8(9);
  EXPECT_EQ(gathered.size(), direct.size());
  EXPECT_EQ(gathered.bytes()[0], 9);
  gathered.seek(gathered.size());
  gathered.writeU8(5);
  EXPECT_EQ(gathered.size(), direct.size() + 1);
  EXPECT_EQ(gathered.bytes().back(), 5);
}

}  // namespace
}  // namespace orv
