// The main window procedure: a switchboard that routes every message to a named handler, and the
// handlers for creation, sizing, painting, keys, edits, timers, the mouse and the workers' results.
#include "shell/shell_internal.h"

#include "feeds/feeds.h"
#include "locale/locale.h"
#include "views/views.h"

#include <windowsx.h>

using namespace shell_detail;

namespace {

LRESULT onCreate(Session& s, HWND window)
{
    AppState& app = s.app;
    app.mainWindow = window;
    createChildControls(app);
    createSurfaces(app);
    app.dpiScale = static_cast<float>(GetDpiForWindow(window)) / 96.0f;
    applyControlFont(app);
    app.taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
    SetTimer(window, TIMER_TICK, TIMER_TICK_MS, nullptr);
    layoutControls(app, s.library);
    return 0;
}

LRESULT onDestroy(AppState& app)
{
    beginShutdown(app);
    settleTrayIcon(app);
    if (app.trayIconAdded)
        Shell_NotifyIconW(NIM_DELETE, &app.trayIconData);
    PostQuitMessage(0);
    return 0;
}

LRESULT onSize(Session& s, WPARAM kind)
{
    if (kind != SIZE_MINIMIZED) {
        layoutControls(s.app, s.library);
        return 0;
    }
    hideToTray(s.app, s.library);
    // Hiding was refused (unsaved changes, no notification area): the status line must stay in view.
    if (IsWindowVisible(s.app.mainWindow))
        ShowWindow(s.app.mainWindow, SW_RESTORE);
    return 0;
}

LRESULT onPaint(Session& s, HWND window)
{
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window, &paint);
    if (dc)
        paintWindow(dc, s.app, s.library, paint.rcPaint);
    EndPaint(window, &paint);
    return 0;
}

LRESULT onQueryEndSession(Session& s)
{
    return commitNote(s.app, s.library) && !s.app.unsavedChanges ? TRUE : FALSE;
}

LRESULT onEndSession(Session& s, WPARAM ending)
{
    if (ending) {
        // Windows may end the session without asking first: the note typed last still goes to disk.
        commitNote(s.app, s.library);
        beginShutdown(s.app);
        DestroyWindow(s.app.mainWindow);
    }
    return 0;
}

LRESULT onShowWindow(AppState& app, WPARAM shown)
{
    if (shown && app.currentSection == Section::Atlas)
        startPlateDecode(app);
    return 0;
}

LRESULT onSettingChange(Session& s)
{
    if (!s.app.uiTestMode)
        currentUiLanguage = detectUiLanguage();
    applyPalette(s.app, currentPalette());
    layoutControls(s.app, s.library);
    return 0;
}

LRESULT onGetMinMaxInfo(const AppState& app, LPARAM lParam)
{
    auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
    const SIZE minimum = minimumTrackSize(app.dpiScale);
    info->ptMinTrackSize.x = minimum.cx;
    info->ptMinTrackSize.y = minimum.cy;
    return 0;
}

LRESULT onNcHitTest(const AppState& app, HWND window, WPARAM wParam, LPARAM lParam)
{
    const LRESULT standard = DefWindowProcW(window, WM_NCHITTEST, wParam, lParam);
    if (standard != HTCLIENT)
        return standard;
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ScreenToClient(window, &point);
    return isCaptionPoint(point.x, point.y, app.dpiScale, app.clientWidthDip) ? HTCAPTION : HTCLIENT;
}

LRESULT onKeyDown(Session& s, WPARAM key)
{
    AppState& app = s.app;
    // After a click on the board or the atlas the main window holds the focus; its keys are then
    // the surface's. Keys that owner-drawn buttons pass on are not.
    if (app.currentSection != Section::Discover) {
        if (GetFocus() == app.mainWindow)
            onSurfaceKey(s, sectionSurface(app.currentSection), true, key);
        return 0;
    }
    if (key != VK_UP && key != VK_DOWN)
        return 0;
    const std::vector<const Story*> rows = matchingStories(app, s.library);
    int current = -1;
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i]->id == app.selectedStoryId)
            current = static_cast<int>(i);
    const int next = nextListIndex(current, key == VK_UP ? -1 : 1, static_cast<int>(rows.size()));
    if (next < 0)
        return 0;
    const std::string id = rows[static_cast<std::size_t>(next)]->id;
    selectStory(app, s.library, id);
    app.listScrollOffset = listOffsetForIndex(next);
    repaint(app);
    return 0;
}

LRESULT onKeyUp(Session& s, WPARAM key)
{
    if (s.app.currentSection != Section::Discover && GetFocus() == s.app.mainWindow)
        onSurfaceKey(s, sectionSurface(s.app.currentSection), false, key);
    return 0;
}

