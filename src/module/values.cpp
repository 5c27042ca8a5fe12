// The value classes Stone and GameDelta: immutable copies of the engine's
// values, compared field by field and hashed with SipHash-1-3 over a fixed
// byte layout.
#include <new>
#include <utility>

#include "module/module.hpp"

namespace cellvane::py {

namespace {

struct StoneObject {
    PyObject_HEAD
    Stone stone;
};

struct DeltaObject {
    PyObject_HEAD
    GameDelta delta;  // built in place by the allocator's caller
};

StoneObject* as_stone(PyObject* o) { return reinterpret_cast<StoneObject*>(o); }
DeltaObject* as_delta(PyObject* o) { return reinterpret_cast<DeltaObject*>(o); }

const char* color_name(Color c) { return c == Color::White ? "WHITE" : "BLACK"; }

bool deltas_equal(const GameDelta& a, const GameDelta& b) {
    if (a.new_stone.has_value() != b.new_stone.has_value()) return false;
    if (a.new_stone && !stones_equal(*a.new_stone, *b.new_stone)) return false;
    return a.captured_stone_ids == b.captured_stone_ids;
}

void hash_stone_fields(SipHasher13& h, const Stone& s) {
    h.write_u32(s.id);
    h.write_u64(static_cast<std::uint64_t>(s.color));
    h.write_u64(folded_bits(s.position.x));
    h.write_u64(folded_bits(s.position.y));
}

void append_stone_repr(std::string& out, const Stone& s) {
    out += "Stone(id=";
    out += std::to_string(s.id);
    out += ", color=Color.";
    out += color_name(s.color);
    out += ", position=(";
    append_repr(out, s.position.x);
    out += ", ";
    append_repr(out, s.position.y);
    out += "))";
}

PyObject* compare_result(bool equal, int op) { return PyBool_FromLong((op == Py_EQ) == equal); }

// ------------------------------------------------------------------ Stone

PyObject* stone_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    const ModuleState& m = state_of(type);
    static const char* const names[] = {"id", "color", "position", nullptr};
    PyObject* id_arg = nullptr;
    PyObject* color_arg = nullptr;
    PyObject* position_arg = nullptr;
    if (!parse_args(args, kwargs, "OOO:Stone", names, &id_arg, &color_arg, &position_arg)) return nullptr;
    Stone stone;
    if (!to_u32(id_arg, "id", stone.id)) return nullptr;
    if (!to_color(m, color_arg, "color", stone.color)) return nullptr;
    if (!to_point(position_arg, "position", stone.position)) return nullptr;
    return allocate_object<StoneObject>(type, [&](StoneObject& s) { s.stone = stone; });
}

PyObject* stone_id(PyObject* self, void*) { return PyLong_FromUnsignedLong(as_stone(self)->stone.id); }
PyObject* stone_color(PyObject* self, void*) { return new_color(state_of(Py_TYPE(self)), as_stone(self)->stone.color); }
PyObject* stone_position(PyObject* self, void*) { return new_point(as_stone(self)->stone.position); }

PyObject* stone_repr(PyObject* self) {
    std::string out;
    append_stone_repr(out, as_stone(self)->stone);
    return new_string(out);
}

PyObject* stone_richcompare(PyObject* self, PyObject* other, int op) {
    const Stone* theirs = stone_of(state_of(Py_TYPE(self)), other);
    if ((op != Py_EQ && op != Py_NE) || !theirs) Py_RETURN_NOTIMPLEMENTED;
    return compare_result(stones_equal(as_stone(self)->stone, *theirs), op);
}

Py_hash_t stone_hash(PyObject* self) {
    SipHasher13 h;
    hash_stone_fields(h, as_stone(self)->stone);
    return host_hash(h.finish());
}

// Rebuilt through the constructor: (Stone, (id, color, position)).
PyObject* stone_reduce(PyObject* self, PyObject*) {
    const Stone& s = as_stone(self)->stone;
    Ref color = Ref::steal(new_color(state_of(Py_TYPE(self)), s.color));
    if (!color) return nullptr;
    Ref position = Ref::steal(new_point(s.position));
    if (!position) return nullptr;
    return Py_BuildValue("(O(kOO))", reinterpret_cast<PyObject*>(Py_TYPE(self)), static_cast<unsigned long>(s.id),
                         color.get(), position.get());
}

PyMethodDef stone_methods[] = {
    {"__reduce__", entry<stone_reduce>, METH_NOARGS, "__reduce__($self)\n--\n\nRebuilds an equal stone: copies and pickles."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef stone_getset[] = {
    {"id", entry<stone_id>, nullptr, "Which stone this is. Ids are dense and never reused.", nullptr},
    {"color", entry<stone_color>, nullptr, "Whose stone it is.", nullptr},
    {"position", entry<stone_position>, nullptr, "Where its centre sits, as `(x, y)`.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot stone_slots[] = {
    {Py_tp_doc, const_cast<char*>("Stone(id, color, position)\n--\n\nA stone on the board.")},
    {Py_tp_new, reinterpret_cast<void*>(entry<stone_new>)},
    {Py_tp_dealloc, reinterpret_cast<void*>(destroy_object<StoneObject>)},
    {Py_tp_repr, reinterpret_cast<void*>(entry<stone_repr>)},
    {Py_tp_richcompare, reinterpret_cast<void*>(entry<stone_richcompare>)},
    {Py_tp_hash, reinterpret_cast<void*>(entry<stone_hash>)},
    {Py_tp_getset, stone_getset},
    {Py_tp_methods, stone_methods},
    {0, nullptr},
};

PyType_Spec stone_spec = {
    "cellvane.Stone",
    static_cast<int>(sizeof(StoneObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    stone_slots,
};

// -------------------------------------------------------------- GameDelta

PyObject* delta_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    const ModuleState& m = state_of(type, destroy_object<DeltaObject>);
    static const char* const names[] = {"new_stone", "captured_stone_ids", nullptr};
    PyObject* stone_arg = Py_None;
    PyObject* ids_arg = Py_None;
    if (!parse_args(args, kwargs, "|OO:GameDelta", names, &stone_arg, &ids_arg)) return nullptr;
    GameDelta delta;
    if (stone_arg != Py_None) {
        Stone stone;
        if (!to_stone(m, stone_arg, "new_stone", stone)) return nullptr;
        delta.new_stone = stone;
    }
    if (ids_arg != Py_None && !to_u32_list(ids_arg, "captured_stone_ids", delta.captured_stone_ids)) return nullptr;
    return allocate_object<DeltaObject>(type, [&](DeltaObject& d) { new (&d.delta) GameDelta(std::move(delta)); });
}

// The module's state, from a delta of the class or of a subclass.
const ModuleState& delta_state(PyObject* self) noexcept {
    return state_of(Py_TYPE(self), destroy_object<DeltaObject>);
}

PyObject* delta_new_stone(PyObject* self, void*) {
    const GameDelta& d = as_delta(self)->delta;
    if (!d.new_stone) Py_RETURN_NONE;
    return new_stone(delta_state(self), *d.new_stone);
}

PyObject* delta_captured_ids(PyObject* self, void*) {
    return new_u32_list(as_delta(self)->delta.captured_stone_ids);
}

PyObject* delta_is_pass(PyObject* self, void*) {
    return PyBool_FromLong(!as_delta(self)->delta.new_stone.has_value());
}

PyObject* delta_repr(PyObject* self) {
    const GameDelta& d = as_delta(self)->delta;
    if (!d.new_stone) return PyUnicode_FromString("GameDelta()");
    std::string out = "GameDelta(new_stone=";
    append_stone_repr(out, *d.new_stone);
    out += ", captured_stone_ids=[";
    for (std::size_t i = 0; i < d.captured_stone_ids.size(); ++i) {
        if (i > 0) out += ", ";
        out += std::to_string(d.captured_stone_ids[i]);
    }
    out += "])";
    return new_string(out);
}

PyObject* delta_richcompare(PyObject* self, PyObject* other, int op) {
    const GameDelta* theirs = delta_of(delta_state(self), other);
    if ((op != Py_EQ && op != Py_NE) || !theirs) Py_RETURN_NOTIMPLEMENTED;
    return compare_result(deltas_equal(as_delta(self)->delta, *theirs), op);
}

Py_hash_t delta_hash(PyObject* self) {
    const GameDelta& d = as_delta(self)->delta;
    SipHasher13 h;
    h.write_u64(d.new_stone ? 1 : 0);
    if (d.new_stone) hash_stone_fields(h, *d.new_stone);
    h.write_u64(static_cast<std::uint64_t>(d.captured_stone_ids.size()));
    for (std::uint32_t id : d.captured_stone_ids) h.write_u32(id);
    return host_hash(h.finish());
}

// Rebuilt through the constructor of the object's own class, with the stone
// and the id list as stored. An instance of a subclass also carries its
// instance dictionary, as a plain object's copy would.
PyObject* delta_reduce(PyObject* self, PyObject*) {
    const GameDelta& d = as_delta(self)->delta;
    Ref stone = d.new_stone ? Ref::steal(new_stone(delta_state(self), *d.new_stone)) : Ref::borrow(Py_None);
    if (!stone) return nullptr;
    Ref ids = Ref::steal(new_u32_list(d.captured_stone_ids));
    if (!ids) return nullptr;
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(self));
    Ref state = Ref::steal(PyObject_GetAttrString(self, "__dict__"));
    if (!state) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return nullptr;
        PyErr_Clear();
    }
    if (state && PyObject_IsTrue(state.get()) > 0) {
        return Py_BuildValue("(O(OO)O)", type, stone.get(), ids.get(), state.get());
    }
    if (PyErr_Occurred()) return nullptr;
    return Py_BuildValue("(O(OO))", type, stone.get(), ids.get());
}

PyMethodDef delta_methods[] = {
    {"__reduce__", entry<delta_reduce>, METH_NOARGS, "__reduce__($self)\n--\n\nRebuilds an equal delta: copies and pickles."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef delta_getset[] = {
    {"new_stone", entry<delta_new_stone>, nullptr, "The stone placed this turn, or `None` when the turn was a pass.", nullptr},
    {"captured_stone_ids", entry<delta_captured_ids>, nullptr, "The stones this placement captured, ascending by id.", nullptr},
    {"is_pass", entry<delta_is_pass>, nullptr, "Whether this turn was a pass.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot delta_slots[] = {
    {Py_tp_doc, const_cast<char*>(
                    "GameDelta(new_stone=None, captured_stone_ids=None)\n--\n\n"
                    "One turn's change to the board: a stone placed (or not, for a pass) and the\n"
                    "stones that placement captured.\n"
                    "\n"
                    "Replaying every delta of a game into a fresh board of the same size\n"
                    "reproduces the position exactly \xe2\x80\x94 `Game.replay` is what does it.")},
    {Py_tp_new, reinterpret_cast<void*>(entry<delta_new>)},
    {Py_tp_dealloc, reinterpret_cast<void*>(destroy_object<DeltaObject>)},
    {Py_tp_repr, reinterpret_cast<void*>(entry<delta_repr>)},
    {Py_tp_richcompare, reinterpret_cast<void*>(entry<delta_richcompare>)},
    {Py_tp_hash, reinterpret_cast<void*>(entry<delta_hash>)},
    {Py_tp_getset, delta_getset},
    {Py_tp_methods, delta_methods},
    {0, nullptr},
};

// Subclassable: replay accepts instances of subclasses as deltas.
PyType_Spec delta_spec = {
    "cellvane.GameDelta",
    static_cast<int>(sizeof(DeltaObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_IMMUTABLETYPE,
    delta_slots,
};

}  // namespace

PyObject* make_stone_type(PyObject* module) { return PyType_FromModuleAndSpec(module, &stone_spec, nullptr); }
PyObject* make_delta_type(PyObject* module) { return PyType_FromModuleAndSpec(module, &delta_spec, nullptr); }

const Stone* stone_of(const ModuleState& m, PyObject* obj) noexcept {
    if (!PyObject_TypeCheck(obj, as_type(m.stone_type))) return nullptr;
    return &as_stone(obj)->stone;
}

const GameDelta* delta_of(const ModuleState& m, PyObject* obj) noexcept {
    if (!PyObject_TypeCheck(obj, as_type(m.delta_type))) return nullptr;
    return &as_delta(obj)->delta;
}

PyObject* new_stone(const ModuleState& m, const Stone& stone) {
    return allocate_object<StoneObject>(as_type(m.stone_type), [&](StoneObject& s) { s.stone = stone; });
}

PyObject* new_delta(const ModuleState& m, GameDelta delta) {
    return allocate_object<DeltaObject>(as_type(m.delta_type),
                                        [&](DeltaObject& d) { new (&d.delta) GameDelta(std::move(delta)); });
}

}  // namespace cellvane::py
