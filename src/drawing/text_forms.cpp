#include "drawing/text_forms.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace qs {

namespace {

constexpr char STYLE_SHEET_TEXT[] =
    ".bar-line {\n"
    "    stroke: #e2e2e2;\n"
    "    stroke-width: 4;\n"
    "}\n"
    "\n"
    ".bar-count-flag {\n"
    "    stroke: #ffffff;\n"
    "    stroke-width: 4;\n"
    "}\n"
    "\n"
    ".bar-count-text {\n"
    "    font-size: 12px;\n"
    "    font-weight: 900;\n"
    "    font-family: Avenir;\n"
    "    fill: #ffffff;\n"
    "    text-anchor: start;\n"
    "}\n"
    "\n"
    ".beat-line {\n"
    "    stroke: #e2e2e2;\n"
    "    stroke-width: 1;\n"
    "}\n"
    "\n"
    ".lane-line {\n"
    "    stroke: #e2e2e2;\n"
    "    stroke-width: 1;\n"
    "}\n"
    "\n"
    ".event-flag {\n"
    "    stroke: #fee300;\n"
    "    stroke-width: 4;\n"
    "}\n"
    "\n"
    ".event-text {\n"
    "    font-size: 12px;\n"
    "    font-weight: 900;\n"
    "    font-family: Avenir;\n"
    "    fill: #fee300;\n"
    "    text-anchor: start;\n"
    "}\n"
    "\n"
    ".speed-line {\n"
    "    stroke: #ff33ff;\n"
    "    stroke-width: 1;\n"
    "}\n"
    "\n"
    ".speed-text {\n"
    "    font-size: 12px;\n"
    "    font-family: Avenir;\n"
    "    fill: #ff33ff;\n"
    "    text-anchor: end;\n"
    "}\n"
    "\n"
    ".lyric-text {\n"
    "    font-size: 12px;\n"
    "    font-family: \"ヒラギノ角ゴ Pro W3\", \"Hiragino Kaku Gothic Pro\", Osaka, メイリオ, Meiryo, \"ＭＳ Ｐゴシック\", \"MS PGothic\", \"ＭＳ ゴシック\" , \"MS Gothic\", \"Noto Sans CJK JP\", TakaoPGothic, sans-serif;\n"
    "    fill: #ffffff;\n"
    "    text-anchor: start;\n"
    "}\n"
    "\n"
    ".slide {\n"
    "    fill: #c9fce2cc\n"
    "}\n"
    "\n"
    ".slide-critical {\n"
    "    fill: #fcf1c3cc\n"
    "}\n"
    "\n"
    ".decoration {\n"
    "    fill: url(#decoration-gradient);\n"
    "}\n"
    "\n"
    "#decoration-gradient {\n"
    "    --color-start: #c9fce299;\n"
    "    --color-stop: #c9fce233;\n"
    "}\n"
    "\n"
    ".decoration-critical {\n"
    "    fill: url(#decoration-critical-gradient);\n"
    "}\n"
    "\n"
    "#decoration-critical-gradient {\n"
    "    --color-start: #fcf1c399;\n"
    "    --color-stop: #fcf1c333;\n"
    "}\n"
    "\n"
    ".tick-text {\n"
    "    font-size: 12px;\n"
    "    font-family: Avenir;\n"
    "    fill: #e2e2e2;\n"
    "    text-anchor: end;\n"
    "}\n"
    "\n"
    ".tick-line {\n"
    "    stroke: #e2e2e2;\n"
    "    stroke-width: 1;\n"
    "}\n"
    "\n"
    ".meta-line {\n"
    "    stroke: #e2e2e2;\n"
    "    stroke-width: 2;\n"
    "}\n"
    "\n"
    ".title {\n"
    "    font-size: 96px;\n"
    "    font-weight: 900;\n"
    "    font-family: \"ヒラギノ角ゴ Pro W3\", \"Hiragino Kaku Gothic Pro\", Osaka, メイリオ, Meiryo, \"ＭＳ Ｐゴシック\", \"MS PGothic\", \"ＭＳ ゴシック\" , \"MS Gothic\", \"Noto Sans CJK JP\", TakaoPGothic, sans-serif;\n"
    "    fill: #ffffff;\n"
    "    text-anchor: start;\n"
    "}\n"
    "\n"
    ".subtitle {\n"
    "    font-size: 48px;\n"
    "    font-weight: 700;\n"
    "    font-family: \"ヒラギノ角ゴ Pro W3\", \"Hiragino Kaku Gothic Pro\", Osaka, メイリオ, Meiryo, \"ＭＳ Ｐゴシック\", \"MS PGothic\", \"ＭＳ ゴシック\" , \"MS Gothic\", \"Noto Sans CJK JP\", TakaoPGothic, sans-serif;\n"
    "    fill: #ffffff;\n"
    "    text-anchor: start;\n"
    "}\n"
    "\n"
    ".lane {\n"
    "    fill: #CFD8DC;\n"
    "}\n"
    "\n"
    ".background {\n"
    "    fill: #FFFFFF;\n"
    "}\n"
    "\n"
    ".meta {\n"
    "    fill: #FFFFFF;\n"
    "}\n"
    "\n"
    "/* skill */\n"
    "\n"
    ".skill-duration {\n"
    "    fill: #78909C;\n"
    "}\n"
    "\n"
    ".skill-perfect {\n"
    "    fill: #90A4AE;\n"
    "}\n"
    "\n"
    ".skill-great {\n"
    "    fill: #B0BEC5;\n"
    "}\n"
    "\n"
    ".skill-score {\n"
    "    font-size: 38px;\n"
    "    /*font-weight: 900;*/\n"
    "    font-family: Osaka;\n"
    "    fill: black;\n"
    "    text-anchor: start;\n"
    "    /*text-shadow: black 0.1em 0.1em 0.2em;*/\n"
    "}\n"
    "\n"
    ".fever-duration {\n"
    "    fill: #ECEFF1;\n"
    "}";

constexpr char GRADIENT_TEXT[] =
    "<linearGradient id=\"decoration-gradient\" x1=\"0\" y1=\"1\" x2=\"0\" y2=\"0\">"
    "<stop offset=\"0\" stop-color=\"var(--color-start)\"/>"
    "<stop offset=\"1\" stop-color=\"var(--color-stop)\"/>"
    "</linearGradient>"
    "<linearGradient id=\"decoration-critical-gradient\" x1=\"0\" y1=\"1\" x2=\"0\" y2=\"0\">"
    "<stop offset=\"0\" stop-color=\"var(--color-start)\"/>"
    "<stop offset=\"1\" stop-color=\"var(--color-stop)\"/>"
    "</linearGradient>";

// Large enough for any double in fixed notation (the smallest subnormal needs
// about 330 characters).
constexpr std::size_t NUMBER_BUFFER = 512;

// Float to a 32-bit integer the way a saturating cast does it: NaN gives 0.
std::int32_t saturate_int32(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

// 10^e by repeated squaring, reciprocal for a negative power.
double power_of_ten(std::int32_t e) {
    bool reciprocal = e < 0;
    std::uint32_t n = reciprocal ? 0u - static_cast<std::uint32_t>(e) : static_cast<std::uint32_t>(e);
    double base = 10.0;
    double r = 1.0;
    while (true) {
        if (n & 1u) r *= base;
        n /= 2;
        if (n == 0) break;
        base *= base;
    }
    return reciprocal ? 1.0 / r : r;
}

// Writes x with a fixed number of decimals; non-finite values as "NaN", "inf", "-inf".
std::size_t write_fixed(char* buf, double x, int precision) {
    if (std::isnan(x)) {
        std::memcpy(buf, "NaN", 3);
        return 3;
    }
    auto r = std::to_chars(buf, buf + NUMBER_BUFFER, x, std::chars_format::fixed, precision);
    return static_cast<std::size_t>(r.ptr - buf);
}

// Drops trailing zeros, then a trailing point.
std::size_t trim_zeros(const char* buf, std::size_t len) {
    while (len > 0 && buf[len - 1] == '0') --len;
    if (len > 0 && buf[len - 1] == '.') --len;
    return len;
}

}  // namespace

const std::string_view DEFAULT_STYLE_SHEET(STYLE_SHEET_TEXT, sizeof(STYLE_SHEET_TEXT) - 1);
const std::string_view GRADIENT_DEFINITIONS(GRADIENT_TEXT, sizeof(GRADIENT_TEXT) - 1);

template <class Buf>
void append_escaped(Buf& out, std::string_view text) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char* entity;
        switch (text[i]) {
            case '&': entity = "&amp;"; break;
            case '<': entity = "&lt;"; break;
            case '>': entity = "&gt;"; break;
            case '"': entity = "&quot;"; break;
            default: continue;
        }
        out.append(text.data() + start, i - start);
        out.append(entity, std::strlen(entity));
        start = i + 1;
    }
    out.append(text.data() + start, text.size() - start);
}

