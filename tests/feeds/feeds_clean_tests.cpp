// Feed text cleanup and pubDate parsing: the order of the passes, the entity table, the numeric
// reference limits, white space, the date forms feeds write, and text that must never be dated.
#include "feeds/feeds.h"
#include "feeds/feeds_internal.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct CleanCase {
    const char* name;
    std::wstring input;
    std::wstring expected;
};

struct DateCase {
    const char* name;
    std::wstring input;
    std::int64_t expected;
};

void expectCleaned(const CleanCase* begin, const CleanCase* end)
{
    for (const CleanCase* c = begin; c != end; ++c)
        EXPECT_EQ(cleanFeedText(c->input), c->expected) << c->name;
}

}  // namespace

TEST(FeedTextCleanup, StripsTagsAndTurnsEveryClosingBracketIntoSpace)
{
    const CleanCase cases[] = {
        {"paragraph with markup and an entity", L"<p>A <b>new</b> result &amp; context.</p>",
         L"A new result & context."},
        {"already decoded ampersand", L"Science & discovery", L"Science & discovery"},
        {"stray greater-than between words", L"Ocean > land", L"Ocean land"},
        {"stray greater-than without spaces", L"a>b", L"a b"},
        {"unclosed tag drops the rest", L"Text <b unclosed and more", L"Text"},
        {"attributes inside a tag", L"<a href=\"https://www.nasa.gov/\">Read</a> on", L"Read on"},
        {"tag with a greater-than in an attribute ends early", L"<a title=\"x>y\">z</a>", L"y\" z"},
        {"only markup", L"<br/><hr>", L""},
    };
    expectCleaned(std::begin(cases), std::end(cases));
}

TEST(FeedTextCleanup, DecodesNamedEntitiesInTableOrderWithoutRescanningARow)
{
    const CleanCase cases[] = {
        {"the five XML entities", L"&lt;&gt;&quot;&apos;&amp;", L"<>\"'&"},
        {"non-breaking spaces collapse", L"a&nbsp;&nbsp;b", L"a b"},
        {"typographic quotes become ASCII", L"&#8216;q&#8217; &#8220;q&#8221;", L"'q' \"q\""},
        {"en dash", L"1&#8211;2", L"1-2"},
        {"em dash between words", L"before&#8212;after", L"before - after"},
        {"zero-padded ampersand reference", L"R&#038;D", L"R&D"},
        {"doubly escaped less-than", L"1 &amp;lt; 2", L"1 < 2"},
        {"doubly escaped typographic quote", L"NASA&amp;#8217;s", L"NASA's"},
        {"triply escaped ampersand decodes once per row", L"&amp;amp;", L"&amp;"},
        {"escaped tag stays as literal text", L"&lt;b&gt;bold&lt;/b&gt;", L"<b>bold</b>"},
        {"escaped script tag is not stripped", L"&lt;script&gt;x", L"<script>x"},
        {"later row does not feed an earlier one", L"&#038;lt;", L"&lt;"},
        {"entity names are case-sensitive", L"&AMP; &Lt;", L"&AMP; &Lt;"},
        {"unknown named entity stays", L"&hellip;", L"&hellip;"},
    };
    expectCleaned(std::begin(cases), std::end(cases));
}

TEST(FeedTextCleanup, DecodesNumericReferencesOnlyWithinTheirLimits)
{
    const CleanCase cases[] = {
        {"decimal ellipsis", L"Wait&#8230;", L"Wait\u2026"},
        {"hexadecimal ellipsis", L"Wait&#x2026;", L"Wait\u2026"},
        {"upper-case hex marker", L"&#X41;", L"A"},
        {"zero stays", L"&#0;", L"&#0;"},
        {"above 65535 stays", L"&#65536;", L"&#65536;"},
        {"hex above 65535 stays", L"&#x1F600;", L"&#x1F600;"},
        {"65535 is the last value", L"&#65535;", L"\uFFFF"},
        {"ten characters still decode", L"&#0000000065;", L"A"},
        {"eleven characters stay", L"&#00000000065;", L"&#00000000065;"},
        {"no semicolon stays", L"&#65 and more", L"&#65 and more"},
        {"trailing junk stays", L"&#65a;", L"&#65a;"},
        {"bad hex digit stays", L"&#xG;", L"&#xG;"},
        {"empty reference stays", L"&#;", L"&#;"},
        {"leading white space accepted", L"&# 65;", L"A"},
        {"plus sign accepted", L"&#+65;", L"A"},
        {"minus sign wraps above the range", L"&#-1;", L"&#-1;"},
        {"overflowing value stays", L"&#9999999999;", L"&#9999999999;"},
        {"decoded ampersand is not rescanned", L"&#38;#65;", L"&#65;"},
        {"semicolon of a later reference is taken", L"&#&#65;", L"&#&#65;"},
        {"skipped unterminated reference, then a good one", L"&#12345678901234&#66;", L"&#12345678901234B"},
        {"lone surrogate is inserted as one unit", L"&#55357;", std::wstring(1, static_cast<wchar_t>(0xD83D))},
    };
    expectCleaned(std::begin(cases), std::end(cases));
}

