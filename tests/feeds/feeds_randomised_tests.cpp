// Randomised feeds: the two real-shaped channels mutated element by element and byte by byte, read with
// the invariants every outcome must keep. Replay with KESTRUNE_FUZZ_SEED (and KESTRUNE_FUZZ_CASES).
#include "feeds/feeds.h"
#include "fixtures/rss_fixtures.h"

#include "../randomised_support.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {


// The one line a crash or a hang would otherwise never print: which case of which seed to replay.
std::atomic<std::uint64_t> runningSeed{0};
std::atomic<std::size_t> runningCase{0};
std::atomic<std::size_t> readsStarted{0};

LONG WINAPI reportCrash(EXCEPTION_POINTERS* exception)
{
    std::printf("randomised rss: case %zu of seed %llu crashed with 0x%08lX\n", runningCase.load(),
                static_cast<unsigned long long>(runningSeed.load()),
                static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode));
    std::fflush(stdout);
    return EXCEPTION_CONTINUE_SEARCH;
}

// ---------------------------------------------------------------------------------------------
// Documents as tokens: text, tags, and the declarations, comments and CDATA sections in between

enum class TokenKind { Text, StartTag, EndTag, EmptyTag, Other };

struct Token {
    TokenKind kind;
    std::string text;
    std::string name;  // qualified name of a tag
};

std::vector<Token> tokenised(std::string_view document)
{
    std::vector<Token> tokens;
    std::size_t at = 0;
    while (at < document.size()) {
        const std::string_view rest = document.substr(at);
        if (rest[0] != '<') {
            const std::size_t length = std::min(rest.find('<'), rest.size());
            tokens.push_back({TokenKind::Text, std::string(rest.substr(0, length)), {}});
            at += length;
            continue;
        }
        const auto through = [&](std::string_view closer) {
            const std::size_t found = rest.find(closer, 1);
            return found == std::string_view::npos ? rest.size() : found + closer.size();
        };
        const std::size_t length = rest.starts_with("<![CDATA[") ? through("]]>")
                                 : rest.starts_with("<!--")      ? through("-->")
                                                                 : through(">");
        Token token{TokenKind::Other, std::string(rest.substr(0, length)), {}};
        if (!rest.starts_with("<!") && !rest.starts_with("<?") && length > 2) {
            const bool closing = rest[1] == '/';
            const std::string_view inner = rest.substr(closing ? 2 : 1, length - (closing ? 3 : 2));
            token.name = std::string(inner.substr(0, inner.find_first_of(" \t\r\n/")));
            token.kind = closing ? TokenKind::EndTag : token.text.ends_with("/>") ? TokenKind::EmptyTag
                                                                                   : TokenKind::StartTag;
        }
        tokens.push_back(std::move(token));
        at += length;
    }
    return tokens;
}

std::size_t documentSize(const std::vector<Token>& tokens)
{
    std::size_t size = 0;
    for (const Token& token : tokens)
        size += token.text.size();
    return size;
}

std::string serialised(const std::vector<Token>& tokens)
{
    std::string document;
    document.reserve(documentSize(tokens));
    for (const Token& token : tokens)
        document += token.text;
    return document;
}

