// The built-in seed collection: its stories, identities, sources and bodies.
#include "model/model.h"

#include <gtest/gtest.h>

#include <set>

namespace {

struct SeedRow {
    const char* title;
    const char* source;
    std::int32_t asset;
    std::string_view url;
    const char* id;  // FNV-1a of the URL, worked out independently
    const char* firstSentence;
};

const SeedRow SEEDS[] = {
    {"A stellar nursery, seen through dust", "NASA / Webb", 0, SEED_URL_PLATE_0, "771406aa481f997f",
     "Webb's infrared instruments reveal young stars along the edge of NGC 3324."},
    {"Two instruments, one evolving landscape", "NASA / Webb", 1, SEED_URL_PLATE_1, "3124d8a36fa4b343",
     "Near-infrared and mid-infrared observations show different features within the Cosmic Cliffs."},
    {"Ocean expeditions begin with a question", "Kestrune field note", -1, SEED_URL_OCEAN, "2bb48ab1ac7afd49",
     "Ocean exploration uses mapping, water sampling, and remotely operated vehicles to investigate places that "
     "remain poorly observed."},
    {"Following a robotic expedition to Mars", "Kestrune field note", -1, SEED_URL_MARS, "ceddf44ea43731fa",
     "NASA's Perseverance mission explores the geology of Jezero crater and collects carefully selected samples."},
};

TEST(SeedLibrary, HoldsTheFourStoriesOfTheTableInOrder)
{
    const Library library = buildSeedLibrary();
    ASSERT_EQ(library.stories.size(), 4u);
    EXPECT_TRUE(library.links.empty());
    EXPECT_EQ(library.settings, LibrarySettings{});
    for (std::size_t i = 0; i < 4; ++i) {
        const Story& story = library.stories[i];
        const SeedRow& row = SEEDS[i];
        EXPECT_EQ(story.title, row.title) << i;
        EXPECT_EQ(story.source, row.source) << i;
        EXPECT_EQ(story.asset, row.asset) << i;
        EXPECT_EQ(story.url, row.url) << i;
        EXPECT_EQ(story.id, row.id) << i;
        EXPECT_EQ(story.note, "") << i;
        EXPECT_EQ(story.published, 0) << i;
        EXPECT_FALSE(story.saved) << i;
        EXPECT_EQ(story.x, 0.0) << i;
        EXPECT_EQ(story.y, 0.0) << i;
    }
}

TEST(SeedLibrary, UrlsPassThePolicyAndIdsAreDistinctHashes)
{
    std::set<std::string> ids;
    for (const Story& story : buildSeedLibrary().stories) {
        EXPECT_TRUE(isAllowedSourceUrl(story.url)) << story.url;
        EXPECT_EQ(story.id, storyIdFromUrl(story.url));
        ids.insert(story.id);
    }
    EXPECT_EQ(ids.size(), 4u);
}

TEST(SeedLibrary, AllFourAreLocalStories)
{
    for (const Story& story : buildSeedLibrary().stories)
        EXPECT_TRUE(isLocalStory(story)) << story.title;
}

TEST(SeedLibrary, BodiesAreTwoParagraphsOfTheRightLengthAndPassThePolicy)
{
    const Library library = buildSeedLibrary();
    for (std::size_t i = 0; i < 4; ++i) {
        const std::string& body = library.stories[i].body;
        EXPECT_GE(body.size(), 435u) << i;
        EXPECT_LE(body.size(), 503u) << i;
        EXPECT_TRUE(body.starts_with(SEEDS[i].firstSentence)) << i;
        const std::size_t gap = body.find("\n\n");
        ASSERT_NE(gap, std::string::npos) << i;
        EXPECT_EQ(body.find('\n', gap + 2), std::string::npos) << i << ": more than two paragraphs";
        EXPECT_NE(body[gap + 2], ' ') << i;
        EXPECT_NO_THROW(checkText(body, BODY_LIMIT)) << i;
        EXPECT_TRUE(isSupportedWideText(utf8ToUtf16(body))) << i;
    }
}

TEST(SeedLibrary, EveryCallGivesAnEqualIndependentLibrary)
{
    Library first = buildSeedLibrary();
    const Library second = buildSeedLibrary();
    EXPECT_EQ(first, second);
    first.stories[0].note = "changed";
    EXPECT_NE(first, buildSeedLibrary());
}

TEST(MakeSeedStory, AppendsAnUnpinnedStoryIdentifiedByItsUrl)
{
    Library library;
    makeSeedStory(library, "T", "B", "a", 1, "S", 77);
    ASSERT_EQ(library.stories.size(), 1u);
    const Story& story = library.stories[0];
    EXPECT_EQ(story.id, "af63dc4c8601ec8c");
    EXPECT_EQ(story.title, "T");
    EXPECT_EQ(story.body, "B");
    EXPECT_EQ(story.url, "a");
    EXPECT_EQ(story.source, "S");
    EXPECT_EQ(story.asset, 1);
    EXPECT_EQ(story.published, 77);
    EXPECT_EQ(story.note, "");
    EXPECT_FALSE(story.saved);
}

}  // namespace
