// Feed text cleanup (tags, the fixed entity set, numeric references, white space) and pubDate parsing
// of the mail-style dates feeds write.
#include "feeds/feeds.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <string>

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
//
// Read by hand rather than by the platform's HTTP date parser: Windows and Wine differ in what that
// one accepts, and Wine's reports success with the current time in every field it could not read.

bool isDigit(wchar_t unit) { return unit >= L'0' && unit <= L'9'; }
bool isLetter(wchar_t unit) { return (unit >= L'a' && unit <= L'z') || (unit >= L'A' && unit <= L'Z'); }
bool isSpace(wchar_t unit) { return unit == L' ' || (unit >= L'\t' && unit <= L'\r'); }

wchar_t loweredLetter(wchar_t unit)
{
    return unit >= L'A' && unit <= L'Z' ? static_cast<wchar_t>(unit - L'A' + L'a') : unit;
}

constexpr std::wstring_view WEEKDAY_NAMES[] = {L"sunday",   L"monday", L"tuesday", L"wednesday",
                                               L"thursday", L"friday", L"saturday"};
constexpr std::wstring_view MONTH_NAMES[] = {L"january", L"february", L"march",     L"april",
                                             L"may",     L"june",     L"july",      L"august",
                                             L"september", L"october", L"november", L"december"};

struct ZoneName {
    std::wstring_view name;
    int offsetMinutes;
};

// The zone names of RFC 822 dates; any other name (the military letters, "CEST") reads as UTC.
constexpr ZoneName ZONE_NAMES[] = {
    {L"ut", 0},      {L"gmt", 0},     {L"z", 0},       {L"est", -300},  {L"edt", -240}, {L"cst", -360},
    {L"cdt", -300},  {L"mst", -420},  {L"mdt", -360},  {L"pst", -480},  {L"pdt", -420},
};

