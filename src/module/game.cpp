// The Game class: the host's handle on one board.
//
// A Game object holds its Board in place (built by placement new when the
// object is created, destroyed in tp_dealloc), its lock (game_lock.hpp), the
// state of its module and the list of weak references to it. Queries take
// the game for reading, changes (and the cut questions, which write the cut
// memo) take it for a change. Every hold lasts until the answer has been
// converted into host objects: building those objects can run arbitrary
// host code (a garbage collection pass running a finaliser), and that code
// must not change a board whose containers are being walked.
//
// Engine work runs with the interpreter lock released (Held::work); only the
// conversions of arguments and results hold it.
#include <new>
#include <optional>
#include <ranges>
#include <utility>

#include "module/game_lock.hpp"
#include "module/module.hpp"
#include "render/render.hpp"
#include "validate/validate.hpp"

#include <structmember.h>  // needs Python.h, included above

namespace cellvane::py {

namespace {

// The fixed part of a game object, standard layout so that the host can be
// told where the weak reference list sits. The rest follows it.
struct GameHead {
    PyObject_HEAD
    PyObject* weakrefs;  // the weak references to this game, managed by the host
};

// The fields past the head are constructed in place by allocate_game and
// destroyed by game_dealloc.
struct GameObject : GameHead {
    const ModuleState* state;
    GameLock lock;
    // An allocation failure broke the board part way through a change: every
    // later call refuses.
    bool unusable;
    Board board;
};

GameObject* as_game(PyObject* o) noexcept { return reinterpret_cast<GameObject*>(o); }

void game_dealloc(PyObject* self) noexcept;

const char* const UNUSABLE =
    "this game ran out of memory part way through a change and can no longer be used; "
    "build it again from its log with Game.replay";

// ------------------------------------------------------------------- holds

// One call's hold on its game, given back when the guard goes away.
class Held {
public:
    explicit Held(GameObject& game) : game_(game) {}
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() {
        if (held_) game_.lock.give_back();
    }

    // Takes the game, waiting for another thread's call to end; false with
    // an exception set: RuntimeError when the borrow rules refuse or the game
    // is unusable, or the exception of a signal's handler run while waiting.
    bool take(GameLock::Kind kind) {
        if (!game_.lock.take(kind, PyThread_get_thread_ident() == game_.state->main_thread)) return false;
        held_ = true;
        if (!game_.unusable) return true;
        PyErr_SetString(PyExc_RuntimeError, UNUSABLE);
        return false;
    }

    const Board& board() const { return game_.board; }
    const ModuleState& state() const { return *game_.state; }

    // Runs f(board) with the interpreter lock released (engine work touching
    // no host object); false with an exception set when it ran out of memory
    // or a signal's handler stopped it. A change whose allocation failed is
    // settled: its board is as it was, or, when the failure broke it, the
    // game is unusable from now on.
    template <class F>
    bool work(F f) {
        GameObject& game = game_;
        game.lock.set_working(true);
        const bool done = without_interpreter_lock(*game.state, [&] {
            try {
                f(game.board);
            } catch (const std::bad_alloc&) {
                settle(game);
                throw;
            } catch (const std::length_error&) {
                settle(game);
                throw;
            }
        });
        game.lock.set_working(false);
        return done;
    }

private:
    static void settle(GameObject& game) {
        bool whole = false;
        try {
            whole = game.board.settle();
        } catch (const std::bad_alloc&) {
        } catch (const std::length_error&) {
        }
        if (!whole) game.unusable = true;
    }

