#include <gtest/gtest.h>

#include "engine/data_dictionary.h"
#include "engine/template_test_util.h"
#include "model/view_test_util.h"

namespace orv {
namespace {

using templatetest::Bytes;
using viewtest::ModelStateGuard;

class DictionaryStoreTest : public ::testing::Test {
 protected:
  // Reads a dictionary block followed by one more byte, which must be where
  // the reader stops.
  void load(Bytes b) {
    b.u8(0xAB);
    stream = b.stream();
    dict.LoadFromStream(stream);
    ASSERT_EQ(stream.readU8(), 0xAB) << "the reader stopped elsewhere";
  }
  ModelStateGuard guard{DocumentMode::Designing};
  MemoryStream stream;
  TfrDataDictionary dict;
};

TEST_F(DictionaryStoreTest, CurrentFormStartsWithMinusTwoAndKeepsOrder) {
  dict.Variables.setValue(" Totais", std::string());
  dict.Variables.setValue("Soma", "1 + 2");
  dict.FieldAliases.setValue("Clientes", "Clientes ativos");
  dict.BandDatasources.setValue("MasterData1", "Clientes");
  MemoryStream s;
  dict.SaveToStream(s);
  const Bytes expected = Bytes()
                             .i16(-2)
                             .i32(2)
                             .str(" Totais")
                             .str("")
                             .str("Soma")
                             .str("1 + 2")
                             .i32(1)
                             .str("Clientes")
                             .str("Clientes ativos")
                             .i32(1)
                             .str("MasterData1")
                             .str("Clientes");
  EXPECT_EQ(s.bytes(), expected.b);

  load(expected);
  EXPECT_EQ(dict.Variables.Count(), 2);
  EXPECT_EQ(dict.Variables.nameAt(0), " Totais");
  EXPECT_EQ(dict.Variables.value("SOMA").toString(), "1 + 2");
  EXPECT_EQ(dict.FieldAliases.value("clientes").toString(), "Clientes ativos");
  EXPECT_EQ(dict.BandDatasources.nameAt(0), "MasterData1");
}

TEST_F(DictionaryStoreTest, NamesStoredTheOtherWayRoundAreTurned) {
  // Headings plain, variables marked with a blank: every name is turned.
  load(Bytes()
           .i16(-2)
           .i32(3)
           .str("Totais")
           .str("")
           .str(" Soma")
           .str("1")
           .str(" Media")
           .str("2")
           .i32(0)
           .i32(0));
  EXPECT_EQ(dict.Variables.nameAt(0), " Totais");
  EXPECT_EQ(dict.Variables.nameAt(1), "Soma");
  EXPECT_EQ(dict.Variables.nameAt(2), "Media");
  EXPECT_EQ(dict.Variables.value("media").toString(), "2");
}

TEST_F(DictionaryStoreTest, NamesThatMeetWhenTurnedAreAllTurnedAndStayTurned) {
  // "A" and " A" swap places in the turn; a rename in place would find the
  // other still there and leave both as they were, and every later load
  // would turn the rest again.
  load(Bytes().i16(-2).i32(3).str("A").str("1").str(" A").str("2").str("B").str("3").i32(0).i32(0));
  ASSERT_EQ(dict.Variables.Count(), 3);
  EXPECT_EQ(dict.Variables.nameAt(0), " A");
  EXPECT_EQ(dict.Variables.nameAt(1), "A");
  EXPECT_EQ(dict.Variables.nameAt(2), " B");
  EXPECT_EQ(dict.Variables.value(" a").toString(), "1");
  EXPECT_EQ(dict.Variables.value("a").toString(), "2");
  MemoryStream first;
  dict.SaveToStream(first);
  first.rewind();
  TfrDataDictionary again;
  again.LoadFromStream(first);
  MemoryStream second;
  again.SaveToStream(second);
  EXPECT_EQ(second.bytes(), first.bytes());
}

TEST_F(DictionaryStoreTest, PreviousFormDropsEmptyBandSourcesAndLostDataSets) {
  const Bytes b = Bytes()
                      .i16(-1)
                      .i32(0)
                      .i32(2)
                      .str("Clientes")
                      .str("Clientes ativos")
                      .str("Sumido.Nome")
                      .str("Nome")
                      .i32(2)
                      .str("MasterData1")
                      .str("")
                      .str("MasterData2")
                      .str("Clientes");
  load(b);
  // Without a way to look data sets up, no alias is judged lost.
  EXPECT_EQ(dict.FieldAliases.Count(), 2);
  EXPECT_EQ(dict.BandDatasources.Count(), 1);
  EXPECT_EQ(dict.BandDatasources.nameAt(0), "MasterData2");

  int dummy = 0;
  dict.FindDataset = [&](std::string_view name) -> TfrDataset* {
    return name == "Clientes" ? reinterpret_cast<TfrDataset*>(&dummy) : nullptr;
  };
  load(b);
  ASSERT_EQ(dict.FieldAliases.Count(), 1);
  EXPECT_EQ(dict.FieldAliases.nameAt(0), "Clientes");

  // The current form keeps both.
  Bytes current = b;
  current.b[0] = 0xFE;
  load(current);
  EXPECT_EQ(dict.FieldAliases.Count(), 2);
  EXPECT_EQ(dict.BandDatasources.Count(), 2);
}

TEST_F(DictionaryStoreTest, OldestFormReadsAsNoDictionaryAndGivesTheBytesBack) {
  dict.Variables.setValue("Velha", "1");
  stream = Bytes().i16(3).i32(0).stream();
  dict.LoadFromStream(stream);
  EXPECT_EQ(stream.position(), 0u);
  EXPECT_EQ(dict.Variables.Count(), 0);
}

TEST_F(DictionaryStoreTest, OldStreamsUseTerminatedStrings) {
  modelState().StreamVersion = 22;
  load(Bytes().i16(-2).i32(1).cstr(" Geral").cstr("").i32(0).i32(1).cstr("Band1").cstr("Dados"));
  EXPECT_EQ(dict.Variables.nameAt(0), " Geral");
  EXPECT_EQ(dict.BandDatasources.value("band1").toString(), "Dados");
}

TEST_F(DictionaryStoreTest, CountBeyondTheDataIsRefusedBeforeAllocating) {
  stream = Bytes().i16(-2).i32(0x7FFFFFFF).str("a").str("b").stream();
  EXPECT_THROW(dict.LoadFromStream(stream), StreamError);
  stream = Bytes().i16(-2).i32(-5).stream();
  EXPECT_THROW(dict.LoadFromStream(stream), StreamError);
}

}  // namespace
}  // namespace orv
