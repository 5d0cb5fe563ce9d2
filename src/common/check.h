// Failure plumbing shared by the whole core.
//
// Expected failures (bad JSON, unreadable files) travel as values: Result<T, E>.
// A failed internal check (a zero denominator, an impossible index) throws the one
// exception type CheckFailure; only the Python frame catches it and turns it into
// the module's InternalError.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

namespace qs {

class CheckFailure : public std::runtime_error {
public:
    explicit CheckFailure(const std::string& message) : std::runtime_error(message) {}
};

[[noreturn]] inline void fail_check(const char* message) { throw CheckFailure(message); }

// Value or error. Small on purpose: construct from either side, test with ok().
template <class T, class E = std::string>
class Result {
public:
    Result(T value) : data_(std::in_place_index<0>, std::move(value)) {}
    static Result failure(E error) { return Result(std::in_place_index<1>, std::move(error)); }

    bool ok() const { return data_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(data_); }
    const T& value() const& { return std::get<0>(data_); }
    T&& value() && { return std::get<0>(std::move(data_)); }
    const E& error() const { return std::get<1>(data_); }

private:
    template <std::size_t I, class V>
    Result(std::in_place_index_t<I> tag, V&& v) : data_(tag, std::forward<V>(v)) {}
    std::variant<T, E> data_;
};

}  // namespace qs
