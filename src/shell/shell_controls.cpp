// The child controls: creating the 30 owner-drawn buttons and four edits once, their font, their
// labels in the interface language, and the layout pass that shows exactly what a state needs.
#include "shell/shell_internal.h"

#include <richedit.h>

#include "locale/locale.h"

using namespace shell_detail;

namespace {

HWND createControl(AppState& app, const wchar_t* className, DWORD style, ControlId id, const wchar_t* text = L"")
{
    HWND control = CreateWindowExW(0, className, text, style, 0, 0, 0, 0, app.mainWindow,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), app.instance, nullptr);
    if (control)
        app.controls[id] = control;
    return control;
}

// The story text is a rich edit where one can be had: it wraps a long paragraph in time that
// grows with its length, where the plain edit grows with its square (feed bodies are one paragraph).
const wchar_t* storyTextClass()
{
    static const bool rich = LoadLibraryW(L"msftedit.dll") != nullptr;  // kept for the process's life
    return rich ? MSFTEDIT_CLASS : L"EDIT";
}

bool isRichEdit(HWND control)
{
    wchar_t name[32] = {};
    GetClassNameW(control, name, 32);
    return lstrcmpiW(name, MSFTEDIT_CLASS) == 0;
}

// A rich edit asks for no control colours: it is told the palette's instead.
void applyRichEditColours(const AppState& app)
{
    HWND text = controlWindow(app, ID_STORY_TEXT);
    if (!text || !isRichEdit(text))
        return;
    SendMessageW(text, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(colourRef(app.palette.card)));
    CHARFORMAT2W format{};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_COLOR;
    format.crTextColor = colourRef(app.palette.ink);
    SendMessageW(text, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    SendMessageW(text, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
}

void setEditMargins(HWND edit)
{
    SendMessageW(edit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(10, 10));
}

const wchar_t* switchMark(bool on)
{
    return on ? L"\u25CF  " : L"\u25CB  ";
}

void setCueBanner(HWND edit, UiStringKey key)
{
    SendMessageW(edit, EM_SETCUEBANNER, FALSE, reinterpret_cast<LPARAM>(UiText(key)));
}

RECT childRect(HWND parent, HWND child)
{
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The notices (RCDATA 320) and the JSON library's licence (321), each followed by an empty line,
// as edit-control text. A resource that cannot be found or loaded is left out.
std::wstring licencesText(HINSTANCE instance)
{
    std::string bytes;
    for (const int id : {320, 321}) {
        HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), RT_RCDATA);
        HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
        const void* data = loaded ? LockResource(loaded) : nullptr;
        const DWORD size = found ? SizeofResource(instance, found) : 0;
        if (!data || size == 0)
            continue;
        bytes.append(static_cast<const char*>(data), size);
        bytes.append("\n\n");
    }
    try {
        return expandLineBreaks(utf8ToUtf16(bytes));
    } catch (const Failure&) {
        return {};
    }
}

}  // namespace

HWND controlWindow(const AppState& app, ControlId id)
{
    const auto found = app.controls.find(id);
    return found == app.controls.end() ? nullptr : found->second;
}

void createChildControls(AppState& app)
{
    for (ControlId id : BUTTON_IDS) {
        if (HWND button = createControl(app, L"BUTTON", WS_CHILD | WS_TABSTOP | BS_OWNERDRAW, id))
            SetWindowSubclass(button, buttonSubclassProc, BUTTON_SUBCLASS_ID, 0);
    }
    const DWORD readOnlyText = WS_CHILD | WS_TABSTOP | ES_MULTILINE | ES_READONLY | WS_VSCROLL | ES_AUTOVSCROLL;
    createControl(app, L"EDIT", WS_CHILD | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, ID_SEARCH);
    createControl(app, storyTextClass(), readOnlyText, ID_STORY_TEXT);
    createControl(app, L"EDIT", WS_CHILD | WS_TABSTOP | ES_MULTILINE | WS_VSCROLL | ES_AUTOVSCROLL, ID_NOTE);
    // Filled when first shown: an edit wraps its whole text again on every font and size change,
    // which for the long licence text costs more than the rest of the start.
    createControl(app, L"EDIT", readOnlyText, ID_LICENCES_TEXT);

    if (HWND note = controlWindow(app, ID_NOTE))
        SendMessageW(note, EM_LIMITTEXT, 2400, 0);
    // A rich edit would cut text set to it at 32,767 units; a body with line breaks can pass that.
    if (HWND text = controlWindow(app, ID_STORY_TEXT); text && isRichEdit(text))
        SendMessageW(text, EM_EXLIMITTEXT, 0, 1 << 20);
    if (HWND search = controlWindow(app, ID_SEARCH))
        SendMessageW(search, EM_LIMITTEXT, 150, 0);
    for (ControlId id : EDIT_IDS) {
        if (HWND edit = controlWindow(app, id)) {
            SetWindowSubclass(edit, editSubclassProc, EDIT_SUBCLASS_ID, 0);
            setEditMargins(edit);
        }
    }
}

