// The save path killed at random moments: a child process saves generation after generation into
// a real folder, this test terminates it mid-flight and runs the start-up load chain on what is left.
#include "persistence/persistence.h"
#include "persistence_kill_support.h"
#include "persistence_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

constexpr std::int64_t STAMP = 1700000000;

std::wstring besideThisExecutable(const wchar_t* name)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

bool anyFileLike(const TempFolder& folder, const wchar_t* pattern)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(folder.file(pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

double secondsSince(LARGE_INTEGER start)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void spinFor(double seconds)
{
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    while (secondsSince(start) < seconds)
        YieldProcessor();
}

int envOr(const char* name, int fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? std::atoi(value) : fallback;
}

TEST(KilledMidSave, EveryKillLeavesTheLastSaveOrTheOneInFlight)
{
    const int kills = envOr("KESTRUNE_KILLS", 200);
    const unsigned seed = static_cast<unsigned>(envOr("KESTRUNE_KILL_SEED", static_cast<int>(GetTickCount() & 0x7fffffff)));
    std::mt19937 random(seed);
    TempFolder folder;
    const std::wstring library = folder.file(L"library.json");

    // A large and a small save timed here set the range of kill moments: up to three saves of the
    // average length after the child is ready.
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    ASSERT_TRUE(storeLibrary(killTestLibrary(1), library));
    ASSERT_TRUE(storeLibrary(killTestLibrary(0), library));
    const double saveSeconds = secondsSince(start) / 2;

    const std::wstring mappingName = L"Local\\kestrune-kill-test-" + std::to_wstring(GetCurrentProcessId());
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(SaveLoopRecord),
                                        mappingName.c_str());
    ASSERT_NE(mapping, nullptr);
    auto* record = static_cast<SaveLoopRecord*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(SaveLoopRecord)));
    ASSERT_NE(record, nullptr);

    std::int64_t onDisk = 0;
    int torn = 0, lost = 0, midWrite = 0, recovered = 0;
    std::uniform_real_distribution<double> moment(0.0, 3.0 * saveSeconds);
    for (int kill = 0; kill < kills; ++kill) {
        record->started = -1;
        record->completed = -1;
        std::wstring command = L"\"" + besideThisExecutable(L"persistence_save_loop.exe") + L"\" \"" + folder.path
                             + L"\" " + mappingName + L" " + std::to_wstring(onDisk + 1);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION child = {};
        // Starting a process can fail for a moment while the system is busy (a fresh Wine prefix in CI):
        // a few tries before it counts as a failure.
        bool started = false;
        for (int attempt = 0; attempt < 60 && !started; ++attempt) {
            started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                     &child) != FALSE;
            if (!started)
                Sleep(250);
        }
        ASSERT_TRUE(started) << "the save loop could not be started, error " << GetLastError();
        while (record->started < 0 && WaitForSingleObject(child.hProcess, 1) == WAIT_TIMEOUT) {
        }
        ASSERT_GE(record->started, 0) << "the save loop ended before its first save";
        spinFor(moment(random));
        TerminateProcess(child.hProcess, 9);
        WaitForSingleObject(child.hProcess, INFINITE);
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);

        const std::int64_t completed = record->completed >= 0 ? record->completed : onDisk;
        const std::int64_t inFlight = record->started;
        midWrite += fileExists(library + L".tmp") || fileExists(library + L".bak.tmp");

        const LoadResult result = loadLibrary(folder.path, STAMP + kill);
        const std::int64_t generation = result.library.settings.lastCheck;
        const bool known = generation == completed || generation == inFlight;
        const bool intact = known && result.library == killTestLibrary(generation);
        const bool clean = result.libraryPath == library && result.status != UiStringKey::RecoveredBackup
                        && result.status != UiStringKey::RecoveryLibraryOpen
                        && !anyFileLike(folder, L"library-damaged-*") && !anyFileLike(folder, L"recovery-*");
        recovered += result.status == UiStringKey::LibraryRecovered;
        lost += result.library.stories.size() != KILL_TEST_STORIES;
        torn += !(intact && clean);
        EXPECT_TRUE(intact && clean) << "kill " << kill << " (seed " << seed << "): generation " << generation
                                     << ", last completed " << completed << ", in flight " << inFlight << ", status "
                                     << static_cast<int>(result.status);
        if (result.mustSave) {
            ASSERT_TRUE(storeLibrary(result.library, result.libraryPath));
        }
        onDisk = std::max(generation, completed);
        if (!(intact && clean))
            break;
    }
    UnmapViewOfFile(record);
    CloseHandle(mapping);
    char line[240];
    std::snprintf(line, sizeof line,
                  "kill-mid-save: %d kills, %d torn, %d lost (%d left a save half done, %d recovered at start-up; "
                  "save %.1f ms, seed %u)",
                  kills, torn, lost, midWrite, recovered, saveSeconds * 1000.0, seed);
    std::printf("%s\n", line);
    ::testing::Test::RecordProperty("figure", line);
}

}  // namespace
