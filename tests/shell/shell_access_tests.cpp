// The painted surfaces in the test process's own window: they leave pixels and clicks to the main
// window, a held Ctrl+arrow is one edit saved once, and what the surfaces say in other languages.
#include "live_window.h"

namespace {

std::string readFileText(const std::wstring& path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class Surfaces : public LiveWindow {
protected:
    // Three cards in a row, the first selected, on the board.
    void pinThree()
    {
        for (int i = 0; i < 3; ++i) {
            library().stories[static_cast<std::size_t>(i)].saved = true;
            library().stories[static_cast<std::size_t>(i)].x = 335.0 * i;
            library().stories[static_cast<std::size_t>(i)].y = 0.0;
        }
        ASSERT_TRUE(storeLibrary(library(), app().libraryPath));
        app().boardZoom = 1.0;
        app().boardPanX = 30.0;
        app().boardPanY = 35.0;
        selectSection(app(), library(), Section::Board);
        SetFocus(surfaceWindow(app(), ID_BOARD_SURFACE));
        pump();
    }

    // A key as the queue delivers it to the focused window; `held` marks an automatic repeat.
    void key(UINT message, WPARAM code, bool held = false)
    {
        const LPARAM flags = 1 | (held ? (1 << 30) : 0) | (message == WM_KEYUP ? (3u << 30) : 0);
        MSG queued{GetFocus(), message, code, flags, 0, {}};
        processQueuedMessage(*session, queued);
        pump();
    }
};

struct CtrlHeld {
    BYTE saved[256] = {};
    CtrlHeld()
    {
        GetKeyboardState(saved);
        BYTE state[256];
        std::copy(std::begin(saved), std::end(saved), state);
        state[VK_CONTROL] = 0x80;
        SetKeyboardState(state);
    }
    ~CtrlHeld() { SetKeyboardState(saved); }
};

}  // namespace

TEST_F(Surfaces, LeaveThePixelsAndTheClicksToTheMainWindow)
{
    selectSection(app(), library(), Section::Board);
    const HWND board = surfaceWindow(app(), ID_BOARD_SURFACE);
    ASSERT_TRUE(board);
    EXPECT_TRUE(IsWindowVisible(board));
    EXPECT_FALSE(IsWindowVisible(surfaceWindow(app(), ID_LIST_SURFACE)));
    HRGN region = CreateRectRgn(0, 0, 1, 1);
    EXPECT_EQ(GetWindowRgn(board, region), NULLREGION);
    DeleteObject(region);
    EXPECT_EQ(SendMessageW(board, WM_NCHITTEST, 0, 0), HTTRANSPARENT);
    RECT rect{};
    GetWindowRect(board, &rect);
    MapWindowPoints(HWND_DESKTOP, app().mainWindow, reinterpret_cast<POINT*>(&rect), 2);
    const PixelRect canvas = toDevicePixels(app().boardViewRect, app().dpiScale);
    EXPECT_EQ(rect.left, canvas.left);
    EXPECT_EQ(rect.bottom - rect.top, canvas.height);
}

TEST_F(Surfaces, AHeldCtrlArrowIsOneEditSavedWhenTheKeyIsReleased)
{
    pinThree();
    ASSERT_EQ(app().focusedSurface, ID_BOARD_SURFACE);
    const std::string before = readFileText(app().libraryPath);
    {
        CtrlHeld ctrl;
        key(WM_KEYDOWN, VK_RIGHT);
        key(WM_KEYDOWN, VK_RIGHT, true);
        key(WM_KEYDOWN, VK_DOWN, true);
        EXPECT_TRUE(app().unsavedChanges) << "saved only at the end, like a drag";
        EXPECT_EQ(readFileText(app().libraryPath), before);
        key(WM_KEYUP, VK_DOWN);
    }
    EXPECT_FALSE(app().unsavedChanges);
    EXPECT_DOUBLE_EQ(library().stories[0].x, 48.0);
    EXPECT_DOUBLE_EQ(library().stories[0].y, 24.0);
    EXPECT_EQ(readFileText(app().libraryPath + L".bak"), before) << "one save";
    EXPECT_TRUE(IsWindowEnabled(control(ID_UNDO_BOARD)));

    dispatchCommand(*session, ID_UNDO_BOARD);
    EXPECT_DOUBLE_EQ(library().stories[0].x, 0.0);
    EXPECT_DOUBLE_EQ(library().stories[0].y, 0.0);
}

TEST_F(Surfaces, AnUnpinnedSelectionOrLinkModeMovesNoCard)
{
    pinThree();
    library().stories[0].saved = false;
    CtrlHeld ctrl;
    key(WM_KEYDOWN, VK_RIGHT);
    key(WM_KEYUP, VK_RIGHT);
    EXPECT_DOUBLE_EQ(library().stories[0].x, 0.0);
    library().stories[0].saved = true;
    app().linkMode = true;
    key(WM_KEYDOWN, VK_RIGHT);
    EXPECT_DOUBLE_EQ(library().stories[0].x, 0.0);
    EXPECT_FALSE(app().undoAvailable);
}

TEST_F(Surfaces, OverlappingCardsAnswerAHitWithTheOneDrawnOnTop)
{
    pinThree();
    library().stories[1].x = 100.0;  // over the first card's right part
    const DipRect& canvas = app().boardViewRect;
    const float y = canvas.top + 35 + 60;
    EXPECT_EQ(accessibleChildAt(app(), library(), ID_BOARD_SURFACE, canvas.left + 30 + 150, y), 2);
    EXPECT_EQ(accessibleChildAt(app(), library(), ID_BOARD_SURFACE, canvas.left + 30 + 50, y), 1);
    EXPECT_EQ(accessibleChildAt(app(), library(), ID_BOARD_SURFACE, canvas.left + 5, canvas.top + 5), 0);
    EXPECT_EQ(accessibleChildAt(app(), library(), ID_BOARD_SURFACE, canvas.left - 5, y), -1);
}

TEST(AccessibleTexts, FollowTheInterfaceLanguage)
{
    currentUiLanguage = UiLanguage::Spanish;
    EXPECT_EQ(plateAccessibleName(0), L"Acantilados c\u00f3smicos");
    EXPECT_EQ(plateAccessibleName(1), L"Panorama NIRCam + MIRI");
    currentUiLanguage = UiLanguage::German;
    EXPECT_EQ(linkAccessibleName(2, L"Ebbe", L"Flut"), L"Frage: Ebbe -> Flut");
    currentUiLanguage = UiLanguage::English;
    EXPECT_EQ(linkAccessibleName(1, L"Tides", L"Moon"), L"Evidence: Tides -> Moon");
    EXPECT_EQ(plateAccessibleName(1), L"NIRCam + MIRI panorama");
}
