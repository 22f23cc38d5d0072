// The library reader under randomised input: valid libraries mutated with their structure in mind
// (keys dropped, doubled, reordered, retyped; numbers and strings at and past every limit; broken
// UTF-8 and surrogates; nesting far past any limit), every truncation, and raw byte damage.
#include "persistence/persistence.h"
#include "persistence_test_support.h"
#include "../randomised_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

using OrderedJson = nlohmann::ordered_json;

const std::set<std::string> READER_REASONS = {"Unsupported file", "Story limit", "Invalid story", "Edge limit",
                                              "Invalid edge",     "Unsupported text", "Invalid UTF-8",
                                              "Invalid UTF-16",   "Cannot read data"};

// A library that uses every field: pinned cards and links of each kind, a field note, the image
// stories, notes with accents, board positions off the grid.
Library richLibrary()
{
    Library library = seedWithBoard();
    for (int i = 0; i < 24; ++i)
        makeSeedStory(library, "Observation \xC3\xA9t\xC3\xA9 " + std::to_string(i), "Body line one.\n\nTwo.",
                      "https://www.noaa.gov/news/item-" + std::to_string(i), -1, i % 5 == 0 ? "Kestrune field note" : "NOAA",
                      1700000000 + i * 7919);
    for (std::size_t i = 0; i < library.stories.size(); i += 3) {
        library.stories[i].note = "Seen at dawn \xE2\x80\x94 gr\xC3\xBC\xC3\x9F" "e " + std::to_string(i);
        togglePin(library, library.stories[i]);
        library.stories[i].x += 0.25 * static_cast<double>(i);
    }
    for (std::size_t i = 0; i + 3 < library.stories.size(); i += 3)
        addLink(library, library.stories[i].id, library.stories[i + 3].id, static_cast<std::int32_t>(i % 3));
    library.settings = {.automatic = true, .notifications = false, .lastCheck = 1733000000};
    return library;
}

// Nodes replaced by raw text are marked with a string no document holds, then spliced in.
struct RawSplice {
    std::vector<std::string> pieces;

    OrderedJson mark(std::string raw)
    {
        pieces.push_back(std::move(raw));
        return "\x01raw" + std::to_string(pieces.size() - 1) + "\x01";
    }
    std::string apply(std::string text) const
    {
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            const std::string marker = "\"\\u0001raw" + std::to_string(i) + "\\u0001\"";
            const std::size_t at = text.find(marker);
            if (at != std::string::npos)
                text.replace(at, marker.size(), pieces[i]);
        }
        return text;
    }
};

// Every node of the document with the key it sits under ("" for array elements and the root).
void collectNodes(OrderedJson& node, const std::string& key, std::vector<std::pair<OrderedJson*, std::string>>& out)
{
    out.emplace_back(&node, key);
    if (node.is_object()) {
        for (auto& [name, child] : node.items())
            collectNodes(child, name, out);
    } else if (node.is_array()) {
        for (auto& child : node)
            collectNodes(child, "", out);
    }
}

std::size_t limitOf(const std::string& key)
{
    if (key == "id")
        return ID_LIMIT;
    if (key == "title")
        return TITLE_LIMIT;
    if (key == "body")
        return BODY_LIMIT;
    if (key == "url")
        return URL_LIMIT;
    if (key == "source")
        return SOURCE_LIMIT;
    return NOTE_LIMIT;
}

const char* const EDGE_NUMBERS[] = {"1e300",      "-1e300",     "-0",          "-0.0",          "9007199254740993",
                                    "4294967297", "4294967296", "2147483648",  "-2147483649",   "100000",
                                    "100000.5",   "-100000",    "1e5",         "32503680000",   "32503680001",
                                    "-1",         "0.5",        "2",           "3",             "18446744073709551616",
                                    "1e-400",     "1.0",        "0",           "-9223372036854775809"};
const char* const BROKEN_STRINGS[] = {"\"\xC3\x28\"",         "\"\xED\xA0\x80\"",     "\"\xF4\x90\x80\x80\"",
                                      "\"\xC0\xAF\"",         "\"\\ud800\"",          "\"\\udc00x\"",
                                      "\"\\ud800\\u0041\"",   "\"\\u0416\"",          "\"\\u0000\"",
                                      "\"\xD0\x9F\xD1\x80\"", "\"\\ud83d\\ude00\"",   "\"\xE2\x82\""};

OrderedJson randomValue(Random& random)
{
    switch (random.below(6)) {
    case 0:  return nullptr;
    case 1:  return random.percent(50);
    case 2:  return static_cast<std::int64_t>(random.next() >> random.below(64));
    case 3:  return std::string(random.below(8), 'q');
    case 4:  return OrderedJson::array();
    default: return OrderedJson::object();
    }
}

