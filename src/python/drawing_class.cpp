// Drawing: configured once, renders a chart to SVG text.
#include "python/classes.h"
#include "python/options_args.h"

#include "drawing/render.h"

namespace qs::py {

// ---------------------------------------------------------------------------
// Option arguments shared with the module functions.

bool opt_text(PyObject* value, const char* name, std::optional<std::string>& out) {
    if (!value || value == Py_None) return true;
    std::optional<Text> t = arg_text(value);
    if (!t) {
        noted(name);
        return false;
    }
    out = t->str();
    return true;
}

bool opt_text_list(PyObject* value, const char* name, std::optional<std::vector<std::string>>& out) {
    if (!value || value == Py_None) return true;
    out = arg_text_list(value);
    if (!out) {
        noted(name);
        return false;
    }
    return true;
}

bool opt_flag(PyObject* value, const char* name, bool& out) {
    if (!value) return true;  // omitted: false; an explicit None is refused below
    std::optional<bool> b = arg_flag(value);
    if (!b) {
        noted(name);
        return false;
    }
    out = *b;
    return true;
}

bool opt_dict(PyObject* value, const char* name, PyObject*& out) {
    if (!value || value == Py_None) return true;
    out = arg_dict(value);
    if (!out) {
        noted(name);
        return false;
    }
    return true;
}

bool opt_discarded_float(PyObject* value, const char* name) {
    if (!value || value == Py_None) return true;
    if (!arg_float(value)) {
        noted(name);
        return false;
    }
    return true;
}

bool opt_quality(PyObject* value, const char* name) {
    if (!value) return true;  // None is refused by the integer conversion
    if (!arg_uint8(value)) {
        noted(name);
        return false;
    }
    return true;
}

namespace {

// Looks a key up without calling back into Python; false with an exception set.
bool dict_lookup(PyObject* dict, const char* key, Ref& out) {
    Ref k(PyUnicode_FromString(key));
    if (!k) return false;
#if PY_VERSION_HEX >= 0x030D0000
    PyObject* found = nullptr;
    if (PyDict_GetItemRef(dict, k.get(), &found) < 0) return false;
    out = Ref(found);
    return true;
#else
    PyObject* found = PyDict_GetItemWithError(dict, k.get());
    if (!found && PyErr_Occurred()) return false;
    out = Ref::borrow(found);
    return true;
#endif
}

}  // namespace

std::optional<MusicMeta> read_music_meta(PyObject* dict) {
    MusicMeta meta;
    Ref v;
    if (!dict_lookup(dict, "fever_end_time", v)) return std::nullopt;
    if (v) {
        std::optional<double> x = arg_float(v.get());
        if (!x) return std::nullopt;
        meta.fever_end_time = *x;
    }
    if (!dict_lookup(dict, "fever_score", v)) return std::nullopt;
    if (v) {
        std::optional<double> x = arg_float(v.get());
        if (!x) return std::nullopt;
        meta.fever_score = *x;
    }
    if (!dict_lookup(dict, "skill_score_solo", v)) return std::nullopt;
    if (v) {
        std::optional<std::vector<double>> xs = arg_float_list(v.get());
        if (!xs) return std::nullopt;
        meta.skill_score_solo = std::move(*xs);
    }
    if (!dict_lookup(dict, "skill_score_multi", v)) return std::nullopt;
    if (v) {
        std::optional<std::vector<double>> xs = arg_float_list(v.get());
        if (!xs) return std::nullopt;
        meta.skill_score_multi = std::move(*xs);
    }
    return meta;
}

bool opt_common_tail(PyObject* const* a, OptionInputs& inputs, PyObject*& music_meta) {
    return opt_flag(a[0], "skill", inputs.skill) && opt_dict(a[1], "music_meta", music_meta) &&
           opt_discarded_float(a[2], "target_segment_seconds") && opt_text(a[3], "generator", inputs.generator) &&
           opt_text(a[4], "note_asset_extension", inputs.note_asset_extension) &&
           opt_text_list(a[5], "font_paths", inputs.font_paths) && opt_text_list(a[6], "font_dirs", inputs.font_dirs);
}

bool finish_options(OptionInputs& inputs, PyObject* music_meta, DrawingOptions& out) {
    if (music_meta) {
        inputs.music_meta = read_music_meta(music_meta);
        if (!inputs.music_meta) return false;
    }
    out = build_options(std::move(inputs));
    return true;
}

namespace {

constexpr int FAST = METH_FASTCALL | METH_KEYWORDS;

DrawingData& data(PyObject* self) { return value_of<DrawingData>(self); }

// ---------------------------------------------------------------------------
// Construction

PyObject* drawing_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"score",       "lyric",        "style_sheet",
                                            "note_host",   "skill",        "music_meta",
                                            "target_segment_seconds",      "generator",
                                            "note_asset_extension",        "font_paths",
                                            "font_dirs"};
        constexpr std::size_t N = 11;
        PyObject* a[N];
        std::vector<Ref> keep;
        if (!bind_tuple("Drawing.__new__()", names, N, 0, args, kwargs, a, keep)) return nullptr;

