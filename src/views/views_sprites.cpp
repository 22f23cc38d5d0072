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
    if (!sprite.bitmap || !bits)
        return Sprite{};
    sprite.pixels = static_cast<std::uint32_t*>(bits);
    sprite.width = width;
    sprite.height = height;
    std::memset(sprite.pixels, 0, sprite.bytes());
    return sprite;
}

HDC SpriteDc::select(const Sprite& sprite)
{
    if (!dc_) {
        dc_.reset(CreateCompatibleDC(nullptr));
        if (!dc_)
            return nullptr;
    }
    HBITMAP bitmap = sprite.bitmap.get();
    if (bitmap != selected_) {
        HGDIOBJ previous = SelectObject(dc_.get(), bitmap);
        if (!previous)
            return nullptr;
        if (!original_)
            original_ = previous;
        selected_ = bitmap;
    }
    return dc_.get();
}

void SpriteDc::deselect() noexcept
{
    if (dc_ && original_)
        SelectObject(dc_.get(), original_);
    selected_ = nullptr;
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

bool views_detail::paintOntoSprite(SpriteTools& tools, const Sprite& target, const Canvas& like, float originX,
                                   float originY, const std::function<void(Canvas&)>& paint, int& status)
{
    const HDC scratch = tools.scratch.reserve(target.width, target.height);
    const HDC sprite = scratch ? tools.sprites.select(target) : nullptr;
    if (!sprite)
        return false;
    const int w = target.width, h = target.height;
    BitBlt(scratch, 0, 0, w, h, sprite, 0, 0, SRCCOPY);
    Canvas canvas;
    const bool begun = beginCanvas(canvas, scratch, like.scale, like.kit, originX, originY);
    if (begun)
        paint(canvas);
    endCanvas(canvas);
    if (status == Gdiplus::Ok)
        status = canvas.status;
    const bool copied = BitBlt(sprite, 0, 0, w, h, scratch, 0, 0, SRCCOPY);
    tools.sprites.deselect();
    GdiFlush();  // the bits are read next
    return begun && copied;
}

Sprite views_detail::paintSprite(SpriteTools& tools, int width, int height, const Canvas& like, float originX,
                                 float originY, const std::function<void(Canvas&)>& paint, int& status)
{
    Sprite overBlack = makeSprite(width, height);
    Sprite overWhite = makeSprite(width, height);
    if (!overBlack || !overWhite)
        return Sprite{};
    std::fill(overWhite.pixels, overWhite.pixels + overWhite.bytes() / 4, 0x00FFFFFFu);
    if (!paintOntoSprite(tools, overBlack, like, originX, originY, paint, status)
        || !paintOntoSprite(tools, overWhite, like, originX, originY, paint, status))
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
    return overBlack;
}

void views_detail::blendSprite(Canvas& target, SpriteDc& source, const Sprite& sprite, int x, int y)
{
    if (!target.graphics || !sprite)
        return;
    const HDC from = source.select(sprite);
    if (!from)
        return;
    // GDI+ hands out its device context, flushed, for plain GDI drawing in between its own.
    HDC surface = nullptr;
    const Gdiplus::GpStatus status = gp::GdipGetDC(target.graphics, &surface);
    recordStatus(target, status);
    if (status != Gdiplus::Ok)
        return;
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(surface, x, y, sprite.width, sprite.height, from, 0, 0, sprite.width, sprite.height, blend);
    recordStatus(target, gp::GdipReleaseDC(target.graphics, surface));
}
