// Atlas timings under one roof: the decode of each plate against a bare WIC decode of plate 0, one
// atlas paint at several zooms against drawing the whole plate with bicubic filtering every time,
// and the peak memory with plate 0 held.
#include "views/views.h"

#include "locale/locale.h"

#include "bench_views.h"
#include "../window/wic_decode.h"

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace gp = Gdiplus::DllExports;
using Clock = std::chrono::steady_clock;

double milliseconds(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Median of a few runs of `frames` calls, per call.
double millisecondsPerCall(const std::function<void()>& call, int frames, int repetitions)
{
    return medianMillisecondsPerCall(call, frames, repetitions);
}

std::wstring programPath()
{
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), DWORD(path.size())));
    for (int up = 0; up < 3; ++up)  // bench\views\atlas_bench.exe -> the build folder
        path.erase(path.find_last_of(L"\\/"));
    return path + L"\\src\\shell\\Kestrune.exe";
}

double megabytes(SIZE_T bytes)
{
    return double(bytes) / (1024.0 * 1024.0);
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
    HMODULE program = LoadLibraryExW(programPath().c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!program) {
        std::puts("Kestrune.exe not found beside the build's bench folder");
        return 1;
    }
    int exitCode = 0;
    {
        PlateDecodeOptions options;
        options.module = program;
        options.buildLevels = true;

        // Plate 0 first, so the peak memory is that of plate 0 alone, as the program holds it.
        auto start = Clock::now();
        ViewState app;
        app.plateImage = decodePlateResource(301, true, options);
        const double decode0 = milliseconds(start);
        if (!app.plateImage.hasBitmap()) {
            std::puts("plate 0 did not decode");
            exitCode = 1;
        }
        PROCESS_MEMORY_COUNTERS memory{};
        memory.cb = sizeof(memory);
        GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));

        DecodedImage other;
        start = Clock::now();
        other = decodePlateResource(302, true, options);
        const double decode1 = milliseconds(start);
        other.reset();

        PlateDecodeOptions plain = options;
        plain.buildLevels = false;
        start = Clock::now();
        other = decodePlateResource(301, true, plain);
        const double decode0Plain = milliseconds(start);
        other.reset();

        // The floor under any decoder of the same file, taken last so that it does not raise the
        // peak memory figure above.
        const void* png = nullptr;
        std::size_t pngSize = 0;
        const double bare = bench::resourceBytes(program, 301, &png, &pngSize)
                              ? bench::bareWicDecodeMilliseconds(png, pngSize)
                              : -1;

        std::printf("bare WIC decode of plate 0 (baseline)   %8.0f ms\n", bare);
        std::printf("decode plate 0 (forced, with levels)    %8.0f ms   %.2f x baseline\n", decode0,
                    bare > 0 ? decode0 / bare : -1.0);
        std::printf("decode plate 0 (forced, no levels)      %8.0f ms   %.2f x baseline; levels add %.0f ms\n",
                    decode0Plain, bare > 0 ? decode0Plain / bare : -1.0, decode0 - decode0Plain);
        std::printf("decode plate 1 (forced, with levels)    %8.0f ms\n", decode1);
        std::printf("peak working set with plate 0 loaded    %8.0f MiB\n", megabytes(memory.PeakWorkingSetSize));
        std::printf("peak pagefile usage with plate 0 loaded %8.0f MiB\n", megabytes(memory.PeakPagefileUsage));
        std::printf("working set now                         %8.0f MiB\n", megabytes(memory.WorkingSetSize));

        if (app.plateImage.hasBitmap()) {
            app.loadedPlate = 0;
            app.requestedPlate = 0;
            app.atlasViewRect = {224, 206, 1032, 442};
            const PaintBuffer buffer;
            const HDC dc = buffer.dc;
            const Library library;
            const double iw = 14575, ih = 8441;
            const DipRect& v = app.atlasViewRect;

            // What every paint did before: the whole plate scaled, bicubic, under the view's clip.
            const auto wholeBicubic = [&] {
                Canvas canvas;
                if (beginCanvas(canvas, dc, 1.0f, nullptr)) {
                    gp::GdipSetClipRect(canvas.graphics, v.left, v.top, v.width, v.height, Gdiplus::CombineModeReplace);
                    gp::GdipSetInterpolationMode(canvas.graphics, Gdiplus::InterpolationModeHighQualityBicubic);
                    gp::GdipDrawImageRect(canvas.graphics, app.plateImage.bitmap, float(v.left + app.atlasPanX),
                                          float(v.top + app.atlasPanY), float(iw * app.atlasZoom),
                                          float(ih * app.atlasZoom));
                }
                endCanvas(canvas);
            };
            const auto atlasPaint = [&] {
                Canvas canvas;
                if (beginCanvas(canvas, dc, 1.0f, drawingKitOf(app)))
                    paintAtlas(canvas, app, library);
                endCanvas(canvas);
            };
            std::printf("\n%-6s %14s %14s %8s\n", "zoom", "whole ms", "atlas ms", "ratio");
            for (const double zoom : {0.05, 0.25, 0.5, 1.0, 2.0}) {
                app.atlasZoom = zoom;
                app.atlasPanX = (v.width - iw * zoom) / 2;
                app.atlasPanY = (v.height - ih * zoom) / 2;
                atlasPaint();  // first touch of a level outside the timing
                const double whole = millisecondsPerCall(wholeBicubic, 1, 3);
                const double atlas = millisecondsPerCall(atlasPaint, 20, 3);
                std::printf("%-6.2f %14.1f %14.2f %7.0fx\n", zoom, whole, atlas, whole / atlas);
            }
            app.atlasZoom = 0.015;
            app.atlasPanX = (v.width - iw * 0.015) / 2;
            app.atlasPanY = (v.height - ih * 0.015) / 2;
            std::printf("%-6.3f %14s %14.2f\n", 0.015, "-", millisecondsPerCall(atlasPaint, 20, 3));
        }
        app.drawingKit.reset();
        app.plateImage.reset();
    }
    FreeLibrary(program);
    return exitCode;
}
