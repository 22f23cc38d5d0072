// Window geometry and the per-section layout table, checked against values worked out by hand.
#include "shell/shell.h"

#include <gtest/gtest.h>

namespace {

const DipRect* rectOf(const LayoutPlan& plan, ControlId id)
{
    const ControlPlacement* placement = findPlacement(plan, id);
    return placement ? &placement->rect : nullptr;
}

bool shows(const LayoutPlan& plan, ControlId id)
{
    return findPlacement(plan, id) != nullptr;
}

LayoutInputs inSection(Section section, bool storySelected = true)
{
    LayoutInputs inputs;
    inputs.section = section;
    inputs.storySelected = storySelected;
    return inputs;
}

}  // namespace

TEST(InitialWindowRect, ShrinksToASmallWorkAreaAndCentres)
{
    EXPECT_EQ(initialWindowRect(RECT{0, 0, 1366, 728}, 96), (PixelRect{43, 10, 1280, 708}));
}

TEST(InitialWindowRect, ScalesWidthWithDpiButStaysInsideTheWorkArea)
{
    // 144 dpi wants 1920 x 1275; the work area allows 1346 x 708.
    EXPECT_EQ(initialWindowRect(RECT{0, 0, 1366, 728}, 144), (PixelRect{10, 10, 1346, 708}));
}

TEST(InitialWindowRect, CentresInAWorkAreaThatDoesNotStartAtTheOrigin)
{
    // A taskbar on the left: the work area starts at x 100. 1900 - 20 > 1280, 1060 - 20 > 850.
    EXPECT_EQ(initialWindowRect(RECT{100, 0, 2000, 1060}, 96), (PixelRect{100 + 310, 105, 1280, 850}));
}

TEST(InitialWindowRect, TruncatesOddHalvesTowardZero)
{
    // 1301 - 1280 = 21, half 10; 871 - 850 = 21, half 10.
    EXPECT_EQ(initialWindowRect(RECT{0, 0, 1301, 871}, 96), (PixelRect{10, 10, 1280, 850}));
}

TEST(MinimumTrackSize, IsTheDipMinimumScaled)
{
    const SIZE at96 = minimumTrackSize(1.0f);
    EXPECT_EQ(at96.cx, 1110);
    EXPECT_EQ(at96.cy, 790);
    const SIZE at144 = minimumTrackSize(1.5f);
    EXPECT_EQ(at144.cx, 1665);
    EXPECT_EQ(at144.cy, 1185);
}

TEST(CaptionBand, DragsOnlyTheTopFiftyDipLeftOfTheHeaderButtons)
{
    // Client 1280 dip wide at 100 %: the band ends at x 1135 and y 50.
    EXPECT_TRUE(isCaptionPoint(0, 0, 1.0f, 1280.0f));
    EXPECT_TRUE(isCaptionPoint(1134, 49, 1.0f, 1280.0f));
    EXPECT_FALSE(isCaptionPoint(1135, 10, 1.0f, 1280.0f));
    EXPECT_FALSE(isCaptionPoint(500, 50, 1.0f, 1280.0f));
}

TEST(CaptionBand, IsMeasuredInDevicePixelsAtHigherDpi)
{
    // At 150 % the band is 75 px tall and ends 145 dip (217.5 px) before the right edge.
    EXPECT_TRUE(isCaptionPoint(100, 74, 1.5f, 1280.0f));
    EXPECT_FALSE(isCaptionPoint(100, 75, 1.5f, 1280.0f));
    EXPECT_TRUE(isCaptionPoint(1702, 10, 1.5f, 1280.0f));
    EXPECT_FALSE(isCaptionPoint(1703, 10, 1.5f, 1280.0f));
}

TEST(DevicePixels, TruncatesEachValueOnItsOwn)
{
    // 1.25 x (610.5, 322.3, 305.9, 36.9) = (763.125, 402.875, 382.375, 46.125)
    EXPECT_EQ(toDevicePixels({610.5f, 322.3f, 305.9f, 36.9f}, 1.25f), (PixelRect{763, 402, 382, 46}));
}

