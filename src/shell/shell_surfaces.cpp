// The owner-painted surfaces: windows without pixels of their own over the Discover list, the
// board canvas and the atlas view, which take the focus in the tab order, route their section's
// keys and answer screen readers; and the events that tell screen readers what changed.
#include "shell/shell_internal.h"

#include "views/views.h"

#include <oleacc.h>

#include <optional>

using namespace shell_detail;

namespace {

constexpr wchar_t SURFACE_CLASS[] = L"KestruneSurface";

// Each surface, the section it stands for, and the control it follows in the tab order.
struct SurfaceRow {
    ControlId id;
    Section section;
    ControlId after;
};

constexpr SurfaceRow SURFACES[] = {
    {ID_LIST_SURFACE, Section::Discover, ID_SEARCH},
    {ID_BOARD_SURFACE, Section::Board, ID_LINK_KIND},
    {ID_ATLAS_SURFACE, Section::Atlas, ID_PLATE_1},
};

std::optional<ArrowKey> arrowOf(WPARAM key)
{
    switch (key) {
    case VK_LEFT:  return ArrowKey::Left;
    case VK_RIGHT: return ArrowKey::Right;
    case VK_UP:    return ArrowKey::Up;
    case VK_DOWN:  return ArrowKey::Down;
    default:       return std::nullopt;
    }
}

DipRect surfaceRect(const AppState& app, Section section)
{
    switch (section) {
    case Section::Board: return app.boardViewRect;
    case Section::Atlas: return app.atlasViewRect;
    default:             return {222.0f, 204.0f, 370.0f, app.clientHeightDip - 270.0f};
    }
}

bool onBoardKey(Session& s, bool down, WPARAM key, bool ctrl)
{
    const std::optional<ArrowKey> arrow = arrowOf(key);
    if (!down) {
        if (arrow)
            carryOut(s.app, s.library, endBoardKeyMove(s.app));
        return arrow.has_value();
    }
    if (arrow) {
        carryOut(s.app, s.library, onBoardArrow(s.app, s.library, *arrow, ctrl));
        return true;
    }
    if (key == VK_RETURN && !ctrl) {
        carryOut(s.app, s.library, onBoardEnter(s.app, s.library));
        return true;
    }
    if (key == 'Z' && ctrl) {
        carryOut(s.app, s.library, endBoardKeyMove(s.app));
        undoBoardEdit(s);
        return true;
    }
    return false;
}

bool onAtlasKey(Session& s, WPARAM key)
{
    if (const std::optional<ArrowKey> arrow = arrowOf(key)) {
        carryOut(s.app, s.library, onAtlasArrow(s.app, *arrow));
        return true;
    }
    if (key == VK_ADD || key == VK_OEM_PLUS || key == VK_SUBTRACT || key == VK_OEM_MINUS) {
        carryOut(s.app, s.library, onAtlasZoomKey(s.app, key == VK_ADD || key == VK_OEM_PLUS));
        return true;
    }
    return false;
}

void onSurfaceFocus(Session& s, ControlId id, bool gained)
{
    AppState& app = s.app;
    if (gained) {
        app.focusedSurface = id;
        announceFocus(app, s.library);
    } else {
        if (app.focusedSurface == id)
            app.focusedSurface = 0;
        // Losing the focus while a Ctrl+arrow is held: the key's release goes elsewhere.
        if (id == ID_BOARD_SURFACE)
            carryOut(s.app, s.library, endBoardKeyMove(s.app));
    }
    repaint(app);
}

LRESULT onSurfacePaint(HWND window)
{
    PAINTSTRUCT paint{};
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
    return 0;
}

LRESULT handleSurfaceMessage(Session& s, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto id = static_cast<ControlId>(GetDlgCtrlID(window));
    switch (message) {
    case WM_GETOBJECT:
        // The object id travels in the low 32 bits; OBJID_CLIENT is negative.
        if (static_cast<LONG>(static_cast<DWORD>(lParam)) == OBJID_CLIENT)
            if (const LRESULT answer = answerAccessibleRequest(window, id, wParam))
                return answer;
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_GETDLGCODE:  return DLGC_WANTARROWS | DLGC_WANTCHARS;  // arrows act here; Tab navigates
    case WM_KEYDOWN:
    case WM_KEYUP:
        // The list's keys are the main window's own (Up and Down select stories).
        if (id == ID_LIST_SURFACE)
            return SendMessageW(GetParent(window), message, wParam, lParam);
        onSurfaceKey(s, id, message == WM_KEYDOWN, wParam);
        return 0;
    case WM_SETFOCUS:    onSurfaceFocus(s, id, true); return 0;
    case WM_KILLFOCUS:   onSurfaceFocus(s, id, false); return 0;
    // Without pixels or mouse input of its own: the main window paints and takes the clicks.
    case WM_NCHITTEST:   return HTTRANSPARENT;
    case WM_ERASEBKGND:  return 1;
    case WM_PAINT:       return onSurfacePaint(window);
    default:             return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK surfaceProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Session* session = sessionOf(GetParent(window));
    if (!session)
        return DefWindowProcW(window, message, wParam, lParam);
    try {
        return handleSurfaceMessage(*session, window, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

void notify(const AppState& app, DWORD event, ControlId surface, LONG child)
{
    if (HWND window = surfaceWindow(app, surface))
        NotifyWinEvent(event, window, OBJID_CLIENT, child);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Creation, layout and keys

void createSurfaces(AppState& app)
{
    WNDCLASSW surfaceClass{};
    surfaceClass.lpfnWndProc = surfaceProc;
    surfaceClass.hInstance = app.instance;
    surfaceClass.lpszClassName = SURFACE_CLASS;
    RegisterClassW(&surfaceClass);  // already registered by an earlier window of this process: fine
    for (const SurfaceRow& row : SURFACES) {
        HWND window = CreateWindowExW(0, SURFACE_CLASS, L"", WS_CHILD | WS_TABSTOP, 0, 0, 0, 0, app.mainWindow,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)), app.instance, nullptr);
        if (!window)
            continue;
        // An empty window region: the main window's painting is not clipped by the surface and the
        // mouse passes through it, so every pixel and click stays as it was.
        if (HRGN empty = CreateRectRgn(0, 0, 0, 0))
            if (!SetWindowRgn(window, empty, FALSE))
                DeleteObject(empty);
        if (HWND before = controlWindow(app, row.after))
            SetWindowPos(window, before, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
        app.surfaces[row.id] = window;
    }
}

void layoutSurfaces(AppState& app)
{
    for (const SurfaceRow& row : SURFACES) {
        HWND window = surfaceWindow(app, row.id);
        if (!window)
            continue;
        if (app.currentSection != row.section) {
            if (hasVisibleStyle(window))
                ShowWindow(window, SW_HIDE);
            continue;
        }
        const PixelRect target = toDevicePixels(surfaceRect(app, row.section), app.dpiScale);
        RECT current{};
        GetWindowRect(window, &current);
        MapWindowPoints(HWND_DESKTOP, app.mainWindow, reinterpret_cast<POINT*>(&current), 2);
        if (current.left != target.left || current.top != target.top || current.right - current.left != target.width
            || current.bottom - current.top != target.height)
            MoveWindow(window, target.left, target.top, target.width, target.height, FALSE);
        if (!hasVisibleStyle(window))
            ShowWindow(window, SW_SHOWNA);
    }
}

HWND surfaceWindow(const AppState& app, ControlId id)
{
    const auto found = app.surfaces.find(id);
    return found == app.surfaces.end() ? nullptr : found->second;
}

ControlId sectionSurface(Section section)
{
    for (const SurfaceRow& row : SURFACES)
        if (row.section == section)
            return row.id;
    return 0;
}

bool keyboardOnSurface(const AppState& app, ControlId surface)
{
    HWND focus = GetFocus();
    if (!focus)
        return false;
    if (focus == surfaceWindow(app, surface))
        return true;
    return focus == app.mainWindow && sectionSurface(app.currentSection) == surface;
}

bool shell_detail::isSurfaceWindow(const AppState& app, HWND window)
{
    for (const auto& [id, surface] : app.surfaces)
        if (surface == window)
            return true;
    return false;
}

bool shell_detail::onSurfaceKey(Session& s, ControlId surface, bool down, WPARAM key)
{
    // With Alt down the key is a system key or, as AltGr (Ctrl+Alt), typing: never an action here.
    if (GetKeyState(VK_MENU) < 0)
        return false;
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    if (surface == ID_BOARD_SURFACE && s.app.currentSection == Section::Board)
        return onBoardKey(s, down, key, ctrl);
    if (surface == ID_ATLAS_SURFACE && s.app.currentSection == Section::Atlas && down)
        return onAtlasKey(s, key);
    return false;
}

// ---------------------------------------------------------------------------------------------
// Events for screen readers

void announceSelection(const AppState& app, const Library& library)
{
    const ControlId surface = sectionSurface(app.currentSection);
    const int child = surface ? selectedAccessibleChild(app, library, surface) : 0;
    if (child <= 0)
        return;
    notify(app, EVENT_OBJECT_SELECTION, surface, child);
    if (keyboardOnSurface(app, surface) && focusedAccessibleChild(app, library, surface) == child)
        notify(app, EVENT_OBJECT_FOCUS, surface, child);
}

void announceFocus(const AppState& app, const Library& library)
{
    const ControlId surface = sectionSurface(app.currentSection);
    if (!surface || !keyboardOnSurface(app, surface))
        return;
    // Windows itself reports the focus of the surface window; this names the child within it.
    if (const int child = focusedAccessibleChild(app, library, surface); child > 0)
        notify(app, EVENT_OBJECT_FOCUS, surface, child);
}

void announceAtlasView(const AppState& app, bool plateChanged)
{
    if (plateChanged)
        notify(app, EVENT_OBJECT_NAMECHANGE, ID_ATLAS_SURFACE, CHILDID_SELF);
    notify(app, EVENT_OBJECT_VALUECHANGE, ID_ATLAS_SURFACE, CHILDID_SELF);
}
