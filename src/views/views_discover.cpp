// The Discover view: the searchable story list, its scrolling and hit tests, and the story panel it
// shares with the Story board.
#include "views/views_internal.h"

#include "locale/locale.h"

#include <algorithm>
#include <cmath>

using namespace views_detail;

namespace {

constexpr float LIST_VIEW_TOP = 204.0f;

// The panel's left edge: beside the list in Discover, beside the canvas on the board.
float panelLeft(const ViewState& app)
{
    return app.currentSection == Section::Board ? app.clientWidthDip - 356.0f : 610.0f;
}

std::wstring dateLine(const Story& story)
{
    return story.published != 0 ? formatLocalDateTime(story.published, true)
                                : std::wstring(UiText(UiStringKey::FieldNoteArchive));
}

void paintRow(Canvas& canvas, const ViewState& app, const Story& story, float y)
{
    const Palette& p = app.palette;
    const bool selected = story.id == app.selectedStoryId;
    fillRoundedRect(canvas, {LIST_ROW_LEFT, y, LIST_ROW_WIDTH, LIST_ROW_HEIGHT}, 10, selected ? p.cobaltTint : p.card,
                    selected ? p.selectedRowBorder : p.line);
    if (selected)
        fillRect(canvas, {225, y + 20, 3, 73}, p.cobalt);
    drawText(canvas, std::string_view(story.source), {240, y + 12, 300, 18},
             {.size = 10.5f, .colour = p.cobalt, .bold = true});
    drawText(canvas, std::string_view(story.title), {240, y + 34, 330, 49}, {.size = 17.0f, .colour = p.ink, .bold = true});
    drawText(canvas, std::wstring_view(dateLine(story)), {240, y + 89, 300, 16}, {.size = 10.0f, .colour = p.muted});
    if (story.saved)
        fillEllipse(canvas, {565, y + 14, 9, 9}, p.apricot);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Arithmetic

std::int32_t clampListScroll(std::int32_t offset, std::size_t rows, float viewHeight)
{
    const double overflow = static_cast<double>(rows) * LIST_ROW_PITCH - static_cast<double>(viewHeight);
    const auto upper = static_cast<std::int32_t>(std::max(0.0, std::trunc(overflow)));
    return std::min(std::max(offset, 0), upper);
}

std::int32_t wheelListScroll(std::int32_t offset, float x, int delta)
{
    if (!(x < LIST_WHEEL_RIGHT))
        return offset;
    return std::max(0, offset - (delta / 120) * LIST_WHEEL_STEP);
}

namespace {

// The list's clipped viewport starts at LIST_VIEW_TOP and ends above the status line.
float listViewHeight(const ViewState& app)
{
    return app.clientHeightDip - 270.0f;
}

}  // namespace

bool containsPoint(float left, float top, float width, float height, float x, float y)
{
    return x >= left && x < left + width && y >= top && y < top + height;
}

int firstHit(const std::vector<HitRecord>& hits, float x, float y)
{
    for (std::size_t i = 0; i < hits.size(); ++i)
        if (containsPoint(hits[i].left, hits[i].top, hits[i].width, hits[i].height, x, y))
            return static_cast<int>(i);
    return -1;
}

// ---------------------------------------------------------------------------------------------
// Painting

void paintDiscover(Canvas& canvas, ViewState& app, const Library& library)
{
    const Palette& p = app.palette;
    const float H = app.clientHeightDip;
    const float V = listViewHeight(app);
    fillRoundedRect(canvas, {224, 153, 366, 44}, 8, p.card, p.line);

    std::vector<const Story*> rows;
    try {
        rows = matchingStories(app, library);
    } catch (const Failure&) {
        // Library texts are valid UTF-8; a library that is not shows no list rather than half of one.
    }
    const std::size_t n = rows.size();
    app.listScrollOffset = clampListScroll(app.listScrollOffset, n, V);

    Gdiplus::GraphicsState saved = 0;
    recordStatus(canvas, gp::GdipSaveGraphics(canvas.graphics, &saved));
    recordStatus(canvas, gp::GdipSetClipRect(canvas.graphics, 222, LIST_VIEW_TOP, 370, V, Gdiplus::CombineModeReplace));
    app.hitRows.clear();
    for (std::size_t i = 0; i < n; ++i) {
        const float y = LIST_FIRST_ROW_TOP - static_cast<float>(app.listScrollOffset) +
                        static_cast<float>(LIST_ROW_PITCH) * static_cast<float>(i);
        if (y >= H - 64.0f)
            break;
        if (y + LIST_ROW_HEIGHT <= LIST_VIEW_TOP)
            continue;
        paintRow(canvas, app, *rows[i], y);
        app.hitRows.push_back({LIST_ROW_LEFT, y, LIST_ROW_WIDTH, LIST_ROW_HEIGHT, rows[i]->id});
    }
    if (n == 0)
        drawText(canvas, std::wstring_view(UiText(UiStringKey::NoMatchingStories)), {248, 246, 312, 160},
                 {.size = 21.0f, .colour = p.muted, .georgia = true});
    recordStatus(canvas, gp::GdipRestoreGraphics(canvas.graphics, saved));

    const float total = static_cast<float>(n) * static_cast<float>(LIST_ROW_PITCH);
    if (total > V) {
        fillRect(canvas, {596, 206, 3, V}, p.line);
        fillRect(canvas, {596, 206 + static_cast<float>(app.listScrollOffset) / total * V, 3, V * V / total}, p.cobalt);
    }
    paintStoryPanel(canvas, app, library);
}

void paintStoryPanel(Canvas& canvas, const ViewState& app, const Library& library)
{
    const Palette& p = app.palette;
    const float W = app.clientWidthDip, H = app.clientHeightDip;
    const float x0 = panelLeft(app), P = W - x0 - 24.0f;
    fillRoundedRect(canvas, {x0, 204, P, H - 252}, 11, p.card, p.line);
    const Story* story = findStory(library, app.selectedStoryId);
    if (!story) {
        drawText(canvas, std::wstring_view(UiText(UiStringKey::ChooseStory)), {x0 + 26, 242, P - 52, 150},
                 {.size = 23.0f, .colour = p.muted, .georgia = true});
        return;
    }
    drawText(canvas, std::string_view(story->source), {x0 + 18, 218, P - 36, 20},
             {.size = 11.0f, .colour = p.cobalt, .bold = true});
    drawText(canvas, std::string_view(story->title), {x0 + 18, 244, P - 36, 65},
             {.size = 21.0f, .colour = p.ink, .bold = true});
    drawText(canvas, std::wstring_view(dateLine(*story)), {x0 + 18, 304, P - 36, 17}, {.size = 10.5f, .colour = p.muted});
    drawLine(canvas, p.line, 1.0f, x0 + 18, H - 264, W - 42, H - 264);
    drawLabel(canvas, UiText(UiStringKey::YourObservation), {x0 + 20, H - 253, P - 40, 20},
              {.size = 10.5f, .colour = p.cobalt, .bold = true});
    fillRoundedRect(canvas, {x0 + 12, H - 230, P - 24, 94}, 5, p.card, p.line);
}

// ---------------------------------------------------------------------------------------------
// Mouse

ViewRequest onMouseDownDiscover(ViewState& app, float x, float y)
{
    if (app.mainWindow)
        SetFocus(app.mainWindow);
    // The last row may reach under the status line; only its part inside the list takes clicks.
    if (y < LIST_VIEW_TOP || y >= LIST_VIEW_TOP + listViewHeight(app))
        return {};
    const int hit = firstHit(app.hitRows, x, y);
    if (hit < 0)
        return {};
    return {.selectStory = app.hitRows[static_cast<std::size_t>(hit)].id};
}

ViewRequest onMouseWheelDiscover(ViewState& app, float x, float, int delta)
{
    const std::int32_t next = wheelListScroll(app.listScrollOffset, x, delta);
    if (next == app.listScrollOffset)
        return {};
    app.listScrollOffset = next;
    return {.repaint = true};
}
