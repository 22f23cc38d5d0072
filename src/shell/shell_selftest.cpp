// The built-in self-check run: the program's own logic, the platform behaviour it relies on (XML
// parser, UTF-8 converter, URL cracking, GDI+ fonts, the data folder's file system) and, when
// asked, live fetches of the two feeds, written one line each to a results file beside the program.
#include "shell/shell.h"

#include "feeds/feeds.h"
#include "locale/locale.h"
#include "persistence/persistence.h"

#include <gdiplus.h>
#include <winhttp.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

// What a check saw: empty when it passed, otherwise what was found instead (an error code, a value).
using Seen = std::string;

struct Check {
    const char* name;
    std::function<Seen()> run;
};

Seen expect(bool ok, const std::string& otherwise = "unexpected result")
{
    return ok ? Seen() : otherwise;
}

Seen lastError(const char* what)
{
    return std::string(what) + " failed, error " + std::to_string(GetLastError());
}

Seen outcomeOf(const Check& check)
{
    try {
        return check.run();
    } catch (const std::exception& error) {
        return error.what()[0] ? error.what() : "failed";
    } catch (...) {
        return "failed";
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
         [] { return expect(storyIdFromUrl("") == "cbf29ce484222325" && storyIdFromUrl("a") == "af63dc4c8601ec8c"); }},
        {"UTF-8 round trip keeps accents",
         [] { return expect(utf16ToUtf8(utf8ToUtf16("Gr\xC3\xBC\xC3\x9F" "e, ni\xC3\xB1o")) == "Gr\xC3\xBC\xC3\x9F" "e, ni\xC3\xB1o"); }},
        {"invalid UTF-8 is refused", [] { return expect(refuses([] { utf8ToUtf16("\xC3\x28"); })); }},
        {"text policy refuses Cyrillic", [] { return expect(refuses([] { checkText("\xD0\x9F", 100); })); }},
        {"line feeds become CR LF", [] { return expect(expandLineBreaks(L"a\nb\r\nc") == L"a\r\nb\r\nc"); }},
        {"source policy accepts official HTTPS only",
         [] {
             return expect(isAllowedSourceUrl("https://www.nasa.gov/news/") && !isAllowedSourceUrl("http://www.nasa.gov/")
                           && !isAllowedSourceUrl("https://nasa.gov.example.com/"));
         }},
        {"seed collection holds four stories", [] { return expect(buildSeedLibrary().stories.size() == 4); }},
        {"every interface text exists in three languages",
         [] {
             for (int key = 0; key < UI_STRING_COUNT; ++key)
                 for (int language = 0; language < UI_LANGUAGE_COUNT; ++language) {
                     const wchar_t* text = uiTextIn(static_cast<UiStringKey>(key), static_cast<UiLanguage>(language));
                     if (!text || !*text)
                         return "key " + std::to_string(key) + " language " + std::to_string(language) + " is empty";
                 }
             return Seen();
         }},
        {"UTC offset text", [] { return expect(formatUtcOffset().rfind(L"UTC", 0) == 0); }},
        {"initial window fits a small work area",
         [] { return expect(initialWindowRect(RECT{0, 0, 1366, 728}, 96) == PixelRect{43, 10, 1280, 708}); }},
        {"note editor sits above the buttons",
         [] {
             const LayoutPlan plan = planLayout(LayoutInputs{.storySelected = true});
             const ControlPlacement* note = findPlacement(plan, ID_NOTE);
             return expect(note && note->rect == DipRect{624, 592, 618, 90});
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
                              return expect(!readRssFeed(body, endpoint.sourceLabel).empty(), "no stories");
                          }});
    }
    return checks;
}

// ---------------------------------------------------------------------------------------------
// Platform behaviour the program relies on, checked on the machine it runs on

