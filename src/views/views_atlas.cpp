// The Evidence atlas: the embedded plates with their previews, zoom about a point, fit and pan,
// and the painter that draws only the visible part of the right downsampled level.
#include "views/views_internal.h"

#include "locale/locale.h"

#include <algorithm>
#include <cmath>
#include <optional>

using namespace views_detail;

// ---------------------------------------------------------------------------------------------
// Arithmetic

AtlasView atlasZoomedAbout(const AtlasView& view, double factor, double ax, double ay)
{
    double zoom = std::clamp(view.zoom * factor, ATLAS_MIN_ZOOM, ATLAS_MAX_ZOOM);
    // s * (1 / s) misses 1.0 by an ulp for many s (1032 / 11264 among them), which would make
    // "Actual pixels" read 99 %; a zoom that close to 1 is 1.
    if (std::fabs(zoom - 1.0) <= 1e-12)
        zoom = 1.0;
    AtlasView out;
    out.panX = ax - (ax - view.panX) * zoom / view.zoom;
    out.panY = ay - (ay - view.panY) * zoom / view.zoom;
    out.zoom = zoom;
    return out;
}

AtlasView atlasFitted(double vw, double vh, double imageWidth, double imageHeight)
{
    AtlasView out;
    out.zoom = std::min(vh / imageHeight, vw / imageWidth);
    out.panX = (vw - imageWidth * out.zoom) / 2.0;
    out.panY = (vh - imageHeight * out.zoom) / 2.0;
    return out;
}

// ---------------------------------------------------------------------------------------------
// What the atlas says of its plates

namespace {

// Set by the build when it embeds the plates it draws itself rather than the published ones.
#ifdef KESTRUNE_STAND_IN_PLATES
constexpr bool STAND_IN_PLATES = true;
#else
constexpr bool STAND_IN_PLATES = false;
#endif

}  // namespace

bool atlasPlatesAreStandIns()
{
    return STAND_IN_PLATES;
}

const wchar_t* atlasHint()
{
    return UiText(STAND_IN_PLATES ? UiStringKey::HintAtlasStandIn : UiStringKey::HintAtlas);
}

const wchar_t* atlasCredit(std::int32_t plate)
{
    if (!STAND_IN_PLATES)
        return UiText(UiStringKey::ImageCredit);
    return UiText(plate == 1 ? UiStringKey::ImageCreditStandIn1 : UiStringKey::ImageCreditStandIn0);
}

std::wstring atlasSizeLabel(std::int32_t plate, bool loaded, double zoom)
{
    std::wstring label = plate == 1 ? L"11,264 \u00D7 3,904 px" : L"14,575 \u00D7 8,441 px";
    if (loaded)
        label += L"  /  " + std::to_wstring(static_cast<long long>(std::trunc(zoom * 100.0))) + L"%";
    return label;
}

DipRect atlasCoverSource(double vw, double vh, double previewWidth, double previewHeight)
{
    const double k = std::max(vh / previewHeight, vw / previewWidth);
    return {float((previewWidth - vw / k) / 2.0), float((previewHeight - vh / k) / 2.0), float(vw / k),
            float(vh / k)};
}

AtlasDrawPlan planAtlasDraw(const DipRect& view, const AtlasView& atlas, double imageWidth, double imageHeight,
                            float dpiScale, const std::vector<std::pair<int, int>>& levelSizes)
{
    AtlasDrawPlan plan;
    const double x = view.left + atlas.panX, y = view.top + atlas.panY;
    const double left = std::max(x, double(view.left));
    const double right = std::min(x + imageWidth * atlas.zoom, double(view.left) + view.width);
    const double top = std::max(y, double(view.top));
    const double bottom = std::min(y + imageHeight * atlas.zoom, double(view.top) + view.height);
    if (right <= left || bottom <= top || atlas.zoom <= 0.0)
        return plan;
    // A level pixel may cover at most one device pixel, so the filter only ever reduces a little.
    const double devicePerPixel = atlas.zoom * double(dpiScale);
    int level = 0;
    while (std::size_t(level) < levelSizes.size() && devicePerPixel * std::ldexp(1.0, level + 1) <= 1.0 + 1e-9)
        ++level;
    const double factor = std::ldexp(1.0, level);
    const double width = level == 0 ? imageWidth : levelSizes[std::size_t(level - 1)].first;
    const double height = level == 0 ? imageHeight : levelSizes[std::size_t(level - 1)].second;
    const double scale = atlas.zoom * factor;  // dip per level pixel
    constexpr double MARGIN = 3.0;             // beyond the clip, so the filter sees real neighbours
    const double x0 = std::max(0.0, std::floor((left - x) / scale) - MARGIN);
    const double x1 = std::min(width, std::ceil((right - x) / scale) + MARGIN);
    const double y0 = std::max(0.0, std::floor((top - y) / scale) - MARGIN);
    const double y1 = std::min(height, std::ceil((bottom - y) / scale) + MARGIN);
    plan.visible = true;
    plan.level = level;
    plan.srcX = x0;
    plan.srcY = y0;
    plan.srcWidth = x1 - x0;
    plan.srcHeight = y1 - y0;
    plan.destX = x + x0 * scale;
    plan.destY = y + y0 * scale;
    plan.destWidth = plan.srcWidth * scale;
    plan.destHeight = plan.srcHeight * scale;
    return plan;
}