TEST(Layout, DiscoverStoryTextAndNoteEditorAtTheReferenceSize)
{
    const LayoutPlan plan = planLayout(inSection(Section::Discover));
    ASSERT_TRUE(rectOf(plan, ID_STORY_TEXT));
    EXPECT_EQ(*rectOf(plan, ID_STORY_TEXT), (DipRect{624, 322, 618, 227}));
    ASSERT_TRUE(rectOf(plan, ID_NOTE));
    EXPECT_EQ(*rectOf(plan, ID_NOTE), (DipRect{624, 592, 618, 90}));
}

TEST(Layout, DiscoverDetailButtonsSplitThePanelInHalves)
{
    // x0 610, t 646, u 305.
    const LayoutPlan plan = planLayout(inSection(Section::Discover));
    EXPECT_EQ(*rectOf(plan, ID_PIN), (DipRect{624, 696, 305, 37}));
    EXPECT_EQ(*rectOf(plan, ID_SAVE_NOTE), (DipRect{937, 696, 305, 37}));
    EXPECT_EQ(*rectOf(plan, ID_READ_SOURCE), (DipRect{624, 740, 305, 30}));
    EXPECT_FALSE(shows(plan, ID_CLEAR_LINKS));
}

TEST(Layout, BoardDetailPanelSitsAtTheRightEdge)
{
    // x0 = 1280 - 356 = 924, t = 332, u = 148.
    const LayoutPlan plan = planLayout(inSection(Section::Board));
    EXPECT_EQ(*rectOf(plan, ID_STORY_TEXT), (DipRect{938, 322, 304, 227}));
    EXPECT_EQ(*rectOf(plan, ID_PIN), (DipRect{938, 696, 148, 37}));
    EXPECT_EQ(*rectOf(plan, ID_CLEAR_LINKS), (DipRect{1094, 740, 148, 30}));
    ASSERT_TRUE(plan.boardViewRect);
    EXPECT_EQ(*plan.boardViewRect, (DipRect{224, 204, 680, 552}));
    EXPECT_FALSE(shows(plan, ID_SEARCH));
}

TEST(Layout, NoSelectionHidesTheWholeDetailPanel)
{
    const LayoutPlan plan = planLayout(inSection(Section::Discover, false));
    for (ControlId id : {ID_STORY_TEXT, ID_NOTE, ID_PIN, ID_SAVE_NOTE, ID_READ_SOURCE})
        EXPECT_FALSE(shows(plan, id)) << id;
    EXPECT_TRUE(shows(plan, ID_SEARCH));
    EXPECT_TRUE(shows(plan, ID_REFRESH));
}

TEST(Layout, PreferencesHidesTheHeaderCrossAndShowsQuitAtTheBottomRight)
{
    const LayoutPlan plan = planLayout(inSection(Section::Preferences));
    ASSERT_TRUE(rectOf(plan, ID_CLOSE));
    EXPECT_EQ(*rectOf(plan, ID_CLOSE), (DipRect{1054, 708, 200, 36}));
    EXPECT_TRUE(shows(plan, ID_HOURLY));
    EXPECT_FALSE(shows(plan, ID_LICENCES_TEXT));
    EXPECT_FALSE(shows(plan, ID_STORY_TEXT));
}

TEST(Layout, LicencesPageBringsTheHeaderCrossBackAndOnlyTheText)
{
    LayoutInputs inputs = inSection(Section::Preferences);
    inputs.licencesShown = true;
    const LayoutPlan plan = planLayout(inputs);
    EXPECT_EQ(*rectOf(plan, ID_CLOSE), (DipRect{1234, 12, 30, 30}));
    EXPECT_EQ(*rectOf(plan, ID_LICENCES_TEXT), (DipRect{246, 175, 986, 439}));
    EXPECT_EQ(*rectOf(plan, ID_LICENCES), (DipRect{246, 641, 240, 36}));
    for (ControlId id : {ID_HOURLY, ID_NOTIFY, ID_EXPORT, ID_OPEN_FOLDER, ID_RESTORE, ID_CANCEL_RESTORE})
        EXPECT_FALSE(shows(plan, id)) << id;
}

