// Application shell: start-up and shutdown, the main window and its commands, timers and worker
// hand-off, the tray icon, the child controls and their layout; plus the pure rules they follow.
#pragma once

#include "locale/locale.h"
#include "shell/shell_state.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct RefreshOutcome;

// ---------------------------------------------------------------------------------------------
// Command line and exit codes

struct CommandLineOptions {
    bool uiTestMode = false;
    std::int32_t forcedLanguage = -1;  // 0 English, 1 Spanish, 2 German; -1 keep the detected one
    bool selfCheck = false;            // "--self-test" or "--network-test"
    bool networkChecks = false;        // "--network-test"
};

// Options are found by plain substring search anywhere in the text, program path included.
CommandLineOptions parseCommandLine(std::wstring_view commandLine);

inline constexpr int EXIT_NO_APPDATA = 2;
inline constexpr int EXIT_NO_DATA_FOLDER = 3;
inline constexpr int EXIT_NO_GDIPLUS = 4;
inline constexpr int EXIT_NO_WINDOW = 5;

const wchar_t* dataFolderName(bool uiTestMode);   // "Kestrune" or "Kestrune-UI-Test"
const wchar_t* windowClassName(bool uiTestMode);  // "KestruneWindow" or "KestruneTestWindow"

// The path without its last component and the separators ("\" or "/") before it.
std::wstring parentFolder(std::wstring_view path);

// ---------------------------------------------------------------------------------------------
// Window geometry (pure)

struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    bool operator==(const PixelRect&) const = default;
};

// At most 1280 x 850 dip, 20 px smaller than the work area, centred in it.
PixelRect initialWindowRect(const RECT& workArea, UINT dpi);
// Smallest window size: 1110 x 790 dip.
SIZE minimumTrackSize(float dpiScale);
// True when a client point (device pixels) lies in the draggable caption band.
bool isCaptionPoint(int clientX, int clientY, float dpiScale, float clientWidthDip);
// Each value scaled and truncated on its own, as MoveWindow receives it.
PixelRect toDevicePixels(const DipRect& rect, float dpiScale);

// ---------------------------------------------------------------------------------------------
// Layout (pure): which controls a state shows, where, and whether enabled

struct LayoutInputs {
    Section section = Section::Discover;
    float width = 1280.0f;   // client width in dip
    float height = 820.0f;   // client height in dip
    bool unsavedChanges = false;
    bool refreshInProgress = false;
    bool storySelected = false;   // selectedStoryId names a story
    bool storyPinned = false;     // ... and that story is on the board
    bool linkMode = false;
    std::int32_t newLinkKind = 0;
    bool undoAvailable = false;
    bool plateDecodeRunning = false;
    bool plateLoaded = false;     // plateImage holds a bitmap
    bool licencesShown = false;
    bool restoreArmed = false;
    bool automatic = false;
    bool notifications = false;
};

struct ControlPlacement {
    ControlId id = 0;
    DipRect rect;
    bool enabled = true;
};

struct LayoutPlan {
    std::vector<ControlPlacement> shown;  // every control not listed is hidden
    std::optional<DipRect> boardViewRect;
    std::optional<DipRect> atlasViewRect;
};

LayoutPlan planLayout(const LayoutInputs& inputs);
const ControlPlacement* findPlacement(const LayoutPlan& plan, ControlId id);

// The label of a button in the current interface language (empty for the edits).
std::wstring controlLabel(ControlId id, const LayoutInputs& inputs);

// ---------------------------------------------------------------------------------------------
// Edit guards (pure)

enum class EditDecision { Accept, Refuse, RefuseUnsupported };  // the last one shows key 53

struct EditCharContext {
    bool editable = true;      // not read-only
    bool singleLine = false;   // the search box
    bool canUndo = false;      // EM_CANUNDO
    std::size_t length = 0;    // current text length, code units
    std::size_t selectionStart = 0;
    std::size_t selectionLength = 0;
    std::size_t limit = 0;     // the control's text limit
};

EditDecision decideEditChar(wchar_t code, const EditCharContext& context);
EditDecision decidePaste(std::wstring_view pasted, const EditCharContext& context);

// Arrow-key selection in the Discover list: the new index, or -1 with an empty list.
int nextListIndex(int currentIndex, int direction, int count);
std::int32_t listOffsetForIndex(int index);

// ---------------------------------------------------------------------------------------------
// Window-thread operations

void setStatus(AppState& app, std::wstring text, bool isError);
void setStatusKey(AppState& app, UiStringKey key, bool isError);
void repaint(const AppState& app);

bool saveLibrary(AppState& app, Library& library);
bool commitNote(AppState& app, Library& library);
void saveNote(AppState& app, Library& library);
void selectStory(AppState& app, Library& library, const std::string& id);
void selectSection(AppState& app, Library& library, Section section);
void hideToTray(AppState& app, Library& library);
void requestQuit(AppState& app, Library& library);
void showFromTray(AppState& app);

void dispatchCommand(Session& session, ControlId id);

// What a view asked for, carried out in the request's order; a note that cannot be committed, or
// a selection that does not take, ends it there.
void carryOut(AppState& app, Library& library, const ViewRequest& request);
// Only its steps that show the change: layout, the wheel's rest timer, announcements and repaint.
void showViewChange(AppState& app, const Library& library, const ViewRequest& request);

// The panel's and the board's commands that commit the note first, and the one that opens a browser.
void toggleSelectedPin(Session& session);   // 121
void openSelectedSource(Session& session);  // 122
void undoBoardEdit(Session& session);       // 127

