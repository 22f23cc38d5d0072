// The window-thread operations behind every command: status line, saving with its failure state,
// note commits, story and section selection, hiding, quitting, and the command table itself.
#include "shell/shell_internal.h"

#include "feeds/feeds.h"
#include "persistence/persistence.h"
#include "views/views.h"

#include <iterator>

using namespace shell_detail;

// ---------------------------------------------------------------------------------------------
// Status line and saving

void repaint(const AppState& app)
{
    markFrameStale(app);
    if (app.mainWindow)
        InvalidateRect(app.mainWindow, nullptr, FALSE);
}

void setStatus(AppState& app, std::wstring text, bool isError)
{
    app.statusText = std::move(text);
    app.statusIsError = isError;
    repaint(app);
}

void setStatusKey(AppState& app, UiStringKey key, bool isError)
{
    setStatus(app, UiText(key), isError);
}

namespace {

// The Retry-save button follows the save state directly, so it appears the moment a save fails.
void showRetrySave(AppState& app, bool show)
{
    HWND button = controlWindow(app, ID_RETRY_SAVE);
    if (!button)
        return;
    if (show) {
        const PixelRect r = toDevicePixels({app.clientWidthDip - 150.0f, app.clientHeightDip - 37.0f, 130.0f, 28.0f},
                                           app.dpiScale);
        MoveWindow(button, r.left, r.top, r.width, r.height, TRUE);
        setWindowText(button, UiText(UiStringKey::RetrySave));
        ShowWindow(button, SW_SHOWNA);
    } else {
        ShowWindow(button, SW_HIDE);
    }
}

}  // namespace

bool saveLibrary(AppState& app, Library& library)
{
    bool stored = false;
    try {
        stored = storeLibrary(library, app.libraryPath);
    } catch (const std::exception&) {
        stored = false;
    }
    if (stored) {
        app.unsavedChanges = false;
        showRetrySave(app, false);
        repaint(app);
        return true;
    }
    app.unsavedChanges = true;
    showRetrySave(app, true);
    setStatusKey(app, UiStringKey::SaveFailed, true);
    logActivity(app.dataFolder, "SAVE_FAILED");
    return false;
}

namespace {

// A note written elsewhere with CR LF shows the same in the editor; it is kept as it was.
std::string collapsedNote(const Story& story)
{
    if (story.note.find('\r') == std::string::npos)
        return story.note;
    try {
        return utf16ToUtf8(collapseLineBreaks(utf8ToUtf16(story.note)));
    } catch (const Failure&) {
        return story.note;
    }
}

} // namespace

bool commitNote(AppState& app, Library& library)
{
    Story* story = findStory(library, app.selectedStoryId);
    HWND editor = controlWindow(app, ID_NOTE);
    // The control's own visible style, not the window chain: a note typed just before the window
    // was hidden to the tray must still be committed.
    if (!story || !editor || !hasVisibleStyle(editor))
        return true;
    // The editor shows line feeds as CR LF; the limit and the comparison apply to the text as
    // stored, so a note with paragraphs neither passes the limit by its CRs nor looks edited.
    std::string note;
    try {
        note = checkText(utf16ToUtf8(collapseLineBreaks(windowText(editor))), NOTE_LIMIT);
    } catch (const Failure&) {
        setStatusKey(app, UiStringKey::TextNotSupported, true);
        return false;
    }
    if (note != story->note && note != collapsedNote(*story)) {
        story->note = std::move(note);
        app.unsavedChanges = true;
        return saveLibrary(app, library);
    }
    return app.unsavedChanges ? saveLibrary(app, library) : true;
}

void saveNote(AppState& app, Library& library)
{
    if (commitNote(app, library))
        setStatusKey(app, UiStringKey::NoteSaved, false);
}

// ---------------------------------------------------------------------------------------------
// Selection

void selectStory(AppState& app, Library& library, const std::string& id)
{
    if (id == app.selectedStoryId || !commitNote(app, library))
        return;
    app.selectedStoryId = id;
    // Laid out before it is filled: an edit wraps its whole text again when it is resized, which
    // for a long story costs as much as setting it.
    layoutControls(app, library);
    const Story* story = findStory(library, id);
    std::wstring note, body;
    try {
        if (story) {
            note = expandLineBreaks(utf8ToUtf16(story->note));
            body = expandLineBreaks(utf8ToUtf16(story->body));
        }
    } catch (const Failure&) {
        // Library texts are valid UTF-8; an invalid one shows as empty rather than half.
    }
    app.suppressEditNotifications = true;
    if (HWND editor = controlWindow(app, ID_NOTE))
        setWindowText(editor, note);
    if (HWND text = controlWindow(app, ID_STORY_TEXT))
        setWindowText(text, body);
    app.suppressEditNotifications = false;
    repaint(app);
    announceSelection(app, library);
}

