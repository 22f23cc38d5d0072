// The window thread's side of a refresh: what an outcome message does to the library, the file,
// the status line, the log and the Refresh button, and when the hourly tick starts nothing.
#include "live_window.h"

#include "feeds/feeds.h"

namespace {

class Refresh : public LiveWindow {
protected:
    // Stories as the reader hands them over: official, dated, with their identity.
    static std::vector<Story> fetched(int count)
    {
        Library scratch;
        for (int i = 0; i < count; ++i)
            makeSeedStory(scratch, "Fetched story " + std::to_string(i), "Body of a fetched story.",
                          "https://www.nasa.gov/news-release/fetched-" + std::to_string(i) + "/", -1, "NASA",
                          1760000000 + i);
        return scratch.stories;
    }

    void deliver(std::int32_t okSources, int newStories)
    {
        auto outcome = std::make_unique<RefreshOutcome>();
        outcome->okSources = okSources;
        outcome->stories = fetched(newStories);
        SendMessageW(app().mainWindow, WM_APP_FEEDS_DONE, 0, reinterpret_cast<LPARAM>(outcome.release()));
    }

    void beginRunning()
    {
        app().refreshInProgress = true;
        layoutControls(app(), library());
    }
};

}  // namespace

TEST_F(Refresh, RunningRefreshDisablesTheButtonAndRelabelsIt)
{
    beginRunning();
    EXPECT_FALSE(IsWindowEnabled(control(ID_REFRESH)));
    EXPECT_EQ(textOf(control(ID_REFRESH)), UiText(UiStringKey::ReceivingStories));
}

TEST_F(Refresh, BothSourcesAnsweringReportsTheNewStoriesAndSaves)
{
    beginRunning();
    const std::int64_t before = currentUnixSeconds();
    deliver(2, 3);

    EXPECT_FALSE(app().refreshInProgress);
    EXPECT_EQ(app().statusText, std::wstring(UiText(UiStringKey::BothSourcesChecked)) + L"3");
    EXPECT_FALSE(app().statusIsError);
    EXPECT_NE(activityLog().find(" FEEDS_OK"), std::string::npos);
    EXPECT_TRUE(IsWindowEnabled(control(ID_REFRESH)));
    EXPECT_EQ(textOf(control(ID_REFRESH)), UiText(UiStringKey::RefreshSources));
    const Library saved = readLibraryFile(app().libraryPath);
    EXPECT_EQ(saved.stories.size(), 7u);
    EXPECT_GE(saved.settings.lastCheck, before);
    EXPECT_FALSE(app().unsavedChanges);
}

TEST_F(Refresh, OneSourceMissingIsReportedInTheErrorStyle)
{
    beginRunning();
    deliver(1, 0);
    EXPECT_EQ(app().statusText, std::wstring(UiText(UiStringKey::OneSourceUnavailable)) + L"0");
    EXPECT_TRUE(app().statusIsError);
    EXPECT_NE(activityLog().find(" FEEDS_PARTIAL"), std::string::npos);
}

TEST_F(Refresh, NoSourceLeavesTheLastCheckAndTheStoriesAlone)
{
    library().settings.lastCheck = 1234;
    ASSERT_TRUE(storeLibrary(library(), app().libraryPath));
    beginRunning();
    deliver(0, 0);
    EXPECT_EQ(app().statusText, UiText(UiStringKey::SourcesUnavailable));
    EXPECT_TRUE(app().statusIsError);
    EXPECT_NE(activityLog().find(" FEEDS_FAILED"), std::string::npos);
    const Library saved = readLibraryFile(app().libraryPath);
    EXPECT_EQ(saved.settings.lastCheck, 1234);
    EXPECT_EQ(saved.stories.size(), 4u);
}

TEST_F(Refresh, FailedSaveAfterARefreshKeepsTheSaveFailureInView)
{
    beginRunning();
    {
        FileLock lock(app().libraryPath);
        deliver(2, 2);
    }
    EXPECT_FALSE(app().refreshInProgress);
    EXPECT_TRUE(app().unsavedChanges);
    EXPECT_EQ(app().statusText, UiText(UiStringKey::SaveFailed));
    EXPECT_TRUE(app().statusIsError);
    EXPECT_TRUE(IsWindowVisible(control(ID_RETRY_SAVE)));
    const std::string log = activityLog();
    EXPECT_NE(log.find(" SAVE_FAILED"), std::string::npos);
    EXPECT_NE(log.find(" FEEDS_OK"), std::string::npos) << "the outcome is logged whether or not the save worked";
    EXPECT_EQ(library().stories.size(), 6u) << "the fetched stories stay in memory";
}

