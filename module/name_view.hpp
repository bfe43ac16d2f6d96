// A name argument viewed in place for the duration of one call.
//
// It accepts exactly what pybind11's std::string_view conversion accepts (a
// str, viewed as its UTF-8 bytes; a bytes or bytearray, byte for byte, a
// bytearray as a copy (see below); a str that cannot be encoded, such as one
// holding a lone surrogate, does not convert) but does not register the argument with pybind11's per-call
// keep-alive set: the caller's argument array already holds it for the whole
// call, and that registration (a hash-set node per call) was the larger part
// of the cost of sample(name, pip).
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <string_view>

namespace kinetra::python {

struct NameView {
    std::string_view text;
};

// A str (as its UTF-8 bytes) or bytes name (subclasses included), viewed in
// place; false for anything else, and for a str that cannot be encoded (no
// error is left set). A bytearray is not viewed: see the caster below.
inline bool view_name(PyObject* object, std::string_view& name) noexcept {
    if (PyUnicode_Check(object)) {
        Py_ssize_t size = -1;
        const char* bytes = PyUnicode_AsUTF8AndSize(object, &size);
        if (bytes == nullptr) {
            PyErr_Clear();
            return false;
        }
        name = std::string_view(bytes, static_cast<std::size_t>(size));
        return true;
    }
    if (PyBytes_Check(object)) {
        name = std::string_view(PyBytes_AS_STRING(object),
                                static_cast<std::size_t>(PyBytes_GET_SIZE(object)));
        return true;
    }
    return false;
}

}  // namespace kinetra::python

namespace pybind11::detail {

template <>
struct type_caster<kinetra::python::NameView> {
    PYBIND11_TYPE_CASTER(kinetra::python::NameView, const_name("str"));

    bool load(handle src, bool) {
        PyObject* object = src.ptr();
        if (object == nullptr) {
            return false;
        }
        if (kinetra::python::view_name(object, value.text)) {
            return true;
        }
        if (PyByteArray_Check(object)) {
            // A bytearray, unlike a str or bytes, can change during the call:
            // converting a later argument may run Python code (an __index__)
            // that resizes it and frees the buffer a view would point into. Its
            // bytes are copied instead, so the lookup sees the name as passed.
            copy_.assign(PyByteArray_AS_STRING(object),
                         static_cast<std::size_t>(PyByteArray_GET_SIZE(object)));
            value.text = copy_;
            return true;
        }
        return false;
    }

    // Never returned to Python; present because the caster macro expects it.
    static handle cast(const kinetra::python::NameView&, return_value_policy, handle) = delete;

private:
    std::string copy_;
};

}  // namespace pybind11::detail
