// The exact text of a written library, checked against a document typed out from the format rules,
// and the guarantee that reading it back and writing again changes no byte.
#include "persistence/persistence.h"

#include <gtest/gtest.h>

namespace {

// A small board: the seed collection, its first two stories pinned, the first with a note full of
// characters that need escaping and with x = -123.5, one Evidence link, hourly checks on.
Library goldenLibrary()
{
    Library library = buildSeedLibrary();
    togglePin(library, library.stories[0]);
    togglePin(library, library.stories[1]);
    library.stories[0].x = -123.5;
    library.stories[0].note = "Gr\xC3\xB6\xC3\x9F" "e, caf\xC3\xA9 \xF0\x9F\x94\xAD: \"rim\"\tvs\\dust\n\x01\x1F\b\f\r end";
    addLink(library, library.stories[0].id, library.stories[1].id, 1);
    library.settings.automatic = true;
    return library;
}

// Typed by hand: keys in byte order, two-space indentation, LF line ends, no LF after the last brace,
// x and y as floating-point numbers, the ids being FNV-1a of the seed URLs.
const char* const GOLDEN_TEXT = R"golden({
  "automatic": true,
  "edges": [
    {
      "a": "3124d8a36fa4b343",
      "b": "771406aa481f997f",
      "kind": 1
    }
  ],
  "format": "Kestrune",
  "lastCheck": 0,
  "notifications": false,
  "stories": [
    {
      "asset": 0,
      "body": "Webb's infrared instruments reveal young stars along the edge of NGC 3324. Radiation and stellar winds from massive newborn stars sculpt the surrounding gas into ridges and cavities. Open the Evidence atlas to inspect the full 14,575 by 8,441 pixel image offline.\n\nObservation prompt: follow the illuminated rim and compare it with the darker material behind it. A bright feature alone is not evidence of a new star. This is an introductory archive story, not a new alert.",
      "id": "771406aa481f997f",
      "note": "Größe, café 🔭: \"rim\"\tvs\\dust\n\u0001\u001f\b\f\r end",
      "published": 0,
      "saved": true,
      "source": "NASA / Webb",
      "title": "A stellar nursery, seen through dust",
      "url": "https://svs.gsfc.nasa.gov/31285/",
      "x": -123.5,
      "y": 0.0
    },
    {
      "asset": 1,
      "body": "Near-infrared and mid-infrared observations show different features within the Cosmic Cliffs. The combined panorama draws attention to dusty regions, jets and newly forming stars that one view alone would not separate.\n\nOpen the second atlas plate at full resolution, then link this story to the stellar nursery card to record a shared observation method. Remember that colour in telescope composites represents selected wavelength bands, not natural colour.",
      "id": "3124d8a36fa4b343",
      "note": "",
      "published": 0,
      "saved": true,
      "source": "NASA / Webb",
      "title": "Two instruments, one evolving landscape",
      "url": "https://svs.gsfc.nasa.gov/31285/#media_group_374329",
      "x": 335.0,
      "y": 0.0
    },
    {
      "asset": -1,
      "body": "Ocean exploration uses mapping, water sampling, and remotely operated vehicles to investigate places that remain poorly observed. A map gives context; a close-up observation tests an idea.\n\nUse this starter card to connect an ocean research report with a space observation: both depend on instruments, sampling choices and uncertainty. Refresh the official NOAA research feed for source-provided reports. This introductory field note is written for Kestrune and is not a current expedition bulletin.",
      "id": "2bb48ab1ac7afd49",
      "note": "",
      "published": 0,
      "saved": false,
      "source": "Kestrune field note",
      "title": "Ocean expeditions begin with a question",
      "url": "https://oceanexplorer.noaa.gov/",
      "x": 0.0,
      "y": 0.0
    },
    {
      "asset": -1,
      "body": "NASA's Perseverance mission explores the geology of Jezero crater and collects carefully selected samples. Individual observations become more useful when they are connected to their location and geologic context.\n\nSave this starter story and connect it to later mission reports, and record your own question in the note field. The linked mission page is the primary source; Kestrune does not infer discoveries from image appearance alone.",
      "id": "ceddf44ea43731fa",
      "note": "",
      "published": 0,
      "saved": false,
      "source": "Kestrune field note",
      "title": "Following a robotic expedition to Mars",
      "url": "https://science.nasa.gov/mission/mars-2020-perseverance/",
      "x": 0.0,
      "y": 0.0
    }
  ],
  "version": 1
})golden";

TEST(LibraryText, WritesTheDocumentByteForByteAsTheFormatPrescribes)
{
    EXPECT_EQ(libraryText(goldenLibrary()), GOLDEN_TEXT);
}

TEST(LibraryText, ReadingTheGoldenTextBackGivesTheSameLibraryAndTheSameBytes)
{
    const Library read = libraryFromJson(nlohmann::json::parse(GOLDEN_TEXT));
    EXPECT_EQ(read, goldenLibrary());
    EXPECT_EQ(libraryText(read), GOLDEN_TEXT);
}

TEST(LibraryText, EmptyLibraryWritesEmptyArraysAndVersionAsInteger)
{
    const char* const expected = R"({
  "automatic": false,
  "edges": [],
  "format": "Kestrune",
  "lastCheck": -42,
  "notifications": true,
  "stories": [],
  "version": 1
})";
    Library library;
    library.settings.notifications = true;
    library.settings.lastCheck = -42;
    EXPECT_EQ(libraryText(library), expected);
}

TEST(LibraryText, RefusesToPrintInvalidUtf8InsteadOfReplacingIt)
{
    Library library = buildSeedLibrary();
    library.stories[2].note = "broken \xFF byte";
    try {
        libraryText(library);
        FAIL() << "printed invalid UTF-8";
    } catch (const Failure& failure) {
        EXPECT_STREQ(failure.reason(), "Invalid UTF-8");
    }
}

}  // namespace
