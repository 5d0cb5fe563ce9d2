// The frame every Python entry point stands in: references, argument binding,
// conversions, the per-object access state and the mapping of failures to
// exceptions. This directory is the only place that sees Python.h.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/check.h"
#include "drawing/text_forms.h"
#include "fraction/fraction.h"

namespace qs::py {

// ---------------------------------------------------------------------------
// Owned strong reference.
class Ref {
public:
    Ref() = default;
    explicit Ref(PyObject* owned) : p_(owned) {}
    static Ref borrow(PyObject* p) {
        Py_XINCREF(p);
        return Ref(p);
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Ref& operator=(Ref&& other) noexcept {
        if (this != &other) {
            PyObject* old = std::exchange(p_, std::exchange(other.p_, nullptr));
            Py_XDECREF(old);
        }
        return *this;
    }
    ~Ref() { Py_XDECREF(p_); }

    PyObject* get() const { return p_; }
    PyObject* release() { return std::exchange(p_, nullptr); }
    explicit operator bool() const { return p_ != nullptr; }

private:
    PyObject* p_ = nullptr;
};

// ---------------------------------------------------------------------------
// Object layout shared by the seven classes: the access state sits right after the
// object header, the owned core value after it.
using AccessWord = std::atomic<Py_ssize_t>;

struct ObjectHead {
    PyObject ob_base;
    AccessWord access;
};

template <class T>
struct Object {
    ObjectHead head;
    T value;
};

template <class T>
T& value_of(PyObject* o) {
    return reinterpret_cast<Object<T>*>(o)->value;
}

inline AccessWord& access_of(PyObject* o) { return reinterpret_cast<ObjectHead*>(o)->access; }

// Shared access: any number of readers, refused while a writer holds the object.
class SharedAccess {
public:
    SharedAccess() = default;
    SharedAccess(const SharedAccess&) = delete;
    SharedAccess& operator=(const SharedAccess&) = delete;
    ~SharedAccess() { release(); }
    // False with RuntimeError "Already mutably borrowed" set.
    bool take(PyObject* o);
    void release() {
        if (word_) word_->fetch_sub(1, std::memory_order_release);
        word_ = nullptr;
    }

private:
    AccessWord* word_ = nullptr;
};

// Exclusive access: one holder, refused while anyone else holds the object.
class ExclusiveAccess {
public:
    ExclusiveAccess() = default;
    ExclusiveAccess(const ExclusiveAccess&) = delete;
    ExclusiveAccess& operator=(const ExclusiveAccess&) = delete;
    ~ExclusiveAccess() { release(); }
    // False with RuntimeError "Already borrowed" set.
    bool take(PyObject* o);
    void release() {
        if (word_) word_->store(0, std::memory_order_release);
        word_ = nullptr;
    }

private:
    AccessWord* word_ = nullptr;
};

// ---------------------------------------------------------------------------
// The seven classes. Type objects are made on first use and kept for the process.
enum class Cls : int { Fraction = 0, Meta, Event, Score, Lyric, Rebase, Drawing };
inline constexpr int CLASS_COUNT = 7;

// Null with an exception set when the type cannot be created.
PyTypeObject* class_type(Cls cls);
const char* class_name(Cls cls);

template <class T>
void dealloc_object(PyObject* o) {
    auto* obj = reinterpret_cast<Object<T>*>(o);
    obj->value.~T();
    obj->head.access.~AccessWord();
    PyTypeObject* tp = Py_TYPE(o);
    tp->tp_free(o);
    Py_DECREF(tp);
}

// Allocates an instance of `tp` owning `value`. Null with an exception set on failure.
template <class T>
PyObject* new_object_of(PyTypeObject* tp, T&& value) {
    using V = std::decay_t<T>;
    PyObject* o = tp->tp_alloc(tp, 0);
    if (!o) return nullptr;
    auto* obj = reinterpret_cast<Object<V>*>(o);
    new (&obj->head.access) AccessWord(0);
    try {
        new (&obj->value) V(std::forward<T>(value));
    } catch (...) {
        // The value was never built: free the memory without running its destructor.
        obj->head.access.~AccessWord();
        tp->tp_free(o);
        Py_DECREF(tp);
        throw;
    }
    return o;
}

template <class T>
PyObject* new_object(Cls cls, T&& value) {
    PyTypeObject* tp = class_type(cls);
    if (!tp) return nullptr;
    return new_object_of(tp, std::forward<T>(value));
}

// Method tables store every entry point as PyCFunction.
template <class F>
PyCFunction cfunc(F* f) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

// ---------------------------------------------------------------------------
// Argument binding. `names` lists the parameters in order; the first `required` of
// them must be given. Fills `out` with borrowed values or null for omitted ones.
// `func` is the name used in messages, e.g. "Score.get_time()".
bool bind_args(const char* func, const char* const* names, std::size_t count, std::size_t required,
               PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames, PyObject** out);

// Same for the tuple-and-dict calling convention (constructors, the call slot). The
// values stay alive through `keep`, which must outlive the use of `out`.
bool bind_tuple(const char* func, const char* const* names, std::size_t count, std::size_t required,
                PyObject* args, PyObject* kwargs, PyObject** out, std::vector<Ref>& keep);

// ---------------------------------------------------------------------------
// Text taken from Python: either a view into a str kept alive by `holder`, or text
// assembled here.
class Text {
public:
    Text() = default;
    static Text view_of(Ref holder, std::string_view view) {
        Text t;
        t.holder_ = std::move(holder);
        t.view_ = view;
        return t;
    }
    static Text owning(std::string s) {
        Text t;
        t.owned_ = std::move(s);
        t.use_owned_ = true;
        return t;
    }
    std::string_view sv() const { return use_owned_ ? std::string_view(owned_) : view_; }
    std::string str() const { return std::string(sv()); }

private:
    Ref holder_;
    std::string owned_;
    std::string_view view_;
    bool use_owned_ = false;
};

// Sets TypeError "'{type}' object is not an instance of '{expected}'" (or the None form).
void set_not_instance(PyObject* value, const char* expected);

// Every conversion returns nothing with a Python exception set on failure.
std::optional<Text> arg_text(PyObject* value);
std::optional<Text> arg_text_or_file(PyObject* value);
std::optional<Text> arg_json_text(PyObject* value);
// json.dumps(value), whatever the value is.
std::optional<Text> json_dumps(PyObject* value);
std::optional<Fraction> arg_fraction(PyObject* value);
std::optional<double> arg_float(PyObject* value);
std::optional<std::int64_t> arg_int64(PyObject* value);
std::optional<std::int32_t> arg_int32(PyObject* value);
std::optional<std::uint8_t> arg_uint8(PyObject* value);
std::optional<bool> arg_flag(PyObject* value);
std::optional<std::vector<std::string>> arg_text_list(PyObject* value);
std::optional<std::vector<double>> arg_float_list(PyObject* value);
// The dict itself (borrowed), or null with TypeError set.
PyObject* arg_dict(PyObject* value);
// Checks the class and takes the access; null with an exception set on failure.
PyObject* arg_instance(PyObject* value, Cls cls, SharedAccess& access);
PyObject* arg_instance(PyObject* value, Cls cls, ExclusiveAccess& access);

// Attaches "while processing '{name}'" to the pending exception (failures to attach
// are ignored) and returns null, so a call site reads `return noted("path");`.
PyObject* noted(const char* name);
// Same for slots that report failure with -1.
int noted_int(const char* name);

// ---------------------------------------------------------------------------
// Failures.
PyObject* internal_error_type();
void set_internal_error(const char* message);
// Sets `type` with exactly the message.
void set_error(PyObject* type, std::string_view message);
inline void set_error2(PyObject* type, std::string_view prefix, std::string_view detail) {
    std::string m;
    m.reserve(prefix.size() + detail.size());
    m.append(prefix).append(detail);
    set_error(type, m);
}

inline constexpr const char* NO_RASTER_MESSAGE =
    "PNG/JPEG output requires the `skia-image` feature; install `quorvel-scores-rs-skia-image` or "
    "build with `--features python,skia-image`";
inline constexpr const char* SCORE_REQUIRED_MESSAGE =
    "score is required when Drawing was created without one";

// Runs one entry point: C++ failures become Python exceptions here and nowhere else.
void set_error_from_current_exception() noexcept;

template <class R, class F>
R guarded(R failed, F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        set_error_from_current_exception();
        return failed;
    }
}

template <class F>
PyObject* guarded(F&& body) noexcept {
    return guarded<PyObject*>(nullptr, std::forward<F>(body));
}

// ---------------------------------------------------------------------------
// Results.
// UTF-8 text given in consecutive parts. Up to HOLD_BYTES the parts are kept (their
// buffers taken over, not copied) and the str made at its exact size at the end: a
// str sized from a guess and shrunk afterwards comes from fresh pages on every call.
// Longer text goes straight into a growing str as it comes, so it is never held whole
// beside its str. Text that is not valid UTF-8 makes finish() raise
// UnicodeDecodeError, as decoding it whole would.
class StrBuilder {
public:
    static constexpr std::size_t HOLD_BYTES = std::size_t{4} << 20;

