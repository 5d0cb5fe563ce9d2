// Rebase JSON: read, then apply to a small fixed chart.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/check.h"
#include "rebase/rebase.h"
#include "score/sus.h"
#include "text/unicode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!qs::text::is_valid_utf8(text)) return -1;
    try {
        auto rebase = qs::read_rebase_json(text);
        if (!rebase.ok()) return 0;
        qs::Score source = qs::read_sus(
            "#BPM01: 150\n#00008: 01\n#00012: 13\n#00152: 13\n#00133a: 1300\n#00233a: 2300\n");
        qs::Score result = qs::apply_rebase(rebase.value(), source);
        for (qs::NoteIndex i : result.active_notes) {
            if (i >= result.notes.size()) __builtin_trap();
        }
    } catch (const qs::CheckFailure&) {
    }
    return 0;
}
