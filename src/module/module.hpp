// Shared pieces of the Python surface: owned references, the module's type
// and exception registry, argument conversions, builders of host objects from
// engine values, readers of engine values out of host objects, and the one
// mapping of engine errors to exceptions.
//
// Conventions for every function here:
// - a function answering `bool` answers false with a Python error set;
// - a function answering `PyObject*` answers a new reference, or nullptr with
//   a Python error set;
// - nothing throws; callbacks handed to the interpreter are `noexcept`, so an
//   allocation failure inside the engine ends the process rather than
//   unwinding through interpreter frames. Conversions of what a caller passes
//   allocate through `allocating`, which raises MemoryError instead.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/core.hpp"
#include "engine/engine.hpp"

namespace cellvane::py {

// ------------------------------------------------------------ references

// One owned (strong) reference, released when the handle goes away.
class Ref {
public:
    Ref() noexcept = default;
    // Takes over a new reference (which may be null, e.g. a failed call).
    static Ref steal(PyObject* o) noexcept { return Ref(o); }
    // Takes an additional reference to a borrowed object.
    static Ref borrow(PyObject* o) noexcept {
        Py_XINCREF(o);
        return Ref(o);
    }

    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    Ref& operator=(Ref&& other) noexcept {
        if (this != &other) {
            PyObject* old = p_;
            p_ = other.p_;
            other.p_ = nullptr;
            Py_XDECREF(old);
        }
        return *this;
    }
    ~Ref() { Py_XDECREF(p_); }

