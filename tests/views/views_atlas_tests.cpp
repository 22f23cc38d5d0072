// Evidence atlas without a window: zoom about a point, the zoom limits, fit, the size label, the
// preview crop, which level and part of a plate a paint draws, and the image decoder's outcomes.
#include "views/views.h"

#include "views_test_pixels.h"
#include "views_test_requests.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace gp = Gdiplus::DllExports;

const DipRect VIEW{224, 206, 1032, 442};  // the view of the 1280 x 820 window

// Sizes of the six halvings of plate 0 (14,575 x 8,441), each rounded up.
const std::vector<std::pair<int, int>> PLATE0_LEVELS = {{7288, 4221}, {3644, 2111}, {1822, 1056},
                                                        {911, 528},   {456, 264},   {228, 132}};

TEST(AtlasZoom, OneWheelNotchZoomsBy122AndKeepsTheImagePointUnderThePointer)
{
    // At zoom 0.5 with pan (100, 50), the pointer at (300, 200) is over image point (400, 300).
    const AtlasView next = atlasZoomedAbout({0.5, 100, 50}, std::pow(1.22, 120 / 120.0), 300, 200);
    EXPECT_DOUBLE_EQ(next.zoom, 0.61);
    EXPECT_NEAR(next.panX, 56.0, 1e-9);  // 300 - 200 * 1.22
    EXPECT_NEAR(next.panY, 17.0, 1e-9);  // 200 - 150 * 1.22
    EXPECT_NEAR((300 - next.panX) / next.zoom, 400.0, 1e-9);
    EXPECT_NEAR((200 - next.panY) / next.zoom, 300.0, 1e-9);
}

TEST(AtlasZoom, ZoomInThreeTimesFromActualPixelsStopsAtTwo)
{
    AtlasView view{1.0, 0, 0};
    view = atlasZoomedAbout(view, ATLAS_ZOOM_IN, 516, 221);
    EXPECT_DOUBLE_EQ(view.zoom, 1.4);
    view = atlasZoomedAbout(view, ATLAS_ZOOM_IN, 516, 221);
    EXPECT_DOUBLE_EQ(view.zoom, 1.96);
    view = atlasZoomedAbout(view, ATLAS_ZOOM_IN, 516, 221);
    EXPECT_EQ(view.zoom, 2.0);
    // The cut factor (2 / 1.96) still keeps the centre's image point: 516 at zoom 1 stays put.
    EXPECT_NEAR((516 - view.panX) / view.zoom, 516.0, 1e-9);
}

TEST(AtlasZoom, RepeatedZoomOutStopsAtTheSmallestZoom)
{
    AtlasView view{1.0, 0, 0};
    for (int i = 0; i < 12; ++i)
        view = atlasZoomedAbout(view, ATLAS_ZOOM_OUT, 516, 221);
    EXPECT_NEAR(view.zoom, 0.017639, 1e-6);  // 1 / 1.4^12, still above the limit
    view = atlasZoomedAbout(view, ATLAS_ZOOM_OUT, 516, 221);
    EXPECT_EQ(view.zoom, 0.015);
    for (int i = 0; i < 5; ++i)
        view = atlasZoomedAbout(view, ATLAS_ZOOM_OUT, 516, 221);
    EXPECT_EQ(view.zoom, 0.015);
}

TEST(AtlasZoom, ActualPixelsGivesExactlyOneAndKeepsTheCentrePoint)
{
    // Zoom 0.25 with pan (10, 20): the centre (516, 221) shows image point (2024, 804).
    const AtlasView view = atlasZoomedAbout({0.25, 10, 20}, 1 / 0.25, 516, 221);
    EXPECT_EQ(view.zoom, 1.0);
    EXPECT_NEAR(view.panX, -1508.0, 1e-9);
    EXPECT_NEAR(view.panY, -583.0, 1e-9);
}

TEST(AtlasZoom, ActualPixelsAfterFittingPlate1ReadsOneHundredPercentNotNinetyNine)
{
    // 1032 / 11264 times its reciprocal is one ulp below 1 in double arithmetic.
    const double fitted = 1032.0 / 11264.0;
    const AtlasView view = atlasZoomedAbout({fitted, 0, 100}, 1 / fitted, 516, 221);
    EXPECT_EQ(view.zoom, 1.0);
    EXPECT_EQ(atlasSizeLabel(1, true, view.zoom), L"11,264 \u00D7 3,904 px  /  100%");
}

