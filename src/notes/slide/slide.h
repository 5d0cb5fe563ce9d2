// One step of a slide or guide.
#pragma once

#include "notes/note_common.h"

namespace qs {

// note_type 1 start, 2 end, 3 visible relay, 5 invisible relay.
struct SlideStep : NoteCommon {
    NoteIndex tap = NO_INDEX;
    NoteIndex directional = NO_INDEX;
    NoteIndex next = NO_INDEX;
    NoteIndex head = NO_INDEX;
    std::int32_t channel = 0;
    bool is_guide = false;
};

}  // namespace qs
