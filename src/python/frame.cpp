#include "python/frame.h"

#include <algorithm>
#include <cstring>
#include <exception>
#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "python/classes.h"
#include "text/unicode.h"

namespace qs::py {

// ---------------------------------------------------------------------------
// Access state.

bool SharedAccess::take(PyObject* o) {
    AccessWord& w = access_of(o);
    Py_ssize_t seen = w.load(std::memory_order_acquire);
    for (;;) {
        if (seen < 0) {
            PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
            return false;
        }
        if (w.compare_exchange_weak(seen, seen + 1, std::memory_order_acquire, std::memory_order_acquire)) {
            word_ = &w;
            return true;
        }
    }
}

bool ExclusiveAccess::take(PyObject* o) {
    AccessWord& w = access_of(o);
    Py_ssize_t expected = 0;
    if (!w.compare_exchange_strong(expected, -1, std::memory_order_acquire, std::memory_order_relaxed)) {
        PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
        return false;
    }
    word_ = &w;
    return true;
}

// ---------------------------------------------------------------------------
// Type objects, made once; a racing second creation is dropped.

namespace {

std::atomic<PyObject*> g_types[CLASS_COUNT];
std::atomic<PyObject*> g_internal_error{nullptr};

const char* const CLASS_NAMES[CLASS_COUNT] = {"Fraction", "Meta", "Event", "Score",
                                              "Lyric", "Rebase", "Drawing"};

PyType_Spec* spec_of(Cls cls) {
    switch (cls) {
        case Cls::Fraction: return fraction_spec();
        case Cls::Meta: return meta_spec();
        case Cls::Event: return event_spec();
        case Cls::Score: return score_spec();
        case Cls::Lyric: return lyric_spec();
        case Cls::Rebase: return rebase_spec();
        case Cls::Drawing: return drawing_spec();
    }
    return nullptr;
}

// Keeps the first object stored in `slot`; the loser of a race is released.
PyObject* publish_once(std::atomic<PyObject*>& slot, PyObject* made) {
    PyObject* expected = nullptr;
    if (slot.compare_exchange_strong(expected, made, std::memory_order_acq_rel)) return made;
    Py_DECREF(made);
    return expected;
}

}  // namespace

const char* class_name(Cls cls) { return CLASS_NAMES[static_cast<int>(cls)]; }

PyTypeObject* class_type(Cls cls) {
    std::atomic<PyObject*>& slot = g_types[static_cast<int>(cls)];
    PyObject* tp = slot.load(std::memory_order_acquire);
    if (tp) return reinterpret_cast<PyTypeObject*>(tp);
    PyObject* made = PyType_FromSpec(spec_of(cls));
    if (!made) return nullptr;
    return reinterpret_cast<PyTypeObject*>(publish_once(slot, made));
}

PyObject* internal_error_type() {
    PyObject* tp = g_internal_error.load(std::memory_order_acquire);
    if (tp) return tp;
    PyObject* made = PyErr_NewExceptionWithDoc(
        "quorvel_scores_rs.InternalError",
        "A failed internal check; the call was abandoned and left no partial result.",
        PyExc_BaseException, nullptr);
    if (!made) return nullptr;
    return publish_once(g_internal_error, made);
}

void set_internal_error(const char* message) {
    PyObject* tp = internal_error_type();
    if (!tp) return;  // the creation failure stays set
    PyErr_SetString(tp, message);
}

void set_error(PyObject* type, std::string_view message) {
    PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
    if (!text) return;
    PyErr_SetObject(type, text);
    Py_DECREF(text);
}

void set_error_from_current_exception() noexcept {
    try {
        throw;
    } catch (const CheckFailure& e) {
        set_internal_error(e.what());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        set_internal_error(e.what());
    } catch (...) {
        set_internal_error("unexpected internal failure");
    }
}

// ---------------------------------------------------------------------------
// Binding.

namespace {

void append_quoted_list(std::string& msg, const std::vector<const char*>& names) {
    const std::size_t n = names.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) {
            if (n > 2) msg += ',';
            msg += (i == n - 1) ? " and " : " ";
        }
        msg += '\'';
        msg += names[i];
        msg += '\'';
    }
}

