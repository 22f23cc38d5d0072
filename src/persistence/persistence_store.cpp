// The atomic file replacement with its one-step backup, and the file side of a library save.
// The named file always holds either its old or its new complete content, never a mixture or nothing.
#include "persistence/persistence_internal.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

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

// The named file holds a complete library at every instant, so a crash or a kill at any point
// leaves something the next start can open: the new content is written and flushed under ".tmp",
// the old content gets its backup name as a second link, and only then does one rename put the new
// content in place. (ReplaceFileW renames the old file away first and leaves a gap with no file.)
// The steps are open, write (in one call or in parts) and complete.

HANDLE openTmpFile(const std::wstring& path, const AtomicFileCalls& calls)
{
    return calls.createFile((path + L".tmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
}

bool writeAll(HANDLE file, const char* bytes, std::size_t size, const AtomicFileCalls& calls)
{
    if (size > MAXDWORD)  // one write call carries at most a DWORD of bytes
        return false;
    DWORD written = 0;
    return calls.writeFile(file, bytes, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

// Texts from this size on are written while they are printed, and the backup they replace is freed
// after the save; a smaller library is printed, written and freed in a moment.
constexpr std::size_t LARGE_FILE_BYTES = std::size_t(4) << 20;

// Replacing the older backup frees its disk space, and for a large library that costs as much as
// a sixth of the save. A second name holds that space through the replacement, and a thread of its
// own drops the name once the save has returned. The name only ever holds a superseded backup, so
// a kill before it is dropped costs nothing: the next save drops it first.
class DeferredFree {
public:
    DeferredFree() = default;
    DeferredFree(const DeferredFree&) = delete;
    DeferredFree& operator=(const DeferredFree&) = delete;
    ~DeferredFree() { wait(); }  // at exit, so that a finished run leaves no second name behind

    // Gives `file` the name `holder` before it is replaced, when `wanted`; false leaves the freeing
    // to the replacement. A leftover of a killed run under that name goes either way.
    bool hold(const AtomicFileCalls& calls, const std::wstring& file, const std::wstring& holder, bool wanted)
    {
        wait();
        calls.deleteFile(holder.c_str());
        return wanted && calls.createHardLink(holder.c_str(), file.c_str(), nullptr) != FALSE;
    }
    void release(const AtomicFileCalls& calls, const std::wstring& holder)
    {
        try {
            dropping_ = std::thread([holder] { DeleteFileW(holder.c_str()); });
        } catch (const std::system_error&) {
            calls.deleteFile(holder.c_str());
        }
    }

private:
    void wait()
    {
        if (dropping_.joinable())
            dropping_.join();
    }
    std::thread dropping_;
};

// Flushes and closes the ".tmp" file whose content is complete when `stored`, then puts it in place.
bool completeAtomicWrite(const std::wstring& path, TmpFile& file, bool stored, std::size_t size, bool keepBackup,
                         const AtomicFileCalls& calls)
{
    const std::wstring tmp = path + L".tmp";
    stored = stored && calls.flushFileBuffers(file.handle);
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
        // Saves run on the window thread only.
        static DeferredFree olderBackup;
        const std::wstring holder = backup + L".old";
        const bool held = olderBackup.hold(calls, backup, holder, size >= LARGE_FILE_BYTES);
        if (!calls.moveFileEx(previous.c_str(), backup.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            calls.deleteFile(previous.c_str());
        if (held)
            olderBackup.release(calls, holder);
    }
    return true;
}

// Writes a library's text to the ".tmp" file on a thread of its own while the window thread is
// still printing it: the printing and the file's write overlap instead of following each other.
// Parts are written once a good share is ready, so a large library is not cut into many calls.
class StreamedWrite final : public PrintSink {
public:
    StreamedWrite(HANDLE file, const AtomicFileCalls& calls) : file_(file), calls_(calls)
    {
        writer_ = std::thread([this] { run(); });
    }
    StreamedWrite(const StreamedWrite&) = delete;
    StreamedWrite& operator=(const StreamedWrite&) = delete;
    ~StreamedWrite() { stop(0); }

    void printed(const char* text, std::size_t length) override
    {
        bool wake = false;
        {
            const std::lock_guard lock(mutex_);
            text_ = text;
            ready_ = length;
            // The writer is woken only when it waits and has something to do, not after every story.
            wake = moving_ || (!writing_ && ready_ >= written_ + PART);
            moving_ = false;
        }
        if (wake)
            changed_.notify_all();
    }
    void beforeMove() override
    {
        std::unique_lock lock(mutex_);
        moving_ = true;
        changed_.wait(lock, [&] { return !writing_; });
    }

    // True when text[0, length) is all in the file. With length 0 nothing more is written.
    bool finish(const char* text, std::size_t length)
    {
        printed(text, length);
        return stop(length);
    }

private:
    static constexpr std::size_t PART = std::size_t(4) << 20;

    void run()
    {
        std::unique_lock lock(mutex_);
        const auto partReady = [&] {
            return !moving_ && (ready_ >= written_ + PART || (ending_ && ready_ > written_));
        };
        const auto done = [&] { return failed_ || (ending_ && ready_ <= written_); };
        for (;;) {
            changed_.wait(lock, [&] { return done() || partReady(); });
            if (done())
                return;
            const char* from = text_ + written_;
            const std::size_t length = ready_ - written_;
            const bool last = ending_;
            writing_ = true;
            lock.unlock();
            // Flushed as it goes, so the disk writes the first parts while the rest is printed and
            // the flush that completes the file has only the last part left.
            const bool ok = writeAll(file_, from, length, calls_) && (last || calls_.flushFileBuffers(file_));
            lock.lock();
            writing_ = false;
            written_ += ok ? length : 0;
            failed_ = !ok;
            changed_.notify_all();
        }
    }

    bool stop(std::size_t length)
    {
        {
            const std::lock_guard lock(mutex_);
            if (length == 0)
                ready_ = written_;  // given up: what is not written yet never will be
            ending_ = true;
        }
        changed_.notify_all();
        if (writer_.joinable())
            writer_.join();
        return !failed_ && written_ == length;
    }

    HANDLE file_;
    const AtomicFileCalls& calls_;
    std::mutex mutex_;
    std::condition_variable changed_;
    const char* text_ = nullptr;
    std::size_t ready_ = 0;    // final bytes at the start of text_
    std::size_t written_ = 0;  // of them, in the file
    bool writing_ = false;     // a write is reading text_ now
    bool moving_ = false;      // text_ is about to move: no new write starts
    bool ending_ = false;
    bool failed_ = false;
    std::thread writer_;
};

}  // namespace

bool writeFileAtomic(const std::wstring& path, std::string_view bytes, bool keepBackup, const AtomicFileCalls& calls)
{
    TmpFile file(calls, openTmpFile(path, calls));
    if (file.handle == INVALID_HANDLE_VALUE)
        return false;
    const bool stored = writeAll(file.handle, bytes.data(), bytes.size(), calls);
    return completeAtomicWrite(path, file, stored, bytes.size(), keepBackup, calls);
}

bool writeFileAtomic(const std::wstring& path, std::string_view bytes, bool keepBackup)
{
    return writeFileAtomic(path, bytes, keepBackup, AtomicFileCalls{});
}

bool storeLibrary(const Library& library, const std::wstring& libraryPath, const AtomicFileCalls& calls)
{
    // Saves run on the window thread only; the buffer of the last save is printed over.
    static std::string text;
    TmpFile file(calls, openTmpFile(libraryPath, calls));
    if (file.handle == INVALID_HANDLE_VALUE)
        return false;
    std::size_t textBytes = 0;
    for (const Story& story : library.stories)
        textBytes += story.body.size() + story.note.size() + story.title.size();
    std::optional<StreamedWrite> stream;
    try {
        if (textBytes >= LARGE_FILE_BYTES)
            stream.emplace(file.handle, calls);
    } catch (const std::system_error&) {
        // No thread to be had: the text is printed first and written after.
    }
    bool stored = false;
    try {
        printLibraryText(library, text, stream ? &*stream : nullptr);
        // Never report a save that the reader would refuse at the next start.
        if (text.size() <= LIBRARY_FILE_LIMIT)
            stored = stream ? stream->finish(text.data(), text.size())
                            : writeAll(file.handle, text.data(), text.size(), calls);
    } catch (const std::exception&) {
        stream.reset();
        text.clear();
    }
    stream.reset();  // the writer is done with the text before anything else touches it
    return completeAtomicWrite(libraryPath, file, stored, text.size(), true, calls);
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
