// The start-up load chain in throwaway data folders, and the two-step restore of the previous
// backup, each checked by the files it leaves and the library it opens.
#include "persistence/persistence.h"
#include "persistence_test_support.h"

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t STAMP = 1700000000;
const std::string DAMAGED = "{\"format\": \"Kestrune\", \"version\": 1, \"stor";
const std::string DAMAGED_BACKUP = "not a library at all";

// Saves the way the shell does after the chain asked for it.
void saveIfAsked(const LoadResult& result)
{
    if (result.mustSave) {
        ASSERT_TRUE(storeLibrary(result.library, result.libraryPath));
    }
}

TEST(LoadChain, FirstStartSavesTheSeedWithoutBackup)
{
    TempFolder folder;
    LoadResult result = loadLibrary(folder.path, STAMP);
    EXPECT_EQ(result.library, buildSeedLibrary());
    EXPECT_EQ(result.libraryPath, folder.file(L"library.json"));
    EXPECT_EQ(result.status, UiStringKey::OfflineCollectionReady);
    EXPECT_EQ(static_cast<int>(result.status), 49);
    EXPECT_TRUE(result.mustSave);

    saveIfAsked(result);
    EXPECT_EQ(readLibraryFile(folder.file(L"library.json")), buildSeedLibrary());
    EXPECT_FALSE(fileExists(folder.file(L"library.json.bak")));
}

TEST(LoadChain, ReadableFileIsOpenedAndNothingIsSaved)
{
    TempFolder folder;
    ASSERT_TRUE(storeLibrary(seedWithBoard(), folder.file(L"library.json")));
    const LoadResult result = loadLibrary(folder.path, STAMP);
    EXPECT_EQ(result.library, seedWithBoard());
    EXPECT_EQ(result.libraryPath, folder.file(L"library.json"));
    EXPECT_EQ(result.status, UiStringKey::OfflineCollectionReady);
    EXPECT_FALSE(result.mustSave);
}

TEST(LoadChain, DamagedFileWithGoodBackupIsPreservedAndReplacedByTheBackup)
{
    TempFolder folder;
    const std::wstring library = folder.file(L"library.json");
    ASSERT_TRUE(writeBytes(library, DAMAGED));
    ASSERT_TRUE(writeBytes(library + L".bak", libraryText(seedWithBoard())));
    const std::optional<std::string> backupBytes = readBytes(library + L".bak");

    const LoadResult result = loadLibrary(folder.path, STAMP);
    EXPECT_EQ(result.library, seedWithBoard());
    EXPECT_EQ(result.libraryPath, library);
    EXPECT_EQ(static_cast<int>(result.status), 71);
    EXPECT_TRUE(result.mustSave);
    EXPECT_EQ(readBytes(folder.file(L"library-damaged-1700000000.json")), DAMAGED);
    EXPECT_FALSE(fileExists(library));

    saveIfAsked(result);
    EXPECT_EQ(readLibraryFile(library), seedWithBoard());
    EXPECT_EQ(readBytes(library + L".bak"), backupBytes);
}

TEST(LoadChain, BothDamagedOpensSeedInRecoveryFileAndTouchesNeither)
{
    TempFolder folder;
    const std::wstring library = folder.file(L"library.json");
    ASSERT_TRUE(writeBytes(library, DAMAGED));
    ASSERT_TRUE(writeBytes(library + L".bak", DAMAGED_BACKUP));

    const LoadResult result = loadLibrary(folder.path, STAMP);
    EXPECT_EQ(result.library, buildSeedLibrary());
    EXPECT_EQ(result.libraryPath, folder.file(L"recovery-1700000000.json"));
    EXPECT_EQ(static_cast<int>(result.status), 72);
    EXPECT_TRUE(result.mustSave);

    saveIfAsked(result);
    EXPECT_EQ(readLibraryFile(result.libraryPath), buildSeedLibrary());
    EXPECT_EQ(readBytes(library), DAMAGED);
    EXPECT_EQ(readBytes(library + L".bak"), DAMAGED_BACKUP);
    EXPECT_FALSE(fileExists(folder.file(L"library-damaged-1700000000.json")));

    // Later saves of the run go to the recovery file, and a restore looks for its own backup.
    Library changed = result.library;
    changed.stories[3].note = "Recovered run";
    ASSERT_TRUE(storeLibrary(changed, result.libraryPath));
    EXPECT_EQ(readBytes(library), DAMAGED);
    bool armed = false;
    RestoreContext context{changed, armed, result.libraryPath, nullptr, nullptr};
    context.saveLibrary = [&] { return storeLibrary(changed, context.libraryPath); };
    EXPECT_EQ(restorePreviousBackup(context), RestoreResult::Armed);
    EXPECT_EQ(restorePreviousBackup(context), RestoreResult::Restored);
    EXPECT_EQ(changed, buildSeedLibrary());
    EXPECT_EQ(readLibraryFile(folder.file(L"recovery-1700000000.json.bak")).stories[3].note, "Recovered run");
}