std::string escape_xml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    append_escaped(out, text);
    return out;
}

template <class Buf>
void append_number(Buf& out, double x) {
    if (x == 0.0) {
        out.push_back('0');
        return;
    }
    char buf[NUMBER_BUFFER];
    std::int32_t e = saturate_int32(std::floor(std::log10(std::fabs(x))));
    if (e >= -4 && e <= 5) {
        std::size_t len = write_fixed(buf, x, 5 - e);
        if (std::memchr(buf, '.', len) != nullptr) len = trim_zeros(buf, len);
        out.append(buf, len);
        return;
    }
    double m = x / power_of_ten(e);
    std::size_t len = trim_zeros(buf, write_fixed(buf, m, 5));
    out.append(buf, len);
    std::int64_t shown = e;
    if (e < 0) {
        out.append("e-", 2);
        shown = -shown;
    } else {
        out.append("e+", 2);
    }
    if (shown < 10) out.push_back('0');
    append_int(out, shown);
}

std::string format_number(double x) {
    std::string out;
    append_number(out, x);
    return out;
}

std::int64_t round_even_slow(double x) {
    double f = std::floor(x);
    double d = x - f;
    double r;
    if (d > 0.5) {
        r = f + 1.0;
    } else if (d < 0.5) {
        r = f;
    } else {
        r = std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
    }
    if (std::isnan(r)) return 0;
    if (r >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
    if (r < -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(r);
}

template <class Buf>
void append_plain(Buf& out, double x) {
    char buf[NUMBER_BUFFER];
    if (std::isnan(x)) {
        out.append("NaN", 3);
        return;
    }
    auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed);
    out.append(buf, static_cast<std::size_t>(r.ptr - buf));
}

template <class Buf>
void append_two_decimals(Buf& out, double x) {
    char buf[NUMBER_BUFFER];
    out.append(buf, write_fixed(buf, x, 2));
}

std::string join(std::span<const std::string> items, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out.append(separator);
        out.append(items[i]);
    }
    return out;
}

#define QS_TEXT_FORMS(Buf)                                  \
    template void append_escaped<Buf>(Buf&, std::string_view); \
    template void append_number<Buf>(Buf&, double);            \
    template void append_plain<Buf>(Buf&, double);             \
    template void append_two_decimals<Buf>(Buf&, double);
QS_TEXT_FORMS(std::string)
QS_TEXT_FORMS(TextBuffer)
#undef QS_TEXT_FORMS

}  // namespace qs
