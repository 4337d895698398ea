// The control's document commands end to end: the registered control in a
// container window, the registered document site, and the sample document
// server, with message boxes checked by the watcher.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DialogDriver.h"
#include "ExtDoublesControl.h"
#include "LogTail.h"
#include "TestContainer.h"
#include "TestSupport.h"
#include "VellixPadFixture.h"
#include "fw/Raii.h"
#include "module/VellixIdl.h"
#include "platform/HelperLibrary.h"

using namespace testsupport;
using fw::com_ptr;
using fw::unique_bstr;
using fw::unique_variant;

namespace {

const HRESULT E_NO_DOCUMENT = static_cast<HRESULT>(0x80041107);

VARIANT I2(SHORT n) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I2;
    v.iVal = n;
    return v;
}

// The control's log from now on.
class ControlLog {
public:
    ControlLog() : m_tail(ExeDir() + L"\\log\\office.log") {}
    bool Contains(const std::wstring& text) const {
        for (const std::wstring& e : m_tail.entries())
            if (e.find(text) != std::wstring::npos) return true;
        return false;
    }

private:
    LogTail m_tail;
};

class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        vellixpad::fixture::ScopedSwitches::Clear();
        ASSERT_EQ(S_OK, m_host.Create(CLSID_Office));
        ASSERT_EQ(S_OK, m_host.query(m_office.put()));
    }
    void TearDown() override {
        m_office.reset();
        m_host.Release();
    }

    // The document's text through the server's automation object.
    std::wstring Text() {
        com_ptr<IDispatch> doc;
        if (FAILED(m_office->get_OleObject(doc.put())) || !doc) return L"<no document>";
        unique_variant v;
        if (FAILED(DispatchInvoke(doc.get(), L"Text", 0, DISPATCH_PROPERTYGET, 0, nullptr, v.get()))) return L"<no text>";
        return v->vt == VT_BSTR && v->bstrVal ? v->bstrVal : L"";
    }
    HRESULT SetText(const std::wstring& text) {
        com_ptr<IDispatch> doc;
        HRESULT hr = m_office->get_OleObject(doc.put());
        if (FAILED(hr) || !doc) return E_FAIL;
        StringArg arg(text);
        VARIANT v = arg;
        return DispatchInvoke(doc.get(), L"Text", 0, DISPATCH_PROPERTYPUT, 1, &v, nullptr);
    }
    std::wstring FileName() {
        unique_bstr name;
        m_office->GetFileName(name.put());
        return name.c_str();
    }

    OleSession m_ole;
    TempDir m_dir;
    TestContainer m_host;
    com_ptr<IOffice> m_office;
};

TEST_F(DocumentTest, ANewDocumentIsWrittenSavedClosedAndOpenedAgain) {
    DialogWatcher boxes;
    ASSERT_EQ(S_OK, m_office->New(unique_bstr(L"VellixPad.Document").get()));
    EXPECT_EQ(L"", FileName()) << "a new document has no file name";
    ASSERT_EQ(S_OK, SetText(L"Hello, 文档"));
    VARIANT_BOOL saved = VARIANT_TRUE;
    ASSERT_EQ(S_OK, m_office->get_Saved(&saved));
    EXPECT_EQ(VARIANT_FALSE, saved);

    // Two folders that do not exist yet are made for the file.
    std::wstring path = m_dir.file(L"a\\b\\note.vxp");
    ASSERT_EQ(S_OK, m_office->Save(StringArg(path), Missing()));
    EXPECT_TRUE(FileExists(path.c_str()));
    EXPECT_FALSE(FileExists((path + L".tmp").c_str()));
    ASSERT_EQ(S_OK, m_office->Close());
    ASSERT_EQ(S_OK, m_office->Close()) << "closing twice is harmless";
    com_ptr<IDispatch> none;
    EXPECT_EQ(E_NO_DOCUMENT, m_office->get_ActiveDocument(none.put()));

    ASSERT_EQ(S_OK, m_office->Open(StringArg(path), Missing()));
    EXPECT_EQ(L"Hello, 文档", Text());
    EXPECT_EQ(path, FileName());
    com_ptr<IDispatch> active;
    EXPECT_EQ(S_OK, m_office->get_ActiveDocument(active.put()));
    EXPECT_TRUE(active);
    EXPECT_EQ(0u, boxes.count());
}

