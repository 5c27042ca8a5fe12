// Entry point of the extension module, with multi-phase initialisation: the
// interpreter creates the module object with room for its state, and the
// exec slot registers, in order, the function `version`, the eight classes,
// the five constants, the fourteen exceptions and `__all__`.
//
// The classes live in the state of a module object, not in the process, so
// that each interpreter of a process has classes of its own. Within one
// interpreter every module object publishes the same classes (a second
// import after `del sys.modules["cellvane"]` must not make values of the
// first one foreign): the first module object of an interpreter creates
// them, and later ones take references to them.
#include <cstdint>
#include <map>
#include <mutex>

#include "module/game_lock.hpp"
#include "module/module.hpp"

namespace cellvane::py {

namespace {

ModuleState& state_in(PyObject* module) noexcept { return *static_cast<ModuleState*>(PyModule_GetState(module)); }

// The classes of the state, in registration order, with their factories.
struct ClassEntry {
    const char* name;
    PyObject* ModuleState::*slot;
    PyObject* (*make)(PyObject*);
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

// Calls f(slot) for every reference the state holds.
template <class F>
void for_each_reference(ModuleState& m, F f) {
    for (const ClassEntry& entry : CLASSES) f(m.*entry.slot);
    for (PyObject*& error : m.errors) f(error);
}

// The module object that made the classes of each interpreter, by the
// interpreter's id; its classes keep it alive as long as they live, and it
// leaves the table when it is freed.
std::mutex makers_mutex;
std::map<std::int64_t, PyObject*> makers;

std::int64_t this_interpreter() { return PyInterpreterState_GetID(PyInterpreterState_Get()); }

PyObject* maker() noexcept {
    const std::lock_guard guard(makers_mutex);
    const auto it = makers.find(this_interpreter());
    return it == makers.end() ? nullptr : it->second;
}

PyObject* after_fork_in_child(PyObject*, PyObject*) {
    GameLock::after_fork_in_child();
    Py_RETURN_NONE;
}

PyMethodDef after_fork_definition = {"after_fork_in_child", entry<after_fork_in_child>, METH_NOARGS, nullptr};

// Has the games' locks told, in a child process, that the parent's other
// threads are gone (os.register_at_fork, where the platform forks).
bool watch_forks() {
    Ref os = Ref::steal(PyImport_ImportModule("os"));
    if (!os) return false;
    Ref register_at_fork = Ref::steal(PyObject_GetAttrString(os.get(), "register_at_fork"));
    if (!register_at_fork) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        return true;
    }
    Ref hook = Ref::steal(PyCFunction_NewEx(&after_fork_definition, nullptr, nullptr));
    if (!hook) return false;
    Ref no_args = Ref::steal(PyTuple_New(0));
    Ref keywords = Ref::steal(Py_BuildValue("{s:O}", "after_in_child", hook.get()));
    if (!no_args || !keywords) return false;
    return static_cast<bool>(Ref::steal(PyObject_Call(register_at_fork.get(), no_args.get(), keywords.get())));
}

// The state's classes: those of the interpreter's first module object, or
// new ones when this is that first object, which also watches for forks.
bool fill_classes(PyObject* module, ModuleState& m) {
    if (PyObject* first = maker()) {
        ModuleState& made = state_in(first);
        for (const ClassEntry& entry : CLASSES) m.*entry.slot = Py_NewRef(made.*entry.slot);
        for (int i = 0; i < ERROR_CLASS_COUNT; ++i) m.errors[i] = Py_NewRef(made.errors[i]);
        return true;
    }
    for (const ClassEntry& entry : CLASSES) {
        m.*entry.slot = entry.make(module);
        if (!(m.*entry.slot)) return false;
    }
    if (!make_error_classes(module, m) || !watch_forks()) return false;
    const std::lock_guard guard(makers_mutex);
    makers[this_interpreter()] = module;
    return true;
}

// The thread whose calls look for signals: the interpreter's main thread.
bool find_main_thread(ModuleState& m) {
    Ref threading = Ref::steal(PyImport_ImportModule("threading"));
    if (!threading) return false;
    Ref main = Ref::steal(PyObject_CallMethod(threading.get(), "main_thread", nullptr));
    if (!main) return false;
    Ref ident = Ref::steal(PyObject_GetAttrString(main.get(), "ident"));
    if (!ident) return false;
    m.main_thread = PyLong_AsUnsignedLong(ident.get());
    return !PyErr_Occurred();
}

PyObject* version(PyObject*, PyObject*) { return PyUnicode_FromString(ENGINE_VERSION); }

PyMethodDef module_methods[] = {
    {"version", entry<version>, METH_NOARGS, "version()\n--\n\nVersion of the underlying rules engine."},
    {nullptr, nullptr, 0, nullptr},
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
bool append_name(PyObject* names, const char* name) {
    Ref text = Ref::steal(PyUnicode_FromString(name));
    return text && PyList_Append(names, text.get()) == 0;
}

// The exec slot: `version` is registered by the definition, before it.
int exec_module(PyObject* module) {
    ModuleState& m = state_in(module);
    if (!find_main_thread(m) || !fill_classes(module, m)) return -1;
    Ref names = Ref::steal(PyList_New(0));
    if (!names) return -1;
    for (const ClassEntry& entry : CLASSES) {
        if (PyModule_AddObjectRef(module, entry.name, m.*entry.slot) < 0) return -1;
        if (!append_name(names.get(), entry.name)) return -1;
    }
    if (!append_name(names.get(), "version")) return -1;

    for (const ConstantEntry& entry : CONSTANTS) {
        Ref value = Ref::steal(PyFloat_FromDouble(entry.value));
        if (!value) return -1;
        if (PyModule_AddObjectRef(module, entry.name, value.get()) < 0) return -1;
        if (!append_name(names.get(), entry.name)) return -1;
    }

    for (int i = 0; i < ERROR_CLASS_COUNT; ++i) {
        const auto c = static_cast<ErrorClass>(i);
        if (PyModule_AddObjectRef(module, error_class_name(c), m.errors[i]) < 0) return -1;
        if (!append_name(names.get(), error_class_name(c))) return -1;
    }

    if (PyModule_AddObjectRef(module, "__all__", names.get()) < 0) return -1;
    return 0;
}

int traverse_module(PyObject* module, visitproc visit, void* arg) {
    ModuleState* m = static_cast<ModuleState*>(PyModule_GetState(module));
    if (m == nullptr) return 0;
    int failed = 0;
    for_each_reference(*m, [&](PyObject*& ref) {
        if (failed == 0 && ref != nullptr) failed = visit(ref, arg);
    });
    return failed;
}

int clear_module(PyObject* module) {
    ModuleState* m = static_cast<ModuleState*>(PyModule_GetState(module));
    if (m != nullptr) for_each_reference(*m, [](PyObject*& ref) { Py_CLEAR(ref); });
    return 0;
}

void free_module(void* module) {
    {
        const std::lock_guard guard(makers_mutex);
        for (auto it = makers.begin(); it != makers.end(); ++it) {
            if (it->second == module) {
                makers.erase(it);
                break;
            }
        }
    }
    clear_module(static_cast<PyObject*>(module));
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(entry<exec_module>)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "cellvane", "", static_cast<Py_ssize_t>(sizeof(ModuleState)), module_methods,
    module_slots,          traverse_module, clear_module, free_module,
};

}  // namespace

const ModuleState& interpreter_state() noexcept { return state_in(maker()); }

const ModuleState& state_of(PyTypeObject* type) noexcept {
    return *static_cast<const ModuleState*>(PyType_GetModuleState(type));
}

const ModuleState& state_of(PyTypeObject* type, destructor own) noexcept {
    PyTypeObject* made = type;
    while (reinterpret_cast<destructor>(PyType_GetSlot(made, Py_tp_dealloc)) != own) {
        made = static_cast<PyTypeObject*>(PyType_GetSlot(made, Py_tp_base));
    }
    return state_of(made);
}

}  // namespace cellvane::py

PyMODINIT_FUNC PyInit_cellvane() { return PyModuleDef_Init(&cellvane::py::module_def); }
