#pragma once

#include <cstdlib>

// A broken promise of the code under test is a crash libFuzzer records.
inline void require(bool condition)
{
    if (!condition)
        std::abort();
}
