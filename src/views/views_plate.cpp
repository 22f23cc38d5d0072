// The atlas image decoder: the previews into GDI+ bitmaps through memory streams, the full plates
// through WIC into rows of their own with the downsampled levels, and the image worker's thread body.
#include "views/views_internal.h"

#include <shlwapi.h>
#include <wincodec.h>

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

struct ComRelease {
    void operator()(IUnknown* object) const noexcept { object->Release(); }
};
template <class T>
using ComPtr = std::unique_ptr<T, ComRelease>;

// COM for a decode on a thread that has none yet; the image worker has its own.
struct ComScope {
    const HRESULT started = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ~ComScope()
    {
        if (SUCCEEDED(started))
            CoUninitialize();
    }
};

// Averages 2 x 2 blocks into 32-bit pixels; an odd last row or column averages with itself. The
// source holds `bytes` per pixel, blue first; with 3 the result is opaque (the plates are).
template <int bytes>
ImageLevel halve(const std::uint8_t* source, int width, int height, std::ptrdiff_t stride)
{
    ImageLevel level;
    level.width = (width + 1) / 2;
    level.height = (height + 1) / 2;
    level.pixels.resize(std::size_t(level.width) * std::size_t(level.height));
    for (int y = 0; y < level.height; ++y) {
        const std::uint8_t* r0 = source + std::ptrdiff_t(2 * y) * stride;
        const std::uint8_t* r1 = (2 * y + 1 < height) ? r0 + stride : r0;
        std::uint32_t* out = &level.pixels[std::size_t(y) * std::size_t(level.width)];
        for (int x = 0; x < level.width; ++x) {
            const std::ptrdiff_t a = std::ptrdiff_t(2 * x) * bytes;
            const std::ptrdiff_t b = std::ptrdiff_t(std::min(2 * x + 1, width - 1)) * bytes;
            const auto average = [&](int channel) {
                return (std::uint32_t(r0[a + channel]) + r0[b + channel] + r1[a + channel] + r1[b + channel] + 2) / 4;
            };
            const std::uint32_t alpha = bytes == 4 ? average(3) : 0xFFu;
            out[x] = alpha << 24 | average(2) << 16 | average(1) << 8 | average(0);
        }
    }
    return level;
}

// Levels down to the smallest zoom: each halves the one before, until a level is smaller than
// the zoom range needs (at 0.015 dip per pixel a 64-times reduction still has spare pixels).
void buildLevels(ImageLevels& levels, int width, int height, std::ptrdiff_t stride)
{
    levels.levels.clear();
    levels.levels.push_back(halve<3>(levels.full.get(), width, height, stride));
    while (levels.levels.size() < ATLAS_LEVEL_COUNT) {
        const ImageLevel& last = levels.levels.back();
        if (last.width < 2 || last.height < 2)
            break;
        ImageLevel next = halve<4>(reinterpret_cast<const std::uint8_t*>(last.pixels.data()), last.width, last.height,
                                   std::ptrdiff_t(last.width) * 4);
        levels.levels.push_back(std::move(next));
    }
}

// Where the compressed bytes of a full plate come from: a range of a file, else memory.
struct PlateBytes {
    const void* bytes = nullptr;
    std::size_t size = 0;
    std::wstring file;
    std::uint64_t offset = 0;
};

ComPtr<IWICStream> openPlateBytes(IWICImagingFactory* factory, const PlateBytes& source)
{
    IWICStream* raw = nullptr;
    if (FAILED(factory->CreateStream(&raw)))
        return nullptr;
    ComPtr<IWICStream> stream(raw);
    if (!source.file.empty()) {
        IStream* file = nullptr;
        if (SUCCEEDED(SHCreateStreamOnFileEx(source.file.c_str(), STGM_READ | STGM_SHARE_DENY_NONE,
                                             FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, &file))) {
            const ComPtr<IStream> held(file);
            ULARGE_INTEGER offset, size;
            offset.QuadPart = source.offset;
            size.QuadPart = source.size;
            if (SUCCEEDED(stream->InitializeFromIStreamRegion(file, offset, size)))
                return stream;
        }
        // The file cannot be read (moved or renamed since start): the mapped bytes still can.
    }
    if (FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(source.bytes)), DWORD(source.size))))
        return nullptr;
    return stream;
}

