// The pictures of the user guide: drives the real Kestrune.exe through its four sections with the
// seed library, in English, Spanish, German and with high contrast, and saves small PNGs.
// Run by scripts/screenshots; the folder comes from KESTRUNE_SCREENSHOT_DIR (default: docs).
#include "ui_driver.h"

#include <objbase.h>
#include <objidl.h>
#include <gdiplus.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using ui::Program;
using ui::environment;
using ui::windowsPathOf;
using ui::captureClient;

namespace {

constexpr int SECTION_DISCOVER = 100, SECTION_BOARD = 101, SECTION_ATLAS = 102, SECTION_PREFERENCES = 103;
constexpr int CLOSE_OR_QUIT = 111, PIN = 121, SAVE_NOTE = 123, CONNECT = 124, FIT_BOARD = 125, LINK_KIND = 128;
constexpr int NOTE_EDITOR = 202;
constexpr int CLIENT_WIDTH = 1280, CLIENT_HEIGHT = 820;
// A photograph compresses poorly as PNG: the atlas picture is smaller to stay near the others' size.
constexpr int PICTURE_WIDTH = 960, PHOTO_PICTURE_WIDTH = 680;

namespace gp = Gdiplus::DllExports;

std::wstring outputFolder()
{
    if (std::wstring folder = environment(L"KESTRUNE_SCREENSHOT_DIR"); !folder.empty())
        return windowsPathOf(folder);
    return windowsPathOf(environment(L"KESTRUNE_SOURCE_DIR")) + L"\\docs";
}

// ---------------------------------------------------------------------------------------------
// Pictures

BOOL CALLBACK anyChildNeedsPaint(HWND child, LPARAM found)
{
    if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE))
        *reinterpret_cast<bool*>(found) = true;
    return TRUE;
}

// The settle of the driver answers before posted input (typed characters) has been handled; a
// picture waits until nothing in the window is left to paint.
void waitUntilPainted(const Program& program)
{
    ui::settle(program);
    ui::waitUntil(
        [&] {
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(program.window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
            bool pending = GetUpdateRect(program.window, nullptr, FALSE) != FALSE;
            EnumChildWindows(program.window, anyChildNeedsPaint, reinterpret_cast<LPARAM>(&pending));
            return !pending;
        },
        10s);
}

// The client area as the screen shows it, scaled down with bicubic filtering: the guide needs
// legible pictures, not pixel-exact ones, and fewer pixels keep each file small.
bool savePicture(const Program& program, const std::wstring& name, int pictureWidth = PICTURE_WIDTH)
{
    waitUntilPainted(program);
    int width = 0, height = 0;
    const HBITMAP captured = captureClient(program, width, height);
    if (!captured)
        return false;

    const int outWidth = width > pictureWidth ? pictureWidth : width;
    const int outHeight = (height * outWidth + width / 2) / width;
    bool saved = false;
    CLSID png{};
    CLSIDFromString(L"{557CF406-1A04-11D3-9A73-0000F81EF32E}", &png);  // GDI+'s PNG encoder
    Gdiplus::GpBitmap* source = nullptr;
    Gdiplus::GpBitmap* scaled = nullptr;
    Gdiplus::GpGraphics* graphics = nullptr;
    if (gp::GdipCreateBitmapFromHBITMAP(captured, nullptr, &source) == Gdiplus::Ok
        && gp::GdipCreateBitmapFromScan0(outWidth, outHeight, 0, PixelFormat24bppRGB, nullptr, &scaled) == Gdiplus::Ok
        && gp::GdipGetImageGraphicsContext(scaled, &graphics) == Gdiplus::Ok) {
        gp::GdipSetInterpolationMode(graphics, Gdiplus::InterpolationModeHighQualityBicubic);
        gp::GdipSetPixelOffsetMode(graphics, Gdiplus::PixelOffsetModeHighQuality);
        if (gp::GdipDrawImageRectI(graphics, source, 0, 0, outWidth, outHeight) == Gdiplus::Ok) {
            const std::wstring path = outputFolder() + L"\\" + name + L".png";
            saved = gp::GdipSaveImageToFile(scaled, path.c_str(), &png, nullptr) == Gdiplus::Ok;
            WIN32_FILE_ATTRIBUTE_DATA file{};
            if (saved && GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &file))
                std::printf("%ls.png: %d x %d, %lu bytes\n", name.c_str(), outWidth, outHeight, file.nFileSizeLow);
        }
    }
    if (graphics)
        gp::GdipDeleteGraphics(graphics);
    if (scaled)
        gp::GdipDisposeImage(scaled);
    if (source)
        gp::GdipDisposeImage(source);
    DeleteObject(captured);
    if (!saved)
        std::printf("%ls.png could not be saved\n", name.c_str());
    return saved;
}