void releasePlateImage(AppState& app)
{
    app.plateImage.reset();
    app.loadedPlate = -1;
}

void selectSection(AppState& app, Library& library, Section section)
{
    if (!commitNote(app, library))
        return;
    app.currentSection = section;
    app.licencesShown = false;
    app.linkMode = false;
    app.restoreArmed = false;
    const bool wasDragging = app.dragging;
    app.dragging = false;
    if (wasDragging && app.mainWindow && GetCapture() == app.mainWindow)
        ReleaseCapture();
    if (section == Section::Atlas || app.plateDecodeRunning) {
        layoutControls(app, library);
        if (section == Section::Atlas) {
            loadPreviewImages(app);
            startPlateDecode(app);
        }
    } else {
        releasePlateImage(app);
        layoutControls(app, library);
    }
    repaint(app);
}

// ---------------------------------------------------------------------------------------------
// Hiding, showing and quitting

void hideToTray(AppState& app, Library& library)
{
    if (!commitNote(app, library) || app.unsavedChanges)
        return;
    settleTrayIcon(app);
    if (!app.trayIconAdded) {
        setStatus(app, L"The notification area is unavailable. Use Quit to close Kestrune.", true);
        return;
    }
    if (app.currentSection == Section::Atlas)
        releasePlateImage(app);
    ShowWindow(app.mainWindow, SW_HIDE);
}

void requestQuit(AppState& app, Library& library)
{
    if (commitNote(app, library) && !app.unsavedChanges) {
        beginShutdown(app);
        DestroyWindow(app.mainWindow);
        return;
    }
    showFromTray(app);
}

void showFromTray(AppState& app)
{
    ShowWindow(app.mainWindow, SW_RESTORE);
    SetForegroundWindow(app.mainWindow);
    if (app.currentSection == Section::Atlas)
        startPlateDecode(app);
    repaint(app);
}

// ---------------------------------------------------------------------------------------------
// What the views ask for

void showViewChange(AppState& app, const Library& library, const ViewRequest& request)
{
    if (request.relayout)
        layoutControls(app, library);
    if (request.boardZoomRest && app.mainWindow)
        SetTimer(app.mainWindow, TIMER_BOARD_ZOOM_REST, TIMER_BOARD_ZOOM_REST_MS, nullptr);
    if (request.announceFocus)
        announceFocus(app, library);
    if (request.repaint)
        repaint(app);
    if (request.announceAtlasView)
        announceAtlasView(app);
}

void carryOut(AppState& app, Library& library, const ViewRequest& request)
{
    if (request.commitNote && !commitNote(app, library))
        return;
    if (request.selectStory) {
        selectStory(app, library, *request.selectStory);
        if (app.selectedStoryId != *request.selectStory)
            return;  // the note could not be committed
    }
    if (request.drag)
        startBoardDrag(app, *request.drag);
    if (request.showSelectedCard)
        showBoardCard(app, library, app.selectedStoryId);
    const bool saved = request.save && saveLibrary(app, library);
    if (saved && request.savedStatus)
        setStatusKey(app, *request.savedStatus, false);
    if (request.status)
        setStatusKey(app, *request.status, false);
    showViewChange(app, library, request);
}

// ---------------------------------------------------------------------------------------------
// The panel's and the board's commands

void toggleSelectedPin(Session& session)
{
    AppState& app = session.app;
    Library& library = session.library;
    if (!findStory(library, app.selectedStoryId) || !commitNote(app, library))
        return;
    Story* story = findStory(library, app.selectedStoryId);
    if (!story)
        return;
    takeUndoSnapshot(app, library);
    const bool pinned = togglePin(library, *story);
    app.unsavedChanges = true;
    if (saveLibrary(app, library))
        setStatusKey(app, pinned ? UiStringKey::SavedLocally : UiStringKey::RemovedFromBoard, false);
    layoutControls(app, library);
}

void openSelectedSource(Session& session)
{
    AppState& app = session.app;
    const Story* story = findStory(session.library, app.selectedStoryId);
    if (!story || !isAllowedSourceUrl(story->url))
        return;
    std::wstring url;
    try {
        url = utf8ToUtf16(story->url);
    } catch (const Failure&) {
        return;
    }
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(app.mainWindow, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32)
        setStatusKey(app, UiStringKey::SourceNotOpened, true);
}

