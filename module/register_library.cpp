// class PatternLibrary: each SampledPattern passed in is copied, so the
// caller's objects stay as they were.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <vector>

#include "module/convert.hpp"
#include "module/name_view.hpp"
#include "core/lookup.hpp"
#include "module/fast_method.hpp"
#include "module/register.hpp"
#include "module/sample_many.hpp"
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
        .def(
            "sample_many",
            [](const PatternLibrary& library, NameView name, PipArray& pips, OutArg out) {
                RowsTarget rows(out, pips.size());
                // Looked up once: the library's own pattern, else a default.
                const SampledPattern* own = library.find(name.text);
                return rows.fill(own != nullptr
                                     ? loop_source(own->samples())
                                     : RowSource{kinetra::default_sampler(name.text), {}},
                                 pips);
            },
            py::arg("name"), py::arg("pips").noconvert(), py::arg("out") = py::none())
        .def("catalogue", [](const PatternLibrary& library) {
            return catalogue_to_list(library.catalogue());
        });
    // Sampled in loops: called without a bound method object in between.
    call_as_method(cls, "sample");
}

}  // namespace kinetra::python
