#pragma once

// The environment for running the real programs in tests: no sound card, and
// in the sanitized build no leak report at exit. Leaks are judged in one place
// only, the leak check, because the GL driver's own leaks cannot be told apart
// by a suppression list once the driver is unloaded (see LeakCheckTest.cpp).

#include <string>
#include <vector>

inline std::string LeakSuppressions()
{
    return std::string(OSTREL_SOURCE_DIR) + "/tests/robustness/lsan.supp";
}

inline std::vector<std::string> ProgramEnv()
{
    return {"SDL_AUDIODRIVER=dummy", "ASAN_OPTIONS=detect_leaks=0"};
}
