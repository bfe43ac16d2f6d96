// The one reader of Python sequences: the row readers (module/convert_rows)
// and the pips of batch sampling (module/sample_many) take a sequence argument
// through it, under the rule pybind11's own list caster follows, so that they
// accept exactly what a std::vector argument would:
// - str, bytes, dict and anything that is not iterable do not convert;
// - a sequence (list, tuple, range, a class with __len__ and __getitem__, ...)
//   is read as it is: len() once, then its elements in order;
// - any other iterable (a generator, set, dict view, map or zip) converts
//   only where the parameter allows conversion: it is then consumed whole
//   into a tuple first, and that is read; without conversion it is refused
//   untouched.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>

#include "module/internals.hpp"

namespace kinetra::python {

// Visits the elements of `src` by the rule above: false when `src` does not
// convert or `visit` refuses an element (reading stops there); throws
// pybind11::error_already_set when Python raised while `src` was read.
// `size_hint` receives the length before the first element. An exact list is
// walked by index against its current length, which is what its iterator
// does (a converted element may change the list), each element held while it
// is visited; an exact tuple cannot change.
template <typename SizeHint, typename Visit>
bool read_sequence(pybind11::handle src, bool convert, SizeHint&& size_hint, Visit&& visit) {
    if (!internals::list_caster_takes(src)) {
        return false;
    }
    pybind11::object sequence;
    if (pybind11::isinstance<pybind11::sequence>(src)) {
        sequence = pybind11::reinterpret_borrow<pybind11::object>(src);
    } else if (!convert) {
        return false;
    } else {
        sequence = pybind11::tuple(pybind11::reinterpret_borrow<pybind11::iterable>(src));
    }
    size_hint(pybind11::reinterpret_borrow<pybind11::sequence>(sequence).size());

    PyObject* seq = sequence.ptr();
    if (PyList_CheckExact(seq)) {
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(seq); ++i) {
            pybind11::object element =
                pybind11::reinterpret_borrow<pybind11::object>(PyList_GET_ITEM(seq, i));
            if (!visit(pybind11::handle(element))) {
                return false;
            }
        }
        return true;
    }
    if (PyTuple_CheckExact(seq)) {
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(seq); ++i) {
            if (!visit(pybind11::handle(PyTuple_GET_ITEM(seq, i)))) {
                return false;
            }
        }
        return true;
    }
    for (pybind11::handle element : sequence) {
        if (!visit(element)) {
            return false;
        }
    }
    return true;
}

}  // namespace kinetra::python
