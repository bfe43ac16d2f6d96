#include <tuple>

#include "core/records.hpp"
#include "module/register.hpp"

namespace py = pybind11;

namespace kinetra::python {

void register_offset3(py::module_& m) {
    // No constructor: instances only come back from sampling.
    py::class_<Offset3>(m, "Offset3")
        .def_readonly("x", &Offset3::x)
        .def_readonly("y", &Offset3::y)
        .def_readonly("z", &Offset3::z)
        .def("as_tuple", [](const Offset3& o) { return std::tuple<double, double, double>(o.x, o.y, o.z); });
}

}  // namespace kinetra::python
