// The four enumerations: Color, BoardEdge, CutKind and GameStatus.
//
// A member is an immutable object carrying its small integer value. The
// members published as class attributes are ordinary instances; every
// property or method answering an enumeration value builds a new instance
// equal to the member. Members compare equal to their own value as an int
// and therefore hash as that int does, so a member and its value are one key
// in a dict or a set.
#include "module/module.hpp"

namespace cellvane::py {

namespace {

struct EnumInfo {
    const char* class_name;
    const char* const* names;   // member names, by value
    const char* const* labels;  // wire names, by value; null when there are none
    int count;
};

struct EnumObject {
    PyObject_HEAD
    const EnumInfo* info;
    int value;
};

const char* const COLOR_NAMES[] = {"BLACK", "WHITE"};
const char* const COLOR_LABELS[] = {"black", "white"};
const char* const EDGE_NAMES[] = {"LEFT", "RIGHT", "TOP", "BOTTOM"};
const char* const EDGE_LABELS[] = {"left", "right", "top", "bottom"};
const char* const CUT_KIND_NAMES[] = {"CONNECTED", "CUTTABLE", "TOO_FAR"};
const char* const CUT_KIND_LABELS[] = {"connected", "cuttable", "tooFar"};
const char* const STATUS_NAMES[] = {"PLAYING", "NEXT_PASS_ENDS", "ENDED"};

const EnumInfo COLOR_INFO = {"Color", COLOR_NAMES, COLOR_LABELS, 2};
const EnumInfo EDGE_INFO = {"BoardEdge", EDGE_NAMES, EDGE_LABELS, 4};
const EnumInfo CUT_KIND_INFO = {"CutKind", CUT_KIND_NAMES, CUT_KIND_LABELS, 3};
const EnumInfo STATUS_INFO = {"GameStatus", STATUS_NAMES, nullptr, 3};

EnumObject* as_enum(PyObject* o) { return reinterpret_cast<EnumObject*>(o); }

PyObject* new_member(PyTypeObject* type, const EnumInfo& info, int value) {
    if (value < 0 || value >= info.count) {
        PyErr_Format(PyExc_SystemError, "%d is not a value of %s", value, info.class_name);
        return nullptr;
    }
    return allocate_object<EnumObject>(type, [&](EnumObject& e) {
        e.info = &info;
        e.value = value;
    });
}

PyObject* enum_repr(PyObject* self) {
    const EnumObject* e = as_enum(self);
    return PyUnicode_FromFormat("%s.%s", e->info->class_name, e->info->names[e->value]);
}

PyObject* enum_richcompare(PyObject* self, PyObject* other, int op) {
    if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
    const int value = as_enum(self)->value;
    if (Py_TYPE(other) == Py_TYPE(self)) {
        const bool equal = value == as_enum(other)->value;
        return PyBool_FromLong((op == Py_EQ) == equal);
    }
    if (PyLong_Check(other)) {
        Ref own = Ref::steal(PyLong_FromLong(value));
        if (!own) return nullptr;
        return PyObject_RichCompare(own.get(), other, op);
    }
    Py_RETURN_NOTIMPLEMENTED;
}

// Hashes as the member's value does as an int (small ints hash to themselves).
Py_hash_t enum_hash(PyObject* self) { return as_enum(self)->value; }

PyObject* enum_int(PyObject* self) { return PyLong_FromLong(as_enum(self)->value); }

PyObject* enum_label(PyObject* self, void*) {
    const EnumObject* e = as_enum(self);
    return PyUnicode_FromString(e->info->labels[e->value]);
}

PyObject* color_opposite(PyObject* self, PyObject*) {
    return new_color(state_of(Py_TYPE(self)), opposite(static_cast<Color>(as_enum(self)->value)));
}

PyObject* status_has_ended(PyObject* self, PyObject*) {
    return PyBool_FromLong(as_enum(self)->value == static_cast<int>(Status::Ended));
}

// A member copies and pickles as the lookup of the class attribute of its
// name, `getattr(Color, "BLACK")`, so it comes back as that very member.
PyObject* enum_reduce(PyObject* self, PyObject*) {
    Ref builtins = Ref::steal(PyImport_ImportModule("builtins"));
    if (!builtins) return nullptr;
    Ref getattr = Ref::steal(PyObject_GetAttrString(builtins.get(), "getattr"));
    if (!getattr) return nullptr;
    const EnumObject* e = as_enum(self);
    return Py_BuildValue("(O(Os))", getattr.get(), reinterpret_cast<PyObject*>(Py_TYPE(self)),
                         e->info->names[e->value]);
}

const PyMethodDef ENUM_REDUCE = {"__reduce__", entry<enum_reduce>, METH_NOARGS,
                                 "__reduce__($self)\n--\n\nCopies and pickles as the member itself."};

PyGetSetDef color_getset[] = {
    {"label", entry<enum_label>, nullptr,
     "The lowercase name, as the engine's wire protocol and the fixtures spell\nit: `\"black\"` or `\"white\"`.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
PyGetSetDef edge_getset[] = {
    {"label", entry<enum_label>, nullptr, "The lowercase name, as the engine's wire protocol spells it.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
PyGetSetDef cut_kind_getset[] = {
    {"label", entry<enum_label>, nullptr, "The name as the engine's wire protocol spells it.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef color_methods[] = {
    {"opposite", entry<color_opposite>, METH_NOARGS, "opposite($self)\n--\n\nThe other player."},
    ENUM_REDUCE,
    {nullptr, nullptr, 0, nullptr},
};
PyMethodDef status_methods[] = {
    {"has_ended", entry<status_has_ended>, METH_NOARGS, "has_ended($self)\n--\n\nWhether the game has stopped taking turns."},
    ENUM_REDUCE,
    {nullptr, nullptr, 0, nullptr},
};
PyMethodDef reduce_only_methods[] = {
    ENUM_REDUCE,
    {nullptr, nullptr, 0, nullptr},
};

const char COLOR_DOC[] = "A player.";
const char EDGE_DOC[] = "Which board edge a stone-to-edge line runs to.";
const char CUT_KIND_DOC[] =
    "What the rules say about the line between two stones, or between a stone and\n"
    "a board edge.\n"
    "\n"
    "`Game.pair_cuttable` and `Game.boundary_cuttable` answer with one of these.\n"
    "`TOO_FAR` is **not** a verdict in either direction \xe2\x80\x94 see its own note.";
const char STATUS_DOC[] =
    "How far along a game is.\n"
    "\n"
    "`Game.status` answers with one of these. A game ends on two passes in a row\n"
    "and on nothing else; an ended game takes no further turns and answers every\n"
    "question it answered before.";

// Builds one enumeration class and publishes its members as class attributes.
PyObject* make_enum_type(PyObject* module, const char* qualified_name, const char* doc, const EnumInfo& info,
                         PyGetSetDef* getset, PyMethodDef* methods) {
    PyType_Slot slots[8] = {
        {Py_tp_doc, const_cast<char*>(doc)},
        {Py_tp_repr, reinterpret_cast<void*>(entry<enum_repr>)},
        {Py_tp_richcompare, reinterpret_cast<void*>(entry<enum_richcompare>)},
        {Py_tp_hash, reinterpret_cast<void*>(entry<enum_hash>)},
        {Py_nb_int, reinterpret_cast<void*>(entry<enum_int>)},
    };
    int used = 5;
    if (getset) slots[used++] = {Py_tp_getset, getset};
    if (methods) slots[used++] = {Py_tp_methods, methods};
    slots[used] = {0, nullptr};
    PyType_Spec blueprint = {
        qualified_name,
        static_cast<int>(sizeof(EnumObject)),
        0,
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
        slots,
    };
    Ref type = Ref::steal(PyType_FromModuleAndSpec(module, &blueprint, nullptr));
    if (!type) return nullptr;
    for (int value = 0; value < info.count; ++value) {
        Ref member = Ref::steal(new_member(as_type(type.get()), info, value));
        if (!member) return nullptr;
        if (!set_class_attribute(type.get(), info.names[value], member.get())) return nullptr;
    }
    return type.release();
}

bool enum_value_of(PyObject* obj, PyObject* type, int& value) {
    if (Py_TYPE(obj) != as_type(type)) return false;
    value = as_enum(obj)->value;
    return true;
}

bool fail_enum(PyObject* obj, const char* name, const char* class_name) {
    const std::string message = cannot_convert(obj, class_name);
    PyErr_Format(PyExc_TypeError, "argument '%s': %s", name, message.c_str());
    return false;
}

}  // namespace

PyObject* make_color_type(PyObject* module) {
    return make_enum_type(module, "cellvane.Color", COLOR_DOC, COLOR_INFO, color_getset, color_methods);
}
PyObject* make_edge_type(PyObject* module) {
    return make_enum_type(module, "cellvane.BoardEdge", EDGE_DOC, EDGE_INFO, edge_getset, reduce_only_methods);
}
PyObject* make_cut_kind_type(PyObject* module) {
    return make_enum_type(module, "cellvane.CutKind", CUT_KIND_DOC, CUT_KIND_INFO, cut_kind_getset,
                          reduce_only_methods);
}
PyObject* make_status_type(PyObject* module) {
    return make_enum_type(module, "cellvane.GameStatus", STATUS_DOC, STATUS_INFO, nullptr, status_methods);
}

PyObject* new_color(const ModuleState& m, Color c) {
    return new_member(as_type(m.color_type), COLOR_INFO, static_cast<int>(c));
}
PyObject* new_cut_kind(const ModuleState& m, CutKind k) {
    return new_member(as_type(m.cut_kind_type), CUT_KIND_INFO, static_cast<int>(k));
}
PyObject* new_status(const ModuleState& m, Status s) {
    return new_member(as_type(m.status_type), STATUS_INFO, static_cast<int>(s));
}

bool to_color(const ModuleState& m, PyObject* obj, const char* name, Color& out) {
    int value = 0;
    if (!enum_value_of(obj, m.color_type, value)) return fail_enum(obj, name, "Color");
    out = static_cast<Color>(value);
    return true;
}

bool to_edge(const ModuleState& m, PyObject* obj, const char* name, BoardEdge& out) {
    int value = 0;
    if (!enum_value_of(obj, m.edge_type, value)) return fail_enum(obj, name, "BoardEdge");
    out = static_cast<BoardEdge>(value);
    return true;
}

}  // namespace cellvane::py
