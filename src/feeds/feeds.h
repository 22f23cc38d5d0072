// Feeds: feed text cleanup and dates, the RSS reader, the hardened HTTPS fetch, the story merge and
// the refresh cycle with its worker thread.
#pragma once

#include "locale/locale.h"
#include "model/model.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Feed text cleanup and dates (any thread)

std::wstring cleanFeedText(std::wstring_view text);
std::int64_t parseFeedDate(std::wstring_view text);  // Unix seconds, 0 when unknown

// ---------------------------------------------------------------------------------------------
// RSS reader (feed worker; COM must be initialised on the calling thread)

inline constexpr std::size_t FEED_BODY_LIMIT = 4u * 1024u * 1024u;  // bytes; exactly 4 MiB is read
inline constexpr std::size_t FEED_STORY_LIMIT = 80;
inline constexpr std::size_t FEED_TITLE_UNITS = 240;
inline constexpr std::size_t FEED_BODY_UNITS = 5000;

std::vector<Story> readRssFeed(std::string_view body, std::string_view sourceLabel);

// ---------------------------------------------------------------------------------------------
// HTTPS fetch (feed worker)

inline constexpr wchar_t FEED_USER_AGENT[] = L"Kestrune/1.0 (science story reader)";

// Ends a fetch that is waiting on the network from another thread. A synchronous WinHTTP call
// returns as soon as its handles are closed, so quitting need not sit out the time-outs.
class FetchCancel {
public:
    void cancel();  // closes the fetch's open handles and refuses new ones, for good
    bool cancelled() const;

    // Used by the fetch: track refuses a handle once cancelled; release says whether the caller
    // still owns the handle (false when cancel closed it already).
    bool track(void* handle);
    bool release(void* handle);

private:
    mutable std::mutex mutex_;
    std::vector<void*> open_;
    bool cancelled_ = false;
};

struct FetchOptions {
    std::uint16_t port = 443;
    std::uint64_t bodyDeadlineMs = 45000;
    FetchCancel* cancel = nullptr;  // the owner outlives every fetch given it
};

// One hardened GET: the program always uses port 443 and the 45-second body deadline; tests use a
// local server through fetchFeedWith.
std::string fetchFeed(std::wstring_view host, std::wstring_view path);
std::string fetchFeedWith(std::wstring_view host, std::wstring_view path, const FetchOptions& options);

// ---------------------------------------------------------------------------------------------
// Story merge (window thread)

inline constexpr std::size_t MERGE_STORY_LIMIT = 500;

bool isDisposableStory(const Story& story);
// Adds new stories, refreshes unkept ones, evicts disposable ones from 500 on, then sorts.
std::int32_t mergeFetchedStories(std::vector<Story>& stories, const std::vector<Story>& fetched);

// ---------------------------------------------------------------------------------------------
// Refresh cycle

// Messages the worker posts to the main window; lParam owns a heap RefreshOutcome.
inline constexpr UINT WM_APP_FEEDS_DONE = WM_APP + 1;

struct RefreshOutcome {
    std::vector<Story> stories;   // NASA's in document order, then NOAA's
    std::int32_t okSources = 0;   // sources fetched and read without failure
};

struct FeedEndpoint {
    std::wstring host;
    std::wstring path;
    std::string sourceLabel;      // "NASA" or "NOAA"
    FetchOptions options;
};

// The two official feeds in fetch order: NASA's news releases, then NOAA's.
std::vector<FeedEndpoint> officialFeedEndpoints();

// Body of the feed worker thread: fetches and reads each endpoint in order, checking shuttingDown
// before each one and before posting; posts WM_APP_FEEDS_DONE to the window, or frees the outcome
// itself when shutting down or when the post fails. True when the outcome was posted.
bool runFeedWorker(HWND window, const std::atomic<bool>& shuttingDown, std::vector<FeedEndpoint> endpoints);

// What the window thread shows, logs and announces after an outcome has been applied.
struct RefreshReport {
    std::int32_t newStories = 0;
    UiStringKey statusKey = UiStringKey::BothSourcesChecked;
    std::wstring statusText;       // localized, with the count appended where the key asks for it
    bool statusIsError = false;
    const char* activityEvent = "FEEDS_OK";
    bool showBalloon = false;
};

// Window-thread handling of one outcome: merges the stories and records lastCheck when a source
// answered. The caller then saves, shows statusText only when the save succeeded, logs the event
// and shows the balloon when asked.
RefreshReport applyRefreshOutcome(Library& library, const RefreshOutcome& outcome, std::int64_t now,
                                  bool trayIconAdded);

// The hourly schedule: true when an automatic check should start now.
bool isAutoCheckDue(const LibrarySettings& settings, bool refreshInProgress, std::int64_t now,
                    std::int64_t nextAutoCheck);
