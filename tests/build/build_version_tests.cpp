// The version record of the built Kestrune.exe carries the project version the build was configured
// with, in the fixed numbers and in both version strings.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// CTest runs this under Wine with the program's Unix path; Wine maps the Unix root to drive Z.
std::wstring programPath()
{
    const std::string unixOrWindows = KESTRUNE_PROGRAM;
    std::wstring path(unixOrWindows.begin(), unixOrWindows.end());
    if (!path.empty() && path[0] == L'/')
        path = L"Z:" + path;
    return path;
}

std::vector<BYTE> versionRecord()
{
    const std::wstring path = programPath();
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    std::vector<BYTE> record(size);
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, record.data()))
        record.clear();
    return record;
}

std::wstring versionString(std::vector<BYTE>& record, const wchar_t* name)
{
    void* text = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(record.data(), key.c_str(), &text, &length) || length == 0)
        return L"<missing>";
    return std::wstring(static_cast<const wchar_t*>(text));
}

}  // namespace

TEST(ProgramVersion, RecordHoldsTheProjectVersion)
{
    std::vector<BYTE> record = versionRecord();
    ASSERT_FALSE(record.empty()) << "no version record in " << KESTRUNE_PROGRAM;

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    const DWORD high = MAKELONG(KESTRUNE_VERSION_MINOR, KESTRUNE_VERSION_MAJOR);
    const DWORD low = MAKELONG(0, KESTRUNE_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);

    const std::string expected = std::string(KESTRUNE_VERSION) + ".0";
    const std::wstring wide(expected.begin(), expected.end());
    for (const wchar_t* name : {L"FileVersion", L"ProductVersion"})
        EXPECT_EQ(versionString(record, name), wide) << "string " << std::string(name, name + wcslen(name));
}
