#include "json/json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>
#include <utility>

#include "text/unicode.h"

namespace qs::json {

const Value* Object::find(std::string_view key) const {
    auto it = std::lower_bound(members.begin(), members.end(), key,
                               [](const Member& m, std::string_view k) { return m.key < k; });
    if (it != members.end() && it->key == key) return &it->value;
    return nullptr;
}

std::optional<double> Value::number() const {
    switch (kind()) {
        case Kind::UInt: return static_cast<double>(std::get<std::uint64_t>(data));
        case Kind::Int: return static_cast<double>(std::get<std::int64_t>(data));
        case Kind::Float: return std::get<double>(data);
        default: return std::nullopt;
    }
}

std::optional<std::int64_t> Value::int64() const {
    if (const auto* u = as_uint()) {
        if (*u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return static_cast<std::int64_t>(*u);
        return std::nullopt;
    }
    if (const auto* i = as_int()) return *i;
    return std::nullopt;
}

const Value* Value::find(std::string_view key) const {
    const Object* o = as_object();
    return o ? o->find(key) : nullptr;
}

std::string ParseError::message() const {
    std::string out = description;
    out += " at line ";
    out += std::to_string(line);
    out += " column ";
    out += std::to_string(column);
    return out;
}

namespace {

constexpr const char* EOF_LIST = "EOF while parsing a list";
constexpr const char* EOF_OBJECT = "EOF while parsing an object";
constexpr const char* EOF_STRING = "EOF while parsing a string";
constexpr const char* EOF_VALUE = "EOF while parsing a value";
constexpr const char* EXPECTED_COLON = "expected `:`";
constexpr const char* EXPECTED_LIST_END = "expected `,` or `]`";
constexpr const char* EXPECTED_OBJECT_END = "expected `,` or `}`";
constexpr const char* EXPECTED_IDENT = "expected ident";
constexpr const char* EXPECTED_VALUE = "expected value";
constexpr const char* INVALID_ESCAPE = "invalid escape";
constexpr const char* INVALID_NUMBER = "invalid number";
constexpr const char* OUT_OF_RANGE = "number out of range";
constexpr const char* INVALID_CODE_POINT = "invalid unicode code point";
constexpr const char* CONTROL_CHAR =
    "control character (\\u0000-\\u001F) found while parsing a string";
constexpr const char* KEY_NOT_STRING = "key must be a string";
constexpr const char* LONE_SURROGATE = "lone leading surrogate in hex escape";
constexpr const char* TRAILING_COMMA = "trailing comma";
constexpr const char* TRAILING_CHARS = "trailing characters";
constexpr const char* END_OF_HEX = "unexpected end of hex escape";
constexpr const char* RECURSION = "recursion limit exceeded";

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}


// One member per key, the last occurrence winning; sorted for binary search.
void finish_object(std::vector<Member>& members) {
    if (members.size() < 2) return;
    std::stable_sort(members.begin(), members.end(),
                     [](const Member& a, const Member& b) { return a.key < b.key; });
    std::size_t out = 0;
    for (std::size_t i = 0; i < members.size();) {
        std::size_t j = i + 1;
        while (j < members.size() && members[j].key == members[i].key) ++j;
        if (out != j - 1) members[out] = std::move(members[j - 1]);
        ++out;
        i = j;
    }
    members.resize(out);
}

// Recursive descent; depth is bounded by MAX_DEPTH, so the stack stays small.
class Parser {
public:
    explicit Parser(std::string_view text)
        : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()) {}

    bool parse_document(Value& out) {
        if (!parse_value(out)) return false;
        skip_ws();
        if (p_ != end_) return fail_here(TRAILING_CHARS);
        return true;
    }

    ParseError error() const {
        ParseError e;
        e.description = error_desc_;
        // Position after counting `error_count_` bytes.
        std::size_t n = error_count_;
        std::size_t line = 1;
        std::size_t line_start = 0;
        const char* s = begin_;
        const char* stop = begin_ + n;
        while (true) {
            const void* hit = std::memchr(s, '\n', static_cast<std::size_t>(stop - s));
            if (!hit) break;
            const char* lf = static_cast<const char*>(hit);
            ++line;
            line_start = static_cast<std::size_t>(lf - begin_) + 1;
            s = lf + 1;
        }
        e.line = line;
        e.column = n - line_start;
        return e;
    }

private:
    const char* begin_;
    const char* p_;
    const char* end_;
    int depth_ = 0;
    const char* error_desc_ = "";
    std::size_t error_count_ = 0;

    // Fault detected by the byte at p (counted inclusively).
    bool fail_here(const char* desc) { return fail_count(desc, idx(p_) + 1); }
    // Fault detected after the bytes before p (used after consuming the byte).
    bool fail_before(const char* desc) { return fail_count(desc, idx(p_)); }
    bool fail_eof(const char* desc) { return fail_count(desc, idx(end_)); }
    bool fail_count(const char* desc, std::size_t n) {
        error_desc_ = desc;
        error_count_ = n;
        return false;
    }
    std::size_t idx(const char* q) const { return static_cast<std::size_t>(q - begin_); }

    void skip_ws() {
        while (p_ != end_) {
            char c = *p_;
            if (c == ' ' || c == '\n' || c == '\t' || c == '\r')
                ++p_;
            else
                break;
        }
    }

    bool parse_value(Value& out) {
        skip_ws();
        if (p_ == end_) return fail_eof(EOF_VALUE);
        switch (*p_) {
            case 'n':
                if (!parse_ident("null")) return false;
                out.data = std::monostate{};
                return true;
            case 't':
                if (!parse_ident("true")) return false;
                out.data = true;
                return true;
            case 'f':
                if (!parse_ident("false")) return false;
                out.data = false;
                return true;
            case '"': {
                std::string s;
                if (!parse_string(s)) return false;
                out.data = std::move(s);
                return true;
            }
            case '[': return parse_array(out);
            case '{': return parse_object(out);
            default:
                if (*p_ == '-' || is_digit(*p_)) return parse_number(out);
                return fail_here(EXPECTED_VALUE);
        }
    }

    bool parse_ident(const char* word) {
        ++p_;
        for (const char* w = word + 1; *w; ++w) {
            if (p_ == end_) return fail_eof(EOF_VALUE);
            if (*p_ != *w) return fail_here(EXPECTED_IDENT);
            ++p_;
        }
        return true;
    }

    bool parse_number(Value& out) {
        const char* start = p_;
        bool negative = false;
        if (*p_ == '-') {
            negative = true;
            ++p_;
        }
        if (p_ == end_) return fail_eof(EOF_VALUE);
        std::uint64_t mantissa = 0;
        bool overflow = false;
        bool nonzero = false;
        // Decimal magnitude of the first significant digit, relative to the point.
        std::int64_t magnitude = 0;
        if (*p_ == '0') {
            ++p_;
            if (p_ != end_ && is_digit(*p_)) return fail_here(INVALID_NUMBER);
        } else if (is_digit(*p_)) {
            while (p_ != end_ && is_digit(*p_)) {
                unsigned d = static_cast<unsigned>(*p_ - '0');
                if (mantissa > (std::numeric_limits<std::uint64_t>::max() - d) / 10) overflow = true;
                if (!overflow) mantissa = mantissa * 10 + d;
                nonzero = true;
                ++magnitude;
                ++p_;
            }
        } else {
            ++p_;
            return fail_before(INVALID_NUMBER);
        }
        bool is_float = false;
        if (p_ != end_ && *p_ == '.') {
            is_float = true;
            ++p_;
            if (p_ == end_) return fail_eof(EOF_VALUE);
            if (!is_digit(*p_)) return fail_here(INVALID_NUMBER);
            while (p_ != end_ && is_digit(*p_)) {
                if (!nonzero) {
                    if (*p_ != '0')
                        nonzero = true;
                    else
                        --magnitude;
                }
                ++p_;
            }
        }
        bool zero_by_exponent = false;
        std::int64_t exponent = 0;
        if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
            is_float = true;
            ++p_;
            bool exp_negative = false;
            if (p_ != end_ && (*p_ == '+' || *p_ == '-')) {
                exp_negative = *p_ == '-';
                ++p_;
            }
            if (p_ == end_) return fail_eof(EOF_VALUE);
            if (!is_digit(*p_)) {
                ++p_;
                return fail_before(INVALID_NUMBER);
            }
            constexpr std::int32_t LIMIT = std::numeric_limits<std::int32_t>::max();
            std::int32_t e = 0;
            bool exp_overflow = false;
            while (p_ != end_ && is_digit(*p_)) {
                std::int32_t d = *p_ - '0';
                if (!exp_overflow) {
                    if (e >= LIMIT / 10 && (e > LIMIT / 10 || d > LIMIT % 10)) {
                        // The exponent no longer fits a 32-bit counter.
                        if (!exp_negative && nonzero) return fail_here(OUT_OF_RANGE);
                        exp_overflow = true;
                    } else {
                        e = e * 10 + d;
                    }
                }
                ++p_;
            }
            if (exp_overflow) zero_by_exponent = true;  // a tiny value, or a zero significand
            exponent = exp_negative ? -static_cast<std::int64_t>(e) : e;
        }

        if (!is_float) {
            if (!overflow) {
                if (!negative) {
                    out.data = mantissa;
                    return true;
                }
                constexpr std::uint64_t MIN_MAGNITUDE = std::uint64_t{1} << 63;
                if (mantissa != 0 && mantissa <= MIN_MAGNITUDE) {
                    // Two's complement of the magnitude, through unsigned arithmetic.
                    out.data = static_cast<std::int64_t>(~mantissa + 1);
                    return true;
                }
            }
        }
        if (!nonzero || zero_by_exponent) {
            out.data = negative ? -0.0 : 0.0;
            return true;
        }
        double value = 0.0;
        auto res = std::from_chars(start, p_, value);
        if (res.ec == std::errc::result_out_of_range) {
            if (magnitude + exponent > 0) return fail_before(OUT_OF_RANGE);
            value = negative ? -0.0 : 0.0;
        } else if (res.ec != std::errc() || res.ptr != p_) {
            return fail_before(INVALID_NUMBER);
        }
        if (std::isinf(value)) return fail_before(OUT_OF_RANGE);
        out.data = value;
        return true;
    }

