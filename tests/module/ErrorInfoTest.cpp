// Failures as a late-bound caller reads them: the member's HRESULT in
// EXCEPINFO with a description and the control's ProgID as source, nothing
// left over for later calls, and ISupportErrorInfo naming IOffice.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LogTail.h"
#include "ModuleTestSupport.h"
#include "fw/Raii.h"
#include "module/VellixIdl.h"

using namespace testsupport;
using fw::com_ptr;

namespace {

const HRESULT E_NO_DOCUMENT = static_cast<HRESULT>(0x80041107);
const DISPID kHWnd = 25;

struct FailureCase {
    const wchar_t* member;
    DISPID id;
    WORD flags;
    std::vector<const wchar_t*> args;  // strings, in call order
    HRESULT hr;
    const wchar_t* description;
    const wchar_t* boxCaption;  // the message box the failure shows, if any
};

// Invokes id with args (DISPPARAMS wants them last first).
HRESULT Call(IDispatch* disp, DISPID id, WORD flags, const std::vector<const wchar_t*>& args, EXCEPINFO* ei) {
    std::vector<VARIANT> v(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
        VARIANT& a = v[args.size() - 1 - i];
        a.vt = VT_BSTR;
        a.bstrVal = SysAllocString(args[i]);
    }
    DISPPARAMS dp = {v.data(), nullptr, static_cast<UINT>(v.size()), 0};
    fw::unique_variant result;
    HRESULT hr = disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &dp, result.get(), ei, nullptr);
    for (VARIANT& a : v) VariantClear(&a);
    return hr;
}

struct Excep : EXCEPINFO {
    Excep() : EXCEPINFO() {}
    ~Excep() {
        SysFreeString(bstrSource);
        SysFreeString(bstrDescription);
        SysFreeString(bstrHelpFile);
    }
};

bool ThreadHasErrorObject() {
    com_ptr<IErrorInfo> info;
    return GetErrorInfo(0, info.put()) == S_OK && info;
}

class ErrorInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, m_disp.create(CLSID_Office));
        ASSERT_EQ(S_OK, m_disp.query(m_office.put()));
    }
    OleSession m_ole;
    com_ptr<IDispatch> m_disp;
    com_ptr<IOffice> m_office;
};

TEST_F(ErrorInfoTest, FailuresKeepTheirCodeAndCarryADescriptionNamingWhatFailed) {
    const WORD M = DISPATCH_METHOD, G = DISPATCH_PROPERTYGET;
    const FailureCase cases[] = {
        {L"Open", 4, M, {L"C:\\nosuch\\x.doc"}, E_FAIL, L"打开文档失败: 文件不存在 C:\\nosuch\\x.doc", nullptr},
        {L"Save", 3, M, {}, E_POINTER, L"保存文档失败: 没有打开的文档", nullptr},
        {L"ActiveDocument", 32, G, {}, E_NO_DOCUMENT, L"没有打开的文档", nullptr},
        {L"ExtObject", 5, G, {}, E_POINTER, L"没有扩展对象: 当前文档类型没有扩展控件", nullptr},
        {L"AddWatermark", 17, M, {L"a.doc", L"draft"}, E_NOTIMPL, L"添加水印功能未实现", nullptr},
        {L"New", 1, M, {L"abc"}, E_INVALIDARG, L"新建文档失败: ProgID无效 \"abc\"", L"非法参数"},
        {L"GetWindow", 13, M, {L"No.Such.Window"}, E_FAIL,
         L"创建窗口对象失败: 未注册的窗口类型 No.Such.Window", L"窗口类型未知"},
    };
    DialogWatcher boxes;
    size_t expectedBoxes = 0;
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.member);
        Excep ei;
        EXPECT_EQ(DISP_E_EXCEPTION, Call(m_disp.get(), c.id, c.flags, c.args, &ei));
        EXPECT_EQ(c.hr, ei.scode);
        EXPECT_STREQ(c.description, ei.bstrDescription);
        EXPECT_STREQ(L"Vellix.Office.1", ei.bstrSource);
        if (c.boxCaption) {
            ASSERT_TRUE(boxes.waitFor(++expectedBoxes));
            EXPECT_EQ(c.boxCaption, boxes.records().back().caption);
        }
        // A success that follows finds nothing to report.
        EXPECT_EQ(S_OK, Call(m_disp.get(), kHWnd, G, {}, nullptr));
        EXPECT_FALSE(ThreadHasErrorObject());
    }
    EXPECT_EQ(expectedBoxes, boxes.count());
}

