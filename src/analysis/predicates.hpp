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

// True when p lies strictly inside the circle through a, b, c (for a
// clockwise a, b, c in a y-up frame), evaluated in plain doubles.
inline bool in_circle(Point a, Point b, Point c, Point p) {
    const double dx = a.x - p.x;
    const double dy = a.y - p.y;
    const double ex = b.x - p.x;
    const double ey = b.y - p.y;
    const double fx = c.x - p.x;
    const double fy = c.y - p.y;
    const double ap = dx * dx + dy * dy;
    const double bp = ex * ex + ey * ey;
    const double cp = fx * fx + fy * fy;
    return dx * (ey * cp - bp * fy) - dy * (ex * cp - bp * fx) + ap * (ex * fy - ey * fx) < 0;
}

}  // namespace cellvane::predicates
