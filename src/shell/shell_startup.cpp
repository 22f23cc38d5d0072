// Start-up in its fixed order (process hardening, language, self-check diversion, data folder and
// lock, load chain read beside GDI+ and the window), the message loop with its global shortcuts, and shutdown.
#include "shell/shell_internal.h"

#include "feeds/feeds.h"
#include "locale/locale.h"
#include "persistence/persistence.h"

#include <gdiplus.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <future>
#include <vector>

using namespace shell_detail;

namespace {

std::wstring modulePath()
{
    std::vector<wchar_t> buffer(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::wstring(buffer.data(), length);
}

bool createDataFolder(const std::wstring& folder)
{
    try {
        const int result = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
        if (result != ERROR_SUCCESS && result != ERROR_ALREADY_EXISTS && result != ERROR_FILE_EXISTS)
            return false;
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    } catch (...) {
        return false;
    }
}

// The first instance's window may be hidden in the tray; restoring it is enough to bring it back.
void wakeFirstInstance(bool uiTestMode)
{
    if (HWND first = FindWindowW(windowClassName(uiTestMode), nullptr)) {
        ShowWindow(first, SW_RESTORE);
        SetForegroundWindow(first);
    }
}

// The library file is read on a worker while GDI+ starts and the window is built: for a large
// library the two take about as long, and neither needs the other. The worker only reads and
// sorts out the files; what the chain does to the state (status, path, the save) waits for it on
// the window thread, before the first story is selected.
std::future<LoadResult> startLoadChain(const std::wstring& dataFolder)
{
    auto read = [dataFolder] { return loadLibrary(dataFolder, currentUnixSeconds()); };
    try {
        return std::async(std::launch::async, read);
    } catch (const std::system_error&) {
        return std::async(std::launch::deferred, read);  // no thread to be had: read when needed
    }
}

void finishLoadChain(Session& s, std::future<LoadResult>& pending)
{
    AppState& app = s.app;
    LoadResult loaded;
    try {
        loaded = pending.get();
    } catch (const std::exception&) {
        // The chain always ends with a library; should it fail outright, a recovery seed is opened
        // in its own file so the user's files are left as they are.
        loaded.library = buildSeedLibrary();
        loaded.libraryPath = joinPath(app.dataFolder, L"recovery-" + std::to_wstring(currentUnixSeconds()) + L".json");
        loaded.status = UiStringKey::RecoveryLibraryOpen;
        loaded.mustSave = true;
    }
    s.library = std::move(loaded.library);
    app.libraryPath = std::move(loaded.libraryPath);
    setStatusKey(app, loaded.status, false);
    if (loaded.mustSave) {
        app.unsavedChanges = true;
        saveLibrary(app, s.library);
    }
}

}  // namespace

bool registerMainWindowClass(const AppState& app)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = app.instance;
    windowClass.hIcon = app.appIcon;
    windowClass.hIconSm = app.appIcon;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = windowClassName(app.uiTestMode);
    return RegisterClassExW(&windowClass) != 0;
}

HWND createMainWindow(Session& s)
{
    AppState& app = s.app;
    RECT workArea{0, 0, 1366, 728};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    const PixelRect rect = initialWindowRect(workArea, GetDpiForSystem());
    // WS_CLIPCHILDREN: the frame is one BitBlt over the whole client area, which would otherwise
    // paint over the child controls on every repaint.
    CreateWindowExW(WS_EX_APPWINDOW, windowClassName(app.uiTestMode), L"Kestrune",
                    WS_POPUP | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPCHILDREN, rect.left, rect.top,
                    rect.width, rect.height, nullptr, nullptr, app.instance, &s);
    return app.mainWindow;
}

namespace {

// European layouts report AltGr as Ctrl+Alt: with Alt down the key is typing ("@", "#", "€"),
// never a shortcut.
bool ctrlShortcutHeld()
{
    return GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_MENU) >= 0;
}

