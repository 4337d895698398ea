// ExtObject, GetFileSystemObject, GetWindow, EncryptPDF and AddWatermark on
// the registered control, created through COM as a page's script gets it.
#include <gtest/gtest.h>

#include <string>

#include "ExtDoublesControl.h"
#include "TestSupport.h"
#include "module/VellixIdl.h"
#include "platform/HelperLibrary.h"

using namespace testsupport;
using namespace extobjtest;
using fw::com_ptr;
using fw::unique_bstr;

namespace {

// {4B9D817D-C726-4E55-845B-657EA02EA385}: registered by nobody.
const wchar_t kUnregisteredClsid[] = L"{4B9D817D-C726-4E55-845B-657EA02EA385}";

IDispatch* const kUntouched = reinterpret_cast<IDispatch*>(static_cast<UINT_PTR>(0x5A5A));

class ScriptHelpersTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, m_office.create(CLSID_Office)); }
    void TearDown() override {
        m_office.reset();
        EXPECT_EQ(0u, m_boxes.count()) << "unexpected message box: " << Narrow(FirstBox());
    }

    std::wstring FirstBox() {
        auto records = m_boxes.records();
        return records.empty() ? L"" : records[0].caption + L" / " + records[0].text;
    }

    // GetWindow of a type that must fail with the given box; the caller's
    // variable is set to null, as COM asks of every out-parameter.
    void ExpectGetWindowRefused(BSTR bstrType, const wchar_t* pszCaption, const wchar_t* pszText) {
        HWND hwndActive = GetActiveWindow();
        IDispatch* window = kUntouched;
        EXPECT_EQ(E_FAIL, m_office->GetWindow(bstrType, &window));
        EXPECT_EQ(nullptr, window);
        ASSERT_EQ(1u, m_boxes.count());
        DialogRecord box = m_boxes.records()[0];
        EXPECT_EQ(pszCaption, box.caption);
        EXPECT_EQ(pszText, box.text);
        EXPECT_EQ(static_cast<UINT>(MB_OK), box.style);
        EXPECT_EQ(hwndActive, box.owner);
        m_boxes.clear();
    }

    static VARIANT_BOOL FileExistsThrough(IDispatch* fso, const std::wstring& path) {
        VARIANT arg;
        VariantInit(&arg);
        unique_bstr name(path.c_str());
        arg.vt = VT_BSTR;
        arg.bstrVal = name.get();
        fw::unique_variant result;
        EXPECT_EQ(S_OK, DispatchInvoke(fso, L"FileExists", 0, DISPATCH_METHOD, 1, &arg, result.put()));
        EXPECT_EQ(VT_BOOL, result->vt);
        return result->boolVal;
    }

    OleSession m_ole;
    DialogWatcher m_boxes;
    ExtDoublesControl m_doubles;
    TempDir m_dir;
    com_ptr<IOffice> m_office;
};

TEST_F(ScriptHelpersTest, ExtObjectIsNullAndEPointerWithoutAnExtension) {
    IDispatch* extObject = kUntouched;
    EXPECT_EQ(E_POINTER, m_office->get_ExtObject(&extObject));
    EXPECT_EQ(nullptr, extObject);
    EXPECT_EQ(E_POINTER, m_office->get_ExtObject(nullptr));
}

TEST_F(ScriptHelpersTest, GetFileSystemObjectGivesAWorkingFileSystemObjectOnEveryCall) {
    const std::wstring present = m_dir.file(L"present.txt");
    ASSERT_TRUE(WriteFileBytes(present, "x"));

    // (Wine's class object hands out one shared instance, so whether the
    // two are distinct objects is the system's matter, not ours.)
    com_ptr<IDispatch> first, second;
    ASSERT_EQ(S_OK, m_office->GetFileSystemObject(first.put()));
    ASSERT_EQ(S_OK, m_office->GetFileSystemObject(second.put()));
    ASSERT_TRUE(first && second);

    EXPECT_EQ(VARIANT_TRUE, FileExistsThrough(first.get(), present));
    EXPECT_EQ(VARIANT_FALSE, FileExistsThrough(second.get(), m_dir.file(L"absent.txt")));

    EXPECT_EQ(E_POINTER, m_office->GetFileSystemObject(nullptr));
}

