// The one application-state record of the running program: what the views read and write, and
// beside it the shell's own resources, workers and flags; owned by the window thread.
#pragma once

#include "feeds/feeds.h"
#include "model/model.h"
#include "views/view_state.h"

#include <windows.h>
#include <objidl.h>
#include <shellapi.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Control order, messages and timers (the sections and control ids are the views')

// Creation order of the owner-drawn buttons, which is also the tab order.
inline constexpr std::array<ControlId, 30> BUTTON_IDS = {
    100, 101, 102, 103, 110, 111, 120, 121, 122, 123, 124, 125, 126, 127, 128,
    140, 141, 142, 143, 144, 145, 146, 160, 161, 162, 163, 164, 165, 166, 167};
inline constexpr std::array<ControlId, 4> EDIT_IDS = {ID_SEARCH, ID_STORY_TEXT, ID_NOTE, ID_LICENCES_TEXT};

inline constexpr UINT WM_APP_TRAY = WM_APP + 3;
inline constexpr UINT WM_APP_TRAY_READY = WM_APP + 4;

inline constexpr UINT_PTR TIMER_TICK = 1;
inline constexpr UINT TIMER_TICK_MS = 15000;
inline constexpr UINT_PTR TIMER_NOTE_SAVE = 2;
inline constexpr UINT TIMER_NOTE_SAVE_MS = 900;
inline constexpr UINT_PTR TIMER_BOARD_ZOOM_REST = 3;
inline constexpr UINT TIMER_BOARD_ZOOM_REST_MS = 160;  // the wheel counts as resting after this
inline constexpr UINT_PTR TIMER_PREVIEWS = 4;
inline constexpr UINT TIMER_PREVIEWS_MS = 1000;  // after the first frame, while the user looks
inline constexpr DWORD FEED_WORKER_GRACE_MS = 1500;  // quitting waits no longer for a stalled fetch

inline constexpr std::int64_t AUTO_CHECK_INTERVAL = 3600;
inline constexpr UINT TRAY_ICON_ID = 1;

// ---------------------------------------------------------------------------------------------
// Small records

// Owner of an ordinary kernel handle that may be INVALID_HANDLE_VALUE.
struct FileHandle {
    HANDLE handle = INVALID_HANDLE_VALUE;

    FileHandle() = default;
    explicit FileHandle(HANDLE h) : handle(h) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FileHandle(FileHandle&& other) noexcept : handle(other.handle) { other.handle = INVALID_HANDLE_VALUE; }
    FileHandle& operator=(FileHandle&& other) noexcept
    {
        if (this != &other) {
            close();
            handle = other.handle;
            other.handle = INVALID_HANDLE_VALUE;
        }
        return *this;
    }
    ~FileHandle() { close(); }

    bool valid() const noexcept { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }
    void close() noexcept
    {
        if (valid())
            CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
};

// ---------------------------------------------------------------------------------------------
// The application state

// What the window thread and one feed worker share. The worker holds a reference of its own, so a
// worker still waiting on the network when the program quits never touches freed state.
struct FeedWorkerLink {
    std::atomic<bool> stopping{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> posted{false};  // an outcome is on its way to the window
    FetchCancel cancel;
};

// The views' part comes first, so a view is handed only what it draws from; the rest is the shell's.
struct AppState : ViewState {
    // Process and window resources
    FileHandle instanceLock;
    HINSTANCE instance = nullptr;
    HICON appIcon = nullptr;
    HFONT controlFont = nullptr;
    HBRUSH editBackgroundBrush = nullptr;
    std::map<ControlId, HWND> controls;
    NOTIFYICONDATAW trayIconData{};
    bool trayIconAdded = false;
    std::thread trayWorker;        // adding the icon at start-up
    bool trayWorkerAdded = false;  // its answer, read once it is joined
    UINT taskbarCreatedMessage = 0;
    bool uiTestMode = false;
    std::wstring dataFolder;
    std::wstring libraryPath;

    // Navigation
    bool restoreArmed = false;

    // Status, saving and background work
    bool suppressEditNotifications = false;
    std::int64_t nextAutoCheck = 0;
    bool refreshInProgress = false;
    std::atomic<bool> shuttingDown{false};
    std::shared_ptr<FeedWorkerLink> feedLink;  // of the feed worker started last
    std::thread feedWorker;
    std::thread imageWorker;

    // Keyboard and screen readers
    std::map<ControlId, HWND> surfaces;
};

static_assert(sizeof(NOTIFYICONDATAW) == 976, "the tray record is used at its full size");

// The window thread's whole world: the state record and the library beside it.
struct Session {
    AppState app;
    Library library;
};