// Every pixel now, in 24-bit rows the bitmap is made over: WIC writes them in place, with no copy
// of the compressed bytes and no second full-size buffer once the decoder is gone.
DecodedImage decodeFullPlate(const PlateBytes& source, const PlateDecodeOptions& options)
{
    DecodedImage result;
    const ComScope com;
    IWICImagingFactory* rawFactory = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&rawFactory))))
        return result;
    const ComPtr<IWICImagingFactory> factory(rawFactory);
    try {
        std::unique_ptr<ImageLevels, ImageLevelsRelease> levels(new ImageLevels);
        UINT width = 0, height = 0;
        std::size_t stride = 0;
        {
            const ComPtr<IWICStream> stream = openPlateBytes(factory.get(), source);
            IWICBitmapDecoder* rawDecoder = nullptr;
            if (!stream || FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr,
                                                                   WICDecodeMetadataCacheOnDemand, &rawDecoder)))
                return result;
            const ComPtr<IWICBitmapDecoder> decoder(rawDecoder);
            IWICBitmapFrameDecode* rawFrame = nullptr;
            if (FAILED(decoder->GetFrame(0, &rawFrame)))
                return result;
            const ComPtr<IWICBitmapFrameDecode> frame(rawFrame);
            if (FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0 || width > 0x7FFFFFFF / 3)
                return result;
            stride = (std::size_t(width) * 3 + 3) & ~std::size_t(3);
            if (stride * height > 0xFFFFFFFFu || options.failFullDecode)
                return result;  // CopyPixels counts its buffer in 32 bits
            levels->full.reset(new std::uint8_t[stride * height]);
            levels->fullStride = stride;

            WICPixelFormatGUID format{};
            frame->GetPixelFormat(&format);
            IWICBitmapSource* pixels = frame.get();
            ComPtr<IWICFormatConverter> converter;
            if (!IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
                IWICFormatConverter* rawConverter = nullptr;
                if (FAILED(factory->CreateFormatConverter(&rawConverter)))
                    return result;
                converter.reset(rawConverter);
                if (FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone,
                                                 nullptr, 0.0, WICBitmapPaletteTypeCustom)))
                    return result;
                pixels = converter.get();
            }
            if (FAILED(pixels->CopyPixels(nullptr, UINT(stride), UINT(stride * height), levels->full.get())))
                return result;
        }
        Gdiplus::GpBitmap* raw = nullptr;
        if (gp::GdipCreateBitmapFromScan0(INT(width), INT(height), INT(stride), PixelFormat24bppRGB,
                                          levels->full.get(), &raw) != Gdiplus::Ok || !raw)
            return result;
        BitmapPtr bitmap(raw);
        if (options.buildLevels && width > 1 && height > 1)
            buildLevels(*levels, int(width), int(height), std::ptrdiff_t(stride));
        result.bitmap = bitmap.release();
        result.levels = std::move(levels);
    } catch (const std::bad_alloc&) {
        result.reset();  // short of memory for the rows or a level: no plate rather than half of one
    }
    return result;
}

// The file and offset of a resource of a module the loader mapped as an image; empty for any
// other module (one loaded as data has no file name to read again).
PlateBytes plateBytesOf(HMODULE module, const void* bytes, DWORD size)
{
    PlateBytes source;
    source.bytes = bytes;
    source.size = size;
    if (reinterpret_cast<ULONG_PTR>(module) & 3)
        return source;
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const std::uintptr_t rva = static_cast<const BYTE*>(bytes) - base;
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (rva < section->VirtualAddress || rva + size > std::uintptr_t(section->VirtualAddress) + section->SizeOfRawData)
            continue;
        std::wstring path(32768, L'\0');
        path.resize(GetModuleFileNameW(module, path.data(), DWORD(path.size())));
        if (!path.empty()) {
            source.file = std::move(path);
            source.offset = rva - section->VirtualAddress + section->PointerToRawData;
        }
        break;
    }
    return source;
}

}  // namespace

DecodedImage decodeImageBytes(const void* bytes, std::size_t size, bool force, const PlateDecodeOptions& options)
{
    if (!bytes || size == 0 || size > 0xFFFFFFFFu)
        return {};
    if (force) {
        PlateBytes source;
        source.bytes = bytes;
        source.size = size;
        return decodeFullPlate(source, options);
    }
    DecodedImage result;
    StreamPtr stream(SHCreateMemStream(static_cast<const BYTE*>(bytes), UINT(size)));
    if (!stream)
        return result;
    Gdiplus::GpBitmap* raw = nullptr;
    const Gdiplus::GpStatus created = gp::GdipCreateBitmapFromStream(stream.get(), &raw);
    BitmapPtr bitmap(raw);
    if (created == Gdiplus::Ok && bitmap)
        result.bitmap = bitmap.release();
    result.stream = stream.release();  // a failed bitmap leaves the stream alone
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
    if (force)
        return decodeFullPlate(plateBytesOf(module, bytes, size), options);
    return decodeImageBytes(bytes, size, false, options);
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
