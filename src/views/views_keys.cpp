// The keyboard on the Story board and in the Evidence atlas: which card an arrow leads to, moving a
// card by grid steps, joining cards in link mode, panning and zooming the plate, and the focus cues.
#include "views/views_internal.h"

#include <cmath>
#include <limits>

using namespace views_detail;

namespace {

// An offset as seen looking in the arrow's direction: how far ahead, and how far to the side.
struct Heading {
    double ahead = 0.0;
    double aside = 0.0;
};

Heading headingOf(ArrowKey direction, double dx, double dy)
{
    switch (direction) {
    case ArrowKey::Left:  return {-dx, dy};
    case ArrowKey::Right: return {dx, dy};
    case ArrowKey::Up:    return {-dy, dx};
    case ArrowKey::Down:  return {dy, dx};
    }
    return {};
}

// How far a span [low, high) must move to lie within [m, size - m), its low end first when it is too long.
double shiftIntoView(double low, double high, double size, double m)
{
    double shift = 0.0;
    if (high > size - m)
        shift = (size - m) - high;
    if (low + shift < m)
        shift = m - low;
    return shift;
}

std::vector<const Story*> boardCards(const Library& library)
{
    std::vector<const Story*> cards;
    for (const Story& story : library.stories)
        if (story.saved)
            cards.push_back(&story);
    return cards;
}

void showCard(ViewState& app, const Story& story)
{
    const BoardView view = boardViewShowing(boardViewOf(app), app.boardViewRect, story.x, story.y);
    app.boardPanX = view.panX;
    app.boardPanY = view.panY;
}

ViewRequest moveSelectedCard(ViewState& app, Library& library, ArrowKey direction)
{
    Story* story = findStory(library, app.selectedStoryId);
    // A drag in link mode does not move cards either.
    if (app.linkMode || !story || !story->saved)
        return {};
    // Held down, the key repeats: like one drag, the run is one undo step and one save, at its end.
    if (!app.keyMovePending)
        takeUndoSnapshot(app, library);
    app.keyMovePending = true;
    const double dx = direction == ArrowKey::Left ? -BOARD_KEY_STEP : direction == ArrowKey::Right ? BOARD_KEY_STEP : 0.0;
    const double dy = direction == ArrowKey::Up ? -BOARD_KEY_STEP : direction == ArrowKey::Down ? BOARD_KEY_STEP : 0.0;
    story->x = clampBoardCoordinate(story->x + dx);
    story->y = clampBoardCoordinate(story->y + dy);
    app.unsavedChanges = true;
    showCard(app, *story);
    return {.repaint = true};
}

// A 2-dip outline just outside `inner`, drawn clipped to `clip` when one is given.
void paintRing(Canvas& canvas, const DipRect& inner, float radius, std::uint32_t colour, const DipRect* clip = nullptr)
{
    constexpr float gap = 2.5f;
    const DipRect r{inner.left - gap, inner.top - gap, inner.width + 2 * gap, inner.height + 2 * gap};
    if (r.width <= 0 || r.height <= 0)
        return;
    GpPath* rawPath = nullptr;
    const Gdiplus::GpStatus created = gp::GdipCreatePath(Gdiplus::FillModeAlternate, &rawPath);
    recordStatus(canvas, created);
    if (created != Gdiplus::Ok)
        return;
    PathPtr path(rawPath);
    const float d = 2.0f * (radius + gap);
    const float right = r.left + r.width - d, bottom = r.top + r.height - d;
    recordStatus(canvas, gp::GdipAddPathArc(rawPath, r.left, r.top, d, d, 180.0f, 90.0f));
    recordStatus(canvas, gp::GdipAddPathArc(rawPath, right, r.top, d, d, 270.0f, 90.0f));
    recordStatus(canvas, gp::GdipAddPathArc(rawPath, right, bottom, d, d, 0.0f, 90.0f));
    recordStatus(canvas, gp::GdipAddPathArc(rawPath, r.left, bottom, d, d, 90.0f, 90.0f));
    recordStatus(canvas, gp::GdipClosePathFigure(rawPath));
    GpPen* pen = nullptr;
    const Gdiplus::GpStatus penStatus = gp::GdipCreatePen1(colour, 2.0f, Gdiplus::UnitWorld, &pen);
    recordStatus(canvas, penStatus);
    if (penStatus != Gdiplus::Ok)
        return;
    PenPtr owner(pen);
    Gdiplus::GraphicsState saved = 0;
    if (clip) {
        recordStatus(canvas, gp::GdipSaveGraphics(canvas.graphics, &saved));
        recordStatus(canvas, gp::GdipSetClipRect(canvas.graphics, clip->left, clip->top, clip->width, clip->height,
                                                 Gdiplus::CombineModeReplace));
    }
    recordStatus(canvas, gp::GdipDrawPath(canvas.graphics, pen, rawPath));
    if (clip)
        recordStatus(canvas, gp::GdipRestoreGraphics(canvas.graphics, saved));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Arithmetic

int nearestCardInDirection(const std::vector<BoardPoint>& centres, std::size_t from, ArrowKey direction)
{
    if (from >= centres.size())
        return -1;
    constexpr double none = std::numeric_limits<double>::infinity();
    int inCone = -1, ahead = -1;
    double coneDistance = none, aheadDistance = none;
    for (std::size_t i = 0; i < centres.size(); ++i) {
        if (i == from)
            continue;
        const Heading h = headingOf(direction, centres[i].x - centres[from].x, centres[i].y - centres[from].y);
        if (!(h.ahead > 0.0))
            continue;
        // Strictly nearer only: of two cards at the same distance the earlier one (drawn below) wins.
        const double distance = std::hypot(h.ahead, h.aside);
        if (std::fabs(h.aside) <= h.ahead && distance < coneDistance) {
            coneDistance = distance;
            inCone = static_cast<int>(i);
        }
        if (distance < aheadDistance) {
            aheadDistance = distance;
            ahead = static_cast<int>(i);
        }
    }
    return inCone >= 0 ? inCone : ahead;
}

BoardView boardViewShowing(const BoardView& view, const DipRect& canvas, double x, double y)
{
    const DipRect r = boardCardRect({0, 0, canvas.width, canvas.height}, view, x, y);
    BoardView shown = view;
    shown.panX += shiftIntoView(r.left, r.left + r.width, canvas.width, BOARD_SHOW_MARGIN);
    shown.panY += shiftIntoView(r.top, r.top + r.height, canvas.height, BOARD_SHOW_MARGIN);
    return shown;
}

// ---------------------------------------------------------------------------------------------
// Board

ViewRequest onBoardArrow(ViewState& app, Library& library, ArrowKey direction, bool ctrl)
{
    if (ctrl)
        return moveSelectedCard(app, library, direction);
    const std::vector<const Story*> cards = boardCards(library);
    if (cards.empty())
        return {};
    const std::string& origin = app.linkMode && !app.boardKeyCardId.empty() ? app.boardKeyCardId : app.selectedStoryId;
    std::size_t from = cards.size();
    for (std::size_t i = 0; i < cards.size(); ++i)
        if (cards[i]->id == origin)
            from = i;
    // Without a card to start from, any arrow starts at the first card.
    int target = 0;
    if (from < cards.size()) {
        std::vector<BoardPoint> centres;
        centres.reserve(cards.size());
        for (const Story* card : cards)
            centres.push_back({card->x + BOARD_CARD_WIDTH / 2, card->y + BOARD_CARD_HEIGHT / 2});
        target = nearestCardInDirection(centres, from, direction);
        if (target < 0)
            return {};
    }
    const std::string id = cards[static_cast<std::size_t>(target)]->id;
    if (app.linkMode) {
        app.boardKeyCardId = id == app.selectedStoryId ? std::string() : id;
        showCard(app, *cards[static_cast<std::size_t>(target)]);
        return {.announceFocus = true, .repaint = true};
    }
    // The card comes into view only once it is selected (the note committed).
    return {.selectStory = id, .showSelectedCard = true, .repaint = true};
}

void showBoardCard(ViewState& app, const Library& library, const std::string& id)
{
    if (const Story* card = findStory(library, id))
        showCard(app, *card);
}

ViewRequest endBoardKeyMove(ViewState& app)
{
    if (!app.keyMovePending)
        return {};
    app.keyMovePending = false;
    return {.save = app.unsavedChanges, .relayout = true};
}

ViewRequest onBoardEnter(ViewState& app, Library& library)
{
    if (!app.linkMode || app.boardKeyCardId.empty())
        return {};
    const std::string id = app.boardKeyCardId;
    const Story* card = findStory(library, id);
    if (!card || !card->saved) {
        app.boardKeyCardId.clear();
        return {.repaint = true};
    }
    return connectSelectedTo(app, library, id);
}

// ---------------------------------------------------------------------------------------------
// Atlas

ViewRequest onAtlasArrow(ViewState& app, ArrowKey direction)
{
    if (!app.plateImage.hasBitmap())
        return {};
    // An arrow shows more of the plate on its side: the plate itself moves the other way.
    const double stepX = ATLAS_KEY_PAN_SHARE * app.atlasViewRect.width;
    const double stepY = ATLAS_KEY_PAN_SHARE * app.atlasViewRect.height;
    switch (direction) {
    case ArrowKey::Left:  app.atlasPanX += stepX; break;
    case ArrowKey::Right: app.atlasPanX -= stepX; break;
    case ArrowKey::Up:    app.atlasPanY += stepY; break;
    case ArrowKey::Down:  app.atlasPanY -= stepY; break;
    }
    return {.repaint = true};
}

ViewRequest onAtlasZoomKey(ViewState& app, bool zoomIn)
{
    return zoomAtlasAbout(app, zoomIn ? ATLAS_ZOOM_IN : ATLAS_ZOOM_OUT, app.atlasViewRect.width / 2.0,
                          app.atlasViewRect.height / 2.0);
}

// ---------------------------------------------------------------------------------------------
// Focus cues

void paintKeyboardCues(Canvas& canvas, const ViewState& app, const Library& library)
{
    const std::uint32_t colour = app.palette.cobalt;
    const Section section = app.currentSection;
    if (section == Section::Discover && app.focusedSurface == ID_LIST_SURFACE)
        paintRing(canvas, {222, 204, 370, app.clientHeightDip - 270}, 10, colour);
    else if (section == Section::Board && app.focusedSurface == ID_BOARD_SURFACE)
        paintRing(canvas, app.boardViewRect, 12, colour);
    else if (section == Section::Atlas && app.focusedSurface == ID_ATLAS_SURFACE)
        paintRing(canvas, app.atlasViewRect, 11, colour);

    if (section != Section::Board || !app.linkMode || app.boardKeyCardId.empty())
        return;
    const Story* card = findStory(library, app.boardKeyCardId);
    if (card && card->saved)
        paintRing(canvas, boardCardRect(app.boardViewRect, boardViewOf(app), card->x, card->y), 8, colour,
                  &app.boardViewRect);
}
