// The real Kestrune.exe in Preferences: the two switches, the board export and its failure, the
// two-step restore, the licences page, and screenshots of both pages in the three languages.
#include "ui_driver.h"

#include "locale/locale.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using ui::Program;

namespace {

constexpr int SECTION_DISCOVER = 100, SECTION_PREFERENCES = 103, CLOSE_OR_QUIT = 111;
constexpr int HOURLY = 160, NOTIFY = 161, EXPORT = 162, RESTORE = 164, CANCEL_RESTORE = 165, LICENCES = 167;
constexpr int LICENCES_TEXT = 203;

std::wstring english(UiStringKey key)
{
    return uiTextIn(key, UiLanguage::English);
}

std::size_t countOf(const std::string& text, const std::string& what)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

std::size_t refreshEvents()
{
    const std::string log = ui::readFileBytes(ui::dataFile(L"activity.log"));
    return countOf(log, "FEEDS_OK") + countOf(log, "FEEDS_PARTIAL") + countOf(log, "FEEDS_FAILED");
}

bool writeFile(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)
                 && written == bytes.size();
    CloseHandle(file);
    return ok;
}

// The export files in the data folder's exports folder, by name.
std::vector<std::wstring> exportFiles()
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(ui::dataFile(L"exports\\*.json").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

bool isExportName(const std::wstring& name)
{
    unsigned long long seconds = 0, millis = 0;
    wchar_t rest[16] = {};
    return swscanf(name.c_str(), L"Kestrune-board-%llu-%llu%15ls", &seconds, &millis, rest) == 3
        && std::wstring(rest) == L".json" && seconds > 1600000000ull;
}

// Story identity as the library file requires it: 64-bit FNV-1a of the URL, 16 hex digits.
std::string storyId(const std::string& url)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : url) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof(text), "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

const std::string URL_ONE = "https://www.nasa.gov/news-release/board-export-one/";
const std::string URL_TWO = "https://www.noaa.gov/news/board-export-two";
const std::string URL_LOOSE = "https://www.nasa.gov/news-release/board-export-loose/";

std::string storyJson(const std::string& url, const char* title, bool saved, double x)
{
    return "{\"asset\": -1, \"body\": \"Body of " + std::string(title) + "\", \"id\": \"" + storyId(url)
         + "\", \"note\": \"\", \"published\": 1700000000, \"saved\": " + (saved ? "true" : "false")
         + ", \"source\": \"NASA\", \"title\": \"" + title + "\", \"url\": \"" + url + "\", \"x\": "
         + std::to_string(x) + ", \"y\": 0.0}";
}

// Two pinned stories linked as Evidence, and one story that is not on the board.
std::string preparedLibrary()
{
    std::string a = storyId(URL_ONE), b = storyId(URL_TWO);
    if (b < a)
        std::swap(a, b);
    return "{\"automatic\": false, \"edges\": [{\"a\": \"" + a + "\", \"b\": \"" + b
         + "\", \"kind\": 1}], \"format\": \"Kestrune\", \"lastCheck\": 0, \"notifications\": false, \"stories\": ["
         + storyJson(URL_ONE, "Pinned one", true, 0.0) + ", " + storyJson(URL_LOOSE, "Loose story", false, 0.0) + ", "
         + storyJson(URL_TWO, "Pinned two", true, 335.0) + "], \"version\": 1}";
}

class PreferencesWindow : public testing::Test {
protected:
    void SetUp() override { ui::resetDataFolder(); }

    static Program startInPreferences(const std::wstring& arguments = L"--ui-test")
    {
        Program program = ui::launch(arguments);
        EXPECT_NE(program.window, nullptr) << "no main window appeared";
        if (program.window)
            ui::click(program, SECTION_PREFERENCES);
        return program;
    }

    static void prepareDataFolder() { CreateDirectoryW(ui::uiDataFolder().c_str(), nullptr); }


    static void quit(Program& program)
    {
        ui::click(program, SECTION_PREFERENCES);
        ui::click(program, CLOSE_OR_QUIT);
        EXPECT_EQ(ui::waitForExit(program, 20s), 0u);
    }
};

}  // namespace

