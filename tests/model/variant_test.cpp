#include "model/variant.h"

#include <gtest/gtest.h>

#include <clocale>
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

TEST(VariantArithmetic, KindsOfResults) {
  EXPECT_EQ(variantAdd(Variant(2), Variant(3)), Variant(int64_t(5)));
  EXPECT_EQ(variantAdd(Variant(2), Variant(0.5)), Variant(2.5));
  EXPECT_EQ(variantAdd(Variant("ab"), Variant("cd")), Variant("abcd"));
  EXPECT_EQ(variantAdd(Variant("2"), Variant(1)), Variant(3.0));  // text read as a number
  EXPECT_EQ(variantAdd(Variant(), Variant("x")), Variant("x"));
  EXPECT_EQ(variantAdd(Variant::dateTime(10), Variant(1)), Variant::dateTime(11));
  EXPECT_EQ(variantSub(Variant::dateTime(10), Variant::dateTime(4)), Variant(6.0));
  EXPECT_EQ(variantMul(Variant(true), Variant(3)), Variant(int64_t(-3)));
  EXPECT_TRUE(variantAdd(Variant::null(), Variant(1)).isNull());
  EXPECT_TRUE(variantMul(Variant(1), Variant::null()).isNull());
  EXPECT_EQ(variantMod(Variant(7.4), Variant(3)), Variant(int64_t(1)));
  EXPECT_EQ(variantAnd(Variant(true), Variant(false)), Variant(false));
  EXPECT_EQ(variantAnd(Variant(6), Variant(3)), Variant(int64_t(2)));
  EXPECT_EQ(variantOr(Variant(4), Variant(1)), Variant(int64_t(5)));
  EXPECT_EQ(variantNeg(Variant("1,5")), Variant(-1.5));
  EXPECT_EQ(variantNeg(Variant::dateTime(2)), Variant::dateTime(-2));
}

TEST(VariantArithmetic, OverflowAndBadOperands) {
  const int64_t big = std::numeric_limits<int64_t>::max();
  EXPECT_EQ(variantAdd(Variant(big), Variant(1)).kind(), Variant::Kind::Double);
  EXPECT_EQ(variantNeg(Variant(std::numeric_limits<int64_t>::min())).kind(), Variant::Kind::Double);
  EXPECT_EQ(variantMod(Variant(std::numeric_limits<int64_t>::min()), Variant(-1)),
            Variant(int64_t(0)));
  EXPECT_THROW(variantMod(Variant(1), Variant(0)), ConversionError);
  EXPECT_THROW(variantSub(Variant("abc"), Variant(1)), ConversionError);
  EXPECT_THROW(variantAdd(Variant("1 2"), Variant(1)), ConversionError);
  EXPECT_THROW(variantMod(Variant(1e300), Variant(7)), ConversionError);
  EXPECT_THROW(variantAnd(Variant("x"), Variant(1)), ConversionError);
}

TEST(VariantArithmetic, ComparisonAcrossKinds) {
  EXPECT_TRUE(variantEquals(Variant(1), Variant(1.0)));
  EXPECT_TRUE(variantEquals(Variant("1"), Variant(1)));
  EXPECT_TRUE(variantEquals(Variant(false), Variant(0)));
  EXPECT_TRUE(variantEquals(Variant::null(), Variant::null()));
  EXPECT_FALSE(variantEquals(Variant::null(), Variant(0)));
  EXPECT_FALSE(variantEquals(Variant::null(), Variant("")));
  EXPECT_EQ(variantCompare(Variant::null(), Variant(-5)), -1);
  EXPECT_EQ(variantCompare(Variant(true), Variant(false)), 1);
  EXPECT_EQ(variantCompare(Variant(true), Variant(-1)), 0);
  EXPECT_EQ(variantCompare(Variant("b"), Variant("a")), 1);
  EXPECT_EQ(variantCompare(Variant("B"), Variant("a")), -1);  // byte order: case counts
  EXPECT_EQ(variantCompare(Variant(int64_t(1) << 62), Variant((int64_t(1) << 62) + 1)), -1);
  EXPECT_THROW(variantCompare(Variant("abc"), Variant(1)), ConversionError);
}

TEST(VariantArithmetic, StrictNumberReading) {
  double d = 0;
  EXPECT_TRUE(Variant::parseNumber(" 1,5 ", d));
  EXPECT_EQ(d, 1.5);
  EXPECT_TRUE(Variant::parseNumber("-2.5e3", d));
  EXPECT_EQ(d, -2500);
  for (const char* bad : {"", "1.2.3", "inf", "nan", "0x10", "1e", ".", "1 000", "+-1", "1e400"})
    EXPECT_FALSE(Variant::parseNumber(bad, d)) << bad;
  EXPECT_THROW(Variant::null().numberValue(), ConversionError);
  // The user's locale (Qt adopts it) must not change how numbers read.
  const char* saved = setlocale(LC_NUMERIC, nullptr);
  const std::string keep = saved ? saved : "C";
  if (setlocale(LC_NUMERIC, "pt_BR.UTF-8") || setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
    EXPECT_EQ(Variant("1.5").toDouble(), 1.5);
    EXPECT_TRUE(Variant::parseNumber("2.25", d));
    EXPECT_EQ(d, 2.25);
  }
  setlocale(LC_NUMERIC, keep.c_str());
  EXPECT_EQ(Variant().numberValue(), 0);
}

}  // namespace
}  // namespace orv
