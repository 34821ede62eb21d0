#include "SmoothNoise.h"

#include <cmath>

namespace smoothnoise {

static uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed)
{
    uint32_t h = seed * 0x9E3779B9u ^ x * 0x85EBCA6Bu ^ y * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

static void Gradient(int ix, int iy, int period, uint32_t seed, float& gx, float& gy)
{
    // Wrapping the lattice coordinates is what makes the tile seamless.
    const int wx = ((ix % period) + period) % period;
    const int wy = ((iy % period) + period) % period;
    const float angle = (float)(Hash((uint32_t)wx, (uint32_t)wy, seed) & 0xFFFFu) / 65536.0f *
                        6.28318531f;
    gx = std::cos(angle);
    gy = std::sin(angle);
}

static float Fade(float t)
{
    return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f);
}

float Periodic(float x, float y, int period, uint32_t seed)
{
    const int x0 = (int)std::floor(x);
    const int y0 = (int)std::floor(y);
    const float fx = x - (float)x0;
    const float fy = y - (float)y0;

    float corner[4];
    for (int j = 0; j < 2; ++j) {
        for (int i = 0; i < 2; ++i) {
            float gx, gy;
            Gradient(x0 + i, y0 + j, period, seed, gx, gy);
            corner[j * 2 + i] = gx * (fx - (float)i) + gy * (fy - (float)j);
        }
    }
    const float u = Fade(fx);
    const float v = Fade(fy);
    const float bottom = corner[0] + (corner[1] - corner[0]) * u;
    const float top = corner[2] + (corner[3] - corner[2]) * u;
    return bottom + (top - bottom) * v;
}

std::vector<uint8_t> MakeImage(int size)
{
    static const int kPeriods[4] = {4, 8, 16, 32};
    std::vector<uint8_t> pixels((size_t)size * size * 4);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            for (int channel = 0; channel < 4; ++channel) {
                const int period = kPeriods[channel];
                const float cell = (float)size / (float)period;
                const float n = Periodic(((float)x + 0.5f) / cell, ((float)y + 0.5f) / cell, period,
                                         (uint32_t)(channel + 1));
                float value = 0.5f + n * 0.70710678f;
                value = value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
                pixels[((size_t)y * size + x) * 4 + channel] = (uint8_t)std::lround(value * 255.0f);
            }
        }
    }
    return pixels;
}

}  // namespace smoothnoise
