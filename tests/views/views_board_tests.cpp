// The Story board: card placement, wheel zoom, fit, hit order, what its mouse handlers ask of the
// shell, and (carried out by the shell) drags, link mode and the one-step undo of pins, unpins and
// cleared links against a library saved into a temporary folder.
#include "views/views.h"

#include "views_test_requests.h"

#include "locale/locale.h"
#include "shell/shell.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

const DipRect CANVAS_1280_820{224.0f, 204.0f, 680.0f, 552.0f};  // (224, 204, W - 600, H - 268)

Story story(int n)
{
    Story s;
    s.url = "https://www.nasa.gov/news-release/board-" + std::to_string(n) + "/";
    s.id = storyIdFromUrl(s.url);
    s.title = "Story " + std::to_string(n);
    s.source = "NASA";
    s.published = 1700000000 + n;
    return s;
}

Library libraryOf(int count)
{
    Library library;
    for (int i = 0; i < count; ++i)
        library.stories.push_back(story(i));
    return library;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Geometry

TEST(BoardGeometry, FirstCardAtDefaultViewSitsAt254And239)
{
    Library library = libraryOf(4);
    for (Story& s : library.stories)
        togglePin(library, s);
    const DipRect first = boardCardRect(CANVAS_1280_820, BoardView{}, library.stories[0].x, library.stories[0].y);
    EXPECT_EQ(first, (DipRect{254.0f, 239.0f, 245.0f, 132.0f}));
    const DipRect fourth = boardCardRect(CANVAS_1280_820, BoardView{}, library.stories[3].x, library.stories[3].y);
    EXPECT_EQ(fourth, (DipRect{254.0f, 409.0f, 245.0f, 132.0f}));  // board (0, 170)
    const DipRect zoomed = boardCardRect(CANVAS_1280_820, {0.5, -10.0, 20.0}, 335.0, 170.0);
    EXPECT_EQ(zoomed, (DipRect{381.5f, 309.0f, 122.5f, 66.0f}));
}

TEST(BoardGeometry, WheelNotchAtCentreZoomsBy113AndKeepsThePointUnderThePointer)
{
    // Canvas centre (564, 480) is canvas point (340, 276), board point (310, 241) at the default view.
    const BoardView in = zoomBoardAbout(BoardView{}, CANVAS_1280_820, 564.0f, 480.0f, 120);
    EXPECT_NEAR(in.zoom, 1.13, 1e-12);
    EXPECT_NEAR(in.panX, 340.0 - 310.0 * 1.13, 1e-9);  // -10.3
    EXPECT_NEAR(in.panY, 276.0 - 241.0 * 1.13, 1e-9);  // 3.67
    EXPECT_NEAR(in.panX, -10.3, 1e-9);
    EXPECT_NEAR(in.panY, 3.67, 1e-9);
    const BoardView half = zoomBoardAbout(BoardView{}, CANVAS_1280_820, 224.0f, 204.0f, 60);
    EXPECT_NEAR(half.zoom, 1.0630145812734648, 1e-12);  // sqrt(1.13)
    EXPECT_NEAR(half.panX, 30.0 * half.zoom, 1e-9);     // about the canvas origin the pan just scales
}

TEST(BoardGeometry, WheelZoomStopsAt18And025)
{
    const BoardView top = zoomBoardAbout({1.7, 0.0, 0.0}, CANVAS_1280_820, 224.0f, 204.0f, 120);
    EXPECT_DOUBLE_EQ(top.zoom, 1.8);
    BoardView view;
    for (int i = 0; i < 30; ++i)
        view = zoomBoardAbout(view, CANVAS_1280_820, 500.0f, 400.0f, -120);
    EXPECT_DOUBLE_EQ(view.zoom, 0.25);
    const BoardView at = zoomBoardAbout({1.8, 12.0, 14.0}, CANVAS_1280_820, 500.0f, 400.0f, 120);
    EXPECT_DOUBLE_EQ(at.zoom, 1.8);
    EXPECT_DOUBLE_EQ(at.panX, 12.0);  // nothing moves when the zoom is already at its limit
    EXPECT_DOUBLE_EQ(at.panY, 14.0);
}

TEST(BoardGeometry, FitOneCardCentresItAtZoom135)
{
    Library library = libraryOf(2);
    togglePin(library, library.stories[1]);  // at (0, 0)
    const BoardView fit = fitBoardView(library, CANVAS_1280_820);
    EXPECT_DOUBLE_EQ(fit.zoom, 1.35);
    EXPECT_NEAR(fit.panX, 174.625, 1e-9);
    EXPECT_NEAR(fit.panY, 186.9, 1e-9);
}

TEST(BoardGeometry, FitSeveralCardsUsesTheTighterAxisAndTheBoundingBox)
{
    Library library = libraryOf(3);
    library.stories[0].saved = true;  // (-100, 50) .. (145, 182)
    library.stories[0].x = -100;
    library.stories[0].y = 50;
    library.stories[2].saved = true;  // (1000, 300) .. (1245, 432)
    library.stories[2].x = 1000;
    library.stories[2].y = 300;
    library.stories[1].x = 90000;     // unpinned: ignored
    const BoardView fit = fitBoardView(library, CANVAS_1280_820);
    // Box 1345 x 382: min(492 / 382, 620 / 1345) = 0.46096654...
    EXPECT_NEAR(fit.zoom, 620.0 / 1345.0, 1e-12);
    EXPECT_NEAR(fit.panX, (680.0 - 620.0) / 2 + 100.0 * 620.0 / 1345.0, 1e-9);
    EXPECT_NEAR(fit.panY, (552.0 - 382.0 * 620.0 / 1345.0) / 2 - 50.0 * 620.0 / 1345.0, 1e-9);
}

TEST(BoardGeometry, FitWithoutPinnedCardsResetsTheView)
{
    const BoardView fit = fitBoardView(libraryOf(3), CANVAS_1280_820);
    EXPECT_DOUBLE_EQ(fit.zoom, 1.0);
    EXPECT_DOUBLE_EQ(fit.panX, 30.0);
    EXPECT_DOUBLE_EQ(fit.panY, 35.0);
}

TEST(BoardGeometry, TopmostOverlappingCardWins)
{
    const std::vector<HitRecord> cards = {{254, 239, 245, 132, "first"}, {400, 300, 245, 132, "second"}};
    EXPECT_EQ(topmostHit(cards, 450, 350), 1);
    EXPECT_EQ(topmostHit(cards, 300, 250), 0);
    EXPECT_EQ(topmostHit(cards, 254, 239), 0);   // left and top inclusive
    EXPECT_EQ(topmostHit(cards, 645, 350), -1);  // right exclusive
    EXPECT_EQ(firstHit(cards, 450, 350), 0);     // the list walks the other way
}

TEST(BoardGeometry, OnlyALineWhollyInsideItsOwnPillIsLeftOut)
{
    // Half extents plus 2.5 must stay within 37 x 11 (between the corners) or 43 x 5 (beside them).
    EXPECT_TRUE(linkLineHiddenByPill(100, 50, 181, 50));     // 43 x 2.5
    EXPECT_FALSE(linkLineHiddenByPill(100, 50, 182, 50));    // out through the pill's end
    EXPECT_TRUE(linkLineHiddenByPill(100, 50, 169, 67));     // 37 x 11
    EXPECT_FALSE(linkLineHiddenByPill(100, 50, 169, 68));    // out through the bottom edge
    EXPECT_FALSE(linkLineHiddenByPill(100, 50, 170, 60));    // 37.5 x 7.5: into a rounded corner
    EXPECT_TRUE(linkLineHiddenByPill(100, 50, 181, 55));     // 43 x 5
    EXPECT_FALSE(linkLineHiddenByPill(100, 50, 181, 56));
    EXPECT_TRUE(linkLineHiddenByPill(300, 300, 300, 300));   // both cards in one place
    EXPECT_FALSE(linkLineHiddenByPill(120, 40, 100, 10));    // steep lines leave through the top
}

TEST(BoardGeometry, LinesAreLeftOutOnlyWhereCardsCoverThemWhole)
{
    // The inside of a card without its rounded corners, 1.5 dip in.
    const auto [wide, tall] = cardHidingRects({100, 50, 245, 132});
    EXPECT_EQ(wide, (DipRect{109.5f, 51.5f, 226.0f, 129.0f}));
    EXPECT_EQ(tall, (DipRect{101.5f, 59.5f, 242.0f, 113.0f}));

    const std::vector<DipRect> twoCards{{0, 0, 50, 30}, {50, 10, 50, 30}};
    EXPECT_TRUE(coveredByRects({10, 12, 80, 10}, twoCards));    // across the seam
    EXPECT_FALSE(coveredByRects({10, 5, 80, 10}, twoCards));    // the second card starts lower
    EXPECT_FALSE(coveredByRects({10, 12, 80, 10}, {{0, 0, 50, 30}, {50.5f, 10, 50, 30}}));  // a hair's gap
    EXPECT_TRUE(coveredByRects({1, 1, 2, 2}, {{0, 0, 10, 10}}));
    EXPECT_FALSE(coveredByRects({1, 1, 2, 2}, {}));
    // Seventeen rectangles side by side are not combined; one that holds the area alone still counts.
    std::vector<DipRect> strips;
    for (int i = 0; i < 17; ++i)
        strips.push_back({static_cast<float>(i * 10), 0, 10, 10});
    EXPECT_FALSE(coveredByRects({0, 2, 170, 5}, strips));
    strips.push_back({-5, 0, 200, 10});
    EXPECT_TRUE(coveredByRects({0, 2, 170, 5}, strips));
}

TEST(BoardGeometry, DragCoordinatesStopAt99900)
{
    EXPECT_DOUBLE_EQ(clampBoardCoordinate(99950.5), 99900.0);
    EXPECT_DOUBLE_EQ(clampBoardCoordinate(-123456.0), -99900.0);
    EXPECT_DOUBLE_EQ(clampBoardCoordinate(-99899.5), -99899.5);
}

// ---------------------------------------------------------------------------------------------
// What the board's handlers ask of the shell

namespace {

// Cards 0 and 1 pinned side by side at the default view: card 0 at (254, 239), card 1 at (589, 239).
class BoardRequests : public ::testing::Test {
protected:
    void SetUp() override
    {
        view.boardViewRect = CANVAS_1280_820;
        library = libraryOf(3);
        togglePin(library, library.stories[0]);
        togglePin(library, library.stories[1]);
        for (const Story& s : library.stories)
            if (s.saved) {
                const DipRect r = boardCardRect(view.boardViewRect, boardViewOf(view), s.x, s.y);
                view.hitRows.push_back({r.left, r.top, r.width, r.height, s.id});
            }
    }
    const std::string& id(int i) const { return library.stories[static_cast<std::size_t>(i)].id; }

    ViewState view;
    Library library;
};

}  // namespace

TEST_F(BoardRequests, APressOnACardAsksToCommitTheNoteAndSelectItBeforeTheDragStarts)
{
    view.selectedStoryId = id(1);
    EXPECT_EQ(describe(onMouseDownBoard(view, library, 300, 300)), "commitNote select(" + id(0) + ") drag(" + id(0) +
                                                                       " at 300,300)");
    // Nothing happens before the shell has committed the note.
    EXPECT_EQ(view.selectedStoryId, id(1));
    EXPECT_FALSE(view.dragging);
    // The selected card's note is committed too before it is dragged.
    EXPECT_EQ(describe(onMouseDownBoard(view, library, 600, 300)), "commitNote select(" + id(1) + ") drag(" + id(1) +
                                                                       " at 600,300)");
    // Empty canvas: a pan, with no note to commit; outside the canvas: nothing.
    EXPECT_EQ(describe(onMouseDownBoard(view, library, 800, 700)), "drag( at 800,700)");
    EXPECT_EQ(describe(onMouseDownBoard(view, library, 950, 300)), "nothing");
}

TEST_F(BoardRequests, ALinkModePressOnAnotherCardLinksAndAsksToSaveThenLayOutAndRepaint)
{
    view.selectedStoryId = id(0);
    view.linkMode = true;
    EXPECT_EQ(describe(onMouseDownBoard(view, library, 300, 300)), "nothing");  // the selected card itself
    EXPECT_EQ(describe(onMouseDownBoard(view, library, 800, 700)), "nothing");  // empty canvas
    EXPECT_TRUE(view.linkMode);
    EXPECT_FALSE(view.undoAvailable);

    EXPECT_EQ(describe(onMouseDownBoard(view, library, 600, 300)),
              "save savedStatus(" + keyText(UiStringKey::ConnectionSaved) + ") relayout repaint");
    ASSERT_EQ(library.links.size(), 1u);
    EXPECT_FALSE(view.linkMode);
    EXPECT_TRUE(view.unsavedChanges);
    EXPECT_TRUE(view.undoAvailable);
    EXPECT_EQ(view.selectedStoryId, id(0));
}

TEST_F(BoardRequests, TheWheelOverTheCanvasAsksForTheRestTimerAndARepaint)
{
    EXPECT_EQ(describe(onMouseWheelBoard(view, 950, 300, 120)), "nothing");
    EXPECT_FALSE(view.boardZoomTurning);
    EXPECT_EQ(describe(onMouseWheelBoard(view, 300, 300, 120)), "boardZoomRest repaint");
    EXPECT_TRUE(view.boardZoomTurning);
    EXPECT_DOUBLE_EQ(view.boardZoom, 1.13);
}

// ---------------------------------------------------------------------------------------------
// Commands and mouse on a library saved into a temporary folder, the requests carried out by the shell

namespace {

class BoardSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        currentUiLanguage = UiLanguage::English;
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder = std::filesystem::path(temp) / ("kestrune-board-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(folder);
        session.app.dataFolder = folder.wstring();
        session.app.libraryPath = (folder / "library.json").wstring();
        session.app.boardViewRect = CANVAS_1280_820;
        session.library = libraryOf(5);
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    Story& at(int i) { return session.library.stories[static_cast<std::size_t>(i)]; }
    void select(int i) { session.app.selectedStoryId = at(i).id; }
    void pin(int i) { togglePin(session.library, at(i)); }
    bool saved() const { return std::filesystem::exists(folder / "library.json"); }
    std::wstring status() const { return session.app.statusText; }
    void run(const ViewRequest& request) { carryOut(session.app, session.library, request); }
    static std::wstring english(UiStringKey key) { return uiTextIn(key, UiLanguage::English); }

    // The card records a paint would make.
    void recordCards()
    {
        session.app.hitRows.clear();
        for (const Story& s : session.library.stories)
            if (s.saved) {
                const DipRect r = boardCardRect(session.app.boardViewRect, BoardView{session.app.boardZoom,
                                                session.app.boardPanX, session.app.boardPanY}, s.x, s.y);
                session.app.hitRows.push_back({r.left, r.top, r.width, r.height, s.id});
            }
    }

    std::filesystem::path folder;
    Session session;
};

}  // namespace

TEST_F(BoardSession, UndoAfterClearLinksRestoresLinksButKeepsLaterNoteAndPreference)
{
    pin(0);
    pin(1);
    pin(2);
    ASSERT_TRUE(addLink(session.library, at(0).id, at(1).id, 1));
    ASSERT_TRUE(addLink(session.library, at(1).id, at(2).id, 2));
    ASSERT_TRUE(addLink(session.library, at(0).id, at(2).id, 0));
    select(1);
    run(clearLinks(session.app, session.library));
    ASSERT_EQ(session.library.links.size(), 1u);  // only 0-2 is not the selected story's
    EXPECT_EQ(status(), english(UiStringKey::ConnectionsCleared));
    EXPECT_TRUE(session.app.undoAvailable);
    EXPECT_TRUE(saved());

    at(3).note = "written after the snapshot";
    session.library.settings.automatic = true;
    undoBoardEdit(session);
    EXPECT_EQ(session.library.links.size(), 3u);
    EXPECT_EQ(session.library.links[1].kind, 2);
    EXPECT_EQ(at(3).note, "written after the snapshot");
    EXPECT_TRUE(session.library.settings.automatic);
    EXPECT_FALSE(session.app.undoAvailable);
    EXPECT_EQ(session.app.selectedStoryId, at(1).id);
    EXPECT_EQ(status(), english(UiStringKey::ConnectionsCleared));  // undo leaves the status alone
}

TEST_F(BoardSession, UndoOfAPinUnpinsAgain)
{
    select(2);
    toggleSelectedPin(session);
    EXPECT_TRUE(at(2).saved);
    EXPECT_EQ(status(), english(UiStringKey::SavedLocally));
    undoBoardEdit(session);
    EXPECT_FALSE(at(2).saved);
    EXPECT_FALSE(session.app.unsavedChanges);
}

TEST_F(BoardSession, UndoOfAnUnpinRestoresTheCardItsPlaceAndItsLinks)
{
    pin(0);
    pin(1);
    at(0).x = 500;
    at(0).y = -60;
    ASSERT_TRUE(addLink(session.library, at(0).id, at(1).id, 2));
    select(0);
    toggleSelectedPin(session);
    EXPECT_FALSE(at(0).saved);
    EXPECT_TRUE(session.library.links.empty());
    EXPECT_EQ(status(), english(UiStringKey::RemovedFromBoard));
    undoBoardEdit(session);
    EXPECT_TRUE(at(0).saved);
    EXPECT_DOUBLE_EQ(at(0).x, 500.0);
    EXPECT_DOUBLE_EQ(at(0).y, -60.0);
    ASSERT_EQ(session.library.links.size(), 1u);
    EXPECT_EQ(session.library.links[0].kind, 2);
}

TEST_F(BoardSession, UndoDoesNotBringBackAStoryRemovedSinceOrLinksToIt)
{
    pin(0);
    pin(1);
    ASSERT_TRUE(addLink(session.library, at(0).id, at(1).id, 0));
    select(0);
    run(clearLinks(session.app, session.library));
    session.library.stories.erase(session.library.stories.begin() + 1);
    undoBoardEdit(session);
    EXPECT_EQ(session.library.stories.size(), 4u);
    EXPECT_TRUE(session.library.links.empty());
}

TEST_F(BoardSession, PressAndReleaseInPlaceSelectsButTakesNoSnapshotAndChangesNothing)
{
    pin(0);
    recordCards();
    run(onMouseDownBoard(session.app, session.library, 300, 300));
    EXPECT_EQ(session.app.selectedStoryId, at(0).id);
    EXPECT_TRUE(session.app.dragging);
    onDragMoveBoard(session.app, session.library, 300, 300);  // a move message without movement
    EXPECT_FALSE(session.app.undoAvailable);
    EXPECT_FALSE(session.app.unsavedChanges);
    EXPECT_DOUBLE_EQ(at(0).x, 0.0);
}

TEST_F(BoardSession, CardDragMovesByPointerOverZoomAndSnapshotsOnce)
{
    pin(0);
    pin(1);
    session.app.boardZoom = 2.0;
    session.app.boardPanX = 0;
    session.app.boardPanY = 0;
    recordCards();                        // card 1 at (894, 204) .. (1384, 468): clipped, still hit
    run(onMouseDownBoard(session.app, session.library, 300, 300));  // card 0
    onDragMoveBoard(session.app, session.library, 310, 304);
    session.app.lastMouseX = 310;
    session.app.lastMouseY = 304;
    EXPECT_TRUE(session.app.undoAvailable);
    EXPECT_DOUBLE_EQ(at(0).x, 5.0);
    EXPECT_DOUBLE_EQ(at(0).y, 2.0);
    EXPECT_TRUE(session.app.unsavedChanges);
    // A second move does not replace the snapshot: undo goes back to before the drag.
    at(1).x = 777;
    onDragMoveBoard(session.app, session.library, 311, 304);
    EXPECT_DOUBLE_EQ(at(0).x, 5.5);
    EXPECT_DOUBLE_EQ(session.app.undoSnapshot.stories[1].x, 335.0);
}

TEST_F(BoardSession, DraggedCardStopsAtTheCoordinateLimit)
{
    pin(0);
    at(0).x = 99890;
    session.app.boardPanX = 30 - 99890;  // bring the card into view
    recordCards();
    run(onMouseDownBoard(session.app, session.library, 260, 250));
    onDragMoveBoard(session.app, session.library, 360, 250);
    EXPECT_DOUBLE_EQ(at(0).x, 99900.0);
}

TEST_F(BoardSession, DragOnEmptyCanvasPansWithoutSnapshot)
{
    pin(0);
    recordCards();
    run(onMouseDownBoard(session.app, session.library, 800, 700));
    EXPECT_TRUE(session.app.draggedStoryId.empty());
    onDragMoveBoard(session.app, session.library, 780, 710);
    EXPECT_DOUBLE_EQ(session.app.boardPanX, 10.0);
    EXPECT_DOUBLE_EQ(session.app.boardPanY, 45.0);
    EXPECT_FALSE(session.app.undoAvailable);
    EXPECT_FALSE(session.app.unsavedChanges);
}

TEST_F(BoardSession, ClickOutsideTheCanvasStartsNoDrag)
{
    recordCards();
    run(onMouseDownBoard(session.app, session.library, 950, 300));  // the detail panel
    EXPECT_FALSE(session.app.dragging);
}

TEST_F(BoardSession, LinkModeConnectsAnotherCardOnceAndEnds)
{
    pin(0);
    pin(1);
    recordCards();
    select(2);  // not pinned
    run(toggleLinkMode(session.app, session.library));
    EXPECT_FALSE(session.app.linkMode);
    select(0);
    run(toggleLinkMode(session.app, session.library));
    ASSERT_TRUE(session.app.linkMode);
    EXPECT_EQ(status(), english(UiStringKey::ChooseCardToConnect));

    run(onMouseDownBoard(session.app, session.library, 300, 300));  // the selected card itself
    run(onMouseDownBoard(session.app, session.library, 250, 700));  // empty canvas
    EXPECT_TRUE(session.app.linkMode);
    EXPECT_TRUE(session.library.links.empty());
    EXPECT_FALSE(session.app.dragging);

    session.app.newLinkKind = 1;
    run(onMouseDownBoard(session.app, session.library, 600, 300));  // card 1 at (589, 239)
    EXPECT_FALSE(session.app.linkMode);
    ASSERT_EQ(session.library.links.size(), 1u);
    EXPECT_EQ(session.library.links[0].kind, 1);
    EXPECT_EQ(status(), english(UiStringKey::ConnectionSaved));
    EXPECT_TRUE(session.app.undoAvailable);
    EXPECT_EQ(session.app.selectedStoryId, at(0).id);  // a connection does not move the selection

    run(toggleLinkMode(session.app, session.library));
    session.app.newLinkKind = 2;
    run(onMouseDownBoard(session.app, session.library, 600, 300));
    ASSERT_EQ(session.library.links.size(), 1u);  // the pair is re-kinded
    EXPECT_EQ(session.library.links[0].kind, 2);
}
