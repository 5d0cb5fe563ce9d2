// Fraction text and arithmetic on whatever parses: normalised results, no UB.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/check.h"
#include "fraction/fraction.h"
#include "text/unicode.h"

namespace {
void check_normal(const qs::Fraction& f) {
    if (f.denominator <= 0) __builtin_trap();
    if (f.numerator == 0 && f.denominator != 1) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!qs::text::is_valid_utf8(text)) return -1;
    std::size_t cut = text.find('|');
    std::string_view left = text.substr(0, cut);
    std::string_view right = cut == std::string_view::npos ? std::string_view("7/3") : text.substr(cut + 1);
    try {
        auto a = qs::parse(left);
        auto b = qs::parse(right);
        if (!a || !b) return 0;
        check_normal(*a);
        (void)qs::to_text(*a);
        (void)qs::floor(*a);
        (void)qs::compare(*a, *b);
        check_normal(qs::limit_denominator(*a, b->numerator));
        check_normal(*a + *b);
        check_normal(*a - *b);
        check_normal(*a * *b);
        check_normal(-*a);
        check_normal(qs::from_float(qs::to_float(*a)));
        if (b->numerator != 0) check_normal(*a / *b);
    } catch (const qs::CheckFailure&) {
    }
    return 0;
}
