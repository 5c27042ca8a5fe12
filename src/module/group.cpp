// The Group class: one group of a position, copied out of the analysis.
#include "module/module.hpp"

namespace cellvane::py {

namespace {

struct GroupObject {
    PyObject_HEAD
};

PyType_Slot group_slots[] = {
    {Py_tp_doc, const_cast<char*>("One contiguous group of same-colour stones, and the territory it controls.")},
    {0, nullptr},
};

// Instances come only from Game.groups.
PyType_Spec group_spec = {
    "cellvane.Group",
    static_cast<int>(sizeof(GroupObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    group_slots,
};

}  // namespace

PyObject* make_group_type(PyObject* module) noexcept { return PyType_FromModuleAndSpec(module, &group_spec, nullptr); }

}  // namespace cellvane::py
