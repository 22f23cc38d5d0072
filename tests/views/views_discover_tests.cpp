// The Discover view: the search filter, the list's scroll clamp and wheel steps, hit tests against a
// painted list, and the pin command with its undo.
#include "views/views.h"

#include "views_test_pixels.h"
#include "views_test_requests.h"

#include "locale/locale.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <string>

namespace {

Story story(const std::string& title, const std::string& body, const std::string& note = {})
{
    Story s;
    s.url = "https://www.nasa.gov/news-release/" + title + "/";
    s.id = storyIdFromUrl(s.url);
    s.title = title;
    s.body = body;
    s.note = note;
    s.source = "NASA";
    return s;
}

std::vector<std::string> titlesFound(const Library& library, const std::wstring& search)
{
    ViewState app;
    app.searchText = search;
    std::vector<std::string> titles;
    for (const Story* s : matchingStories(app, library))
        titles.push_back(s->title);
    return titles;
}

using Titles = std::vector<std::string>;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Search

TEST(DiscoverSearch, QueryCaseIsFoldedForAsciiLettersOnly)
{
    Library library;
    library.stories = {story("NASA rover", "Wheels on sand"), story("\xC3\x89toile", "A bright star")};  // "Étoile"
    EXPECT_EQ(titlesFound(library, L"nasa"), Titles{"NASA rover"});
    EXPECT_EQ(titlesFound(library, L"wHEELS"), Titles{"NASA rover"});
    EXPECT_EQ(titlesFound(library, L"\u00E9toile"), Titles{});            // "é" is not "É"
    EXPECT_EQ(titlesFound(library, L"\u00C9TOILE"), Titles{"\xC3\x89toile"});  // "É" itself, the rest folded
}

TEST(DiscoverSearch, TitleAndBodyAreJoinedByExactlyOneSpace)
{
    Library library;
    library.stories = {story("Deep ocean", "currents carry heat")};
    EXPECT_EQ(titlesFound(library, L"ocean currents"), Titles{"Deep ocean"});
    EXPECT_EQ(titlesFound(library, L"oceancurrents"), Titles{});
    EXPECT_EQ(titlesFound(library, L"ocean  currents"), Titles{});  // two spaces never match one
    EXPECT_EQ(titlesFound(library, L" deep"), Titles{});            // the query is not trimmed
}

TEST(DiscoverSearch, NoteAloneMakesAStoryMatch)
{
    Library library;
    library.stories = {story("Sea ice", "Arctic minimum"), story("Comet", "Tail", "Ask about PENGUINS later")};
    EXPECT_EQ(titlesFound(library, L"penguins"), Titles{"Comet"});
    EXPECT_EQ(titlesFound(library, L"tail ask"), Titles{"Comet"});  // body and note joined by one space
}

TEST(DiscoverSearch, LongTextsAreSearchedToTheirLastByteAndCheckedThroughout)
{
    const std::string filler(4099, 'x');  // long ASCII runs, and an odd length against word steps
    Library library;
    library.stories = {story("Long", filler + "the Winter PROFILE"), story("Repeats", filler + "aaab"),
                       story("Ends", "start", filler + "q")};
    EXPECT_EQ(titlesFound(library, L"winter profile"), Titles{"Long"});
    EXPECT_EQ(titlesFound(library, L"profile"), Titles{"Long"});  // the needle ends the text
    EXPECT_EQ(titlesFound(library, L"aab"), Titles{"Repeats"});    // a partial match just before
    EXPECT_EQ(titlesFound(library, L"xq"), Titles{"Ends"});
    EXPECT_EQ(titlesFound(library, L"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxy"), Titles{});
    for (std::size_t at : {std::size_t{0}, std::size_t{7}, std::size_t{8}, std::size_t{4095}, std::size_t{4098}}) {
        std::string broken = filler;
        broken[at] = '\xC3';  // a lead byte without its continuation, deep inside a long run
        library.stories[2].note = broken;
        ViewState app;
        app.searchText = L"long";
        EXPECT_THROW(matchingStories(app, library), Failure) << at;
    }
}

TEST(DiscoverSearch, EmptySearchListsEveryStoryInLibraryOrder)
{
    Library library;
    library.stories = {story("Zeta", ""), story("Alpha", ""), story("Mid", "")};
    EXPECT_EQ(titlesFound(library, L""), (Titles{"Zeta", "Alpha", "Mid"}));
    EXPECT_EQ(titlesFound(library, L"a"), (Titles{"Zeta", "Alpha"}));
    EXPECT_EQ(titlesFound(library, L"nothing like it"), Titles{});
}

// ---------------------------------------------------------------------------------------------
// Scrolling

TEST(DiscoverScroll, OffsetIsClampedToTheRowsBeyondTheVisibleHeight)
{
    const float V = 820.0f - 270.0f;  // 550
    EXPECT_EQ(clampListScroll(5000, 10, V), 680);   // 1230 - 550
    EXPECT_EQ(clampListScroll(300, 10, V), 300);
    EXPECT_EQ(clampListScroll(-40, 10, V), 0);
    EXPECT_EQ(clampListScroll(200, 4, V), 0);        // 492 rows fit in 550
    EXPECT_EQ(clampListScroll(200, 0, V), 0);
    EXPECT_EQ(clampListScroll(100, 5, 550.5f), 64);  // 615 - 550.5 = 64.5, truncated
}

TEST(DiscoverScroll, WheelNotchScrollsEightyAndHalfNotchesNothing)
{
    EXPECT_EQ(wheelListScroll(0, 400, -120), 80);
    EXPECT_EQ(wheelListScroll(200, 400, 120), 120);
    EXPECT_EQ(wheelListScroll(200, 400, -360), 440);
    EXPECT_EQ(wheelListScroll(200, 400, 60), 200);
    EXPECT_EQ(wheelListScroll(200, 400, -60), 200);
    EXPECT_EQ(wheelListScroll(200, 400, -239), 280);  // one whole notch, the rest dropped
    EXPECT_EQ(wheelListScroll(40, 400, 120), 0);      // never below zero
}

TEST(DiscoverScroll, WheelOverTheDetailPanelIsIgnored)
{
    EXPECT_EQ(wheelListScroll(200, 605.0f, -120), 200);
    EXPECT_EQ(wheelListScroll(200, 900.0f, -120), 200);
    EXPECT_EQ(wheelListScroll(200, 604.9f, -120), 280);
}

// ---------------------------------------------------------------------------------------------
// A painted list

namespace {

class DiscoverPainting : public GdiplusSuite {
protected:
    void SetUp() override
    {
        currentUiLanguage = UiLanguage::English;
        for (int i = 0; i < 10; ++i)
            session.library.stories.push_back(story("row" + std::to_string(i), "text"));
    }
    void TearDown() override { session.app.drawingKit.reset(); }

