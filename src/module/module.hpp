// Shared pieces of the Python surface: owned references, the per-module
// state with the module's classes, argument conversions, builders of host
// objects from engine values, readers of engine values out of host objects,
// and the one mapping of engine errors to exceptions.
//
// Conventions for every function here:
// - a function answering `bool` answers false with a Python error set;
// - a function answering `PyObject*` answers a new reference, or nullptr with
//   a Python error set;
// - an allocation failing on the C++ heap throws std::bad_alloc (or
//   std::length_error), which travels up to the function the interpreter
//   called; every such function is registered through `entry`, which raises
//   MemoryError in its place. Nothing else throws.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <chrono>
#include <iterator>
#include <optional>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
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

// -------------------------------------------------------------- entries

// The function the interpreter is given for F: F itself, except that an
// allocation failing anywhere under it raises MemoryError, and the call
// answers failure, instead of ending the process.
//
// Not noexcept: the one other thing that may pass through it is the
// unwinding with which the interpreter ends a daemon thread that asks for
// the interpreter lock back while the interpreter shuts down (3.11 to 3.13
// end such a thread with pthread_exit). Along that path nothing may touch
// a host object or ask for the lock again; see SignalCheck and
// without_interpreter_lock.
template <auto F>
struct Entry;
template <class R, class... A, R (*F)(A...)>
struct Entry<F> {
    static R call(A... args) {
        try {
            return F(args...);
        } catch (const std::bad_alloc&) {
        } catch (const std::length_error&) {
        }
        PyErr_NoMemory();
        if constexpr (std::is_pointer_v<R>) {
            return nullptr;
        } else {
            return R(-1);
        }
    }
};
template <auto F>
inline constexpr auto entry = &Entry<F>::call;

// As the interpreter calls functions with keyword arguments.
template <class F>
PyCFunction as_cfunction(F f) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

// ------------------------------------------------------------ module state

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

// The state of one module object: strong references to every class the
// module defines, and the thread that handles the interpreter's signals.
// The interpreter allocates it with the module (zeroed) and the module's
// exec slot fills it. Every module object of one interpreter publishes the
// same classes: the first one creates them, later ones (a second import)
// take references to them.
struct ModuleState {
    PyObject* game_type;
    PyObject* stone_type;
    PyObject* delta_type;
    PyObject* group_type;
    PyObject* color_type;
    PyObject* edge_type;
    PyObject* cut_kind_type;
    PyObject* status_type;
    PyObject* errors[ERROR_CLASS_COUNT];
    // threading.main_thread().ident when the module was made.
    unsigned long main_thread;
};

inline PyTypeObject* as_type(PyObject* o) noexcept { return reinterpret_cast<PyTypeObject*>(o); }

// The state of the module that made `type`, a class of the module that
// cannot be subclassed (or a class of the module itself).
const ModuleState& state_of(PyTypeObject* type) noexcept;
// The same for a class that may be subclassed in Python: the state of the
// module that made `type` or its nearest base laid out by `own` (the
// deallocator of the module's class, which no Python subclass shares).
const ModuleState& state_of(PyTypeObject* type, destructor own) noexcept;
// The state of the module that made the classes of the calling thread's
// interpreter, for the one function called with nothing of the module in
// hand: the static method Game.replay, which the interpreter calls with no
// class.
const ModuleState& interpreter_state() noexcept;

PyObject* error_class(const ModuleState& m, ErrorClass c) noexcept;  // borrowed
const char* error_class_name(ErrorClass c) noexcept;               // "CellvaneError"

