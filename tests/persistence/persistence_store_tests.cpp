// The atomic write and the library save under real and injected faults: the named file always
// reads back whole with its old or its new content, and no ".tmp" is left behind.
#include "persistence/persistence_internal.h"
#include "persistence_test_support.h"

#include <gtest/gtest.h>

#include <atomic>

#include <functional>

namespace {

Library withNote(Library library, const char* note)
{
    library.stories[0].note = note;
    return library;
}

// Three generations of a real library file, so that "readable" can be checked by the reader.
const Library OLD_LIBRARY = withNote(buildSeedLibrary(), "old");
const Library NEW_LIBRARY = withNote(seedWithBoard(), "new, and longer than the old one");
const Library OLDER_LIBRARY = withNote(buildSeedLibrary(), "older");
const std::string OLD_TEXT = libraryText(OLD_LIBRARY);
const std::string NEW_TEXT = libraryText(NEW_LIBRARY);
const std::string OLDER_TEXT = libraryText(OLDER_LIBRARY);

// ---------------------------------------------------------------------------------------------
// Injected failures: each replaces one platform call of the write.

HANDLE WINAPI refuseCreate(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI refuseWrite(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED)
{
    *written = 0;
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

BOOL WINAPI writeHalf(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    return WriteFile(file, data, size / 2, written, overlapped);  // reports success with fewer bytes
}

BOOL WINAPI refuseFlush(HANDLE)
{
    SetLastError(ERROR_IO_DEVICE);
    return FALSE;
}

BOOL WINAPI closeButReportFailure(HANDLE handle)
{
    CloseHandle(handle);
    SetLastError(ERROR_IO_DEVICE);
    return FALSE;
}

BOOL WINAPI refuseMove(LPCWSTR, LPCWSTR, DWORD)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// Writes as WriteFile does until the disk is full after `bytesAllowed` more bytes, however the
// text is cut into writes.
std::atomic<std::size_t> bytesAllowed{0};
BOOL WINAPI writeUntilFull(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    if (size > bytesAllowed.load()) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    bytesAllowed -= size;
    return WriteFile(file, bytes, size, written, overlapped);
}

BOOL WINAPI refuseLink(LPCWSTR, LPCWSTR, LPSECURITY_ATTRIBUTES)
{
    SetLastError(ERROR_NOT_SUPPORTED);  // a volume without hard links
    return FALSE;
}

BOOL WINAPI refuseCopy(LPCWSTR, LPCWSTR, BOOL)
{
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

// Lets the first move through and refuses the second: the backup name is held by another program.
int movesAllowed = 0;
BOOL WINAPI moveThenRefuse(LPCWSTR from, LPCWSTR to, DWORD flags)
{
    if (movesAllowed-- > 0)
        return MoveFileExW(from, to, flags);
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
}

struct FaultCase {
    const char* name;
    std::function<void(AtomicFileCalls&)> inject;
    bool withExistingFile;  // the step is reached when the target exists (replace)
    bool withoutFile;       // the step is reached on a first write (move)
};

const FaultCase FAULTS[] = {
    {"create", [](AtomicFileCalls& c) { c.createFile = refuseCreate; }, true, true},
    {"write", [](AtomicFileCalls& c) { c.writeFile = refuseWrite; }, true, true},
    {"short write", [](AtomicFileCalls& c) { c.writeFile = writeHalf; }, true, true},
    {"flush", [](AtomicFileCalls& c) { c.flushFileBuffers = refuseFlush; }, true, true},
    {"close", [](AtomicFileCalls& c) { c.closeHandle = closeButReportFailure; }, true, true},
    {"move", [](AtomicFileCalls& c) { c.moveFileEx = refuseMove; }, true, true},
    {"link and copy",
     [](AtomicFileCalls& c) {
         c.createHardLink = refuseLink;
         c.copyFile = refuseCopy;
     },
     true, false},
};

TEST(WriteFileAtomic, FailureAtAnyStepKeepsTheOldFileWholeAndRemovesTmp)
{
    for (const FaultCase& row : FAULTS) {
        if (!row.withExistingFile)
            continue;
        TempFolder folder;
        const std::wstring path = folder.file(L"library.json");
        ASSERT_TRUE(writeBytes(path, OLD_TEXT));
        ASSERT_TRUE(writeBytes(path + L".bak", OLDER_TEXT));
        AtomicFileCalls calls;
        row.inject(calls);

        EXPECT_FALSE(writeFileAtomic(path, NEW_TEXT, true, calls)) << row.name;
        EXPECT_EQ(readBytes(path), OLD_TEXT) << row.name;
        EXPECT_EQ(readLibraryFile(path), OLD_LIBRARY) << row.name;
        EXPECT_EQ(readBytes(path + L".bak"), OLDER_TEXT) << row.name;
        EXPECT_FALSE(fileExists(path + L".tmp")) << row.name;
    }
}

TEST(WriteFileAtomic, FailureAtAnyStepOfAFirstWriteLeavesNoFileAtAll)
{
    for (const FaultCase& row : FAULTS) {
        if (!row.withoutFile)
            continue;
        TempFolder folder;
        const std::wstring path = folder.file(L"library.json");
        AtomicFileCalls calls;
        row.inject(calls);

        EXPECT_FALSE(writeFileAtomic(path, NEW_TEXT, true, calls)) << row.name;
        EXPECT_FALSE(fileExists(path)) << row.name;
        EXPECT_FALSE(fileExists(path + L".bak")) << row.name;
        EXPECT_FALSE(fileExists(path + L".tmp")) << row.name;
    }
}

TEST(WriteFileAtomic, VolumeWithoutHardLinksKeepsAFlushedCopyAsBackup)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"library.json");
    ASSERT_TRUE(writeBytes(path, OLD_TEXT));
    ASSERT_TRUE(writeBytes(path + L".bak", OLDER_TEXT));
    AtomicFileCalls calls;
    calls.createHardLink = refuseLink;

    EXPECT_TRUE(writeFileAtomic(path, NEW_TEXT, true, calls));
    EXPECT_EQ(readBytes(path), NEW_TEXT);
    EXPECT_EQ(readBytes(path + L".bak"), OLD_TEXT);
    EXPECT_FALSE(fileExists(path + L".bak.tmp"));
    EXPECT_FALSE(fileExists(path + L".tmp"));
}

// A large save drops the older backup's second name after it returns, on a thread of its own.
bool goneSoon(const std::wstring& path)
{
    for (int wait = 0; wait < 100 && fileExists(path); ++wait)
        Sleep(50);
    return !fileExists(path);
}

// A large text also holds the older backup under a second name through the refused replacement;
// that name goes all the same, and the older backup stays whole.
TEST(WriteFileAtomic, BackupNameHeldElsewhereStillSavesAndKeepsTheOlderBackup)
{
    for (const std::string& text : {std::string(NEW_TEXT), std::string(std::size_t(5) << 20, 'L')}) {
        TempFolder folder;
        const std::wstring path = folder.file(L"library.json");
        ASSERT_TRUE(writeBytes(path, OLD_TEXT));
        ASSERT_TRUE(writeBytes(path + L".bak", OLDER_TEXT));
        AtomicFileCalls calls;
        calls.moveFileEx = moveThenRefuse;
        movesAllowed = 1;

        EXPECT_TRUE(writeFileAtomic(path, text, true, calls)) << text.size() << " bytes";
        EXPECT_EQ(readBytes(path), text);
        EXPECT_EQ(readBytes(path + L".bak"), OLDER_TEXT);
        EXPECT_FALSE(fileExists(path + L".bak.tmp"));
        EXPECT_FALSE(fileExists(path + L".tmp"));
        EXPECT_TRUE(goneSoon(path + L".bak.old"));
    }
}

// Every platform call of a save checks that the named file is there and whole at that moment: a
// crash between any two calls leaves a library the next start opens.
const std::wstring* watchedPath = nullptr;
int completeChecks = 0;
void expectCompleteFile()
{
    const std::optional<std::string> bytes = readBytes(*watchedPath);
    EXPECT_TRUE(bytes == OLD_TEXT || bytes == NEW_TEXT) << "no complete library under its name";
    ++completeChecks;
}

TEST(WriteFileAtomic, NamedFileIsCompleteBetweenEveryTwoSteps)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"library.json");
    ASSERT_TRUE(writeBytes(path, OLD_TEXT));
    ASSERT_TRUE(writeBytes(path + L".bak", OLDER_TEXT));
    ASSERT_TRUE(writeBytes(path + L".bak.tmp", "left by an interrupted save"));
    watchedPath = &path;
    completeChecks = 0;
    AtomicFileCalls calls;
    calls.createFile = [](LPCWSTR a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e, DWORD f, HANDLE g) {
        expectCompleteFile();
        return CreateFileW(a, b, c, d, e, f, g);
    };
    calls.flushFileBuffers = [](HANDLE file) {
        expectCompleteFile();
        return FlushFileBuffers(file);
    };
    calls.createHardLink = [](LPCWSTR a, LPCWSTR b, LPSECURITY_ATTRIBUTES c) {
        expectCompleteFile();
        const BOOL linked = CreateHardLinkW(a, b, c);
        expectCompleteFile();
        return linked;
    };
    calls.moveFileEx = [](LPCWSTR a, LPCWSTR b, DWORD c) {
        expectCompleteFile();
        const BOOL moved = MoveFileExW(a, b, c);
        expectCompleteFile();
        return moved;
    };