// The real site's window, inside the control's client area.
RECT SiteRect(IOffice* office) {
    UINT h = 0;
    office->get_HWnd(&h);
    HWND control = reinterpret_cast<HWND>(static_cast<UINT_PTR>(h));
    HWND site = FindWindowExW(control, nullptr, L"VellixControl", nullptr);
    RECT rc = {-1, -1, -1, -1};
    if (!site) return rc;
    GetWindowRect(site, &rc);
    MapWindowPoints(nullptr, control, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

TEST_F(DocumentTest, AContainerThatNeverClearsTheClientSiteStillFreesControlAndDocument) {
    ASSERT_EQ(S_OK, m_office->New(unique_bstr(L"VellixPad.Document").get()));
    EXPECT_EQ(1, vellixpad::fixture::LiveObjects());
    m_office.reset();
    m_host.Release(false);
    EXPECT_EQ(0, vellixpad::fixture::LiveObjects());
    using CanUnloadFn = HRESULT(WINAPI*)();
    for (const wchar_t* dll : {L"Vellix.DLL", L"VellixPad.dll"}) {
        auto canUnload = reinterpret_cast<CanUnloadFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(dll), "DllCanUnloadNow")));
        ASSERT_TRUE(canUnload) << dll;
        EXPECT_EQ(S_OK, canUnload()) << dll;
    }
}

TEST_F(DocumentTest, TheDocumentSitsInsideTheFrameBelowTheBarAndFollowsIt) {
    ASSERT_EQ(S_OK, m_office->New(unique_bstr(L"VellixPad.Document").get()));
    RECT rc = SiteRect(m_office.get());
    EXPECT_EQ(4, rc.left);
    EXPECT_EQ(24, rc.top);
    EXPECT_EQ(396, rc.right);
    EXPECT_EQ(296, rc.bottom);
    // Hiding the bar moves the document up 21 pixels at once.
    ASSERT_EQ(S_OK, m_office->ShowMenuBar());
    rc = SiteRect(m_office.get());
    EXPECT_EQ(3, rc.top);
    ASSERT_EQ(S_OK, m_office->ShowMenuBar());
    TestContainer::Pump();
    EXPECT_EQ(24, SiteRect(m_office.get()).top);
    // A resized container resizes the document.
    ASSERT_EQ(S_OK, m_host.Place(0, 0, 300, 200));
    rc = SiteRect(m_office.get());
    EXPECT_EQ(296, rc.right);
    EXPECT_EQ(196, rc.bottom);
}

TEST_F(DocumentTest, NewRejectsShortAndUnknownNamesAndClosesThePreviousDocument) {
    ASSERT_EQ(S_OK, m_office->New(unique_bstr(L"VellixPad.Document").get()));
    ASSERT_EQ(S_OK, SetText(L"first"));
    {
        DialogWatcher boxes;
        EXPECT_EQ(E_INVALIDARG, m_office->New(unique_bstr(L"abc").get()));
        ASSERT_EQ(1u, boxes.count());
        EXPECT_EQ(L"非法参数", boxes.records()[0].caption);
        EXPECT_EQ(L"ProgIDOrTemplate = NULL", boxes.records()[0].text);
        EXPECT_EQ(L"first", Text()) << "the open document is untouched";
        EXPECT_EQ(E_INVALIDARG, m_office->New(nullptr));
    }
    {
        DialogWatcher boxes;
        EXPECT_TRUE(FAILED(m_office->New(unique_bstr(L"abcd").get())));
        ASSERT_EQ(1u, boxes.count());
        EXPECT_EQ(L"未知clsid", boxes.records()[0].caption);
        EXPECT_EQ(L"转换clsid失败,Microsoft office可能未安装", boxes.records()[0].text);
        com_ptr<IDispatch> none;
        EXPECT_EQ(E_NO_DOCUMENT, m_office->get_ActiveDocument(none.put())) << "no site is left";
    }
    // A new document replaces the open one.
    ASSERT_EQ(S_OK, m_office->New(unique_bstr(L"VellixPad.Document").get()));
    ASSERT_EQ(S_OK, SetText(L"one"));
    ASSERT_EQ(S_OK, m_office->New(unique_bstr(L"VellixPad.Document").get()));
    EXPECT_EQ(L"", Text());
    EXPECT_EQ(1, vellixpad::fixture::LiveObjects());
}

