// Feed text cleanup (tags, the fixed entity set, numeric references, white space) and pubDate parsing
// with the platform's HTTP date parser.
#include "feeds/feeds.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Text cleanup

struct NamedEntity {
    std::wstring_view entity;
    std::wstring_view replacement;
};

// Applied row by row in this order: "&amp;" first, so a doubly escaped entity decodes completely.
constexpr NamedEntity NAMED_ENTITIES[] = {
    {L"&amp;", L"&"},     {L"&lt;", L"<"},      {L"&gt;", L">"},       {L"&quot;", L"\""},    {L"&apos;", L"'"},
    {L"&nbsp;", L" "},    {L"&#8217;", L"'"},   {L"&#8216;", L"'"},    {L"&#8220;", L"\""},   {L"&#8221;", L"\""},
    {L"&#8211;", L"-"},   {L"&#8212;", L" - "}, {L"&#038;", L"&"},
};

// Rows after the first never overlap one another, and none of their replacements holds a character
// an entity is made of ("&", "#", ";", letters, digits) except the last row's "&", which no later row
// sees. So after the first row, one left-to-right scan gives the same text as one scan per row.
void replaceLaterRows(std::wstring& text)
{
    std::size_t amp = text.find(L'&');
    if (amp == std::wstring::npos)
        return;
    std::wstring result;
    std::size_t copied = 0;
    bool changed = false;
    while (amp != std::wstring::npos) {
        const std::wstring_view rest = std::wstring_view(text).substr(amp);
        const NamedEntity* match = nullptr;
        for (std::size_t row = 1; row < std::size(NAMED_ENTITIES) && match == nullptr; ++row)
            if (rest.starts_with(NAMED_ENTITIES[row].entity))
                match = &NAMED_ENTITIES[row];
        if (match == nullptr) {
            amp = text.find(L'&', amp + 1);
            continue;
        }
        if (!changed) {
            result.reserve(text.size());
            changed = true;
        }
        result.append(text, copied, amp - copied);
        result.append(match->replacement);
        copied = amp + match->entity.size();
        amp = text.find(L'&', copied);
    }
    if (!changed)
        return;
    result.append(text, copied, std::wstring::npos);
    text.swap(result);
}

// A reference may hold at most 10 characters between "&#" and ";".
constexpr std::size_t MAX_SEMICOLON_DISTANCE = 12;

std::wstring stripTags(std::wstring_view text)
{
    std::wstring result;
    result.reserve(text.size());
    bool insideTag = false;
    for (const wchar_t unit : text) {
        if (unit == L'<') {
            insideTag = true;
        } else if (unit == L'>') {
            insideTag = false;
            result.push_back(L' ');
        } else if (!insideTag) {
            result.push_back(unit);
        }
    }
    return result;
}

// One scan from the start; the scan continues after each inserted replacement, so the replacement
// itself is not matched again by the same row.
void replaceEvery(std::wstring& text, std::wstring_view entity, std::wstring_view replacement)
{
    std::size_t found = text.find(entity);
    if (found == std::wstring::npos)
        return;
    std::wstring result;
    result.reserve(text.size());
    std::size_t copied = 0;
    while (found != std::wstring::npos) {
        result.append(text, copied, found - copied);
        result.append(replacement);
        copied = found + entity.size();
        found = text.find(entity, copied);
    }
    result.append(text, copied, std::wstring::npos);
    text.swap(result);
}

// The value of the reference text between "&#" and ";", or 0 when it is not a whole number.
unsigned long referenceValue(std::wstring_view inner)
{
    const bool hex = !inner.empty() && (inner[0] == L'x' || inner[0] == L'X');
    const std::wstring digits(hex ? inner.substr(1) : inner);
    wchar_t* end = nullptr;
    const unsigned long value = std::wcstoul(digits.c_str(), &end, hex ? 16 : 10);
    if (end != digits.c_str() + digits.size())
        return 0;
    return value;
}

void decodeNumericReferences(std::wstring& text)
{
    std::wstring result;
    std::size_t copied = 0;
    std::size_t from = 0;
    bool changed = false;
    for (;;) {
        const std::size_t amp = text.find(L"&#", from);
        if (amp == std::wstring::npos)
            break;
        // Only the first MAX_SEMICOLON_DISTANCE positions can hold a usable ";", so a text full of
        // unterminated references is still read in linear time.
        const std::size_t window = std::min(text.size(), amp + MAX_SEMICOLON_DISTANCE + 1);
        std::size_t semicolon = std::wstring::npos;
        for (std::size_t i = amp; i < window; ++i) {
            if (text[i] == L';') {
                semicolon = i;
                break;
            }
        }
        if (semicolon == std::wstring::npos) {
            from = amp + 1;
            continue;
        }
        const unsigned long value = referenceValue(std::wstring_view(text).substr(amp + 2, semicolon - amp - 2));
        if (value >= 1 && value <= 0xFFFF) {
            if (!changed) {
                result.reserve(text.size());
                changed = true;
            }
            result.append(text, copied, amp - copied);
            result.push_back(static_cast<wchar_t>(value));
            copied = semicolon + 1;
        }
        from = semicolon + 1;
    }
    if (!changed)
        return;
    result.append(text, copied, std::wstring::npos);
    text.swap(result);
}

