// The UI test driver's toolkit: process start and end, window and control lookup, input, screenshots.
#include "ui_driver.h"

#include <objidl.h>
#include <gdiplus.h>
#include <shlobj.h>
#include <shellapi.h>

#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <thread>

namespace ui {

std::wstring environment(const wchar_t* name)
{
    wchar_t buffer[32768];
    const DWORD length = GetEnvironmentVariableW(name, buffer, 32768);
    return length > 0 && length < 32768 ? std::wstring(buffer, length) : std::wstring();
}

// CTest hands over the build folder as a Unix path; Wine maps the Unix root to drive Z.
std::wstring windowsPathOf(std::wstring path)
{
    if (!path.empty() && path[0] == L'/')
        path = L"Z:" + path;
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

namespace {

std::wstring buildFolder()
{
    return windowsPathOf(environment(L"KESTRUNE_BUILD_DIR"));
}

struct FindContext {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK findMainWindow(HWND window, LPARAM parameter)
{
    auto* context = reinterpret_cast<FindContext*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (owner == context->processId && wcscmp(className, TEST_WINDOW_CLASS) == 0) {
        context->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND mainWindowOf(DWORD processId)
{
    FindContext context{processId, nullptr};
    EnumWindows(findMainWindow, reinterpret_cast<LPARAM>(&context));
    return context.found;
}

LPARAM pointParameter(int x, int y)
{
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y)));
}

bool pngEncoder(CLSID& clsid)
{
    // The PNG codec's fixed class id; GDI+ registers it on every Windows version.
    return CLSIDFromString(L"{557CF406-1A04-11D3-9A73-0000F81EF32E}", &clsid) == S_OK;
}

}  // namespace

Program::Program(Program&& other) noexcept
    : process(other.process), processId(other.processId), window(other.window)
{
    other.process = nullptr;
}

Program& Program::operator=(Program&& other) noexcept
{
    if (this != &other) {
        this->~Program();
        process = other.process;
        processId = other.processId;
        window = other.window;
        other.process = nullptr;
    }
    return *this;
}

Program::~Program()
{
    if (process == nullptr)
        return;
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process, 99);
        WaitForSingleObject(process, 10000);
    }
    CloseHandle(process);
}

std::wstring kestruneExe()
{
    return buildFolder() + L"\\src\\shell\\Kestrune.exe";
}

std::wstring uiDataFolder()
{
    PWSTR folder = nullptr;
    std::wstring result;
    if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder) == S_OK)
        result = std::wstring(folder) + L"\\Kestrune-UI-Test";
    CoTaskMemFree(folder);
    return result;
}

