// Number texts: the representation form of host reprs, the message form of
// engine messages, and the plain and fixed forms of the SVG drawing.
//
// Every form starts from the shortest decimal that reads back to the same
// double, as std::to_chars produces it; only the layout differs.
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <system_error>

#include "core/core.hpp"

namespace cellvane {

namespace {

// The shortest round-trip digits of a finite, non-zero |v|: value =
// 0.d1d2...dn * 10^(point), i.e. the decimal point sits after `point` digits.
struct Digits {
    char digits[32];
    int count = 0;
    int point = 0;
};

Digits shortest_digits(double magnitude) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific);
    Digits d;
    const char* p = buf;
    const char* end = res.ptr;
    // Mantissa: one digit, then optionally '.' and more digits.
    while (p < end && *p != 'e') {
        if (*p != '.' && d.count < static_cast<int>(sizeof d.digits)) d.digits[d.count++] = *p;
        ++p;
    }
    int exponent = 0;
    if (p < end) {
        ++p;  // 'e'
        bool negative = false;
        if (p < end && (*p == '-' || *p == '+')) {
            negative = *p == '-';
            ++p;
        }
        while (p < end) exponent = exponent * 10 + (*p++ - '0');
        if (negative) exponent = -exponent;
    }
    d.point = exponent + 1;
    return d;
}

// Writes the non-finite values; answers false for finite ones.
bool append_non_finite(std::string& out, double v) {
    if (std::isnan(v)) {
        out += "NaN";
        return true;
    }
    if (std::isinf(v)) {
        out += v < 0 ? "-inf" : "inf";
        return true;
    }
    return false;
}

// Positional layout of the shortest digits, no exponent. With
// `force_fraction`, an integral value gets ".0".
void append_positional(std::string& out, const Digits& d, bool force_fraction) {
    if (d.point <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-d.point), '0');
        out.append(d.digits, static_cast<std::size_t>(d.count));
    } else if (d.point >= d.count) {
        out.append(d.digits, static_cast<std::size_t>(d.count));
        out.append(static_cast<std::size_t>(d.point - d.count), '0');
        if (force_fraction) out += ".0";
    } else {
        out.append(d.digits, static_cast<std::size_t>(d.point));
        out += '.';
        out.append(d.digits + d.point, static_cast<std::size_t>(d.count - d.point));
    }
}

// Writes the non-finite values whole; of a finite value its sign, and a
// zero as `zero`. Answers whether that wrote all of v.
bool append_sign_or_whole(std::string& out, double v, const char* zero) {
    if (append_non_finite(out, v)) return true;
    if (std::signbit(v)) out += '-';
    if (v == 0.0) {
        out += zero;
        return true;
    }
    return false;
}

}  // namespace

void append_repr(std::string& out, double v) {
    if (append_sign_or_whole(out, v, "0.0")) return;
    const Digits d = shortest_digits(std::fabs(v));
    const int exponent = d.point - 1;
    if (exponent < -4 || exponent >= 16) {
        out += d.digits[0];
        if (d.count > 1) {
            out += '.';
            out.append(d.digits + 1, static_cast<std::size_t>(d.count - 1));
        }
        out += 'e';
        char buf[8];
        const auto res = std::to_chars(buf, buf + sizeof buf, exponent);
        out.append(buf, res.ptr);
        return;
    }
    append_positional(out, d, true);
}

void append_message(std::string& out, double v) {
    if (append_sign_or_whole(out, v, "0")) return;
    append_positional(out, shortest_digits(std::fabs(v)), false);
}

// The drawing's plain form is the message form, negative zero included.
void append_plain(std::string& out, double v) { append_message(out, v); }

void append_fixed(std::string& out, double v) {
    if (append_non_finite(out, v)) return;
    if (v == 0.0) v = 0.0;  // negative zero prints as zero
    // The widest double in fixed form has 309 integral digits.
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 8);
    out.append(buf, res.ptr);
}

namespace {

// One form's text of v as a string of its own.
template <void (*append)(std::string&, double)>
std::string formatted(double v) {
    std::string out;
    append(out, v);
    return out;
}

}  // namespace

std::string format_repr(double v) { return formatted<append_repr>(v); }
std::string format_message(double v) { return formatted<append_message>(v); }
std::string format_plain(double v) { return formatted<append_plain>(v); }
std::string format_fixed(double v) { return formatted<append_fixed>(v); }

std::string format_point(Point p) {
    std::string out = "Point { x: ";
    append_repr(out, p.x);
    out += ", y: ";
    append_repr(out, p.y);
    out += " }";
    return out;
}

MessageText& MessageText::n(std::uint64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out_.append(buf, r.ptr);
    return *this;
}

}  // namespace cellvane