        // Held until their contents have been copied below.
        SharedAccess score_access;
        PyObject* score = nullptr;
        if (a[0] && a[0] != Py_None) {
            score = arg_instance(a[0], Cls::Score, score_access);
            if (!score) return noted("score");
        }
        SharedAccess lyric_access;
        PyObject* lyric = nullptr;
        if (a[1] && a[1] != Py_None) {
            lyric = arg_instance(a[1], Cls::Lyric, lyric_access);
            if (!lyric) return noted("lyric");
        }
        OptionInputs inputs;
        PyObject* music_meta = nullptr;
        if (!opt_text(a[2], "style_sheet", inputs.style_sheet)) return nullptr;
        if (!opt_text(a[3], "note_host", inputs.note_host)) return nullptr;
        if (!opt_common_tail(a + 4, inputs, music_meta)) return nullptr;

        DrawingData made;
        if (!finish_options(inputs, music_meta, made.options)) return nullptr;
        if (score) made.chart = value_of<Score>(score);
        score_access.release();
        if (lyric) made.lyric = value_of<Lyric>(lyric);
        lyric_access.release();
        return new_object_of(type, std::move(made));
    });
}

// ---------------------------------------------------------------------------
// Rendering

PyObject* drawing_svg(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"score", "lyric"};
        PyObject* a[2];
        if (!bind_args("Drawing.svg()", names, 2, 0, args, nargs, kwnames, a)) return nullptr;
        ExclusiveAccess self_access;
        if (!self_access.take(self)) return nullptr;
        ExclusiveAccess score_access;
        PyObject* score = nullptr;
        if (a[0] && a[0] != Py_None) {
            score = arg_instance(a[0], Cls::Score, score_access);
            if (!score) return noted("score");
        }
        std::optional<Lyric> given_lyric;
        if (a[1] && a[1] != Py_None) {
            SharedAccess lyric_access;
            PyObject* lyric = arg_instance(a[1], Cls::Lyric, lyric_access);
            if (!lyric) return noted("lyric");
            given_lyric = value_of<Lyric>(lyric);
        }
        DrawingData& d = data(self);
        const Lyric* lyric = given_lyric ? &*given_lyric : (d.lyric ? &*d.lyric : nullptr);
        StrBuilder svg;
        auto sink = [&](TextBuffer& part, std::size_t expected) { return svg.add(part, expected); };
        if (score) {
            if (!render_svg_to(d.options, value_of<Score>(score), lyric, sink)) return nullptr;
        } else if (d.chart) {
            // Drawn in place (this object is held exclusively), not from a copy per
            // call; the caches the drawing fills go with the call.
            struct Release {
                Score& chart;
                ~Release() { release_time_caches(chart); }
            } release{*d.chart};
            if (!render_svg_to(d.options, *d.chart, lyric, sink)) return nullptr;
        } else {
            PyErr_SetString(PyExc_TypeError, SCORE_REQUIRED_MESSAGE);
            return nullptr;
        }
        return svg.finish();
    });
}