TEST(AtlasFit, Plate0InTheDefaultViewIsHeightLimitedAndCentredAcross)
{
    const AtlasView view = atlasFitted(1032, 442, 14575, 8441);
    EXPECT_EQ(view.zoom, 442.0 / 8441.0);
    // 14,575 * 442 / 8,441 = 763.1975 dip wide, so (1032 - 763.1975) / 2 on each side.
    EXPECT_NEAR(view.panX, 134.40125, 1e-4);
    EXPECT_NEAR(view.panY, 0.0, 1e-9);
}

TEST(AtlasFit, Plate1InTheDefaultViewIsWidthLimitedAndCentredDown)
{
    const AtlasView view = atlasFitted(1032, 442, 11264, 3904);
    EXPECT_EQ(view.zoom, 1032.0 / 11264.0);
    EXPECT_NEAR(view.panX, 0.0, 1e-9);
    EXPECT_NEAR(view.panY, 42.1591, 1e-4);  // (442 - 357.6818) / 2
}

TEST(AtlasLabel, TruncatesThePercentage)
{
    EXPECT_EQ(atlasSizeLabel(0, true, 0.0524), L"14,575 \u00D7 8,441 px  /  5%");
    EXPECT_EQ(atlasSizeLabel(0, true, 1.999), L"14,575 \u00D7 8,441 px  /  199%");
    EXPECT_EQ(atlasSizeLabel(1, true, 2.0), L"11,264 \u00D7 3,904 px  /  200%");
}

TEST(AtlasLabel, ShowsOnlyTheSizeWithoutALoadedPlate)
{
    EXPECT_EQ(atlasSizeLabel(0, false, 1.0), L"14,575 \u00D7 8,441 px");
    EXPECT_EQ(atlasSizeLabel(1, false, 1.0), L"11,264 \u00D7 3,904 px");
}

TEST(AtlasPreview, CoverCropFillsTheViewFromTheMiddleOfThePreview)
{
    // k = max(442 / 927, 1032 / 1600) = 0.645: the full width, 685.27 of the 927 rows, centred.
    const DipRect src = atlasCoverSource(1032, 442, 1600, 927);
    EXPECT_NEAR(src.left, 0.0, 1e-3);
    EXPECT_NEAR(src.width, 1600.0, 1e-3);
    EXPECT_NEAR(src.height, 685.2713, 1e-3);
    EXPECT_NEAR(src.top, 120.8643, 1e-3);
}

TEST(AtlasDrawing, PicksTheCoarsestLevelWithNoMoreThanOnePixelPerDevicePixel)
{
    struct Case {
        double zoom;
        float dpi;
        int level;
    };
    const Case cases[] = {
        {442.0 / 8441.0, 1.0f, 4},  // 16 level pixels per image pixel: 0.84 device pixels each
        {0.05, 1.0f, 4},           {0.25, 1.0f, 2}, {0.5, 1.0f, 1}, {0.9, 1.0f, 0},
        {1.0, 1.0f, 0},            {2.0, 1.0f, 0},  {0.015, 1.0f, 6}, {0.5, 2.0f, 0},
        {0.25, 2.0f, 1},           {0.001, 1.0f, 6},  // never past the last level
    };
    for (const Case& c : cases) {
        const AtlasDrawPlan plan = planAtlasDraw(VIEW, {c.zoom, 0, 0}, 14575, 8441, c.dpi, PLATE0_LEVELS);
        EXPECT_TRUE(plan.visible);
        EXPECT_EQ(plan.level, c.level) << "zoom " << c.zoom << " at dpi scale " << c.dpi;
    }
}

TEST(AtlasDrawing, AtActualPixelsDrawsOnlyTheVisiblePartWithAMargin)
{
    // Pan (-1508, -583): image columns 1508 .. 2540 and rows 583 .. 1025 are in view.
    const AtlasDrawPlan plan = planAtlasDraw(VIEW, {1.0, -1508, -583}, 14575, 8441, 1.0f, PLATE0_LEVELS);
    ASSERT_TRUE(plan.visible);
    EXPECT_EQ(plan.level, 0);
    EXPECT_EQ(plan.srcX, 1505.0);
    EXPECT_EQ(plan.srcY, 580.0);
    EXPECT_EQ(plan.srcWidth, 1038.0);
    EXPECT_EQ(plan.srcHeight, 448.0);
    EXPECT_EQ(plan.destX, 221.0);  // the margin lies outside the clip
    EXPECT_EQ(plan.destY, 203.0);
    EXPECT_EQ(plan.destWidth, 1038.0);
    EXPECT_EQ(plan.destHeight, 448.0);
}

