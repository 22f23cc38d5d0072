// Merging fetched stories: what the user kept stays untouched, unkept stories are refreshed, new ones
// are counted, the 500-story room is made from the end of the list, and the Discover order follows.
#include "feeds/feeds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

Story feedStory(const std::string& path, const std::string& title, std::int64_t published)
{
    Story story;
    story.url = "https://www.nasa.gov/" + path;
    story.id = storyIdFromUrl(story.url);
    story.title = title;
    story.body = title + " body";
    story.source = "NASA";
    story.published = published;
    return story;
}

Story fieldNote(const std::string& path, const std::string& title)
{
    Story story = feedStory(path, title, 0);
    story.source = std::string(FIELD_NOTE_SOURCE);
    story.note = "Observed at dawn.";
    return story;
}

bool holds(const std::vector<Story>& stories, const std::string& id)
{
    return std::any_of(stories.begin(), stories.end(), [&](const Story& s) { return s.id == id; });
}

std::vector<std::string> titlesOf(const std::vector<Story>& stories)
{
    std::vector<std::string> titles;
    for (const Story& s : stories)
        titles.push_back(s.title);
    return titles;
}

// 500 stories none of which may be evicted: pinned, annotated, image and field-note stories.
std::vector<Story> fullLibraryOfKeptStories()
{
    std::vector<Story> stories;
    for (int i = 0; i < 500; ++i) {
        Story story = feedStory("kept/" + std::to_string(i), "Kept " + std::to_string(i), 1000 + i);
        switch (i % 4) {
        case 0: story.saved = true; break;
        case 1: story.note = "Mine"; break;
        case 2: story.asset = i % 8 == 2 ? 0 : 1; break;
        default: story.source = std::string(FIELD_NOTE_SOURCE); break;
        }
        stories.push_back(story);
    }
    return stories;
}

}  // namespace

TEST(StoryMerge, ClassifiesDisposableStories)
{
    struct DisposableCase {
        const char* name;
        Story story;
        bool disposable;
    };
    Story plain = feedStory("plain", "Plain", 10);
    Story saved = plain, annotated = plain, image0 = plain, image1 = plain, note = plain, lookalike = plain,
          emptySource = plain;
    saved.saved = true;
    annotated.note = "x";
    image0.asset = 0;
    image1.asset = 1;
    note.source = std::string(FIELD_NOTE_SOURCE);
    lookalike.source = "kestrune field note";
    emptySource.source = "";
    const DisposableCase cases[] = {
        {"plain feed story", plain, true},       {"pinned", saved, false},
        {"annotated", annotated, false},         {"first plate", image0, false},
        {"second plate", image1, false},         {"field note", note, false},
        {"label differing in case", lookalike, true}, {"empty source", emptySource, true},
    };
    for (const DisposableCase& c : cases)
        EXPECT_EQ(isDisposableStory(c.story), c.disposable) << c.name;
}

TEST(StoryMerge, LeavesPinnedStoryUntouched)
{
    Story stored = feedStory("pinned", "Old headline", 100);
    stored.saved = true;
    stored.note = "Keep this.";
    stored.x = 99;
    std::vector<Story> stories = {stored};
    Story fetched = feedStory("pinned", "A new headline", 200);
    EXPECT_EQ(mergeFetchedStories(stories, {fetched}), 0);
    ASSERT_EQ(stories.size(), 1u);
    EXPECT_EQ(stories[0], stored);
}

TEST(StoryMerge, LeavesImageStoryUntouched)
{
    Story stored = feedStory("plate", "Plate", 0);
    stored.asset = 1;
    stored.source = "NASA / Webb";
    std::vector<Story> stories = {stored};
    EXPECT_EQ(mergeFetchedStories(stories, {feedStory("plate", "Replaced", 300)}), 0);
    EXPECT_EQ(stories[0], stored);
}

