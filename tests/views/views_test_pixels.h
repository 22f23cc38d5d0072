// Test support for the view tests: GDI+ for the length of a suite, and bitmaps to paint into and
// read pixels back from.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// Fixtures that paint derive from this: GDI+ runs from the first test of the suite to the last.
class GdiplusSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token_, &input, nullptr);
    }
    static void TearDownTestSuite() { Gdiplus::GdiplusShutdown(token_); }

private:
    static inline ULONG_PTR token_ = 0;
};

// A top-down 32-bit bitmap selected into its own memory context, filled white.
struct PixelBuffer {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;

    PixelBuffer(int w, int h) : width(w), height(h)
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        previous = SelectObject(dc, bitmap);
        pixels = static_cast<std::uint32_t*>(bits);
        std::fill(pixels, pixels + static_cast<std::size_t>(w) * h, 0x00FFFFFFu);
    }
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;
    ~PixelBuffer()
    {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }

    // RGB of one pixel, alpha dropped.
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF; }

    // Pixels clearly darker than a light panel, its border and anti-aliasing fringes: glyph strokes.
    int inkIn(int left, int top, int right, int bottom) const
    {
        int count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) {
                const std::uint32_t c = at(x, y);
                if (((c >> 16) & 0xFF) < 0xA0 || ((c >> 8) & 0xFF) < 0xA0 || (c & 0xFF) < 0xA0)
                    ++count;
            }
        return count;
    }
};

// A screen-compatible bitmap, as the window paints into, read back as top-down 32-bit pixels.
class ScreenBuffer {
public:
    ScreenBuffer(int width, int height) : width_(width), height_(height)
    {
        screen_ = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen_);
        bitmap_ = CreateCompatibleBitmap(screen_, width, height);
        previous_ = SelectObject(dc_, bitmap_);
        PatBlt(dc_, 0, 0, width, height, WHITENESS);
    }
    ScreenBuffer(const ScreenBuffer&) = delete;
    ScreenBuffer& operator=(const ScreenBuffer&) = delete;
    ~ScreenBuffer()
    {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
        ReleaseDC(nullptr, screen_);
    }

    HDC dc() const { return dc_; }

    std::vector<std::uint32_t> pixels() const
    {
        std::vector<std::uint32_t> out(static_cast<std::size_t>(width_) * height_);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        GdiFlush();
        SelectObject(dc_, previous_);
        GetDIBits(dc_, bitmap_, 0, static_cast<UINT>(height_), out.data(), &info, DIB_RGB_COLORS);
        SelectObject(dc_, bitmap_);
        for (std::uint32_t& pixel : out)
            pixel &= 0xFFFFFF;
        return out;
    }

private:
    int width_, height_;
    HDC screen_ = nullptr;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};
