// The drawing kit: canvas set-up on a device context, rounded rectangles, lines, ellipses and
// wrapped text through the GDI+ flat API, with fonts and formats cached between paints.
#include "views/views_internal.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using namespace views_detail;
using Gdiplus::GpStatus;

// ---------------------------------------------------------------------------------------------
// Cached text objects

void DrawingKitRelease::operator()(DrawingKit* kit) const noexcept
{
    delete kit;
}

void DecodedImage::reset() noexcept
{
    // The bitmap may be drawn from the levels' own rows: it goes first.
    if (bitmap)
        gp::GdipDisposeImage(bitmap);
    bitmap = nullptr;
    levels.reset();
    if (stream)
        stream->Release();
    stream = nullptr;
}

DrawingKit* drawingKitOf(ViewState& app)
{
    if (!app.drawingKit)
        app.drawingKit.reset(new DrawingKit);
    return app.drawingKit.get();
}

namespace {

FamilyPtr createFamily(bool georgia, int& status)
{
    GpFontFamily* family = nullptr;
    status = gp::GdipCreateFontFamilyFromName(georgia ? L"Georgia" : L"Segoe UI", nullptr, &family);
    if (status != Gdiplus::Ok)
        family = nullptr;
    return FamilyPtr(family);
}

FontPtr createFont(GpFontFamily* family, float size, bool bold, int& status)
{
    GpFont* font = nullptr;
    status = gp::GdipCreateFont(family, size, bold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular,
                                Gdiplus::UnitPixel, &font);
    if (status != Gdiplus::Ok)
        font = nullptr;
    return FontPtr(font);
}

FormatPtr createFormat(bool centred, int& status)
{
    GpStringFormat* format = nullptr;
    status = gp::GdipCreateStringFormat(0, LANG_NEUTRAL, &format);
    if (status != Gdiplus::Ok)
        return nullptr;
    FormatPtr owner(format);
    status = gp::GdipSetStringFormatTrimming(format, Gdiplus::StringTrimmingEllipsisCharacter);
    if (status == Gdiplus::Ok)
        status = gp::GdipSetStringFormatFlags(format, Gdiplus::StringFormatFlagsLineLimit);
    if (status == Gdiplus::Ok && centred) {
        status = gp::GdipSetStringFormatAlign(format, Gdiplus::StringAlignmentCenter);
        if (status == Gdiplus::Ok)
            status = gp::GdipSetStringFormatLineAlign(format, Gdiplus::StringAlignmentCenter);
    }
    return owner;
}

// Labels never wrap on their own: a line feed, put only where a space was, is their one break.
FormatPtr createLabelFormat(bool centred, int& status)
{
    FormatPtr format = createFormat(centred, status);
    if (format && status == Gdiplus::Ok)
        status = gp::GdipSetStringFormatFlags(format.get(),
                                              Gdiplus::StringFormatFlagsLineLimit | Gdiplus::StringFormatFlagsNoWrap);
    return format;
}

GpFontFamily* cachedFamily(Canvas& canvas, bool georgia)
{
    DrawingKit& kit = *canvas.kit;
    FamilyPtr& family = georgia ? kit.georgia : kit.segoe;
    int& status = georgia ? kit.georgiaStatus : kit.segoeStatus;
    if (status == -1)
        family = createFamily(georgia, status);
    recordStatus(canvas, status);
    return family.get();
}

GpFont* cachedFont(Canvas& canvas, const TextStyle& style)
{
    GpFontFamily* family = cachedFamily(canvas, style.georgia);
    if (!family)
        return nullptr;
    const auto key = std::make_tuple(static_cast<int>(std::lround(style.size * 100.0f)), style.bold, style.georgia);
    auto found = canvas.kit->fonts.find(key);
    if (found != canvas.kit->fonts.end())
        return found->second.get();
    int status = 0;
    FontPtr font = createFont(family, style.size, style.bold, status);
    recordStatus(canvas, status);
    if (!font)
        return nullptr;
    return canvas.kit->fonts.emplace(key, std::move(font)).first->second.get();
}

GpStringFormat* cachedFormat(Canvas& canvas, bool centred)
{
    FormatPtr& format = centred ? canvas.kit->centredFormat : canvas.kit->leftFormat;
    if (!format) {
        int status = 0;
        format = createFormat(centred, status);
        recordStatus(canvas, status);
    }
    return format.get();
}

GpStringFormat* cachedLabelFormat(Canvas& canvas, bool centred)
{
    FormatPtr& format = centred ? canvas.kit->centredLabelFormat : canvas.kit->leftLabelFormat;
    if (!format) {
        int status = 0;
        format = createLabelFormat(centred, status);
        recordStatus(canvas, status);
    }
    return format.get();
}

// A font and a format for one text: from the kit, or made for this call alone without one.
struct TextObjects {
    GpFont* font = nullptr;
    GpStringFormat* format = nullptr;
    FamilyPtr ownFamily;
    FontPtr ownFont;
    FormatPtr ownFormat;

