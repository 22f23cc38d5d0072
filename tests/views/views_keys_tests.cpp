// The board's keyboard arithmetic: which card an arrow leads to, and the pan that brings a card
// into view; values worked out by hand on small layouts. Then what the keys ask of the shell.
#include "views/views.h"

#include "views_test_requests.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const DipRect CANVAS{224.0f, 204.0f, 680.0f, 552.0f};  // the board canvas of a 1280 x 820 window

struct ArrowCase {
    const char* what;
    std::vector<BoardPoint> centres;  // the first is where the arrow starts
    ArrowKey direction;
    int expected;
};

const ArrowCase ARROW_CASES[] = {
    {"the only card to the right", {{0, 0}, {300, 0}}, ArrowKey::Right, 1},
    {"a card within 45 degrees beats a nearer one beside the path",
     {{0, 0}, {30, 100}, {200, 150}}, ArrowKey::Right, 2},
    {"exactly 45 degrees still counts as within", {{0, 0}, {100, 100}, {30, 140}}, ArrowKey::Right, 1},
    {"without one within 45 degrees the nearest card ahead", {{0, 0}, {30, 100}, {40, 300}}, ArrowKey::Right, 1},
    {"nothing ahead", {{0, 0}, {-300, 0}, {0, 170}}, ArrowKey::Right, -1},
    {"a card straight below is not to the right", {{0, 0}, {0, 170}}, ArrowKey::Right, -1},
    {"the nearer of two to the left", {{0, 0}, {-670, 0}, {-335, 10}}, ArrowKey::Left, 2},
    {"up is towards smaller y", {{0, 0}, {0, 170}, {0, -170}}, ArrowKey::Up, 2},
    {"down is towards larger y", {{0, 0}, {0, -170}, {20, 340}}, ArrowKey::Down, 2},
    {"of two at the same distance the earlier", {{0, 0}, {100, -20}, {100, 20}}, ArrowKey::Right, 1},
    {"a card on the same spot is never ahead", {{0, 0}, {0, 0}}, ArrowKey::Down, -1},
};

TEST(BoardArrows, LeadToTheNearestCardInTheDirection)
{
    for (const ArrowCase& c : ARROW_CASES)
        EXPECT_EQ(nearestCardInDirection(c.centres, 0, c.direction), c.expected) << c.what;
}

TEST(BoardArrows, StartFromTheGivenCardAndRefuseOneThatDoesNotExist)
{
    const std::vector<BoardPoint> row{{0, 0}, {335, 0}, {670, 0}};
    EXPECT_EQ(nearestCardInDirection(row, 1, ArrowKey::Left), 0);
    EXPECT_EQ(nearestCardInDirection(row, 1, ArrowKey::Right), 2);
    EXPECT_EQ(nearestCardInDirection(row, 2, ArrowKey::Right), -1);
    EXPECT_EQ(nearestCardInDirection(row, 3, ArrowKey::Left), -1);
    EXPECT_EQ(nearestCardInDirection({}, 0, ArrowKey::Up), -1);
}

TEST(BoardArrows, LeaveTheViewAloneWhenTheCardIsInSight)
{
    const BoardView view{1.0, 30.0, 35.0};
    const BoardView shown = boardViewShowing(view, CANVAS, 335, 170);
    EXPECT_DOUBLE_EQ(shown.panX, 30.0);
    EXPECT_DOUBLE_EQ(shown.panY, 35.0);
}

TEST(BoardArrows, PanJustEnoughToShowACardWithItsMargin)
{
    const BoardView view{1.0, 30.0, 35.0};
    // Right edge at 30 + 670 + 245 = 945 of 680: it must end at 668.
    BoardView shown = boardViewShowing(view, CANVAS, 670, 0);
    EXPECT_DOUBLE_EQ(shown.panX, 30.0 - 277.0);
    EXPECT_DOUBLE_EQ(shown.panY, 35.0);
    // Above the canvas at half zoom: its top at 35 - 200 = -165 must come to 12.
    shown = boardViewShowing({0.5, 30.0, 35.0}, CANVAS, 0, -400);
    EXPECT_DOUBLE_EQ(shown.panX, 30.0);
    EXPECT_DOUBLE_EQ(shown.panY, 35.0 + 177.0);
    // A canvas narrower than the card: its left edge comes first.
    shown = boardViewShowing(view, DipRect{224, 204, 200, 552}, 0, 0);
    EXPECT_DOUBLE_EQ(shown.panX, 12.0);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// What the keys ask of the shell

namespace {

// Two pinned cards side by side, the first selected.
class BoardKeyRequests : public ::testing::Test {
protected:
    void SetUp() override
    {
        view.boardViewRect = CANVAS;
        for (int i = 0; i < 2; ++i) {
            Story s;
            s.url = "https://www.nasa.gov/news-release/keys-" + std::to_string(i) + "/";
            s.id = storyIdFromUrl(s.url);
            library.stories.push_back(s);
            togglePin(library, library.stories.back());
        }
        view.selectedStoryId = library.stories[0].id;
    }

    ViewState view;
    Library library;
};

}  // namespace

TEST_F(BoardKeyRequests, AHeldCtrlArrowMovesTheCardAndOnlyItsReleaseAsksToSave)
{
    const double x = library.stories[0].x;
    EXPECT_EQ(describe(onBoardArrow(view, library, ArrowKey::Right, true)), "repaint");
    EXPECT_EQ(describe(onBoardArrow(view, library, ArrowKey::Right, true)), "repaint");
    EXPECT_DOUBLE_EQ(library.stories[0].x, x + 2 * BOARD_KEY_STEP);
    EXPECT_TRUE(view.unsavedChanges);
    EXPECT_EQ(describe(endBoardKeyMove(view)), "save relayout");
    EXPECT_EQ(describe(endBoardKeyMove(view)), "nothing");  // a second release, or a plain arrow's
}

TEST_F(BoardKeyRequests, AnArrowAsksToSelectTheNextCardAndInLinkModeOnlyMovesTheCue)
{
    const std::string& next = library.stories[1].id;
    EXPECT_EQ(describe(onBoardArrow(view, library, ArrowKey::Right, false)),
              "select(" + next + ") showSelectedCard repaint");
    EXPECT_EQ(view.selectedStoryId, library.stories[0].id);
    EXPECT_EQ(describe(onBoardArrow(view, library, ArrowKey::Left, false)), "nothing");  // nothing to the left

    view.linkMode = true;
    EXPECT_EQ(describe(onBoardArrow(view, library, ArrowKey::Right, false)), "announceFocus repaint");
    EXPECT_EQ(view.boardKeyCardId, next);
    EXPECT_EQ(describe(onBoardEnter(view, library)),
              "save savedStatus(" + keyText(UiStringKey::ConnectionSaved) + ") relayout repaint");
    EXPECT_EQ(library.links.size(), 1u);
}
