// The extension object: which sibling control a document's class gets, how
// the control introduces itself to it, and the failure box, with the control
// in a container, a site double and the registered extension doubles.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ExtDoublesControl.h"
#include "FakeDocObject.h"
#include "TestContainer.h"
#include "TestSupport.h"
#include "control/Office.h"
#include "module/ClassTable.h"

using namespace testsupport;
using namespace extobjtest;
using fw::com_ptr;

namespace {

const wchar_t kTextExtObjectFailed[] = L"创建扩展对象失败";

// The control with its site and extension slots reachable by the test.
class CTestOffice : public COffice {
public:
    void SetSite(IDocObject* p) { m_session.Adopt(p); }
    IDispatch* ExtObject() { return m_session.ExtObject().get(); }
    HRESULT CreateExtObject(LPCWSTR pszProgId) {
        return COffice::CreateExtObject(pszProgId, m_session.ExtObject(), m_session.Site());
    }
};

class ExtObjectTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitModule(GetModuleHandleW(nullptr)); }
    static void TearDownTestSuite() { TermModule(); }

    void SetUp() override {
        ASSERT_EQ(S_OK, fw::CObject<CTestOffice>::CreateInstance(IID_IUnknown, m_unk.put_void()));
        com_ptr<IOffice> office;
        m_unk.query(office.put());
        // IOffice is the first base: the identity is the object.
        m_office = static_cast<CTestOffice*>(office.get());
        ASSERT_EQ(S_OK, m_host.Host(m_unk.get()));
    }
    void TearDown() override {
        // Taking the client site away closes the control, which lets the
        // extension object (and its hold on the control) go.
        m_host.Release();
        m_unk.reset();
        EXPECT_EQ(0u, m_boxes.count()) << "unexpected message box: " << Narrow(FirstBox());
    }

    com_ptr<CFakeDocObject> NewSite() {
        com_ptr<CFakeDocObject> site;
        site.attach(new CFakeDocObject);
        m_office->SetSite(site.get());
        return site;
    }

    std::wstring FirstBox() {
        auto records = m_boxes.records();
        return records.empty() ? L"" : records[0].caption + L" / " + records[0].text;
    }

    // The one box a failed creation shows, owned by the window that was
    // active (the container's), answered and forgotten.
    void ExpectFailureBox(HRESULT hr, const std::wstring& caption, HWND hwndOwner) {
        EXPECT_EQ(m_host.frame(), hwndOwner);
        ASSERT_EQ(1u, m_boxes.count()) << "for hr " << std::hex << hr;
        DialogRecord box = m_boxes.records()[0];
        EXPECT_EQ(caption, box.caption);
        EXPECT_EQ(kTextExtObjectFailed, box.text);
        EXPECT_EQ(static_cast<UINT>(MB_OK), box.style);
        EXPECT_EQ(hwndOwner, box.owner);
        m_boxes.clear();
    }

    OleSession m_ole;
    DialogWatcher m_boxes;
    ExtDoublesControl m_doubles;
    TestContainer m_host;
    com_ptr<IUnknown> m_unk;
    CTestOffice* m_office = nullptr;
};

struct ExtensionCase {
    const wchar_t* pszDocument;
    const wchar_t* pszExtension;
    const wchar_t* pszSuffix;
};

