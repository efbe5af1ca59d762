// The marks of a long run's pages: any page number, far ones included, and
// nothing left over from the pass before.
#include "engine/page_marks.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(PageMarks, HoldsFarPagesAndForgetsThemWhenCleared) {
  TfrPageMarks marks;
  EXPECT_FALSE(marks.contains(0));
  marks.insert(999999);
  marks.insert(3);
  marks.insert(3);
  EXPECT_TRUE(marks.contains(999999));
  EXPECT_TRUE(marks.contains(3));
  EXPECT_FALSE(marks.contains(4));
  EXPECT_FALSE(marks.contains(1000000));
  EXPECT_FALSE(marks.contains(-1));
  marks.insert(-1);
  EXPECT_FALSE(marks.contains(-1));
  marks.clear();
  EXPECT_FALSE(marks.contains(3));
  EXPECT_FALSE(marks.contains(999999));
}

}  // namespace
}  // namespace orv