TEST(LoadChain, DamagedFileThatCannotBeMovedAsideLeadsToRecovery)
{
    TempFolder folder;
    const std::wstring library = folder.file(L"library.json");
    const std::wstring inTheWay = folder.file(L"library-damaged-1700000000.json");
    ASSERT_TRUE(writeBytes(library, DAMAGED));
    ASSERT_TRUE(writeBytes(library + L".bak", libraryText(seedWithBoard())));
    ASSERT_TRUE(writeBytes(inTheWay, "an earlier damaged file"));
    const std::optional<std::string> backupBytes = readBytes(library + L".bak");

    const LoadResult result = loadLibrary(folder.path, STAMP);
    EXPECT_EQ(result.library, buildSeedLibrary());
    EXPECT_EQ(result.libraryPath, folder.file(L"recovery-1700000000.json"));
    EXPECT_EQ(static_cast<int>(result.status), 72);
    saveIfAsked(result);
    EXPECT_EQ(readBytes(library), DAMAGED);
    EXPECT_EQ(readBytes(library + L".bak"), backupBytes);
    EXPECT_EQ(readBytes(inTheWay), "an earlier damaged file");
}

TEST(LoadChain, LibraryFileHeldOpenIsNeitherReadNorMovedAndRecoveryOpens)
{
    TempFolder folder;
    const std::wstring library = folder.file(L"library.json");
    ASSERT_TRUE(writeBytes(library, libraryText(buildSeedLibrary())));
    ASSERT_TRUE(writeBytes(library + L".bak", libraryText(seedWithBoard())));
    LoadResult result;
    {
        ExclusiveHandle holder(library);
        ASSERT_NE(holder.handle, INVALID_HANDLE_VALUE);
        result = loadLibrary(folder.path, STAMP);
    }
    EXPECT_EQ(static_cast<int>(result.status), 72);
    EXPECT_EQ(result.libraryPath, folder.file(L"recovery-1700000000.json"));
    EXPECT_EQ(readLibraryFile(library), buildSeedLibrary());
    EXPECT_FALSE(fileExists(folder.file(L"library-damaged-1700000000.json")));
}

TEST(LoadChain, RecoveryNeverOverwritesTheRecoveryFileOfAnEarlierRun)
{
    TempFolder folder;
    ASSERT_TRUE(writeBytes(folder.file(L"library.json"), DAMAGED));
    ASSERT_TRUE(writeBytes(folder.file(L"recovery-1700000000.json"), "earlier run"));

    const LoadResult result = loadLibrary(folder.path, STAMP);
    EXPECT_EQ(result.libraryPath, folder.file(L"recovery-1700000001.json"));
    saveIfAsked(result);
    EXPECT_EQ(readBytes(folder.file(L"recovery-1700000000.json")), "earlier run");
}

