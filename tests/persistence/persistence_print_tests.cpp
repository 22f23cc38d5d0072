// The library file printer: escapes and numbers against texts worked out by hand, byte-for-byte
// agreement with the JSON library's strict dump on generated libraries, and refusal of bad UTF-8.
#include "persistence/persistence.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

using nlohmann::json;

namespace {

// The text the JSON library prints for the same library, or nothing when it refuses.
std::optional<std::string> dumped(const Library& library)
{
    try {
        return libraryToJson(library).dump(2, ' ', false, json::error_handler_t::strict);
    } catch (const json::type_error&) {
        return std::nullopt;
    }
}

// libraryText, or nothing when it raised "Invalid UTF-8" (any other failure fails the test).
std::optional<std::string> printed(const Library& library)
{
    try {
        return libraryText(library);
    } catch (const Failure& failure) {
        EXPECT_STREQ(failure.reason(), "Invalid UTF-8");
        return std::nullopt;
    }
}

Library oneStory()
{
    Story story;
    story.id = "00000000000000aa";
    story.title = "T";
    story.url = "https://www.nasa.gov/";
    Library library;
    library.stories.push_back(story);
    return library;
}

Library withNote(std::string_view note)
{
    Library library = oneStory();
    library.stories[0].note = note;
    return library;
}

// What follows `"key": ` on that key's line of the first story, without the comma.
std::string valueOf(const std::string& text, std::string_view key)
{
    const std::string marker = "      \"" + std::string(key) + "\": ";
    const std::size_t start = text.find(marker);
    if (start == std::string::npos)
        return "<missing>";
    const std::size_t from = start + marker.size();
    std::string value = text.substr(from, text.find('\n', from) - from);
    if (!value.empty() && value.back() == ',')
        value.pop_back();
    return value;
}

// ---------------------------------------------------------------------------------------------
// Texts worked out by hand

TEST(LibraryPrint, EscapesEveryControlCharacterQuoteAndBackslashAsJsonRequires)
{
    std::string note;
    for (int c = 0; c < 0x20; ++c)
        note.push_back(static_cast<char>(c));
    note += "\"\\/\x7F";
    const char* const expected =
        R"("\u0000\u0001\u0002\u0003\u0004\u0005\u0006\u0007\b\t\n\u000b\f\r\u000e\u000f)"
        R"(\u0010\u0011\u0012\u0013\u0014\u0015\u0016\u0017\u0018\u0019\u001a\u001b\u001c\u001d\u001e\u001f)"
        "\\\"\\\\/\x7F\"";
    EXPECT_EQ(valueOf(libraryText(withNote(note)), "note"), expected);
}

TEST(LibraryPrint, KeepsNonAsciiCharactersAsTheirOwnBytes)
{
    const std::string note = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\xAD \xF4\x8F\xBF\xBF \xEF\xBF\xBF \xC2\x80";
    EXPECT_EQ(valueOf(libraryText(withNote(note)), "note"), "\"" + note + "\"");
}

TEST(LibraryPrint, EscapesStayInPlaceAcrossLongPlainRuns)
{
    // Escapes and multi-byte characters straddling every 16- and 64-byte step of a long text.
    std::string note, expected = "\"";
    for (int i = 0; i < 40; ++i) {
        const std::string run(static_cast<std::size_t>(i), 'a');
        note += run + "\"" + run + "\xC3\xA9" + run + "\t" + run + "\xE2\x82\xAC" + run + "\\" + run
              + "\xF0\x9F\x94\xAD";
        expected += run + "\\\"" + run + "\xC3\xA9" + run + "\\t" + run + "\xE2\x82\xAC" + run + "\\\\" + run
                  + "\xF0\x9F\x94\xAD";
    }
    EXPECT_EQ(valueOf(libraryText(withNote(note)), "note"), expected + "\"");
}

struct DoubleCase {
    double value;
    const char* text;
};