    explicit operator bool() const noexcept { return font && format; }
};

TextObjects textObjects(Canvas& canvas, const TextStyle& style, bool label)
{
    TextObjects objects;
    if (canvas.kit) {
        objects.font = cachedFont(canvas, style);
        objects.format = label ? cachedLabelFormat(canvas, style.centred) : cachedFormat(canvas, style.centred);
        return objects;
    }
    int status = 0;
    objects.ownFamily = createFamily(style.georgia, status);
    recordStatus(canvas, status);
    if (!objects.ownFamily)
        return objects;
    objects.ownFont = createFont(objects.ownFamily.get(), style.size, style.bold, status);
    recordStatus(canvas, status);
    objects.ownFormat = label ? createLabelFormat(style.centred, status) : createFormat(style.centred, status);
    recordStatus(canvas, status);
    objects.font = objects.ownFont.get();
    objects.format = objects.ownFormat.get();
    return objects;
}

void drawString(Canvas& canvas, std::wstring_view text, const DipRect& rect, GpFont* font,
                GpStringFormat* format, std::uint32_t colour)
{
    BrushPtr brush = solidBrush(canvas, colour);
    if (!brush)
        return;
    const Gdiplus::RectF layout(rect.left, rect.top, rect.width, rect.height);
    recordStatus(canvas, gp::GdipDrawString(canvas.graphics, text.data(), static_cast<INT>(text.size()), font,
                                            &layout, format, brush.get()));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Canvas

void recordStatus(Canvas& canvas, int status)
{
    if (canvas.status == Gdiplus::Ok && status != Gdiplus::Ok)
        canvas.status = status;
}

BrushPtr views_detail::solidBrush(Canvas& canvas, std::uint32_t colour)
{
    Gdiplus::GpSolidFill* brush = nullptr;
    const GpStatus status = gp::GdipCreateSolidFill(colour, &brush);
    recordStatus(canvas, status);
    return BrushPtr(status == Gdiplus::Ok ? brush : nullptr);
}

bool beginCanvas(Canvas& canvas, HDC dc, float dpiScale, DrawingKit* kit, float originX, float originY)
{
    canvas = Canvas{};
    canvas.kit = kit;
    canvas.scale = dpiScale;
    GpGraphics* graphics = nullptr;
    const GpStatus status = gp::GdipCreateFromHDC(dc, &graphics);
    recordStatus(canvas, status);
    if (status != Gdiplus::Ok)
        return false;
    canvas.graphics = graphics;
    recordStatus(canvas, gp::GdipSetSmoothingMode(graphics, Gdiplus::SmoothingModeAntiAlias));
    recordStatus(canvas, gp::GdipSetTextRenderingHint(graphics, Gdiplus::TextRenderingHintClearTypeGridFit));
    recordStatus(canvas, gp::GdipScaleWorldTransform(graphics, dpiScale, dpiScale, Gdiplus::MatrixOrderPrepend));
    if (originX != 0.0f || originY != 0.0f)
        recordStatus(canvas, gp::GdipTranslateWorldTransform(graphics, originX, originY, Gdiplus::MatrixOrderAppend));
    return true;
}

void endCanvas(Canvas& canvas)
{
    if (canvas.graphics)
        gp::GdipDeleteGraphics(canvas.graphics);
    canvas.graphics = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Shapes

void fillRect(Canvas& canvas, const DipRect& rect, std::uint32_t colour)
{
    BrushPtr brush = solidBrush(canvas, colour);
    if (brush)
        recordStatus(canvas, gp::GdipFillRectangle(canvas.graphics, brush.get(), rect.left, rect.top, rect.width,
                                                   rect.height));
}

void fillEllipse(Canvas& canvas, const DipRect& rect, std::uint32_t colour)
{
    BrushPtr brush = solidBrush(canvas, colour);
    if (brush)
        recordStatus(canvas, gp::GdipFillEllipse(canvas.graphics, brush.get(), rect.left, rect.top, rect.width,
                                                 rect.height));
}

void fillRoundedRect(Canvas& canvas, const DipRect& rect, float radius, std::uint32_t fill, std::uint32_t border)
{
    GpPath* rawPath = nullptr;
    const GpStatus created = gp::GdipCreatePath(Gdiplus::FillModeAlternate, &rawPath);
    recordStatus(canvas, created);
    if (created != Gdiplus::Ok)
        return;
    PathPtr path(rawPath);
    const float d = 2.0f * radius;
    const float right = rect.left + rect.width - d, bottom = rect.top + rect.height - d;
    recordStatus(canvas, gp::GdipAddPathArc(rawPath, rect.left, rect.top, d, d, 180.0f, 90.0f));
    recordStatus(canvas, gp::GdipAddPathArc(rawPath, right, rect.top, d, d, 270.0f, 90.0f));
    recordStatus(canvas, gp::GdipAddPathArc(rawPath, right, bottom, d, d, 0.0f, 90.0f));
    recordStatus(canvas, gp::GdipAddPathArc(rawPath, rect.left, bottom, d, d, 90.0f, 90.0f));
    recordStatus(canvas, gp::GdipClosePathFigure(rawPath));

    if (BrushPtr brush = solidBrush(canvas, fill))
        recordStatus(canvas, gp::GdipFillPath(canvas.graphics, brush.get(), rawPath));
    if ((border >> 24) == 0)
        return;
    GpPen* pen = nullptr;
    const GpStatus penStatus = gp::GdipCreatePen1(border, 1.0f, Gdiplus::UnitWorld, &pen);
    recordStatus(canvas, penStatus);
    if (penStatus != Gdiplus::Ok)
        return;
    PenPtr owner(pen);
    recordStatus(canvas, gp::GdipDrawPath(canvas.graphics, pen, rawPath));
}

void drawLine(Canvas& canvas, std::uint32_t colour, float width, float x1, float y1, float x2, float y2)
{
    GpPen* pen = nullptr;
    const GpStatus status = gp::GdipCreatePen1(colour, width, Gdiplus::UnitWorld, &pen);
    recordStatus(canvas, status);
    if (status != Gdiplus::Ok)
        return;
    PenPtr owner(pen);
    recordStatus(canvas, gp::GdipDrawLine(canvas.graphics, pen, x1, y1, x2, y2));
}

// ---------------------------------------------------------------------------------------------
// Text

void drawText(Canvas& canvas, std::wstring_view text, const DipRect& rect, const TextStyle& style)
{
    if (!canvas.graphics || text.empty())
        return;
    if (const TextObjects objects = textObjects(canvas, style, false))
        drawString(canvas, text, rect, objects.font, objects.format, style.colour);
}

void drawText(Canvas& canvas, std::string_view utf8, const DipRect& rect, const TextStyle& style)
{
    try {
        drawText(canvas, std::wstring_view(utf8ToUtf16(utf8)), rect, style);
    } catch (const Failure&) {
        // Library texts are valid UTF-8; a text that is not is left undrawn.
    }
}

// ---------------------------------------------------------------------------------------------
// Labels

namespace {

constexpr float LABEL_STEP = 0.5f;
constexpr float UNBOUNDED = 100000.0f;
constexpr std::size_t LABEL_CACHE_LIMIT = 512;

// Where a label may break: a single space between two words. A run of spaces joins a number or a
// marker to its words ("01   Discover", "●  Notify ...") and is kept whole.
std::vector<std::size_t> breakPoints(std::wstring_view text)
{
    std::vector<std::size_t> points;
    for (std::size_t i = 1; i + 1 < text.size(); ++i)
        if (text[i] == L' ' && text[i - 1] != L' ' && text[i + 1] != L' ')
            points.push_back(i);
    return points;
}

TextMeasure measureWith(Canvas& canvas, std::wstring_view text, const DipRect& rect, const TextObjects& objects)
{
    TextMeasure measure;
    Gdiplus::RectF box;
    const Gdiplus::RectF layout(rect.left, rect.top, rect.width, rect.height);
    INT fitted = 0, lines = 0;
    measure.status = gp::GdipMeasureString(canvas.graphics, text.data(), static_cast<INT>(text.size()), objects.font,
                                           &layout, objects.format, &box, &fitted, &lines);
    recordStatus(canvas, measure.status);
    measure.width = box.Width;
    measure.height = box.Height;
    measure.codepointsFitted = fitted;
    measure.linesFilled = lines;
    return measure;
}

// Measures candidate forms of one label without bounds; `failed` remembers any GDI+ failure, after
// which the result is not kept.
struct LabelMeasurer {
    Canvas& canvas;
    bool failed = false;

    bool fits(std::wstring_view text, const DipRect& rect, const TextObjects& objects, float& width)
    {
        const TextMeasure natural = measureWith(canvas, text, {0, 0, UNBOUNDED, UNBOUNDED}, objects);
        failed = failed || natural.status != Gdiplus::Ok;
        width = natural.width;
        if (natural.status != Gdiplus::Ok || natural.width > rect.width || natural.height > rect.height)
            return false;
        // Whole lines are placed on device pixels, so a block that measures just inside the
        // rectangle can still lose its last line there: laid out in place, every line must show.
        const TextMeasure placed = measureWith(canvas, text, {0, 0, rect.width, rect.height}, objects);
        failed = failed || placed.status != Gdiplus::Ok;
        const auto lines = 1 + std::count(text.begin(), text.end(), L'\n');
        return placed.status == Gdiplus::Ok && placed.codepointsFitted == static_cast<int>(text.size())
               && placed.linesFilled == lines;
    }
};

LabelLayout fitWithRoom(LabelMeasurer& measurer, std::wstring_view text, const DipRect& rect, const TextStyle& style,
                        float twoLineRoom)
{
    Canvas& canvas = measurer.canvas;
    const DipRect twoLines{rect.left, rect.top + twoLineRoom, rect.width, rect.height - 2.0f * twoLineRoom};
    const std::vector<std::size_t> breaks = breakPoints(text);
    const float floor = labelFloorSize(style.size);
    LabelLayout layout{std::wstring(text), floor, false};
    for (float size = style.size; size >= floor - 0.001f && !layout.fits; size -= LABEL_STEP) {
        TextStyle sized = style;
        sized.size = size;
        const TextObjects objects = textObjects(canvas, sized, true);
        if (!objects) {
            measurer.failed = true;
            return {std::wstring(text), style.size, false};
        }
        float width = 0.0f;
        if (measurer.fits(text, rect, objects, width)) {
            layout = {std::wstring(text), size, true};
            break;
        }
        // Of the two-line forms that fit, the most even one.
        float bestWidth = UNBOUNDED;
        for (std::size_t at : breaks) {
            std::wstring split(text);
            split[at] = L'\n';
            if (measurer.fits(split, twoLines, objects, width) && width < bestWidth) {
                layout = {std::move(split), size, true};
                bestWidth = width;
            }
        }
    }
    return layout;
}

// The room above and below two lines is given up only when no size down to the floor leaves it.
LabelLayout computeLabel(Canvas& canvas, std::wstring_view text, const DipRect& rect, const TextStyle& style,
                         float twoLineRoom, bool& keep)
{
    LabelMeasurer measurer{canvas};
    LabelLayout layout = fitWithRoom(measurer, text, rect, style, twoLineRoom);
    if (!layout.fits && twoLineRoom > 0.0f && !measurer.failed)
        layout = fitWithRoom(measurer, text, rect, style, 0.0f);
    keep = !measurer.failed;
    return layout;
}

}  // namespace

float labelFloorSize(float size)
{
    return std::max(8.0f, std::round(size * 0.75f * 2.0f) / 2.0f);
}

TextMeasure measureLabel(Canvas& canvas, std::wstring_view text, const DipRect& rect, const TextStyle& style)
{
    if (!canvas.graphics || text.empty())
        return {};
    const TextObjects objects = textObjects(canvas, style, true);
    if (!objects)
        return {};
    return measureWith(canvas, text, rect, objects);
}

LabelLayout fitLabel(Canvas& canvas, std::wstring_view text, const DipRect& rect, const TextStyle& style,
                     float twoLineRoom)
{
    if (!canvas.graphics || text.empty())
        return {std::wstring(text), style.size, text.empty()};
    bool keep = false;
    if (!canvas.kit)
        return computeLabel(canvas, text, rect, style, twoLineRoom, keep);

    auto& cache = canvas.kit->labels;
    const auto hundredths = [](float v) { return static_cast<int>(std::lround(v * 100.0f)); };
    LabelKey key{std::wstring(text), hundredths(rect.width), hundredths(rect.height), hundredths(style.size),
                 hundredths(canvas.scale), hundredths(twoLineRoom), style.bold, style.georgia};
    if (const auto found = cache.find(key); found != cache.end())
        return found->second;
    LabelLayout layout = computeLabel(canvas, text, rect, style, twoLineRoom, keep);
    if (keep) {
        if (cache.size() >= LABEL_CACHE_LIMIT)
            cache.clear();
        cache.emplace(std::move(key), layout);
    }
    return layout;
}

LabelLayout drawLabel(Canvas& canvas, std::wstring_view text, const DipRect& rect, const TextStyle& style,
                      float twoLineRoom)
{
    LabelLayout layout = fitLabel(canvas, text, rect, style, twoLineRoom);
    if (layout.text.empty())
        return layout;
    TextStyle sized = style;
    sized.size = layout.size;
    if (const TextObjects objects = textObjects(canvas, sized, true))
        drawString(canvas, layout.text, rect, objects.font, objects.format, style.colour);
    return layout;
}
