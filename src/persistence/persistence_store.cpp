// The atomic file replacement with its one-step backup, and the file side of a library save.
// The named file always holds either its old or its new complete content, never a mixture or nothing.
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

// A second name for the current content, made without touching the named file: a hard link
// costs no copy; where the volume has none, a copy flushed to the disk.
bool preserveUnder(const AtomicFileCalls& calls, const std::wstring& path, const std::wstring& name)
{
    calls.deleteFile(name.c_str());  // a leftover of an interrupted save
    if (calls.createHardLink(name.c_str(), path.c_str(), nullptr))
        return true;
    if (!calls.copyFile(path.c_str(), name.c_str(), FALSE)) {
        calls.deleteFile(name.c_str());
        return false;
    }
    TmpFile copy(calls, calls.createFile(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    const bool opened = copy.handle != INVALID_HANDLE_VALUE;
    const bool flushed = opened && calls.flushFileBuffers(copy.handle);
    if (!(opened && copy.close()) || !flushed) {
        calls.deleteFile(name.c_str());
        return false;
    }
    return true;
}

}  // namespace

// The named file holds a complete library at every instant, so a crash or a kill at any point
// leaves something the next start can open: the new content is written and flushed under ".tmp",
// the old content gets its backup name as a second link, and only then does one rename put the new
// content in place. (ReplaceFileW renames the old file away first and leaves a gap with no file.)
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

    // The previous content waits under this name until the new one is in place, so a failure
    // before that leaves the older backup as it was.
    const std::wstring previous = path + L".bak.tmp";
    const bool backingUp = keepBackup && exists(calls, path);
    if (backingUp && !preserveUnder(calls, path, previous)) {
        calls.deleteFile(tmp.c_str());
        return false;
    }
    if (!calls.moveFileEx(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        if (backingUp)
            calls.deleteFile(previous.c_str());
        calls.deleteFile(tmp.c_str());
        return false;
    }
    // The save itself is done. A backup name held by another program keeps the older backup,
    // which is still a complete library; the save is not undone for it.
    if (backingUp) {
        const std::wstring backup = path + L".bak";
        if (!calls.moveFileEx(previous.c_str(), backup.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            calls.deleteFile(previous.c_str());
    }
    return true;
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