std::string_view localName(std::string_view name)
{
    const std::size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// The end tag that closes the start tag at `start`, or npos (also for a `start` of npos).
std::size_t matchingEnd(const std::vector<Token>& tokens, std::size_t start)
{
    if (start == std::string_view::npos)
        return start;
    int depth = 0;
    for (std::size_t i = start; i < tokens.size(); ++i) {
        if (tokens[i].kind == TokenKind::StartTag)
            ++depth;
        else if (tokens[i].kind == TokenKind::EndTag && --depth == 0)
            return tokens[i].name == tokens[start].name ? i : std::string_view::npos;
    }
    return std::string_view::npos;
}

constexpr std::string_view FIELD_NAMES[] = {"title", "link", "description", "pubDate"};

// A start tag, most often one of an item's four fields or the item itself.
std::size_t pickStart(Random& random, const std::vector<Token>& tokens, std::string_view onlyName = {})
{
    std::vector<std::size_t> starts;
    const bool favourFields = onlyName.empty() && random.percent(70);
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind != TokenKind::StartTag)
            continue;
        const std::string_view name = localName(tokens[i].name);
        const bool field = name == "item" || std::find(std::begin(FIELD_NAMES), std::end(FIELD_NAMES), name)
                                                 != std::end(FIELD_NAMES);
        if ((!onlyName.empty() && name == onlyName) || (onlyName.empty() && (!favourFields || field)))
            starts.push_back(i);
    }
    return starts.empty() ? std::string_view::npos : starts[random.below(starts.size())];
}

// ---------------------------------------------------------------------------------------------
// What real feeds put into their fields, and what hostile ones do

constexpr const char* TEXTS[] = {
    "Science &amp; discovery",
    "&lt;p&gt;Escaped &lt;b&gt;HTML&lt;/b&gt; paragraph&lt;/p&gt;",
    "<![CDATA[<p>A <b>new</b> result &amp; context.</p>]]>",
    "<![CDATA[<p>Broken <b>markup <i>nested</p></b> <a href=\"https://www.nasa.gov/]]>",
    "<![CDATA[<script>alert(1)</script><!-- comment --> <img src=x onerror=y>]]>",
    "&amp;amp;lt;double&amp;#8217;s&amp;#038;",
    "&#1040;&#1041; Cyrillic",
    "&amp;#1040; escaped Cyrillic",
    "&amp;#55357; escaped half pair",
    "<![CDATA[&#56832; half pair]]>",
    "&#x1F600; emoji reference",
    "\xF0\x9F\x98\x80 raw emoji \xF0\x9F\x9A\x80",
    "caf\xC3\xA9 \xE6\xBC\xA2\xE5\xAD\x97 \xD8\xB9\xD8\xB1\xD8\xA8\xD9\x8A",
    "&#8212;&#8211;&#8220;quoted&#8221;&#8216;&#8217;",
    "&amp;#8212; &amp;nbsp; &amp;quot;",
    "&amp;#65535; &amp;#0; &amp;#x; &amp;#99999999999;",
    "before <b>real markup</b> after",
    "line<br/>break",
    "  \t\r\n  spaced  \n out  ",
    "",
    "&#38;#65; &#60;b&#62;",
    "&undefined; entity",
    "&nbsp; HTML entity",
    "&#0; null reference",
    "&#xD800; surrogate reference",
    "]]> stray end",
    "a < b",
    "&",
    "<![CDATA[]]>",
    "<![CDATA[nested <![CDATA[x]]> y]]>",
    "<!-- comment --> visible",
    "<?pi data?>text",
    "\x01\x02 control \x7F",
    "\xED\xA0\xBD encoded surrogate",
    "\xC0\xAE over-long",
    "\xEF\xBB\xBF inner byte order mark",
};

constexpr const char* LINKS[] = {
    "https://www.nasa.gov/news-release/randomised/",
    "https://science.nasa.gov/a?b=1&amp;c=2",
    "https://www.noaa.gov/news/story",
    "https://oceanexplorer.noaa.gov/z.html",
    "https://WWW.NASA.GOV/caps",
    "  \n https://www.nasa.gov/spaced  \t",
    "<![CDATA[https://www.noaa.gov/cdata]]>",
    "https://www.nasa.gov/<![CDATA[split]]>",
    "http://www.nasa.gov/",
    "HTTPS://www.nasa.gov/",
    "https://www.example.com/",
    "https://nasa.gov@example.com/",
    "https://example.com#.nasa.gov",
    "https://www.nasa.gov:444/",
    "https://%3E.nasa.gov/",
    "https://www.nasa.gov\\@example.com/",
    "/relative/link",
    "",
    "https://www.nasa.gov/&amp;#55357;",
    "https://www.nasa.gov/&#1040;",
    "https://www.nasa.gov/&lt;b&gt;x",
    "https://www.nasa.gov/&amp;amp;",
    "https://\xEF\xBC\xA0.nasa.gov/",
    "javascript:alert(1)//https://www.nasa.gov/",
    "file:///c:/windows/win.ini",
};

