// The built-in seed collection: two image stories of the Evidence atlas and two field notes, the
// library of a first start and of a recovery run. Built in code; nothing is read from disk.
#include "model/model.h"

namespace {

constexpr std::string_view WEBB_SOURCE = "NASA / Webb";

constexpr std::string_view NURSERY_BODY =
    "Webb's infrared instruments reveal young stars along the edge of NGC 3324. Radiation and stellar winds "
    "from massive newborn stars sculpt the surrounding gas into ridges and cavities. Open the Evidence atlas "
    "to inspect the full 14,575 by 8,441 pixel image offline.\n\n"
    "Observation prompt: follow the illuminated rim and compare it with the darker material behind it. A "
    "bright feature alone is not evidence of a new star. This is an introductory archive story, not a new "
    "alert.";

constexpr std::string_view CLIFFS_BODY =
    "Near-infrared and mid-infrared observations show different features within the Cosmic Cliffs. The "
    "combined panorama draws attention to dusty regions, jets and newly forming stars that one view alone "
    "would not separate.\n\n"
    "Open the second atlas plate at full resolution, then link this story to the stellar nursery card to "
    "record a shared observation method. Remember that colour in telescope composites represents selected "
    "wavelength bands, not natural colour.";

constexpr std::string_view OCEAN_BODY =
    "Ocean exploration uses mapping, water sampling, and remotely operated vehicles to investigate places "
    "that remain poorly observed. A map gives context; a close-up observation tests an idea.\n\n"
    "Use this starter card to connect an ocean research report with a space observation: both depend on "
    "instruments, sampling choices and uncertainty. Refresh the official NOAA research feed for "
    "source-provided reports. This introductory field note is written for Kestrune and is not a current "
    "expedition bulletin.";

constexpr std::string_view MARS_BODY =
    "NASA's Perseverance mission explores the geology of Jezero crater and collects carefully selected "
    "samples. Individual observations become more useful when they are connected to their location and "
    "geologic context.\n\n"
    "Save this starter story and connect it to later mission reports, and record your own question in the "
    "note field. The linked mission page is the primary source; Kestrune does not infer discoveries from "
    "image appearance alone.";

}  // namespace

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
    makeSeedStory(library, "A stellar nursery, seen through dust", NURSERY_BODY, SEED_URL_PLATE_0, 0, WEBB_SOURCE, 0);
    makeSeedStory(library, "Two instruments, one evolving landscape", CLIFFS_BODY, SEED_URL_PLATE_1, 1, WEBB_SOURCE,
                  0);
    makeSeedStory(library, "Ocean expeditions begin with a question", OCEAN_BODY, SEED_URL_OCEAN, -1,
                  FIELD_NOTE_SOURCE, 0);
    makeSeedStory(library, "Following a robotic expedition to Mars", MARS_BODY, SEED_URL_MARS, -1, FIELD_NOTE_SOURCE,
                  0);
    return library;
}
