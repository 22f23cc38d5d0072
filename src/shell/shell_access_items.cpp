// What the owner-painted surfaces tell a screen reader: the Discover rows, the board's cards and
// links and the atlas plate, with names, states and places, worked out from the state each time.
#include "shell/shell_internal.h"

#include "locale/locale.h"
#include "views/views.h"

#include <oleacc.h>

#include <algorithm>

namespace {

constexpr DipRect listViewport(float height)
{
    return {222.0f, 204.0f, 370.0f, height - 270.0f};
}

std::wstring wide(const std::string& utf8)
{
    try {
        return utf8ToUtf16(utf8);
    } catch (const Failure&) {
        return {};  // library texts are valid UTF-8; one that is not is left unnamed rather than half
    }
}

bool intersects(const DipRect& a, const DipRect& b)
{
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height
        && b.top < a.top + a.height;
}

// MSAA has no state for a story on the board, so the description says it in words: the source,
// the date line the list shows and, for a pinned story, "Pinned".
std::wstring storyDescription(const Story& story)
{
    std::wstring text = wide(story.source);
    text += L", ";
    text += story.published != 0 ? formatLocalDateTime(story.published, true)
                                 : std::wstring(UiText(UiStringKey::FieldNoteArchive));
    if (story.saved) {
        text += L", ";
        text += UiText(UiStringKey::PinnedState);
    }
    return text;
}

std::vector<const Story*> listRows(const AppState& app, const Library& library)
{
    try {
        return matchingStories(app, library);
    } catch (const Failure&) {
        return {};  // as the painter: no list rather than half of one
    }
}

std::vector<const Story*> boardCards(const Library& library)
{
    std::vector<const Story*> cards;
    for (const Story& story : library.stories)
        if (story.saved)
            cards.push_back(&story);
    return cards;
}

// The links the board draws: both stories present, in library order.
struct DrawnLink {
    const Link* link = nullptr;
    const Story* a = nullptr;
    const Story* b = nullptr;
};

std::vector<DrawnLink> boardLinks(const Library& library)
{
    std::vector<DrawnLink> links;
    for (const Link& link : library.links) {
        const Story* a = findStory(library, link.a);
        const Story* b = findStory(library, link.b);
        if (a && b)
            links.push_back({&link, a, b});
    }
    return links;
}

int indexOf(const std::vector<const Story*>& stories, const std::string& id)
{
    if (id.empty())
        return -1;
    for (std::size_t i = 0; i < stories.size(); ++i)
        if (stories[i]->id == id)
            return static_cast<int>(i);
    return -1;
}

DipRect listRowRect(const AppState& app, std::size_t row)
{
    return {LIST_ROW_LEFT, LIST_FIRST_ROW_TOP - static_cast<float>(app.listScrollOffset) + LIST_ROW_PITCH * static_cast<float>(row),
            LIST_ROW_WIDTH, LIST_ROW_HEIGHT};
}

DipRect cardRect(const AppState& app, const Story& story)
{
    return boardCardRect(app.boardViewRect, boardViewOf(app), story.x, story.y);
}

// The line between the two card centres, with the pill that names its kind at the midpoint.
DipRect linkRect(const AppState& app, const Story& a, const Story& b)
{
    const DipRect ra = cardRect(app, a), rb = cardRect(app, b);
    const float x1 = ra.left + ra.width / 2, y1 = ra.top + ra.height / 2;
    const float x2 = rb.left + rb.width / 2, y2 = rb.top + rb.height / 2;
    const float mx = (x1 + x2) / 2, my = (y1 + y2) / 2;
    const float left = std::min({x1, x2, mx - 44}), right = std::max({x1, x2, mx + 44});
    const float top = std::min({y1, y2, my - 12}), bottom = std::max({y1, y2, my + 12});
    return {left, top, right - left, bottom - top};
}

AccessibleItem item(std::wstring name, std::wstring description, std::wstring value, long role, long state,
                    const DipRect& bounds)
{
    AccessibleItem out;
    out.name = std::move(name);
    out.description = std::move(description);
    out.value = std::move(value);
    out.role = role;
    out.state = state;
    out.bounds = bounds;
    return out;
}

long itemState(bool selected, bool focused, bool offscreen, bool hidden)
{
    long state = STATE_SYSTEM_SELECTABLE | STATE_SYSTEM_FOCUSABLE;
    if (selected)
        state |= STATE_SYSTEM_SELECTED;
    if (focused)
        state |= STATE_SYSTEM_FOCUSED;
    if (offscreen)
        state |= STATE_SYSTEM_OFFSCREEN;
    if (hidden)
        state |= STATE_SYSTEM_INVISIBLE;
    return state;
}

long surfaceState(bool focused, bool hidden)
{
    return STATE_SYSTEM_FOCUSABLE | (focused ? STATE_SYSTEM_FOCUSED : 0) | (hidden ? STATE_SYSTEM_INVISIBLE : 0);
}

AccessibleItem describeList(const AppState& app, const Library& library, int child, bool keyboardHere)
{
    const bool hidden = app.currentSection != Section::Discover;
    const DipRect viewport = listViewport(app.clientHeightDip);
    const std::vector<const Story*> rows = listRows(app, library);
    const int selected = indexOf(rows, app.selectedStoryId);
    if (child == 0)
        return item(UiText(UiStringKey::SectionDiscover), {}, {}, ROLE_SYSTEM_LIST,
                    surfaceState(keyboardHere && selected < 0, hidden), viewport);
    if (child < 1 || static_cast<std::size_t>(child) > rows.size())
        return {};
    const std::size_t row = static_cast<std::size_t>(child - 1);
    const Story& story = *rows[row];
    const DipRect bounds = listRowRect(app, row);
    const bool isSelected = static_cast<int>(row) == selected;
    return item(wide(story.title), storyDescription(story), {}, ROLE_SYSTEM_LISTITEM,
                itemState(isSelected, isSelected && keyboardHere, !intersects(bounds, viewport), hidden), bounds);
}

AccessibleItem describeBoard(const AppState& app, const Library& library, int child, bool keyboardHere)
{
    const bool hidden = app.currentSection != Section::Board;
    const std::vector<const Story*> cards = boardCards(library);
    const std::vector<DrawnLink> links = boardLinks(library);
    const int focused = focusedAccessibleChild(app, library, ID_BOARD_SURFACE);
    if (child == 0)
        return item(UiText(UiStringKey::SectionBoard), connectionsLine(links.size()), {}, ROLE_SYSTEM_DIAGRAM,
                    surfaceState(keyboardHere && focused == 0, hidden), app.boardViewRect);
    if (child >= 1 && static_cast<std::size_t>(child) <= cards.size()) {
        const Story& story = *cards[static_cast<std::size_t>(child - 1)];
        const DipRect bounds = cardRect(app, story);
        return item(wide(story.title), storyDescription(story), {}, ROLE_SYSTEM_LISTITEM,
                    itemState(story.id == app.selectedStoryId, keyboardHere && focused == child,
                              !intersects(bounds, app.boardViewRect), hidden),
                    bounds);
    }
    const std::size_t index = static_cast<std::size_t>(child) - cards.size() - 1;
    if (child < 1 || index >= links.size())
        return {};
    const DrawnLink& drawn = links[index];
    const DipRect bounds = linkRect(app, *drawn.a, *drawn.b);
    long state = STATE_SYSTEM_READONLY;
    if (!intersects(bounds, app.boardViewRect))
        state |= STATE_SYSTEM_OFFSCREEN;
    if (hidden)
        state |= STATE_SYSTEM_INVISIBLE;
    return item(linkAccessibleName(drawn.link->kind, wide(drawn.a->title), wide(drawn.b->title)), {}, {},
                ROLE_SYSTEM_GRAPHIC, state, bounds);
}

AccessibleItem describeAtlas(const AppState& app, int child, bool keyboardHere)
{
    if (child != 0)
        return {};
    const bool loaded = app.plateImage.hasBitmap() && app.loadedPlate == app.requestedPlate;
    std::wstring value;
    if (loaded) {
        // The zoom exactly as the label under the view shows it, after its separator.
        const std::wstring label = atlasSizeLabel(app.requestedPlate, true, app.atlasZoom);
        const std::size_t separator = label.rfind(L"  /  ");
        value = separator == std::wstring::npos ? label : label.substr(separator + 5);
    } else {
        value = UiText(app.plateDecodeRunning ? UiStringKey::DecodingImage : UiStringKey::ImageNotDecoded);
    }
    long state = surfaceState(keyboardHere, app.currentSection != Section::Atlas) | STATE_SYSTEM_READONLY;
    if (app.plateDecodeRunning)
        state |= STATE_SYSTEM_BUSY;
    return item(plateAccessibleName(app.requestedPlate), atlasSizeLabel(app.requestedPlate, false, 0.0), value,
                ROLE_SYSTEM_GRAPHIC, state, app.atlasViewRect);
}

}  // namespace

