// The text forms of the SVG document: escaping, number forms, rounding, joining,
// the built-in style sheet and gradients. Everything appends into a caller's buffer
// so that a rendering never builds a temporary string per number.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace qs {

// The built-in CSS (2712 bytes of UTF-8) and the two slide-decoration gradients.
extern const std::string_view DEFAULT_STYLE_SHEET;
extern const std::string_view GRADIENT_DEFINITIONS;

// A growing byte buffer whose small appends stay inline (std::string's do not).
class TextBuffer {
public:
    TextBuffer() = default;
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;
    TextBuffer(TextBuffer&& other) noexcept { swap(other); }
    TextBuffer& operator=(TextBuffer&& other) noexcept {
        swap(other);
        return *this;
    }
    ~TextBuffer() { std::free(begin_); }

    std::size_t size() const { return static_cast<std::size_t>(end_ - begin_); }
    bool empty() const { return end_ == begin_; }
    const char* data() const { return begin_; }
    std::string_view view() const { return {begin_, size()}; }
    void clear() { end_ = begin_; }
    void reserve(std::size_t n) {
        if (n > static_cast<std::size_t>(cap_ - begin_)) reallocate(n);
    }
    std::size_t capacity() const { return static_cast<std::size_t>(cap_ - begin_); }
    // Gives back the room beyond the text (the allocator shrinks a block in place).
    void shrink_to_fit() {
        if (end_ == cap_ || begin_ == nullptr) return;
        const std::size_t used = size();
        if (used == 0) {
            *this = TextBuffer();
            return;
        }
        if (char* p = static_cast<char*>(std::realloc(begin_, used))) {
            begin_ = p;
            end_ = cap_ = p + used;
        }
    }

    // Room for n more bytes; write into it, then commit the end of what was written.
    char* grow(std::size_t n) {
        if (n > static_cast<std::size_t>(cap_ - end_)) [[unlikely]] reallocate(size() + n);
        return end_;
    }
    void commit(char* new_end) { end_ = new_end; }

    void append(const char* s, std::size_t n) {
        if (n == 0) return;  // an empty buffer's storage may be null, and memcpy must not see it
        char* p = grow(n);
        std::memcpy(p, s, n);
        end_ = p + n;
    }
    void append(std::string_view s) { append(s.data(), s.size()); }
    void push_back(char c) {
        char* p = grow(1);
        *p = c;
        end_ = p + 1;
    }

private:
    void swap(TextBuffer& o) noexcept {
        std::swap(begin_, o.begin_);
        std::swap(end_, o.end_);
        std::swap(cap_, o.cap_);
    }
    // Out of line and cold, so that the appends around it stay small enough to inline.
    [[gnu::noinline, gnu::cold]] void reallocate(std::size_t want) {
        std::size_t cap = static_cast<std::size_t>(cap_ - begin_);
        std::size_t next = cap < 256 ? 256 : cap * 2;
        if (next < want) next = want;
        std::size_t used = size();
        char* p = static_cast<char*>(std::realloc(begin_, next));
        if (p == nullptr) throw std::bad_alloc();
        begin_ = p;
        end_ = p + used;
        cap_ = p + next;
    }

    char* begin_ = nullptr;
    char* end_ = nullptr;
    char* cap_ = nullptr;
};

// Each form exists for std::string and for TextBuffer.

// "&", "<", ">" and "\"" as entities; nothing else is touched.
template <class Buf> void append_escaped(Buf& out, std::string_view text);
std::string escape_xml(std::string_view text);

// Six significant digits, trailing zeros dropped, scientific outside 1e-4..1e6.
template <class Buf> void append_number(Buf& out, double x);
std::string format_number(double x);

// Nearest integer, ties to even; NaN gives 0, out-of-range values saturate.
std::int64_t round_even_slow(double x);
inline std::int64_t round_even(double x) {
    if (x > -4.0e18 && x < 4.0e18) {  // false for NaN
        const double f = std::floor(x);
        const double d = x - f;
        std::int64_t i = static_cast<std::int64_t>(f);
        if (d > 0.5 || (d == 0.5 && (i & 1) != 0)) ++i;
        return i;
    }
    return round_even_slow(x);
}

// Decimal integer.
inline void append_int(TextBuffer& out, std::int64_t v) {
    char* p = out.grow(20);
    out.commit(std::to_chars(p, p + 20, v).ptr);
}
inline void append_int(std::string& out, std::int64_t v) {
    char buf[20];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, static_cast<std::size_t>(r.ptr - buf));
}
// Shortest text that reads back to the same double, never with an exponent.
template <class Buf> void append_plain(Buf& out, double x);
// Exactly two decimals from the exact value of the double, ties to even.
template <class Buf> void append_two_decimals(Buf& out, double x);

std::string join(std::span<const std::string> items, std::string_view separator);

// Placeholder wrappers for put(): each names the form its value is written in.
struct Int { std::int64_t v; };
struct Plain { double v; };
struct Num { double v; };      // format_number
struct Rounded { double v; };  // round_even, then the integer form
struct Esc { std::string_view v; };

template <class Buf> inline void put_one(Buf& out, std::string_view s) { out.append(s.data(), s.size()); }
template <class Buf> inline void put_one(Buf& out, const std::string& s) { out.append(s.data(), s.size()); }
template <class Buf, std::size_t N> inline void put_one(Buf& out, const char (&s)[N]) { out.append(s, N - 1); }
template <class Buf, class P>
    requires std::is_same_v<P, const char*>
inline void put_one(Buf& out, const P& s) {
    out.append(s, std::strlen(s));
}
template <class Buf> inline void put_one(Buf& out, char c) { out.push_back(c); }
template <class Buf> inline void put_one(Buf& out, Int i) { append_int(out, i.v); }
template <class Buf> inline void put_one(Buf& out, Plain p) { append_plain(out, p.v); }
template <class Buf> inline void put_one(Buf& out, Num n) { append_number(out, n.v); }
template <class Buf> inline void put_one(Buf& out, Rounded r) { append_int(out, round_even(r.v)); }
template <class Buf> inline void put_one(Buf& out, Esc e) { append_escaped(out, e.v); }
template <class Buf> inline void put_one(Buf& out, const TextBuffer& b) { out.append(b.data(), b.size()); }
// A bare number must name its form through one of the wrappers above.
template <class Buf, class T>
    requires(std::is_arithmetic_v<T> && !std::is_same_v<T, char>)
void put_one(Buf& out, T value) = delete;

// Appends every piece in order.
template <class Buf, class... Parts>
inline void put(Buf& out, const Parts&... parts) {
    (put_one(out, parts), ...);
}

}  // namespace qs
