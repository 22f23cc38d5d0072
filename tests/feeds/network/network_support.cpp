// The loopback server's ports and request log as the tests see them, and the throwaway certificate
// authority trusted for the length of one test run.
#include "network_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <wincrypt.h>

#include <cwctype>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::wstring environmentText(const wchar_t* name)
{
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0)
        return {};
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), size));
    return value;
}

// CTest hands Unix paths through the environment; Wine sees the Unix root as drive Z:.
std::wstring windowsPath(std::wstring path)
{
    if (!path.empty() && path[0] == L'/')
        path = L"Z:" + path;
    for (wchar_t& unit : path)
        if (unit == L'/')
            unit = L'\\';
    return path;
}

std::wstring serverStateFolder()
{
    if (std::wstring folder = environmentText(L"KESTRUNE_FEED_SERVER_DIR"); !folder.empty())
        return windowsPath(folder);
    if (std::wstring build = environmentText(L"KESTRUNE_BUILD_DIR"); !build.empty())
        return windowsPath(build + L"/tests/feeds/network/feed-server");
    return {};
}

std::string readWholeFile(const std::wstring& path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    if (!in)
        return {};
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

LoopbackServer findLoopbackServer()
{
    LoopbackServer server;
    server.stateFolder = serverStateFolder();
    if (server.stateFolder.empty()) {
        server.problem = L"neither KESTRUNE_FEED_SERVER_DIR nor KESTRUNE_BUILD_DIR is set";
        return server;
    }
    const std::string ports = readWholeFile(server.stateFolder + L"\\ports.json");
    if (ports.empty()) {
        server.problem = L"no ports.json in " + server.stateFolder
            + L": start the server with tests/feeds/network/feed_server.py start <folder>";
        return server;
    }
    try {
        const nlohmann::json json = nlohmann::json::parse(ports);
        server.trustedPort = json.at("trusted").get<std::uint16_t>();
        server.untrustedPort = json.at("untrusted").get<std::uint16_t>();
        server.closedPort = json.at("closed").get<std::uint16_t>();
        server.ready = true;
    } catch (const std::exception&) {
        server.problem = L"unreadable ports.json in " + server.stateFolder;
    }
    return server;
}

// Trusts the server's authority in the current user's root store for this run. The store is closed
// straight away: Wine's chain engine reads the registry copy, which is written when the store closes.
// Wine does not persist CertDeleteCertificateFromStore on that store, so the registry copy is removed
// by hand as well.
class TrustedTestAuthority : public ::testing::Environment {
public:
    void SetUp() override
    {
        const LoopbackServer& server = loopbackServer();
        if (!server.ready)
            return;  // the server tests report the problem themselves
        const std::string pem = readWholeFile(server.stateFolder + L"\\ca.pem");
        ASSERT_FALSE(pem.empty()) << "no ca.pem beside the server's ports";
        DWORD size = 0;
        ASSERT_TRUE(CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                                         nullptr, &size, nullptr, nullptr));
        std::vector<BYTE> der(size);
        ASSERT_TRUE(CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                                         der.data(), &size, nullptr, nullptr));
        const HCERTSTORE store = CertOpenSystemStoreW(0, L"ROOT");
        ASSERT_NE(store, nullptr);
        PCCERT_CONTEXT certificate = nullptr;
        const BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                                            CERT_STORE_ADD_REPLACE_EXISTING, &certificate);
        const DWORD error = GetLastError();
        if (added) {
            DWORD hashSize = sizeof hash_;
            if (CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, hash_, &hashSize))
                trusted_ = true;
            CertFreeCertificateContext(certificate);
        }
        CertCloseStore(store, 0);
        ASSERT_TRUE(added) << "the test authority could not be trusted (error " << error << ")";
    }

    void TearDown() override
    {
        if (!trusted_)
            return;
        trusted_ = false;
        if (const HCERTSTORE store = CertOpenSystemStoreW(0, L"ROOT")) {
            CRYPT_HASH_BLOB blob{sizeof hash_, hash_};
            if (PCCERT_CONTEXT found =
                    CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, nullptr))
                CertDeleteCertificateFromStore(found);  // frees the context
            CertCloseStore(store, 0);
        }
        static constexpr wchar_t digits[] = L"0123456789ABCDEF";
        std::wstring key = L"Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\";
        for (BYTE b : hash_) {
            key += digits[b >> 4];
            key += digits[b & 15];
        }
        RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
    }

private:
    BYTE hash_[20] = {};
    bool trusted_ = false;
};

[[maybe_unused]] ::testing::Environment* const trustedAuthority =
    ::testing::AddGlobalTestEnvironment(new TrustedTestAuthority);

LRESULT CALLBACK messageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

constexpr wchar_t MESSAGE_WINDOW_CLASS[] = L"KestruneNetworkTestSink";

}  // namespace

const LoopbackServer& loopbackServer()
{
    static const LoopbackServer server = findLoopbackServer();
    return server;
}

const std::string& runTag()
{
    static const std::string tag =
        "run" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
    return tag;
}

std::vector<LoggedRequest> loggedRequests(const std::string& path)
{
    std::vector<LoggedRequest> found;
    std::istringstream log(readWholeFile(loopbackServer().stateFolder + L"\\requests.jsonl"));
    std::string line;
    while (std::getline(log, line)) {
        nlohmann::json entry;
        try {
            entry = nlohmann::json::parse(line);
        } catch (const std::exception&) {
            continue;  // a line the server is still writing
        }
        if (entry.at("path").get<std::string>() != path)
            continue;
        LoggedRequest request{.path = path, .headers = {}};
        for (const nlohmann::json& header : entry.at("headers"))
            request.headers.emplace_back(header.at(0).get<std::string>(), header.at(1).get<std::string>());
        found.push_back(std::move(request));
    }
    return found;
}

std::optional<std::string> headerValue(const LoggedRequest& request, const std::string& name)
{
    const auto lower = [](std::string text) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return text;
    };
    for (const auto& [key, value] : request.headers)
        if (lower(key) == lower(name))
            return value;
    return std::nullopt;
}

bool runningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

MessageWindow::MessageWindow()
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = messageWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = MESSAGE_WINDOW_CLASS;
    RegisterClassExW(&windowClass);  // already registered by an earlier test: fine
    handle = CreateWindowExW(0, MESSAGE_WINDOW_CLASS, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             windowClass.hInstance, nullptr);
}

MessageWindow::~MessageWindow()
{
    if (!handle)
        return;
    // An outcome still queued belongs to whoever takes the message; free it rather than leak it.
    MSG message;
    while (PeekMessageW(&message, handle, WM_APP_FEEDS_DONE, WM_APP_FEEDS_DONE, PM_REMOVE))
        delete reinterpret_cast<RefreshOutcome*>(message.lParam);
    DestroyWindow(handle);
}

std::unique_ptr<RefreshOutcome> waitForOutcome(HWND window, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        MSG message;
        if (PeekMessageW(&message, window, WM_APP_FEEDS_DONE, WM_APP_FEEDS_DONE, PM_REMOVE))
            return std::unique_ptr<RefreshOutcome>(reinterpret_cast<RefreshOutcome*>(message.lParam));
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return nullptr;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_POSTMESSAGE);
    }
}
