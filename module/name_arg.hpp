// A name argument for the lookups (sample, PatternLibrary.sample): a str (its
// UTF-8 bytes), a bytes or a bytearray (byte for byte), exactly as pybind11's
// std::string_view conversion takes them.
//
// str and bytes are viewed in place: neither can change during the call. A
// bytearray can. The arguments after the name are converted afterwards, and
// converting one may run Python code (an __index__ or __int__) that resizes
// the bytearray and frees the buffer a view would point into. So a bytearray's
// bytes are copied into the caster when it is converted, and the lookup sees
// the name as it was passed.
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <string_view>

namespace kinetra::python {

struct NameArg {
    std::string_view text;
};

}  // namespace kinetra::python

namespace pybind11::detail {

template <>
class type_caster<kinetra::python::NameArg> {
public:
    PYBIND11_TYPE_CASTER(kinetra::python::NameArg, const_name("str"));

    bool load(handle src, bool convert) {
        if (src && PyByteArray_Check(src.ptr())) {
            copy_.assign(PyByteArray_AS_STRING(src.ptr()),
                         static_cast<std::size_t>(PyByteArray_GET_SIZE(src.ptr())));
            value.text = copy_;
            return true;
        }
        if (!view_.load(src, convert)) {
            return false;
        }
        value.text = static_cast<std::string_view&>(view_);
        return true;
    }

    // Never returned to Python.
    static handle cast(const kinetra::python::NameArg&, return_value_policy, handle) = delete;

private:
    make_caster<std::string_view> view_;
    std::string copy_;
};

}  // namespace pybind11::detail
