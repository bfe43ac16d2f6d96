// A test-only extension module, never installed: reads one Python object both
// through pybind11's own vector conversions and through the module's readers
// (the row readers of module/convert_rows and the pip reader of
// module/sample_many, all built on module/sequence.hpp), with or without
// conversion, so that Python tests can compare the two on the same odd inputs.
// None stands for "does not convert"; a Python error raised while reading
// propagates.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <vector>

#include "module/convert_rows.hpp"
#include "module/internals.hpp"
#include "module/sample_many.hpp"

namespace py = pybind11;
using kinetra::python::internals::load_as_pybind11;

PYBIND11_MODULE(kinetra_rows_reference, m) {
    m.def("pattern_pybind11", [](py::handle src, bool convert) -> py::object {
        std::vector<std::array<double, 3>> rows;
        if (!load_as_pybind11(src, convert, rows)) {
            return py::none();
        }
        py::list out;
        for (const std::array<double, 3>& row : rows) {
            out.append(py::make_tuple(row[0], row[1], row[2]));
        }
        return out;
    });
    m.def("pattern_rows", [](py::handle src, bool convert) -> py::object {
        std::vector<kinetra::Offset3> samples;
        if (!kinetra::python::read_pattern_rows(src, convert, samples)) {
            return py::none();
        }
        py::list out;
        for (const kinetra::Offset3& s : samples) {
            out.append(py::make_tuple(s.x, s.y, s.z));
        }
        return out;
    });
    m.def("recording_pybind11", [](py::handle src, bool convert) -> py::object {
        std::vector<std::vector<double>> rows;
        if (!load_as_pybind11(src, convert, rows)) {
            return py::none();
        }
        return py::cast(rows);
    });
    // (rows, width, uniform_rows, values) of the flat table.
    m.def("recording_rows", [](py::handle src, bool convert) -> py::object {
        kinetra::FlatRows flat;
        if (!kinetra::python::read_recording_rows(src, convert, flat)) {
            return py::none();
        }
        return py::make_tuple(flat.rows, flat.width, flat.uniform_rows, py::cast(flat.values));
    });
    m.def("pips_pybind11", [](py::handle src, bool convert) -> py::object {
        std::vector<int> pips;
        if (!load_as_pybind11(src, convert, pips)) {
            return py::none();
        }
        return py::cast(pips);
    });
    m.def("pips", [](py::handle src, bool convert) -> py::object {
        std::vector<int> pips;
        if (!kinetra::python::read_pips(src, convert, pips)) {
            return py::none();
        }
        return py::cast(pips);
    });
}
