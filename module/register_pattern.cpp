// class SampledPattern: rows of exactly three numbers in, one Offset3 per row
// (read by module/convert_rows).
#include <pybind11/pybind11.h>

#include <string>
#include <utility>

#include "module/convert_rows.hpp"
#include "module/fast_method.hpp"
#include "module/register.hpp"
#include "module/sample_many.hpp"
#include "user/sampled_pattern.hpp"

namespace py = pybind11;

namespace kinetra::python {

namespace {

SampledPattern make_pattern(std::string name, std::string description, PatternRows rows) {
    return SampledPattern(std::move(name), std::move(description), std::move(rows.samples));
}

}  // namespace

void register_pattern(py::module_& m) {
    py::class_<SampledPattern> cls(m, "SampledPattern");
    cls
        .def(py::init(&make_pattern), py::arg("name"), py::arg("description"), py::arg("samples"))
        .def_property_readonly("name", &SampledPattern::name)
        .def_property_readonly("description", &SampledPattern::description)
        .def_property_readonly("period_pips", &SampledPattern::period_pips)
        .def("sample", &SampledPattern::sample, py::arg("pip_count").noconvert())
        .def(
            "sample_many",
            [](const SampledPattern& pattern, PipArray& pips, OutArg out) {
                RowsTarget rows(out, pips.size());
                return rows.fill(loop_source(pattern.samples()), pips);
            },
            py::arg("pips").noconvert(), py::arg("out") = py::none());
    // Sampled in loops: called without a bound method object in between.
    call_as_method(cls, "sample");
}

}  // namespace kinetra::python
