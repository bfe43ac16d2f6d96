// A test-only extension module, never installed: reads one Python object both
// through pybind11's own nested-vector conversions and through the module's
// row readers (module/convert_rows), so that Python tests can compare the two
// on the same odd inputs. None stands for "does not convert"; a Python error
// raised while reading propagates.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <vector>

#include "module/convert_rows.hpp"

namespace py = pybind11;

PYBIND11_MODULE(kinetra_rows_reference, m) {
    m.def("pattern_pybind11", [](py::handle src) -> py::object {
        py::detail::make_caster<std::vector<std::array<double, 3>>> caster;
        if (!caster.load(src, true)) {
            return py::none();
        }
        py::list rows;
        for (const std::array<double, 3>& row : static_cast<std::vector<std::array<double, 3>>&>(caster)) {
            rows.append(py::make_tuple(row[0], row[1], row[2]));
        }
        return rows;
    });
    m.def("pattern_rows", [](py::handle src) -> py::object {
        std::vector<kinetra::Offset3> samples;
        if (!kinetra::python::read_pattern_rows(src, true, samples)) {
            return py::none();
        }
        py::list rows;
        for (const kinetra::Offset3& s : samples) {
            rows.append(py::make_tuple(s.x, s.y, s.z));
        }
        return rows;
    });
    m.def("recording_pybind11", [](py::handle src) -> py::object {
        py::detail::make_caster<std::vector<std::vector<double>>> caster;
        if (!caster.load(src, true)) {
            return py::none();
        }
        return py::cast(static_cast<std::vector<std::vector<double>>&>(caster));
    });
    // (rows, width, uniform_rows, values) of the flat table.
    m.def("recording_rows", [](py::handle src) -> py::object {
        kinetra::FlatRows flat;
        if (!kinetra::python::read_recording_rows(src, true, flat)) {
            return py::none();
        }
        return py::make_tuple(flat.rows, flat.width, flat.uniform_rows, py::cast(flat.values));
    });
}
