// Coverage-guided fuzzing of the engine (libFuzzer).
//
// The input bytes, read front to back (missing bytes read as zero), decode
// into:
//   1. a board size: one of a table of ordinary and hostile sizes (zero,
//      negative, NaN, infinities, 1e120, tiny), or any double;
//   2. a log of up to MAX_LOG deltas committed as a replay would commit them:
//      passes or stones with arbitrary ids and colours, positions that may be
//      NaN, infinite, huge, negative or on the edge lines, and capture lists
//      of up to MAX_CAPTURES ids (duplicates, any order, ids not in play);
//   3. up to MAX_STEPS steps: moves at raw and at snapped points, passes,
//      undos, pair and edge cut questions, every query, a copy and a replay
//      of the board's own log. A step whose operation byte is 200 or more is
//      told to stop (core's StopCheck) at its (byte - 199)-th question: it
//      must then leave the board as it was.
// After every step a second thread reads the board, as a host's other
// thread would once the step's call has given the game back, with every
// third read told to stop at its first question; then the board must
// validate. An invalid board aborts. The input sizes are bounded so that
// every input runs in bounded time and memory.
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "analysis/analysis.hpp"
#include "engine/engine.hpp"
#include "zone/zone.hpp"
#include "render/render.hpp"
#include "validate/validate.hpp"

namespace {

using namespace cellvane;

constexpr int MAX_LOG = 24;
constexpr int MAX_CAPTURES = 6;
constexpr int MAX_STEPS = 48;

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte() {
        if (size_ == 0) return 0;
        --size_;
        return *data_++;
    }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(byte()) << (8 * i);
        return v;
    }
    double f64() {
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits |= static_cast<std::uint64_t>(byte()) << (8 * i);
        double v = 0.0;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    // A fraction in [0, 1] with 16 bits of resolution.
    double unit() {
        const unsigned hi = byte();
        const unsigned lo = byte();
        return static_cast<double>((hi << 8) | lo) / 65535.0;
    }
    bool empty() const { return size_ == 0; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

double board_size(Reader& in) {
    static const double SIZES[] = {18.0, 6.0, 4.0, 2.0, 2.5, 3.0, 1.0, 0.0, -0.0, -1.0, -18.0, NaN, INF, -INF,
                                   1e120, 1e-300, 1e15, 4.5, 7.0, 9.5, 19.0};
    constexpr unsigned COUNT = sizeof SIZES / sizeof SIZES[0];
    const unsigned pick = in.byte();
    if (pick < 4 * COUNT) return SIZES[pick % COUNT];
    if (pick < 250) return in.unit() * 40.0;
    return in.f64();
}

double coordinate(Reader& in, double size) {
    const unsigned pick = in.byte();
    switch (pick % 16) {
        case 0:
            return NaN;
        case 1:
            return pick < 128 ? INF : -INF;
        case 2:
            return pick < 128 ? 1e308 : -1e300;
        case 3:
            return pick < 128 ? -0.0 : 0.0;
        case 4:
            return size;
        case 5:
            return pick < 128 ? 1.0 : size - 1.0;
        case 6:
            return pick < 128 ? 5e-324 : -1.0;
        case 7:
            return in.f64();
        case 8:
        case 9:
            return static_cast<double>(in.byte() % 64) / 2.0;  // half points
        default:
            return in.unit() * (size == size && std::fabs(size) < 1e6 ? size : 40.0);
    }
}

Point point(Reader& in, double size) {
    const double x = coordinate(in, size);
    return Point{x, coordinate(in, size)};
}

// An id: one that was used before, a small one, or any.
std::uint32_t stone_id(Reader& in, const std::vector<std::uint32_t>& used) {
    const unsigned pick = in.byte();
    if (pick < 160 && !used.empty()) return used[pick % used.size()];
    if (pick < 240) return pick % 64;
    return in.u32();
}

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "cellvane fuzz: %s: %s\n", what, detail.c_str());
    std::abort();
}

void check(const Board& board, const char* after) {
    if (std::optional<std::string> fault = validate(board)) fail(after, *fault);
}

std::vector<std::uint32_t> ids_in_play(const Board& board) {
    std::vector<std::uint32_t> ids;
    for (const auto& [id, stone] : board.stones_in_play()) ids.push_back(id);
    return ids;
}

// Everything a query can ask, read for its side effects on the memos and
// for crashes; the answers are only sanity-checked, unless `stopped()` says
// the work was told to stop.
template <class Stopped>
void ask_everything(const Board& board, Point p, Stopped stopped) {
    const PositionAnalysis& analysis = board.analysis();
    std::size_t grouped = 0;
    for (const std::vector<Group>* groups : {&analysis.black, &analysis.white}) {
        for (const Group& group : *groups) {
            grouped += group.stones.size();
            (void)area(group.rings);
            (void)territory_contains(group.rings, p.x, p.y);
        }
    }
    if (grouped != board.stone_count() && !stopped()) fail("groups", "a stone is not in exactly one group");
    (void)dead_stones(analysis, board.alive_zone(), Color::Black);
    (void)dead_stones(analysis, board.alive_zone(), Color::White);
    (void)board.alive_zone().nearest_living_move(p);
    (void)board.alive_zone().depth_at(p);
    (void)dump_svg(board);
    (void)board.deltas();
    (void)board.last_placed_stone();
}

// Says stop at its `at`-th question (never when `at` is 0), asked at every
// poll.
class StopAt final : public StopCheck {
public:
    explicit StopAt(unsigned at) : at_(at) {}
    bool stop() override { return at_ != 0 && ++asked_ >= at_; }

private:
    unsigned at_;
    unsigned asked_ = 0;
};

