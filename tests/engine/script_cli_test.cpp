// frptool script end to end: the listing, the errors and a run.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "tool_run.h"

namespace {

using orv::ToolRun;

TEST(FrptoolScript, ListsCodeLinesRunsAndReportsErrors) {
  QTemporaryDir dir;
  const std::string good = dir.filePath("good.txt").toStdString();
  std::ofstream(good) << "begin\n  s := 0; { sum }\n  for i := 1 to n do s := s + i;\n"
                         "  t := UPPERCASE(name)\nend\n";
  ToolRun r = orv::runFrptool({"script", QString::fromStdString(good)});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "   0: s := 0\n   1: i := 1\n   2: ifnot i n <= goto 6\n   3: s := s i +\n"
            "   4: i := i 1 +\n   5: goto 2\n   6: t := UPPERCASE(name)\n");
  r = orv::runFrptool(
      {"script", QString::fromStdString(good), "--run", "--var", "n=4", "--var", "name=ana"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("s = 10\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("t = ANA\n"), std::string::npos) << r.out;

  // The constants of the picture and of the add-in classes, as in a report.
  const std::string constants = dir.filePath("constants.txt").toStdString();
  std::ofstream(constants) << "k := skEllipse * 10 + btWMF\n";
  r = orv::runFrptool({"script", QString::fromStdString(constants), "--run"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("k = 23\n"), std::string::npos) << r.out;

  const std::string bad = dir.filePath("bad.txt").toStdString();
  std::ofstream(bad) << "x := 1;\nif x = 1 y := 2\n";
  r = orv::runFrptool({"script", QString::fromStdString(bad)});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.out, "error: Line 2/10: Need \"then\" here\n");
}

}  // namespace