constexpr const char* DATES[] = {
    "Wed, 12 Jun 2024 10:00:00 GMT",
    "Wed, 12 Jun 2024 12:00:00 +0200",
    "Tue, 11 Jun 2024 09:15 EDT",
    "12 Jun 2024 10:00 PST",
    "Wednesday, 12-Jun-24 10:00:00 GMT",
    "Wed Jun 12 10:00:00 2024",
    "Wed, 01 Jan 3000 00:00:01 GMT",
    "Thu, 01 Jan 1970 00:00:00 +0100",
    "Sat, 31 Feb 2024 10:00:00 GMT",
    "Wed, 12 Jun 2024 10:00:00 +2400",
    "Wed, 12 Jun 9999 23:59:59 -2359",
    "Mon, 1 Jan 0000 00:00:00 GMT",
    "bad date",
    "",
    "2024-06-12T10:00:00Z",
    "Wed, 12 Jun 2024 10:00:00 -0400 (EDT",
};

constexpr const char* DOCTYPES[] = {
    "<!DOCTYPE rss>",
    "<!DOCTYPE rss [ <!ENTITY e \"entity text\"> ]>",
    "<!DOCTYPE rss [ <!ENTITY e SYSTEM \"file:///c:/windows/win.ini\"> ]>",
    "<!DOCTYPE rss [ <!ENTITY % p \"<!ENTITY e 'x'>\"> %p; ]>",
    "<!DOCTYPE rss [ <!ENTITY a \"&b;&b;&b;&b;\"> <!ENTITY b \"&c;&c;&c;&c;\"> <!ENTITY c \"ccccccccc\"> ]>",
    "<!DOCTYPE rss PUBLIC \"-//Netscape Communications//DTD RSS 0.91//EN\" "
    "\"http://my.netscape.com/publish/formats/rss-0.91.dtd\">",
};

constexpr const char* MARKUP[] = {
    "<b>bold</b>", "<br/>", "<p>", "</p>", "<!-- c -->", "<?pi x?>", "<![CDATA[<i>x</i>]]>", "<a href=\"x\">",
    "<item>", "</item>", "<title>", "<link>https://www.nasa.gov/inner</link>", "<x:title>", "&amp;",
};

constexpr const char* ENCODINGS[] = {"UTF-8", "utf-8", "UTF-16", "ISO-8859-1", "windows-1252", "x-bogus", ""};

// At least `bytes` bytes of words, emoji and references (about a third as many code units once read
// and cleaned), so that the 240 and 5000 cuts meet surrogate pairs at random places.
std::string longText(Random& random, std::size_t bytes)
{
    static const char* const PIECES[] = {"word ", "\xF0\x9F\x98\x80", "&#x1F680;", "\xE6\xBC\xA2", "&amp;",
                                         "&amp;#8212;", " ", "x", "\xC3\xA9", "&lt;b&gt;"};
    std::string text;
    while (text.size() < bytes)
        text += random.pick(PIECES);
    return text;
}

std::string fieldContent(Random& random, std::string_view field)
{
    if (field == "link")
        return random.pick(LINKS);
    if (field == "pubDate")
        return random.pick(DATES);
    std::string text;
    for (std::size_t pieces = 1 + random.below(3); pieces > 0; --pieces)
        text += random.pick(TEXTS);
    return text;
}

// ---------------------------------------------------------------------------------------------
// Mutations on the token list

using Tokens = std::vector<Token>;