    // Four hex digits after "\u"; p is just past the 'u'.
    bool read_hex4(std::uint32_t& n) {
        if (end_ - p_ < 4) return fail_eof(EOF_STRING);
        const char* h = p_;
        p_ += 4;
        n = 0;
        for (int i = 0; i < 4; ++i) {
            int v = hex_value(h[i]);
            if (v < 0) return fail_before(INVALID_ESCAPE);
            n = (n << 4) | static_cast<std::uint32_t>(v);
        }
        return true;
    }

    bool parse_unicode_escape(std::string& out) {
        std::uint32_t n = 0;
        if (!read_hex4(n)) return false;
        if (n >= 0xDC00 && n <= 0xDFFF) return fail_before(LONE_SURROGATE);
        if (n < 0xD800 || n > 0xDBFF) {
            text::append_utf8(out, static_cast<char32_t>(n));
            return true;
        }
        if (p_ == end_) return fail_eof(EOF_STRING);
        if (*p_ != '\\') return fail_here(END_OF_HEX);
        ++p_;
        if (p_ == end_) return fail_eof(EOF_STRING);
        if (*p_ != 'u') return fail_here(END_OF_HEX);
        ++p_;
        std::uint32_t n2 = 0;
        if (!read_hex4(n2)) return false;
        if (n2 < 0xDC00 || n2 > 0xDFFF) return fail_before(LONE_SURROGATE);
        text::append_utf8(out, static_cast<char32_t>(0x10000 + ((n - 0xD800) << 10) + (n2 - 0xDC00)));
        return true;
    }

