// The real Kestrune.exe as a screen reader and a keyboard user meet it: the accessible objects of
// the Discover list, the board and the atlas, Tab into the painted surfaces, and their keys.
#include "ui_driver.h"

#include "locale/locale.h"

#include <oleacc.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using ui::Program;

namespace {

constexpr int SECTION_BOARD = 101, SECTION_ATLAS = 102, CONNECT = 124, SEARCH_BOX = 200;
constexpr int LIST_SURFACE = 210, BOARD_SURFACE = 211, ATLAS_SURFACE = 212;

std::wstring english(UiStringKey key)
{
    return uiTextIn(key, UiLanguage::English);
}

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

struct Card {
    std::string title;
    bool saved = true;
    double x = 0, y = 0;
    std::int64_t published = 1700000000;
    std::string url() const
    {
        std::string slug = title;
        for (char& c : slug)
            c = c == ' ' ? '-' : c;
        return "https://www.nasa.gov/news-release/" + slug + "/";
    }
    std::string id() const { return idOf(url()); }
};

Card card(std::string title, double x = 0, double y = 0, bool saved = true, std::int64_t published = 1700000000)
{
    Card c;
    c.title = std::move(title);
    c.x = x;
    c.y = y;
    c.saved = saved;
    c.published = published;
    return c;
}

// A library file in the program's format; links join stories by position.
void writeLibrary(const std::vector<Card>& cards, const std::vector<std::pair<int, int>>& links = {})
{
    std::string text = "{\"automatic\": false, \"notifications\": false, \"format\": \"Kestrune\", \"version\": 1, "
                       "\"lastCheck\": 0, \"stories\": [";
    for (std::size_t i = 0; i < cards.size(); ++i) {
        const Card& c = cards[i];
        text += (i ? ",\n" : "\n");
        text += "{\"id\": \"" + c.id() + "\", \"title\": \"" + c.title + "\", \"body\": \"Body.\", \"url\": \"" +
                c.url() + "\", \"source\": \"NASA\", \"note\": \"\", \"published\": " + std::to_string(c.published) +
                ", \"saved\": " + (c.saved ? "true" : "false") + ", \"x\": " + std::to_string(c.x) +
                ", \"y\": " + std::to_string(c.y) + ", \"asset\": -1}";
    }
    text += "], \"edges\": [";
    for (std::size_t i = 0; i < links.size(); ++i) {
        std::string a = cards[static_cast<std::size_t>(links[i].first)].id();
        std::string b = cards[static_cast<std::size_t>(links[i].second)].id();
        if (b < a)
            std::swap(a, b);
        text += (i ? ", " : "") + std::string("{\"a\": \"") + a + "\", \"b\": \"" + b + "\", \"kind\": 0}";
    }
    text += "]}";
    CreateDirectoryW(ui::uiDataFolder().c_str(), nullptr);
    std::ofstream file(ui::dataFile(L"library.json").c_str(), std::ios::binary | std::ios::trunc);
    file << text;
}

// An IAccessible released at the end of its scope.
struct Accessible {
    IAccessible* object = nullptr;
    Accessible() = default;
    Accessible(const Accessible&) = delete;
    Accessible& operator=(const Accessible&) = delete;
    ~Accessible()
    {
        if (object)
            object->Release();
    }
    IAccessible* operator->() const { return object; }
};

VARIANT child(long id)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

// One text property of a child (name, value, description), empty when it has none.
std::wstring textOf(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), const Accessible& a, long id)
{
    BSTR text = nullptr;
    (a.object->*get)(child(id), &text);
    std::wstring result = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    SysFreeString(text);
    return result;
}

std::wstring nameOf(const Accessible& a, long id) { return textOf(&IAccessible::get_accName, a, id); }
std::wstring valueOf(const Accessible& a, long id) { return textOf(&IAccessible::get_accValue, a, id); }
std::wstring descriptionOf(const Accessible& a, long id) { return textOf(&IAccessible::get_accDescription, a, id); }

