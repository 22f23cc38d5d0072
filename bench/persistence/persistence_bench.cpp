// Save and load of a library at the limits (600 stories with full texts, 2000 links, a file just
// under 16 MiB), each as a ratio to a baseline measured in the same run: the save against writing
// and flushing the same bytes raw, the load against a bare JSON parse of the same text.
#include "common/bench_text.h"
#include "persistence/persistence.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

namespace {

// A flush on a shared machine's disk varies a great deal from one run to the next, so many runs.
constexpr int REPETITIONS = 31;
constexpr int WARM_UP = 5;
constexpr DWORD PAUSE_MS = 30;
constexpr double SAVE_TARGET = 1.3;
constexpr double LOAD_TARGET = 2.0;

using bench_text::filler;

Library maximalLibrary(std::size_t bodyBytes)
{
    Library library;
    for (unsigned i = 0; i < MAX_STORIES; ++i) {
        std::string url = "https://www.nasa.gov/news-release/" + std::to_string(i) + "/";
        url.append(URL_LIMIT - url.size(), 'p');
        makeSeedStory(library, filler(TITLE_LIMIT, i), filler(bodyBytes, i + 1000), url, -1,
                      filler(SOURCE_LIMIT, i + 2000), 1700000000 + i);
        Story& story = library.stories.back();
        story.note = filler(NOTE_LIMIT, i + 3000);
        story.saved = true;
        story.x = -99000.25 + i * 17.5;
        story.y = 335.0 * (i % 7);
    }
    for (std::size_t step = 1; library.links.size() < MAX_LINKS; ++step)
        for (std::size_t i = 0; i < MAX_STORIES && library.links.size() < MAX_LINKS; ++i)
            addLink(library, library.stories[i].id, library.stories[(i + step) % MAX_STORIES].id,
                    static_cast<std::int32_t>((i + step) % 3));
    return library;
}

struct Pair {
    double subject;   // median, ms
    double baseline;  // median, ms
};

// Alternates the two, so that load from other processes falls on both alike. A pause follows each
// run: what a run leaves the disk to do (a save frees the older backup after it returns) is done
// before the next is timed, and does not slow it.
Pair medianPair(const std::function<void()>& subject, const std::function<void()>& baseline)
{
    std::vector<double> subjectTimes, baselineTimes;
    auto timed = [](const std::function<void()>& work) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        Sleep(PAUSE_MS);
        return ms;
    };
    // The first runs after a change of work are slower, while the disk settles.
    for (int i = 0; i < WARM_UP; ++i) {
        timed(baseline);
        timed(subject);
    }
    for (int i = 0; i < REPETITIONS; ++i) {
        baselineTimes.push_back(timed(baseline));
        subjectTimes.push_back(timed(subject));
    }
    std::sort(subjectTimes.begin(), subjectTimes.end());
    std::sort(baselineTimes.begin(), baselineTimes.end());
    return Pair{subjectTimes[REPETITIONS / 2], baselineTimes[REPETITIONS / 2]};
}

bool writeRaw(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)
                 && written == bytes.size() && FlushFileBuffers(file);
    return CloseHandle(file) && ok;
}

}  // namespace

int main()
{
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, base);
    const std::wstring folder = std::wstring(base) + L"kestrune-persistence-bench-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring libraryPath = joinPath(folder, L"library.json");
    const std::wstring rawPath = joinPath(folder, L"raw.json");

    // Every text at its limit would print to about 22 MB, more than the reader accepts; titles, URLs,
    // sources and notes stay at their limits and the bodies take the room that is left.
    std::size_t bodyBytes = BODY_LIMIT;
    Library library = maximalLibrary(bodyBytes);
    std::string text = libraryText(library);
    while (text.size() > LIBRARY_FILE_LIMIT) {
        const std::size_t over = (text.size() - LIBRARY_FILE_LIMIT) / MAX_STORIES + 64;
        bodyBytes -= std::min(bodyBytes, over);
        library = maximalLibrary(bodyBytes);
        text = libraryText(library);
    }
    std::printf("library: %zu stories, %zu links, body %zu bytes, file %zu bytes (limit %llu)\n",
                library.stories.size(), library.links.size(), bodyBytes, text.size(),
                static_cast<unsigned long long>(LIBRARY_FILE_LIMIT));

    bool ok = storeLibrary(library, libraryPath) && readLibraryFile(libraryPath) == library;
    if (!ok) {
        std::printf("FAILED: the maximal library does not save and read back\n");
        return 1;
    }

    const Pair save = medianPair([&] { ok = storeLibrary(library, libraryPath) && ok; },
                                 [&] { ok = writeRaw(rawPath, text) && ok; });
    const Pair load = medianPair([&] { ok = readLibraryFile(libraryPath).stories.size() == MAX_STORIES && ok; },
                                 [&] { ok = nlohmann::json::parse(text).is_object() && ok; });

    // Where the time goes: printing against the atomic write of the printed text, and checking the
    // parsed document.
    const nlohmann::json parsed = nlohmann::json::parse(text);
    const Pair parts = medianPair([&] { ok = !libraryText(library).empty() && ok; },
                                  [&] { ok = writeFileAtomic(libraryPath, text, true) && ok; });
    // What printing cannot go below: a new zero-filled string of the file's size, its pages touched
    // for the first time. And the JSON library's own dump of the same library, for comparison.
    const Pair printingFloor = medianPair(
        [&] {
            std::string buffer(text.size(), '\0');
            asm volatile("" : : "r"(buffer.data()) : "memory");  // keeps the buffer from being optimised away
        },
        [&] {
            ok = libraryToJson(library).dump(2, ' ', false, nlohmann::json::error_handler_t::strict) == text && ok;
        });
    const Pair checking = medianPair([&] { ok = libraryFromJson(parsed).links.size() == MAX_LINKS && ok; }, [] {});

    const double saveRatio = save.subject / save.baseline, loadRatio = load.subject / load.baseline;
    std::printf("save %.1f ms, raw write+flush %.1f ms: ratio %.2f (target <= %.1f) %s\n", save.subject,
                save.baseline, saveRatio, SAVE_TARGET, saveRatio <= SAVE_TARGET ? "met" : "MISSED");
    std::printf("  printing %.1f ms, atomic write with backup %.1f ms\n", parts.subject, parts.baseline);
    std::printf("  a new buffer of the file's size %.1f ms; the JSON library's dump %.1f ms\n", printingFloor.subject,
                printingFloor.baseline);
    std::printf("load %.1f ms, bare parse %.1f ms: ratio %.2f (target <= %.1f) %s\n", load.subject, load.baseline,
                loadRatio, LOAD_TARGET, loadRatio <= LOAD_TARGET ? "met" : "MISSED");
    std::printf("  checking the parsed document %.1f ms\n", checking.subject);
    std::printf("medians of %d repetitions\n", REPETITIONS);
    std::printf("RESULT save.ratio %.2f\nRESULT load.ratio %.2f\n", saveRatio, loadRatio);

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return ok ? 0 : 1;
}