    bool parse_string(std::string& out) {
        ++p_;  // opening quote
        const char* chunk = p_;
        unsigned char high = 0;
        while (true) {
            // Plain bytes first: the common case, no per-byte branching on escapes.
            const char* q = p_;
            while (q != end_) {
                unsigned char c = static_cast<unsigned char>(*q);
                if (c == '"' || c == '\\' || c < 0x20) break;
                high |= c;
                ++q;
            }
            p_ = q;
            if (p_ == end_) return fail_eof(EOF_STRING);
            char c = *p_;
            if (c == '"') {
                out.append(chunk, p_);
                if ((high & 0x80) && !qs::text::is_valid_utf8(out)) return fail_here(INVALID_CODE_POINT);
                ++p_;
                return true;
            }
            if (c == '\\') {
                out.append(chunk, p_);
                ++p_;
                if (p_ == end_) return fail_eof(EOF_STRING);
                char e = *p_++;
                switch (e) {
                    case '"': out.push_back('"'); break;
                    case '\\': out.push_back('\\'); break;
                    case '/': out.push_back('/'); break;
                    case 'b': out.push_back('\b'); break;
                    case 'f': out.push_back('\f'); break;
                    case 'n': out.push_back('\n'); break;
                    case 'r': out.push_back('\r'); break;
                    case 't': out.push_back('\t'); break;
                    case 'u':
                        if (!parse_unicode_escape(out)) return false;
                        break;
                    default: return fail_before(INVALID_ESCAPE);
                }
                chunk = p_;
                continue;
            }
            return fail_here(CONTROL_CHAR);
        }
    }

