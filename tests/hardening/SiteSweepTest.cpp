// Every IDocObject member, by DISPID and through the vtable, with every
// argument value, on a site as the control drives it: fresh, initialised,
// with a new document, with a loaded document activated in place, and
// closed. Each state runs in a child process.
#include <gtest/gtest.h>

#include <docobj.h>

#include "Boxes.h"
#include "Child.h"
#include "PadTestHooks.h"
#include "Sweep.h"
#include "platform/ByRefVariant.h"

using fw::com_ptr;
using fw::unique_bstr;
using namespace hardening;
using namespace hardening::boxes;

namespace {

const HRESULT E_COMMAND_NOT_AVAILABLE = static_cast<HRESULT>(0x80041104);
const wchar_t kHostName[] = L"Vellix控件";

enum class SiteState { Fresh, Initialized, NewDocument, Activated, Closed };

const wchar_t* Name(SiteState s) {
    switch (s) {
    case SiteState::Fresh: return L"fresh";
    case SiteState::Initialized: return L"initialised";
    case SiteState::NewDocument: return L"new-document";
    case SiteState::Activated: return L"activated";
    case SiteState::Closed: return L"closed";
    }
    return L"?";
}

bool ParseSiteState(const std::wstring& s, SiteState* p) {
    for (SiteState st : {SiteState::Fresh, SiteState::Initialized, SiteState::NewDocument, SiteState::Activated,
                         SiteState::Closed})
        if (s == Name(st)) {
            *p = st;
            return true;
        }
    return false;
}

// Sites made as the control makes them, inside a hosted control's window
// with the control as command target, brought into one state and made
// again whenever a call moved them out of it.
class SiteUnderTest {
public:
    SiteUnderTest(SiteState state, Sandbox& sandbox) : m_state(state), m_sandbox(sandbox) {
        if (SUCCEEDED(m_container.Create(CLSID_Office, true))) m_container.query(m_office.put());
        UINT hwnd = 0;
        if (m_office) m_office->get_HWnd(&hwnd);
        m_hwndCtl = reinterpret_cast<HWND>(static_cast<UINT_PTR>(hwnd));
    }
    ~SiteUnderTest() { Drop(); }

    HWND controlWindow() const { return m_hwndCtl; }
    IDocObject* get() const { return m_site.get(); }

    IDocObject* Restore() {
        if (m_site && InState()) return m_site.get();
        Drop();
        return Build() ? m_site.get() : nullptr;
    }

private:
    bool InState() {
        UINT hwnd = 0;
        const bool bWindow = m_site->GetDocWindow(&hwnd) == S_OK && hwnd &&
                             IsWindow(reinterpret_cast<HWND>(static_cast<UINT_PTR>(hwnd)));
        com_ptr<IDispatch> doc;
        const bool bObject = m_site->GetOleObject(doc.put()) == S_OK && doc;
        UINT active = 0;
        const bool bActive = m_site->GetActiveWindow(&active) == S_OK && active;
        switch (m_state) {
        case SiteState::Fresh:
        case SiteState::Closed: return !bWindow && !bObject;
        case SiteState::Initialized: return bWindow && !bObject;
        case SiteState::NewDocument: return bWindow && bObject && !bActive;
        case SiteState::Activated: return bWindow && bObject && bActive;
        }
        return false;
    }

    void Drop() {
        if (m_site) m_site->Close();
        m_site.reset();
        testsupport::TestContainer::Pump();
    }

