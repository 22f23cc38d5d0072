// Driving the real program for timing: clicks and wheel notches without the UI driver's settling
// pauses, its state, its memory, an orderly end, and the bare decode of its plate 0.
#include "window_bench.h"

#include "wic_decode.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>

namespace bench {

namespace {

LPARAM pointParameter(int x, int y)
{
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y)));
}

double mebibytes(SIZE_T bytes)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

}  // namespace

void postClick(const ui::Program& program, int id)
{
    PostMessageW(program.window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(ui::control(program, id)));
}

void sendCommand(const ui::Program& program, int id)
{
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(program.window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(ui::control(program, id)), SMTO_NORMAL, 30000, &ignored);
}

void postMouseClick(const ui::Program& program, int x, int y)
{
    PostMessageW(program.window, WM_LBUTTONDOWN, MK_LBUTTON, pointParameter(x, y));
    PostMessageW(program.window, WM_LBUTTONUP, 0, pointParameter(x, y));
}

void sendWheel(const ui::Program& program, int x, int y, int delta)
{
    POINT screen{x, y};
    ClientToScreen(program.window, &screen);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(program.window, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(static_cast<short>(delta))),
                        pointParameter(screen.x, screen.y), SMTO_NORMAL, 30000, &ignored);
}

double stateNumber(const ui::State& state, const std::string& name)
{
    const std::string value = state[name];
    return value.empty() ? -1 : std::strtod(value.c_str(), nullptr);
}

bool waitForState(const ui::Program& program, const std::string& name, const std::string& value,
                  std::chrono::milliseconds timeout)
{
    return ui::waitUntil([&] { return ui::queryState(program)[name] == value; }, timeout);
}

MemoryFigures memoryOf(HANDLE process)
{
    MemoryFigures figures;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters))) {
        figures.workingSetMiB = mebibytes(counters.WorkingSetSize);
        figures.peakWorkingSetMiB = mebibytes(counters.PeakWorkingSetSize);
        figures.privateMiB = mebibytes(counters.PrivateUsage);
    }
    return figures;
}

void endInOrder(ui::Program& program)
{
    if (!program.process)
        return;
    if (program.window)
        PostMessageW(program.window, WM_ENDSESSION, TRUE, 0);
    // A program that does not end in time is killed when its record goes.
    WaitForSingleObject(program.process, 30000);
}

std::wstring moduleFolder()
{
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(0, path.find_last_of(L"\\/"));
}

int runBareDecodeChild(const std::wstring& programPath, const std::wstring& resultPath)
{
    const HMODULE module =
        LoadLibraryExW(programPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module)
        return 1;
    const void* bytes = nullptr;
    std::size_t size = 0;
    const double ms = resourceBytes(module, 301, &bytes, &size) ? bareWicDecodeMilliseconds(bytes, size) : -1;
    FreeLibrary(module);
    FILE* out = _wfopen(resultPath.c_str(), L"w");
    if (!out)
        return 1;
    std::fprintf(out, "%.3f %.3f\n", ms, memoryOf(GetCurrentProcess()).peakWorkingSetMiB);
    std::fclose(out);
    return ms < 0 ? 1 : 0;
}

BareDecode timeBareDecodeOfPlate0(const std::wstring& programPath)
{
    BareDecode result;
    std::wstring self(32768, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    const std::wstring resultPath = moduleFolder() + L"\\bare-decode-result.txt";
    DeleteFileW(resultPath.c_str());
    std::wstring commandLine = L"\"" + self + L"\" " + BARE_DECODE_OPTION + L" \"" + programPath + L"\" \"" + resultPath + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(self.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return result;
    CloseHandle(process.hThread);
    if (WaitForSingleObject(process.hProcess, 180000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    if (FILE* in = _wfopen(resultPath.c_str(), L"r")) {
        if (std::fscanf(in, "%lf %lf", &result.ms, &result.peakMiB) != 2)
            result = BareDecode{};
        std::fclose(in);
    }
    DeleteFileW(resultPath.c_str());
    return result;
}

}  // namespace bench
