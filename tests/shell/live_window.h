// The suite-wide main window the shell tests drive, with a fresh data folder per test.
#pragma once

#include "shell/shell.h"

#include "locale/locale.h"
#include "persistence/persistence.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>


inline std::filesystem::path makeTempFolder()
{
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, base);
    const std::filesystem::path folder = std::filesystem::path(base) /
        (L"kestrune-shell-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64()));
    std::filesystem::create_directories(folder);
    return folder;
}

inline std::wstring textOf(HWND window)
{
    wchar_t buffer[4096] = {};
    GetWindowTextW(window, buffer, 4096);
    return buffer;
}

inline bool putOnClipboard(const std::wstring& text)
{
    if (!OpenClipboard(nullptr))
        return false;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    auto* target = static_cast<wchar_t*>(GlobalLock(memory));
    std::copy(text.c_str(), text.c_str() + text.size() + 1, target);
    GlobalUnlock(memory);
    const bool placed = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    CloseClipboard();
    return placed;
}

// One window for each suite (adding and removing a tray icon costs seconds under Wine); each
// test gets a fresh data folder, the seed library and the window's state back at its start.
class LiveWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&gdiplusToken, &input, nullptr);
        currentUiLanguage = UiLanguage::English;
        session = new Session;
        AppState& app = session->app;
        app.uiTestMode = true;
        app.instance = GetModuleHandleW(nullptr);
        app.editBackgroundBrush = CreateSolidBrush(RGB(255, 255, 252));
        registerMainWindowClass(app);
        createMainWindow(*session);
        ShowWindow(app.mainWindow, SW_SHOW);
    }

    static void TearDownTestSuite()
    {
        AppState& app = session->app;
        if (app.mainWindow && IsWindow(app.mainWindow))
            DestroyWindow(app.mainWindow);
        if (app.feedWorker.joinable())
            app.feedWorker.join();
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
        app.drawingKit.reset();
        if (app.controlFont)
            DeleteObject(app.controlFont);
        DeleteObject(app.editBackgroundBrush);
        delete session;
        session = nullptr;
        Gdiplus::GdiplusShutdown(gdiplusToken);
    }

    void SetUp() override
    {
        ASSERT_TRUE(session->app.mainWindow);
        currentUiLanguage = UiLanguage::English;
        folder = makeTempFolder();
        AppState& app = session->app;
        app.dataFolder = folder.wstring();
        app.libraryPath = (folder / L"library.json").wstring();
        session->library = buildSeedLibrary();
        ASSERT_TRUE(storeLibrary(session->library, app.libraryPath));
        app.unsavedChanges = false;
        app.refreshInProgress = false;
        app.shuttingDown.store(false);
        app.nextAutoCheck = 0;
        app.linkMode = false;
        app.trayIconAdded = trayAvailable();
        app.selectedStoryId.clear();
        app.listScrollOffset = 0;
        app.searchText.clear();
        selectSection(app, session->library, Section::Discover);
        selectStory(app, session->library, session->library.stories.front().id);
        setStatus(app, L"", false);
        if (!IsWindowVisible(app.mainWindow))
            ShowWindow(app.mainWindow, SW_SHOW);
        pump();
    }

    void TearDown() override
    {
        // Leave nothing pending for the next test: an unsaved state would block its section change.
        session->app.unsavedChanges = false;
        KillTimer(session->app.mainWindow, TIMER_NOTE_SAVE);
        pump();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    static bool trayAvailable()
    {
        static const bool added = session->app.trayIconAdded;
        return added;
    }

    void pump()
    {
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            processQueuedMessage(*session, message);
    }

    // One key press as it arrives in the queue, addressed to the focused window.
    void press(WPARAM key)
    {
        MSG message{GetFocus(), WM_KEYDOWN, key, 1, 0, {}};
        processQueuedMessage(*session, message);
        pump();
    }

    HWND control(ControlId id) const { return controlWindow(session->app, id); }
    AppState& app() { return session->app; }
    Library& library() { return session->library; }

    std::string activityLog() const
    {
        std::ifstream file(folder / L"activity.log");
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    static inline ULONG_PTR gdiplusToken = 0;
    static inline Session* session = nullptr;
    std::filesystem::path folder;
};

// A library file held open without sharing: every replacement of it fails.
struct FileLock {
    HANDLE handle;
    explicit FileLock(const std::wstring& path)
        : handle(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~FileLock() { release(); }
    void release()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
};