std::wstring linkAccessibleName(std::int32_t kind, const std::wstring& fromTitle, const std::wstring& toTitle)
{
    const auto key = static_cast<UiStringKey>(static_cast<int>(UiStringKey::LinkRelated) + std::clamp(kind, 0, 2));
    return std::wstring(UiText(key)) + L": " + fromTitle + L" -> " + toTitle;
}

std::wstring plateAccessibleName(std::int32_t plate)
{
    std::wstring label = UiText(plate == 1 ? UiStringKey::Plate1Button : UiStringKey::Plate0Button);
    std::size_t start = 0;
    while (start < label.size() && label[start] >= L'0' && label[start] <= L'9')
        ++start;
    while (start < label.size() && label[start] == L' ')
        ++start;
    return start < label.size() ? label.substr(start) : label;
}

int accessibleChildCount(const AppState& app, const Library& library, ControlId surface)
{
    switch (surface) {
    case ID_LIST_SURFACE:  return static_cast<int>(listRows(app, library).size());
    case ID_BOARD_SURFACE: return static_cast<int>(boardCards(library).size() + boardLinks(library).size());
    default:               return 0;
    }
}

AccessibleItem describeAccessible(const AppState& app, const Library& library, ControlId surface, int child,
                                  bool keyboardHere)
{
    switch (surface) {
    case ID_LIST_SURFACE:  return describeList(app, library, child, keyboardHere);
    case ID_BOARD_SURFACE: return describeBoard(app, library, child, keyboardHere);
    case ID_ATLAS_SURFACE: return describeAtlas(app, child, keyboardHere);
    default:               return {};
    }
}

