// Window and control geometry as plain functions of numbers: the initial window rectangle, the
// caption band, the minimum size and the per-section layout table of every child control.
#include "shell/shell.h"

#include <algorithm>

PixelRect initialWindowRect(const RECT& workArea, UINT dpi)
{
    const int workWidth = workArea.right - workArea.left;
    const int workHeight = workArea.bottom - workArea.top;
    const int scaledWidth = static_cast<int>(dpi) * 1280 / 96;
    const int scaledHeight = static_cast<int>(dpi) * 850 / 96;
    PixelRect rect;
    rect.width = std::min(workWidth - 20, scaledWidth);
    rect.height = std::min(workHeight - 20, scaledHeight);
    rect.left = workArea.left + (workWidth - rect.width) / 2;
    rect.top = workArea.top + (workHeight - rect.height) / 2;
    return rect;
}

SIZE minimumTrackSize(float dpiScale)
{
    return SIZE{static_cast<LONG>(1110.0f * dpiScale), static_cast<LONG>(790.0f * dpiScale)};
}

bool isCaptionPoint(int clientX, int clientY, float dpiScale, float clientWidthDip)
{
    return static_cast<float>(clientY) < 50.0f * dpiScale
        && static_cast<float>(clientX) < (clientWidthDip - 145.0f) * dpiScale;
}

PixelRect toDevicePixels(const DipRect& rect, float dpiScale)
{
    return PixelRect{static_cast<int>(rect.left * dpiScale), static_cast<int>(rect.top * dpiScale),
                     static_cast<int>(rect.width * dpiScale), static_cast<int>(rect.height * dpiScale)};
}

namespace {

struct PlanBuilder {
    LayoutPlan plan;
    void show(ControlId id, DipRect rect, bool enabled = true) { plan.shown.push_back({id, rect, enabled}); }
};

// The story detail rows shared by Discover and the Story board; x0 is the panel's left edge.
void placeStoryDetail(PlanBuilder& out, const LayoutInputs& in, float x0)
{
    const float W = in.width, H = in.height;
    const float t = W - x0 - 24.0f;
    const float u = (t - 36.0f) / 2.0f;
    out.show(ID_STORY_TEXT, {x0 + 14.0f, 322.0f, t - 28.0f, H - 593.0f});
    out.show(ID_NOTE, {x0 + 14.0f, H - 228.0f, t - 28.0f, 90.0f});
    out.show(ID_PIN, {x0 + 14.0f, H - 124.0f, u, 37.0f});
    out.show(ID_SAVE_NOTE, {x0 + 22.0f + u, H - 124.0f, u, 37.0f});
    out.show(ID_READ_SOURCE, {x0 + 14.0f, H - 80.0f, u, 30.0f});
    if (in.section == Section::Board)
        out.show(ID_CLEAR_LINKS, {x0 + 22.0f + u, H - 80.0f, u, 30.0f});
}

}  // namespace

LayoutPlan planLayout(const LayoutInputs& in)
{
    const float W = in.width, H = in.height;
    PlanBuilder out;

    for (int i = 0; i < SECTION_COUNT; ++i)
        out.show(ID_SECTION_DISCOVER + i, {16.0f, 176.0f + 54.0f * static_cast<float>(i), 180.0f, 43.0f});
    out.show(ID_HIDE, {W - 130.0f, 12.0f, 78.0f, 30.0f});
    const bool quitForm = in.section == Section::Preferences && !in.licencesShown;
    out.show(ID_CLOSE, quitForm ? DipRect{W - 226.0f, H - 112.0f, 200.0f, 36.0f} : DipRect{W - 46.0f, 12.0f, 30.0f, 30.0f});
    if (in.unsavedChanges)
        out.show(ID_RETRY_SAVE, {W - 150.0f, H - 37.0f, 130.0f, 28.0f});

    switch (in.section) {
    case Section::Discover:
    case Section::Board: {
        out.show(ID_REFRESH, {W - 206.0f, 69.0f, 180.0f, 37.0f}, !in.refreshInProgress);
        float x0 = 610.0f;
        if (in.section == Section::Board) {
            x0 = W - 356.0f;
            out.plan.boardViewRect = DipRect{224.0f, 204.0f, W - 600.0f, H - 268.0f};
            out.show(ID_CONNECT, {224.0f, 153.0f, 174.0f, 35.0f});
            out.show(ID_LINK_KIND, {406.0f, 153.0f, 132.0f, 35.0f});
            out.show(ID_FIT_BOARD, {546.0f, 153.0f, 126.0f, 35.0f});
            out.show(ID_UNDO_BOARD, {680.0f, 153.0f, 190.0f, 35.0f}, in.undoAvailable);
        } else {
            out.show(ID_SEARCH, {234.0f, 162.0f, 346.0f, 27.0f});
        }
        if (in.storySelected)
            placeStoryDetail(out, in, x0);
        break;
    }
    case Section::Atlas:
        out.show(ID_PLATE_0, {224.0f, 153.0f, 250.0f, 36.0f});
        out.show(ID_PLATE_1, {482.0f, 153.0f, 296.0f, 36.0f});
        out.plan.atlasViewRect = DipRect{224.0f, 206.0f, W - 248.0f, H - 378.0f};
        out.show(ID_FIT_IMAGE, {224.0f, H - 152.0f, 142.0f, 34.0f});
        out.show(ID_ACTUAL_PIXELS, {374.0f, H - 152.0f, 142.0f, 34.0f});
        out.show(ID_ZOOM_OUT, {524.0f, H - 152.0f, 114.0f, 34.0f});
        out.show(ID_ZOOM_IN, {646.0f, H - 152.0f, 114.0f, 34.0f});
        if (!in.plateDecodeRunning && !in.plateLoaded)
            out.show(ID_RETRY_IMAGE, {W - 186.0f, H - 152.0f, 162.0f, 34.0f});
        break;
    case Section::Preferences:
        out.show(ID_LICENCES, {246.0f, H - 179.0f, 240.0f, 36.0f});
        if (in.licencesShown) {
            out.show(ID_LICENCES_TEXT, {246.0f, 175.0f, W - 294.0f, H - 381.0f});
            break;
        }
        out.show(ID_HOURLY, {246.0f, 289.0f, 400.0f, 40.0f});
        out.show(ID_NOTIFY, {246.0f, 337.0f, 400.0f, 40.0f});
        out.show(ID_EXPORT, {246.0f, H - 112.0f, 180.0f, 36.0f});
        out.show(ID_OPEN_FOLDER, {434.0f, H - 112.0f, 180.0f, 36.0f});
        out.show(ID_RESTORE, {622.0f, H - 112.0f, 220.0f, 36.0f});
        if (in.restoreArmed)
            out.show(ID_CANCEL_RESTORE, {622.0f, H - 68.0f, 220.0f, 29.0f});
        break;
    }
    return out.plan;
}

const ControlPlacement* findPlacement(const LayoutPlan& plan, ControlId id)
{
    for (const ControlPlacement& placement : plan.shown)
        if (placement.id == id)
            return &placement;
    return nullptr;
}
