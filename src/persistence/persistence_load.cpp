// The start-up load chain (library file, else its backup, else the seed collection in a recovery
// file, every original file preserved) and the two-step restore of the previous backup.
#include "persistence/persistence_internal.h"

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

// A recovery file of an earlier run may carry this stamp (two starts in one second, a clock set
// back); saving over it would lose that run's library, so the next free stamp is taken instead.
std::wstring freeRecoveryPath(const std::wstring& dataFolder, std::int64_t stamp)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::wstring path = joinPath(dataFolder, stampedName(L"recovery-", stamp + attempt));
        if (!pathExists(path) && !pathExists(path + L".bak"))
            return path;
    }
    return joinPath(dataFolder, stampedName(L"recovery-", stamp));  // a thousand taken names: give up searching
}

}  // namespace

LoadResult loadLibrary(const std::wstring& dataFolder, std::int64_t stamp)
{
    LoadResult result;
    result.libraryPath = joinPath(dataFolder, L"library.json");

    if (GetFileAttributesW(result.libraryPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
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
    result.libraryPath = freeRecoveryPath(dataFolder, stamp);
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
