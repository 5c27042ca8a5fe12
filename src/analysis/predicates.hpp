// Geometric predicates of the triangulator.
//
// orient_sign answers the exact sign of the orientation determinant: a cheap
// floating-point evaluation decides whenever its error bound allows, and the
// rare undecided cases go to exact arithmetic (error-free expansions, or wide
// integers when the expansions would underflow or overflow).
#pragma once

#include <cmath>

#include "core/core.hpp"

namespace cellvane::predicates {

// Exact sign of (q.x - p.x)(r.y - p.y) - (q.y - p.y)(r.x - p.x) for finite
// coordinates: +1 when p, q, r turn counter-clockwise in a y-up frame, -1
// clockwise, 0 collinear. Any non-finite coordinate answers 0.
int orient_sign_exact(Point p, Point q, Point r);

// The same sign computed with integers only (slow, always exact). Exposed so
// that tests can check the faster paths against it.
int orient_sign_wide(Point p, Point q, Point r);

// The same sign from error-free expansions; answers 2 when an expansion term
// would underflow or overflow and the wide path must decide.
int orient_sign_expansion(Point p, Point q, Point r);

inline int orient_sign(Point p, Point q, Point r) {
    const double acx = q.x - p.x;
    const double bcy = r.y - p.y;
    const double acy = q.y - p.y;
    const double bcx = r.x - p.x;
    const double left = acx * bcy;
    const double right = acy * bcx;
    const double det = left - right;
    const double mag = std::fabs(left) + std::fabs(right);
    // Each operand carries at most three roundings and the difference one
    // more, so 8 units in the last place of the magnitude bound the error
    // once the terms are clear of the subnormal range and of overflow.
    if (mag >= 0x1p-900 && mag <= 0x1p1000) {
        const double bound = 0x1p-50 * mag;
        if (det > bound) return 1;
        if (-det > bound) return -1;
    }
    return orient_sign_exact(p, q, r);
}

// Two doubles worked side by side, each lane rounded exactly as the same
// operation on one double would be.
typedef double Pair __attribute__((vector_size(16)));

// True when p lies strictly inside the circle through a, b, c (for a
// clockwise a, b, c in a y-up frame), evaluated in plain doubles as
//   dx = a.x - p.x, dy = a.y - p.y, ex = b.x - p.x, ey = b.y - p.y,
//   fx = c.x - p.x, fy = c.y - p.y, ap = dx dx + dy dy, bp = ex ex + ey ey,
//   cp = fx fx + fy fy,
//   dx (ey cp - bp fy) - dy (ex cp - bp fx) + ap (ex fy - ey fx) < 0,
// the x and y halves of each step side by side in two lanes.
inline bool in_circle(Point a, Point b, Point c, Point p) {
    const Pair at{p.x, p.y};
    const Pair d = Pair{a.x, a.y} - at;  // dx, dy
    const Pair e = Pair{b.x, b.y} - at;  // ex, ey
    const Pair f = Pair{c.x, c.y} - at;  // fx, fy
    const Pair dd = d * d;
    const Pair ee = e * e;
    const Pair ff = f * f;
    const double ap = dd[0] + dd[1];
    const double bp = ee[0] + ee[1];
    const double cp = ff[0] + ff[1];
    const Pair f_swapped{f[1], f[0]};                                             // fy, fx
    const Pair g = Pair{e[1], e[0]} * Pair{cp, cp} - Pair{bp, bp} * f_swapped;  // ey cp - bp fy, ex cp - bp fx
    const Pair h = d * g;
    const Pair k = e * f_swapped;  // ex fy, ey fx
    return h[0] - h[1] + ap * (k[0] - k[1]) < 0;
}

}  // namespace cellvane::predicates