TEST_F(DocumentTest, OpenOfAMissingFileLogsAndKeepsTheOpenDocument) {
    DialogWatcher boxes;
    ASSERT_EQ(S_OK, m_office->New(unique_bstr(L"VellixPad.Document").get()));
    ASSERT_EQ(S_OK, SetText(L"kept"));
    ControlLog log;
    std::wstring missing = m_dir.file(L"missing.vxp");
    EXPECT_EQ(E_FAIL, m_office->Open(StringArg(missing), Missing()));
    EXPECT_EQ(L"kept", Text());
    EXPECT_TRUE(log.Contains(L"打开文档失败\thr=0\t文件名:" + missing));
    EXPECT_EQ(0u, boxes.count());

    // Without a name the open dialog comes; cancelled, nothing changes.
    DialogWatcher cancel(IDCANCEL);
    EXPECT_EQ(S_FALSE, m_office->Open(Missing(), Missing()));
    EXPECT_EQ(L"kept", Text());
}

TEST_F(DocumentTest, ReadOnlyComesFromTheAttributeOrAVtBoolOnly) {
    DialogWatcher boxes(IDCANCEL);
    std::wstring path = m_dir.file(L"ro.vxp");
    ASSERT_EQ(S_OK, m_office->New(unique_bstr(L"VellixPad.Document").get()));
    ASSERT_EQ(S_OK, SetText(L"read me"));
    ASSERT_EQ(S_OK, m_office->Save(StringArg(path), Missing()));
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));

    // By attribute: read-only, so Save() asks for another name (cancelled).
    ASSERT_EQ(S_OK, m_office->Open(StringArg(path), Missing()));
    EXPECT_EQ(L"read me", Text());
    EXPECT_EQ(S_FALSE, m_office->Save(Missing(), Missing()));
    // A number does not count: still read-only.
    ASSERT_EQ(S_OK, m_office->Open(StringArg(path), I2(0)));
    EXPECT_EQ(S_FALSE, m_office->Save(Missing(), Missing()));
    // VT_BOOL false: writable, saved under its own name without a dialog.
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(S_OK, m_office->Open(StringArg(path), Bool(false)));
    ASSERT_EQ(S_OK, SetText(L"changed"));
    EXPECT_EQ(S_OK, m_office->Save(Missing(), Missing()));
    ASSERT_EQ(S_OK, m_office->Open(StringArg(path), Bool(true)));
    EXPECT_EQ(L"changed", Text());
    EXPECT_EQ(2u, boxes.count()) << "the two save dialogs, cancelled";
}

TEST_F(DocumentTest, APlainTextFileOpensThroughItsServer) {
    DialogWatcher boxes;
    std::wstring path = m_dir.file(L"plain.vxp");
    ASSERT_TRUE(WriteFileBytes(path, "plain text"));
    ASSERT_EQ(S_OK, m_office->Open(StringArg(path), Missing()));
    EXPECT_EQ(L"plain text", Text());
    EXPECT_EQ(0u, boxes.count());
}

TEST_F(DocumentTest, SavedAndSaveWithoutADocument) {
    ControlLog log;
    VARIANT_BOOL saved = 7;
    EXPECT_EQ(E_POINTER, m_office->get_Saved(&saved));
    EXPECT_EQ(VARIANT_FALSE, saved) << "set, as COM asks of every out-parameter";
    EXPECT_EQ(E_POINTER, m_office->Save(Missing(), Missing()));
    EXPECT_TRUE(log.Contains(L"DocObject为空"));
    unique_bstr name;
    EXPECT_EQ(S_FALSE, m_office->GetFileName(name.put()));
    EXPECT_EQ(nullptr, name.get());
    com_ptr<IDispatch> obj;
    EXPECT_EQ(E_POINTER, m_office->get_OleObject(obj.put()));
}

TEST_F(DocumentTest, AServerWithoutSavedReadsAsUnsaved) {
    vellixpad::fixture::ScopedSwitches switches;
    switches.On(vellixpad::kNoSavedProperty);
    ASSERT_EQ(S_OK, m_office->New(unique_bstr(L"VellixPad.Document").get()));
    ControlLog log;
    VARIANT_BOOL saved = VARIANT_TRUE;
    EXPECT_EQ(S_OK, m_office->get_Saved(&saved));
    EXPECT_EQ(VARIANT_FALSE, saved);
    EXPECT_TRUE(log.Contains(L"调用OLE Saved属性失败,属性不存在\thr="));
}

TEST_F(DocumentTest, PrintPreviewWithoutADocumentCannotAskTheVersion) {
    DialogWatcher boxes;
    ASSERT_EQ(S_OK, m_office->PrintPreview());
    TestContainer::Pump();
    ASSERT_EQ(1u, boxes.count());
    EXPECT_EQ(L"未知版本号", boxes.records()[0].caption);
    EXPECT_EQ(L"获取OLE版本失败，不能支持打印预览", boxes.records()[0].text);
}

