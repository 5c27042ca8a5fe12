// The Game class: the host's handle on one board.
//
// A Game object holds its Board in place (built by placement new when the
// object is created, destroyed in tp_dealloc), a borrow counter and the list
// of weak references to it. Queries take the board shared, changes (and the
// cut questions, which write the cut memo) take it exclusively, and every
// borrow is held until the answer has been converted into host objects:
// building those objects can run arbitrary host code (a garbage collection
// pass running a finaliser), and that code must not change a board whose
// containers are being walked.
#include <new>
#include <ranges>
#include <utility>

#include "module/module.hpp"
#include "render/render.hpp"
#include "validate/validate.hpp"

#include <structmember.h>  // needs Python.h, included above

namespace cellvane::py {

namespace {

// The fixed part of a game object, standard layout so that the host can be
// told where the weak reference list sits. The board follows it.
struct GameHead {
    PyObject_HEAD
    // 0: free; n > 0: held by n shared borrows; -1: held exclusively.
    Py_ssize_t borrows;
    PyObject* weakrefs;  // the weak references to this game, managed by the host
};

struct GameObject : GameHead {
    Board board;  // constructed in place, destroyed by game_dealloc
};

GameObject* as_game(PyObject* o) noexcept { return reinterpret_cast<GameObject*>(o); }

// ------------------------------------------------------------------ borrows

// One borrow of a game's board, released when the guard goes away.
class Borrow {
public:
    Borrow() noexcept = default;
    Borrow(const Borrow&) = delete;
    Borrow& operator=(const Borrow&) = delete;
    ~Borrow() {
        if (game_ == nullptr) return;
        if (exclusive_) {
            game_->borrows = 0;
        } else {
            --game_->borrows;
        }
    }

    // A read: refused only while a change holds the board.
    bool shared(GameObject* game) noexcept {
        if (game->borrows < 0) {
            PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
            return false;
        }
        ++game->borrows;
        game_ = game;
        exclusive_ = false;
        return true;
    }

    // A change: refused while anything else holds the board.
    bool exclusive(GameObject* game) noexcept {
        if (game->borrows != 0) {
            PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
            return false;
        }
        game->borrows = -1;
        game_ = game;
        exclusive_ = true;
        return true;
    }

private:
    GameObject* game_ = nullptr;
    bool exclusive_ = false;
};

// Runs `f(const Board&)` under a shared borrow.
template <class F>
PyObject* read(PyObject* self, F f) noexcept {
    GameObject* game = as_game(self);
    Borrow borrow;
    if (!borrow.shared(game)) return nullptr;
    return f(static_cast<const Board&>(game->board));
}

// Runs `f(Board&)` under an exclusive borrow.
template <class F>
PyObject* change(PyObject* self, F f) noexcept {
    GameObject* game = as_game(self);
    Borrow borrow;
    if (!borrow.exclusive(game)) return nullptr;
    return f(game->board);
}

// -------------------------------------------------------------- lifecycle

// A new object of `type` (Game or a subclass) holding a board built from
// `make_board()`, which answers a Board by value (moved into place).
template <class Make>
PyObject* allocate_game(PyTypeObject* type, Make make_board) noexcept {
    return allocate_object<GameObject>(type, [&](GameObject& game) {
        game.borrows = 0;
        game.weakrefs = nullptr;
        new (&game.board) Board(make_board());
    });
}

PyTypeObject* game_type() noexcept {
    PyTypeObject* type = as_type(module_state().game_type);
    if (!type) PyErr_SetString(PyExc_SystemError, "cellvane.Game is not initialised");
    return type;
}

PyObject* game_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    static const char* const names[] = {"board_size", nullptr};
    PyObject* size_arg = nullptr;
    if (!parse_args(args, kwargs, "O:Game", names, &size_arg)) return nullptr;
    double board_size = 0.0;
    if (!to_double(size_arg, "board_size", board_size)) return nullptr;
    return allocate_game(type, [&] { return Board(board_size); });
}

// The board is built by __new__ and never rebuilt. __init__ only holds
// calls to the constructor's signature, so that a subclass's own __init__
// can call `super().__init__(board_size)`; a subclass that changes the
// constructor's arguments overrides __new__, and then any arguments are let
// through, as `object.__init__` does.
int game_init(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    PyTypeObject* base = as_type(module_state().game_type);
    if (base && PyType_GetSlot(Py_TYPE(self), Py_tp_new) != PyType_GetSlot(base, Py_tp_new)) return 0;
    static const char* const names[] = {"board_size", nullptr};
    PyObject* size_arg = nullptr;
    return parse_args(args, kwargs, "O:Game", names, &size_arg) ? 0 : -1;
}

void game_dealloc(PyObject* self) noexcept {
    if (as_game(self)->weakrefs) PyObject_ClearWeakRefs(self);
    destroy_object<GameObject>(self);
}

// A plain Game holding a deep copy of the board, memos included.
PyObject* game_copy(PyObject* self, PyObject*) noexcept {
    PyTypeObject* type = game_type();
    if (!type) return nullptr;
    return read(self, [&](const Board& board) { return allocate_game(type, [&] { return Board(board); }); });
}

PyObject* game_deepcopy(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    static const char* const names[] = {"_memo", nullptr};
    PyObject* memo = Py_None;  // a Game holds no host objects to share
    if (!parse_args(args, kwargs, "|O:__deepcopy__", names, &memo)) return nullptr;
    return game_copy(self, nullptr);
}

}  // namespace

