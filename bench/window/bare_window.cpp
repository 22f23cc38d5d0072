// The start-up baseline of the window benchmark: a bare GUI process that shows one window of the
// program's size and frame, paints it once double-buffered, and waits in its message loop.
#include "common/bare_paint.h"

#include <windows.h>

namespace {

constexpr wchar_t BARE_CLASS[] = L"KestruneWindowBenchBare";

void paintFrame(HWND window)
{
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(window, &paint);
    bench_paint::paintDoubleBuffered(window, dc);
    EndPaint(window, &paint);
}

LRESULT CALLBACK bareWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        paintFrame(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_ENDSESSION:
        if (wParam)
            DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = bareWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
    windowClass.lpszClassName = BARE_CLASS;
    RegisterClassExW(&windowClass);
    // The program's first window: 1280 x 850, centred in the work area.
    RECT work{0, 0, 1920, 1080};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = std::min<int>(1280, work.right - work.left - 20);
    const int height = std::min<int>(850, work.bottom - work.top - 20);
    const HWND window = CreateWindowExW(WS_EX_APPWINDOW, BARE_CLASS, L"bare",
                                        WS_POPUP | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPCHILDREN,
                                        work.left + (work.right - work.left - width) / 2,
                                        work.top + (work.bottom - work.top - height) / 2, width, height, nullptr,
                                        nullptr, instance, nullptr);
    if (!window)
        return 5;
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
