// Fraction, Meta and Event: small immutable values carried out of the core.
#include "python/classes.h"

namespace qs::py {

namespace {

// ---------------------------------------------------------------------------
// Fraction

PyObject* fraction_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"numerator", "denominator"};
        PyObject* a[2];
        std::vector<Ref> keep;
        if (!bind_tuple("Fraction.__new__()", names, 2, 1, args, kwargs, a, keep)) return nullptr;
        std::optional<std::int64_t> n = arg_int64(a[0]);
        if (!n) return noted("numerator");
        std::int64_t d = 1;
        if (a[1]) {
            std::optional<std::int64_t> given = arg_int64(a[1]);
            if (!given) return noted("denominator");
            d = *given;
        }
        return new_object_of(type, Fraction(*n, d));
    });
}

template <class F>
PyObject* with_fraction(PyObject* self, F&& body) {
    return guarded([&]() -> PyObject* {
        SharedAccess access;
        if (!access.take(self)) return nullptr;
        return body(value_of<Fraction>(self));
    });
}

PyObject* fraction_numerator(PyObject* self, void*) {
    return with_fraction(self, [](const Fraction& f) { return PyLong_FromLongLong(f.numerator); });
}

PyObject* fraction_denominator(PyObject* self, void*) {
    return with_fraction(self, [](const Fraction& f) { return PyLong_FromLongLong(f.denominator); });
}

PyObject* fraction_float(PyObject* self) {
    return with_fraction(self, [](const Fraction& f) { return PyFloat_FromDouble(to_float(f)); });
}

PyObject* fraction_str(PyObject* self) {
    return with_fraction(self, [](const Fraction& f) { return to_str(to_text(f)); });
}

PyObject* fraction_limit_denominator(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                     PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"max_denominator"};
        PyObject* a[1];
        if (!bind_args("Fraction.limit_denominator()", names, 1, 1, args, nargs, kwnames, a)) return nullptr;
        SharedAccess access;
        if (!access.take(self)) return nullptr;
        std::int64_t bound = 1000000;
        if (a[0] != Py_None) {
            std::optional<std::int64_t> given = arg_int64(a[0]);
            if (!given) return noted("max_denominator");
            bound = *given;
        }
        return new_fraction(limit_denominator(value_of<Fraction>(self), bound));
    });
}

PyMethodDef fraction_methods[] = {
    {"limit_denominator", cfunc(fraction_limit_denominator),
     METH_FASTCALL | METH_KEYWORDS, "limit_denominator($self, max_denominator)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef fraction_getset[] = {
    {"numerator", fraction_numerator, nullptr, nullptr, nullptr},
    {"denominator", fraction_denominator, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot fraction_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(fraction_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_object<Fraction>)},
    {Py_tp_doc, const_cast<char*>("Fraction(numerator, denominator=1)\n--\n\n")},
    {Py_tp_methods, fraction_methods},
    {Py_tp_getset, fraction_getset},
    {Py_tp_str, reinterpret_cast<void*>(fraction_str)},
    {Py_tp_repr, reinterpret_cast<void*>(fraction_str)},
    {Py_nb_float, reinterpret_cast<void*>(fraction_float)},
    {0, nullptr},
};

PyType_Spec fraction_type_spec = {
    "builtins.Fraction", static_cast<int>(sizeof(Object<Fraction>)), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    fraction_slots,
};

// ---------------------------------------------------------------------------
// Meta

template <class F>
PyObject* with_meta(PyObject* self, F&& body) {
    return guarded([&]() -> PyObject* {
        SharedAccess access;
        if (!access.take(self)) return nullptr;
        return body(value_of<Meta>(self));
    });
}

template <std::optional<std::string> Meta::*Field>
PyObject* meta_text(PyObject* self, void*) {
    return with_meta(self, [](const Meta& m) { return to_str_or_none(m.*Field); });
}

template <std::optional<double> Meta::*Field>
PyObject* meta_number(PyObject* self, void*) {
    return with_meta(self, [](const Meta& m) { return to_float_or_none(m.*Field); });
}

PyGetSetDef meta_getset[] = {
    {"title", meta_text<&Meta::title>, nullptr, nullptr, nullptr},
    {"subtitle", meta_text<&Meta::subtitle>, nullptr, nullptr, nullptr},
    {"artist", meta_text<&Meta::artist>, nullptr, nullptr, nullptr},
    {"genre", meta_text<&Meta::genre>, nullptr, nullptr, nullptr},
    {"designer", meta_text<&Meta::designer>, nullptr, nullptr, nullptr},
    {"difficulty", meta_text<&Meta::difficulty>, nullptr, nullptr, nullptr},
    {"playlevel", meta_text<&Meta::playlevel>, nullptr, nullptr, nullptr},
    {"songid", meta_text<&Meta::songid>, nullptr, nullptr, nullptr},
    {"wave", meta_text<&Meta::wave>, nullptr, nullptr, nullptr},
    {"waveoffset", meta_text<&Meta::waveoffset>, nullptr, nullptr, nullptr},
    {"jacket", meta_text<&Meta::jacket>, nullptr, nullptr, nullptr},
    {"background", meta_text<&Meta::background>, nullptr, nullptr, nullptr},
    {"movie", meta_text<&Meta::movie>, nullptr, nullptr, nullptr},
    {"movieoffset", meta_number<&Meta::movieoffset>, nullptr, nullptr, nullptr},
    {"basebpm", meta_number<&Meta::basebpm>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot meta_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_object<Meta>)},
    {Py_tp_doc, const_cast<char*>("")},
    {Py_tp_getset, meta_getset},
    {0, nullptr},
};