long numberOf(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), const Accessible& a, long id)
{
    VARIANT out;
    VariantInit(&out);
    if (FAILED((a.object->*get)(child(id), &out)) || out.vt != VT_I4)
        return -1;
    return out.lVal;
}

long roleOf(const Accessible& a, long id) { return numberOf(&IAccessible::get_accRole, a, id); }
long stateOf(const Accessible& a, long id) { return numberOf(&IAccessible::get_accState, a, id); }

long childCountOf(const Accessible& a)
{
    long count = -1;
    a->get_accChildCount(&count);
    return count;
}

long focusOf(const Accessible& a)
{
    VARIANT out;
    VariantInit(&out);
    a->get_accFocus(&out);
    return out.vt == VT_I4 ? out.lVal : -1;
}

// The events a screen reader would hear from the program, out of context as screen readers listen.
struct HeardEvent {
    DWORD event;
    HWND window;
    LONG object;
    LONG child;
};
std::vector<HeardEvent> heard;

void CALLBACK onWinEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD)
{
    heard.push_back({event, window, object, child});
}

bool heardEvent(DWORD event, HWND window, LONG child)
{
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    for (const HeardEvent& e : heard)
        if (e.event == event && e.window == window && e.object == OBJID_CLIENT && e.child == child)
            return true;
    return false;
}

class ScreenReaderAndKeyboard : public testing::Test {
protected:
    void SetUp() override { ui::resetDataFolder(); }

    Program start()
    {
        Program program = ui::launch(L"--ui-test");
        EXPECT_NE(program.window, nullptr) << "no main window appeared";
        if (program.window) {
            ui::resizeClient(program, 1280, 820);
            scale = std::stof(ui::queryState(program)["dpiScale"]);
        }
        return program;
    }

    // The surface's client object as a screen reader gets it, across the process boundary.
    static void open(const Program& program, int surface, Accessible& out)
    {
        out.object = nullptr;
        const HRESULT hr = AccessibleObjectFromWindow(ui::control(program, surface), static_cast<DWORD>(OBJID_CLIENT),
                                                      IID_IAccessible, reinterpret_cast<void**>(&out.object));
        ASSERT_TRUE(SUCCEEDED(hr) && out.object) << "AccessibleObjectFromWindow failed: 0x" << std::hex << hr;
    }

    // Tab until the keyboard focus lands on the control, at most once round all of them.
    static bool tabTo(const Program& program, int id)
    {
        for (int i = 0; i < 40 && ui::focusedControlId(program) != id; ++i)
            ui::pressKey(program, program.window, VK_TAB);
        return ui::focusedControlId(program) == id;
    }

    int px(double dip) const { return static_cast<int>(dip * scale + 0.5); }

    float scale = 1.0f;
};

}  // namespace