TEST_F(DocumentTest, AReadOnlyDocumentIsNeverSavedOverItsOwnFile) {
    std::wstring path = m_dir.file(L"Original.vxp");
    ASSERT_EQ(S_OK, m_office->New(unique_bstr(L"VellixPad.Document").get()));
    ASSERT_EQ(S_OK, SetText(L"original"));
    ASSERT_EQ(S_OK, m_office->Save(StringArg(path), Missing()));
    std::string before;
    ASSERT_TRUE(ReadFileBytes(path, &before));
    ASSERT_EQ(S_OK, m_office->Open(StringArg(path), Bool(true)));
    ASSERT_EQ(S_OK, SetText(L"edited"));

    // The same name in other letters: refused with its box, file untouched.
    {
        // The dialog first asks whether to replace the existing file: yes.
        DialogDriver dialogs(IDYES);
        dialogs.SelectFiles(m_dir.path(), {L"ORIGINAL.VXP"});
        EXPECT_EQ(static_cast<HRESULT>(0x80041105), m_office->Save(StringArg(path), Missing()));
        std::vector<DrivenDialog> seen = dialogs.records();
        ASSERT_EQ(3u, seen.size());
        EXPECT_EQ(DialogKind::FileDialog, seen[0].kind);
        EXPECT_EQ(static_cast<UINT>(MB_YESNO), seen[1].box.style & 0xF) << "the replace question";
        EXPECT_EQ(L"只读文档", seen[2].box.caption);
        EXPECT_EQ(L"不能覆盖原文档", seen[2].box.text);
    }
    std::string after;
    ASSERT_TRUE(ReadFileBytes(path, &after));
    EXPECT_EQ(before, after);

    // Another name is fine.
    {
        DialogDriver dialogs;
        dialogs.SelectFiles(m_dir.path(), {L"copy.vxp"});
        EXPECT_EQ(S_OK, m_office->Save(Missing(), Missing()));
    }
    ASSERT_EQ(S_OK, m_office->Open(StringArg(m_dir.file(L"copy.vxp")), Missing()));
    EXPECT_EQ(L"edited", Text());

    // Save as from the File menu, cancelled: nothing is written.
    {
        DialogDriver dialogs;
        dialogs.CancelFileDialog();
        UINT h = 0;
        m_office->get_HWnd(&h);
        SendMessageW(reinterpret_cast<HWND>(static_cast<UINT_PTR>(h)), WM_COMMAND, 40005, 0);
        EXPECT_EQ(1u, dialogs.count());
    }
}

// Word and Excel look-alike classes of the sample server, with the
// extension doubles steered and recorded.
class TypedDocumentTest : public DocumentTest {
protected:
    vellixpad::fixture::ScopedTestClasses m_classes;
    extobjtest::ExtDoublesControl m_ext;
};

TEST_F(TypedDocumentTest, ExtensionsAreAppendedKeptOrLeftAsTheTypeSays) {
    ASSERT_EQ(S_OK, m_classes.result());
    DialogWatcher boxes;
    ASSERT_EQ(S_OK, m_office->New(unique_bstr(L"Word.Document").get()));
    com_ptr<IDispatch> ext;
    ASSERT_EQ(S_OK, m_office->get_ExtObject(ext.put()));
    EXPECT_NE(std::wstring::npos, m_ext.Calls().find(L"Scrivane.Word:Initialize"));

    // No extension: the type's ".doc" is appended.
    std::wstring plain = m_dir.file(L"letter");
    ASSERT_EQ(S_OK, m_office->Save(StringArg(plain), Bool(true)));
    EXPECT_TRUE(FileExists((plain + L".doc").c_str()));
    EXPECT_FALSE(FileExists(plain.c_str()));
    // Four letters are no extension: ".doc" follows them.
    std::wstring docx = m_dir.file(L"letter.docx");
    ASSERT_EQ(S_OK, m_office->Save(StringArg(docx), I2(1)));
    EXPECT_TRUE(FileExists((docx + L".doc").c_str()));
    // A dot and three letters become the document's extension.
    std::wstring xls = m_dir.file(L"sheet.xls");
    ASSERT_EQ(S_OK, m_office->Save(StringArg(xls), Bool(true)));
    EXPECT_TRUE(FileExists(xls.c_str()));
    std::wstring again = m_dir.file(L"again");
    ASSERT_EQ(S_OK, m_office->Save(StringArg(again), Bool(true)));
    EXPECT_TRUE(FileExists((again + L".xls").c_str()));
    // Without the flag the name is used as it is.
    std::wstring exact = m_dir.file(L"exact");
    ASSERT_EQ(S_OK, m_office->Save(StringArg(exact), Bool(false)));
    EXPECT_TRUE(FileExists(exact.c_str()));

    // An Excel document gets ".xls".
    ASSERT_EQ(S_OK, m_office->New(unique_bstr(L"Excel.Sheet").get()));
    std::wstring book = m_dir.file(L"book");
    ASSERT_EQ(S_OK, m_office->Save(StringArg(book), Bool(true)));
    EXPECT_TRUE(FileExists((book + L".xls").c_str()));
    EXPECT_EQ(0u, boxes.count());
}