void undoBoardEdit(Session& session)
{
    AppState& app = session.app;
    Library& library = session.library;
    if (!app.undoAvailable || !commitNote(app, library))
        return;
    restoreBoardEdit(library, app.undoSnapshot);
    app.undoSnapshot = Library{};
    app.undoAvailable = false;
    app.unsavedChanges = true;
    saveLibrary(app, library);

    std::string id = app.selectedStoryId;
    if (!findStory(library, id))
        id.clear();
    // Clearing first makes selectStory refill the story text and the note editor.
    app.selectedStoryId.clear();
    if (!id.empty())
        selectStory(app, library, id);
    layoutControls(app, library);
    repaint(app);
}

// ---------------------------------------------------------------------------------------------
// Command table

namespace {

void onSectionCommand(Session& s, Section section) { selectSection(s.app, s.library, section); }
void onDiscover(Session& s) { onSectionCommand(s, Section::Discover); }
void onBoard(Session& s) { onSectionCommand(s, Section::Board); }
void onAtlas(Session& s) { onSectionCommand(s, Section::Atlas); }
void onPreferences(Session& s) { onSectionCommand(s, Section::Preferences); }
void onHide(Session& s) { hideToTray(s.app, s.library); }

void onClose(Session& s)
{
    if (s.app.currentSection == Section::Preferences && !s.app.licencesShown)
        requestQuit(s.app, s.library);
    else
        hideToTray(s.app, s.library);
}

void onRefresh(Session& s) { startRefresh(s.app, s.library); }
void onPin(Session& s) { toggleSelectedPin(s); }
void onReadSource(Session& s) { openSelectedSource(s); }
void onSaveNote(Session& s) { saveNote(s.app, s.library); }
void onConnect(Session& s) { carryOut(s.app, s.library, toggleLinkMode(s.app, s.library)); }
void onFitBoard(Session& s) { carryOut(s.app, s.library, fitBoard(s.app, s.library)); }
void onClearLinks(Session& s) { carryOut(s.app, s.library, clearLinks(s.app, s.library)); }
void onUndoBoard(Session& s) { undoBoardEdit(s); }

void onLinkKind(Session& s)
{
    s.app.newLinkKind = (s.app.newLinkKind + 1) % LINK_KIND_COUNT;
    layoutControls(s.app, s.library);
}

void onPlate(Session& s, std::int32_t plate)
{
    s.app.requestedPlate = plate;
    startPlateDecode(s.app);
    layoutControls(s.app, s.library);
    announceAtlasView(s.app, true);
}
void onPlate0(Session& s) { onPlate(s, 0); }
void onPlate1(Session& s) { onPlate(s, 1); }
void onFitImage(Session& s) { carryOut(s.app, s.library, fitAtlas(s.app)); }

void zoomAtlasAboutCentre(Session& s, double factor)
{
    AppState& app = s.app;
    carryOut(app, s.library,
             zoomAtlasAbout(app, factor, app.atlasViewRect.width / 2.0, app.atlasViewRect.height / 2.0));
}
void onActualPixels(Session& s)
{
    if (s.app.plateImage.hasBitmap() && s.app.atlasZoom > 0.0)
        zoomAtlasAboutCentre(s, 1.0 / s.app.atlasZoom);
}
void onZoomIn(Session& s) { zoomAtlasAboutCentre(s, 1.4); }
void onZoomOut(Session& s) { zoomAtlasAboutCentre(s, 1.0 / 1.4); }
void onRetryImage(Session& s) { startPlateDecode(s.app); }

void onHourly(Session& s)
{
    s.library.settings.automatic = !s.library.settings.automatic;
    s.app.unsavedChanges = true;
    saveLibrary(s.app, s.library);
    s.app.nextAutoCheck = currentUnixSeconds() + AUTO_CHECK_INTERVAL;
    layoutControls(s.app, s.library);
    if (s.library.settings.automatic)
        startRefresh(s.app, s.library);
}

void onNotify(Session& s)
{
    s.library.settings.notifications = !s.library.settings.notifications;
    s.app.unsavedChanges = true;
    saveLibrary(s.app, s.library);
    layoutControls(s.app, s.library);
}

// The export never replaces an earlier file, so two exports within one tick both survive.
void onExport(Session& s)
{
    if (!commitNote(s.app, s.library))
        return;
    const std::wstring written = writeBoardExport(s.library, s.app.dataFolder, currentUnixSeconds(), GetTickCount64());
    if (written.empty()) {
        setStatusKey(s.app, UiStringKey::ExportFailed, true);
        return;
    }
    setStatusKey(s.app, UiStringKey::ExportSaved, false);
    logActivity(s.app.dataFolder, "BOARD_EXPORTED");
}

void onOpenFolder(Session& s)
{
    ShellExecuteW(s.app.mainWindow, L"open", s.app.dataFolder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void onRestore(Session& s)
{
    AppState& app = s.app;
    RestoreContext context{s.library, app.restoreArmed, app.libraryPath,
                           [&s] { return commitNote(s.app, s.library); },
                           [&s] { return saveLibrary(s.app, s.library); }};
    RestoreResult result = RestoreResult::NoteNotCommitted;
    try {
        result = restorePreviousBackup(context);
    } catch (const std::exception&) {
        setStatusKey(app, UiStringKey::NoReadableBackup, true);
        layoutControls(app, s.library);
        return;
    }
    switch (result) {
    case RestoreResult::NoteNotCommitted:
        return;
    case RestoreResult::Armed:
        setStatusKey(app, UiStringKey::RestoreConfirm, false);
        break;
    case RestoreResult::NoReadableBackup:
        setStatusKey(app, UiStringKey::NoReadableBackup, true);
        break;
    case RestoreResult::Restored:
        app.selectedStoryId.clear();
        if (!s.library.stories.empty()) {
            const std::string first = s.library.stories.front().id;
            selectStory(app, s.library, first);
        }
        setStatusKey(app, UiStringKey::BackupRestored, false);
        break;
    case RestoreResult::SaveFailed:
        break;
    }
    layoutControls(app, s.library);
}

void onCancelRestore(Session& s)
{
    s.app.restoreArmed = false;
    setStatusKey(s.app, UiStringKey::Ready, false);
    layoutControls(s.app, s.library);
}

// commitNote already saves while changes are pending; saving a second time would turn the file
// just written into the backup and lose the library as it was before the failure.
void onRetrySave(Session& s)
{
    if (!commitNote(s.app, s.library))
        return;
    if (s.app.unsavedChanges && !saveLibrary(s.app, s.library))
        return;
    setStatusKey(s.app, UiStringKey::SavedLocally, false);
}

void onLicences(Session& s)
{
    s.app.licencesShown = !s.app.licencesShown;
    layoutControls(s.app, s.library);
}

struct CommandRow {
    ControlId id;
    void (*run)(Session&);
};

constexpr CommandRow COMMANDS[] = {
    {ID_SECTION_DISCOVER, onDiscover},
    {ID_SECTION_BOARD, onBoard},
    {ID_SECTION_ATLAS, onAtlas},
    {ID_SECTION_PREFERENCES, onPreferences},
    {ID_HIDE, onHide},
    {ID_CLOSE, onClose},
    {ID_REFRESH, onRefresh},
    {ID_PIN, onPin},
    {ID_READ_SOURCE, onReadSource},
    {ID_SAVE_NOTE, onSaveNote},
    {ID_CONNECT, onConnect},
    {ID_FIT_BOARD, onFitBoard},
    {ID_CLEAR_LINKS, onClearLinks},
    {ID_UNDO_BOARD, onUndoBoard},
    {ID_LINK_KIND, onLinkKind},
    {ID_PLATE_0, onPlate0},
    {ID_PLATE_1, onPlate1},
    {ID_FIT_IMAGE, onFitImage},
    {ID_ACTUAL_PIXELS, onActualPixels},
    {ID_ZOOM_IN, onZoomIn},
    {ID_ZOOM_OUT, onZoomOut},
    {ID_RETRY_IMAGE, onRetryImage},
    {ID_HOURLY, onHourly},
    {ID_NOTIFY, onNotify},
    {ID_EXPORT, onExport},
    {ID_OPEN_FOLDER, onOpenFolder},
    {ID_RESTORE, onRestore},
    {ID_CANCEL_RESTORE, onCancelRestore},
    {ID_RETRY_SAVE, onRetrySave},
    {ID_LICENCES, onLicences},
};

static_assert(std::size(COMMANDS) == BUTTON_IDS.size(), "every button has exactly one command row");

}  // namespace

void dispatchCommand(Session& session, ControlId id)
{
    for (const CommandRow& row : COMMANDS) {
        if (row.id == id) {
            row.run(session);
            break;
        }
    }
    repaint(session.app);
}
