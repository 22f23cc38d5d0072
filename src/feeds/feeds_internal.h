// Helpers shared by the feed reader's sources and its tests: a minimal COM owner and the cut of a
// UTF-16 text that never splits a surrogate pair.
#pragma once

#include <unknwn.h>

#include <cstddef>
#include <string_view>
#include <utility>

// Owns one COM reference; copies are deleted so every AddRef has exactly one Release.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : pointer(std::exchange(other.pointer, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        if (this != &other) {
            reset();
            pointer = std::exchange(other.pointer, nullptr);
        }
        return *this;
    }

    // Takes over a reference the caller already holds (such as one returned by a factory).
    static ComPtr adopt(T* raw)
    {
        ComPtr owner;
        owner.pointer = raw;
        return owner;
    }

    void reset()
    {
        if (T* old = std::exchange(pointer, nullptr))
            old->Release();
    }

    // For factory out-parameters: releases what is held and hands out the slot.
    T** put()
    {
        reset();
        return &pointer;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    T* get() const { return pointer; }
    T* operator->() const { return pointer; }
    T& operator*() const { return *pointer; }
    explicit operator bool() const { return pointer != nullptr; }

private:
    T* pointer = nullptr;
};

// The first `limit` code units of `text`, one fewer when the cut would separate a high surrogate
// from the low surrogate that follows it. A lone surrogate is left where it is for the strict UTF-8
// conversion to refuse.
inline std::wstring_view cutCodeUnits(std::wstring_view text, std::size_t limit)
{
    if (text.size() <= limit)
        return text;
    std::size_t length = limit;
    const auto isHigh = [](wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; };
    const auto isLow = [](wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; };
    if (length > 0 && isHigh(text[length - 1]) && isLow(text[length]))
        --length;
    return text.substr(0, length);
}
