// The file side of the board export: the board as a library of its own, the exports folder, and
// a new file for every export that never replaces an earlier one.
#include "persistence/persistence_internal.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr wchar_t EXPORTS_FOLDER[] = L"exports";
// Names tried before giving up; each taken name moves the millisecond part on by one.
constexpr std::uint64_t NAME_ATTEMPTS = 1000;

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool isFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The folder above path; empty when there is none. A drive keeps its root separator ("C:\").
std::wstring parentOf(const std::wstring& path)
{
    std::size_t end = path.size();
    while (end > 0 && isSeparator(path[end - 1]))
        --end;
    while (end > 0 && !isSeparator(path[end - 1]))
        --end;
    while (end > 0 && isSeparator(path[end - 1]))
        --end;
    if (end == 0)
        return {};
    std::wstring parent = path.substr(0, end);
    if (parent.back() == L':')
        parent.push_back(L'\\');
    return parent;
}

enum class NewFile { Written, NameTaken, Failed };

// Like the atomic write, but the final move never replaces: a file that appears under the name
// after it was found free makes the move fail, and the caller tries the next name.
NewFile writeNewFile(const std::wstring& path, std::string_view bytes, const AtomicFileCalls& calls)
{
    if (bytes.size() > MAXDWORD)
        return NewFile::Failed;
    const std::wstring tmp = path + L".tmp";
    const HANDLE file = calls.createFile(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                         nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return NewFile::Failed;
    DWORD written = 0;
    const bool stored = calls.writeFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)
                     && written == bytes.size() && calls.flushFileBuffers(file);
    const bool closed = calls.closeHandle(file) != FALSE;
    if (!stored || !closed) {
        calls.deleteFile(tmp.c_str());
        return NewFile::Failed;
    }
    if (calls.moveFileEx(tmp.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH))
        return NewFile::Written;
    const DWORD error = GetLastError();
    calls.deleteFile(tmp.c_str());
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? NewFile::NameTaken : NewFile::Failed;
}

}  // namespace

Library boardOf(const Library& library)
{
    Library board;
    board.settings = library.settings;
    board.links = library.links;
    std::copy_if(library.stories.begin(), library.stories.end(), std::back_inserter(board.stories),
                 [](const Story& story) { return story.saved; });
    return board;
}

std::wstring boardExportName(std::int64_t seconds, std::uint64_t milliseconds)
{
    return L"Kestrune-board-" + std::to_wstring(seconds) + L"-" + std::to_wstring(milliseconds) + L".json";
}

bool ensureFolder(const std::wstring& path)
{
    if (path.empty())
        return false;
    if (isFolder(path))
        return true;
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;  // a file in the way
    const std::wstring parent = parentOf(path);
    if (!parent.empty() && parent.size() < path.size() && !ensureFolder(parent))
        return false;
    return CreateDirectoryW(path.c_str(), nullptr) || isFolder(path);
}

std::wstring writeBoardExport(const Library& library, const std::wstring& dataFolder, std::int64_t seconds,
                              std::uint64_t milliseconds, const AtomicFileCalls& calls)
{
    try {
        const std::wstring folder = joinPath(dataFolder, EXPORTS_FOLDER);
        if (!ensureFolder(folder))
            return {};
        const std::string text = libraryText(boardOf(library));
        for (std::uint64_t attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
            const std::wstring path = joinPath(folder, boardExportName(seconds, milliseconds + attempt));
            if (calls.getFileAttributes(path.c_str()) != INVALID_FILE_ATTRIBUTES)
                continue;
            switch (writeNewFile(path, text, calls)) {
            case NewFile::Written:
                return path;
            case NewFile::NameTaken:
                continue;
            case NewFile::Failed:
                return {};
            }
        }
    } catch (const std::exception&) {
        // A text that cannot be printed, or no memory: the export fails as a whole.
    }
    return {};
}

std::wstring writeBoardExport(const Library& library, const std::wstring& dataFolder, std::int64_t seconds,
                              std::uint64_t milliseconds)
{
    return writeBoardExport(library, dataFolder, seconds, milliseconds, AtomicFileCalls{});
}