PyObject* raster(const char* func, bool has_quality, PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                 PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"score", "lyric", "jpeg_quality"};
        PyObject* a[3];
        if (!bind_args(func, names, has_quality ? 3 : 2, 0, args, nargs, kwnames, a)) return nullptr;
        ExclusiveAccess self_access;
        if (!self_access.take(self)) return nullptr;
        ExclusiveAccess score_access;
        PyObject* score = nullptr;
        if (a[0] && a[0] != Py_None) {
            score = arg_instance(a[0], Cls::Score, score_access);
            if (!score) return noted("score");
        }
        if (a[1] && a[1] != Py_None) {
            SharedAccess lyric_access;
            if (!arg_instance(a[1], Cls::Lyric, lyric_access)) return noted("lyric");
        }
        if (has_quality && !opt_quality(a[2], "jpeg_quality")) return nullptr;
        if (!score && !data(self).chart) {
            PyErr_SetString(PyExc_TypeError, SCORE_REQUIRED_MESSAGE);
            return nullptr;
        }
        PyErr_SetString(PyExc_RuntimeError, NO_RASTER_MESSAGE);
        return nullptr;
    });
}

PyObject* drawing_png(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return raster("Drawing.png()", false, self, args, nargs, kwnames);
}

PyObject* drawing_jpg(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return raster("Drawing.jpg()", true, self, args, nargs, kwnames);
}

PyObject* drawing_jpeg(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return raster("Drawing.jpeg()", true, self, args, nargs, kwnames);
}

// ---------------------------------------------------------------------------
// Font lists

template <std::vector<std::string> DrawingOptions::*List>
PyObject* set_fonts(const char* func, const char* param, PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        const char* const names[] = {param};
        PyObject* a[1];
        if (!bind_args(func, names, 1, 1, args, nargs, kwnames, a)) return nullptr;
        ExclusiveAccess access;
        if (!access.take(self)) return nullptr;
        std::optional<std::vector<std::string>> entries = arg_text_list(a[0]);
        if (!entries) return noted(param);
        replace_font_list(data(self).options.*List, *entries);
        return none();
    });
}

template <std::vector<std::string> DrawingOptions::*List>
PyObject* add_font(const char* func, const char* param, PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        const char* const names[] = {param};
        PyObject* a[1];
        if (!bind_args(func, names, 1, 1, args, nargs, kwnames, a)) return nullptr;
        ExclusiveAccess access;
        if (!access.take(self)) return nullptr;
        std::optional<Text> entry = arg_text(a[0]);
        if (!entry) return noted(param);
        add_font_entry(data(self).options.*List, entry->str());
        return none();
    });
}

PyObject* drawing_set_font_paths(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return set_fonts<&DrawingOptions::font_paths>("Drawing.set_font_paths()", "paths", self, args, nargs, kwnames);
}
PyObject* drawing_add_font_path(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return add_font<&DrawingOptions::font_paths>("Drawing.add_font_path()", "path", self, args, nargs, kwnames);
}
PyObject* drawing_set_font_dirs(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return set_fonts<&DrawingOptions::font_dirs>("Drawing.set_font_dirs()", "dirs", self, args, nargs, kwnames);
}
PyObject* drawing_add_font_dir(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return add_font<&DrawingOptions::font_dirs>("Drawing.add_font_dir()", "dir", self, args, nargs, kwnames);
}

// ---------------------------------------------------------------------------
// Geometry properties

template <std::int32_t DrawingOptions::*Field>
PyObject* get_int(PyObject* self, void*) {
    return guarded([&]() -> PyObject* {
        SharedAccess access;
        if (!access.take(self)) return nullptr;
        return PyLong_FromLong(data(self).options.*Field);
    });
}

