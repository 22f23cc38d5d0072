// The data folders the program is started with: the seed collection, and a library at its limits
// (600 stories, every text as long as the file limit allows, all on the board, 2000 links).
#include "window_bench.h"

#include "common/bench_text.h"
#include "persistence/persistence.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace bench {

namespace {

using bench_text::filler;

// The longest body in code units: one byte per character, in paragraphs as the feeds deliver them.
std::string longestBody()
{
    const std::string sentence = "Observations continue across the basin as the survey ship crosses the shelf. ";
    std::string text;
    for (int n = 1; text.size() < BODY_LIMIT; ++n)
        text += n % 6 == 0 ? sentence + "\n\n" : sentence;
    text.resize(BODY_LIMIT);
    return text;
}

std::string storyUrl(std::size_t index)
{
    std::string url = "https://www.nasa.gov/news-release/window-bench-" + std::to_string(index) + "/";
    url.append(URL_LIMIT - url.size(), 'p');
    return url;
}

Library maximalLibrary(std::size_t bodyBytes)
{
    Library library;
    const std::string big = longestBody();
    for (unsigned i = 0; i < MAX_STORIES; ++i) {
        const std::string url = storyUrl(i);
        makeSeedStory(library, filler(TITLE_LIMIT, i), i == BIG_STORY_INDEX ? big : filler(bodyBytes, i + 1000), url,
                      -1, filler(SOURCE_LIMIT, i + 2000), 1700000000 - static_cast<std::int64_t>(i) * 60);
        Story& story = library.stories.back();
        // Line breaks as the note editor writes them: a note is shown there with CR LF and compared
        // on commit, so a bare LF would count as an edit of every note the bench passes.
        story.note = filler(NOTE_LIMIT, i + 3000, "\r\n\r\n");
        story.saved = true;
        // A grid that the board's widest view shows nearly whole, and its opening view shows crowded.
        story.x = static_cast<double>(i % 25) * 120.0;
        story.y = static_cast<double>(i / 25) * 70.0;
    }
    for (std::size_t step = 1; library.links.size() < MAX_LINKS; ++step)
        for (std::size_t i = 0; i < MAX_STORIES && library.links.size() < MAX_LINKS; ++i)
            addLink(library, library.stories[i].id, library.stories[(i + step) % MAX_STORIES].id,
                    static_cast<std::int32_t>((i + step) % 3));
    return library;
}

std::wstring libraryPath()
{
    CreateDirectoryW(ui::uiDataFolder().c_str(), nullptr);
    return ui::dataFile(L"library.json");
}

}  // namespace

std::string maximalStoryId(std::size_t index)
{
    return storyIdFromUrl(storyUrl(index));
}

bool writeSeedLibrary()
{
    return storeLibrary(buildSeedLibrary(), libraryPath());
}

FirstTexts firstStoryTexts()
{
    try {
        const Library library = readLibraryFile(libraryPath());
        if (!library.stories.empty())
            return {library.stories.front().body.size(), library.stories.front().note.size()};
    } catch (const std::exception&) {
        // no texts: the diagnostic then fills none
    }
    return {};
}

bool writeMaximalLibrary()
{
    try {
        // Every text at its limit would print to more than the reader accepts: the bodies of the
        // other stories take the room that is left.
        std::size_t bodyBytes = BODY_LIMIT;
        Library library = maximalLibrary(bodyBytes);
        std::string text = libraryText(library);
        while (text.size() > LIBRARY_FILE_LIMIT) {
            const std::size_t over = (text.size() - LIBRARY_FILE_LIMIT) / (MAX_STORIES - 1) + 64;
            bodyBytes -= std::min(bodyBytes, over);
            library = maximalLibrary(bodyBytes);
            text = libraryText(library);
        }
        std::printf("library: %zu stories, %zu links, story %zu with a %zu-byte body, the others %zu bytes, "
                    "file %zu bytes\n",
                    library.stories.size(), library.links.size(), BIG_STORY_INDEX + 1, BODY_LIMIT, bodyBytes,
                    text.size());
        return storeLibrary(library, libraryPath());
    } catch (const Failure& failure) {
        std::printf("the maximal library could not be made: %s\n", failure.reason());
        return false;
    }
}

}  // namespace bench
