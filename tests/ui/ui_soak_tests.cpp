// The real Kestrune.exe through many cycles of ordinary use (sections, stories, pin and unpin, a link
// and its undo, a refresh against the loopback feed server, a plate switch), watching what it holds:
// GDI and USER objects, handles and private bytes must stop growing once it has warmed up.
#include "ui_driver.h"

#include "locale/locale.h"

#include <psapi.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using ui::Program;

namespace {

constexpr int SECTION_DISCOVER = 100, SECTION_BOARD = 101, SECTION_ATLAS = 102, SECTION_PREFERENCES = 103;
constexpr int REFRESH = 120, PIN = 121, CONNECT = 124, UNDO_BOARD = 127, PLATE_0 = 140, PLATE_1 = 141;

// Allowed growth from the sample after warm-up to the last one.
constexpr long GUI_OBJECT_GROWTH = 10, HANDLE_GROWTH = 20;
constexpr double PRIVATE_BYTES_GROWTH = 0.05;

std::wstring environment(const wchar_t* name)
{
    wchar_t buffer[4096];
    const DWORD length = GetEnvironmentVariableW(name, buffer, 4096);
    return length > 0 && length < 4096 ? std::wstring(buffer, length) : std::wstring();
}

int environmentNumber(const wchar_t* name, int fallback)
{
    const std::wstring text = environment(name);
    const long value = text.empty() ? 0 : std::wcstol(text.c_str(), nullptr, 10);
    return value > 0 ? static_cast<int>(value) : fallback;
}

std::wstring windowsPathOf(std::wstring path)
{
    if (!path.empty() && path[0] == L'/')
        path = L"Z:" + path;
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

// ---------------------------------------------------------------------------------------------
// The loopback feed server and its certificate authority

struct FeedServer {
    std::wstring folder;
    int port = 0;
    std::string problem;
};

FeedServer findFeedServer()
{
    FeedServer server;
    server.folder = windowsPathOf(environment(L"KESTRUNE_FEED_SERVER_DIR"));
    if (server.folder.empty()) {
        server.problem = "KESTRUNE_FEED_SERVER_DIR is not set";
        return server;
    }
    const std::string ports = ui::readFileBytes(server.folder + L"\\ports.json");
    const std::size_t key = ports.find("\"trusted\"");
    const std::size_t colon = key == std::string::npos ? key : ports.find(':', key);
    if (colon != std::string::npos)
        server.port = std::atoi(ports.c_str() + colon + 1);
    if (server.port <= 0)
        server.problem = "no listening feed server (ports.json) in KESTRUNE_FEED_SERVER_DIR";
    return server;
}

// Trusts the server's throwaway authority in the user's root store while it lives. Wine's chain
// engine reads the registry copy written when the store closes, and does not persist a deletion from
// that store, so the registry copy goes by hand as well.
class TrustedAuthority {
public:
    explicit TrustedAuthority(const std::wstring& pemPath)
    {
        const std::string pem = ui::readFileBytes(pemPath);
        DWORD size = 0;
        if (pem.empty()
            || !CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                                     &size, nullptr, nullptr))
            return;
        std::vector<BYTE> der(size);
        if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                                  &size, nullptr, nullptr))
            return;
        const HCERTSTORE store = CertOpenSystemStoreW(0, L"ROOT");
        if (store == nullptr)
            return;
        PCCERT_CONTEXT certificate = nullptr;
        if (CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                             CERT_STORE_ADD_REPLACE_EXISTING, &certificate)) {
            DWORD hashSize = sizeof hash_;
            trusted_ = CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, hash_, &hashSize) != 0;
            CertFreeCertificateContext(certificate);
        }
        CertCloseStore(store, 0);
    }
    TrustedAuthority(const TrustedAuthority&) = delete;
    TrustedAuthority& operator=(const TrustedAuthority&) = delete;
    ~TrustedAuthority()
    {
        if (!trusted_)
            return;
        if (const HCERTSTORE store = CertOpenSystemStoreW(0, L"ROOT")) {
            CRYPT_HASH_BLOB blob{sizeof hash_, hash_};
            if (PCCERT_CONTEXT found =
                    CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, nullptr))
                CertDeleteCertificateFromStore(found);
            CertCloseStore(store, 0);
        }
        wchar_t thumbprint[41] = {};
        for (int i = 0; i < 20; ++i)
            swprintf(thumbprint + 2 * i, 3, L"%02X", hash_[i]);
        const std::wstring key = std::wstring(L"Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\") + thumbprint;
        RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
    }
    bool trusted() const { return trusted_; }

private:
    BYTE hash_[20] = {};
    bool trusted_ = false;
};

// ---------------------------------------------------------------------------------------------
// What the program holds

struct Sample {
    int cycle = 0;
    long gdi = -1, user = -1;  // -1: the platform does not count them
    long handles = 0;
    double privateMiB = 0;
};

