// The shared log file: folder creation, reopening, several loggers on one
// file, the two failure boxes, and result names.
#include <gtest/gtest.h>

#include <olectl.h>

#include <string>
#include <vector>

#include "TestContainer.h"
#include "TestSupport.h"
#include "diag/Log.h"
#include "fw/Raii.h"
#include "module/VellixIdl.h"

using namespace testsupport;

namespace {

// A module loaded from a folder of the test's own, so the log goes there.
class ModuleInFolder {
public:
    explicit ModuleInFolder(const std::wstring& folder) {
        std::wstring copy = folder + L"\\Probe.dll";
        CopyFileW((ExeDir() + L"\\Plinth.dll").c_str(), copy.c_str(), FALSE);
        m_h = LoadLibraryExW(copy.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    }
    ~ModuleInFolder() {
        if (m_h) FreeLibrary(m_h);
    }
    HMODULE get() const { return m_h; }

private:
    HMODULE m_h = nullptr;
};

// The text of each entry (the part after the timestamp and process id).
std::vector<std::wstring> Entries(const std::wstring& path) {
    std::string bytes;
    std::vector<std::wstring> out;
    if (!ReadFileBytes(path, &bytes)) return out;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    std::wstring text = Widen(bytes);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find(L"\r\n", pos);
        if (eol == std::wstring::npos) eol = text.size();
        std::wstring line = text.substr(pos, eol - pos);
        size_t t1 = line.find(L'\t');
        size_t t2 = t1 == std::wstring::npos ? t1 : line.find(L'\t', t1 + 1);
        out.push_back(t2 == std::wstring::npos ? line : line.substr(t2 + 1));
        pos = eol + 2;
    }
    return out;
}

TEST(LogTest, FirstOpenCreatesTheFolderAndReopenKeepsAppending) {
    TempDir dir;
    ModuleInFolder module(dir.path());
    ASSERT_TRUE(module.get());
    DialogWatcher boxes;
    const std::wstring logFile = dir.path() + L"\\log\\office.log";

    CLoger first;
    ASSERT_EQ(S_OK, OpenLogFile(first, module.get()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir.path() + L"\\log").c_str()));
    first.Write(L"one\t%d", 1);

    // Again on the same logger (a second activation), and a second logger
    // of the same process on the same file (control and site).
    ASSERT_EQ(S_OK, OpenLogFile(first, module.get()));
    CLoger second;
    ASSERT_EQ(S_OK, OpenLogFile(second, module.get()));
    first.Write(L"two\t%s", L"文件名:a.doc");
    second.Write(L"three");
    first.Write(L"four");

    std::vector<std::wstring> entries = Entries(logFile);
    ASSERT_EQ(4u, entries.size());
    EXPECT_EQ(L"one\t1", entries[0]);
    EXPECT_EQ(L"two\t文件名:a.doc", entries[1]);
    EXPECT_EQ(L"three", entries[2]);
    EXPECT_EQ(L"four", entries[3]);
    EXPECT_EQ(0u, boxes.count());
}

TEST(LogTest, AFolderThatCannotBeMadeShowsTheBoxAndFails) {
    TempDir dir;
    ModuleInFolder module(dir.path());
    ASSERT_TRUE(module.get());
    // A file where the folder should be.
    ASSERT_TRUE(WriteFileBytes(dir.path() + L"\\log", "not a folder"));
    SetEnvironmentVariableW(L"LOCALAPPDATA", (dir.path() + L"\\log").c_str());
    DialogWatcher boxes;

    CLoger log;
    EXPECT_EQ(E_FAIL, OpenLogFile(log, module.get()));
    ASSERT_EQ(1u, boxes.count());
    DialogRecord box = boxes.records()[0];
    EXPECT_EQ(L"消息", box.caption);
    EXPECT_EQ(L"创建Scrivane控件日志目录失败", box.text);
    EXPECT_EQ(nullptr, box.owner);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), box.style);

    // The object stays usable: writing to the closed logger is harmless.
    EXPECT_EQ(0, log.Write(L"lost %d", 1));
}

TEST(LogTest, AFileThatCannotBeOpenedShowsItsPathAndFails) {
    TempDir dir;
    ModuleInFolder module(dir.path());
    ASSERT_TRUE(module.get());
    // A folder where the file should be.
    ASSERT_TRUE(CreateDirectoryW((dir.path() + L"\\log").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((dir.path() + L"\\log\\office.log").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(dir.path() + L"\\blocked", ""));
    SetEnvironmentVariableW(L"LOCALAPPDATA", (dir.path() + L"\\blocked").c_str());
    DialogWatcher boxes;

    CLoger log;
    EXPECT_EQ(E_FAIL, OpenLogFile(log, module.get()));
    // Each failing open tells the user again.
    EXPECT_EQ(E_FAIL, OpenLogFile(log, module.get()));
    ASSERT_EQ(2u, boxes.count());
    DialogRecord box = boxes.records()[0];
    EXPECT_EQ(L"打开Scrivane控件日志文件失败", box.caption);
    wchar_t szModule[MAX_PATH] = {};
    GetModuleFileNameW(module.get(), szModule, MAX_PATH);
    std::wstring expected(szModule);
    expected = expected.substr(0, expected.find_last_of(L'\\')) + L"\\log\\office.log";
    EXPECT_EQ(expected, box.text);
    EXPECT_EQ(nullptr, box.owner);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), box.style);
}

