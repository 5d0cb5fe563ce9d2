// The eight one-call functions: load, re-time, attach lyrics, configure, render.
#include "python/classes.h"
#include "python/options_args.h"

#include "drawing/render.h"
#include "score/load.h"

namespace qs::py {

namespace {

enum class Output { Svg, Png, Jpeg };

PyObject* one_call(const char* func, const char* first, Output output, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        const char* const names[] = {first,         "note_host",  "style_sheet",
                                     "rebase_json", "lyric_content", "skill",
                                     "music_meta",  "target_segment_seconds", "generator",
                                     "note_asset_extension", "font_paths", "font_dirs",
                                     "jpeg_quality"};
        const std::size_t count = output == Output::Jpeg ? 13 : 12;
        PyObject* a[13];
        if (!bind_args(func, names, count, 1, args, nargs, kwnames, a)) return nullptr;

        // Every argument is converted before any work starts.
        std::optional<Text> path = arg_text(a[0]);
        if (!path) return noted(first);
        OptionInputs inputs;
        std::optional<std::string> rebase_json;
        std::optional<std::string> lyric_content;
        PyObject* music_meta = nullptr;
        if (!opt_text(a[1], "note_host", inputs.note_host)) return nullptr;
        if (!opt_text(a[2], "style_sheet", inputs.style_sheet)) return nullptr;
        if (!opt_text(a[3], "rebase_json", rebase_json)) return nullptr;
        if (!opt_text(a[4], "lyric_content", lyric_content)) return nullptr;
        if (!opt_common_tail(a + 5, inputs, music_meta)) return nullptr;
        if (output == Output::Jpeg && !opt_quality(a[12], "jpeg_quality")) return nullptr;

        Result<Score, LoadError> loaded = open_score(path->sv());
        if (!loaded) {
            set_error2(PyExc_OSError, "Failed to open score: ", loaded.error().text());
            return nullptr;
        }
        Score score = std::move(loaded).value();
        if (rebase_json) {
            Result<Rebase> rebase = read_rebase_json(*rebase_json);
            if (!rebase) {
                set_error2(PyExc_ValueError, "Invalid rebase JSON: ", rebase.error());
                return nullptr;
            }
            score = apply_rebase(rebase.value(), score);
        }
        std::optional<Lyric> lyric;
        if (lyric_content) lyric = read_lyrics(*lyric_content);
        DrawingOptions options;
        if (!finish_options(inputs, music_meta, options)) return nullptr;
        if (output != Output::Svg) {
            PyErr_SetString(PyExc_RuntimeError, NO_RASTER_MESSAGE);
            return nullptr;
        }
        StrBuilder svg;
        if (!render_svg_to(options, score, lyric ? &*lyric : nullptr,
                           [&](TextBuffer& part, std::size_t expected) { return svg.add(part, expected); })) {
            return nullptr;
        }
        return svg.finish();
    });
}

#define QS_ONE_CALL(fn, first, output)                                                            \
    PyObject* fn(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {         \
        return one_call(#fn "()", first, output, args, nargs, kwnames);                          \
    }

QS_ONE_CALL(sus_to_svg, "sus_path", Output::Svg)
QS_ONE_CALL(sus_to_png, "sus_path", Output::Png)
QS_ONE_CALL(sus_to_jpg, "sus_path", Output::Jpeg)
QS_ONE_CALL(sus_to_jpeg, "sus_path", Output::Jpeg)
QS_ONE_CALL(score_to_svg, "score_path", Output::Svg)
QS_ONE_CALL(score_to_png, "score_path", Output::Png)
QS_ONE_CALL(score_to_jpg, "score_path", Output::Jpeg)
QS_ONE_CALL(score_to_jpeg, "score_path", Output::Jpeg)

#undef QS_ONE_CALL

#define QS_OPTION_PARAMS                                                                          \
    "note_host=None, style_sheet=None, rebase_json=None, lyric_content=None, skill=False, "       \
    "music_meta=None, target_segment_seconds=None, generator=None, note_asset_extension=None, "   \
    "font_paths=None, font_dirs=None"
#define QS_SVG_BODY "\n--\n\nConvenience function: parse a score file and generate SVG in one call"
#define QS_PNG_BODY "\n--\n\nConvenience function: parse a score file and generate PNG bytes in one call"
#define QS_JPEG_BODY "\n--\n\nConvenience function: parse a score file and generate JPEG bytes in one call"

constexpr int FAST = METH_FASTCALL | METH_KEYWORDS;

}  // namespace

PyMethodDef FUNCTION_DEFS[] = {
    {"sus_to_svg", cfunc(sus_to_svg), FAST, "sus_to_svg(sus_path, " QS_OPTION_PARAMS ")" QS_SVG_BODY},
    {"sus_to_png", cfunc(sus_to_png), FAST, "sus_to_png(sus_path, " QS_OPTION_PARAMS ")" QS_PNG_BODY},
    {"sus_to_jpg", cfunc(sus_to_jpg), FAST, "sus_to_jpg(sus_path, " QS_OPTION_PARAMS ", jpeg_quality=90)" QS_JPEG_BODY},
    {"sus_to_jpeg", cfunc(sus_to_jpeg), FAST,
     "sus_to_jpeg(sus_path, " QS_OPTION_PARAMS ", jpeg_quality=90)" QS_JPEG_BODY},
    {"score_to_svg", cfunc(score_to_svg), FAST, "score_to_svg(score_path, " QS_OPTION_PARAMS ")" QS_SVG_BODY},
    {"score_to_png", cfunc(score_to_png), FAST, "score_to_png(score_path, " QS_OPTION_PARAMS ")" QS_PNG_BODY},
    {"score_to_jpg", cfunc(score_to_jpg), FAST,
     "score_to_jpg(score_path, " QS_OPTION_PARAMS ", jpeg_quality=90)" QS_JPEG_BODY},
    {"score_to_jpeg", cfunc(score_to_jpeg), FAST,
     "score_to_jpeg(score_path, " QS_OPTION_PARAMS ", jpeg_quality=90)" QS_JPEG_BODY},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace qs::py
