// What the kill test and its save-loop child agree on: the library of a generation and the shared
// record through which the child reports how far it got.
#pragma once

#include "model/model.h"

#include <cstdint>
#include <string>

inline constexpr std::size_t KILL_TEST_STORIES = 300;

// Written by the child only after storeLibrary returned for that generation.
struct SaveLoopRecord {
    volatile std::int64_t started;    // generation being saved now
    volatile std::int64_t completed;  // last generation whose save returned true
};

// Every story carries text of a realistic size; the generation lives in one note and in lastCheck,
// so a library read back can say which save it came from. Every other generation has long bodies,
// large enough to be written while it is printed, so kills land in that kind of save too.
inline Library killTestLibrary(std::int64_t generation)
{
    const std::size_t bodyBytes = generation % 2 != 0 ? 20000 : 600;
    Library library;
    library.stories.reserve(KILL_TEST_STORIES);
    for (std::size_t index = 0; index < KILL_TEST_STORIES; ++index) {
        Story story;
        story.url = "https://www.nasa.gov/news-release/kill-test-" + std::to_string(index) + "/";
        story.id = storyIdFromUrl(story.url);
        story.title = "Field observation number " + std::to_string(index);
        story.body = std::string(bodyBytes, 'a' + static_cast<char>(index % 26)) + "\n\n" + std::string(200, 'z');
        story.source = "NASA";
        story.published = 1700000000 + static_cast<std::int64_t>(index) * 3600;
        library.stories.push_back(std::move(story));
    }
    library.stories[7].note = "generation " + std::to_string(generation);
    library.settings.lastCheck = generation;
    return library;
}
