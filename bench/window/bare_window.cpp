// The start-up baseline of the window benchmark: a bare GUI process that shows one window of the
// program's size and frame, paints it once double-buffered, and waits in its message loop.
// With "--controls <body bytes> <note bytes>" the window also gets child controls of the kinds and
// number the program makes, filled with texts of its first story's size: what the window system
// alone charges for them, with none of the program's own work.
#include "common/bare_paint.h"
#include "common/bench_text.h"

#include <windows.h>
#include <richedit.h>

#include <cstdio>
#include <string>

namespace {

constexpr wchar_t BARE_CLASS[] = L"KestruneWindowBenchBare";

void paintFrame(HWND window)
{
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(window, &paint);
    bench_paint::paintDoubleBuffered(window, dc);
    EndPaint(window, &paint);
}

std::wstring editText(std::size_t bytes, unsigned seed, const char* paragraph)
{
    const std::string utf8 = bench_text::filler(bytes, seed, paragraph);
    std::wstring text(utf8.size(), L'\0');
    text.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                             text.data(), static_cast<int>(text.size()))));
    return text;
}

HWND child(HWND parent, const wchar_t* className, DWORD style, int x, int y, int width, int height)
{
    return CreateWindowExW(0, className, L"", WS_CHILD | WS_TABSTOP | style, x, y, width, height, parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

// 30 owner-drawn buttons of which 10 are shown, a search field, the story text as a rich edit, the
// note editor and a hidden licence text, all in the program's control font.
void createProgramControls(HWND window, unsigned bodyBytes, unsigned noteBytes)
{
    const DWORD readOnlyText = ES_MULTILINE | ES_READONLY | WS_VSCROLL | ES_AUTOVSCROLL;
    const bool rich = LoadLibraryW(L"msftedit.dll") != nullptr;
    for (int i = 0; i < 30; ++i)
        child(window, L"BUTTON", BS_OWNERDRAW | (i < 10 ? WS_VISIBLE : 0), 16, 120 + 44 * i, 200, 36);
    child(window, L"EDIT", WS_VISIBLE | ES_LEFT | ES_AUTOHSCROLL, 240, 40, 400, 30);
    const HWND text = child(window, rich ? MSFTEDIT_CLASS : L"EDIT", WS_VISIBLE | readOnlyText, 660, 100, 560, 400);
    const HWND note = child(window, L"EDIT", WS_VISIBLE | ES_MULTILINE | WS_VSCROLL | ES_AUTOVSCROLL, 660, 520, 560, 240);
    child(window, L"EDIT", readOnlyText, 240, 100, 400, 600);
    const HFONT font = CreateFontW(-15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                   CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Segoe UI");
    for (HWND control = GetWindow(window, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT))
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageW(note, EM_LIMITTEXT, 2400, 0);
    if (rich)
        SendMessageW(text, EM_EXLIMITTEXT, 0, 1 << 20);
    SetWindowTextW(note, editText(noteBytes, 3000, "\r\n\r\n").c_str());
    SetWindowTextW(text, editText(bodyBytes, 1000, "\r\n\r\n").c_str());
}

LRESULT CALLBACK bareWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        FillRect(item->hDC, &item->rcItem, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
        return TRUE;
    }
    case WM_PAINT:
        paintFrame(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_ENDSESSION:
        if (wParam)
            DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int)
{
    unsigned bodyBytes = 0, noteBytes = 0;
    const bool controls = std::swscanf(arguments, L"--controls %u %u", &bodyBytes, &noteBytes) == 2;
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = bareWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
    windowClass.lpszClassName = BARE_CLASS;
    RegisterClassExW(&windowClass);
    // The program's first window: 1280 x 850, centred in the work area.
    RECT work{0, 0, 1920, 1080};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = std::min<int>(1280, work.right - work.left - 20);
    const int height = std::min<int>(850, work.bottom - work.top - 20);
    const HWND window = CreateWindowExW(WS_EX_APPWINDOW, BARE_CLASS, L"bare",
                                        WS_POPUP | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPCHILDREN,
                                        work.left + (work.right - work.left - width) / 2,
                                        work.top + (work.bottom - work.top - height) / 2, width, height, nullptr,
                                        nullptr, instance, nullptr);
    if (!window)
        return 5;
    if (controls)
        createProgramControls(window, bodyBytes, noteBytes);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