// ---------------------------------------------------------------------------------------------
// Painting

namespace {

bool insideView(const DipRect& v, float x, float y)
{
    return x >= v.left && x < v.left + v.width && y >= v.top && y < v.top + v.height;
}

struct ImageSize {
    UINT width = 0;
    UINT height = 0;
};

ImageSize sizeOf(Gdiplus::GpBitmap* bitmap)
{
    ImageSize size;
    gp::GdipGetImageWidth(bitmap, &size.width);
    gp::GdipGetImageHeight(bitmap, &size.height);
    return size;
}

void drawLoadedPlate(Canvas& canvas, const ViewState& app, const DipRect& view)
{
    const ImageSize size = sizeOf(app.plateImage.bitmap);
    std::vector<std::pair<int, int>> levelSizes;
    if (app.plateImage.levels)
        for (const ImageLevel& level : app.plateImage.levels->levels)
            levelSizes.emplace_back(level.width, level.height);
    const AtlasDrawPlan plan = planAtlasDraw(view, {app.atlasZoom, app.atlasPanX, app.atlasPanY}, size.width,
                                             size.height, app.dpiScale, levelSizes);
    if (!plan.visible)
        return;
    Gdiplus::GpBitmap* source = app.plateImage.bitmap;
    double srcX = plan.srcX, srcY = plan.srcY;
    std::unique_ptr<Gdiplus::GpBitmap, void (*)(Gdiplus::GpBitmap*)> wrapper(nullptr, [](Gdiplus::GpBitmap* b) {
        gp::GdipDisposeImage(b);
    });
    if (plan.level > 0) {
        // Only the needed part of the level is wrapped (its rows in place, nothing copied), so
        // the cost follows the view, not the level's size; the wrapper lives for this one draw.
        ImageLevel& level = app.plateImage.levels->levels[std::size_t(plan.level - 1)];
        std::uint32_t* first = &level.pixels[std::size_t(plan.srcY) * std::size_t(level.width) + std::size_t(plan.srcX)];
        Gdiplus::GpBitmap* raw = nullptr;
        const int status = gp::GdipCreateBitmapFromScan0(int(plan.srcWidth), int(plan.srcHeight), level.width * 4,
                                                         PixelFormat32bppPARGB, reinterpret_cast<BYTE*>(first), &raw);
        recordStatus(canvas, status);
        if (status != Gdiplus::Ok)
            return;
        wrapper.reset(raw);
        source = raw;
        srcX = 0;
        srcY = 0;
    } else if (app.plateImage.levels && app.plateImage.levels->full) {
        // The same for the full plate's own 24-bit rows: drawn whole, GDI+ would convert them all.
        const ImageLevels& levels = *app.plateImage.levels;
        std::uint8_t* first = levels.full.get() + std::size_t(plan.srcY) * levels.fullStride + std::size_t(plan.srcX) * 3;
        Gdiplus::GpBitmap* raw = nullptr;
        const int status = gp::GdipCreateBitmapFromScan0(int(plan.srcWidth), int(plan.srcHeight), int(levels.fullStride),
                                                         PixelFormat24bppRGB, first, &raw);
        recordStatus(canvas, status);
        if (status != Gdiplus::Ok)
            return;
        wrapper.reset(raw);
        source = raw;
        srcX = 0;
        srcY = 0;
    }
    // Where the plate covers the whole view its filtered edges lie outside the clip, and as the
    // plates are opaque, copying gives the same picture as blending, only sooner.
    const double left = view.left + app.atlasPanX, top = view.top + app.atlasPanY;
    if (left <= view.left && top <= view.top && left + size.width * app.atlasZoom >= view.left + view.width &&
        top + size.height * app.atlasZoom >= view.top + view.height)
        recordStatus(canvas, gp::GdipSetCompositingMode(canvas.graphics, Gdiplus::CompositingModeSourceCopy));
    recordStatus(canvas, gp::GdipSetInterpolationMode(canvas.graphics, Gdiplus::InterpolationModeHighQualityBicubic));
    recordStatus(canvas, gp::GdipDrawImageRectRect(canvas.graphics, source, float(plan.destX), float(plan.destY),
                                                   float(plan.destWidth), float(plan.destHeight), float(srcX),
                                                   float(srcY), float(plan.srcWidth), float(plan.srcHeight),
                                                   Gdiplus::UnitPixel, nullptr, nullptr, nullptr));
}

// What the kept atlas pixels must match; empty when this canvas keeps nothing (no kit, or a
// transform other than the kit's scale and a translation).
std::optional<KeptPlateKey> keptPlateKeyOf(const Canvas& canvas, const ViewState& app, const DipRect& view)
{
    if (!canvas.kit || !canvas.graphics)
        return std::nullopt;
    Gdiplus::GpMatrix* matrix = nullptr;
    if (gp::GdipCreateMatrix(&matrix) != Gdiplus::Ok)
        return std::nullopt;
    float m[6] = {};
    const bool read = gp::GdipGetWorldTransform(canvas.graphics, matrix) == Gdiplus::Ok &&
                      gp::GdipGetMatrixElements(matrix, m) == Gdiplus::Ok;
    gp::GdipDeleteMatrix(matrix);
    if (!read || m[0] != canvas.scale || m[3] != canvas.scale || m[1] != 0.0f || m[2] != 0.0f)
        return std::nullopt;
    KeptPlateKey key;
    key.plate = app.loadedPlate;
    key.bitmap = app.plateImage.bitmap;
    key.levels = app.plateImage.levels.get();
    key.zoom = app.atlasZoom;
    key.panX = app.atlasPanX;
    key.panY = app.atlasPanY;
    key.view = view;
    key.scale = canvas.scale;
    key.offsetX = m[4];
    key.offsetY = m[5];
    key.paper = app.palette.paper;
    key.device = {static_cast<LONG>(std::floor(view.left * canvas.scale + m[4])),
                  static_cast<LONG>(std::floor(view.top * canvas.scale + m[5])),
                  static_cast<LONG>(std::ceil((view.left + view.width) * canvas.scale + m[4])),
                  static_cast<LONG>(std::ceil((view.top + view.height) * canvas.scale + m[5]))};
    if (key.device.right <= key.device.left || key.device.bottom <= key.device.top)
        return std::nullopt;
    return key;
}

void drawPreviewUnderVeil(Canvas& canvas, const ViewState& app, const DipRect& view)
{
    const std::int32_t plate = std::clamp(app.requestedPlate, 0, 1);
    const DecodedImage& preview = app.previewImages[std::size_t(plate)];
    if (preview.hasBitmap()) {
        const ImageSize size = sizeOf(preview.bitmap);
        if (size.width > 0 && size.height > 0) {
            const DipRect src = atlasCoverSource(view.width, view.height, size.width, size.height);
            recordStatus(canvas, gp::GdipSetInterpolationMode(canvas.graphics, Gdiplus::InterpolationModeDefault));
            recordStatus(canvas, gp::GdipDrawImageRectRect(canvas.graphics, preview.bitmap, view.left, view.top,
                                                           view.width, view.height, src.left, src.top, src.width,
                                                           src.height, Gdiplus::UnitPixel, nullptr, nullptr,
                                                           nullptr));
        }
    }
    fillRect(canvas, view, ATLAS_VEIL);
    const UiStringKey key = app.plateDecodeRunning ? UiStringKey::DecodingImage : UiStringKey::ImageNotDecoded;
    drawText(canvas, std::wstring_view(UiText(key)), {view.left + 35, view.top + view.height / 2 - 40, view.width - 70, 80},
             TextStyle{.size = 22, .colour = app.palette.card, .centred = true});
}

}  // namespace

