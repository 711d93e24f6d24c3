#include <gtest/gtest.h>

#include "linewarden/text/Format.h"

using linewarden::formatFixed2;
using linewarden::formatShortest;

TEST(Format, FixedPointWithTwoDecimals) {
    EXPECT_EQ(formatFixed2(250.0), "250.00");
    EXPECT_EQ(formatFixed2(5.0), "5.00");
    EXPECT_EQ(formatFixed2(0.004), "0.00");
    EXPECT_EQ(formatFixed2(1234567.891), "1234567.89");
}

TEST(Format, ShortestRoundTripAlwaysHasAFraction) {
    EXPECT_EQ(formatShortest(0.25), "0.25");
    EXPECT_EQ(formatShortest(2.0), "2.0");
    EXPECT_EQ(formatShortest(800.0), "800.0");
    EXPECT_EQ(formatShortest(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(formatShortest(350.0), "350.0");
}

TEST(Format, ShortestNeverUsesAnExponent) {
    EXPECT_EQ(formatShortest(1e5), "100000.0");
    EXPECT_EQ(formatShortest(1e6), "1000000.0");
    EXPECT_EQ(formatShortest(2e6), "2000000.0");
    EXPECT_EQ(formatShortest(1e-4), "0.0001");
    EXPECT_EQ(formatShortest(-1.5e-7), "-0.00000015");
    EXPECT_EQ(formatShortest(1e22), "10000000000000000000000.0");
    EXPECT_EQ(formatShortest(5e-324).size(), 326u);  // the longest form still comes out whole
}