TEST(AtlasDrawing, AtFitDrawsTheWholeLevelOntoTheWholeImageRectangle)
{
    const AtlasView fit = atlasFitted(1032, 442, 14575, 8441);
    const AtlasDrawPlan plan = planAtlasDraw(VIEW, fit, 14575, 8441, 1.0f, PLATE0_LEVELS);
    ASSERT_TRUE(plan.visible);
    EXPECT_EQ(plan.level, 4);
    EXPECT_EQ(plan.srcX, 0.0);
    EXPECT_EQ(plan.srcY, 0.0);
    EXPECT_EQ(plan.srcWidth, 911.0);
    EXPECT_EQ(plan.srcHeight, 528.0);
    EXPECT_NEAR(plan.destX, 224 + 134.40125, 1e-4);
    EXPECT_NEAR(plan.destY, 206.0, 1e-9);
    EXPECT_NEAR(plan.destHeight, 528 * 16 * 442.0 / 8441.0, 1e-9);  // 442.37: the last row is half-filled
}

TEST(AtlasDrawing, APlateDraggedOutOfSightDrawsNothing)
{
    EXPECT_FALSE(planAtlasDraw(VIEW, {1.0, 2000, 0}, 14575, 8441, 1.0f, PLATE0_LEVELS).visible);
    EXPECT_FALSE(planAtlasDraw(VIEW, {0.05, -800, 0}, 14575, 8441, 1.0f, PLATE0_LEVELS).visible);
    EXPECT_TRUE(planAtlasDraw(VIEW, {0.05, -700, 0}, 14575, 8441, 1.0f, PLATE0_LEVELS).visible);
}

// ---------------------------------------------------------------------------------------------
// Decoding

class AtlasDecoding : public GdiplusSuite {
protected:
    // A 5 x 3 PNG whose top-left 2 x 2 block has red 0, 40, 80, 120; every other pixel is white.
    static std::string smallPng()
    {
        Gdiplus::GpBitmap* bitmap = nullptr;
        gp::GdipCreateBitmapFromScan0(5, 3, 0, PixelFormat32bppARGB, nullptr, &bitmap);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                gp::GdipBitmapSetPixel(bitmap, x, y, 0xFFFFFFFF);
        gp::GdipBitmapSetPixel(bitmap, 0, 0, 0xFF000000);
        gp::GdipBitmapSetPixel(bitmap, 1, 0, 0xFF280000);
        gp::GdipBitmapSetPixel(bitmap, 0, 1, 0xFF500000);
        gp::GdipBitmapSetPixel(bitmap, 1, 1, 0xFF780000);
        return pngOf(bitmap);
    }

