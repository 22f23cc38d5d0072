// The baseline frame of the window benchmark, shared by its calibration window and the bare
// window process it starts, so that both measure the same paint.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace bench_paint {

// A 32-bit buffer of the whole client area, filled with the paper colour and copied to the window.
inline void paintDoubleBuffered(HWND window, HDC dc)
{
    RECT client{};
    GetClientRect(window, &client);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HDC memory = CreateCompatibleDC(dc);
    const HBITMAP buffer = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memory && buffer && bits) {
        const HGDIOBJ previous = SelectObject(memory, buffer);
        auto* pixels = static_cast<std::uint32_t*>(bits);
        std::fill(pixels, pixels + std::size_t(client.right) * std::size_t(client.bottom), 0x00F7F6F1u);
        BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previous);
    }
    if (buffer)
        DeleteObject(buffer);
    if (memory)
        DeleteDC(memory);
}

}  // namespace bench_paint
