// The text forms of the SVG document: escaping, number forms, rounding, joining,
// the built-in style sheet and gradients. Everything appends into a caller's buffer
// so that a rendering never builds a temporary string per number.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace qs {

// The built-in CSS (2712 bytes of UTF-8) and the two slide-decoration gradients.
extern const std::string_view DEFAULT_STYLE_SHEET;
extern const std::string_view GRADIENT_DEFINITIONS;

// "&", "<", ">" and "\"" as entities; nothing else is touched.
void append_escaped(std::string& out, std::string_view text);
std::string escape_xml(std::string_view text);

// Six significant digits, trailing zeros dropped, scientific outside 1e-4..1e6.
void append_number(std::string& out, double x);
std::string format_number(double x);

// Nearest integer, ties to even; NaN gives 0, out-of-range values saturate.
std::int64_t round_even(double x);

// Decimal integer.
void append_int(std::string& out, std::int64_t v);
// Shortest text that reads back to the same double, never with an exponent.
void append_plain(std::string& out, double x);
// Exactly two decimals from the exact value of the double, ties to even.
void append_two_decimals(std::string& out, double x);

std::string join(std::span<const std::string> items, std::string_view separator);

// Placeholder wrappers for put(): each names the form its value is written in.
struct Int { std::int64_t v; };
struct Plain { double v; };
struct Num { double v; };      // format_number
struct Rounded { double v; };  // round_even, then the integer form
struct Esc { std::string_view v; };

inline void put_one(std::string& out, std::string_view s) { out.append(s); }
inline void put_one(std::string& out, const char* s) { out.append(s); }
inline void put_one(std::string& out, const std::string& s) { out.append(s); }
inline void put_one(std::string& out, char c) { out.push_back(c); }
inline void put_one(std::string& out, Int i) { append_int(out, i.v); }
inline void put_one(std::string& out, Plain p) { append_plain(out, p.v); }
inline void put_one(std::string& out, Num n) { append_number(out, n.v); }
inline void put_one(std::string& out, Rounded r) { append_int(out, round_even(r.v)); }
inline void put_one(std::string& out, Esc e) { append_escaped(out, e.v); }
// A bare number must name its form through one of the wrappers above.
template <class T>
    requires(std::is_arithmetic_v<T> && !std::is_same_v<T, char>)
void put_one(std::string& out, T value) = delete;

// Appends every piece in order.
template <class... Parts>
inline void put(std::string& out, const Parts&... parts) {
    (put_one(out, parts), ...);
}

}  // namespace qs
