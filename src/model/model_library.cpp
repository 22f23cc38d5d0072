// Story identity, lookup and order, and the board operations on pins and links.
#include "model/model.h"

#include <algorithm>
#include <cstdio>

std::string storyIdFromUrl(std::string_view url)
{
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (unsigned char byte : url) {
        hash ^= byte;
        hash *= 0x100000001b3ULL;
    }
    char text[17];
    std::snprintf(text, sizeof(text), "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

Story* findStory(Library& library, std::string_view id)
{
    for (Story& story : library.stories)
        if (story.id == id)
            return &story;
    return nullptr;
}

const Story* findStory(const Library& library, std::string_view id)
{
    return findStory(const_cast<Library&>(library), id);
}

bool isLocalStory(const Story& story)
{
    return story.asset >= 0 || story.source == FIELD_NOTE_SOURCE;
}

bool storyOrder(const Story& s, const Story& t)
{
    const bool sLocal = isLocalStory(s), tLocal = isLocalStory(t);
    if (sLocal != tLocal)
        return !sLocal;
    if (!sLocal)
        return s.published > t.published;
    return false;
}

void sortStories(std::vector<Story>& stories)
{
    std::stable_sort(stories.begin(), stories.end(), storyOrder);
}

bool addLink(Library& library, std::string_view a, std::string_view b, std::int32_t kind)
{
    const Story* first = findStory(library, a);
    const Story* second = findStory(library, b);
    if (first == nullptr || second == nullptr || !first->saved || !second->saved)
        return false;
    if (a == b)
        return false;
    if (static_cast<std::uint32_t>(kind) > 2)
        return false;
    if (a > b)
        std::swap(a, b);
    for (Link& link : library.links) {
        if (link.a == a && link.b == b) {
            link.kind = kind;
            return true;
        }
    }
    if (library.links.size() >= MAX_LINKS)
        return false;
    library.links.push_back(Link{std::string(a), std::string(b), kind});
    return true;
}

std::size_t pruneLinks(Library& library)
{
    auto broken = [&](const Link& link) {
        const Story* first = findStory(library, link.a);
        const Story* second = findStory(library, link.b);
        return first == nullptr || second == nullptr || !first->saved || !second->saved || link.a == link.b;
    };
    const auto kept = std::stable_partition(library.links.begin(), library.links.end(),
                                            [&](const Link& link) { return !broken(link); });
    const std::size_t removed = static_cast<std::size_t>(library.links.end() - kept);
    library.links.erase(kept, library.links.end());
    return removed;
}

void removeLinksOf(Library& library, std::string_view id)
{
    std::erase_if(library.links, [&](const Link& link) { return link.a == id || link.b == id; });
}

BoardPoint boardGridSlot(std::size_t pinnedCount)
{
    const std::size_t index = pinnedCount == 0 ? 0 : pinnedCount - 1;
    return BoardPoint{static_cast<double>((index % BOARD_GRID_COLUMNS) * BOARD_GRID_DX),
                      static_cast<double>((index / BOARD_GRID_COLUMNS) * BOARD_GRID_DY)};
}

bool togglePin(Library& library, Story& story)
{
    story.saved = !story.saved;
    if (story.saved) {
        const auto pinned = std::count_if(library.stories.begin(), library.stories.end(),
                                          [](const Story& s) { return s.saved; });
        const BoardPoint slot = boardGridSlot(static_cast<std::size_t>(pinned));
        story.x = slot.x;
        story.y = slot.y;
    }
    pruneLinks(library);
    return story.saved;
}