std::wstring collapseWhiteSpace(std::wstring_view text)
{
    std::wstring result;
    result.reserve(text.size());
    bool previousWasSpace = true;
    for (const wchar_t unit : text) {
        // Visible ASCII is never white space; only the rest needs the runtime's classification.
        const bool visibleAscii = unit > L' ' && unit < 0x7F;
        if (!visibleAscii && std::iswspace(unit)) {
            if (!previousWasSpace)
                result.push_back(L' ');
            previousWasSpace = true;
        } else if (unit >= 32) {
            result.push_back(unit);
            previousWasSpace = false;
        }
    }
    if (!result.empty() && result.back() == L' ')
        result.pop_back();
    return result;
}

// ---------------------------------------------------------------------------------------------
// Dates

constexpr std::int64_t SECONDS_1601_TO_1970 = 11644473600;
constexpr wchar_t MONTH_NAMES[12][4] = {L"jan", L"feb", L"mar", L"apr", L"may", L"jun",
                                        L"jul", L"aug", L"sep", L"oct", L"nov", L"dec"};

struct DigitRun {
    unsigned value = 0;
    std::size_t length = 0;
};

std::vector<DigitRun> digitRunsOf(std::wstring_view text)
{
    std::vector<DigitRun> runs;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] < L'0' || text[i] > L'9') {
            ++i;
            continue;
        }
        DigitRun run;
        for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i, ++run.length)
            if (run.length < 6)
                run.value = run.value * 10 + static_cast<unsigned>(text[i] - L'0');
        if (run.length > 6)
            run.value = ~0u;  // longer than any calendar field
        runs.push_back(run);
    }
    return runs;
}

bool containsMonthName(std::wstring_view text, unsigned month)
{
    if (month < 1 || month > 12)
        return false;
    const wchar_t* name = MONTH_NAMES[month - 1];
    for (std::size_t i = 0; i + 3 <= text.size(); ++i) {
        bool same = true;
        for (std::size_t k = 0; k < 3 && same; ++k) {
            wchar_t unit = text[i + k];
            if (unit >= L'A' && unit <= L'Z')
                unit = static_cast<wchar_t>(unit - L'A' + L'a');
            same = unit == name[k];
        }
        if (same)
            return true;
    }
    return false;
}

// The platform parser reports success and leaves the current time in every field it could not read
// (for "", for text that holds no date, for a date without a time). A result is trusted only when
// the text itself holds its month name and, in distinct digit runs, its year (four digits, or the
// last two), day, hour, minute and second.
bool parsedFieldsAppearIn(const SYSTEMTIME& time, std::wstring_view text)
{
    if (!containsMonthName(text, time.wMonth))
        return false;
    const std::vector<DigitRun> runs = digitRunsOf(text);
    const unsigned others[] = {time.wDay, time.wHour, time.wMinute, time.wSecond};
    for (std::size_t yearRun = 0; yearRun < runs.size(); ++yearRun) {
        const DigitRun& year = runs[yearRun];
        if (year.value != time.wYear && !(year.length == 2 && year.value == time.wYear % 100u))
            continue;
        // The other four fields compare values only, so any run of the right value will do.
        std::vector<bool> used(runs.size(), false);
        used[yearRun] = true;
        bool all = true;
        for (const unsigned wanted : others) {
            bool found = false;
            for (std::size_t i = 0; i < runs.size() && !found; ++i) {
                if (!used[i] && runs[i].value == wanted) {
                    used[i] = true;
                    found = true;
                }
            }
            if (!found) {
                all = false;
                break;
            }
        }
        if (all)
            return true;
    }
    return false;
}

bool isDigit(wchar_t unit) { return unit >= L'0' && unit <= L'9'; }

}  // namespace

std::wstring cleanFeedText(std::wstring_view text)
{
    std::wstring result = stripTags(text);
    if (result.find(L'&') != std::wstring::npos) {
        replaceEvery(result, NAMED_ENTITIES[0].entity, NAMED_ENTITIES[0].replacement);
        replaceLaterRows(result);
        decodeNumericReferences(result);
    }
    return collapseWhiteSpace(result);
}

std::int64_t parseFeedDate(std::wstring_view text)
{
    // Pretty-printed feeds wrap the date in line breaks; without trimming, a numeric offset would
    // no longer be the last word and would be silently ignored.
    while (!text.empty() && std::iswspace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && std::iswspace(text.back()))
        text.remove_suffix(1);

    std::wstring work(text);
    std::int64_t offsetMinutes = 0;
    if (const std::size_t space = work.rfind(L' '); space != std::wstring::npos) {
        const std::wstring_view last = std::wstring_view(work).substr(space + 1);
        if (last.size() == 5 && (last[0] == L'+' || last[0] == L'-')) {
            for (std::size_t i = 1; i < 5; ++i)
                if (!isDigit(last[i]))
                    return 0;
            const int hours = (last[1] - L'0') * 10 + (last[2] - L'0');
            const int minutes = (last[3] - L'0') * 10 + (last[4] - L'0');
            if (hours > 23 || minutes > 59)
                return 0;
            offsetMinutes = hours * 60 + minutes;
            if (last[0] == L'-')
                offsetMinutes = -offsetMinutes;
            work.replace(space + 1, 5, L"GMT");
        }
    }

    SYSTEMTIME time{};
    if (!WinHttpTimeToSystemTime(work.c_str(), &time))
        return 0;
    // The parser stops at an embedded NUL, so the check looks at the same text it saw.
    if (!parsedFieldsAppearIn(time, std::wstring_view(work.c_str())))
        return 0;
    FILETIME fileTime{};
    if (!SystemTimeToFileTime(&time, &fileTime))
        return 0;
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10000000u) - SECONDS_1601_TO_1970 - offsetMinutes * 60;
}
