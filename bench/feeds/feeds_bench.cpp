// Times readRssFeed on a feed of about 4 MiB made of many ordinary items against a bare XmlLite loop
// (same reader properties, only Read and GetValue) over the same bytes; prints medians and ratios.
#include "feeds/feeds.h"
#include "feeds/feeds_internal.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlwapi.h>
#include <xmllite.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int RUNS = 7;

// One item as the agencies' feeds write them: escaped HTML, entities, a numeric offset. No CDATA:
// Wine's XmlLite misreads a CDATA section that meets the edge of its input buffer, which a 4 MiB
// document of CDATA items always hits somewhere.
std::string ordinaryItem(int n, bool official)
{
    const std::string number = std::to_string(n);
    const std::string link = (official ? "https://www.nasa.gov/news-release/story-" : "https://www.example.com/story-")
        + number + "/";
    return "\t<item>\n"
           "\t\t<title>Mission update " + number + ": spacecraft &amp; crew complete a &#8220;routine&#8221; burn</title>\n"
           "\t\t<link>" + link + "</link>\n"
           "\t\t<dc:creator>Newsroom</dc:creator>\n"
           "\t\t<pubDate>Wed, 12 Jun 2024 12:00:00 +0200</pubDate>\n"
           "\t\t<category>Missions</category>\n"
           "\t\t<guid isPermaLink=\"false\">" + link + "</guid>\n"
           "\t\t<description>&lt;p&gt;Engineers confirmed the burn lasted 42 seconds&amp;#8230; The team "
           "reviewed telemetry&amp;nbsp;&amp;#8211; all systems nominal &amp;#8212; and scheduled the next step.&lt;/p&gt;\n"
           "&lt;p&gt;The post &lt;a href=&quot;" + link + "&quot;&gt;Mission update " + number + "&lt;/a&gt; appeared "
           "first on &lt;a href=&quot;https://www.nasa.gov&quot;&gt;NASA&lt;/a&gt;.&lt;/p&gt;</description>\n"
           "\t\t<slash:comments>0</slash:comments>\n"
           "\t</item>\n";
}

// Items up to just under the body limit; only the last `officialTail` items are acceptable, so the
// reader has to read, clean and check every item before the end.
std::string buildFeed(int officialTail, bool allOfficial)
{
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss version=\"2.0\" "
                             "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
                             "xmlns:slash=\"http://purl.org/rss/1.0/modules/slash/\">\n<channel>\n"
                             "\t<title>Bench</title>\n\t<link>https://www.nasa.gov</link>\n";
    const std::string tail = "</channel>\n</rss>\n";
    std::vector<std::string> items;
    std::size_t size = head.size() + tail.size();
    for (int n = 0;; ++n) {
        std::string next = ordinaryItem(n, allOfficial);
        if (size + next.size() + 1024 > FEED_BODY_LIMIT)
            break;
        size += next.size();
        items.push_back(std::move(next));
    }
    for (int i = 0; i < officialTail && i < static_cast<int>(items.size()); ++i) {
        const int n = static_cast<int>(items.size()) - 1 - i;
        items[static_cast<std::size_t>(n)] = ordinaryItem(n, true);
    }
    std::string body = head;
    for (const std::string& item : items)
        body += item;
    body += tail;
    return body;
}

double seconds()
{
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency;
}

struct BareResult {
    std::size_t units = 0;
    HRESULT last = S_OK;
};

// The baseline: every node read and its value fetched, nothing else.
BareResult bareRead(const std::string& body)
{
    ComPtr<IStream> stream = ComPtr<IStream>::adopt(
        SHCreateMemStream(reinterpret_cast<const BYTE*>(body.data()), static_cast<UINT>(body.size())));
    ComPtr<IXmlReader> reader;
    if (!stream || FAILED(CreateXmlReader(__uuidof(IXmlReader), reader.putVoid(), nullptr)))
        return {0, E_FAIL};
    reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
    reader->SetProperty(XmlReaderProperty_MaxElementDepth, 64);
    reader->SetProperty(XmlReaderProperty_MaxEntityExpansion, 0);
    reader->SetInput(stream.get());
    BareResult result;
    XmlNodeType type;
    while ((result.last = reader->Read(&type)) == S_OK) {
        const wchar_t* value = nullptr;
        UINT length = 0;
        if (SUCCEEDED(reader->GetValue(&value, &length)))
            result.units += length;
    }
    return result;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The ratio reader / bare loop, or -1 when either failed.
double compare(const char* name, const std::string& body)
{
    std::vector<double> bare, reader;
    std::size_t stories = 0;
    BareResult baseline;
    for (int run = 0; run < RUNS; ++run) {
        double start = seconds();
        baseline = bareRead(body);
        bare.push_back(seconds() - start);
        if (baseline.last != S_FALSE) {
            std::printf("%s: the bare loop stopped with 0x%08lx before the end\n", name,
                        static_cast<unsigned long>(baseline.last));
            return -1;
        }
        start = seconds();
        try {
            stories = readRssFeed(body, "NASA").size();
        } catch (const Failure& failure) {
            std::printf("%s: reader failed: %s\n", name, failure.reason());
            return -1;
        }
        reader.push_back(seconds() - start);
    }
    const double bareMedian = median(bare), readerMedian = median(reader);
    std::printf("%s: %zu bytes, %zu stories, %zu value units\n", name, body.size(), stories, baseline.units);
    std::printf("  bare loop   median %8.2f ms\n", bareMedian * 1000);
    std::printf("  readRssFeed median %8.2f ms\n", readerMedian * 1000);
    std::printf("  ratio readRssFeed / bare loop = %.3f\n", readerMedian / bareMedian);
    return readerMedian / bareMedian;
}

}  // namespace

int main()
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    // The whole document read is the figure: the early stop reads less than the bare loop does.
    const double whole = compare("whole feed read (all but the last 40 items refused)", buildFeed(40, false));
    compare("stop at 80 stories (every item acceptable)", buildFeed(0, true));
    CoUninitialize();
    if (whole < 0)
        return 1;
    std::printf("RESULT feed.ratio %.2f\n", whole);
    return 0;
}
