// What the shell does with a view's request on the real main window: a note that cannot be saved
// ends the request before the selection and the drag, and the saved-status text waits for the save.
#include "live_window.h"

TEST_F(LiveWindow, ANoteThatCannotBeSavedEndsTheRequestBeforeTheSelectionAndTheDrag)
{
    const std::string first = library().stories[0].id, second = library().stories[1].id;
    // A press on the selected card: selecting it again commits nothing, so the request commits first.
    const ViewRequest pressOnSelected{.commitNote = true, .selectStory = first, .drag = DragStart{first, 300, 300}};
    {
        FileLock lock(app().libraryPath);
        SetWindowTextW(control(ID_NOTE), L"typed before the press");
        carryOut(app(), library(), pressOnSelected);
        EXPECT_FALSE(app().dragging);
        EXPECT_EQ(app().statusText, UiText(UiStringKey::SaveFailed));
        // A selection that does not take (its own commit fails) ends the request too.
        carryOut(app(), library(), ViewRequest{.selectStory = second, .drag = DragStart{second, 300, 300}});
        EXPECT_EQ(app().selectedStoryId, first);
        EXPECT_FALSE(app().dragging);
    }

    // Once the note is saved, the same press starts the drag.
    carryOut(app(), library(), pressOnSelected);
    EXPECT_EQ(library().stories[0].note, "typed before the press");
    EXPECT_FALSE(app().unsavedChanges);
    EXPECT_TRUE(app().dragging);
    EXPECT_EQ(app().draggedStoryId, first);
    EXPECT_EQ(GetCapture(), app().mainWindow);
    ReleaseCapture();
    pump();
    EXPECT_FALSE(app().dragging);
}

TEST_F(LiveWindow, TheSavedStatusShowsOnlyWhenTheSaveSucceeded)
{
    const ViewRequest connect{.save = true, .savedStatus = UiStringKey::ConnectionSaved, .relayout = true};
    {
        FileLock lock(app().libraryPath);
        carryOut(app(), library(), connect);
    }
    EXPECT_EQ(app().statusText, UiText(UiStringKey::SaveFailed));
    EXPECT_TRUE(app().unsavedChanges);
    EXPECT_TRUE(IsWindowVisible(control(ID_RETRY_SAVE)));

    carryOut(app(), library(), connect);
    EXPECT_EQ(app().statusText, UiText(UiStringKey::ConnectionSaved));
    EXPECT_FALSE(app().statusIsError);
    EXPECT_FALSE(app().unsavedChanges);
}