void type_error(const std::string& msg) { set_error(PyExc_TypeError, msg); }

}  // namespace

bool bind_args(const char* func, const char* const* names, std::size_t count, std::size_t required,
               PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames, PyObject** out) {
    const std::size_t nargs = static_cast<std::size_t>(PyVectorcall_NARGS(nargsf));
    for (std::size_t i = 0; i < count; ++i) out[i] = nullptr;
    if (nargs > count) {
        std::string msg = func;
        const char* verb = nargs == 1 ? "was" : "were";
        if (required != count) {
            msg += " takes from " + std::to_string(required) + " to " + std::to_string(count);
        } else {
            msg += " takes " + std::to_string(count);
        }
        msg += " positional arguments but " + std::to_string(nargs) + " " + verb + " given";
        type_error(msg);
        return false;
    }
    for (std::size_t i = 0; i < nargs; ++i) out[i] = args[i];
    if (kwnames) {
        const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            PyObject* key = PyTuple_GET_ITEM(kwnames, k);
            Py_ssize_t len = 0;
            const char* s = PyUnicode_AsUTF8AndSize(key, &len);
            if (!s) return false;
            const std::string_view name(s, static_cast<std::size_t>(len));
            std::size_t found = count;
            for (std::size_t i = 0; i < count; ++i) {
                if (name == names[i]) {
                    found = i;
                    break;
                }
            }
            if (found == count) {
                type_error(std::string(func) + " got an unexpected keyword argument '" + std::string(name) + "'");
                return false;
            }
            if (out[found]) {
                type_error(std::string(func) + " got multiple values for argument '" + std::string(name) + "'");
                return false;
            }
            out[found] = args[nargs + static_cast<std::size_t>(k)];
        }
    }
    std::vector<const char*> missing;
    for (std::size_t i = 0; i < required; ++i) {
        if (!out[i]) missing.push_back(names[i]);
    }
    if (!missing.empty()) {
        std::string msg = func;
        msg += " missing " + std::to_string(missing.size()) + " required positional ";
        msg += missing.size() == 1 ? "argument: " : "arguments: ";
        append_quoted_list(msg, missing);
        type_error(msg);
        return false;
    }
    return true;
}

bool bind_tuple(const char* func, const char* const* names, std::size_t count, std::size_t required,
                PyObject* args, PyObject* kwargs, PyObject** out, std::vector<Ref>& keep) {
    const Py_ssize_t npos = args ? PyTuple_GET_SIZE(args) : 0;
    const Py_ssize_t nkw = (kwargs && PyDict_Check(kwargs)) ? PyDict_GET_SIZE(kwargs) : 0;
    std::vector<PyObject*> flat;
    flat.reserve(static_cast<std::size_t>(npos + nkw));
    keep.reserve(keep.size() + static_cast<std::size_t>(npos + nkw));
    for (Py_ssize_t i = 0; i < npos; ++i) {
        keep.push_back(Ref::borrow(PyTuple_GET_ITEM(args, i)));
        flat.push_back(keep.back().get());
    }
    Ref kwnames;
    if (nkw > 0) {
        kwnames = Ref(PyTuple_New(nkw));
        if (!kwnames) return false;
        Py_ssize_t pos = 0;
        Py_ssize_t k = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        // The dict is the call's own fresh keyword dict; nothing else sees it.
        while (k < nkw && PyDict_Next(kwargs, &pos, &key, &value)) {
            Py_INCREF(key);
            PyTuple_SET_ITEM(kwnames.get(), k, key);
            keep.push_back(Ref::borrow(value));
            flat.push_back(value);
            ++k;
        }
        if (k != nkw) {
            PyErr_SetString(PyExc_RuntimeError, "keyword arguments changed during the call");
            return false;
        }
    }
    return bind_args(func, names, count, required, flat.data(), npos, kwnames.get(), out);
}