    PyObject* get() const noexcept { return p_; }
    // Hands the reference to the caller.
    PyObject* release() noexcept {
        PyObject* o = p_;
        p_ = nullptr;
        return o;
    }
    void reset() noexcept {
        PyObject* old = p_;
        p_ = nullptr;
        Py_XDECREF(old);
    }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    explicit Ref(PyObject* o) noexcept : p_(o) {}
    PyObject* p_ = nullptr;
};

// --------------------------------------------------------------- registry

// The fourteen exception classes, in registration order.
enum class ErrorClass : int {
    Cellvane,
    StonePlay,
    NotPlaceable,
    SelfCapture,
    Delta,
    StoneExists,
    NoSuchStone,
    CapturedTwice,
    PassCaptures,
    OffBoard,
    DeadZone,
    GameOver,
    Cut,
    Board,
};
inline constexpr int ERROR_CLASS_COUNT = 14;

// Strong references to every class the module defines. Filled once by the
// module entry; the classes live as long as the process (the module cannot
// be unloaded), so the registry is never torn down.
struct ModuleState {
    Ref game_type;
    Ref stone_type;
    Ref delta_type;
    Ref group_type;
    Ref color_type;
    Ref edge_type;
    Ref cut_kind_type;
    Ref status_type;
    Ref errors[ERROR_CLASS_COUNT];
};
ModuleState& module_state() noexcept;

inline PyTypeObject* as_type(const Ref& r) noexcept { return reinterpret_cast<PyTypeObject*>(r.get()); }
PyObject* error_class(ErrorClass c) noexcept;       // borrowed; null before the module entry ran
const char* error_class_name(ErrorClass c) noexcept;  // "CellvaneError"

// Class factories, each answering a new reference to a new heap type. The
// value classes and enumerations also publish their members.
PyObject* make_game_type(PyObject* module) noexcept;   // game.cpp
PyObject* make_group_type(PyObject* module) noexcept;  // group.cpp
PyObject* make_stone_type(PyObject* module) noexcept;
PyObject* make_delta_type(PyObject* module) noexcept;
PyObject* make_color_type(PyObject* module) noexcept;
PyObject* make_edge_type(PyObject* module) noexcept;
PyObject* make_cut_kind_type(PyObject* module) noexcept;
PyObject* make_status_type(PyObject* module) noexcept;
// A new object of `type` (Game or a subclass) holding a board of
// `board_size` with the GameDelta objects of the sequence `deltas` committed
// onto it in order, as `Game.replay` answers it: the arguments are converted
// as that method's, and a delta the board cannot account for raises its
// DeltaError with nothing built (game.cpp).
PyObject* replay_game(PyTypeObject* type, PyObject* board_size, PyObject* deltas) noexcept;
// Game.to_record and Game.from_record (a class method) with their
// docstrings, listed in Game's method table (record.cpp).
PyObject* game_to_record(PyObject* self, PyObject*) noexcept;
PyObject* game_from_record(PyObject* cls, PyObject* args, PyObject* kwargs) noexcept;
extern const char TO_RECORD_DOC[];
extern const char FROM_RECORD_DOC[];
// Creates the fourteen exception classes into the registry (once).
bool make_error_classes() noexcept;
// Publishes `value` as the class attribute `name` of a class created
// immutable (the enumeration members), which `type.__setattr__` refuses.
bool set_class_attribute(PyObject* type, const char* name, PyObject* value) noexcept;

// ------------------------------------------------------ argument parsing

// PyArg_ParseTupleAndKeywords over a null-terminated list of parameter
// names, so every parameter is positional-or-keyword.
bool parse_args(PyObject* args, PyObject* kwargs, const char* format, const char* const* names, ...) noexcept;

// Replaces a pending TypeError (exactly TypeError, not a subclass) by one
// whose text is "argument 'NAME': " followed by the original text. Any other
// pending error is left as it is.
void name_argument(const char* name) noexcept;

// "int", "list", "Stone": the class name of an object, for messages.
std::string type_name(PyObject* o);
// "'int' object cannot be converted to 'TARGET'".
std::string cannot_convert(PyObject* o, const char* target);

// ------------------------------------------------------------ conversions

// An integer that fits an unsigned 32-bit value. Non-integers raise
// TypeError naming the argument; negative or too large values raise
// OverflowError unchanged.
bool to_u32(PyObject* obj, const char* name, std::uint32_t& out) noexcept;
// Anything the host converts to a float.
bool to_double(PyObject* obj, const char* name, double& out) noexcept;
// A tuple of exactly two items, each converted to a float.
bool to_point(PyObject* obj, const char* name, Point& out) noexcept;
// Members (or equal instances) of the enumerations.
bool to_color(PyObject* obj, const char* name, Color& out) noexcept;
bool to_edge(PyObject* obj, const char* name, BoardEdge& out) noexcept;
// A sequence (not a string) of unsigned 32-bit integers, in order.
bool to_u32_list(PyObject* obj, const char* name, std::vector<std::uint32_t>& out) noexcept;
// A Stone; a GameDelta or an instance of a subclass of it.
bool to_stone(PyObject* obj, const char* name, Stone& out) noexcept;
bool to_delta(PyObject* obj, const char* name, GameDelta& out) noexcept;
// A sequence (not a string) of GameDelta instances, each held by a strong
// reference. The engine value inside a GameDelta never changes once built, so
// holding the objects holds the log; a sequence that lists one delta many
// times then costs a reference per entry, not a copy of its capture list.
bool to_delta_list(PyObject* obj, const char* name, std::vector<Ref>& out) noexcept;

// Calls `item(obj)` for every item of an iterable, stopping at the first
// failure. Errors are left as the iteration or the item conversion raised them.
template <class F>
bool for_each_item(PyObject* iterable, F item) noexcept {
    Ref iterator = Ref::steal(PyObject_GetIter(iterable));
    if (!iterator) return false;
    while (true) {
        Ref next = Ref::steal(PyIter_Next(iterator.get()));
        if (!next) return !PyErr_Occurred();
        if (!item(next.get())) return false;
    }
}

// Runs `allocate()`, which may allocate from the C++ heap, and answers true;
// when the allocation fails, raises MemoryError and answers false.
bool raise_allocation_failure() noexcept;
template <class F>
bool allocating(F allocate) noexcept {
    try {
        allocate();
        return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return raise_allocation_failure();
}

// ---------------------------------------------------------------- readers

// The engine value inside a host object of that class (or a subclass), or
// nullptr, with no error set, when the object is not one.
const Stone* stone_of(PyObject* obj) noexcept;
const GameDelta* delta_of(PyObject* obj) noexcept;

// --------------------------------------------------------------- builders

PyObject* new_stone(const Stone& stone) noexcept;
PyObject* new_delta(GameDelta delta) noexcept;
PyObject* new_color(Color c) noexcept;
PyObject* new_cut_kind(CutKind k) noexcept;
PyObject* new_status(Status s) noexcept;
PyObject* new_point(Point p) noexcept;  // (x, y) tuple of floats
PyObject* new_u32_list(const std::vector<std::uint32_t>& ids) noexcept;

// A new list holding make_item(x) for every x of `items` (any sized range),
// in order. make_item answers a new reference or nullptr with an error set.
template <class Range, class MakeItem>
PyObject* new_list(const Range& items, MakeItem make_item) noexcept {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(std::size(items))));
    if (!list) return nullptr;
    Py_ssize_t i = 0;
    for (const auto& x : items) {
        PyObject* item = make_item(x);
        if (!item) return nullptr;
        if (PyList_SetItem(list.get(), i++, item) < 0) return nullptr;  // steals item
    }
    return list.release();
}
PyObject* new_stone_list(const std::vector<Stone>& stones) noexcept;
PyObject* new_string(std::string_view text) noexcept;
// A Group object holding its own copy of the record (group.cpp).
PyObject* new_group(const Group& group) noexcept;

