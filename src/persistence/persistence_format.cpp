// The library file format: building the document from a library, and reading a file back into a
// complete library under every rule of the format, or refusing it whole.
#include "persistence/persistence_internal.h"

#include <windows.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <string_view>
#include <unordered_map>
#include <type_traits>

using nlohmann::json;

namespace {

constexpr std::string_view FORMAT_NAME = "Kestrune";

// Owns one Kernel file handle.
struct FileHandle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    explicit FileHandle(HANDLE h) : handle(h) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    bool valid() const { return handle != INVALID_HANDLE_VALUE; }
};

// Cuts towards zero and clamps to the type's range. Both ends are exact doubles (-2^k and 2^k), so
// every value strictly between them truncates to a representable integer.
template <typename Integer>
Integer clampDouble(double value)
{
    constexpr double low = static_cast<double>(std::numeric_limits<Integer>::min());
    constexpr double high = -low;
    if (std::isnan(value) || value <= low)  // no JSON text yields NaN; it would count as the lowest value
        return std::numeric_limits<Integer>::min();
    if (value >= high)
        return std::numeric_limits<Integer>::max();
    return static_cast<Integer>(value);
}

template <typename Integer>
Integer clampWide(std::int64_t value)
{
    if (value < std::numeric_limits<Integer>::min())
        return std::numeric_limits<Integer>::min();
    if (value > std::numeric_limits<Integer>::max())
        return std::numeric_limits<Integer>::max();
    return static_cast<Integer>(value);
}

const std::string& stringAt(const json& object, const char* key)
{
    return object.at(key).get_ref<const std::string&>();
}

// A checked text of the document: moved out of a document that is read only once, else copied.
template <typename Json>
std::string takeText(Json& object, const char* key, std::size_t maxBytes)
{
    auto& text = object.at(key).template get_ref<std::conditional_t<std::is_const_v<Json>, const std::string&, std::string&>>();
    requireSupportedText(text, maxBytes);
    if constexpr (std::is_const_v<Json>)
        return text;
    else
        return std::move(text);
}

template <typename Json>
Story readStory(Json& element)
{
    Story story;
    story.id = takeText(element, "id", ID_LIMIT);
    story.title = takeText(element, "title", TITLE_LIMIT);
    story.body = takeText(element, "body", BODY_LIMIT);
    story.url = takeText(element, "url", URL_LIMIT);
    story.source = takeText(element, "source", SOURCE_LIMIT);
    story.note = takeText(element, "note", NOTE_LIMIT);
    story.published = jsonToInt64(element.at("published"));
    story.saved = element.at("saved").template get<bool>();
    story.x = jsonToDouble(element.at("x"));
    story.y = jsonToDouble(element.at("y"));
    story.asset = jsonToInt32(element.at("asset"));
    return story;
}

bool withinBoard(double value)
{
    return std::isfinite(value) && std::fabs(value) <= BOARD_COORD_LIMIT;
}

