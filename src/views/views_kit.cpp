// The drawing kit: canvas set-up on a device context, rounded rectangles, lines, ellipses and
// wrapped text through the GDI+ flat API, with fonts and formats cached between paints.
#include "views/views_internal.h"

#include <cmath>

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
    levels.reset();
    if (bitmap)
        gp::GdipDisposeImage(bitmap);
    bitmap = nullptr;
    if (stream)
        stream->Release();
    stream = nullptr;
}

DrawingKit* drawingKitOf(AppState& app)
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
    if (canvas.kit) {
        GpFont* font = cachedFont(canvas, style);
        GpStringFormat* format = cachedFormat(canvas, style.centred);
        if (font && format)
            drawString(canvas, text, rect, font, format, style.colour);
        return;
    }
    int status = 0;
    FamilyPtr family = createFamily(style.georgia, status);
    recordStatus(canvas, status);
    if (!family)
        return;
    FontPtr font = createFont(family.get(), style.size, style.bold, status);
    recordStatus(canvas, status);
    FormatPtr format = createFormat(style.centred, status);
    recordStatus(canvas, status);
    if (font && format)
        drawString(canvas, text, rect, font.get(), format.get(), style.colour);
}

void drawText(Canvas& canvas, std::string_view utf8, const DipRect& rect, const TextStyle& style)
{
    try {
        drawText(canvas, std::wstring_view(utf8ToUtf16(utf8)), rect, style);
    } catch (const Failure&) {
        // Library texts are valid UTF-8; a text that is not is left undrawn.
    }
}
