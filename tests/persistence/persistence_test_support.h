// Helpers for the persistence tests: a throwaway folder under the Windows temp path, and whole-file
// reads and writes that bypass the code under test.
#pragma once

#include "model/model.h"

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

struct TempFolder {
    std::wstring path;

    TempFolder()
    {
        wchar_t base[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, base);
        static unsigned counter = 0;
        path = std::wstring(base) + L"kestrune-persistence-" + std::to_wstring(GetCurrentProcessId()) + L"-"
             + std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++counter);
        CreateDirectoryW(path.c_str(), nullptr);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder()
    {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path, ignored))
            SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        std::filesystem::remove_all(path, ignored);
    }
    std::wstring file(const std::wstring& name) const { return path + L"\\" + name; }
};

inline bool fileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::optional<std::string> readBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

inline bool writeBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)
                 && written == bytes.size();
    CloseHandle(file);
    return ok;
}

// An open handle that shares nothing: other opens of the file fail with a sharing violation.
struct ExclusiveHandle {
    HANDLE handle;
    explicit ExclusiveHandle(const std::wstring& path)
        : handle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ExclusiveHandle(const ExclusiveHandle&) = delete;
    ExclusiveHandle& operator=(const ExclusiveHandle&) = delete;
    ~ExclusiveHandle()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

// The seed collection with its first two stories on the board and linked as Evidence.
inline Library seedWithBoard()
{
    Library library = buildSeedLibrary();
    togglePin(library, library.stories[0]);
    togglePin(library, library.stories[1]);
    addLink(library, library.stories[0].id, library.stories[1].id, static_cast<std::int32_t>(LinkKind::Evidence));
    return library;
}
