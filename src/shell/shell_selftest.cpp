// The built-in self-check run: a handful of checks of the program's own logic (and, when asked,
// live fetches of the two feeds), written one line each to a results file beside the program.
#include "shell/shell.h"

#include "feeds/feeds.h"
#include "locale/locale.h"
#include "persistence/persistence.h"

#include <functional>
#include <string>
#include <vector>

namespace {

struct Check {
    const char* name;
    std::function<bool()> run;
};

bool passes(const Check& check)
{
    try {
        return check.run();
    } catch (...) {
        return false;
    }
}

bool refuses(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Failure&) {
        return true;
    }
    return false;
}

std::vector<Check> logicChecks()
{
    return {
        {"story identity is 64-bit FNV-1a",
         [] { return storyIdFromUrl("") == "cbf29ce484222325" && storyIdFromUrl("a") == "af63dc4c8601ec8c"; }},
        {"UTF-8 round trip keeps accents",
         [] { return utf16ToUtf8(utf8ToUtf16("Gr\xC3\xBC\xC3\x9F" "e, ni\xC3\xB1o")) == "Gr\xC3\xBC\xC3\x9F" "e, ni\xC3\xB1o"; }},
        {"invalid UTF-8 is refused", [] { return refuses([] { utf8ToUtf16("\xC3\x28"); }); }},
        {"text policy refuses Cyrillic", [] { return refuses([] { checkText("\xD0\x9F", 100); }); }},
        {"line feeds become CR LF", [] { return expandLineBreaks(L"a\nb\r\nc") == L"a\r\nb\r\nc"; }},
        {"source policy accepts official HTTPS only",
         [] {
             return isAllowedSourceUrl("https://www.nasa.gov/news/") && !isAllowedSourceUrl("http://www.nasa.gov/")
                 && !isAllowedSourceUrl("https://nasa.gov.example.com/");
         }},
        {"seed collection holds four stories", [] { return buildSeedLibrary().stories.size() == 4; }},
        {"every interface text exists in three languages",
         [] {
             for (int key = 0; key < UI_STRING_COUNT; ++key)
                 for (int language = 0; language < UI_LANGUAGE_COUNT; ++language) {
                     const wchar_t* text = uiTextIn(static_cast<UiStringKey>(key), static_cast<UiLanguage>(language));
                     if (!text || !*text)
                         return false;
                 }
             return true;
         }},
        {"UTC offset text", [] { return formatUtcOffset().rfind(L"UTC", 0) == 0; }},
        {"initial window fits a small work area",
         [] { return initialWindowRect(RECT{0, 0, 1366, 728}, 96) == PixelRect{43, 10, 1280, 708}; }},
        {"note editor sits above the buttons",
         [] {
             const LayoutPlan plan = planLayout(LayoutInputs{.storySelected = true});
             const ControlPlacement* note = findPlacement(plan, ID_NOTE);
             return note && note->rect == DipRect{624, 592, 618, 90};
         }},
    };
}

std::vector<Check> networkChecks()
{
    std::vector<Check> checks;
    for (const FeedEndpoint& endpoint : officialFeedEndpoints()) {
        checks.push_back({endpoint.sourceLabel == "NASA" ? "live NASA feed has stories" : "live NOAA feed has stories",
                          [endpoint] {
                              const std::string body = fetchFeedWith(endpoint.host, endpoint.path, endpoint.options);
                              return !readRssFeed(body, endpoint.sourceLabel).empty();
                          }});
    }
    return checks;
}

void writeResults(const std::wstring& path, const std::string& text)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

int runSelfChecks(const std::wstring& resultsPath, bool withNetwork)
{
    std::vector<Check> checks = logicChecks();
    if (withNetwork) {
        try {
            for (Check& check : networkChecks())
                checks.push_back(std::move(check));
        } catch (...) {
            checks.push_back({"feed endpoints are known", [] { return false; }});
        }
    }
    std::string report;
    int failed = 0;
    for (const Check& check : checks) {
        const bool ok = passes(check);
        failed += ok ? 0 : 1;
        report += ok ? "PASS " : "FAIL ";
        report += check.name;
        report += "\r\n";
    }
    report += std::to_string(checks.size() - static_cast<std::size_t>(failed)) + " of " +
              std::to_string(checks.size()) + " checks passed\r\n";
    writeResults(resultsPath, report);
    return failed == 0 ? 0 : 1;
}