TEST_F(TypedDocumentTest, OpenTellsTheExtensionTheDocumentIsSaved) {
    ASSERT_EQ(S_OK, m_classes.result());
    std::wstring path = m_dir.file(L"word.doc");
    ASSERT_EQ(S_OK, m_office->New(unique_bstr(L"Word.Document").get()));
    ASSERT_EQ(S_OK, SetText(L"typed"));
    m_ext.ClearCalls();
    ASSERT_EQ(S_OK, m_office->Save(StringArg(path), Missing()));
    // Saving an unsaved document tells the extension it is saved now.
    EXPECT_NE(std::wstring::npos, m_ext.Calls().find(L"Scrivane.Word:Saved=2:0")) << m_ext.Calls();
    m_ext.ClearCalls();
    ASSERT_EQ(S_OK, m_office->Open(StringArg(path), Missing()));
    EXPECT_NE(std::wstring::npos, m_ext.Calls().find(L"Scrivane.Word:Saved=2:-1")) << m_ext.Calls();
    EXPECT_EQ(L"typed", Text());
}

TEST_F(TypedDocumentTest, PrintPreviewChecksTheOfficeVersionFirst) {
    ASSERT_EQ(S_OK, m_classes.result());
    ASSERT_EQ(S_OK, m_office->New(unique_bstr(L"Word.Document").get()));
    const struct {
        DWORD version;
        const wchar_t* caption;  // null: no box, the preview runs
        const wchar_t* text;
    } cases[] = {
        {10, L"Microsoft office xp OLE error!", L"控件不支持Microsoft Office XP版本的打印预览功能"},
        {11, L"未安装补丁", L"打印预览需要安装Office 2003 service pack 3"},
        {12, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        m_ext.Set(extdoubles::kValueVersion, c.version);
        DialogWatcher boxes;
        vellixpad::fixture::ResetTrace();
        EXPECT_EQ(S_OK, m_office->PrintPreview());
        TestContainer::Pump();
        std::vector<DialogRecord> r = boxes.records();
        if (!c.caption) {
            EXPECT_TRUE(r.empty()) << c.version;
            continue;
        }
        ASSERT_EQ(1u, r.size()) << c.version;
        EXPECT_EQ(c.caption, r[0].caption);
        EXPECT_EQ(c.text, r[0].text);
        EXPECT_EQ(0u, vellixpad::fixture::Trace(L"PreviewBegin")) << "refused before the server is asked";
    }
}

TEST_F(TypedDocumentTest, Office2003NeedsItsServicePackRegistered) {
    ASSERT_EQ(S_OK, m_classes.result());
    const std::wstring products =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products";
    const std::wstring patch = products + L"\\VellixTestProduct\\Patches\\VellixTestPatch";
    const wchar_t name[] = L"office 2003 service pack 3 (sp3): mainsp3";
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_LOCAL_MACHINE, patch.c_str(), L"DisplayName", REG_SZ, name,
                                             sizeof(name)));
    ASSERT_EQ(S_OK, m_office->New(unique_bstr(L"Word.Document").get()));
    m_ext.Set(extdoubles::kValueVersion, 11);
    {
        DialogWatcher boxes;
        EXPECT_EQ(S_OK, m_office->PrintPreview());
        TestContainer::Pump();
        EXPECT_EQ(0u, boxes.count()) << "the patch is found, letter case aside";
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (products + L"\\VellixTestProduct").c_str());

    // A server without print preview says so.
    vellixpad::fixture::ScopedSwitches switches;
    switches.On(vellixpad::kNoPreview);
    ASSERT_EQ(S_OK, m_office->New(unique_bstr(L"Word.Document").get()));
    m_ext.Set(extdoubles::kValueVersion, 12);
    DialogWatcher boxes;
    EXPECT_EQ(S_OK, m_office->PrintPreview());
    TestContainer::Pump();
    ASSERT_EQ(1u, boxes.count());
    EXPECT_EQ(L"不支持的命令", boxes.records()[0].caption);
    EXPECT_EQ(L"OLE对象目前不支持打印预览", boxes.records()[0].text);
}

}  // namespace