TEST_F(Refresh, NoteTypedJustBeforeTheOutcomeSurvivesTheEvictionItWouldSuffer)
{
    // A full list of disposable stories: the merge makes room by evicting the oldest, the one being
    // annotated, less than the note timer's delay after the last key.
    library().stories = fetched(static_cast<int>(MERGE_STORY_LIMIT));
    sortStories(library().stories);
    ASSERT_TRUE(storeLibrary(library(), app().libraryPath));
    const std::string oldest = library().stories.back().id;
    selectStory(app(), library(), oldest);
    SetWindowTextW(control(ID_NOTE), L"Seen from the pier at dusk");

    beginRunning();
    auto outcome = std::make_unique<RefreshOutcome>();
    outcome->okSources = 2;
    outcome->stories = fetched(static_cast<int>(MERGE_STORY_LIMIT) + 1);
    outcome->stories.erase(outcome->stories.begin(), outcome->stories.end() - 1);
    SendMessageW(app().mainWindow, WM_APP_FEEDS_DONE, 0, reinterpret_cast<LPARAM>(outcome.release()));

    const Library saved = readLibraryFile(app().libraryPath);
    const Story* kept = findStory(saved, oldest);
    ASSERT_NE(kept, nullptr) << "the annotated story was evicted";
    EXPECT_EQ(kept->note, "Seen from the pier at dusk");
    EXPECT_EQ(app().selectedStoryId, oldest);
    EXPECT_EQ(textOf(control(ID_NOTE)), L"Seen from the pier at dusk");
}

TEST_F(Refresh, QuittingCancelsTheFetchAndLeavesAWorkerStuckInTheNetworkBehind)
{
    // One worker ends when its fetch is cancelled, as on Windows; one stays in its network call.
    for (const bool endsOnCancel : {true, false}) {
        auto link = std::make_shared<FeedWorkerLink>();
        HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        app().feedLink = link;
        app().feedWorker = std::thread([link, release, endsOnCancel] {
            while (!link->cancel.cancelled() || !endsOnCancel) {
                if (WaitForSingleObject(release, 10) == WAIT_OBJECT_0)
                    break;
            }
            link->finished.store(true);
        });
        const ULONGLONG start = GetTickCount64();
        EXPECT_EQ(stopFeedWorker(app(), 400), endsOnCancel);
        EXPECT_LT(GetTickCount64() - start, 2000u);
        EXPECT_TRUE(link->stopping.load());
        EXPECT_FALSE(app().feedWorker.joinable());

        // An outcome that still arrives once quitting began is dropped, not merged.
        deliver(2, 3);
        EXPECT_EQ(library().stories.size(), 4u);
        SetEvent(release);
        while (!link->finished.load())
            Sleep(5);
        CloseHandle(release);
        app().shuttingDown.store(false);
        app().feedLink.reset();
    }
}

TEST_F(Refresh, WorkerWhoseOutcomeCouldNotBePostedEndsTheRefreshAtTheNextTick)
{
    beginRunning();
    app().feedLink = std::make_shared<FeedWorkerLink>();
    refreshTick(app(), library());
    EXPECT_TRUE(app().refreshInProgress) << "the worker is still running";
    app().feedLink->finished.store(true);
    refreshTick(app(), library());
    EXPECT_FALSE(app().refreshInProgress);
    EXPECT_TRUE(app().statusIsError);
    EXPECT_EQ(app().statusText, UiText(UiStringKey::SourcesUnavailable));
    EXPECT_TRUE(IsWindowEnabled(control(ID_REFRESH)));
    app().feedLink.reset();
}

TEST_F(Refresh, SecondStartWhileOneRunsIsIgnored)
{
    beginRunning();
    setStatus(app(), L"unchanged", false);
    press(VK_F5);
    dispatchCommand(*session, ID_REFRESH);
    EXPECT_EQ(app().statusText, L"unchanged");
    EXPECT_FALSE(app().feedWorker.joinable()) << "no worker was started";
}

TEST_F(Refresh, TickBeforeTheHourStartsNothing)
{
    library().settings.automatic = true;
    const std::int64_t next = currentUnixSeconds() + 600;
    app().nextAutoCheck = next;
    SendMessageW(app().mainWindow, WM_TIMER, TIMER_TICK, 0);
    EXPECT_FALSE(app().refreshInProgress);
    EXPECT_EQ(app().nextAutoCheck, next);
}

TEST_F(Refresh, TickDuringARunningRefreshLeavesTheScheduleAlone)
{
    library().settings.automatic = true;
    const std::int64_t next = currentUnixSeconds() - 10;
    app().nextAutoCheck = next;
    beginRunning();
    SendMessageW(app().mainWindow, WM_TIMER, TIMER_TICK, 0);
    EXPECT_EQ(app().nextAutoCheck, next);
    EXPECT_FALSE(app().feedWorker.joinable());
}