const DoubleCase DOUBLES[] = {
    {0.0, "0.0"},
    {-0.0, "-0.0"},
    {335.0, "335.0"},
    {-123.5, "-123.5"},
    {100000.0, "100000.0"},
    {-99900.0, "-99900.0"},
    {0.1, "0.1"},
    {1.0 / 3.0, "0.3333333333333333"},
    {1e-5, "1e-05"},
    {0.0001, "0.0001"},
    {99999.99999, "99999.99999"},
    {-99000.25, "-99000.25"},
    {123456789012345.0, "123456789012345.0"},
    {1e15, "1e+15"},
    {1e20, "1e+20"},
    {5e-324, "5e-324"},
    {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
};

TEST(LibraryPrint, WritesCoordinatesInShortestRoundTripFormWithFractionKept)
{
    for (const DoubleCase& c : DOUBLES) {
        Library library = oneStory();
        library.stories[0].x = c.value;
        library.stories[0].y = -c.value;
        const std::string text = libraryText(library);
        EXPECT_EQ(valueOf(text, "x"), c.text) << c.text;
        const std::string negated = c.text[0] == '-' ? std::string(c.text + 1) : "-" + std::string(c.text);
        EXPECT_EQ(valueOf(text, "y"), negated) << c.text;
    }
}

TEST(LibraryPrint, WritesIntegersWholeAtBothEndsOfTheirRange)
{
    Library library = oneStory();
    library.stories[0].published = std::numeric_limits<std::int64_t>::min();
    library.stories[0].asset = std::numeric_limits<std::int32_t>::max();
    library.settings.lastCheck = std::numeric_limits<std::int64_t>::max();
    library.links.push_back(Link{"a", "b", std::numeric_limits<std::int32_t>::min()});
    const std::string text = libraryText(library);
    EXPECT_EQ(valueOf(text, "published"), "-9223372036854775808");
    EXPECT_EQ(valueOf(text, "asset"), "2147483647");
    EXPECT_EQ(valueOf(text, "kind"), "-2147483648");
    EXPECT_NE(text.find("\n  \"lastCheck\": 9223372036854775807,\n"), std::string::npos);
}

TEST(LibraryPrint, WritesOneStoryAndOneEdgeInTheFileLayout)
{
    Library library = oneStory();
    library.stories[0].body = "b";
    library.stories[0].saved = true;
    library.links.push_back(Link{"p", "q", 2});
    const char* const expected = R"({
  "automatic": false,
  "edges": [
    {
      "a": "p",
      "b": "q",
      "kind": 2
    }
  ],
  "format": "Kestrune",
  "lastCheck": 0,
  "notifications": false,
  "stories": [
    {
      "asset": -1,
      "body": "b",
      "id": "00000000000000aa",
      "note": "",
      "published": 0,
      "saved": true,
      "source": "",
      "title": "T",
      "url": "https://www.nasa.gov/",
      "x": 0.0,
      "y": 0.0
    }
  ],
  "version": 1
})";
    EXPECT_EQ(libraryText(library), expected);
}

// ---------------------------------------------------------------------------------------------
// Agreement with the JSON library's dump

// Pieces that random texts are made of: plain runs, every escape, and characters of each length at
// the edges of their ranges.
const char* const PIECES[] = {
    "a", "plain words ", "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", "\"", "\\", "/",
    "\b", "\f", "\n", "\r", "\t", "\x01", "\x1F", "\x7F", "\x0B", "\n\n", "\xC2\x80", "\xC3\xA9", "\xDF\xBF",
    "\xE0\xA0\x80", "\xE2\x82\xAC", "\xED\x9F\xBF", "\xEE\x80\x80", "\xEF\xBF\xBD", "\xEF\xBF\xBF",
    "\xF0\x90\x80\x80", "\xF0\x9F\x94\xAD", "\xF3\xBF\xBF\xBF", "\xF4\x8F\xBF\xBF", "Gr\xC3\xB6\xC3\x9F" "e",
};

struct Generator {
    std::mt19937_64 random;

    explicit Generator(std::uint64_t seed) : random(seed) {}

    std::size_t below(std::size_t n) { return static_cast<std::size_t>(random() % n); }

    std::string text(std::size_t pieces)
    {
        std::string result;
        for (std::size_t i = 0; i < pieces; ++i) {
            if (below(4) == 0)
                result.append(below(150), static_cast<char>('a' + below(26)));  // runs longer than a chunk
            else
                result += PIECES[below(std::size(PIECES))];
        }
        return result;
    }

    std::string anyText() { return below(6) == 0 ? std::string() : text(below(3) == 0 ? below(400) : below(12)); }

    double coordinate()
    {
        static const double samples[] = {0.0, -0.0, 335.0, -123.5, 1e-5, 99999.99999, 0.1, 1.0 / 3.0, 100000.0,
                                         -100000.0, 670.0, 170.0, 2.5e-8, 1e300};
        switch (below(3)) {
        case 0:
            return samples[below(std::size(samples))];
        case 1:
            return std::uniform_real_distribution<double>(-100000.0, 100000.0)(random);
        default: {
            const double value = std::bit_cast<double>(random());  // any finite bit pattern
            return std::isfinite(value) ? value : 42.0;
        }
        }
    }

