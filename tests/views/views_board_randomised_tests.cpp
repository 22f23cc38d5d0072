// The board operations as random sequences (pin, unpin, link, re-kind, clear, prune, undo): after
// every step the library is one the reader accepts, so every library invariant still holds.
#include "persistence/persistence.h"
#include "views/views.h"
#include "../randomised_support.h"

#include <gtest/gtest.h>

namespace {

Library boardLibrary()
{
    Library library = buildSeedLibrary();
    for (int i = 0; i < 20; ++i)
        makeSeedStory(library, "Card " + std::to_string(i), "Body.", "https://www.nasa.gov/news/card-" + std::to_string(i),
                      -1, "NASA", 1700000000 + i);
    return library;
}

// Empty when the library reads back as itself, else why not.
std::string invariantProblem(const Library& library)
{
    try {
        return readLibraryText(libraryText(library)) == library ? std::string() : "reads back different";
    } catch (const std::exception& error) {
        return error.what();
    }
}

}  // namespace

TEST(RandomisedBoard, EveryStepKeepsTheLibraryInvariants)
{
    const std::uint64_t seed = seedFromEnvironment();
    Random random{seed};
    const int steps = static_cast<int>(casesFromEnvironment(20000));
    long long failures = 0;
    Library library = boardLibrary();
    Library snapshot = library;
    const auto anyId = [&]() -> std::string {
        if (random.percent(5))
            return random.percent(50) ? "0000000000000000" : "";
        return library.stories[random.below(library.stories.size())].id;
    };
    for (int step = 0; step < steps; ++step) {
        const std::size_t operation = random.below(7);
        if (operation <= 2)
            snapshot = library;  // the edits that can be undone take the snapshot first
        switch (operation) {
        case 0:
            togglePin(library, library.stories[random.below(library.stories.size())]);
            break;
        case 1:
            addLink(library, anyId(), anyId(), static_cast<std::int32_t>(random.below(5)) - 1);
            break;
        case 2:
            removeLinksOf(library, anyId());
            break;
        case 3:
            pruneLinks(library);
            break;
        case 4:
            restoreBoardEdit(library, snapshot);
            break;
        case 5: {  // a drag, somewhere on or at the edge of the board
            Story& story = library.stories[random.below(library.stories.size())];
            story.x = static_cast<double>(random.below(200001)) - 100000.0;
            story.y = static_cast<double>(random.below(200001)) - 100000.0;
            break;
        }
        default:  // many pinned cards at once, so links can pile up
            for (Story& story : library.stories)
                if (!story.saved && random.percent(30))
                    togglePin(library, story);
            break;
        }
        const std::string problem = invariantProblem(library);
        if (!problem.empty() && ++failures <= 5)
            ADD_FAILURE() << "step " << step << " (operation " << operation << ", seed " << seed << "): " << problem;
    }
    reportRandomised("board", steps, failures, seed);
    EXPECT_EQ(failures, 0);
}
