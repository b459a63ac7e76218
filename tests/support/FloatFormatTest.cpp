#include <gtest/gtest.h>

#include <limits>

#include "support/FloatFormat.h"

namespace fi {
namespace {

TEST(FloatFormat, FixedPatterns) {
    EXPECT_EQ(FormatFloat("0.##", 2.5L), "2.5");
    EXPECT_EQ(FormatFloat("0.##", 3.0L), "3");
    EXPECT_EQ(FormatFloat("0.##", 0.0L), "0");
    EXPECT_EQ(FormatFloat("0.##", 1.0f), "1");
    EXPECT_EQ(FormatFloat("0.##", 0.125L), "0.13");   // half away from zero
    EXPECT_EQ(FormatFloat("0.##", double(0.995)), "0.99"); // the double lies just below 0.995
    EXPECT_EQ(FormatFloat("0.##", 0.995L), "1");           // the extended value just above
    EXPECT_EQ(FormatFloat("0.##", 9.999L), "10");
    EXPECT_EQ(FormatFloat("0.##", -0.001L), "0");     // no sign on a zero result
    EXPECT_EQ(FormatFloat("0.##", -1.25L), "-1.25");
    EXPECT_EQ(FormatFloat("0.##", 1234567.0L), "1234567");
    EXPECT_EQ(FormatFloat("0.00######", double(0.001)), "0.001");
    EXPECT_EQ(FormatFloat("0.00######", 0.5L), "0.50");
    EXPECT_EQ(FormatFloat("0.00######", 2.0L), "2.00");
    EXPECT_EQ(FormatFloat("0.00######", double(1e-9)), "0.00");
    EXPECT_EQ(FormatFloat("0.00######", double(0.123456789)), "0.12345679");
    EXPECT_EQ(FormatFloat("#.##", 0.5L), ".5");
    EXPECT_EQ(FormatFloat("000.0", 2.25L), "002.3");
    EXPECT_EQ(FormatFloat("0.##", 2.5L, ','), "2,5");
}

TEST(FloatFormat, ScientificPatterns) {
    EXPECT_EQ(FormatFloat("0.#####e+", 0.0005L), "5e-4");
    EXPECT_EQ(FormatFloat("0.#####e+", 0.00125L), "1.25e-3");
    EXPECT_EQ(FormatFloat("0.#####e+", 1.0L), "1e+0");
    EXPECT_EQ(FormatFloat("0.#####e+", double(0.001)), "1e-3");
    EXPECT_EQ(FormatFloat("0.#####e+", 999999.7L), "1e+6");
    EXPECT_EQ(FormatFloat("0.#####e+", 0.0L), "0e+0");
    EXPECT_EQ(FormatFloat("0.#####e+", -123.456L), "-1.23456e+2");
    EXPECT_EQ(FormatFloat("0.0e-00", 12345.0L), "1.2e04");
    EXPECT_EQ(FormatFloat("0.0E-", 0.012L), "1.2E-2");
    EXPECT_EQ(FormatFloat("0.##e+000", 1e-300), "1e-300");
    EXPECT_EQ(FormatFloat("0.##e+", std::numeric_limits<double>::denorm_min()), "4.94e-324");
}

TEST(FloatFormat, NonFiniteValues) {
    EXPECT_EQ(FormatFloat("0.##", std::numeric_limits<long double>::quiet_NaN()), "NAN");
    EXPECT_EQ(FormatFloat("0.##", -std::numeric_limits<long double>::infinity()), "-INF");
}

} // namespace
} // namespace fi
