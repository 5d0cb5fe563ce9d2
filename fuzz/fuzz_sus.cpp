// SUS text: any UTF-8 text is a consistent chart; only the internal checks may throw.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/check.h"
#include "invariants.h"
#include "score/sus.h"
#include "text/unicode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!qs::text::is_valid_utf8(text)) return -1;
    try {
        qs::Score score = qs::read_sus(text);
        qs_fuzz::check_score(score);
        qs_fuzz::exercise_timing(score);
    } catch (const qs::CheckFailure&) {
    }
    return 0;
}