Tokens::iterator position(Tokens& tokens, std::size_t index)
{
    return tokens.begin() + static_cast<std::ptrdiff_t>(index);
}

void duplicateElement(Random& random, Tokens& tokens)
{
    const std::size_t start = pickStart(random, tokens);
    const std::size_t end = matchingEnd(tokens, start);
    if (end == std::string_view::npos)
        return;
    const Tokens copy(position(tokens, start), position(tokens, end + 1));
    const std::size_t at = random.percent(70) ? end + 1 : random.below(tokens.size() + 1);
    tokens.insert(position(tokens, at), copy.begin(), copy.end());
}

void dropElement(Random& random, Tokens& tokens)
{
    const std::size_t start = pickStart(random, tokens);
    const std::size_t end = matchingEnd(tokens, start);
    if (end != std::string_view::npos)
        tokens.erase(position(tokens, start), position(tokens, end + 1));
}

void dropTag(Random& random, Tokens& tokens)
{
    const std::size_t at = random.below(tokens.size());
    if (at < tokens.size() && tokens[at].kind != TokenKind::Text)
        tokens.erase(position(tokens, at));
}

// Replaces (or extends) the content of one field with text of the kind that field holds.
void rewriteField(Random& random, Tokens& tokens)
{
    const std::size_t start = pickStart(random, tokens, FIELD_NAMES[random.below(std::size(FIELD_NAMES))]);
    const std::size_t end = matchingEnd(tokens, start);
    if (end == std::string_view::npos)
        return;
    Token content{TokenKind::Text, fieldContent(random, localName(tokens[start].name)), {}};
    if (random.percent(75))
        tokens.erase(position(tokens, start + 1), position(tokens, end));
    tokens.insert(position(tokens, start + 1), std::move(content));
}

void lengthenField(Random& random, Tokens& tokens)
{
    const bool title = random.percent(50);
    const std::size_t start = pickStart(random, tokens, title ? "title" : "description");
    const std::size_t end = matchingEnd(tokens, start);
    if (end == std::string_view::npos)
        return;
    tokens.erase(position(tokens, start + 1), position(tokens, end));
    const std::size_t bytes = title ? 600 + random.below(1400) : 12000 + random.below(12000);
    tokens.insert(position(tokens, start + 1), Token{TokenKind::Text, longText(random, bytes), {}});
}

void wrapTextInCdata(Random& random, Tokens& tokens)
{
    const std::size_t at = random.below(tokens.size());
    if (at < tokens.size() && tokens[at].kind == TokenKind::Text)
        tokens[at].text = "<![CDATA[" + tokens[at].text + "]]>";
}

void insertDoctype(Random& random, Tokens& tokens)
{
    const std::size_t at = !tokens.empty() && tokens[0].text.starts_with("<?xml") ? 1 : 0;
    tokens.insert(position(tokens, at), Token{TokenKind::Other, random.pick(DOCTYPES), {}});
    if (const std::size_t title = pickStart(random, tokens, "title"); title != std::string_view::npos)
        tokens.insert(position(tokens, title + 1), Token{TokenKind::Text, "&e;&a;", {}});
}

// Prefixes a field: declared on the element, declared nowhere, or only on its start tag.
void prefixField(Random& random, Tokens& tokens)
{
    const std::size_t start = pickStart(random, tokens);
    const std::size_t end = matchingEnd(tokens, start);
    if (end == std::string_view::npos)
        return;
    const std::string name(localName(tokens[start].name));
    const std::string attributes = tokens[start].text.substr(1 + tokens[start].name.size());
    static const char* const DECLARATIONS[] = {" xmlns:x=\"urn:randomised\"", "", " xmlns=\"urn:randomised\""};
    const std::string declaration = random.pick(DECLARATIONS);
    const std::string prefixed = declaration.starts_with(" xmlns=") ? name : "x:" + name;
    tokens[start].text = "<" + prefixed + declaration + attributes;
    tokens[start].name = prefixed;
    if (random.percent(85)) {
        tokens[end].text = "</" + prefixed + ">";
        tokens[end].name = prefixed;
    }
}

