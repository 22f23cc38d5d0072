// The real main window in the test process: saving with its failure state, the Retry-save button,
// refused hiding, arrow keys through the dialog manager, Tab navigation and the edit guards.
#include "live_window.h"

TEST_F(LiveWindow, SelectingAStoryFillsTheEditorsWithCrLfText)
{
    Story& second = library().stories[1];
    second.note = "line one\nline two";
    selectStory(app(), library(), second.id);
    EXPECT_EQ(textOf(control(ID_NOTE)), L"line one\r\nline two");
    EXPECT_FALSE(app().unsavedChanges) << "filling the editor is not an edit";
}

TEST_F(LiveWindow, FailedSaveKeepsTheChangeShowsRetryAndLogs)
{
    FileLock lock(app().libraryPath);
    ASSERT_NE(lock.handle, INVALID_HANDLE_VALUE);
    SetWindowTextW(control(ID_NOTE), L"kept in memory");
    EXPECT_FALSE(commitNote(app(), library()));

    EXPECT_TRUE(app().unsavedChanges);
    EXPECT_EQ(library().stories.front().note, "kept in memory");
    EXPECT_TRUE(IsWindowVisible(control(ID_RETRY_SAVE)));
    EXPECT_EQ(textOf(control(ID_RETRY_SAVE)), L"Retry save");
    EXPECT_TRUE(app().statusIsError);
    EXPECT_EQ(app().statusText, UiText(UiStringKey::SaveFailed));
    EXPECT_NE(activityLog().find(" SAVE_FAILED"), std::string::npos);
}

TEST_F(LiveWindow, RetrySaveWritesOnceSoTheBackupKeepsThePreviousLibrary)
{
    // On disk: library.json says "second", its backup "first".
    library().stories.front().note = "first";
    ASSERT_TRUE(storeLibrary(library(), app().libraryPath));
    library().stories.front().note = "second";
    ASSERT_TRUE(storeLibrary(library(), app().libraryPath));
    app().selectedStoryId.clear();
    selectStory(app(), library(), library().stories.front().id);

    {
        FileLock lock(app().libraryPath);
        SetWindowTextW(control(ID_NOTE), L"third");
        ASSERT_FALSE(commitNote(app(), library()));
    }
    dispatchCommand(*session, ID_RETRY_SAVE);

    EXPECT_FALSE(app().unsavedChanges);
    EXPECT_FALSE(app().statusIsError);
    EXPECT_EQ(app().statusText, UiText(UiStringKey::SavedLocally));
    EXPECT_FALSE(IsWindowVisible(control(ID_RETRY_SAVE)));
    EXPECT_EQ(readLibraryFile(app().libraryPath).stories.front().note, "third");
    EXPECT_EQ(readLibraryFile(app().libraryPath + L".bak").stories.front().note, "second");
}

TEST_F(LiveWindow, RetrySaveAlsoSavesWhenTheNoteEditorIsHidden)
{
    selectSection(app(), library(), Section::Preferences);
    {
        FileLock lock(app().libraryPath);
        dispatchCommand(*session, ID_NOTIFY);
        ASSERT_TRUE(app().unsavedChanges);
    }
    dispatchCommand(*session, ID_RETRY_SAVE);
    EXPECT_FALSE(app().unsavedChanges);
    EXPECT_TRUE(readLibraryFile(app().libraryPath).settings.notifications);
}

TEST_F(LiveWindow, ClosingIsRefusedWhileChangesAreUnsaved)
{
    FileLock lock(app().libraryPath);
    SetWindowTextW(control(ID_NOTE), L"unsaved");
    SendMessageW(app().mainWindow, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindowVisible(app().mainWindow));
    EXPECT_TRUE(app().unsavedChanges);
    EXPECT_EQ(app().statusText, UiText(UiStringKey::SaveFailed));
}

TEST_F(LiveWindow, QuitWithUnsavedChangesShowsTheWindowInsteadOfEnding)
{
    FileLock lock(app().libraryPath);
    SetWindowTextW(control(ID_NOTE), L"unsaved");
    requestQuit(app(), library());
    EXPECT_TRUE(IsWindow(app().mainWindow));
    EXPECT_TRUE(IsWindowVisible(app().mainWindow));
    EXPECT_FALSE(app().shuttingDown.load());
}

