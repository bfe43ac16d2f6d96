// Everything the binding relies on beyond pybind11's and CPython's public,
// documented interfaces, in one place, each behind a small named function.
// Nothing else in module/ names pybind11's detail namespace or CPython's
// unstable or private API (custom casters, pybind11's documented extension
// point, are specialised in the headers of their types). The build pins
// pybind11 to the versions checked (CMakeLists.txt), and the static_asserts
// below stop a build against any other.
//
// Checked with pybind11 3.1.0 and CPython 3.14.8. Each assumption, what relies
// on it, and the test that fails when it stops holding:
//
// 1. A pybind11 instance (detail::instance) finds its C++ value and whether
//    it was constructed through get_value_and_holder(type, false);
//    holder_constructed() is false until __init__ has run.
//    Used by constructed_value(): the casters below refuse an instance made
//    by __new__ alone, and the fast PatternLibrary.sample reads its library.
//    Pinned by test_frame.py (every use of an instance made by __new__ alone
//    is refused with TypeError), test_sample_many.py and test_refleaks.py.
// 2. pybind11's generic caster (detail::type_caster_base<T>) can be derived
//    from, and `typeinfo` is the bound class's registered detail::type_info.
//    The specialisations below must be seen by every file that converts these
//    classes, or two files would disagree on the conversion: the build
//    includes this header into every file of the module
//    (module/CMakeLists.txt), so none can miss it.
//    Pinned by the same tests as 1.
// 3. pybind11 keeps a method in its class's dict as an instancemethod
//    (PyInstanceMethod) wrapping the function object that does the dispatch.
//    Used by method_function() for call_as_method (module/fast_method.hpp).
//    Pinned by test_frame.py (the sample methods read as methods however
//    they are reached) and test_stub.py (the signatures of the methods).
// 4. The casters of pybind11 (detail::make_caster<T>) for int, double,
//    std::array<double, 3> and std::vector<T>, and the list caster's test of
//    what it takes (detail::object_is_convertible_to_std_vector), are what
//    the sequence reader and the row readers follow value for value.
//    Used by load_as_pybind11() and list_caster_takes().
//    Pinned by test_rows_parity.py (the readers against pybind11's own
//    casters, input by input, calls into the objects included) and
//    test_sample_many.py.
// 5. CPython's unstable PyUnstable_Long_IsCompact / PyUnstable_Long_CompactValue
//    read an int held in one internal digit without running code or failing.
//    Used by compact_int() for the fast sample paths.
//    Pinned by test_lookup.py and test_fuzz_lookup.py (every pip kind and
//    size, through the fast and the general path alike).
//
// Hand-made objects that use only public API but stand in for what pybind11
// would make, each behind its own named function:
// - kinetra.Offset3 (new_offset3, module/register_offset3.cpp): a heap type
//   from PyType_FromModuleAndSpec with a free list of its own instances.
//   Pinned by test_frame.py and test_refleaks.py. Allocated through the
//   type's own tp_alloc.
// - kinetra.method (call_as_method, module/fast_method.cpp): a method
//   descriptor (Py_TPFLAGS_METHOD_DESCRIPTOR, vectorcall) in front of a
//   pybind11 method; relies on 3 above. Pinned as 3.
// - kinetra.rows (RowsTarget, module/sample_many.cpp): the buffer owner a
//   sample_many result views. Pinned by test_sample_many.py.
// - front_module_function() below: a built-in function (a static PyMethodDef)
//   put in front of a pybind11 module function, which is kept for the life of
//   the process. Used by serve_sample_fast. Pinned by test_lookup.py and
//   test_stub.py (its signature is the pybind11 function's).
#pragma once

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <climits>
#include <stdexcept>
#include <string>

#include "user/pattern_library.hpp"
#include "user/sampled_pattern.hpp"
#include "user/sampled_recording.hpp"

static_assert(PYBIND11_VERSION_MAJOR == 3 && PYBIND11_VERSION_MINOR == 1,
              "module/internals.hpp was checked against pybind11 3.1 only");
static_assert(PY_VERSION_HEX >= 0x030E0000 && PY_VERSION_HEX < 0x030F0000,
              "module/internals.hpp was checked against CPython 3.14 only");

