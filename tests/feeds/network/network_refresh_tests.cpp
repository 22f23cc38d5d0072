// Applying a worker's outcome on the window thread (status line, error style, event, lastCheck,
// balloon) and the hourly schedule.
#include "network_support.h"

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t NOW = 1718186400;          // 2024-06-12 10:00:00 UTC
constexpr std::int64_t EARLIER_CHECK = 1718100000;

Story feedStory(const std::string& slug, std::int64_t published)
{
    Story story;
    story.url = "https://www.nasa.gov/news/" + slug + "/";
    story.id = storyIdFromUrl(story.url);
    story.title = "Story " + slug;
    story.body = "Body of " + slug + ".";
    story.source = "NASA";
    story.published = published;
    return story;
}

RefreshOutcome outcomeOf(std::int32_t okSources, std::vector<Story> stories)
{
    RefreshOutcome outcome;
    outcome.okSources = okSources;
    outcome.stories = std::move(stories);
    return outcome;
}

class ApplyOutcomeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousLanguage = currentUiLanguage;
        currentUiLanguage = UiLanguage::English;
        library.settings.lastCheck = EARLIER_CHECK;
        library.settings.notifications = true;
    }
    void TearDown() override { currentUiLanguage = previousLanguage; }

    static std::vector<Story> threeNew()
    {
        return {feedStory("a", NOW - 100), feedStory("b", NOW - 200), feedStory("c", NOW - 300)};
    }

    Library library;
    UiLanguage previousLanguage = UiLanguage::English;
};

TEST_F(ApplyOutcomeTest, BothSourcesWithThreeNewReportsCountWithoutErrorAndSetsLastCheck)
{
    const RefreshReport report = applyRefreshOutcome(library, outcomeOf(2, threeNew()), NOW, true);
    EXPECT_EQ(report.newStories, 3);
    EXPECT_EQ(report.statusKey, UiStringKey::BothSourcesChecked);
    EXPECT_EQ(report.statusText, L"Both sources checked. New stories: 3");
    EXPECT_FALSE(report.statusIsError);
    EXPECT_STREQ(report.activityEvent, "FEEDS_OK");
    EXPECT_TRUE(report.showBalloon);
    EXPECT_EQ(library.settings.lastCheck, NOW);
    EXPECT_EQ(library.stories.size(), 3u);
}

TEST_F(ApplyOutcomeTest, BalloonNeedsNotificationsOn)
{
    library.settings.notifications = false;
    EXPECT_FALSE(applyRefreshOutcome(library, outcomeOf(2, threeNew()), NOW, true).showBalloon);
}

TEST_F(ApplyOutcomeTest, BalloonNeedsTrayIcon)
{
    EXPECT_FALSE(applyRefreshOutcome(library, outcomeOf(2, threeNew()), NOW, false).showBalloon);
}

TEST_F(ApplyOutcomeTest, OneSourceIsPartialInErrorStyleAndSetsLastCheck)
{
    const RefreshReport report = applyRefreshOutcome(library, outcomeOf(1, {feedStory("a", NOW)}), NOW, true);
    EXPECT_EQ(report.statusKey, UiStringKey::OneSourceUnavailable);
    EXPECT_EQ(report.statusText, L"One source unavailable; available stories were retained. New stories: 1");
    EXPECT_TRUE(report.statusIsError);
    EXPECT_STREQ(report.activityEvent, "FEEDS_PARTIAL");
    EXPECT_TRUE(report.showBalloon);
    EXPECT_EQ(library.settings.lastCheck, NOW);
}

TEST_F(ApplyOutcomeTest, NoSourceIsFailedWithoutCountAndKeepsLastCheck)
{
    const RefreshReport report = applyRefreshOutcome(library, outcomeOf(0, {}), NOW, true);
    EXPECT_EQ(report.newStories, 0);
    EXPECT_EQ(report.statusKey, UiStringKey::SourcesUnavailable);
    EXPECT_EQ(report.statusText, L"Sources unavailable. Check your connection and retry; local stories are safe.");
    EXPECT_TRUE(report.statusIsError);
    EXPECT_STREQ(report.activityEvent, "FEEDS_FAILED");
    EXPECT_FALSE(report.showBalloon);
    EXPECT_EQ(library.settings.lastCheck, EARLIER_CHECK);
}

TEST_F(ApplyOutcomeTest, FailedRefreshStillPutsListInDisplayOrderAndLosesNothing)
{
    Story note = feedStory("field", 0);
    note.source = std::string(FIELD_NOTE_SOURCE);
    library.stories = {note, feedStory("kept", NOW - 5000)};
    applyRefreshOutcome(library, outcomeOf(0, {}), NOW, true);
    ASSERT_EQ(library.stories.size(), 2u);
    EXPECT_EQ(library.stories[0].title, "Story kept");
    EXPECT_EQ(library.stories[1].title, "Story field");
}

TEST_F(ApplyOutcomeTest, NoNewStoriesShowsZeroAndNoBalloon)
{
    library.stories = threeNew();
    const RefreshReport report = applyRefreshOutcome(library, outcomeOf(2, threeNew()), NOW, true);
    EXPECT_EQ(report.newStories, 0);
    EXPECT_EQ(report.statusText, L"Both sources checked. New stories: 0");
    EXPECT_FALSE(report.showBalloon);
    EXPECT_EQ(library.settings.lastCheck, NOW);
}

TEST_F(ApplyOutcomeTest, CountIsWrittenInDecimalWithAllDigits)
{
    std::vector<Story> many;
    for (int i = 0; i < 12; ++i)
        many.push_back(feedStory("s" + std::to_string(i), NOW - i));
    EXPECT_EQ(applyRefreshOutcome(library, outcomeOf(2, many), NOW, true).statusText,
              L"Both sources checked. New stories: 12");
}

TEST_F(ApplyOutcomeTest, StatusFollowsInterfaceLanguage)
{
    currentUiLanguage = UiLanguage::German;
    EXPECT_EQ(applyRefreshOutcome(library, outcomeOf(2, threeNew()), NOW, true).statusText,
              L"Beide Quellen gepr\u00fcft. Neue Berichte: 3");
}

struct AutoCheckCase {
    const char* name;
    bool automatic;
    bool refreshing;
    std::int64_t now;
    bool due;
};

class AutoCheckTest : public ::testing::TestWithParam<AutoCheckCase> {};

constexpr std::int64_t NEXT_CHECK = NOW + 3600;

TEST_P(AutoCheckTest, DueOnlyWhenOnIdleAndAtOrPastTheHour)
{
    const AutoCheckCase& c = GetParam();
    LibrarySettings settings;
    settings.automatic = c.automatic;
    EXPECT_EQ(isAutoCheckDue(settings, c.refreshing, c.now, NEXT_CHECK), c.due);
}

INSTANTIATE_TEST_SUITE_P(
    Schedule, AutoCheckTest,
    ::testing::Values(AutoCheckCase{"LessThanAnHour", true, false, NOW + 3599, false},
                      AutoCheckCase{"AtTheHour", true, false, NOW + 3600, true},
                      AutoCheckCase{"PastTheHour", true, false, NOW + 7300, true},
                      AutoCheckCase{"WhileRefreshing", true, true, NOW + 3600, false},
                      AutoCheckCase{"SwitchedOff", false, false, NOW + 3600, false}),
    [](const ::testing::TestParamInfo<AutoCheckCase>& info) { return std::string(info.param.name); });

}  // namespace
