// Files in and out of the site: loading compound and plain files, the three
// ways of saving, the backup that protects the previous file, and a round
// trip through the sample server.
#include <gtest/gtest.h>

#include "LogTail.h"
#include "VellixPadFixture.h"
#include "SiteTestSupport.h"

using namespace sitetest;
using namespace testsupport;
using namespace vellixpad::fixture;

namespace {

std::string FileBytes(const std::wstring& path) {
    std::string bytes;
    if (!ReadFileBytes(path, &bytes)) return "<missing>";
    return bytes;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::wstring> FolderEntries(const std::wstring& dir) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (lstrcmpW(fd.cFileName, L".") && lstrcmpW(fd.cFileName, L"..")) names.push_back(fd.cFileName);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return names;
}

// TEMP and TMP point at a folder that does not exist while it lives: a
// transacted compound file (the save by copy) cannot get its scratch file.
class CNoTempFolder {
public:
    CNoTempFolder() {
        for (int i = 0; i < 2; ++i) {
            wchar_t sz[MAX_PATH] = {};
            GetEnvironmentVariableW(kNames[i], sz, MAX_PATH);
            m_saved[i] = sz;
            SetEnvironmentVariableW(kNames[i], L"C:\\vellix-no-such-folder\\temp");
        }
    }
    ~CNoTempFolder() {
        for (int i = 0; i < 2; ++i) SetEnvironmentVariableW(kNames[i], m_saved[i].c_str());
    }

private:
    static constexpr const wchar_t* kNames[2] = {L"TEMP", L"TMP"};
    std::wstring m_saved[2];
};

class StorageTest : public ::testing::Test {
protected:
    // A site holding a new document with the text, ready to save.
    void NewDocumentWithText(Site& site, const std::wstring& text) {
        ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
        CLSID clsid = vellixpad::CLSID_Document;
        ASSERT_EQ(S_OK, site.doc->CreateDocObject(ByRefVariant(&clsid)));
        ASSERT_EQ(S_OK, SetDocumentText(site.OleObject().get(), text.c_str()));
    }
    // The text a fresh site reads back from the file.
    std::wstring LoadText(const std::wstring& path, VARIANT_BOOL bReadOnly = VARIANT_FALSE) {
        Site site;
        if (FAILED(site.Init(m_ctl.hwnd()))) return L"<no site>";
        fw::unique_bstr name(path.c_str());
        HRESULT hr = site.doc->LoadStorageFromFile(name.get(), bReadOnly);
        if (FAILED(hr)) return L"<load failed " + std::to_wstring(static_cast<long>(hr)) + L">";
        return DocumentText(site.OleObject().get());
    }
    HRESULT Save(Site& site, const std::wstring& path) {
        fw::unique_bstr name(path.c_str());
        return site.doc->SaveStorageToFile(name.get());
    }

    void SetUp() override { ResetTrace(); }
    void TearDown() override { ResetTrace(); }