TEST_F(ScriptHelpersTest, GetWindowMakesAnyRegisteredClassByProgIdOrClsidString) {
    // By ProgID: the word-processing double, whose Version follows the setting.
    com_ptr<IDispatch> word;
    ASSERT_EQ(S_OK, m_office->GetWindow(unique_bstr(extdoubles::kProgIdScrivaneWord).get(), word.put()));
    ASSERT_TRUE(word);
    m_doubles.Set(extdoubles::kValueVersion, 11);
    fw::unique_variant version;
    ASSERT_EQ(S_OK, DispatchInvoke(word.get(), L"Version", 0, DISPATCH_PROPERTYGET, 0, nullptr, version.put()));
    EXPECT_EQ(VT_I4, version->vt);
    EXPECT_EQ(11, version->lVal);

    // By CLSID string: the spreadsheet double.
    m_doubles.ClearCalls();
    com_ptr<IDispatch> excel;
    const std::wstring clsid = ClsidString(extdoubles::kClsidTabulaneExcel);
    ASSERT_EQ(S_OK, m_office->GetWindow(unique_bstr(clsid.c_str()).get(), excel.put()));
    ASSERT_TRUE(excel);
    EXPECT_EQ(L"Tabulane.Excel:Create;", m_doubles.Calls());
}

TEST_F(ScriptHelpersTest, GetWindowRefusesUnknownTypesAndClassesThatCannotBeMade) {
    const wchar_t kCaptionUnknown[] = L"窗口类型未知";
    const wchar_t kTextUnknown[] = L"试图获取系统未注册的窗口类型失败";
    const wchar_t kCaptionFailed[] = L"创建窗口失败";
    const wchar_t kTextFailed[] = L"窗口类别不存在";

    // Neither a CLSID nor a registered ProgID.
    ExpectGetWindowRefused(unique_bstr(L"No.Such.WindowType").get(), kCaptionUnknown, kTextUnknown);
    ExpectGetWindowRefused(unique_bstr(L"{4B9D817D-C726-4E55").get(), kCaptionUnknown, kTextUnknown);
    ExpectGetWindowRefused(unique_bstr(L"").get(), kCaptionUnknown, kTextUnknown);
    // An absent string names no class (CLSID_NULL).
    ExpectGetWindowRefused(nullptr, kCaptionFailed, kTextFailed);
    // A well-formed CLSID that nobody registered, and a class that refuses.
    ExpectGetWindowRefused(unique_bstr(kUnregisteredClsid).get(), kCaptionFailed, kTextFailed);
    m_doubles.Set(extdoubles::kValueCreateResult, static_cast<DWORD>(E_OUTOFMEMORY));
    ExpectGetWindowRefused(unique_bstr(extdoubles::kProgIdScrivaneWord).get(), kCaptionFailed, kTextFailed);
    m_doubles.Set(extdoubles::kValueCreateResult, 0);
    m_doubles.Set(extdoubles::kValueWithoutObject, 1);
    ExpectGetWindowRefused(unique_bstr(extdoubles::kProgIdScrivaneWord).get(), kCaptionFailed, kTextFailed);

    // No place for the result: nothing is made, nothing shown.
    m_doubles.ClearCalls();
    m_doubles.Remove(extdoubles::kValueWithoutObject);
    EXPECT_EQ(E_POINTER, m_office->GetWindow(unique_bstr(extdoubles::kProgIdScrivaneWord).get(), nullptr));
    EXPECT_EQ(L"", m_doubles.Calls());
}

TEST_F(ScriptHelpersTest, EncryptPdfAndAddWatermarkAreNotImplemented) {
    const std::wstring source = m_dir.file(L"in.pdf");
    const std::wstring target = m_dir.file(L"out.pdf");
    EXPECT_EQ(E_NOTIMPL, m_office->EncryptPDF(unique_bstr(source.c_str()).get(),
                                              unique_bstr(target.c_str()).get(), nullptr));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(target.c_str()));

    VARIANT options;
    VariantInit(&options);
    VARIANT result;
    VariantInit(&result);
    result.vt = VT_I4;
    result.lVal = 77;
    EXPECT_EQ(E_NOTIMPL, m_office->AddWatermark(unique_bstr(source.c_str()).get(), options, &result));
    EXPECT_EQ(VT_EMPTY, result.vt) << "emptied, as COM asks of every out-parameter";
}

}  // namespace
