// One registration function per Python class or group. The module body calls
// them in a fixed order, which is visible in the generated signatures.
#pragma once

#include <pybind11/pybind11.h>

#include "module/internals.hpp"
#include "module/offset3.hpp"

namespace kinetra::python {

void register_recording(pybind11::module_& m);  // class SampledRecording
void register_offset3(pybind11::module_& m);    // class Offset3
void register_pattern(pybind11::module_& m);    // class SampledPattern
void register_library(pybind11::module_& m);    // class PatternLibrary
void register_lookup(pybind11::module_& m);     // sample, catalogue
void register_rudiments(pybind11::module_& m);  // the fifteen built-ins

}  // namespace kinetra::python
