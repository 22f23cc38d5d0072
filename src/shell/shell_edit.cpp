// Subclass procedures of the child controls: the edit guards (typing, paste, read-only, context
// menu) and what the buttons ask of the dialog manager (Up and Down go on to the main window).
#include "shell/shell_internal.h"

#include "locale/locale.h"

using namespace shell_detail;

namespace {

constexpr UINT MENU_COPY = 1;
constexpr UINT MENU_CUT = 2;
constexpr UINT MENU_PASTE = 3;
constexpr UINT MENU_SELECT_ALL = 4;

struct MenuRelease {
    void operator()(HMENU menu) const noexcept { DestroyMenu(menu); }
};
using MenuOwner = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuRelease>;

// Closes the clipboard on every path out of the paste guard.
struct ClipboardOpen {
    bool open = false;
    explicit ClipboardOpen(HWND owner) : open(OpenClipboard(owner) != FALSE) {}
    ClipboardOpen(const ClipboardOpen&) = delete;
    ClipboardOpen& operator=(const ClipboardOpen&) = delete;
    ~ClipboardOpen()
    {
        if (open)
            CloseClipboard();
    }
};

bool isEditable(HWND control)
{
    return (GetWindowLongW(control, GWL_STYLE) & ES_READONLY) == 0;
}

EditCharContext contextOf(HWND control)
{
    DWORD start = 0, end = 0;
    SendMessageW(control, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EditCharContext context;
    context.editable = isEditable(control);
    context.singleLine = (GetWindowLongW(control, GWL_STYLE) & ES_MULTILINE) == 0;
    context.canUndo = SendMessageW(control, EM_CANUNDO, 0, 0) != 0;
    context.length = static_cast<std::size_t>(std::max(0, GetWindowTextLengthW(control)));
    context.selectionStart = std::min(start, end);
    context.selectionLength = end > start ? end - start : start - end;
    context.limit = static_cast<std::size_t>(SendMessageW(control, EM_GETLIMITTEXT, 0, 0));
    return context;
}

void showUnsupported(HWND control)
{
    if (Session* session = sessionOf(GetParent(control)))
        setStatusKey(session->app, UiStringKey::TextNotSupported, true);
}

void showContextMenu(HWND control, LPARAM lParam)
{
    const bool editable = isEditable(control);
    UINT chosen = 0;
    {
        MenuOwner menu(CreatePopupMenu());
        if (!menu)
            return;
        AppendMenuW(menu.get(), MF_STRING, MENU_COPY, UiText(UiStringKey::Copy));
        if (editable) {
            AppendMenuW(menu.get(), MF_STRING, MENU_CUT, UiText(UiStringKey::Cut));
            AppendMenuW(menu.get(), MF_STRING, MENU_PASTE, UiText(UiStringKey::Paste));
        }
        AppendMenuW(menu.get(), MF_STRING, MENU_SELECT_ALL, UiText(UiStringKey::SelectAll));
        POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (at.x == -1 && at.y == -1) {
            // Asked for from the keyboard: just inside the control's top-left corner.
            RECT rect{};
            GetWindowRect(control, &rect);
            at = POINT{rect.left + 20, rect.top + 20};
        }
        chosen = static_cast<UINT>(
            TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, control, nullptr));
    }
    switch (chosen) {
    case MENU_COPY:       SendMessageW(control, WM_COPY, 0, 0); break;
    case MENU_CUT:        SendMessageW(control, WM_CUT, 0, 0); break;
    case MENU_PASTE:      SendMessageW(control, WM_PASTE, 0, 0); break;
    case MENU_SELECT_ALL: SendMessageW(control, EM_SETSEL, 0, -1); break;
    default:              break;
    }
}

// True when the paste must not reach the control.
bool refusePaste(HWND control)
{
    ClipboardOpen clipboard(control);
    if (!clipboard.open)
        return false;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data)
        return false;
    const auto* text = static_cast<const wchar_t*>(GlobalLock(data));
    if (!text)
        return false;
    const std::size_t capacity = GlobalSize(data) / sizeof(wchar_t);
    std::size_t length = 0;
    while (length < capacity && text[length] != L'\0')
        ++length;
    const EditDecision decision = decidePaste(std::wstring_view(text, length), contextOf(control));
    GlobalUnlock(data);
    return decision != EditDecision::Accept;
}

}  // namespace

LRESULT CALLBACK shell_detail::editSubclassProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                DWORD_PTR)
{
    try {
        const bool editable = isEditable(control);
        switch (message) {
        case WM_SYSCHAR:
            return 0;
        case WM_GETDLGCODE:
            // Tab and Enter have nothing to do in read-only text: the dialog manager keeps them
            // (a rich edit would take Tab, and outside a dialog nothing would move the focus on).
            if (!editable)
                return DefSubclassProc(control, message, wParam, lParam)
                       & ~(DLGC_WANTTAB | DLGC_WANTMESSAGE | DLGC_WANTALLKEYS);
            break;
        case WM_CUT:
        case WM_UNDO:
            if (!editable)
                return 0;
            break;
        case WM_PASTE:
            if (!editable)
                return 0;
            if (refusePaste(control)) {
                showUnsupported(control);
                return 0;
            }
            break;
        case WM_KEYDOWN:
            if (!editable && (wParam == VK_DELETE || wParam == VK_BACK))
                return 0;
            break;
        case WM_CONTEXTMENU:
            showContextMenu(control, lParam);
            return 0;
        case WM_CHAR: {
            const EditDecision decision = decideEditChar(static_cast<wchar_t>(wParam), contextOf(control));
            if (decision == EditDecision::RefuseUnsupported)
                showUnsupported(control);
            if (decision != EditDecision::Accept)
                return 0;
            break;
        }
        default:
            break;
        }
    } catch (...) {
        return 0;
    }
    return DefSubclassProc(control, message, wParam, lParam);
}

// The buttons also take plain characters: otherwise the dialog manager reads a typed character as
// the mnemonic of a label ("Licenses & credits" has "& " in it, so Space would open the licences).
LRESULT CALLBACK shell_detail::buttonSubclassProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                  DWORD_PTR)
{
    const bool arrow = wParam == VK_UP || wParam == VK_DOWN;
    if (message == WM_GETDLGCODE) {
        LRESULT code = DefSubclassProc(control, message, wParam, lParam) | DLGC_WANTCHARS;
        const auto* queued = reinterpret_cast<const MSG*>(lParam);
        if (arrow && queued && queued->message == WM_KEYDOWN)
            code |= DLGC_WANTARROWS;
        return code;
    }
    if (message == WM_KEYDOWN && arrow) {
        SendMessageW(GetParent(control), WM_KEYDOWN, wParam, lParam);
        return 0;
    }
    return DefSubclassProc(control, message, wParam, lParam);
}