    std::int64_t integer()
    {
        static const std::int64_t samples[] = {0, -1, 1, 1700000000, 32503680000,
                                               std::numeric_limits<std::int64_t>::min(),
                                               std::numeric_limits<std::int64_t>::max()};
        return below(2) == 0 ? samples[below(std::size(samples))] : static_cast<std::int64_t>(random());
    }

    Library library(std::size_t maxStories, std::size_t maxLinks)
    {
        Library result;
        result.settings = LibrarySettings{below(2) == 0, below(2) == 0, integer()};
        const std::size_t stories = below(maxStories + 1), links = below(maxLinks + 1);
        for (std::size_t i = 0; i < stories; ++i) {
            Story story;
            story.id = anyText();
            story.title = anyText();
            story.body = below(3) == 0 ? text(below(1500)) : anyText();
            story.url = anyText();
            story.source = anyText();
            story.note = anyText();
            story.published = integer();
            story.saved = below(2) == 0;
            story.x = coordinate();
            story.y = coordinate();
            story.asset = static_cast<std::int32_t>(integer());
            result.stories.push_back(std::move(story));
        }
        for (std::size_t i = 0; i < links; ++i)
            result.links.push_back(Link{anyText(), anyText(), static_cast<std::int32_t>(integer())});
        return result;
    }
};

TEST(LibraryPrint, MatchesTheJsonDumpByteForByteOnGeneratedLibraries)
{
    Generator generator(20240611);
    for (int round = 0; round < 400; ++round) {
        const Library library = generator.library(6, 8);
        const std::optional<std::string> expected = dumped(library);
        ASSERT_TRUE(expected.has_value()) << "round " << round;
        ASSERT_EQ(printed(library), expected) << "round " << round;
    }
}

TEST(LibraryPrint, MatchesTheJsonDumpWithFullStoryAndEdgeArrays)
{
    Generator generator(7);
    Library library;
    while (library.stories.size() < MAX_STORIES)
        for (Story& story : generator.library(1, 0).stories)
            library.stories.push_back(std::move(story));
    for (std::size_t i = 0; i < MAX_LINKS; ++i)
        library.links.push_back(Link{generator.anyText(), generator.anyText(), static_cast<std::int32_t>(i % 3)});
    EXPECT_EQ(printed(library), dumped(library));
}

TEST(LibraryPrint, MatchesTheJsonDumpForEveryPieceAtEveryOffset)
{
    // Each piece after 0..200 plain bytes and before 0..3 more: every position in a 16- and 64-byte
    // step, in the main run and in the short end of a text.
    for (const char* piece : PIECES) {
        for (std::size_t before = 0; before <= 200; ++before) {
            for (std::size_t after = 0; after <= 3; ++after) {
                const Library library = withNote(std::string(before, 'x') + piece + std::string(after, 'y'));
                ASSERT_EQ(printed(library), dumped(library)) << "piece after " << before << " bytes";
            }
        }
    }
}

TEST(LibraryPrint, GrowsItsBufferWhenEscapesOutgrowTheEstimate)
{
    // Every byte a six-byte escape: far more output than the size estimate allows for.
    Library library = oneStory();
    library.stories[0].note = std::string(NOTE_LIMIT, '\x01');
    library.stories[0].body = std::string(BODY_LIMIT, '\x1F');
    for (int i = 0; i < 50; ++i)
        library.stories.push_back(library.stories[0]);
    const std::optional<std::string> text = printed(library);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text, dumped(library));
    EXPECT_EQ(text->size(), dumped(library)->size());
}

// ---------------------------------------------------------------------------------------------
// Invalid UTF-8

struct BadSequence {
    const char* name;
    const char* bytes;
};

const BadSequence BAD_SEQUENCES[] = {
    {"truncated two-byte", "\xC3"},
    {"truncated three-byte", "\xE2\x82"},
    {"truncated four-byte", "\xF0\x9F\x94"},
    {"two-byte lead then ASCII", "\xC3" "A"},
    {"three-byte lead, one continuation, then ASCII", "\xE2\x82" "A"},
    {"overlong slash C0", "\xC0\xAF"},
    {"overlong C1", "\xC1\xBF"},
    {"overlong three-byte", "\xE0\x80\xAF"},
    {"overlong three-byte at the top", "\xE0\x9F\xBF"},
    {"overlong four-byte", "\xF0\x80\x80\xAF"},
    {"overlong four-byte at the top", "\xF0\x8F\xBF\xBF"},
    {"encoded high surrogate", "\xED\xA0\x80"},
    {"encoded low surrogate", "\xED\xBF\xBF"},
    {"above U+10FFFF", "\xF4\x90\x80\x80"},
    {"lead F5", "\xF5\x80\x80\x80"},
    {"lead F8", "\xF8\x88\x80\x80\x80"},
    {"stray continuation 80", "\x80"},
    {"stray continuation BF", "\xBF"},
    {"continuation after a complete pair", "\xC3\xA9\xA9"},
    {"byte FF", "\xFF"},
    {"byte FE", "\xFE"},
};

