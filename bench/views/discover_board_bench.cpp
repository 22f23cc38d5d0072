// One Discover paint over a full library of maximal stories, and board paints with 60 cards and
// 100 links and with 600 cards and 2000 links, as ratios to filling the same bitmap once. A board
// paint reuses the card pictures of the one before unless the zoom or a card changed; the first
// paint after such a change, which paints every card afresh, is measured apart.
#include "views/views.h"

#include "locale/locale.h"

#include "bench_views.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int REPETITIONS = 5;

double millisecondsPerCall(int frames, const std::function<void()>& call)
{
    return medianMillisecondsPerCall(call, frames, REPETITIONS);
}

std::string filled(std::size_t bytes, const char* word)
{
    std::string text;
    while (text.size() < bytes)
        text += word;
    text.resize(bytes);
    return text;
}

// Stories at every text limit; the first `pinned` are cards spread over the board.
Library maximalLibrary(std::size_t stories, std::size_t pinned, std::size_t links)
{
    Library library;
    for (std::size_t i = 0; i < stories; ++i) {
        Story s;
        s.url = "https://www.nasa.gov/news-release/bench-" + std::to_string(i) + "/";
        s.id = storyIdFromUrl(s.url);
        s.title = filled(1024, "Spectral survey of the outer shelf ");
        s.body = filled(24000, "Observations continue across the basin. ");
        s.note = filled(8000, "Compare with the winter profile. ");
        s.source = filled(120, "NOAA ");
        s.published = 1700000000 - static_cast<std::int64_t>(i) * 60;
        s.saved = i < pinned;
        s.x = static_cast<double>(i % 25) * 120.0;
        s.y = static_cast<double>(i / 25) * 70.0;
        library.stories.push_back(std::move(s));
    }
    for (std::size_t k = 0; library.links.size() < links && k < pinned * pinned; ++k) {
        const std::size_t a = k % pinned, b = (k / pinned + a + 1) % pinned;
        addLink(library, library.stories[a].id, library.stories[b].id, static_cast<std::int32_t>(k % 3));
    }
    return library;
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
        app.boardViewRect = {224, 204, 680, 552};
        const auto paintWith = [&](const Library& library, void (*painter)(Canvas&, ViewState&, const Library&)) {
            Canvas canvas;
            if (beginCanvas(canvas, memory, 1.0f, drawingKitOf(app)))
                painter(canvas, app, library);
            endCanvas(canvas);
        };
        const double baseline = millisecondsPerCall(60, [&] {
            Canvas canvas;
            if (beginCanvas(canvas, memory, 1.0f, nullptr))
                fillRect(canvas, {0, 0, 1280, 820}, 0xFFF2F2EB);
            endCanvas(canvas);
        });

        const Library full = maximalLibrary(600, 0, 0);
        app.selectedStoryId = full.stories[1].id;
        const double discover = millisecondsPerCall(20, [&] { paintWith(full, paintDiscover); });
        app.searchText = L"winter profile";  // every haystack converted and searched to its note
        const double discoverSearch = millisecondsPerCall(10, [&] { paintWith(full, paintDiscover); });
        app.searchText.clear();

        app.currentSection = Section::Board;
        const Library small = maximalLibrary(600, 60, 100);
        const double boardSmall = millisecondsPerCall(10, [&] { paintWith(small, paintBoard); });
        // Alternating zooms: every paint finds its card pictures made for the other one.
        int flips = 0;
        const double boardSmallFresh = millisecondsPerCall(4, [&] {
            app.boardZoom = ++flips % 2 ? 1.01 : 1.0;
            paintWith(small, paintBoard);
        });
        const Library large = maximalLibrary(600, 600, 2000);
        app.boardZoom = 0.25;  // the whole board in view
        app.boardPanX = 10;
        app.boardPanY = 10;
        const double boardLarge = millisecondsPerCall(3, [&] { paintWith(large, paintBoard); });
        const double boardLargeFresh = millisecondsPerCall(2, [&] {
            app.boardZoom = ++flips % 2 ? 0.26 : 0.25;
            paintWith(large, paintBoard);
        });

        std::printf("baseline (one full-bitmap fill): %.3f ms\n", baseline);
        std::printf("Discover, 600 maximal stories, no search: %.3f ms  (%.1f x baseline; target 16 ms)\n",
                    discover, discover / baseline);
        std::printf("Discover, 600 maximal stories, searching: %.3f ms  (%.1f x baseline; target 16 ms)\n",
                    discoverSearch, discoverSearch / baseline);
        std::printf("board, 60 cards, %zu links: %.3f ms  (%.1f x baseline; target 16 ms)\n", small.links.size(),
                    boardSmall, boardSmall / baseline);
        std::printf("board, 600 cards, %zu links: %.3f ms  (%.1f x baseline; target 100 ms)\n", large.links.size(),
                    boardLarge, boardLarge / baseline);
        std::printf("board, 60 cards, first paint after a zoom: %.3f ms  (%.1f x baseline)\n", boardSmallFresh,
                    boardSmallFresh / baseline);
        std::printf("board, 600 cards, first paint after a zoom: %.3f ms  (%.1f x baseline)\n", boardLargeFresh,
                    boardLargeFresh / baseline);

        app.drawingKit.reset();
    }
    return 0;
}
