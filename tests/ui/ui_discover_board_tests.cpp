// The real Kestrune.exe driven in its Discover list and on its Story board: row clicks, pin and
// unpin, card clicks and drags, connecting, clearing and undoing; with screenshots of each view.
#include "ui_driver.h"

#include "locale/locale.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using ui::Program;

namespace {

constexpr int SECTION_BOARD = 101, PIN = 121, CONNECT = 124, CLEAR_LINKS = 126, UNDO_BOARD = 127;
constexpr int LINK_KIND = 128, SEARCH_BOX = 200, STORY_TEXT = 201, NOTE_EDITOR = 202;

std::wstring english(UiStringKey key)
{
    return uiTextIn(key, UiLanguage::English);
}

// The story identity, worked out here on its own: 64-bit FNV-1a of the URL as 16 hex digits.
std::string idOf(const std::string& url)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : url) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    char text[17] = {};
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

struct TestStory {
    std::string url, title, body, note, source = "NASA";
    std::int64_t published = 1700000000;
    bool saved = false;
    double x = 0, y = 0;
    std::string id() const { return idOf(url); }
};

struct TestLink {
    std::string a, b;
    int kind = 0;
};

std::string number(double value)
{
    char text[40] = {};
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// A library file written by hand in the program's format (texts here need no JSON escapes).
void writeLibrary(const std::vector<TestStory>& stories, std::vector<TestLink> links)
{
    std::string text = "{\"automatic\": false, \"notifications\": false, \"format\": \"Kestrune\", \"version\": 1, "
                       "\"lastCheck\": 0, \"stories\": [";
    for (std::size_t i = 0; i < stories.size(); ++i) {
        const TestStory& s = stories[i];
        text += (i ? ",\n" : "\n");
        text += "{\"id\": \"" + s.id() + "\", \"title\": \"" + s.title + "\", \"body\": \"" + s.body +
                "\", \"url\": \"" + s.url + "\", \"source\": \"" + s.source + "\", \"note\": \"" + s.note +
                "\", \"published\": " + std::to_string(s.published) + ", \"saved\": " + (s.saved ? "true" : "false") +
                ", \"x\": " + number(s.x) + ", \"y\": " + number(s.y) + ", \"asset\": -1}";
    }
    text += "], \"edges\": [";
    for (std::size_t i = 0; i < links.size(); ++i) {
        TestLink& l = links[i];
        if (l.b < l.a)
            std::swap(l.a, l.b);
        text += (i ? ", " : "");
        text += "{\"a\": \"" + l.a + "\", \"b\": \"" + l.b + "\", \"kind\": " + std::to_string(l.kind) + "}";
    }
    text += "]}";
    CreateDirectoryW(ui::uiDataFolder().c_str(), nullptr);
    std::ofstream file(ui::dataFile(L"library.json").c_str(), std::ios::binary | std::ios::trunc);
    file << text;
}

TestStory numbered(int n)
{
    TestStory s;
    s.url = "https://www.nasa.gov/news-release/ui-story-" + std::to_string(n) + "/";
    s.title = "Survey number " + std::to_string(n) + " of the coastal shelf";
    s.body = "Body of story " + std::to_string(n) + ".";
    s.note = "Note " + std::to_string(n);
    s.published = 1700000000 - n * 3600;
    return s;
}

class DiscoverAndBoard : public testing::Test {
protected:
    void SetUp() override { ui::resetDataFolder(); }

    Program start()
    {
        Program program = ui::launch(L"--ui-test");
        EXPECT_NE(program.window, nullptr) << "no main window appeared";
        if (program.window) {
            const ui::State state = ui::queryState(program);
            scale = std::stof(state["dpiScale"].empty() ? std::string("1") : state["dpiScale"]);
        }
        return program;
    }

    // A dip point in client pixels.
    int px(double dip) const { return static_cast<int>(dip * scale + 0.5); }
    // The centre of a card at board (x, y) with the default view: its corner is at (254 + x, 239 + y).
    int cardX(double x) const { return px(254 + x + 120); }
    int cardY(double y) const { return px(239 + y + 60); }

    float scale = 1.0f;
};

}  // namespace

