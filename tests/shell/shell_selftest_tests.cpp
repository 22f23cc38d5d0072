// The self-check run as a user starts it: the results file's heading and lines, the scratch folder
// it leaves no trace of, and the exit code when a check or the results file fails.
#include "live_window.h"

#include <fstream>

namespace {

std::string readText(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(SelfCheck, PassesHereAndLeavesTheDataFolderAsItWas)
{
    const std::filesystem::path folder = makeTempFolder();
    const std::filesystem::path results = folder / L"results.txt";
    EXPECT_EQ(runSelfChecks(results.wstring(), folder.wstring(), false), 0) << readText(results);
    const std::string text = readText(results);
    EXPECT_EQ(text.rfind("Kestrune ", 0), 0u) << text;
    EXPECT_NE(text.find(" self-test, Windows "), std::string::npos);
    EXPECT_EQ(text.find("FAIL"), std::string::npos) << text;
    EXPECT_NE(text.find("PASS data folder keeps a backup of the previous save\r\n"), std::string::npos);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++entries;
    EXPECT_EQ(entries, 1u) << "only the results file may remain";
    std::filesystem::remove_all(folder);
}

TEST(SelfCheck, SaysWhatItSawAndFailsWhenTheDataFolderOrTheResultsFileIsMissing)
{
    const std::filesystem::path folder = makeTempFolder();
    const std::filesystem::path results = folder / L"results.txt";
    EXPECT_EQ(runSelfChecks(results.wstring(), (folder / L"absent").wstring(), false), 1);
    const std::string text = readText(results);
    EXPECT_NE(text.find("FAIL session lock is exclusive: cannot create a folder in the data folder, error 3\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(runSelfChecks((folder / L"absent" / L"results.txt").wstring(), folder.wstring(), false), 1)
        << "a results file that cannot be written is a failure";
    std::filesystem::remove_all(folder);
}
