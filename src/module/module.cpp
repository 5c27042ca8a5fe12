// Entry point of the extension module: creates the module and registers, in
// order, the function `version`, the eight classes, the five constants, the
// fourteen exceptions and `__all__`.
#include "module/module.hpp"

namespace cellvane::py {

ModuleState& module_state() noexcept {
    // Never destroyed: the classes it holds must not be released after the
    // interpreter has gone away at process exit.
    static ModuleState* state = new ModuleState();
    return *state;
}

namespace {

PyObject* version(PyObject*, PyObject*) noexcept { return PyUnicode_FromString(ENGINE_VERSION); }

PyMethodDef module_methods[] = {
    {"version", version, METH_NOARGS, "version()\n--\n\nVersion of the underlying rules engine."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "cellvane", "", -1, module_methods, nullptr, nullptr, nullptr, nullptr,
};

struct ClassEntry {
    const char* name;
    Ref ModuleState::*slot;
    PyObject* (*make)(PyObject*) noexcept;
};

const ClassEntry CLASSES[] = {
    {"Game", &ModuleState::game_type, make_game_type},
    {"Stone", &ModuleState::stone_type, make_stone_type},
    {"GameDelta", &ModuleState::delta_type, make_delta_type},
    {"Group", &ModuleState::group_type, make_group_type},
    {"Color", &ModuleState::color_type, make_color_type},
    {"BoardEdge", &ModuleState::edge_type, make_edge_type},
    {"CutKind", &ModuleState::cut_kind_type, make_cut_kind_type},
    {"GameStatus", &ModuleState::status_type, make_status_type},
};

struct ConstantEntry {
    const char* name;
    double value;
};

const ConstantEntry CONSTANTS[] = {
    {"STONE_RADIUS", STONE_RADIUS},
    {"STONE_DIAMETER", STONE_DIAMETER},
    {"EPSILON", EPSILON},
    {"MAX_PAIR_CUT_DISTANCE", MAX_PAIR_CUT_DISTANCE},
    {"MAX_BOUNDARY_CUT_DISTANCE", MAX_BOUNDARY_CUT_DISTANCE},
};

// Appends a name to `__all__`.
bool append_name(PyObject* names, const char* name) noexcept {
    Ref text = Ref::steal(PyUnicode_FromString(name));
    return text && PyList_Append(names, text.get()) == 0;
}

PyObject* create_module() noexcept {
    Ref module = Ref::steal(PyModule_Create(&module_def));  // registers `version`
    if (!module) return nullptr;
    ModuleState& state = module_state();
    Ref names = Ref::steal(PyList_New(0));
    if (!names) return nullptr;

    // The classes are created once per process; a second module object
    // (a re-import) publishes the same ones.
    for (const ClassEntry& entry : CLASSES) {
        Ref& slot = state.*entry.slot;
        if (!slot) {
            slot = Ref::steal(entry.make(module.get()));
            if (!slot) return nullptr;
        }
        if (PyModule_AddObjectRef(module.get(), entry.name, slot.get()) < 0) return nullptr;
        if (!append_name(names.get(), entry.name)) return nullptr;
    }
    if (!append_name(names.get(), "version")) return nullptr;

    for (const ConstantEntry& entry : CONSTANTS) {
        Ref value = Ref::steal(PyFloat_FromDouble(entry.value));
        if (!value) return nullptr;
        if (PyModule_AddObjectRef(module.get(), entry.name, value.get()) < 0) return nullptr;
        if (!append_name(names.get(), entry.name)) return nullptr;
    }

    if (!make_error_classes()) return nullptr;
    for (int i = 0; i < ERROR_CLASS_COUNT; ++i) {
        const auto c = static_cast<ErrorClass>(i);
        if (PyModule_AddObjectRef(module.get(), error_class_name(c), error_class(c)) < 0) return nullptr;
        if (!append_name(names.get(), error_class_name(c))) return nullptr;
    }

    if (PyModule_AddObjectRef(module.get(), "__all__", names.get()) < 0) return nullptr;
    return module.release();
}

}  // namespace

}  // namespace cellvane::py

PyMODINIT_FUNC PyInit_cellvane() { return cellvane::py::create_module(); }