    // An opaque w x h plate with detail at every scale, so each level and filter shows.
    static std::string patternPng(int w, int h)
    {
        std::vector<std::uint32_t> pixels(std::size_t(w) * std::size_t(h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                pixels[std::size_t(y) * std::size_t(w) + std::size_t(x)] =
                    0xFF000000u | std::uint32_t((x * 7) & 0xFF) << 16 | std::uint32_t((y * 5) & 0xFF) << 8 |
                    std::uint32_t(((x ^ y) & 8) ? 0xE0 : 0x20);
        Gdiplus::GpBitmap* bitmap = nullptr;
        gp::GdipCreateBitmapFromScan0(w, h, w * 4, PixelFormat32bppARGB, reinterpret_cast<BYTE*>(pixels.data()),
                                      &bitmap);
        return pngOf(bitmap);
    }

    static std::string pngOf(Gdiplus::GpBitmap* bitmap)
    {
        IStream* stream = nullptr;
        CreateStreamOnHGlobal(nullptr, TRUE, &stream);
        const CLSID png = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
        gp::GdipSaveImageToStream(bitmap, stream, &png, nullptr);
        gp::GdipDisposeImage(bitmap);
        STATSTG stat{};
        stream->Stat(&stat, STATFLAG_NONAME);
        std::string bytes(static_cast<std::size_t>(stat.cbSize.QuadPart), '\0');
        const LARGE_INTEGER start{};
        stream->Seek(start, STREAM_SEEK_SET, nullptr);
        ULONG read = 0;
        stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
        stream->Release();
        return bytes;
    }

};

TEST_F(AtlasDecoding, AForcedDecodeKeepsTheBitmapAndBuildsAveragedLevels)
{
    const std::string png = smallPng();
    ASSERT_GT(png.size(), 8u);
    PlateDecodeOptions options;
    options.buildLevels = true;
    const DecodedImage image = decodeImageBytes(png.data(), png.size(), true, options);
    ASSERT_TRUE(image.hasBitmap());
    EXPECT_EQ(image.stream, nullptr) << "a full decode keeps no copy of the compressed bytes";
    UINT width = 0, height = 0;
    gp::GdipGetImageWidth(image.bitmap, &width);
    gp::GdipGetImageHeight(image.bitmap, &height);
    EXPECT_EQ(width, 5u);
    EXPECT_EQ(height, 3u);
    // 5 x 3 halves to 3 x 2, then 2 x 1; a single row cannot halve again.
    ASSERT_EQ(imageLevelCount(image), 2u);
    const ImageLevel& first = image.levels->levels[0];
    EXPECT_EQ(first.width, 3);
    EXPECT_EQ(first.height, 2);
    EXPECT_EQ(first.pixels[0], 0xFF3C0000u);  // red (0 + 40 + 80 + 120) / 4 = 60
    EXPECT_EQ(first.pixels[2], 0xFFFFFFFFu);  // the odd last column averages with itself
    EXPECT_EQ(first.pixels[3 + 2], 0xFFFFFFFFu);
}

// The view's pixels are kept while the plate, zoom and pan stay: a repaint copies them and must
// give what a paint without any kept pictures gives, and a new zoom must be drawn anew.
TEST_F(AtlasDecoding, TheKeptViewPaintsWhatAFreshPaintDoes)
{
    const std::string png = patternPng(900, 500);
    PlateDecodeOptions options;
    options.buildLevels = true;
    ViewState app;
    app.plateImage = decodeImageBytes(png.data(), png.size(), true, options);
    ASSERT_TRUE(app.plateImage.hasBitmap());
    app.loadedPlate = app.requestedPlate = 0;
    app.atlasViewRect = VIEW;
    app.atlasZoom = 0.61;
    app.atlasPanX = 40.5;
    app.atlasPanY = 12.25;
    const Library library;
    constexpr int W = 1280, H = 820;
    const auto paint = [&](PixelBuffer& into, DrawingKit* kit) {
        Canvas canvas;
        if (beginCanvas(canvas, into.dc, 1.0f, kit))
            paintAtlas(canvas, app, library);
        endCanvas(canvas);
        return canvas.status;
    };
    const auto differing = [&](const PixelBuffer& a, const PixelBuffer& b) {
        int count = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                count += a.at(x, y) != b.at(x, y);
        return count;
    };
    for (const double zoom : {0.61, 0.61 * 1.22}) {
        app.atlasZoom = zoom;
        PixelBuffer fresh(W, H), first(W, H), again(W, H);
        EXPECT_EQ(paint(fresh, nullptr), 0);
        EXPECT_EQ(paint(first, drawingKitOf(app)), 0);
        EXPECT_EQ(paint(again, drawingKitOf(app)), 0);
        EXPECT_EQ(differing(fresh, first), 0) << "zoom " << zoom << ", drawn and kept";
        EXPECT_EQ(differing(fresh, again), 0) << "zoom " << zoom << ", copied from the kept pixels";
    }
    app.drawingKit.reset();  // its pictures go before the plate they were made from
}

TEST_F(AtlasDecoding, AnUnforcedDecodeHasNoLevels)
{
    const std::string png = smallPng();
    PlateDecodeOptions options;
    options.buildLevels = true;
    const DecodedImage image = decodeImageBytes(png.data(), png.size(), false, options);
    EXPECT_TRUE(image.hasBitmap());
    EXPECT_EQ(imageLevelCount(image), 0u);
}

TEST_F(AtlasDecoding, BytesThatAreNoImageGiveNoBitmap)
{
    const std::string junk = "this is not an image at all, only text";
    const DecodedImage image = decodeImageBytes(junk.data(), junk.size(), true);
    EXPECT_FALSE(image.hasBitmap());
}

TEST_F(AtlasDecoding, ADamagedPngGivesNoBitmapWhenForced)
{
    std::string png = smallPng();
    // Keep the signature and header, spoil the compressed pixel data after them.
    for (std::size_t i = 41; i < png.size() - 12; ++i)
        png[i] = static_cast<char>(0xA5);
    const DecodedImage image = decodeImageBytes(png.data(), png.size(), true);
    EXPECT_FALSE(image.hasBitmap());
}

TEST_F(AtlasDecoding, AFullDecodeThatCannotHaveItsBufferEndsWithoutBitmap)
{
    const std::string png = smallPng();
    PlateDecodeOptions options;
    options.failFullDecode = true;
    options.buildLevels = true;
    const DecodedImage image = decodeImageBytes(png.data(), png.size(), true, options);
    EXPECT_FALSE(image.hasBitmap());
    EXPECT_EQ(imageLevelCount(image), 0u);
}

TEST_F(AtlasDecoding, AMissingResourceGivesAnEmptyImage)
{
    const DecodedImage image = decodePlateResource(9999, true);
    EXPECT_FALSE(image.hasBitmap());
    EXPECT_EQ(image.stream, nullptr);
}

TEST_F(AtlasDecoding, ReleasingAnImageDropsItsLevels)
{
    const std::string png = smallPng();
    PlateDecodeOptions options;
    options.buildLevels = true;
    DecodedImage image = decodeImageBytes(png.data(), png.size(), true, options);
    ASSERT_EQ(imageLevelCount(image), 2u);
    DecodedImage moved = std::move(image);
    EXPECT_EQ(imageLevelCount(image), 0u);
    EXPECT_EQ(imageLevelCount(moved), 2u);
    moved.reset();
    EXPECT_FALSE(moved.hasBitmap());
    EXPECT_EQ(imageLevelCount(moved), 0u);
}

}  // namespace

namespace {

class AtlasMouse : public AtlasDecoding {
protected:
    void SetUp() override
    {
        view = std::make_unique<ViewState>();
        view->atlasViewRect = VIEW;
        view->atlasZoom = 0.5;
        view->atlasPanX = 100;
        view->atlasPanY = 50;
    }
    void TearDown() override { view.reset(); }

