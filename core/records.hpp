// The plain records every pattern speaks: a position and a catalogue entry.
#pragma once

#include <cstdint>
#include <string_view>

namespace kinetra {

// A position in the pattern's normalised space; each axis within -1.0 .. 1.0.
struct Offset3 {
    double x;
    double y;
    double z;
};

// A catalogue record. It never owns its text: the views point at constant text
// (defaults) or into the strings of the user pattern that produced it.
struct RudimentInfo {
    std::string_view name;
    std::string_view description;
    std::uint16_t period_pips;
    std::uint8_t dimensions;  // highest axis that moves: x = 1, y = 2, z = 3
};

// The shape of every pattern: pure and total, any pip in, a position out.
using SampleFunction = Offset3(int pip);

}  // namespace kinetra
