// Story identity, order, pins and links: the rules every later part of the program leans on.
#include "model/model.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Story storyAt(const std::string& url, std::string source = "NASA", std::int64_t published = 0, std::int32_t asset = -1)
{
    Story story;
    story.id = storyIdFromUrl(url);
    story.title = "Title of " + url;
    story.url = url;
    story.source = std::move(source);
    story.published = published;
    story.asset = asset;
    return story;
}

Library libraryOf(int count, bool pinned)
{
    Library library;
    for (int i = 0; i < count; ++i) {
        library.stories.push_back(storyAt("https://www.nasa.gov/story-" + std::to_string(i)));
        library.stories.back().saved = pinned;
    }
    return library;
}

}  // namespace

TEST(StoryIdentity, IsFnv1aOfTheUrlBytesWithLeadingZerosKept)
{
    EXPECT_EQ(storyIdFromUrl(""), "cbf29ce484222325");
    EXPECT_EQ(storyIdFromUrl("a"), "af63dc4c8601ec8c");
    EXPECT_EQ(storyIdFromUrl("aa"), "089c4307b54596b7");
    EXPECT_EQ(storyIdFromUrl("https://www.nasa.gov/a"), storyIdFromUrl("https://www.nasa.gov/a"));
    EXPECT_NE(storyIdFromUrl("https://www.nasa.gov/a"), storyIdFromUrl("https://www.nasa.gov/A"));
}

TEST(StoryLookup, FindsOnlyAnExactIdOfTheSameLength)
{
    Library library = libraryOf(2, false);
    const std::string id = library.stories[1].id;
    ASSERT_NE(findStory(library, id), nullptr);
    EXPECT_EQ(findStory(library, id)->url, "https://www.nasa.gov/story-1");
    EXPECT_EQ(findStory(library, id.substr(0, 15)), nullptr);
    EXPECT_EQ(findStory(library, id + "0"), nullptr);
    EXPECT_EQ(findStory(library, ""), nullptr);
}

TEST(StoryOrder, PutsOfficialStoriesNewestFirstThenLocalOnesInTheirOldOrder)
{
    std::vector<Story> stories = {
        storyAt("https://www.nasa.gov/note", std::string(FIELD_NOTE_SOURCE)),
        storyAt("https://www.nasa.gov/old", "NASA", 100),
        storyAt("https://svs.gsfc.nasa.gov/plate", "NASA / Webb", 0, 0),
        storyAt("https://www.noaa.gov/new", "NOAA", 200),
    };
    sortStories(stories);
    ASSERT_EQ(stories.size(), 4u);
    EXPECT_EQ(stories[0].published, 200);
    EXPECT_EQ(stories[1].published, 100);
    EXPECT_EQ(stories[2].source, FIELD_NOTE_SOURCE);
    EXPECT_EQ(stories[3].asset, 0);
}

TEST(StoryOrder, KeepsEqualDatesInTheirPreviousOrder)
{
    std::vector<Story> stories;
    for (int i = 0; i < 40; ++i)
        stories.push_back(storyAt("https://www.nasa.gov/same-" + std::to_string(i), "NASA", i % 2 == 0 ? 50 : 70));
    sortStories(stories);
    int lastEven = -1, lastOdd = -1;
    for (std::size_t i = 0; i < stories.size(); ++i) {
        const int number = std::stoi(stories[i].url.substr(std::string("https://www.nasa.gov/same-").size()));
        EXPECT_EQ(stories[i].published, i < 20 ? 70 : 50);
        int& last = number % 2 == 0 ? lastEven : lastOdd;
        EXPECT_GT(number, last) << "order among equal dates changed";
        last = number;
    }
}

TEST(StoryOrder, ClassifiesLocalStoriesByAssetOrExactFieldNoteLabel)
{
    EXPECT_TRUE(isLocalStory(storyAt("https://www.nasa.gov/p", "NASA", 5, 0)));
    EXPECT_TRUE(isLocalStory(storyAt("https://www.nasa.gov/p", "NOAA", 5, 1)));
    EXPECT_TRUE(isLocalStory(storyAt("https://www.nasa.gov/n", std::string(FIELD_NOTE_SOURCE))));
    EXPECT_FALSE(isLocalStory(storyAt("https://www.nasa.gov/n", "kestrune field note")));
    EXPECT_FALSE(isLocalStory(storyAt("https://www.nasa.gov/n", "Kestrune field note ")));
    EXPECT_FALSE(storyOrder(storyAt("https://a.nasa.gov", std::string(FIELD_NOTE_SOURCE)),
                            storyAt("https://b.nasa.gov", "NASA / Webb", 0, 1)));
}

TEST(BoardLinks, RefusesLinksBetweenUnpinnedStories)
{
    Library library = libraryOf(2, false);
    EXPECT_FALSE(addLink(library, library.stories[0].id, library.stories[1].id, 1));
    library.stories[0].saved = true;
    EXPECT_FALSE(addLink(library, library.stories[0].id, library.stories[1].id, 1));
    EXPECT_TRUE(library.links.empty());
}

TEST(BoardLinks, StoresEachPairOnceInByteOrderAndReKindsIt)
{
    Library library = libraryOf(2, true);
    const std::string first = library.stories[0].id, second = library.stories[1].id;
    const std::string low = std::min(first, second), high = std::max(first, second);

    ASSERT_TRUE(addLink(library, high, low, static_cast<std::int32_t>(LinkKind::Evidence)));
    ASSERT_EQ(library.links.size(), 1u);
    EXPECT_EQ(library.links[0], (Link{low, high, 1}));

    ASSERT_TRUE(addLink(library, low, high, static_cast<std::int32_t>(LinkKind::Question)));
    ASSERT_EQ(library.links.size(), 1u);
    EXPECT_EQ(library.links[0].kind, 2);
}