std::string mutate(const std::string& base, Random& random)
{
    OrderedJson document = OrderedJson::parse(base);
    std::vector<std::pair<OrderedJson*, std::string>> nodes;
    RawSplice raw;
    const int edits = 1 + static_cast<int>(random.below(3));
    for (int edit = 0; edit < edits; ++edit) {
        // Any edit may free nodes below the one it changes, so the list is taken afresh each time.
        nodes.clear();
        collectNodes(document, "", nodes);
        auto [node, key] = nodes[random.below(nodes.size())];
        if (!node->is_string() || node->get_ref<const std::string&>().rfind("\x01raw", 0) != 0) {
            switch (random.below(9)) {
            case 0:  // a key dropped
                if (node->is_object() && !node->empty()) {
                    auto member = node->begin();
                    std::advance(member, static_cast<std::ptrdiff_t>(random.below(node->size())));
                    node->erase(member.key());
                }
                break;
            case 1:  // a key doubled: the second value wins or is refused, never half of each
                if (node->is_object() && !node->empty()) {
                    auto member = node->begin();
                    std::advance(member, static_cast<std::ptrdiff_t>(random.below(node->size())));
                    std::string text = node->dump();
                    text.insert(1, OrderedJson(member.key()).dump() + ":" + randomValue(random).dump() + ",");
                    *node = raw.mark(text);
                }
                break;
            case 2:  // keys reordered
                if (node->is_object() && node->size() > 1) {
                    std::vector<std::pair<std::string, OrderedJson>> members;
                    for (auto& [name, value] : node->items())
                        members.emplace_back(name, value);
                    for (std::size_t i = members.size() - 1; i > 0; --i)
                        std::swap(members[i], members[random.below(i + 1)]);
                    OrderedJson shuffled = OrderedJson::object();
                    for (auto& [name, value] : members)
                        shuffled[name] = std::move(value);
                    *node = std::move(shuffled);
                }
                break;
            case 3:  // retyped
                *node = randomValue(random);
                break;
            case 4:  // a number at or past a limit
                *node = raw.mark(random.pick(EDGE_NUMBERS));
                break;
            case 5:  // a string at or just past its length, the last character possibly split
                if (node->is_string()) {
                    const std::size_t limit = limitOf(key);
                    std::string text = key == "url" ? "https://www.nasa.gov/" : "";
                    const bool wide = random.percent(50);
                    while (text.size() < limit - 1)
                        text += wide ? "\xC3\xA9" : "a";
                    text.resize(limit + random.below(2) - (random.percent(30) ? 1 : 0));
                    *node = raw.mark("\"" + text + "\"");
                }
                break;
            case 6:  // broken UTF-8, surrogates, refused blocks
                *node = raw.mark(random.pick(BROKEN_STRINGS));
                break;
            case 7: {  // nesting far past any limit
                const std::size_t depth = random.percent(2) ? 100000 : 1 + random.below(600);
                *node = raw.mark(std::string(depth, '[') + std::string(depth, ']'));
                break;
            }
            default:  // a story or link repeated
                if (node->is_array() && !node->empty())
                    node->push_back((*node)[random.below(node->size())]);
                break;
            }
        }
    }
    return raw.apply(document.dump(random.percent(50) ? 2 : -1));
}

std::string damage(std::string text, Random& random)
{
    const int hits = 1 + static_cast<int>(random.below(4));
    for (int hit = 0; hit < hits && !text.empty(); ++hit) {
        const std::size_t at = random.below(text.size());
        switch (random.below(3)) {
        case 0:  text[at] = static_cast<char>(random.next()); break;
        case 1:  text.erase(at, 1 + random.below(8)); break;
        default: text.insert(at, 1, static_cast<char>(random.next())); break;
        }
    }
    return text;
}

// Empty when the reader behaved: it refused with a known reason, or what it accepted prints to a
// text that reads back to the same library and the same bytes.
std::string verdict(const std::string& text)
{
    try {
        const Library library = readLibraryText(text);
        const std::string printed = libraryText(library);
        const Library again = readLibraryText(printed);
        if (!(again == library) || libraryText(again) != printed)
            return "an accepted library did not survive printing and reading";
        if (library.stories.size() > MAX_STORIES || library.links.size() > MAX_LINKS)
            return "an accepted library is past a limit";
        return {};
    } catch (const Failure& failure) {
        return READER_REASONS.count(failure.what()) ? std::string() : std::string("unknown reason: ") + failure.what();
    } catch (const nlohmann::json::exception&) {
        return {};  // the JSON library's own parse, type and missing-key errors
    } catch (const std::exception& error) {
        return std::string("unexpected exception: ") + error.what();
    }
}

}  // namespace

TEST(RandomisedLibraryReader, RefusesWithAKnownReasonOrReadsBackByteIdentical)
{
    const std::uint64_t seed = seedFromEnvironment();
    Random random{seed};
    const std::string bases[] = {libraryText(richLibrary()), libraryText(seedWithBoard()), libraryText(Library{})};
    long long cases = 0, failures = 0;
    const auto check = [&](const std::string& text, const char* kind) {
        ++cases;
        const std::string problem = verdict(text);
        if (!problem.empty() && ++failures <= 5)
            ADD_FAILURE() << kind << " case " << cases << " (seed " << seed << "): " << problem << "\n"
                          << text.substr(0, 400);
    };

    // Every truncation of the small seed document, and of the rich one at every element boundary.
    for (std::size_t length = 0; length < bases[1].size(); ++length)
        check(bases[1].substr(0, length), "truncated");
    for (std::size_t length = 0; length < bases[0].size(); ++length)
        if (std::string_view(",{[\"").find(bases[0][length]) != std::string_view::npos)
            check(bases[0].substr(0, length), "truncated");

    const int mutated = static_cast<int>(casesFromEnvironment(20000));
    for (int i = 0; i < mutated; ++i) {
        const std::string& base = bases[random.below(std::size(bases))];
        const std::string text = mutate(base, random);
        check(random.percent(20) ? damage(text, random) : text, "mutated");
    }
    reportRandomised("library-reader", cases, failures, seed);
    EXPECT_EQ(failures, 0);
}
