// Repaint timing from outside the painting thread, and the window of this process that calibrates
// it: an empty paint, a paint of a known 50 ms and a bare double-buffered paint.
#include "window_bench.h"

#include "common/bare_paint.h"

#include <algorithm>
#include <cstring>

namespace bench {

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// ---------------------------------------------------------------------------------------------
// The method

bool hasUpdateRegion(HWND window, bool children)
{
    if (GetUpdateRect(window, nullptr, FALSE))
        return true;
    if (!children)
        return false;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE))
            return true;
    return false;
}

bool waitUntilPainted(HWND window, bool children, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    DWORD_PTR ignored = 0;
    const auto roundTrip = [&] {
        return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored) != 0;
    };
    // Each round trip returns once the thread has taken its next message; sent messages come
    // before a paint, so the update region is read again after every one until none is left.
    // BeginPaint empties the region as the paint starts: an empty region counts only when it is
    // still empty after one more round trip, which waits for a paint under way to end.
    do {
        if (!roundTrip())
            return false;
        if (hasUpdateRegion(window, children))
            continue;
        if (!roundTrip())
            return false;
        if (!hasUpdateRegion(window, children))
            return true;
    } while (Clock::now() < deadline);
    return false;
}

double timeRepaint(HWND window, bool children, Redraw way)
{
    constexpr WPARAM TICK_TIMER = 1;
    const auto start = Clock::now();
    DWORD_PTR ignored = 0;
    const bool asked = way == Redraw::Invalidate
                           ? InvalidateRect(window, nullptr, FALSE) != FALSE
                           : SendMessageTimeoutW(window, WM_TIMER, TICK_TIMER, 0, SMTO_NORMAL, 10000, &ignored) != 0;
    if (!asked)
        return -1;
    if (!waitUntilPainted(window, children))
        return -1;
    return millisecondsSince(start);
}

double medianRepaint(HWND window, bool children, int warmUp, int samples, std::vector<double>* times, Redraw way)
{
    for (int i = 0; i < warmUp; ++i)
        if (timeRepaint(window, children, way) < 0)
            return -1;
    std::vector<double> own;
    std::vector<double>& taken = times ? *times : own;
    for (int i = 0; i < samples; ++i) {
        const double ms = timeRepaint(window, children, way);
        if (ms < 0)
            return -1;
        taken.push_back(ms);
    }
    return median(taken);
}

// ---------------------------------------------------------------------------------------------
// The calibration window

namespace {

constexpr wchar_t CALIBRATION_CLASS[] = L"KestruneWindowBenchCalibration";

using bench_paint::paintDoubleBuffered;

LRESULT CALLBACK calibrationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND)
        return 1;
    if (message != WM_PAINT)
        return DefWindowProcW(window, message, wParam, lParam);
    const auto* paint = reinterpret_cast<const std::atomic<int>*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    PAINTSTRUCT ps{};
    const HDC dc = BeginPaint(window, &ps);
    switch (static_cast<CalibrationPaint>(paint ? paint->load() : 0)) {
    case CalibrationPaint::Empty:          break;
    case CalibrationPaint::Sleep50:        Sleep(50); break;
    case CalibrationPaint::DoubleBuffered: paintDoubleBuffered(window, dc); break;
    }
    EndPaint(window, &ps);
    return 0;
}

}  // namespace

CalibrationWindow::CalibrationWindow(int clientWidth, int clientHeight)
{
    thread_ = std::thread([this, clientWidth, clientHeight] { run(clientWidth, clientHeight); });
    while (!ready_.load())
        Sleep(5);
}

CalibrationWindow::~CalibrationWindow()
{
    if (const HWND window = window_.load())
        PostMessageW(window, WM_CLOSE, 0, 0);
    if (thread_.joinable())
        thread_.join();
}

void CalibrationWindow::run(int clientWidth, int clientHeight)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = calibrationProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = CALIBRATION_CLASS;
    RegisterClassW(&windowClass);
    // The program's own frame: a popup with a sizing border.
    const DWORD style = WS_POPUP | WS_THICKFRAME | WS_CLIPCHILDREN;
    RECT rect{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&rect, style, FALSE, WS_EX_APPWINDOW);
    const HWND window = CreateWindowExW(WS_EX_APPWINDOW, CALIBRATION_CLASS, L"calibration", style, 0, 0,
                                        rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                                        windowClass.hInstance, nullptr);
    if (window) {
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&paint_));
        ShowWindow(window, SW_SHOWNOACTIVATE);
        UpdateWindow(window);
    }
    window_ = window;
    ready_ = true;
    if (!window)
        return;
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_CLOSE && message.hwnd == window) {
            DestroyWindow(window);
            break;
        }
        DispatchMessageW(&message);
    }
}

}  // namespace bench
