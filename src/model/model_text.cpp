// Strict UTF-8 / UTF-16 conversion at the Windows boundary and the one text policy of the library.
#include "model/model.h"

#include <windows.h>

#include <climits>

namespace {

bool isRefusedCodeUnit(wchar_t unit)
{
    return (unit >= 0x0400 && unit <= 0x052F)    // Cyrillic, Cyrillic Supplement
        || (unit >= 0x2DE0 && unit <= 0x2DFF)    // Cyrillic Extended-A
        || (unit >= 0xA640 && unit <= 0xA69F);   // Cyrillic Extended-B
}

enum class Utf8Scan { Supported, Invalid, Refused };

// Strict UTF-8 as MB_ERR_INVALID_CHARS reads it (no overlong forms, no encoded surrogates, nothing
// above U+10FFFF), checked for the refused blocks and NUL in one pass without converting: a large
// library is mostly such text, and the conversion used to dominate reading it.
Utf8Scan scanUtf8(std::string_view text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    bool refused = false;  // invalid bytes anywhere still decide the reason
    while (p < end) {
        const unsigned lead = *p;
        if (lead < 0x80) {
            refused = refused || lead == 0;
            ++p;
            continue;
        }
        int length = 0;
        char32_t code = 0;
        char32_t least = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, code = lead & 0x1F, least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, code = lead & 0x0F, least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, code = lead & 0x07, least = 0x10000;
        } else {
            return Utf8Scan::Invalid;
        }
        if (end - p < length)
            return Utf8Scan::Invalid;
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return Utf8Scan::Invalid;
            code = (code << 6) | (p[i] & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return Utf8Scan::Invalid;
        refused = refused || (code <= 0xFFFF && isRefusedCodeUnit(static_cast<wchar_t>(code)));
        p += length;
    }
    return refused ? Utf8Scan::Refused : Utf8Scan::Supported;
}

}  // namespace

std::wstring utf8ToUtf16(std::string_view text)
{
    if (text.empty())
        return {};
    if (text.size() > INT_MAX)
        fail("Invalid UTF-8");
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (needed == 0)
        fail("Invalid UTF-8");
    std::wstring result(static_cast<std::size_t>(needed), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, result.data(), needed) != needed)
        fail("Invalid UTF-8");
    return result;
}

std::string utf16ToUtf8(std::wstring_view text)
{
    if (text.empty())
        return {};
    if (text.size() > INT_MAX / 3)
        fail("Invalid UTF-16");
    const int length = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed == 0)
        fail("Invalid UTF-16");
    std::string result(static_cast<std::size_t>(needed), '\0');
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length, result.data(), needed, nullptr,
                            nullptr) != needed)
        fail("Invalid UTF-16");
    return result;
}

bool isSupportedWideText(std::wstring_view text)
{
    for (wchar_t unit : text)
        if (isRefusedCodeUnit(unit))
            return false;
    return true;
}

std::string checkText(std::string_view text, std::size_t maxBytes)
{
    requireSupportedText(text, maxBytes);
    return std::string(text);
}

void requireSupportedText(std::string_view text, std::size_t maxBytes)
{
    if (text.size() > maxBytes)
        fail("Unsupported text");
    switch (scanUtf8(text)) {
    case Utf8Scan::Supported:
        return;
    case Utf8Scan::Invalid:
        fail("Invalid UTF-8");
    case Utf8Scan::Refused:
        fail("Unsupported text");
    }
}

std::wstring expandLineBreaks(std::wstring_view text)
{
    std::wstring result;
    result.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r'))
            result.push_back(L'\r');
        result.push_back(text[i]);
    }
    return result;
}

std::wstring collapseLineBreaks(std::wstring_view text)
{
    std::wstring result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n'))
            result.push_back(text[i]);
    return result;
}
