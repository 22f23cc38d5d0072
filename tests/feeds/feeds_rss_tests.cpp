// The RSS reader on realistic feeds, on the field-name rules of the pull reader, on the cuts and
// limits, and on hostile documents that must be refused whole.
#include "feeds/feeds.h"
#include "fixtures/rss_fixtures.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

namespace {

// The reader needs COM on the calling thread, as on the feed worker.
class ComEnvironment : public testing::Environment {
public:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    void TearDown() override { CoUninitialize(); }
};
[[maybe_unused]] testing::Environment* const comEnvironment =
    testing::AddGlobalTestEnvironment(new ComEnvironment);

std::string failureOf(std::string_view body)
{
    try {
        readRssFeed(body, "NASA");
    } catch (const Failure& failure) {
        return failure.reason();
    }
    return "(no failure)";
}

std::string item(std::string_view title, std::string_view link, std::string_view more = {})
{
    return "<item><title>" + std::string(title) + "</title><link>" + std::string(link) + "</link>"
        + std::string(more) + "</item>\n";
}

std::string feedOf(std::string_view items)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel><title>Channel title</title>"
           "<link>https://www.nasa.gov/channel</link>\n"
        + std::string(items) + "</channel></rss>\n";
}

std::string numbered(std::string_view stem, int n) { return std::string(stem) + std::to_string(n); }

// A well-formed feed of exactly `size` bytes: many small untitled items (dropped) as padding, then
// the one acceptable item at the very end. Many small nodes, because Wine's XmlLite stalls on one huge
// node and misreads comments and CDATA sections that meet the edge of its input buffer.
std::string paddedFeed(std::size_t size)
{
    const std::string tail = item("Padded", "https://www.nasa.gov/padded") + "</channel></rss>";
    const std::string open = "<item><description>", close = "</description></item>";
    const std::string chunk = open + std::string(1000 - open.size() - close.size() - 1, 'x') + close + "\n";
    std::string body = "<rss><channel>";
    while (body.size() + chunk.size() + tail.size() + open.size() + close.size() <= size)
        body += chunk;
    const std::size_t rest = size - body.size() - tail.size();
    body += open + std::string(rest - open.size() - close.size(), 'y') + close;
    body += tail;
    return body;
}

