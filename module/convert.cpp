#include "module/convert.hpp"

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

}  // namespace kinetra::python