    void paint()
    {
        const ScreenBuffer bitmap(1280, 820);
        Canvas canvas;
        ASSERT_TRUE(beginCanvas(canvas, bitmap.dc(), 1.0f, drawingKitOf(session.app)));
        paintDiscover(canvas, session.app, session.library);
        endCanvas(canvas);
    }

    struct {
        ViewState app;
        Library library;
    } session;
};

}  // namespace

TEST_F(DiscoverPainting, PaintStoresTheClampedOffsetAndRecordsOnlyVisibleRows)
{
    session.app.listScrollOffset = 10000;
    paint();
    EXPECT_EQ(session.app.listScrollOffset, 680);
    // At 680 the rows start at 208 - 680 + 123 i: row 4 ends at 133, above the viewport; rows 5 .. 9 show.
    ASSERT_EQ(session.app.hitRows.size(), 5u);
    EXPECT_EQ(session.app.hitRows.front().id, session.library.stories[5].id);
    EXPECT_FLOAT_EQ(session.app.hitRows.front().top, 143.0f);
    EXPECT_FLOAT_EQ(session.app.hitRows.back().top, 635.0f);
}

TEST_F(DiscoverPainting, ClickOnARowAsksToSelectItAndTheGapAsksNothing)
{
    paint();
    ASSERT_EQ(session.app.hitRows.size(), 5u);  // rows at 208, 331, 454, 577, 700 (< 756)
    const auto click = [this](float x, float y) { return describe(onMouseDownDiscover(session.app, x, y)); };
    const std::string& row = session.library.stories[1].id;
    EXPECT_EQ(click(300, 326), "nothing");  // gap between row 0 (ends 321) and row 1 (starts 331)
    EXPECT_EQ(click(300, 331), "select(" + row + ")");
    EXPECT_EQ(click(590, 400), "nothing");  // right edge is outside
    EXPECT_EQ(click(300, 780), "nothing");  // row 4 reaches 813, but the list ends at 754
    EXPECT_EQ(click(300, 753), "select(" + session.library.stories[4].id + ")");
    // The selection is the shell's to make.
    EXPECT_EQ(session.app.selectedStoryId, "");
}

TEST_F(DiscoverPainting, SearchThatMatchesNothingRecordsNoRows)
{
    session.app.searchText = L"zebra";
    session.app.listScrollOffset = 90;
    paint();
    EXPECT_TRUE(session.app.hitRows.empty());
    EXPECT_EQ(session.app.listScrollOffset, 0);
}

TEST(DiscoverSearch, AsciiQueryFindsWordsBesideAccentedLettersAndRefusesBrokenText)
{
    Library library;
    library.stories = {story("\xC3\x89toile filante", "Caf\xC3\xA9 NOTES"), story("Plain", "text")};
    EXPECT_EQ(titlesFound(library, L"toile f"), Titles{"\xC3\x89toile filante"});
    EXPECT_EQ(titlesFound(library, L"caf"), Titles{"\xC3\x89toile filante"});
    EXPECT_EQ(titlesFound(library, L"caf\u00E9 notes"), Titles{"\xC3\x89toile filante"});
    EXPECT_EQ(titlesFound(library, L"cafe"), Titles{});
    library.stories[1].body = "bad \xC3 byte";
    ViewState app;
    app.searchText = L"plain";
    EXPECT_THROW(matchingStories(app, library), Failure);
    library.stories[1].body = "surrogate \xED\xA0\x80 encoded";
    EXPECT_THROW(matchingStories(app, library), Failure);
}
