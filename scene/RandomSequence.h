#pragma once

#include <cstdint>

// The particles' pseudo-random sequence. Every C library has its own rand()
// (glibc's, msvcrt's, the browser's), so the production carries one: glibc's
// additive feedback generator written out, which after Seed(s) yields
// exactly what rand() yields on glibc after srand(s), on every platform.
//
// The state is 31 words, first filled by the Lehmer generator
// x[i] = 16807 * x[i-1] mod (2^31 - 1) from the seed (0 counts as 1); after
// that each word is x[i] = x[i-31] + x[i-3] modulo 2^32, and an output is a
// new word shifted right by one, in [0, 2^31 - 1]. The first 310 outputs are
// thrown away, so that the seed's traces are gone.
class RandomSequence {
public:
    explicit RandomSequence(uint32_t seed = 1) { Seed(seed); }
    void Seed(uint32_t seed);
    int32_t Next();

private:
    uint32_t words[31];
    int front = 3;  // the word written next, x[i-31] before it is replaced
    int rear = 0;   // x[i-3], three words behind
};
