// The file side of the board export: its name, what it holds, the exports folder, and that no
// export ever replaces an existing file or leaves a partial one behind.
#include "persistence/persistence_internal.h"
#include "persistence_test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr std::int64_t SECONDS = 1750000000;
constexpr std::uint64_t TICKS = 4242;

std::vector<std::wstring> filesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
        names.push_back(entry.path().filename().wstring());
    return names;
}

std::wstring exportPath(const TempFolder& data, std::uint64_t ticks)
{
    return data.path + L"\\exports\\" + boardExportName(SECONDS, ticks);
}

// Every name looks free, as when another writer creates the file between the check and the move.
DWORD WINAPI everythingLooksFree(LPCWSTR)
{
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
}

BOOL WINAPI refuseWrite(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED)
{
    *written = 0;
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

}  // namespace

TEST(BoardExport, NamesTheFileWithSecondsThenMilliseconds)
{
    EXPECT_EQ(boardExportName(1750000000, 123456), L"Kestrune-board-1750000000-123456.json");
    EXPECT_EQ(boardExportName(0, 0), L"Kestrune-board-0-0.json");
}

TEST(BoardExport, LeavesOutUnpinnedStoriesAndKeepsLinksSettingsAndOrder)
{
    TempFolder data;
    Library library = seedWithBoard();  // seed stories 0 and 1 pinned and linked; 2 and 3 not
    library.stories[1].note = "Compare with the ocean survey";
    library.settings = {.automatic = true, .notifications = false, .lastCheck = 1700000000};
    const Library before = library;

    const std::wstring path = writeBoardExport(library, data.path, SECONDS, TICKS);
    ASSERT_EQ(path, exportPath(data, TICKS));
    EXPECT_EQ(library, before) << "the export must not change the library";

    const Library read = readLibraryFile(path);
    ASSERT_EQ(read.stories.size(), 2u);
    EXPECT_EQ(read.stories[0], before.stories[0]);
    EXPECT_EQ(read.stories[1], before.stories[1]);
    EXPECT_EQ(read.stories[1].note, "Compare with the ocean survey");
    ASSERT_EQ(read.links.size(), 1u);
    EXPECT_EQ(read.links[0], before.links[0]);
    EXPECT_EQ(read.settings, before.settings);

    const std::string bytes = readBytes(path).value_or("");
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes[0], '{') << "no byte-order mark";
    EXPECT_EQ(bytes.find("\n  \""), bytes.find('\n')) << "printed with indentation 2";
}

TEST(BoardExport, EmptyBoardStillWritesEmptyStoriesAndEdges)
{
    TempFolder data;
    const Library library = buildSeedLibrary();
    ASSERT_EQ(boardOf(library).stories.size(), 0u) << "the seed collection starts with an empty board";

    const std::wstring path = writeBoardExport(library, data.path, SECONDS, TICKS);
    ASSERT_FALSE(path.empty());
    const nlohmann::json document = nlohmann::json::parse(readBytes(path).value_or(""));
    ASSERT_TRUE(document.at("stories").is_array());
    ASSERT_TRUE(document.at("edges").is_array());
    EXPECT_TRUE(document.at("stories").empty());
    EXPECT_TRUE(document.at("edges").empty());
    EXPECT_NO_THROW(readLibraryFile(path));
}

TEST(BoardExport, CreatesTheExportsFolderWithMissingParents)
{
    TempFolder base;
    const std::wstring data = base.file(L"one\\two");
    const std::wstring path = writeBoardExport(seedWithBoard(), data, SECONDS, TICKS);
    EXPECT_EQ(path, data + L"\\exports\\" + boardExportName(SECONDS, TICKS));
    EXPECT_TRUE(fileExists(path));
}

TEST(BoardExport, TwoExportsWithinOneTickGiveTwoFiles)
{
    TempFolder data;
    const Library library = seedWithBoard();
    const std::wstring first = writeBoardExport(library, data.path, SECONDS, TICKS);
    const std::wstring second = writeBoardExport(library, data.path, SECONDS, TICKS);
    EXPECT_EQ(first, exportPath(data, TICKS));
    EXPECT_EQ(second, exportPath(data, TICKS + 1)) << "a taken name moves the millisecond part on";
    EXPECT_EQ(filesIn(data.path + L"\\exports").size(), 2u);
    EXPECT_NO_THROW(readLibraryFile(first));
    EXPECT_NO_THROW(readLibraryFile(second));
}

TEST(BoardExport, NeverReplacesAnExistingFileOfTheSameName)
{
    TempFolder data;
    CreateDirectoryW(data.file(L"exports").c_str(), nullptr);
    ASSERT_TRUE(writeBytes(exportPath(data, TICKS), "keep me"));
    ASSERT_TRUE(writeBytes(exportPath(data, TICKS + 1), "keep me too"));

    const std::wstring path = writeBoardExport(seedWithBoard(), data.path, SECONDS, TICKS);
    EXPECT_EQ(path, exportPath(data, TICKS + 2));
    EXPECT_EQ(readBytes(exportPath(data, TICKS)), "keep me");
    EXPECT_EQ(readBytes(exportPath(data, TICKS + 1)), "keep me too");
}

TEST(BoardExport, AFileThatAppearsAfterTheCheckIsNotReplaced)
{
    TempFolder data;
    CreateDirectoryW(data.file(L"exports").c_str(), nullptr);
    ASSERT_TRUE(writeBytes(exportPath(data, TICKS), "written by someone else"));
    AtomicFileCalls calls;
    calls.getFileAttributes = everythingLooksFree;

    const std::wstring path = writeBoardExport(seedWithBoard(), data.path, SECONDS, TICKS, calls);
    EXPECT_EQ(path, exportPath(data, TICKS + 1));
    EXPECT_EQ(readBytes(exportPath(data, TICKS)), "written by someone else");
    EXPECT_FALSE(fileExists(exportPath(data, TICKS) + L".tmp"));
    EXPECT_EQ(filesIn(data.file(L"exports")).size(), 2u);
}

TEST(BoardExport, FailsWhenAFileNamedExportsIsInTheWay)
{
    TempFolder data;
    ASSERT_TRUE(writeBytes(data.file(L"exports"), "not a folder"));
    EXPECT_EQ(writeBoardExport(seedWithBoard(), data.path, SECONDS, TICKS), L"");
    EXPECT_EQ(readBytes(data.file(L"exports")), "not a folder");
    EXPECT_EQ(filesIn(data.path).size(), 1u);
}

TEST(BoardExport, FailedWriteLeavesNoFileBehind)
{
    TempFolder data;
    AtomicFileCalls calls;
    calls.writeFile = refuseWrite;
    EXPECT_EQ(writeBoardExport(seedWithBoard(), data.path, SECONDS, TICKS, calls), L"");
    EXPECT_TRUE(filesIn(data.file(L"exports")).empty());
}

TEST(BoardExport, EnsureFolderRefusesAFileAndAcceptsAnExistingFolder)
{
    TempFolder data;
    EXPECT_TRUE(ensureFolder(data.path));
    ASSERT_TRUE(writeBytes(data.file(L"plain"), "x"));
    EXPECT_FALSE(ensureFolder(data.file(L"plain")));
    EXPECT_FALSE(ensureFolder(data.file(L"plain\\below"))) << "a file cannot hold a folder";
    EXPECT_FALSE(ensureFolder(L""));
}
