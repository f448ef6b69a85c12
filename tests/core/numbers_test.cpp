#include "core/numbers.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/exceptions.h"

TEST(Round, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(Round(0.5L), 0);
  EXPECT_EQ(Round(1.5L), 2);
  EXPECT_EQ(Round(2.5L), 2);
  EXPECT_EQ(Round(-0.5L), 0);
  EXPECT_EQ(Round(-1.5L), -2);
  EXPECT_EQ(Round(-2.5L), -2);
  EXPECT_EQ(Round(2.4999L), 2);
  EXPECT_EQ(Round(2.5001L), 3);
}

TEST(Round, ExtendedPrecisionGivesTheExpectedBlendFactors) {
  // Transparency x 2.55: double would give 127.49999... for 50.
  EXPECT_EQ(Round(50 * 2.55L), 128);
  EXPECT_EQ(Round(90 * 2.55L), 230);
  EXPECT_EQ(Round(30 * 2.55L), 76);
  EXPECT_EQ(Round(70 * 2.55L), 178);
  EXPECT_EQ(Round(10 * 2.55L), 26);
  EXPECT_EQ(Round(101 * 0.5L), 50);
}

TEST(Round, RejectsValuesOutsideTheRange) {
  EXPECT_THROW(Round(1e30L), ERangeError);
  EXPECT_THROW(Round(std::numeric_limits<long double>::quiet_NaN()), ERangeError);
  EXPECT_THROW(Trunc(std::numeric_limits<long double>::infinity()), ERangeError);
}

TEST(Trunc, DropsTheFraction) {
  EXPECT_EQ(Trunc(2.9L), 2);
  EXPECT_EQ(Trunc(-2.9L), -2);
}

TEST(MulDiv, RoundsHalfAwayFromZero) {
  EXPECT_EQ(MulDiv(1, 1, 2), 1);
  EXPECT_EQ(MulDiv(3, 1, 2), 2);
  EXPECT_EQ(MulDiv(-3, 1, 2), -2);
  EXPECT_EQ(MulDiv(10, 10, 3), 33);
  EXPECT_EQ(MulDiv(1, 2, 3), 1);
  EXPECT_EQ(MulDiv(5, 5, 0), -1);
  EXPECT_EQ(MulDiv(0x7FFFFFFF, 0x7FFFFFFF, 1), -1);
}

TEST(MulDiv, SignsAndTheEdgesOfTheIntRange) {
  EXPECT_EQ(MulDiv(3, 1, -2), -2);
  EXPECT_EQ(MulDiv(-3, -1, 2), 2);
  EXPECT_EQ(MulDiv(-5, 1, 4), -1);  // -1.25
  EXPECT_EQ(MulDiv(7, 1, -4), -2);  // -1.75
  EXPECT_EQ(MulDiv(0, 123, 7), 0);
  // The smallest int is a result like any other; one beyond it is not.
  EXPECT_EQ(MulDiv(std::numeric_limits<int>::min(), 1, 1), std::numeric_limits<int>::min());
  EXPECT_EQ(MulDiv(std::numeric_limits<int>::min(), -1, 1), -1);
  EXPECT_EQ(MulDiv(std::numeric_limits<int>::min(), std::numeric_limits<int>::min(), std::numeric_limits<int>::min()),
            std::numeric_limits<int>::min());
  EXPECT_EQ(MulDiv(100000, 100000, 10), 1000000000);
}

TEST(Round, WorksInExtendedPrecisionNearTheLimits) {
  EXPECT_EQ(Round(9223372036854775806.5L), 9223372036854775806LL);  // to the even neighbour
  EXPECT_EQ(Round(9223372036854775805.5L), 9223372036854775806LL);
  EXPECT_THROW(Round(9223372036854775807.5L), ERangeError);
  EXPECT_EQ(Round(-9223372036854775808.0L), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(Trunc(-9223372036854775808.0L), std::numeric_limits<std::int64_t>::min());
  EXPECT_THROW(Trunc(9223372036854775808.0L), ERangeError);
  EXPECT_EQ(Round(0.49999999999999999L), 0);
  EXPECT_EQ(Round(-3.5L), -4);
}