TEST(LoadChain, GoodFileHeldOpenForWritingByASyncToolIsReadNotRenamed)
{
    TempFolder folder;
    const std::wstring library = folder.file(L"library.json");
    ASSERT_TRUE(writeBytes(library, libraryText(seedWithBoard())));
    HANDLE holder = CreateFileW(library.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const LoadResult result = loadLibrary(folder.path, STAMP);
    CloseHandle(holder);
    EXPECT_EQ(result.status, UiStringKey::OfflineCollectionReady);
    EXPECT_EQ(result.library, seedWithBoard());
    EXPECT_FALSE(fileExists(folder.file(L"library-damaged-1700000000.json")));
}

// ---------------------------------------------------------------------------------------------
// What an interrupted save leaves: "library.json" missing (or a stale ".tmp" beside it). The chain
// recovers from the leftovers and starts from the seed only in a folder without any of the three.

Library withNote(Library library, const char* note)
{
    library.stories[2].note = note;
    return library;
}

const Library LAST_SAVE = withNote(seedWithBoard(), "the save that was interrupted");
const Library PREVIOUS_SAVE = withNote(seedWithBoard(), "the save before it");
const std::string LAST_TEXT = libraryText(LAST_SAVE);
const std::string PREVIOUS_TEXT = libraryText(PREVIOUS_SAVE);

struct LeftoverCase {
    const char* name;
    const std::string* library;  // nullptr: no file of that name
    const std::string* tmp;
    const std::string* backup;
    const Library* opens;        // nullptr: the seed collection
    int status;
    const wchar_t* savesTo;
    bool damagedCopyOfTmp;       // the damaged ".tmp" is kept as "library-damaged-<stamp>.json"
};

const LeftoverCase LEFTOVERS[] = {
    {"tmp only", nullptr, &LAST_TEXT, nullptr, &LAST_SAVE, 99, L"library.json", false},
    {"bak only", nullptr, nullptr, &PREVIOUS_TEXT, &PREVIOUS_SAVE, 99, L"library.json", false},
    {"tmp and bak", nullptr, &LAST_TEXT, &PREVIOUS_TEXT, &LAST_SAVE, 99, L"library.json", false},
    {"damaged tmp and bak", nullptr, &DAMAGED, &PREVIOUS_TEXT, &PREVIOUS_SAVE, 71, L"library.json", true},
    {"damaged tmp only", nullptr, &DAMAGED, nullptr, nullptr, 72, L"library.json", true},
    {"damaged tmp and damaged bak", nullptr, &DAMAGED, &DAMAGED_BACKUP, nullptr, 72, L"recovery-1700000000.json",
     true},
    {"stale tmp beside library.json", &PREVIOUS_TEXT, &LAST_TEXT, nullptr, &PREVIOUS_SAVE, 49, L"library.json",
     false},
};

TEST(LoadChain, LeftoversOfAnInterruptedSaveAreRecoveredNeverSeeded)
{
    for (const LeftoverCase& row : LEFTOVERS) {
        TempFolder folder;
        const std::wstring library = folder.file(L"library.json");
        if (row.library) {
            ASSERT_TRUE(writeBytes(library, *row.library));
        }
        if (row.tmp) {
            ASSERT_TRUE(writeBytes(library + L".tmp", *row.tmp));
        }
        if (row.backup) {
            ASSERT_TRUE(writeBytes(library + L".bak", *row.backup));
        }

        const LoadResult result = loadLibrary(folder.path, STAMP);
        EXPECT_EQ(result.library, row.opens ? *row.opens : buildSeedLibrary()) << row.name;
        EXPECT_EQ(static_cast<int>(result.status), row.status) << row.name;
        EXPECT_EQ(result.libraryPath, folder.file(row.savesTo)) << row.name;
        EXPECT_EQ(readBytes(folder.file(L"library-damaged-1700000000.json")),
                  row.damagedCopyOfTmp ? std::optional<std::string>(DAMAGED) : std::nullopt)
            << row.name;
        saveIfAsked(result);

        // The library opened is on disk under its name, and the backup kept its bytes.
        EXPECT_EQ(readLibraryFile(result.libraryPath), result.library) << row.name;
        EXPECT_EQ(readBytes(library + L".bak"),
                  row.backup ? std::optional<std::string>(*row.backup) : std::nullopt)
            << row.name;
        if (!row.library) {
            EXPECT_FALSE(fileExists(library + L".tmp")) << row.name;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Restore previous backup.

struct RestoreFixture : ::testing::Test {
    TempFolder folder;
    std::wstring path = folder.file(L"library.json");
    Library library;
    Library original = buildSeedLibrary();
    Library revised;
    bool armed = false;
    bool noteCommits = true;
    bool saveWorks = true;
    int saves = 0;
    RestoreContext context{library, armed, path, nullptr, nullptr};

    void SetUp() override
    {
        revised = original;
        revised.stories[0].note = "Revision";
        revised.settings.automatic = true;
        ASSERT_TRUE(storeLibrary(original, path));
        ASSERT_TRUE(storeLibrary(revised, path));
        library = revised;
        context.commitNote = [this] { return noteCommits; };
        context.saveLibrary = [this] {
            ++saves;
            return saveWorks && storeLibrary(library, path);
        };
    }
};

TEST_F(RestoreFixture, OneClickOnlyArms)
{
    const std::optional<std::string> before = readBytes(path);
    EXPECT_EQ(restorePreviousBackup(context), RestoreResult::Armed);
    EXPECT_TRUE(armed);
    EXPECT_EQ(library, revised);
    EXPECT_EQ(saves, 0);
    EXPECT_EQ(readBytes(path), before);
}

TEST_F(RestoreFixture, SecondClickRestoresAndTheCurrentLibraryBecomesTheBackup)
{
    restorePreviousBackup(context);
    EXPECT_EQ(restorePreviousBackup(context), RestoreResult::Restored);
    EXPECT_FALSE(armed);
    EXPECT_EQ(library, original);
    EXPECT_EQ(readLibraryFile(path), original);
    EXPECT_EQ(readLibraryFile(path + L".bak"), revised);
}

TEST_F(RestoreFixture, CancelledArmingMakesTheNextClickAskAgain)
{
    restorePreviousBackup(context);
    armed = false;  // "Cancel restore" or a section switch
    EXPECT_EQ(restorePreviousBackup(context), RestoreResult::Armed);
    EXPECT_EQ(library, revised);
    EXPECT_EQ(saves, 0);
}

TEST_F(RestoreFixture, SecondConfirmedRestoreSwapsBack)
{
    restorePreviousBackup(context);
    ASSERT_EQ(restorePreviousBackup(context), RestoreResult::Restored);
    restorePreviousBackup(context);
    EXPECT_EQ(restorePreviousBackup(context), RestoreResult::Restored);
    EXPECT_EQ(library, revised);
    EXPECT_EQ(readLibraryFile(path), revised);
    EXPECT_EQ(readLibraryFile(path + L".bak"), original);
}

TEST_F(RestoreFixture, NoReadableBackupChangesNothing)
{
    ASSERT_TRUE(writeBytes(path + L".bak", DAMAGED));
    restorePreviousBackup(context);
    EXPECT_EQ(restorePreviousBackup(context), RestoreResult::NoReadableBackup);
    EXPECT_FALSE(armed);
    EXPECT_EQ(library, revised);
    EXPECT_EQ(saves, 0);
    EXPECT_EQ(readBytes(path + L".bak"), DAMAGED);
}

TEST_F(RestoreFixture, MissingBackupIsNoReadableBackup)
{
    ASSERT_TRUE(DeleteFileW((path + L".bak").c_str()));
    restorePreviousBackup(context);
    EXPECT_EQ(restorePreviousBackup(context), RestoreResult::NoReadableBackup);
    EXPECT_EQ(library, revised);
}

TEST_F(RestoreFixture, FailedSaveRollsTheLibraryBack)
{
    restorePreviousBackup(context);
    {
        ExclusiveHandle holder(path);  // the real save cannot replace the file
        EXPECT_EQ(restorePreviousBackup(context), RestoreResult::SaveFailed);
    }
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(library, revised);
    EXPECT_FALSE(armed);
    EXPECT_EQ(readLibraryFile(path), revised);
    EXPECT_EQ(readLibraryFile(path + L".bak"), original);
}

TEST_F(RestoreFixture, SaveThatThrowsAlsoRollsBack)
{
    context.saveLibrary = [] () -> bool { throw Failure("Save failed"); };
    restorePreviousBackup(context);
    EXPECT_EQ(restorePreviousBackup(context), RestoreResult::SaveFailed);
    EXPECT_EQ(library, revised);
}

TEST_F(RestoreFixture, NoteThatCannotBeCommittedStopsBeforeArming)
{
    noteCommits = false;
    EXPECT_EQ(restorePreviousBackup(context), RestoreResult::NoteNotCommitted);
    EXPECT_FALSE(armed);
    armed = true;
    EXPECT_EQ(restorePreviousBackup(context), RestoreResult::NoteNotCommitted);
    EXPECT_TRUE(armed);
    EXPECT_EQ(library, revised);
}

}  // namespace