LRESULT onEditChange(Session& s, ControlId id)
{
    AppState& app = s.app;
    if (app.suppressEditNotifications)
        return 0;
    if (id == ID_SEARCH) {
        wchar_t buffer[200] = {};
        GetWindowTextW(controlWindow(app, ID_SEARCH), buffer, 200);
        app.searchText = buffer;
        app.listScrollOffset = 0;
        repaint(app);
    } else if (id == ID_NOTE) {
        app.unsavedChanges = true;
        SetTimer(app.mainWindow, TIMER_NOTE_SAVE, TIMER_NOTE_SAVE_MS, nullptr);
        setStatusKey(app, UiStringKey::UnsavedChanges, false);
    }
    return 0;
}

LRESULT onCommand(Session& s, WPARAM wParam)
{
    const auto id = static_cast<ControlId>(LOWORD(wParam));
    const UINT code = HIWORD(wParam);
    // A quick second click on an owner-drawn button arrives as a double click; it is a click too,
    // except on Restore, whose two steps must each be a deliberate click.
    const bool clicked = code == BN_CLICKED || (code == BN_DOUBLECLICKED && id != ID_RESTORE);
    if (clicked && id < ID_SEARCH)
        dispatchCommand(s, id);
    else if (code == EN_CHANGE)
        onEditChange(s, id);
    return 0;
}

LRESULT onSysCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    if ((wParam & 0xFFF0) == SC_KEYMENU)
        return 0;
    return DefWindowProcW(window, WM_SYSCOMMAND, wParam, lParam);
}

LRESULT onTimer(Session& s, WPARAM id)
{
    if (id == TIMER_NOTE_SAVE) {
        KillTimer(s.app.mainWindow, TIMER_NOTE_SAVE);
        commitNote(s.app, s.library);
    } else if (id == TIMER_PREVIEWS) {
        KillTimer(s.app.mainWindow, TIMER_PREVIEWS);
        loadPreviewImages(s.app);
        repaint(s.app);  // an atlas already open shows them now
    } else if (id == TIMER_BOARD_ZOOM_REST) {
        KillTimer(s.app.mainWindow, TIMER_BOARD_ZOOM_REST);
        s.app.boardZoomTurning = false;
        repaint(s.app);
    } else {
        refreshTick(s.app, s.library);
    }
    return 0;
}

LRESULT onControlColour(const AppState& app, WPARAM dc)
{
    SetTextColor(reinterpret_cast<HDC>(dc), colourRef(app.palette.ink));
    SetBkColor(reinterpret_cast<HDC>(dc), colourRef(app.palette.card));
    return reinterpret_cast<LRESULT>(app.editBackgroundBrush);
}

struct DipPoint {
    float x;
    float y;
};

DipPoint dipPoint(const AppState& app, LPARAM lParam)
{
    return {static_cast<float>(GET_X_LPARAM(lParam)) / app.dpiScale,
            static_cast<float>(GET_Y_LPARAM(lParam)) / app.dpiScale};
}

LRESULT onMouseMove(Session& s, LPARAM lParam)
{
    AppState& app = s.app;
    if (!app.dragging)
        return 0;
    const DipPoint p = dipPoint(app, lParam);
    if (app.currentSection == Section::Board)
        onDragMoveBoard(app, s.library, p.x, p.y);
    else if (app.currentSection == Section::Atlas)
        onDragMoveAtlas(app, p.x, p.y);
    app.lastMouseX = p.x;
    app.lastMouseY = p.y;
    repaint(app);
    return 0;
}

LRESULT onMouseDown(Session& s, LPARAM lParam)
{
    const DipPoint p = dipPoint(s.app, lParam);
    switch (s.app.currentSection) {
    case Section::Discover:    carryOut(s.app, s.library, onMouseDownDiscover(s.app, p.x, p.y)); break;
    case Section::Board:       carryOut(s.app, s.library, onMouseDownBoard(s.app, s.library, p.x, p.y)); break;
    case Section::Atlas:       carryOut(s.app, s.library, onMouseDownAtlas(s.app, p.x, p.y)); break;
    case Section::Preferences: break;
    }
    return 0;
}

LRESULT onMouseUp(Session& s)
{
    AppState& app = s.app;
    if (!app.dragging)
        return 0;
    app.dragging = false;
    ReleaseCapture();
    if (app.unsavedChanges)
        saveLibrary(app, s.library);
    layoutControls(app, s.library);
    return 0;
}

LRESULT onCaptureChanged(Session& s)
{
    AppState& app = s.app;
    if (!app.dragging)
        return 0;
    app.dragging = false;
    if (app.unsavedChanges)
        saveLibrary(app, s.library);
    return 0;
}

