#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "analysis/analysis.hpp"
#include "engine/engine.hpp"
#include "zone/zone.hpp"

using namespace cellvane;

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
}  // namespace

TEST(Text, ReprPositionalRange) {
    EXPECT_EQ(format_repr(4.0), "4.0");
    EXPECT_EQ(format_repr(0.5), "0.5");
    EXPECT_EQ(format_repr(0.1), "0.1");
    EXPECT_EQ(format_repr(0.30000000000000004), "0.30000000000000004");
    EXPECT_EQ(format_repr(-123.456), "-123.456");
    EXPECT_EQ(format_repr(1e-4), "0.0001");
    EXPECT_EQ(format_repr(1e15), "1000000000000000.0");
    EXPECT_EQ(format_repr(9999999999999998.0), "9999999999999998.0");
    EXPECT_EQ(format_repr(0.0), "0.0");
    EXPECT_EQ(format_repr(-0.0), "-0.0");
}

TEST(Text, ReprExponentRange) {
    EXPECT_EQ(format_repr(1e-7), "1e-7");
    EXPECT_EQ(format_repr(-1e-7), "-1e-7");
    EXPECT_EQ(format_repr(1.5e-5), "1.5e-5");
    EXPECT_EQ(format_repr(9.999999999999999e-5), "9.999999999999999e-5");
    EXPECT_EQ(format_repr(1e16), "1e16");
    EXPECT_EQ(format_repr(2e16), "2e16");
    EXPECT_EQ(format_repr(123456789012345680.0), "1.2345678901234568e17");
    EXPECT_EQ(format_repr(5e-324), "5e-324");
    EXPECT_EQ(format_repr(1.7976931348623157e308), "1.7976931348623157e308");
    EXPECT_EQ(format_repr(-2.2250738585072014e-308), "-2.2250738585072014e-308");
}

TEST(Text, NonFiniteInEveryForm) {
    for (auto f : {format_repr, format_message, format_plain, format_fixed}) {
        EXPECT_EQ(f(kNaN), "NaN");
        EXPECT_EQ(f(-kNaN), "NaN");
        EXPECT_EQ(f(kInf), "inf");
        EXPECT_EQ(f(-kInf), "-inf");
    }
}

TEST(Text, MessageFormHasNoExponentAndNoForcedFraction) {
    EXPECT_EQ(format_message(4.0), "4");
    EXPECT_EQ(format_message(0.25), "0.25");
    EXPECT_EQ(format_message(0.1), "0.1");
    EXPECT_EQ(format_message(1e-7), "0.0000001");
    EXPECT_EQ(format_message(9.999999999999999e-5), "0.00009999999999999999");
    EXPECT_EQ(format_message(1e16), "10000000000000000");
    EXPECT_EQ(format_message(123456789012345680.0), "123456789012345680");
    EXPECT_EQ(format_message(-17.5), "-17.5");
    EXPECT_EQ(format_message(0.0), "0");
    EXPECT_EQ(format_message(-0.0), "-0");
    const std::string tiny = format_message(5e-324);
    EXPECT_EQ(tiny, "0." + std::string(323, '0') + "5");
    const std::string huge = format_message(1.7976931348623157e308);
    EXPECT_EQ(huge, "17976931348623157" + std::string(292, '0'));
}

TEST(Text, PlainFormMatchesMessageForm) {
    EXPECT_EQ(format_plain(1.0), "1");
    EXPECT_EQ(format_plain(0.4), "0.4");
    EXPECT_EQ(format_plain(18.0), "18");
    EXPECT_EQ(format_plain(0.95), "0.95");
    for (double v : {0.1, 1e-7, 1e16, -0.0, 5e-324, 3.25, -1e300}) EXPECT_EQ(format_plain(v), format_message(v));
}

TEST(Text, FixedFormHasEightRoundedDigits) {
    EXPECT_EQ(format_fixed(3.0), "3.00000000");
    EXPECT_EQ(format_fixed(0.125), "0.12500000");
    EXPECT_EQ(format_fixed(0.1), "0.10000000");
    EXPECT_EQ(format_fixed(1e-7), "0.00000010");
    EXPECT_EQ(format_fixed(9.999999999999999e-5), "0.00010000");
    // Rounding follows the exact binary value, not its shortest decimal:
    // 1.5e-8 and 0.125000005 lie just below the halfway point, 3.5e-8 above.
    EXPECT_EQ(format_fixed(0.000000015), "0.00000001");
    EXPECT_EQ(format_fixed(0.125000005), "0.12500000");
    EXPECT_EQ(format_fixed(0.000000035), "0.00000004");
    EXPECT_EQ(format_fixed(-2.5), "-2.50000000");
    EXPECT_EQ(format_fixed(0.0), "0.00000000");
    EXPECT_EQ(format_fixed(-0.0), "0.00000000");
    EXPECT_EQ(format_fixed(5e-324), "0.00000000");
    EXPECT_EQ(format_fixed(1e16), "10000000000000000.00000000");
    const std::string max = format_fixed(1.7976931348623157e308);
    EXPECT_EQ(max.size(), 309u + 9u);
    EXPECT_EQ(max.substr(0, 17), "17976931348623157");
    EXPECT_EQ(max.substr(max.size() - 9), ".00000000");
}

TEST(Text, PointUsesReprForm) {
    EXPECT_EQ(format_point(Point{2.0, 0.5}), "Point { x: 2.0, y: 0.5 }");
    EXPECT_EQ(format_point(Point{1e16, 1e-5}), "Point { x: 1e16, y: 1e-5 }");
    EXPECT_EQ(format_point(Point{-0.0, kNaN}), "Point { x: -0.0, y: NaN }");
}

TEST(Text, AppendVariantsExtendTheBuffer) {
    std::string out = "x=";
    append_repr(out, 4.0);
    out += ' ';
    append_message(out, 4.0);
    out += ' ';
    append_plain(out, 0.4);
    out += ' ';
    append_fixed(out, -0.0);
    EXPECT_EQ(out, "x=4.0 4 0.4 0.00000000");
}

// Every form reads back to the value it printed.
TEST(Text, FormsRoundTrip) {
    const double values[] = {0.1,   1.0 / 3.0, 2.0 / 3.0e-9, 6.02214076e23, 1e-4, 9.999999999999999e-5,
                             1e16,  9007199254740993.0, 4.35, 5e-324, 2.2250738585072014e-308, 1.7976931348623157e308};
    for (double v : values) {
        for (double s : {v, -v}) {
            EXPECT_EQ(std::strtod(format_repr(s).c_str(), nullptr), s) << format_repr(s);
            EXPECT_EQ(std::strtod(format_message(s).c_str(), nullptr), s) << format_message(s);
        }
    }
}
