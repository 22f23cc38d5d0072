// Shared pieces of the view benchmarks: GDI+ for the length of a run, an off-screen buffer of the
// default client size to paint into, and the median time of one call.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

struct GdiplusRun {
    ULONG_PTR token = 0;
    bool started = false;

    GdiplusRun()
    {
        const Gdiplus::GdiplusStartupInput input;
        started = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }
    GdiplusRun(const GdiplusRun&) = delete;
    GdiplusRun& operator=(const GdiplusRun&) = delete;
    ~GdiplusRun()
    {
        if (started)
            Gdiplus::GdiplusShutdown(token);
    }
};

// A memory device context with a screen-compatible bitmap selected, like the window's paint buffer.
struct PaintBuffer {
    HDC screen = nullptr;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;

    explicit PaintBuffer(int width = 1280, int height = 820)
    {
        screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bitmap = CreateCompatibleBitmap(screen, width, height);
        previous = SelectObject(dc, bitmap);
    }
    PaintBuffer(const PaintBuffer&) = delete;
    PaintBuffer& operator=(const PaintBuffer&) = delete;
    ~PaintBuffer()
    {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
    }
};

// Median over `repetitions` runs of `frames` calls, in milliseconds per call.
inline double medianMillisecondsPerCall(const std::function<void()>& call, int frames, int repetitions)
{
    std::vector<double> runs;
    for (int r = 0; r < repetitions; ++r) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < frames; ++i)
            call();
        const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
        runs.push_back(elapsed.count() / frames);
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}
