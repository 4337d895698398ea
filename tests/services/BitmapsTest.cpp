// Code 39 barcodes and shell icons written as bitmap files for a page.
#include <string>
#include <vector>

#include "Code39Decode.h"
#include "LogTail.h"
#include "ServicesTestSupport.h"

using testsupport::DecodeCode39;
using testsupport::DialogRecord;
using testsupport::LogTail;

namespace {

const wchar_t kIconFolder[] = L"87E35367-40BE-4ea1-BB05-08ED01049551";

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsGuidFileName(const std::wstring& name) {
    if (name.size() != 42 || name.compare(38, 4, L".bmp") != 0) return false;
    CLSID clsid;
    return SUCCEEDED(CLSIDFromString(name.substr(0, 38).c_str(), &clsid));
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/") + 1); }

// The names in a folder, "." and ".." left out.
std::vector<std::wstring> Listing(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = fd.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return names;
}

// The colour of the bitmap file's top-left pixel, or CLR_INVALID.
COLORREF TopLeftPixel(const std::wstring& path) {
    fw::unique_hbitmap bitmap(static_cast<HBITMAP>(
        LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
    if (!bitmap) return CLR_INVALID;
    fw::unique_hdc dc(CreateCompatibleDC(nullptr));
    fw::select_object select(dc.get(), bitmap.get());
    return GetPixel(dc.get(), 0, 0);
}

// Icons are USER objects; GetGuiResources is a stub under Wine, but a handle
// reduced to its slot (high word zero) still reaches a live icon there.
int CountIcons() {
    int count = 0;
    for (UINT_PTR slot = 0x20; slot < 0x10000; slot += 2) {
        ICONINFO info = {};
        if (!GetIconInfo(reinterpret_cast<HICON>(slot), &info)) continue;
        ++count;
        fw::unique_hbitmap color(info.hbmColor), mask(info.hbmMask);
    }
    return count;
}

class BitmapsTest : public ServicesTest {
protected:
    // The fixed icon folder as GetShellIcon reports it, with "/" throughout.
    std::wstring IconFolderInResult() const {
        std::wstring folder = m_tmp + kIconFolder + L"\\";
        for (wchar_t& ch : folder)
            if (ch == L'\\') ch = L'/';
        return folder;
    }

    HRESULT ShellIcon(const wchar_t* pszFile, std::wstring* pResult, const VARIANT* pBg = nullptr) {
        VARIANT missing;
        VariantInit(&missing);
        missing.vt = VT_ERROR;
        missing.scode = DISP_E_PARAMNOTFOUND;
        fw::unique_bstr file(pszFile);
        BSTR result = reinterpret_cast<BSTR>(static_cast<UINT_PTR>(0xBAADF00D));
        HRESULT hr = m_office->GetShellIcon(file.get(), pBg ? *pBg : missing, &result);
        fw::unique_bstr owned;
        owned.attach(result);
        *pResult = owned.get() ? owned.get() : L"<null>";
        return hr;
    }

    // Asserts that the result names type.bmp in the fixed folder and that the
    // file is there; returns its Windows path.
    std::wstring ExpectIconFile(const std::wstring& result, const std::wstring& type) {
        EXPECT_EQ(IconFolderInResult() + type + L".bmp", result);
        EXPECT_EQ(std::wstring::npos, result.find(L'\\'));
        std::wstring path = m_tmp + kIconFolder + L"\\" + type + L".bmp";
        EXPECT_NE(CLR_INVALID, TopLeftPixel(path)) << Narrow(path);
        return path;
    }
};

TEST_F(BitmapsTest, EveryBarCodeCallWritesANewFileThatDecodesToTheText) {
    LogTail log(LogPath());
    std::vector<std::wstring> paths;
    for (int i = 0; i < 2; ++i) {
        fw::unique_variant result;
        ASSERT_EQ(S_OK, m_office->CreateBarCode(fw::unique_bstr(L"VX-2024/7").get(), result.put()));
        ASSERT_EQ(VT_BSTR, result->vt);
        paths.push_back(result->bstrVal);
    }
    EXPECT_NE(paths[0], paths[1]);
    for (const std::wstring& path : paths) {
        SCOPED_TRACE(Narrow(path));
        // A folder of its own inside the temporary path, a GUID as name.
        EXPECT_EQ(0u, path.find(m_tmp));
        EXPECT_GT(FolderOf(path).size(), m_tmp.size());
        EXPECT_TRUE(IsGuidFileName(path.substr(FolderOf(path).size())));
        EXPECT_EQ("VX-2024/7", DecodeCode39(path));
    }
    // Creating a barcode opens the control's log.
    EXPECT_EQ(std::vector<std::wstring>({L"PrintBarCode()", L"PrintBarCode()"}), log.entries());
}

TEST_F(BitmapsTest, ABarCodeThatCannotBeDrawnIsLoggedWithTheDrawersResult) {
    LogTail log(LogPath());
    const wchar_t* texts[] = {L"", nullptr, L"a_b"};
    for (const wchar_t* text : texts) {
        fw::unique_bstr bstr;
        if (text) bstr.attach(SysAllocString(text));
        fw::unique_variant result;
        // The drawer refuses a missing text and characters outside Code 39.
        EXPECT_EQ(E_INVALIDARG, m_office->CreateBarCode(bstr.get(), result.put()));
        EXPECT_EQ(VT_EMPTY, result->vt);
    }

    std::vector<std::wstring> entries = log.entries();
    ASSERT_EQ(6u, entries.size());
    const std::wstring prefix = L"创建39条码失败 hr=-2147024809  条形编码：";
    const wchar_t* logged[] = {L"", L"", L"a_b"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(L"PrintBarCode()", entries[2 * i]);
        const std::wstring& failed = entries[2 * i + 1];
        const std::wstring head = prefix + logged[i] + L"  文件路径:";
        ASSERT_EQ(0u, failed.find(head)) << Narrow(failed);
        const std::wstring path = failed.substr(head.size());
        EXPECT_EQ(0u, path.find(m_tmp)) << Narrow(path);
        EXPECT_TRUE(IsGuidFileName(path.substr(FolderOf(path).size()))) << Narrow(path);
        EXPECT_FALSE(Exists(path));
    }
}

TEST_F(BitmapsTest, NoTemporaryFolderIsLoggedAndFails) {
    // The helper's folder of temporary folders is taken by a file.
    ASSERT_TRUE(testsupport::WriteFileBytes(m_tmp + L"Plinth", "in the way"));
    LogTail log(LogPath());
    fw::unique_variant result;
    EXPECT_EQ(E_FAIL, m_office->CreateBarCode(fw::unique_bstr(L"ABC").get(), result.put()));
    EXPECT_EQ(VT_EMPTY, result->vt);
    EXPECT_EQ(std::vector<std::wstring>({L"PrintBarCode()", L"创建临时目录失败 hr=0"}), log.entries());
}

TEST_F(BitmapsTest, AShellIconIsNamedAfterTheTypeInTheFixedFolder) {
    std::wstring result;
    ASSERT_EQ(S_OK, ShellIcon(L"C:\\x\\report.doc", &result));
    ExpectIconFile(result, L"doc");
    // Letter case as given (one file on a case-insensitive file system).
    ASSERT_EQ(S_OK, ShellIcon(L"D:\\y\\other.DOC", &result));
    ExpectIconFile(result, L"DOC");
    // Without a "." the whole file name is the type.
    ASSERT_EQ(S_OK, ShellIcon(L"C:\\src\\Makefile", &result));
    ExpectIconFile(result, L"Makefile");
    ASSERT_EQ(S_OK, ShellIcon(L"archive.tar.gz", &result));
    ExpectIconFile(result, L"gz");
    // A later call for the same type writes the same file.
    ASSERT_EQ(S_OK, ShellIcon(L"E:\\again.doc", &result));
    ExpectIconFile(result, L"doc");

    // A type longer than the path allows is cut to MAX_PATH.
    const std::wstring longType(250, L'T');
    ASSERT_EQ(S_OK, ShellIcon((L"x." + longType).c_str(), &result));
    EXPECT_EQ(static_cast<size_t>(MAX_PATH - 1), result.size());
    const size_t cchType = result.size() - IconFolderInResult().size() - 4;
    ExpectIconFile(result, longType.substr(0, cchType));
}

TEST_F(BitmapsTest, NothingInTheArgumentTakesTheIconOutOfTheFixedFolder) {
    const struct {
        const wchar_t* file;
        const wchar_t* type;
    } cases[] = {
        {L"C:\\a.b\\file", L"file"},                // a "." in a folder name
        {L"C:\\x.\\..\\..\\..\\evil", L"evil"},     // climbing out
        {L"C:\\x.y/..\\../up.ini", L"ini"},         // either separator
        {L"C:\\dir\\..", L""},                      // only dots
        {L"report.doc:stream", L"doc_stream"},      // an alternate data stream
        {L"x.CON", L"CON_"},                        // a device
        {L"nul", L"nul_"},
        {L"C:\\lpt1", L"lpt1_"},
        {L"a.b<|>?*\"", L"b______"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.file));
        std::wstring result;
        ASSERT_EQ(S_OK, ShellIcon(c.file, &result));
        ExpectIconFile(result, c.type);
    }
    // Nothing was written beside or above the fixed folder.
    EXPECT_EQ(std::vector<std::wstring>({L"a"}), Listing(m_root.path()));
    EXPECT_EQ(std::vector<std::wstring>({L"b"}), Listing(m_root.path() + L"\\a"));
    EXPECT_EQ(std::vector<std::wstring>({kIconFolder}), Listing(m_root.path() + L"\\a\\b"));
}

TEST_F(BitmapsTest, TheIconBackgroundIsTakenOnlyFromAnI4) {
    const COLORREF kWhite = RGB(255, 255, 255), kMagenta = RGB(255, 0, 255);
    std::wstring result;
    VARIANT bg;
    VariantInit(&bg);
    bg.vt = VT_I4;
    bg.lVal = static_cast<LONG>(kMagenta);
    ASSERT_EQ(S_OK, ShellIcon(L"a.txt", &result, &bg));
    EXPECT_EQ(kMagenta, TopLeftPixel(ExpectIconFile(result, L"txt")));

    bg.vt = VT_I2;
    bg.lVal = 0;
    bg.iVal = 0xFF;
    ASSERT_EQ(S_OK, ShellIcon(L"a.txt", &result, &bg));
    EXPECT_EQ(kWhite, TopLeftPixel(ExpectIconFile(result, L"txt")));

    ASSERT_EQ(S_OK, ShellIcon(L"a.txt", &result));
    EXPECT_EQ(kWhite, TopLeftPixel(ExpectIconFile(result, L"txt")));
}

TEST_F(BitmapsTest, TheShellsIconIsReleasedAfterUse) {
    std::wstring result;
    ASSERT_EQ(S_OK, ShellIcon(L"a.doc", &result));  // first-use caches of the shell
    const int before = CountIcons();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 20; ++i) ASSERT_EQ(S_OK, ShellIcon(L"a.doc", &result));
    EXPECT_EQ(before, CountIcons());
}

TEST_F(BitmapsTest, ShellIconFailuresAreShownInBoxes) {
    // The fixed folder cannot be made: a file has its name.
    const std::wstring folder = m_tmp + kIconFolder;
    ASSERT_TRUE(testsupport::WriteFileBytes(folder, "in the way"));
    std::wstring result;
    EXPECT_EQ(S_FALSE, ShellIcon(L"a.doc", &result));
    EXPECT_EQ(L"<null>", result);
    ASSERT_EQ(1u, m_boxes.count());
    DialogRecord box = m_boxes.records()[0];
    EXPECT_EQ(L"创建目录失败", box.caption);
    EXPECT_EQ(folder + L"\\", box.text);
    EXPECT_EQ(static_cast<UINT>(MB_OK), box.style);
    EXPECT_EQ(GetActiveWindow(), box.owner);
    m_boxes.clear();

    // The bitmap cannot be written: a folder has its name.
    ASSERT_TRUE(DeleteFileW(folder.c_str()));
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((folder + L"\\doc.bmp").c_str(), nullptr));
    EXPECT_EQ(E_FAIL, ShellIcon(L"a.doc", &result));
    EXPECT_EQ(L"<null>", result);
    ASSERT_EQ(1u, m_boxes.count());
    box = m_boxes.records()[0];
    EXPECT_EQ(L"未知图标", box.caption);
    EXPECT_EQ(L"图标转换发生意外...", box.text);
    EXPECT_EQ(static_cast<UINT>(MB_OK), box.style);
    m_boxes.clear();
}

}  // namespace
