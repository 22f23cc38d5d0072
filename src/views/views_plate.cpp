// The atlas image decoder: embedded PNG/JPEG resources into GDI+ bitmaps through memory streams,
// the forced full decode with its downsampled levels, and the image worker's thread body.
#include "views/views_internal.h"

#include <shlwapi.h>

#include <algorithm>
#include <new>

using namespace views_detail;

void ImageLevelsRelease::operator()(ImageLevels* levels) const noexcept
{
    delete levels;
}

namespace {

struct StreamRelease {
    void operator()(IStream* stream) const noexcept { stream->Release(); }
};
using StreamPtr = std::unique_ptr<IStream, StreamRelease>;

struct BitmapRelease {
    void operator()(Gdiplus::GpBitmap* bitmap) const noexcept { gp::GdipDisposeImage(bitmap); }
};
using BitmapPtr = std::unique_ptr<Gdiplus::GpBitmap, BitmapRelease>;

// Averages 2 x 2 blocks of 32-bit pixels; an odd last row or column averages with itself.
ImageLevel halve(const std::uint32_t* source, int width, int height, std::ptrdiff_t strideInPixels)
{
    ImageLevel level;
    level.width = (width + 1) / 2;
    level.height = (height + 1) / 2;
    level.pixels.resize(std::size_t(level.width) * std::size_t(level.height));
    for (int y = 0; y < level.height; ++y) {
        const std::uint32_t* r0 = source + std::ptrdiff_t(2 * y) * strideInPixels;
        const std::uint32_t* r1 = (2 * y + 1 < height) ? r0 + strideInPixels : r0;
        std::uint32_t* out = &level.pixels[std::size_t(y) * std::size_t(level.width)];
        for (int x = 0; x < level.width; ++x) {
            const int x0 = 2 * x, x1 = std::min(2 * x + 1, width - 1);
            const std::uint32_t p[4] = {r0[x0], r0[x1], r1[x0], r1[x1]};
            std::uint32_t v = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                std::uint32_t sum = 2;
                for (std::uint32_t q : p)
                    sum += (q >> shift) & 0xFF;
                v |= (sum / 4) << shift;
            }
            out[x] = v;
        }
    }
    return level;
}

// Levels down to the smallest zoom: each halves the one before, until a level is smaller than
// the zoom range needs (at 0.015 dip per pixel a 64-times reduction still has spare pixels).
void buildLevels(ImageLevels& levels, const std::uint32_t* pixels, int width, int height, std::ptrdiff_t stride)
{
    levels.levels.clear();
    levels.levels.push_back(halve(pixels, width, height, stride));
    while (levels.levels.size() < ATLAS_LEVEL_COUNT) {
        const ImageLevel& last = levels.levels.back();
        if (last.width < 2 || last.height < 2)
            break;
        ImageLevel next = halve(last.pixels.data(), last.width, last.height, last.width);
        levels.levels.push_back(std::move(next));
    }
}

}  // namespace

DecodedImage decodeImageBytes(const void* bytes, std::size_t size, bool force, const PlateDecodeOptions& options)
{
    DecodedImage result;
    if (!bytes || size == 0 || size > 0xFFFFFFFFu)
        return result;
    StreamPtr stream(SHCreateMemStream(static_cast<const BYTE*>(bytes), UINT(size)));
    if (!stream)
        return result;
    Gdiplus::GpBitmap* raw = nullptr;
    const Gdiplus::GpStatus created = gp::GdipCreateBitmapFromStream(stream.get(), &raw);
    BitmapPtr bitmap(raw);
    if (created != Gdiplus::Ok || !bitmap) {
        result.stream = stream.release();  // a failed bitmap leaves the stream alone
        return result;
    }
    if (force) {
        UINT width = 0, height = 0;
        gp::GdipGetImageWidth(bitmap.get(), &width);
        gp::GdipGetImageHeight(bitmap.get(), &height);
        const Gdiplus::GpRect whole(0, 0, INT(width), INT(height));
        Gdiplus::BitmapData data{};
        // Locking every pixel makes GDI+ decode now, on this thread, rather than in the first
        // paint; the usual failure is the allocation of the 32-bit buffer.
        const Gdiplus::GpStatus locked =
            options.failFullDecode ? Gdiplus::OutOfMemory
                                   : gp::GdipBitmapLockBits(bitmap.get(), &whole, Gdiplus::ImageLockModeRead,
                                                            PixelFormat32bppARGB, &data);
        if (locked != Gdiplus::Ok)
            return result;  // bitmap and stream released
        std::unique_ptr<ImageLevels, ImageLevelsRelease> levels;
        bool levelsFailed = false;
        if (options.buildLevels && width > 1 && height > 1) {
            try {
                levels.reset(new ImageLevels);
                buildLevels(*levels, static_cast<const std::uint32_t*>(data.Scan0), int(width), int(height),
                            data.Stride / 4);
            } catch (const std::bad_alloc&) {
                levelsFailed = true;  // as short of memory as a failed lock: the same outcome
            }
        }
        gp::GdipBitmapUnlockBits(bitmap.get(), &data);
        if (levelsFailed)
            return result;
        result.levels = std::move(levels);
    }
    result.stream = stream.release();
    result.bitmap = bitmap.release();
    return result;
}

DecodedImage decodePlateResource(int resourceId, bool force, const PlateDecodeOptions& options)
{
    HMODULE module = options.module ? options.module : GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (!found)
        return {};
    const DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0)
        return {};
    return decodeImageBytes(bytes, size, force, options);
}

std::size_t imageLevelCount(const DecodedImage& image)
{
    return image.levels ? image.levels->levels.size() : 0;
}

void plateWorker(HWND window, const std::atomic<bool>* shuttingDown, std::unique_ptr<std::int32_t> plate,
                 PlateDecodeOptions options) noexcept
{
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    try {
        auto result = std::make_unique<PlateResult>();
        result->plate = plate ? *plate : 0;
        try {
            options.buildLevels = true;
            result->image = decodePlateResource(PLATE_RESOURCE_BASE + result->plate, true, options);
        } catch (...) {
            result->image.reset();  // an empty image is the failed state the window shows
        }
        if (!shuttingDown->load() && PostMessageW(window, WM_APP_PLATE_DONE, 0, reinterpret_cast<LPARAM>(result.get())))
            result.release();
    } catch (...) {
        // Not even a result could be made: an empty message still ends the decode as failed.
        if (!shuttingDown->load())
            PostMessageW(window, WM_APP_PLATE_DONE, 0, 0);
    }
    if (SUCCEEDED(com))
        CoUninitialize();
}
