// Score: loading charts, metadata, counts, events and timing questions.
#include "python/classes.h"

#include "score/load.h"
#include "score/sus.h"
#include "score_json/score_json.h"

namespace qs::py {

namespace {

using FastFn = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

Score& chart(PyObject* self) { return value_of<Score>(self); }

PyObject* score_or_os_error(Result<Score, LoadError>&& loaded, std::string_view prefix) {
    if (!loaded) {
        set_error2(PyExc_OSError, prefix, loaded.error().text());
        return nullptr;
    }
    return new_score(std::move(loaded).value());
}

PyObject* score_or_value_error(Result<Score>&& read) {
    if (!read) {
        set_error2(PyExc_ValueError, "Invalid score JSON: ", read.error());
        return nullptr;
    }
    return new_score(std::move(read).value());
}

// One path parameter, one loader, one message prefix.
template <Result<Score, LoadError> (*Open)(std::string_view)>
PyObject* open_with(const char* func, std::string_view prefix, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"path"};
        PyObject* a[1];
        if (!bind_args(func, names, 1, 1, args, nargs, kwnames, a)) return nullptr;
        std::optional<Text> path = arg_text(a[0]);
        if (!path) return noted("path");
        return score_or_os_error(Open(path->sv()), prefix);
    });
}

PyObject* score_open(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return open_with<open_score>("Score.open()", "Failed to open score: ", args, nargs, kwnames);
}

PyObject* score_open_sus(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return open_with<open_sus_file>("Score.open_sus()", "Failed to open SUS score: ", args, nargs, kwnames);
}

PyObject* score_open_json(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return open_with<open_json_file>("Score.open_json()", "Failed to open JSON score: ", args, nargs, kwnames);
}

PyObject* score_from_str(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"content"};
        PyObject* a[1];
        if (!bind_args("Score.from_str()", names, 1, 1, args, nargs, kwnames, a)) return nullptr;
        std::optional<Text> content = arg_text(a[0]);
        if (!content) return noted("content");
        return new_score(read_sus(content->sv()));
    });
}

PyObject* from_json_text(const char* func, const char* param, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        const char* const names[] = {param};
        PyObject* a[1];
        if (!bind_args(func, names, 1, 1, args, nargs, kwnames, a)) return nullptr;
        std::optional<Text> text = arg_json_text(a[0]);
        if (!text) return nullptr;
        return score_or_value_error(read_chart_json(text->sv()));
    });
}

PyObject* score_from_json(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return from_json_text("Score.from_json()", "value", args, nargs, kwnames);
}

PyObject* score_from_dict(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return from_json_text("Score.from_dict()", "dict", args, nargs, kwnames);
}

PyObject* score_load(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"value"};
        PyObject* a[1];
        if (!bind_args("Score.load()", names, 1, 1, args, nargs, kwnames, a)) return nullptr;
        if (PyDict_Check(a[0])) {
            std::optional<Text> text = json_dumps(a[0]);
            if (!text) return nullptr;
            return score_or_value_error(read_chart_json(text->sv()));
        }
        std::optional<Text> text = arg_text_or_file(a[0]);
        if (!text) return nullptr;
        return score_or_value_error(load_score_text(text->sv()));
    });
}

// ---------------------------------------------------------------------------
// Shared readers.

template <class F>
PyObject* reading(PyObject* self, F&& body) {
    return guarded([&]() -> PyObject* {
        SharedAccess access;
        if (!access.take(self)) return nullptr;
        return body(static_cast<const Score&>(chart(self)));
    });
}

PyObject* score_meta(PyObject* self, void*) {
    return reading(self, [](const Score& s) { return new_meta(s.meta); });
}

template <std::optional<std::string> Meta::*Field>
PyObject* score_meta_text(PyObject* self, PyObject*) {
    return reading(self, [](const Score& s) { return to_str_or_none(s.meta.*Field); });
}

PyObject* score_note_count(PyObject* self, PyObject*) {
    return reading(self, [](const Score& s) { return PyLong_FromSize_t(s.active_notes.size()); });
}

PyObject* score_event_count(PyObject* self, PyObject*) {
    return reading(self, [](const Score& s) { return PyLong_FromSize_t(s.events.size()); });
}

PyObject* score_events(PyObject* self, PyObject*) {
    return reading(self, [](const Score& s) -> PyObject* {
        Ref list(PyList_New(static_cast<Py_ssize_t>(s.events.size())));
        if (!list) return nullptr;
        for (std::size_t i = 0; i < s.events.size(); ++i) {
            PyObject* e = new_event(s.events[i]);
            if (!e) return nullptr;
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), e);
        }
        return list.release();
    });
}

// ---------------------------------------------------------------------------
// Writers.

PyObject* score_set_meta(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"title", "artist", "difficulty", "playlevel",
                                            "jacket", "songid", "subtitle"};
        constexpr std::size_t N = 7;
        PyObject* a[N];
        if (!bind_args("Score.set_meta()", names, N, 0, args, nargs, kwnames, a)) return nullptr;
        ExclusiveAccess access;
        if (!access.take(self)) return nullptr;
        std::optional<Text> given[N];
        for (std::size_t i = 0; i < N; ++i) {
            if (!a[i] || a[i] == Py_None) continue;
            given[i] = arg_text(a[i]);
            if (!given[i]) return noted(names[i]);
        }
        // Only once every argument converted: a failure above leaves the chart as it was.
        Meta& m = chart(self).meta;
        std::optional<std::string>* fields[N] = {&m.title, &m.artist, &m.difficulty, &m.playlevel,
                                                 &m.jacket, &m.songid, &m.subtitle};
        for (std::size_t i = 0; i < N; ++i) {
            if (given[i]) *fields[i] = given[i]->str();
        }
        return none();
    });
}

