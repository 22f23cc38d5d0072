// The Story board: cards on a pannable, zoomable canvas with typed links, card drag, wheel zoom,
// fit, link mode, clearing links and the one-step undo with its snapshot.
#include "views/views_internal.h"

#include "locale/locale.h"
#include "shell/shell.h"

#include <algorithm>
#include <cmath>

using namespace views_detail;

namespace {

constexpr std::uint32_t BOARD_CANVAS = 0xFFF2F2EB;
constexpr std::uint32_t GRID_DOT = 0xFFD3D8D7;
constexpr std::uint32_t CARD_SHADOW = 0x192C3555;
constexpr std::uint32_t QUESTION_LINK = 0xFFBA7547;
constexpr double GRID_STEP = 24.0;
constexpr double WHEEL_ZOOM_STEP = 1.13;
constexpr double WHEEL_ZOOM_MIN = 0.25, WHEEL_ZOOM_MAX = 1.8;
constexpr double FIT_ZOOM_MIN = 0.25, FIT_ZOOM_MAX = 1.35;
constexpr double FIT_MARGIN = 60.0;

BoardView viewOf(const AppState& app)
{
    return {app.boardZoom, app.boardPanX, app.boardPanY};
}

void storeView(AppState& app, const BoardView& view)
{
    app.boardZoom = view.zoom;
    app.boardPanX = view.panX;
    app.boardPanY = view.panY;
}

bool insideCanvas(const DipRect& canvas, float x, float y)
{
    return containsPoint(canvas.left, canvas.top, canvas.width, canvas.height, x, y);
}

// All dots go into one path filled once: the same dots as one fill per dot, at a fraction of the calls.
void paintGrid(Canvas& canvas, const DipRect& L, const BoardView& view)
{
    const double step = GRID_STEP * view.zoom;
    if (!(step > 0.0))
        return;
    GpPath* rawPath = nullptr;
    const Gdiplus::GpStatus created = gp::GdipCreatePath(Gdiplus::FillModeWinding, &rawPath);
    recordStatus(canvas, created);
    if (created != Gdiplus::Ok)
        return;
    PathPtr path(rawPath);
    // fmod keeps the sign of the pan, so a negative pan starts left of the canvas under the clip.
    const double right = L.left + L.width, bottom = L.top + L.height;
    for (double x = L.left + std::fmod(view.panX, step); x < right; x += step)
        for (double y = L.top + std::fmod(view.panY, step); y < bottom; y += step)
            recordStatus(canvas, gp::GdipAddPathEllipse(rawPath, static_cast<float>(x), static_cast<float>(y), 1.5f, 1.5f));
    if (BrushPtr brush = solidBrush(canvas, GRID_DOT))
        recordStatus(canvas, gp::GdipFillPath(canvas.graphics, brush.get(), rawPath));
}

// True when the rectangle reaches into the canvas; what lies wholly outside is clipped away anyway.
bool meetsCanvas(const DipRect& L, float left, float top, float width, float height)
{
    return left < L.left + L.width && left + width > L.left && top < L.top + L.height && top + height > L.top;
}

// More characters than a card title can ever show in its three lines, so cutting here changes
// nothing on screen while sparing the text layout the rest of a long title.
constexpr std::size_t CARD_TITLE_UNITS = 600;

std::wstring cardTitle(const std::string& title)
{
    std::wstring text;
    try {
        text = utf8ToUtf16(title.substr(0, CARD_TITLE_UNITS * 3));
    } catch (const Failure&) {
        return {};  // cut inside a sequence, or invalid: convert the whole title instead
    }
    if (text.size() > CARD_TITLE_UNITS) {
        std::size_t cut = CARD_TITLE_UNITS;
        if (text[cut] >= 0xDC00 && text[cut] <= 0xDFFF)
            --cut;  // keep a surrogate pair whole
        text.resize(cut);
    }
    return text;
}

void paintLinks(Canvas& canvas, const AppState& app, const Library& library, const DipRect& L, const BoardView& view)
{
    const Palette& p = app.palette;
    const double z = view.zoom;
    GpPen* solid = nullptr;
    GpPen* dashed = nullptr;
    recordStatus(canvas, gp::GdipCreatePen1(p.cobalt, 2.0f, Gdiplus::UnitWorld, &solid));
    PenPtr solidOwner(solid);
    recordStatus(canvas, gp::GdipCreatePen1(QUESTION_LINK, 2.0f, Gdiplus::UnitWorld, &dashed));
    PenPtr dashedOwner(dashed);
    if (dashed)
        recordStatus(canvas, gp::GdipSetPenDashStyle(dashed, Gdiplus::DashStyleDash));
    for (const Link& link : library.links) {
        const Story* a = findStory(library, link.a);
        const Story* b = findStory(library, link.b);
        if (!a || !b)
            continue;
        const auto centre = [&](const Story& s, bool vertical) {
            return vertical ? static_cast<float>(L.top + view.panY + z * s.y + BOARD_CARD_HEIGHT * z / 2)
                            : static_cast<float>(L.left + view.panX + z * s.x + BOARD_CARD_WIDTH * z / 2);
        };
        const float x1 = centre(*a, false), y1 = centre(*a, true), x2 = centre(*b, false), y2 = centre(*b, true);
        GpPen* pen = link.kind == 2 ? dashed : solid;
        if (pen && meetsCanvas(L, std::min(x1, x2) - 2, std::min(y1, y2) - 2, std::fabs(x2 - x1) + 4, std::fabs(y2 - y1) + 4))
            recordStatus(canvas, gp::GdipDrawLine(canvas.graphics, pen, x1, y1, x2, y2));
        const float mx = (x1 + x2) / 2, my = (y1 + y2) / 2;
        if (!meetsCanvas(L, mx - 45, my - 13, 90, 26))
            continue;
        fillRoundedRect(canvas, {mx - 44, my - 12, 88, 24}, 6, p.card, p.line);
        const auto key = static_cast<UiStringKey>(static_cast<int>(UiStringKey::LinkRelated) + std::clamp(link.kind, 0, 2));
        drawText(canvas, std::wstring_view(UiText(key)), {mx - 44, my - 12, 88, 24},
                 {.size = 10.0f, .colour = p.cobalt, .centred = true});
    }
}

void paintCard(Canvas& canvas, const AppState& app, const Story& story, const DipRect& r, float z)
{
    const Palette& p = app.palette;
    const bool selected = story.id == app.selectedStoryId;
    const float X = r.left, Y = r.top, Cw = r.width, Ch = r.height;
    fillRoundedRect(canvas, {X + 3, Y + 4, Cw, Ch}, 8, CARD_SHADOW, 0);
    fillRoundedRect(canvas, r, 8, p.card, selected ? p.cobalt : p.line);
    fillRect(canvas, {X + 13, Y + 13, 27, 3}, selected ? p.cobalt : p.apricot);
    drawText(canvas, std::string_view(story.source), {X + 13, Y + 23, Cw - 26, 19 * z},
             {.size = 10 * z, .colour = p.cobalt, .bold = true});
    std::wstring title = cardTitle(story.title);
    if (title.empty() && !story.title.empty())
        drawText(canvas, std::string_view(story.title), {X + 13, Y + 44 * z, Cw - 26, Ch - 63 * z},
                 {.size = 15 * z, .colour = p.ink, .bold = true});
    else
        drawText(canvas, std::wstring_view(title), {X + 13, Y + 44 * z, Cw - 26, Ch - 63 * z},
                 {.size = 15 * z, .colour = p.ink, .bold = true});
    if (!story.note.empty())
        fillEllipse(canvas, {X + Cw - 22, Y + Ch - 21, 8, 8}, p.apricot);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Arithmetic

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

void takeUndoSnapshot(AppState& app, const Library& library)
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
// Painting

void paintBoard(Canvas& canvas, AppState& app, const Library& library)
{
    const Palette& p = app.palette;
    const DipRect L = app.boardViewRect;
    const BoardView view = viewOf(app);
    const auto z = static_cast<float>(view.zoom);
    fillRoundedRect(canvas, L, 12, BOARD_CANVAS, p.line);
    Gdiplus::GraphicsState saved = 0;
    recordStatus(canvas, gp::GdipSaveGraphics(canvas.graphics, &saved));
    recordStatus(canvas, gp::GdipSetClipRect(canvas.graphics, L.left, L.top, L.width, L.height,
                                             Gdiplus::CombineModeReplace));
    paintGrid(canvas, L, view);
    paintLinks(canvas, app, library, L, view);

    app.hitRows.clear();
    bool anyPinned = false;
    for (const Story& story : library.stories) {
        if (!story.saved)
            continue;
        anyPinned = true;
        const DipRect r = boardCardRect(L, view, story.x, story.y);
        app.hitRows.push_back({r.left, r.top, r.width, r.height, story.id});
        if (meetsCanvas(L, r.left, r.top, r.width + 4, r.height + 5))  // the shadow reaches 3 and 4 further
            paintCard(canvas, app, story, r, z);
    }
    if (!anyPinned)
        drawText(canvas, std::wstring_view(UiText(UiStringKey::EmptyBoard)), {L.left + 40, L.top + 75, L.width - 80, 210},
                 {.size = 24.0f, .colour = p.muted, .georgia = true, .centred = true});
    recordStatus(canvas, gp::GdipRestoreGraphics(canvas.graphics, saved));
    paintStoryPanel(canvas, app, library);
}

// ---------------------------------------------------------------------------------------------
// Mouse

void onMouseDownBoard(Session& session, float x, float y)
{
    AppState& app = session.app;
    Library& library = session.library;
    if (app.mainWindow)
        SetFocus(app.mainWindow);
    if (!insideCanvas(app.boardViewRect, x, y))
        return;
    const int hit = topmostHit(app.hitRows, x, y);
    const std::string id = hit >= 0 ? app.hitRows[static_cast<std::size_t>(hit)].id : std::string();

    if (!app.linkMode) {
        if (!id.empty()) {
            if (!commitNote(app, library))
                return;
            selectStory(app, library, id);
        }
        app.draggedStoryId = id;
        app.dragging = true;
        app.dragMoved = false;
        app.lastMouseX = x;
        app.lastMouseY = y;
        if (app.mainWindow)
            SetCapture(app.mainWindow);
        return;
    }

    if (id.empty() || id == app.selectedStoryId)
        return;
    takeUndoSnapshot(app, library);
    if (addLink(library, app.selectedStoryId, id, app.newLinkKind)) {
        app.unsavedChanges = true;
        if (saveLibrary(app, library))
            setStatusKey(app, UiStringKey::ConnectionSaved, false);
    }
    app.linkMode = false;
    layoutControls(app, library);
    repaint(app);
}

void onDragMoveBoard(Session& session, float x, float y)
{
    AppState& app = session.app;
    const double dx = static_cast<double>(x) - app.lastMouseX, dy = static_cast<double>(y) - app.lastMouseY;
    // A move message without movement (Windows sends them, e.g. after a click) changes nothing,
    // so a press and release in place neither takes a snapshot nor saves.
    if (std::fabs(dx) + std::fabs(dy) <= 0.0)
        return;
    if (!app.dragMoved && !app.draggedStoryId.empty())
        takeUndoSnapshot(app, session.library);
    app.dragMoved = true;
    if (app.draggedStoryId.empty()) {
        app.boardPanX += dx;
        app.boardPanY += dy;
        return;
    }
    Story* story = findStory(session.library, app.draggedStoryId);
    if (!story)
        return;
    story->x = clampBoardCoordinate(story->x + dx / app.boardZoom);
    story->y = clampBoardCoordinate(story->y + dy / app.boardZoom);
    app.unsavedChanges = true;
}

void onMouseWheelBoard(Session& session, float x, float y, int delta)
{
    AppState& app = session.app;
    if (!insideCanvas(app.boardViewRect, x, y))
        return;
    storeView(app, zoomBoardAbout(viewOf(app), app.boardViewRect, x, y, delta));
    repaint(app);
}

// ---------------------------------------------------------------------------------------------
// Commands

void fitBoard(Session& session)
{
    storeView(session.app, fitBoardView(session.library, session.app.boardViewRect));
    repaint(session.app);
}

void toggleLinkMode(Session& session)
{
    AppState& app = session.app;
    const Story* story = findStory(session.library, app.selectedStoryId);
    if (!story || !story->saved)
        return;
    app.linkMode = !app.linkMode;
    setStatusKey(app, app.linkMode ? UiStringKey::ChooseCardToConnect : UiStringKey::Ready, false);
    layoutControls(app, session.library);
}

void clearLinks(Session& session)
{
    AppState& app = session.app;
    Library& library = session.library;
    if (!findStory(library, app.selectedStoryId))
        return;
    takeUndoSnapshot(app, library);
    removeLinksOf(library, app.selectedStoryId);
    app.unsavedChanges = true;
    if (saveLibrary(app, library))
        setStatusKey(app, UiStringKey::ConnectionsCleared, false);
    // The undo button becomes available.
    layoutControls(app, library);
}

void undoBoardEdit(Session& session)
{
    AppState& app = session.app;
    Library& library = session.library;
    if (!app.undoAvailable || !commitNote(app, library))
        return;
    restoreBoardEdit(library, app.undoSnapshot);
    app.undoSnapshot = Library{};
    app.undoAvailable = false;
    app.unsavedChanges = true;
    saveLibrary(app, library);

    std::string id = app.selectedStoryId;
    if (!findStory(library, id))
        id.clear();
    // Clearing first makes selectStory refill the story text and the note editor.
    app.selectedStoryId.clear();
    if (!id.empty())
        selectStory(app, library, id);
    layoutControls(app, library);
    repaint(app);
}
