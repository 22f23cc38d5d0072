// Persistence internals shared by its sources and its tests: the platform calls of the atomic write
// as a replaceable table, and the number conversions of the file reader.
#pragma once

#include "persistence/persistence.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The file calls writeFileAtomic makes, in the order it makes them. Tests swap single entries to
// make one step fail; everything else keeps the real Kernel call.
struct AtomicFileCalls {
    HANDLE(WINAPI* createFile)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) = CreateFileW;
    BOOL(WINAPI* writeFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) = WriteFile;
    BOOL(WINAPI* flushFileBuffers)(HANDLE) = FlushFileBuffers;
    BOOL(WINAPI* closeHandle)(HANDLE) = CloseHandle;
    DWORD(WINAPI* getFileAttributes)(LPCWSTR) = GetFileAttributesW;
    BOOL(WINAPI* moveFileEx)(LPCWSTR, LPCWSTR, DWORD) = MoveFileExW;
    BOOL(WINAPI* deleteFile)(LPCWSTR) = DeleteFileW;
    BOOL(WINAPI* createHardLink)(LPCWSTR, LPCWSTR, LPSECURITY_ATTRIBUTES) = CreateHardLinkW;
    BOOL(WINAPI* copyFile)(LPCWSTR, LPCWSTR, BOOL) = CopyFileW;
};

bool writeFileAtomic(const std::wstring& path, std::string_view bytes, bool keepBackup, const AtomicFileCalls& calls);

// Where a library's text goes while it is printed, so that it can be written before the printing
// ends. `printed` says that text[0, length) is final (called at the end of each story and once at
// the end); `beforeMove` comes before the text's memory moves, and nothing may read it then until
// the next `printed`.
struct PrintSink {
    virtual void printed(const char* text, std::size_t length) = 0;
    virtual void beforeMove() = 0;

protected:
    ~PrintSink() = default;
};
void printLibraryText(const Library& library, std::string& text, PrintSink* sink);

// storeLibrary through a given call table.
bool storeLibrary(const Library& library, const std::wstring& libraryPath, const AtomicFileCalls& calls);

// Numbers of the file: any JSON number, a fraction cut towards zero, values beyond the target range
// clamped to its nearest end (so the story and edge rules refuse them instead of a wrapped value
// slipping through). The 32-bit fields also take a boolean as 0 or 1. Other types raise the JSON
// library's type error.
std::int64_t jsonToInt64(const nlohmann::json& value);
std::int32_t jsonToInt32(const nlohmann::json& value);
double jsonToDouble(const nlohmann::json& value);