TEST_F(LiveWindow, ClosingHidesToTheTrayWhenEverythingIsSaved)
{
    if (!app().trayIconAdded)
        GTEST_SKIP() << "no notification area in this session";
    SendMessageW(app().mainWindow, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(app().mainWindow));
    EXPECT_TRUE(IsWindow(app().mainWindow));
    showFromTray(app());
    EXPECT_TRUE(IsWindowVisible(app().mainWindow));
}

TEST_F(LiveWindow, WithoutANotificationAreaClosingKeepsTheWindowWithTheHint)
{
    app().trayIconAdded = false;
    SendMessageW(app().mainWindow, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindowVisible(app().mainWindow));
    EXPECT_TRUE(app().statusIsError);
    EXPECT_EQ(app().statusText, L"The notification area is unavailable. Use Quit to close Kestrune.");
}

TEST_F(LiveWindow, DownArrowOnAFocusedButtonSelectsTheNextStory)
{
    SetFocus(control(ID_SECTION_DISCOVER));
    ASSERT_EQ(GetFocus(), control(ID_SECTION_DISCOVER));
    press(VK_DOWN);
    EXPECT_EQ(app().selectedStoryId, library().stories[1].id);
    EXPECT_EQ(GetFocus(), control(ID_SECTION_DISCOVER)) << "the arrow must not move the focus";
    press(VK_DOWN);
    EXPECT_EQ(app().selectedStoryId, library().stories[2].id);
    // The key asks for (2 - 1) * 123; the four seed rows fit the list, so the next paint clamps it.
    UpdateWindow(app().mainWindow);
    EXPECT_EQ(app().listScrollOffset, 0);
    press(VK_UP);
    EXPECT_EQ(app().selectedStoryId, library().stories[1].id);
}

TEST_F(LiveWindow, DownArrowWithTheMainWindowFocusedSelectsTheNextStory)
{
    SetFocus(app().mainWindow);
    press(VK_DOWN);
    EXPECT_EQ(app().selectedStoryId, library().stories[1].id);
}

TEST_F(LiveWindow, ArrowsOutsideDiscoverChangeNothing)
{
    selectSection(app(), library(), Section::Board);
    SetFocus(control(ID_SECTION_BOARD));
    press(VK_DOWN);
    EXPECT_EQ(app().selectedStoryId, library().stories[0].id);
}

TEST_F(LiveWindow, TabStillMovesTheFocusToTheNextControl)
{
    SetFocus(control(ID_SECTION_DISCOVER));
    press(VK_TAB);
    EXPECT_EQ(GetFocus(), control(ID_SECTION_BOARD));
}

TEST_F(LiveWindow, EscapeLeavesLinkModeBeforeItHides)
{
    app().linkMode = true;
    press(VK_ESCAPE);
    EXPECT_FALSE(app().linkMode);
    EXPECT_TRUE(IsWindowVisible(app().mainWindow));
}

TEST_F(LiveWindow, PreferencesTurnsTheCrossIntoQuitAndTheLicencesPageTurnsItBack)
{
    dispatchCommand(*session, ID_SECTION_PREFERENCES);
    EXPECT_EQ(textOf(control(ID_CLOSE)), L"Quit Kestrune");
    RECT rect{};
    GetWindowRect(control(ID_CLOSE), &rect);
    MapWindowPoints(HWND_DESKTOP, app().mainWindow, reinterpret_cast<POINT*>(&rect), 2);
    const PixelRect expected =
        toDevicePixels({app().clientWidthDip - 226, app().clientHeightDip - 112, 200, 36}, app().dpiScale);
    EXPECT_EQ(rect.left, expected.left);
    EXPECT_EQ(rect.top, expected.top);

    dispatchCommand(*session, ID_LICENCES);
    EXPECT_EQ(textOf(control(ID_CLOSE)), L"\u00D7");
    EXPECT_TRUE(IsWindowVisible(control(ID_LICENCES_TEXT)));
    EXPECT_FALSE(IsWindowVisible(control(ID_HOURLY)));
    EXPECT_EQ(textOf(control(ID_LICENCES)), UiText(UiStringKey::Close));

    dispatchCommand(*session, ID_SECTION_DISCOVER);
    dispatchCommand(*session, ID_SECTION_PREFERENCES);
    EXPECT_TRUE(IsWindowVisible(control(ID_HOURLY))) << "a section change closes the licences page";
}