TEST(BoardLinks, RefusesSelfLinksBadKindsAndMissingStories)
{
    Library library = libraryOf(2, true);
    const std::string first = library.stories[0].id, second = library.stories[1].id;
    EXPECT_FALSE(addLink(library, first, first, 0));
    EXPECT_FALSE(addLink(library, first, second, 8));
    EXPECT_FALSE(addLink(library, first, second, 3));
    EXPECT_FALSE(addLink(library, first, second, -1));
    EXPECT_FALSE(addLink(library, first, "0000000000000000", 0));
    EXPECT_TRUE(library.links.empty());
}

TEST(BoardLinks, The2001stPairIsRefusedButExistingPairsCanStillBeReKinded)
{
    Library library = libraryOf(65, true);  // 65 * 64 / 2 = 2080 possible pairs
    std::size_t added = 0;
    for (std::size_t i = 0; i < library.stories.size() && added < MAX_LINKS; ++i)
        for (std::size_t j = i + 1; j < library.stories.size() && added < MAX_LINKS; ++j)
            if (addLink(library, library.stories[i].id, library.stories[j].id, 0))
                ++added;
    ASSERT_EQ(library.links.size(), MAX_LINKS);

    const Library before = library;
    EXPECT_FALSE(addLink(library, library.stories[63].id, library.stories[64].id, 0));
    EXPECT_EQ(library, before);

    EXPECT_TRUE(addLink(library, library.stories[0].id, library.stories[1].id, 2));
    EXPECT_EQ(library.links.size(), MAX_LINKS);
    EXPECT_EQ(library.links[0].kind, 2);
}

TEST(BoardLinks, PruneKeepsValidLinksInOrderAndDropsBrokenOnes)
{
    Library library = libraryOf(4, true);
    const auto id = [&](int i) { return library.stories[i].id; };
    ASSERT_TRUE(addLink(library, id(0), id(1), 0));
    ASSERT_TRUE(addLink(library, id(1), id(2), 1));
    ASSERT_TRUE(addLink(library, id(2), id(3), 2));
    ASSERT_TRUE(addLink(library, id(0), id(3), 0));
    const Link kept1 = library.links[1], kept2 = library.links[2];
    library.links.push_back(Link{"0", "1", 0});  // names no story

    library.stories[0].saved = false;
    EXPECT_EQ(pruneLinks(library), 3u);
    ASSERT_EQ(library.links.size(), 2u);
    EXPECT_EQ(library.links[0], kept1);
    EXPECT_EQ(library.links[1], kept2);
}

TEST(BoardLinks, RemoveLinksOfTouchesOnlyThatStory)
{
    Library library = libraryOf(3, true);
    const auto id = [&](int i) { return library.stories[i].id; };
    ASSERT_TRUE(addLink(library, id(0), id(1), 0));
    ASSERT_TRUE(addLink(library, id(1), id(2), 0));
    removeLinksOf(library, id(0));
    ASSERT_EQ(library.links.size(), 1u);
    removeLinksOf(library, id(0));  // a story without links: nothing happens
    EXPECT_EQ(library.links.size(), 1u);
}

TEST(BoardPins, PinningPlacesCardsOnTheThreeColumnGrid)
{
    Library library = libraryOf(6, false);
    const BoardPoint expected[] = {{0, 0}, {335, 0}, {670, 0}, {0, 170}, {335, 170}, {670, 170}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_TRUE(togglePin(library, library.stories[i]));
        EXPECT_EQ(library.stories[i].x, expected[i].x) << i;
        EXPECT_EQ(library.stories[i].y, expected[i].y) << i;
    }
}

TEST(BoardPins, UnpinningKeepsCoordinatesAndDropsTheStorysLinks)
{
    Library library = libraryOf(3, false);
    for (Story& story : library.stories)
        togglePin(library, story);
    ASSERT_TRUE(addLink(library, library.stories[0].id, library.stories[2].id, 1));
    ASSERT_TRUE(addLink(library, library.stories[1].id, library.stories[2].id, 1));

    EXPECT_FALSE(togglePin(library, library.stories[2]));
    EXPECT_EQ(library.stories[2].x, 670);
    EXPECT_EQ(library.stories[2].y, 0);
    EXPECT_TRUE(library.links.empty());

    // No search for a free slot: the next pin counts pinned cards and may land on an occupied slot.
    EXPECT_TRUE(togglePin(library, library.stories[2]));
    EXPECT_EQ(library.stories[2].x, 670);
    togglePin(library, library.stories[0]);
    EXPECT_TRUE(togglePin(library, library.stories[0]));
    EXPECT_EQ(library.stories[0].x, 670);
    EXPECT_EQ(library.stories[0].y, 0);
}

TEST(BoardPins, GridSlotFollowsTheCountOfPinnedCards)
{
    EXPECT_EQ(boardGridSlot(1).x, 0);
    EXPECT_EQ(boardGridSlot(4).y, 170);
    EXPECT_EQ(boardGridSlot(600).x, 670);
    EXPECT_EQ(boardGridSlot(600).y, 199 * 170);
}