// ---------------------------------------------------------------------------
// Conversions.

void set_not_instance(PyObject* value, const char* expected) {
    if (value == Py_None) {
        type_error(std::string("'None' is not an instance of '") + expected + "'");
        return;
    }
    Ref qualname(PyType_GetQualName(Py_TYPE(value)));
    if (!qualname) return;
    Py_ssize_t len = 0;
    const char* s = PyUnicode_AsUTF8AndSize(qualname.get(), &len);
    if (!s) return;
    std::string msg = "'";
    msg.append(s, static_cast<std::size_t>(len));
    msg += "' object is not an instance of '";
    msg += expected;
    msg += "'";
    type_error(msg);
}

std::optional<Text> arg_text(PyObject* value) {
    if (!PyUnicode_Check(value)) {
        set_not_instance(value, "str");
        return std::nullopt;
    }
    Py_ssize_t len = 0;
    const char* s = PyUnicode_AsUTF8AndSize(value, &len);
    if (!s) return std::nullopt;
    return Text::view_of(Ref::borrow(value), std::string_view(s, static_cast<std::size_t>(len)));
}

namespace {

// getattr that reports absence as an empty reference without an exception.
bool optional_attr(PyObject* value, const char* name, Ref& out) {
#if PY_VERSION_HEX >= 0x030D0000
    PyObject* result = nullptr;
    int rc = PyObject_GetOptionalAttrString(value, name, &result);
    out = Ref(result);
    return rc >= 0;
#else
    PyObject* result = PyObject_GetAttrString(value, name);
    if (!result) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
    }
    out = Ref(result);
    return true;
#endif
}

// Iterates a sequence (not a str), converting each item; stops at the first failure.
template <class T, class F>
std::optional<std::vector<T>> extract_sequence(PyObject* value, F&& item) {
    if (PyUnicode_Check(value)) {
        type_error("Can't extract `str` to `Vec`");
        return std::nullopt;
    }
    if (!PySequence_Check(value)) {
        set_not_instance(value, "Sequence");
        return std::nullopt;
    }
    std::vector<T> out;
    Py_ssize_t hint = PySequence_Size(value);
    if (hint < 0) {
        PyErr_Clear();
    } else {
        // Only a hint: a hostile __len__ must not make us allocate for it.
        out.reserve(static_cast<std::size_t>(std::min<Py_ssize_t>(hint, 4096)));
    }
    Ref iter(PyObject_GetIter(value));
    if (!iter) return std::nullopt;
    for (;;) {
        Ref next(PyIter_Next(iter.get()));
        if (!next) {
            if (PyErr_Occurred()) return std::nullopt;
            break;
        }
        std::optional<T> converted = item(next.get());
        if (!converted) return std::nullopt;
        out.push_back(std::move(*converted));
    }
    return out;
}

}  // namespace

std::optional<std::vector<std::string>> arg_text_list(PyObject* value) {
    return extract_sequence<std::string>(value, [](PyObject* item) -> std::optional<std::string> {
        std::optional<Text> t = arg_text(item);
        if (!t) return std::nullopt;
        return t->str();
    });
}

std::optional<std::vector<double>> arg_float_list(PyObject* value) {
    return extract_sequence<double>(value, [](PyObject* item) { return arg_float(item); });
}

std::optional<Text> arg_text_or_file(PyObject* value) {
    if (PyUnicode_Check(value)) return arg_text(value);
    Ref read;
    if (!optional_attr(value, "read", read)) return std::nullopt;
    if (read) {
        Ref result(PyObject_CallNoArgs(read.get()));
        if (!result) return std::nullopt;
        std::optional<Text> t = arg_text(result.get());
        return t;
    }
    Ref readlines;
    if (!optional_attr(value, "readlines", readlines)) return std::nullopt;
    if (readlines) {
        Ref result(PyObject_CallNoArgs(readlines.get()));
        if (!result) return std::nullopt;
        std::optional<std::vector<std::string>> lines = arg_text_list(result.get());
        if (!lines) return std::nullopt;
        std::size_t total = 0;
        for (const std::string& l : *lines) total += l.size();
        std::string joined;
        joined.reserve(total);
        for (const std::string& l : *lines) joined += l;
        return Text::owning(std::move(joined));
    }
    type_error("expected a string or a file-like object");
    return std::nullopt;
}

