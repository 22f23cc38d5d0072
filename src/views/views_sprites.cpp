// Sprites: pictures painted once through GDI+ and blended where they are needed, for what a paint
// draws many times over or keeps from one paint to the next.
#include "views/views_internal.h"

#include <algorithm>
#include <cstring>

using namespace views_detail;

Sprite views_detail::makeSprite(int width, int height)
{
    Sprite sprite;
    if (width <= 0 || height <= 0)
        return sprite;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    sprite.bitmap.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    sprite.dc.reset(CreateCompatibleDC(nullptr));
    if (!sprite.bitmap || !bits || !sprite.dc || !SelectObject(sprite.dc.get(), sprite.bitmap.get()))
        return Sprite{};
    sprite.pixels = static_cast<std::uint32_t*>(bits);
    sprite.width = width;
    sprite.height = height;
    std::memset(sprite.pixels, 0, sprite.bytes());
    return sprite;
}

void views_detail::findOpaqueCore(Sprite& sprite)
{
    sprite.opaque = RECT{};
    const int w = sprite.width, h = sprite.height;
    const auto solid = [&](int x, int y) { return (sprite.pixels[static_cast<std::size_t>(y) * w + x] >> 24) == 0xFF; };
    // Rounded shapes: the opaque run through the middle row, grown up and down while whole, and the
    // run through the middle column, grown sideways; the larger of the two.
    const auto grow = [&](bool alongRows) {
        const int length = alongRows ? w : h, breadth = alongRows ? h : w, middle = breadth / 2;
        const auto at = [&](int along, int across) { return alongRows ? solid(along, across) : solid(across, along); };
        int first = length / 2, last = length / 2;
        if (!at(first, middle))
            return RECT{};
        while (first > 0 && at(first - 1, middle))
            --first;
        while (last + 1 < length && at(last + 1, middle))
            ++last;
        const auto whole = [&](int across) {
            for (int along = first; along <= last; ++along)
                if (!at(along, across))
                    return false;
            return true;
        };
        int low = middle, high = middle;
        while (low > 0 && whole(low - 1))
            --low;
        while (high + 1 < breadth && whole(high + 1))
            ++high;
        return alongRows ? RECT{first, low, last + 1, high + 1} : RECT{low, first, high + 1, last + 1};
    };
    const RECT wide = grow(true), tall = grow(false);
    const auto area = [](const RECT& r) { return (r.right - r.left) * (r.bottom - r.top); };
    sprite.opaque = area(wide) >= area(tall) ? wide : tall;
}

Offscreen::~Offscreen()
{
    if (dc_ && original_)
        SelectObject(dc_.get(), original_);
}

HDC Offscreen::reserve(int width, int height)
{
    if (width <= 0 || height <= 0)
        return nullptr;
    if (!dc_) {
        dc_.reset(CreateCompatibleDC(nullptr));
        if (!dc_)
            return nullptr;
    }
    if (width > width_ || height > height_) {
        const int w = std::max(width, width_), h = std::max(height, height_);
        const HDC screen = GetDC(nullptr);
        GdiBitmap bitmap(screen ? CreateCompatibleBitmap(screen, w, h) : nullptr);
        if (screen)
            ReleaseDC(nullptr, screen);
        if (!bitmap)
            return nullptr;
        HGDIOBJ previous = SelectObject(dc_.get(), bitmap.get());
        if (!previous)
            return nullptr;
        if (!original_)
            original_ = previous;
        bitmap_ = std::move(bitmap);  // the old one is no longer selected
        width_ = w;
        height_ = h;
    }
    return dc_.get();
}

bool views_detail::copyThroughOffscreen(Canvas& canvas, Offscreen& kept, const RECT& area, bool keep)
{
    const int width = area.right - area.left, height = area.bottom - area.top;
    const HDC pixels = kept.reserve(width, height);
    if (!pixels || !canvas.graphics)
        return false;
    HDC surface = nullptr;
    const Gdiplus::GpStatus status = gp::GdipGetDC(canvas.graphics, &surface);
    recordStatus(canvas, status);
    if (status != Gdiplus::Ok)
        return false;
    const BOOL copied = keep ? BitBlt(pixels, 0, 0, width, height, surface, area.left, area.top, SRCCOPY)
                             : BitBlt(surface, area.left, area.top, width, height, pixels, 0, 0, SRCCOPY);
    recordStatus(canvas, gp::GdipReleaseDC(canvas.graphics, surface));
    return copied != FALSE;
}