TEST(StoryMerge, LeavesUnpinnedFieldNoteUntouched)
{
    // A field note citing the page a feed item links to has that item's id.
    const Story stored = fieldNote("news/expedition", "My own wording");
    ASSERT_FALSE(stored.saved);
    std::vector<Story> stories = {stored};
    EXPECT_EQ(mergeFetchedStories(stories, {feedStory("news/expedition", "Feed wording", 700)}), 0);
    ASSERT_EQ(stories.size(), 1u);
    EXPECT_EQ(stories[0].title, "My own wording");
    EXPECT_EQ(stories[0].body, "My own wording body");
    EXPECT_EQ(stories[0].published, 0);
    EXPECT_EQ(stories[0], stored);
}

TEST(StoryMerge, RefreshesUnkeptStoryButKeepsWhatTheUserOwns)
{
    Story stored = feedStory("unkept", "Old", 100);
    stored.note = "My note";
    stored.x = 12;
    stored.y = 34;
    stored.source = "NOAA";
    std::vector<Story> stories = {stored};
    Story fetched = feedStory("unkept", "New", 500);
    fetched.body = "New body";
    fetched.source = "NASA";
    EXPECT_EQ(mergeFetchedStories(stories, {fetched}), 0);
    ASSERT_EQ(stories.size(), 1u);
    EXPECT_EQ(stories[0].title, "New");
    EXPECT_EQ(stories[0].body, "New body");
    EXPECT_EQ(stories[0].published, 500);
    EXPECT_EQ(stories[0].note, "My note");
    EXPECT_EQ(stories[0].x, 12.0);
    EXPECT_EQ(stories[0].y, 34.0);
    EXPECT_FALSE(stories[0].saved);
    EXPECT_EQ(stories[0].source, "NOAA");
    EXPECT_EQ(stories[0].url, stored.url);
}

TEST(StoryMerge, CountsANewStoryOnlyOnce)
{
    std::vector<Story> stories = {feedStory("old", "Old", 100)};
    const Story fresh = feedStory("fresh", "Fresh", 200);
    EXPECT_EQ(mergeFetchedStories(stories, {fresh}), 1);
    EXPECT_EQ(mergeFetchedStories(stories, {fresh}), 0);
    EXPECT_EQ(titlesOf(stories), (std::vector<std::string>{"Fresh", "Old"}));
}

TEST(StoryMerge, SecondCopyInOneBatchUpdatesTheJustAddedStory)
{
    std::vector<Story> stories;
    const Story first = feedStory("twice", "First wording", 100);
    const Story second = feedStory("twice", "Second wording", 150);
    EXPECT_EQ(mergeFetchedStories(stories, {first, second}), 1);
    ASSERT_EQ(stories.size(), 1u);
    EXPECT_EQ(stories[0].title, "Second wording");
    EXPECT_EQ(stories[0].published, 150);
}

TEST(StoryMerge, FullLibraryOfKeptStoriesDropsNewOnes)
{
    std::vector<Story> stories = fullLibraryOfKeptStories();
    std::vector<Story> expected = stories;
    sortStories(expected);
    const std::vector<Story> fetched = {feedStory("new/1", "New 1", 5000), feedStory("new/2", "New 2", 6000)};
    EXPECT_EQ(mergeFetchedStories(stories, fetched), 0);
    EXPECT_EQ(stories, expected);
}

TEST(StoryMerge, EvictsTheDisposableStoryNearestTheEnd)
{
    std::vector<Story> stories = fullLibraryOfKeptStories();
    const Story early = feedStory("disposable/early", "Early disposable", 1);
    const Story late = feedStory("disposable/late", "Late disposable", 2);
    stories[10] = early;
    stories[400] = late;
    const Story fresh = feedStory("new", "New", 9000);
    EXPECT_EQ(mergeFetchedStories(stories, {fresh}), 1);
    EXPECT_EQ(stories.size(), 500u);
    EXPECT_TRUE(holds(stories, fresh.id));
    EXPECT_TRUE(holds(stories, early.id));
    EXPECT_FALSE(holds(stories, late.id));
    EXPECT_EQ(stories.front().id, fresh.id);
}