    EXPECT_TRUE(writeFileAtomic(path, NEW_TEXT, true, calls));
    EXPECT_GE(completeChecks, 8);
    EXPECT_EQ(readBytes(path), NEW_TEXT);
    EXPECT_EQ(readBytes(path + L".bak"), OLD_TEXT);
    EXPECT_FALSE(fileExists(path + L".bak.tmp"));
}

TEST(WriteFileAtomic, SuccessfulReplaceMovesThePreviousContentToBak)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"library.json");
    ASSERT_TRUE(writeBytes(path, OLD_TEXT));
    ASSERT_TRUE(writeBytes(path + L".bak", OLDER_TEXT));

    EXPECT_TRUE(writeFileAtomic(path, NEW_TEXT, true));
    EXPECT_EQ(readLibraryFile(path), NEW_LIBRARY);
    EXPECT_EQ(readLibraryFile(path + L".bak"), OLD_LIBRARY);
    EXPECT_FALSE(fileExists(path + L".tmp"));
}

TEST(WriteFileAtomic, ReplaceWithoutBackupLeavesBakAlone)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"library.json");
    ASSERT_TRUE(writeBytes(path, OLD_TEXT));
    ASSERT_TRUE(writeBytes(path + L".bak", OLDER_TEXT));

    EXPECT_TRUE(writeFileAtomic(path, NEW_TEXT, false));
    EXPECT_EQ(readBytes(path), NEW_TEXT);
    EXPECT_EQ(readBytes(path + L".bak"), OLDER_TEXT);
}

