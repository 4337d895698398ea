#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "Plinth.h"
#include "TestSupport.h"

using testsupport::TempDir;

namespace {

// Three of these make a path longer than MAX_PATH.
const std::wstring kLongName(120, L'd');
const std::wstring kDeep = kLongName + L"\\" + kLongName + L"\\" + kLongName;

bool IsFolder(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

TEST(Paths, CreateTempDirMakesANewFolderUnderTempEachTime)
{
    wchar_t temp[MAX_PATH], first[MAX_PATH], second[MAX_PATH];
    const DWORD cchTemp = GetTempPathW(MAX_PATH, temp);
    const unsigned long cch = CreateTempDir(first, MAX_PATH);
    ASSERT_EQ(wcslen(first), cch);
    ASSERT_GT(CreateTempDir(second, MAX_PATH), 0u);
    EXPECT_EQ(L'\\', first[cch - 1]);
    EXPECT_STRNE(first, second);
    EXPECT_EQ(0, _wcsnicmp(first, temp, cchTemp));
    EXPECT_TRUE(IsFolder(first) && IsFolder(second));
    RemoveDirectoryW(first);
    RemoveDirectoryW(second);

    wchar_t small[12];
    wmemset(small, L'#', 12);
    EXPECT_EQ(0u, CreateTempDir(small, 8));
    EXPECT_EQ(L'\0', small[0]);
    EXPECT_EQ(L'#', small[8]);
}

// Includes a module loaded from a folder deeper than MAX_PATH.
TEST(Paths, GetModulePathGivesTheFolderWithinTheBuffer)
{
    wchar_t exe[MAX_PATH], folder[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    const std::wstring expected(exe, wcsrchr(exe, L'\\'));
    EXPECT_EQ(static_cast<int>(expected.size()), GetModulePath(nullptr, folder, MAX_PATH));
    EXPECT_EQ(expected, folder);
    EXPECT_EQ(0, GetModulePath(nullptr, folder, static_cast<int>(expected.size())));
    EXPECT_STREQ(L"", folder);

    TempDir temp;
    const std::wstring deep = temp.file(kDeep);
    ASSERT_TRUE(SHCreateDirectory(deep.c_str()));
    // Renamed, so the loader does not hand back the Plinth.dll already loaded.
    const std::wstring copy = L"\\\\?\\" + deep + L"\\PlinthCopy.dll";
    ASSERT_TRUE(CopyFileW((expected + L"\\Plinth.dll").c_str(), copy.c_str(), FALSE));
    HMODULE hmod = LoadLibraryExW(copy.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(nullptr, hmod);
    std::wstring buffer(2000, L'#');
    const int cch = GetModulePath(hmod, &buffer[0], 2000);
    EXPECT_GT(cch, MAX_PATH);
    EXPECT_EQ(kDeep, buffer.substr(cch - kDeep.size(), kDeep.size()));
    EXPECT_EQ(0, GetModulePath(hmod, folder, MAX_PATH));
    EXPECT_STREQ(L"", folder);
    FreeLibrary(hmod);
}

TEST(Paths, SplitsFolderAndFileNameOnEitherSeparatorWithinTheBuffer)
{
    const struct {
        const wchar_t *path, *folder, *name;
    } cases[] = {
        {L"C:\\docs\\report.doc", L"C:\\docs", L"report.doc"},
        {L"C:/docs/sub\\report.doc", L"C:/docs/sub", L"report.doc"},
        {L"report.doc", L"", L"report.doc"},
        {L"C:\\docs\\", L"C:\\docs", L""},
    };
    for (const auto& c : cases) {
        wchar_t buffer[MAX_PATH];
        EXPECT_EQ(static_cast<int>(wcslen(c.folder)), GetFilePath(c.path, buffer, MAX_PATH));
        EXPECT_STREQ(c.folder, buffer);
        EXPECT_EQ(static_cast<int>(wcslen(c.name)), GetFileName(c.path, buffer, MAX_PATH));
        EXPECT_STREQ(c.name, buffer);
    }

    const std::wstring longPath = L"C:\\" + std::wstring(5000, L'f') + L"\\" + kLongName;
    wchar_t small[16];
    wmemset(small, L'#', 16);
    EXPECT_EQ(0, GetFilePath(longPath.c_str(), small, 8));
    EXPECT_EQ(0, GetFileName(longPath.c_str(), small, 8));
    EXPECT_EQ(L'\0', small[0]);
    EXPECT_EQ(L'#', small[8]);
}

TEST(Paths, SHCreateDirectoryCreatesParentsButNotUnderAFile)
{
    TempDir folder;
    EXPECT_TRUE(SHCreateDirectory(folder.file(L"a\\b/c\\").c_str()));
    EXPECT_TRUE(IsFolder(folder.file(L"a\\b\\c")));
    EXPECT_TRUE(SHCreateDirectory(folder.file(L"a\\b").c_str()));  // already there
    EXPECT_TRUE(SHCreateDirectory(folder.file(kDeep).c_str()));
    EXPECT_TRUE(IsFolder(L"\\\\?\\" + folder.file(kDeep)));

    const std::wstring file = folder.file(L"file.txt");
    ASSERT_TRUE(testsupport::WriteFileBytes(file, ""));
    EXPECT_TRUE(FileExists(file.c_str()));
    EXPECT_TRUE(FileExists(folder.file(L"a").c_str()));
    EXPECT_FALSE(SHCreateDirectory(file.c_str()));
    EXPECT_FALSE(SHCreateDirectory((file + L"\\sub\\dir").c_str()));
    EXPECT_FALSE(FileExists((file + L"\\sub").c_str()));
    EXPECT_FALSE(SHCreateDirectory(L""));
}

TEST(Paths, StrReplaceAndStrChrR)
{
    wchar_t path[] = L"C:/a/b/c.txt";
    StrReplace(path, L'/', L'\\');
    EXPECT_STREQ(L"C:\\a\\b\\c.txt", path);
    EXPECT_EQ(path + 6, StrChrR(path, L'\\'));
    EXPECT_EQ(nullptr, StrChrR(path, L'/'));
    EXPECT_EQ(nullptr, StrChrR(nullptr, L'a'));
}