void paintAtlas(Canvas& canvas, ViewState& app, const Library&)
{
    const DipRect view = app.atlasViewRect;
    const float W = app.clientWidthDip, H = app.clientHeightDip;
    const bool plateShown = app.plateImage.hasBitmap() && app.loadedPlate == app.requestedPlate;
    const std::optional<KeptPlateKey> key = plateShown ? keptPlateKeyOf(canvas, app, view) : std::nullopt;
    if (!key || canvas.kit->plate.key != key || !copyThroughOffscreen(canvas, canvas.kit->plate.pixels, key->device, false)) {
        fillRoundedRect(canvas, view, 11, ATLAS_BACKGROUND, 0);
        Gdiplus::GraphicsState saved = 0;
        recordStatus(canvas, gp::GdipSaveGraphics(canvas.graphics, &saved));
        recordStatus(canvas, gp::GdipSetClipRect(canvas.graphics, view.left, view.top, view.width, view.height,
                                                 Gdiplus::CombineModeReplace));
        if (plateShown)
            drawLoadedPlate(canvas, app, view);
        else
            drawPreviewUnderVeil(canvas, app, view);
        recordStatus(canvas, gp::GdipRestoreGraphics(canvas.graphics, saved));
        // Only a plate drawn without a failure is kept; the pixels under its rounded corners are
        // the paper's, which is part of the key.
        if (canvas.kit)
            canvas.kit->plate.key =
                key && canvas.status == 0 && copyThroughOffscreen(canvas, canvas.kit->plate.pixels, key->device, true) ? key : std::nullopt;
    }

    const TextStyle caption{.size = 12, .colour = app.palette.muted};
    drawText(canvas, std::wstring_view(UiText(UiStringKey::AtlasCaption)), {224, H - 105, W - 530, 52}, caption);
    drawLabel(canvas, atlasCredit(app.requestedPlate), {224, H - 53, W - 500, 18},
              TextStyle{.size = 10, .colour = app.palette.muted});
    drawLabel(canvas, atlasSizeLabel(app.requestedPlate, app.plateImage.hasBitmap(), app.atlasZoom),
              {W - 300, H - 105, 276, 28}, TextStyle{.size = 15, .colour = app.palette.cobalt, .bold = true});
    drawLabel(canvas, L"NASA SVS 31285", {W - 300, H - 76, 276, 20},
              TextStyle{.size = 11, .colour = app.palette.muted});
}