std::optional<Text> json_dumps(PyObject* value) {
    Ref json(PyImport_ImportModule("json"));
    if (!json) return std::nullopt;
    Ref dumps(PyObject_GetAttrString(json.get(), "dumps"));
    if (!dumps) return std::nullopt;
    Ref result(PyObject_CallOneArg(dumps.get(), value));
    if (!result) return std::nullopt;
    return arg_text(result.get());
}

std::optional<Text> arg_json_text(PyObject* value) {
    if (PyDict_Check(value)) return json_dumps(value);
    return arg_text_or_file(value);
}

std::optional<Fraction> arg_fraction(PyObject* value) {
    PyTypeObject* fraction_tp = class_type(Cls::Fraction);
    if (!fraction_tp) return std::nullopt;
    if (Py_TYPE(value) == fraction_tp) {
        SharedAccess access;
        if (!access.take(value)) return std::nullopt;
        return value_of<Fraction>(value);
    }
    {
        long long n = PyLong_AsLongLong(value);
        if (!(n == -1 && PyErr_Occurred())) return from_integer(n);
        PyErr_Clear();
    }
    {
        double x = PyFloat_CheckExact(value) ? PyFloat_AS_DOUBLE(value) : PyFloat_AsDouble(value);
        if (!(x == -1.0 && PyErr_Occurred())) return from_float(x);
        PyErr_Clear();
    }
    if (PyUnicode_Check(value)) {
        Py_ssize_t len = 0;
        const char* s = PyUnicode_AsUTF8AndSize(value, &len);
        if (s) {
            std::optional<Fraction> parsed = parse(std::string_view(s, static_cast<std::size_t>(len)));
            if (parsed) return parsed;
        } else {
            PyErr_Clear();
        }
    }
    type_error("expected a Fraction-compatible value");
    return std::nullopt;
}

std::optional<double> arg_float(PyObject* value) {
    if (PyFloat_CheckExact(value)) return PyFloat_AS_DOUBLE(value);
    double x = PyFloat_AsDouble(value);
    if (x == -1.0 && PyErr_Occurred()) return std::nullopt;
    return x;
}

std::optional<std::int64_t> arg_int64(PyObject* value) {
    long long n = PyLong_AsLongLong(value);
    if (n == -1 && PyErr_Occurred()) return std::nullopt;
    return static_cast<std::int64_t>(n);
}

namespace {
void out_of_range() {
    PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
}
}  // namespace

std::optional<std::int32_t> arg_int32(PyObject* value) {
    std::optional<std::int64_t> n = arg_int64(value);
    if (!n) return std::nullopt;
    if (*n < INT32_MIN || *n > INT32_MAX) {
        out_of_range();
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*n);
}

