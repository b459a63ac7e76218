// The rules of the numeric fields: formulas and plain literals, whole
// numbers within a tolerance, bounds that NaN never passes, and the shared
// symbol table used from several threads at once.
#include "settings/FieldRules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace fi::test {
namespace {

TEST(FieldRules, WholeNumbersComeFromFormulasWithinATolerance) {
    const TIntegerRule Scale{2, 16};
    EXPECT_EQ(AcceptedInteger(Scale, "2*3"), 6);
    EXPECT_EQ(AcceptedInteger(Scale, "4.00001"), 4);
    EXPECT_EQ(AcceptedInteger(Scale, "16"), 16);
    for (const char* Refused : {"2.5", "17", "1", "", "2+", "sqrt(-1)", "0/0", "unknownName"})
        EXPECT_FALSE(AcceptedInteger(Scale, Refused)) << Refused;

    std::int32_t V = 0;
    EXPECT_TRUE(ParsePlainInteger("-2147483648", V));
    EXPECT_EQ(V, std::numeric_limits<std::int32_t>::min());
    EXPECT_FALSE(ParsePlainInteger("2147483648", V));
    EXPECT_TRUE(ParsePlainInteger("$FFFFFFFF", V));
    EXPECT_EQ(V, -1);
    EXPECT_FALSE(ParsePlainInteger("$100000000", V));
    EXPECT_EQ(ParseIntegerText("$1F", true), 31);
    EXPECT_FALSE(ParseIntegerText("2+2", true));
}

TEST(FieldRules, RealNumbersAreBoundedAndNeverNaN) {
    const TFloatRule Lambda{0.0L, 1.0L};
    EXPECT_EQ(AcceptedFloat(Lambda, "2^-10"), std::ldexp(1.0L, -10));
    EXPECT_EQ(AcceptedFloat(Lambda, "1"), 1.0L);
    EXPECT_EQ(AcceptedFloat(Lambda, "0"), 0.0L);
    for (const char* Refused : {"1.0001", "-1e-9", "0/0", "1/0", "x"})
        EXPECT_FALSE(AcceptedFloat(Lambda, Refused)) << Refused;
    EXPECT_FALSE(Lambda.Within(std::numeric_limits<long double>::quiet_NaN()));
    EXPECT_FALSE((TIntegerRule{1, 100}.Within(std::numeric_limits<long double>::quiet_NaN())));

    // The simple mode reads a comma as the point, and nothing but literals.
    EXPECT_EQ(ParseFloatText("0,5", true), 0.5L);
    EXPECT_FALSE(ParseFloatText("1/2", true));
    EXPECT_TRUE(IsPlainFloatLiteral("-1.5e+3"));
    EXPECT_FALSE(IsPlainFloatLiteral("1e"));

    EXPECT_EQ(RangeText(TIntegerRule{2, 16}), "a whole number from 2 to 16");
    EXPECT_EQ(RangeText(Lambda), "a value from 0 to 1");
}

// A definition made in one field serves the others, from whichever thread
// evaluates it; evaluations on several threads take turns on the table.
TEST(FieldRules, TheSymbolTableIsSharedSafely) {
    ASSERT_EQ(ParseFloatText(":settingsTestK=5; settingsTestK*2", false), 10.0L);
    EXPECT_EQ(AcceptedInteger(TIntegerRule{1, 100}, "settingsTestK+1"), 6);
    std::vector<std::thread> Threads;
    std::vector<int> Wrong(4, 0);
    for (int t = 0; t < 4; ++t)
        Threads.emplace_back([t, &Wrong] {
            const std::string Name = "settingsTestT" + std::to_string(t);
            for (int i = 0; i < 200; ++i) {
                const std::string Text = ":" + Name + "=" + std::to_string(i) + "; " + Name + "*2";
                if (ParseFloatText(Text, false) != 2.0L * i) ++Wrong[t];
            }
        });
    for (std::thread& T : Threads) T.join();
    EXPECT_EQ(Wrong, std::vector<int>(4, 0));
}

} // namespace
} // namespace fi::test