TEST(WriteFileAtomic, FirstWriteMakesNoBackup)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"library.json");
    EXPECT_TRUE(writeFileAtomic(path, NEW_TEXT, true));
    EXPECT_EQ(readBytes(path), NEW_TEXT);
    EXPECT_FALSE(fileExists(path + L".bak"));
    EXPECT_FALSE(fileExists(path + L".tmp"));
}

TEST(WriteFileAtomic, WritesEmptyContent)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"empty.json");
    EXPECT_TRUE(writeFileAtomic(path, "", true));
    EXPECT_EQ(readBytes(path), "");
}

TEST(WriteFileAtomic, StaleTmpFromACrashIsReplacedAndGone)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"library.json");
    ASSERT_TRUE(writeBytes(path, OLD_TEXT));
    ASSERT_TRUE(writeBytes(path + L".tmp", std::string(1000, 'z')));

    EXPECT_TRUE(writeFileAtomic(path, NEW_TEXT, true));
    EXPECT_EQ(readBytes(path), NEW_TEXT);
    EXPECT_FALSE(fileExists(path + L".tmp"));
}

// ---------------------------------------------------------------------------------------------
// Real faults.

TEST(WriteFileAtomic, TargetHeldOpenBySomeoneSharingNothingIsLeftAlone)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"library.json");
    ASSERT_TRUE(writeBytes(path, OLD_TEXT));
    {
        ExclusiveHandle holder(path);
        ASSERT_NE(holder.handle, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(writeFileAtomic(path, NEW_TEXT, true));
        EXPECT_FALSE(fileExists(path + L".tmp"));
    }
    EXPECT_EQ(readBytes(path), OLD_TEXT);
    EXPECT_FALSE(fileExists(path + L".bak"));
}

