// What the class files offer each other and the module: type specifications, the
// constructors of result objects, and the held values of each class.
#pragma once

#include "python/frame.h"

#include <optional>

#include "drawing/options.h"
#include "lyric/lyric.h"
#include "rebase/rebase.h"
#include "score/score.h"

namespace qs::py {

// What a Drawing object owns besides its access state.
struct DrawingData {
    DrawingOptions options;
    std::optional<Score> chart;
    std::optional<Lyric> lyric;
};

PyType_Spec* fraction_spec();
PyType_Spec* meta_spec();
PyType_Spec* event_spec();
PyType_Spec* score_spec();
PyType_Spec* lyric_spec();
PyType_Spec* rebase_spec();
PyType_Spec* drawing_spec();

// New objects holding the given values; null with an exception set on failure.
PyObject* new_fraction(const Fraction& value);
PyObject* new_meta(const Meta& value);
PyObject* new_event(const Event& value);
PyObject* new_score(Score&& value);

// Reads a `music_meta` dict; nothing with the conversion error set on failure.
std::optional<MusicMeta> read_music_meta(PyObject* dict);

// The module functions, registered by the module in their order.
extern PyMethodDef FUNCTION_DEFS[];
inline constexpr int FUNCTION_COUNT = 8;

}  // namespace qs::py
