// The drawing kit and the chrome: button colours, the status-line rectangle, and real pixels of a
// frame painted into an off-screen bitmap at 100 % and 200 %.
#include "views/views.h"

#include "locale/locale.h"

#include "views_test_pixels.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <cstdint>
#include <memory>

namespace {

const Palette palette;

ButtonLook lookIn(Section section)
{
    ButtonLook look;
    look.section = section;
    return look;
}

class Painting : public GdiplusSuite {
protected:
    void SetUp() override { currentUiLanguage = UiLanguage::English; }
    void TearDown() override { app.drawingKit.reset(); }

    int paint(PixelBuffer& buffer, float scale)
    {
        app.dpiScale = scale;
        Canvas canvas;
        EXPECT_TRUE(beginCanvas(canvas, buffer.dc, scale, drawingKitOf(app)));
        paintFrame(canvas, app, library);
        endCanvas(canvas);
        return canvas.status;
    }

    ViewState app;
    Library library = buildSeedLibrary();
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Pure rules

TEST(ButtonColours, CurrentSectionIsCobaltTheOthersPaper)
{
    const ButtonLook look = lookIn(Section::Board);
    EXPECT_EQ(buttonColours(ID_SECTION_BOARD, look, palette).fill, 0xFF1E43CBu);
    EXPECT_EQ(buttonColours(ID_SECTION_BOARD, look, palette).text, 0xFFFFFFFCu);
    EXPECT_EQ(buttonColours(ID_SECTION_DISCOVER, look, palette).fill, 0xFFF7F6F1u);
    EXPECT_EQ(buttonColours(ID_SECTION_DISCOVER, look, palette).text, 0xFF646C7Cu);
}

TEST(ButtonColours, DisabledRefreshIsPaperWithMutedTextThoughNormallyCobalt)
{
    ButtonLook look = lookIn(Section::Discover);
    EXPECT_EQ(buttonColours(ID_REFRESH, look, palette).fill, 0xFF1E43CBu);
    look.disabled = true;
    look.pressed = true;  // disabled wins over pressed
    const ButtonColours colours = buttonColours(ID_REFRESH, look, palette);
    EXPECT_EQ(colours.fill, 0xFFF7F6F1u);
    EXPECT_EQ(colours.text, 0xFF646C7Cu);
}

TEST(ButtonColours, PressedButtonsTurnPaleBlue)
{
    ButtonLook look = lookIn(Section::Discover);
    look.pressed = true;
    EXPECT_EQ(buttonColours(ID_EXPORT, look, palette).fill, 0xFFC8D3EEu);
    EXPECT_EQ(buttonColours(ID_EXPORT, look, palette).text, 0xFF1B2642u);
}

TEST(ButtonColours, StateDependentButtons)
{
    ButtonLook look = lookIn(Section::Board);
    EXPECT_EQ(buttonColours(ID_CONNECT, look, palette).fill, 0xFFFFFFFCu);
    look.linkMode = true;
    EXPECT_EQ(buttonColours(ID_CONNECT, look, palette).fill, 0xFF1E43CBu);
    look.requestedPlate = 1;
    EXPECT_EQ(buttonColours(ID_PLATE_0, look, palette).fill, 0xFFFFFFFCu);
    EXPECT_EQ(buttonColours(ID_PLATE_1, look, palette).fill, 0xFF1E43CBu);
    EXPECT_EQ(buttonColours(ID_SAVE_NOTE, look, palette).fill, 0xFFE9EFFFu);
    EXPECT_EQ(buttonColours(ID_SAVE_NOTE, look, palette).text, 0xFF1E43CBu);
    EXPECT_EQ(buttonColours(ID_PIN, look, palette).fill, 0xFF1E43CBu);
}

TEST(ButtonColours, CloseButtonIsCardOnlyInPreferences)
{
    EXPECT_EQ(buttonColours(ID_CLOSE, lookIn(Section::Atlas), palette).fill, 0xFFF7F6F1u);
    EXPECT_EQ(buttonColours(ID_CLOSE, lookIn(Section::Preferences), palette).fill, 0xFFFFFFFCu);
    EXPECT_EQ(buttonColours(ID_HIDE, lookIn(Section::Preferences), palette).fill, 0xFFF7F6F1u);
    EXPECT_FLOAT_EQ(buttonLabelSize(ID_CLOSE, Section::Discover), 17.0f);
    EXPECT_FLOAT_EQ(buttonLabelSize(ID_CLOSE, Section::Preferences), 13.5f);
    EXPECT_FLOAT_EQ(buttonLabelSize(ID_HIDE, Section::Discover), 13.5f);
}

TEST(ButtonLabel, LongLabelsAreInsetALoneGlyphIsNotCutAway)
{
    EXPECT_EQ(buttonLabelRect(180, 43, L"01   Discover"), (DipRect{8, 1, 164, 41}));
    const DipRect cross = buttonLabelRect(30, 30, L"\u00D7");
    EXPECT_EQ(cross, (DipRect{1, 1, 28, 28}));
    EXPECT_FLOAT_EQ(cross.left + cross.width / 2, 15.0f) << "still centred in the button";
}

TEST(StatusLine, TextStopsBeforeRetrySaveWhileUnsaved)
{
    EXPECT_EQ(statusTextRect(1280, 820, false), (DipRect{16, 791, 1248, 24}));
    EXPECT_EQ(statusTextRect(1280, 820, true), (DipRect{16, 791, 1100, 24}));
}

TEST(Sidebar, ConnectionsLineIsTheCountASpaceAndTheWord)
{
    currentUiLanguage = UiLanguage::English;
    EXPECT_EQ(connectionsLine(3), std::wstring(L"3 ") + UiText(UiStringKey::Connections));
    EXPECT_EQ(connectionsLine(0).substr(0, 2), L"0 ");
}

// ---------------------------------------------------------------------------------------------
// Painted pixels

TEST_F(Painting, StatusLineIsGreyOrApricotInTheErrorStyle)
{
    PixelBuffer buffer(1280, 820);
    EXPECT_EQ(paint(buffer, 1.0f), 0) << "a GDI+ call failed while painting the chrome";
    EXPECT_EQ(buffer.at(1270, 815), 0xECEFE8u);
    EXPECT_EQ(buffer.at(5, 783), 0xECEFE8u);
    EXPECT_EQ(buffer.at(5, 781), 0xF7F6F1u) << "the bar is 38 dip tall";

    app.statusIsError = true;
    app.statusText = L"Failure";
    PixelBuffer error(1280, 820);
    paint(error, 1.0f);
    EXPECT_EQ(error.at(1270, 815), 0xFEEADCu);
}

TEST_F(Painting, SidebarRouteMarkAndHeaderBand)
{
    PixelBuffer buffer(1280, 820);
    paint(buffer, 1.0f);
    EXPECT_EQ(buffer.at(100, 450), 0xF7F6F1u) << "sidebar paper";
    EXPECT_EQ(buffer.at(26, 96), 0x1E43CBu) << "centre of the first cobalt dot";
    EXPECT_EQ(buffer.at(104, 124), 0xFFB782u) << "centre of the first apricot dot";
    EXPECT_EQ(buffer.at(206, 400), 0xE0E1DDu) << "the rule right of the sidebar";
    // The band runs from 0xF6F6F1 at (206, 0) towards 0xFEEEDE at (W, 144): warmer to the right.
    const std::uint32_t left = buffer.at(210, 2), right = buffer.at(1270, 140);
    EXPECT_LE(left & 0xFF, 0xF1u + 2);
    EXPECT_LT(right & 0xFF, left & 0xFF) << "blue falls towards the apricot end";
    EXPECT_EQ(buffer.at(600, 300), 0xF7F6F1u) << "below the band the paper shows";
}

TEST_F(Painting, AtTwiceTheDpiEveryElementKeepsItsDipGeometry)
{
    PixelBuffer buffer(2560, 1640);
    EXPECT_EQ(paint(buffer, 2.0f), 0);
    app.clientWidthDip = 1280;
    EXPECT_EQ(buffer.at(2550, 1635), 0xECEFE8u);
    EXPECT_EQ(buffer.at(10, 1566), 0xECEFE8u) << "status bar top at (820 - 38) x 2 = 1564";
    EXPECT_EQ(buffer.at(10, 1562), 0xF7F6F1u);
    EXPECT_EQ(buffer.at(52, 192), 0x1E43CBu) << "the first dot's centre doubles to (52, 192)";
    EXPECT_EQ(buffer.at(412, 800), 0xE0E1DDu) << "the 1-dip rule at x 206 becomes 2 px at 412";
}

TEST_F(Painting, RoundedRectOutlineOnlyWithABorderAlpha)
{
    const auto topEdge = [this](std::uint32_t border) {
        PixelBuffer buffer(60, 60);
        Canvas canvas;
        beginCanvas(canvas, buffer.dc, 1.0f, nullptr);
        fillRoundedRect(canvas, {10, 10, 40, 40}, 6, 0xFFFFFFFF, border);
        endCanvas(canvas);
        return buffer.at(30, 10);
    };
    EXPECT_EQ(topEdge(0), 0xFFFFFFu) << "border 0 draws no outline";
    EXPECT_NE(topEdge(0xFF000000), 0xFFFFFFu) << "an opaque border is drawn";
}

TEST_F(Painting, MissingFontFamilyIsRecordedAndPaintingGoesOn)
{
    PixelBuffer buffer(100, 40);
    Canvas canvas;
    beginCanvas(canvas, buffer.dc, 1.0f, nullptr);
    fillRect(canvas, {0, 0, 100, 40}, 0xFF102030);
    EXPECT_EQ(canvas.status, 0);
    recordStatus(canvas, 14);
    recordStatus(canvas, 3);
    fillRect(canvas, {0, 0, 50, 40}, 0xFF405060);
    endCanvas(canvas);
    EXPECT_EQ(canvas.status, 14) << "the first failure is kept";
    EXPECT_EQ(buffer.at(10, 10), 0x405060u) << "drawing continued after the failure";
}

// ---------------------------------------------------------------------------------------------
// The kept chrome: every frame composed from it equals the frame painted whole, also after each
// kind of change the chrome shows

namespace {

class KeptChrome : public Painting {
protected:
    static constexpr int W = 1100, H = 700;