bool isValidStory(const Story& story, const std::set<std::string>& earlierIds)
{
    return !story.id.empty() && !story.title.empty() && isAllowedSourceUrl(story.url)
        && story.id == storyIdFromUrl(story.url) && !earlierIds.contains(story.id) && withinBoard(story.x)
        && withinBoard(story.y) && story.asset >= -1 && story.asset <= 1
        && static_cast<std::uint64_t>(story.published) <= static_cast<std::uint64_t>(PUBLISHED_MAX);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Numbers

std::int64_t jsonToInt64(const json& value)
{
    switch (value.type()) {
    case json::value_t::number_integer:
        return *value.get_ptr<const json::number_integer_t*>();
    case json::value_t::number_unsigned: {
        const std::uint64_t number = *value.get_ptr<const json::number_unsigned_t*>();
        return number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                   ? std::numeric_limits<std::int64_t>::max()
                   : static_cast<std::int64_t>(number);
    }
    case json::value_t::number_float:
        return clampDouble<std::int64_t>(*value.get_ptr<const json::number_float_t*>());
    default:
        return value.get<std::int64_t>();  // raises the library's type error
    }
}

std::int32_t jsonToInt32(const json& value)
{
    switch (value.type()) {
    case json::value_t::number_float:
        return clampDouble<std::int32_t>(*value.get_ptr<const json::number_float_t*>());
    case json::value_t::boolean:
        return *value.get_ptr<const json::boolean_t*>() ? 1 : 0;
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
        return clampWide<std::int32_t>(jsonToInt64(value));
    default:
        return value.get<std::int32_t>();  // raises the library's type error
    }
}

double jsonToDouble(const json& value)
{
    return value.get<double>();  // integers widen; booleans and other types raise
}

// ---------------------------------------------------------------------------------------------
// Reading

namespace {

template <typename Json>
Library readDocument(Json& document)
{
    const json& format = document.at("format");
    if (!format.is_string() || format.get_ref<const std::string&>() != FORMAT_NAME)
        fail("Unsupported file");
    if (document.at("version") != 1)  // numeric equality: 1 and 1.0 are both version one
        fail("Unsupported file");

    Library library;
    library.settings.automatic = document.at("automatic").template get<bool>();
    library.settings.notifications = document.at("notifications").template get<bool>();
    library.settings.lastCheck = jsonToInt64(document.at("lastCheck"));

    auto& stories = document.at("stories");
    if (!stories.is_array() || stories.size() > MAX_STORIES)
        fail("Story limit");
    library.stories.reserve(stories.size());
    std::set<std::string> ids;
    for (auto& element : stories) {
        Story story = readStory(element);
        if (!isValidStory(story, ids))
            fail("Invalid story");
        ids.insert(story.id);
        library.stories.push_back(std::move(story));
    }

    const json& edges = document.at("edges");
    if (!edges.is_array() || edges.size() > MAX_LINKS)
        fail("Edge limit");
    // The rules of addLink, with stories and earlier links found by index: scanning for each of 2,000
    // links would compare millions of ids. The views point into the stories, which no longer move.
    std::unordered_map<std::string_view, const Story*> storyById;
    for (const Story& story : library.stories)
        storyById.emplace(story.id, &story);
    std::map<std::pair<std::string_view, std::string_view>, std::size_t> linkAt;
    library.links.reserve(edges.size());
    for (const json& element : edges) {
        const std::int32_t kind = jsonToInt32(element.at("kind"));
        const auto second = storyById.find(stringAt(element, "b"));
        const auto first = storyById.find(stringAt(element, "a"));
        if (first == storyById.end() || second == storyById.end() || !first->second->saved || !second->second->saved
            || first == second || static_cast<std::uint32_t>(kind) > 2)
            fail("Invalid edge");
        std::string_view a = first->second->id, b = second->second->id;
        if (a > b)
            std::swap(a, b);
        const auto [at, added] = linkAt.try_emplace({a, b}, library.links.size());
        if (added)
            library.links.push_back(Link{std::string(a), std::string(b), kind});
        else
            library.links[at->second].kind = kind;  // a repeated pair keeps its place and takes the last kind
    }
    return library;
}

}  // namespace

Library libraryFromJson(const json& document)
{
    return readDocument(document);
}

Library libraryFromJson(json&& document)
{
    return readDocument(document);
}

Library readLibraryFile(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info)
        || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        fail("Cannot read data");
    const std::uint64_t size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (size > LIBRARY_FILE_LIMIT)
        fail("Cannot read data");

    // A backup or sync tool may hold a good file open for writing; sharing with it keeps that file
    // from being taken for damaged and renamed.
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid())
        fail("Cannot read data");
    // Read up to one byte past the limit, so a file that grew after the size query is still refused
    // rather than parsed.
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    std::size_t filled = 0;
    for (;;) {
        if (filled == text.size()) {
            if (text.size() > LIBRARY_FILE_LIMIT)
                fail("Cannot read data");
            text.resize(std::min<std::size_t>(text.size() * 2, LIBRARY_FILE_LIMIT + 1));
        }
        DWORD read = 0;
        if (!ReadFile(file.handle, text.data() + filled, static_cast<DWORD>(text.size() - filled), &read, nullptr))
            fail("Cannot read data");
        if (read == 0)
            break;
        filled += read;
    }
    text.resize(filled);
    return readLibraryText(text);
}

Library readLibraryText(std::string_view text)
{
    return libraryFromJson(json::parse(text.begin(), text.end(), nullptr, true, false));  // moves the texts out
}

// ---------------------------------------------------------------------------------------------
// Writing

json libraryToJson(const Library& library)
{
    json stories = json::array();
    stories.get_ref<json::array_t&>().reserve(library.stories.size());
    for (const Story& story : library.stories) {
        json object = json::object();
        object["asset"] = story.asset;
        object["body"] = story.body;
        object["id"] = story.id;
        object["note"] = story.note;
        object["published"] = story.published;
        object["saved"] = story.saved;
        object["source"] = story.source;
        object["title"] = story.title;
        object["url"] = story.url;
        object["x"] = story.x;  // a double value stays a floating-point number: 0.0, 335.0
        object["y"] = story.y;
        stories.push_back(std::move(object));
    }

    json edges = json::array();
    edges.get_ref<json::array_t&>().reserve(library.links.size());
    for (const Link& link : library.links) {
        json object = json::object();
        object["a"] = link.a;
        object["b"] = link.b;
        object["kind"] = link.kind;
        edges.push_back(std::move(object));
    }

    json root = json::object();
    root["automatic"] = library.settings.automatic;
    root["edges"] = std::move(edges);
    root["format"] = FORMAT_NAME;
    root["lastCheck"] = library.settings.lastCheck;
    root["notifications"] = library.settings.notifications;
    root["stories"] = std::move(stories);
    root["version"] = 1;
    return root;
}