TEST_F(DiscoverAndBoard, SecondRowClickSelectsItsStoryAndFillsTextAndNote)
{
    std::vector<TestStory> stories;
    for (int i = 0; i < 14; ++i)
        stories.push_back(numbered(i));
    writeLibrary(stories, {});
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    EXPECT_EQ(ui::queryState(program)["selectedStoryId"], stories[0].id());

    ui::mouseDown(program, px(300), px(331 + 50));  // row 1 spans 331 .. 444
    ui::mouseUp(program, px(300), px(331 + 50));
    EXPECT_EQ(ui::queryState(program)["selectedStoryId"], stories[1].id());
    EXPECT_EQ(ui::text(ui::control(program, STORY_TEXT)), L"Body of story 1.");
    EXPECT_EQ(ui::text(ui::control(program, NOTE_EDITOR)), L"Note 1");

    ui::mouseDown(program, px(300), px(326));  // the gap below row 0
    EXPECT_EQ(ui::queryState(program)["selectedStoryId"], stories[1].id());

    POINT over{px(300), px(400)};  // the wheel message carries screen coordinates
    ClientToScreen(program.window, &over);
    PostMessageW(program.window, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-240)), MAKELPARAM(over.x, over.y));
    ui::settle(program);
    EXPECT_EQ(ui::queryState(program)["listScrollOffset"], "160");
    EXPECT_TRUE(ui::saveScreenshot(program, L"discover-long-list"));

    ui::typeText(ui::control(program, SEARCH_BOX), L"no such survey");
    ui::settle(program);
    EXPECT_EQ(ui::queryState(program)["hitRows"], "0");
    EXPECT_TRUE(ui::saveScreenshot(program, L"discover-no-match"));
}

TEST_F(DiscoverAndBoard, PinAndUnpinChangeTheButtonAndTheStatus)
{
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    EXPECT_TRUE(ui::saveScreenshot(program, L"discover-seed"));
    EXPECT_EQ(ui::text(ui::control(program, PIN)), english(UiStringKey::SaveToBoard));

    ui::click(program, PIN);
    ui::State state = ui::queryState(program);
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::SavedLocally));
    EXPECT_EQ(state["pinned"], "1");
    EXPECT_EQ(ui::text(ui::control(program, PIN)), english(UiStringKey::UnpinStory));
    EXPECT_TRUE(ui::saveScreenshot(program, L"discover-seed-pinned"));

    ui::click(program, PIN);
    state = ui::queryState(program);
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::RemovedFromBoard));
    EXPECT_EQ(state["pinned"], "0");
    EXPECT_EQ(ui::text(ui::control(program, PIN)), english(UiStringKey::SaveToBoard));
}

