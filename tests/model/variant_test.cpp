#include "model/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace orv {
namespace {

TEST(Variant, ConversionsFollowScriptRules) {
  EXPECT_EQ(Variant(2.5).toInt(), 2);  // halves to even
  EXPECT_EQ(Variant(3.5).toInt(), 4);
  EXPECT_EQ(Variant(true).toInt(), -1);  // a true Boolean is -1 as an integer
  EXPECT_EQ(Variant("1,5").toDouble(), 1.5);
  EXPECT_EQ(Variant("1.5").toDouble(), 1.5);
  EXPECT_EQ(Variant("abc").toInt(), 0);
  EXPECT_TRUE(Variant("True").toBool());
  EXPECT_TRUE(Variant("-1").toBool());
  EXPECT_FALSE(Variant("0").toBool());
  EXPECT_FALSE(Variant().toBool());
  EXPECT_EQ(Variant(int64_t(42)).toString(), "42");
  EXPECT_EQ(Variant(0.1).toString(), "0.1");
  EXPECT_EQ(Variant(false).toString(), "False");
  EXPECT_EQ(Variant::null().toString(), "");
  EXPECT_EQ(Variant(std::numeric_limits<double>::infinity()).toInt(), 0);
  EXPECT_EQ(Variant(std::nan("")).toInt(), 0);
  EXPECT_EQ(Variant("1e300").toInt(), 0);
}

TEST(Variant, EqualityComparesKindAndValue) {
  EXPECT_EQ(Variant(1), Variant(int64_t(1)));
  EXPECT_NE(Variant(1), Variant(1.0));
  EXPECT_NE(Variant(1), Variant(true));
  EXPECT_NE(Variant(), Variant::null());
  EXPECT_NE(Variant::dateTime(1.0), Variant(1.0));
  EXPECT_EQ(Variant::dateTime(45000.5).toDouble(), 45000.5);
}

}  // namespace
}  // namespace orv
