// Prints the particles' random sequence, one value a line: the first COUNT
// values after seeding with SEED. Built for Windows and for the browser too,
// so that those copies can be checked against glibc's rand() on Linux.
// Usage: print_random_sequence COUNT [SEED]

#include <cstdio>
#include <cstdlib>

#include "scene/RandomSequence.h"

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: print_random_sequence COUNT [SEED]\n");
        return 2;
    }
    const long count = std::strtol(argv[1], nullptr, 10);
    RandomSequence sequence(argc == 3 ? (uint32_t)std::strtoul(argv[2], nullptr, 10) : 0u);
    for (long i = 0; i < count; ++i) std::printf("%d\n", (int)sequence.Next());
    return std::fflush(stdout) == 0 ? 0 : 1;
}