// Wine reports 0 from GetProcessHandleCount; the handle values that can be duplicated out of the
// program are then counted instead (its table is dense from the low values up).
long handleCountOf(HANDLE process)
{
    DWORD count = 0;
    if (GetProcessHandleCount(process, &count) && count > 0)
        return static_cast<long>(count);
    long found = 0;
    for (std::uintptr_t value = 4; value < 0x10000; value += 4) {
        HANDLE copy = nullptr;
        if (DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0, FALSE,
                            DUPLICATE_SAME_ACCESS)) {
            CloseHandle(copy);
            ++found;
        }
    }
    return found;
}

Sample sampleOf(const Program& program, int cycle)
{
    Sample sample;
    sample.cycle = cycle;
    // A live window always holds GDI and USER objects: 0 means they are not counted (Wine).
    const DWORD gdi = GetGuiResources(program.process, GR_GDIOBJECTS);
    const DWORD user = GetGuiResources(program.process, GR_USEROBJECTS);
    if (gdi > 0 && user > 0) {
        sample.gdi = static_cast<long>(gdi);
        sample.user = static_cast<long>(user);
    }
    sample.handles = handleCountOf(program.process);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(program.process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory))) {
        // The commit charge is the private bytes; Wine leaves PrivateUsage at 0 but fills PagefileUsage.
        const SIZE_T bytes = memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
        sample.privateMiB = static_cast<double>(bytes) / (1024.0 * 1024.0);
    }
    return sample;
}

std::string counted(long value)
{
    return value < 0 ? std::string("n/a") : std::to_string(value);
}

std::string describe(const Sample& from, const Sample& to)
{
    char memory[64] = {};
    std::snprintf(memory, sizeof memory, "%.1f->%.1f", from.privateMiB, to.privateMiB);
    return "gdi " + counted(from.gdi) + "->" + counted(to.gdi) + ", user " + counted(from.user) + "->"
         + counted(to.user) + ", handles " + std::to_string(from.handles) + "->" + std::to_string(to.handles)
         + ", private MiB " + memory;
}

// ---------------------------------------------------------------------------------------------
// Driving

// The story identity: 64-bit FNV-1a of the URL as 16 hex digits.
std::string idOf(const std::string& url)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : url) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    char text[17] = {};
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

// Two pinned cards side by side on the board, and two newer stories above them in Discover (until
// the fetched ones, newer still, come first) for the pin and unpin; no links.
void writeSoakLibrary()
{
    std::string text = "{\"automatic\": false, \"notifications\": false, \"format\": \"Kestrune\", \"version\": 1, "
                       "\"lastCheck\": 0, \"stories\": [";
    for (int i = 0; i < 4; ++i) {
        const std::string url = "https://www.nasa.gov/news-release/soak-story-" + std::to_string(i) + "/";
        const bool pinned = i < 2;
        text += (i ? ",\n" : "\n");
        text += "{\"id\": \"" + idOf(url) + "\", \"title\": \"Soak story " + std::to_string(i)
              + "\", \"body\": \"Body of soak story " + std::to_string(i) + ".\", \"url\": \"" + url
              + "\", \"source\": \"NASA\", \"note\": \"\", \"published\": " + std::to_string(1700000000 + i * 3600)
              + ", \"saved\": " + (pinned ? "true" : "false") + ", \"x\": " + (i == 1 ? "335.0" : "0.0")
              + ", \"y\": 0.0, \"asset\": -1}";
    }
    text += "], \"edges\": []}";
    CreateDirectoryW(ui::uiDataFolder().c_str(), nullptr);
    std::ofstream file(ui::dataFile(L"library.json").c_str(), std::ios::binary | std::ios::trunc);
    file << text;
}

// The soak sends its input rather than posting it: the handler has run when the call returns, so
// a cycle needs no waiting for the queue to drain. Each section is painted before the next one is
// chosen, so the painting of every section is part of each cycle.
class Driver {
public:
    explicit Driver(const Program& program) : program_(program)
    {
        const ui::State state = ui::queryState(program);
        scale_ = std::stof(state["dpiScale"].empty() ? std::string("1") : state["dpiScale"]);
    }

    void command(int id)
    {
        send(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(ui::control(program_, id)));
    }

    void clickAt(double xDip, double yDip)
    {
        const int x = static_cast<int>(xDip * scale_ + 0.5), y = static_cast<int>(yDip * scale_ + 0.5);
        const LPARAM point = MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y));
        send(WM_LBUTTONDOWN, MK_LBUTTON, point);
        send(WM_LBUTTONUP, 0, point);
    }

    // A card at board (x, y) in the default view, clicked in its middle.
    void clickCard(double x, double y) { clickAt(254 + x + 120, 239 + y + 60); }

    bool waitFor(const char* name, const char* value)
    {
        return ui::waitUntil([&] { return ui::readState(program_)[name] == value; }, 120s);
    }

    // Waits until what the steps so far invalidated has been painted.
    void painted()
    {
        DWORD_PTR ignored = 0;
        ui::waitUntil(
            [&] {
                SendMessageTimeoutW(program_.window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
                return !GetUpdateRect(program_.window, nullptr, FALSE);
            },
            5s);
    }

private:
    void send(UINT message, WPARAM wParam, LPARAM lParam)
    {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(program_.window, message, wParam, lParam, SMTO_NORMAL, 30000, &ignored);
    }

    const Program& program_;
    float scale_ = 1.0f;
};

}  // namespace