TEST(WriteFileAtomic, MissingFolderFailsWithoutCreatingAnything)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"absent\\library.json");
    EXPECT_FALSE(writeFileAtomic(path, NEW_TEXT, true));
    EXPECT_FALSE(fileExists(folder.file(L"absent")));
}

TEST(WriteFileAtomic, LockedTmpFailsAndTouchesNeitherFile)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"library.json");
    ASSERT_TRUE(writeBytes(path, OLD_TEXT));
    ASSERT_TRUE(writeBytes(path + L".tmp", "held by another program"));
    {
        ExclusiveHandle holder(path + L".tmp");
        ASSERT_NE(holder.handle, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(writeFileAtomic(path, NEW_TEXT, true));
    }
    EXPECT_EQ(readBytes(path), OLD_TEXT);
    // The only ".tmp" is the other program's own, with its own bytes: nothing of ours was left.
    EXPECT_EQ(readBytes(path + L".tmp"), "held by another program");
    EXPECT_FALSE(fileExists(path + L".bak"));
}

// ---------------------------------------------------------------------------------------------
// Library saves.

TEST(StoreLibrary, SecondSaveKeepsTheFirstInBak)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"library.json");
    Library library = buildSeedLibrary();
    ASSERT_TRUE(storeLibrary(library, path));
    library.stories[0].note = "Revision";
    ASSERT_TRUE(storeLibrary(library, path));

    EXPECT_EQ(readLibraryFile(path).stories[0].note, "Revision");
    EXPECT_EQ(readLibraryFile(path + L".bak").stories[0].note, "");

    // A save that cannot replace the held file changes nothing.
    library.stories[0].note = "Third";
    {
        ExclusiveHandle holder(path);
        EXPECT_FALSE(storeLibrary(library, path));
    }
    EXPECT_FALSE(fileExists(path + L".tmp"));
    EXPECT_EQ(readLibraryFile(path).stories[0].note, "Revision");
    EXPECT_EQ(readLibraryFile(path + L".bak").stories[0].note, "");
}

// Stories that fill the file: valid ids and URLs, bodies and notes of the given sizes.
Library largeLibrary(std::size_t count, std::size_t bodyBytes, std::size_t noteBytes)
{
    Library library;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string url = "https://www.nasa.gov/news-release/story-" + std::to_string(i) + "/";
        makeSeedStory(library, "Story " + std::to_string(i), std::string(bodyBytes, 'b'), url, -1, "NASA", 0);
        library.stories.back().note = std::string(noteBytes, 'n');
    }
    return library;
}

// A large library is written while it is printed. Texts that need many escapes outgrow the room
// the printer set aside, so its memory may move under the writer; what lands is still the text.
TEST(StoreLibrary, ATextThatOutgrowsItsRoomWhileBeingWrittenReadsBackEqual)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"library.json");
    Library library = largeLibrary(280, 0, 0);
    for (Story& story : library.stories)
        story.body = std::string(BODY_LIMIT, '\t');  // each byte printed as two
    ASSERT_TRUE(storeLibrary(library, path));
    EXPECT_EQ(readLibraryFile(path), library);
    EXPECT_FALSE(fileExists(path + L".tmp"));
}

TEST(StoreLibrary, AWriteThatFailsPartWayKeepsThePreviousFileAndLeavesNoTmp)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"library.json");
    ASSERT_TRUE(storeLibrary(buildSeedLibrary(), path));
    const std::optional<std::string> before = readBytes(path);
    AtomicFileCalls calls;
    calls.writeFile = writeUntilFull;
    for (const std::size_t allowed : {std::size_t(0), std::size_t(5) << 20}) {
        bytesAllowed = allowed;
        EXPECT_FALSE(storeLibrary(largeLibrary(600, BODY_LIMIT, 0), path, calls)) << allowed << " bytes fit";
        EXPECT_TRUE(readBytes(path) == before) << "the previous file is unchanged";
        EXPECT_FALSE(fileExists(path + L".tmp"));
    }
}

