// frptool eval end to end: the tool's three lines for a few expressions.
#include <gtest/gtest.h>

#include "tool_run.h"

namespace {

using orv::ToolRun;

ToolRun eval(const QStringList& args) {
  return orv::runFrptool(QStringList{"eval"} + args);
}

TEST(FrptoolEval, PrintsPostfixValueAndFormattedText) {
  ToolRun r = eval({"[Qty] * 2 + 1", "--var", "Qty=3"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "postfix: [Qty] 2 *1 +\nvalue: 7 (float)\ntext: 7\n");
  r = eval({"-x", "--var=X=2,5"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "postfix: x \\x09\nvalue: -2,5 (float)\ntext: -2,5\n");
  r = eval({"Total", "--var", "total=1234.5", "--format", "0x0103022C"});
  EXPECT_EQ(r.out, "postfix: Total \nvalue: 1234,5 (float)\ntext: 1.234,50\n");
  // An inline format wins over --format; texts are UTF-8 on both sides.
  r = eval({"[D] #Dd mmmm", "--var", "D=2026-03-01", "--format", "0"});
  EXPECT_EQ(r.out, "postfix: [D] \nvalue: 01/03/2026 (date-time)\ntext: 1 Março\n");
  r = eval({"IF(Flag = 1, 'sim', 'não')", "--var", "Flag=1"});
  EXPECT_EQ(r.out, "postfix: IF(Flag = 1, 'sim', 'não')\nvalue: sim (text)\ntext: sim\n");
  r = eval({"N", "--var", "N='12'"});
  EXPECT_EQ(r.out, "postfix: N \nvalue: 12 (text)\ntext: 12\n");
}

TEST(FrptoolEval, ErrorsAreClear) {
  ToolRun r = eval({"Missing + 1"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "frptool: unknown name \"MISSING\" (give it with --var)\n");
  r = eval({"Sum(1)"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "frptool: unknown function \"SUM\"\n");
  r = eval({"COPY('a', 1"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("missing ')'"), std::string::npos) << r.err;
  r = eval({"1", "--var", "novalue"});
  EXPECT_EQ(r.code, 64);
  r = eval({"1", "--format", "abc"});
  EXPECT_EQ(r.code, 64);
}

}  // namespace
