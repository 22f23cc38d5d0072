// Shared pieces of the network tests: where the loopback feed server listens, its request log, a
// message-only window to receive the worker's post, and Wine detection.
#pragma once

#include "feeds/feeds.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct LoopbackServer {
    bool ready = false;
    std::wstring problem;       // why it is not ready
    std::wstring stateFolder;   // Windows path of the server's state folder
    std::uint16_t trustedPort = 0;
    std::uint16_t untrustedPort = 0;
    std::uint16_t closedPort = 0;
};

// Read once from the ports file the server script writes.
const LoopbackServer& loopbackServer();

inline constexpr wchar_t LOOPBACK_HOST[] = L"localhost";

// A tag unique to this run of the test program, so log entries of earlier runs never match.
const std::string& runTag();

struct LoggedRequest {
    std::string path;
    std::vector<std::pair<std::string, std::string>> headers;
};

// Every request the server has logged whose path is exactly `path`.
std::vector<LoggedRequest> loggedRequests(const std::string& path);
// The value of a header (names compared without regard to case), or nothing when absent.
std::optional<std::string> headerValue(const LoggedRequest& request, const std::string& name);

bool runningUnderWine();

// A message-only window on the calling thread: the worker posts its outcome here.
struct MessageWindow {
    HWND handle = nullptr;

    MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;
    ~MessageWindow();
};

// Waits up to timeoutMs for WM_APP_FEEDS_DONE on the window and takes ownership of its outcome.
std::unique_ptr<RefreshOutcome> waitForOutcome(HWND window, DWORD timeoutMs);