TEST_F(LiveWindow, SwitchLabelsShowTheirState)
{
    dispatchCommand(*session, ID_SECTION_PREFERENCES);
    ASSERT_FALSE(library().settings.automatic);
    EXPECT_EQ(textOf(control(ID_HOURLY)), std::wstring(L"\u25CB  ") + UiText(UiStringKey::CheckHourly));
    dispatchCommand(*session, ID_NOTIFY);
    EXPECT_EQ(textOf(control(ID_NOTIFY)), std::wstring(L"\u25CF  ") + UiText(UiStringKey::NotifyNewStories));
    EXPECT_TRUE(readLibraryFile(app().libraryPath).settings.notifications);
}

TEST_F(LiveWindow, TypingInTheNoteShowsUnsavedAndTheTimerSavesIt)
{
    HWND editor = control(ID_NOTE);
    ASSERT_EQ(textOf(editor), L"");
    SendMessageW(editor, WM_CHAR, L'x', 1);
    EXPECT_TRUE(app().unsavedChanges);
    EXPECT_EQ(app().statusText, UiText(UiStringKey::UnsavedChanges));
    SendMessageW(app().mainWindow, WM_TIMER, TIMER_NOTE_SAVE, 0);
    EXPECT_FALSE(app().unsavedChanges);
    EXPECT_EQ(readLibraryFile(app().libraryPath).stories.front().note, "x");
}

TEST_F(LiveWindow, NoteEditorRefusesCyrillicButTakesUmlauts)
{
    HWND editor = control(ID_NOTE);
    SendMessageW(editor, WM_CHAR, 0x0416, 1);
    EXPECT_EQ(textOf(editor), L"");
    EXPECT_TRUE(app().statusIsError);
    EXPECT_EQ(app().statusText, UiText(UiStringKey::TextNotSupported));
    SendMessageW(editor, WM_CHAR, L'\u00E4', 1);
    EXPECT_EQ(textOf(editor), L"\u00E4");
}

TEST_F(LiveWindow, StoryTextCannotBeTypedInto)
{
    HWND text = control(ID_STORY_TEXT);
    const std::wstring before = textOf(text);
    SendMessageW(text, EM_SETSEL, 0, 0);
    SendMessageW(text, WM_CHAR, L'q', 1);
    SendMessageW(text, WM_KEYDOWN, VK_DELETE, 1);
    EXPECT_EQ(textOf(text), before);
}

TEST_F(LiveWindow, PasteThatWouldPassTheLimitIsRefused)
{
    HWND editor = control(ID_NOTE);
    SetWindowTextW(editor, std::wstring(2395, L'n').c_str());
    SendMessageW(editor, EM_SETSEL, 2395, 2395);
    if (!putOnClipboard(L"0123456789"))
        GTEST_SKIP() << "no clipboard in this session";
    SendMessageW(editor, WM_PASTE, 0, 0);
    EXPECT_EQ(GetWindowTextLengthW(editor), 2395);
    EXPECT_EQ(app().statusText, UiText(UiStringKey::TextNotSupported));

    ASSERT_TRUE(putOnClipboard(L"01234"));
    SendMessageW(editor, WM_PASTE, 0, 0);
    EXPECT_EQ(GetWindowTextLengthW(editor), 2400);
}

