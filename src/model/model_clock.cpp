// The one clock of the program: Unix seconds for stories, checks, stamps and log lines.
#include "model/model.h"

#include <windows.h>

std::int64_t currentUnixSeconds()
{
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<std::int64_t>((ticks - 116444736000000000ULL) / 10000000ULL);
}