// Timing questions fill the chart's caches, so they hold the chart alone.
template <class F>
PyObject* timing(PyObject* self, const char* func, const char* const* names, std::size_t count,
                 PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, F&& body) {
    return guarded([&]() -> PyObject* {
        PyObject* a[2];
        if (!bind_args(func, names, count, count, args, nargs, kwnames, a)) return nullptr;
        ExclusiveAccess access;
        if (!access.take(self)) return nullptr;
        return body(chart(self), a);
    });
}

PyObject* score_get_time(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const char* const names[] = {"bar"};
    return timing(self, "Score.get_time()", names, 1, args, nargs, kwnames, [](Score& s, PyObject** a) -> PyObject* {
        std::optional<Fraction> bar = arg_fraction(a[0]);
        if (!bar) return nullptr;
        return new_fraction(exact_time(s, *bar));
    });
}

PyObject* score_get_event(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const char* const names[] = {"bar"};
    return timing(self, "Score.get_event()", names, 1, args, nargs, kwnames, [](Score& s, PyObject** a) -> PyObject* {
        std::optional<Fraction> bar = arg_fraction(a[0]);
        if (!bar) return nullptr;
        return new_event(event_at(s, *bar));
    });
}

PyObject* score_get_time_delta(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const char* const names[] = {"bar_from", "bar_to"};
    return timing(self, "Score.get_time_delta()", names, 2, args, nargs, kwnames,
                  [](Score& s, PyObject** a) -> PyObject* {
                      std::optional<Fraction> from = arg_fraction(a[0]);
                      if (!from) return nullptr;
                      std::optional<Fraction> to = arg_fraction(a[1]);
                      if (!to) return nullptr;
                      return new_fraction(time_delta(s, *from, *to));
                  });
}

PyObject* score_get_bar_by_time(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const char* const names[] = {"time"};
    return timing(self, "Score.get_bar_by_time()", names, 1, args, nargs, kwnames,
                  [](Score& s, PyObject** a) -> PyObject* {
                      std::optional<double> t = arg_float(a[0]);
                      if (!t) return noted("time");
                      return new_fraction(bar_at_time(s.events, *t));
                  });
}

constexpr int STATIC_FAST = METH_STATIC | METH_FASTCALL | METH_KEYWORDS;
constexpr int FAST = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef score_methods[] = {
    {"open", cfunc(score_open), STATIC_FAST,
     "open(path)\n--\n\nOpen and parse a score file (.sus or Quorvel custom chart JSON)"},
    {"open_sus", cfunc(score_open_sus), STATIC_FAST, "open_sus(path)\n--\n\nOpen and parse a .sus file"},
    {"open_json", cfunc(score_open_json), STATIC_FAST,
     "open_json(path)\n--\n\nOpen and parse Quorvel custom chart JSON"},
    {"from_str", cfunc(score_from_str), STATIC_FAST, "from_str(content)\n--\n\nParse from .sus string content"},
    {"from_json", cfunc(score_from_json), STATIC_FAST,
     "from_json(value)\n--\n\nParse from Quorvel custom chart JSON string, dict, or file-like object"},
    {"from_dict", cfunc(score_from_dict), STATIC_FAST, "from_dict(dict)\n--\n\nLoad from a Python dict"},
    {"load", cfunc(score_load), STATIC_FAST,
     "load(value)\n--\n\nLoad from .sus string content, JSON string content, dict, or file-like object"},
    {"set_meta", cfunc(score_set_meta), FAST,
     "set_meta($self, title=None, artist=None, difficulty=None, playlevel=None, jacket=None, songid=None, "
     "subtitle=None)\n--\n\nSet metadata fields (keyword args, all optional)"},
    {"title", score_meta_text<&Meta::title>, METH_NOARGS, "title($self)\n--\n\nGet the title"},
    {"artist", score_meta_text<&Meta::artist>, METH_NOARGS, "artist($self)\n--\n\nGet the artist"},
    {"difficulty", score_meta_text<&Meta::difficulty>, METH_NOARGS, "difficulty($self)\n--\n\nGet the difficulty"},
    {"playlevel", score_meta_text<&Meta::playlevel>, METH_NOARGS, "playlevel($self)\n--\n\nGet the play level"},
    {"note_count", score_note_count, METH_NOARGS, "note_count($self)\n--\n\nGet the number of active notes"},
    {"event_count", score_event_count, METH_NOARGS, "event_count($self)\n--\n\nGet the number of events"},
    {"events", score_events, METH_NOARGS, "events($self)\n--\n\nGet all events as a list of Event objects"},
    {"get_time", cfunc(score_get_time), FAST, "get_time($self, bar)\n--\n\n"},
    {"get_event", cfunc(score_get_event), FAST, "get_event($self, bar)\n--\n\n"},
    {"get_time_delta", cfunc(score_get_time_delta), FAST, "get_time_delta($self, bar_from, bar_to)\n--\n\n"},
    {"get_bar_by_time", cfunc(score_get_bar_by_time), FAST, "get_bar_by_time($self, time)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef score_getset[] = {
    {"meta", score_meta, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot score_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_object<Score>)},
    {Py_tp_doc, const_cast<char*>("Python wrapper for Score")},
    {Py_tp_methods, score_methods},
    {Py_tp_getset, score_getset},
    {0, nullptr},
};

PyType_Spec score_type_spec = {
    "builtins.Score", static_cast<int>(sizeof(Object<Score>)), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION, score_slots,
};

}  // namespace

PyType_Spec* score_spec() { return &score_type_spec; }

PyObject* new_score(Score&& value) { return new_object(Cls::Score, std::move(value)); }

}  // namespace qs::py