// The plate switch runs with the full decode made to fail: a real decode of either plate takes
// seconds and hundreds of megabytes under Wine, which would make the soak a decode benchmark. The
// switch, the worker thread, its result and the failed state still run on every cycle.
TEST(KestruneSoak, HoldsNoMoreObjectsHandlesOrMemoryAfterManyCycles)
{
    const FeedServer server = findFeedServer();
    if (server.port <= 0)
        GTEST_SKIP() << server.problem << ": start tests/feeds/network/feed_server.py";
    const TrustedAuthority authority(server.folder + L"\\ca.pem");
    ASSERT_TRUE(authority.trusted()) << "the feed server's authority could not be trusted";

    const int cycles = environmentNumber(L"KESTRUNE_SOAK_CYCLES", 20);
    const int every = environmentNumber(L"KESTRUNE_SOAK_SAMPLE_EVERY", cycles >= 200 ? 100 : 10);
    ui::resetDataFolder();
    writeSoakLibrary();
    Program program = ui::launch(L"--ui-test --ui-test-fail-decode --ui-test-feed-port=" + std::to_wstring(server.port));
    ASSERT_NE(program.window, nullptr) << "no main window appeared";
    Driver driver(program);
    const std::wstring bothChecked = uiTextIn(UiStringKey::BothSourcesChecked, UiLanguage::English);

    std::vector<Sample> samples{sampleOf(program, 0)};
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        driver.command(SECTION_DISCOVER);
        driver.painted();
        driver.clickAt(300, 270);  // row 0
        driver.clickAt(300, 381);  // row 1
        driver.command(PIN);
        driver.command(PIN);
        driver.painted();

        driver.command(REFRESH);
        ASSERT_TRUE(driver.waitFor("refreshInProgress", "0")) << "cycle " << cycle << ": the refresh did not end";
        const ui::State refreshed = ui::readState(program);
        ASSERT_EQ(refreshed.wide("statusText").rfind(bothChecked, 0), 0u)
            << "cycle " << cycle << ": " << refreshed["statusText"];

        driver.command(SECTION_BOARD);
        driver.painted();
        driver.clickCard(0, 0);
        driver.command(CONNECT);
        driver.clickCard(335, 0);
        ASSERT_EQ(ui::readState(program)["links"], "1") << "cycle " << cycle << ": no link was made";
        driver.command(UNDO_BOARD);
        driver.painted();

        driver.command(SECTION_ATLAS);
        driver.painted();  // the preview under the veil
        driver.command(cycle % 2 ? PLATE_1 : PLATE_0);
        driver.painted();
        ASSERT_EQ(ui::readState(program)["requestedPlate"], cycle % 2 ? "1" : "0") << "cycle " << cycle;

        driver.command(SECTION_PREFERENCES);
        driver.painted();

        const ui::State state = ui::readState(program);
        ASSERT_EQ(state["links"], "0") << "cycle " << cycle << ": the undo left a link";
        ASSERT_EQ(state["pinned"], "2") << "cycle " << cycle;
        if (cycle % every == 0 || cycle == cycles) {
            // Outside the atlas a decode still running ends without a successor; a sample taken
            // during one would count its bitmap.
            ASSERT_TRUE(driver.waitFor("plateDecodeRunning", "0")) << "cycle " << cycle << ": the decode did not end";
            samples.push_back(sampleOf(program, cycle));
            std::printf("soak sample at cycle %d: %s\n", cycle, describe(samples.front(), samples.back()).c_str());
        }
    }

    // Warm-up is the first sampling interval: fonts, caches, the fetched stories and the first save.
    const Sample& warm = samples.size() > 2 ? samples[1] : samples.front();
    const Sample& last = samples.back();
    const std::string figure = "soak: " + std::to_string(cycles) + " cycles, " + describe(warm, last);
    std::printf("%s\n", figure.c_str());
    std::fflush(stdout);
    RecordProperty("figure", figure);
    if (warm.gdi >= 0 && last.gdi >= 0) {
        EXPECT_LE(last.gdi - warm.gdi, GUI_OBJECT_GROWTH) << "GDI objects keep growing";
        EXPECT_LE(last.user - warm.user, GUI_OBJECT_GROWTH) << "USER objects keep growing";
    } else {
        std::printf("soak: GDI and USER objects are not counted on this platform (GetGuiResources reports 0)\n");
    }
    EXPECT_LE(last.handles - warm.handles, HANDLE_GROWTH) << "handles keep growing";
    EXPECT_LE(last.privateMiB, warm.privateMiB * (1.0 + PRIVATE_BYTES_GROWTH)) << "private bytes keep growing";
    ui::click(program, SECTION_PREFERENCES);
    ui::click(program, 111);  // "Quit Kestrune" in Preferences
    EXPECT_EQ(ui::waitForExit(program, 20s), 0u);
}
