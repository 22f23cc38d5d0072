// Story library model: the records the user keeps, their invariants and limits, story identity and
// order, the board operations on pins and links, the text codec and policy, and the source URL policy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Failures

// The one error type of the model, persistence and feeds code. It carries a short fixed English
// reason ("Invalid UTF-8", "Save failed") that is never shown to the user.
class Failure : public std::runtime_error {
public:
    explicit Failure(const char* reason) : std::runtime_error(reason) {}
    const char* reason() const noexcept { return what(); }
};

[[noreturn]] inline void fail(const char* reason) { throw Failure(reason); }

// ---------------------------------------------------------------------------------------------
// Limits

inline constexpr std::size_t MAX_STORIES = 600;
inline constexpr std::size_t MAX_LINKS = 2000;

inline constexpr std::size_t ID_LIMIT = 64;
inline constexpr std::size_t TITLE_LIMIT = 1024;
inline constexpr std::size_t BODY_LIMIT = 24000;
inline constexpr std::size_t URL_LIMIT = 2048;
inline constexpr std::size_t SOURCE_LIMIT = 120;
inline constexpr std::size_t NOTE_LIMIT = 8000;

inline constexpr double BOARD_COORD_LIMIT = 100000.0;
inline constexpr std::int64_t PUBLISHED_MAX = 32503680000;  // 3000-01-01T00:00:00Z
inline constexpr std::string_view FIELD_NOTE_SOURCE = "Kestrune field note";

inline constexpr int BOARD_GRID_COLUMNS = 3;
inline constexpr int BOARD_GRID_DX = 335;
inline constexpr int BOARD_GRID_DY = 170;

// ---------------------------------------------------------------------------------------------
// Records

enum class LinkKind : std::int32_t { Related = 0, Evidence = 1, Question = 2 };
inline constexpr std::int32_t LINK_KIND_COUNT = 3;

struct Story {
    std::string id;      // storyIdFromUrl(url)
    std::string title;   // never empty
    std::string body;    // paragraphs separated by "\n\n"
    std::string url;     // passes isAllowedSourceUrl
    std::string source;  // "NASA", "NOAA", "NASA / Webb" or FIELD_NOTE_SOURCE
    std::string note;    // the user's own observation
    std::int64_t published = 0;  // Unix seconds, 0 = unknown
    bool saved = false;          // pinned to the story board
    double x = 0.0;              // board position, board units
    double y = 0.0;
    std::int32_t asset = -1;     // -1 none, 0 or 1: plate of the Evidence atlas

    bool operator==(const Story&) const = default;
};

struct Link {
    std::string a;  // always a < b, byte-wise
    std::string b;
    std::int32_t kind = 0;  // a LinkKind value

    bool operator==(const Link&) const = default;
};

struct LibrarySettings {
    bool automatic = false;      // "Check sources every hour"
    bool notifications = false;  // "Notify when new stories arrive"
    std::int64_t lastCheck = 0;  // Unix seconds of the last refresh that reached a source

    bool operator==(const LibrarySettings&) const = default;
};

struct Library {
    std::vector<Story> stories;  // Discover order
    std::vector<Link> links;     // insertion order
    LibrarySettings settings;

    bool operator==(const Library&) const = default;
};

struct BoardPoint {
    double x = 0.0;
    double y = 0.0;
};

// ---------------------------------------------------------------------------------------------
// Library operations (window thread)

// 64-bit FNV-1a of the URL's bytes as 16 lower-case hexadecimal digits.
std::string storyIdFromUrl(std::string_view url);

Story* findStory(Library& library, std::string_view id);
const Story* findStory(const Library& library, std::string_view id);

bool isLocalStory(const Story& story);

// Strict weak order of the Discover list: official stories newest first, then local stories.
bool storyOrder(const Story& s, const Story& t);
void sortStories(std::vector<Story>& stories);  // stable sort under storyOrder

// Adds the link or re-kinds the pair's existing link; false (library unchanged) when refused.
bool addLink(Library& library, std::string_view a, std::string_view b, std::int32_t kind);
std::size_t pruneLinks(Library& library);
void removeLinksOf(Library& library, std::string_view id);

// Slot of the n-th pinned card (n counts from 1): 3 columns, 335 and 170 units apart.
BoardPoint boardGridSlot(std::size_t pinnedCount);
// Pins an unpinned story at its grid slot or unpins a pinned one; returns the new `saved`.
bool togglePin(Library& library, Story& story);

// ---------------------------------------------------------------------------------------------
// Text codec and policy (any thread)

std::wstring utf8ToUtf16(std::string_view text);   // fails with "Invalid UTF-8"
std::string utf16ToUtf8(std::wstring_view text);   // fails with "Invalid UTF-16"
bool isSupportedWideText(std::wstring_view text);  // false for the four refused Cyrillic blocks
std::string checkText(std::string_view text, std::size_t maxBytes);  // fails with "Unsupported text"
void requireSupportedText(std::string_view text, std::size_t maxBytes);  // checkText without the copy

// Text for a Windows edit control: every LF not already preceded by CR becomes CR LF.
std::wstring expandLineBreaks(std::wstring_view text);
// The editors' CR LF back to the library's line feeds; a lone CR stays.
std::wstring collapseLineBreaks(std::wstring_view text);

// ---------------------------------------------------------------------------------------------
// Source URL policy (any thread)

inline constexpr std::string_view ALLOWED_DOMAINS[] = {"nasa.gov", "noaa.gov"};

bool isAllowedSourceUrl(std::string_view url);

// ---------------------------------------------------------------------------------------------
// Seed collection

inline constexpr std::string_view SEED_URL_PLATE_0 = "https://svs.gsfc.nasa.gov/31285/";
inline constexpr std::string_view SEED_URL_PLATE_1 = "https://svs.gsfc.nasa.gov/31285/#media_group_374329";
inline constexpr std::string_view SEED_URL_OCEAN = "https://oceanexplorer.noaa.gov/";
inline constexpr std::string_view SEED_URL_MARS = "https://science.nasa.gov/mission/mars-2020-perseverance/";

Library buildSeedLibrary();
void makeSeedStory(Library& library, std::string_view title, std::string_view body, std::string_view url,
                   std::int32_t asset, std::string_view source, std::int64_t published);

// ---------------------------------------------------------------------------------------------
// Clock

// Whole seconds since 1970-01-01 00:00:00 UTC from the precise system clock.
std::int64_t currentUnixSeconds();
