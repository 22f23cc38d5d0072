// The window thread's side of the two workers: starting a feed refresh and handling its outcome,
// the hourly tick, and the plate decode hooks with the handling of their results.
#include "shell/shell_internal.h"

#include "feeds/feeds.h"
#include "persistence/persistence.h"
#include "views/views.h"

#include <cwchar>
#include <system_error>

namespace {

// The worker body promises to post exactly one outcome; should it ever throw, an empty outcome
// (no source answered) still ends the refresh instead of leaving it running for good.
void feedWorkerBody(HWND window, std::shared_ptr<FeedWorkerLink> link, std::vector<FeedEndpoint> endpoints)
{
    try {
        link->posted.store(runFeedWorker(window, link->stopping, std::move(endpoints)));
    } catch (...) {
        if (!link->stopping.load()) {
            auto outcome = std::make_unique<RefreshOutcome>();
            if (PostMessageW(window, WM_APP_FEEDS_DONE, 0, reinterpret_cast<LPARAM>(outcome.get()))) {
                outcome.release();
                link->posted.store(true);
            }
        }
    }
    link->finished.store(true);
}

// UI test runs may point the refresh at a loopback HTTPS server ("--ui-test-feed-port=<port>",
// serving the two feeds at /feed/nasa and /feed/noaa), so a test can refresh without the internet.
std::vector<FeedEndpoint> refreshEndpoints(const AppState& app)
{
    std::vector<FeedEndpoint> endpoints = officialFeedEndpoints();
    constexpr std::wstring_view OPTION = L"--ui-test-feed-port=";
    const std::wstring_view commandLine = GetCommandLineW();
    const std::size_t at = commandLine.find(OPTION);
    if (!app.uiTestMode || at == std::wstring_view::npos)
        return endpoints;
    const unsigned long port = wcstoul(commandLine.data() + at + OPTION.size(), nullptr, 10);
    if (port == 0 || port > 65535)
        return endpoints;
    for (FeedEndpoint& endpoint : endpoints) {
        endpoint.path = endpoint.sourceLabel == "NASA" ? L"/feed/nasa" : L"/feed/noaa";
        endpoint.host = L"localhost";
        endpoint.options.port = static_cast<std::uint16_t>(port);
    }
    return endpoints;
}

}  // namespace

void beginShutdown(AppState& app)
{
    app.shuttingDown.exchange(true);
    if (app.feedLink) {
        app.feedLink->stopping.store(true);
        app.feedLink->cancel.cancel();
    }
}

bool stopFeedWorker(AppState& app, DWORD graceMs)
{
    if (!app.feedWorker.joinable())
        return true;
    beginShutdown(app);
    const ULONGLONG giveUp = GetTickCount64() + graceMs;
    while (app.feedLink && !app.feedLink->finished.load() && GetTickCount64() < giveUp)
        Sleep(10);
    if (!app.feedLink || app.feedLink->finished.load()) {
        app.feedWorker.join();
        return true;
    }
    // Still inside a network call its closed handles did not end: process exit will end it.
    app.feedWorker.detach();
    return false;
}

void startRefresh(AppState& app, const Library& library)
{
    if (app.refreshInProgress || app.shuttingDown)
        return;
    if (app.feedWorker.joinable())
        app.feedWorker.join();
    app.refreshInProgress = true;
    setStatusKey(app, UiStringKey::ReceivingStories, false);
    layoutControls(app, library);
    try {
        auto link = std::make_shared<FeedWorkerLink>();
        std::vector<FeedEndpoint> endpoints = refreshEndpoints(app);
        for (FeedEndpoint& endpoint : endpoints)
            endpoint.options.cancel = &link->cancel;
        app.feedWorker = std::thread(feedWorkerBody, app.mainWindow, link, std::move(endpoints));
        app.feedLink = std::move(link);
    } catch (const std::exception&) {
        // No thread (std::system_error) or no endpoint list: nothing runs, so nothing will post.
        app.refreshInProgress = false;
        setStatusKey(app, UiStringKey::SourcesUnavailable, true);
        layoutControls(app, library);
    }
}

