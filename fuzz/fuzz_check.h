// What every fuzz target shares.
#pragma once

#include <cstdio>
#include <cstdlib>

// A promise of the code under test that does not hold ends the run like a
// crash, so the fuzzer keeps the input that broke it.
inline void Require(bool holds, const char* promise)
{
    if (!holds) {
        std::fprintf(stderr, "Broken: %s\n", promise);
        std::abort();
    }
}
