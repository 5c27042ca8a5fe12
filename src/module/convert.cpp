// Argument conversions and the small builders shared by every class.
#include <algorithm>
#include <cstdarg>
#include <limits>
#include <new>
#include <stdexcept>

#include "module/module.hpp"

namespace cellvane::py {

namespace {

// Raises TypeError "argument 'NAME': MESSAGE".
bool fail_argument(const char* name, const std::string& message) {
    PyErr_Format(PyExc_TypeError, "argument '%s': %s", name, message.c_str());
    return false;
}

// The integer conversion without the argument name: TypeError for what is
// not an integer, OverflowError for what does not fit 32 unsigned bits.
bool index_to_u32(PyObject* obj, std::uint32_t& out) {
    Ref index = Ref::steal(PyNumber_Index(obj));
    if (!index) return false;
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
    if (v == -1 && overflow == 0 && PyErr_Occurred()) return false;
    if (overflow != 0 || v < 0 || v > static_cast<long long>(std::numeric_limits<std::uint32_t>::max())) {
        PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
        return false;
    }
    out = static_cast<std::uint32_t>(v);
    return true;
}

// How many items a sequence's own length may reserve room for. A length is
// only a hint: the items decide how many there are, and a sequence whose
// __len__ over-reports must not make the conversion ask for memory its items
// never fill.
constexpr Py_ssize_t MAX_RESERVED_ITEMS = 4096;

// Whether the object's class answers len() at all: an object that only has
// __getitem__ is a sequence too, and then there is simply no hint.
bool has_length(PyObject* obj) {
    PyTypeObject* type = Py_TYPE(obj);
    return PyType_GetSlot(type, Py_sq_length) != nullptr || PyType_GetSlot(type, Py_mp_length) != nullptr;
}

// A sequence that is not a string, as the id and delta lists require.
// Answers how many items to reserve room for: its length, capped. Whatever
// its __len__ raises is raised as it is (a TypeError named after the
// argument).
bool check_sequence(PyObject* obj, const char* name, std::size_t& reserve) {
    if (PyUnicode_Check(obj)) return fail_argument(name, "Can't extract `str` to `Vec`");
    if (!PySequence_Check(obj)) return fail_argument(name, cannot_convert(obj, "Sequence"));
    reserve = 0;
    if (!has_length(obj)) return true;
    const Py_ssize_t length = PyObject_Size(obj);
    if (length < 0) {
        name_argument(name);
        return false;
    }
    reserve = static_cast<std::size_t>(std::min(length, MAX_RESERVED_ITEMS));
    return true;
}

}  // namespace

bool set_class_attribute(PyObject* type, const char* name, PyObject* value) {
    // Every class of the module is immutable, so that no caller can rebind a
    // member and make later comparisons wrong. The generic attribute setter
    // writes to the class dictionary without the immutability check that
    // type.__setattr__ makes; the class is then told its dictionary changed,
    // so no cached lookup outlives the write.
    Ref key = Ref::steal(PyUnicode_InternFromString(name));
    if (!key || PyObject_GenericSetAttr(type, key.get(), value) < 0) return false;
    PyType_Modified(reinterpret_cast<PyTypeObject*>(type));
    return true;
}

bool parse_args(PyObject* args, PyObject* kwargs, const char* format, const char* const* names, ...) {
    va_list va;
    va_start(va, names);
    // The parser never writes through the keyword list; the cast only
    // satisfies its historical signature.
    const int ok = PyArg_VaParseTupleAndKeywords(args, kwargs, format, const_cast<char**>(names), va);
    va_end(va);
    return ok != 0;
}

void name_argument(const char* name) {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (type != PyExc_TypeError) {
        PyErr_Restore(type, value, traceback);
        return;
    }
    PyErr_NormalizeException(&type, &value, &traceback);
    Ref t = Ref::steal(type);
    Ref v = Ref::steal(value);
    Ref tb = Ref::steal(traceback);
    Ref text = Ref::steal(v ? PyObject_Str(v.get()) : PyUnicode_FromString(""));
    if (!text) return;
    PyErr_Format(PyExc_TypeError, "argument '%s': %U", name, text.get());
}

std::string type_name(PyObject* o) {
    Ref name = Ref::steal(PyType_GetName(Py_TYPE(o)));
    if (name) {
        Py_ssize_t size = 0;
        const char* utf8 = PyUnicode_AsUTF8AndSize(name.get(), &size);
        if (utf8) return std::string(utf8, static_cast<std::size_t>(size));
    }
    PyErr_Clear();
    return "object";
}

std::string cannot_convert(PyObject* o, const char* target) {
    std::string message = "'";
    message += type_name(o);
    message += "' object cannot be converted to '";
    message += target;
    message += "'";
    return message;
}

bool to_u32(PyObject* obj, const char* name, std::uint32_t& out) {
    if (index_to_u32(obj, out)) return true;
    name_argument(name);
    return false;
}

bool to_double(PyObject* obj, const char* name, double& out) {
    const double v = PyFloat_AsDouble(obj);
    if (v == -1.0 && PyErr_Occurred()) {
        name_argument(name);
        return false;
    }
    out = v;
    return true;
}

bool to_point(PyObject* obj, const char* name, Point& out) {
    if (!PyTuple_Check(obj)) return fail_argument(name, cannot_convert(obj, "tuple"));
    const Py_ssize_t size = PyTuple_Size(obj);
    if (size < 0) return false;
    if (size != 2) {
        std::string message = "expected tuple of length 2, but got tuple of length ";
        message += std::to_string(size);
        return fail_argument(name, message);
    }
    double coordinates[2] = {0.0, 0.0};
    for (Py_ssize_t i = 0; i < 2; ++i) {
        PyObject* item = PyTuple_GetItem(obj, i);  // borrowed
        if (!item || !to_double(item, name, coordinates[i])) return false;
    }
    out = Point{coordinates[0], coordinates[1]};
    return true;
}

bool to_u32_list(PyObject* obj, const char* name, std::vector<std::uint32_t>& out) {
    std::size_t reserve = 0;
    if (!check_sequence(obj, name, reserve)) return false;
    std::vector<std::uint32_t> ids;
    ids.reserve(reserve);
    const bool ok = for_each_item(obj, [&](PyObject* item) {
        std::uint32_t id = 0;
        if (!index_to_u32(item, id)) return false;
        ids.push_back(id);
        return true;
    });
    if (!ok) {
        name_argument(name);
        return false;
    }
    out = std::move(ids);
    return true;
}

bool to_stone(const ModuleState& m, PyObject* obj, const char* name, Stone& out) {
    const Stone* stone = stone_of(m, obj);
    if (!stone) return fail_argument(name, cannot_convert(obj, "Stone"));
    out = *stone;
    return true;
}

bool to_delta_list(const ModuleState& m, PyObject* obj, const char* name, std::vector<Ref>& out) {
    std::size_t reserve = 0;
    if (!check_sequence(obj, name, reserve)) return false;
    std::vector<Ref> deltas;
    deltas.reserve(reserve);
    const bool ok = for_each_item(obj, [&](PyObject* item) {
        if (!delta_of(m, item)) {
            const std::string message = cannot_convert(item, "GameDelta");
            PyErr_SetString(PyExc_TypeError, message.c_str());
            return false;
        }
        deltas.push_back(Ref::borrow(item));
        return true;
    });
    if (!ok) {
        name_argument(name);
        return false;
    }
    out = std::move(deltas);
    return true;
}

PyObject* new_point(Point p) { return Py_BuildValue("(dd)", p.x, p.y); }

PyObject* new_u32_list(const std::vector<std::uint32_t>& ids) {
    return new_list(ids, [](std::uint32_t id) { return PyLong_FromUnsignedLong(id); });
}

PyObject* new_stone_list(const ModuleState& m, const std::vector<Stone>& stones) {
    return new_list(stones, [&](const Stone& stone) { return new_stone(m, stone); });
}

PyObject* new_string(std::string_view text) {
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

bool points_equal(const Point& a, const Point& b) noexcept {
    return folded_bits(a.x) == folded_bits(b.x) && folded_bits(a.y) == folded_bits(b.y);
}

bool stones_equal(const Stone& a, const Stone& b) noexcept {
    return a.id == b.id && a.color == b.color && points_equal(a.position, b.position);
}

// ------------------------------------------------------------- SipHash-1-3

namespace {
inline std::uint64_t rotl(std::uint64_t x, int b) noexcept { return (x << b) | (x >> (64 - b)); }

inline void sip_round(std::uint64_t& v0, std::uint64_t& v1, std::uint64_t& v2, std::uint64_t& v3) noexcept {
    v0 += v1;
    v1 = rotl(v1, 13);
    v1 ^= v0;
    v0 = rotl(v0, 32);
    v2 += v3;
    v3 = rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = rotl(v1, 17);
    v1 ^= v2;
    v2 = rotl(v2, 32);
}
}  // namespace

void SipHasher13::compress(std::uint64_t m) noexcept {
    v3_ ^= m;
    sip_round(v0_, v1_, v2_, v3_);
    v0_ ^= m;
}

void SipHasher13::write(const unsigned char* data, std::size_t n) noexcept {
    for (std::size_t i = 0; i < n; ++i) {
        tail_ |= static_cast<std::uint64_t>(data[i]) << (8 * (length_ % 8));
        ++length_;
        if (length_ % 8 == 0) {
            compress(tail_);
            tail_ = 0;
        }
    }
}

void SipHasher13::write_u32(std::uint32_t v) noexcept {
    unsigned char bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(v >> (8 * i));
    write(bytes, sizeof bytes);
}

void SipHasher13::write_u64(std::uint64_t v) noexcept {
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(v >> (8 * i));
    write(bytes, sizeof bytes);
}

std::uint64_t SipHasher13::finish() const noexcept {
    std::uint64_t v0 = v0_, v1 = v1_, v2 = v2_, v3 = v3_;
    const std::uint64_t b = (static_cast<std::uint64_t>(length_ & 0xff) << 56) | tail_;
    v3 ^= b;
    sip_round(v0, v1, v2, v3);
    v0 ^= b;
    v2 ^= 0xff;
    for (int i = 0; i < 3; ++i) sip_round(v0, v1, v2, v3);
    return v0 ^ v1 ^ v2 ^ v3;
}

}  // namespace cellvane::py
