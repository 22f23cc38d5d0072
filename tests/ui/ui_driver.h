// The UI test driver's toolkit: starts the real Kestrune.exe in UI test mode, finds its window and
// controls, clicks and types as a user would, and saves screenshots.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>

namespace ui {

inline constexpr wchar_t TEST_WINDOW_CLASS[] = L"KestruneTestWindow";

// A running Kestrune.exe; ended (killed) when the owner goes out of scope and it still runs.
struct Program {
    HANDLE process = nullptr;
    DWORD processId = 0;
    HWND window = nullptr;

    Program() = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    Program(Program&& other) noexcept;
    Program& operator=(Program&& other) noexcept;
    ~Program();
};

std::wstring environment(const wchar_t* name);  // empty when unset
// CTest hands over folders as Unix paths; Wine maps the Unix root to drive Z.
std::wstring windowsPathOf(std::wstring path);
std::wstring kestruneExe();             // the program under test, from KESTRUNE_BUILD_DIR
std::wstring uiDataFolder();            // %LOCALAPPDATA%\Kestrune-UI-Test
std::wstring screenshotFolder();        // build folder\ui-screenshots, created on demand
void resetDataFolder();                 // removes the UI test data folder and everything in it
std::wstring dataFile(const std::wstring& name);

// Wine winds its desktop process down when the last window closes, and a program started right after
// that can stall for a minute; one idle 1-pixel window of the driver's process, in the screen's
// last corner, keeps the desktop alive.
HWND createIdleWindow(const wchar_t* className);

// Starts the program with these arguments; waits (bounded) for its visible main window when asked.
Program launch(const std::wstring& arguments, bool waitForWindow = true);
// Waits for the process to end and returns its full Windows exit code, or STILL_ACTIVE on time-out.
DWORD waitForExit(Program& program, std::chrono::milliseconds timeout);

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);
// Lets the program handle everything queued so far (a round trip through its window thread).
void settle(const Program& program);

// Sets the main window's client area to exactly these device pixels, frame included.
void resizeClient(const Program& program, int width, int height);

HWND control(const Program& program, int id);
bool isShown(const Program& program, int id);
std::wstring text(HWND window);
RECT clientRectOf(const Program& program, int id);  // the control's rectangle in client pixels
void click(const Program& program, int id);

// Keys, as the message loop sees them; Ctrl is held through the program's shared keyboard state.
void pressKey(const Program& program, HWND target, UINT key, bool ctrl = false);
// AltGr as Windows reports it (Ctrl and Alt held), followed by the character a European layout
// translates the key into.
void pressAltGrKey(const Program& program, HWND target, UINT key, wchar_t typed);
void typeText(HWND edit, const std::wstring& text);

// Opens the tray icon's menu and chooses its entry by position (0 first), from the keyboard.
bool chooseTrayMenuEntry(const Program& program, int index);

// Mouse in client pixels of the main window.
void mouseDown(const Program& program, int x, int y);
void mouseMove(const Program& program, int x, int y);
void mouseUp(const Program& program, int x, int y);

std::string readFileBytes(const std::wstring& path);
bool fileExists(const std::wstring& path);

// What the program reports of itself in UI test mode: it answers the registered message
// "KestruneUiTestState" by writing "ui-state.txt" (UTF-8 "name=value" lines) into its data folder.
struct State {
    std::map<std::string, std::string> values;
    std::string operator[](const std::string& name) const;
    std::wstring wide(const std::string& name) const;
    bool flag(const std::string& name) const { return (*this)[name] == "1"; }
};
State queryState(const Program& program);
// The same answer without settling first, for loops that ask often and wait by other means.
State readState(const Program& program);

// The control that has the keyboard focus in the program, by id (0 for none or the main window).
int focusedControlId(const Program& program);

// Saves the main window's client area as a PNG named after the test.
// The client area as the screen shows it, with no other window over it; null when the window has
// no client area. The caller deletes the bitmap.
HBITMAP captureClient(const Program& program, int& width, int& height);
bool saveScreenshot(const Program& program, const std::wstring& name);

}  // namespace ui
