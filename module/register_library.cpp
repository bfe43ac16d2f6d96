// class PatternLibrary: each SampledPattern passed in is copied, so the
// caller's objects stay as they were.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <vector>

#include "module/convert.hpp"
#include "module/name_view.hpp"
#include "module/fast_lookup.hpp"
#include "module/register.hpp"
#include "user/pattern_library.hpp"

namespace py = pybind11;

namespace kinetra::python {

void register_library(py::module_& m) {
    py::class_<PatternLibrary> cls(m, "PatternLibrary");
    cls
        .def(py::init<std::vector<SampledPattern>>(), py::arg("patterns") = py::list())
        .def(
            "sample",
            [](const PatternLibrary& library, NameView name, int pip) {
                return library.sample(name.text, pip);
            },
            py::arg("name"), py::arg("pip_count").noconvert())
        .def("catalogue", [](const PatternLibrary& library) {
            return catalogue_to_list(library.catalogue());
        });
    // Sampled in loops: called without a bound method object in between, the
    // everyday call without pybind11's dispatch.
    serve_library_sample_fast(cls);
}

}  // namespace kinetra::python