Seen crackedAs(const wchar_t* url, const wchar_t* host, INTERNET_PORT port)
{
    wchar_t hostBuffer[256] = {};
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = hostBuffer;
    parts.dwHostNameLength = static_cast<DWORD>(std::size(hostBuffer));
    if (!WinHttpCrackUrl(url, 0, 0, &parts))
        return lastError("WinHttpCrackUrl");
    if (parts.nScheme != INTERNET_SCHEME_HTTPS || std::wstring_view(hostBuffer) != host || parts.nPort != port)
        return "cracked to scheme " + std::to_string(parts.nScheme) + ", host " + utf16ToUtf8(hostBuffer) + ", port "
             + std::to_string(parts.nPort);
    return Seen();
}

Seen fontsFound()
{
    ULONG_PTR token = 0;
    const Gdiplus::GdiplusStartupInput input;
    const Gdiplus::Status started = Gdiplus::GdiplusStartup(&token, &input, nullptr);
    if (started != Gdiplus::Ok)
        return "GdiplusStartup status " + std::to_string(started);
    Seen seen;
    for (const wchar_t* name : {L"Segoe UI", L"Georgia"}) {
        Gdiplus::GpFontFamily* family = nullptr;
        const Gdiplus::Status status = Gdiplus::DllExports::GdipCreateFontFamilyFromName(name, nullptr, &family);
        if (family)
            Gdiplus::DllExports::GdipDeleteFontFamily(family);
        if (status != Gdiplus::Ok && seen.empty())
            seen = utf16ToUtf8(name) + " not found, status " + std::to_string(status);
    }
    Gdiplus::GdiplusShutdown(token);
    return seen;
}

// A scratch folder inside the data folder, removed again; the library's own files are never touched.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& dataFolder)
        : path_(dataFolder.empty() ? std::wstring()
                                   : joinPath(dataFolder, L"self-test-" + std::to_wstring(GetCurrentProcessId())))
    {
        created_ = !path_.empty() && CreateDirectoryW(path_.c_str(), nullptr);
        error_ = created_ ? 0 : GetLastError();
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder()
    {
        if (!created_)
            return;
        for (const wchar_t* name : {L"library.json", L"library.json.bak", L"library.json.tmp", L"library.json.bak.tmp",
                                    L"session.lock"})
            DeleteFileW(file(name).c_str());
        RemoveDirectoryW(path_.c_str());
    }
    std::wstring file(const wchar_t* name) const { return joinPath(path_, name); }
    Seen problem() const
    {
        if (path_.empty())
            return "no data folder";
        return created_ ? Seen() : "cannot create a folder in the data folder, error " + std::to_string(error_);
    }

private:
    std::wstring path_;
    bool created_ = false;
    DWORD error_ = 0;
};

Seen saveKeepsTheBackup(const std::wstring& dataFolder)
{
    const ScratchFolder scratch(dataFolder);
    if (Seen problem = scratch.problem(); !problem.empty())
        return problem;
    Library first = buildSeedLibrary();
    Library second = first;
    second.stories.front().note = "self-test";
    const std::wstring path = scratch.file(L"library.json");
    if (!storeLibrary(first, path) || !storeLibrary(second, path))
        return lastError("saving in the data folder");
    if (readLibraryFile(path) != second)
        return "the saved library reads back different";
    if (readLibraryFile(path + L".bak") != first)
        return "the backup does not hold the previous save";
    return expect(GetFileAttributesW((path + L".tmp").c_str()) == INVALID_FILE_ATTRIBUTES, "a .tmp was left behind");
}

