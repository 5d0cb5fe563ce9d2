// The note union and accessors to the fields every kind shares.
#pragma once

#include <variant>

#include "notes/directional/directional.h"
#include "notes/note_common.h"
#include "notes/slide/slide.h"

namespace qs {

// note_type 1, 2: tap and critical tap; 5, 6: trace; 7, 8: hidden.
struct TapNote : NoteCommon {};

using Note = std::variant<TapNote, DirectionalNote, SlideStep>;

inline const NoteCommon& common(const Note& n) {
    return std::visit([](const auto& v) -> const NoteCommon& { return v; }, n);
}
inline NoteCommon& common(Note& n) {
    return std::visit([](auto& v) -> NoteCommon& { return v; }, n);
}
inline const Fraction& bar(const Note& n) { return common(n).bar; }
inline std::int32_t lane(const Note& n) { return common(n).lane; }
inline std::int32_t width(const Note& n) { return common(n).width; }
inline std::int32_t note_type(const Note& n) { return common(n).note_type; }

}  // namespace qs
