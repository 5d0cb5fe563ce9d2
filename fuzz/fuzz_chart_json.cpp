// Chart JSON: a consistent chart or a non-empty failure message, never a crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/check.h"
#include "invariants.h"
#include "score_json/score_json.h"
#include "text/unicode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!qs::text::is_valid_utf8(text)) return -1;
    try {
        auto result = qs::read_chart_json(text);
        if (result.ok()) {
            qs::Score& score = result.value();
            qs_fuzz::check_score(score);
            qs_fuzz::exercise_timing(score);
        } else {
            qs_fuzz::require(!result.error().empty());
        }
    } catch (const qs::CheckFailure&) {
    }
    return 0;
}