    OleSession m_ole;
    ScopedSwitches m_pad;
    CControlWindow m_ctl;
    TempDir m_dir;
};

TEST_F(StorageTest, CompoundDocumentIsLoadedFromItsCopyInTheSite) {
    const std::wstring path = m_dir.file(L"letter.vxp");
    ASSERT_TRUE(WritePadDocument(m_ctl.hwnd(), path, L"亲爱的读者,\r\nhello"));
    ResetTrace();

    Site site;
    ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
    fw::unique_bstr name(path.c_str());
    ASSERT_EQ(S_OK, site.doc->LoadStorageFromFile(name.get(), VARIANT_FALSE));
    EXPECT_EQ(1u, Trace(vellixpad::kTraceLoadStorage));
    EXPECT_EQ(0u, Trace(vellixpad::kTraceLoadFile));
    EXPECT_EQ(0u, Trace(vellixpad::kTraceInitNew));
    EXPECT_EQ(L"亲爱的读者,\r\nhello", DocumentText(site.OleObject().get()));
    fw::unique_bstr fileName;
    ASSERT_EQ(S_OK, site.doc->get_FileName(fileName.put()));
    EXPECT_EQ(path, fileName.c_str());
    VARIANT_BOOL bReadOnly = VARIANT_TRUE;
    ASSERT_EQ(S_OK, site.doc->IsReadOnly(&bReadOnly));
    EXPECT_EQ(VARIANT_FALSE, bReadOnly);

    // The site holds nothing of the file: it can go while the document stays.
    EXPECT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_EQ(S_OK, site.doc->IPActivateView());
    EXPECT_EQ(L"亲爱的读者,\r\nhello", DocumentText(site.OleObject().get()));
    EXPECT_EQ(S_OK, site.doc->SaveObjectStorage());
}

TEST_F(StorageTest, ReadOnlyLoadAsksForReadingOnly) {
    const std::wstring path = m_dir.file(L"locked.vxp");
    ASSERT_TRUE(WritePadDocument(m_ctl.hwnd(), path, L"locked text"));
    // Another reader that lets nobody write: only a read-only open works.
    fw::unique_hfile reader(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader);
    ResetTrace();
    {
        Site site;
        ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
        fw::unique_bstr name(path.c_str());
        ASSERT_EQ(S_OK, site.doc->LoadStorageFromFile(name.get(), VARIANT_TRUE));
        EXPECT_EQ(0u, Trace(vellixpad::kTraceLoadFile)) << "copied as a compound file";
        EXPECT_EQ(L"locked text", DocumentText(site.OleObject().get()));
        VARIANT_BOOL bReadOnly = VARIANT_FALSE;
        ASSERT_EQ(S_OK, site.doc->IsReadOnly(&bReadOnly));
        EXPECT_EQ(VARIANT_TRUE, bReadOnly);
    }
    // Read-write cannot open it as storage; the server's own load (through
    // the file moniker) still reads it.
    ResetTrace();
    Site site;
    ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
    fw::unique_bstr name(path.c_str());
    ASSERT_EQ(S_OK, site.doc->LoadStorageFromFile(name.get(), VARIANT_FALSE));
    EXPECT_EQ(1u, Trace(vellixpad::kTraceLoadFile));
    EXPECT_EQ(L"locked text", DocumentText(site.OleObject().get()));
    VARIANT_BOOL bReadOnly = VARIANT_TRUE;
    ASSERT_EQ(S_OK, site.doc->IsReadOnly(&bReadOnly));
    EXPECT_EQ(VARIANT_FALSE, bReadOnly);
}

TEST_F(StorageTest, PlainFileIsLoadedByItsServerThroughAFileMoniker) {
    const std::wstring path = m_dir.file(L"notes.vxp");
    ASSERT_TRUE(WriteFileBytes(path, "\xEF\xBB\xBFplain \xE6\x96\x87\xE6\x9C\xAC"));
    Site site;
    ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
    fw::unique_bstr name(path.c_str());
    ASSERT_EQ(S_OK, site.doc->LoadStorageFromFile(name.get(), VARIANT_TRUE));
    EXPECT_EQ(1u, Trace(vellixpad::kTraceLoadFile));
    EXPECT_EQ(1u, Trace(vellixpad::kTraceLoadStorage)) << "then loaded from the sub-storage";
    EXPECT_EQ(L"plain 文本", DocumentText(site.OleObject().get()));
    EXPECT_TRUE(IsEqualCLSID(vellixpad::CLSID_Document, site.Clsid()));
}

TEST_F(StorageTest, FileOfUnknownKindFailsBeforeAnythingChanges) {
    const std::wstring path = m_dir.file(L"data.unknownkind");
    ASSERT_TRUE(WriteFileBytes(path, "no class here"));
    Site site;
    ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
    fw::unique_bstr name(path.c_str());
    HRESULT hr = site.doc->LoadStorageFromFile(name.get(), VARIANT_TRUE);
    EXPECT_TRUE(FAILED(hr));
    fw::unique_bstr fileName;
    ASSERT_EQ(S_OK, site.doc->get_FileName(fileName.put()));
    EXPECT_STREQ(L"", fileName.c_str());
    VARIANT_BOOL bReadOnly = VARIANT_TRUE;
    site.doc->IsReadOnly(&bReadOnly);
    EXPECT_EQ(VARIANT_FALSE, bReadOnly);

    // The same site still takes a good file, and only one.
    const std::wstring good = m_dir.file(L"good.vxp");
    ASSERT_TRUE(WritePadDocument(m_ctl.hwnd(), good, L"good"));
    fw::unique_bstr goodName(good.c_str());
    ASSERT_EQ(S_OK, site.doc->LoadStorageFromFile(goodName.get(), VARIANT_FALSE));
    EXPECT_EQ(L"good", DocumentText(site.OleObject().get()));
    EXPECT_EQ(E_UNEXPECTED, site.doc->LoadStorageFromFile(goodName.get(), VARIANT_FALSE))
        << "a second load would take the open document's storage away";
    EXPECT_EQ(L"good", DocumentText(site.OleObject().get()));
}

TEST_F(StorageTest, EachWayOfSavingWritesTheDocumentAndLeavesNoBackup) {
    struct Way {
        const char* name;
        bool bNoMoniker, bNoFile;
        const wchar_t* pszTrace;
    };
    const Way ways[] = {{"moniker", false, false, vellixpad::kTraceSaveMoniker},
                        {"file", true, false, vellixpad::kTraceSaveFile},
                        {"copy", true, true, nullptr}};
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        const std::wstring path = m_dir.file(std::wstring(L"saved-") + Widen(way.name) + L".vxp");
        ASSERT_TRUE(WriteFileBytes(path, "previous content"));
        ScopedSwitches pad;
        ResetTrace();
        if (way.bNoMoniker) pad.Set(vellixpad::kNoPersistMoniker, 1);
        if (way.bNoFile) pad.Set(vellixpad::kNoPersistFile, 1);
        Site site;
        NewDocumentWithText(site, L"written by the " + std::wstring(Widen(way.name)) + L" way");
        ASSERT_EQ(S_OK, Save(site, path));
        EXPECT_EQ(way.pszTrace == vellixpad::kTraceSaveMoniker ? 1u : 0u,
                  Trace(vellixpad::kTraceSaveMoniker));
        EXPECT_EQ(way.pszTrace == vellixpad::kTraceSaveFile ? 1u : 0u, Trace(vellixpad::kTraceSaveFile));
        EXPECT_FALSE(Exists(path + L".tmp"));
        CLSID clsid = GUID_NULL;
        EXPECT_EQ(S_OK, GetClassFile(path.c_str(), &clsid));
        EXPECT_TRUE(IsEqualCLSID(vellixpad::CLSID_Document, clsid));
        fw::unique_bstr fileName;
        site.doc->get_FileName(fileName.put());
        EXPECT_EQ(path, fileName.c_str());
        site.doc->Close();
        EXPECT_EQ(L"written by the " + std::wstring(Widen(way.name)) + L" way", LoadText(path));
    }
}

