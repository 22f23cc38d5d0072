// The real Kestrune.exe driven through its window in UI test mode: start-up, sections, keys, edits,
// saving and the save-failure state, the second instance, the tray and quitting.
#include "ui_driver.h"

#include "locale/locale.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using namespace std::chrono_literals;
using ui::Program;

namespace {

constexpr int SEARCH_BOX = 200, STORY_TEXT = 201, NOTE_EDITOR = 202, LICENCES_TEXT = 203;
constexpr int CAPTION_HIDE = 110, CLOSE_OR_QUIT = 111, REFRESH = 120, PIN = 121, SAVE_NOTE = 123;
constexpr int RETRY_SAVE = 166, LICENCES = 167, CONNECT = 124, PLATE_0 = 140, HOURLY = 160;

std::wstring english(UiStringKey key)
{
    return uiTextIn(key, UiLanguage::English);
}

// Each test starts from an empty UI-test data folder and a freshly started program.
class KestruneWindow : public testing::Test {
protected:
    void SetUp() override { ui::resetDataFolder(); }

    Program start(const std::wstring& arguments = L"--ui-test")
    {
        Program program = ui::launch(arguments);
        EXPECT_NE(program.window, nullptr) << "no main window appeared";
        return program;
    }


    static void clickTrayIcon(const Program& program)
    {
        PostMessageW(program.window, 0x8003 /* WM_APP_TRAY */, 1, WM_LBUTTONUP);
        ui::settle(program);
    }

    static void quit(Program& program)
    {
        ui::click(program, 103);  // Preferences: 111 reads "Quit Kestrune" there
        ui::click(program, CLOSE_OR_QUIT);
        EXPECT_EQ(ui::waitForExit(program, 20s), 0u);
    }
};

}  // namespace

TEST_F(KestruneWindow, OpensCentredInTheWorkAreaWithTheSeedLibrary)
{
    Program program = start();
    ASSERT_NE(program.window, nullptr);

    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int dpi = static_cast<int>(GetDpiForSystem());
    const int workWidth = work.right - work.left, workHeight = work.bottom - work.top;
    const int width = std::min(workWidth - 20, dpi * 1280 / 96);
    const int height = std::min(workHeight - 20, dpi * 850 / 96);
    RECT rect{};
    GetWindowRect(program.window, &rect);
    EXPECT_EQ(rect.right - rect.left, width);
    EXPECT_EQ(rect.bottom - rect.top, height);
    EXPECT_EQ(rect.left, work.left + (workWidth - width) / 2);
    EXPECT_EQ(rect.top, work.top + (workHeight - height) / 2);

    const ui::State state = ui::queryState(program);
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::OfflineCollectionReady));
    EXPECT_TRUE(ui::fileExists(ui::dataFile(L"library.json")));
    EXPECT_FALSE(ui::fileExists(ui::dataFile(L"library.json.bak")));
    EXPECT_TRUE(ui::saveScreenshot(program, L"shell-first-start-en"));
    quit(program);
}