void applyControlFont(AppState& app)
{
    HFONT previous = app.controlFont;
    app.controlFont = CreateFontW(static_cast<int>(-15.0f * app.dpiScale), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                  DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                  DEFAULT_PITCH, L"Segoe UI");
    for (const auto& [id, control] : app.controls) {
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(app.controlFont), TRUE);
        // WM_SETFONT resets an edit's margins.
        if (id >= ID_SEARCH)
            setEditMargins(control);
    }
    if (previous)
        DeleteObject(previous);
    applyRichEditColours(app);
}

LayoutInputs layoutInputsOf(const AppState& app, const Library& library)
{
    const Story* story = findStory(library, app.selectedStoryId);
    return LayoutInputs{.section = app.currentSection,
                        .width = app.clientWidthDip,
                        .height = app.clientHeightDip,
                        .unsavedChanges = app.unsavedChanges,
                        .refreshInProgress = app.refreshInProgress,
                        .storySelected = story != nullptr,
                        .storyPinned = story != nullptr && story->saved,
                        .linkMode = app.linkMode,
                        .newLinkKind = app.newLinkKind,
                        .undoAvailable = app.undoAvailable,
                        .plateDecodeRunning = app.plateDecodeRunning,
                        .plateLoaded = app.plateImage.hasBitmap(),
                        .licencesShown = app.licencesShown,
                        .restoreArmed = app.restoreArmed,
                        .automatic = library.settings.automatic,
                        .notifications = library.settings.notifications};
}

std::wstring controlLabel(ControlId id, const LayoutInputs& in)
{
    using K = UiStringKey;
    if (id >= ID_SECTION_DISCOVER && id <= ID_SECTION_PREFERENCES) {
        const int i = id - ID_SECTION_DISCOVER;
        return std::wstring(L"0") + static_cast<wchar_t>(L'1' + i) + L"   " + UiText(static_cast<K>(i));
    }
    switch (id) {
    case ID_HIDE:           return L"\u2014";
    case ID_CLOSE:
        return in.section == Section::Preferences && !in.licencesShown ? UiText(K::QuitKestrune) : L"\u00D7";
    case ID_RETRY_SAVE:     return UiText(K::RetrySave);
    case ID_REFRESH:        return UiText(in.refreshInProgress ? K::ReceivingStories : K::RefreshSources);
    case ID_CONNECT:        return UiText(in.linkMode ? K::CancelConnection : K::ConnectCards);
    case ID_LINK_KIND:      return UiText(static_cast<K>(static_cast<int>(K::LinkRelated) + (in.newLinkKind % 3)));
    case ID_FIT_BOARD:      return UiText(K::FitBoard);
    case ID_UNDO_BOARD:     return UiText(K::UndoBoardEdit);
    case ID_PIN:            return UiText(in.storyPinned ? K::UnpinStory : K::SaveToBoard);
    case ID_SAVE_NOTE:      return UiText(K::SaveNote);
    case ID_READ_SOURCE:    return UiText(K::ReadSource);
    case ID_CLEAR_LINKS:    return UiText(K::ClearLinks);
    case ID_PLATE_0:        return UiText(K::Plate0Button);
    case ID_PLATE_1:        return UiText(K::Plate1Button);
    case ID_FIT_IMAGE:      return UiText(K::FitImage);
    case ID_ACTUAL_PIXELS:  return UiText(K::ActualPixels);
    case ID_ZOOM_OUT:       return UiText(K::ZoomOut);
    case ID_ZOOM_IN:        return UiText(K::ZoomIn);
    case ID_RETRY_IMAGE:    return UiText(K::RetryImage);
    case ID_LICENCES:       return in.licencesShown ? UiText(K::Close) : licencesTitle();
    case ID_HOURLY:         return std::wstring(switchMark(in.automatic)) + UiText(K::CheckHourly);
    case ID_NOTIFY:         return std::wstring(switchMark(in.notifications)) + UiText(K::NotifyNewStories);
    case ID_EXPORT:         return UiText(K::ExportBoard);
    case ID_OPEN_FOLDER:    return UiText(K::OpenDataFolder);
    case ID_RESTORE:        return UiText(K::RestoreBackup);
    case ID_CANCEL_RESTORE: return UiText(K::CancelRestore);
    default:                return {};
    }
}

