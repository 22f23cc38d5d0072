// The Story board's arithmetic, mouse handling and commands: card drag, pan, wheel zoom, fit, link
// mode, clearing links and the snapshot the one-step undo goes back to.
#include "views/views_internal.h"

#include "locale/locale.h"

#include <algorithm>
#include <array>
#include <cmath>

using namespace views_detail;

namespace {

constexpr double WHEEL_ZOOM_STEP = 1.13;
constexpr double WHEEL_ZOOM_MIN = 0.25, WHEEL_ZOOM_MAX = 1.8;
constexpr double FIT_ZOOM_MIN = 0.25, FIT_ZOOM_MAX = 1.35;
constexpr double FIT_MARGIN = 60.0;

void storeView(ViewState& app, const BoardView& view)
{
    app.boardZoom = view.zoom;
    app.boardPanX = view.panX;
    app.boardPanY = view.panY;
}

bool insideCanvas(const DipRect& canvas, float x, float y)
{
    return containsPoint(canvas.left, canvas.top, canvas.width, canvas.height, x, y);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Arithmetic

BoardView boardViewOf(const ViewState& app)
{
    return {app.boardZoom, app.boardPanX, app.boardPanY};
}

int topmostHit(const std::vector<HitRecord>& hits, float x, float y)
{
    for (std::size_t i = hits.size(); i-- > 0;)
        if (containsPoint(hits[i].left, hits[i].top, hits[i].width, hits[i].height, x, y))
            return static_cast<int>(i);
    return -1;
}

DipRect boardCardRect(const DipRect& canvas, const BoardView& view, double x, double y)
{
    return {static_cast<float>(canvas.left + view.panX + view.zoom * x),
            static_cast<float>(canvas.top + view.panY + view.zoom * y),
            static_cast<float>(BOARD_CARD_WIDTH * view.zoom), static_cast<float>(BOARD_CARD_HEIGHT * view.zoom)};
}

BoardView zoomBoardAbout(const BoardView& view, const DipRect& canvas, float x, float y, int delta)
{
    const double factor = std::pow(WHEEL_ZOOM_STEP, static_cast<double>(delta) / 120.0);
    const double zoom = std::clamp(view.zoom * factor, WHEEL_ZOOM_MIN, WHEEL_ZOOM_MAX);
    const double u = static_cast<double>(x) - canvas.left, v = static_cast<double>(y) - canvas.top;
    return {zoom, u - (u - view.panX) * zoom / view.zoom, v - (v - view.panY) * zoom / view.zoom};
}

BoardView fitBoardView(const Library& library, const DipRect& canvas)
{
    bool any = false;
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (const Story& story : library.stories) {
        if (!story.saved)
            continue;
        if (!any) {
            minX = story.x;
            maxX = story.x + BOARD_CARD_WIDTH;
            minY = story.y;
            maxY = story.y + BOARD_CARD_HEIGHT;
            any = true;
            continue;
        }
        minX = std::min(minX, story.x);
        maxX = std::max(maxX, story.x + BOARD_CARD_WIDTH);
        minY = std::min(minY, story.y);
        maxY = std::max(maxY, story.y + BOARD_CARD_HEIGHT);
    }
    if (!any)
        return BoardView{};
    const double Lw = canvas.width, Lh = canvas.height;
    const double zoom = std::clamp(std::min((Lh - FIT_MARGIN) / (maxY - minY), (Lw - FIT_MARGIN) / (maxX - minX)),
                                   FIT_ZOOM_MIN, FIT_ZOOM_MAX);
    return {zoom, (Lw - (maxX - minX) * zoom) / 2 - zoom * minX, (Lh - (maxY - minY) * zoom) / 2 - zoom * minY};
}

double clampBoardCoordinate(double value)
{
    return std::clamp(value, -BOARD_DRAG_LIMIT, BOARD_DRAG_LIMIT);
}

bool linkLineHiddenByPill(float x1, float y1, float x2, float y2)
{
    // The pill, 88 x 24 with corners of radius 6, is centred on the line's midpoint and may sit
    // half a device pixel off it; a pixel inside its edge is opaque. The line reaches 1 dip beside
    // its path with the pen and one more with anti-aliasing.
    constexpr float reach = 2.5f, inset = 1.0f, radius = 6.0f, halfWidth = 44.0f, halfHeight = 12.0f;
    const float dx = std::fabs(x2 - x1) / 2 + reach, dy = std::fabs(y2 - y1) / 2 + reach;
    return (dx <= halfWidth - inset - radius && dy <= halfHeight - inset)
        || (dx <= halfWidth - inset && dy <= halfHeight - inset - radius);
}

std::array<DipRect, 2> cardHidingRects(const DipRect& r)
{
    // A pixel wholly inside the fill takes the card's colour; half a dip more allows for the card
    // being put on whole device pixels. The corners curve in within the radius of 8.
    constexpr float inset = 1.5f, corner = 8.0f + inset;
    return {DipRect{r.left + corner, r.top + inset, r.width - 2 * corner, r.height - 2 * inset},
            DipRect{r.left + inset, r.top + corner, r.width - 2 * inset, r.height - 2 * corner}};
}

bool coveredByRects(const DipRect& area, const std::vector<DipRect>& cover)
{
    constexpr std::size_t mostCombined = 16;
    const float left = area.left, top = area.top, right = area.left + area.width, bottom = area.top + area.height;
    const auto holds = [](const DipRect& c, float l, float t, float r, float b) {
        return c.left <= l && c.top <= t && c.left + c.width >= r && c.top + c.height >= b;
    };
    if (std::any_of(cover.begin(), cover.end(), [&](const DipRect& c) { return holds(c, left, top, right, bottom); }))
        return true;
    if (cover.size() > mostCombined)
        return false;
    // Cut the area along every edge that crosses it: each piece then lies wholly inside or wholly
    // outside each rectangle, so the area is covered when every piece lies in one.
    // At most two cuts per rectangle and axis: the cuts fit on the stack (the board asks this of
    // every link on every paint).
    std::array<float, 2 + 2 * mostCombined> xs{left, right}, ys{top, bottom};
    std::size_t xCount = 2, yCount = 2;
    for (const DipRect& c : cover) {
        for (const float x : {c.left, c.left + c.width})
            if (x > left && x < right)
                xs[xCount++] = x;
        for (const float y : {c.top, c.top + c.height})
            if (y > top && y < bottom)
                ys[yCount++] = y;
    }
    std::sort(xs.begin(), xs.begin() + xCount);
    xCount = static_cast<std::size_t>(std::unique(xs.begin(), xs.begin() + xCount) - xs.begin());
    std::sort(ys.begin(), ys.begin() + yCount);
    yCount = static_cast<std::size_t>(std::unique(ys.begin(), ys.begin() + yCount) - ys.begin());
    for (std::size_t i = 0; i + 1 < xCount; ++i)
        for (std::size_t j = 0; j + 1 < yCount; ++j)
            if (std::none_of(cover.begin(), cover.end(),
                             [&](const DipRect& c) { return holds(c, xs[i], ys[j], xs[i + 1], ys[j + 1]); }))
                return false;
    return true;
}

void takeUndoSnapshot(ViewState& app, const Library& library)
{
    app.undoSnapshot = library;
    app.undoAvailable = true;
}

void restoreBoardEdit(Library& library, const Library& snapshot)
{
    for (Story& story : library.stories) {
        if (const Story* before = findStory(snapshot, story.id)) {
            story.saved = before->saved;
            story.x = before->x;
            story.y = before->y;
        }
    }
    library.links = snapshot.links;
    pruneLinks(library);
}

// ---------------------------------------------------------------------------------------------
// Mouse

ViewRequest onMouseDownBoard(ViewState& app, Library& library, float x, float y)
{
    if (app.mainWindow)
        SetFocus(app.mainWindow);
    if (!insideCanvas(app.boardViewRect, x, y))
        return {};
    const int hit = topmostHit(app.hitRows, x, y);
    const std::string id = hit >= 0 ? app.hitRows[static_cast<std::size_t>(hit)].id : std::string();

    if (app.linkMode)
        return connectSelectedTo(app, library, id);
    // A card is selected before it is dragged, its note committed even when it is the selected one.
    ViewRequest request{.drag = DragStart{id, x, y}};
    if (!id.empty()) {
        request.commitNote = true;
        request.selectStory = id;
    }
    return request;
}

void startBoardDrag(ViewState& app, const DragStart& drag)
{
    app.draggedStoryId = drag.storyId;
    app.dragging = true;
    app.dragMoved = false;
    app.lastMouseX = drag.x;
    app.lastMouseY = drag.y;
    if (app.mainWindow)
        SetCapture(app.mainWindow);
}

ViewRequest connectSelectedTo(ViewState& app, Library& library, const std::string& id)
{
    if (id.empty() || id == app.selectedStoryId)
        return {};
    ViewRequest request{.relayout = true, .repaint = true};
    takeUndoSnapshot(app, library);
    if (addLink(library, app.selectedStoryId, id, app.newLinkKind)) {
        app.unsavedChanges = true;
        request.save = true;
        request.savedStatus = UiStringKey::ConnectionSaved;
    }
    app.linkMode = false;
    app.boardKeyCardId.clear();
    return request;
}

void onDragMoveBoard(ViewState& app, Library& library, float x, float y)
{
    const double dx = static_cast<double>(x) - app.lastMouseX, dy = static_cast<double>(y) - app.lastMouseY;
    // A move message without movement (Windows sends them, e.g. after a click) changes nothing,
    // so a press and release in place neither takes a snapshot nor saves.
    if (std::fabs(dx) + std::fabs(dy) <= 0.0)
        return;
    if (!app.dragMoved && !app.draggedStoryId.empty())
        takeUndoSnapshot(app, library);
    app.dragMoved = true;
    if (app.draggedStoryId.empty()) {
        app.boardPanX += dx;
        app.boardPanY += dy;
        return;
    }
    Story* story = findStory(library, app.draggedStoryId);
    if (!story)
        return;
    story->x = clampBoardCoordinate(story->x + dx / app.boardZoom);
    story->y = clampBoardCoordinate(story->y + dy / app.boardZoom);
    app.unsavedChanges = true;
}

ViewRequest onMouseWheelBoard(ViewState& app, float x, float y, int delta)
{
    if (!insideCanvas(app.boardViewRect, x, y))
        return {};
    storeView(app, zoomBoardAbout(boardViewOf(app), app.boardViewRect, x, y, delta));
    app.boardZoomTurning = true;
    return {.boardZoomRest = true, .repaint = true};
}

// ---------------------------------------------------------------------------------------------
// Commands

ViewRequest fitBoard(ViewState& app, const Library& library)
{
    storeView(app, fitBoardView(library, app.boardViewRect));
    return {.repaint = true};
}

ViewRequest toggleLinkMode(ViewState& app, const Library& library)
{
    const Story* story = findStory(library, app.selectedStoryId);
    if (!story || !story->saved)
        return {};
    app.linkMode = !app.linkMode;
    app.boardKeyCardId.clear();
    return {.status = app.linkMode ? UiStringKey::ChooseCardToConnect : UiStringKey::Ready, .relayout = true};
}

ViewRequest clearLinks(ViewState& app, Library& library)
{
    if (!findStory(library, app.selectedStoryId))
        return {};
    takeUndoSnapshot(app, library);
    removeLinksOf(library, app.selectedStoryId);
    app.unsavedChanges = true;
    // The undo button becomes available.
    return {.save = true, .savedStatus = UiStringKey::ConnectionsCleared, .relayout = true};
}