    StrBuilder() = default;
    StrBuilder(const StrBuilder&) = delete;
    StrBuilder& operator=(const StrBuilder&) = delete;
    ~StrBuilder() { Py_XDECREF(str_); }

    // `expected` is a rough size in bytes of the whole text, for the first allocation.
    // May take the part's storage, leaving the buffer empty. False with a Python error
    // set when memory runs out.
    bool add(TextBuffer& part, std::size_t expected = 0);
    // The str (new reference), or nullptr with an error set.
    PyObject* finish();

private:
    bool stream(std::string_view part);
    bool reserve(std::size_t chars);
    bool widen(Py_UCS4 max_char);
    bool to_bytes();

    std::vector<TextBuffer> held_;
    std::size_t held_bytes_ = 0;
    std::size_t expected_ = 0;
    PyObject* str_ = nullptr;
    std::size_t length_ = 0;    // characters written
    std::size_t capacity_ = 0;  // characters allocated
    Py_UCS4 max_char_ = 0x7F;   // what the str's kind holds
    bool bytes_mode_ = false;   // invalid text seen: keep bytes for the decoder's error
    std::string bytes_;
};

PyObject* to_str(std::string_view text);
PyObject* to_str_or_none(const std::optional<std::string>& text);
PyObject* to_float_or_none(const std::optional<double>& value);
PyObject* none();

}  // namespace qs::py