bool views_detail::paintOntoSprite(Offscreen& scratchSurface, const Sprite& target, const Canvas& like, float originX,
                                   float originY, const std::function<void(Canvas&)>& paint, int& status)
{
    const HDC scratch = scratchSurface.reserve(target.width, target.height);
    if (!scratch || !target)
        return false;
    const int w = target.width, h = target.height;
    BitBlt(scratch, 0, 0, w, h, target.dc.get(), 0, 0, SRCCOPY);
    Canvas canvas;
    const bool begun = beginCanvas(canvas, scratch, like.scale, like.kit, originX, originY);
    if (begun)
        paint(canvas);
    endCanvas(canvas);
    if (status == Gdiplus::Ok)
        status = canvas.status;
    const bool copied = BitBlt(target.dc.get(), 0, 0, w, h, scratch, 0, 0, SRCCOPY);
    GdiFlush();  // the bits are read next
    return begun && copied;
}

Sprite views_detail::paintSprite(Offscreen& scratch, int width, int height, const Canvas& like, float originX,
                                 float originY, const std::function<void(Canvas&)>& paint, int& status)
{
    Sprite overBlack = makeSprite(width, height);
    Sprite overWhite = makeSprite(width, height);
    if (!overBlack || !overWhite)
        return Sprite{};
    std::fill(overWhite.pixels, overWhite.pixels + overWhite.bytes() / 4, 0x00FFFFFFu);
    if (!paintOntoSprite(scratch, overBlack, like, originX, originY, paint, status)
        || !paintOntoSprite(scratch, overWhite, like, originX, originY, paint, status))
        return Sprite{};

    // Over black a pixel holds its colour times its coverage; over white it is lighter by the part
    // the background shows through. The strongest channel's coverage keeps colour within alpha.
    const std::size_t count = overBlack.bytes() / 4;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t black = overBlack.pixels[i], white = overWhite.pixels[i];
        int showing = 255;
        for (int shift = 0; shift < 24; shift += 8) {
            const int difference = static_cast<int>((white >> shift) & 0xFF) - static_cast<int>((black >> shift) & 0xFF);
            showing = std::min(showing, std::clamp(difference, 0, 255));
        }
        const auto alpha = static_cast<std::uint32_t>(255 - showing);
        std::uint32_t pixel = alpha << 24;
        for (int shift = 0; shift < 24; shift += 8)
            pixel |= std::min((black >> shift) & 0xFF, alpha) << shift;
        overBlack.pixels[i] = pixel;
    }
    findOpaqueCore(overBlack);
    return overBlack;
}

void views_detail::blendSprite(Canvas& target, const Sprite& sprite, int x, int y)
{
    if (!target.graphics || !sprite)
        return;
    // GDI+ hands out its device context, flushed, for plain GDI drawing in between its own.
    HDC surface = nullptr;
    const Gdiplus::GpStatus status = gp::GdipGetDC(target.graphics, &surface);
    recordStatus(target, status);
    if (status != Gdiplus::Ok)
        return;
    const HDC from = sprite.dc.get();
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    const auto blendPart = [&](int left, int top, int right, int bottom) {
        if (left < right && top < bottom)
            AlphaBlend(surface, x + left, y + top, right - left, bottom - top, from, left, top, right - left,
                       bottom - top, blend);
    };
    // Opaque pixels come out the same copied as blended, and copying costs a fraction.
    const RECT& core = sprite.opaque;
    const int w = sprite.width, h = sprite.height;
    if (core.left < core.right && core.top < core.bottom) {
        BitBlt(surface, x + core.left, y + core.top, core.right - core.left, core.bottom - core.top, from, core.left,
               core.top, SRCCOPY);
        blendPart(0, 0, w, core.top);
        blendPart(0, core.bottom, w, h);
        blendPart(0, core.top, core.left, core.bottom);
        blendPart(core.right, core.top, w, core.bottom);
    } else {
        blendPart(0, 0, w, h);
    }
    recordStatus(target, gp::GdipReleaseDC(target.graphics, surface));
}

void views_detail::blendSpriteScaled(Canvas& target, const Sprite& sprite, int x, int y, int width, int height)
{
    if (!target.graphics || !sprite || width <= 0 || height <= 0)
        return;
    HDC surface = nullptr;
    const Gdiplus::GpStatus status = gp::GdipGetDC(target.graphics, &surface);
    recordStatus(target, status);
    if (status != Gdiplus::Ok)
        return;
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    SetStretchBltMode(surface, HALFTONE);
    AlphaBlend(surface, x, y, width, height, sprite.dc.get(), 0, 0, sprite.width, sprite.height, blend);
    recordStatus(target, gp::GdipReleaseDC(target.graphics, surface));
}
