#include "scene/RandomSequence.h"

void RandomSequence::Seed(uint32_t seed)
{
    if (seed == 0) seed = 1;
    words[0] = seed;
    // 16807 * x mod (2^31 - 1) without overflow (Schrage's method). A seed
    // above 2^31 - 1 enters the first step as the negative 32-bit number it
    // is to glibc.
    int64_t x = (int32_t)seed;
    for (int i = 1; i < 31; ++i) {
        const int64_t hi = x / 127773;
        const int64_t lo = x % 127773;
        x = 16807 * lo - 2836 * hi;
        if (x < 0) x += 2147483647;
        words[i] = (uint32_t)x;
    }
    front = 3;
    rear = 0;
    for (int i = 0; i < 310; ++i) Next();
}

int32_t RandomSequence::Next()
{
    words[front] += words[rear];
    const int32_t out = (int32_t)(words[front] >> 1);
    front = front == 30 ? 0 : front + 1;
    rear = rear == 30 ? 0 : rear + 1;
    return out;
}