    GameObject& game_;
    bool held_ = false;
};

// Runs `f(Held&)` with the game held for reading.
template <class F>
PyObject* read(PyObject* self, F f) {
    Held held(*as_game(self));
    if (!held.take(GameLock::Kind::Read)) return nullptr;
    return f(held);
}

// Runs `f(Held&)` with the game held for a change.
template <class F>
PyObject* change(PyObject* self, F f) {
    Held held(*as_game(self));
    if (!held.take(GameLock::Kind::Change)) return nullptr;
    return f(held);
}

// -------------------------------------------------------------- lifecycle

// A new object of `type` (Game or a subclass) holding `board`.
PyObject* allocate_game(const ModuleState& m, PyTypeObject* type, Board&& board) {
    return allocate_object<GameObject>(type, [&](GameObject& game) {
        game.weakrefs = nullptr;
        game.state = &m;
        game.unusable = false;
        new (&game.board) Board(std::move(board));
        new (&game.lock) GameLock();
    });
}

const ModuleState& game_state(PyTypeObject* type) noexcept { return state_of(type, game_dealloc); }

PyObject* game_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static const char* const names[] = {"board_size", nullptr};
    PyObject* size_arg = nullptr;
    if (!parse_args(args, kwargs, "O:Game", names, &size_arg)) return nullptr;
    double board_size = 0.0;
    if (!to_double(size_arg, "board_size", board_size)) return nullptr;
    return allocate_game(game_state(type), type, Board(board_size));
}

// The board is built by __new__ and never rebuilt. __init__ only holds
// calls to the constructor's signature, so that a subclass's own __init__
// can call `super().__init__(board_size)`; a subclass that changes the
// constructor's arguments overrides __new__, and then any arguments are let
// through, as `object.__init__` does.
int game_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    PyTypeObject* base = as_type(game_state(Py_TYPE(self)).game_type);
    if (PyType_GetSlot(Py_TYPE(self), Py_tp_new) != PyType_GetSlot(base, Py_tp_new)) return 0;
    static const char* const names[] = {"board_size", nullptr};
    PyObject* size_arg = nullptr;
    return parse_args(args, kwargs, "O:Game", names, &size_arg) ? 0 : -1;
}

void game_dealloc(PyObject* self) noexcept {
    if (as_game(self)->weakrefs) PyObject_ClearWeakRefs(self);
    destroy_object<GameObject>(self);
}

// A plain Game holding a deep copy of the board, memos included.
PyObject* game_copy(PyObject* self, PyObject*) {
    return read(self, [&](Held& held) -> PyObject* {
        std::optional<Board> copy;
        if (!held.work([&](const Board& board) { copy.emplace(board); })) return nullptr;
        const ModuleState& m = held.state();
        return allocate_game(m, as_type(m.game_type), std::move(*copy));
    });
}

PyObject* game_deepcopy(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const char* const names[] = {"_memo", nullptr};
    PyObject* memo = Py_None;  // a Game holds no host objects to share
    if (!parse_args(args, kwargs, "|O:__deepcopy__", names, &memo)) return nullptr;
    return game_copy(self, nullptr);
}

}  // namespace

PyObject* replay_game(PyTypeObject* type, PyObject* size_arg, PyObject* deltas_arg) {
    const ModuleState& m = game_state(type);
    double board_size = 0.0;
    if (!to_double(size_arg, "board_size", board_size)) return nullptr;
    // The whole log is read and checked before the first turn is played, so a
    // bad item fails the call with no board built. The objects are held until
    // the end, so the values inside them can be read with the interpreter
    // lock released.
    std::vector<Ref> items;
    if (!to_delta_list(m, deltas_arg, "deltas", items)) return nullptr;
    std::vector<const GameDelta*> deltas;
    deltas.reserve(items.size());
    for (const Ref& item : items) deltas.push_back(delta_of(m, item.get()));

    // The board is private to the call until it succeeds: a failed,
    // interrupted or exhausted replay leaves nothing behind. Should the
    // thread be ended while the lock is released (see Entry), the log's
    // references are left as they are rather than given back without it.
    struct Unlocked {
        std::vector<Ref>& items;
        bool locked = false;
        ~Unlocked() {
            if (!locked) {
                for (Ref& item : items) (void)item.release();
            }
        }
    } unlocked{items};
    std::optional<Board> board;
    std::optional<CommitError> refused;
    const bool done = without_interpreter_lock(m, [&] {
        board.emplace(board_size);
        StopPoll stop;
        for (const GameDelta* delta : deltas) {
            if (stop()) return;
            refused = board->commit(*delta, false);
            if (refused) return;
        }
    });
    unlocked.locked = true;
    if (!done) return nullptr;
    if (refused) return raise_commit_error(m, *refused);
    return allocate_game(m, type, std::move(*board));
}