template <std::int32_t DrawingOptions::*Field>
int set_int(PyObject* self, PyObject* value, void*) {
    return guarded<int>(-1, [&]() -> int {
        if (!value) {
            PyErr_SetString(PyExc_AttributeError, "property has no deleter");
            return -1;
        }
        std::optional<std::int32_t> v = arg_int32(value);
        if (!v) return noted_int("v");
        ExclusiveAccess access;
        if (!access.take(self)) return -1;
        data(self).options.*Field = *v;
        return 0;
    });
}

PyObject* get_time_height(PyObject* self, void*) {
    return guarded([&]() -> PyObject* {
        SharedAccess access;
        if (!access.take(self)) return nullptr;
        return PyFloat_FromDouble(data(self).options.time_height);
    });
}

int set_time_height(PyObject* self, PyObject* value, void*) {
    return guarded<int>(-1, [&]() -> int {
        if (!value) {
            PyErr_SetString(PyExc_AttributeError, "property has no deleter");
            return -1;
        }
        std::optional<double> v = arg_float(value);
        if (!v) return noted_int("v");
        ExclusiveAccess access;
        if (!access.take(self)) return -1;
        data(self).options.time_height = *v;
        return 0;
    });
}

PyMethodDef drawing_methods[] = {
    {"svg", cfunc(drawing_svg), FAST, "svg($self, score=None, lyric=None)\n--\n\nGenerate SVG string from a score"},
    {"png", cfunc(drawing_png), FAST,
     "png($self, score=None, lyric=None)\n--\n\nGenerate PNG bytes from a score via direct Skia rendering"},
    {"jpg", cfunc(drawing_jpg), FAST,
     "jpg($self, score=None, lyric=None, jpeg_quality=90)\n--\n\nGenerate JPEG bytes from a score via direct Skia "
     "rendering"},
    {"jpeg", cfunc(drawing_jpeg), FAST,
     "jpeg($self, score=None, lyric=None, jpeg_quality=90)\n--\n\nGenerate JPEG bytes from a score via direct Skia "
     "rendering"},
    {"set_font_paths", cfunc(drawing_set_font_paths), FAST, "set_font_paths($self, paths)\n--\n\n"},
    {"add_font_path", cfunc(drawing_add_font_path), FAST, "add_font_path($self, path)\n--\n\n"},
    {"set_font_dirs", cfunc(drawing_set_font_dirs), FAST, "set_font_dirs($self, dirs)\n--\n\n"},
    {"add_font_dir", cfunc(drawing_add_font_dir), FAST, "add_font_dir($self, dir)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef drawing_getset[] = {
    {"note_size", get_int<&DrawingOptions::note_size>, set_int<&DrawingOptions::note_size>, nullptr, nullptr},
    {"lane_width", get_int<&DrawingOptions::lane_width>, set_int<&DrawingOptions::lane_width>, nullptr, nullptr},
    {"time_height", get_time_height, set_time_height, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot drawing_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(drawing_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_object<DrawingData>)},
    {Py_tp_doc, const_cast<char*>(
                    "Drawing(score=None, lyric=None, style_sheet=None, note_host=None, skill=False, "
                    "music_meta=None, target_segment_seconds=None, generator=None, note_asset_extension=None, "
                    "font_paths=None, font_dirs=None)\n--\n\nPython wrapper for Drawing")},
    {Py_tp_methods, drawing_methods},
    {Py_tp_getset, drawing_getset},
    {0, nullptr},
};

PyType_Spec drawing_type_spec = {
    "builtins.Drawing", static_cast<int>(sizeof(Object<DrawingData>)), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    drawing_slots,
};

}  // namespace

PyType_Spec* drawing_spec() { return &drawing_type_spec; }

}  // namespace qs::py