TEST_F(KestruneWindow, PlacesControlsByTheLayoutTablesAt96Dpi)
{
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    if (GetDpiForWindow(program.window) != 96)
        GTEST_SKIP() << "the display is not at 96 dpi";
    ui::resizeClient(program, 1280, 820);

    const RECT story = ui::clientRectOf(program, STORY_TEXT);
    EXPECT_EQ(story.left, 624);
    EXPECT_EQ(story.right - story.left, 618);
    EXPECT_EQ(story.top, 322);
    EXPECT_EQ(story.bottom - story.top, 227);
    const RECT note = ui::clientRectOf(program, NOTE_EDITOR);
    EXPECT_EQ(note.top, 592);
    EXPECT_EQ(note.bottom - note.top, 90);
    const RECT search = ui::clientRectOf(program, SEARCH_BOX);
    EXPECT_EQ(search.left, 234);
    EXPECT_EQ(search.top, 162);
    EXPECT_EQ(search.right - search.left, 346);
    const RECT refresh = ui::clientRectOf(program, REFRESH);
    EXPECT_EQ(refresh.left, 1280 - 206);
    EXPECT_EQ(refresh.top, 69);
    const RECT close = ui::clientRectOf(program, CLOSE_OR_QUIT);
    EXPECT_EQ(close.left, 1280 - 46);
    EXPECT_EQ(close.right - close.left, 30);
    // u = (t - 36) / 2 with t = 1280 - 610 - 24: the two panel buttons share the row.
    const RECT pin = ui::clientRectOf(program, PIN);
    const RECT saveNote = ui::clientRectOf(program, SAVE_NOTE);
    EXPECT_EQ(pin.left, 624);
    EXPECT_EQ(pin.right - pin.left, 305);
    EXPECT_EQ(saveNote.left, 610 + 22 + 305);
    EXPECT_EQ(pin.top, 820 - 124);
    quit(program);
}

TEST_F(KestruneWindow, ShowsEachSectionsControlsOnly)
{
    Program program = start();
    ASSERT_NE(program.window, nullptr);

    EXPECT_TRUE(ui::isShown(program, SEARCH_BOX));
    EXPECT_TRUE(ui::isShown(program, REFRESH));
    EXPECT_FALSE(ui::isShown(program, CONNECT));

    ui::pressKey(program, program.window, '2', true);
    EXPECT_EQ(ui::queryState(program)["section"], "1");
    EXPECT_TRUE(ui::isShown(program, CONNECT));
    EXPECT_FALSE(ui::isShown(program, SEARCH_BOX));

    ui::pressKey(program, program.window, '3', true);
    EXPECT_EQ(ui::queryState(program)["section"], "2");
    EXPECT_TRUE(ui::isShown(program, PLATE_0));
    EXPECT_FALSE(ui::isShown(program, REFRESH));

    ui::pressKey(program, program.window, '4', true);
    EXPECT_EQ(ui::queryState(program)["section"], "3");
    EXPECT_TRUE(ui::isShown(program, HOURLY));
    EXPECT_EQ(ui::text(ui::control(program, CLOSE_OR_QUIT)), english(UiStringKey::QuitKestrune));
    EXPECT_FALSE(ui::isShown(program, LICENCES_TEXT));

    ui::click(program, LICENCES);
    EXPECT_TRUE(ui::isShown(program, LICENCES_TEXT));
    EXPECT_FALSE(ui::isShown(program, HOURLY));
    EXPECT_EQ(ui::text(ui::control(program, CLOSE_OR_QUIT)), L"\u00d7");
    EXPECT_EQ(ui::text(ui::control(program, LICENCES)), english(UiStringKey::Close));

    ui::pressKey(program, program.window, '1', true);
    EXPECT_EQ(ui::queryState(program)["section"], "0");
    EXPECT_TRUE(ui::isShown(program, SEARCH_BOX));
    quit(program);
}

TEST_F(KestruneWindow, AltGrTypesIntoTheNoteWhileCtrlAloneSwitchesSections)
{
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    const HWND note = ui::control(program, NOTE_EDITOR);
    // Spanish "@" (AltGr+2), "#" (AltGr+3); German "@" (AltGr+Q), "€" (AltGr+E).
    ui::pressAltGrKey(program, note, '2', L'@');
    ui::pressAltGrKey(program, note, '3', L'#');
    ui::pressAltGrKey(program, note, 'Q', L'@');
    ui::pressAltGrKey(program, note, 'E', L'\u20ac');
    ui::pressAltGrKey(program, note, 'S', L's');
    EXPECT_EQ(ui::queryState(program)["section"], "0");
    EXPECT_EQ(ui::text(note), L"@#@\u20acs");

    ui::pressKey(program, note, '2', true);
    EXPECT_EQ(ui::queryState(program)["section"], "1");
    quit(program);
}

