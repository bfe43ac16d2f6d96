// A class attribute that lets the interpreter call a pybind11 method without
// making a bound method object first.
//
// pybind11 keeps each method in the class as an `instancemethod`, which the
// interpreter cannot call as a method directly: `obj.sample(70)` builds a
// bound method, calls it and drops it, about a fifth of the cost of a
// sampling call. The wrapper below holds the same function and is marked as a
// method descriptor, so the call goes straight to the function with `obj` as
// its first argument. Everything else reads as before: looked up on the class
// it gives pybind11's instancemethod itself (as pybind11's metaclass does),
// looked up on an instance a bound method of the function.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>

namespace kinetra::python {

// How the wrapper calls the function: given the function and the call's
// arguments (the instance first), as PyObject_Vectorcall takes them.
using MethodCall = PyObject* (*)(PyObject* function, PyObject* const* args, std::size_t nargsf,
                                 PyObject* kwnames);

// Replaces the method `name` of `cls` (registered by pybind11) by the wrapper,
// which calls the function through `call`: PyObject_Vectorcall itself unless
// a method has a faster way for some calls (module/fast_lookup.hpp).
void call_as_method(pybind11::handle cls, const char* name, MethodCall call = PyObject_Vectorcall);

}  // namespace kinetra::python
