// The notification-area icon: adding it (again after a taskbar restart), its mouse and keyboard
// events, the tray menu, and the new-stories balloon.
#include "shell/shell_internal.h"

#include <cwchar>

namespace {

constexpr UINT MENU_OPEN = 1;
constexpr UINT MENU_REFRESH = 2;
constexpr UINT MENU_QUIT = 3;

struct MenuRelease {
    void operator()(HMENU menu) const noexcept { DestroyMenu(menu); }
};
using MenuOwner = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuRelease>;

template <std::size_t N>
void copyText(wchar_t (&target)[N], const wchar_t* text)
{
    std::wcsncpy(target, text, N - 1);
    target[N - 1] = L'\0';
}

void showTrayMenu(Session& session)
{
    AppState& app = session.app;
    UINT chosen = 0;
    {
        MenuOwner menu(CreatePopupMenu());
        if (!menu)
            return;
        AppendMenuW(menu.get(), MF_STRING, MENU_OPEN, UiText(UiStringKey::OpenKestrune));
        AppendMenuW(menu.get(), MF_STRING | (app.refreshInProgress ? MF_GRAYED : 0u), MENU_REFRESH,
                    UiText(UiStringKey::RefreshSources));
        AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu.get(), MF_STRING, MENU_QUIT, UiText(UiStringKey::QuitKestrune));
        POINT cursor{};
        GetCursorPos(&cursor);
        // In front, so the menu closes when the user clicks elsewhere.
        SetForegroundWindow(app.mainWindow);
        chosen = static_cast<UINT>(TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0,
                                                  app.mainWindow, nullptr));
    }
    PostMessageW(app.mainWindow, WM_NULL, 0, 0);
    switch (chosen) {
    case MENU_OPEN:    showFromTray(app); break;
    case MENU_REFRESH: startRefresh(app, session.library); break;
    case MENU_QUIT:    requestQuit(app, session.library); break;
    default:           break;
    }
}

}  // namespace

namespace {

NOTIFYICONDATAW trayRecord(const AppState& app)
{
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(NOTIFYICONDATAW);
    data.hWnd = app.mainWindow;
    data.uID = TRAY_ICON_ID;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_APP_TRAY;
    data.hIcon = app.appIcon;
    copyText(data.szTip, L"Kestrune");
    return data;
}

bool showTrayRecord(NOTIFYICONDATAW& data)
{
    // After TaskbarCreated the icon may still be there (the shell came back before it lost it):
    // then adding fails and updating it is what works.
    if (Shell_NotifyIconW(NIM_ADD, &data) || Shell_NotifyIconW(NIM_MODIFY, &data))
        return true;
    Shell_NotifyIconW(NIM_DELETE, &data);
    return Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

}  // namespace

void addTrayIcon(AppState& app)
{
    settleTrayIcon(app);
    app.trayIconData = trayRecord(app);
    app.trayIconAdded = showTrayRecord(app.trayIconData);
}

void addTrayIconInBackground(AppState& app)
{
    settleTrayIcon(app);
    app.trayIconData = trayRecord(app);
    // The shell answers slowly (a round trip to its process, hundreds of milliseconds under Wine):
    // the window stays responsive meanwhile, and whatever needs the icon waits for the answer.
    app.trayWorker = std::thread([&app, data = app.trayIconData]() mutable {
        app.trayWorkerAdded = showTrayRecord(data);
        PostMessageW(app.mainWindow, WM_APP_TRAY_READY, 0, 0);
    });
}

void settleTrayIcon(AppState& app)
{
    if (!app.trayWorker.joinable())
        return;
    app.trayWorker.join();
    app.trayIconAdded = app.trayWorkerAdded;
}

void onTrayEvent(Session& session, LPARAM event)
{
    // Classic icons send the mouse message itself; newer ones carry it in the low word.
    switch (LOWORD(event)) {
    case WM_LBUTTONUP:
    case NIN_SELECT:
    case NIN_KEYSELECT:
        showFromTray(session.app);
        break;
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
        showTrayMenu(session);
        break;
    default:
        break;
    }
}

void showNewStoriesBalloon(AppState& app)
{
    settleTrayIcon(app);
    if (!app.trayIconAdded)
        return;
    NOTIFYICONDATAW& data = app.trayIconData;
    data.uFlags = NIF_INFO;
    copyText(data.szInfoTitle, L"Kestrune");
    copyText(data.szInfo, UiText(UiStringKey::NewStoriesBalloon));
    data.dwInfoFlags = NIIF_INFO | NIIF_NOSOUND;
    Shell_NotifyIconW(NIM_MODIFY, &data);
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
}
