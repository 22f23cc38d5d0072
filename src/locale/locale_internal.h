// Seams of the localization code: the pure steps behind language detection and the date, time
// and UTC-offset texts, so tests can feed them what Windows would have produced.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "locale/locale.h"

// The language for a MUI preference list (names separated by NUL, ended by an empty name):
// only the first name counts.
UiLanguage uiLanguageFromPreferredList(const wchar_t* list);

// Unix seconds to a UTC calendar time. Times beyond what a Windows file time holds are pinned to
// its ends (1601-01-01 and 30828-09-14), so every input yields a real date.
SYSTEMTIME utcCalendarTime(std::int64_t unixSeconds);

// The UTC calendar time in the current Windows time zone, with the rules in force at that date; the
// UTC time unchanged when the zone cannot be read or the conversion fails.
SYSTEMTIME localCalendarTime(const SYSTEMTIME& utc);
// The same in a given zone.
SYSTEMTIME localCalendarTimeIn(const DYNAMIC_TIME_ZONE_INFORMATION& zone, const SYSTEMTIME& utc);

// SystemTimeToTzSpecificLocalTimeEx when the system exports it, else null.
using HistoricalZoneConversion = BOOL(WINAPI*)(const DYNAMIC_TIME_ZONE_INFORMATION*, const SYSTEMTIME*, SYSTEMTIME*);
HistoricalZoneConversion historicalZoneConversion();

// What the Windows locale functions produced for one local time; empty where the call failed.
struct WindowsDateTimeTexts {
    std::wstring_view date;   // GetDateFormatEx, DATE_SHORTDATE
    std::wstring_view time;   // GetTimeFormatEx, TIME_NOSECONDS
    std::wstring_view itime;  // GetLocaleInfoEx LOCALE_ITIME: "0" for the 12-hour clock
};

// True when a Windows text cannot be shown as it is: empty, or refused by the text policy.
bool needsNumericFallback(std::wstring_view text);

// The shown text for a local time, with the numeric fallbacks for unusable Windows texts.
std::wstring composeLocalDateTime(const SYSTEMTIME& local, bool withDate, const WindowsDateTimeTexts& texts);

// "UTC+05:30" for a zone as GetTimeZoneInformation describes it and the zone id it returned.
std::wstring utcOffsetText(const TIME_ZONE_INFORMATION& zone, DWORD zoneId);