// A name written in any case as its full English name or a prefix of it of at least three letters
// ("Wed", "Thurs", "June", "Sept").
bool wordNames(std::wstring_view word, std::wstring_view fullName)
{
    if (word.size() < 3 || word.size() > fullName.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (loweredLetter(word[i]) != fullName[i])
            return false;
    return true;
}

bool wordEquals(std::wstring_view word, std::wstring_view lowerName)
{
    if (word.size() != lowerName.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (loweredLetter(word[i]) != lowerName[i])
            return false;
    return true;
}

struct DateScanner {
    std::wstring_view text;
    std::size_t at = 0;

    bool atEnd() const { return at == text.size(); }
    bool nextIs(wchar_t unit) const { return !atEnd() && text[at] == unit; }
    bool nextIsLetter() const { return !atEnd() && isLetter(text[at]); }

    bool skipSpace()
    {
        const std::size_t from = at;
        while (!atEnd() && isSpace(text[at]))
            ++at;
        return at != from;
    }

    bool take(wchar_t unit)
    {
        if (!nextIs(unit))
            return false;
        ++at;
        return true;
    }

    std::wstring_view word()
    {
        const std::size_t from = at;
        while (nextIsLetter())
            ++at;
        return text.substr(from, at - from);
    }

    // A run of at least minDigits and at most maxDigits decimal digits; a longer run is refused.
    bool number(std::size_t minDigits, std::size_t maxDigits, int& value, std::size_t* digits = nullptr)
    {
        const std::size_t from = at;
        value = 0;
        while (!atEnd() && isDigit(text[at])) {
            if (at - from == maxDigits)
                return false;
            value = value * 10 + (text[at] - L'0');
            ++at;
        }
        if (digits != nullptr)
            *digits = at - from;
        return at - from >= minDigits;
    }

    // Between day, month and year: white space, a hyphen (the "12-Jun-24" form) or both.
    bool fieldSeparator()
    {
        const bool space = skipSpace();
        const bool hyphen = take(L'-');
        skipSpace();
        return space || hyphen;
    }
};

struct CalendarTime {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int offsetMinutes = 0;
};

int monthNamed(std::wstring_view word)
{
    for (int month = 0; month < 12; ++month)
        if (wordNames(word, MONTH_NAMES[month]))
            return month + 1;
    return 0;
}

bool isWeekdayName(std::wstring_view word)
{
    for (const std::wstring_view name : WEEKDAY_NAMES)
        if (wordNames(word, name))
            return true;
    return false;
}

// Four digits as written, or two with the mail convention: 00 to 49 in this century, 50 to 99 in the last.
bool readYear(DateScanner& scanner, int& year)
{
    std::size_t digits = 0;
    if (!scanner.number(2, 4, year, &digits) || digits == 3)
        return false;
    if (digits == 2)
        year += year < 50 ? 2000 : 1900;
    return true;
}

// "hh:mm" or "hh:mm:ss"; the seconds are often left out.
bool readClock(DateScanner& scanner, CalendarTime& time)
{
    if (!scanner.number(1, 2, time.hour) || !scanner.take(L':') || !scanner.number(2, 2, time.minute))
        return false;
    if (scanner.take(L':') && !scanner.number(2, 2, time.second))
        return false;
    return true;
}

// A numeric "+hhmm" / "-hhmm" offset or a zone name; none at all means UTC.
bool readZone(DateScanner& scanner, int& offsetMinutes)
{
    offsetMinutes = 0;
    if (scanner.nextIs(L'+') || scanner.nextIs(L'-')) {
        const bool behind = scanner.text[scanner.at] == L'-';
        ++scanner.at;
        int digits = 0;
        if (!scanner.number(4, 4, digits))
            return false;
        const int hours = digits / 100, minutes = digits % 100;
        if (hours > 23 || minutes > 59)
            return false;
        offsetMinutes = behind ? -(hours * 60 + minutes) : hours * 60 + minutes;
        return true;
    }
    const std::wstring_view name = scanner.word();
    for (const ZoneName& zone : ZONE_NAMES)
        if (wordEquals(name, zone.name))
            offsetMinutes = zone.offsetMinutes;
    return true;
}

// "Wed, 12 Jun 2024 10:00:00 GMT" with the weekday and the seconds optional, "Wednesday, 12-Jun-24
// 10:00:00 GMT", or "Wed Jun 12 10:00:00 2024"; then an optional zone and an optional "(comment)".
bool readCalendarTime(std::wstring_view text, CalendarTime& time)
{
    DateScanner scanner{text};
    scanner.skipSpace();
    bool monthFirst = false;
    if (scanner.nextIsLetter()) {
        if (!isWeekdayName(scanner.word()))
            return false;
        scanner.skipSpace();
        const bool comma = scanner.take(L',');
        scanner.skipSpace();
        monthFirst = !comma && scanner.nextIsLetter();
    }

    if (monthFirst) {
        time.month = monthNamed(scanner.word());
        if (time.month == 0 || !scanner.skipSpace() || !scanner.number(1, 2, time.day) || !scanner.skipSpace()
            || !readClock(scanner, time) || !scanner.skipSpace() || !readYear(scanner, time.year))
            return false;
    } else {
        if (!scanner.number(1, 2, time.day) || !scanner.fieldSeparator())
            return false;
        time.month = monthNamed(scanner.word());
        if (time.month == 0 || !scanner.fieldSeparator() || !readYear(scanner, time.year) || !scanner.skipSpace()
            || !readClock(scanner, time))
            return false;
    }

    scanner.skipSpace();
    if (!readZone(scanner, time.offsetMinutes))
        return false;
    scanner.skipSpace();
    if (scanner.take(L'(')) {
        while (!scanner.atEnd() && !scanner.nextIs(L')'))
            ++scanner.at;
        if (!scanner.take(L')'))
            return false;
        scanner.skipSpace();
    }
    return scanner.atEnd();
}

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month)
{
    constexpr int DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : DAYS[month - 1];
}

// Days from 1970-01-01 to the given day of the proleptic Gregorian calendar, counting in
// 400-year eras of 146,097 days from a year that starts in March.
std::int64_t daysSinceEpoch(int year, int month, int day)
{
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

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
    CalendarTime time;
    if (!readCalendarTime(text, time))
        return 0;
    if (time.day < 1 || time.day > daysInMonth(time.year, time.month) || time.hour > 23 || time.minute > 59
        || time.second > 59)
        return 0;
    return daysSinceEpoch(time.year, time.month, time.day) * 86400 + time.hour * 3600 + time.minute * 60
        + time.second - time.offsetMinutes * 60;
}
