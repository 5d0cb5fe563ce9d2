// A flick or curve mark, optionally placed on a tap.
#pragma once

#include "notes/note_common.h"

namespace qs {

// note_type 1, 3, 4: flicks (3 and 4 slanted); 2, 5, 6: curve marks on slides.
struct DirectionalNote : NoteCommon {
    NoteIndex tap = NO_INDEX;
};

}  // namespace qs