// The global shortcuts, taken out of the queue before dispatch. True when the key was consumed.
bool handleGlobalKey(Session& s, MSG& message)
{
    AppState& app = s.app;
    const WPARAM key = message.wParam;
    if (ctrlShortcutHeld()) {
        if (key >= '1' && key <= '4') {
            selectSection(app, s.library, static_cast<Section>(key - '1'));
            return true;
        }
        if (key == 'S') {
            saveNote(app, s.library);
            return true;
        }
        if (key == 'F') {
            selectSection(app, s.library, Section::Discover);
            if (app.currentSection == Section::Discover)
                SetFocus(controlWindow(app, ID_SEARCH));
            return true;
        }
    }
    if (key == VK_F5) {
        startRefresh(app, s.library);
        return true;
    }
    if (key == VK_ESCAPE) {
        if (app.linkMode) {
            app.linkMode = false;
            layoutControls(app, s.library);
        } else {
            hideToTray(app, s.library);
        }
        return true;
    }
    if (key == VK_RETURN) {
        HWND focus = GetFocus();
        if (focus && focus == controlWindow(app, ID_NOTE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        } else if (focus && (GetWindowLongW(focus, GWL_STYLE) & 0x0B) != 0) {
            SendMessageW(focus, BM_CLICK, 0, 0);
        } else if (focus && (focus == app.mainWindow || isSurfaceWindow(app, focus))) {
            // On the board, Enter joins the card the arrows reached in link mode.
            SendMessageW(focus, WM_KEYDOWN, VK_RETURN, message.lParam);
        }
        return true;
    }
    return false;
}

}  // namespace

void processQueuedMessage(Session& s, MSG& message)
{
    try {
        if (message.message == WM_KEYDOWN && handleGlobalKey(s, message))
            return;
    } catch (...) {
        return;
    }
    if (message.message == WM_SYSCHAR)
        return;
    if (s.app.mainWindow && IsWindow(s.app.mainWindow) && IsDialogMessageW(s.app.mainWindow, &message))
        return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

namespace {

void runMessageLoop(Session& s)
{
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        processQueuedMessage(s, message);
}

// Results still queued after the workers were joined are freed without being acted on.
void drainWorkerMessages()
{
    MSG message{};
    while (PeekMessageW(&message, nullptr, WM_APP_FEEDS_DONE, WM_APP_PLATE_DONE, PM_REMOVE)) {
        if (message.message == WM_APP_FEEDS_DONE)
            delete reinterpret_cast<RefreshOutcome*>(message.lParam);
        else if (message.message == WM_APP_PLATE_DONE)
            delete reinterpret_cast<PlateResult*>(message.lParam);
    }
}

// Every GDI+ object goes before GdiplusShutdown; left to ~AppState they would be disposed after it
// and after CoUninitialize.
void releaseImagesAndShutDownGdiplus(AppState& app, ULONG_PTR gdiplusToken)
{
    app.plateImage.reset();
    for (DecodedImage& preview : app.previewImages)
        preview.reset();
    app.drawingKit.reset();
    Gdiplus::GdiplusShutdown(gdiplusToken);
}

void shutDown(Session& s, ULONG_PTR gdiplusToken)
{
    AppState& app = s.app;
    beginShutdown(app);
    stopFeedWorker(app, FEED_WORKER_GRACE_MS);
    if (app.imageWorker.joinable())
        app.imageWorker.join();
    settleTrayIcon(app);
    drainWorkerMessages();
    releaseImagesAndShutDownGdiplus(app, gdiplusToken);
    if (app.controlFont)
        DeleteObject(app.controlFont);
    app.controlFont = nullptr;
    if (app.editBackgroundBrush)
        DeleteObject(app.editBackgroundBrush);
    app.editBackgroundBrush = nullptr;
    app.instanceLock.close();
    logActivity(app.dataFolder, "APP_STOPPED");
}

// "<Local AppData>\Kestrune", empty when Windows names no such folder.
std::wstring dataFolderPath(bool uiTestMode)
{
    PWSTR appData = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &appData)) && appData)
        folder = joinPath(appData, dataFolderName(uiTestMode));
    CoTaskMemFree(appData);
    return folder;
}