int selectedAccessibleChild(const AppState& app, const Library& library, ControlId surface)
{
    if (surface == ID_LIST_SURFACE)
        return indexOf(listRows(app, library), app.selectedStoryId) + 1;
    if (surface == ID_BOARD_SURFACE)
        return indexOf(boardCards(library), app.selectedStoryId) + 1;
    return 0;
}

int focusedAccessibleChild(const AppState& app, const Library& library, ControlId surface)
{
    if (surface == ID_BOARD_SURFACE && app.linkMode && !app.boardKeyCardId.empty()) {
        const int card = indexOf(boardCards(library), app.boardKeyCardId) + 1;
        if (card > 0)
            return card;
    }
    return selectedAccessibleChild(app, library, surface);
}

int accessibleChildAt(const AppState& app, const Library& library, ControlId surface, float x, float y)
{
    const auto inside = [&](const DipRect& r) { return containsPoint(r.left, r.top, r.width, r.height, x, y); };
    if (surface == ID_LIST_SURFACE) {
        if (!inside(listViewport(app.clientHeightDip)))
            return -1;
        const std::size_t count = listRows(app, library).size();
        for (std::size_t row = 0; row < count; ++row)
            if (inside(listRowRect(app, row)))
                return static_cast<int>(row) + 1;
        return 0;
    }
    if (surface == ID_BOARD_SURFACE) {
        if (!inside(app.boardViewRect))
            return -1;
        // The topmost card is the one drawn last.
        const std::vector<const Story*> cards = boardCards(library);
        for (std::size_t i = cards.size(); i-- > 0;)
            if (inside(cardRect(app, *cards[i])))
                return static_cast<int>(i) + 1;
        return 0;
    }
    if (surface == ID_ATLAS_SURFACE)
        return inside(app.atlasViewRect) ? 0 : -1;
    return -1;
}

std::string accessibleStoryId(const AppState& app, const Library& library, ControlId surface, int child)
{
    if (child < 1)
        return {};
    const std::vector<const Story*> stories = surface == ID_LIST_SURFACE ? listRows(app, library)
                                              : surface == ID_BOARD_SURFACE ? boardCards(library)
                                                                            : std::vector<const Story*>{};
    return static_cast<std::size_t>(child) <= stories.size() ? stories[static_cast<std::size_t>(child - 1)]->id
                                                             : std::string();
}
