// Lyric and Rebase: the optional inputs of a drawing.
#include "python/classes.h"

namespace qs::py {

namespace {

constexpr int STATIC_FAST = METH_STATIC | METH_FASTCALL | METH_KEYWORDS;
constexpr int FAST = METH_FASTCALL | METH_KEYWORDS;

// ---------------------------------------------------------------------------
// Lyric

PyObject* lyric_load(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"content"};
        PyObject* a[1];
        if (!bind_args("Lyric.load()", names, 1, 1, args, nargs, kwnames, a)) return nullptr;
        std::optional<Text> text = arg_text_or_file(a[0]);
        if (!text) return nullptr;
        return new_object(Cls::Lyric, read_lyrics(text->sv()));
    });
}

PyObject* lyric_word_count(PyObject* self, PyObject*) {
    return guarded([&]() -> PyObject* {
        SharedAccess access;
        if (!access.take(self)) return nullptr;
        return PyLong_FromSize_t(value_of<Lyric>(self).words.size());
    });
}

PyMethodDef lyric_methods[] = {
    {"load", cfunc(lyric_load), STATIC_FAST, "load(content)\n--\n\nLoad lyrics from a string or a file-like object"},
    {"word_count", lyric_word_count, METH_NOARGS, "word_count($self)\n--\n\nGet the number of words"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot lyric_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_object<Lyric>)},
    {Py_tp_doc, const_cast<char*>("Python wrapper for Lyric")},
    {Py_tp_methods, lyric_methods},
    {0, nullptr},
};

PyType_Spec lyric_type_spec = {
    "builtins.Lyric", static_cast<int>(sizeof(Object<Lyric>)), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION, lyric_slots,
};

// ---------------------------------------------------------------------------
// Rebase

PyObject* rebase_or_error(std::string_view text, std::string_view prefix) {
    Result<Rebase> read = read_rebase_json(text);
    if (!read) {
        set_error2(PyExc_ValueError, prefix, read.error());
        return nullptr;
    }
    return new_object(Cls::Rebase, std::move(read).value());
}

PyObject* rebase_load(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"value"};
        PyObject* a[1];
        if (!bind_args("Rebase.load()", names, 1, 1, args, nargs, kwnames, a)) return nullptr;
        if (PyDict_Check(a[0])) {
            std::optional<Text> text = json_dumps(a[0]);
            if (!text) return nullptr;
            return rebase_or_error(text->sv(), "Invalid rebase dict: ");
        }
        std::optional<Text> text = arg_text_or_file(a[0]);
        if (!text) return nullptr;
        return rebase_or_error(text->sv(), "Invalid JSON: ");
    });
}

PyObject* rebase_from_json(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"json_str"};
        PyObject* a[1];
        if (!bind_args("Rebase.from_json()", names, 1, 1, args, nargs, kwnames, a)) return nullptr;
        std::optional<Text> text = arg_text(a[0]);
        if (!text) return noted("json_str");
        return rebase_or_error(text->sv(), "Invalid JSON: ");
    });
}

PyObject* from_any_dumped(const char* func, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"dict"};
        PyObject* a[1];
        if (!bind_args(func, names, 1, 1, args, nargs, kwnames, a)) return nullptr;
        std::optional<Text> text = json_dumps(a[0]);
        if (!text) return nullptr;
        return rebase_or_error(text->sv(), "Invalid rebase dict: ");
    });
}

PyObject* rebase_from_dict(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return from_any_dumped("Rebase.from_dict()", args, nargs, kwnames);
}

PyObject* rebase_load_from_dict(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return from_any_dumped("Rebase.load_from_dict()", args, nargs, kwnames);
}

// apply, rebase and the call slot share this body once their argument is bound.
PyObject* apply_to(PyObject* self, PyObject* score_arg) {
    SharedAccess self_access;
    if (!self_access.take(self)) return nullptr;
    ExclusiveAccess score_access;
    PyObject* score = arg_instance(score_arg, Cls::Score, score_access);
    if (!score) return noted("score");
    return new_score(apply_rebase(value_of<Rebase>(self), value_of<Score>(score)));
}

PyObject* apply_named(const char* func, PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"score"};
        PyObject* a[1];
        if (!bind_args(func, names, 1, 1, args, nargs, kwnames, a)) return nullptr;
        return apply_to(self, a[0]);
    });
}

PyObject* rebase_apply(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return apply_named("Rebase.apply()", self, args, nargs, kwnames);
}

PyObject* rebase_rebase(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return apply_named("Rebase.rebase()", self, args, nargs, kwnames);
}

PyObject* rebase_call(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"score"};
        PyObject* a[1];
        std::vector<Ref> keep;
        if (!bind_tuple("Rebase.__call__()", names, 1, 1, args, kwargs, a, keep)) return nullptr;
        return apply_to(self, a[0]);
    });
}

PyMethodDef rebase_methods[] = {
    {"load", cfunc(rebase_load), STATIC_FAST, "load(value)\n--\n\n"},
    {"from_json", cfunc(rebase_from_json), STATIC_FAST, "from_json(json_str)\n--\n\nLoad from JSON string"},
    {"from_dict", cfunc(rebase_from_dict), STATIC_FAST,
     "from_dict(dict)\n--\n\nLoad from a Python dict (serialised to JSON internally)"},
    {"load_from_dict", cfunc(rebase_load_from_dict), STATIC_FAST, "load_from_dict(dict)\n--\n\n"},
    {"apply", cfunc(rebase_apply), FAST, "apply($self, score)\n--\n\nApply rebase to a score"},
    {"rebase", cfunc(rebase_rebase), FAST, "rebase($self, score)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot rebase_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_object<Rebase>)},
    {Py_tp_doc, const_cast<char*>("Python wrapper for Rebase")},
    {Py_tp_methods, rebase_methods},
    {Py_tp_call, reinterpret_cast<void*>(rebase_call)},
    {0, nullptr},
};

PyType_Spec rebase_type_spec = {
    "builtins.Rebase", static_cast<int>(sizeof(Object<Rebase>)), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION, rebase_slots,
};

}  // namespace

PyType_Spec* lyric_spec() { return &lyric_type_spec; }
PyType_Spec* rebase_spec() { return &rebase_type_spec; }

}  // namespace qs::py