TEST_F(ScreenReaderAndKeyboard, DiscoverListHasOneItemPerRowNamedByItsTitle)
{
    writeLibrary({card("Tide gauges along the shelf", 0, 0, true),
                  card("Aurora over the ice", 0, 0, false),
                  card("An archived field note", 1, 0, false, 0)});
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    Accessible list;
    open(program, LIST_SURFACE, list);
    EXPECT_EQ(roleOf(list, CHILDID_SELF), ROLE_SYSTEM_LIST);
    EXPECT_EQ(nameOf(list, CHILDID_SELF), english(UiStringKey::SectionDiscover));
    ASSERT_EQ(childCountOf(list), 3);
    EXPECT_EQ(nameOf(list, 1), L"Tide gauges along the shelf");
    EXPECT_EQ(nameOf(list, 2), L"Aurora over the ice");
    EXPECT_EQ(roleOf(list, 2), ROLE_SYSTEM_LISTITEM);
    // Source and date; the pinned story says so in words.
    EXPECT_EQ(descriptionOf(list, 1).rfind(L"NASA, ", 0), 0u);
    EXPECT_NE(descriptionOf(list, 1).find(L", Pinned"), std::wstring::npos);
    EXPECT_EQ(descriptionOf(list, 2).find(L"Pinned"), std::wstring::npos);
    EXPECT_EQ(descriptionOf(list, 3), L"NASA, " + english(UiStringKey::FieldNoteArchive));
    EXPECT_TRUE(stateOf(list, 1) & STATE_SYSTEM_SELECTED);
    EXPECT_FALSE(stateOf(list, 2) & STATE_SYSTEM_SELECTED);

    // A click on row 2 moves the selected state; its place is the row as painted.
    ui::mouseDown(program, px(300), px(331 + 50));
    ui::mouseUp(program, px(300), px(331 + 50));
    EXPECT_FALSE(stateOf(list, 1) & STATE_SYSTEM_SELECTED);
    EXPECT_TRUE(stateOf(list, 2) & STATE_SYSTEM_SELECTED);
    long left = 0, top = 0, width = 0, height = 0;
    ASSERT_EQ(list->accLocation(&left, &top, &width, &height, child(2)), S_OK);
    POINT corner{px(224), px(331)};
    ClientToScreen(program.window, &corner);
    EXPECT_EQ(left, corner.x);
    EXPECT_EQ(top, corner.y);
    EXPECT_EQ(width, px(366));
    VARIANT hit;
    VariantInit(&hit);
    ASSERT_EQ(list->accHitTest(corner.x + 5, corner.y + 5, &hit), S_OK);
    EXPECT_EQ(hit.vt, VT_I4);
    EXPECT_EQ(hit.lVal, 2);

    // The list follows the search.
    ui::typeText(ui::control(program, SEARCH_BOX), L"aurora");
    ui::settle(program);
    ASSERT_EQ(childCountOf(list), 1);
    EXPECT_EQ(nameOf(list, 1), L"Aurora over the ice");
}

TEST_F(ScreenReaderAndKeyboard, BoardHasOneChildPerCardAndPerLink)
{
    const std::vector<Card> cards = {card("Kelp forest census", 0, 0, true),
                                     card("Coral bleaching watch", 335, 0, true),
                                     card("Not on the board", 670, 0, false),
                                     card("Storm surge model", 0, 170, true)};
    writeLibrary(cards, {{0, 1}});
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    ui::click(program, SECTION_BOARD);
    Accessible board;
    open(program, BOARD_SURFACE, board);
    EXPECT_EQ(nameOf(board, CHILDID_SELF), english(UiStringKey::SectionBoard));
    ASSERT_EQ(childCountOf(board), 4);  // three cards, one link
    EXPECT_EQ(nameOf(board, 1), L"Kelp forest census");
    EXPECT_EQ(nameOf(board, 2), L"Coral bleaching watch");
    EXPECT_EQ(nameOf(board, 3), L"Storm surge model");
    const bool kelpFirst = cards[0].id() < cards[1].id();
    EXPECT_EQ(nameOf(board, 4), kelpFirst ? L"Related: Kelp forest census -> Coral bleaching watch"
                                          : L"Related: Coral bleaching watch -> Kelp forest census");
    EXPECT_EQ(roleOf(board, 4), ROLE_SYSTEM_GRAPHIC);
    EXPECT_TRUE(stateOf(board, 1) & STATE_SYSTEM_SELECTED);
    EXPECT_FALSE(stateOf(board, 3) & STATE_SYSTEM_SELECTED);
    EXPECT_NE(descriptionOf(board, 3).find(L"Pinned"), std::wstring::npos);

    // The second card is painted with its corner at (254 + 335, 239) dip.
    long left = 0, top = 0, width = 0, height = 0;
    ASSERT_EQ(board->accLocation(&left, &top, &width, &height, child(2)), S_OK);
    POINT corner{px(589), px(239)};
    ClientToScreen(program.window, &corner);
    EXPECT_EQ(left, corner.x);
    EXPECT_EQ(top, corner.y);
    EXPECT_EQ(height, px(132));
}

