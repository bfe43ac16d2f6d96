// The module's init entry and body. pybind11 provides the version gate and the
// multi-phase definition; the body registers every name in a fixed order.
#include <pybind11/pybind11.h>

#include "core/pip.hpp"
#include "module/register.hpp"

namespace py = pybind11;

PYBIND11_MODULE(kinetra, m, py::multiple_interpreters::not_supported()) {
    m.doc() = "Integer-pip rhythmic position functions";
    m.attr("PIPS_PER_BEAT") = kinetra::PIPS_PER_BEAT;
    kinetra::python::register_recording(m);
    kinetra::python::register_offset3(m);
    kinetra::python::register_pattern(m);
    kinetra::python::register_library(m);
    kinetra::python::register_lookup(m);
    kinetra::python::register_rudiments(m);
}
