// Bound objects reach native code only after their __init__ has run.
// (Offset3 is a plain type of its own whose __new__ refuses, so it needs none.)
//
// An instance made by __new__ alone (SampledPattern.__new__(SampledPattern),
// or a Python subclass touching `self` before calling the base __init__) holds
// no native value. pybind11 would hand such an instance to a method, or copy it
// into a vector, as freshly allocated memory that was never constructed. The
// casters below refuse it with TypeError instead. Every file that converts
// these classes includes this header (through register.hpp), so one caster per
// class is seen everywhere.
#pragma once

#include <pybind11/pybind11.h>

#include "user/pattern_library.hpp"
#include "user/sampled_pattern.hpp"
#include "user/sampled_recording.hpp"

namespace kinetra::python {

// Throws TypeError if `src` is an instance of the bound class `type` whose
// native value was never constructed; anything else is left to the caster.
void require_initialised(pybind11::handle src, const pybind11::detail::type_info* type);

}  // namespace kinetra::python

namespace pybind11::detail {

template <typename T>
class initialised_caster : public type_caster_base<T> {
public:
    bool load(handle src, bool convert) {
        kinetra::python::require_initialised(src, this->typeinfo);
        return type_caster_base<T>::load(src, convert);
    }
};

template <>
class type_caster<kinetra::SampledPattern> : public initialised_caster<kinetra::SampledPattern> {};
template <>
class type_caster<kinetra::PatternLibrary> : public initialised_caster<kinetra::PatternLibrary> {};
template <>
class type_caster<kinetra::SampledRecording>
    : public initialised_caster<kinetra::SampledRecording> {};

}  // namespace pybind11::detail