    // Painted whole on a screen-compatible bitmap, as the window's paint buffer always was.
    void paintWhole(PixelBuffer& into)
    {
        const HDC screen = GetDC(nullptr);
        const HDC memory = CreateCompatibleDC(screen);
        const HBITMAP bitmap = CreateCompatibleBitmap(screen, W, H);
        ReleaseDC(nullptr, screen);
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        Canvas canvas;
        if (beginCanvas(canvas, memory, app.dpiScale, drawingKitOf(app)))
            paintFrame(canvas, app, library);
        endCanvas(canvas);
        BitBlt(into.dc, 0, 0, W, H, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previous);
        DeleteObject(bitmap);
        DeleteDC(memory);
    }

    static int differentPixels(const PixelBuffer& a, const PixelBuffer& b)
    {
        int count = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                count += a.at(x, y) != b.at(x, y);
        return count;
    }

    // The number of pixels where the composed frame differs from the whole one.
    int differences()
    {
        PixelBuffer whole(W, H), kept(W, H);
        paintWhole(whole);
        paintKeptFrame(kept.dc, app, library, W, H, RECT{0, 0, W, H});
        return differentPixels(whole, kept);
    }

    void SetUp() override
    {
        Painting::SetUp();
        app.dpiScale = 1.0f;
        app.clientWidthDip = W;
        app.clientHeightDip = H;
        app.boardViewRect = {224, 190, W - 630.0f, H - 260.0f};
        app.atlasViewRect = {224, 190, W - 260.0f, H - 330.0f};
        app.selectedStoryId = library.stories.front().id;
    }
};

}  // namespace

TEST_F(KeptChrome, EverySectionAndEveryChangeOfTheChromeGivesTheWholeFrame)
{
    for (const Section section : {Section::Discover, Section::Board, Section::Atlas, Section::Preferences}) {
        app.currentSection = section;
        EXPECT_EQ(differences(), 0) << "section " << int(section);
    }
    app.currentSection = Section::Discover;
    EXPECT_EQ(differences(), 0);

    app.statusText = L"Saved locally.";
    EXPECT_EQ(differences(), 0) << "a new status";
    app.statusIsError = true;
    EXPECT_EQ(differences(), 0) << "the error style";
    app.unsavedChanges = true;
    EXPECT_EQ(differences(), 0) << "unsaved changes shorten the status line";
    library.stories[1].saved = !library.stories[1].saved;
    EXPECT_EQ(differences(), 0) << "the pinned count";
    currentUiLanguage = UiLanguage::German;
    EXPECT_EQ(differences(), 0) << "the language";
    app.palette.paper = 0xFFFFFFFF;
    EXPECT_EQ(differences(), 0) << "the palette";
}

// A paint of an unchanged state copies the kept frame; a change of what only the view shows is
// drawn once the frame is marked stale, as the shell's repaint and layout do.
TEST_F(KeptChrome, AViewChangeIsDrawnOnceTheFrameIsMarkedStale)
{
    PixelBuffer before(W, H), unmarked(W, H);
    paintKeptFrame(before.dc, app, library, W, H, RECT{0, 0, W, H});
    app.selectedStoryId = library.stories[1].id;
    paintKeptFrame(unmarked.dc, app, library, W, H, RECT{0, 0, W, H});
    EXPECT_EQ(differentPixels(before, unmarked), 0) << "unmarked, the kept frame is copied as it was";

    markFrameStale(app);
    EXPECT_EQ(differences(), 0) << "marked, the new selection is drawn";
    PixelBuffer after(W, H);
    paintKeptFrame(after.dc, app, library, W, H, RECT{0, 0, W, H});
    EXPECT_GT(differentPixels(before, after), 0) << "the selected row moved";
}

TEST_F(KeptChrome, OnlyTheInvalidatedPartReachesTheWindowAndASizeChangeDrawsAgain)
{
    PixelBuffer target(W, H);
    paintKeptFrame(target.dc, app, library, W, H, RECT{0, 0, 100, 50});
    EXPECT_NE(target.at(10, 10), 0xFFFFFFu) << "inside the dirty part";
    EXPECT_EQ(target.at(500, 400), 0xFFFFFFu) << "outside it the window keeps what it had";

    app.dpiScale = 2.0f;
    PixelBuffer whole(W, H), kept(W, H);
    app.clientWidthDip = W / 2.0f;
    app.clientHeightDip = H / 2.0f;
    paintWhole(whole);
    paintKeptFrame(kept.dc, app, library, W, H, RECT{0, 0, W, H});
    EXPECT_EQ(differentPixels(whole, kept), 0) << "at twice the scale";
}