TEST_F(PreferencesWindow, HourlySwitchSavesRefreshesOnceAndSchedulesAnHourAheadNotificationsDoNot)
{
    Program program = startInPreferences();
    ASSERT_NE(program.window, nullptr);
    EXPECT_EQ(ui::text(ui::control(program, HOURLY)), L"\u25CB  Check sources every hour");
    EXPECT_EQ(ui::text(ui::control(program, NOTIFY)), L"\u25CB  Notify when new stories arrive");
    ASSERT_EQ(refreshEvents(), 0u);

    ui::click(program, HOURLY);
    const ui::State state = ui::queryState(program);
    EXPECT_TRUE(state.flag("automatic"));
    const long long ahead = std::stoll(state["nextAutoCheck"]) - std::stoll(state["now"]);
    EXPECT_GE(ahead, 3595);
    EXPECT_LE(ahead, 3600);
    EXPECT_EQ(ui::text(ui::control(program, HOURLY)), L"\u25CF  Check sources every hour");
    EXPECT_NE(ui::readFileBytes(ui::dataFile(L"library.json")).find("\"automatic\": true"), std::string::npos);
    // The sandbox has no route to the feeds, so the refresh ends quickly with both sources failing.
    EXPECT_TRUE(ui::waitUntil([&] { return !ui::queryState(program).flag("refreshInProgress"); }, 60s));
    EXPECT_EQ(refreshEvents(), 1u) << "exactly one refresh starts at once";

    ui::click(program, NOTIFY);
    EXPECT_TRUE(ui::queryState(program).flag("notifications"));
    EXPECT_EQ(ui::text(ui::control(program, NOTIFY)), L"\u25CF  Notify when new stories arrive");
    EXPECT_NE(ui::readFileBytes(ui::dataFile(L"library.json")).find("\"notifications\": true"), std::string::npos);
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(ui::queryState(program).flag("refreshInProgress"));
    EXPECT_EQ(refreshEvents(), 1u) << "switching notifications must not refresh";
    quit(program);
}

TEST_F(PreferencesWindow, ExportFailsVisiblyWithAFileInTheWayThenWritesAnEmptyBoard)
{
    prepareDataFolder();
    ASSERT_TRUE(writeFile(ui::dataFile(L"exports"), "in the way"));
    Program program = startInPreferences();
    ASSERT_NE(program.window, nullptr);

    ui::click(program, EXPORT);
    ui::State state = ui::queryState(program);
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::ExportFailed));
    EXPECT_TRUE(state.flag("statusIsError"));
    EXPECT_EQ(ui::readFileBytes(ui::dataFile(L"activity.log")).find("BOARD_EXPORTED"), std::string::npos);
    EXPECT_EQ(ui::readFileBytes(ui::dataFile(L"exports")), "in the way");

    ASSERT_TRUE(DeleteFileW(ui::dataFile(L"exports").c_str()));
    ui::click(program, EXPORT);
    state = ui::queryState(program);
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::ExportSaved));
    EXPECT_FALSE(state.flag("statusIsError"));
    EXPECT_EQ(countOf(ui::readFileBytes(ui::dataFile(L"activity.log")), "BOARD_EXPORTED"), 1u);
    const std::vector<std::wstring> files = exportFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(isExportName(files[0])) << "unexpected name";
    const std::string bytes = ui::readFileBytes(ui::dataFile(L"exports\\" + files[0]));
    EXPECT_NE(bytes.find("\"stories\": []"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("\"edges\": []"), std::string::npos) << bytes;
    quit(program);
}

