// Chart JSON: a chart or a failure message, never a crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/check.h"
#include "score_json/score_json.h"
#include "text/unicode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!qs::text::is_valid_utf8(text)) return -1;
    try {
        auto result = qs::read_chart_json(text);
        if (result.ok()) {
            const qs::Score& score = result.value();
            for (qs::NoteIndex i : score.active_notes) {
                if (i >= score.notes.size()) __builtin_trap();
            }
        } else if (result.error().empty()) {
            __builtin_trap();
        }
    } catch (const qs::CheckFailure&) {
    }
    return 0;
}