LRESULT onMouseWheel(Session& s, HWND window, WPARAM wParam, LPARAM lParam)
{
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ScreenToClient(window, &point);
    const float x = static_cast<float>(point.x) / s.app.dpiScale, y = static_cast<float>(point.y) / s.app.dpiScale;
    const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
    switch (s.app.currentSection) {
    case Section::Discover:    carryOut(s.app, s.library, onMouseWheelDiscover(s.app, x, y, delta)); break;
    case Section::Board:       carryOut(s.app, s.library, onMouseWheelBoard(s.app, x, y, delta)); break;
    case Section::Atlas:       carryOut(s.app, s.library, onMouseWheelAtlas(s.app, x, y, delta)); break;
    case Section::Preferences: break;
    }
    return 0;
}

LRESULT onDpiChanged(Session& s, WPARAM wParam, LPARAM lParam)
{
    AppState& app = s.app;
    app.dpiScale = static_cast<float>(HIWORD(wParam)) / 96.0f;
    applyControlFont(app);
    const auto* suggested = reinterpret_cast<const RECT*>(lParam);
    SetWindowPos(app.mainWindow, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    layoutControls(app, s.library);
    return 0;
}

LRESULT onFeedsDone(Session& s, LPARAM lParam)
{
    onRefreshOutcome(s.app, s.library, std::unique_ptr<RefreshOutcome>(reinterpret_cast<RefreshOutcome*>(lParam)));
    return 0;
}

LRESULT onPlateDone(Session& s, LPARAM lParam)
{
    onPlateResult(s.app, s.library, std::unique_ptr<PlateResult>(reinterpret_cast<PlateResult*>(lParam)));
    return 0;
}

LRESULT handleMessage(Session& s, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    AppState& app = s.app;
    if (app.taskbarCreatedMessage != 0 && message == app.taskbarCreatedMessage) {
        addTrayIcon(app);
        return 0;
    }
    if (message == WM_APP_TRAY_READY) {
        settleTrayIcon(app);
        return 0;
    }
    if (app.uiTestMode && message == uiTestStateMessage()) {
        settleTrayIcon(app);
        return answerUiTestStateQuery(s);
    }
    switch (message) {
    case WM_CREATE:           return onCreate(s, window);
    case WM_DESTROY:          return onDestroy(app);
    case WM_SIZE:             return onSize(s, wParam);
    case WM_CLOSE:            hideToTray(app, s.library); return 0;
    case WM_PAINT:            return onPaint(s, window);
    case WM_ERASEBKGND:       return 1;
    case WM_DRAWITEM:         drawOwnerButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), app); return TRUE;
    case WM_QUERYENDSESSION:  return onQueryEndSession(s);
    case WM_ENDSESSION:       return onEndSession(s, wParam);
    case WM_SHOWWINDOW:       return onShowWindow(app, wParam);
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
    case WM_TIMECHANGE:       return onSettingChange(s);
    case WM_GETMINMAXINFO:    return onGetMinMaxInfo(app, lParam);
    case WM_NCHITTEST:        return onNcHitTest(app, window, wParam, lParam);
    case WM_GETDLGCODE:       return DLGC_WANTARROWS | DLGC_WANTCHARS;  // arrows select stories; Tab navigates
    case WM_KEYDOWN:          return onKeyDown(s, wParam);
    case WM_KEYUP:            return onKeyUp(s, wParam);
    case WM_COMMAND:          return onCommand(s, wParam);
    case WM_SYSCOMMAND:       return onSysCommand(window, wParam, lParam);
    case WM_TIMER:            return onTimer(s, wParam);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:   return onControlColour(app, wParam);
    case WM_MOUSEMOVE:        return onMouseMove(s, lParam);
    case WM_LBUTTONDOWN:      return onMouseDown(s, lParam);
    case WM_LBUTTONUP:        return onMouseUp(s);
    case WM_CAPTURECHANGED:   return onCaptureChanged(s);
    case WM_MOUSEWHEEL:       return onMouseWheel(s, window, wParam, lParam);
    case WM_DPICHANGED:       return onDpiChanged(s, wParam, lParam);
    case WM_APP_FEEDS_DONE:   return onFeedsDone(s, lParam);
    case WM_APP_PLATE_DONE:   return onPlateDone(s, lParam);
    case WM_APP_TRAY:         onTrayEvent(s, lParam); return 0;
    default:                  return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    Session* session = sessionOf(window);
    if (!session)
        return DefWindowProcW(window, message, wParam, lParam);
    try {
        return handleMessage(*session, window, message, wParam, lParam);
    } catch (...) {
        // Every command catches its own failures; this only keeps an unexpected one inside.
        return 0;
    }
}
