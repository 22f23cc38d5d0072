// Helpers shared by the shell's own files: the session behind a window, typed wrappers for the
// raw control messages the shell sends, and the subclass procedures of the child controls.
#pragma once

#include "shell/shell.h"

#include <commctrl.h>

#include <string>

namespace shell_detail {

inline Session* sessionOf(HWND window)
{
    return reinterpret_cast<Session*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

inline std::wstring windowText(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

inline void setWindowText(HWND window, const std::wstring& text)
{
    SetWindowTextW(window, text.c_str());
}

inline bool hasVisibleStyle(HWND window)
{
    return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

// The owner-drawn buttons pass Up and Down on to the main window instead of letting the dialog
// manager use them for navigation, and keep typed characters from being read as mnemonics.
LRESULT CALLBACK buttonSubclassProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                    DWORD_PTR data);
// The typing, paste and context-menu guards of the four edit controls.
LRESULT CALLBACK editSubclassProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                  DWORD_PTR data);

// UI test mode only: the registered message on which the program writes "ui-state.txt" for the
// UI test driver, and its answer (1 when written).
UINT uiTestStateMessage();
LRESULT answerUiTestStateQuery(const Session& session);

// The keys of a surface's section, from the surface itself or from the main window when that has
// the focus on the section; true when the key did something there.
bool onSurfaceKey(Session& session, ControlId surface, bool down, WPARAM key);
bool isSurfaceWindow(const AppState& app, HWND window);
// WM_GETOBJECT for the client of a surface: its IAccessible, or 0 when none can be made.
LRESULT answerAccessibleRequest(HWND surface, ControlId id, WPARAM wParam);

inline constexpr UINT_PTR EDIT_SUBCLASS_ID = 1;
inline constexpr UINT_PTR BUTTON_SUBCLASS_ID = 2;

}  // namespace shell_detail