TEST_F(StorageTest, EveryFailingWayPutsThePreviousFileBackByteForByte) {
    const std::wstring path = m_dir.file(L"precious.vxp");
    const std::string previous("precious bytes\0\x01\x02 that must survive", 36);
    ASSERT_TRUE(WriteFileBytes(path, previous));
    m_pad.Set(vellixpad::kFailMonikerSave, 1).Set(vellixpad::kFailFileSave, STG_E_WRITEFAULT);
    Site site;
    NewDocumentWithText(site, L"new text");
    HRESULT hr;
    {
        // The copy fails while it creates the new compound file.
        CNoTempFolder noTemp;
        hr = Save(site, path);
    }
    EXPECT_TRUE(FAILED(hr));
    EXPECT_NE(E_FAIL, hr) << "the code of the last way, not the moniker's";
    EXPECT_NE(STG_E_WRITEFAULT, hr);
    EXPECT_EQ(1u, Trace(vellixpad::kTraceSaveMoniker));
    EXPECT_EQ(1u, Trace(vellixpad::kTraceSaveFile));
    EXPECT_EQ(previous, FileBytes(path));
    EXPECT_FALSE(Exists(path + L".tmp"));
    fw::unique_bstr fileName;
    site.doc->get_FileName(fileName.put());
    EXPECT_EQ(path, fileName.c_str()) << "the name is taken all the same";
}