TEST_F(PreferencesWindow, ExportHoldsOnlyThePinnedStoriesAndTheirLinkAndReadsBack)
{
    prepareDataFolder();
    ASSERT_TRUE(writeFile(ui::dataFile(L"library.json"), preparedLibrary()));
    std::string exported;
    {
        Program program = startInPreferences();
        ASSERT_NE(program.window, nullptr);
        ASSERT_EQ(ui::queryState(program)["stories"], "3") << "the prepared library did not load";

        ui::click(program, EXPORT);
        EXPECT_EQ(ui::queryState(program).wide("statusText"), english(UiStringKey::ExportSaved));
        const std::vector<std::wstring> first = exportFiles();
        ASSERT_EQ(first.size(), 1u);
        exported = ui::readFileBytes(ui::dataFile(L"exports\\" + first[0]));
        EXPECT_EQ(countOf(exported, "\"id\": "), 2u);
        EXPECT_NE(exported.find(storyId(URL_ONE)), std::string::npos);
        EXPECT_NE(exported.find(storyId(URL_TWO)), std::string::npos);
        EXPECT_EQ(exported.find(storyId(URL_LOOSE)), std::string::npos) << "an unpinned story was exported";
        EXPECT_EQ(countOf(exported, "\"kind\": 1"), 1u);

        // Both commands are queued before the program handles either: well within one tick.
        PostMessageW(program.window, WM_COMMAND, MAKEWPARAM(EXPORT, BN_CLICKED), 0);
        PostMessageW(program.window, WM_COMMAND, MAKEWPARAM(EXPORT, BN_CLICKED), 0);
        ui::settle(program);
        EXPECT_EQ(exportFiles().size(), 3u) << "a quick second export replaced the first";
        EXPECT_EQ(countOf(ui::readFileBytes(ui::dataFile(L"activity.log")), "BOARD_EXPORTED"), 3u);
        EXPECT_EQ(ui::queryState(program)["stories"], "3") << "the export must not change the library";
        quit(program);
    }

    // The program's own reader opens the export as a library file.
    ui::resetDataFolder();
    prepareDataFolder();
    ASSERT_TRUE(writeFile(ui::dataFile(L"library.json"), exported));
    Program reopened = ui::launch(L"--ui-test");
    ASSERT_NE(reopened.window, nullptr);
    const ui::State state = ui::queryState(reopened);
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::OfflineCollectionReady));
    EXPECT_EQ(state["stories"], "2");
    EXPECT_EQ(state["pinned"], "2");
    EXPECT_EQ(state["links"], "1");
    quit(reopened);
}

TEST_F(PreferencesWindow, RestoreArmsCancelsRestoresAndSwapsBack)
{
    Program program = startInPreferences();
    ASSERT_NE(program.window, nullptr);
    // A first start has saved the seed collection without a backup.
    ui::click(program, RESTORE);
    ui::click(program, RESTORE);
    ui::State state = ui::queryState(program);
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::NoReadableBackup));
    EXPECT_TRUE(state.flag("statusIsError"));

    ui::click(program, NOTIFY);  // saves: the seed with notifications off becomes the backup
    ASSERT_TRUE(ui::fileExists(ui::dataFile(L"library.json.bak")));
    EXPECT_FALSE(ui::isShown(program, CANCEL_RESTORE));

    ui::click(program, RESTORE);
    state = ui::queryState(program);
    EXPECT_TRUE(state.flag("restoreArmed"));
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::RestoreConfirm));
    EXPECT_FALSE(state.flag("statusIsError"));
    EXPECT_TRUE(ui::isShown(program, CANCEL_RESTORE));
    EXPECT_EQ(ui::text(ui::control(program, CANCEL_RESTORE)), L"Cancel restore");

    ui::click(program, CANCEL_RESTORE);
    state = ui::queryState(program);
    EXPECT_FALSE(state.flag("restoreArmed"));
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::Ready));
    EXPECT_FALSE(ui::isShown(program, CANCEL_RESTORE));

    ui::click(program, RESTORE);
    ui::click(program, SECTION_DISCOVER);
    EXPECT_FALSE(ui::queryState(program).flag("restoreArmed")) << "a section switch must disarm";
    ui::click(program, SECTION_PREFERENCES);
    ui::click(program, RESTORE);
    state = ui::queryState(program);
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::RestoreConfirm)) << "asks again";
    EXPECT_TRUE(state.flag("notifications"));

    ui::click(program, RESTORE);
    state = ui::queryState(program);
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::BackupRestored));
    EXPECT_FALSE(state.flag("notifications"));
    EXPECT_FALSE(state.flag("restoreArmed"));
    EXPECT_FALSE(ui::isShown(program, CANCEL_RESTORE));
    EXPECT_NE(ui::readFileBytes(ui::dataFile(L"library.json")).find("\"notifications\": false"), std::string::npos);

    ui::click(program, RESTORE);
    ui::click(program, RESTORE);
    state = ui::queryState(program);
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::BackupRestored));
    EXPECT_TRUE(state.flag("notifications")) << "a second restore swaps back";
    quit(program);
}

