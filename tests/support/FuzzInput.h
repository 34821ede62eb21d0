#pragma once

// Helpers shared by the libFuzzer targets (header only: the targets are built
// by tests/support/run-fuzz.sh from single sources).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A broken property: a crash that libFuzzer reports with the input.
inline void fuzzCheck(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// The bytes as strings separated by NUL bytes (one string when there is none).
inline std::vector<std::string> splitAtNul(const uint8_t* data, size_t size)
{
    std::vector<std::string> parts;
    std::string all(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    for (;;) {
        size_t nul = all.find('\0', start);
        parts.push_back(all.substr(start, nul == std::string::npos ? std::string::npos : nul - start));
        if (nul == std::string::npos)
            return parts;
        start = nul + 1;
    }
}