std::optional<std::uint8_t> arg_uint8(PyObject* value) {
    std::optional<std::int64_t> n = arg_int64(value);
    if (!n) return std::nullopt;
    if (*n < 0 || *n > 255) {
        out_of_range();
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(*n);
}

std::optional<bool> arg_flag(PyObject* value) {
    if (value == Py_True) return true;
    if (value == Py_False) return false;
    if (value != Py_None) {
        // numpy's boolean scalars: matched by type and module name, read by truth value.
        PyTypeObject* tp = Py_TYPE(value);
        const char* tp_name = tp->tp_name;
        const char* dot = std::strrchr(tp_name, '.');
        const char* short_name = dot ? dot + 1 : tp_name;
        if (std::strcmp(short_name, "bool_") == 0 || std::strcmp(short_name, "bool") == 0) {
            Ref module(PyObject_GetAttrString(reinterpret_cast<PyObject*>(tp), "__module__"));
            if (!module) {
                PyErr_Clear();
            } else if (PyUnicode_Check(module.get()) &&
                       PyUnicode_CompareWithASCIIString(module.get(), "numpy") == 0) {
                int truth = PyObject_IsTrue(value);
                if (truth < 0) return std::nullopt;
                return truth != 0;
            }
        }
    }
    set_not_instance(value, "bool");
    return std::nullopt;
}

PyObject* arg_dict(PyObject* value) {
    if (PyDict_Check(value)) return value;
    set_not_instance(value, "dict");
    return nullptr;
}

namespace {
template <class Access>
PyObject* instance_with(PyObject* value, Cls cls, Access& access) {
    PyTypeObject* tp = class_type(cls);
    if (!tp) return nullptr;
    if (Py_TYPE(value) != tp) {
        set_not_instance(value, class_name(cls));
        return nullptr;
    }
    if (!access.take(value)) return nullptr;
    return value;
}
}  // namespace

PyObject* arg_instance(PyObject* value, Cls cls, SharedAccess& access) {
    return instance_with(value, cls, access);
}

PyObject* arg_instance(PyObject* value, Cls cls, ExclusiveAccess& access) {
    return instance_with(value, cls, access);
}

// ---------------------------------------------------------------------------
// Notes.

PyObject* noted(const char* name) {
    if (!PyErr_Occurred()) return nullptr;
    std::string text = "while processing '";
    text += name;
    text += "'";
#if PY_VERSION_HEX >= 0x030C0000
    PyObject* exc = PyErr_GetRaisedException();
    if (exc) {
        Ref note(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
        Ref r(note ? PyObject_CallMethod(exc, "add_note", "O", note.get()) : nullptr);
        if (!r) PyErr_Clear();
    }
    PyErr_SetRaisedException(exc);
#else
    PyObject* type = nullptr;
    PyObject* val = nullptr;
    PyObject* tb = nullptr;
    PyErr_Fetch(&type, &val, &tb);
    PyErr_NormalizeException(&type, &val, &tb);
    if (val) {
        if (tb) PyException_SetTraceback(val, tb);
        Ref note(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
        Ref r(note ? PyObject_CallMethod(val, "add_note", "O", note.get()) : nullptr);
        if (!r) PyErr_Clear();
    }
    PyErr_Restore(type, val, tb);
#endif
    return nullptr;
}

int noted_int(const char* name) {
    noted(name);
    return -1;
}

// ---------------------------------------------------------------------------
// Results.

namespace {

// Index of the first byte at or above 0x80 from i on (n if none), sixteen at a time.
std::size_t skip_ascii(const unsigned char* p, std::size_t i, std::size_t n) {
#if defined(__SSE2__)
    while (i + 16 <= n) {
        const int mask = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
        if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        i += 16;
    }
#endif
    while (i < n && p[i] < 0x80) ++i;
    return i;
}

// Validates UTF-8 and adds its characters; top keeps the largest lead byte, which
// decides the kind of the str.
bool measure_utf8(std::string_view bytes, std::size_t& chars, unsigned char& top) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    std::size_t count = 0;
    while (i < n) {
        const std::size_t j = skip_ascii(p, i, n);
        count += j - i;
        // A run of bytes above ASCII ends at an ASCII byte, which no sequence contains.
        std::size_t k = j;
        while (k < n && p[k] >= 0x80) {
            if ((p[k] & 0xC0) != 0x80) ++count;
            top = p[k] > top ? p[k] : top;
            ++k;
        }
        if (k > j && !text::is_valid_utf8(bytes.substr(j, k - j))) return false;
        i = k;
    }
    chars += count;
    return true;
}

// Copies valid UTF-8 into a str buffer of the given code unit; returns the end.
template <class Unit>
Unit* fill_units(Unit* out, std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const std::size_t j = skip_ascii(p, i, n);
        if constexpr (sizeof(Unit) == 1) {
            std::memcpy(out, p + i, j - i);
            out += j - i;
            i = j;
        } else {
#if defined(__SSE2__)
            if constexpr (sizeof(Unit) == 2) {
                const __m128i zero = _mm_setzero_si128();
                for (; i + 16 <= j; i += 16, out += 16) {
                    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(v, zero));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(v, zero));
                }
            }
#endif
            for (; i < j; ++i) *out++ = static_cast<Unit>(p[i]);
        }
        while (i < n && p[i] >= 0x80) *out++ = static_cast<Unit>(text::decode(bytes, i));
    }
    return out;
}

