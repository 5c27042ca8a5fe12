// The exception hierarchy and the one place engine errors become exceptions.
#include <initializer_list>
#include <utility>

#include "module/module.hpp"
// After Python.h, which it needs.
#include <structmember.h>

namespace cellvane::py {

namespace {

struct ErrorSpec {
    const char* qualified_name;
    ErrorClass base;  // Cellvane's own base is Exception (marked by itself)
    const char* doc;
};

// In registration order; every base comes before its subclasses.
const ErrorSpec ERROR_SPECS[ERROR_CLASS_COUNT] = {
    {"cellvane.CellvaneError", ErrorClass::Cellvane, "Base class of every error this package raises."},
    {"cellvane.StonePlayError", ErrorClass::Cellvane,
     "A move the rules refused. Base of NotPlaceableError and SelfCaptureError."},
    {"cellvane.NotPlaceableError", ErrorClass::StonePlay,
     "No stone centre may sit at this position. Carries `position`."},
    {"cellvane.SelfCaptureError", ErrorClass::StonePlay,
     "The move would take only the mover's own stones. Carries `position` and `color`."},
    {"cellvane.DeltaError", ErrorClass::Cellvane, "A delta the board cannot account for. Base of the five below."},
    {"cellvane.StoneExistsError", ErrorClass::Delta,
     "The delta places a stone whose id is already in play. Carries `stone`."},
    {"cellvane.NoSuchStoneError", ErrorClass::Delta,
     "The delta captures a stone that is not on the board. Carries `stone`."},
    {"cellvane.CapturedTwiceError", ErrorClass::Delta, "The delta captures the same stone twice. Carries `stone`."},
    {"cellvane.PassCapturesError", ErrorClass::Delta, "A delta that places no stone cannot capture one."},
    {"cellvane.OffBoardError", ErrorClass::Delta,
     "The delta places a stone whose centre is not on the board. Carries `stone` and `position`."},
    {"cellvane.DeadZoneError", ErrorClass::Delta,
     "The playable area could not be carved or reclaimed for a stone. Carries `stone`."},
    {"cellvane.GameOverError", ErrorClass::Cellvane,
     "The game ended on two passes and takes no further turns. Raised by Game.try_move, Game.pass_turn and "
     "Game.replay; Game.undo_move takes the last pass back, and every query still answers."},
    {"cellvane.CutError", ErrorClass::Cellvane,
     "A cut question that is not a question about a connection: a stone that is not on the board, a stone "
     "against itself, or two stones of opposite colours. Carries `stones`, the ids the question named."},
    {"cellvane.BoardError", ErrorClass::Cellvane,
     "An invariant the board guarantees, found not to hold. Raised only by Game.validate()."},
};

// One attribute to set on a new exception, built only when it is set.
struct Attribute {
    enum class Kind { Id, Position, Color, Ids };
    const char* name;
    Kind kind;
    std::uint32_t id = 0;
    Point position;
    Color color = Color::Black;
    std::vector<std::uint32_t> ids;

