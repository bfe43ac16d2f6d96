#include "module/convert.hpp"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "core/lookup.hpp"

namespace py = pybind11;

namespace kinetra::python {

namespace {

constexpr std::size_t FIELDS = 4;  // name, description, period_pips, dimensions

// The immutable objects of the default catalogue's entries, made on the first
// call and shared by every list handed out afterwards: the four keys and, per
// default record, its four values. Each call still builds new dicts and a new
// list. The objects live as long as the process (the module is never
// re-executed and runs in one interpreter only).
struct SharedEntries {
    std::array<py::object, FIELDS> keys;
    std::vector<std::array<py::object, FIELDS>> values;
};

std::array<py::object, FIELDS> entry_values(const RudimentInfo& info) {
    return {py::str(info.name.data(), info.name.size()),
            py::str(info.description.data(), info.description.size()),
            py::int_(info.period_pips), py::int_(info.dimensions)};
}

const SharedEntries& shared_entries() {
    // Never destroyed: the objects must not be released after the interpreter
    // has gone. A failed build (out of memory) leaves nothing behind and is
    // tried again on the next call.
    static SharedEntries* shared = nullptr;
    if (shared == nullptr) {
        auto* built = new SharedEntries;
        try {
            const char* names[FIELDS] = {"name", "description", "period_pips", "dimensions"};
            for (std::size_t k = 0; k < FIELDS; ++k) {
                PyObject* key = PyUnicode_InternFromString(names[k]);
                if (key == nullptr) {
                    throw py::error_already_set();
                }
                built->keys[k] = py::reinterpret_steal<py::object>(key);
            }
            const std::vector<RudimentInfo>& defaults = kinetra::catalogue();
            built->values.reserve(defaults.size());
            for (const RudimentInfo& info : defaults) {
                built->values.push_back(entry_values(info));
            }
        } catch (...) {
            delete built;
            throw;
        }
        // Building can run Python code (a collection), which may have come
        // back here and finished first; keep whichever was done first.
        if (shared == nullptr) {
            shared = built;
        } else {
            delete built;
        }
    }
    return *shared;
}

bool same_record(const RudimentInfo& a, const RudimentInfo& b) noexcept {
    return a.name.data() == b.name.data() && a.name.size() == b.name.size() &&
           a.description.data() == b.description.data() &&
           a.description.size() == b.description.size() && a.period_pips == b.period_pips &&
           a.dimensions == b.dimensions;
}

py::dict new_entry(const std::array<py::object, FIELDS>& keys,
                   const std::array<py::object, FIELDS>& values) {
    PyObject* entry = PyDict_New();
    if (entry == nullptr) {
        throw py::error_already_set();
    }
    py::dict dict = py::reinterpret_steal<py::dict>(entry);
    for (std::size_t k = 0; k < FIELDS; ++k) {
        if (PyDict_SetItem(entry, keys[k].ptr(), values[k].ptr()) != 0) {
            throw py::error_already_set();
        }
    }
    return dict;
}

}  // namespace

py::list catalogue_to_list(const std::vector<RudimentInfo>& records) {
    const SharedEntries& shared = shared_entries();
    const std::vector<RudimentInfo>& defaults = kinetra::catalogue();
    py::list list(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        // A record that views the default catalogue's own text at the same
        // place takes the shared objects; any other is converted afresh.
        const bool shared_record = i < defaults.size() && same_record(records[i], defaults[i]);
        py::dict entry = shared_record ? new_entry(shared.keys, shared.values[i])
                                       : new_entry(shared.keys, entry_values(records[i]));
        PyList_SET_ITEM(list.ptr(), static_cast<Py_ssize_t>(i), entry.release().ptr());
    }
    return list;
}

}  // namespace kinetra::python
