// Fields every note kind shares, and the link index type.
#pragma once

#include <cstdint>
#include <optional>

#include "fraction/fraction.h"

namespace qs {

// Links between notes are indices into Score::notes.
using NoteIndex = std::uint32_t;
inline constexpr NoteIndex NO_INDEX = static_cast<NoteIndex>(-1);

struct NoteCommon {
    std::optional<double> speed;  // per-note speed ratio (chart JSON only)
    Fraction bar;
    std::int32_t lane = 0;   // leftmost lane; the playing field is lanes 2..13
    std::int32_t width = 0;  // lanes covered
    std::int32_t note_type = 0;
};

}  // namespace qs