    bool enter() {
        if (++depth_ > MAX_DEPTH) return fail_here(RECURSION);
        return true;
    }

    bool parse_array(Value& out) {
        if (!enter()) return false;
        ++p_;
        Array items;
        skip_ws();
        if (p_ == end_) return fail_eof(EOF_LIST);
        if (*p_ == ']') {
            ++p_;
        } else {
            while (true) {
                items.emplace_back();
                if (!parse_value(items.back())) return false;
                skip_ws();
                if (p_ == end_) return fail_eof(EOF_LIST);
                char c = *p_;
                if (c == ']') {
                    ++p_;
                    break;
                }
                if (c != ',') return fail_here(EXPECTED_LIST_END);
                ++p_;
                skip_ws();
                if (p_ == end_) return fail_eof(EOF_VALUE);
                if (*p_ == ']') return fail_here(TRAILING_COMMA);
            }
        }
        --depth_;
        out.data = std::move(items);
        return true;
    }

    bool parse_object(Value& out) {
        if (!enter()) return false;
        ++p_;
        Object obj;
        skip_ws();
        if (p_ == end_) return fail_eof(EOF_OBJECT);
        if (*p_ == '}') {
            ++p_;
        } else {
            if (*p_ != '"') return fail_here(KEY_NOT_STRING);
            while (true) {
                obj.members.emplace_back();
                Member& m = obj.members.back();
                if (!parse_string(m.key)) return false;
                skip_ws();
                if (p_ == end_) return fail_eof(EOF_OBJECT);
                if (*p_ != ':') return fail_here(EXPECTED_COLON);
                ++p_;
                if (!parse_value(m.value)) return false;
                skip_ws();
                if (p_ == end_) return fail_eof(EOF_OBJECT);
                char c = *p_;
                if (c == '}') {
                    ++p_;
                    break;
                }
                if (c != ',') return fail_here(EXPECTED_OBJECT_END);
                ++p_;
                skip_ws();
                if (p_ == end_) return fail_eof(EOF_VALUE);
                if (*p_ == '}') return fail_here(TRAILING_COMMA);
                if (*p_ != '"') return fail_here(KEY_NOT_STRING);
            }
            finish_object(obj.members);
        }
        --depth_;
        out.data = std::move(obj);
        return true;
    }
};

}  // namespace

Result<Value, ParseError> parse(std::string_view text) {
    Parser parser(text);
    Value value;
    if (!parser.parse_document(value)) return Result<Value, ParseError>::failure(parser.error());
    return value;
}

std::string float_json_text(double value) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
    std::string out;
    if (!std::isfinite(value)) return std::string(sci);  // cannot come from JSON text
    if (!sci.empty() && sci.front() == '-') {
        out.push_back('-');
        sci.remove_prefix(1);
    }
    if (value == 0.0) {
        out += "0.0";
        return out;
    }
    // sci is "d[.ddd]e[+-]XX": collect the digits and the decimal exponent.
    std::size_t epos = sci.find('e');
    std::string digits;
    for (char c : sci.substr(0, epos))
        if (c != '.') digits.push_back(c);
    int e10 = 0;
    std::string_view exp_text = sci.substr(epos + 1);
    if (!exp_text.empty() && exp_text.front() == '+') exp_text.remove_prefix(1);
    std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), e10);
    const int length = static_cast<int>(digits.size());
    const int kk = e10 + 1;  // 10^(kk-1) <= |value| < 10^kk
    const int k = kk - length;
    if (k >= 0 && kk <= 16) {
        out += digits;
        out.append(static_cast<std::size_t>(k), '0');
        out += ".0";
    } else if (kk > 0 && kk <= 16) {
        out.append(digits, 0, static_cast<std::size_t>(kk));
        out.push_back('.');
        out.append(digits, static_cast<std::size_t>(kk));
    } else if (kk > -5 && kk <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-kk), '0');
        out += digits;
    } else {
        out.push_back(digits[0]);
        if (length > 1) {
            out.push_back('.');
            out.append(digits, 1);
        }
        out.push_back('e');
        out += std::to_string(kk - 1);
    }
    return out;
}

std::string float_plain_text(double value) {
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    return std::string(buf, static_cast<std::size_t>(res.ptr - buf));
}

}  // namespace qs::json
