// The Python Offset3: a small native type of its own (three read-only doubles,
// `as_tuple`, no constructor) rather than a pybind11 class, so that handing a
// position back to Python costs one small allocation and nothing more.
//
// Every function that returns an Offset3 converts it through the caster below;
// it is declared here and this header is included by register.hpp, so every
// registration unit sees the same conversion.
#pragma once

#include <pybind11/pybind11.h>

#include "core/records.hpp"

namespace kinetra::python {

// A new kinetra.Offset3 holding a copy of `position`; null with MemoryError set
// if it cannot be allocated. Only valid after register_offset3 has run.
PyObject* new_offset3(const Offset3& position) noexcept;

}  // namespace kinetra::python

namespace pybind11::detail {

// Result conversion only: no registered function takes an Offset3 argument.
template <>
struct type_caster<kinetra::Offset3> {
    static constexpr auto name = const_name("kinetra.Offset3");

    static handle cast(const kinetra::Offset3& position, return_value_policy, handle) {
        return kinetra::python::new_offset3(position);
    }
};

}  // namespace pybind11::detail