TEST_F(ScreenReaderAndKeyboard, TabReachesTheBoardWhereArrowsSelectAndCtrlArrowsMoveUndoably)
{
    const std::vector<Card> cards = {card("Kelp forest census", 0, 0, true),
                                     card("Coral bleaching watch", 335, 0, true),
                                     card("Storm surge model", 0, 170, true)};
    writeLibrary(cards);
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    ui::click(program, SECTION_BOARD);
    ASSERT_TRUE(tabTo(program, BOARD_SURFACE));
    EXPECT_TRUE(ui::saveScreenshot(program, L"board-keyboard-focus"));
    const HWND surface = ui::control(program, BOARD_SURFACE);

    ui::pressKey(program, surface, VK_RIGHT);
    EXPECT_EQ(ui::queryState(program)["selectedStoryId"], cards[1].id());
    ui::pressKey(program, surface, VK_DOWN);  // nothing within 45 degrees: the nearest card below
    EXPECT_EQ(ui::queryState(program)["selectedStoryId"], cards[2].id());
    ui::pressKey(program, surface, VK_UP);
    EXPECT_EQ(ui::queryState(program)["selectedStoryId"], cards[0].id());
    ui::pressAltGrKey(program, surface, VK_RIGHT, 0);  // AltGr is typing, never a board key
    EXPECT_EQ(ui::queryState(program)["selectedStoryId"], cards[0].id());
    Accessible board;
    open(program, BOARD_SURFACE, board);
    EXPECT_EQ(focusOf(board), 1);
    EXPECT_TRUE(stateOf(board, 1) & STATE_SYSTEM_FOCUSED);

    // One grid step, saved once the key is up, and undone by Ctrl+Z.
    const std::string before = ui::readFileBytes(ui::dataFile(L"library.json"));
    ui::pressKey(program, surface, VK_RIGHT, true);
    ui::State state = ui::queryState(program);
    EXPECT_EQ(state["selectedStoryId"], cards[0].id());
    EXPECT_EQ(state["undoAvailable"], "1");
    EXPECT_EQ(state["unsavedChanges"], "0");
    const std::string moved = ui::readFileBytes(ui::dataFile(L"library.json"));
    EXPECT_NE(moved.find("\"x\": 24.0"), std::string::npos);
    EXPECT_EQ(ui::readFileBytes(ui::dataFile(L"library.json.bak")), before);

    ui::pressKey(program, surface, 'Z', true);
    state = ui::queryState(program);
    EXPECT_EQ(state["undoAvailable"], "0");
    EXPECT_EQ(ui::readFileBytes(ui::dataFile(L"library.json")).find("\"x\": 24.0"), std::string::npos);
}

TEST_F(ScreenReaderAndKeyboard, EnterInLinkModeJoinsTheCardTheArrowsReached)
{
    const std::vector<Card> cards = {card("Kelp forest census", 0, 0, true),
                                     card("Coral bleaching watch", 335, 0, true)};
    writeLibrary(cards);
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    ui::click(program, SECTION_BOARD);
    ASSERT_TRUE(tabTo(program, BOARD_SURFACE));
    ui::click(program, CONNECT);
    ASSERT_EQ(ui::queryState(program)["linkMode"], "1");
    const HWND surface = ui::control(program, BOARD_SURFACE);

    // The arrows reach the other card without changing the selected story.
    ui::pressKey(program, surface, VK_RIGHT);
    EXPECT_EQ(ui::queryState(program)["selectedStoryId"], cards[0].id());
    Accessible board;
    open(program, BOARD_SURFACE, board);
    EXPECT_EQ(focusOf(board), 2);
    EXPECT_TRUE(stateOf(board, 1) & STATE_SYSTEM_SELECTED);
    EXPECT_TRUE(stateOf(board, 2) & STATE_SYSTEM_FOCUSED);
    EXPECT_TRUE(ui::saveScreenshot(program, L"board-keyboard-link-target"));

    ui::pressKey(program, surface, VK_RETURN);
    const ui::State state = ui::queryState(program);
    EXPECT_EQ(state["links"], "1");
    EXPECT_EQ(state["linkMode"], "0");
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::ConnectionSaved));
    EXPECT_EQ(childCountOf(board), 3);
}

