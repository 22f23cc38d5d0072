// The real Kestrune.exe with high contrast on (forced through its UI-test switch, since Wine cannot
// switch the setting on) and off: surfaces and accents are painted in the Windows colours or its own.
#include "ui_driver.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace std::chrono_literals;
using ui::Program;

namespace {

constexpr int SECTION_DISCOVER = 100, SECTION_PREFERENCES = 103, CLOSE_OR_QUIT = 111;

struct Colours {
    COLORREF sidebar;     // the paper behind the sidebar
    COLORREF sectionFill; // the chosen section's button
};

COLORREF screenPixel(const Program& program, int x, int y)
{
    POINT point{x, y};
    ClientToScreen(program.window, &point);
    const HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, point.x, point.y);
    ReleaseDC(nullptr, screen);
    return colour;
}

Colours paintedColours(const std::wstring& arguments)
{
    ui::resetDataFolder();
    Program program = ui::launch(arguments);
    EXPECT_NE(program.window, nullptr) << "no main window appeared";
    if (program.window == nullptr)
        return {CLR_INVALID, CLR_INVALID};
    SetForegroundWindow(program.window);
    ui::settle(program);
    const RECT discover = ui::clientRectOf(program, SECTION_DISCOVER);
    RECT client{};
    GetClientRect(program.window, &client);
    // Below the section buttons and above the live figures the sidebar is bare paper; the label
    // of a section button is centred, so its left end is bare fill.
    const Colours colours{screenPixel(program, discover.left + 8, (discover.bottom + client.bottom) / 2 - 60),
                          screenPixel(program, discover.left + 8, (discover.top + discover.bottom) / 2)};
    ui::click(program, SECTION_PREFERENCES);
    ui::click(program, CLOSE_OR_QUIT);
    EXPECT_EQ(ui::waitForExit(program, 20s), 0u);
    return colours;
}

}  // namespace

TEST(HighContrast, PaintsSurfacesAndAccentsInTheWindowsColoursOnlyWhenOn)
{
    const Colours own = paintedColours(L"--ui-test");
    EXPECT_EQ(own.sidebar, RGB(0xF7, 0xF6, 0xF1));
    EXPECT_EQ(own.sectionFill, RGB(0x1E, 0x43, 0xCB));

    const Colours contrast = paintedColours(L"--ui-test --ui-test-high-contrast");
    EXPECT_EQ(contrast.sidebar, GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(contrast.sectionFill, GetSysColor(COLOR_HIGHLIGHT));
}