// ---------------------------------------------------------------------------------------------
// High contrast

// The "High Contrast Black" colours of Windows, written where Windows keeps the colour scheme; a
// program started afterwards reads them. The previous values come back when the owner ends.
class HighContrastColours {
public:
    HighContrastColours()
    {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Colors", 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                            nullptr, &key_, nullptr)
            != ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        for (const auto& [name, value] : SCHEME) {
            Saved saved{name, {}, false};
            wchar_t buffer[64] = {};
            DWORD size = sizeof buffer, type = 0;
            if (RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS
                && type == REG_SZ) {
                saved.value = buffer;
                saved.existed = true;
            }
            saved_.push_back(saved);
            write(name, value);
        }
    }
    HighContrastColours(const HighContrastColours&) = delete;
    HighContrastColours& operator=(const HighContrastColours&) = delete;
    ~HighContrastColours()
    {
        if (key_ == nullptr)
            return;
        for (const Saved& saved : saved_) {
            if (saved.existed)
                write(saved.name, saved.value.c_str());
            else
                RegDeleteValueW(key_, saved.name);
        }
        RegCloseKey(key_);
    }

private:
    struct Saved {
        const wchar_t* name;
        std::wstring value;
        bool existed;
    };
    static constexpr std::pair<const wchar_t*, const wchar_t*> SCHEME[] = {
        {L"Window", L"0 0 0"},        {L"WindowText", L"255 255 255"}, {L"Hilight", L"26 235 255"},
        {L"HilightText", L"0 0 0"},   {L"ButtonFace", L"0 0 0"},       {L"ButtonText", L"255 255 255"},
        {L"GrayText", L"63 242 63"},  {L"WindowFrame", L"255 255 255"}, {L"HotTrackingColor", L"255 255 0"},
    };

    void write(const wchar_t* name, const wchar_t* value)
    {
        RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    }

    HKEY key_ = nullptr;
    std::vector<Saved> saved_;
};

// ---------------------------------------------------------------------------------------------
// Driving

struct Session {
    Program program;
    float scale = 1.0f;

    int px(double dip) const { return static_cast<int>(dip * scale + 0.5); }
    void clickAt(double x, double y)
    {
        ui::mouseDown(program, px(x), px(y));
        ui::mouseUp(program, px(x), px(y));
    }
    // A card at board (x, y) in the default view, clicked in its middle.
    void clickCard(double x, double y) { clickAt(254 + x + 120, 239 + y + 60); }
    // Discover rows are 108 dip high with 5 between them, from 218 down.
    void clickRow(int row) { clickAt(300, 218 + row * 113 + 50); }
};

bool start(Session& session, const std::wstring& arguments)
{
    session.program = ui::launch(arguments);
    if (session.program.window == nullptr) {
        std::printf("Kestrune did not open its window (%ls)\n", arguments.c_str());
        return false;
    }
    ui::resizeClient(session.program, CLIENT_WIDTH, CLIENT_HEIGHT);
    const ui::State state = ui::queryState(session.program);
    session.scale = std::stof(state["dpiScale"].empty() ? std::string("1") : state["dpiScale"]);
    return true;
}

