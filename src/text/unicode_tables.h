// Property and case tables generated into unicode_tables.cpp (internal to src/text).
#pragma once

#include <cstddef>

namespace qs::text::tables {

// Inclusive range of code points; tables are sorted and non-overlapping.
struct CodeRange {
    char32_t first;
    char32_t last;
};

// Longest full case mapping of one code point (U+0390 upper-cases to three).
constexpr std::size_t CASE_MAX = 3;

// Full lower- or upper-case form of one code point; unused slots of `to` are 0.
struct CaseEntry {
    char32_t from;
    char32_t to[CASE_MAX];
};

extern const CodeRange WHITE_SPACE[];
extern const std::size_t WHITE_SPACE_SIZE;
extern const CodeRange DIGIT[];
extern const std::size_t DIGIT_SIZE;
extern const CodeRange WORD[];
extern const std::size_t WORD_SIZE;
// Sorted by `from`; code points not listed map to themselves.
extern const CaseEntry LOWER[];
extern const std::size_t LOWER_SIZE;
extern const CaseEntry UPPER[];
extern const std::size_t UPPER_SIZE;

}  // namespace qs::text::tables