TEST(Layout, CancelRestoreAppearsOnlyWhileArmed)
{
    LayoutInputs inputs = inSection(Section::Preferences);
    EXPECT_FALSE(shows(planLayout(inputs), ID_CANCEL_RESTORE));
    inputs.restoreArmed = true;
    const LayoutPlan armed = planLayout(inputs);
    ASSERT_TRUE(rectOf(armed, ID_CANCEL_RESTORE));
    EXPECT_EQ(*rectOf(armed, ID_CANCEL_RESTORE), (DipRect{622, 752, 220, 29}));
}

TEST(Layout, RetrySaveFollowsUnsavedChangesInEverySection)
{
    for (int section = 0; section < SECTION_COUNT; ++section) {
        LayoutInputs inputs = inSection(static_cast<Section>(section));
        EXPECT_FALSE(shows(planLayout(inputs), ID_RETRY_SAVE));
        inputs.unsavedChanges = true;
        const LayoutPlan plan = planLayout(inputs);
        ASSERT_TRUE(rectOf(plan, ID_RETRY_SAVE));
        EXPECT_EQ(*rectOf(plan, ID_RETRY_SAVE), (DipRect{1130, 783, 130, 28}));
    }
}

TEST(Layout, RefreshButtonIsDisabledWhileARefreshRuns)
{
    LayoutInputs inputs = inSection(Section::Discover);
    inputs.refreshInProgress = true;
    const ControlPlacement* refresh = findPlacement(planLayout(inputs), ID_REFRESH);
    ASSERT_TRUE(refresh);
    EXPECT_FALSE(refresh->enabled);
    EXPECT_EQ(refresh->rect, (DipRect{1074, 69, 180, 37}));
}

TEST(Layout, UndoIsEnabledOnlyWithASnapshot)
{
    LayoutInputs inputs = inSection(Section::Board);
    EXPECT_FALSE(findPlacement(planLayout(inputs), ID_UNDO_BOARD)->enabled);
    inputs.undoAvailable = true;
    EXPECT_TRUE(findPlacement(planLayout(inputs), ID_UNDO_BOARD)->enabled);
}

TEST(Layout, AtlasShowsRetryImageOnlyWhenNothingIsLoadedOrDecoding)
{
    LayoutInputs inputs = inSection(Section::Atlas);
    const LayoutPlan idle = planLayout(inputs);
    ASSERT_TRUE(rectOf(idle, ID_RETRY_IMAGE));
    EXPECT_EQ(*rectOf(idle, ID_RETRY_IMAGE), (DipRect{1094, 668, 162, 34}));
    ASSERT_TRUE(idle.atlasViewRect);
    EXPECT_EQ(*idle.atlasViewRect, (DipRect{224, 206, 1032, 442}));
    inputs.plateDecodeRunning = true;
    EXPECT_FALSE(shows(planLayout(inputs), ID_RETRY_IMAGE));
    inputs.plateDecodeRunning = false;
    inputs.plateLoaded = true;
    EXPECT_FALSE(shows(planLayout(inputs), ID_RETRY_IMAGE));
}

TEST(Layout, SectionButtonsStackFiftyFourDipApartEverywhere)
{
    for (int section = 0; section < SECTION_COUNT; ++section) {
        const LayoutPlan plan = planLayout(inSection(static_cast<Section>(section)));
        EXPECT_EQ(*rectOf(plan, ID_SECTION_DISCOVER), (DipRect{16, 176, 180, 43}));
        EXPECT_EQ(*rectOf(plan, ID_SECTION_PREFERENCES), (DipRect{16, 338, 180, 43}));
        EXPECT_EQ(*rectOf(plan, ID_HIDE), (DipRect{1150, 12, 78, 30}));
    }
}

TEST(Layout, FollowsTheClientSize)
{
    // At the minimum width of 1110 dip and 790 tall, Discover's panel is 476 wide (t), u = 220.
    LayoutInputs inputs = inSection(Section::Discover);
    inputs.width = 1110;
    inputs.height = 790;
    const LayoutPlan plan = planLayout(inputs);
    EXPECT_EQ(*rectOf(plan, ID_STORY_TEXT), (DipRect{624, 322, 448, 197}));
    EXPECT_EQ(*rectOf(plan, ID_SAVE_NOTE), (DipRect{852, 666, 220, 37}));
}
