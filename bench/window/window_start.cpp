// Process start to first frame, taken the same way for the program and for the bare window
// process: from CreateProcess until its main window is visible and nothing of it is left to paint.
#include "window_bench.h"

namespace bench {

namespace {

struct FindContext {
    DWORD processId;
    const wchar_t* windowClass;
    HWND found;
};

BOOL CALLBACK findWindowOf(HWND window, LPARAM parameter)
{
    auto* context = reinterpret_cast<FindContext*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (owner == context->processId && wcscmp(className, context->windowClass) == 0) {
        context->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND windowOf(DWORD processId, const wchar_t* windowClass)
{
    FindContext context{processId, windowClass, nullptr};
    EnumWindows(findWindowOf, reinterpret_cast<LPARAM>(&context));
    return context.found;
}

}  // namespace

double timeToFirstFrame(const std::wstring& exe, const std::wstring& arguments, const wchar_t* windowClass)
{
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    // The process started before leaves work behind it for a while (its teardown, the X server's
    // and wineserver's); each start is timed once that has passed.
    Sleep(500);
    const auto start = Clock::now();
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return -1;
    CloseHandle(process.hThread);

    double result = -1;
    HWND window = nullptr;
    const auto deadline = start + std::chrono::seconds(60);
    while (Clock::now() < deadline && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
        if (!window)
            window = windowOf(process.dwProcessId, windowClass);
        // A shown window has its whole client area to paint until its first frame is done.
        if (window && IsWindowVisible(window)) {
            if (waitUntilPainted(window, true, std::chrono::seconds(60)))
                result = millisecondsSince(start);
            break;
        }
        Sleep(1);
    }

    ui::Program program;
    program.process = process.hProcess;
    program.processId = process.dwProcessId;
    program.window = window;
    endInOrder(program);
    return result;
}

}  // namespace bench
