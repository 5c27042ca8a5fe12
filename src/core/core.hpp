// The basic values every part of the engine shares: points and their exact
// identity, stones and their colours, the tolerances and sizes of the game,
// the number texts every message, representation and drawing uses, and the
// question long work asks of whoever wants it to stop.
//
// Plain C++: no Python, no exceptions.
#pragma once

#include <bit>
#include <chrono>
#include <compare>
#include <cstdint>
#include <string>

namespace cellvane {

// The C++ tests' one way into private state (counters, structures damaged on
// purpose). Classes with such state name it their friend; only the tests and
// benchmarks define it.
struct TestAccess;

// ------------------------------------------------------------------ points

struct Point {
    double x = 0.0;
    double y = 0.0;
};

inline constexpr double EPSILON = 1e-7;
inline constexpr double STONE_RADIUS = 1.0;
inline constexpr double STONE_DIAMETER = 2.0;
inline constexpr double PI = 3.141592653589793;
inline constexpr double TWO_PI = 6.283185307179586;

// Bit pattern of a coordinate with negative zero folded to positive zero.
inline std::uint64_t folded_bits(double v) {
    constexpr std::uint64_t NEGATIVE_ZERO_BITS = 0x8000000000000000ULL;
    const auto bits = std::bit_cast<std::uint64_t>(v);
    return bits == NEGATIVE_ZERO_BITS ? 0 : bits;
}

// Exact identity of a point: folded bit patterns, compared unsigned, x first.
struct PointKey {
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    friend auto operator<=>(const PointKey&, const PointKey&) = default;
};
inline PointKey point_key(Point p) { return PointKey{folded_bits(p.x), folded_bits(p.y)}; }

// ------------------------------------------------------------------ stones

enum class Color : std::uint8_t { Black = 0, White = 1 };

inline Color opposite(Color c) { return c == Color::Black ? Color::White : Color::Black; }

struct Stone {
    Point position;
    std::uint32_t id = 0;
    Color color = Color::Black;
};

// ------------------------------------------------------------ number texts

// Host representation form: shortest round trip, at least one fractional
// digit, exponent form below 1e-4 (non-zero) or from 1e16 on ("4.0", "1e-7").
std::string format_repr(double v);
// Engine message form: shortest round trip, no exponent, no forced fraction
// ("4", "0.0000001", "-0").
std::string format_message(double v);
// Plain drawing form: as the message form (no exponent, no trailing ".0").
std::string format_plain(double v);
// Fixed drawing form: exactly eight fractional digits, negative zero as zero.
std::string format_fixed(double v);
// "Point { x: 2.0, y: 0.5 }", coordinates in representation form.
std::string format_point(Point p);
// Appends the same texts to a buffer without building temporaries.
void append_repr(std::string& out, double v);
void append_message(std::string& out, double v);
void append_plain(std::string& out, double v);
void append_fixed(std::string& out, double v);

// ---------------------------------------------------------------- stopping

// Long work (a replay, the analysis of a large board, a check or a picture
// of one) asks now and then whether its caller wants it to stop: a host
// whose user pressed Ctrl-C, say. The caller installs a StopCheck for its
// thread while the work runs; with none installed nothing ever stops.
//
// Work that stops answers nothing of use, and its caller discards what it
// answers. What it leaves behind is whole: a memo it was filling stays
// empty, and a move it was judging is taken back, so the board is exactly as
// it was before the move.
class StopCheck {
public:
    // Whether the work should stop. Asked from the working thread, at most
    // once per interval of work, counted from the work's first question.
    virtual bool stop() = 0;

protected:
    ~StopCheck() = default;
};

// Installs a check for the current thread for the scope's length; scopes
// nest, the innermost one answering. Once its check has said stop, the scope
// stays stopped: every later question of the thread's work answers stop.
class StopScope {
public:
    StopScope(StopCheck& check, std::chrono::nanoseconds interval);
    ~StopScope();
    StopScope(const StopScope&) = delete;
    StopScope& operator=(const StopScope&) = delete;

    bool stopped() const { return stopped_; }

private:
    friend class StopPoll;
    // Asks the check when the interval has passed since it was last asked.
    bool ask();

    StopCheck& check_;
    std::chrono::steady_clock::duration interval_;
    std::chrono::steady_clock::time_point next_;
    StopScope* outer_;
    bool started_ = false;
    bool stopped_ = false;
};

// Whether the current thread's work has been told to stop.
bool stop_requested();

// The question a long loop asks at every step. Most steps only count down;
// every `every` steps the clock is read, and the check is asked once its
// interval has passed, so a loop of short steps asks at a cost no timing
// sees. Ask it with a large `every` where steps take well under a
// microsecond, with 1 where each takes many.
class StopPoll {
public:
    explicit StopPoll(std::uint32_t every = 1);
    bool operator()() { return --countdown_ == 0 && ask(); }

private:
    bool ask();
    StopScope* scope_;
    std::uint32_t every_;
    std::uint32_t countdown_;
};

}  // namespace cellvane