TEST_F(PreferencesWindow, LicencesPageShowsNoticesThenLicenceScrollsAndRefusesTyping)
{
    Program program = startInPreferences();
    ASSERT_NE(program.window, nullptr);
    EXPECT_EQ(ui::text(ui::control(program, LICENCES)), L"Licenses & credits");
    EXPECT_FALSE(ui::isShown(program, LICENCES_TEXT));

    ui::click(program, LICENCES);
    EXPECT_TRUE(ui::queryState(program).flag("licencesShown"));
    EXPECT_TRUE(ui::isShown(program, LICENCES_TEXT));
    EXPECT_EQ(ui::text(ui::control(program, LICENCES)), L"Close");
    for (int id : {HOURLY, NOTIFY, EXPORT, 163, RESTORE})
        EXPECT_FALSE(ui::isShown(program, id)) << id;
    EXPECT_EQ(ui::text(ui::control(program, CLOSE_OR_QUIT)), L"\u00D7") << "the caption close button is back";

    const HWND box = ui::control(program, LICENCES_TEXT);
    const std::wstring text = ui::text(box);
    EXPECT_EQ(text.rfind(L"KESTRUNE NOTICES AND CREDITS\r\n", 0), 0u) << "the notices heading comes first";
    const std::size_t licence =
        text.find(L"program.\r\n\r\n\r\nMIT License \r\n\r\nCopyright (c) 2013-2022 Niels Lohmann\r\n");
    EXPECT_NE(licence, std::wstring::npos) << "the licence follows the notices after an empty line";
    EXPECT_NE(text.find(L"\r\nnlohmann/json 3.11.2\r\n"), std::wstring::npos);
    EXPECT_EQ(text.find(L'\n', 0), text.find(L"\r\n", 0) + 1) << "line feeds come as CR LF";
    EXPECT_TRUE(text.ends_with(L"SOFTWARE.\r\n\r\n\r\n"));

    const LONG style = GetWindowLongW(box, GWL_STYLE);
    EXPECT_NE(style & ES_READONLY, 0);
    EXPECT_NE(style & WS_VSCROLL, 0);
    SendMessageW(box, WM_VSCROLL, SB_PAGEDOWN, 0);
    EXPECT_GT(SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0), 0) << "the text does not scroll";

    SendMessageW(box, EM_SETSEL, 0, 0);
    ui::typeText(box, L"typed");
    PostMessageW(box, WM_KEYDOWN, VK_DELETE, 0);
    PostMessageW(box, WM_CHAR, 8, 0);
    ui::settle(program);
    EXPECT_EQ(ui::text(box), text) << "typing changed the licences text";

    ui::click(program, SECTION_DISCOVER);
    ui::click(program, SECTION_PREFERENCES);
    EXPECT_FALSE(ui::queryState(program).flag("licencesShown"));
    EXPECT_FALSE(ui::isShown(program, LICENCES_TEXT));
    EXPECT_TRUE(ui::isShown(program, HOURLY));
    EXPECT_EQ(ui::text(ui::control(program, CLOSE_OR_QUIT)), english(UiStringKey::QuitKestrune));
    quit(program);
}

TEST_F(PreferencesWindow, BothPagesAtTheMinimumWidthInTheThreeLanguages)
{
    struct Run {
        const wchar_t* arguments;
        const wchar_t* suffix;
        const wchar_t* licencesLabel;
    };
    for (const Run& run : {Run{L"--ui-test", L"en", L"Licenses & credits"},
                           Run{L"--ui-test-es", L"es", L"Licencias y cr\u00E9ditos"},
                           Run{L"--ui-test-de", L"de", L"Lizenzen und Bildnachweise"}}) {
        SCOPED_TRACE(testing::Message() << "language " << static_cast<char>(run.suffix[0]) << static_cast<char>(run.suffix[1]));
        ui::resetDataFolder();
        Program program = startInPreferences(run.arguments);
        ASSERT_NE(program.window, nullptr);
        if (GetDpiForWindow(program.window) == 96)
            ui::resizeClient(program, 1110, 790);
        EXPECT_EQ(ui::text(ui::control(program, LICENCES)), run.licencesLabel);
        EXPECT_TRUE(ui::saveScreenshot(program, std::wstring(L"preferences-") + run.suffix));
        ui::click(program, LICENCES);
        EXPECT_TRUE(ui::saveScreenshot(program, std::wstring(L"preferences-licences-") + run.suffix));
        ui::click(program, LICENCES);
        quit(program);
    }
}