TEST_F(KestruneWindow, SessionEndingWithoutBeingAskedStillSavesTheNoteJustTyped)
{
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    ui::typeText(ui::control(program, NOTE_EDITOR), L"tide log");
    ui::settle(program);
    PostMessageW(program.window, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(ui::waitForExit(program, 10s), 0u);
    EXPECT_NE(ui::readFileBytes(ui::dataFile(L"library.json")).find("tide log"), std::string::npos);
}

TEST_F(KestruneWindow, CtrlFFocusesTheSearchBoxWhereEnterInsertsNothingAndTabMovesOn)
{
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    ui::pressKey(program, program.window, '2', true);
    ui::pressKey(program, program.window, 'F', true);
    EXPECT_EQ(ui::queryState(program)["section"], "0");
    EXPECT_EQ(ui::focusedControlId(program), SEARCH_BOX);

    const HWND search = ui::control(program, SEARCH_BOX);
    ui::typeText(search, L"ab");
    ui::pressKey(program, search, VK_RETURN);
    PostMessageW(search, WM_CHAR, L'\r', 1);
    ui::settle(program);
    EXPECT_EQ(ui::text(search), L"ab");

    ui::pressKey(program, search, VK_TAB);
    EXPECT_NE(ui::focusedControlId(program), SEARCH_BOX);
    EXPECT_EQ(ui::text(search), L"ab");
    quit(program);
}

TEST_F(KestruneWindow, RefusesUnsupportedCharactersAndOverlongPastesInTheNote)
{
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    const HWND note = ui::control(program, NOTE_EDITOR);

    ui::typeText(note, L"\u00e4\u0410");
    ui::settle(program);
    EXPECT_EQ(ui::text(note), L"\u00e4");
    ui::State state = ui::queryState(program);
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::TextNotSupported));
    EXPECT_TRUE(state.flag("statusIsError"));

    SetWindowTextW(note, std::wstring(2395, L'n').c_str());
    const auto paste = [&](const std::wstring& text) {
        ASSERT_TRUE(OpenClipboard(nullptr));
        EmptyClipboard();
        const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
        memcpy(GlobalLock(memory), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        GlobalUnlock(memory);
        SetClipboardData(CF_UNICODETEXT, memory);
        CloseClipboard();
        SendMessageW(note, EM_SETSEL, 2395, 2395);
        PostMessageW(note, WM_PASTE, 0, 0);
        ui::settle(program);
    };
    paste(L"0123456789");
    EXPECT_EQ(ui::text(note).size(), 2395u);
    EXPECT_EQ(ui::queryState(program).wide("statusText"), english(UiStringKey::TextNotSupported));
    paste(L"01234");
    EXPECT_EQ(ui::text(note).size(), 2400u);
    quit(program);
}

TEST_F(KestruneWindow, TypingANoteShowsUnsavedChangesThenSavesShortlyAfter)
{
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    const std::string before = ui::readFileBytes(ui::dataFile(L"library.json"));
    ui::typeText(ui::control(program, NOTE_EDITOR), L"Dust lanes?");
    ui::settle(program);
    ui::State state = ui::queryState(program);
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::UnsavedChanges));
    EXPECT_TRUE(state.flag("unsavedChanges"));

    EXPECT_TRUE(ui::waitUntil(
        [&] { return ui::readFileBytes(ui::dataFile(L"library.json")).find("Dust lanes?") != std::string::npos; }, 5s));
    EXPECT_FALSE(ui::queryState(program).flag("unsavedChanges"));
    EXPECT_EQ(ui::readFileBytes(ui::dataFile(L"library.json.bak")), before);
    quit(program);
}