TEST_F(LiveWindow, CaptionBandDragsTheWindow)
{
    RECT client{};
    GetClientRect(app().mainWindow, &client);
    POINT top{100, 10}, body{100, 300}, buttons{client.right - 20, 10};
    for (POINT* p : {&top, &body, &buttons})
        ClientToScreen(app().mainWindow, p);
    const auto hit = [this](POINT p) {
        return SendMessageW(app().mainWindow, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    };
    EXPECT_EQ(hit(top), HTCAPTION);
    EXPECT_EQ(hit(body), HTCLIENT);
    EXPECT_EQ(hit(buttons), HTCLIENT);
}

TEST_F(LiveWindow, SpaceOnAFocusedButtonIsNotTakenAsTheAmpersandMnemonicOfAnother)
{
    dispatchCommand(*session, ID_SECTION_PREFERENCES);
    ASSERT_EQ(textOf(control(ID_LICENCES)), L"Licenses & credits");
    SetFocus(control(ID_EXPORT));
    MSG message{control(ID_EXPORT), WM_CHAR, L' ', 1, 0, {}};
    processQueuedMessage(*session, message);
    pump();
    EXPECT_FALSE(app().licencesShown);
    SetFocus(app().mainWindow);
    message.hwnd = app().mainWindow;
    processQueuedMessage(*session, message);
    pump();
    EXPECT_FALSE(app().licencesShown);
}

TEST_F(LiveWindow, SpaceStillClicksTheFocusedButton)
{
    dispatchCommand(*session, ID_SECTION_PREFERENCES);
    ASSERT_FALSE(library().settings.notifications);
    SetFocus(control(ID_NOTIFY));
    for (UINT message : {WM_KEYDOWN, WM_CHAR, WM_KEYUP}) {
        MSG queued{control(ID_NOTIFY), message, message == WM_CHAR ? WPARAM(L' ') : WPARAM(VK_SPACE),
                   message == WM_KEYUP ? LPARAM(0xC0000001) : LPARAM(1), 0, {}};
        processQueuedMessage(*session, queued);
    }
    pump();
    EXPECT_TRUE(library().settings.notifications);
    EXPECT_FALSE(app().licencesShown);
}

namespace {

// Ctrl held down as GetKeyState reports it on this thread.
struct ControlKeyDown {
    BYTE saved[256] = {};
    ControlKeyDown()
    {
        GetKeyboardState(saved);
        BYTE state[256];
        std::copy(std::begin(saved), std::end(saved), state);
        state[VK_CONTROL] = 0x80;
        SetKeyboardState(state);
    }
    ~ControlKeyDown() { SetKeyboardState(saved); }
};

}  // namespace

TEST_F(LiveWindow, CtrlDigitsSwitchSectionsAndCtrlFFocusesTheSearchBox)
{
    ControlKeyDown ctrl;
    press('2');
    EXPECT_EQ(app().currentSection, Section::Board);
    press('4');
    EXPECT_EQ(app().currentSection, Section::Preferences);
    press('F');
    EXPECT_EQ(app().currentSection, Section::Discover);
    EXPECT_EQ(GetFocus(), control(ID_SEARCH));
}

TEST_F(LiveWindow, CtrlSSavesTheNoteAndSaysSo)
{
    SetWindowTextW(control(ID_NOTE), L"saved by shortcut");
    {
        ControlKeyDown ctrl;
        press('S');
    }
    EXPECT_EQ(app().statusText, UiText(UiStringKey::NoteSaved));
    EXPECT_EQ(readLibraryFile(app().libraryPath).stories.front().note, "saved by shortcut");
}

TEST_F(LiveWindow, MinimisingWithoutANotificationAreaLeavesTheWindowOnScreen)
{
    app().trayIconAdded = false;
    ShowWindow(app().mainWindow, SW_MINIMIZE);
    pump();
    EXPECT_TRUE(IsWindowVisible(app().mainWindow));
    EXPECT_FALSE(IsIconic(app().mainWindow));
    EXPECT_EQ(app().statusText, L"The notification area is unavailable. Use Quit to close Kestrune.");
}

TEST_F(LiveWindow, EndOfSessionIsRefusedWhileChangesAreUnsaved)
{
    EXPECT_EQ(SendMessageW(app().mainWindow, WM_QUERYENDSESSION, 0, 0), TRUE);
    FileLock lock(app().libraryPath);
    SetWindowTextW(control(ID_NOTE), L"unsaved");
    EXPECT_EQ(SendMessageW(app().mainWindow, WM_QUERYENDSESSION, 0, 0), FALSE);
}

TEST_F(LiveWindow, QuickSecondClickIsAClickExceptOnRestore)
{
    const auto sendButton = [this](ControlId id, UINT code) {
        SendMessageW(app().mainWindow, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control(id)));
        pump();
    };
    ASSERT_FALSE(library().stories.front().saved);
    sendButton(ID_PIN, BN_DOUBLECLICKED);
    EXPECT_TRUE(library().stories.front().saved);

    // A backup exists once the pin was saved; Restore arms on one click and a double click never
    // restores on the same gesture.
    selectSection(app(), library(), Section::Preferences);
    sendButton(ID_RESTORE, BN_CLICKED);
    ASSERT_TRUE(app().restoreArmed);
    sendButton(ID_RESTORE, BN_DOUBLECLICKED);
    EXPECT_TRUE(app().restoreArmed);
    EXPECT_TRUE(library().stories.front().saved);
    app().restoreArmed = false;
}

