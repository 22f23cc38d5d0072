// The atomic file replacement with its one-step backup, and the file side of a library save.
// The named file always holds either its old or its new complete content, never a mixture.
#include "persistence/persistence_internal.h"

namespace {

// Owns the ".tmp" handle; closing is a checked step of the write, so it can also be done early.
struct TmpFile {
    const AtomicFileCalls& calls;
    HANDLE handle;
    TmpFile(const AtomicFileCalls& c, HANDLE h) : calls(c), handle(h) {}
    TmpFile(const TmpFile&) = delete;
    TmpFile& operator=(const TmpFile&) = delete;
    ~TmpFile()
    {
        if (handle != INVALID_HANDLE_VALUE)
            calls.closeHandle(handle);
    }
    bool close()
    {
        const HANDLE closing = handle;
        handle = INVALID_HANDLE_VALUE;
        return calls.closeHandle(closing) != FALSE;
    }
};

bool exists(const AtomicFileCalls& calls, const std::wstring& path)
{
    return calls.getFileAttributes(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// ReplaceFileW can fail half way (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2): the old file has already
// gone to its backup name, and the new content is still under the ".tmp" name. Left like that, the
// next start would find no library at all and begin again from the seed collection. Put the old
// content back under its name; if that is impossible, the complete new content is the next best.
void repairAfterFailedReplace(const AtomicFileCalls& calls, const std::wstring& path, const std::wstring& tmp,
                              const std::wstring& backup, bool keepBackup)
{
    if (exists(calls, path))
        return;
    if (keepBackup && exists(calls, backup) && calls.moveFileEx(backup.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH))
        return;
    calls.moveFileEx(tmp.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH);
}

}  // namespace

bool writeFileAtomic(const std::wstring& path, std::string_view bytes, bool keepBackup, const AtomicFileCalls& calls)
{
    if (bytes.size() > MAXDWORD)  // one write call carries at most a DWORD of bytes
        return false;
    const std::wstring tmp = path + L".tmp";
    TmpFile file(calls, calls.createFile(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.handle == INVALID_HANDLE_VALUE)
        return false;

    DWORD written = 0;
    const bool stored = calls.writeFile(file.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                                        nullptr)
                     && written == bytes.size() && calls.flushFileBuffers(file.handle);
    // A failed close can mean the data never reached the file: treat it like a failed write.
    if (!file.close() || !stored) {
        calls.deleteFile(tmp.c_str());
        return false;
    }

    if (!exists(calls, path)) {
        if (calls.moveFileEx(tmp.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH))
            return true;
        calls.deleteFile(tmp.c_str());
        return false;
    }

    const std::wstring backup = path + L".bak";
    if (calls.replaceFile(path.c_str(), tmp.c_str(), keepBackup ? backup.c_str() : nullptr, 0, nullptr, nullptr))
        return true;
    repairAfterFailedReplace(calls, path, tmp, backup, keepBackup);
    calls.deleteFile(tmp.c_str());
    return false;
}

bool writeFileAtomic(const std::wstring& path, std::string_view bytes, bool keepBackup)
{
    return writeFileAtomic(path, bytes, keepBackup, AtomicFileCalls{});
}

bool storeLibrary(const Library& library, const std::wstring& libraryPath, const AtomicFileCalls& calls)
{
    // Saves run on the window thread only; the buffer of the last save is printed over.
    static std::string text;
    try {
        printLibraryText(library, text);
    } catch (const std::exception&) {
        text.clear();
        return false;
    }
    // Never report a save that the reader would refuse at the next start.
    if (text.size() > LIBRARY_FILE_LIMIT)
        return false;
    return writeFileAtomic(libraryPath, text, true, calls);
}

bool storeLibrary(const Library& library, const std::wstring& libraryPath)
{
    return storeLibrary(library, libraryPath, AtomicFileCalls{});
}

std::wstring joinPath(std::wstring_view folder, std::wstring_view name)
{
    std::wstring path(folder);
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/')
        path.push_back(L'\\');
    path.append(name);
    return path;
}
