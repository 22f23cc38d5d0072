// Time from process start to the first completed frame of Kestrune in UI test mode (the process
// then goes idle in its message loop), with the seed library and with a 600-story library, as
// ratios to a bare window process started and measured the same way.
#include "persistence/persistence.h"
#include "shell/shell.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int REPETITIONS = 3;
constexpr wchar_t BARE_CLASS[] = L"KestruneBenchBareWindow";  // first_paint_baseline.exe

// ---------------------------------------------------------------------------------------------
// Measuring a child process

std::wstring modulePath()
{
    std::vector<wchar_t> buffer(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::wstring(buffer.data(), length);
}

// Milliseconds from CreateProcess to the child's first wait for input; -1 on failure.
double timeToIdle(const std::wstring& exe, const std::wstring& arguments, const wchar_t* windowClass)
{
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const auto start = std::chrono::steady_clock::now();
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return -1;
    const DWORD idle = WaitForInputIdle(process.hProcess, 60000);
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;

    // End the child the way the end of a Windows session does, so it shuts down in order.
    HWND window = nullptr;
    for (int i = 0; i < 100 && !window; ++i) {
        window = FindWindowW(windowClass, nullptr);
        if (!window)
            Sleep(20);
    }
    if (window)
        PostMessageW(window, WM_ENDSESSION, TRUE, 0);
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return idle == 0 ? elapsed.count() : -1;
}

double medianTimeToIdle(const std::wstring& exe, const std::wstring& arguments, const wchar_t* windowClass)
{
    std::vector<double> runs;
    for (int i = 0; i < REPETITIONS; ++i)
        runs.push_back(timeToIdle(exe, arguments, windowClass));
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

// ---------------------------------------------------------------------------------------------
// Libraries in the UI-test data folder

std::wstring uiTestDataFolder()
{
    PWSTR appData = nullptr;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &appData)))
        return {};
    std::wstring folder = joinPath(appData, dataFolderName(true));
    CoTaskMemFree(appData);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

Library largeLibrary()
{
    Library library = buildSeedLibrary();
    std::string body;
    while (body.size() < 3000)
        body += "Ocean sensors recorded a warming trend along the shelf; scientists compare it with past seasons. ";
    for (std::size_t i = library.stories.size(); i < MAX_STORIES; ++i) {
        const std::string url = "https://www.nasa.gov/news-release/bench-story-" + std::to_string(i) + "/";
        makeSeedStory(library, "Field report number " + std::to_string(i) + " from the coastal survey", body, url,
                      -1, "NASA", 1700000000 + static_cast<std::int64_t>(i) * 3600);
    }
    sortStories(library.stories);
    return library;
}

}  // namespace

int main()
{
    const std::wstring self = modulePath();
    const std::wstring baseline = parentFolder(self) + L"\\first_paint_baseline.exe";
    const std::wstring buildFolder = parentFolder(parentFolder(parentFolder(self)));
    const std::wstring kestrune = buildFolder + L"\\src\\shell\\Kestrune.exe";
    const std::wstring folder = uiTestDataFolder();
    if (folder.empty()) {
        std::puts("no local application-data folder");
        return 1;
    }
    const std::wstring libraryPath = joinPath(folder, L"library.json");

    const double bare = medianTimeToIdle(baseline, L"", BARE_CLASS);
    // The method measures up to the wait in the message loop, not up to window creation.
    const double delayed = medianTimeToIdle(baseline, L"--delay", BARE_CLASS);
    if (!storeLibrary(buildSeedLibrary(), libraryPath)) {
        std::puts("could not write the seed library");
        return 1;
    }
    const double seed = medianTimeToIdle(kestrune, L"--ui-test", windowClassName(true));
    if (!storeLibrary(largeLibrary(), libraryPath)) {
        std::puts("could not write the 600-story library");
        return 1;
    }
    const double large = medianTimeToIdle(kestrune, L"--ui-test", windowClassName(true));
    storeLibrary(buildSeedLibrary(), libraryPath);

    std::printf("baseline (bare window process to idle): %.1f ms\n", bare);
    std::printf("method check, baseline waiting 500 ms before its loop: %.1f ms\n", delayed);
    std::printf("Kestrune, seed library, to first frame:  %.1f ms  (%.2f x baseline)\n", seed, seed / bare);
    std::printf("Kestrune, 600 stories, to first frame:   %.1f ms  (%.2f x baseline)\n", large, large / bare);
    return bare > 0 && seed > 0 && large > 0 ? 0 : 1;
}
