// A bare decode of an embedded image with WIC, the floor any decoder of the same file stands on:
// a decoder over a memory stream of the bytes, its first frame, every pixel copied out as stored.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>
#include <wincodec.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <new>

namespace bench {

// The bytes of an RCDATA resource of `module`; false when it is missing or empty.
inline bool resourceBytes(HMODULE module, int id, const void** bytes, std::size_t* size)
{
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!found)
        return false;
    const HGLOBAL loaded = LoadResource(module, found);
    *size = SizeofResource(module, found);
    *bytes = loaded ? LockResource(loaded) : nullptr;
    return *bytes != nullptr && *size > 0;
}

// Milliseconds for one decode of the whole image; -1 when WIC could not decode it.
inline double bareWicDecodeMilliseconds(const void* bytes, std::size_t size)
{
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    double result = -1;
    {
        const auto start = std::chrono::steady_clock::now();
        IWICImagingFactory* factory = nullptr;
        IStream* stream = SHCreateMemStream(static_cast<const BYTE*>(bytes), static_cast<UINT>(size));
        IWICBitmapDecoder* decoder = nullptr;
        IWICBitmapFrameDecode* frame = nullptr;
        UINT width = 0, height = 0;
        WICPixelFormatGUID format{};
        IWICComponentInfo* info = nullptr;
        IWICPixelFormatInfo* formatInfo = nullptr;
        UINT bitsPerPixel = 0;
        bool ok = stream
               && SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IWICImagingFactory, reinterpret_cast<void**>(&factory)))
               && SUCCEEDED(factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand, &decoder))
               && SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(frame->GetSize(&width, &height))
               && SUCCEEDED(frame->GetPixelFormat(&format))
               && SUCCEEDED(factory->CreateComponentInfo(format, &info))
               && SUCCEEDED(info->QueryInterface(IID_IWICPixelFormatInfo, reinterpret_cast<void**>(&formatInfo)))
               && SUCCEEDED(formatInfo->GetBitsPerPixel(&bitsPerPixel)) && bitsPerPixel > 0;
        if (ok) {
            const UINT stride = (width * bitsPerPixel + 7) / 8;
            const std::size_t bytesOut = std::size_t(stride) * height;
            // Left unfilled: the copy is the first to touch the buffer, as a decoder's own would be.
            const std::unique_ptr<BYTE[]> pixels(new (std::nothrow) BYTE[bytesOut]);
            ok = pixels && SUCCEEDED(frame->CopyPixels(nullptr, stride, static_cast<UINT>(bytesOut), pixels.get()));
        }
        if (formatInfo)
            formatInfo->Release();
        if (info)
            info->Release();
        if (frame)
            frame->Release();
        if (decoder)
            decoder->Release();
        if (stream)
            stream->Release();
        if (factory)
            factory->Release();
        if (ok)
            result = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return result;
}

}  // namespace bench
