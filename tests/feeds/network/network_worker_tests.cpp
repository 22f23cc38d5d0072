// The feed worker on its own thread against the loopback server: what it posts for two, one and no
// answering sources, and that shutting down mid-fetch skips the rest and posts nothing.
#include "network_support.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

constexpr DWORD OUTCOME_WAIT_MS = 20000;

class FeedWorkerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const LoopbackServer& server = loopbackServer();
        ASSERT_TRUE(server.ready) << std::string(server.problem.begin(), server.problem.end());
        ASSERT_NE(window.handle, nullptr);
    }

    static FeedEndpoint endpoint(const std::string& path, const std::string& label, std::uint16_t port = 0,
                                 std::uint64_t deadlineMs = 45000)
    {
        return FeedEndpoint{.host = LOOPBACK_HOST,
                            .path = std::wstring(path.begin(), path.end()),
                            .sourceLabel = label,
                            .options = {.port = port ? port : loopbackServer().trustedPort,
                                        .bodyDeadlineMs = deadlineMs}};
    }

    // Runs the worker on a thread of its own, as the program does, and collects what it posted.
    std::unique_ptr<RefreshOutcome> runWorker(std::vector<FeedEndpoint> endpoints)
    {
        std::thread worker(runFeedWorker, window.handle, std::cref(shuttingDown), std::move(endpoints));
        std::unique_ptr<RefreshOutcome> outcome = waitForOutcome(window.handle, OUTCOME_WAIT_MS);
        worker.join();
        return outcome;
    }

    static std::vector<std::string> titlesOf(const RefreshOutcome& outcome)
    {
        std::vector<std::string> titles;
        for (const Story& story : outcome.stories)
            titles.push_back(story.source + ": " + story.title);
        return titles;
    }

    MessageWindow window;
    std::atomic<bool> shuttingDown{false};
};

TEST_F(FeedWorkerTest, BothSourcesAnsweringPostsAllStoriesInFetchOrder)
{
    const auto outcome = runWorker({endpoint("/feed/nasa", "NASA"), endpoint("/feed/noaa", "NOAA")});
    ASSERT_NE(outcome, nullptr) << "nothing was posted";
    EXPECT_EQ(outcome->okSources, 2);
    EXPECT_EQ(titlesOf(*outcome), (std::vector<std::string>{"NASA: Comet Dust Sampled", "NASA: Solar Wind Mapped",
                                                             "NOAA: Reef Survey Completed",
                                                             "NOAA: Storm Season Outlook"}));
}

TEST_F(FeedWorkerTest, FailingSecondSourceKeepsTheFirst)
{
    const auto outcome = runWorker({endpoint("/feed/nasa", "NASA"), endpoint("/status/404", "NOAA")});
    ASSERT_NE(outcome, nullptr);
    EXPECT_EQ(outcome->okSources, 1);
    EXPECT_EQ(titlesOf(*outcome),
              (std::vector<std::string>{"NASA: Comet Dust Sampled", "NASA: Solar Wind Mapped"}));
}

TEST_F(FeedWorkerTest, UnreadableFirstBodyDoesNotStopTheSecond)
{
    // A 200 answer that is no feed fails in the reader, not the fetch.
    const auto outcome = runWorker({endpoint("/pattern/64", "NASA"), endpoint("/feed/noaa", "NOAA")});
    ASSERT_NE(outcome, nullptr);
    EXPECT_EQ(outcome->okSources, 1);
    EXPECT_EQ(titlesOf(*outcome),
              (std::vector<std::string>{"NOAA: Reef Survey Completed", "NOAA: Storm Season Outlook"}));
}

TEST_F(FeedWorkerTest, NoAnsweringSourcePostsEmptyOutcome)
{
    const std::uint16_t closed = loopbackServer().closedPort;
    const auto outcome = runWorker({endpoint("/feed/nasa", "NASA", closed), endpoint("/feed/noaa", "NOAA", closed)});
    ASSERT_NE(outcome, nullptr) << "a refresh that reached nobody must still report back";
    EXPECT_EQ(outcome->okSources, 0);
    EXPECT_TRUE(outcome->stories.empty());
}

