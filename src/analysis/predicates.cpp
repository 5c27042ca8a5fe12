#include "analysis/predicates.hpp"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace cellvane::predicates {

namespace {

// ------------------------------------------------ error-free transformations

// s + e == a + b exactly, |e| at most half an ulp of s (no overflow).
inline void two_sum(double a, double b, double& s, double& e) {
    s = a + b;
    const double bv = s - a;
    const double av = s - bv;
    e = (a - av) + (b - bv);
}

// d + e == a - b exactly.
inline void two_diff(double a, double b, double& d, double& e) {
    d = a - b;
    const double bv = a - d;
    const double av = d + bv;
    e = (a - av) + (bv - b);
}

// p + e == a * b exactly, provided the product neither overflows nor comes
// near the subnormal range (checked by the caller through `usable`).
inline void two_product(double a, double b, double& p, double& e) {
    p = a * b;
    e = std::fma(a, b, -p);
}

// Whether the product a * b = p was formed exactly enough for its error term
// to be representable, and small enough that sums of sixteen such terms
// cannot overflow.
inline bool usable(double a, double b, double p) {
    if (a == 0.0 || b == 0.0) return true;
    const double m = std::fabs(p);
    return m >= 0x1p-900 && m <= 0x1p1000;
}

// Sign of the exact sum of `count` doubles, each finite and at most 2^1000 in
// magnitude. Grows a nonoverlapping expansion term by term; its largest
// nonzero component carries the sign of the sum.
int sign_of_sum(const double* terms, std::size_t count) {
    std::array<double, 40> h{};
    std::size_t len = 0;
    for (std::size_t t = 0; t < count; ++t) {
        double q = terms[t];
        std::size_t out = 0;
        for (std::size_t i = 0; i < len; ++i) {
            double s = 0.0;
            double e = 0.0;
            two_sum(q, h[i], s, e);
            q = s;
            if (e != 0.0) h[out++] = e;
        }
        if (q != 0.0) h[out++] = q;
        len = out;
    }
    for (std::size_t i = len; i > 0; --i) {
        if (h[i - 1] > 0.0) return 1;
        if (h[i - 1] < 0.0) return -1;
    }
    return 0;
}

// ------------------------------------------------------- wide integer path

// Every finite double is m * 2^e with 0 <= m < 2^53 and e >= -1074; after
// aligning six of them to their least exponent each fits in 2099 bits.
constexpr std::size_t IN_LIMBS = 34;
constexpr std::size_t OUT_LIMBS = 2 * IN_LIMBS;

template <std::size_t N>
struct Wide {
    std::array<std::uint64_t, N> mag{};
    bool neg = false;
    bool is_zero() const {
        for (std::uint64_t limb : mag) {
            if (limb != 0) return false;
        }
        return true;
    }
};

struct Parts {
    std::uint64_t mant = 0;
    int exp = 0;
    bool neg = false;
};

Parts split(double v) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    const bool neg = (bits >> 63) != 0;
    const int field = static_cast<int>((bits >> 52) & 0x7ff);
    const std::uint64_t frac = bits & ((std::uint64_t{1} << 52) - 1);
    if (field == 0) return {frac, -1074, neg};
    return {frac | (std::uint64_t{1} << 52), field - 1075, neg};
}

Wide<IN_LIMBS> to_wide(const Parts& p, int least_exp) {
    Wide<IN_LIMBS> w;
    w.neg = p.neg;
    const int shift = p.exp - least_exp;  // 0 .. 2045
    const auto limb = static_cast<std::size_t>(shift / 64);
    const int bit = shift % 64;
    w.mag[limb] |= p.mant << bit;
    if (bit > 0 && limb + 1 < IN_LIMBS) w.mag[limb + 1] |= p.mant >> (64 - bit);
    return w;
}

template <std::size_t N>
int compare_magnitude(const Wide<N>& a, const Wide<N>& b) {
    for (std::size_t i = N; i > 0; --i) {
        if (a.mag[i - 1] != b.mag[i - 1]) return a.mag[i - 1] < b.mag[i - 1] ? -1 : 1;
    }
    return 0;
}

// a - b, signed. The inputs use at most 2099 bits, so the sum fits.
template <std::size_t N>
Wide<N> subtract(const Wide<N>& a, const Wide<N>& b) {
    Wide<N> r;
    const bool b_neg = !b.neg;
    if (a.neg == b_neg) {
        std::uint64_t carry = 0;
        for (std::size_t i = 0; i < N; ++i) {
            const std::uint64_t s = a.mag[i] + b.mag[i];
            const std::uint64_t c1 = s < a.mag[i] ? 1 : 0;
            const std::uint64_t s2 = s + carry;
            const std::uint64_t c2 = s2 < s ? 1 : 0;
            r.mag[i] = s2;
            carry = c1 + c2;
        }
        r.neg = a.neg;
        return r;
    }
    const int cmp = compare_magnitude(a, b);
    const Wide<N>& big = cmp >= 0 ? a : b;
    const Wide<N>& small = cmp >= 0 ? b : a;
    std::uint64_t borrow = 0;
    for (std::size_t i = 0; i < N; ++i) {
        const std::uint64_t d = big.mag[i] - small.mag[i];
        const std::uint64_t b1 = big.mag[i] < small.mag[i] ? 1 : 0;
        const std::uint64_t d2 = d - borrow;
        const std::uint64_t b2 = d < borrow ? 1 : 0;
        r.mag[i] = d2;
        borrow = b1 + b2;
    }
    r.neg = cmp >= 0 ? a.neg : b_neg;
    return r;
}

