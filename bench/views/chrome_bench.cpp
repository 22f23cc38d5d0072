// One frame of the chrome (background, header, sidebar, status line) painted into a 1280 x 820
// off-screen bitmap, with the text cache and without it, and the whole paintWindow, as ratios to
// filling the same bitmap once.
#include "views/views.h"

#include "locale/locale.h"

#include "bench_views.h"

#include <cstdio>
#include <functional>

namespace {

constexpr int FRAMES = 60;
constexpr int REPETITIONS = 5;

double millisecondsPerCall(const std::function<void()>& call)
{
    return medianMillisecondsPerCall(call, FRAMES, REPETITIONS);
}

}  // namespace

int main()
{
    const GdiplusRun gdiplus;
    if (!gdiplus.started) {
        std::puts("GDI+ did not start");
        return 1;
    }
    currentUiLanguage = UiLanguage::English;
    {
        const PaintBuffer buffer;
        const HDC memory = buffer.dc;

        ViewState app;
        const Library library = buildSeedLibrary();
        const auto frame = [&](DrawingKit* kit) {
            Canvas canvas;
            if (beginCanvas(canvas, memory, 1.0f, kit))
                paintFrame(canvas, app, library);
            endCanvas(canvas);
        };
        const double baseline = millisecondsPerCall([&] {
            Canvas canvas;
            if (beginCanvas(canvas, memory, 1.0f, nullptr))
                fillRect(canvas, {0, 0, 1280, 820}, 0xFFF7F6F1);
            endCanvas(canvas);
        });
        const double cached = millisecondsPerCall([&] { frame(drawingKitOf(app)); });
        const double uncached = millisecondsPerCall([&] { frame(nullptr); });

        // The whole paintWindow: the kept chrome copied, the section drawn, one BitBlt to a (hidden) window.
        app.mainWindow = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1280, 820, nullptr, nullptr,
                                         GetModuleHandleW(nullptr), nullptr);
        HDC windowDc = GetDC(app.mainWindow);
        const RECT all{0, 0, 1280, 820};
        const double whole = millisecondsPerCall([&] { paintWindow(windowDc, app, library, all); });
        // The same with the chrome drawn again each time: the status changes between the paints.
        bool flip = false;
        const double redrawn = millisecondsPerCall([&] {
            app.statusText = (flip = !flip) ? L"Saved locally." : L"Ready.";
            paintWindow(windowDc, app, library, all);
        });
        ReleaseDC(app.mainWindow, windowDc);
        DestroyWindow(app.mainWindow);

        std::printf("baseline (one full-bitmap fill): %.3f ms\n", baseline);
        std::printf("chrome frame, cached text kit:   %.3f ms  (%.1f x baseline)\n", cached, cached / baseline);
        std::printf("chrome frame, objects per call:  %.3f ms  (%.1f x baseline)\n", uncached, uncached / baseline);
        std::printf("paintWindow, chrome kept:        %.3f ms  (%.1f x baseline)\n", whole, whole / baseline);
        std::printf("paintWindow, chrome drawn again: %.3f ms  (%.1f x baseline)\n", redrawn, redrawn / baseline);
        std::printf("cache gain: %.2f x\n", uncached / cached);

        app.drawingKit.reset();
    }
    return 0;
}
