// The reader of the library file: every refusal with its reason, the accepted edge values, the
// conversion of hostile numbers, and the file size limit checked before any parsing.
#include "persistence/persistence_internal.h"
#include "persistence_test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

using nlohmann::json;

namespace {

// What a refused read raised: a fixed reason, or "json <id>" for the JSON library's own errors.
std::string refusalOf(const std::function<void()>& read)
{
    try {
        read();
    } catch (const Failure& failure) {
        return failure.reason();
    } catch (const json::exception& error) {
        return "json " + std::to_string(error.id);
    }
    return "accepted";
}

json boardDocument()
{
    return libraryToJson(seedWithBoard());
}

json& firstStory(json& document)
{
    return document["stories"][0];
}

struct RefusalCase {
    const char* name;
    std::function<void(json&)> change;
    const char* expected;
};

const RefusalCase REFUSALS[] = {
    // Format and version come first.
    {"format in other case", [](json& d) { d["format"] = "kestrune"; }, "Unsupported file"},
    {"format as number", [](json& d) { d["format"] = 1; }, "Unsupported file"},
    {"format missing", [](json& d) { d.erase("format"); }, "json 403"},
    {"version 99", [](json& d) { d["version"] = 99; }, "Unsupported file"},
    {"version as string", [](json& d) { d["version"] = "1"; }, "Unsupported file"},
    {"version 1.5", [](json& d) { d["version"] = 1.5; }, "Unsupported file"},
    {"version true", [](json& d) { d["version"] = true; }, "Unsupported file"},
    {"version missing", [](json& d) { d.erase("version"); }, "json 403"},
    {"version not looked up after a wrong format", [](json& d) { d["format"] = "Other"; d.erase("version"); },
     "Unsupported file"},
    {"root is an array", [](json& d) { d = json::array({1, 2}); }, "json 304"},
    {"wrong format beats a broken story", [](json& d) { d["format"] = "x"; firstStory(d)["x"] = 1e20; },
     "Unsupported file"},
    // Settings.
    {"automatic as string", [](json& d) { d["automatic"] = "true"; }, "json 302"},
    {"notifications missing", [](json& d) { d.erase("notifications"); }, "json 403"},
    {"lastCheck as string", [](json& d) { d["lastCheck"] = "0"; }, "json 302"},
    {"lastCheck as boolean", [](json& d) { d["lastCheck"] = true; }, "json 302"},
    {"lastCheck null", [](json& d) { d["lastCheck"] = nullptr; }, "json 302"},
    // Story list.
    {"stories missing", [](json& d) { d.erase("stories"); }, "json 403"},
    {"stories as object", [](json& d) { d["stories"] = json::object(); }, "Story limit"},
    {"601 stories", [](json& d) { d["stories"] = json::array(); for (int i = 0; i < 601; ++i) d["stories"].push_back(1); },
     "Story limit"},
    {"story is a number", [](json& d) { d["stories"][0] = 7; }, "json 304"},
    {"story id missing", [](json& d) { firstStory(d).erase("id"); }, "json 403"},
    {"story asset missing", [](json& d) { firstStory(d).erase("asset"); }, "json 403"},
    // Texts through the text policy, in reading order.
    {"title as number", [](json& d) { firstStory(d)["title"] = 5; }, "json 303"},
    {"title Cyrillic letter", [](json& d) { firstStory(d)["title"] = "\xD0\x90"; }, "Unsupported text"},
    {"title 1025 bytes", [](json& d) { firstStory(d)["title"] = std::string(1025, 't'); }, "Unsupported text"},
    {"title with NUL", [](json& d) { firstStory(d)["title"] = std::string("a\0b", 3); }, "Unsupported text"},
    {"id 65 bytes", [](json& d) { firstStory(d)["id"] = std::string(65, '0'); }, "Unsupported text"},
    {"body invalid UTF-8", [](json& d) { firstStory(d)["body"] = "caf\xC3"; }, "Invalid UTF-8"},
    {"body 24001 bytes", [](json& d) { firstStory(d)["body"] = std::string(24001, 'b'); }, "Unsupported text"},
    {"url 2049 bytes", [](json& d) { firstStory(d)["url"] = std::string(2049, 'u'); }, "Unsupported text"},
    {"source 121 bytes", [](json& d) { firstStory(d)["source"] = std::string(121, 's'); }, "Unsupported text"},
    {"note 8001 bytes", [](json& d) { firstStory(d)["note"] = std::string(8001, 'n'); }, "Unsupported text"},
    {"note Cyrillic Extended-B", [](json& d) { firstStory(d)["note"] = "\xEA\x99\x81"; }, "Unsupported text"},
    {"text policy before the story rules", [](json& d) { firstStory(d)["title"] = ""; firstStory(d)["note"] = "\xD0\x90"; },
     "Unsupported text"},
    // Other fields' types.
    {"published as string", [](json& d) { firstStory(d)["published"] = "0"; }, "json 302"},
    {"saved as number", [](json& d) { firstStory(d)["saved"] = 1; }, "json 302"},
    {"x as boolean", [](json& d) { firstStory(d)["x"] = false; }, "json 302"},
    {"y null", [](json& d) { firstStory(d)["y"] = nullptr; }, "json 302"},
    {"asset as string", [](json& d) { firstStory(d)["asset"] = "0"; }, "json 302"},
    {"asset as array", [](json& d) { firstStory(d)["asset"] = json::array(); }, "json 302"},
    // Story rules.
    {"empty id", [](json& d) { firstStory(d)["id"] = ""; }, "Invalid story"},
    {"empty title", [](json& d) { firstStory(d)["title"] = ""; }, "Invalid story"},
    {"url outside both domains",
     [](json& d) { firstStory(d)["url"] = "https://example.com/"; firstStory(d)["id"] = storyIdFromUrl("https://example.com/"); },
     "Invalid story"},
    {"url over plain http",
     [](json& d) { firstStory(d)["url"] = "http://svs.gsfc.nasa.gov/"; firstStory(d)["id"] = storyIdFromUrl("http://svs.gsfc.nasa.gov/"); },
     "Invalid story"},
    {"id not the hash of its url", [](json& d) { firstStory(d)["id"] = "0000000000000000"; }, "Invalid story"},
    {"first story appended again", [](json& d) { d["stories"].push_back(d["stories"][0]); }, "Invalid story"},
    {"x 1e20", [](json& d) { firstStory(d)["x"] = 1e20; }, "Invalid story"},
    {"x 100000.5", [](json& d) { firstStory(d)["x"] = 100000.5; }, "Invalid story"},
    {"y -100000.5", [](json& d) { firstStory(d)["y"] = -100000.5; }, "Invalid story"},
    {"asset 2", [](json& d) { firstStory(d)["asset"] = 2; }, "Invalid story"},
    {"asset -2", [](json& d) { firstStory(d)["asset"] = -2; }, "Invalid story"},
    {"asset 4294967296 does not wrap to 0", [](json& d) { firstStory(d)["asset"] = 4294967296ULL; }, "Invalid story"},
    {"asset 4294967297 does not wrap to 1", [](json& d) { firstStory(d)["asset"] = 4294967297ULL; }, "Invalid story"},
    {"asset 1e300", [](json& d) { firstStory(d)["asset"] = 1e300; }, "Invalid story"},
    {"asset -1e300", [](json& d) { firstStory(d)["asset"] = -1e300; }, "Invalid story"},
    {"published -1", [](json& d) { firstStory(d)["published"] = -1; }, "Invalid story"},
    {"published one past the year 3000", [](json& d) { firstStory(d)["published"] = 32503680001LL; }, "Invalid story"},
    {"published 1e300", [](json& d) { firstStory(d)["published"] = 1e300; }, "Invalid story"},
    {"published -1e300", [](json& d) { firstStory(d)["published"] = -1e300; }, "Invalid story"},
    {"published largest unsigned", [](json& d) { firstStory(d)["published"] = 18446744073709551615ULL; }, "Invalid story"},
    {"published -0.5e19", [](json& d) { firstStory(d)["published"] = -0.5e19; }, "Invalid story"},
    // Edge list.
    {"edges missing", [](json& d) { d.erase("edges"); }, "json 403"},
    {"edges as string", [](json& d) { d["edges"] = "[]"; }, "Edge limit"},
    {"2001 edges", [](json& d) { d["edges"] = json::array(); for (int i = 0; i < 2001; ++i) d["edges"].push_back(d["stories"][0]); },
     "Edge limit"},
    {"broken story beats edge limit", [](json& d) { firstStory(d)["asset"] = 5; d["edges"] = 0; }, "Invalid story"},
    {"edge is a string", [](json& d) { d["edges"][0] = "a-b"; }, "json 304"},
    {"edge kind missing", [](json& d) { d["edges"][0].erase("kind"); }, "json 403"},
    {"edge a as number", [](json& d) { d["edges"][0]["a"] = 1; }, "json 303"},
    {"edge kind as string", [](json& d) { d["edges"][0]["kind"] = "1"; }, "json 302"},
    {"edge to unknown story", [](json& d) { d["edges"][0]["b"] = "ffffffffffffffff"; }, "Invalid edge"},
    {"edge to unpinned story", [](json& d) { d["edges"][0]["b"] = d["stories"][2]["id"]; }, "Invalid edge"},
    {"edge after unpinning", [](json& d) { firstStory(d)["saved"] = false; }, "Invalid edge"},
    {"self edge", [](json& d) { d["edges"][0]["b"] = d["edges"][0]["a"]; }, "Invalid edge"},
    {"edge kind 3", [](json& d) { d["edges"][0]["kind"] = 3; }, "Invalid edge"},
    {"edge kind -1", [](json& d) { d["edges"][0]["kind"] = -1; }, "Invalid edge"},
    {"edge kind 4294967297 does not wrap to 1", [](json& d) { d["edges"][0]["kind"] = 4294967297ULL; }, "Invalid edge"},
    {"edge kind 1e300", [](json& d) { d["edges"][0]["kind"] = 1e300; }, "Invalid edge"},
    {"edge kind -4294967295", [](json& d) { d["edges"][0]["kind"] = -4294967295LL; }, "Invalid edge"},
};

TEST(LibraryFromJson, RefusesEveryBrokenRuleWithItsReason)
{
    for (const RefusalCase& row : REFUSALS) {
        json document = boardDocument();
        row.change(document);
        EXPECT_EQ(refusalOf([&] { libraryFromJson(document); }), row.expected) << row.name;
    }
}

TEST(LibraryFromJson, UntouchedBoardDocumentIsAccepted)
{
    EXPECT_EQ(libraryFromJson(boardDocument()), seedWithBoard());
}

struct AcceptCase {
    const char* name;
    std::function<void(json&)> change;
    std::function<void(Library&)> expected;  // applied to seedWithBoard()
};

const AcceptCase ACCEPTED[] = {
    {"version 1.0", [](json& d) { d["version"] = 1.0; }, [](Library&) {}},
    {"unknown keys are ignored", [](json& d) { d["extra"] = 1; firstStory(d)["colour"] = "red"; d["edges"][0]["w"] = 2; },
     [](Library&) {}},
    {"x exactly 100000", [](json& d) { firstStory(d)["x"] = 100000; }, [](Library& l) { l.stories[0].x = 100000.0; }},
    {"y exactly -100000", [](json& d) { firstStory(d)["y"] = -100000.0; }, [](Library& l) { l.stories[0].y = -100000.0; }},
    {"published exactly the year 3000", [](json& d) { firstStory(d)["published"] = 32503680000LL; },
     [](Library& l) { l.stories[0].published = 32503680000LL; }},
    {"published fraction cut", [](json& d) { firstStory(d)["published"] = 1700000000.9; },
     [](Library& l) { l.stories[0].published = 1700000000; }},
    {"published -0.5 cut to 0", [](json& d) { firstStory(d)["published"] = -0.5; }, [](Library&) {}},
    {"title exactly 1024 bytes", [](json& d) { firstStory(d)["title"] = std::string(1024, 't'); },
     [](Library& l) { l.stories[0].title = std::string(1024, 't'); }},
    {"asset true is 1", [](json& d) { d["stories"][2]["asset"] = true; }, [](Library& l) { l.stories[2].asset = 1; }},
    {"asset false is 0", [](json& d) { d["stories"][2]["asset"] = false; }, [](Library& l) { l.stories[2].asset = 0; }},
    {"asset -1.9 cut to -1", [](json& d) { firstStory(d)["asset"] = -1.9; }, [](Library& l) { l.stories[0].asset = -1; }},
    {"kind true is 1", [](json& d) { d["edges"][0]["kind"] = true; }, [](Library&) {}},
    {"kind 2.99 cut to 2", [](json& d) { d["edges"][0]["kind"] = 2.99; }, [](Library& l) { l.links[0].kind = 2; }},
    {"lastCheck 1e300 clamps high", [](json& d) { d["lastCheck"] = 1e300; },
     [](Library& l) { l.settings.lastCheck = std::numeric_limits<std::int64_t>::max(); }},
    {"lastCheck -1e300 clamps low", [](json& d) { d["lastCheck"] = -1e300; },
     [](Library& l) { l.settings.lastCheck = std::numeric_limits<std::int64_t>::min(); }},
    {"lastCheck largest unsigned clamps", [](json& d) { d["lastCheck"] = 18446744073709551615ULL; },
     [](Library& l) { l.settings.lastCheck = std::numeric_limits<std::int64_t>::max(); }},
    {"lastCheck negative kept", [](json& d) { d["lastCheck"] = -7; }, [](Library& l) { l.settings.lastCheck = -7; }},
    {"edge written b-a is stored a-b",
     [](json& d) { std::swap(d["edges"][0]["a"], d["edges"][0]["b"]); }, [](Library&) {}},
    {"same pair twice keeps one link with the second kind",
     [](json& d) {
         json again = d["edges"][0];
         std::swap(again["a"], again["b"]);
         again["kind"] = 2;
         d["edges"].push_back(again);
     },
     [](Library& l) { l.links[0].kind = 2; }},
    {"empty stories and edges", [](json& d) { d["stories"] = json::array(); d["edges"] = json::array(); },
     [](Library& l) { l.stories.clear(); l.links.clear(); }},
};

TEST(LibraryFromJson, AcceptsBoundaryValuesWithTheirExactMeaning)
{
    for (const AcceptCase& row : ACCEPTED) {
        json document = boardDocument();
        row.change(document);
        Library expected = seedWithBoard();
        row.expected(expected);
        try {
            EXPECT_EQ(libraryFromJson(document), expected) << row.name;
        } catch (const std::exception& error) {
            ADD_FAILURE() << row.name << ": refused with " << error.what();
        }
    }
}

TEST(LibraryFromJson, KeepsTheDocumentStoryOrderWithoutSorting)
{
    json document = boardDocument();
    std::swap(document["stories"][0], document["stories"][3]);
    const Library library = libraryFromJson(document);
    ASSERT_EQ(library.stories.size(), 4u);
    EXPECT_EQ(library.stories[0].url, SEED_URL_MARS);
    EXPECT_EQ(library.stories[3].url, SEED_URL_PLATE_0);
}

TEST(LibraryFromJson, SeedLibraryRoundTripsThroughTheFileFormat)
{
    const Library seed = buildSeedLibrary();
    EXPECT_EQ(libraryFromJson(libraryToJson(seed)), seed);
    EXPECT_EQ(libraryFromJson(json::parse(libraryText(seed))), seed);
}

// ---------------------------------------------------------------------------------------------
// Number conversion: never a wrapped or undefined value.

struct NumberCase {
    const char* text;
    std::int64_t wide;
    std::int32_t narrow;
};

constexpr std::int64_t I64_MIN = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t I64_MAX = std::numeric_limits<std::int64_t>::max();
constexpr std::int32_t I32_MIN = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t I32_MAX = std::numeric_limits<std::int32_t>::max();

const NumberCase NUMBERS[] = {
    {"0", 0, 0},
    {"-0.0", 0, 0},
    {"7.9", 7, 7},
    {"-7.9", -7, -7},
    {"2147483647", 2147483647, I32_MAX},
    {"2147483648", 2147483648LL, I32_MAX},
    {"2147483647.99", 2147483647, I32_MAX},
    {"-2147483648", -2147483648LL, I32_MIN},
    {"-2147483648.9", -2147483648LL, I32_MIN},
    {"-2147483649", -2147483649LL, I32_MIN},
    {"4294967296", 4294967296LL, I32_MAX},
    {"4294967297", 4294967297LL, I32_MAX},
    {"-4294967295", -4294967295LL, I32_MIN},
    {"9223372036854775807", I64_MAX, I32_MAX},
    {"9223372036854775808", I64_MAX, I32_MAX},
    {"18446744073709551615", I64_MAX, I32_MAX},
    {"-9223372036854775808", I64_MIN, I32_MIN},
    {"-9223372036854775809", I64_MIN, I32_MIN},
    {"9.3e18", I64_MAX, I32_MAX},
    {"1e300", I64_MAX, I32_MAX},
    {"-1e300", I64_MIN, I32_MIN},
    {"32503680000.5", 32503680000LL, I32_MAX},
};

TEST(JsonNumbers, ClampsOutOfRangeValuesInsteadOfWrapping)
{
    for (const NumberCase& row : NUMBERS) {
        json value;
        try {
            value = json::parse(row.text);
        } catch (const json::exception&) {
            ADD_FAILURE() << row.text << " did not parse";
            continue;
        }
        EXPECT_EQ(jsonToInt64(value), row.wide) << row.text;
        EXPECT_EQ(jsonToInt32(value), row.narrow) << row.text;
    }
}

TEST(JsonNumbers, OnlyTheNarrowFieldsTakeBooleans)
{
    EXPECT_EQ(jsonToInt32(json(true)), 1);
    EXPECT_EQ(jsonToInt32(json(false)), 0);
    EXPECT_THROW(jsonToInt64(json(true)), json::type_error);
    EXPECT_THROW(jsonToDouble(json(true)), json::type_error);
    EXPECT_THROW(jsonToInt32(json("1")), json::type_error);
    EXPECT_THROW(jsonToInt64(json(nullptr)), json::type_error);
}

// ---------------------------------------------------------------------------------------------
// Reading files.

TEST(ReadLibraryFile, RefusesOneByteOverTheLimitWithoutParsing)
{
    TempFolder folder;
    // Not JSON at all: a parse would raise the library's parse error, not the size reason.
    const std::wstring path = folder.file(L"big.json");
    ASSERT_TRUE(writeBytes(path, std::string(16777217, '#')));
    EXPECT_EQ(refusalOf([&] { readLibraryFile(path); }), "Cannot read data");
}

TEST(ReadLibraryFile, ParsesAFileOfExactlySixteenMebibytes)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"exact.json");
    std::string text = libraryText(seedWithBoard());
    text.append(16777216 - text.size(), ' ');  // white space after the value is allowed
    ASSERT_TRUE(writeBytes(path, text));
    EXPECT_EQ(readLibraryFile(path), seedWithBoard());

    text.back() = '#';  // same size, now broken: proves this size reaches the parser
    ASSERT_TRUE(writeBytes(path, text));
    EXPECT_EQ(refusalOf([&] { readLibraryFile(path); }), "json 101");
}