// ---------------------------------------------------------------------------------------------
// Zoom, fit and the mouse

ViewRequest zoomAtlasAbout(ViewState& app, double factor, double ax, double ay)
{
    if (!app.plateImage.hasBitmap() || !(app.atlasZoom > 0.0))
        return {};
    const AtlasView next = atlasZoomedAbout({app.atlasZoom, app.atlasPanX, app.atlasPanY}, factor, ax, ay);
    app.atlasZoom = next.zoom;
    app.atlasPanX = next.panX;
    app.atlasPanY = next.panY;
    return {.repaint = true, .announceAtlasView = true};
}

ViewRequest fitAtlas(ViewState& app)
{
    if (!app.plateImage.hasBitmap())
        return {};
    const ImageSize size = sizeOf(app.plateImage.bitmap);
    if (size.width == 0 || size.height == 0)
        return {};
    const AtlasView fitted = atlasFitted(app.atlasViewRect.width, app.atlasViewRect.height, size.width, size.height);
    app.atlasZoom = fitted.zoom;
    app.atlasPanX = fitted.panX;
    app.atlasPanY = fitted.panY;
    return {.repaint = true, .announceAtlasView = true};
}

ViewRequest onMouseDownAtlas(ViewState& app, float x, float y)
{
    SetFocus(app.mainWindow);
    const DipRect& v = app.atlasViewRect;
    if (!insideView(v, x, y) || !app.plateImage.hasBitmap())
        return {};
    app.dragging = true;
    app.draggedStoryId.clear();
    app.lastMouseX = x;
    app.lastMouseY = y;
    SetCapture(app.mainWindow);
    return {};
}

ViewRequest onMouseWheelAtlas(ViewState& app, float x, float y, int delta)
{
    const DipRect& v = app.atlasViewRect;
    if (!insideView(v, x, y))
        return {};
    return zoomAtlasAbout(app, std::pow(ATLAS_WHEEL_FACTOR, double(delta) / 120.0), x - v.left, y - v.top);
}

void onDragMoveAtlas(ViewState& app, float x, float y)
{
    app.atlasPanX += double(x) - double(app.lastMouseX);
    app.atlasPanY += double(y) - double(app.lastMouseY);
}
