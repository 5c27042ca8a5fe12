// The basic values every part of the engine shares: points and their exact
// identity, the distances of the rules and the board's frame, stones and
// their colours, the groups of a position, the number texts every message,
// representation and drawing uses, and the question long work asks of
// whoever wants it to stop.
//
// Plain C++: no Python, no exceptions.
#pragma once

#include <bit>
#include <chrono>
#include <compare>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cellvane {

// ------------------------------------------------------------------ points

struct Point {
    double x = 0.0;
    double y = 0.0;
};

// The one absolute tolerance of the geometry.
inline constexpr double EPSILON = 1e-7;
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

// ------------------------------------------------------- the rules' distances

// A stone is a disc of this radius, wholly on the board: its centre stays
// this far inside every edge.
inline constexpr double STONE_RADIUS = 1.0;
// Stones may touch but not overlap.
inline constexpr double STONE_DIAMETER = 2.0;
// The dead zone carved round a stone's centre, where no other centre may
// sit: the open disc of radius STONE_DIAMETER. A new stone fills the forced
// eyes it holds, its edge included.
inline constexpr double DEAD_ZONE_RADIUS = STONE_DIAMETER;
// A territory touches playable space where one of its edges comes within a
// stone's radius of the alive zone's boundary or of a forced eye: a stone
// placed there would reach it.
inline constexpr double LIVENESS_REACH = STONE_RADIUS;
// The cut questions: beyond these distances (between the two stones, or
// from the stone to the edge) they are not answered.
inline constexpr double MAX_PAIR_CUT_DISTANCE = 3.4641016151377544;    // 2 sqrt(3)
inline constexpr double MAX_BOUNDARY_CUT_DISTANCE = 2.732050807568877;  // 1 + sqrt(3)
// Closer than these, no enemy stone fits between two friendly stones
// (2 sqrt(2), less a margin for rounding), nor between a stone and an edge
// (half the distance to its mirror image).
inline constexpr double PAIR_CUT_SHORTCUT = 2.82842612474619;
inline constexpr double BOUNDARY_CUT_SHORTCUT = 1.999999;
// An enemy stone further than this from the midpoint of a cut question's
// two points cannot reach the stretch of bisector that matters.
inline constexpr double CUT_REACH = 4.02;

// The board square [0, size] x [0, size] and the lines one stone radius
// inside its edges that bound where a stone's centre may sit: x or y = near
// (the left and top lines) and x or y = far (the right and bottom lines).
// far is size + (-STONE_RADIUS), worked out once here for every test of the
// board's edges.
struct BoardFrame {
    double size = 0.0;
    double near = STONE_RADIUS;
    double far = -STONE_RADIUS;

    BoardFrame() = default;
    // The frame of a board of side s.
    BoardFrame(double s) : size(s), far(s + (-STONE_RADIUS)) {}
};

// ------------------------------------------------------------------ stones

enum class Color : std::uint8_t { Black = 0, White = 1 };

inline Color opposite(Color c) { return c == Color::Black ? Color::White : Color::Black; }

struct Stone {
    Point position;
    std::uint32_t id = 0;
    Color color = Color::Black;
};

// ------------------------------------------------------------------ groups

// Closed list of points: the last repeats the first.
using Ring = std::vector<Point>;

// One group of a position: its stones and the territory it controls.
struct Group {
    std::vector<Stone> stones;  // ascending by id
    std::vector<Ring> rings;    // ring 0 the outer boundary, later rings holes
    Color color = Color::Black;
};

// The groups of a position, each colour's in ascending order of their lowest
// stone id.
struct PositionAnalysis {
    std::vector<Group> black;
    std::vector<Group> white;
};

// ----------------------------------------------------------- damaged data

// Marks a condition that only a damaged structure meets: the engine never
// builds one, and its invariants hold as debug assertions where they are
// kept. The tests damage structures on purpose to see that reading or even
// changing one neither loops nor reads out of range, so the branch stays;
// the marker only names it.
constexpr bool damaged(bool condition) { return condition; }

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

// A fault message built piece by piece: texts, decimal integers, an id as
// "Name(17)", and points in representation form.
class MessageText {
public:
    explicit MessageText(std::string_view prefix = {}) { out_.append(prefix); }
    MessageText& s(std::string_view v) {
        out_.append(v);
        return *this;
    }
    MessageText& n(std::uint64_t v);
    MessageText& id(std::string_view name, std::uint64_t v) { return s(name).s("(").n(v).s(")"); }
    MessageText& point(Point p) { return s(format_point(p)); }
    std::string done() { return std::move(out_); }

private:
    std::string out_;
};

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