TEST_F(ExtObjectTest, WordAndExcelClassesOfAnyVersionGetTheirExtensionIntroducedToTheControl) {
    const ExtensionCase cases[] = {
        {L"Word.Document.8", L"Scrivane.Word", L".doc"},
        {L"Word.Document.12", L"Scrivane.Word", L".doc"},
        {L"Word.Document", L"Scrivane.Word", L".doc"},
        {L"Excel.Sheet.8", L"Tabulane.Excel", L".xls"},
        {L"Excel.Sheet.12", L"Tabulane.Excel", L".xls"},
    };
    for (const ExtensionCase& c : cases) {
        SCOPED_TRACE(Narrow(c.pszDocument));
        m_doubles.ClearCalls();
        com_ptr<CFakeDocObject> site = NewSite();

        ASSERT_EQ(S_OK, m_office->CreateExtObject(c.pszDocument));
        const std::wstring ext = c.pszExtension;
        EXPECT_EQ(ext + L":Create;" + ext + L":Office=9;" + ext + L":Initialize;", m_doubles.Calls());
        EXPECT_EQ(std::vector<std::wstring>{c.pszSuffix}, site->extFileNames);

        // ExtObject hands out the object kept, which holds the control.
        com_ptr<IDispatch> extObject;
        ASSERT_EQ(S_OK, m_office->get_ExtObject(extObject.put()));
        EXPECT_EQ(m_office->ExtObject(), extObject.get());
        fw::unique_variant office;
        ASSERT_EQ(S_OK, DispatchInvoke(extObject.get(), L"Office", 0, DISPATCH_PROPERTYGET, 0, nullptr,
                                       office.put()));
        ASSERT_EQ(VT_DISPATCH, office->vt);
        EXPECT_TRUE(SameObject(office->pdispVal, m_unk.get()));
        office.reset();
        extObject.reset();

        m_doubles.ClearCalls();
        ASSERT_EQ(S_OK, m_office->Close());
        EXPECT_EQ(ext + L":Destroy;", m_doubles.Calls());
        EXPECT_EQ(1, site->closes);
    }
}

TEST_F(ExtObjectTest, OtherClassesAndOtherLetterCaseGetNoExtension) {
    com_ptr<CFakeDocObject> site = NewSite();
    const wchar_t* const progIds[] = {
        L"word.document", L"WORD.DOCUMENT.8", L"excel.sheet.8", L"Word.Documen", L"Excel",
        L"PowerPoint.Show.8", L"Scrivane.Word", L" Word.Document.8", L"", nullptr,
    };
    for (const wchar_t* progId : progIds) {
        SCOPED_TRACE(progId ? Narrow(progId) : "(null)");
        EXPECT_EQ(S_OK, m_office->CreateExtObject(progId));
        IDispatch* extObject = reinterpret_cast<IDispatch*>(1);
        EXPECT_EQ(E_POINTER, m_office->get_ExtObject(&extObject));
        EXPECT_EQ(nullptr, extObject);
    }
    EXPECT_EQ(L"", m_doubles.Calls());
    EXPECT_TRUE(site->extFileNames.empty());
}

TEST_F(ExtObjectTest, AnExistingExtensionObjectIsKeptAndNothingIsCalled) {
    com_ptr<CFakeDocObject> site = NewSite();
    ASSERT_EQ(S_OK, m_office->CreateExtObject(L"Word.Document.8"));
    IDispatch* first = m_office->ExtObject();
    m_doubles.ClearCalls();

    EXPECT_EQ(S_FALSE, m_office->CreateExtObject(L"Excel.Sheet.8"));
    EXPECT_EQ(S_FALSE, m_office->CreateExtObject(L"Word.Document.8"));
    EXPECT_EQ(S_FALSE, m_office->CreateExtObject(L"PowerPoint.Show.8"));
    EXPECT_EQ(L"", m_doubles.Calls());
    EXPECT_EQ(first, m_office->ExtObject());
    EXPECT_EQ(std::vector<std::wstring>{L".doc"}, site->extFileNames);
}

TEST_F(ExtObjectTest, WithoutASiteTheExtensionIsMadeButNotIntroduced) {
    ASSERT_EQ(S_OK, m_office->CreateExtObject(L"Excel.Sheet.8"));
    EXPECT_NE(nullptr, m_office->ExtObject());
    EXPECT_EQ(L"Tabulane.Excel:Create;", m_doubles.Calls());
}

TEST_F(ExtObjectTest, InitializeResultIsReturnedAndTheObjectKept) {
    const HRESULT results[] = {S_FALSE, static_cast<HRESULT>(0x80041234), E_ACCESSDENIED};
    for (HRESULT result : results) {
        SCOPED_TRACE(result);
        m_doubles.Set(extdoubles::kValueInitializeResult, static_cast<DWORD>(result));
        m_doubles.ClearCalls();
        com_ptr<CFakeDocObject> site = NewSite();

        EXPECT_EQ(result, m_office->CreateExtObject(L"Word.Document.8"));
        EXPECT_EQ(L"Scrivane.Word:Create;Scrivane.Word:Office=9;Scrivane.Word:Initialize;", m_doubles.Calls());
        EXPECT_NE(nullptr, m_office->ExtObject());
        EXPECT_EQ(std::vector<std::wstring>{L".doc"}, site->extFileNames);
        ASSERT_EQ(S_OK, m_office->Close());
    }
}