TEST_F(ScreenReaderAndKeyboard, AtlasNamesThePlateAndGivesTheZoomAsItsValue)
{
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    ui::click(program, SECTION_ATLAS);
    Accessible atlas;
    open(program, ATLAS_SURFACE, atlas);
    EXPECT_EQ(roleOf(atlas, CHILDID_SELF), ROLE_SYSTEM_GRAPHIC);
    EXPECT_EQ(nameOf(atlas, CHILDID_SELF), L"Cosmic Cliffs");
    ASSERT_TRUE(ui::waitUntil([&] { return ui::queryState(program)["plateDecodeRunning"] == "0"; }, 120s));
    ASSERT_EQ(ui::queryState(program)["loadedPlate"], "0");
    EXPECT_EQ(valueOf(atlas, CHILDID_SELF), L"5%");  // fitted: 442 / 8441
    EXPECT_EQ(descriptionOf(atlas, CHILDID_SELF), L"14,575 \u00D7 8,441 px");
    EXPECT_EQ(childCountOf(atlas), 0);

    ASSERT_TRUE(tabTo(program, ATLAS_SURFACE));
    const HWND surface = ui::control(program, ATLAS_SURFACE);
    const double fitted = std::strtod(ui::queryState(program)["atlasZoom"].c_str(), nullptr);
    ui::pressKey(program, surface, VK_ADD);
    EXPECT_NEAR(std::strtod(ui::queryState(program)["atlasZoom"].c_str(), nullptr), fitted * 1.4, 1e-9);
    EXPECT_EQ(valueOf(atlas, CHILDID_SELF), L"7%");
    ui::pressKey(program, surface, VK_OEM_MINUS);
    EXPECT_NEAR(std::strtod(ui::queryState(program)["atlasZoom"].c_str(), nullptr), fitted, 1e-9);

    const double panX = std::strtod(ui::queryState(program)["atlasPanX"].c_str(), nullptr);
    ui::pressKey(program, surface, VK_RIGHT);  // a tenth of the 1032-dip view
    EXPECT_NEAR(std::strtod(ui::queryState(program)["atlasPanX"].c_str(), nullptr), panX - 103.2, 1e-6);
    EXPECT_TRUE(ui::saveScreenshot(program, L"atlas-keyboard-focus"));

    ui::click(program, 141);
    EXPECT_EQ(nameOf(atlas, CHILDID_SELF), L"NIRCam + MIRI panorama");
}

TEST_F(ScreenReaderAndKeyboard, SelectionAndFocusOfACardAreAnnounced)
{
    writeLibrary({card("Kelp forest census", 0), card("Coral bleaching watch", 335)});
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    ui::click(program, SECTION_BOARD);
    ASSERT_TRUE(tabTo(program, BOARD_SURFACE));
    heard.clear();
    const HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_SELECTION, nullptr, onWinEvent,
                                               program.processId, 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    const HWND surface = ui::control(program, BOARD_SURFACE);
    ui::pressKey(program, surface, VK_RIGHT);
    const bool selection = ui::waitUntil([&] { return heardEvent(EVENT_OBJECT_SELECTION, surface, 2); }, 5s);
    const bool focus = heardEvent(EVENT_OBJECT_FOCUS, surface, 2);
    UnhookWinEvent(hook);
    if (!selection && heard.empty())
        GTEST_SKIP() << "no events of another process reached this hook (Wine delivers none out of context)";
    EXPECT_TRUE(selection);
    EXPECT_TRUE(focus);
}