struct ComApartment {
    ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() { CoUninitialize(); }
};

}  // namespace

int runApplication(HINSTANCE instance)
{
    auto session = std::make_unique<Session>();
    Session& s = *session;
    AppState& app = s.app;

    app.instance = instance;
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    ComApartment com;

    const CommandLineOptions options = parseCommandLine(GetCommandLineW());
    currentUiLanguage = detectUiLanguage();
    if (options.uiTestMode) {
        app.uiTestMode = true;
        currentUiLanguage = static_cast<UiLanguage>(options.forcedLanguage);
    }
    app.dataFolder = dataFolderPath(app.uiTestMode);
    if (options.selfCheck) {
        // The checks of the file system run in a scratch folder of the data folder, so it must exist.
        if (!app.dataFolder.empty())
            createDataFolder(app.dataFolder);
        return runSelfChecks(joinPath(parentFolder(modulePath()), L"self-test-results.txt"), app.dataFolder,
                             options.networkChecks);
    }
    if (app.dataFolder.empty())
        return EXIT_NO_APPDATA;
    if (!createDataFolder(app.dataFolder))
        return EXIT_NO_DATA_FOLDER;
    app.libraryPath = joinPath(app.dataFolder, L"library.json");

    app.instanceLock = FileHandle(CreateFileW(joinPath(app.dataFolder, L"session.lock").c_str(),
                                              GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!app.instanceLock.valid()) {
        wakeFirstInstance(app.uiTestMode);
        return 0;
    }

    setStatusKey(app, UiStringKey::OfflineCollectionReady, false);
    std::future<LoadResult> pendingLibrary = startLoadChain(app.dataFolder);

    ULONG_PTR gdiplusToken = 0;
    const Gdiplus::GdiplusStartupInput gdiplusInput;
    if (Gdiplus::GdiplusStartup(&gdiplusToken, &gdiplusInput, nullptr) != Gdiplus::Ok) {
        finishLoadChain(s, pendingLibrary);  // a recovered backup is saved all the same
        return EXIT_NO_GDIPLUS;
    }

    app.appIcon = LoadIconW(instance, MAKEINTRESOURCEW(101));
    applyPalette(app, currentPalette());
    const INITCOMMONCONTROLSEX controlClasses{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controlClasses);
    registerMainWindowClass(app);
    createMainWindow(s);
    if (!app.mainWindow) {
        finishLoadChain(s, pendingLibrary);
        releaseImagesAndShutDownGdiplus(app, gdiplusToken);
        return EXIT_NO_WINDOW;
    }

    // The window was built over an empty library; it is laid out again for the real one.
    finishLoadChain(s, pendingLibrary);
    layoutControls(app, s.library);
    if (!s.library.stories.empty()) {
        const std::string first = s.library.stories.front().id;
        selectStory(app, s.library, first);
    }
    ShowWindow(app.mainWindow, SW_SHOW);
    UpdateWindow(app.mainWindow);
    addTrayIconInBackground(app);
    // The atlas previews are made once the window is up, so neither the start nor the first visit
    // to the atlas waits for them.
    SetTimer(app.mainWindow, TIMER_PREVIEWS, TIMER_PREVIEWS_MS, nullptr);
    app.nextAutoCheck = currentUnixSeconds() + AUTO_CHECK_INTERVAL;
    if (s.library.settings.automatic)
        startRefresh(app, s.library);
    logActivity(app.dataFolder, "APP_STARTED");

    runMessageLoop(s);
    shutDown(s, gdiplusToken);
    return 0;
}