void renameTag(Random& random, Tokens& tokens)
{
    static const char* const NAMES[] = {"title", "link", "description", "pubDate", "item", "Title", "guid", "b"};
    const std::size_t start = pickStart(random, tokens);
    const std::size_t end = matchingEnd(tokens, start);
    if (end == std::string_view::npos)
        return;
    const std::string name = random.pick(NAMES);
    tokens[start].text = "<" + name + tokens[start].text.substr(1 + tokens[start].name.size());
    tokens[start].name = name;
    if (random.percent(80)) {
        tokens[end].text = "</" + name + ">";
        tokens[end].name = name;
    }
}

void nestItem(Random& random, Tokens& tokens)
{
    const std::size_t outer = pickStart(random, tokens, "item");
    const std::size_t inner = pickStart(random, tokens, "item");
    const std::size_t innerEnd = matchingEnd(tokens, inner);
    if (outer == std::string_view::npos || innerEnd == std::string_view::npos)
        return;
    const Tokens copy(position(tokens, inner), position(tokens, innerEnd + 1));
    const std::size_t at = std::min(outer + 1 + random.below(4), tokens.size());
    tokens.insert(position(tokens, at), copy.begin(), copy.end());
}

// Enough copies of one item, each with its own official link, to reach the 80-story limit.
void repeatItem(Random& random, Tokens& tokens)
{
    const std::size_t start = pickStart(random, tokens, "item");
    const std::size_t end = matchingEnd(tokens, start);
    if (end == std::string_view::npos)
        return;
    std::string rest;
    for (std::size_t i = start + 1; i <= end; ++i)
        rest += tokens[i].text;
    const std::size_t count = 60 + random.below(70);
    std::string copies;
    copies.reserve(count * (rest.size() + 80));
    for (std::size_t n = 0; n < count; ++n) {
        const std::string number = std::to_string(n);
        copies += "<item><title>Copy " + number + "</title><link>https://www.nasa.gov/copy/" + number + "</link>";
        copies += rest;
    }
    tokens.insert(position(tokens, end + 1), Token{TokenKind::Text, std::move(copies), {}});
}

void insertMarkup(Random& random, Tokens& tokens)
{
    const std::size_t start = pickStart(random, tokens, FIELD_NAMES[random.below(std::size(FIELD_NAMES))]);
    if (start != std::string_view::npos)
        tokens.insert(position(tokens, start + 1 + random.below(2)),
                      Token{TokenKind::Text, random.pick(MARKUP), {}});
}

void changeDeclaration(Random& random, Tokens& tokens)
{
    if (tokens.empty() || !tokens[0].text.starts_with("<?xml"))
        return;
    if (random.percent(30)) {
        tokens.erase(tokens.begin());
        return;
    }
    const std::string encoding = random.pick(ENCODINGS);
    tokens[0].text =
        encoding.empty() ? "<?xml version=\"1.0\"?>" : "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>";
}

using Mutation = void (*)(Random&, Tokens&);
constexpr Mutation MUTATIONS[] = {
    duplicateElement, dropElement, dropTag,   rewriteField, rewriteField, rewriteField, lengthenField,
    wrapTextInCdata,  insertDoctype, prefixField, renameTag, nestItem, repeatItem, insertMarkup,
    changeDeclaration,
};

// ---------------------------------------------------------------------------------------------
// Byte-level damage after the structure is written out

std::string utf16LittleEndian(std::string_view utf8)
{
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), units);
    std::string bytes = "\xFF\xFE";
    for (const wchar_t unit : wide) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

