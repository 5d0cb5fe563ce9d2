// Lyric text never fails; every word has text and a normalised bar.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "invariants.h"
#include "lyric/lyric.h"
#include "text/unicode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!qs::text::is_valid_utf8(text)) return -1;
    qs::Lyric lyric = qs::read_lyrics(text);
    for (const auto& word : lyric.words) {
        qs_fuzz::require(!word.text.empty());
        qs_fuzz::check_fraction(word.bar);
    }
    return 0;
}