TEST_F(FeedWorkerTest, ShutdownDuringFirstFetchSkipsSecondAndPostsNothing)
{
    const std::string slowPath = "/trickle?bytes=30&ms=100&tag=" + runTag() + "-shutdown";
    const std::string secondPath = "/feed/noaa?tag=" + runTag() + "-shutdown";
    // The first body takes 3 s to arrive and its deadline is 1 s, so the fetch fails by itself.
    std::thread worker(runFeedWorker, window.handle, std::cref(shuttingDown),
                       std::vector<FeedEndpoint>{endpoint(slowPath, "NASA", 0, 1000), endpoint(secondPath, "NOAA")});

    const ULONGLONG giveUp = GetTickCount64() + 10000;
    while (loggedRequests(slowPath).empty() && GetTickCount64() < giveUp)
        Sleep(20);
    const bool firstFetchStarted = !loggedRequests(slowPath).empty();
    shuttingDown.store(true);
    worker.join();

    ASSERT_TRUE(firstFetchStarted) << "the worker never reached the server";
    EXPECT_TRUE(loggedRequests(secondPath).empty()) << "the second source was fetched after shutdown began";
    EXPECT_EQ(waitForOutcome(window.handle, 0), nullptr) << "an outcome was posted during shutdown";
}

TEST_F(FeedWorkerTest, CancelEndsAStalledFetchAtOnceInsteadOfAfterItsTimeOuts)
{
    FetchCancel cancel;
    FeedEndpoint endpoint = FeedWorkerTest::endpoint("/stall?s=30&tag=" + runTag() + "-cancel", "NASA");
    endpoint.options.cancel = &cancel;
    {
        FetchCancel refused;
        refused.cancel();
        FetchOptions options = endpoint.options;
        options.cancel = &refused;
        EXPECT_THROW(fetchFeedWith(LOOPBACK_HOST, L"/feed/nasa", options), std::exception)
            << "a fetch after the cancel must not start";
    }
    if (runningUnderWine())
        GTEST_SKIP() << "Wine's WinHTTP finishes a synchronous receive even when its handles are closed from "
                        "another thread; the program then leaves the worker behind at quit";

    // The server never answers: left alone, WinHTTP waits out its 12-second receive time-out.
    std::thread worker(runFeedWorker, window.handle, std::cref(shuttingDown), std::vector<FeedEndpoint>{endpoint});
    const std::string stalled(endpoint.path.begin(), endpoint.path.end());
    const ULONGLONG giveUp = GetTickCount64() + 10000;
    while (loggedRequests(stalled).empty() && GetTickCount64() < giveUp)
        Sleep(20);
    ASSERT_FALSE(loggedRequests(stalled).empty()) << "the worker never reached the server";
    const ULONGLONG cancelledAt = GetTickCount64();
    shuttingDown.store(true);
    cancel.cancel();
    worker.join();
    EXPECT_LT(GetTickCount64() - cancelledAt, 2000u) << "the fetch sat out its time-out after the cancel";
    EXPECT_EQ(waitForOutcome(window.handle, 0), nullptr);
}

TEST_F(FeedWorkerTest, ShutdownBeforeStartFetchesNothing)
{
    const std::string path = "/feed/nasa?tag=" + runTag() + "-early";
    shuttingDown.store(true);
    std::thread worker(runFeedWorker, window.handle, std::cref(shuttingDown),
                       std::vector<FeedEndpoint>{endpoint(path, "NASA")});
    worker.join();
    EXPECT_TRUE(loggedRequests(path).empty());
    EXPECT_EQ(waitForOutcome(window.handle, 0), nullptr);
}

TEST_F(FeedWorkerTest, RefusedPostEndsTheWorkerQuietly)
{
    // A window that no longer exists: the post fails and the worker frees the outcome itself.
    HWND gone = nullptr;
    {
        MessageWindow doomed;
        gone = doomed.handle;
    }
    std::thread worker(runFeedWorker, gone, std::cref(shuttingDown), std::vector<FeedEndpoint>{});
    worker.join();
    EXPECT_EQ(waitForOutcome(window.handle, 0), nullptr);
}

TEST(FeedEndpoints, AreNasaThenNoaaOnTheHttpsPort)
{
    const std::vector<FeedEndpoint> endpoints = officialFeedEndpoints();
    ASSERT_EQ(endpoints.size(), 2u);
    EXPECT_EQ(endpoints[0].host, L"www.nasa.gov");
    EXPECT_EQ(endpoints[0].path, L"/news-release/feed/");
    EXPECT_EQ(endpoints[0].sourceLabel, "NASA");
    EXPECT_EQ(endpoints[1].host, L"www.noaa.gov");
    EXPECT_EQ(endpoints[1].path, L"/rss.xml");
    EXPECT_EQ(endpoints[1].sourceLabel, "NOAA");
    for (const FeedEndpoint& e : endpoints) {
        EXPECT_EQ(e.options.port, 443);
        EXPECT_EQ(e.options.bodyDeadlineMs, 45000u);
        // Both hosts must pass the same policy as the stories' own links.
        EXPECT_TRUE(isAllowedSourceUrl("https://" + std::string(e.host.begin(), e.host.end()) + "/"));
    }
}

}  // namespace