    bool Build() {
        if (FAILED(m_site.create(CLSID_DocObject))) return false;
        if (m_state == SiteState::Fresh) return true;
        RECT rc = {0, 0, 300, 200};
        unique_bstr host(kHostName);
        com_ptr<IUnknown> identity;
        if (m_office) m_office->QueryInterface(IID_IUnknown, identity.put_void());
        if (m_site->InitializeNewInstance(static_cast<UINT>(reinterpret_cast<UINT_PTR>(m_hwndCtl)), ByRefVariant(&rc),
                                          host.get(), identity.get()) != S_OK)
            return false;
        if (m_state == SiteState::Initialized) return true;
        if (m_state == SiteState::NewDocument) {
            CLSID clsid = vellixpad::CLSID_Document;
            return SUCCEEDED(m_site->CreateDocObject(ByRefVariant(&clsid)));
        }
        m_sandbox.Refresh();
        unique_bstr name(m_sandbox.validDoc.c_str());
        if (FAILED(m_site->LoadStorageFromFile(name.get(), VARIANT_FALSE))) return false;
        if (FAILED(m_site->IPActivateView())) return false;
        if (m_state == SiteState::Closed) return m_site->Close() == S_OK;
        return true;
    }

    SiteState m_state;
    Sandbox& m_sandbox;
    testsupport::TestContainer m_container{500, 400};
    com_ptr<IOffice> m_office;
    HWND m_hwndCtl = nullptr;
    com_ptr<IDocObject> m_site;
};

// The window handles the queries give must be windows (or nothing).
std::wstring VerifyHandleOut(IDocObject* p, UINT (*get)(IDocObject*)) {
    UINT h = get(p);
    if (h && !IsWindow(reinterpret_cast<HWND>(static_cast<UINT_PTR>(h))))
        return L"a window handle that is no window: " + std::to_wstring(h);
    return std::wstring();
}

std::vector<Member<IDocObject>> SiteMembers() {
    using P = Param;
    const WORD M = DISPATCH_METHOD, G = DISPATCH_PROPERTYGET, S = DISPATCH_PROPERTYPUT;
    std::vector<Member<IDocObject>> m = {
        {L"GetActiveWindow", 1, M, {}, Out::Uint, {S_OK, S_FALSE}, {},
         [](IDocObject* p, CallArgs& a) {
             OutSlot o(Out::Uint);
             return o.Check(p->GetActiveWindow(o.uint(a.bNullOut)));
         }},
        {L"GetActiveObject", 2, M, {}, Out::Dispatch, {S_OK, S_FALSE, E_NOINTERFACE}, {},
         [](IDocObject* p, CallArgs& a) {
             OutSlot o(Out::Dispatch);
             return o.Check(p->GetActiveObject(o.dispatch(a.bNullOut)));
         }},
        {L"GetOleObject", 3, M, {}, Out::Dispatch, {S_OK, S_FALSE, E_NOINTERFACE}, {},
         [](IDocObject* p, CallArgs& a) {
             OutSlot o(Out::Dispatch);
             return o.Check(p->GetOleObject(o.dispatch(a.bNullOut)));
         }},
        {L"GetActiveMenu", 4, M, {}, Out::Uint, {S_OK, S_FALSE}, {},
         [](IDocObject* p, CallArgs& a) {
             OutSlot o(Out::Uint);
             return o.Check(p->GetActiveMenu(o.uint(a.bNullOut)));
         }},
        {L"GetMenuHWND", 5, M, {}, Out::Uint, {S_OK, S_FALSE}, {},
         [](IDocObject* p, CallArgs& a) {
             OutSlot o(Out::Uint);
             return o.Check(p->GetMenuHWND(o.uint(a.bNullOut)));
         }},
        {L"Close", 6, M, {}, Out::None, {S_OK}, {}, [](IDocObject* p, CallArgs&) { return p->Close(); }},
        {L"IPDeactivateView", 7, M, {}, Out::None, {S_OK, kAnyFailure}, {},
         [](IDocObject* p, CallArgs&) { return p->IPDeactivateView(); }},
        {L"IsStorageDirty", 8, M, {}, Out::Bool, {S_OK}, {},
         [](IDocObject* p, CallArgs& a) {
             OutSlot o(Out::Bool);
             return o.Check(p->IsStorageDirty(o.boolean(a.bNullOut)));
         }},
        {L"SaveObjectStorage", 9, M, {}, Out::None, {S_OK, S_FALSE, E_UNEXPECTED, kAnyFailure}, {},
         [](IDocObject* p, CallArgs&) { return p->SaveObjectStorage(); }},
        {L"InitializeNewInstance", 10, M, {P::Uint, P::Variant, P::Bstr, P::Unknown}, Out::None,
         {S_OK, E_UNEXPECTED, STG_E_INVALIDPARAMETER, E_FAIL, E_OUTOFMEMORY, kAnyFailure}, {},
         [](IDocObject* p, CallArgs& a) {
             return p->InitializeNewInstance(a.in[0].u, a.in[1].var, a.in[2].bstr, a.in[3].punk);
         }},
        {L"CreateDocObject", 11, M, {P::Variant}, Out::None, {S_OK, S_FALSE, E_UNEXPECTED, E_FAIL, kAnyFailure}, {},
         [](IDocObject* p, CallArgs& a) { return p->CreateDocObject(a.in[0].var); }},
        {L"IPActivateView", 12, M, {}, Out::None, {S_OK, S_FALSE, E_UNEXPECTED, kAnyFailure}, {},
         [](IDocObject* p, CallArgs&) { return p->IPActivateView(); }},
        {L"UIActivateView", 13, M, {P::Bool}, Out::None, {S_OK, S_FALSE, kAnyFailure}, {},
         [](IDocObject* p, CallArgs& a) { return p->UIActivateView(a.in[0].b); }},
        {L"CreateObjectStorage", 14, M, {P::Variant}, Out::None, {S_OK, E_UNEXPECTED, kAnyFailure}, {},
         [](IDocObject* p, CallArgs& a) { return p->CreateObjectStorage(a.in[0].var); }},
        {L"EnsureDocObjectRunning", 15, M, {P::Bool}, Out::None, {S_OK, S_FALSE, E_UNEXPECTED, kAnyFailure}, {},
         [](IDocObject* p, CallArgs& a) { return p->EnsureDocObjectRunning(a.in[0].b); }},
        {L"FreeRunningLock", 16, M, {}, Out::None, {S_OK, S_FALSE}, {},
         [](IDocObject* p, CallArgs&) { return p->FreeRunningLock(); }},
        {L"SaveStorageToFile", 17, M, {P::Bstr}, Out::None, {S_OK, E_FAIL, kAnyFailure}, {kSaveFailed},
         [](IDocObject* p, CallArgs& a) { return p->SaveStorageToFile(a.in[0].bstr); }},
        {L"IsReadOnly", 18, M, {}, Out::Bool, {S_OK}, {},
         [](IDocObject* p, CallArgs& a) {
             OutSlot o(Out::Bool);
             return o.Check(p->IsReadOnly(o.boolean(a.bNullOut)));
         }},
        {L"LoadStorageFromFile", 19, M, {P::Bstr, P::Bool}, Out::None, {S_OK, S_FALSE, kAnyFailure}, {},
         [](IDocObject* p, CallArgs& a) { return p->LoadStorageFromFile(a.in[0].bstr, a.in[1].b); }},
        {L"DoOleCommand", 21, M, {P::Uint, P::Uint, P::VariantPtr}, Out::Variant,
         {S_OK, S_FALSE, E_COMMAND_NOT_AVAILABLE, kAnyFailure}, {},
         [](IDocObject* p, CallArgs& a) {
             OutSlot o(Out::Variant);
             return o.Check(p->DoOleCommand(a.in[0].u, a.in[1].u, a.in[2].pvar, o.variant(a.bNullOut)));
         }},
        {L"PrintPreview", 22, M, {}, Out::None, {S_OK, S_FALSE, E_COMMAND_NOT_AVAILABLE, kAnyFailure}, {},
         [](IDocObject* p, CallArgs&) { return p->PrintPreview(); }},
        {L"ExitPrintPreview", 23, M, {P::Bool}, Out::None, {S_OK, S_FALSE, kAnyFailure}, {},
         [](IDocObject* p, CallArgs& a) { return p->ExitPrintPreview(a.in[0].b); }},
        {L"OnNotifySizeChange", 24, M, {P::VariantPtr}, Out::None, {S_OK, E_INVALIDARG}, {},
         [](IDocObject* p, CallArgs& a) { return p->OnNotifySizeChange(a.in[0].pvar); }},
        {L"OnNotifyAppActivate", 25, M, {P::Bool}, Out::None, {S_OK}, {},
         [](IDocObject* p, CallArgs& a) { return p->OnNotifyAppActivate(a.in[0].b); }},
        {L"GetDocWindow", 26, M, {}, Out::Uint, {S_OK}, {},
         [](IDocObject* p, CallArgs& a) {
             OutSlot o(Out::Uint);
             return o.Check(p->GetDocWindow(o.uint(a.bNullOut)));
         }},
        {L"GetClsid", 27, M, {}, Out::Variant, {S_OK}, {},
         [](IDocObject* p, CallArgs& a) {
             OutSlot o(Out::Variant);
             return o.Check(p->GetClsid(o.variant(a.bNullOut)));
         }},
        {L"FileName get", 28, G, {}, Out::Bstr, {S_OK}, {},
         [](IDocObject* p, CallArgs& a) {
             OutSlot o(Out::Bstr);
             return o.Check(p->get_FileName(o.bstr(a.bNullOut)));
         }},
        {L"FileName put", 28, S, {P::Bstr}, Out::None, {S_OK}, {},
         [](IDocObject* p, CallArgs& a) { return p->put_FileName(a.in[0].bstr); }},
        {L"ExtFileName get", 29, G, {}, Out::Bstr, {S_OK}, {},
         [](IDocObject* p, CallArgs& a) {
             OutSlot o(Out::Bstr);
             return o.Check(p->get_ExtFileName(o.bstr(a.bNullOut)));
         }},
        {L"ExtFileName put", 29, S, {P::Bstr}, Out::None, {S_OK}, {},
         [](IDocObject* p, CallArgs& a) { return p->put_ExtFileName(a.in[0].bstr); }},
    };
    for (Member<IDocObject>& member : m) {
        const std::wstring name = member.name;
        if (name == L"GetActiveWindow")
            member.verify = [](IDocObject* p, const CallArgs&, HRESULT) {
                return VerifyHandleOut(p, [](IDocObject* s) {
                    UINT h = 0;
                    s->GetActiveWindow(&h);
                    return h;
                });
            };
        if (name == L"GetDocWindow")
            member.verify = [](IDocObject* p, const CallArgs&, HRESULT) {
                return VerifyHandleOut(p, [](IDocObject* s) {
                    UINT h = 0;
                    s->GetDocWindow(&h);
                    return h;
                });
            };
    }
    return m;
}

}  // namespace

