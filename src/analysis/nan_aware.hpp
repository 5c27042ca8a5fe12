// Minimum and maximum for the analysis' measures, in which a NaN operand
// never replaces a number; when both operands are NaN the first is kept.
#pragma once

#include <cmath>

namespace cellvane {

inline double min_of(double a, double b) {
    if (std::isnan(b)) return a;
    if (std::isnan(a)) return b;
    return b < a ? b : a;
}

inline double max_of(double a, double b) {
    if (std::isnan(b)) return a;
    if (std::isnan(a)) return b;
    return a < b ? b : a;
}

}  // namespace cellvane
