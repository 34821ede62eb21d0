#pragma once

#include <cstdint>
#include <vector>

// Tileable smooth noise for the grid's displacement: one gradient-noise octave
// per channel (r, g, b, a at 4, 8, 16 and 32 cells per tile), each from its own
// seed, so the channels are independent and every one wraps seamlessly.
namespace smoothnoise {

// Gradient noise at (x, y) in lattice cells, periodic with `period` cells in
// both directions; roughly -0.7..0.7.
float Periodic(float x, float y, int period, uint32_t seed);

// A size x size RGBA image, rows top to bottom; size should be a multiple of 32.
std::vector<uint8_t> MakeImage(int size);

}  // namespace smoothnoise
