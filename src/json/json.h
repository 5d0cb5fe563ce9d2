// A small JSON reader: one document into a generic value.
//
// Numbers keep their JSON kind: non-negative integers that fit 64 bits are UInt,
// negative ones that fit are Int, everything else (fraction, exponent, "-0", too
// large) is Float, the double nearest to the literal. Objects keep one member per key
// (the last occurrence wins), sorted by key for lookup. Failures carry one of the fixed
// descriptions and the line and column of the byte that detected the fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/check.h"

namespace qs::json {

struct Value;
struct Member;

using Array = std::vector<Value>;

struct Object {
    std::vector<Member> members;  // sorted by key, keys unique

    // Member value by exact key, or nullptr.
    const Value* find(std::string_view key) const;
    std::size_t size() const;
};

enum class Kind : std::uint8_t { Null, Bool, UInt, Int, Float, String, Array, Object };

struct Value {
    // Alternatives in the order of Kind.
    std::variant<std::monostate, bool, std::uint64_t, std::int64_t, double, std::string, Array,
                 Object>
        data;

    Kind kind() const { return static_cast<Kind>(data.index()); }
    bool is_null() const { return kind() == Kind::Null; }
    bool is_number() const {
        Kind k = kind();
        return k == Kind::UInt || k == Kind::Int || k == Kind::Float;
    }
    bool is_integer() const { return kind() == Kind::UInt || kind() == Kind::Int; }

    const bool* as_bool() const { return std::get_if<bool>(&data); }
    const std::uint64_t* as_uint() const { return std::get_if<std::uint64_t>(&data); }
    const std::int64_t* as_int() const { return std::get_if<std::int64_t>(&data); }
    const double* as_float() const { return std::get_if<double>(&data); }
    const std::string* as_string() const { return std::get_if<std::string>(&data); }
    const Array* as_array() const { return std::get_if<Array>(&data); }
    const Object* as_object() const { return std::get_if<Object>(&data); }

    // Any number as a double (integers converted); nothing for other kinds.
    std::optional<double> number() const;
    // An integer that fits a signed 64-bit value; nothing for floats and other kinds.
    std::optional<std::int64_t> int64() const;

    // Member lookup on an object; nullptr when this is not an object or has no such key.
    const Value* find(std::string_view key) const;
};

struct Member {
    std::string key;
    Value value;
};

// Defined here, where Member is complete (some compilers need it for vector::size).
inline std::size_t Object::size() const { return members.size(); }

struct ParseError {
    const char* description = "";
    std::size_t line = 1;
    std::size_t column = 0;

    // "{description} at line {line} column {column}"
    std::string message() const;
};

// Nesting depth accepted: this many arrays/objects open at once.
inline constexpr int MAX_DEPTH = 127;

Result<Value, ParseError> parse(std::string_view text);

// The compact JSON text of a float: shortest round-trip digits, always with a
// fraction or an exponent ("26.0", "0.001", "1e16", "1.5e-7", "-0.0").
std::string float_json_text(double value);
// Shortest round-trip decimal without exponent, no fraction when integral
// ("26", "2.5", "100000000000000000000", "0.0000001").
std::string float_plain_text(double value);

}  // namespace qs::json
