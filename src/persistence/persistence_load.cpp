// The start-up load chain (library file, else its backup, else the seed collection in a recovery
// file, every original file preserved; an interrupted save recovered from the files it left) and the
// two-step restore of the previous backup.
#include "persistence/persistence_internal.h"

#include <optional>
#include <string>

namespace {

std::wstring stampedName(std::wstring_view prefix, std::int64_t stamp)
{
    return std::wstring(prefix) + std::to_wstring(stamp) + L".json";
}

bool pathExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A file of an earlier run may carry this stamp (two starts in one second, a clock set back);
// saving or moving over it would lose it, so the next free stamp is taken instead.
std::wstring freeStampedPath(const std::wstring& dataFolder, std::wstring_view prefix, std::int64_t stamp)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::wstring path = joinPath(dataFolder, stampedName(prefix, stamp + attempt));
        if (!pathExists(path) && !pathExists(path + L".bak"))
            return path;
    }
    return joinPath(dataFolder, stampedName(prefix, stamp));  // a thousand taken names: give up searching
}

// "library.json" is missing but a save left its other files behind (a crash, a kill or a power
// cut between two renames): the library is recovered from them, never started over from the seed.
LoadResult recoverInterruptedSave(LoadResult result, const std::wstring& dataFolder, std::int64_t stamp)
{
    const std::wstring tmp = result.libraryPath + L".tmp";
    const std::wstring backupPath = result.libraryPath + L".bak";
    bool tmpDamaged = false;
    bool tmpOutOfTheWay = true;  // the next save may create its ".tmp"
    if (pathExists(tmp)) {
        try {
            // Written and flushed whole before the interrupted rename: the last save the user made.
            result.library = readLibraryFile(tmp);
            result.status = UiStringKey::LibraryRecovered;
            result.mustSave = !MoveFileExW(tmp.c_str(), result.libraryPath.c_str(), MOVEFILE_WRITE_THROUGH);
            return result;
        } catch (const std::exception&) {
        }
        tmpDamaged = true;
        tmpOutOfTheWay = MoveFileExW(tmp.c_str(), freeStampedPath(dataFolder, L"library-damaged-", stamp).c_str(),
                                     MOVEFILE_WRITE_THROUGH)
                      != FALSE;
    }

    std::optional<Library> backup;
    try {
        if (pathExists(backupPath))
            backup = readLibraryFile(backupPath);
    } catch (const std::exception&) {
    }
    result.mustSave = true;
    if (backup && tmpOutOfTheWay) {
        // The save creates "library.json" by a plain move and leaves the backup as it is.
        result.library = std::move(*backup);
        result.status = tmpDamaged ? UiStringKey::RecoveredBackup : UiStringKey::LibraryRecovered;
        return result;
    }
    result.library = backup ? std::move(*backup) : buildSeedLibrary();
    result.status = UiStringKey::RecoveryLibraryOpen;
    // A damaged backup keeps its bytes, and so does a damaged ".tmp" that could not be moved aside:
    // this run saves elsewhere. With neither in the way, the run carries on in "library.json".
    if (pathExists(backupPath) || !tmpOutOfTheWay)
        result.libraryPath = freeStampedPath(dataFolder, L"recovery-", stamp);
    return result;
}

}  // namespace

LoadResult loadLibrary(const std::wstring& dataFolder, std::int64_t stamp)
{
    LoadResult result;
    result.libraryPath = joinPath(dataFolder, L"library.json");

    if (GetFileAttributesW(result.libraryPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            // Only a folder without any of the three files is a first start.
            if (pathExists(result.libraryPath + L".tmp") || pathExists(result.libraryPath + L".bak"))
                return recoverInterruptedSave(std::move(result), dataFolder, stamp);
            result.library = buildSeedLibrary();
            result.mustSave = true;
            return result;
        }
        // Any other answer (access denied, a device error) is treated like a file that failed to read.
    } else {
        try {
            result.library = readLibraryFile(result.libraryPath);
            return result;
        } catch (const std::exception&) {
        }
    }

    try {
        Library backup = readLibraryFile(result.libraryPath + L".bak");
        const std::wstring damaged = joinPath(dataFolder, stampedName(L"library-damaged-", stamp));
        // Write-through only: an existing file of that name is never overwritten.
        if (!MoveFileExW(result.libraryPath.c_str(), damaged.c_str(), MOVEFILE_WRITE_THROUGH))
            fail("Preservation failed");
        result.library = std::move(backup);
        result.status = UiStringKey::RecoveredBackup;
        result.mustSave = true;
        return result;
    } catch (const std::exception&) {
    }

    result.library = buildSeedLibrary();
    result.libraryPath = freeStampedPath(dataFolder, L"recovery-", stamp);
    result.status = UiStringKey::RecoveryLibraryOpen;
    result.mustSave = true;
    return result;
}

RestoreResult restorePreviousBackup(RestoreContext& context)
{
    if (context.commitNote && !context.commitNote())
        return RestoreResult::NoteNotCommitted;
    if (!context.restoreArmed) {
        context.restoreArmed = true;
        return RestoreResult::Armed;
    }
    context.restoreArmed = false;

    Library backup;
    try {
        backup = readLibraryFile(context.libraryPath + L".bak");
    } catch (const std::exception&) {
        return RestoreResult::NoReadableBackup;
    }

    Library rollback = context.library;
    context.library = std::move(backup);
    bool saved = false;
    try {
        saved = context.saveLibrary && context.saveLibrary();
    } catch (const std::exception&) {
        saved = false;
    }
    if (saved)
        return RestoreResult::Restored;
    context.library = std::move(rollback);
    return RestoreResult::SaveFailed;
}