void layoutControls(AppState& app, const Library& library)
{
    if (!app.mainWindow)
        return;
    RECT client{};
    GetClientRect(app.mainWindow, &client);
    app.clientWidthDip = static_cast<float>(client.right - client.left) / app.dpiScale;
    app.clientHeightDip = static_cast<float>(client.bottom - client.top) / app.dpiScale;

    const LayoutInputs inputs = layoutInputsOf(app, library);
    const LayoutPlan plan = planLayout(inputs);
    if (plan.boardViewRect)
        app.boardViewRect = *plan.boardViewRect;
    if (plan.atlasViewRect)
        app.atlasViewRect = *plan.atlasViewRect;

    // Controls that stay visible are moved, relabelled and enabled in place rather than hidden
    // and shown again: the end state is the same and the buttons do not flicker.
    for (const auto& [id, control] : app.controls)
        if (!findPlacement(plan, id) && hasVisibleStyle(control))
            ShowWindow(control, SW_HIDE);

    for (const ControlPlacement& placement : plan.shown) {
        HWND control = controlWindow(app, placement.id);
        if (!control)
            continue;
        const PixelRect target = toDevicePixels(placement.rect, app.dpiScale);
        const RECT current = childRect(app.mainWindow, control);
        if (current.left != target.left || current.top != target.top || current.right - current.left != target.width
            || current.bottom - current.top != target.height)
            MoveWindow(control, target.left, target.top, target.width, target.height, TRUE);
        if (placement.id < ID_SEARCH) {
            const std::wstring label = controlLabel(placement.id, inputs);
            if (windowText(control) != label)
                setWindowText(control, label);
        }
        if ((IsWindowEnabled(control) != FALSE) != placement.enabled)
            EnableWindow(control, placement.enabled ? TRUE : FALSE);
        if (placement.id == ID_LICENCES_TEXT && GetWindowTextLengthW(control) == 0)
            setWindowText(control, licencesText(app.instance));
        if (!hasVisibleStyle(control))
            ShowWindow(control, SW_SHOWNA);
        // The colours of a button follow the state (section, link mode, plate), not only its label.
        if (placement.id < ID_SEARCH)
            InvalidateRect(control, nullptr, FALSE);
    }

    if (HWND search = controlWindow(app, ID_SEARCH))
        setCueBanner(search, UiStringKey::SearchCue);
    if (HWND note = controlWindow(app, ID_NOTE))
        setCueBanner(note, UiStringKey::NoteCue);
    layoutSurfaces(app);
    repaint(app);
}

// ---------------------------------------------------------------------------------------------
// Palette

COLORREF colourRef(std::uint32_t argb)
{
    return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

bool applyPalette(AppState& app, const Palette& palette)
{
    if (palette == app.palette && app.editBackgroundBrush)
        return false;
    app.palette = palette;
    if (app.editBackgroundBrush)
        DeleteObject(app.editBackgroundBrush);
    app.editBackgroundBrush = CreateSolidBrush(colourRef(palette.card));
    app.drawingKit.reset();  // its brushes and kept pictures hold the old colours
    applyRichEditColours(app);
    if (app.mainWindow)
        RedrawWindow(app.mainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    return true;
}
