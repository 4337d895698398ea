// The type library as late- and early-bound callers see it: names, DISPIDs,
// member order and shapes of both dual interfaces, and dispatch through
// IDispatch::Invoke landing on the vtable member.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "ModuleTestSupport.h"
#include "fw/Raii.h"
#include "module/VellixIdl.h"

using namespace testsupport;
using fw::com_ptr;

namespace {

struct Member {
    const wchar_t* name;
    DISPID id;
    INVOKEKIND kind;
    int params;  // not counting the retval
};

const INVOKEKIND M = INVOKE_FUNC, G = INVOKE_PROPERTYGET, P = INVOKE_PROPERTYPUT;

// In vtable order.
const Member kOffice[] = {
    {L"New", 1, M, 1}, {L"Close", 2, M, 0}, {L"Save", 3, M, 2}, {L"Open", 4, M, 2},
    {L"ExtObject", 5, G, 0}, {L"ShowMenuBar", 6, M, 0}, {L"DeleteFile", 7, M, 1},
    {L"GetFileName", 8, M, 0}, {L"EnableWindow", 10, M, 1}, {L"OleObject", 12, G, 0},
    {L"GetWindow", 13, M, 1}, {L"ShowFileDialog", 14, M, 5}, {L"EncryptPDF", 15, M, 3},
    {L"Version", 16, G, 0}, {L"AddWatermark", 17, M, 2}, {L"GetFileSystemObject", 18, M, 0},
    {L"PrintPreview", 19, M, 0}, {L"ShellExecute", 20, M, 2}, {L"GetShellIcon", 21, M, 2},
    {L"Saved", 22, G, 0}, {L"Print", 24, M, 0}, {L"HWnd", 25, G, 0},
    {L"SetUpdateInfo", 26, M, 3}, {L"AutoUpdate", 27, P, 1}, {L"SetServerInfo", 28, M, 3},
    {L"AutoUpdateFile", 29, P, 1}, {L"CreateBarCode", 30, M, 1}, {L"BrowserForFolder", 31, M, 0},
    {L"ActiveDocument", 32, G, 0},
};

// IOffice2's own members, in the slots after IOffice's.
const Member kOffice2[] = {
    {L"OpenFromURL", 101, M, 3}, {L"SaveToURL", 102, M, 5}, {L"DocumentURL", 103, G, 0},
    {L"LastHTTPStatus", 104, G, 0},
};

const Member kDocObject[] = {
    {L"GetActiveWindow", 1, M, 0}, {L"GetActiveObject", 2, M, 0}, {L"GetOleObject", 3, M, 0},
    {L"GetActiveMenu", 4, M, 0}, {L"GetMenuHWND", 5, M, 0}, {L"Close", 6, M, 0},
    {L"IPDeactivateView", 7, M, 0}, {L"IsStorageDirty", 8, M, 0}, {L"SaveObjectStorage", 9, M, 0},
    {L"InitializeNewInstance", 10, M, 4}, {L"CreateDocObject", 11, M, 1}, {L"IPActivateView", 12, M, 0},
    {L"UIActivateView", 13, M, 1}, {L"CreateObjectStorage", 14, M, 1}, {L"EnsureDocObjectRunning", 15, M, 1},
    {L"FreeRunningLock", 16, M, 0}, {L"SaveStorageToFile", 17, M, 1}, {L"IsReadOnly", 18, M, 0},
    {L"LoadStorageFromFile", 19, M, 2}, {L"DoOleCommand", 21, M, 3}, {L"PrintPreview", 22, M, 0},
    {L"ExitPrintPreview", 23, M, 1}, {L"OnNotifySizeChange", 24, M, 1}, {L"OnNotifyAppActivate", 25, M, 1},
    {L"GetDocWindow", 26, M, 0}, {L"GetClsid", 27, M, 0}, {L"FileName", 28, G, 0}, {L"FileName", 28, P, 1},
    {L"ExtFileName", 29, G, 0}, {L"ExtFileName", 29, P, 1},
};

DISPID IdOf(IDispatch* disp, const wchar_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = disp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return SUCCEEDED(hr) ? id : DISPID_UNKNOWN;
}

// The vtable view of the dual interface iid: the object's own, or one it
// derives from.
com_ptr<ITypeInfo> VtableInfo(IDispatch* disp, REFIID iid) {
    com_ptr<ITypeInfo> ti, vt;
    if (FAILED(disp->GetTypeInfo(0, LOCALE_USER_DEFAULT, ti.put()))) return vt;
    TYPEATTR* attr = nullptr;
    ti->GetTypeAttr(&attr);
    bool isDispatch = attr->typekind == TKIND_DISPATCH;
    ti->ReleaseTypeAttr(attr);
    HREFTYPE href;
    if (isDispatch && SUCCEEDED(ti->GetRefTypeOfImplType(-1, &href))) ti->GetRefTypeInfo(href, vt.put());
    else vt = ti;
    while (vt) {
        vt->GetTypeAttr(&attr);
        const bool bMatch = IsEqualIID(attr->guid, iid);
        vt->ReleaseTypeAttr(attr);
        if (bMatch) break;
        com_ptr<ITypeInfo> base;
        if (SUCCEEDED(vt->GetRefTypeOfImplType(0, &href))) vt->GetRefTypeInfo(href, base.put());
        vt = std::move(base);
    }
    return vt;
}

template <size_t N>
void ExpectMembers(IDispatch* disp, REFIID iid, const Member (&table)[N], size_t firstSlot = 7) {
    UINT count = 0;
    ASSERT_EQ(S_OK, disp->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    com_ptr<ITypeInfo> bad;
    EXPECT_EQ(DISP_E_BADINDEX, disp->GetTypeInfo(1, 0, bad.put()));

    com_ptr<ITypeInfo> vt = VtableInfo(disp, iid);
    ASSERT_TRUE(vt);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, vt->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualIID(attr->guid, iid));
    EXPECT_EQ(TKIND_INTERFACE, attr->typekind);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
    ASSERT_EQ(N, attr->cFuncs);
    vt->ReleaseTypeAttr(attr);

    for (size_t i = 0; i < N; ++i) {
        const Member& m = table[i];
        SCOPED_TRACE(m.name);
        EXPECT_EQ(m.id, IdOf(disp, m.name)) << "late-bound DISPID";
        FUNCDESC* fd = nullptr;
        ASSERT_EQ(S_OK, vt->GetFuncDesc(static_cast<UINT>(i), &fd));
        EXPECT_EQ(m.id, fd->memid);
        EXPECT_EQ(m.kind, fd->invkind);
        // Seven IUnknown and IDispatch slots come first (then a base's).
        EXPECT_EQ(static_cast<SHORT>((firstSlot + i) * sizeof(void*)), fd->oVft) << "vtable slot";
        EXPECT_EQ(VT_HRESULT, fd->elemdescFunc.tdesc.vt);
        int params = fd->cParams;
        if (params && (fd->lprgelemdescParam[params - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL)) --params;
        EXPECT_EQ(m.params, params);
        BSTR name = nullptr;
        UINT got = 0;
        vt->GetNames(fd->memid, &name, 1, &got);
        EXPECT_STREQ(m.name, name);
        SysFreeString(name);
        vt->ReleaseFuncDesc(fd);
    }
    EXPECT_EQ(DISPID_UNKNOWN, IdOf(disp, L"NoSuchMember"));
}

class DispatchTest : public ::testing::Test {
protected:
    OleSession m_ole;
};

TEST_F(DispatchTest, OfficeMembersHaveTheirDispidsSlotsAndShapes) {
    com_ptr<IDispatch> disp;
    ASSERT_EQ(S_OK, disp.create(CLSID_Office));
    ExpectMembers(disp.get(), IID_IOffice, kOffice);
    ExpectMembers(disp.get(), IID_IOffice2, kOffice2, 7 + std::size(kOffice));
    // Optional arguments are marked so: a script may leave them out.
    com_ptr<ITypeInfo> vt = VtableInfo(disp.get(), IID_IOffice);
    FUNCDESC* fd = nullptr;
    ASSERT_EQ(S_OK, vt->GetFuncDesc(2, &fd));  // Save
    EXPECT_TRUE(fd->lprgelemdescParam[0].paramdesc.wParamFlags & PARAMFLAG_FOPT);
    EXPECT_TRUE(fd->lprgelemdescParam[1].paramdesc.wParamFlags & PARAMFLAG_FOPT);
    EXPECT_EQ(VT_VARIANT, fd->lprgelemdescParam[0].tdesc.vt);
    vt->ReleaseFuncDesc(fd);
}

TEST_F(DispatchTest, DocObjectMembersHaveTheirDispidsSlotsAndShapes) {
    com_ptr<IDispatch> disp;
    ASSERT_EQ(S_OK, disp.create(CLSID_DocObject));
    ExpectMembers(disp.get(), IID_IDocObject, kDocObject);
}

TEST_F(DispatchTest, InvokeReachesTheMemberBehindTheDispid) {
    com_ptr<IDispatch> disp;
    ASSERT_EQ(S_OK, disp.create(CLSID_Office));
    // HWnd of a control without a client site is 0: the value comes back
    // through the vtable member as the property's type.
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(S_OK, disp->Invoke(25, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr));
    EXPECT_TRUE(result.vt == VT_UINT || result.vt == VT_UI4) << result.vt;
    EXPECT_EQ(0u, result.ulVal);
    // A member failing reaches the caller as that failure.
    EXCEPINFO ei = {};
    HRESULT hr = disp->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, &ei, nullptr);
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    SysFreeString(ei.bstrSource);
    SysFreeString(ei.bstrDescription);
    SysFreeString(ei.bstrHelpFile);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, disp->Invoke(9, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
    EXPECT_EQ(DISP_E_UNKNOWNINTERFACE,
              disp->Invoke(1, IID_IOffice, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
}

TEST_F(DispatchTest, TheTypeLibraryDescribesBothCreatableClasses) {
    com_ptr<ITypeLib> tl;
    ASSERT_EQ(S_OK, LoadRegTypeLib(LIBID_VELLIXLib, 1, 0, 1033, tl.put()));
    BSTR name = nullptr, doc = nullptr;
    ASSERT_EQ(S_OK, tl->GetDocumentation(-1, &name, &doc, nullptr, nullptr));
    EXPECT_STREQ(L"VELLIXLib", name);
    EXPECT_STREQ(L"Vellix 1.0 Type Library", doc);
    SysFreeString(name);
    SysFreeString(doc);
    TLIBATTR* la = nullptr;
    ASSERT_EQ(S_OK, tl->GetLibAttr(&la));
    EXPECT_EQ(1033u, la->lcid);
    EXPECT_EQ(1, la->wMajorVerNum);
    EXPECT_EQ(0, la->wMinorVerNum);
    tl->ReleaseTLibAttr(la);

    // The control's second entry is its event source.
    struct { const CLSID* clsid; const IID* itf; const wchar_t* help; const IID* source; } classes[] = {
        {&CLSID_Office, &IID_IOffice3, L"Office Class", &DIID__IOfficeEvents},
        {&CLSID_DocObject, &IID_IDocObject, L"DocObject Class", nullptr},
    };
    for (auto& c : classes) {
        com_ptr<ITypeInfo> ti;
        ASSERT_EQ(S_OK, tl->GetTypeInfoOfGuid(*c.clsid, ti.put()));
        TYPEATTR* a = nullptr;
        ti->GetTypeAttr(&a);
        EXPECT_EQ(TKIND_COCLASS, a->typekind);
        EXPECT_TRUE(a->wTypeFlags & TYPEFLAG_FCANCREATE);
        EXPECT_EQ(c.source ? 2 : 1, a->cImplTypes);
        ti->ReleaseTypeAttr(a);
        INT flags = 0;
        ti->GetImplTypeFlags(0, &flags);
        EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT, flags);
        HREFTYPE href;
        com_ptr<ITypeInfo> itf;
        ti->GetRefTypeOfImplType(0, &href);
        ASSERT_EQ(S_OK, ti->GetRefTypeInfo(href, itf.put()));
        itf->GetTypeAttr(&a);
        EXPECT_TRUE(IsEqualIID(*c.itf, a->guid));
        itf->ReleaseTypeAttr(a);
        if (c.source) {
            ti->GetImplTypeFlags(1, &flags);
            EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE, flags);
            ti->GetRefTypeOfImplType(1, &href);
            ASSERT_EQ(S_OK, ti->GetRefTypeInfo(href, itf.put()));
            itf->GetTypeAttr(&a);
            EXPECT_TRUE(IsEqualIID(*c.source, a->guid));
            EXPECT_EQ(TKIND_DISPATCH, a->typekind);
            itf->ReleaseTypeAttr(a);
        }
        BSTR help = nullptr;
        ti->GetDocumentation(-1, nullptr, &help, nullptr, nullptr);
        EXPECT_STREQ(c.help, help);
        SysFreeString(help);
    }
}

}  // namespace