TEST_F(DiscoverAndBoard, CardClickSavesNothingAndADragSavesOnce)
{
    std::vector<TestStory> stories;
    for (int i = 0; i < 5; ++i) {
        TestStory s = numbered(i);
        s.saved = i < 4;
        s.x = (i % 2) * 335.0;  // two columns stay inside the canvas of the smallest window
        s.y = (i / 2) * 170.0;
        s.note = i == 1 ? "A card with a note" : "";
        stories.push_back(s);
    }
    writeLibrary(stories, {{stories[0].id(), stories[1].id(), 0},
                           {stories[1].id(), stories[2].id(), 1},
                           {stories[0].id(), stories[3].id(), 2}});
    const std::string original = ui::readFileBytes(ui::dataFile(L"library.json"));
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    ui::click(program, SECTION_BOARD);
    EXPECT_TRUE(ui::saveScreenshot(program, L"board-links"));

    ui::mouseDown(program, cardX(335), cardY(0));
    ui::mouseUp(program, cardX(335), cardY(0));
    ui::State state = ui::queryState(program);
    EXPECT_EQ(state["selectedStoryId"], stories[1].id());
    EXPECT_EQ(state["undoAvailable"], "0");
    EXPECT_EQ(ui::readFileBytes(ui::dataFile(L"library.json")), original);
    EXPECT_FALSE(ui::fileExists(ui::dataFile(L"library.json.bak")));

    ui::mouseDown(program, cardX(0), cardY(0));
    ui::mouseMove(program, cardX(0) + px(20), cardY(0) + px(10));
    ui::mouseMove(program, cardX(0) + px(40), cardY(0) + px(30));
    ui::mouseUp(program, cardX(0) + px(40), cardY(0) + px(30));
    state = ui::queryState(program);
    EXPECT_EQ(state["selectedStoryId"], stories[0].id());
    EXPECT_EQ(state["undoAvailable"], "1");
    EXPECT_EQ(state["unsavedChanges"], "0");
    const std::string moved = ui::readFileBytes(ui::dataFile(L"library.json"));
    EXPECT_NE(moved.find("\"x\": 40.0"), std::string::npos);
    EXPECT_NE(moved.find("\"y\": 30.0"), std::string::npos);
    // One save at the end of the drag: the backup is the file as it was before it.
    EXPECT_EQ(ui::readFileBytes(ui::dataFile(L"library.json.bak")), original);
    EXPECT_TRUE(ui::saveScreenshot(program, L"board-after-drag"));
}

TEST_F(DiscoverAndBoard, ConnectClearAndUndoOnTheBoard)
{
    std::vector<TestStory> stories;
    for (int i = 0; i < 3; ++i) {
        TestStory s = numbered(i);
        s.saved = true;
        s.x = i == 1 ? 335.0 : 0.0;
        s.y = i == 2 ? 170.0 : 0.0;
        stories.push_back(s);
    }
    writeLibrary(stories, {{stories[1].id(), stories[2].id(), 2}});
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    ui::click(program, SECTION_BOARD);

    ui::mouseDown(program, cardX(0), cardY(0));
    ui::mouseUp(program, cardX(0), cardY(0));
    ui::click(program, LINK_KIND);  // Related -> Evidence
    EXPECT_EQ(ui::text(ui::control(program, LINK_KIND)), english(UiStringKey::LinkEvidence));
    ui::click(program, CONNECT);
    ui::State state = ui::queryState(program);
    EXPECT_EQ(state["linkMode"], "1");
    EXPECT_EQ(ui::text(ui::control(program, CONNECT)), english(UiStringKey::CancelConnection));

    ui::mouseDown(program, cardX(0), cardY(170));
    ui::mouseUp(program, cardX(0), cardY(170));
    state = ui::queryState(program);
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::ConnectionSaved));
    EXPECT_EQ(state["links"], "2");
    EXPECT_EQ(state["linkMode"], "0");
    EXPECT_EQ(state["selectedStoryId"], stories[0].id());
    const std::string file = ui::readFileBytes(ui::dataFile(L"library.json"));
    EXPECT_NE(file.find("\"kind\": 1"), std::string::npos);
    EXPECT_TRUE(IsWindowEnabled(ui::control(program, UNDO_BOARD)));

    // Clear links on story 2 removes both of its links, the undo brings both back.
    ui::mouseDown(program, cardX(0), cardY(170));
    ui::mouseUp(program, cardX(0), cardY(170));
    ui::click(program, CLEAR_LINKS);
    state = ui::queryState(program);
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::ConnectionsCleared));
    EXPECT_EQ(state["links"], "0");
    EXPECT_EQ(state["undoAvailable"], "1");

    ui::click(program, UNDO_BOARD);
    state = ui::queryState(program);
    EXPECT_EQ(state["links"], "2");
    EXPECT_EQ(state["undoAvailable"], "0");
    EXPECT_FALSE(IsWindowEnabled(ui::control(program, UNDO_BOARD)));
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::ConnectionsCleared));
    EXPECT_TRUE(ui::saveScreenshot(program, L"board-after-undo"));
}
