// class SampledPattern: rows of exactly three numbers in, one Offset3 per row.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "module/register.hpp"
#include "user/sampled_pattern.hpp"

namespace py = pybind11;

namespace kinetra::python {

namespace {

SampledPattern make_pattern(std::string name, std::string description,
                            const std::vector<std::array<double, 3>>& rows) {
    std::vector<Offset3> samples;
    samples.reserve(rows.size());
    for (const std::array<double, 3>& row : rows) {
        samples.push_back(Offset3{row[0], row[1], row[2]});
    }
    return SampledPattern(std::move(name), std::move(description), std::move(samples));
}

}  // namespace

void register_pattern(py::module_& m) {
    py::class_<SampledPattern>(m, "SampledPattern")
        .def(py::init(&make_pattern), py::arg("name"), py::arg("description"), py::arg("samples"))
        .def_property_readonly("name", &SampledPattern::name)
        .def_property_readonly("description", &SampledPattern::description)
        .def_property_readonly("period_pips", &SampledPattern::period_pips)
        .def("sample", &SampledPattern::sample, py::arg("pip_count").noconvert());
}

}  // namespace kinetra::python