TEST(FeedTextCleanup, CollapsesWhiteSpaceAndDropsControlCharacters)
{
    const CleanCase cases[] = {
        {"leading, trailing and mixed white space", L"  one \r\n\t two  ", L"one two"},
        {"vertical tab and form feed", L"a\v\fb", L"a b"},
        {"control character dropped without a space", L"a\x01" L"b", L"ab"},
        {"control character does not break a space run", L"a \x02 b", L"a b"},
        {"only white space", L" \n\t ", L""},
        {"empty text", L"", L""},
        {"non-ASCII letters kept", L"caf\u00E9 Gr\u00F6\u00DFe", L"caf\u00E9 Gr\u00F6\u00DFe"},
    };
    expectCleaned(std::begin(cases), std::end(cases));
}

TEST(FeedTextCleanup, HandlesLongRunsOfUnterminatedReferences)
{
    std::wstring hostile;
    for (int i = 0; i < 100000; ++i)
        hostile += L"&#1";
    // A quadratic search for the semicolon would take minutes here.
    EXPECT_EQ(cleanFeedText(hostile), hostile);
}

TEST(FeedDates, ParsesZoneNamesAndNumericOffsets)
{
    const DateCase cases[] = {
        {"GMT", L"Wed, 12 Jun 2024 10:00:00 GMT", 1718186400},
        {"two hours ahead", L"Wed, 12 Jun 2024 12:00:00 +0200", 1718186400},
        {"zero offset", L"Wed, 12 Jun 2024 10:00:00 +0000", 1718186400},
        {"behind with minutes", L"Wed, 12 Jun 2024 05:30:00 -0430", 1718186400},
        {"largest offset", L"Wed, 12 Jun 2024 10:00:00 +2359", 1718186400 - 86340},
        {"wrapped in line breaks", L"\n    Wed, 12 Jun 2024 12:00:00 +0200\n  ", 1718186400},
        {"epoch itself", L"Thu, 01 Jan 1970 00:00:00 GMT", 0},
        {"before the epoch is negative", L"Thu, 01 Jan 1970 00:00:00 +0100", -3600},
        {"last storable second", L"Wed, 01 Jan 3000 00:00:00 GMT", 32503680000},
        {"afternoon", L"Tue, 11 Jun 2024 15:12:00 +0000", 1718118720},
    };
    for (const DateCase& c : cases)
        EXPECT_EQ(parseFeedDate(c.input), c.expected) << c.name;
}

TEST(FeedDates, ReadsTheFormsFeedsWrite)
{
    const DateCase cases[] = {
        {"UT", L"Wed, 12 Jun 2024 10:00:00 UT", 1718186400},
        {"Z", L"Wed, 12 Jun 2024 10:00:00 Z", 1718186400},
        {"EST", L"Wed, 12 Jun 2024 10:00:00 EST", 1718204400},
        {"EDT", L"Wed, 12 Jun 2024 10:00:00 EDT", 1718200800},
        {"CST", L"Wed, 12 Jun 2024 10:00:00 CST", 1718208000},
        {"CDT", L"Wed, 12 Jun 2024 10:00:00 CDT", 1718204400},
        {"MST", L"Wed, 12 Jun 2024 10:00:00 MST", 1718211600},
        {"MDT", L"Wed, 12 Jun 2024 10:00:00 MDT", 1718208000},
        {"PST", L"Wed, 12 Jun 2024 10:00:00 PST", 1718215200},
        {"PDT", L"Wed, 12 Jun 2024 10:00:00 PDT", 1718211600},
        {"zone name in lower case", L"Wed, 12 Jun 2024 10:00:00 pdt", 1718211600},
        {"unknown zone name reads as UTC", L"Wed, 12 Jun 2024 10:00:00 CEST", 1718186400},
        {"no zone reads as UTC", L"Wed, 12 Jun 2024 10:00:00", 1718186400},
        {"no seconds", L"Wed, 12 Jun 2024 10:00 GMT", 1718186400},
        {"no seconds with an offset", L"Wed, 12 Jun 2024 12:00 +0200", 1718186400},
        {"no weekday", L"12 Jun 2024 10:00:00 GMT", 1718186400},
        {"no weekday and no seconds", L"12 Jun 2024 06:00 EDT", 1718186400},
        {"one-digit day and hour", L"Sun, 2 Jun 2024 8:05 GMT", 1717315500},
        {"full weekday and month names", L"Wednesday, 12 June 2024 10:00:00 GMT", 1718186400},
        {"abbreviations in capitals", L"WED, 12 JUN 2024 10:00:00 GMT", 1718186400},
        {"hyphenated date with a two-digit year", L"Wednesday, 12-Jun-24 10:00:00 GMT", 1718186400},
        {"two-digit year of the last century", L"Fri, 31 Dec 99 23:59:59 GMT", 946684799},
        {"month first, year last", L"Wed Jun 12 10:00:00 2024", 1718186400},
        {"comment after the offset", L"Tue, 11 Jun 2024 09:15:00 -0400 (EDT)", 1718111700},
        {"leap day", L"Thu, 29 Feb 2024 00:00:00 GMT", 1709164800},
        {"extra spaces", L"Wed,  12   Jun 2024  10:00:00   GMT", 1718186400},
    };
    for (const DateCase& c : cases)
        EXPECT_EQ(parseFeedDate(c.input), c.expected) << c.name;
}

