// The activity log: one "<unix seconds> <EVENT>" line per event in activity.log, with one previous
// generation. Logging never disturbs the caller: every failure is swallowed here.
#include "persistence/persistence.h"

#include <windows.h>

#include <cstdio>
#include <memory>

namespace {

constexpr std::uint64_t ACTIVITY_LOG_LIMIT = 131072;  // bytes; a larger log is rotated first

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

void rotateIfLarge(const std::wstring& path, const std::wstring& previous)
{
    // No log yet, or its type cannot be learnt: nothing to rotate.
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    WIN32_FILE_ATTRIBUTE_DATA info{};
    const bool sized = GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info) != FALSE;
    const std::uint64_t size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (!sized || size > ACTIVITY_LOG_LIMIT)
        MoveFileExW(path.c_str(), previous.c_str(), MOVEFILE_REPLACE_EXISTING);  // result ignored
}

}  // namespace

void logActivity(const std::wstring& dataFolder, std::string_view event)
{
    try {
        const std::wstring path = joinPath(dataFolder, L"activity.log");
        rotateIfLarge(path, joinPath(dataFolder, L"activity.previous.log"));
        // Text mode: the CRT writes each "\n" as CR LF.
        std::unique_ptr<std::FILE, FileCloser> file(_wfopen(path.c_str(), L"at"));
        if (!file)
            return;
        std::fprintf(file.get(), "%lld %.*s\n", static_cast<long long>(currentUnixSeconds()),
                     static_cast<int>(event.size()), event.data());
    } catch (...) {
        // Logging is best effort by design.
    }
}
