// The window thread's side of the two workers: starting a feed refresh and handling its outcome,
// the hourly tick, and the plate decode hooks with the handling of their results.
#include "shell/shell_internal.h"

#include "feeds/feeds.h"
#include "persistence/persistence.h"
#include "views/views.h"

#include <system_error>

namespace {

// The worker body promises to post exactly one outcome; should it ever throw, an empty outcome
// (no source answered) still ends the refresh instead of leaving it running for good.
void feedWorkerBody(HWND window, const std::atomic<bool>* shuttingDown, std::vector<FeedEndpoint> endpoints)
{
    try {
        runFeedWorker(window, *shuttingDown, std::move(endpoints));
    } catch (...) {
        if (shuttingDown->load())
            return;
        auto outcome = std::make_unique<RefreshOutcome>();
        if (PostMessageW(window, WM_APP_FEEDS_DONE, 0, reinterpret_cast<LPARAM>(outcome.get())))
            outcome.release();
    }
}

}  // namespace

void startRefresh(AppState& app, const Library& library)
{
    if (app.refreshInProgress)
        return;
    if (app.feedWorker.joinable())
        app.feedWorker.join();
    app.refreshInProgress = true;
    setStatusKey(app, UiStringKey::ReceivingStories, false);
    layoutControls(app, library);
    try {
        app.feedWorker = std::thread(feedWorkerBody, app.mainWindow, &app.shuttingDown, officialFeedEndpoints());
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
    repaint(app);
    const std::int64_t now = currentUnixSeconds();
    if (isAutoCheckDue(library.settings, app.refreshInProgress, now, app.nextAutoCheck)) {
        app.nextAutoCheck = now + AUTO_CHECK_INTERVAL;
        startRefresh(app, library);
    }
}

// ---------------------------------------------------------------------------------------------
// Plates

// The previews (resources 311 and 312) and the full plates are decoded by the atlas; until it
// exists no image is decoded, and the atlas shows its failed state with "Retry image".
void loadPreviewImages(AppState&) {}

void startPlateDecode(AppState& app)
{
    if (app.plateDecodeRunning || app.requestedPlate == app.loadedPlate)
        return;
}

void onPlateResult(AppState& app, const Library& library, std::unique_ptr<PlateResult> result)
{
    app.plateDecodeRunning = false;
    if (result && app.currentSection == Section::Atlas) {
        if (IsWindowVisible(app.mainWindow) && result->plate == app.requestedPlate) {
            app.plateImage = std::move(result->image);
            if (app.plateImage.hasBitmap()) {
                app.loadedPlate = app.requestedPlate;
                fitAtlas(app);
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
