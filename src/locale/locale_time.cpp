// Local date, time and UTC-offset texts by the Windows time zone and regional settings, with fixed
// numeric forms wherever Windows gives nothing or a text the program's text policy refuses.
#include "locale/locale.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

#include "locale/locale_internal.h"
#include "model/model.h"

namespace {

constexpr std::int64_t UNIX_EPOCH_AS_FILETIME_SECONDS = 11644473600;  // 1601-01-01 to 1970-01-01
constexpr std::int64_t FILETIME_TICKS_PER_SECOND = 10000000;
// The last whole second whose file time still lies below 2^63, the limit FileTimeToSystemTime takes.
constexpr std::int64_t LAST_FILETIME_SECOND = 922337203685 - UNIX_EPOCH_AS_FILETIME_SECONDS;

constexpr std::size_t FORMAT_BUFFER = 128;

std::wstring numericDate(const SYSTEMTIME& local)
{
    wchar_t text[32] = {};
    std::swprintf(text, 32, L"%04u-%02u-%02u", static_cast<unsigned>(local.wYear),
                  static_cast<unsigned>(local.wMonth), static_cast<unsigned>(local.wDay));
    return text;
}

std::wstring numericTime(const SYSTEMTIME& local, bool twelveHour)
{
    const unsigned hour = local.wHour;
    const unsigned minute = local.wMinute;
    wchar_t text[32] = {};
    if (!twelveHour) {
        std::swprintf(text, 32, L"%02u:%02u", hour, minute);
        return text;
    }
    const unsigned dialHour = hour % 12 == 0 ? 12 : hour % 12;
    std::swprintf(text, 32, L"%u:%02u ", dialHour, minute);
    // Not localized: the locale's own designators are what could not be shown.
    return std::wstring(text) + (hour < 12 ? L"AM" : L"PM");
}

std::wstring twoDigits(long long value)
{
    std::wstring digits = std::to_wstring(value);
    return digits.size() < 2 ? L"0" + digits : digits;
}

std::wstring textUpToNul(const wchar_t* buffer, std::size_t capacity)
{
    return std::wstring(buffer, wcsnlen(buffer, capacity));
}

}  // namespace

// Looked up at run time: Wine 8 lacks this export and aborts the process on a static import of it.
HistoricalZoneConversion historicalZoneConversion()
{
    static const HistoricalZoneConversion resolved = [] {
        const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        FARPROC address = kernel ? GetProcAddress(kernel, "SystemTimeToTzSpecificLocalTimeEx") : nullptr;
        return reinterpret_cast<HistoricalZoneConversion>(reinterpret_cast<void*>(address));
    }();
    return resolved;
}

SYSTEMTIME utcCalendarTime(std::int64_t unixSeconds)
{
    std::int64_t seconds = unixSeconds;
    if (seconds < -UNIX_EPOCH_AS_FILETIME_SECONDS) seconds = -UNIX_EPOCH_AS_FILETIME_SECONDS;
    if (seconds > LAST_FILETIME_SECOND) seconds = LAST_FILETIME_SECOND;
    const auto ticks = static_cast<std::uint64_t>((seconds + UNIX_EPOCH_AS_FILETIME_SECONDS) * FILETIME_TICKS_PER_SECOND);

    FILETIME fileTime{};
    fileTime.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    fileTime.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    SYSTEMTIME utc{};
    if (!FileTimeToSystemTime(&fileTime, &utc)) {
        utc = SYSTEMTIME{};
        utc.wYear = 1601;
        utc.wMonth = 1;
        utc.wDay = 1;
    }
    return utc;
}

SYSTEMTIME localCalendarTime(const SYSTEMTIME& utc)
{
    DYNAMIC_TIME_ZONE_INFORMATION zone{};
    if (GetDynamicTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return utc;
    return localCalendarTimeIn(zone, utc);
}

SYSTEMTIME localCalendarTimeIn(const DYNAMIC_TIME_ZONE_INFORMATION& zone, const SYSTEMTIME& utc)
{
    SYSTEMTIME local{};
    // Daylight saving as it was in force at that date, not as it is today.
    if (const auto historical = historicalZoneConversion()) {
        return historical(&zone, &utc, &local) ? local : utc;
    }
    // Only where the call is missing: the zone's present rules are still better than UTC.
    TIME_ZONE_INFORMATION present{};
    present.Bias = zone.Bias;
    std::copy(std::begin(zone.StandardName), std::end(zone.StandardName), std::begin(present.StandardName));
    present.StandardDate = zone.StandardDate;
    present.StandardBias = zone.StandardBias;
    std::copy(std::begin(zone.DaylightName), std::end(zone.DaylightName), std::begin(present.DaylightName));
    present.DaylightDate = zone.DaylightDate;
    present.DaylightBias = zone.DaylightBias;
    return SystemTimeToTzSpecificLocalTime(&present, &utc, &local) ? local : utc;
}

bool needsNumericFallback(std::wstring_view text)
{
    return text.empty() || !isSupportedWideText(text);
}

std::wstring composeLocalDateTime(const SYSTEMTIME& local, bool withDate, const WindowsDateTimeTexts& texts)
{
    std::wstring time = needsNumericFallback(texts.time)
                            ? numericTime(local, !texts.itime.empty() && texts.itime.front() == L'0')
                            : std::wstring(texts.time);
    if (!withDate) return time;
    std::wstring date = needsNumericFallback(texts.date) ? numericDate(local) : std::wstring(texts.date);
    return date + L"  " + time;
}

std::wstring formatLocalDateTime(std::int64_t unixSeconds, bool withDate)
{
    const SYSTEMTIME local = localCalendarTime(utcCalendarTime(unixSeconds));

    wchar_t dateBuffer[FORMAT_BUFFER] = {};
    wchar_t timeBuffer[FORMAT_BUFFER] = {};
    std::wstring date;
    if (withDate &&
        GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, dateBuffer, FORMAT_BUFFER, nullptr) > 0)
        date = textUpToNul(dateBuffer, FORMAT_BUFFER);
    std::wstring time;
    if (GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, timeBuffer, FORMAT_BUFFER) > 0)
        time = textUpToNul(timeBuffer, FORMAT_BUFFER);

    // The clock setting is read only when the numeric time is actually needed.
    wchar_t itime[4] = {};
    if (needsNumericFallback(time) && GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_ITIME, itime, 4) == 0)
        itime[0] = L'\0';

    const std::wstring clock = textUpToNul(itime, 4);
    return composeLocalDateTime(local, withDate, WindowsDateTimeTexts{date, time, clock});
}

std::wstring utcOffsetText(const TIME_ZONE_INFORMATION& zone, DWORD zoneId)
{
    // Bias is UTC minus local time: a positive bias lies west of Greenwich and shows "-".
    const long long bias = static_cast<long long>(zone.Bias) +
                           (zoneId == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : zone.StandardBias);
    const long long magnitude = bias < 0 ? -bias : bias;
    return std::wstring(L"UTC") + (bias <= 0 ? L'+' : L'-') + twoDigits(magnitude / 60) + L':' +
           twoDigits(magnitude % 60);
}

std::wstring formatUtcOffset()
{
    TIME_ZONE_INFORMATION zone{};
    const DWORD zoneId = GetTimeZoneInformation(&zone);
    if (zoneId == TIME_ZONE_ID_INVALID) zone = TIME_ZONE_INFORMATION{};
    return utcOffsetText(zone, zoneId);
}