std::wstring screenshotFolder()
{
    const std::wstring folder = buildFolder() + L"\\ui-screenshots";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void resetDataFolder()
{
    std::wstring from = uiDataFolder();
    from.push_back(L'\0');  // SHFileOperationW takes a double-NUL-terminated list
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NO_UI;
    SHFileOperationW(&operation);
}

std::wstring dataFile(const std::wstring& name)
{
    return uiDataFolder() + L"\\" + name;
}

Program launch(const std::wstring& arguments, bool waitForWindow)
{
    Program program;
    std::wstring commandLine = L"\"" + kestruneExe() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return program;
    CloseHandle(info.hThread);
    program.process = info.hProcess;
    program.processId = info.dwProcessId;
    if (waitForWindow) {
        waitUntil(
            [&] {
                program.window = mainWindowOf(program.processId);
                return program.window != nullptr && IsWindowVisible(program.window);
            },
            std::chrono::seconds(30));
        if (program.window != nullptr)
            settle(program);
    }
    return program;
}

DWORD waitForExit(Program& program, std::chrono::milliseconds timeout)
{
    if (program.process == nullptr)
        return STILL_ACTIVE;
    if (WaitForSingleObject(program.process, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(program.process, &code);
    return code;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

HWND createIdleWindow(const wchar_t* className)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, className, L"", WS_POPUP,
                                        GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1, 1, 1,
                                        nullptr, nullptr, windowClass.hInstance, nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    return window;
}

void settle(const Program& program)
{
    DWORD_PTR ignored = 0;
    for (int i = 0; i < 3; ++i) {
        WaitForInputIdle(program.process, 2000);
        SendMessageTimeoutW(program.window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
}

void resizeClient(const Program& program, int width, int height)
{
    RECT window{}, client{};
    GetWindowRect(program.window, &window);
    GetClientRect(program.window, &client);
    const int frameX = (window.right - window.left) - client.right;
    const int frameY = (window.bottom - window.top) - client.bottom;
    SetWindowPos(program.window, nullptr, 0, 0, width + frameX, height + frameY, SWP_NOZORDER | SWP_NOACTIVATE);
    settle(program);
}

HWND control(const Program& program, int id)
{
    return GetDlgItem(program.window, id);
}

bool isShown(const Program& program, int id)
{
    const HWND child = control(program, id);
    return child != nullptr && (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) != 0;
}

std::wstring text(HWND window)
{
    const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring result(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(result.size()), reinterpret_cast<LPARAM>(result.data()));
    result.resize(wcslen(result.c_str()));
    return result;
}

RECT clientRectOf(const Program& program, int id)
{
    RECT rect{};
    GetWindowRect(control(program, id), &rect);
    MapWindowPoints(nullptr, program.window, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void click(const Program& program, int id)
{
    const HWND button = control(program, id);
    PostMessageW(program.window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    settle(program);
}

namespace {

// A posted WM_KEYDOWN does not change what GetKeyState reports: share the program's input state
// and hold the modifiers down in it while the key is handled.
class HeldModifiers {
public:
    HeldModifiers(const Program& program, std::initializer_list<UINT> keys)
        : programThread_(GetWindowThreadProcessId(program.window, nullptr)), ownThread_(GetCurrentThreadId()),
          active_(keys.size() > 0)
    {
        if (!active_)
            return;
        AttachThreadInput(ownThread_, programThread_, TRUE);
        GetKeyboardState(saved_);
        BYTE held[256];
        memcpy(held, saved_, sizeof(held));
        for (UINT key : keys)
            held[key] = 0x80;
        SetKeyboardState(held);
    }
    HeldModifiers(const HeldModifiers&) = delete;
    HeldModifiers& operator=(const HeldModifiers&) = delete;
    ~HeldModifiers()
    {
        if (!active_)
            return;
        SetKeyboardState(saved_);
        AttachThreadInput(ownThread_, programThread_, FALSE);
    }

private:
    DWORD programThread_;
    DWORD ownThread_;
    bool active_;
    BYTE saved_[256] = {};
};

void postKey(const Program& program, HWND target, UINT key, wchar_t typed)
{
    const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, key, 1 | (scan << 16));
    if (typed)
        PostMessageW(target, WM_CHAR, typed, 1 | (scan << 16));
    PostMessageW(target, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
    settle(program);
}

}  // namespace

void pressKey(const Program& program, HWND target, UINT key, bool ctrl)
{
    HeldModifiers held(program, ctrl ? std::initializer_list<UINT>{VK_CONTROL, VK_LCONTROL}
                                     : std::initializer_list<UINT>{});
    postKey(program, target, key, 0);
}

void pressAltGrKey(const Program& program, HWND target, UINT key, wchar_t typed)
{
    HeldModifiers held(program, {VK_CONTROL, VK_LCONTROL, VK_MENU, VK_RMENU});
    postKey(program, target, key, typed);
}

void typeText(HWND edit, const std::wstring& text)
{
    for (wchar_t c : text)
        PostMessageW(edit, WM_CHAR, c, 1);
}

bool chooseTrayMenuEntry(const Program& program, int index)
{
    PostMessageW(program.window, 0x8003 /* WM_APP_TRAY */, 1, WM_RBUTTONUP);
    HWND menu = nullptr;
    const DWORD programThread = GetWindowThreadProcessId(program.window, nullptr);
    const bool opened = waitUntil(
        [&] {
            menu = FindWindowW(L"#32768", nullptr);
            return menu != nullptr && IsWindowVisible(menu) && GetWindowThreadProcessId(menu, nullptr) == programThread;
        },
        std::chrono::seconds(5));
    if (!opened)
        return false;
    // The menu's modal loop reads the program thread's queue: Down from nothing selects the first entry.
    for (int i = 0; i <= index; ++i) {
        PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    waitUntil([&] { return !IsWindowVisible(menu); }, std::chrono::seconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return true;
}

void mouseDown(const Program& program, int x, int y)
{
    PostMessageW(program.window, WM_LBUTTONDOWN, MK_LBUTTON, pointParameter(x, y));
    settle(program);
}

void mouseMove(const Program& program, int x, int y)
{
    PostMessageW(program.window, WM_MOUSEMOVE, MK_LBUTTON, pointParameter(x, y));
    settle(program);
}

void mouseUp(const Program& program, int x, int y)
{
    PostMessageW(program.window, WM_LBUTTONUP, 0, pointParameter(x, y));
    settle(program);
}

std::string readFileBytes(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool fileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string State::operator[](const std::string& name) const
{
    const auto found = values.find(name);
    return found == values.end() ? std::string() : found->second;
}

std::wstring State::wide(const std::string& name) const
{
    const std::string value = (*this)[name];
    if (value.empty())
        return {};
    std::wstring result(value.size(), L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, value.data(), static_cast<int>(value.size()), result.data(),
                                           static_cast<int>(result.size()));
    result.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    return result;
}

State queryState(const Program& program)
{
    settle(program);
    return readState(program);
}

State readState(const Program& program)
{
    static const UINT message = RegisterWindowMessageW(L"KestruneUiTestState");
    State state;
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(program.window, message, 0, 0, SMTO_NORMAL, 5000, &answer) || answer != 1)
        return state;
    std::string content = readFileBytes(dataFile(L"ui-state.txt"));
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        const std::string line = content.substr(start, end - start);
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos)
            state.values[line.substr(0, equals)] = line.substr(equals + 1);
        start = end + 1;
    }
    return state;
}

int focusedControlId(const Program& program)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(program.window, nullptr), &info) || info.hwndFocus == nullptr
        || info.hwndFocus == program.window)
        return 0;
    return GetDlgCtrlID(info.hwndFocus);
}

HBITMAP captureClient(const Program& program, int& width, int& height)
{
    RECT client{};
    GetClientRect(program.window, &client);
    POINT origin{0, 0};
    ClientToScreen(program.window, &origin);
    width = client.right;
    height = client.bottom;
    if (width <= 0 || height <= 0)
        return nullptr;
    // Nothing may cover the window while it is read back: under Xvfb, Wine shows the tray icons in
    // a small window of their own at the screen's top-left corner.
    constexpr UINT KEEP = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
    SetWindowPos(program.window, HWND_TOPMOST, 0, 0, 0, 0, KEEP);
    settle(program);
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    SetWindowPos(program.window, HWND_NOTOPMOST, 0, 0, 0, 0, KEEP);
    return bitmap;
}

bool saveScreenshot(const Program& program, const std::wstring& name)
{
    int width = 0, height = 0;
    const HBITMAP bitmap = captureClient(program, width, height);
    if (!bitmap)
        return false;

    bool saved = false;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    CLSID png{};
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
        Gdiplus::GpBitmap* image = nullptr;
        if (pngEncoder(png) && Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) == Gdiplus::Ok) {
            const std::wstring path = screenshotFolder() + L"\\" + name + L".png";
            saved = Gdiplus::DllExports::GdipSaveImageToFile(image, path.c_str(), &png, nullptr) == Gdiplus::Ok;
            Gdiplus::DllExports::GdipDisposeImage(image);
        }
        Gdiplus::GdiplusShutdown(token);
    }
    DeleteObject(bitmap);
    return saved;
}

}  // namespace ui