TEST_F(KestruneWindow, SecondInstanceHandsOverAndLeavesTheLibraryAlone)
{
    Program first = start();
    ASSERT_NE(first.window, nullptr);
    PostMessageW(first.window, WM_CLOSE, 0, 0);
    ui::settle(first);
    ASSERT_FALSE(IsWindowVisible(first.window));
    const std::string library = ui::readFileBytes(ui::dataFile(L"library.json"));

    Program second = ui::launch(L"--ui-test", false);
    EXPECT_EQ(ui::waitForExit(second, 20s), 0u);
    EXPECT_TRUE(ui::waitUntil([&] { return IsWindowVisible(first.window) != FALSE; }, 5s));
    EXPECT_EQ(ui::readFileBytes(ui::dataFile(L"library.json")), library);
    quit(first);
}

TEST_F(KestruneWindow, ClosingMinimisingAndEscapeHideToTheTray)
{
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    PostMessageW(program.window, WM_CLOSE, 0, 0);
    ui::settle(program);
    EXPECT_FALSE(IsWindowVisible(program.window));
    EXPECT_EQ(ui::waitForExit(program, 200ms), STILL_ACTIVE);

    clickTrayIcon(program);
    EXPECT_TRUE(IsWindowVisible(program.window));

    PostMessageW(program.window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ui::settle(program);
    EXPECT_FALSE(IsWindowVisible(program.window));

    clickTrayIcon(program);
    ASSERT_TRUE(IsWindowVisible(program.window));
    ui::pressKey(program, program.window, VK_ESCAPE);
    EXPECT_FALSE(IsWindowVisible(program.window));

    clickTrayIcon(program);
    ui::click(program, CAPTION_HIDE);
    EXPECT_FALSE(IsWindowVisible(program.window));
    clickTrayIcon(program);
    quit(program);
}

TEST_F(KestruneWindow, F5PressedTwiceStartsOneRefresh)
{
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    // Both presses are queued before the program handles either, as with a quick double press.
    PostMessageW(program.window, WM_KEYDOWN, VK_F5, 1);
    PostMessageW(program.window, WM_KEYDOWN, VK_F5, 1);
    ui::settle(program);
    // The sandbox has no route to the feeds, so the refresh ends quickly with both sources failing.
    EXPECT_TRUE(ui::waitUntil([&] { return !ui::queryState(program).flag("refreshInProgress"); }, 60s));
    const std::string log = ui::readFileBytes(ui::dataFile(L"activity.log"));
    std::size_t events = 0;
    for (const char* name : {"FEEDS_OK", "FEEDS_PARTIAL", "FEEDS_FAILED"})
        for (std::size_t at = log.find(name); at != std::string::npos; at = log.find(name, at + 1))
            ++events;
    EXPECT_EQ(events, 1u) << log;
    EXPECT_EQ(ui::text(ui::control(program, REFRESH)), english(UiStringKey::RefreshSources));
    quit(program);
}

TEST_F(KestruneWindow, SaveFailureKeepsTheWindowUntilARetrySucceeds)
{
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    const std::wstring libraryPath = ui::dataFile(L"library.json");
    const std::string before = ui::readFileBytes(libraryPath);
    HANDLE held = CreateFileW(libraryPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    ui::typeText(ui::control(program, NOTE_EDITOR), L"x");
    ui::click(program, SAVE_NOTE);
    ui::State state = ui::queryState(program);
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::SaveFailed));
    EXPECT_TRUE(state.flag("statusIsError"));
    EXPECT_TRUE(ui::isShown(program, RETRY_SAVE));
    EXPECT_TRUE(ui::saveScreenshot(program, L"shell-save-failure-en"));

    PostMessageW(program.window, WM_CLOSE, 0, 0);
    ui::settle(program);
    EXPECT_TRUE(IsWindowVisible(program.window));

    ShowWindow(program.window, SW_HIDE);  // as if hidden earlier: a refused quit must bring it back
    ui::settle(program);
    EXPECT_TRUE(ui::chooseTrayMenuEntry(program, 2));  // Open, Refresh, (separator), Quit
    EXPECT_EQ(ui::waitForExit(program, 500ms), STILL_ACTIVE);
    EXPECT_TRUE(ui::waitUntil([&] { return IsWindowVisible(program.window) != FALSE; }, 5s));

    CloseHandle(held);
    EXPECT_EQ(ui::readFileBytes(libraryPath), before);
    ui::click(program, RETRY_SAVE);
    state = ui::queryState(program);
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::SavedLocally));
    EXPECT_FALSE(ui::isShown(program, RETRY_SAVE));
    EXPECT_NE(ui::readFileBytes(libraryPath).find("\"note\": \"x\""), std::string::npos);
    // One write: the backup holds the library as it was before the failure.
    EXPECT_EQ(ui::readFileBytes(libraryPath + L".bak"), before);
    quit(program);
}

