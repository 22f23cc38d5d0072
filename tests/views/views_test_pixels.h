// Test support for the view tests: a top-down 32-bit bitmap to paint into and read pixels back from.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

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
