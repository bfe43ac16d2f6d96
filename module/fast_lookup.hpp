// Sampling by name without pybind11's dispatch for the everyday call.
//
// `sample(name, pip_count)` and `PatternLibrary.sample(name, pip_count)` are
// called in loops, a name and a pip at a time, and pybind11's general
// dispatch (overloads, keyword matching, one caster per argument, loading
// `self`) costs more than finding and sampling the pattern. The functions
// below take the everyday call themselves: positional arguments only, a str
// or bytes name (subclasses included) that names a pattern, and a pip that is
// an int proper (no subclass) of small size. Anything else, a keyword, a
// bytearray, an __index__ object, a large or out-of-range pip, a name no
// pattern has, goes on, unchanged, to the pybind11 function registered
// first, which converts, samples or raises exactly as it always has.
#pragma once

#include <pybind11/pybind11.h>

namespace kinetra::python {

// Puts the fast call in front of the module's function `sample` (registered
// by pybind11 before): the module attribute becomes a built-in function with
// the same name and docstring.
void serve_sample_fast(pybind11::module_& m);

// Puts the fast call in front of the class's method `sample`, registered by
// pybind11 and made a plain method by call_as_method (module/fast_method.hpp).
void serve_library_sample_fast(pybind11::handle cls);

}  // namespace kinetra::python
