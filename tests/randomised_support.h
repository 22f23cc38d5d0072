// Shared by the randomised tests: a small deterministic generator, its seed (printed, and settable
// through KESTRUNE_FUZZ_SEED so that any failing run can be replayed exactly), the case count
// (KESTRUNE_FUZZ_CASES) and the reduction of a failing input.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

struct Random {
    std::uint64_t state;

    std::uint64_t next()  // splitmix64
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t count) { return count == 0 ? 0 : static_cast<std::size_t>(next() % count); }
    bool percent(unsigned chance) { return below(100) < chance; }
    template <typename T, std::size_t N>
    const T& pick(const T (&items)[N])
    {
        return items[below(N)];
    }
};

inline std::uint64_t seedFromEnvironment()
{
    if (const char* text = std::getenv("KESTRUNE_FUZZ_SEED"); text != nullptr && *text != '\0')
        return std::strtoull(text, nullptr, 0);
    return static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count())
        ^ static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) << 17;
}

inline std::size_t casesFromEnvironment(std::size_t fallback)
{
    if (const char* text = std::getenv("KESTRUNE_FUZZ_CASES"); text != nullptr && *text != '\0')
        return static_cast<std::size_t>(std::strtoull(text, nullptr, 10));
    return fallback;
}

// Drops ever smaller pieces of the input while the fault persists, within a budget of reads: a large
// feed is cut down by big pieces first and never read byte by byte from its full size.
template <typename StillFails>
std::string reduced(std::string input, StillFails stillFails, std::size_t budget = 3000)
{
    for (std::size_t piece = input.size() / 2; piece >= 1 && budget > 0; piece /= 2) {
        for (std::size_t at = 0; at + piece <= input.size() && budget > 0; --budget) {
            std::string candidate = input.substr(0, at) + input.substr(at + piece);
            if (stillFails(candidate))
                input.swap(candidate);
            else
                at += piece;
        }
    }
    return input;
}

inline std::string escaped(std::string_view bytes)
{
    std::string text;
    for (const unsigned char byte : bytes) {
        if (byte >= 0x20 && byte < 0x7F && byte != '\\' && byte != '"') {
            text.push_back(static_cast<char>(byte));
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            text += hex;
        }
    }
    return text;
}

// Printed, and kept in the test report as a "figure" property, which the run's summary lists.
inline void reportFigure(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    ::testing::Test::RecordProperty("figure", line);
}

inline void reportRandomised(const char* target, long long cases, long long failures, std::uint64_t seed)
{
    char line[200];
    std::snprintf(line, sizeof line, "randomised %s: %lld cases, %lld failures, seed %llu", target, cases, failures,
                  static_cast<unsigned long long>(seed));
    reportFigure(line);
}