TEST_F(StorageTest, FailingCopyDoesNotDestroyTheExistingFile) {
    const std::wstring path = m_dir.file(L"kept.vxp");
    ASSERT_TRUE(WritePadDocument(m_ctl.hwnd(), path, L"kept document"));
    const std::string previous = FileBytes(path);
    m_pad.Set(vellixpad::kNoPersistMoniker, 1).Set(vellixpad::kNoPersistFile, 1);
    Site site;
    NewDocumentWithText(site, L"never written");
    HRESULT hr;
    {
        CNoTempFolder noTemp;
        hr = Save(site, path);
    }
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(previous, FileBytes(path));
    EXPECT_FALSE(Exists(path + L".tmp"));
    EXPECT_EQ(L"kept document", LoadText(path));

    // Nothing there before: nothing to put back, the failure stays.
    const std::wstring fresh = m_dir.file(L"fresh.vxp");
    {
        CNoTempFolder noTemp;
        hr = Save(site, fresh);
    }
    EXPECT_TRUE(FAILED(hr));
    EXPECT_FALSE(Exists(fresh + L".tmp"));
}

TEST_F(StorageTest, BackupNameTakenByAnotherFileIsNeverTouched) {
    const std::wstring path = m_dir.file(L"report.vxp");
    const std::wstring foreign = path + L".tmp";
    ASSERT_TRUE(WriteFileBytes(path, "old report"));
    ASSERT_TRUE(WriteFileBytes(foreign, "someone else's file"));
    {
        // Success: the foreign file is not taken for our backup and deleted.
        Site site;
        NewDocumentWithText(site, L"new report");
        ASSERT_EQ(S_OK, Save(site, path));
        EXPECT_EQ("someone else's file", FileBytes(foreign));
        site.doc->Close();
        EXPECT_EQ(L"new report", LoadText(path));
    }
    {
        // A failing way must not move the foreign file onto the target.
        ASSERT_TRUE(WriteFileBytes(path, "old report"));
        ScopedSwitches pad;
        ResetTrace();
        pad.Set(vellixpad::kFailMonikerSave, 1);
        Site site;
        NewDocumentWithText(site, L"second report");
        ASSERT_EQ(S_OK, Save(site, path)) << "the file way succeeds";
        EXPECT_EQ(1u, Trace(vellixpad::kTraceSaveMoniker));
        EXPECT_EQ("someone else's file", FileBytes(foreign));
        site.doc->Close();
        EXPECT_EQ(L"second report", LoadText(path));
    }
}

TEST_F(StorageTest, FolderOfTheTargetsNameIsNotMovedAside) {
    const std::wstring folder = m_dir.file(L"folder.vxp");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\inside.txt", "kept"));
    Site site;
    NewDocumentWithText(site, L"cannot become a folder");
    EXPECT_TRUE(FAILED(Save(site, folder)));
    EXPECT_EQ("kept", FileBytes(folder + L"\\inside.txt"));
    EXPECT_FALSE(Exists(folder + L".tmp"));
}

TEST_F(StorageTest, LongNamesGetTheirWholeBackupName) {
    // A full path of 258 characters: its backup name runs past 260.
    std::wstring path = m_dir.path() + L"\\";
    path += std::wstring(258 - path.size() - 4, L'x') + L".vxp";
    ASSERT_EQ(258u, path.size());
    ASSERT_TRUE(WriteFileBytes(path, "long-named previous content"));
    {
        Site site;
        NewDocumentWithText(site, L"long name, saved");
        ASSERT_EQ(S_OK, Save(site, path));
        EXPECT_EQ(std::vector<std::wstring>{path.substr(m_dir.path().size() + 1)},
                  FolderEntries(m_dir.path()))
            << "no backup left, under any name";
        site.doc->Close();
        EXPECT_EQ(L"long name, saved", LoadText(path));
    }
    const std::string previous = FileBytes(path);
    m_pad.Set(vellixpad::kFailMonikerSave, 1).Set(vellixpad::kFailFileSave, 1);
    Site site;
    NewDocumentWithText(site, L"not saved");
    HRESULT hr;
    {
        CNoTempFolder noTemp;
        hr = Save(site, path);
    }
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(previous, FileBytes(path));
    EXPECT_EQ(1u, FolderEntries(m_dir.path()).size());
}