TEST_F(ExtObjectTest, AnUnregisteredExtensionShowsTheSystemTextOfItsResult) {
    const ExtensionCase cases[] = {
        {L"Excel.Sheet.8", L"Tabulane.Excel", L".xls"},
        {L"Word.Document.8", L"Scrivane.Word", L".doc"},
    };
    for (const ExtensionCase& c : cases) {
        SCOPED_TRACE(Narrow(c.pszDocument));
        com_ptr<CFakeDocObject> site = NewSite();
        HiddenProgId unregistered(c.pszExtension);
        ASSERT_TRUE(unregistered.hidden()) << "the doubles are not registered";
        HWND hwndActive = GetActiveWindow();

        const HRESULT hr = m_office->CreateExtObject(c.pszDocument);
        EXPECT_EQ(CO_E_CLASSSTRING, hr);
        const std::wstring text = SystemText(hr);
        ExpectFailureBox(hr, text.empty() ? L"Unknown error 0x800401F3" : text, hwndActive);
        EXPECT_EQ(nullptr, m_office->ExtObject());
        EXPECT_TRUE(site->extFileNames.empty());
        EXPECT_EQ(L"", m_doubles.Calls());
        ASSERT_EQ(S_OK, m_office->Close());
    }
}

TEST_F(ExtObjectTest, AnExtensionThatCannotBeMadeShowsItsResultAsCaption) {
    struct RefusalCase {
        HRESULT hr;
        std::wstring caption;
    };
    const RefusalCase cases[] = {
        {E_OUTOFMEMORY, SystemText(E_OUTOFMEMORY)},
        // Codes the system has no text for get the automation wording.
        {static_cast<HRESULT>(0x80041234), L"IDispatch error #4148"},
        {static_cast<HRESULT>(0x80040201), L"IDispatch error #1"},
        {static_cast<HRESULT>(0x80AB0001), L"Unknown error 0x80AB0001"},
    };
    ASSERT_FALSE(cases[0].caption.empty()) << "no system text for E_OUTOFMEMORY";
    com_ptr<CFakeDocObject> site = NewSite();
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.hr);
        m_doubles.Set(extdoubles::kValueCreateResult, static_cast<DWORD>(c.hr));
        HWND hwndActive = GetActiveWindow();

        EXPECT_EQ(c.hr, m_office->CreateExtObject(L"Word.Document.8"));
        ExpectFailureBox(c.hr, c.caption, hwndActive);
        EXPECT_EQ(nullptr, m_office->ExtObject());
    }
    EXPECT_TRUE(site->extFileNames.empty());
    EXPECT_EQ(L"", m_doubles.Calls());

    // Once the class can be made again, the next call makes it.
    m_doubles.Remove(extdoubles::kValueCreateResult);
    EXPECT_EQ(S_OK, m_office->CreateExtObject(L"Word.Document.8"));
    EXPECT_NE(nullptr, m_office->ExtObject());
}

TEST_F(ExtObjectTest, ASuccessWithoutAnObjectIsReportedAsNoInterface) {
    com_ptr<CFakeDocObject> site = NewSite();
    m_doubles.Set(extdoubles::kValueWithoutObject, 1);
    HWND hwndActive = GetActiveWindow();

    EXPECT_EQ(E_NOINTERFACE, m_office->CreateExtObject(L"Excel.Sheet.8"));
    const std::wstring text = SystemText(E_NOINTERFACE);
    ExpectFailureBox(E_NOINTERFACE, text.empty() ? L"Unknown error 0x80004002" : text, hwndActive);
    EXPECT_EQ(nullptr, m_office->ExtObject());
    EXPECT_TRUE(site->extFileNames.empty());
}

}  // namespace