__extension__ typedef unsigned __int128 u128;

Wide<OUT_LIMBS> multiply(const Wide<IN_LIMBS>& a, const Wide<IN_LIMBS>& b) {
    Wide<OUT_LIMBS> r;
    for (std::size_t i = 0; i < IN_LIMBS; ++i) {
        if (a.mag[i] == 0) continue;
        std::uint64_t carry = 0;
        for (std::size_t j = 0; j < IN_LIMBS; ++j) {
            const u128 cur = static_cast<u128>(a.mag[i]) * b.mag[j] + r.mag[i + j] + carry;
            r.mag[i + j] = static_cast<std::uint64_t>(cur);
            carry = static_cast<std::uint64_t>(cur >> 64);
        }
        r.mag[i + IN_LIMBS] = carry;
    }
    r.neg = a.neg != b.neg;
    return r;
}

template <std::size_t N>
int sign_of(const Wide<N>& w) {
    if (w.is_zero()) return 0;
    return w.neg ? -1 : 1;
}

bool finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }

int sign_of_value(double v) { return (v > 0.0) - (v < 0.0); }

}  // namespace

int orient_sign_wide(Point p, Point q, Point r) {
    if (!finite(p) || !finite(q) || !finite(r)) return 0;
    const std::array<Parts, 6> parts{split(p.x), split(p.y), split(q.x), split(q.y), split(r.x), split(r.y)};
    int least = parts[0].exp;
    for (const Parts& part : parts) least = part.exp < least ? part.exp : least;
    const auto px = to_wide(parts[0], least);
    const auto py = to_wide(parts[1], least);
    const auto qx = to_wide(parts[2], least);
    const auto qy = to_wide(parts[3], least);
    const auto rx = to_wide(parts[4], least);
    const auto ry = to_wide(parts[5], least);
    const auto left = multiply(subtract(qx, px), subtract(ry, py));
    const auto right = multiply(subtract(qy, py), subtract(rx, px));
    const int sl = sign_of(left);
    const int sr = sign_of(right);
    if (sl != sr) return sl > sr ? 1 : -1;
    if (sl == 0) return 0;
    return sl * compare_magnitude(left, right);
}

int orient_sign_expansion(Point p, Point q, Point r) {
    double a1 = 0.0, a0 = 0.0, b1 = 0.0, b0 = 0.0, c1 = 0.0, c0 = 0.0, d1 = 0.0, d0 = 0.0;
    two_diff(q.x, p.x, a1, a0);
    two_diff(r.y, p.y, b1, b0);
    two_diff(q.y, p.y, c1, c0);
    two_diff(r.x, p.x, d1, d0);
    const std::array<double, 8> diffs{a1, a0, b1, b0, c1, c0, d1, d0};
    for (double v : diffs) {
        if (!std::isfinite(v)) return 2;
    }
    // (a1 + a0)(b1 + b0) - (c1 + c0)(d1 + d0), as sixteen exact terms.
    const std::array<double, 4> xs{a1, a1, a0, a0};
    const std::array<double, 4> ys{b1, b0, b1, b0};
    const std::array<double, 4> us{c1, c1, c0, c0};
    const std::array<double, 4> vs{d1, d0, d1, d0};
    std::array<double, 16> terms{};
    for (std::size_t k = 0; k < 4; ++k) {
        double p1 = 0.0, e1 = 0.0, p2 = 0.0, e2 = 0.0;
        two_product(xs[k], ys[k], p1, e1);
        two_product(us[k], vs[k], p2, e2);
        if (!usable(xs[k], ys[k], p1) || !usable(us[k], vs[k], p2)) return 2;
        terms[4 * k] = p1;
        terms[4 * k + 1] = e1;
        terms[4 * k + 2] = -p2;
        terms[4 * k + 3] = -e2;
    }
    return sign_of_sum(terms.data(), terms.size());
}

int orient_sign_exact(Point p, Point q, Point r) {
    if (!finite(p) || !finite(q) || !finite(r)) return 0;
    // The difference of two finite doubles is zero exactly when they are
    // equal, and otherwise carries the sign of the exact difference. So when
    // a factor of one product is zero, that product is exactly zero and the
    // sign is the other product's, read from the signs of its factors: the
    // common case of sites sharing a coordinate, such as stones in a row
    // along the board's edge.
    const double acx = q.x - p.x;
    const double bcy = r.y - p.y;
    const double acy = q.y - p.y;
    const double bcx = r.x - p.x;
    if (acx == 0.0 || bcy == 0.0) return -(sign_of_value(acy) * sign_of_value(bcx));
    if (acy == 0.0 || bcx == 0.0) return sign_of_value(acx) * sign_of_value(bcy);
    const int s = orient_sign_expansion(p, q, r);
    if (s != 2) return s;
    return orient_sign_wide(p, q, r);
}

}  // namespace cellvane::predicates