TEST_F(ErrorInfoTest, EarlyBoundCallersReadTheErrorObjectOfIOfficeAndSuccessesLeaveNoneBehind) {
    fw::unique_variant file, missing;
    file->vt = VT_BSTR;
    file->bstrVal = SysAllocString(L"C:\\nosuch\\y.doc");
    missing->vt = VT_ERROR;
    missing->scode = DISP_E_PARAMNOTFOUND;
    ASSERT_EQ(E_FAIL, m_office->Open(*file.get(), *missing.get()));
    com_ptr<IErrorInfo> info;
    ASSERT_EQ(S_OK, GetErrorInfo(0, info.put()));
    fw::unique_bstr description, source;
    GUID iid = GUID_NULL;
    info->GetDescription(description.put());
    info->GetSource(source.put());
    info->GetGUID(&iid);
    EXPECT_STREQ(L"打开文档失败: 文件不存在 C:\\nosuch\\y.doc", description.c_str());
    EXPECT_STREQ(L"Vellix.Office.1", source.c_str());
    EXPECT_TRUE(IsEqualIID(IID_IOffice, iid));

    // An error object still on the thread when a late-bound call succeeds
    // is dropped, as is one from a member whose failure is no error (a
    // shell that cannot open the file: S_FALSE and its own message box).
    ASSERT_EQ(E_FAIL, m_office->Open(*file.get(), *missing.get()));
    EXPECT_EQ(S_OK, Call(m_disp.get(), kHWnd, DISPATCH_PROPERTYGET, {}, nullptr));
    EXPECT_FALSE(ThreadHasErrorObject());
    DialogWatcher boxes;
    Excep ei;
    EXPECT_EQ(S_OK, Call(m_disp.get(), 20, DISPATCH_METHOD, {L"C:\\nosuch\\z.txt"}, &ei));
    EXPECT_FALSE(ThreadHasErrorObject());
    ASSERT_TRUE(boxes.waitFor(1));
    EXPECT_EQ(L"未知文件", boxes.records().front().caption);

    com_ptr<ISupportErrorInfo> support;
    ASSERT_EQ(S_OK, m_disp.query(support.put()));
    EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_IOffice));
    for (const IID* other : {&IID_IDispatch, &IID_IUnknown, &IID_IOleObject, &IID_IDocObject})
        EXPECT_EQ(S_FALSE, support->InterfaceSupportsErrorInfo(*other));
}

// Silence, from the user's setting or the control's own Silent (which wins):
// no box, a log line instead, and the box's words in the error description.
TEST_F(ErrorInfoTest, SilenceKeepsBoxesBackLogsThemAndAddsThemToTheDescription) {
    const DISPID kSilent = 201;
    struct Mode { const wchar_t* name; DWORD setting; int property; bool silent; };
    const Mode modes[] = {
        {L"default", 0, -1, false},
        {L"setting", 1, -1, true},
        {L"property", 0, 1, true},
        {L"property over setting", 1, 0, false},
    };
    struct BoxCase { DISPID id; std::vector<const wchar_t*> args; HRESULT hr; const wchar_t* description;
                     const wchar_t* caption; const wchar_t* text; };
    const BoxCase cases[] = {
        {1, {L"abc"}, E_INVALIDARG, L"新建文档失败: ProgID无效 \"abc\"", L"非法参数", L"ProgIDOrTemplate = NULL"},
        {13, {L"No.Such.Window"}, E_FAIL, L"创建窗口对象失败: 未注册的窗口类型 No.Such.Window", L"窗口类型未知",
         L"试图获取系统未注册的窗口类型失败"},
        {20, {L"C:\\nosuch\\z.txt"}, S_OK, nullptr, L"未知文件", L"打开文件{C:\\nosuch\\z.txt}出错,文件可能不存在"},
    };
    struct UserSetting {
        fw::unique_hkey key;
        UserSetting() {
            RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Vellix", 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                            nullptr);
        }
        ~UserSetting() { RegDeleteValueW(key.get(), L"Silent"); }
    };
    for (const Mode& m : modes) {
        SCOPED_TRACE(m.name);
        UserSetting setting;
        fw::unique_hkey& key = setting.key;
        ASSERT_TRUE(key);
        RegSetValueExW(key.get(), L"Silent", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&m.setting), sizeof(DWORD));
        com_ptr<IDispatch> disp;
        ASSERT_EQ(S_OK, disp.create(CLSID_Office));
        if (m.property >= 0) {
            VARIANT v;
            v.vt = VT_BOOL;
            v.boolVal = m.property ? VARIANT_TRUE : VARIANT_FALSE;
            DISPID named = DISPID_PROPERTYPUT;
            DISPPARAMS dp = {&v, &named, 1, 1};
            ASSERT_EQ(S_OK, disp->Invoke(kSilent, IID_NULL, 0, DISPATCH_PROPERTYPUT, &dp, nullptr, nullptr, nullptr));
        }
        DialogWatcher boxes;
        LogTail log(ExeDir() + L"\\log\\office.log");
        for (const BoxCase& c : cases) {
            SCOPED_TRACE(c.caption);
            Excep ei;
            const HRESULT hr = Call(disp.get(), c.id, DISPATCH_METHOD, c.args, &ei);
            if (c.description) {
                EXPECT_EQ(DISP_E_EXCEPTION, hr);
                EXPECT_EQ(c.hr, ei.scode);
                const std::wstring kept = std::wstring(L" (") + c.caption + L": " + c.text + L")";
                EXPECT_EQ(c.description + (m.silent ? kept : L""), std::wstring(ei.bstrDescription));
            } else {
                EXPECT_EQ(c.hr, hr);
            }
        }
        std::vector<std::wstring> keptLines;
        for (const std::wstring& e : log.entries())
            if (e.rfind(L"提示(未显示)", 0) == 0) keptLines.push_back(e);
        // A call that showed a box has returned only once the box was answered.
        EXPECT_EQ(m.silent ? 0u : std::size(cases), boxes.count());
        ASSERT_EQ(m.silent ? std::size(cases) : 0u, keptLines.size());
        for (size_t i = 0; i < keptLines.size(); ++i)
            EXPECT_EQ(std::wstring(L"提示(未显示)\t") + cases[i].caption + L"\t" + cases[i].text, keptLines[i]);
    }
}

}  // namespace
