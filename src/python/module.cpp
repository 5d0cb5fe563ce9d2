// Module entry: multi-phase initialisation registering the fifteen attributes.
#include "python/classes.h"

namespace qs::py {

namespace {

// The type objects are process-wide, so the module lives in one interpreter only.
std::atomic<std::int64_t> g_owner_interpreter{-1};

bool claim_interpreter() {
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id < 0) return false;
    std::int64_t expected = -1;
    if (g_owner_interpreter.compare_exchange_strong(expected, id) || expected == id) return true;
    PyErr_SetString(PyExc_ImportError, "quorvel_scores_rs can be loaded in one interpreter per process only");
    return false;
}

// Appends the name to __all__ (made on the first registration), then sets the attribute.
bool register_name(PyObject* module, const char* name, PyObject* value) {
    Ref owned(value);
    if (!owned) return false;
    PyObject* all = PyObject_GetAttrString(module, "__all__");
    Ref all_ref(all);
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all_ref = Ref(PyList_New(0));
        if (!all_ref) return false;
        if (PyModule_AddObjectRef(module, "__all__", all_ref.get()) < 0) return false;
    }
    Ref text(PyUnicode_FromString(name));
    if (!text) return false;
    if (!PyList_Check(all_ref.get())) {
        PyErr_SetString(PyExc_TypeError, "__all__ must be a list");
        return false;
    }
    if (PyList_Append(all_ref.get(), text.get()) < 0) return false;
    return PyModule_AddObjectRef(module, name, owned.get()) == 0;
}

int exec_module(PyObject* module) {
    return guarded<int>(-1, [&]() -> int {
        if (!claim_interpreter()) return -1;
        for (int i = 0; i < CLASS_COUNT; ++i) {
            const Cls cls = static_cast<Cls>(i);
            PyTypeObject* tp = class_type(cls);
            if (!tp) return -1;
            Py_INCREF(tp);
            if (!register_name(module, class_name(cls), reinterpret_cast<PyObject*>(tp))) return -1;
        }
        Ref module_name(PyModule_GetNameObject(module));
        if (!module_name) return -1;
        for (int i = 0; i < FUNCTION_COUNT; ++i) {
            PyMethodDef* def = &FUNCTION_DEFS[i];
            if (!register_name(module, def->ml_name, PyCFunction_NewEx(def, module, module_name.get()))) return -1;
        }
        return 0;
    });
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
#ifdef Py_mod_multiple_interpreters
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
#endif
#ifdef Py_mod_gil
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "quorvel_scores_rs",
    "",
    0,
    nullptr,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

}  // namespace qs::py

PyMODINIT_FUNC PyInit_quorvel_scores_rs(void) { return PyModuleDef_Init(&qs::py::module_def); }
