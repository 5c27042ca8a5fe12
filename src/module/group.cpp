// The Group class: one group of a position, copied out of the analysis.
//
// A Group object owns its record outright and never looks back at the board,
// so a later move cannot change what an earlier call of Game.groups handed
// out. It compares by value and, like any class with value equality and no
// hash, is unhashable.
#include <new>
#include <string>
#include <utility>

#include "module/module.hpp"

namespace cellvane::py {

namespace {

struct GroupObject {
    PyObject_HEAD
    Group group;  // built in place by new_group
};

GroupObject* as_group(PyObject* o) { return reinterpret_cast<GroupObject*>(o); }
const Group& record(PyObject* o) { return as_group(o)->group; }

// The record inside a Group object, or nullptr when `obj` is not one.
const Group* group_of(const ModuleState& m, PyObject* obj) noexcept {
    if (!PyObject_TypeCheck(obj, as_type(m.group_type))) return nullptr;
    return &record(obj);
}

// Group cannot be subclassed: its own class leads to its module.
const ModuleState& group_state(PyObject* self) noexcept { return state_of(Py_TYPE(self)); }

// Colour first, then the stones, then the rings: the cheap fields settle
// most comparisons before the point lists are walked.
bool groups_equal(const Group& a, const Group& b) noexcept {
    if (a.color != b.color) return false;
    if (a.stones.size() != b.stones.size()) return false;
    for (std::size_t i = 0; i < a.stones.size(); ++i) {
        if (!stones_equal(a.stones[i], b.stones[i])) return false;
    }
    if (a.rings.size() != b.rings.size()) return false;
    for (std::size_t r = 0; r < a.rings.size(); ++r) {
        const Ring& ra = a.rings[r];
        const Ring& rb = b.rings[r];
        if (ra.size() != rb.size()) return false;
        for (std::size_t i = 0; i < ra.size(); ++i) {
            if (!points_equal(ra[i], rb[i])) return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------- slots

PyObject* group_repr(PyObject* self) {
    const Group& g = record(self);
    std::string out = "Group(color=Color.";
    out += g.color == Color::White ? "WHITE" : "BLACK";
    out += ", stone_ids=[";
    for (std::size_t i = 0; i < g.stones.size(); ++i) {
        if (i > 0) out += ", ";
        out += std::to_string(g.stones[i].id);
    }
    out += "], area=";
    append_repr(out, territory_area(g));
    out += ')';
    return new_string(out);
}

PyObject* group_richcompare(PyObject* self, PyObject* other, int op) {
    const Group* theirs = group_of(group_state(self), other);
    if ((op != Py_EQ && op != Py_NE) || !theirs) Py_RETURN_NOTIMPLEMENTED;
    const bool equal = groups_equal(record(self), *theirs);
    return PyBool_FromLong((op == Py_EQ) == equal);
}

// ----------------------------------------------------------- properties

PyObject* group_color(PyObject* self, void*) { return new_color(group_state(self), record(self).color); }

PyObject* group_stones(PyObject* self, void*) { return new_stone_list(group_state(self), record(self).stones); }

PyObject* group_stone_ids(PyObject* self, void*) {
    return new_list(record(self).stones, [](const Stone& stone) { return PyLong_FromUnsignedLong(stone.id); });
}

PyObject* group_color_seed(PyObject* self, void*) {
    const std::vector<Stone>& stones = record(self).stones;
    if (stones.empty()) Py_RETURN_NONE;
    return PyLong_FromUnsignedLong(stones.front().id);
}

PyObject* group_rings(PyObject* self, void*) {
    return new_list(record(self).rings,
                    [](const Ring& ring) { return new_list(ring, [](Point p) { return new_point(p); }); });
}

PyObject* group_area(PyObject* self, void*) { return PyFloat_FromDouble(territory_area(record(self))); }

// -------------------------------------------------------------- methods

PyObject* group_is_empty(PyObject* self, PyObject*) {
    for (const Ring& ring : record(self).rings) {
        if (!ring.empty()) Py_RETURN_FALSE;
    }
    Py_RETURN_TRUE;
}

PyObject* group_contains_point(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const char* const names[] = {"point", nullptr};
    PyObject* point_arg = nullptr;
    if (!parse_args(args, kwargs, "O:contains_point", names, &point_arg)) return nullptr;
    Point p;
    if (!to_point(point_arg, "point", p)) return nullptr;
    return PyBool_FromLong(territory_contains(record(self), p));
}

// --------------------------------------------------------------- pickling

// A group pickles as `Group._from_state(color, stones, rings)`: its colour
// member, its stones and its rings as `rings` lists them. The record is
// rebuilt point for point, so the copy compares equal.
PyObject* group_reduce(PyObject* self, PyObject*) {
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(self));
    Ref rebuild = Ref::steal(PyObject_GetAttrString(type, "_from_state"));
    if (!rebuild) return nullptr;
    Ref color = Ref::steal(group_color(self, nullptr));
    if (!color) return nullptr;
    Ref stones = Ref::steal(group_stones(self, nullptr));
    if (!stones) return nullptr;
    Ref rings = Ref::steal(group_rings(self, nullptr));
    if (!rings) return nullptr;
    return Py_BuildValue("(O(OOO))", rebuild.get(), color.get(), stones.get(), rings.get());
}

// Group cannot be subclassed, so the class is always Group itself. The three
// lists are read to their end (a reading that runs out of memory raises
// MemoryError; a signal's exception stops it).
PyObject* group_from_state(PyObject* cls, PyObject* args, PyObject* kwargs) {
    const ModuleState& m = state_of(as_type(cls));
    static const char* const names[] = {"color", "stones", "rings", nullptr};
    PyObject* color_arg = nullptr;
    PyObject* stones_arg = nullptr;
    PyObject* rings_arg = nullptr;
    if (!parse_args(args, kwargs, "OOO:_from_state", names, &color_arg, &stones_arg, &rings_arg)) return nullptr;
    Group group;
    if (!to_color(m, color_arg, "color", group.color)) return nullptr;
    const bool stones_ok = for_each_item(stones_arg, [&](PyObject* item) {
        Stone stone;
        if (!to_stone(m, item, "stones", stone)) return false;
        group.stones.push_back(stone);
        return true;
    });
    if (!stones_ok) return nullptr;
    const bool rings_ok = for_each_item(rings_arg, [&](PyObject* ring_arg) {
        Ring ring;
        const bool points_ok = for_each_item(ring_arg, [&](PyObject* point_arg) {
            Point p;
            if (!to_point(point_arg, "rings", p)) return false;
            ring.push_back(p);
            return true;
        });
        if (!points_ok) return false;
        group.rings.push_back(std::move(ring));
        return true;
    });
    if (!rings_ok) return nullptr;
    return new_group(m, group);
}

PyGetSetDef group_getset[] = {
    {"color", entry<group_color>, nullptr, "Whose group this is.", nullptr},
    {"stones", entry<group_stones>, nullptr, "The group's stones, ascending by id.", nullptr},
    {"stone_ids", entry<group_stone_ids>, nullptr, "The ids of the group's stones, ascending.", nullptr},
    {"color_seed", entry<group_color_seed>, nullptr,
     "The group's stable name: its lowest stone id, which it keeps across a move that merely extends it. "
     "`None` only for a group with no stones, which cannot happen on a board.",
     nullptr},
    {"rings", entry<group_rings>, nullptr,
     "The group's territory. Ring 0 is the outer boundary, later rings are holes, and every ring is closed.",
     nullptr},
    {"area", entry<group_area>, nullptr, "The board area this group controls, holes excluded.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef group_methods[] = {
    {"is_empty", entry<group_is_empty>, METH_NOARGS,
     "is_empty($self)\n--\n\n"
     "Whether this group encloses nothing \xe2\x80\x94 no shape to draw and no area to measure."},
    {"contains_point", as_cfunction(entry<group_contains_point>),
     METH_VARARGS | METH_KEYWORDS,
     "contains_point($self, point)\n--\n\n"
     "Whether `point` lies in this group's territory: inside the outer ring and outside every hole."},
    {"__reduce__", entry<group_reduce>, METH_NOARGS,
     "__reduce__($self)\n--\n\nRebuilds an equal group: copies and pickles."},
    {"_from_state", as_cfunction(entry<group_from_state>),
     METH_VARARGS | METH_KEYWORDS | METH_CLASS,
     "_from_state($cls, color, stones, rings)\n--\n\n"
     "The group with this colour, these stones and these rings, as `__reduce__`\n"
     "hands them to pickle. Not for building positions: groups come from\n"
     "`Game.groups`."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot group_slots[] = {
    {Py_tp_doc, const_cast<char*>("One contiguous group of same-colour stones, and the territory it controls.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(destroy_object<GroupObject>)},
    {Py_tp_repr, reinterpret_cast<void*>(entry<group_repr>)},
    {Py_tp_richcompare, reinterpret_cast<void*>(entry<group_richcompare>)},
    {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
    {Py_tp_getset, group_getset},
    {Py_tp_methods, group_methods},
    {0, nullptr},
};

// Instances come only from Game.groups.
PyType_Spec group_spec = {
    "cellvane.Group",
    static_cast<int>(sizeof(GroupObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
    group_slots,
};

}  // namespace

PyObject* make_group_type(PyObject* module) { return PyType_FromModuleAndSpec(module, &group_spec, nullptr); }

PyObject* new_group(const ModuleState& m, const Group& group) {
    return allocate_object<GroupObject>(as_type(m.group_type), [&](GroupObject& g) { new (&g.group) Group(group); });
}

}  // namespace cellvane::py