// Either way the folder beside the module fails, the user's own folder takes
// the entries without a word.
TEST(LogTest, AnUnwritableModuleFolderFallsBackToTheUsersFolder) {
    for (bool bFileForFolder : {true, false}) {
        TempDir dir, appData;
        ModuleInFolder module(dir.path());
        ASSERT_TRUE(bFileForFolder ? WriteFileBytes(dir.path() + L"\\log", "")
                                   : CreateDirectoryW((dir.path() + L"\\log").c_str(), nullptr) &&
                                         CreateDirectoryW((dir.path() + L"\\log\\office.log").c_str(), nullptr));
        SetEnvironmentVariableW(L"LOCALAPPDATA", appData.path().c_str());
        DialogWatcher boxes;
        CLoger log;
        EXPECT_EQ(S_OK, OpenLogFile(log, module.get()));
        log.Write(L"kept %d", 1);
        EXPECT_EQ(std::vector<std::wstring>{L"kept 1"}, Entries(appData.path() + L"\\Vellix\\log\\office.log"));
        EXPECT_EQ(0u, boxes.count());
    }
}

// The control itself, installed where its log folder cannot be made: it
// still comes up whole (its window is not torn down), says nothing, and
// logs to the user's folder.
TEST(LogTest, AControlWhoseLogFolderIsBlockedStillComesUpWhole) {
    TempDir dir, appData;
    const std::wstring dll = dir.path() + L"\\Vellix.DLL";
    ASSERT_TRUE(CopyFileW((ExeDir() + L"\\Vellix.DLL").c_str(), dll.c_str(), FALSE));
    ASSERT_TRUE(WriteFileBytes(dir.path() + L"\\log", ""));
    SetEnvironmentVariableW(L"LOCALAPPDATA", appData.path().c_str());
    HMODULE hDll = LoadLibraryW(dll.c_str());
    ASSERT_TRUE(hDll);
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    auto pfnGet = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(hDll, "DllGetClassObject")));
    ASSERT_TRUE(pfnGet);
    {
        DialogWatcher boxes;
        TestContainer host;
        fw::com_ptr<IClassFactory> factory;
        fw::com_ptr<IOffice> office;
        ASSERT_EQ(S_OK, pfnGet(CLSID_Office, IID_IClassFactory, factory.put_void()));
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IOffice, office.put_void()));
        ASSERT_EQ(S_OK, host.Host(office.get()));
        UINT hwnd = 0;
        EXPECT_EQ(S_OK, office->get_HWnd(&hwnd));
        EXPECT_TRUE(hwnd && IsWindow(reinterpret_cast<HWND>(static_cast<UINT_PTR>(hwnd))));
        EXPECT_EQ(0u, boxes.count());
        office.reset();
        factory.reset();
        host.Release();
    }
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((appData.path() + L"\\Vellix\\log\\office.log").c_str()));
    FreeLibrary(hDll);
}

TEST(LogTest, ResultNamesAreWrittenAsTwoEntries) {
    TempDir dir;
    ModuleInFolder module(dir.path());
    CLoger log;
    ASSERT_EQ(S_OK, OpenLogFile(log, module.get()));

    EXPECT_EQ(S_OK, WriteResultName(log, E_FAIL));
    EXPECT_EQ(S_OK, WriteResultName(log, OLEOBJ_S_INVALIDVERB));
    EXPECT_EQ(S_OK, WriteResultName(log, OLE_E_NOT_INPLACEACTIVE));

    std::vector<std::wstring> e = Entries(dir.path() + L"\\log\\office.log");
    ASSERT_EQ(6u, e.size());
    EXPECT_EQ(L"hr值\thr=-2147467259\t ", e[0]);
    EXPECT_EQ(L"\thr=-2147467259\t常量为:其它", e[1]);
    EXPECT_EQ(L"hr值\thr=262528\t ", e[2]);
    EXPECT_EQ(L"\thr=262528\t常量为:OLEOBJ_S_INVALIDVERB", e[3]);
    EXPECT_EQ(L"\thr=-2147221488\t常量为:OLE_E_NOT_INPLACEACTIVE", e[5]);

    // Success codes and the whole table keep their own names.
    EXPECT_STREQ(L"S_OK", ResultName(S_OK));
    EXPECT_STREQ(L"OLEOBJ_S_CANNOT_DOVERB_NOW", ResultName(OLEOBJ_S_CANNOT_DOVERB_NOW));
    EXPECT_STREQ(L"E_NOTIMPL", ResultName(E_NOTIMPL));
    EXPECT_STREQ(L"其它", ResultName(S_FALSE));
}

}  // namespace