    PyObject* build(const ModuleState& m) const {
        switch (kind) {
            case Kind::Id:
                return PyLong_FromUnsignedLong(id);
            case Kind::Position:
                return new_point(position);
            case Kind::Color:
                return new_color(m, color);
            case Kind::Ids:
                return new_u32_list(ids);
        }
        PyErr_SetString(PyExc_SystemError, "unknown exception attribute");
        return nullptr;
    }
};

Attribute stone_attribute(std::uint32_t id) { return {"stone", Attribute::Kind::Id, id, {}, Color::Black, {}}; }
Attribute position_attribute(Point p) { return {"position", Attribute::Kind::Position, 0, p, Color::Black, {}}; }
Attribute color_attribute(Color c) { return {"color", Attribute::Kind::Color, 0, {}, c, {}}; }
Attribute stones_attribute(std::vector<std::uint32_t> ids) {
    return {"stones", Attribute::Kind::Ids, 0, {}, Color::Black, std::move(ids)};
}

// Creates the exception with `message` as its only argument, sets the
// attributes one by one in order and raises it. Whatever fails on the way
// is raised instead.
PyObject* raise_with(const ModuleState& m, ErrorClass c, const std::string& message,
                     std::initializer_list<Attribute> attributes) {
    PyObject* cls = error_class(m, c);
    Ref text = Ref::steal(new_string(message));
    if (!text) return nullptr;
    Ref exception = Ref::steal(PyObject_CallFunctionObjArgs(cls, text.get(), nullptr));
    if (!exception) return nullptr;
    for (const Attribute& a : attributes) {
        Ref value = Ref::steal(a.build(m));
        if (!value) return nullptr;
        if (PyObject_SetAttrString(exception.get(), a.name, value.get()) < 0) return nullptr;
    }
    PyErr_SetObject(cls, exception.get());
    return nullptr;
}

}  // namespace

PyObject* error_class(const ModuleState& m, ErrorClass c) noexcept { return m.errors[static_cast<int>(c)]; }

const char* error_class_name(ErrorClass c) noexcept {
    return ERROR_SPECS[static_cast<int>(c)].qualified_name + sizeof("cellvane.") - 1;
}

namespace {

// Creates one exception class, immutable like every class of the module.
// The root class adds a weak-reference slot after Exception's fields, as a
// class made by a class statement would; its subclasses inherit it.
PyObject* make_error_class(PyObject* module, const ErrorSpec& entry, PyObject* base, bool root) {
    Py_ssize_t basicsize = 0;  // 0: the base's layout, unchanged
    if (root) {
        Ref size = Ref::steal(PyObject_GetAttrString(base, "__basicsize__"));
        if (!size) return nullptr;
        basicsize = PyLong_AsSsize_t(size.get());
        if (basicsize < 0) return nullptr;
    }
    PyMemberDef members[] = {
        {"__weaklistoffset__", T_PYSSIZET, basicsize, READONLY, nullptr},
        // The newest weak reference to the exception, or None.
        {"__weakref__", T_OBJECT, basicsize, READONLY, nullptr},
        {nullptr, 0, 0, 0, nullptr},
    };
    PyType_Slot slots[] = {
        {Py_tp_doc, const_cast<char*>(entry.doc)},
        {root ? Py_tp_members : 0, members},  // slot 0 ends the list early
        {0, nullptr},
    };
    PyType_Spec blueprint = {
        entry.qualified_name,
        root ? static_cast<int>(basicsize + static_cast<Py_ssize_t>(sizeof(PyObject*))) : 0,
        0,
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_IMMUTABLETYPE,
        slots,
    };
    return PyType_FromModuleAndSpec(module, &blueprint, base);
}

}  // namespace

bool make_error_classes(PyObject* module, ModuleState& m) {
    for (int i = 0; i < ERROR_CLASS_COUNT; ++i) {
        const ErrorSpec& entry = ERROR_SPECS[i];
        const bool root = i == static_cast<int>(ErrorClass::Cellvane);
        PyObject* base = root ? PyExc_Exception : error_class(m, entry.base);
        m.errors[i] = make_error_class(module, entry, base, root);
        if (!m.errors[i]) return false;
    }
    return true;
}

PyObject* raise_commit_error(const ModuleState& m, const CommitError& e) {
    const std::string message = e.message();
    switch (e.kind) {
        case CommitErrorKind::StoneExists:
            return raise_with(m, ErrorClass::StoneExists, message, {stone_attribute(e.stone)});
        case CommitErrorKind::NoSuchStone:
            return raise_with(m, ErrorClass::NoSuchStone, message, {stone_attribute(e.stone)});
        case CommitErrorKind::CapturedTwice:
            return raise_with(m, ErrorClass::CapturedTwice, message, {stone_attribute(e.stone)});
        case CommitErrorKind::PassCaptures:
            return raise_with(m, ErrorClass::PassCaptures, message, {});
        case CommitErrorKind::OffBoard:
            return raise_with(m, ErrorClass::OffBoard, message,
                              {stone_attribute(e.stone), position_attribute(e.position)});
        case CommitErrorKind::DeadZone:
            return raise_with(m, ErrorClass::DeadZone, message, {stone_attribute(e.stone)});
        case CommitErrorKind::GameOver:
            return raise_with(m, ErrorClass::GameOver, message, {});
    }
    PyErr_SetString(PyExc_SystemError, "unknown commit error");
    return nullptr;
}

PyObject* raise_move_error(const ModuleState& m, const MoveError& e) {
    switch (e.kind) {
        case MoveErrorKind::GameOver:
            return raise_with(m, ErrorClass::GameOver, e.message(), {});
        case MoveErrorKind::NotPlaceable:
            return raise_with(m, ErrorClass::NotPlaceable, e.message(), {position_attribute(e.position)});
        case MoveErrorKind::SelfCapture:
            return raise_with(m, ErrorClass::SelfCapture, e.message(),
                              {position_attribute(e.position), color_attribute(e.color)});
        case MoveErrorKind::Delta:
            return raise_commit_error(m, e.commit);
        case MoveErrorKind::Stopped:
            // The stop check raised the exception that stopped the move.
            if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, e.message().c_str());
            return nullptr;
    }
    PyErr_SetString(PyExc_SystemError, "unknown move error");
    return nullptr;
}

PyObject* raise_cut_fault(const ModuleState& m, const CutFault& f) {
    const std::string message = f.message();
    std::vector<std::uint32_t> stones{f.a};
    if (f.kind == CutFaultKind::TwoColours) stones.push_back(f.b);
    return raise_with(m, ErrorClass::Cut, message, {stones_attribute(std::move(stones))});
}

PyObject* raise_board_error(const ModuleState& m, const std::string& message) {
    return raise_with(m, ErrorClass::Board, message, {});
}

}  // namespace cellvane::py