TEST(StoreLibrary, RefusesATextTheReaderWouldRefuseAndKeepsThePreviousFile)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"library.json");
    ASSERT_TRUE(storeLibrary(buildSeedLibrary(), path));
    const std::optional<std::string> before = readBytes(path);

    // 600 stories of 24000 + 8000 bytes print to about 19 MB, past the 16 MiB the reader accepts.
    EXPECT_FALSE(storeLibrary(largeLibrary(600, BODY_LIMIT, NOTE_LIMIT), path));
    EXPECT_EQ(readBytes(path), before);
    EXPECT_FALSE(fileExists(path + L".tmp"));
    EXPECT_FALSE(fileExists(path + L".bak"));
}

TEST(StoreLibrary, LargeLibraryBelowTheLimitIsSavedAndReadsBackEqual)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"library.json");
    const Library library = largeLibrary(600, BODY_LIMIT, 0);  // about 14.5 MB
    ASSERT_TRUE(storeLibrary(library, path));
    EXPECT_EQ(readLibraryFile(path), library);
}

// A large save frees the older backup after it returns, through a second name. A leftover of that
// name from a killed run is dropped first; one held by another program costs only the deferral.
TEST(StoreLibrary, LargeSavesKeepTheBackupChainAndLeaveNoSecondNameBehind)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"library.json");
    const std::wstring holder = path + L".bak.old";
    Library library = largeLibrary(300, 20000, 0);  // about 6 MB
    ASSERT_TRUE(storeLibrary(library, path));
    for (const char* note : {"second", "third", "fourth"}) {
        const Library before = readLibraryFile(path);
        library.stories[3].note = note;
        ASSERT_TRUE(writeBytes(holder, "left by a killed run"));
        {
            std::optional<ExclusiveHandle> held;
            if (std::string_view(note) == "second")
                held.emplace(holder);
            ASSERT_TRUE(storeLibrary(library, path)) << note;
        }
        EXPECT_EQ(readLibraryFile(path), library) << note;
        EXPECT_EQ(readLibraryFile(path + L".bak"), before) << note;
    }
    EXPECT_TRUE(goneSoon(holder));
    // A small save frees in a moment, and drops a leftover all the same.
    ASSERT_TRUE(writeBytes(holder, "left by a killed run"));
    ASSERT_TRUE(storeLibrary(buildSeedLibrary(), path));
    EXPECT_FALSE(fileExists(holder));
    EXPECT_EQ(readLibraryFile(path + L".bak"), library);
}

TEST(StoreLibrary, UnprintableTextFailsTheSaveAndWritesNothing)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"library.json");
    Library library = buildSeedLibrary();
    library.stories[0].note = "\xC3(";
    EXPECT_FALSE(storeLibrary(library, path));
    EXPECT_FALSE(fileExists(path));
    EXPECT_FALSE(fileExists(path + L".tmp"));
}

TEST(StoreLibrary, InjectedMoveFailureKeepsTheOldLibraryAndItsBackup)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"library.json");
    Library library = buildSeedLibrary();
    ASSERT_TRUE(storeLibrary(library, path));
    library.stories[1].note = "Changed";
    ASSERT_TRUE(storeLibrary(library, path));
    library.stories[1].note = "Changed again";
    AtomicFileCalls calls;
    calls.moveFileEx = refuseMove;
    EXPECT_FALSE(storeLibrary(library, path, calls));
    EXPECT_EQ(readLibraryFile(path).stories[1].note, "Changed");
    EXPECT_EQ(readLibraryFile(path + L".bak"), buildSeedLibrary());
    EXPECT_FALSE(fileExists(path + L".bak.tmp"));
}

TEST(JoinPath, AddsExactlyOneSeparator)
{
    EXPECT_EQ(joinPath(L"C:\\data", L"library.json"), L"C:\\data\\library.json");
    EXPECT_EQ(joinPath(L"C:\\data\\", L"library.json"), L"C:\\data\\library.json");
    EXPECT_EQ(joinPath(L"C:/data/", L"library.json"), L"C:/data/library.json");
    EXPECT_EQ(joinPath(L"", L"library.json"), L"library.json");
}

}  // namespace