void damageBytes(Random& random, std::string& body)
{
    static const char BYTES[] = {'<', '>', '&', ';', ']', '"', '\0', '\x80', '\xFF', '\xC3', '\xED', '\n', 'x'};
    for (std::size_t edits = 1 + random.below(4); edits > 0 && !body.empty(); --edits) {
        const std::size_t at = random.below(body.size());
        switch (random.below(4)) {
        case 0:
            body[at] = static_cast<char>(body[at] ^ (1 << random.below(8)));
            break;
        case 1:
            body[at] = random.pick(BYTES);
            break;
        case 2:
            body.erase(at, 1 + random.below(8));
            break;
        default:
            body.insert(body.begin() + static_cast<std::ptrdiff_t>(at), random.pick(BYTES));
            break;
        }
    }
}

// Wine's XmlLite misreads UTF-16 documents past their first few kilobytes, and writes past its own
// buffers on some of them; Windows reads them. Under Wine the UTF-16 form is left out.
bool runningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string randomFeed(Random& random)
{
    static const Tokens blogStyle = tokenised(BLOG_STYLE_FEED), cmsStyle = tokenised(CMS_STYLE_FEED);
    Tokens tokens = random.percent(50) ? blogStyle : cmsStyle;
    // Copies of copies grow without bound; past a few hundred kilobytes a feed shows nothing new.
    for (std::size_t mutations = random.below(5); mutations > 0 && documentSize(tokens) < 300000; --mutations)
        random.pick(MUTATIONS)(random, tokens);
    if (random.percent(15))  // cut at an element boundary
        tokens.resize(random.below(tokens.size() + 1));
    std::string body = serialised(tokens);
    if (random.percent(5))
        body = "\xEF\xBB\xBF" + body;
    else if (random.percent(3) && !runningUnderWine())
        body = utf16LittleEndian(body);
    if (random.percent(20))
        damageBytes(random, body);
    return body;
}

// ---------------------------------------------------------------------------------------------
// Invariants

bool holdsLoneSurrogate(std::wstring_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
        const bool low = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
        if (low || (high && (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)))
            return true;
        if (high)
            ++i;
    }
    return false;
}

// Cleaned text never holds control characters or two spaces in a row.
bool isCleanText(std::wstring_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] < 0x20 || (text[i] == L' ' && i > 0 && text[i - 1] == L' '))
            return false;
    return true;
}

std::string problemWithText(const std::string& text, std::size_t limit, const char* field)
{
    std::wstring wide;
    try {
        wide = utf8ToUtf16(text);
    } catch (const Failure&) {
        return std::string(field) + ": not UTF-8";
    }
    if (wide.size() > limit)
        return std::string(field) + ": " + std::to_string(wide.size()) + " code units";
    if (holdsLoneSurrogate(wide))
        return std::string(field) + ": lone surrogate";
    if (!isSupportedWideText(wide))
        return std::string(field) + ": refused character";
    if (!isCleanText(wide))
        return std::string(field) + ": not cleaned";
    return {};
}

// Empty when reading the body kept every promise; otherwise which promise it broke, first word a
// kind for the reduction to hold on to.
std::string problemWith(const std::string& body)
{
    std::vector<Story> stories;
    ++readsStarted;
    try {
        stories = readRssFeed(body, "NASA");
    } catch (const Failure& failure) {
        const std::string_view reason = failure.reason();
        if (reason == "Invalid feed" || reason == "No supported stories" || reason == "Invalid UTF-16"
            || (reason == "Feed too large" && body.size() > FEED_BODY_LIMIT))
            return {};
        return "reason: " + std::string(reason);
    } catch (const std::exception& exception) {
        return std::string("exception: ") + exception.what();
    } catch (...) {
        return "exception: not a failure";
    }
    if (stories.empty() || stories.size() > FEED_STORY_LIMIT)
        return "count: " + std::to_string(stories.size());
    for (const Story& story : stories) {
        if (story.title.empty())
            return "title: empty";
        if (std::string problem = problemWithText(story.title, FEED_TITLE_UNITS, "title"); !problem.empty())
            return problem;
        if (std::string problem = problemWithText(story.body, FEED_BODY_UNITS, "body"); !problem.empty())
            return problem;
        if (!story.url.starts_with("https://") || !isAllowedSourceUrl(story.url))
            return "url: " + escaped(story.url);
        if (story.id != storyIdFromUrl(story.url))
            return "id: " + story.id;
        if (story.published < 0 || story.published > PUBLISHED_MAX)
            return "published: " + std::to_string(story.published);
        if (story.source != "NASA" || !story.note.empty() || story.saved || story.asset != -1 || story.x != 0.0
            || story.y != 0.0)
            return "record: fields a feed never sets";
    }
    return {};
}