namespace kinetra::python::internals {

// ---- 1. a bound instance's value ---------------------------------------------

// The C++ value held by `self`, an instance of a pybind11 class (`type` its
// registered type, or null for the first one), or null when the value was
// never constructed (the instance was made by __new__ alone).
inline void* constructed_value(PyObject* self, const pybind11::detail::type_info* type) noexcept {
    auto* instance = reinterpret_cast<pybind11::detail::instance*>(self);
    const pybind11::detail::value_and_holder held = instance->get_value_and_holder(type, false);
    if (!held || !held.holder_constructed()) {
        return nullptr;
    }
    return held.value_ptr();
}

// Throws TypeError if `src` is an instance of the bound class `type` whose
// value was never constructed; anything else is left to the caster.
inline void require_initialised(pybind11::handle src, const pybind11::detail::type_info* type) {
    if (type == nullptr || !PyObject_TypeCheck(src.ptr(), type->type)) {
        return;
    }
    if (constructed_value(src.ptr(), type) == nullptr) {
        throw pybind11::type_error(std::string(type->type->tp_name) +
                                   " object is uninitialised (made by __new__ without __init__)");
    }
}

// ---- 3. a pybind11 method's function -------------------------------------------

// The instancemethod under which pybind11 keeps the method `name` of `cls`.
// Throws std::logic_error if there is none.
inline pybind11::object method_holder(pybind11::handle cls, const char* name) {
    pybind11::object dict = pybind11::reinterpret_steal<pybind11::object>(
        PyType_GetDict(reinterpret_cast<PyTypeObject*>(cls.ptr())));
    PyObject* held = dict ? PyDict_GetItemString(dict.ptr(), name) : nullptr;  // borrowed
    if (held == nullptr || !PyInstanceMethod_Check(held)) {
        throw std::logic_error(std::string("not a pybind11 method: ") + name);
    }
    return pybind11::reinterpret_borrow<pybind11::object>(held);
}

// The function object that a method holder (from method_holder) wraps.
inline PyObject* method_function(pybind11::handle holder) noexcept {
    return PyInstanceMethod_GET_FUNCTION(holder.ptr());
}

// ---- 4. pybind11's own conversions ------------------------------------------------

// `src` converted as pybind11 converts an argument of type T, into `out`;
// false when it does not convert.
template <typename T>
bool load_as_pybind11(pybind11::handle src, bool convert, T& out) {
    pybind11::detail::make_caster<T> caster;
    if (!caster.load(src, convert)) {
        return false;
    }
    out = static_cast<T&>(caster);
    return true;
}

// Whether pybind11's list caster considers `src` at all (no str, bytes,
// dict or other non-iterable), before it looks at sequence or iterable.
inline bool list_caster_takes(pybind11::handle src) {
    return pybind11::detail::object_is_convertible_to_std_vector(src);
}

// The docstring annotation pybind11 gives an argument of type T.
template <typename T>
inline constexpr auto annotation_of = pybind11::detail::make_caster<T>::name;

// ---- 5. small ints ----------------------------------------------------------------

// An int proper held in one internal digit (|value| < 2**30 on the usual
// builds) that fits an int, read without running code; false for anything
// else, with no error set.
inline bool compact_int(PyObject* object, int& out) noexcept {
    if (!PyLong_CheckExact(object)) {
        return false;
    }
    auto* number = reinterpret_cast<PyLongObject*>(object);
    if (!PyUnstable_Long_IsCompact(number)) {
        return false;
    }
    const Py_ssize_t value = PyUnstable_Long_CompactValue(number);
    if (value < INT_MIN || value > INT_MAX) {
        return false;
    }
    out = static_cast<int>(value);
    return true;
}

// ---- a built-in function in front of a pybind11 one ---------------------------------

// Replaces the module attribute `def.ml_name` (a pybind11 function) by a
// built-in function made from `def` (static: it must outlive the function),
// with the pybind11 function's docstring. Returns the pybind11 function, which
// the new one hands every call it does not take itself; it and the docstring
// are kept for the life of the process (the module body runs once, in one
// interpreter, and a late reader during shutdown still finds them).
inline PyObject* front_module_function(pybind11::module_& m, PyMethodDef& def) {
    pybind11::object pybind_function = m.attr(def.ml_name);
    pybind11::str doc = pybind_function.attr("__doc__");
    const char* text = PyUnicode_AsUTF8(doc.ptr());  // kept with `doc`
    if (text == nullptr) {
        throw pybind11::error_already_set();
    }
    def.ml_doc = text;
    pybind11::object fast = pybind11::reinterpret_steal<pybind11::object>(
        PyCMethod_New(&def, m.ptr(), m.attr("__name__").ptr(), nullptr));
    if (!fast) {
        throw pybind11::error_already_set();
    }
    m.attr(def.ml_name) = fast;
    static_cast<void>(doc.release());
    return pybind_function.release().ptr();
}

}  // namespace kinetra::python::internals

// ---- 2. bound objects reach native code only after their __init__ has run -----------
//
// An instance made by __new__ alone (SampledPattern.__new__(SampledPattern),
// or a Python subclass touching `self` before calling the base __init__) holds
// no native value. pybind11 would hand such an instance to a method, or copy it
// into a vector, as freshly allocated memory that was never constructed. These
// casters refuse it with TypeError instead. (Offset3 is a plain type of its own
// whose __new__ refuses, so it needs none.)
namespace pybind11::detail {

template <typename T>
class initialised_caster : public type_caster_base<T> {
public:
    bool load(handle src, bool convert) {
        kinetra::python::internals::require_initialised(src, this->typeinfo);
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
