// Board painting: the pictures kept between paints must show what painting everything in place
// shows, follow every change of the cards, pills and view, and stay inside the canvas.
#include "views/views.h"

#include "views_test_pixels.h"

#include "locale/locale.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int WIDTH = 1280, HEIGHT = 820;

Story story(int n, double x, double y)
{
    Story s;
    s.url = "https://www.nasa.gov/news-release/painted-" + std::to_string(n) + "/";
    s.id = storyIdFromUrl(s.url);
    s.title = "Sea ice retreat measured along transect " + std::to_string(n) + " with a longer title that wraps";
    s.source = n % 2 ? "NOAA" : "NASA";
    s.published = 1700000000 + n;
    s.saved = true;
    s.x = x;
    s.y = y;
    return s;
}

// The largest difference of any channel between two pictures, over the given rectangle.
struct Difference {
    int largest = 0;
    int pixels = 0;  // pixels differing by more than the tolerance
};

Difference compare(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b, const RECT& area,
                   int tolerance)
{
    Difference d;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) {
            const std::uint32_t p = a[static_cast<std::size_t>(y) * WIDTH + x];
            const std::uint32_t q = b[static_cast<std::size_t>(y) * WIDTH + x];
            int worst = 0;
            for (int shift = 0; shift < 24; shift += 8)
                worst = std::max(worst, std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((q >> shift) & 0xFF)));
            d.largest = std::max(d.largest, worst);
            if (worst > tolerance)
                ++d.pixels;
        }
    return d;
}

// Set KESTRUNE_SAVE_BOARD_PICTURES to a folder to look at what the tests compare.
void save(const std::vector<std::uint32_t>& pixels, const char* name)
{
    const char* folder = std::getenv("KESTRUNE_SAVE_BOARD_PICTURES");
    if (!folder)
        return;
    const std::string path = std::string(folder) + "/" + name + ".bmp";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return;
    BITMAPFILEHEADER header{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = WIDTH;
    info.biHeight = -HEIGHT;
    info.biPlanes = 1;
    info.biBitCount = 32;
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(header) + sizeof(info);
    header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size() * 4);
    std::fwrite(&header, sizeof(header), 1, file);
    std::fwrite(&info, sizeof(info), 1, file);
    std::fwrite(pixels.data(), 4, pixels.size(), file);
    std::fclose(file);
}

class BoardPainting : public GdiplusSuite {
protected:
    void SetUp() override
    {
        currentUiLanguage = UiLanguage::English;
        ViewState& app = session.app;
        app.currentSection = Section::Board;
        app.boardViewRect = {224, 204, 680, 552};
        // Overlapping cards, one reaching past the canvas's left and bottom edges.
        const double places[][2] = {{0, 0}, {335, 0}, {150, 90}, {-80, 170}, {335, 300}, {520, 420}};
        for (int i = 0; i < 6; ++i)
            session.library.stories.push_back(story(i, places[i][0], places[i][1]));
        session.library.stories[2].note = "Compare with the winter profile.";
        session.library.stories[4].note = "Ask the ship's crew.";
        Library& library = session.library;
        addLink(library, library.stories[0].id, library.stories[1].id, 0);
        addLink(library, library.stories[1].id, library.stories[4].id, 1);
        addLink(library, library.stories[0].id, library.stories[3].id, 2);
        addLink(library, library.stories[2].id, library.stories[5].id, 2);
        addLink(library, library.stories[3].id, library.stories[4].id, 0);
        app.selectedStoryId = library.stories[2].id;
    }
    void TearDown() override
    {
        session.app.drawingKit.reset();
        currentUiLanguage = UiLanguage::English;
    }

    // Kept: through the pictures kept in the session's drawing kit; otherwise all in place.
    std::vector<std::uint32_t> paint(bool kept, float scale = 1.0f)
    {
        ScreenBuffer buffer(WIDTH, HEIGHT);
        Canvas canvas;
        EXPECT_TRUE(beginCanvas(canvas, buffer.dc(), scale, kept ? drawingKitOf(session.app) : nullptr));
        paintBoard(canvas, session.app, session.library);
        EXPECT_EQ(canvas.status, 0);
        endCanvas(canvas);
        return buffer.pixels();
    }

    void expectKeptLikeInPlace(const char* name, float scale = 1.0f)
    {
        const std::vector<std::uint32_t> kept = paint(true, scale);
        const std::vector<std::uint32_t> inPlace = paint(false, scale);
        save(kept, (std::string(name) + "-kept").c_str());
        save(inPlace, (std::string(name) + "-in-place").c_str());
        const Difference d = compare(kept, inPlace, {0, 0, WIDTH, HEIGHT}, 8);
        // Blending a kept picture rounds differently from drawing: a step or two per channel.
        EXPECT_EQ(d.pixels, 0) << name << ": largest channel difference " << d.largest;
    }

    struct {
        ViewState app;
        Library library;
    } session;
};

}  // namespace

TEST_F(BoardPainting, KeptPicturesLookLikePaintingInPlace)
{
    expectKeptLikeInPlace("board");
    // A second paint draws from what the first kept.
    expectKeptLikeInPlace("board-again");
}

TEST_F(BoardPainting, KeptPicturesLookLikePaintingInPlaceAtOtherScales)
{
    session.app.boardZoom = 0.61;
    session.app.boardPanX = 17.3;
    session.app.boardPanY = -11.7;
    expectKeptLikeInPlace("zoomed-out");
    expectKeptLikeInPlace("display-150", 1.5f);
    expectKeptLikeInPlace("display-125", 1.25f);
}