// A whole chart's SVG is tens of megabytes written once from start to end; backed by
// 2 MB pages it costs one page fault where it would cost five hundred. Only a hint:
// the kernel may ignore it, and the memory stays the allocator's.
void advise_huge_pages(PyObject* str, std::size_t chars) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t huge = std::uintptr_t{1} << 21;
    const std::size_t bytes = chars * static_cast<std::size_t>(PyUnicode_KIND(str));
    if (bytes < 4 * huge) return;
    const auto begin = reinterpret_cast<std::uintptr_t>(PyUnicode_DATA(str));
    const std::uintptr_t first = (begin + huge - 1) & ~(huge - 1);
    const std::uintptr_t last = (begin + bytes) & ~(huge - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)str;
    (void)chars;
#endif
}

// Lead bytes up to C3 give code points below 0x100, up to EF below 0x10000.
Py_UCS4 max_char_of(unsigned char top) {
    return top < 0x80 ? 0x7F : top <= 0xC3 ? 0xFF : top <= 0xEF ? 0xFFFF : 0x10FFFF;
}

// Copies valid UTF-8 into the str from character `at` on; returns the characters written.
std::size_t fill(PyObject* str, std::size_t at, std::string_view part) {
    void* data = PyUnicode_DATA(str);
    if (PyUnicode_IS_ASCII(str)) {
        std::memcpy(static_cast<char*>(data) + at, part.data(), part.size());
        return part.size();
    }
    switch (PyUnicode_KIND(str)) {
        case PyUnicode_1BYTE_KIND: {
            Py_UCS1* begin = static_cast<Py_UCS1*>(data) + at;
            return static_cast<std::size_t>(fill_units(begin, part) - begin);
        }
        case PyUnicode_2BYTE_KIND: {
            Py_UCS2* begin = static_cast<Py_UCS2*>(data) + at;
            return static_cast<std::size_t>(fill_units(begin, part) - begin);
        }
        default: {
            Py_UCS4* begin = static_cast<Py_UCS4*>(data) + at;
            return static_cast<std::size_t>(fill_units(begin, part) - begin);
        }
    }
}

// One str of exactly the parts' characters; invalid text raises as decoding would.
// Held parts are copied last one first and let go at once: the last ones tend to lie
// at the top of the heap, where the allocator can give memory back while the str
// fills.
std::string_view view_of(std::string_view text) { return text; }
std::string_view view_of(const TextBuffer& text) { return text.view(); }

template <class Part>
PyObject* str_from_parts(Part* parts, std::size_t n) {
    std::vector<std::size_t> starts(n > 1 ? n : 0);
    std::size_t chars = 0;
    unsigned char top = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (n > 1) starts[i] = chars;
        if (!measure_utf8(view_of(parts[i]), chars, top)) {
            std::string all;
            for (std::size_t j = 0; j < n; ++j) all.append(view_of(parts[j]));
            return PyUnicode_DecodeUTF8(all.data(), static_cast<Py_ssize_t>(all.size()), "strict");
        }
    }
    if (chars > static_cast<std::size_t>(PY_SSIZE_T_MAX)) return PyErr_NoMemory();
    PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(chars), max_char_of(top));
    if (str == nullptr) return nullptr;
    for (std::size_t i = n; i-- > 0;) {
        fill(str, n > 1 ? starts[i] : 0, view_of(parts[i]));
        if constexpr (std::is_same_v<Part, TextBuffer>) parts[i] = TextBuffer();
    }
    return str;
}

}  // namespace