std::wstring widen(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// rss, channel, then wrapper elements down to `levels` in all; the acceptable item sits at level 3.
std::string nestedFeed(int levels)
{
    std::string body = "<rss><channel>" + item("Deep", "https://www.nasa.gov/deep");
    for (int level = 3; level <= levels; ++level)
        body += "<d>";
    for (int level = 3; level <= levels; ++level)
        body += "</d>";
    return body + "</channel></rss>";
}

bool runningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

struct RefusalCase {
    const char* name;
    std::string body;
    const char* reason;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Realistic documents

TEST(RssReader, ReadsBlogEngineFeedFieldByField)
{
    const std::vector<Story> stories = readRssFeed(BLOG_STYLE_FEED, "NASA");
    ASSERT_EQ(stories.size(), 2u);

    const Story& webb = stories[0];
    EXPECT_EQ(webb.id, "9b7f1f0066c16caa");
    EXPECT_EQ(webb.title, "Webb\xE2\x80\x99s New Image Shows a Stellar Nursery");
    EXPECT_EQ(webb.body,
              "Astronomers using the telescope captured a young cluster\xE2\x80\xA6 The post Webb's New Image Shows a "
              "Stellar Nursery appeared first on NASA .");
    EXPECT_EQ(webb.url, "https://www.nasa.gov/news-release/webbs-new-image-shows-a-stellar-nursery/");
    EXPECT_EQ(webb.source, "NASA");
    EXPECT_EQ(webb.note, "");
    EXPECT_EQ(webb.published, 1718202600);  // 2024-06-12 14:30:00 UTC
    EXPECT_FALSE(webb.saved);
    EXPECT_EQ(webb.x, 0.0);
    EXPECT_EQ(webb.y, 0.0);
    EXPECT_EQ(webb.asset, -1);

    const Story& crew = stories[1];
    EXPECT_EQ(crew.id, "32a3d85f223d4a75");
    EXPECT_EQ(crew.title, "Agency Selects Crew for Lunar Mission & Sets Launch Date");
    EXPECT_EQ(crew.body,
              "The agency named four astronauts - two veterans and two newcomers - for the \"next step\" toward the "
              "Moon. Launch is planned for 2026.");
    EXPECT_EQ(crew.url, "https://www.nasa.gov/news-release/agency-selects-crew-for-lunar-mission/");
    EXPECT_EQ(crew.source, "NASA");
    EXPECT_EQ(crew.published, 1718111700);  // 09:15 at -0400 is 13:15 UTC on 2024-06-11
    EXPECT_EQ(crew.asset, -1);
}

TEST(RssReader, ReadsCmsFeedFieldByField)
{
    const std::vector<Story> stories = readRssFeed(CMS_STYLE_FEED, "NOAA");
    ASSERT_EQ(stories.size(), 2u);  // the relative link is not resolved against xml:base

    const Story& outlook = stories[0];
    EXPECT_EQ(outlook.id, "ead484968bc9d337");
    EXPECT_EQ(outlook.title, "Summer outlook: Heat & drought expected across the West");
    EXPECT_EQ(outlook.body,
              "Forecasters expect a hotter-than-average summer The outlook & its maps &mdash; updated monthly - are "
              "online.");
    EXPECT_EQ(outlook.url, "https://www.noaa.gov/news-release/summer-outlook-heat-drought-west");
    EXPECT_EQ(outlook.source, "NOAA");
    EXPECT_EQ(outlook.note, "");
    EXPECT_EQ(outlook.published, 1718118720);  // 2024-06-11 15:12:00 UTC
    EXPECT_FALSE(outlook.saved);
    EXPECT_EQ(outlook.asset, -1);

    const Story& coral = stories[1];
    EXPECT_EQ(coral.id, "a080e17f9d960de5");
    EXPECT_EQ(coral.title, "Ocean explorers map a deep-sea coral garden");
    EXPECT_EQ(coral.body, "Scientists aboard the ship found corals at 1,200 m &ndash; deeper than expected.");
    EXPECT_EQ(coral.url, "https://oceanexplorer.noaa.gov/news/coral-garden.html");
    EXPECT_EQ(coral.source, "NOAA");
    EXPECT_EQ(coral.published, 1717793130);  // 2024-06-07 20:45:30 UTC
}

TEST(RssReader, KeepsOnlyTheOfficialItemOfTheThreeItemExample)
{
    const std::string feed = feedOf(
        "<item><title>Science &amp; discovery</title><link>https://www.nasa.gov/news-release/science-discovery/</link>"
        "<description><![CDATA[<p>A <b>new</b> result &amp; context.</p>]]></description>"
        "<pubDate>Wed, 12 Jun 2024 12:00:00 +0200</pubDate></item>"
        "<item><title>Blocked</title><link>https://www.example.com/blocked</link></item>"
        "<item><title>&#1040;</title><link>https://www.nasa.gov/news-release/cyrillic/</link></item>");
    const std::vector<Story> stories = readRssFeed(feed, "NASA");
    ASSERT_EQ(stories.size(), 1u);
    EXPECT_EQ(stories[0].title, "Science & discovery");
    EXPECT_EQ(stories[0].body, "A new result & context.");
    EXPECT_EQ(stories[0].published, 1718186400);
    EXPECT_EQ(stories[0].id, "b7e995bd597b3f7f");
}

TEST(RssReader, ReadsUtf16DocumentWithByteOrderMark)
{
    // No declaration: the byte order mark alone announces the encoding.
    const std::wstring text = widen("<rss><channel>" + item("Wide feed", "https://www.nasa.gov/wide") + "</channel></rss>");
    std::string body = "\xFF\xFE";
    for (const wchar_t unit : text) {
        body.push_back(static_cast<char>(unit & 0xFF));
        body.push_back(static_cast<char>(unit >> 8));
    }
    const std::vector<Story> stories = readRssFeed(body, "NASA");
    ASSERT_EQ(stories.size(), 1u);
    EXPECT_EQ(stories[0].title, "Wide feed");
}

// ---------------------------------------------------------------------------------------------
// Field-name rules

TEST(RssReader, IgnoresChannelTitleAndLink)
{
    EXPECT_EQ(failureOf(feedOf("<item><description>No headline here</description></item>")), "No supported stories");
    const std::vector<Story> stories = readRssFeed(feedOf(item("Item title", "https://www.nasa.gov/item")), "NASA");
    ASSERT_EQ(stories.size(), 1u);
    EXPECT_EQ(stories[0].title, "Item title");
    EXPECT_EQ(stories[0].url, "https://www.nasa.gov/item");
}

TEST(RssReader, NestedItemStartsAfresh)
{
    const std::string feed = feedOf(
        "<item><title>Outer</title><description>Outer text</description>"
        "<item><title>Inner</title><link>https://www.nasa.gov/inner</link></item>"
        "<link>https://www.nasa.gov/outer</link></item>");
    const std::vector<Story> stories = readRssFeed(feed, "NASA");
    ASSERT_EQ(stories.size(), 1u);
    EXPECT_EQ(stories[0].title, "Inner");
    EXPECT_EQ(stories[0].body, "");
    EXPECT_EQ(stories[0].url, "https://www.nasa.gov/inner");
}

TEST(RssReader, MarkupNestedInAFieldEndsItsText)
{
    const std::string feed = feedOf(
        item("Markup", "https://www.nasa.gov/markup", "<description>Before <b>bold</b> after</description>"));
    const std::vector<Story> stories = readRssFeed(feed, "NASA");
    ASSERT_EQ(stories.size(), 1u);
    EXPECT_EQ(stories[0].body, "Before");
}

TEST(RssReader, DropsTextAfterAFieldsEndTag)
{
    const std::string feed = feedOf(
        "<item><title>Title</title>stray text<link>https://www.nasa.gov/x</link>more"
        "<description>Body</description>tail</item>");
    const std::vector<Story> stories = readRssFeed(feed, "NASA");
    ASSERT_EQ(stories.size(), 1u);
    EXPECT_EQ(stories[0].title, "Title");
    EXPECT_EQ(stories[0].url, "https://www.nasa.gov/x");
    EXPECT_EQ(stories[0].body, "Body");
}

TEST(RssReader, ConcatenatesPiecesOfOneField)
{
    const std::string feed = feedOf(
        "<item><title>Part one <![CDATA[& part two]]></title><link>https://www.nasa.gov/</link>"
        "<link>pieces</link></item>");
    const std::vector<Story> stories = readRssFeed(feed, "NASA");
    ASSERT_EQ(stories.size(), 1u);
    EXPECT_EQ(stories[0].title, "Part one & part two");
    EXPECT_EQ(stories[0].url, "https://www.nasa.gov/pieces");
}

TEST(RssReader, PrefixedElementsCountByLocalName)
{
    const std::string feed = feedOf(
        "<item xmlns:x=\"urn:example\"><x:title>Prefixed</x:title>"
        "<x:link>https://www.nasa.gov/prefixed</x:link></item>");
    const std::vector<Story> stories = readRssFeed(feed, "NASA");
    ASSERT_EQ(stories.size(), 1u);
    EXPECT_EQ(stories[0].title, "Prefixed");
    EXPECT_EQ(stories[0].url, "https://www.nasa.gov/prefixed");
}

TEST(RssReader, SelfClosingFieldKeepsCollectingUntilTheNextTag)
{
    const std::string feed = feedOf(
        item("Self-closing", "https://www.nasa.gov/self", "<description/>Loose text<category>x</category>"));
    const std::vector<Story> stories = readRssFeed(feed, "NASA");
    ASSERT_EQ(stories.size(), 1u);
    EXPECT_EQ(stories[0].body, "Loose text");
}

TEST(RssReader, FieldNamesAreCaseSensitive)
{
    const std::string feed = feedOf(item("Case", "https://www.nasa.gov/case",
                                         "<Description>Ignored</Description><pubdate>Wed, 12 Jun 2024 10:00:00 GMT</pubdate>"));
    const std::vector<Story> stories = readRssFeed(feed, "NASA");
    ASSERT_EQ(stories.size(), 1u);
    EXPECT_EQ(stories[0].body, "");
    EXPECT_EQ(stories[0].published, 0);
}

TEST(RssReader, SameLinkGivesSameId)
{
    const std::string feed =
        feedOf(item("First", "https://www.nasa.gov/same") + item("Second", "https://www.nasa.gov/same"));
    const std::vector<Story> stories = readRssFeed(feed, "NASA");
    ASSERT_EQ(stories.size(), 2u);
    EXPECT_EQ(stories[0].id, stories[1].id);
    EXPECT_EQ(stories[0].title, "First");
    EXPECT_EQ(stories[1].title, "Second");
}

TEST(RssReader, DropsItemsOneByOneForTextAndSourcePolicy)
{
    const std::string feed = feedOf(
        item("Cyrillic in body", "https://www.nasa.gov/a", "<description>&#1041;</description>")
        + item("Plain http", "http://www.nasa.gov/b") + item("   ", "https://www.nasa.gov/c")
        + item("Empty link", "") + item("Kept", "https://www.noaa.gov/d"));
    const std::vector<Story> stories = readRssFeed(feed, "NOAA");
    ASSERT_EQ(stories.size(), 1u);
    EXPECT_EQ(stories[0].title, "Kept");
    EXPECT_EQ(stories[0].source, "NOAA");
}

// ---------------------------------------------------------------------------------------------
// Dates

TEST(RssReader, StoresOnlyDatesWithinTheLibraryRange)
{
    struct DateCase {
        const char* pubDate;
        std::int64_t published;
    };
    const DateCase cases[] = {
        {"Wed, 12 Jun 2024 10:00:00 GMT", 1718186400},
        {"Wed, 01 Jan 3000 00:00:00 GMT", 32503680000},
        {"Wed, 01 Jan 3000 00:00:01 GMT", 0},
        {"Fri, 01 Jan 3100 00:00:00 GMT", 0},
        {"Thu, 01 Jan 1970 00:00:00 +0100", 0},
        {"bad date", 0},
        {"", 0},
    };
    for (const DateCase& c : cases) {
        const std::string feed =
            feedOf(item("Dated", "https://www.nasa.gov/dated", "<pubDate>" + std::string(c.pubDate) + "</pubDate>"));
        const std::vector<Story> stories = readRssFeed(feed, "NASA");
        ASSERT_EQ(stories.size(), 1u);
        EXPECT_EQ(stories[0].published, c.published) << c.pubDate;
    }
    const std::vector<Story> undated = readRssFeed(feedOf(item("Undated", "https://www.nasa.gov/u")), "NASA");
    ASSERT_EQ(undated.size(), 1u);
    EXPECT_EQ(undated[0].published, 0);
}

// ---------------------------------------------------------------------------------------------
// Limits and cuts

TEST(RssReader, StopsAtTheEightiethStory)
{
    std::string items;
    for (int i = 1; i <= 100; ++i)
        items += item(numbered("Story ", i), numbered("https://www.nasa.gov/s", i));
    const std::vector<Story> stories = readRssFeed(feedOf(items), "NASA");
    ASSERT_EQ(stories.size(), 80u);
    EXPECT_EQ(stories.front().title, "Story 1");
    EXPECT_EQ(stories.back().title, "Story 80");
}

TEST(RssReader, NeverReadsPastTheEightiethStory)
{
    std::string items;
    for (int i = 1; i <= 80; ++i)
        items += item(numbered("Story ", i), numbered("https://www.nasa.gov/s", i));
    const std::string body = "<rss><channel>" + items + "<broken></rss>";
    EXPECT_EQ(readRssFeed(body, "NASA").size(), 80u);
}

TEST(RssReader, CutsTitleAt240AndBodyAt5000CodeUnits)
{
    const std::string feed = feedOf(item(std::string(300, 't'), "https://www.nasa.gov/long",
                                         "<description>" + std::string(6000, 'b') + "</description>"));
    const std::vector<Story> stories = readRssFeed(feed, "NASA");
    ASSERT_EQ(stories.size(), 1u);
    EXPECT_EQ(stories[0].title, std::string(240, 't'));
    EXPECT_EQ(stories[0].body, std::string(5000, 'b'));
}

TEST(RssReader, CutsBeforeAnEmojiThatStraddlesTheLimit)
{
    const std::string emoji = "\xF0\x9F\x98\x80";  // U+1F600, two UTF-16 code units
    const std::string feed = feedOf(item(std::string(239, 't') + emoji + "tail", "https://www.nasa.gov/emoji",
                                         "<description>" + std::string(4999, 'b') + emoji + "</description>")
                                    + item(std::string(238, 't') + emoji + "tail", "https://www.nasa.gov/fits"));
    const std::vector<Story> stories = readRssFeed(feed, "NASA");
    ASSERT_EQ(stories.size(), 2u);
    EXPECT_EQ(stories[0].title, std::string(239, 't'));
    EXPECT_EQ(stories[0].body, std::string(4999, 'b'));
    EXPECT_EQ(stories[1].title, std::string(238, 't') + emoji);
}

TEST(RssReader, RefusesLoneSurrogatesFromReferences)
{
    const std::string loneInTitle = feedOf(item("<![CDATA[Half &#55357; pair]]>", "https://www.nasa.gov/t"));
    const std::string loneInBody =
        feedOf(item("Fine", "https://www.nasa.gov/b", "<description>&amp;#56832;</description>"));
    const std::string loneInLink = feedOf(item("Fine", "<![CDATA[https://www.nasa.gov/&#55357;]]>"));
    EXPECT_EQ(failureOf(loneInTitle), "Invalid UTF-16");
    EXPECT_EQ(failureOf(loneInBody), "Invalid UTF-16");
    EXPECT_EQ(failureOf(loneInLink), "Invalid UTF-16");
}

TEST(RssReader, BodySizeLimitIsExactly4MiB)
{
    const std::string atLimit = paddedFeed(4194304);
    ASSERT_EQ(atLimit.size(), 4194304u);
    const std::vector<Story> stories = readRssFeed(atLimit, "NASA");
    ASSERT_EQ(stories.size(), 1u);
    EXPECT_EQ(stories[0].title, "Padded");
    EXPECT_EQ(failureOf(atLimit + " "), "Feed too large");
}

// ---------------------------------------------------------------------------------------------
// Refused documents

TEST(RssReader, RefusesMalformedAndUnsupportedDocuments)
{
    const std::string good = feedOf(item("Good", "https://www.nasa.gov/good"));
    std::string allForeign;
    for (int i = 0; i < 5; ++i)
        allForeign += item(numbered("Foreign ", i), numbered("https://www.example.com/", i));

    const RefusalCase cases[] = {
        {"broken document", "<rss><broken>", "Invalid feed"},
        {"empty body", "", "Invalid feed"},
        {"truncated input", good.substr(0, good.size() / 2), "Invalid feed"},
        {"mismatched end tag", feedOf(item("Good", "https://www.nasa.gov/good") + "</item>"), "Invalid feed"},
        {"error after accepted items", feedOf(item("Good", "https://www.nasa.gov/good") + "<item><title>x</titel>"),
         "Invalid feed"},
        {"nesting 65 deep", nestedFeed(65), "Invalid feed"},
        {"truncated inside a start tag", good.substr(0, good.find("<item>") + 3), "Invalid feed"},
        {"truncated inside text", good.substr(0, good.find("Good") + 2), "Invalid feed"},
        {"items without titles", feedOf("<item><link>https://www.nasa.gov/a</link></item>"
                                        "<item><title></title><link>https://www.nasa.gov/b</link></item>"),
         "No supported stories"},
        {"items with foreign links", feedOf(allForeign), "No supported stories"},
        {"channel without items", feedOf(""), "No supported stories"},
        {"all items in a refused script", feedOf(item("&#1040;&#1041;", "https://www.nasa.gov/c")),
         "No supported stories"},
        {"body one byte over 4 MiB", std::string(4194305, ' '), "Feed too large"},
    };
    for (const RefusalCase& c : cases)
        EXPECT_EQ(failureOf(c.body), c.reason) << c.name;
    EXPECT_EQ(std::string_view("<rss><broken>").size(), 13u);
}

TEST(RssReader, RefusesDocumentsOnlyStrictParsersReject)
{
    if (runningUnderWine())
        GTEST_SKIP() << "Wine's XmlLite reads text outside the root, undeclared entities and a document "
                        "ending after a complete item but inside the root without an error";
    const RefusalCase cases[] = {
        {"not XML", "This is not a feed.", "Invalid feed"},
        {"undeclared entity", feedOf(item("&undefined;", "https://www.nasa.gov/good")), "Invalid feed"},
        {"root never closed", "<rss><channel>" + item("Good", "https://www.nasa.gov/good"), "Invalid feed"},
    };
    for (const RefusalCase& c : cases)
        EXPECT_EQ(failureOf(c.body), c.reason) << c.name;
}

TEST(RssReader, ReadsDeeplyNestedDocumentWithinTheLimit)
{
    EXPECT_EQ(readRssFeed(nestedFeed(63), "NASA").size(), 1u);
}

TEST(RssReader, AllowsSixtyFourLevelsOfNesting)
{
    if (runningUnderWine())
        GTEST_SKIP() << "Wine's XmlLite already refuses 64 levels with MaxElementDepth 64";
    EXPECT_EQ(readRssFeed(nestedFeed(64), "NASA").size(), 1u);
}

TEST(RssReader, RefusesEntityExpansionBomb)
{
    const std::string bomb =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE rss [\n"
        " <!ENTITY lol \"lol\">\n"
        " <!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">\n"
        " <!ENTITY lol2 \"&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;\">\n"
        " <!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">\n"
        " <!ENTITY lol4 \"&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;\">\n"
        " <!ENTITY lol5 \"&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;\">\n"
        " <!ENTITY lol6 \"&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;\">\n"
        " <!ENTITY lol7 \"&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;\">\n"
        " <!ENTITY lol8 \"&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;\">\n"
        " <!ENTITY lol9 \"&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;\">\n"
        "]>\n<rss><channel>" + item("&lol9;", "https://www.nasa.gov/lol") + "</channel></rss>";
    EXPECT_EQ(failureOf(bomb), "Invalid feed");
}

TEST(RssReader, NeverOpensAFileNamedByAnExternalEntity)
{
    wchar_t folder[MAX_PATH + 1] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH + 1, folder), 0u);
    const std::wstring path = std::wstring(folder) + L"kestrune-entity-" + std::to_wstring(GetCurrentProcessId())
        + L".txt";
    // Held with share mode 0 for the whole read: any attempt to open it would fail, and so could
    // never deliver its text.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const char secret[] = "Leaked local text";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, secret, sizeof secret - 1, &written, nullptr));

    std::string url = "file:///" + utf16ToUtf8(path);
    for (char& c : url)
        if (c == '\\')
            c = '/';
    const std::string feed = "<?xml version=\"1.0\"?>\n<!DOCTYPE rss [ <!ENTITY secret SYSTEM \"" + url
        + "\"> ]>\n<rss><channel>" + item("&secret;", "https://www.nasa.gov/secret") + "</channel></rss>";
    EXPECT_EQ(failureOf(feed), "Invalid feed");
    CloseHandle(file);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}
