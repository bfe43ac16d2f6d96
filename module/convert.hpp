// Result conversions shared by several registrations.
#pragma once

#include <pybind11/pybind11.h>

#include <vector>

#include "core/records.hpp"

namespace kinetra::python {

// A new list of catalogue-entry dicts (keys name, description, period_pips,
// dimensions, in that order). Text is decoded strictly as UTF-8.
pybind11::list catalogue_to_list(const std::vector<RudimentInfo>& records);

}  // namespace kinetra::python