TEST(ReadLibraryFile, MissingFileOrFolderCannotBeRead)
{
    TempFolder folder;
    EXPECT_EQ(refusalOf([&] { readLibraryFile(folder.file(L"absent.json")); }), "Cannot read data");
    EXPECT_EQ(refusalOf([&] { readLibraryFile(folder.path); }), "Cannot read data");
}

TEST(ReadLibraryFile, SkipsByteOrderMarkButRefusesCommentsAndTrailingText)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"library.json");
    const std::string text = libraryText(seedWithBoard());

    ASSERT_TRUE(writeBytes(path, "\xEF\xBB\xBF" + text));
    EXPECT_EQ(readLibraryFile(path), seedWithBoard());

    ASSERT_TRUE(writeBytes(path, "// note\n" + text));
    EXPECT_EQ(refusalOf([&] { readLibraryFile(path); }), "json 101");

    ASSERT_TRUE(writeBytes(path, text + "\n{}"));
    EXPECT_EQ(refusalOf([&] { readLibraryFile(path); }), "json 101");

    ASSERT_TRUE(writeBytes(path, text.substr(0, text.size() / 2)));
    EXPECT_EQ(refusalOf([&] { readLibraryFile(path); }), "json 101");
}

TEST(ReadLibraryFile, RefusesInvalidUtf8InTheFileAsAParseError)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"library.json");
    std::string text = libraryText(buildSeedLibrary());
    text.replace(text.find("NGC"), 1, "\xFF");
    ASSERT_TRUE(writeBytes(path, text));
    EXPECT_EQ(refusalOf([&] { readLibraryFile(path); }), "json 101");
}

}  // namespace
