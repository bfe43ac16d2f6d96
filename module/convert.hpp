// Result conversions shared by several registrations.
#pragma once

#include <pybind11/pybind11.h>

#include <vector>

#include "core/records.hpp"

namespace kinetra::python {

// A new list of new catalogue-entry dicts (keys name, description,
// period_pips, dimensions, in that order). Text is decoded strictly as UTF-8.
// Records of the default catalogue share their key and value objects, made
// once on the first call; other records (a library's own) are converted anew.
pybind11::list catalogue_to_list(const std::vector<RudimentInfo>& records);

}  // namespace kinetra::python
