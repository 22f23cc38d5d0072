// Shared by the randomised tests: a small deterministic generator and its seed, printed and
// settable through KESTRUNE_FUZZ_SEED so that any failing run can be replayed exactly.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

struct Random {
    std::uint64_t state;

    std::uint64_t next()  // splitmix64
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t bound) { return bound == 0 ? 0 : static_cast<std::size_t>(next() % bound); }
    bool chance(unsigned percent) { return below(100) < percent; }
    template <typename T, std::size_t N>
    const T& pick(const T (&items)[N])
    {
        return items[below(N)];
    }
};

inline std::uint64_t randomisedSeed()
{
    if (const char* given = std::getenv("KESTRUNE_FUZZ_SEED"); given && *given)
        return std::strtoull(given, nullptr, 0);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<std::uint64_t>(now.QuadPart) ^ (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32);
}

inline int randomisedCases(int fallback)
{
    const char* given = std::getenv("KESTRUNE_FUZZ_CASES");
    return given && *given ? std::atoi(given) : fallback;
}

inline void reportRandomised(const char* target, long long cases, long long failures, std::uint64_t seed)
{
    std::printf("randomised %s: %lld cases, %lld failures, seed %llu\n", target, cases, failures,
                static_cast<unsigned long long>(seed));
    std::fflush(stdout);
}