TEST_F(KestruneWindow, QuittingEndsWithCodeZeroAndLogsTheStopLast)
{
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    quit(program);
    const std::string log = ui::readFileBytes(ui::dataFile(L"activity.log"));
    ASSERT_GE(log.size(), 14u);
    EXPECT_EQ(log.substr(log.size() - 14), " APP_STOPPED\r\n");
    EXPECT_NE(log.find(" APP_STARTED\r\n"), std::string::npos);
}

TEST_F(KestruneWindow, ReportsEachOutcomeOfTheLoadChain)
{
    CreateDirectoryW(ui::uiDataFolder().c_str(), nullptr);
    {
        Program program = start();
        ASSERT_NE(program.window, nullptr);
        quit(program);
    }
    const std::wstring libraryPath = ui::dataFile(L"library.json");
    const std::string good = ui::readFileBytes(libraryPath);
    ASSERT_FALSE(good.empty());

    const auto write = [](const std::wstring& path, const std::string& bytes) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    };
    write(libraryPath, "{ damaged");
    write(libraryPath + L".bak", good);
    {
        Program program = start();
        ASSERT_NE(program.window, nullptr);
        EXPECT_EQ(ui::queryState(program).wide("statusText"), english(UiStringKey::RecoveredBackup));
        EXPECT_TRUE(ui::saveScreenshot(program, L"shell-load-recovered-en"));
        quit(program);
    }
    EXPECT_EQ(ui::readFileBytes(libraryPath), good);

    write(libraryPath, "{ damaged");
    write(libraryPath + L".bak", "[ also damaged");
    {
        Program program = start();
        ASSERT_NE(program.window, nullptr);
        EXPECT_EQ(ui::queryState(program).wide("statusText"), english(UiStringKey::RecoveryLibraryOpen));
        EXPECT_TRUE(ui::saveScreenshot(program, L"shell-load-recovery-en"));
        quit(program);
    }
    EXPECT_EQ(ui::readFileBytes(libraryPath), "{ damaged");
    EXPECT_EQ(ui::readFileBytes(libraryPath + L".bak"), "[ also damaged");
}

TEST_F(KestruneWindow, ScreenshotsInAllThreeLanguages)
{
    const struct {
        const wchar_t* arguments;
        const wchar_t* name;
        UiLanguage language;
    } runs[] = {
        {L"--ui-test", L"en", UiLanguage::English},
        {L"--ui-test-es", L"es", UiLanguage::Spanish},
        {L"--ui-test-de", L"de", UiLanguage::German},
    };
    for (const auto& run : runs) {
        ui::resetDataFolder();
        Program program = start(run.arguments);
        ASSERT_NE(program.window, nullptr);
        EXPECT_EQ(ui::text(ui::control(program, REFRESH)), uiTextIn(UiStringKey::RefreshSources, run.language));
        for (int section = 0; section < 4; ++section) {
            ui::click(program, 100 + section);
            EXPECT_TRUE(ui::saveScreenshot(program, std::wstring(L"shell-section") + static_cast<wchar_t>(L'1' + section)
                                                        + L"-" + run.name));
        }
        quit(program);
    }
}