TEST(FeedDates, RefusesBadOffsets)
{
    const DateCase cases[] = {
        {"hours above 23", L"Wed, 12 Jun 2024 10:00:00 +2400", 0},
        {"minutes above 59", L"Wed, 12 Jun 2024 10:00:00 +0060", 0},
        {"letter among the digits", L"Wed, 12 Jun 2024 10:00:00 +02a0", 0},
        {"minus with a letter", L"Wed, 12 Jun 2024 10:00:00 -x200", 0},
        {"five digits", L"Wed, 12 Jun 2024 10:00:00 +02000", 0},
        {"three digits", L"Wed, 12 Jun 2024 10:00:00 +020", 0},
    };
    for (const DateCase& c : cases)
        EXPECT_EQ(parseFeedDate(c.input), c.expected) << c.name;
}

TEST(FeedDates, NeverDatesUnparseableTextNow)
{
    const DateCase cases[] = {
        {"empty", L"", 0},
        {"bad date", L"bad date", 0},
        {"only spaces", L"   ", 0},
        {"weekday only", L"Wed", 0},
        {"date without a time", L"Wed, 12 Jun 2024", 0},
        {"time without minutes", L"Wed, 12 Jun 2024 10 GMT", 0},
        {"one-digit minutes", L"Wed, 12 Jun 2024 10:0 GMT", 0},
        {"unknown month", L"Wed, 12 Foo 2024 10:00:00 GMT", 0},
        {"unknown weekday", L"Xyz, 12 Jun 2024 10:00:00 GMT", 0},
        {"month name too short", L"Wed, 12 Ju 2024 10:00:00 GMT", 0},
        {"three-digit year", L"Wed, 12 Jun 202 10:00:00 GMT", 0},
        {"day past the month's end", L"Sat, 31 Feb 2024 10:00:00 GMT", 0},
        {"29 February outside a leap year", L"Sun, 29 Feb 2023 10:00:00 GMT", 0},
        {"29 February of a century year", L"Thu, 29 Feb 1900 10:00:00 GMT", 0},
        {"hour past the day's end", L"Wed, 12 Jun 2024 25:00:00 GMT", 0},
        {"leap second", L"Sun, 30 Jun 2024 23:59:60 GMT", 0},
        {"words after the zone", L"Wed, 12 Jun 2024 10:00:00 GMT tomorrow", 0},
        {"unclosed comment", L"Wed, 12 Jun 2024 10:00:00 -0400 (EDT", 0},
        {"ISO 8601", L"2024-06-12T10:00:00Z", 0},
        {"text after a NUL is not seen", std::wstring(L"Wed") + L'\0' + L", 12 Jun 2024 10:00:00 GMT", 0},
    };
    for (const DateCase& c : cases)
        EXPECT_EQ(parseFeedDate(c.input), c.expected) << c.name;
}

TEST(FeedTextCut, NeverSplitsASurrogatePair)
{
    const std::wstring emoji = L"\U0001F600";
    ASSERT_EQ(emoji.size(), 2u);
    EXPECT_EQ(cutCodeUnits(L"abc" + emoji, 4), L"abc");
    EXPECT_EQ(cutCodeUnits(L"ab" + emoji, 4), L"ab" + emoji);
    EXPECT_EQ(cutCodeUnits(L"ab" + emoji + L"c", 4), L"ab" + emoji);
    EXPECT_EQ(cutCodeUnits(L"abcdef", 3), L"abc");
    EXPECT_EQ(cutCodeUnits(L"ab", 3), L"ab");
    // A lone high surrogate at the cut stays for the strict conversion to refuse.
    const std::wstring lone = L"ab" + std::wstring(1, static_cast<wchar_t>(0xD83D)) + L"c";
    EXPECT_EQ(cutCodeUnits(lone, 3), lone.substr(0, 3));
}
