#include "module/convert.hpp"

#include <string>

#include "module/initialised.hpp"

namespace py = pybind11;

namespace kinetra::python {

py::list catalogue_to_list(const std::vector<RudimentInfo>& records) {
    py::list list(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const RudimentInfo& info = records[i];
        py::dict entry;
        entry["name"] = py::str(info.name.data(), info.name.size());
        entry["description"] = py::str(info.description.data(), info.description.size());
        entry["period_pips"] = info.period_pips;
        entry["dimensions"] = info.dimensions;
        list[i] = std::move(entry);
    }
    return list;
}

void require_initialised(py::handle src, const py::detail::type_info* type) {
    if (type == nullptr || !PyObject_TypeCheck(src.ptr(), type->type)) {
        return;
    }
    auto* instance = reinterpret_cast<py::detail::instance*>(src.ptr());
    const py::detail::value_and_holder held = instance->get_value_and_holder(type, false);
    if (!held || !held.holder_constructed()) {
        throw py::type_error(std::string(type->type->tp_name) +
                             " object is uninitialised (made by __new__ without __init__)");
    }
}

}  // namespace kinetra::python