VX_CHILD(site_sweep) {
    SiteState state;
    if (!ParseSiteState(arg, &state)) {
        Fault(L"unknown state " + arg);
        return 2;
    }
    Sandbox sandbox;
    ValuePool pool(sandbox);
    testsupport::DialogWatcher boxes(IDCANCEL, kBoxPollMs);
    std::string readOnlyBytes;
    testsupport::ReadFileBytes(sandbox.readOnlyDoc, &readOnlyBytes);

    SetStep(std::wstring(L"bringing a site into state ") + Name(state));
    SiteUnderTest site(state, sandbox);
    if (!site.Restore()) {
        Fault(std::wstring(L"no site could be brought into state ") + Name(state));
        return ChildExitCode();
    }

    RECT rcPlace = {0, 0, 300, 200};
    CLSID clsidPad = vellixpad::CLSID_Document;
    VARIANT vPlace = ByRefVariant(&rcPlace), vClsid = ByRefVariant(&clsidPad);
    unique_bstr host(kHostName), saveTarget(sandbox.file(L"site-save.vxp").c_str()),
        loadName(sandbox.validDoc.c_str()), plain(L"Vellix sweep");
    const UINT hwndCtl = static_cast<UINT>(reinterpret_cast<UINT_PTR>(site.controlWindow()));
    auto baseline = [&](const Member<IDocObject>& m) {
        CallArgs a;
        for (Param kind : m.params) {
            Arg arg;
            arg.label = L"baseline";
            switch (kind) {
            case Param::Bstr: arg.bstr = plain.get(); break;
            case Param::Bool: arg.b = VARIANT_TRUE; break;
            case Param::Uint: arg.u = hwndCtl; break;
            case Param::Variant: arg.var = vClsid; break;
            case Param::VariantPtr: arg.pvar = &vPlace; break;
            default: break;
            }
            a.in.push_back(arg);
        }
        const std::wstring name = m.name;
        if (name == L"InitializeNewInstance") {
            a.in[1].var = vPlace;
            a.in[2].bstr = host.get();
        }
        if (name == L"SaveStorageToFile") a.in[0].bstr = saveTarget.get();
        if (name == L"LoadStorageFromFile") {
            a.in[0].bstr = loadName.get();
            a.in[1].b = VARIANT_FALSE;
        }
        if (name == L"DoOleCommand") {
            a.in[0].u = OLECMDID_PRINT;
            a.in[1].u = OLECMDEXECOPT_DONTPROMPTUSER;
            a.in[2].pvar = nullptr;
        }
        return a;
    };

    SweepHost<IDocObject> sweepHost;
    sweepHost.boxes = &boxes;
    sweepHost.state = std::wstring(L"site ") + Name(state);
    sweepHost.restore = [&]() -> IDocObject* {
        sandbox.Refresh();
        return site.Restore();
    };
    sweepHost.pump = [] { testsupport::TestContainer::Pump(); };
    Sweeper<IDocObject> sweeper(sweepHost, pool, site.controlWindow());
    sweeper.m_baseline = baseline;
    sweeper.m_dispatchOf = [&]() -> IDispatch* { return site.get(); };
    sweeper.Run(SiteMembers());
    if (IDocObject* p = site.Restore())
        SweepUnknownDispids(p, {0, 20, 30, 100, DISPID_NEWENUM, DISPID_UNKNOWN}, sweepHost.state, &boxes);

    SetStep(L"opening and saving through a control afterwards");
    {
        OfficeUnderTest office(OfficeState::NoDocument, sandbox);
        std::wstring fault = office.CheckOpensAndSaves(Name(state));
        if (!fault.empty()) Fault(std::wstring(L"afterwards: ") + fault);
    }
    std::wstring fault = pool.CheckReferences();
    if (!fault.empty()) Fault(fault);
    SetFileAttributesW(sandbox.readOnlyDoc.c_str(), FILE_ATTRIBUTE_READONLY);
    if (!FileBytesEqual(sandbox.readOnlyDoc, readOnlyBytes)) Fault(L"the read-only document was changed on disk");
    SetStep(L"releasing the site");
    return ChildExitCode();
}

namespace {

void ExpectCleanSweep(const wchar_t* pszState) {
    ChildResult r = RunChild("site_sweep", pszState);
    EXPECT_EQ("", ChildVerdict(r));
}

}  // namespace

TEST(SiteBadInputSweep, EveryMemberOfAFreshSite) { ExpectCleanSweep(L"fresh"); }
TEST(SiteBadInputSweep, EveryMemberOfAnInitialisedSite) { ExpectCleanSweep(L"initialised"); }
TEST(SiteBadInputSweep, EveryMemberWithANewDocument) { ExpectCleanSweep(L"new-document"); }
TEST(SiteBadInputSweep, EveryMemberWithALoadedDocumentActivated) { ExpectCleanSweep(L"activated"); }
TEST(SiteBadInputSweep, EveryMemberOfAClosedSite) { ExpectCleanSweep(L"closed"); }