TEST_F(StorageTest, SaveThatCannotFlushTheDocumentTellsTheUserAndChangesNothing) {
    const std::wstring path = m_dir.file(L"source.vxp");
    ASSERT_TRUE(WritePadDocument(m_ctl.hwnd(), path, L"source"));
    m_pad.Set(vellixpad::kFailStorageSave, 1);
    Site site;
    ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
    fw::unique_bstr name(path.c_str());
    ASSERT_EQ(S_OK, site.doc->LoadStorageFromFile(name.get(), VARIANT_TRUE));

    const std::wstring target = m_dir.file(L"target.vxp");
    DialogWatcher boxes;
    EXPECT_EQ(E_FAIL, Save(site, target));
    ASSERT_TRUE(boxes.waitFor(1));
    std::vector<DialogRecord> seen = boxes.records();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(L"保存失败", seen[0].caption);
    EXPECT_EQ(L"保存当前文件失败", seen[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_OK), seen[0].style);
    EXPECT_FALSE(Exists(target));
    fw::unique_bstr fileName;
    site.doc->get_FileName(fileName.put());
    EXPECT_EQ(path, fileName.c_str());
    VARIANT_BOOL bReadOnly = VARIANT_FALSE;
    site.doc->IsReadOnly(&bReadOnly);
    EXPECT_EQ(VARIANT_TRUE, bReadOnly);

    // Without a document object there is nothing to flush either.
    Site empty;
    ASSERT_EQ(S_OK, empty.Init(m_ctl.hwnd()));
    EXPECT_EQ(E_UNEXPECTED, empty.doc->SaveObjectStorage());
    VARIANT_BOOL bDirty = 7;
    EXPECT_EQ(S_OK, empty.doc->IsStorageDirty(&bDirty));
    EXPECT_EQ(VARIANT_FALSE, bDirty) << "set, as every out-value is";
    fw::unique_bstr none;
    EXPECT_EQ(S_OK, empty.doc->get_FileName(none.put()));
    EXPECT_STREQ(L"", none.c_str());
}

TEST_F(StorageTest, TextWrittenThroughAutomationComesBackFromTheSavedFile) {
    const std::wstring path = m_dir.file(L"round trip.vxp");
    const wchar_t kText[] = L"第一行\r\nsecond line\twith a tab\r\n末行 ✓";
    {
        Site site;
        NewDocumentWithText(site, kText);
        ASSERT_EQ(S_OK, site.doc->IPActivateView());
        VARIANT_BOOL bDirty = VARIANT_FALSE;
        ASSERT_EQ(S_OK, site.doc->IsStorageDirty(&bDirty));
        EXPECT_EQ(VARIANT_TRUE, bDirty);
        ASSERT_EQ(S_OK, Save(site, path));
        ASSERT_EQ(S_OK, site.doc->IsStorageDirty(&bDirty));
        EXPECT_EQ(VARIANT_FALSE, bDirty);
    }
    Site fresh;
    ASSERT_EQ(S_OK, fresh.Init(m_ctl.hwnd()));
    fw::unique_bstr name(path.c_str());
    ASSERT_EQ(S_OK, fresh.doc->LoadStorageFromFile(name.get(), VARIANT_TRUE));
    ASSERT_EQ(S_OK, fresh.doc->IPActivateView());
    EXPECT_EQ(kText, DocumentText(fresh.OleObject().get()));

    // A read-only document becomes writable once saved under a name.
    const std::wstring copy = m_dir.file(L"copy.vxp");
    ASSERT_EQ(S_OK, Save(fresh, copy));
    VARIANT_BOOL bReadOnly = VARIANT_TRUE;
    ASSERT_EQ(S_OK, fresh.doc->IsReadOnly(&bReadOnly));
    EXPECT_EQ(VARIANT_FALSE, bReadOnly);
    EXPECT_EQ(kText, LoadText(copy));
}

}  // namespace