TEST_F(LiveWindow, TaskbarCreatedWhileTheIconStillExistsKeepsIt)
{
    if (!trayAvailable())
        GTEST_SKIP() << "no notification area in this session";
    SendMessageW(app().mainWindow, app().taskbarCreatedMessage, 0, 0);
    EXPECT_TRUE(app().trayIconAdded) << "a failed add of an existing icon is not a missing notification area";
}

TEST_F(LiveWindow, NoteWithParagraphsIsNeitherRefusedNorRewrittenWhenTheSelectionMoves)
{
    // Near the limit, the editor's CR LF would take the note past it.
    Story& second = library().stories[1];
    std::string nearLimit;
    while (nearLimit.size() + 20 <= NOTE_LIMIT)
        nearLimit += "paragraph of text.\n";
    second.note = nearLimit;
    library().stories[2].note = "one\r\ntwo";  // written by another tool
    ASSERT_TRUE(saveLibrary(app(), library()));

    selectStory(app(), library(), second.id);
    selectStory(app(), library(), library().stories[2].id);
    EXPECT_EQ(app().selectedStoryId, library().stories[2].id) << "the selection was refused";
    EXPECT_NE(app().statusText, UiText(UiStringKey::TextNotSupported));
    selectStory(app(), library(), library().stories[3].id);

    EXPECT_FALSE(app().unsavedChanges);
    const Library stored = readLibraryFile(app().libraryPath);
    EXPECT_EQ(stored.stories[1].note, nearLimit);
    EXPECT_EQ(stored.stories[2].note, "one\r\ntwo");

    selectStory(app(), library(), second.id);
    SetWindowTextW(control(ID_NOTE), L"edited\r\nnote");
    ASSERT_TRUE(commitNote(app(), library()));
    EXPECT_EQ(readLibraryFile(app().libraryPath).stories[1].note, "edited\nnote");
}

TEST_F(LiveWindow, LongStoryTextIsShownWholeCopiedWholeAndTabLeavesIt)
{
    // The largest body the library takes, with line breaks that the control doubles to CR LF.
    Story& story = library().stories[1];
    std::string body;
    while (body.size() + 60 <= BODY_LIMIT)
        body += std::string(58, 'w') + ".\n";
    story.body = body;
    selectStory(app(), library(), story.id);
    HWND text = control(ID_STORY_TEXT);
    const std::wstring shown = expandLineBreaks(utf8ToUtf16(body));
    ASSERT_GT(shown.size(), 24000u);
    EXPECT_EQ(GetWindowTextLengthW(text), static_cast<int>(shown.size()));

    SendMessageW(text, EM_SETSEL, 0, -1);
    if (putOnClipboard(L"-")) {
        SendMessageW(text, WM_COPY, 0, 0);
        std::wstring copied;
        if (OpenClipboard(nullptr)) {
            if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
                copied = static_cast<const wchar_t*>(GlobalLock(data));
                GlobalUnlock(data);
            }
            CloseClipboard();
        }
        EXPECT_EQ(copied, shown);
    }

    SetFocus(text);
    press(VK_TAB);
    EXPECT_NE(GetFocus(), text) << "Tab stayed in the story text";
}
