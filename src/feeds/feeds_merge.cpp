// Merging fetched stories into the library's list: new ones in front, unkept ones refreshed, kept and
// local ones untouched, room made from 500 stories on by evicting a disposable story, then the Discover order.
#include "feeds/feeds.h"

#include <algorithm>

bool isDisposableStory(const Story& story)
{
    return !story.saved && story.note.empty() && story.asset < 0 && story.source != FIELD_NOTE_SOURCE;
}

std::int32_t mergeFetchedStories(std::vector<Story>& stories, const std::vector<Story>& fetched)
{
    std::int32_t added = 0;
    for (const Story& incoming : fetched) {
        const auto known = std::find_if(stories.begin(), stories.end(),
                                        [&](const Story& stored) { return stored.id == incoming.id; });
        if (known != stories.end()) {
            // Pinned stories, image stories and field notes belong to the user as they are: a field note
            // may cite the very page a feed item links to, and shares its id.
            if (!known->saved && !isLocalStory(*known)) {
                known->title = incoming.title;
                known->body = incoming.body;
                known->published = incoming.published;
            }
            continue;
        }
        if (stories.size() >= MERGE_STORY_LIMIT) {
            const auto last = std::find_if(stories.rbegin(), stories.rend(), isDisposableStory);
            if (last == stories.rend())
                continue;  // nothing may go, so the new story is dropped
            stories.erase(std::next(last).base());
        }
        stories.insert(stories.begin(), incoming);
        ++added;
    }
    sortStories(stories);
    return added;
}
