#include <gtest/gtest.h>

#include "engine/variables.h"

namespace orv {
namespace {

TEST(TfrVariables, UnknownNamesAndIndexesNeverFail) {
  TfrVariables v;
  v.setValue("Total", Variant(5));
  EXPECT_TRUE(v.value("missing").isNull());
  EXPECT_EQ(v.valueAt(7), Variant(0));
  EXPECT_EQ(v.valueAt(-1), Variant(0));
  EXPECT_EQ(v.nameAt(3), "");
  v.setValueAt(3, Variant(1));
  v.setNameAt(-1, "x");
  v.Delete(9);
  EXPECT_EQ(v.Count(), 1);
  v.setValue("TOTAL", Variant(6));  // same name, any case: replaced
  EXPECT_EQ(v.Count(), 1);
  EXPECT_EQ(v.value("total"), Variant(6));
}

TEST(TfrVariables, BothModesFindEveryName) {
  for (bool sorted : {false, true}) {
    TfrVariables v;
    v.setSorted(sorted);
    for (const char* n : {"m", "c", "x", "a", "q"}) v.setValue(n, Variant(n));
    if (sorted) {
      EXPECT_EQ(v.nameAt(0), "a");
    }
    // A rename moves a sorted entry to its place, so lookups still find it.
    v.setNameAt(v.IndexOf("a"), "z");
    for (const char* n : {"m", "c", "x", "z", "q"}) EXPECT_GE(v.IndexOf(n), 0) << n << sorted;
    EXPECT_LT(v.IndexOf("a"), 0);
    if (sorted) {
      EXPECT_EQ(v.nameAt(4), "z");
    }
    // Renaming onto another entry's name would make a duplicate: ignored.
    v.setNameAt(v.IndexOf("c"), "M");
    EXPECT_EQ(v.value("c"), Variant("c"));
    EXPECT_EQ(v.Count(), 5);
    v.Clear();
    EXPECT_EQ(v.Count(), 0);
  }
}

}  // namespace
}  // namespace orv