// Quitting: no new refresh, no outcome merged, and a fetch waiting on the network is cut short.
void beginShutdown(AppState& app);
// Joins the feed worker, waiting at most graceMs after cancelling its fetch; false when it had to
// be left behind.
bool stopFeedWorker(AppState& app, DWORD graceMs);
void startRefresh(AppState& app, const Library& library);
void onRefreshOutcome(AppState& app, Library& library, std::unique_ptr<RefreshOutcome> outcome);
void refreshTick(AppState& app, const Library& library);
void startPlateDecode(AppState& app);
void onPlateResult(AppState& app, const Library& library, std::unique_ptr<PlateResult> result);
void releasePlateImage(AppState& app);
void loadPreviewImages(AppState& app);

void createChildControls(AppState& app);
void applyControlFont(AppState& app);
void layoutControls(AppState& app, const Library& library);
LayoutInputs layoutInputsOf(const AppState& app, const Library& library);
HWND controlWindow(const AppState& app, ControlId id);

// ---------------------------------------------------------------------------------------------
// Owner-painted surfaces: keyboard focus and screen readers

// Created hidden after the child controls, each placed in the tab order after the control above it.
void createSurfaces(AppState& app);
// Shows the current section's surface over what it stands for; called by every layout.
void layoutSurfaces(AppState& app);
HWND surfaceWindow(const AppState& app, ControlId id);
// The surface that stands for the current section's painted content; 0 in Preferences.
ControlId sectionSurface(Section section);
// True when the keys reach the surface: it has the focus, or the main window has it on its section.
bool keyboardOnSurface(const AppState& app, ControlId surface);
// Tell screen readers what changed: the selected story (and the focus when the keyboard is there),
// the card the arrows reached in link mode, the atlas's plate and zoom.
void announceSelection(const AppState& app, const Library& library);
void announceFocus(const AppState& app, const Library& library);
void announceAtlasView(const AppState& app, bool plateChanged = false);

// What a surface tells a screen reader, worked out from the state on every question. Child 0 is
// the surface itself; children 1 .. count are the Discover rows, the board's cards and then its
// links; the atlas has none.
struct AccessibleItem {
    std::wstring name;
    std::wstring description;
    std::wstring value;
    long role = 0;   // ROLE_SYSTEM_*
    long state = 0;  // STATE_SYSTEM_*
    DipRect bounds;  // in dip of the main window's client area
};

int accessibleChildCount(const AppState& app, const Library& library, ControlId surface);
// Empty (role 0) for a child that does not exist.
AccessibleItem describeAccessible(const AppState& app, const Library& library, ControlId surface, int child,
                                  bool keyboardHere);
int selectedAccessibleChild(const AppState& app, const Library& library, ControlId surface);  // 0 none
// The child the keys act on: the selected one, or in link mode the card the arrows reached; 0 none.
int focusedAccessibleChild(const AppState& app, const Library& library, ControlId surface);
// The topmost child under a point in client dip; 0 the surface itself, -1 outside it.
int accessibleChildAt(const AppState& app, const Library& library, ControlId surface, float x, float y);
// The story a child stands for (a row or a card), or empty.
std::string accessibleStoryId(const AppState& app, const Library& library, ControlId surface, int child);
// "<kind>: <from title> -> <to title>".
std::wstring linkAccessibleName(std::int32_t kind, const std::wstring& fromTitle, const std::wstring& toTitle);
// The plate's name without its number ("Cosmic Cliffs" of "01  Cosmic Cliffs").
std::wstring plateAccessibleName(std::int32_t plate);

void addTrayIcon(AppState& app);
// Adds it from a worker after the first frame; settleTrayIcon waits for that answer, and every
// reader of trayIconAdded calls it first.
void addTrayIconInBackground(AppState& app);
void settleTrayIcon(AppState& app);
void onTrayEvent(Session& session, LPARAM event);
void showNewStoriesBalloon(AppState& app);

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Start-up pieces the tests drive directly: the class of the mode, the window of its session
// (null when creation failed), and one turn of the message loop with its global shortcuts.
bool registerMainWindowClass(const AppState& app);
HWND createMainWindow(Session& session);
void processQueuedMessage(Session& session, MSG& message);

// ---------------------------------------------------------------------------------------------
// High contrast

// The Windows colours a high-contrast theme sets, as COLORREF values (GetSysColor).
struct SystemColours {
    COLORREF window = 0;
    COLORREF windowText = 0;
    COLORREF highlight = 0;
    COLORREF buttonFace = 0;
    COLORREF grayText = 0;
    COLORREF highlightText = 0;
};

// The interface palette drawn in the theme's colours: text, lines and borders in window text,
// surfaces in window colour, accents in highlight.
Palette highContrastPalette(const SystemColours& colours);
// The palette for the current Windows setting: today's colours unless high contrast is on.
Palette currentPalette();
COLORREF colourRef(std::uint32_t argb);
// Follows a change of the setting: new palette, edit colours and drawing caches; true if it changed.
bool applyPalette(AppState& app, const Palette& palette);

// The whole program: start-up, message loop and shutdown; returns the process exit code.
int runApplication(HINSTANCE instance);

// Built-in checks of the program's own logic; writes the results file and returns 0 or 1.
int runSelfChecks(const std::wstring& resultsPath, const std::wstring& dataFolder, bool networkChecks);