    void loadSmallPlate()
    {
        const std::string png = smallPng();
        view->plateImage = decodeImageBytes(png.data(), png.size(), true);
        view->loadedPlate = 0;
    }

    std::unique_ptr<ViewState> view;
};

TEST_F(AtlasMouse, TheWheelZoomsAboutThePointerMeasuredFromTheViewCorner)
{
    loadSmallPlate();
    EXPECT_EQ(describe(onMouseWheelAtlas(*view, 224 + 300, 206 + 200, 120)), "repaint announceAtlasView");
    EXPECT_DOUBLE_EQ(view->atlasZoom, 0.61);
    EXPECT_NEAR(view->atlasPanX, 56.0, 1e-9);
    EXPECT_NEAR(view->atlasPanY, 17.0, 1e-9);
    (void)onMouseWheelAtlas(*view, 224 + 300, 206 + 200, -120);  // one notch back
    EXPECT_NEAR(view->atlasZoom, 0.5, 1e-12);
    EXPECT_NEAR(view->atlasPanX, 100.0, 1e-9);
}

TEST_F(AtlasMouse, WheelOutsideTheViewOrWithoutAPlateChangesAndAsksNothing)
{
    EXPECT_EQ(describe(onMouseWheelAtlas(*view, 524, 406, 120)), "nothing");  // no plate yet
    EXPECT_EQ(view->atlasZoom, 0.5);
    loadSmallPlate();
    EXPECT_EQ(describe(onMouseWheelAtlas(*view, 223, 406, 120)), "nothing");  // one dip left of the view
    EXPECT_EQ(describe(onMouseWheelAtlas(*view, 524, 648, 120)), "nothing");  // the bottom edge is outside
    EXPECT_EQ(view->atlasZoom, 0.5);
}

TEST_F(AtlasMouse, APressStartsAPanOnlyInsideTheViewWithAPlate)
{
    (void)onMouseDownAtlas(*view, 500, 300);
    EXPECT_FALSE(view->dragging);
    loadSmallPlate();
    (void)onMouseDownAtlas(*view, 200, 300);
    EXPECT_FALSE(view->dragging);
    EXPECT_EQ(describe(onMouseDownAtlas(*view, 500, 300)), "nothing");
    EXPECT_TRUE(view->dragging);
    onDragMoveAtlas(*view, 530, 290);
    EXPECT_EQ(view->atlasPanX, 130.0);
    EXPECT_EQ(view->atlasPanY, 40.0);
    ReleaseCapture();
}

TEST_F(AtlasMouse, FitAndZoomDoNothingWithoutAPlate)
{
    EXPECT_EQ(describe(fitAtlas(*view)), "nothing");
    EXPECT_EQ(describe(zoomAtlasAbout(*view, 1.4, 516, 221)), "nothing");
    EXPECT_EQ(view->atlasZoom, 0.5);
    EXPECT_EQ(view->atlasPanX, 100.0);
}

}  // namespace
