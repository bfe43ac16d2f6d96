// class SampledRecording: named axes, rows of any width (read flat by
// module/convert_rows), tempo metadata.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/typing.h>

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "module/convert_rows.hpp"
#include "module/fast_method.hpp"
#include "module/register.hpp"
#include "user/sampled_recording.hpp"

namespace py = pybind11;

namespace kinetra::python {

namespace {

py::typing::List<double> row_to_list(std::span<const double> row) {
    py::typing::List<double> values(row.size());
    for (std::size_t i = 0; i < row.size(); ++i) {
        values[i] = py::float_(row[i]);
    }
    return values;
}

}  // namespace

void register_recording(py::module_& m) {
    py::class_<SampledRecording> cls(m, "SampledRecording");
    cls
        .def(py::init([](std::string name, std::vector<std::string> dimensions,
                         RecordingRows samples, double bpm, double beat_zero_seconds,
                         int start_pip) {
                 return SampledRecording(std::move(name), std::move(dimensions),
                                         std::move(samples.rows), bpm, beat_zero_seconds,
                                         start_pip);
             }),
             py::arg("name"), py::arg("dimensions"), py::arg("samples"), py::arg("bpm"),
             py::arg("beat_zero_seconds") = 0.0, py::arg("start_pip") = 0)
        .def_property_readonly("name", &SampledRecording::name)
        .def_property_readonly("dimensions", &SampledRecording::dimensions)
        .def_property_readonly("sample_count", &SampledRecording::sample_count)
        .def_property_readonly("bpm", &SampledRecording::bpm)
        .def_property_readonly("beat_zero_seconds", &SampledRecording::beat_zero_seconds)
        .def_property_readonly("start_pip", &SampledRecording::start_pip)
        .def(
            "sample",
            [](const SampledRecording& recording, int pip) {
                return row_to_list(recording.sample(pip));
            },
            py::arg("pip").noconvert());
    // Sampled in loops: called without a bound method object in between.
    call_as_method(cls, "sample");
}

}  // namespace kinetra::python