PyObject* replay_game(PyTypeObject* type, PyObject* size_arg, PyObject* deltas_arg) noexcept {
    double board_size = 0.0;
    if (!to_double(size_arg, "board_size", board_size)) return nullptr;
    // The whole log is read and checked before the first turn is played, so a
    // bad item fails the call with no board built.
    std::vector<Ref> deltas;
    if (!to_delta_list(deltas_arg, "deltas", deltas)) return nullptr;

    Ref game = Ref::steal(allocate_game(type, [&] { return Board(board_size); }));
    if (!game) return nullptr;
    Board& board = as_game(game.get())->board;
    for (const Ref& item : deltas) {
        GameDelta delta;
        if (!to_delta(item.get(), "deltas", delta)) return nullptr;
        if (std::optional<CommitError> refused = board.commit(std::move(delta), false)) {
            game.reset();  // a failed replay leaves nothing behind
            return raise_commit_error(*refused);
        }
    }
    return game.release();
}

namespace {

PyObject* game_replay(PyObject*, PyObject* args, PyObject* kwargs) noexcept {
    static const char* const names[] = {"board_size", "deltas", nullptr};
    PyObject* size_arg = nullptr;
    PyObject* deltas_arg = nullptr;
    if (!parse_args(args, kwargs, "OO:replay", names, &size_arg, &deltas_arg)) return nullptr;
    PyTypeObject* type = game_type();
    if (!type) return nullptr;
    return replay_game(type, size_arg, deltas_arg);
}

// -------------------------------------------------------------- properties

PyObject* get_board_size(PyObject* self, void*) noexcept {
    return read(self, [](const Board& b) { return PyFloat_FromDouble(b.board_size()); });
}

PyObject* get_turn(PyObject* self, void*) noexcept {
    return read(self, [](const Board& b) { return PyLong_FromUnsignedLong(b.turn()); });
}

PyObject* get_pending_color(PyObject* self, void*) noexcept {
    return read(self, [](const Board& b) { return new_color(b.color_to_move()); });
}

PyObject* get_next_stone_id(PyObject* self, void*) noexcept {
    // A pass consumes a number too, so the next id is the turn number.
    return read(self, [](const Board& b) { return PyLong_FromUnsignedLong(b.turn()); });
}

PyObject* get_captures(PyObject* self, void*) noexcept {
    return read(self, [](const Board& b) {
        return Py_BuildValue("(kk)", static_cast<unsigned long>(b.captures(Color::Black)),
                             static_cast<unsigned long>(b.captures(Color::White)));
    });
}

PyObject* get_status(PyObject* self, void*) noexcept {
    return read(self, [](const Board& b) { return new_status(b.status()); });
}

PyObject* get_revision(PyObject* self, void*) noexcept {
    return read(self, [](const Board& b) {
        return PyLong_FromUnsignedLongLong(static_cast<unsigned long long>(b.revision()));
    });
}

PyObject* get_stone_count(PyObject* self, void*) noexcept {
    return read(self, [](const Board& b) { return PyLong_FromSize_t(b.stone_count()); });
}

// ------------------------------------------------------------------ slots

PyObject* game_repr(PyObject* self) noexcept {
    return read(self, [](const Board& b) {
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

Py_ssize_t game_len(PyObject* self) noexcept {
    GameObject* game = as_game(self);
    Borrow borrow;
    if (!borrow.shared(game)) return -1;
    return static_cast<Py_ssize_t>(game->board.stone_count());
}

// ----------------------------------------------------------------- queries

PyObject* game_stones(PyObject* self, PyObject*) noexcept {
    return read(self, [](const Board& b) -> PyObject* {
        return new_list(b.stones_in_play(), [](const auto& entry) { return new_stone(entry.second); });
    });
}

PyObject* game_stone(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    static const char* const names[] = {"stone_id", nullptr};
    PyObject* id_arg = nullptr;
    if (!parse_args(args, kwargs, "O:stone", names, &id_arg)) return nullptr;
    std::uint32_t id = 0;
    if (!to_u32(id_arg, "stone_id", id)) return nullptr;
    return read(self, [id](const Board& b) -> PyObject* {
        const Stone* stone = b.stone(id);
        if (!stone) Py_RETURN_NONE;
        return new_stone(*stone);
    });
}

PyObject* game_last_placed_stone(PyObject* self, PyObject*) noexcept {
    return read(self, [](const Board& b) -> PyObject* {
        const std::optional<Stone> stone = b.last_placed_stone();
        if (!stone) Py_RETURN_NONE;
        return new_stone(*stone);
    });
}

// The committed turns as a new list of GameDelta, oldest first.
PyObject* new_delta_list(const Board& b) noexcept {
    Ref list = Ref::steal(PyList_New(0));
    if (!list) return nullptr;
    for (const HistoryEntry& entry : b.history()) {
        if (entry.provisional) continue;  // never visible between calls
        Ref item = Ref::steal(new_delta(entry.delta));
        if (!item || PyList_Append(list.get(), item.get()) < 0) return nullptr;
    }
    return list.release();
}

PyObject* game_deltas(PyObject* self, PyObject*) noexcept { return read(self, new_delta_list); }

// A game pickles as its log: `Game.replay(board_size, deltas)` rebuilds the
// position, captures and forced eyes included. The revision counter and the
// memos are not carried; the rebuilt game counts one revision per delta and
// fills its memos afresh.
PyObject* game_reduce(PyObject* self, PyObject*) noexcept {
    PyTypeObject* type = game_type();
    if (!type) return nullptr;
    Ref replay = Ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "replay"));
    if (!replay) return nullptr;
    return read(self, [&](const Board& b) -> PyObject* {
        Ref deltas = Ref::steal(new_delta_list(b));
        if (!deltas) return nullptr;
        return Py_BuildValue("(O(dO))", replay.get(), b.board_size(), deltas.get());
    });
}

PyObject* game_nearest_living_move(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    static const char* const names[] = {"position", nullptr};
    PyObject* position_arg = nullptr;
    if (!parse_args(args, kwargs, "O:nearest_living_move", names, &position_arg)) return nullptr;
    Point position;
    if (!to_point(position_arg, "position", position)) return nullptr;
    return read(self, [position](const Board& b) -> PyObject* {
        const std::optional<Point> nearest = b.nearest_living_move(position);
        if (!nearest) Py_RETURN_NONE;
        return new_point(*nearest);
    });
}

// Black's groups, then White's, each in the analysis's order.
PyObject* game_groups(PyObject* self, PyObject*) noexcept {
    return read(self, [](const Board& b) -> PyObject* {
        const PositionAnalysis& analysis = b.analysis();
        const std::size_t black = analysis.black.size();
        const auto indices = std::views::iota(std::size_t{0}, black + analysis.white.size());
        return new_list(indices, [&](std::size_t i) {
            return new_group(i < black ? analysis.black[i] : analysis.white[i - black]);
        });
    });
}

double share_of(const std::vector<Group>& groups) noexcept {
    double total = -0.0;
    for (const Group& group : groups) total += territory_area(group);
    return total;
}

PyObject* game_territory(PyObject* self, PyObject*) noexcept {
    return read(self, [](const Board& b) {
        const PositionAnalysis& analysis = b.analysis();
        return Py_BuildValue("(dd)", share_of(analysis.black), share_of(analysis.white));
    });
}

PyObject* game_dead_stones(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    static const char* const names[] = {"color", nullptr};
    PyObject* color_arg = nullptr;
    if (!parse_args(args, kwargs, "O:dead_stones", names, &color_arg)) return nullptr;
    Color color = Color::Black;
    if (!to_color(color_arg, "color", color)) return nullptr;
    return read(self, [color](const Board& b) {
        return new_stone_list(b.dead_stones(color));
    });
}

PyObject* game_validate(PyObject* self, PyObject*) noexcept {
    return read(self, [](const Board& b) -> PyObject* {
        if (std::optional<std::string> fault = validate(b)) return raise_board_error(*fault);
        Py_RETURN_NONE;
    });
}

PyObject* game_dump_svg(PyObject* self, PyObject*) noexcept {
    return read(self, [](const Board& b) { return new_string(dump_svg(b)); });
}

// The width and height a notebook shows the picture at, in pixels.
constexpr std::string_view SCREEN_SIZE = "480";

// Sets the value of `attribute` (written ` name="`) in the document's first
// start tag, when that tag has it.
void set_attribute(std::string& svg, std::string_view attribute, std::string_view value) {
    const std::size_t tag_end = svg.find('>');
    const std::size_t at = svg.find(attribute);
    if (at == std::string::npos || at > tag_end) return;
    const std::size_t begin = at + attribute.size();
    const std::size_t end = svg.find('"', begin);
    if (end == std::string::npos || end > tag_end) return;
    svg.replace(begin, end - begin, value);
}

// The picture of dump_svg with the size of its root element given in pixels
// rather than board units: the viewBox keeps the drawing in board units, so
// only the scale changes.
PyObject* game_repr_svg(PyObject* self, PyObject*) noexcept {
    return read(self, [](const Board& b) {
        std::string svg = dump_svg(b);
        set_attribute(svg, " width=\"", SCREEN_SIZE);
        set_attribute(svg, " height=\"", SCREEN_SIZE);
        return new_string(svg);
    });
}

// ----------------------------------------------------------- cut questions

PyObject* cut_answer(const CutAnswer& answer) noexcept {
    if (const CutFault* fault = std::get_if<CutFault>(&answer)) return raise_cut_fault(*fault);
    return new_cut_kind(std::get<CutKind>(answer));
}

PyObject* game_pair_cuttable(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    static const char* const names[] = {"a", "b", nullptr};
    PyObject* a_arg = nullptr;
    PyObject* b_arg = nullptr;
    if (!parse_args(args, kwargs, "OO:pair_cuttable", names, &a_arg, &b_arg)) return nullptr;
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    if (!to_u32(a_arg, "a", a) || !to_u32(b_arg, "b", b)) return nullptr;
    return change(self, [a, b](Board& board) { return cut_answer(board.pair_cuttable(a, b)); });
}

PyObject* game_boundary_cuttable(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    static const char* const names[] = {"stone_id", "edge", nullptr};
    PyObject* id_arg = nullptr;
    PyObject* edge_arg = nullptr;
    if (!parse_args(args, kwargs, "OO:boundary_cuttable", names, &id_arg, &edge_arg)) return nullptr;
    std::uint32_t id = 0;
    BoardEdge edge = BoardEdge::Left;
    if (!to_u32(id_arg, "stone_id", id) || !to_edge(edge_arg, "edge", edge)) return nullptr;
    return change(self, [id, edge](Board& board) { return cut_answer(board.boundary_cuttable(id, edge)); });
}

// ----------------------------------------------------------------- changes

PyObject* game_try_move(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    static const char* const names[] = {"position", nullptr};
    PyObject* position_arg = nullptr;
    if (!parse_args(args, kwargs, "O:try_move", names, &position_arg)) return nullptr;
    // The board is taken before `position` is converted, so host code run by
    // the conversion (a __float__) finds the game held and cannot change it.
    return change(self, [position_arg](Board& board) -> PyObject* {
        Point position;
        if (!to_point(position_arg, "position", position)) return nullptr;
        std::variant<GameDelta, MoveError> played = board.try_move(position);
        if (MoveError* refused = std::get_if<MoveError>(&played)) return raise_move_error(*refused);
        return new_delta(std::move(std::get<GameDelta>(played)));
    });
}

PyObject* game_pass_turn(PyObject* self, PyObject*) noexcept {
    return change(self, [](Board& board) -> PyObject* {
        if (std::optional<MoveError> refused = board.pass_turn()) return raise_move_error(*refused);
        Py_RETURN_NONE;
    });
}

PyObject* game_undo_move(PyObject* self, PyObject*) noexcept {
    return change(self, [](Board& board) -> PyObject* {
        std::optional<GameDelta> undone = board.undo();
        if (!undone) Py_RETURN_NONE;
        return new_delta(std::move(*undone));
    });
}

// ------------------------------------------------------------------- tables

template <class F>
PyCFunction as_cfunction(F f) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

constexpr int WITH_ARGS = METH_VARARGS | METH_KEYWORDS;

PyMethodDef game_methods[] = {
    {"replay", as_cfunction(game_replay), WITH_ARGS | METH_STATIC,
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
    {"from_record", as_cfunction(game_from_record), WITH_ARGS | METH_CLASS, FROM_RECORD_DOC},
    {"to_record", game_to_record, METH_NOARGS, TO_RECORD_DOC},
    {"stones", game_stones, METH_NOARGS, "stones($self)\n--\n\nThe stones in play, ascending by id."},
    {"stone", as_cfunction(game_stone), WITH_ARGS,
     "stone($self, stone_id)\n--\n\nThe stone with this id, or `None` if it is not in play."},
    {"last_placed_stone", game_last_placed_stone, METH_NOARGS,
     "last_placed_stone($self)\n--\n\n"
     "The stone placed on the last committed turn, or `None` if that turn was\n"
     "a pass or nothing has been played."},
    {"deltas", game_deltas, METH_NOARGS,
     "deltas($self)\n--\n\n"
     "The committed turns, oldest first — everything needed to replay this\n"
     "game into a fresh board of the same size."},
    {"nearest_living_move", as_cfunction(game_nearest_living_move), WITH_ARGS,
     "nearest_living_move($self, position)\n--\n\n"
     "The placeable position nearest `position`, or `None` when the board is\n"
     "full.\n"
     "\n"
     "A position that is already placeable is its own answer. This is the\n"
     "snapping `try_move` deliberately does not do."},
    {"groups", game_groups, METH_NOARGS, "groups($self)\n--\n\nEvery group on the board, black's before white's."},
    {"territory", game_territory, METH_NOARGS,
     "territory($self)\n--\n\n"
     "The board area each player controls, as `(black, white)`.\n"
     "\n"
     "The whole board is `board_size ** 2`, and the two shares sum to it once\n"
     "there is at least one stone. Komi, and what to do with the difference,\n"
     "are yours."},
    {"dead_stones", as_cfunction(game_dead_stones), WITH_ARGS,
     "dead_stones($self, color)\n--\n\n"
     "Every stone of `color` whose group no longer touches playable space."},
    {"pair_cuttable", as_cfunction(game_pair_cuttable), WITH_ARGS,
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
    {"boundary_cuttable", as_cfunction(game_boundary_cuttable), WITH_ARGS,
     "boundary_cuttable($self, stone_id, edge)\n--\n\n"
     "The same question about one of this board's stones and a board edge.\n"
     "\n"
     "`CutKind.TOO_FAR` when the stone is further from that edge than\n"
     "`MAX_BOUNDARY_CUT_DISTANCE`. Raises `CutError` when the stone is not in\n"
     "play; nothing else here can be malformed."},
    {"try_move", as_cfunction(game_try_move), WITH_ARGS,
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
    {"pass_turn", game_pass_turn, METH_NOARGS,
     "pass_turn($self)\n--\n\n"
     "Passes the turn.\n"
     "\n"
     "Spelled `pass_turn` because `pass` is a Python keyword. A pass is a\n"
     "committed delta like any other, so it can be undone.\n"
     "\n"
     "The second pass in a row ends the game; a third raises `GameOverError`,\n"
     "as does any move after it."},
    {"undo_move", game_undo_move, METH_NOARGS,
     "undo_move($self)\n--\n\n"
     "Takes back the last change and answers the delta it undid, or `None`\n"
     "when there is nothing to undo.\n"
     "\n"
     "The board comes back bit for bit, including the playable area's internal\n"
     "structure."},
    {"validate", game_validate, METH_NOARGS,
     "validate($self)\n--\n\n"
     "Checks every invariant the board is supposed to hold.\n"
     "\n"
     "Raises `BoardError` naming the first one that does not. A healthy board\n"
     "never raises: every variant is a bug in the engine rather than something\n"
     "a caller can provoke. Debug builds check this after every change; in a\n"
     "release wheel they do not, and this is how you ask."},
    {"dump_svg", game_dump_svg, METH_NOARGS,
     "dump_svg($self)\n--\n\n"
     "A standalone SVG of the position: every group filled with its own\n"
     "colour, dead area hatched, group ids labelled."},
    {"_repr_svg_", game_repr_svg, METH_NOARGS,
     "_repr_svg_($self)\n--\n\n"
     "The picture of `dump_svg` sized for a screen (480 pixels square), as\n"
     "notebooks ask for it."},
    {"__reduce__", game_reduce, METH_NOARGS,
     "__reduce__($self)\n--\n\n"
     "Pickles the game as its board size and log; unpickling replays the log\n"
     "with `Game.replay`. The position, captures and status come back; the\n"
     "`revision` counter and the memos do not (the copy counts one revision\n"
     "per turn of its log), and a subclass comes back as a plain `Game`."},
    {"__copy__", game_copy, METH_NOARGS, "__copy__($self)\n--\n\n"},
    {"__deepcopy__", as_cfunction(game_deepcopy), WITH_ARGS, "__deepcopy__($self, _memo=None)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef game_getset[] = {
    {"board_size", get_board_size, nullptr, "Width and height of the board.", nullptr},
    {"turn", get_turn, nullptr, "Committed turns played so far.", nullptr},
    {"pending_color", get_pending_color, nullptr, "Whose turn it is. Black moves on even turns.", nullptr},
    {"next_stone_id", get_next_stone_id, nullptr, "The id the next stone will take.", nullptr},
    {"captures", get_captures, nullptr, "How many stones each player has captured, as `(black, white)`.", nullptr},
    {"status", get_status, nullptr,
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
    {"revision", get_revision, nullptr,
     "Counts every board change. It only ever increases, so anything derived\n"
     "from the board can be memoized against it.",
     nullptr},
    {"stone_count", get_stone_count, nullptr, "How many stones are in play.", nullptr},
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
    {Py_tp_new, reinterpret_cast<void*>(game_new)},
    {Py_tp_init, reinterpret_cast<void*>(game_init)},
    {Py_tp_dealloc, reinterpret_cast<void*>(game_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(game_repr)},
    {Py_sq_length, reinterpret_cast<void*>(game_len)},
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

PyObject* make_game_type(PyObject* module) noexcept { return PyType_FromModuleAndSpec(module, &game_spec, nullptr); }

}  // namespace cellvane::py