// A second thread that reads the board when asked, while the asking thread
// waits: the board passes from thread to thread as a game's lock passes it
// between calls, so each thread fills the board's memos with its own
// buffers for the other to read.
class SecondReader {
public:
    SecondReader() : thread_([this] { serve(); }) {}
    SecondReader(const SecondReader&) = delete;
    SecondReader& operator=(const SecondReader&) = delete;
    ~SecondReader() {
        {
            const std::lock_guard guard(mutex_);
            done_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    // Reads everything of the board at p, stopping at the stop_at-th
    // question (never when 0), on the second thread; answers when done.
    void read(const Board& board, Point p, unsigned stop_at) {
        std::unique_lock guard(mutex_);
        board_ = &board;
        p_ = p;
        stop_at_ = stop_at;
        changed_.notify_all();
        changed_.wait(guard, [this] { return board_ == nullptr; });
    }

private:
    void serve() {
        std::unique_lock guard(mutex_);
        while (true) {
            changed_.wait(guard, [this] { return done_ || board_ != nullptr; });
            if (board_ == nullptr) return;
            StopAt check(stop_at_);
            {
                const StopScope scope(check, std::chrono::nanoseconds(0));
                ask_everything(*board_, p_, stop_requested);
            }
            board_ = nullptr;
            changed_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    const Board* board_ = nullptr;
    Point p_;
    unsigned stop_at_ = 0;
    bool done_ = false;
    std::thread thread_;
};

void run(Reader& in, SecondReader& second) {
    const double size = board_size(in);
    Board board(size);
    std::vector<std::uint32_t> used;

    const int log_length = in.byte() % (MAX_LOG + 1);
    for (int i = 0; i < log_length; ++i) {
        GameDelta delta;
        const unsigned kind = in.byte();
        if (kind % 4 != 0) {
            const std::uint32_t id = kind % 4 == 1 ? static_cast<std::uint32_t>(i) : stone_id(in, used);
            const Color color = (kind & 0x10) != 0 ? Color::White : Color::Black;
            delta.new_stone = Stone{point(in, size), id, color};
            used.push_back(id);
        }
        const int captures = in.byte() % (MAX_CAPTURES + 1);
        for (int c = 0; c < captures; ++c) delta.captured_stone_ids.push_back(stone_id(in, used));
        (void)board.commit(std::move(delta), false);
        check(board, "a logged commit");
    }

    const int steps = in.byte() % (MAX_STEPS + 1);
    for (int step = 0; step < steps && !in.empty(); ++step) {
        const unsigned op = in.byte();
        const std::vector<std::uint32_t> ids = ids_in_play(board);
        const std::size_t turns_before = board.history().size();
        const std::uint64_t revision_before = board.revision();
        StopAt stop_at(op >= 200 ? op - 199 : 0);
        std::optional<StopScope> scope;
        scope.emplace(stop_at, std::chrono::nanoseconds(0));
        switch (op % 10) {
            case 0:
            case 1: {  // a move at a snapped point, when there is one
                const Point p = point(in, size);
                const std::optional<Point> q = board.alive_zone().nearest_living_move(p);
                const std::size_t turns = board.history().size();
                const auto played = board.try_move(q.value_or(p));
                if (std::holds_alternative<GameDelta>(played) != (board.history().size() == turns + 1)) {
                    fail("a move", "the history does not match the answer");
                }
                if (stop_requested() && std::holds_alternative<GameDelta>(played)) fail("a stopped move", "played");
                break;
            }
            case 2: {  // a move at a raw point
                const std::size_t turns = board.history().size();
                const auto played = board.try_move(point(in, size));
                if (std::holds_alternative<MoveError>(played) && board.history().size() != turns) {
                    fail("a refused move", "the history changed");
                }
                break;
            }
            case 3:
                (void)board.pass_turn();
                break;
            case 4: {
                const int undos = 1 + in.byte() % 3;
                for (int u = 0; u < undos; ++u) (void)board.undo();
                break;
            }
            case 5: {
                const std::uint32_t a = stone_id(in, ids);
                (void)board.pair_cuttable(a, stone_id(in, ids));
                break;
            }
            case 6:
                (void)board.boundary_cuttable(stone_id(in, ids), static_cast<BoardEdge>(in.byte() % 4));
                break;
            case 7:
                ask_everything(board, point(in, size), stop_requested);
                break;
            case 8: {  // a copy evolves on its own
                Board copy(board);
                check(copy, "a copy");
                (void)copy.pass_turn();
                (void)copy.undo();
                check(copy, "a changed copy");
                break;
            }
            default: {  // the board's own log replays
                const StopScope unstopped(stop_at, std::chrono::hours(1));
                Board again(size);
                for (GameDelta& delta : board.deltas()) {
                    if (std::optional<CommitError> refused = again.commit(std::move(delta), false)) {
                        fail("a replay of the board's own log", refused->message());
                    }
                }
                if (again.stone_count() != board.stone_count() || again.turn() != board.turn()) {
                    fail("a replay of the board's own log", "a different board");
                }
                check(again, "a replay");
                break;
            }
        }
        const bool stopped = stop_requested();
        scope.reset();
        if (stopped && (board.history().size() != turns_before || board.revision() != revision_before) &&
            op % 10 <= 2) {
            fail("a stopped move", "the board changed");
        }
        check(board, "a step");
        second.read(board, Point{size / 2, size / 3}, step % 3 == 2 ? 1 : 0);
        check(board, "a read on the second thread");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static SecondReader second;
    Reader in(data, size);
    run(in, second);
    return 0;
}