void onRefreshOutcome(AppState& app, Library& library, std::unique_ptr<RefreshOutcome> outcome)
{
    app.refreshInProgress = false;
    if (app.shuttingDown)
        return;  // quitting: what the sources said is not merged any more
    // The note editor may hold text typed within the save timer's delay; committed first, the note
    // also keeps its story from being evicted by the merge.
    commitNote(app, library);
    settleTrayIcon(app);
    RefreshReport report;
    try {
        report = applyRefreshOutcome(library, outcome ? *outcome : RefreshOutcome{}, currentUnixSeconds(),
                                     app.trayIconAdded);
    } catch (const std::exception&) {
        report = RefreshReport{};
        report.statusKey = UiStringKey::SourcesUnavailable;
        report.statusText = UiText(UiStringKey::SourcesUnavailable);
        report.statusIsError = true;
        report.activityEvent = "FEEDS_FAILED";
    }
    app.unsavedChanges = true;
    if (saveLibrary(app, library))
        setStatus(app, report.statusText, report.statusIsError);
    logActivity(app.dataFolder, report.activityEvent);
    if (report.showBalloon && report.newStories != 0)
        showNewStoriesBalloon(app);
    layoutControls(app, library);
}

void refreshTick(AppState& app, const Library& library)
{
    // A worker that ended without getting its outcome to the window (a full queue) must not leave
    // the refresh running, and Refresh disabled, for the rest of the run.
    if (app.refreshInProgress && app.feedLink && app.feedLink->finished.load() && !app.feedLink->posted.load()) {
        app.refreshInProgress = false;
        setStatusKey(app, UiStringKey::SourcesUnavailable, true);
        logActivity(app.dataFolder, "FEEDS_FAILED");
        layoutControls(app, library);
    }
    repaint(app);
    const std::int64_t now = currentUnixSeconds();
    if (isAutoCheckDue(library.settings, app.refreshInProgress, now, app.nextAutoCheck)) {
        app.nextAutoCheck = now + AUTO_CHECK_INTERVAL;
        startRefresh(app, library);
    }
}

// ---------------------------------------------------------------------------------------------
// Plates

// The previews stay decoded for the whole run; they are small and shown at once under the veil.
void loadPreviewImages(AppState& app)
{
    // Only the atlas shows them; a start that never opens it does not pay for them.
    for (std::size_t plate = 0; plate < app.previewImages.size(); ++plate)
        if (!app.previewImages[plate].hasBitmap())
            app.previewImages[plate] = decodePlateResource(PREVIEW_RESOURCE_BASE + int(plate), false);
}

namespace {

// UI test runs may ask for the forced decode to fail, to reach the failed state on demand.
bool decodeFailureRequested(const AppState& app)
{
    return app.uiTestMode && std::wstring_view(GetCommandLineW()).find(L"--ui-test-fail-decode") != std::wstring_view::npos;
}

}  // namespace

void startPlateDecode(AppState& app)
{
    if (app.plateDecodeRunning || app.requestedPlate == app.loadedPlate)
        return;
    if (app.imageWorker.joinable())
        app.imageWorker.join();
    app.plateImage.reset();
    app.loadedPlate = -1;
    app.plateDecodeRunning = true;
    setStatusKey(app, UiStringKey::DecodingImage, false);
    try {
        PlateDecodeOptions options;
        options.failFullDecode = decodeFailureRequested(app);
        app.imageWorker = std::thread(plateWorker, app.mainWindow, &app.shuttingDown,
                                      std::make_unique<std::int32_t>(app.requestedPlate), options);
        // "Retry image" belongs to the failed state only; callers lay out before starting.
        if (HWND retry = controlWindow(app, ID_RETRY_IMAGE))
            ShowWindow(retry, SW_HIDE);
    } catch (const std::exception&) {
        // No thread: nothing will post, so the decode ends here in the failed state.
        app.plateDecodeRunning = false;
        setStatusKey(app, UiStringKey::ImageNotDecoded, true);
    }
    repaint(app);
}

void onPlateResult(AppState& app, const Library& library, std::unique_ptr<PlateResult> result)
{
    app.plateDecodeRunning = false;
    if (!result) {
        // The worker could not even make a result: the decode failed for the plate asked for.
        result = std::make_unique<PlateResult>();
        result->plate = app.requestedPlate;
    }
    if (app.currentSection == Section::Atlas) {
        if (IsWindowVisible(app.mainWindow) && result->plate == app.requestedPlate) {
            app.plateImage = std::move(result->image);
            if (app.plateImage.hasBitmap()) {
                app.loadedPlate = app.requestedPlate;
                showViewChange(app, library, fitAtlas(app));
                setStatusKey(app, UiStringKey::Ready, false);
            } else {
                app.loadedPlate = -1;
                setStatusKey(app, UiStringKey::ImageNotDecoded, true);
            }
        } else if (result->plate != app.requestedPlate) {
            startPlateDecode(app);
        }
    }
    layoutControls(app, library);
}
