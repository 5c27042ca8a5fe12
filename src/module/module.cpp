// Entry point of the extension module.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "engine/engine.hpp"

namespace {

PyObject* version(PyObject*, PyObject*) { return PyUnicode_FromString(cellvane::ENGINE_VERSION); }

PyMethodDef module_methods[] = {
    {"version", version, METH_NOARGS, "version()\n--\n\nVersion of the underlying rules engine."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "cellvane", "", -1, module_methods, nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_cellvane() { return PyModule_Create(&module_def); }