// -------------------------------------------------------- engine failures

// Each raises the exception class of the error's kind, with the engine's
// message as its only argument and then its attributes set one by one.
// They answer nullptr so a method can `return raise_...(e);`.
PyObject* raise_commit_error(const CommitError& e) noexcept;
PyObject* raise_move_error(const MoveError& e) noexcept;
PyObject* raise_cut_fault(const CutFault& f) noexcept;
PyObject* raise_board_error(const std::string& message) noexcept;

// ------------------------------------------------------------------ hashing

// SipHash-1-3 with an all-zero key, fed incrementally.
class SipHasher13 {
public:
    void write(const unsigned char* data, std::size_t n) noexcept;
    void write_u32(std::uint32_t v) noexcept;  // little-endian
    void write_u64(std::uint64_t v) noexcept;  // little-endian
    std::uint64_t finish() const noexcept;

private:
    void compress(std::uint64_t m) noexcept;
    std::uint64_t v0_ = 0x736f6d6570736575ULL;
    std::uint64_t v1_ = 0x646f72616e646f6dULL;
    std::uint64_t v2_ = 0x6c7967656e657261ULL;
    std::uint64_t v3_ = 0x7465646279746573ULL;
    std::uint64_t tail_ = 0;  // pending bytes, little-endian
    std::size_t length_ = 0;  // bytes written so far
};

// A hash result as the host expects it: -1 is reserved for errors.
inline Py_hash_t host_hash(std::uint64_t h) noexcept {
    const auto v = static_cast<Py_hash_t>(h);
    return v == -1 ? -2 : v;
}

// Value equality of the classes: coordinates compared by their bit patterns
// with negative zero folded to positive zero (folded_bits), NaN payloads as
// they are.
bool points_equal(const Point& a, const Point& b) noexcept;
bool stones_equal(const Stone& a, const Stone& b) noexcept;

// ------------------------------------------------------------ heap objects

// A new object of the heap type `type` (or a subclass), laid out as
// `Object`, from the type's tp_alloc slot (memory zeroed); `init(object)`
// then fills the C++ fields. Answers nullptr with the error set when the
// allocation fails.
template <class Object, class Init>
PyObject* allocate_object(PyTypeObject* type, Init init) noexcept {
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    PyObject* self = alloc(type, 0);
    if (!self) return nullptr;
    init(*reinterpret_cast<Object*>(self));
    return self;
}

// tp_dealloc of a heap type laid out as `Object`: destroys the C++ fields,
// frees the memory through the type's tp_free slot and releases the type.
template <class Object>
void destroy_object(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    reinterpret_cast<Object*>(self)->~Object();
    auto free = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free(self);
    Py_DECREF(type);
}

}  // namespace cellvane::py
