// The Discover search filter: an ASCII-only case-insensitive substring search over each story's
// title, body and note, in library order.
#include "views/views.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

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
        // Runs of ASCII, most of any story, are passed over eight bytes at a time.
        std::uint64_t word = 0;
        while (end - p >= 8 && (std::memcpy(&word, p, 8), (word & 0x8080808080808080u) == 0))
            p += 8;
        if (p == end)
            break;
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

// Horspool's search under ASCII case folding, for a lower-case ASCII needle: the text is neither
// copied nor lowered, and most of its bytes are skipped rather than looked at.
class FoldedSearch {
public:
    explicit FoldedSearch(std::string needle) : needle_(std::move(needle))
    {
        const std::size_t m = needle_.size();
        skip_.fill(m);
        for (std::size_t i = 0; i + 1 < m; ++i) {
            const auto c = static_cast<unsigned char>(needle_[i]);
            skip_[c] = m - 1 - i;
            if (c >= 'a' && c <= 'z')
                skip_[c - ('a' - 'A')] = m - 1 - i;
        }
    }

    bool foundIn(std::string_view text) const
    {
        const std::size_t m = needle_.size();
        if (m == 0)
            return true;
        for (std::size_t i = 0; i + m <= text.size(); i += skip_[static_cast<unsigned char>(text[i + m - 1])]) {
            std::size_t j = m;
            while (j > 0 && lowerByte(text[i + j - 1]) == needle_[j - 1])
                --j;
            if (j == 0)
                return true;
        }
        return false;
    }

private:
    std::string needle_;
    std::array<std::size_t, 256> skip_{};
};

}  // namespace

std::vector<const Story*> matchingStories(const ViewState& app, const Library& library)
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
    const FoldedSearch asciiSearch(asciiQuery ? std::string(query.begin(), query.end()) : std::string());
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
            found = asciiSearch.foundIn(joined);
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
