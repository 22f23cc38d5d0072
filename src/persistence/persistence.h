// Persistence: the library file format, the atomic store with its one-step backup, the start-up
// load chain with recovery, restore of the previous backup, and the activity log.
#pragma once

#include "locale/locale.h"
#include "model/model.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// ---------------------------------------------------------------------------------------------
// Library file format

inline constexpr std::uint64_t LIBRARY_FILE_LIMIT = 16u * 1024u * 1024u;  // bytes; exactly 16 MiB is read

nlohmann::json libraryToJson(const Library& library);
Library libraryFromJson(const nlohmann::json& document);   // all or nothing; raises on any rule
Library libraryFromJson(nlohmann::json&& document);        // the same, taking the texts instead of copying
std::string libraryText(const Library& library);          // the file text; raises on invalid UTF-8
// The same text printed into `text`, reusing its memory; on a failure `text` holds no file text.
void printLibraryText(const Library& library, std::string& text);
Library readLibraryFile(const std::wstring& path);          // size check before any parsing
Library readLibraryText(std::string_view text);             // the file's text, parsed and checked

// ---------------------------------------------------------------------------------------------
// Atomic store

// Replaces the file with exactly these bytes or leaves it untouched; with keepBackup the previous
// content becomes path + ".bak".
bool writeFileAtomic(const std::wstring& path, std::string_view bytes, bool keepBackup);

// The file side of a library save: prints the library and writes it atomically with a backup.
// False when it could not be printed, would exceed what readLibraryFile accepts, or was not written.
bool storeLibrary(const Library& library, const std::wstring& libraryPath);

// ---------------------------------------------------------------------------------------------
// Load chain (start-up, after the session lock is held)

struct LoadResult {
    Library library;
    std::wstring libraryPath;  // "library.json", or the recovery file for the rest of the run
    UiStringKey status = UiStringKey::OfflineCollectionReady;
    bool mustSave = false;     // a seed, recovered or recovery library that the caller saves now
};

LoadResult loadLibrary(const std::wstring& dataFolder, std::int64_t stamp);

// ---------------------------------------------------------------------------------------------
// Restore previous backup (two steps: the first call arms, the second restores)

struct RestoreContext {
    Library& library;
    bool& restoreArmed;
    std::wstring libraryPath;
    std::function<bool()> commitNote;   // the shell's commitNote
    std::function<bool()> saveLibrary;  // the shell's saveLibrary (save-failure state included)
};

enum class RestoreResult {
    NoteNotCommitted,  // stopped before anything changed
    Armed,             // key 94
    NoReadableBackup,  // key 96, error style
    Restored,          // key 95; the caller selects the first story
    SaveFailed,        // the previous library is back in memory; the save-failure status stands
};

RestoreResult restorePreviousBackup(RestoreContext& context);

// ---------------------------------------------------------------------------------------------
// Board export

struct AtomicFileCalls;

// The board as a library of its own: the pinned stories in library order, the links, the settings.
Library boardOf(const Library& library);
// "Kestrune-board-" + seconds + "-" + milliseconds + ".json"
std::wstring boardExportName(std::int64_t seconds, std::uint64_t milliseconds);
// Creates the folder and any missing parents; false when no folder is there afterwards.
bool ensureFolder(const std::wstring& path);
// Writes the board into a new file in dataFolder\exports and returns its path, or empty on any
// failure. An existing file is never replaced: a taken name moves the millisecond part on by one.
std::wstring writeBoardExport(const Library& library, const std::wstring& dataFolder, std::int64_t seconds,
                              std::uint64_t milliseconds);
std::wstring writeBoardExport(const Library& library, const std::wstring& dataFolder, std::int64_t seconds,
                              std::uint64_t milliseconds, const AtomicFileCalls& calls);

// ---------------------------------------------------------------------------------------------
// Activity log

// Appends "<unix seconds> <EVENT>" to dataFolder\activity.log, rotating past 131072 bytes.
// Never fails towards the caller.
void logActivity(const std::wstring& dataFolder, std::string_view event);

// Joins a folder and a file name with one backslash.
std::wstring joinPath(std::wstring_view folder, std::wstring_view name);