// Class factories, each answering a new reference to a new heap type made
// for `module`. The value classes and enumerations also publish their
// members.
PyObject* make_game_type(PyObject* module);   // game.cpp
PyObject* make_group_type(PyObject* module);  // group.cpp
PyObject* make_stone_type(PyObject* module);
PyObject* make_delta_type(PyObject* module);
PyObject* make_color_type(PyObject* module);
PyObject* make_edge_type(PyObject* module);
PyObject* make_cut_kind_type(PyObject* module);
PyObject* make_status_type(PyObject* module);
// Draws draw(board, context) with the game held for reading and the
// interpreter lock released, and answers the text as a str (game.cpp), for
// the pictures kept in other files.
PyObject* draw_game(PyObject* game, std::string (*draw)(const Board&, const void*), const void* context);
// Game.svg and Game._repr_svg_ (picture.cpp).
PyObject* game_svg(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* game_repr_svg(PyObject* self, PyObject*);
// A new object of `type` (Game or a subclass) holding a board of
// `board_size` with the GameDelta objects of the sequence `deltas` committed
// onto it in order, as `Game.replay` answers it: the arguments are converted
// as that method's, and a delta the board cannot account for raises its
// DeltaError with nothing built (game.cpp).
PyObject* replay_game(PyTypeObject* type, PyObject* board_size, PyObject* deltas);
// Game.to_record and Game.from_record (a class method) with their
// docstrings, listed in Game's method table (record.cpp).
PyObject* game_to_record(PyObject* self, PyObject*);
PyObject* game_from_record(PyObject* cls, PyObject* args, PyObject* kwargs);
extern const char TO_RECORD_DOC[];
extern const char FROM_RECORD_DOC[];
// Creates the fourteen exception classes into the state.
bool make_error_classes(PyObject* module, ModuleState& m);
// Publishes `value` as the class attribute `name` of a class created
// immutable (the enumeration members), which `type.__setattr__` refuses.
bool set_class_attribute(PyObject* type, const char* name, PyObject* value);

// ------------------------------------------------------ argument parsing

// PyArg_ParseTupleAndKeywords over a null-terminated list of parameter
// names, so every parameter is positional-or-keyword.
bool parse_args(PyObject* args, PyObject* kwargs, const char* format, const char* const* names, ...);

// Replaces a pending TypeError (exactly TypeError, not a subclass) by one
// whose text is "argument 'NAME': " followed by the original text. Any other
// pending error is left as it is.
void name_argument(const char* name);

// "int", "list", "Stone": the class name of an object, for messages.
std::string type_name(PyObject* o);
// "'int' object cannot be converted to 'TARGET'".
std::string cannot_convert(PyObject* o, const char* target);

// ------------------------------------------------------------ conversions

// An integer that fits an unsigned 32-bit value. Non-integers raise
// TypeError naming the argument; negative or too large values raise
// OverflowError unchanged.
bool to_u32(PyObject* obj, const char* name, std::uint32_t& out);
// Anything the host converts to a float.
bool to_double(PyObject* obj, const char* name, double& out);
// A tuple of exactly two items, each converted to a float.
bool to_point(PyObject* obj, const char* name, Point& out);
// Members (or equal instances) of the enumerations.
bool to_color(const ModuleState& m, PyObject* obj, const char* name, Color& out);
bool to_edge(const ModuleState& m, PyObject* obj, const char* name, BoardEdge& out);
// A sequence (not a string) of unsigned 32-bit integers, in order.
bool to_u32_list(PyObject* obj, const char* name, std::vector<std::uint32_t>& out);
// A Stone; a GameDelta or an instance of a subclass of it.
bool to_stone(const ModuleState& m, PyObject* obj, const char* name, Stone& out);
// A sequence (not a string) of GameDelta instances, each held by a strong
// reference. The engine value inside a GameDelta never changes once built, so
// holding the objects holds the log; a sequence that lists one delta many
// times then costs a reference per entry, not a copy of its capture list.
bool to_delta_list(const ModuleState& m, PyObject* obj, const char* name, std::vector<Ref>& out);

// How many items the readers of a sequence go through between two looks
// for a signal (Ctrl-C), so that reading a sequence of any length can be
// interrupted.
inline constexpr unsigned ITEMS_PER_SIGNAL_CHECK = 1024;

// Calls `item(obj)` for every item of an iterable, stopping at the first
// failure. Errors are left as the iteration or the item conversion raised
// them; a signal's handler that raises (KeyboardInterrupt) stops the reading
// with its exception.
template <class F>
bool for_each_item(PyObject* iterable, F item) {
    Ref iterator = Ref::steal(PyObject_GetIter(iterable));
    if (!iterator) return false;
    for (unsigned until_check = ITEMS_PER_SIGNAL_CHECK;; --until_check) {
        if (until_check == 0) {
            if (PyErr_CheckSignals() < 0) return false;
            until_check = ITEMS_PER_SIGNAL_CHECK;
        }
        Ref next = Ref::steal(PyIter_Next(iterator.get()));
        if (!next) return !PyErr_Occurred();
        if (!item(next.get())) return false;
    }
}

// ---------------------------------------------------------------- readers

// The engine value inside a host object of that class (or a subclass), or
// nullptr, with no error set, when the object is not one.
const Stone* stone_of(const ModuleState& m, PyObject* obj) noexcept;
const GameDelta* delta_of(const ModuleState& m, PyObject* obj) noexcept;

// --------------------------------------------------------------- builders

PyObject* new_stone(const ModuleState& m, const Stone& stone);
PyObject* new_delta(const ModuleState& m, GameDelta delta);
PyObject* new_color(const ModuleState& m, Color c);
PyObject* new_cut_kind(const ModuleState& m, CutKind k);
PyObject* new_status(const ModuleState& m, Status s);
PyObject* new_point(Point p);  // (x, y) tuple of floats
PyObject* new_u32_list(const std::vector<std::uint32_t>& ids);

// A new list holding make_item(x) for every x of `items` (any sized range),
// in order. make_item answers a new reference or nullptr with an error set.
template <class Range, class MakeItem>
PyObject* new_list(const Range& items, MakeItem make_item) {
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
PyObject* new_stone_list(const ModuleState& m, const std::vector<Stone>& stones);
PyObject* new_string(std::string_view text);
// A Group object holding its own copy of the record (group.cpp).
PyObject* new_group(const ModuleState& m, const Group& group);

// -------------------------------------------------------- engine failures

// Each raises the exception class of the error's kind, with the engine's
// message as its only argument and then its attributes set one by one.
// They answer nullptr so a method can `return raise_...(e);`.
PyObject* raise_commit_error(const ModuleState& m, const CommitError& e);
PyObject* raise_move_error(const ModuleState& m, const MoveError& e);
PyObject* raise_cut_fault(const ModuleState& m, const CutFault& f);
PyObject* raise_board_error(const ModuleState& m, const std::string& message);

// ------------------------------------------------------------ engine work

// How often long engine work looks for a pending signal: Ctrl-C is noticed
// within about this long (plus the wait for the interpreter lock), and a
// look costs about a microsecond when the lock is free.
inline constexpr std::chrono::milliseconds SIGNAL_INTERVAL{20};

// Releases the interpreter lock for its scope's length, and is the stop
// check of the engine work done meanwhile: it takes the lock back for the
// moment it takes to run the handlers of the signals that arrived, and says
// stop when one raised (its exception is then set, as the call's own).
//
// Taking the lock back may end the thread instead (a daemon thread while
// the interpreter shuts down), by an unwinding that passes through here:
// the destructor may then let it through, and does not ask for the lock a
// second time when the unwinding began in stop().
class SignalCheck final : public StopCheck {
public:
    SignalCheck() : released_(PyEval_SaveThread()) {}
    ~SignalCheck() noexcept(false) {
        if (released_ != nullptr) PyEval_RestoreThread(released_);
    }
    SignalCheck(const SignalCheck&) = delete;
    SignalCheck& operator=(const SignalCheck&) = delete;

    bool stop() override {
        PyThreadState* state = released_;
        released_ = nullptr;
        PyEval_RestoreThread(state);
        const bool raised = PyErr_CheckSignals() < 0;
        released_ = PyEval_SaveThread();
        return raised;
    }

private:
    PyThreadState* released_;
};

// Runs `work()`, engine work that touches no host object, with the
// interpreter lock released, so that other threads run meanwhile. In the
// thread that handles signals, the work asks now and then (core's
// StopCheck) whether a signal is pending: a handler that raises (Ctrl-C's
// KeyboardInterrupt) stops the work, and its exception is the call's.
// Answers false with that exception, or MemoryError when the work ran out of
// memory, set.
template <class F>
bool without_interpreter_lock(const ModuleState& m, F work) {
    const bool handles_signals = PyThread_get_thread_ident() == m.main_thread;
    bool out_of_memory = false;
    bool stopped = false;
    {
        SignalCheck check;
        std::optional<StopScope> scope;
        if (handles_signals) scope.emplace(check, SIGNAL_INTERVAL);
        try {
            work();
        } catch (const std::bad_alloc&) {
            out_of_memory = true;
        } catch (const std::length_error&) {
            out_of_memory = true;
        }
        stopped = stop_requested();
    }
    if (stopped) {
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "engine work stopped with no exception set");
        return false;
    }
    if (out_of_memory) {
        PyErr_NoMemory();
        return false;
    }
    return true;
}

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
// allocation fails. Should `init` throw, the object is freed unfilled and
// the exception goes on.
template <class Object, class Init>
PyObject* allocate_object(PyTypeObject* type, Init init) {
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    PyObject* self = alloc(type, 0);
    if (!self) return nullptr;
    try {
        init(*reinterpret_cast<Object*>(self));
    } catch (...) {
        auto free = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
        free(self);
        Py_DECREF(type);  // the reference the new object held
        throw;
    }
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
