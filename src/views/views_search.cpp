// The Discover search filter: an ASCII-only case-insensitive substring search over each story's
// title, body and note, in library order.
#include "views/views.h"

#include <algorithm>

namespace {

void lowerAscii(std::wstring& text)
{
    for (wchar_t& unit : text)
        if (unit >= L'A' && unit <= L'Z')
            unit = static_cast<wchar_t>(unit + (L'a' - L'A'));
}

char lowerByte(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool isAscii(std::wstring_view text)
{
    return std::all_of(text.begin(), text.end(), [](wchar_t unit) { return unit < 0x80; });
}

// Well-formed UTF-8 as the strict converter accepts it: no over-long forms, no surrogates, at most U+10FFFF.
bool isSupportedUtf8(std::string_view text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int length = 0;
        unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            low = c == 0xE0 ? 0xA0 : 0x80;
            high = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            low = c == 0xF0 ? 0x90 : 0x80;
            high = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (end - p < length || p[1] < low || p[1] > high)
            return false;
        for (int i = 2; i < length; ++i)
            if (p[i] < 0x80 || p[i] > 0xBF)
                return false;
        p += length;
    }
    return true;
}

}  // namespace

std::vector<const Story*> matchingStories(const AppState& app, const Library& library)
{
    std::wstring query = app.searchText;
    lowerAscii(query);
    std::vector<const Story*> matches;
    if (query.empty()) {
        for (const Story& story : library.stories)
            matches.push_back(&story);
        return matches;
    }
    // An ASCII query can only match ASCII units, and every ASCII unit of the UTF-16 haystack is the
    // same ASCII byte of the UTF-8 text (bytes of longer sequences are all 0x80 and above), so such
    // a query is searched in the bytes directly; the text is still checked as UTF-8 first.
    const bool asciiQuery = isAscii(query);
    const std::string asciiNeedle(query.begin(), query.end());
    std::string joined;
    for (const Story& story : library.stories) {
        joined.assign(story.title);
        joined += ' ';
        joined += story.body;
        joined += ' ';
        joined += story.note;
        bool found = false;
        if (asciiQuery) {
            if (!isSupportedUtf8(joined))
                utf8ToUtf16(joined);  // raises "Invalid UTF-8" as the conversion would
            std::transform(joined.begin(), joined.end(), joined.begin(), lowerByte);
            found = joined.find(asciiNeedle) != std::string::npos;
        } else {
            std::wstring haystack = utf8ToUtf16(joined);
            lowerAscii(haystack);
            found = haystack.find(query) != std::wstring::npos;
        }
        if (found)
            matches.push_back(&story);
    }
    return matches;
}
