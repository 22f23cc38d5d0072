// Refresh cycle: the two official endpoints, the feed worker body that fetches them in order, and the
// window-thread rules for applying its outcome and for the hourly schedule.
#include "feeds/feeds.h"

#include <objbase.h>

#include <iterator>
#include <memory>

namespace {

// Pairs a successful CoInitializeEx with CoUninitialize on every way out of the worker.
struct ComApartment {
    bool initialised = false;

    ComApartment() : initialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment()
    {
        if (initialised)
            CoUninitialize();
    }
};

// One source's contribution; anything it throws (including running out of memory half-way through
// the append) leaves the outcome exactly as it was.
void collectSource(RefreshOutcome& outcome, const FeedEndpoint& endpoint)
{
    const std::size_t before = outcome.stories.size();
    try {
        std::vector<Story> stories =
            readRssFeed(fetchFeedWith(endpoint.host, endpoint.path, endpoint.options), endpoint.sourceLabel);
        outcome.stories.insert(outcome.stories.end(), std::make_move_iterator(stories.begin()),
                               std::make_move_iterator(stories.end()));
        ++outcome.okSources;
    } catch (...) {
        outcome.stories.erase(outcome.stories.begin() + static_cast<std::ptrdiff_t>(before),
                              outcome.stories.end());
    }
}

}  // namespace

std::vector<FeedEndpoint> officialFeedEndpoints()
{
    return {
        FeedEndpoint{.host = L"www.nasa.gov", .path = L"/news-release/feed/", .sourceLabel = "NASA", .options = {}},
        FeedEndpoint{.host = L"www.noaa.gov", .path = L"/rss.xml", .sourceLabel = "NOAA", .options = {}},
    };
}

bool runFeedWorker(HWND window, const std::atomic<bool>& shuttingDown, std::vector<FeedEndpoint> endpoints)
{
    const ComApartment apartment;  // XmlLite needs COM on this thread
    try {
        auto outcome = std::make_unique<RefreshOutcome>();
        for (const FeedEndpoint& endpoint : endpoints) {
            if (shuttingDown.load())
                break;
            collectSource(*outcome, endpoint);
        }
        if (shuttingDown.load())
            return false;
        // Once posted, the window thread owns the outcome; a refused post leaves it with us to free.
        if (!PostMessageW(window, WM_APP_FEEDS_DONE, 0, reinterpret_cast<LPARAM>(outcome.get())))
            return false;
        outcome.release();
        return true;
    } catch (...) {
        // Nothing may leave a thread body; the outcome, if any, has been freed on the way out.
        return false;
    }
}

RefreshReport applyRefreshOutcome(Library& library, const RefreshOutcome& outcome, std::int64_t now,
                                  bool trayIconAdded)
{
    RefreshReport report;
    report.newStories = mergeFetchedStories(library.stories, outcome.stories);
    if (outcome.okSources > 0)
        library.settings.lastCheck = now;

    const bool withCount = outcome.okSources > 0;
    if (outcome.okSources >= 2) {
        report.statusKey = UiStringKey::BothSourcesChecked;
        report.activityEvent = "FEEDS_OK";
    } else if (outcome.okSources == 1) {
        report.statusKey = UiStringKey::OneSourceUnavailable;
        report.statusIsError = true;
        report.activityEvent = "FEEDS_PARTIAL";
    } else {
        report.statusKey = UiStringKey::SourcesUnavailable;
        report.statusIsError = true;
        report.activityEvent = "FEEDS_FAILED";
    }
    report.statusText = UiText(report.statusKey);
    if (withCount)
        report.statusText += std::to_wstring(report.newStories);

    report.showBalloon = report.newStories != 0 && library.settings.notifications && trayIconAdded;
    return report;
}

bool isAutoCheckDue(const LibrarySettings& settings, bool refreshInProgress, std::int64_t now,
                    std::int64_t nextAutoCheck)
{
    return settings.automatic && !refreshInProgress && now >= nextAutoCheck;
}