// Every text field, each given the bad text in turn.
void setField(Library& library, int field, const std::string& text)
{
    Story& story = library.stories[0];
    std::string* const fields[] = {&story.id,   &story.title, &story.body,        &story.url,
                                   &story.source, &story.note, &library.links[0].a, &library.links[0].b};
    *fields[field] = text;
}

constexpr int FIELD_COUNT = 8;

TEST(LibraryPrint, RefusesEveryIllFormedSequenceInEveryFieldAndPlace)
{
    Library base = oneStory();
    base.stories[0].note = "fine";
    base.links.push_back(Link{"a", "b", 0});
    ASSERT_TRUE(printed(base).has_value());

    // Where the bad bytes go: alone, at the start, in the middle, at the end, and after plain runs
    // that fill one or more whole 16- and 64-byte steps.
    std::vector<std::pair<std::string, std::string>> places = {{"", ""}, {"", "tail"}, {"head", "tail"}, {"head", ""}};
    for (std::size_t run : {15u, 16u, 63u, 64u, 65u, 127u, 128u, 129u, 200u, 1000u}) {
        places.emplace_back(std::string(run, 'r'), "");
        places.emplace_back(std::string(run, 'r'), std::string(200, 's'));
    }
    for (const BadSequence& bad : BAD_SEQUENCES) {
        for (const auto& [before, after] : places) {
            for (int field = 0; field < FIELD_COUNT; ++field) {
                Library library = base;
                setField(library, field, before + bad.bytes + after);
                ASSERT_FALSE(dumped(library).has_value()) << bad.name;  // the reference refuses it too
                EXPECT_FALSE(printed(library).has_value())
                    << bad.name << ", field " << field << ", after " << before.size() << " bytes";
            }
        }
    }
}

TEST(LibraryPrint, AcceptsAndRefusesExactlyTheSequencesTheJsonDumpDoes)
{
    // Every lead byte from 0x80 with every second byte; after the leads of longer sequences, tails
    // of continuation and plain bytes. Alternately alone (the short end of a text) and inside plain
    // runs long enough for the 64-byte steps.
    const std::string shortTails[] = {"", "A"};
    const std::string longTails[] = {"", "\x80", "\xBF", "\x80\xBF", "\xBF\x80", "\x80" "A"};
    for (int lead = 0x80; lead <= 0xFF; ++lead) {
        for (int second = 0; second <= 0xFF; ++second) {
            const std::string pair{static_cast<char>(lead), static_cast<char>(second)};
            const std::string run(second % 2 == 0 ? 0 : 100, 'x');
            for (const std::string& tail : lead < 0xE0 ? std::span<const std::string>(shortTails)
                                                       : std::span<const std::string>(longTails)) {
                const Library library = withNote(run + pair + tail + run);
                ASSERT_EQ(printed(library), dumped(library))
                    << std::hex << "lead " << lead << " second " << second << " tail size " << tail.size();
            }
        }
    }
}

}  // namespace

TEST(LibraryPrint, RefusesCoordinatesThatWouldNotReadBack)
{
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity()}) {
        Library library = oneStory();
        library.stories[0].y = bad;
        EXPECT_THROW(libraryText(library), Failure);
        const std::wstring folder = L".";
        EXPECT_FALSE(storeLibrary(library, joinPath(folder, L"never-written.json")));
        EXPECT_EQ(GetFileAttributesW(L"never-written.json"), INVALID_FILE_ATTRIBUTES);
    }
}

TEST(LibraryPrint, SavesAfterAFailedPrintWriteTheWholeNewText)
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = joinPath(folder, L"kestrune-print-reuse.json");
    DeleteFileW(path.c_str());

    Library small = oneStory();
    small.stories[0].id = storyIdFromUrl(small.stories[0].url);  // readable by the reader
    Library big = small;
    big.stories[0].body = std::string(20000, 'b');
    ASSERT_TRUE(storeLibrary(big, path));
    Library broken = small;
    broken.stories[0].note = "\xC3";
    EXPECT_FALSE(storeLibrary(broken, path));
    ASSERT_TRUE(storeLibrary(small, path));
    // The buffer of the larger save is printed over: nothing of it may trail the smaller text.
    EXPECT_EQ(readLibraryFile(path), small);
    EXPECT_EQ(readLibraryFile(path + L".bak"), big);
    DeleteFileW(path.c_str());
    DeleteFileW((path + L".bak").c_str());
}