namespace {

PyObject* game_replay(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* const names[] = {"board_size", "deltas", nullptr};
    PyObject* size_arg = nullptr;
    PyObject* deltas_arg = nullptr;
    if (!parse_args(args, kwargs, "OO:replay", names, &size_arg, &deltas_arg)) return nullptr;
    return replay_game(as_type(interpreter_state().game_type), size_arg, deltas_arg);
}

// -------------------------------------------------------------- properties

PyObject* get_board_size(PyObject* self, void*) {
    return read(self, [](Held& h) { return PyFloat_FromDouble(h.board().board_size()); });
}

PyObject* get_turn(PyObject* self, void*) {
    return read(self, [](Held& h) { return PyLong_FromUnsignedLong(h.board().turn()); });
}

PyObject* get_pending_color(PyObject* self, void*) {
    return read(self, [](Held& h) { return new_color(h.state(), h.board().color_to_move()); });
}

PyObject* get_next_stone_id(PyObject* self, void*) {
    // A pass consumes a number too, so the next id is the turn number.
    return read(self, [](Held& h) { return PyLong_FromUnsignedLong(h.board().turn()); });
}

PyObject* get_captures(PyObject* self, void*) {
    return read(self, [](Held& h) {
        const Board& b = h.board();
        return Py_BuildValue("(kk)", static_cast<unsigned long>(b.captures(Color::Black)),
                             static_cast<unsigned long>(b.captures(Color::White)));
    });
}

PyObject* get_status(PyObject* self, void*) {
    return read(self, [](Held& h) { return new_status(h.state(), h.board().status()); });
}

PyObject* get_revision(PyObject* self, void*) {
    return read(self, [](Held& h) {
        return PyLong_FromUnsignedLongLong(static_cast<unsigned long long>(h.board().revision()));
    });
}

PyObject* get_stone_count(PyObject* self, void*) {
    return read(self, [](Held& h) { return PyLong_FromSize_t(h.board().stone_count()); });
}

// ------------------------------------------------------------------ slots

PyObject* game_repr(PyObject* self) {
    return read(self, [](Held& h) {
        const Board& b = h.board();
        std::string out = "Game(board_size=";
        append_repr(out, b.board_size());
        out += ", turn=";
        out += std::to_string(b.turn());
        out += ", stones=";
        out += std::to_string(b.stone_count());
        out += ')';
        return new_string(out);
    });
}

Py_ssize_t game_len(PyObject* self) {
    Held held(*as_game(self));
    if (!held.take(GameLock::Kind::Read)) return -1;
    return static_cast<Py_ssize_t>(held.board().stone_count());
}

// ----------------------------------------------------------------- queries

PyObject* game_stones(PyObject* self, PyObject*) {
    return read(self, [](Held& h) -> PyObject* {
        return new_list(h.board().stones_in_play(),
                        [&](const auto& entry) { return new_stone(h.state(), entry.second); });
    });
}

PyObject* game_stone(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const char* const names[] = {"stone_id", nullptr};
    PyObject* id_arg = nullptr;
    if (!parse_args(args, kwargs, "O:stone", names, &id_arg)) return nullptr;
    std::uint32_t id = 0;
    if (!to_u32(id_arg, "stone_id", id)) return nullptr;
    return read(self, [id](Held& h) -> PyObject* {
        const Stone* stone = h.board().stone(id);
        if (!stone) Py_RETURN_NONE;
        return new_stone(h.state(), *stone);
    });
}

PyObject* game_last_placed_stone(PyObject* self, PyObject*) {
    return read(self, [](Held& h) -> PyObject* {
        const std::optional<Stone> stone = h.board().last_placed_stone();
        if (!stone) Py_RETURN_NONE;
        return new_stone(h.state(), *stone);
    });
}

// The committed turns as a new list of GameDelta, oldest first.
PyObject* new_delta_list(const Held& h) {
    Ref list = Ref::steal(PyList_New(0));
    if (!list) return nullptr;
    for (const HistoryEntry& entry : h.board().history()) {
        if (entry.provisional) continue;  // never visible between calls
        Ref item = Ref::steal(new_delta(h.state(), entry.delta));
        if (!item || PyList_Append(list.get(), item.get()) < 0) return nullptr;
    }
    return list.release();
}

PyObject* game_deltas(PyObject* self, PyObject*) { return read(self, new_delta_list); }

// A game pickles as its log: `Game.replay(board_size, deltas)` rebuilds the
// position, captures and forced eyes included. The revision counter and the
// memos are not carried; the rebuilt game counts one revision per delta and
// fills its memos afresh.
PyObject* game_reduce(PyObject* self, PyObject*) {
    return read(self, [&](Held& h) -> PyObject* {
        Ref replay = Ref::steal(PyObject_GetAttrString(h.state().game_type, "replay"));
        if (!replay) return nullptr;
        Ref deltas = Ref::steal(new_delta_list(h));
        if (!deltas) return nullptr;
        return Py_BuildValue("(O(dO))", replay.get(), h.board().board_size(), deltas.get());
    });
}

PyObject* game_nearest_living_move(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const char* const names[] = {"position", nullptr};
    PyObject* position_arg = nullptr;
    if (!parse_args(args, kwargs, "O:nearest_living_move", names, &position_arg)) return nullptr;
    Point position;
    if (!to_point(position_arg, "position", position)) return nullptr;
    return read(self, [position](Held& h) -> PyObject* {
        std::optional<Point> nearest;
        if (!h.work([&](const Board& b) { nearest = b.nearest_living_move(position); })) return nullptr;
        if (!nearest) Py_RETURN_NONE;
        return new_point(*nearest);
    });
}

// Black's groups, then White's, each in the analysis's order. The analysis
// is computed with the interpreter lock released, unless its memo holds it.
PyObject* game_groups(PyObject* self, PyObject*) {
    return read(self, [](Held& h) -> PyObject* {
        const Board& board = h.board();
        if (!board.has_analysis() && !h.work([](const Board& b) { (void)b.analysis(); })) return nullptr;
        const PositionAnalysis& analysis = board.analysis();
        const std::size_t black = analysis.black.size();
        const auto indices = std::views::iota(std::size_t{0}, black + analysis.white.size());
        return new_list(indices, [&](std::size_t i) {
            return new_group(h.state(), i < black ? analysis.black[i] : analysis.white[i - black]);
        });
    });
}

double share_of(const std::vector<Group>& groups) noexcept {
    double total = -0.0;
    for (const Group& group : groups) total += territory_area(group);
    return total;
}

PyObject* game_territory(PyObject* self, PyObject*) {
    return read(self, [](Held& h) -> PyObject* {
        double black = 0.0;
        double white = 0.0;
        if (!h.work([&](const Board& b) {
                const PositionAnalysis& analysis = b.analysis();
                black = share_of(analysis.black);
                white = share_of(analysis.white);
            })) {
            return nullptr;
        }
        return Py_BuildValue("(dd)", black, white);
    });
}

PyObject* game_dead_stones(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const char* const names[] = {"color", nullptr};
    PyObject* color_arg = nullptr;
    if (!parse_args(args, kwargs, "O:dead_stones", names, &color_arg)) return nullptr;
    Color color = Color::Black;
    if (!to_color(*as_game(self)->state, color_arg, "color", color)) return nullptr;
    return read(self, [color](Held& h) -> PyObject* {
        std::vector<Stone> dead;
        if (!h.work([&](const Board& b) { dead = b.dead_stones(color); })) return nullptr;
        return new_stone_list(h.state(), dead);
    });
}

PyObject* game_validate(PyObject* self, PyObject*) {
    return read(self, [](Held& h) -> PyObject* {
        std::optional<std::string> fault;
        if (!h.work([&](const Board& b) { fault = validate(b); })) return nullptr;
        if (fault) return raise_board_error(h.state(), *fault);
        Py_RETURN_NONE;
    });
}

PyObject* game_dump_svg(PyObject* self, PyObject*) {
    return read(self, [](Held& h) -> PyObject* {
        std::string svg;
        if (!h.work([&](const Board& b) { svg = dump_svg(b); })) return nullptr;
        return new_string(svg);
    });
}

// ----------------------------------------------------------- cut questions

PyObject* cut_answer(const ModuleState& m, const CutAnswer& answer) {
    if (const CutFault* fault = std::get_if<CutFault>(&answer)) return raise_cut_fault(m, *fault);
    return new_cut_kind(m, std::get<CutKind>(answer));
}

PyObject* game_pair_cuttable(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const char* const names[] = {"a", "b", nullptr};
    PyObject* a_arg = nullptr;
    PyObject* b_arg = nullptr;
    if (!parse_args(args, kwargs, "OO:pair_cuttable", names, &a_arg, &b_arg)) return nullptr;
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    if (!to_u32(a_arg, "a", a) || !to_u32(b_arg, "b", b)) return nullptr;
    return change(self, [a, b](Held& h) -> PyObject* {
        CutAnswer answer;
        if (!h.work([&](Board& board) { answer = board.pair_cuttable(a, b); })) return nullptr;
        return cut_answer(h.state(), answer);
    });
}

PyObject* game_boundary_cuttable(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const char* const names[] = {"stone_id", "edge", nullptr};
    PyObject* id_arg = nullptr;
    PyObject* edge_arg = nullptr;
    if (!parse_args(args, kwargs, "OO:boundary_cuttable", names, &id_arg, &edge_arg)) return nullptr;
    std::uint32_t id = 0;
    BoardEdge edge = BoardEdge::Left;
    if (!to_u32(id_arg, "stone_id", id) || !to_edge(*as_game(self)->state, edge_arg, "edge", edge)) return nullptr;
    return change(self, [id, edge](Held& h) -> PyObject* {
        CutAnswer answer;
        if (!h.work([&](Board& board) { answer = board.boundary_cuttable(id, edge); })) return nullptr;
        return cut_answer(h.state(), answer);
    });
}

// ----------------------------------------------------------------- changes

PyObject* game_try_move(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const char* const names[] = {"position", nullptr};
    PyObject* position_arg = nullptr;
    if (!parse_args(args, kwargs, "O:try_move", names, &position_arg)) return nullptr;
    // The game is taken before `position` is converted, so host code run by
    // the conversion (a __float__) finds the game held and cannot change it.
    return change(self, [position_arg](Held& h) -> PyObject* {
        Point position;
        if (!to_point(position_arg, "position", position)) return nullptr;
        std::variant<GameDelta, MoveError> played;
        if (!h.work([&](Board& board) { played = board.try_move(position); })) return nullptr;
        if (MoveError* refused = std::get_if<MoveError>(&played)) return raise_move_error(h.state(), *refused);
        return new_delta(h.state(), std::move(std::get<GameDelta>(played)));
    });
}

PyObject* game_pass_turn(PyObject* self, PyObject*) {
    return change(self, [](Held& h) -> PyObject* {
        std::optional<MoveError> refused;
        if (!h.work([&](Board& board) { refused = board.pass_turn(); })) return nullptr;
        if (refused) return raise_move_error(h.state(), *refused);
        Py_RETURN_NONE;
    });
}

PyObject* game_undo_move(PyObject* self, PyObject*) {
    return change(self, [](Held& h) -> PyObject* {
        std::optional<GameDelta> undone;
        if (!h.work([&](Board& board) { undone = board.undo(); })) return nullptr;
        if (!undone) Py_RETURN_NONE;
        return new_delta(h.state(), std::move(*undone));
    });
}

// ------------------------------------------------------------------- tables

constexpr int WITH_ARGS = METH_VARARGS | METH_KEYWORDS;

PyMethodDef game_methods[] = {
    {"replay", as_cfunction(entry<game_replay>), WITH_ARGS | METH_STATIC,
     "replay(board_size, deltas)\n--\n\n"
     "A board with `deltas` played onto it as committed turns, in order.\n"
     "\n"
     "This is how a game is rebuilt from its log. Deltas carry their own\n"
     "capture lists, so a replay reproduces the captures — and the forced eyes\n"
     "they leave — without re-deriving life and death.\n"
     "\n"
     "Raises a `DeltaError` naming the first delta the board cannot account\n"
     "for, with nothing after it applied — or `GameOverError` for a log that\n"
     "carries on past two passes in a row, which is a log of a game that had\n"
     "already ended."},
    {"from_record", as_cfunction(entry<game_from_record>), WITH_ARGS | METH_CLASS, FROM_RECORD_DOC},
    {"to_record", entry<game_to_record>, METH_NOARGS, TO_RECORD_DOC},
    {"stones", entry<game_stones>, METH_NOARGS, "stones($self)\n--\n\nThe stones in play, ascending by id."},
    {"stone", as_cfunction(entry<game_stone>), WITH_ARGS,
     "stone($self, stone_id)\n--\n\nThe stone with this id, or `None` if it is not in play."},
    {"last_placed_stone", entry<game_last_placed_stone>, METH_NOARGS,
     "last_placed_stone($self)\n--\n\n"
     "The stone placed on the last committed turn, or `None` if that turn was\n"
     "a pass or nothing has been played."},
    {"deltas", entry<game_deltas>, METH_NOARGS,
     "deltas($self)\n--\n\n"
     "The committed turns, oldest first — everything needed to replay this\n"
     "game into a fresh board of the same size."},
    {"nearest_living_move", as_cfunction(entry<game_nearest_living_move>), WITH_ARGS,
     "nearest_living_move($self, position)\n--\n\n"
     "The placeable position nearest `position`, or `None` when the board is\n"
     "full.\n"
     "\n"
     "A position that is already placeable is its own answer. This is the\n"
     "snapping `try_move` deliberately does not do."},
    {"groups", entry<game_groups>, METH_NOARGS, "groups($self)\n--\n\nEvery group on the board, black's before white's."},
    {"territory", entry<game_territory>, METH_NOARGS,
     "territory($self)\n--\n\n"
     "The board area each player controls, as `(black, white)`.\n"
     "\n"
     "The whole board is `board_size ** 2`, and the two shares sum to it once\n"
     "there is at least one stone. Komi, and what to do with the difference,\n"
     "are yours."},
    {"dead_stones", as_cfunction(entry<game_dead_stones>), WITH_ARGS,
     "dead_stones($self, color)\n--\n\n"
     "Every stone of `color` whose group no longer touches playable space."},
    {"pair_cuttable", as_cfunction(entry<game_pair_cuttable>), WITH_ARGS,
     "pair_cuttable($self, a, b)\n--\n\n"
     "Whether an enemy pair can be wedged between two of this board's stones.\n"
     "\n"
     "Answers a `CutKind`. `CutKind.TOO_FAR` when the two are further apart\n"
     "than `MAX_PAIR_CUT_DISTANCE`, which is **not** a verdict in either\n"
     "direction: past that distance the search could report a connection that\n"
     "is not there, so the rules decline rather than guess. The limit is a\n"
     "module constant so a caller can see which pairs are answerable before\n"
     "asking.\n"
     "\n"
     "This is a fact about the position, not about what a renderer would draw:\n"
     "the dense interior of a friendly shape is what any renderer hides, and it\n"
     "is the most certainly connected part of the board.\n"
     "\n"
     "Raises `CutError` when the question is not about a connection at all —\n"
     "either stone not in play, a stone against itself, or two colours."},
    {"boundary_cuttable", as_cfunction(entry<game_boundary_cuttable>), WITH_ARGS,
     "boundary_cuttable($self, stone_id, edge)\n--\n\n"
     "The same question about one of this board's stones and a board edge.\n"
     "\n"
     "`CutKind.TOO_FAR` when the stone is further from that edge than\n"
     "`MAX_BOUNDARY_CUT_DISTANCE`. Raises `CutError` when the stone is not in\n"
     "play; nothing else here can be malformed."},
    {"try_move", as_cfunction(entry<game_try_move>), WITH_ARGS,
     "try_move($self, position)\n--\n\n"
     "Plays a stone of the colour to move at `position`, taking whatever it\n"
     "captures, and answers the delta it committed.\n"
     "\n"
     "`position` must already be placeable — this does not snap, and\n"
     "`nearest_living_move` is how you make it so.\n"
     "\n"
     "Raises `NotPlaceableError` if no stone centre may sit there,\n"
     "`SelfCaptureError` if the move would take only the mover's own stones,\n"
     "and `GameOverError` if the game has ended on two passes. In every case\n"
     "the board is left exactly as it was, to the bit."},
    {"pass_turn", entry<game_pass_turn>, METH_NOARGS,
     "pass_turn($self)\n--\n\n"
     "Passes the turn.\n"
     "\n"
     "Spelled `pass_turn` because `pass` is a Python keyword. A pass is a\n"
     "committed delta like any other, so it can be undone.\n"
     "\n"
     "The second pass in a row ends the game; a third raises `GameOverError`,\n"
     "as does any move after it."},
    {"undo_move", entry<game_undo_move>, METH_NOARGS,
     "undo_move($self)\n--\n\n"
     "Takes back the last change and answers the delta it undid, or `None`\n"
     "when there is nothing to undo.\n"
     "\n"
     "The board comes back bit for bit, including the playable area's internal\n"
     "structure."},
    {"validate", entry<game_validate>, METH_NOARGS,
     "validate($self)\n--\n\n"
     "Checks every invariant the board is supposed to hold.\n"
     "\n"
     "Raises `BoardError` naming the first one that does not. A healthy board\n"
     "never raises: every variant is a bug in the engine rather than something\n"
     "a caller can provoke. Debug builds check this after every change; in a\n"
     "release wheel they do not, and this is how you ask."},
    {"dump_svg", entry<game_dump_svg>, METH_NOARGS,
     "dump_svg($self)\n--\n\n"
     "A standalone SVG of the position: every group filled with its own\n"
     "colour, dead area hatched, group ids labelled."},
    {"svg", as_cfunction(entry<game_svg>), WITH_ARGS,
     "svg($self, size=480, *, hatch=True, territory=True, labels=True, coordinates=True, highlight=())\n--\n\n"
     "The position as a picture for people: an SVG document `size` pixels\n"
     "square, drawn in board units.\n"
     "\n"
     "It draws the board's edge, the stones and a ring on the last placed\n"
     "stone. `hatch` covers the area no stone could ever cover: the points\n"
     "farther than a stone radius from every placeable position. `territory`\n"
     "fills each group's territory with its own colour, `labels` names each\n"
     "stone's group, `coordinates` writes board coordinates along the edges,\n"
     "and `highlight` rings the stones with these ids (ids not in play are\n"
     "skipped).\n"
     "\n"
     "Every id in the document is new, so that any number of pictures can\n"
     "share one page, and the text differs from call to call: `dump_svg` is\n"
     "the fixed text to compare."},
    {"_repr_svg_", entry<game_repr_svg>, METH_NOARGS,
     "_repr_svg_($self)\n--\n\n"
     "The picture `svg()` draws with its defaults, as notebooks ask for it."},
    {"__reduce__", entry<game_reduce>, METH_NOARGS,
     "__reduce__($self)\n--\n\n"
     "Pickles the game as its board size and log; unpickling replays the log\n"
     "with `Game.replay`. The position, captures and status come back; the\n"
     "`revision` counter and the memos do not (the copy counts one revision\n"
     "per turn of its log), and a subclass comes back as a plain `Game`."},
    {"__copy__", entry<game_copy>, METH_NOARGS, "__copy__($self)\n--\n\n"},
    {"__deepcopy__", as_cfunction(entry<game_deepcopy>), WITH_ARGS, "__deepcopy__($self, _memo=None)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef game_getset[] = {
    {"board_size", entry<get_board_size>, nullptr, "Width and height of the board.", nullptr},
    {"turn", entry<get_turn>, nullptr, "Committed turns played so far.", nullptr},
    {"pending_color", entry<get_pending_color>, nullptr, "Whose turn it is. Black moves on even turns.", nullptr},
    {"next_stone_id", entry<get_next_stone_id>, nullptr, "The id the next stone will take.", nullptr},
    {"captures", entry<get_captures>, nullptr, "How many stones each player has captured, as `(black, white)`.", nullptr},
    {"status", entry<get_status>, nullptr,
     "How far along the game is.\n"
     "\n"
     "`GameStatus.ENDED` once two passes in a row have been played, and from\n"
     "then on `try_move` and `pass_turn` raise `GameOverError`. Nothing else\n"
     "changes: every query still answers, and `undo_move` takes the last pass\n"
     "back.\n"
     "\n"
     "What an ended game is *worth* is still yours — this package scores\n"
     "nothing beyond `territory`.",
     nullptr},
    {"revision", entry<get_revision>, nullptr,
     "Counts every board change. It only ever increases, so anything derived\n"
     "from the board can be memoized against it.",
     nullptr},
    {"stone_count", entry<get_stone_count>, nullptr, "How many stones are in play.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// The host finds the weak reference list through this offset.
PyMemberDef game_members[] = {
    {"__weaklistoffset__", T_PYSSIZET, static_cast<Py_ssize_t>(offsetof(GameHead, weakrefs)), READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyType_Slot game_slots[] = {
    {Py_tp_doc, const_cast<char*>("Game(board_size)\n--\n\n"
                                  "A game of Cellvane: the board, the rules, and the history to undo them.\n"
                                  "\n"
                                  "Example::\n"
                                  "\n"
                                  "    import cellvane as cv\n"
                                  "\n"
                                  "    game = cv.Game(board_size=18)\n"
                                  "    game.try_move((4.0, 4.0))\n"
                                  "    game.pass_turn()\n"
                                  "    game.undo_move()\n"
                                  "    black, white = game.territory()")},
    {Py_tp_new, reinterpret_cast<void*>(entry<game_new>)},
    {Py_tp_init, reinterpret_cast<void*>(entry<game_init>)},
    {Py_tp_dealloc, reinterpret_cast<void*>(game_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(entry<game_repr>)},
    {Py_sq_length, reinterpret_cast<void*>(entry<game_len>)},
    {Py_tp_methods, game_methods},
    {Py_tp_getset, game_getset},
    {Py_tp_members, game_members},
    {0, nullptr},
};

// Subclassable; copies and replays answer plain Game objects.
PyType_Spec game_spec = {
    "cellvane.Game",
    static_cast<int>(sizeof(GameObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_IMMUTABLETYPE,
    game_slots,
};

}  // namespace

PyObject* draw_game(PyObject* game, std::string (*draw)(const Board&, const void*), const void* context) {
    return read(game, [&](Held& h) -> PyObject* {
        std::string svg;
        if (!h.work([&](const Board& b) { svg = draw(b, context); })) return nullptr;
        return new_string(svg);
    });
}

PyObject* make_game_type(PyObject* module) { return PyType_FromModuleAndSpec(module, &game_spec, nullptr); }

}  // namespace cellvane::py