PyType_Spec meta_type_spec = {
    "builtins.Meta", static_cast<int>(sizeof(Object<Meta>)), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION, meta_slots,
};

// ---------------------------------------------------------------------------
// Event

template <class F>
PyObject* with_event(PyObject* self, F&& body) {
    return guarded([&]() -> PyObject* {
        SharedAccess access;
        if (!access.take(self)) return nullptr;
        return body(value_of<Event>(self));
    });
}

PyObject* fraction_or_none(const std::optional<Fraction>& f) {
    if (!f) return none();
    return new_fraction(*f);
}

PyObject* event_bar(PyObject* self, void*) {
    return with_event(self, [](const Event& e) { return new_fraction(e.bar); });
}
PyObject* event_bpm(PyObject* self, void*) {
    return with_event(self, [](const Event& e) { return fraction_or_none(e.bpm); });
}
PyObject* event_bar_length(PyObject* self, void*) {
    return with_event(self, [](const Event& e) { return fraction_or_none(e.bar_length); });
}
PyObject* event_sentence_length(PyObject* self, void*) {
    return with_event(self, [](const Event& e) {
        return e.sentence_length ? PyLong_FromLong(*e.sentence_length) : none();
    });
}
PyObject* event_speed(PyObject* self, void*) {
    return with_event(self, [](const Event& e) { return to_float_or_none(e.speed); });
}
PyObject* event_section(PyObject* self, void*) {
    return with_event(self, [](const Event& e) { return to_str_or_none(e.section); });
}
PyObject* event_text(PyObject* self, void*) {
    return with_event(self, [](const Event& e) { return to_str_or_none(e.text); });
}

PyGetSetDef event_getset[] = {
    {"bar", event_bar, nullptr, nullptr, nullptr},
    {"bpm", event_bpm, nullptr, nullptr, nullptr},
    {"bar_length", event_bar_length, nullptr, nullptr, nullptr},
    {"sentence_length", event_sentence_length, nullptr, nullptr, nullptr},
    {"speed", event_speed, nullptr, nullptr, nullptr},
    {"section", event_section, nullptr, nullptr, nullptr},
    {"text", event_text, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot event_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_object<Event>)},
    {Py_tp_doc, const_cast<char*>("Lightweight event view exposed to Python")},
    {Py_tp_getset, event_getset},
    {0, nullptr},
};

PyType_Spec event_type_spec = {
    "builtins.Event", static_cast<int>(sizeof(Object<Event>)), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION, event_slots,
};

}  // namespace

PyType_Spec* fraction_spec() { return &fraction_type_spec; }
PyType_Spec* meta_spec() { return &meta_type_spec; }
PyType_Spec* event_spec() { return &event_type_spec; }

PyObject* new_fraction(const Fraction& value) { return new_object(Cls::Fraction, value); }
PyObject* new_meta(const Meta& value) { return new_object(Cls::Meta, value); }
PyObject* new_event(const Event& value) { return new_object(Cls::Event, value); }

}  // namespace qs::py