Seen lockIsExclusive(const std::wstring& dataFolder)
{
    const ScratchFolder scratch(dataFolder);
    if (Seen problem = scratch.problem(); !problem.empty())
        return problem;
    const std::wstring path = scratch.file(L"session.lock");
    const FileHandle first(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!first.valid())
        return lastError("taking the lock");
    const FileHandle second(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (second.valid())
        return "a second holder got the lock";
    return expect(GetLastError() == ERROR_SHARING_VIOLATION,
                  "the second holder was refused with error " + std::to_string(GetLastError()));
}

std::vector<Check> platformChecks(const std::wstring& dataFolder)
{
    return {
        {"XML reader refuses a DTD",
         [] {
             return expect(refuses([] {
                 readRssFeed("<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY x \"y\">]><rss version=\"2.0\"><channel>"
                             "<item><title>&x;</title><link>https://www.nasa.gov/a/</link></item></channel></rss>",
                             "NASA");
             }));
         }},
        {"UTF-8 converter refuses encoded surrogates and over-long forms",
         [] {
             return expect(refuses([] { utf8ToUtf16("\xED\xA0\x80"); }) && refuses([] { utf8ToUtf16("\xC0\xAF"); })
                           && refuses([] { utf8ToUtf16("\xE0\x80\xAF"); }));
         }},
        {"WinHTTP cracks the feed URLs as the source policy reads them",
         [] {
             Seen seen = crackedAs(L"https://www.nasa.gov/news-release/feed/", L"www.nasa.gov", 443);
             if (seen.empty())
                 seen = crackedAs(L"https://www.noaa.gov@example.com/rss.xml", L"example.com", 443);
             if (seen.empty())
                 seen = expect(!isAllowedSourceUrl("https://www.noaa.gov@example.com/rss.xml"),
                               "the policy accepts a URL WinHTTP sends to another host");
             return seen;
         }},
        {"GDI+ starts and finds the interface fonts", [] { return fontsFound(); }},
        {"data folder keeps a backup of the previous save", [dataFolder] { return saveKeepsTheBackup(dataFolder); }},
        {"session lock is exclusive", [dataFolder] { return lockIsExclusive(dataFolder); }},
    };
}

// ---------------------------------------------------------------------------------------------
// Results

std::string programVersion()
{
    // The version record's fixed part, found by its signature in the program's own resource.
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
    HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    const auto* bytes = loaded ? static_cast<const unsigned char*>(LockResource(loaded)) : nullptr;
    const DWORD size = found ? SizeofResource(nullptr, found) : 0;
    for (DWORD at = 0; bytes && at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        VS_FIXEDFILEINFO info;
        memcpy(&info, bytes + at, sizeof(info));
        if (info.dwSignature == 0xFEEF04BD)
            return std::to_string(HIWORD(info.dwFileVersionMS)) + "." + std::to_string(LOWORD(info.dwFileVersionMS)) + "."
                 + std::to_string(HIWORD(info.dwFileVersionLS)) + "." + std::to_string(LOWORD(info.dwFileVersionLS));
    }
    return "unknown";
}

std::string windowsVersion()
{
    // GetVersionExW answers what the manifest claims; the kernel's own record tells the truth.
    using RtlGetVersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    const auto call = reinterpret_cast<RtlGetVersionCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    if (!call || call(&info) != 0)
        return "unknown";
    return std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "."
         + std::to_string(info.dwBuildNumber);
}

std::string utcDateTime()
{
    SYSTEMTIME now{};
    GetSystemTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
}

}  // namespace

int runSelfChecks(const std::wstring& resultsPath, const std::wstring& dataFolder, bool withNetwork)
{
    std::vector<Check> checks = logicChecks();
    for (Check& check : platformChecks(dataFolder))
        checks.push_back(std::move(check));
    if (withNetwork) {
        try {
            for (Check& check : networkChecks())
                checks.push_back(std::move(check));
        } catch (...) {
            checks.push_back({"feed endpoints are known", [] { return Seen("no endpoint list"); }});
        }
    }
    std::string report = "Kestrune " + programVersion() + " self-test, Windows " + windowsVersion() + ", "
                       + utcDateTime() + "\r\n";
    int failed = 0;
    for (const Check& check : checks) {
        const Seen seen = outcomeOf(check);
        failed += seen.empty() ? 0 : 1;
        report += seen.empty() ? "PASS " : "FAIL ";
        report += check.name;
        if (!seen.empty())
            report += ": " + seen;
        report += "\r\n";
    }
    report += std::to_string(checks.size() - static_cast<std::size_t>(failed)) + " of " +
              std::to_string(checks.size()) + " checks passed\r\n";
    if (!writeFileAtomic(resultsPath, report, false))
        return 1;
    return failed == 0 ? 0 : 1;
}
