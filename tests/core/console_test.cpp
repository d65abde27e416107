#include <gtest/gtest.h>

#include "core/random_source.h"
#include "test_support.h"

namespace quor {
namespace {

TEST(Console, PrintFormatsLongAndShortLinesIntoTheSink) {
  Console console;
  test::ConsoleCapture capture(console);
  console.Print("Effect[%d]: %d\n", 2, 7);
  std::string longText(1000, 'x');
  console.Print("%s\n", longText.c_str());
  EXPECT_EQ(capture.Text(), "Effect[2]: 7\n" + longText + "\n");
}

TEST(RandomSource, FollowsTheClassicSequenceAndStaysInRange) {
  RandomSource random(1);
  // First values of the classic LCG with seed 1.
  EXPECT_EQ(random.Next(), 41);
  EXPECT_EQ(random.Next(), 18467);
  EXPECT_EQ(random.Next(), 6334);
  random.Seed(1);
  EXPECT_EQ(random.Next(), 41);
  for (int i = 0; i < 10000; ++i) {
    int v = random.Next();
    ASSERT_GE(v, 0);
    ASSERT_LE(v, RandomSource::kMax);
  }
}

}  // namespace
}  // namespace quor
