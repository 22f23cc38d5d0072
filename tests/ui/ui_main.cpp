// Entry of the UI test driver: GoogleTest, plus one idle window of the driver's own for the whole run.
#include "ui_driver.h"

#include <objbase.h>

#include <gtest/gtest.h>

namespace {

// Wine winds its desktop process down when the last window closes, and a program started right after
// that can stall for a minute; one idle window of the driver keeps the desktop alive between tests.
HWND createIdleWindow()
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KestruneUiDriverIdle";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, windowClass.lpszClassName, L"", WS_POPUP,
                                        0, 0, 1, 1, nullptr, nullptr, windowClass.hInstance, nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    return window;
}

}  // namespace

int main(int argc, char** argv)
{
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const HWND idle = createIdleWindow();
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    DestroyWindow(idle);
    CoUninitialize();
    return result;
}