bool StrBuilder::widen(Py_UCS4 max_char) {
    max_char_ = max_char;
    if (str_ == nullptr) return true;
    PyObject* wider = PyUnicode_New(static_cast<Py_ssize_t>(capacity_), max_char);
    if (wider == nullptr) return false;
    advise_huge_pages(wider, capacity_);
    if (length_ > 0 && PyUnicode_CopyCharacters(wider, 0, str_, 0, static_cast<Py_ssize_t>(length_)) < 0) {
        Py_DECREF(wider);
        return false;
    }
    Py_DECREF(str_);
    str_ = wider;
    return true;
}

bool StrBuilder::reserve(std::size_t chars) {
    const std::size_t need = length_ + chars;
    if (str_ != nullptr && need <= capacity_) return true;
    std::size_t cap = std::max({need, 2 * capacity_, expected_});
    if (need > static_cast<std::size_t>(PY_SSIZE_T_MAX) || need < length_) {
        PyErr_NoMemory();
        return false;
    }
    if (cap > static_cast<std::size_t>(PY_SSIZE_T_MAX)) cap = need;
    if (str_ == nullptr) {
        str_ = PyUnicode_New(static_cast<Py_ssize_t>(cap), max_char_);
        if (str_ == nullptr) return false;
    } else if (PyUnicode_Resize(&str_, static_cast<Py_ssize_t>(cap)) < 0) {
        return false;
    }
    advise_huge_pages(str_, cap);
    capacity_ = cap;
    return true;
}

bool StrBuilder::to_bytes() {
    bytes_mode_ = true;
    if (str_ == nullptr) return true;
    Ref head(PyUnicode_Substring(str_, 0, static_cast<Py_ssize_t>(length_)));
    if (!head) return false;
    Py_ssize_t n = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(head.get(), &n);
    if (utf8 == nullptr) return false;
    bytes_.assign(utf8, static_cast<std::size_t>(n));
    Py_CLEAR(str_);
    return true;
}

bool StrBuilder::add(TextBuffer& part, std::size_t expected) {
    if (expected != 0) expected_ = expected;
    if (str_ == nullptr && !bytes_mode_ && held_bytes_ + part.size() <= HOLD_BYTES) {
        held_bytes_ += part.size();
        held_.push_back(std::move(part));
        held_.back().shrink_to_fit();
        return true;
    }
    // Too long to hold: from here on the text goes straight into the str.
    std::vector<TextBuffer> held = std::move(held_);
    held_.clear();
    held_bytes_ = 0;
    for (const TextBuffer& h : held) {
        if (!stream(h.view())) return false;
    }
    return stream(part.view());
}

bool StrBuilder::stream(std::string_view part) {
    if (bytes_mode_) {
        bytes_.append(part);
        return true;
    }
    std::size_t chars = 0;
    unsigned char top = 0;
    if (!measure_utf8(part, chars, top)) {
        if (!to_bytes()) return false;
        bytes_.append(part);
        return true;
    }
    if (chars == 0) return true;
    const Py_UCS4 max_char = max_char_of(top);
    if (max_char > max_char_ && !widen(max_char)) return false;
    if (!reserve(chars)) return false;
    length_ += fill(str_, length_, part);
    return true;
}

PyObject* StrBuilder::finish() {
    if (bytes_mode_) return PyUnicode_DecodeUTF8(bytes_.data(), static_cast<Py_ssize_t>(bytes_.size()), "strict");
    if (str_ == nullptr) return str_from_parts(held_.data(), held_.size());
    if (length_ != capacity_ && PyUnicode_Resize(&str_, static_cast<Py_ssize_t>(length_)) < 0) return nullptr;
    PyObject* out = str_;
    str_ = nullptr;
    return out;
}

PyObject* to_str(std::string_view text) {
    return str_from_parts(&text, 1);
}

PyObject* to_str_or_none(const std::optional<std::string>& text) {
    if (!text) return none();
    return to_str(*text);
}

PyObject* to_float_or_none(const std::optional<double>& value) {
    if (!value) return none();
    return PyFloat_FromDouble(*value);
}

PyObject* none() { Py_RETURN_NONE; }

}  // namespace qs::py
