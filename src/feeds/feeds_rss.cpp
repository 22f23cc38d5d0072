// The RSS reader: one feed body in, at most 80 cleaned and policy-checked stories out, read with the
// platform's XML pull reader hardened against document type declarations and deep nesting.
#include "feeds/feeds.h"
#include "feeds/feeds_internal.h"

#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>
#include <xmllite.h>

#include <string>
#include <vector>

namespace {

enum class Field { Other, Title, Description, Link, PubDate };

Field fieldNamed(std::wstring_view localName)
{
    if (localName == L"title")
        return Field::Title;
    if (localName == L"description")
        return Field::Description;
    if (localName == L"link")
        return Field::Link;
    if (localName == L"pubDate")
        return Field::PubDate;
    return Field::Other;
}

struct ItemText {
    std::wstring title;
    std::wstring description;
    std::wstring link;
    std::wstring pubDate;

    void clear()
    {
        title.clear();
        description.clear();
        link.clear();
        pubDate.clear();
    }

    std::wstring* accumulatorFor(Field field)
    {
        switch (field) {
        case Field::Title:       return &title;
        case Field::Description: return &description;
        case Field::Link:        return &link;
        case Field::PubDate:     return &pubDate;
        case Field::Other:       break;
        }
        return nullptr;
    }
};

std::wstring_view localNameOf(IXmlReader& reader)
{
    const wchar_t* name = nullptr;
    UINT length = 0;
    if (FAILED(reader.GetLocalName(&name, &length)) || name == nullptr)
        return {};
    return {name, length};
}

std::wstring_view valueOf(IXmlReader& reader)
{
    const wchar_t* value = nullptr;
    UINT length = 0;
    if (FAILED(reader.GetValue(&value, &length)) || value == nullptr)
        return {};
    return {value, length};
}

// False for a body that cannot hold a feed: a NUL byte outside UTF-16 text, or no element start tag
// after the XML declaration. Windows' reader refuses such bodies as malformed anyway; Wine's stops
// at the first NUL byte and aborts the whole process when what it sees ends within or right after
// the declaration (a body of just "<?xml version="1.0"?>", as a truncated response may be).
bool mayHoldDocument(std::string_view body)
{
    using namespace std::string_view_literals;
    if (body.starts_with("\xFF\xFE"sv) || body.starts_with("\xFE\xFF"sv) || body.starts_with("<\0"sv)
        || body.starts_with("\0<"sv))
        return true;  // UTF-16, where NUL bytes are part of the text
    if (body.find('\0') != std::string_view::npos)
        return false;
    if (body.starts_with("\xEF\xBB\xBF"sv))
        body.remove_prefix(3);
    std::size_t from = 0;
    if (body.starts_with("<?xml")) {
        from = body.find("?>");
        if (from == std::string_view::npos)
            return false;
    }
    for (std::size_t at = body.find('<', from); at != std::string_view::npos && at + 1 < body.size();
         at = body.find('<', at + 1)) {
        const unsigned char next = static_cast<unsigned char>(body[at + 1]);
        if ((next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z') || next == '_' || next == ':' || next >= 0x80)
            return true;
    }
    return false;
}

// A stored date must lie within the library's range; anything outside it is an unknown date.
std::int64_t storableDate(std::int64_t seconds)
{
    return seconds < 0 || seconds > PUBLISHED_MAX ? 0 : seconds;
}

// Appends the finished item as a story when it passes the source, title and text policies. The
// source is checked first: an item from elsewhere is dropped before its text is cleaned.
void finishItem(const ItemText& item, std::string_view sourceLabel, std::vector<Story>& stories)
{
    const std::wstring link = cleanFeedText(item.link);
    if (!isSupportedWideText(link))
        return;
    std::string url = utf16ToUtf8(link);
    if (!isAllowedSourceUrl(url))
        return;
    const std::wstring title = cleanFeedText(item.title);
    const std::wstring description = cleanFeedText(item.description);
    if (title.empty() || !isSupportedWideText(title) || !isSupportedWideText(description))
        return;

    Story story;
    story.title = utf16ToUtf8(cutCodeUnits(title, FEED_TITLE_UNITS));
    story.body = utf16ToUtf8(cutCodeUnits(description, FEED_BODY_UNITS));
    story.id = storyIdFromUrl(url);
    story.url = std::move(url);
    story.source = std::string(sourceLabel);
    story.published = storableDate(parseFeedDate(item.pubDate));
    stories.push_back(std::move(story));
}

}  // namespace

std::vector<Story> readRssFeed(std::string_view body, std::string_view sourceLabel)
{
    if (body.size() > FEED_BODY_LIMIT)
        fail("Feed too large");
    if (!mayHoldDocument(body))
        fail("Invalid feed");

    // The stream holds its own copy of the body.
    ComPtr<IStream> stream = ComPtr<IStream>::adopt(
        SHCreateMemStream(reinterpret_cast<const BYTE*>(body.data()), static_cast<UINT>(body.size())));
    if (!stream)
        fail("Memory unavailable");

    ComPtr<IXmlReader> reader;
    if (FAILED(CreateXmlReader(__uuidof(IXmlReader), reader.putVoid(), nullptr)) || !reader)
        fail("XML unavailable");

    // A prohibited DTD means no entity, internal or external, is ever expanded or fetched.
    reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
    reader->SetProperty(XmlReaderProperty_MaxElementDepth, 64);
    reader->SetProperty(XmlReaderProperty_MaxEntityExpansion, 0);
    if (FAILED(reader->SetInput(stream.get())))
        fail("Invalid feed");

    std::vector<Story> stories;
    ItemText item;
    bool inItem = false;
    Field field = Field::Other;
    HRESULT result = S_OK;
    XmlNodeType nodeType = XmlNodeType_None;
    std::size_t nodes = 0;
    while ((result = reader->Read(&nodeType)) == S_OK) {
        // Every node takes at least one byte of input. Some XmlLite builds (Wine's) answer a document
        // that ends inside an element by repeating its last node forever; this turns that into the
        // parse error it is instead of a feed worker that never finishes.
        if (++nodes > body.size()) {
            result = E_UNEXPECTED;
            break;
        }
        switch (nodeType) {
        case XmlNodeType_Element: {
            const std::wstring_view name = localNameOf(*reader);
            if (name == L"item") {
                // A nested item start tag starts the item afresh.
                inItem = true;
                item.clear();
                field = Field::Other;
            } else if (inItem) {
                // Self-closing tags get no end tag, so the name they set stays until the next tag.
                field = fieldNamed(name);
            }
            break;
        }
        case XmlNodeType_Text:
        case XmlNodeType_CDATA:
        case XmlNodeType_Whitespace:
            if (inItem)
                if (std::wstring* accumulator = item.accumulatorFor(field))
                    accumulator->append(valueOf(*reader));
            break;
        case XmlNodeType_EndElement:
            if (inItem && localNameOf(*reader) == L"item") {
                inItem = false;
                finishItem(item, sourceLabel, stories);
            }
            // Markup nested inside a field moves the field away: its text and what follows is dropped.
            field = Field::Other;
            break;
        default:
            break;
        }
        if (stories.size() >= FEED_STORY_LIMIT)
            break;  // the rest of the document is never read
    }

    if (FAILED(result))
        fail("Invalid feed");
    if (stories.empty())
        fail("No supported stories");
    return stories;
}
