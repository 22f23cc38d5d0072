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

bool isAscii(std::string_view text)
{
    unsigned char any = 0;
    for (unsigned char byte : text)
        any |= byte;
    return any < 0x80;
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
    if (text.size() > maxBytes)
        fail("Unsupported text");
    // Plain ASCII is valid UTF-8 and holds no refused code unit; only other text needs the
    // conversion, which dominates reading a large library otherwise.
    if (!isAscii(text) && !isSupportedWideText(utf8ToUtf16(text)))
        fail("Unsupported text");
    if (text.find('\0') != std::string_view::npos)
        fail("Unsupported text");
    return std::string(text);
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
