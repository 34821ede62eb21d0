#pragma once

// The environment for running the real programs in tests: no sound card, and
// (in the sanitized build) LeakSanitizer told to ignore what the GL driver, X
// and SDL's X11 backend keep until exit, so that only our own leaks fail a run.

#include <string>
#include <vector>

inline std::string LeakSuppressions()
{
    return std::string(OSTREL_SOURCE_DIR) + "/tests/robustness/lsan.supp";
}

inline std::vector<std::string> ProgramEnv()
{
    return {"SDL_AUDIODRIVER=dummy", "LSAN_OPTIONS=suppressions=" + LeakSuppressions() + ":print_suppressions=0"};
}
