// SUS text: any UTF-8 text is a chart; only the zero-denominator check may throw.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/check.h"
#include "score/sus.h"
#include "text/unicode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!qs::text::is_valid_utf8(text)) return -1;
    try {
        qs::Score score = qs::read_sus(text);
        for (qs::NoteIndex i : score.active_notes) {
            if (i >= score.notes.size()) __builtin_trap();
        }
    } catch (const qs::CheckFailure&) {
    }
    return 0;
}