bool quit(Session& session)
{
    ui::click(session.program, SECTION_PREFERENCES);
    ui::click(session.program, CLOSE_OR_QUIT);  // "Quit Kestrune" in Preferences
    return ui::waitForExit(session.program, 20s) == 0;
}

bool shoot(Session& session, int section, const std::wstring& name)
{
    ui::click(session.program, section);
    ui::settle(session.program);
    return savePicture(session.program, name);
}

// The four sections in English: the seed library with a note written and every story pinned, the
// board with three links, fitted, the first plate and Preferences.
bool englishSections()
{
    Session s;
    if (!start(s, L"--ui-test"))
        return false;
    bool ok = true;
    s.clickRow(0);
    const std::wstring note = L"Compare with the Cosmic Cliffs mosaic: same dust, other bands.";
    const HWND editor = ui::control(s.program, NOTE_EDITOR);
    ui::typeText(editor, note);
    ok &= ui::waitUntil([&] { return ui::text(editor) == note; }, 30s);
    ui::click(s.program, SAVE_NOTE);
    for (int row = 0; row < 4; ++row) {
        s.clickRow(row);
        ui::click(s.program, PIN);
    }
    s.clickRow(0);
    ok &= shoot(s, SECTION_DISCOVER, L"screenshot-discover");

    // Pinned cards take the grid slots (0, 0), (335, 0), (670, 0), (0, 170); the third lies beyond
    // the canvas until the board is fitted, so the links join the other three.
    ui::click(s.program, SECTION_BOARD);
    const auto connect = [&](double fromX, double fromY, double toX, double toY) {
        s.clickCard(fromX, fromY);
        ui::click(s.program, LINK_KIND);  // Related -> Evidence -> Question -> Related
        ui::click(s.program, CONNECT);
        s.clickCard(toX, toY);
    };
    connect(0, 0, 335, 0);
    connect(0, 0, 0, 170);
    connect(335, 0, 0, 170);
    s.clickCard(0, 0);
    ui::click(s.program, FIT_BOARD);
    ok &= shoot(s, SECTION_BOARD, L"screenshot-board");

    ui::click(s.program, SECTION_ATLAS);
    // The full plate takes a while to decode under Wine; the preview under its veil will do if not.
    ui::waitUntil([&] { return ui::queryState(s.program)["plateDecodeRunning"] == "0"; }, 180s);
    ok &= savePicture(s.program, L"screenshot-atlas", PHOTO_PICTURE_WIDTH);
    ok &= shoot(s, SECTION_PREFERENCES, L"screenshot-preferences");
    return quit(s) && ok;
}

bool translated(const std::wstring& arguments, int section, const std::wstring& name)
{
    Session s;
    if (!start(s, arguments))
        return false;
    s.clickRow(0);
    const bool ok = shoot(s, section, name);
    return quit(s) && ok;
}

}  // namespace

int main()
{
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ULONG_PTR token = 0;
    const Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok)
        return 2;
    // Wine winds its desktop down when the last window closes, which stalls the next start.
    const HWND idle = ui::createIdleWindow(L"KestruneScreenshotsIdle");

    ui::resetDataFolder();
    bool ok = englishSections();
    // The library of the English run stays: the other languages show the same stories and board.
    ok &= translated(L"--ui-test-es", SECTION_DISCOVER, L"screenshot-discover-es");
    ok &= translated(L"--ui-test-de", SECTION_PREFERENCES, L"screenshot-preferences-de");
    {
        const HighContrastColours colours;
        ok &= translated(L"--ui-test --ui-test-high-contrast", SECTION_BOARD, L"screenshot-high-contrast");
    }
    ui::resetDataFolder();

    DestroyWindow(idle);
    Gdiplus::GdiplusShutdown(token);
    CoUninitialize();
    return ok ? 0 : 1;
}
