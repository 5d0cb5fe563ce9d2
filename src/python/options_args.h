// The drawing-option arguments shared by Drawing and the module functions. Each
// returns false with the exception (and its note) set; an omitted or None value
// leaves the output untouched, except where None is refused.
#pragma once

#include "python/frame.h"

#include <optional>
#include <string>
#include <vector>

#include "drawing/options.h"

namespace qs::py {

bool opt_text(PyObject* value, const char* name, std::optional<std::string>& out);
bool opt_text_list(PyObject* value, const char* name, std::optional<std::vector<std::string>>& out);
// Omitted means false; None is refused.
bool opt_flag(PyObject* value, const char* name, bool& out);
bool opt_dict(PyObject* value, const char* name, PyObject*& out);
// Validated, then dropped: columns are cut by the chart, not by a time target.
bool opt_discarded_float(PyObject* value, const char* name);
// Validated when given (None refused), otherwise ignored.
bool opt_quality(PyObject* value, const char* name);

// The parameters both signatures end with, in this order from a[0]: skill,
// music_meta, target_segment_seconds, generator, note_asset_extension, font_paths,
// font_dirs.
bool opt_common_tail(PyObject* const* a, OptionInputs& inputs, PyObject*& music_meta);

// Reads `music_meta` (when not null) into the inputs and builds the options; the
// reading error is raised without a note.
bool finish_options(OptionInputs& inputs, PyObject* music_meta, DrawingOptions& out);

}  // namespace qs::py
