// Tests of the local date, time and UTC-offset texts: the numeric fallbacks for texts Windows
// could not give in a displayable form, the calendar conversion, and the offset signs.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <limits>
#include <string>

#include "locale/locale.h"
#include "locale/locale_internal.h"
#include "model/model.h"

namespace {

SYSTEMTIME at(int year, int month, int day, int hour, int minute)
{
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    return t;
}

// ---------------------------------------------------------------------------------------------
// Fallbacks

struct DateCase {
    const wchar_t* windowsDate;
    const wchar_t* shown;
};

class DateFallback : public testing::TestWithParam<DateCase> {};

TEST_P(DateFallback, RefusedOrMissingDateBecomesNumeric)
{
    const SYSTEMTIME local = at(2024, 6, 2, 9, 7);
    const std::wstring shown =
        composeLocalDateTime(local, true, WindowsDateTimeTexts{GetParam().windowsDate, L"09:07", L"1"});
    EXPECT_EQ(shown, std::wstring(GetParam().shown) + L"  09:07");
}

INSTANTIATE_TEST_SUITE_P(Dates, DateFallback, testing::Values(
    DateCase{L"02.06.2024", L"02.06.2024"},
    DateCase{L"6/2/2024", L"6/2/2024"},
    DateCase{L"2 juin 2024", L"2 juin 2024"},
    DateCase{L"2024\u5e746\u67082\u65e5", L"2024\u5e746\u67082\u65e5"},  // CJK passes the policy
    DateCase{L"", L"2024-06-02"},
    DateCase{L"02.06.2024 \u0433.", L"2024-06-02"},        // Cyrillic
    DateCase{L"\u0500 02.06.2024", L"2024-06-02"},         // Cyrillic Supplement
    DateCase{L"02.06.2024\u2de0", L"2024-06-02"},          // Cyrillic Extended-A
    DateCase{L"02.06.2024\ua69f", L"2024-06-02"}));        // Cyrillic Extended-B

struct TimeCase {
    int hour;
    int minute;
    const wchar_t* itime;
    const wchar_t* shown;
};

class TimeFallback : public testing::TestWithParam<TimeCase> {};

TEST_P(TimeFallback, RefusedTimeFollowsTheClockSetting)
{
    const TimeCase& c = GetParam();
    const SYSTEMTIME local = at(2024, 6, 12, c.hour, c.minute);
    // A Cyrillic day-period designator, as some locales write it.
    const std::wstring shown =
        composeLocalDateTime(local, false, WindowsDateTimeTexts{L"", L"1:40 \u041f\u041f", c.itime});
    EXPECT_EQ(shown, c.shown);
}

INSTANTIATE_TEST_SUITE_P(Times, TimeFallback, testing::Values(
    TimeCase{0, 5, L"0", L"12:05 AM"},
    TimeCase{13, 40, L"0", L"1:40 PM"},
    TimeCase{12, 0, L"0", L"12:00 PM"},
    TimeCase{11, 59, L"0", L"11:59 AM"},
    TimeCase{23, 7, L"0", L"11:07 PM"},
    TimeCase{1, 0, L"0", L"1:00 AM"},
    TimeCase{0, 5, L"1", L"00:05"},
    TimeCase{13, 40, L"1", L"13:40"},
    TimeCase{9, 3, L"1", L"09:03"},
    // The setting could not be read: the 24-hour clock.
    TimeCase{13, 40, L"", L"13:40"},
    TimeCase{0, 5, L"", L"00:05"}));

TEST(TimeFallback, EmptyTimeFallsBackToo)
{
    EXPECT_EQ(composeLocalDateTime(at(2024, 6, 12, 0, 5), false, WindowsDateTimeTexts{L"", L"", L"0"}), L"12:05 AM");
    EXPECT_EQ(composeLocalDateTime(at(2024, 6, 12, 0, 5), false, WindowsDateTimeTexts{L"", L"", L"1"}), L"00:05");
}

TEST(TimeFallback, AcceptableWindowsTextsAreKeptVerbatim)
{
    EXPECT_EQ(composeLocalDateTime(at(2024, 6, 12, 12, 0), true, WindowsDateTimeTexts{L"12.06.2024", L"12:00", L"1"}),
              L"12.06.2024  12:00");
    EXPECT_EQ(composeLocalDateTime(at(2024, 6, 12, 13, 40), false, WindowsDateTimeTexts{L"", L"1:40 p.m.", L"1"}),
              L"1:40 p.m.");
}

TEST(TimeFallback, BothFallbacksJoinWithTwoSpaces)
{
    const std::wstring shown = composeLocalDateTime(
        at(2024, 12, 31, 23, 59), true, WindowsDateTimeTexts{L"31 \u0434\u0435\u043a", L"", L"0"});
    EXPECT_EQ(shown, L"2024-12-31  11:59 PM");
}

TEST(TimeFallback, WithoutDateARefusedDateIsNotShown)
{
    EXPECT_EQ(composeLocalDateTime(at(2024, 6, 12, 8, 30), false, WindowsDateTimeTexts{L"\u0430", L"08:30", L"1"}),
              L"08:30");
}

TEST(TimeFallback, NeedsFallbackOnlyForEmptyOrRefusedText)
{
    EXPECT_TRUE(needsNumericFallback(L""));
    EXPECT_TRUE(needsNumericFallback(L"10:00 \u0434\u043f"));
    EXPECT_FALSE(needsNumericFallback(L"10:00 AM"));
    EXPECT_FALSE(needsNumericFallback(L"\u1c80"));  // Cyrillic Extended-C is not refused
}

// ---------------------------------------------------------------------------------------------
// Calendar conversion

struct CalendarCase {
    std::int64_t unixSeconds;
    int year, month, day, hour, minute, second;
};

class Calendar : public testing::TestWithParam<CalendarCase> {};

TEST_P(Calendar, UnixSecondsGiveTheUtcCalendarTime)
{
    const CalendarCase& c = GetParam();
    const SYSTEMTIME t = utcCalendarTime(c.unixSeconds);
    EXPECT_EQ(t.wYear, c.year);
    EXPECT_EQ(t.wMonth, c.month);
    EXPECT_EQ(t.wDay, c.day);
    EXPECT_EQ(t.wHour, c.hour);
    EXPECT_EQ(t.wMinute, c.minute);
    EXPECT_EQ(t.wSecond, c.second);
}

INSTANTIATE_TEST_SUITE_P(Times, Calendar, testing::Values(
    CalendarCase{0, 1970, 1, 1, 0, 0, 0},
    CalendarCase{1718186400, 2024, 6, 12, 10, 0, 0},
    CalendarCase{951782400, 2000, 2, 29, 0, 0, 0},
    CalendarCase{1735689599, 2024, 12, 31, 23, 59, 59},
    CalendarCase{4102444800, 2100, 1, 1, 0, 0, 0},
    CalendarCase{-1, 1969, 12, 31, 23, 59, 59},
    CalendarCase{-11644473600, 1601, 1, 1, 0, 0, 0},
    // Beyond the file-time range: pinned to its ends instead of overflowing.
    CalendarCase{-11644473601, 1601, 1, 1, 0, 0, 0},
    CalendarCase{std::numeric_limits<std::int64_t>::min(), 1601, 1, 1, 0, 0, 0},
    CalendarCase{std::numeric_limits<std::int64_t>::max(), 30828, 9, 14, 2, 48, 5}));

// ---------------------------------------------------------------------------------------------
// Zone conversion with hand-built zones

// A transition rule: month, weekday (0 = Sunday), week of the month (5 = last), hour.
SYSTEMTIME rule(int month, int weekday, int week, int hour)
{
    SYSTEMTIME t{};
    t.wMonth = static_cast<WORD>(month);
    t.wDayOfWeek = static_cast<WORD>(weekday);
    t.wDay = static_cast<WORD>(week);
    t.wHour = static_cast<WORD>(hour);
    return t;
}

DYNAMIC_TIME_ZONE_INFORMATION zoneOf(LONG bias, SYSTEMTIME standardDate, SYSTEMTIME daylightDate)
{
    DYNAMIC_TIME_ZONE_INFORMATION zone{};
    zone.Bias = bias;
    zone.StandardDate = standardDate;
    zone.DaylightDate = daylightDate;
    zone.DaylightBias = daylightDate.wMonth != 0 ? -60 : 0;
    return zone;
}

// Central Europe: UTC+01:00, summer time from the last Sunday of March to the last of October.
DYNAMIC_TIME_ZONE_INFORMATION centralEurope() { return zoneOf(-60, rule(10, 0, 5, 3), rule(3, 0, 5, 2)); }
// US East: UTC-05:00, summer time from the second Sunday of March to the first of November.
DYNAMIC_TIME_ZONE_INFORMATION usEast() { return zoneOf(300, rule(11, 0, 1, 2), rule(3, 0, 2, 2)); }
// India: UTC+05:30 all year.
DYNAMIC_TIME_ZONE_INFORMATION india() { return zoneOf(-330, SYSTEMTIME{}, SYSTEMTIME{}); }

struct ZoneCase {
    const char* name;
    DYNAMIC_TIME_ZONE_INFORMATION (*zone)();
    std::int64_t unixSeconds;
    int year, month, day, hour, minute;
};

class ZoneConversion : public testing::TestWithParam<ZoneCase> {};

TEST_P(ZoneConversion, AppliesBiasAndTheDaylightRuleOfThatDate)
{
    const ZoneCase& c = GetParam();
    const SYSTEMTIME local = localCalendarTimeIn(c.zone(), utcCalendarTime(c.unixSeconds));
    EXPECT_EQ(local.wYear, c.year);
    EXPECT_EQ(local.wMonth, c.month);
    EXPECT_EQ(local.wDay, c.day);
    EXPECT_EQ(local.wHour, c.hour);
    EXPECT_EQ(local.wMinute, c.minute);
}

INSTANTIATE_TEST_SUITE_P(Zones, ZoneConversion, testing::Values(
    ZoneCase{"CentralEuropeSummer", centralEurope, 1718186400, 2024, 6, 12, 12, 0},   // 2024-06-12 10:00Z
    ZoneCase{"CentralEuropeWinter", centralEurope, 1705312800, 2024, 1, 15, 11, 0},   // 2024-01-15 10:00Z
    ZoneCase{"CentralEuropeBeforeSwitch", centralEurope, 1711846740, 2024, 3, 31, 1, 59},  // 00:59Z
    ZoneCase{"CentralEuropeAfterSwitch", centralEurope, 1711846800, 2024, 3, 31, 3, 0},    // 01:00Z
    ZoneCase{"CentralEuropeNewYear", centralEurope, 1735687800, 2025, 1, 1, 0, 30},   // 2024-12-31 23:30Z
    ZoneCase{"UsEastSummerPreviousDay", usEast, 1718157600, 2024, 6, 11, 22, 0},      // 2024-06-12 02:00Z
    ZoneCase{"UsEastWinter", usEast, 1705312800, 2024, 1, 15, 5, 0},
    ZoneCase{"IndiaHalfHour", india, 1718186400, 2024, 6, 12, 15, 30}),
    [](const testing::TestParamInfo<ZoneCase>& info) { return std::string(info.param.name); });

bool runningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST(ZoneConversion, UsesTheRulesInForceAtTheDateWhereWindowsOffersThem)
{
    if (historicalZoneConversion() == nullptr && runningUnderWine())
        GTEST_SKIP() << "Wine 8 does not export SystemTimeToTzSpecificLocalTimeEx; the zone's present "
                        "rules are applied instead";
    EXPECT_NE(historicalZoneConversion(), nullptr);
}

// ---------------------------------------------------------------------------------------------
// The live functions on this machine's settings

TEST(LocalDateTime, KnownTimeGivesDisplayableTextWithDateAndTime)
{
    const std::wstring shown = formatLocalDateTime(1718186400, true);
    EXPECT_FALSE(shown.empty());
    EXPECT_TRUE(isSupportedWideText(shown));
    const std::wstring timeOnly = formatLocalDateTime(1718186400, false);
    ASSERT_FALSE(timeOnly.empty());
    EXPECT_TRUE(isSupportedWideText(timeOnly));
    // The date, two spaces, then exactly the time-only text.
    ASSERT_GT(shown.size(), timeOnly.size() + 2);
    EXPECT_EQ(shown.substr(shown.size() - timeOnly.size()), timeOnly);
    EXPECT_EQ(shown.substr(shown.size() - timeOnly.size() - 2, 2), L"  ");
}

TEST(LocalDateTime, CurrentTimeIsDisplayable)
{
    const std::int64_t now = currentUnixSeconds();
    const std::wstring shown = formatLocalDateTime(now, true);
    EXPECT_FALSE(shown.empty());
    EXPECT_TRUE(isSupportedWideText(shown));
}

TEST(LocalDateTime, ExtremeTimesNeverFail)
{
    for (std::int64_t t : {std::numeric_limits<std::int64_t>::min(), std::int64_t{-11644473601}, std::int64_t{0},
                           std::numeric_limits<std::int64_t>::max()}) {
        SCOPED_TRACE(t);
        const std::wstring shown = formatLocalDateTime(t, true);
        EXPECT_FALSE(shown.empty());
        EXPECT_TRUE(isSupportedWideText(shown));
    }
}

TEST(LocalDateTime, TimeFollowsTheCurrentZone)
{
    // In a zone without daylight saving the local minute of an instant is its UTC minute shifted
    // by the bias, whatever the clock style: 10:07 UTC shows 10:07 in a zone at UTC.
    TIME_ZONE_INFORMATION zone{};
    const DWORD id = GetTimeZoneInformation(&zone);
    if (id != TIME_ZONE_ID_UNKNOWN || zone.Bias != 0)
        GTEST_SKIP() << "this check needs a zone at UTC without daylight saving; bias " << zone.Bias;
    const std::wstring shown = formatLocalDateTime(1718186820, false);
    EXPECT_NE(shown.find(L"10"), std::wstring::npos) << testing::PrintToString(shown);
    EXPECT_NE(shown.find(L"07"), std::wstring::npos) << testing::PrintToString(shown);
}

// ---------------------------------------------------------------------------------------------
// UTC offset

struct OffsetCase {
    LONG bias;
    LONG standardBias;
    LONG daylightBias;
    DWORD zoneId;
    const wchar_t* shown;
};

class Offset : public testing::TestWithParam<OffsetCase> {};

TEST_P(Offset, SignAndDigitsFollowTheBias)
{
    TIME_ZONE_INFORMATION zone{};
    zone.Bias = GetParam().bias;
    zone.StandardBias = GetParam().standardBias;
    zone.DaylightBias = GetParam().daylightBias;
    EXPECT_EQ(utcOffsetText(zone, GetParam().zoneId), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Zones, Offset, testing::Values(
    OffsetCase{0, 0, 0, TIME_ZONE_ID_UNKNOWN, L"UTC+00:00"},
    OffsetCase{0, 0, -60, TIME_ZONE_ID_STANDARD, L"UTC+00:00"},
    OffsetCase{0, 0, -60, TIME_ZONE_ID_DAYLIGHT, L"UTC+01:00"},
    OffsetCase{300, 0, -60, TIME_ZONE_ID_STANDARD, L"UTC-05:00"},
    OffsetCase{300, 0, -60, TIME_ZONE_ID_DAYLIGHT, L"UTC-04:00"},
    OffsetCase{300, 0, -60, TIME_ZONE_ID_UNKNOWN, L"UTC-05:00"},
    OffsetCase{-330, 0, 0, TIME_ZONE_ID_UNKNOWN, L"UTC+05:30"},
    OffsetCase{-345, 0, 0, TIME_ZONE_ID_UNKNOWN, L"UTC+05:45"},
    OffsetCase{210, 0, -60, TIME_ZONE_ID_STANDARD, L"UTC-03:30"},
    OffsetCase{210, 0, -60, TIME_ZONE_ID_DAYLIGHT, L"UTC-02:30"},
    OffsetCase{-60, 0, -60, TIME_ZONE_ID_DAYLIGHT, L"UTC+02:00"},
    OffsetCase{-600, 0, -60, TIME_ZONE_ID_DAYLIGHT, L"UTC+11:00"},
    OffsetCase{60, 0, -60, TIME_ZONE_ID_DAYLIGHT, L"UTC+00:00"},  // bias reaches 0: "+"
    OffsetCase{0, 60, 0, TIME_ZONE_ID_STANDARD, L"UTC-01:00"},    // standard bias is added too
    OffsetCase{-840, 0, 0, TIME_ZONE_ID_UNKNOWN, L"UTC+14:00"},
    OffsetCase{720, 0, 0, TIME_ZONE_ID_UNKNOWN, L"UTC-12:00"}));

TEST(Offset, LiveOffsetHasTheFixedShape)
{
    const std::wstring shown = formatUtcOffset();
    ASSERT_EQ(shown.size(), 9u) << testing::PrintToString(shown);
    EXPECT_EQ(shown.substr(0, 3), L"UTC");
    EXPECT_TRUE(shown[3] == L'+' || shown[3] == L'-');
    EXPECT_TRUE(iswdigit(shown[4]) && iswdigit(shown[5]) && iswdigit(shown[7]) && iswdigit(shown[8]));
    EXPECT_EQ(shown[6], L':');
}

}  // namespace
