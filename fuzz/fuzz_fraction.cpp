// Fraction text and arithmetic on whatever parses: normalised, consistent results, no UB.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

#include "common/check.h"
#include "fraction/fraction.h"
#include "invariants.h"
#include "text/unicode.h"

using qs_fuzz::check_fraction;
using qs_fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!qs::text::is_valid_utf8(text)) return -1;
    std::size_t cut = text.find('|');
    std::string_view left = text.substr(0, cut);
    std::string_view right = cut == std::string_view::npos ? std::string_view("7/3") : text.substr(cut + 1);
    (void)qs::parse_float_literal(left);
    (void)qs::parse_int64(left);
    (void)qs::parse_int32(left);
    try {
        auto a = qs::parse(left);
        auto b = qs::parse(right);
        if (!a || !b) return 0;
        check_fraction(*a);
        check_fraction(*b);
        (void)qs::to_text(*a);
        const std::int64_t fl = qs::floor(*a);
        require(qs::from_integer(fl) <= *a);
        if (fl != std::numeric_limits<std::int64_t>::max()) require(*a < qs::from_integer(fl + 1));
        const int ab = qs::compare(*a, *b), ba = qs::compare(*b, *a);
        require((ab > 0) == (ba < 0) && (ab < 0) == (ba > 0));
        require((qs::compare(*a, *b) == 0) == (*a == *b));
        const qs::Fraction limited = qs::limit_denominator(*a, b->numerator);
        check_fraction(limited);
        require(limited.denominator <= (b->numerator < 1 ? 1 : b->numerator));
        if (a->denominator <= b->numerator) require(limited == *a);
        check_fraction(*a + *b);
        check_fraction(*a - *b);
        check_fraction(*a * *b);
        check_fraction(-*a);
        check_fraction(qs::from_float(qs::to_float(*a)));
        if (b->numerator != 0) check_fraction(*a / *b);
    } catch (const qs::CheckFailure&) {
    }
    return 0;
}