TEST_F(BoardPainting, KeptPicturesLookLikePaintingInPlaceOnCrowdedBoards)
{
    // Rows of small cards, overlapping or a few dip apart: most lines run under cards or inside
    // their own pill, and only what shows may be left out.
    Library& library = session.library;
    session.app.boardPanX = 10;
    session.app.boardPanY = 12;
    const auto lay = [&](int columns, double dx, double dy) {
        library.stories.clear();
        library.links.clear();
        for (int i = 0; i < 48; ++i)
            library.stories.push_back(story(100 + i, (i % columns) * dx - 100, (i / columns) * dy - 40));
        for (int i = 0; i < 48; ++i)
            for (int step : {1, 2, 3, columns + 1, 30})
                addLink(library, library.stories[i].id, library.stories[(i + step) % 48].id, (i + step) % 3);
        session.app.selectedStoryId = library.stories[17].id;
    };
    lay(12, 120, 70);
    session.app.boardZoom = 0.25;
    expectKeptLikeInPlace("crowded");
    session.app.boardZoom = 0.43;
    expectKeptLikeInPlace("crowded-closer");
    lay(8, 262, 146);  // gaps of 17 and 14 board units between cards
    session.app.boardZoom = 0.3;
    expectKeptLikeInPlace("gaps");
    session.app.boardZoom = 0.5;
    expectKeptLikeInPlace("gaps-closer");
    expectKeptLikeInPlace("gaps-150", 1.5f);
}

TEST_F(BoardPainting, KeptPicturesFollowChangesOfCardsLinksAndView)
{
    paint(true);
    Library& library = session.library;
    library.stories[0].title = "A title changed by a refresh";
    library.stories[1].note = "A note written since";
    library.stories[5].source = "NOAA Fisheries";
    session.app.selectedStoryId = library.stories[4].id;
    library.stories[3].x += 40;
    expectKeptLikeInPlace("changed");

    currentUiLanguage = UiLanguage::German;  // the pills' labels
    expectKeptLikeInPlace("german");

    session.app.boardZoom = 1.37;
    session.app.boardPanX = -120;
    expectKeptLikeInPlace("zoomed-in");

    library.stories[2].note.clear();
    session.app.palette.card = 0xFFFAF3E8;
    expectKeptLikeInPlace("repainted");
}

TEST_F(BoardPainting, WhileTheWheelTurnsCardsAreScaledAndWhenItRestsTheyAreSharpAgain)
{
    paint(true);
    const std::vector<std::uint32_t> before = paint(true);
    session.app.boardZoom = 1.13;
    session.app.boardZoomTurning = true;
    const std::vector<std::uint32_t> turning = paint(true);
    const std::vector<std::uint32_t> sharp = paint(false);
    save(turning, "turning");
    // The scaled pictures are where the sharp cards go, only softer: close, never equal to the old zoom.
    const Difference soft = compare(turning, sharp, {0, 0, WIDTH, HEIGHT}, 96);
    EXPECT_LT(soft.pixels, WIDTH * HEIGHT / 50) << "largest channel difference " << soft.largest;
    EXPECT_GT(compare(turning, before, {0, 0, WIDTH, HEIGHT}, 8).pixels, 0);

    session.app.boardZoomTurning = false;
    expectKeptLikeInPlace("rested");
}

// The links of a turning frame are the picture kept at rest, stretched; a change of the cards'
// places or of the links while the wheel turns draws them afresh.
TEST_F(BoardPainting, WhileTheWheelTurnsLinksComeFromTheRestingPictureUntilTheBoardChanges)
{
    paint(true);
    session.app.boardZoom = 1.13;
    session.app.boardZoomTurning = true;
    const std::vector<std::uint32_t> turning = paint(true);
    const std::vector<std::uint32_t> sharp = paint(false);
    EXPECT_LT(compare(turning, sharp, {0, 0, WIDTH, HEIGHT}, 96).pixels, WIDTH * HEIGHT / 50) << "links in place";

    session.library.links.clear();
    const std::vector<std::uint32_t> unlinked = paint(true);
    EXPECT_GT(compare(turning, unlinked, {0, 0, WIDTH, HEIGHT}, 8).pixels, 0) << "the removed links are gone";
    session.app.boardZoomTurning = false;
    expectKeptLikeInPlace("rested-unlinked");
}

TEST_F(BoardPainting, NothingIsDrawnOutsideTheCanvas)
{
    // Cards and links far beyond every edge of the canvas.
    Library& library = session.library;
    library.stories[0].x = -700;
    library.stories[1].x = 900;
    library.stories[4].y = -400;
    library.stories[5].y = 800;
    std::vector<std::uint32_t> withCards = paint(true);
    for (Story& s : library.stories)
        s.saved = false;
    pruneLinks(library);
    session.app.selectedStoryId.clear();
    const std::vector<std::uint32_t> without = paint(false);
    // Left of, above and below the canvas the frame is untouched; the panel on the right differs
    // by its selected story, so the strip between canvas and panel stands for the right side.
    const RECT outside[] = {{0, 0, 223, HEIGHT}, {0, 0, 924, 203}, {0, 757, 924, HEIGHT}, {905, 204, 923, 756}};
    for (const RECT& area : outside)
        EXPECT_EQ(compare(withCards, without, area, 0).pixels, 0)
            << area.left << "," << area.top << " " << area.right << "," << area.bottom;
}

TEST_F(BoardPainting, EmptyBoardShowsItsMessageEitherWay)
{
    for (Story& s : session.library.stories)
        s.saved = false;
    pruneLinks(session.library);
    expectKeptLikeInPlace("empty");
    EXPECT_TRUE(session.app.hitRows.empty());
}