std::string kindOf(const std::string& problem) { return problem.substr(0, problem.find(':')); }

// The reader needs COM on the calling thread, as on the feed worker.
class ComApartment {
public:
    ComApartment() : result(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(result))
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT result;
};

}  // namespace

TEST(RandomisedRss, EveryMutatedFeedKeepsTheReadersPromises)
{
    const ComApartment apartment;
    const std::uint64_t seed = seedFromEnvironment();
    const std::size_t cases = casesFromEnvironment(20000);
    runningSeed = seed;
    const LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = SetUnhandledExceptionFilter(reportCrash);

    // A read that never returns would otherwise end only at the test time-out, with the seed unprinted.
    std::atomic<bool> finished{false};
    std::thread watchdog([&] {
        std::size_t lastRead = ~std::size_t{0};
        int stalledTicks = 0;
        while (!finished) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const std::size_t read = readsStarted.load();
            stalledTicks = read == lastRead ? stalledTicks + 1 : 0;
            lastRead = read;
            if (stalledTicks >= 300) {
                std::printf("randomised rss: case %zu of seed %llu never finished\n", runningCase.load(),
                            static_cast<unsigned long long>(seed));
                std::fflush(stdout);
                std::_Exit(3);
            }
        }
    });

    Random random{seed};
    std::size_t failures = 0;
    for (std::size_t i = 0; i < cases; ++i) {
        runningCase = i;
        const std::string body = randomFeed(random);
        const std::string problem = problemWith(body);
        if (problem.empty())
            continue;
        // Reductions cost thousands of reads each: the first few show what is wrong.
        if (++failures > 3)
            continue;
        const std::string kind = kindOf(problem);
        const std::string small = reduced(body, [&](const std::string& c) { return kindOf(problemWith(c)) == kind; });
        ADD_FAILURE() << problem << " (case " << i << " of seed " << seed << "), reduced to \""
                      << escaped(small.substr(0, 4000)) << "\"";
    }
    finished = true;
    watchdog.join();
    SetUnhandledExceptionFilter(previousFilter);
    reportRandomised("rss", static_cast<long long>(cases), static_cast<long long>(failures), seed);
}

// Inputs the randomised run reduced: bodies that end within or right after the XML declaration,
// as the reader sees them. Wine's reader aborted the process on each of them.
TEST(RandomisedRss, RefusesBodiesThatEndAtTheDeclaration)
{
    using namespace std::string_literals;
    const ComApartment apartment;
    const std::string cases[] = {
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
        "\xEF\xBB\xBF<?xml version=\"1.0\"?>",
        "<?xml",
        "<?x",
        "\xEF\xBB\xBF",
        "\xEF\xBB\xBF<",
        "<?xml version=\"1.0\"?>\0"s,
        "<?xml version=\"1.0\"?>\0<rss><channel><item><title>T</title><link>https://www.nasa.gov/</link></item>"
        "</channel></rss>"s,
        "<?xml version=\"1.0\" encoding=\"<r\"?>",
    };
    for (const std::string& body : cases) {
        std::string reason = "(no failure)";
        try {
            readRssFeed(body, "NASA");
        } catch (const Failure& failure) {
            reason = failure.reason();
        }
        EXPECT_EQ(reason, "Invalid feed") << escaped(body);
    }
}