TEST(StoryMerge, EachAdditionFromFiveHundredEvictsOneMore)
{
    std::vector<Story> stories = fullLibraryOfKeptStories();
    const Story early = feedStory("disposable/early", "Early disposable", 1);
    const Story late = feedStory("disposable/late", "Late disposable", 2);
    stories[10] = early;
    stories[400] = late;
    const Story fresh1 = feedStory("new/1", "New 1", 9000), fresh2 = feedStory("new/2", "New 2", 9100);
    EXPECT_EQ(mergeFetchedStories(stories, {fresh1, fresh2}), 2);
    EXPECT_EQ(stories.size(), 500u);
    EXPECT_FALSE(holds(stories, early.id));
    EXPECT_FALSE(holds(stories, late.id));
    EXPECT_TRUE(holds(stories, fresh1.id));
    EXPECT_TRUE(holds(stories, fresh2.id));
}

TEST(StoryMerge, GrowsUpToFiveHundredThenKeepsItsSize)
{
    std::vector<Story> stories;
    for (int i = 0; i < 499; ++i)
        stories.push_back(feedStory("s/" + std::to_string(i), "S", 1000 - i));
    std::vector<Story> fetched;
    for (int i = 0; i < 3; ++i)
        fetched.push_back(feedStory("n/" + std::to_string(i), "N", 5000 + i));
    EXPECT_EQ(mergeFetchedStories(stories, fetched), 3);
    EXPECT_EQ(stories.size(), 500u);
    // The first addition fits; the next two each evicted the story then at the end of the list.
    EXPECT_FALSE(holds(stories, storyIdFromUrl("https://www.nasa.gov/s/498")));
    EXPECT_FALSE(holds(stories, storyIdFromUrl("https://www.nasa.gov/s/497")));
    EXPECT_TRUE(holds(stories, storyIdFromUrl("https://www.nasa.gov/s/496")));
    EXPECT_TRUE(holds(stories, storyIdFromUrl("https://www.nasa.gov/s/0")));
}

TEST(StoryMerge, LibraryAboveFiveHundredNeverGrows)
{
    std::vector<Story> stories;
    for (int i = 0; i < 520; ++i)
        stories.push_back(feedStory("s/" + std::to_string(i), "S", 1000 - i));
    EXPECT_EQ(mergeFetchedStories(stories, {feedStory("n", "N", 5000)}), 1);
    EXPECT_EQ(stories.size(), 520u);
    EXPECT_FALSE(holds(stories, storyIdFromUrl("https://www.nasa.gov/s/519")));
}

TEST(StoryMerge, SortsFeedStoriesNewestFirstAboveLocalStories)
{
    Story plate = feedStory("plate", "Plate", 0);
    plate.asset = 0;
    plate.source = "NASA / Webb";
    std::vector<Story> stories = {fieldNote("note", "Field note"), plate, feedStory("a", "Older", 100),
                                  feedStory("b", "Same date first", 300), feedStory("c", "Same date second", 300)};
    const Story fresh = feedStory("d", "Newest", 400);
    EXPECT_EQ(mergeFetchedStories(stories, {fresh, feedStory("e", "Undated", 0)}), 2);
    EXPECT_EQ(titlesOf(stories), (std::vector<std::string>{"Newest", "Same date first", "Same date second", "Older",
                                                           "Undated", "Field note", "Plate"}));
}

TEST(StoryMerge, EmptyBatchStillRestoresDisplayOrder)
{
    std::vector<Story> stories = {fieldNote("note", "Field note"), feedStory("a", "Old", 1),
                                  feedStory("b", "New", 2)};
    EXPECT_EQ(mergeFetchedStories(stories, {}), 0);
    EXPECT_EQ(titlesOf(stories), (std::vector<std::string>{"New", "Old", "Field note"}));
}
