// Every IOffice member, by DISPID and through the vtable, with every
// argument value, before a client site, before a document, with a document
// and after Close. Each state runs in a child process.
#include <gtest/gtest.h>

#include "Boxes.h"
#include "Child.h"
#include "Sweep.h"

using fw::unique_bstr;
using namespace hardening;
using namespace hardening::boxes;

namespace {

const HRESULT E_READONLY_OVERWRITE = static_cast<HRESULT>(0x80041105);
const HRESULT E_NO_DOCUMENT = static_cast<HRESULT>(0x80041107);
const HRESULT E_SETTINGS_KEY = static_cast<HRESULT>(0xFFFFEB88);

fw::com_ptr<IOffice2> Office2(IOffice* p) {
    fw::com_ptr<IOffice2> p2;
    p->QueryInterface(IID_IOffice2, p2.put_void());
    return p2;
}

// What a BSTR argument names, as the control reads it (up to a NUL).
std::wstring NameOf(BSTR b) { return b ? std::wstring(b) : std::wstring(); }

// Labels of files that exist: the shell would start their programs.
bool NamesAnExistingFile(const std::wstring& label) {
    return label == L"folder" || label == L"read-only document" || label == L"locked document" ||
           label == L"over-long path" || label == L"plain text file" || label == L"valid document";
}

// Save reported success: the document must be in the file it names.
std::wstring VerifySaved(IOffice* p, const CallArgs& a, HRESULT) {
    std::wstring target;
    if (a.in[0].bNonEmptyString) {
        target = NameOf(a.in[0].var.bstrVal);
    } else {
        unique_bstr current;
        p->GetFileName(current.put());
        target = current.c_str();
    }
    std::wstring text;
    if (!ReadSavedText(target, &text) || text != Sandbox::kText) return L"success reported, but \"" + target.substr(0, 80) + L"\" holds no document";
    return std::wstring();
}

// Open reported success: the control holds that document now.
std::wstring VerifyOpened(IOffice* p, const CallArgs& a, HRESULT) {
    if (!a.in[0].bNonEmptyString) return std::wstring();
    unique_bstr current;
    if (p->GetFileName(current.put()) != S_OK) return L"success reported, but no document is open";
    if (lstrcmpiW(current.c_str(), NameOf(a.in[0].var.bstrVal).c_str()) != 0)
        return L"success reported, but the open document is \"" + std::wstring(current.c_str()) + L"\"";
    return std::wstring();
}

std::vector<Member<IOffice>> OfficeMembers() {
    using P = Param;
    const WORD M = DISPATCH_METHOD, G = DISPATCH_PROPERTYGET, S = DISPATCH_PROPERTYPUT;
    std::vector<Member<IOffice>> m = {
        {L"New", 1, M, {P::Bstr}, Out::None, {S_OK, S_FALSE, kAnyFailure},
         {kBadArgument, kCloseFailed, kSiteFailed, kNoClsid, kNoExtension, kExtFailed},
         [](IOffice* p, CallArgs& a) { return p->New(a.in[0].bstr); }},
        {L"Close", 2, M, {}, Out::None, {S_OK}, {}, [](IOffice* p, CallArgs&) { return p->Close(); }},
        {L"Save", 3, M, {P::Variant, P::Variant}, Out::None,
         {S_OK, S_FALSE, E_POINTER, E_FAIL, E_READONLY_OVERWRITE, kAnyFailure},
         {kReadOnly, kBadPath, kSaveFailed, kNoMemory, kAnyDialog},
         [](IOffice* p, CallArgs& a) { return p->Save(a.in[0].var, a.in[1].var); }},
        {L"Open", 4, M, {P::Variant, P::Variant}, Out::None, {S_OK, S_FALSE, E_FAIL, kAnyFailure},
         {kOfficeOnly, kSiteFailed, kExtFailed, kNoMemory, kAnyDialog},
         [](IOffice* p, CallArgs& a) { return p->Open(a.in[0].var, a.in[1].var); }},
        {L"ExtObject", 5, G, {}, Out::Dispatch, {S_OK, E_POINTER}, {},
         [](IOffice* p, CallArgs& a) {
             OutSlot o(Out::Dispatch);
             return o.Check(p->get_ExtObject(o.dispatch(a.bNullOut)));
         }},
        {L"ShowMenuBar", 6, M, {}, Out::None, {S_OK}, {}, [](IOffice* p, CallArgs&) { return p->ShowMenuBar(); }},
        {L"DeleteFile", 7, M, {P::Bstr}, Out::None, {S_OK}, {},
         [](IOffice* p, CallArgs& a) { return p->DeleteFile(a.in[0].bstr); }},
        {L"GetFileName", 8, M, {}, Out::Bstr, {S_OK, S_FALSE}, {},
         [](IOffice* p, CallArgs& a) {
             OutSlot o(Out::Bstr);
             return o.Check(p->GetFileName(o.bstr(a.bNullOut)));
         }},
        {L"EnableWindow", 10, M, {P::Bool}, Out::None, {S_OK}, {},
         [](IOffice* p, CallArgs& a) { return p->EnableWindow(a.in[0].b); }},
        {L"OleObject", 12, G, {}, Out::Dispatch, {S_OK, E_POINTER}, {},
         [](IOffice* p, CallArgs& a) {
             OutSlot o(Out::Dispatch);
             return o.Check(p->get_OleObject(o.dispatch(a.bNullOut)));
         }},
        {L"GetWindow", 13, M, {P::Bstr}, Out::Dispatch, {S_OK, E_FAIL}, {kWindowTypeUnknown, kWindowClassMissing},
         [](IOffice* p, CallArgs& a) {
             OutSlot o(Out::Dispatch);
             return o.Check(p->GetWindow(a.in[0].bstr, o.dispatch(a.bNullOut)));
         }},
        {L"ShowFileDialog", 14, M, {P::Bool, P::Variant, P::Variant, P::Variant, P::Variant}, Out::Bstr,
         {S_OK, S_FALSE, E_OUTOFMEMORY}, {kNoMemory, kAnyDialog},
         [](IOffice* p, CallArgs& a) {
             OutSlot o(Out::Bstr);
             return o.Check(p->ShowFileDialog(a.in[0].b, a.in[1].var, a.in[2].var, a.in[3].var, a.in[4].var,
                                      o.bstr(a.bNullOut)));
         },
         true},
        {L"EncryptPDF", 15, M, {P::Bstr, P::Bstr, P::Dispatch}, Out::None, {E_NOTIMPL}, {},
         [](IOffice* p, CallArgs& a) {
             return p->EncryptPDF(a.in[0].bstr, a.in[1].bstr, static_cast<IDispatch*>(a.in[2].punk));
         }},
        {L"Version", 16, G, {}, Out::Bstr, {S_OK, E_FAIL}, {},
         [](IOffice* p, CallArgs& a) {
             OutSlot o(Out::Bstr);
             return o.Check(p->get_Version(o.bstr(a.bNullOut)));
         }},
        {L"AddWatermark", 17, M, {P::Bstr, P::Variant}, Out::Variant, {E_NOTIMPL}, {},
         [](IOffice* p, CallArgs& a) {
             OutSlot o(Out::Variant);
             return o.Check(p->AddWatermark(a.in[0].bstr, a.in[1].var, o.variant(a.bNullOut)));
         }},
        {L"GetFileSystemObject", 18, M, {}, Out::Dispatch, {S_OK, E_FAIL, kAnyFailure}, {},
         [](IOffice* p, CallArgs& a) {
             OutSlot o(Out::Dispatch);
             return o.Check(p->GetFileSystemObject(o.dispatch(a.bNullOut)));
         }},
        {L"PrintPreview", 19, M, {}, Out::None, {S_OK}, {kNoVersion, kOfficeXp, kNeedSp3, kNoPreview},
         [](IOffice* p, CallArgs&) { return p->PrintPreview(); }},
        {L"ShellExecute", 20, M, {P::Bstr, P::Variant}, Out::None, {S_OK, S_FALSE}, {kUnknownFile},
         [](IOffice* p, CallArgs& a) { return p->ShellExecute(a.in[0].bstr, a.in[1].var); }},
        {L"GetShellIcon", 21, M, {P::Bstr, P::Variant}, Out::Bstr, {S_OK, S_FALSE, E_FAIL},
         {kFolderFailed, kNoIcon, kIconConvert},
         [](IOffice* p, CallArgs& a) {
             OutSlot o(Out::Bstr);
             return o.Check(p->GetShellIcon(a.in[0].bstr, a.in[1].var, o.bstr(a.bNullOut)));
         }},
        {L"Saved", 22, G, {}, Out::Bool, {S_OK, E_POINTER, kAnyFailure}, {},
         [](IOffice* p, CallArgs& a) {
             OutSlot o(Out::Bool);
             return o.Check(p->get_Saved(o.boolean(a.bNullOut)));
         }},
        {L"Print", 24, M, {}, Out::None, {S_OK}, {}, [](IOffice* p, CallArgs&) { return p->Print(); }},
        {L"HWnd", 25, G, {}, Out::Uint, {S_OK}, {},
         [](IOffice* p, CallArgs& a) {
             OutSlot o(Out::Uint);
             return o.Check(p->get_HWnd(o.uint(a.bNullOut)));
         }},
        {L"SetUpdateInfo", 26, M, {P::Bstr, P::Bstr, P::Bstr}, Out::None, {S_OK, E_SETTINGS_KEY}, {},
         [](IOffice* p, CallArgs& a) { return p->SetUpdateInfo(a.in[0].bstr, a.in[1].bstr, a.in[2].bstr); }},
        {L"AutoUpdate", 27, S, {P::Bool}, Out::None, {S_OK, E_SETTINGS_KEY}, {},
         [](IOffice* p, CallArgs& a) { return p->put_AutoUpdate(a.in[0].b); }},
        {L"SetServerInfo", 28, M, {P::Bstr, P::Bstr, P::Bstr}, Out::None, {S_OK, E_SETTINGS_KEY}, {},
         [](IOffice* p, CallArgs& a) { return p->SetServerInfo(a.in[0].bstr, a.in[1].bstr, a.in[2].bstr); }},
        {L"AutoUpdateFile", 29, S, {P::Bstr}, Out::None, {S_OK, E_SETTINGS_KEY}, {},
         [](IOffice* p, CallArgs& a) { return p->put_AutoUpdateFile(a.in[0].bstr); }},
        {L"CreateBarCode", 30, M, {P::Bstr}, Out::Variant, {S_OK, E_FAIL, kAnyFailure}, {},
         [](IOffice* p, CallArgs& a) {
             OutSlot o(Out::Variant);
             return o.Check(p->CreateBarCode(a.in[0].bstr, o.variant(a.bNullOut)));
         }},
        {L"BrowserForFolder", 31, M, {}, Out::Bstr, {S_OK, S_FALSE}, {kAnyDialog},
         [](IOffice* p, CallArgs& a) {
             OutSlot o(Out::Bstr);
             return o.Check(p->BrowserForFolder(o.bstr(a.bNullOut)));
         },
         true},
        {L"ActiveDocument", 32, G, {}, Out::Dispatch, {S_OK, E_POINTER, E_NO_DOCUMENT, kAnyFailure}, {},
         [](IOffice* p, CallArgs& a) {
             OutSlot o(Out::Dispatch);
             return o.Check(p->get_ActiveDocument(o.dispatch(a.bNullOut)));
         }},
        // IOffice2, on the same object. No argument in the pool is an http
        // URL: nothing goes to the network.
        {L"OpenFromURL", 101, M, {P::Bstr, P::Variant, P::Variant}, Out::None, {E_INVALIDARG, kAnyFailure}, {},
         [](IOffice* p, CallArgs& a) { return Office2(p)->OpenFromURL(a.in[0].bstr, a.in[1].var, a.in[2].var); }},
        {L"SaveToURL", 102, M, {P::Bstr, P::Variant, P::Variant, P::Variant, P::Variant}, Out::Bstr,
         {E_INVALIDARG, E_POINTER, kAnyFailure}, {},
         [](IOffice* p, CallArgs& a) {
             OutSlot o(Out::Bstr);
             return o.Check(Office2(p)->SaveToURL(a.in[0].bstr, a.in[1].var, a.in[2].var, a.in[3].var, a.in[4].var,
                                                  o.bstr(a.bNullOut)));
         }},
        {L"DocumentURL", 103, G, {}, Out::Bstr, {S_OK}, {},
         [](IOffice* p, CallArgs& a) {
             OutSlot o(Out::Bstr);
             return o.Check(Office2(p)->get_DocumentURL(o.bstr(a.bNullOut)));
         }},
        {L"LastHTTPStatus", 104, G, {}, Out::Uint, {S_OK}, {}, [](IOffice* p, CallArgs& a) {
             OutSlot o(Out::Uint);
             return o.Check(Office2(p)->get_LastHTTPStatus(reinterpret_cast<long*>(o.uint(a.bNullOut))));
         }},
    };
    for (Member<IOffice>& member : m) {
        const std::wstring name = member.name;
        if (name == L"ShellExecute") member.skip = NamesAnExistingFile;
        if (name == L"Save") member.verify = VerifySaved;
        if (name == L"Open") member.verify = VerifyOpened;
    }
    return m;
}

}  // namespace

VX_CHILD(office_sweep) {
    OfficeState state;
    if (!ParseOfficeState(arg, &state)) {
        Fault(L"unknown state " + arg);
        return 2;
    }
    Sandbox sandbox;
    ValuePool pool(sandbox);
    testsupport::DialogWatcher boxes(IDCANCEL, kBoxPollMs);
    std::string readOnlyBytes;
    testsupport::ReadFileBytes(sandbox.readOnlyDoc, &readOnlyBytes);

    SetStep(std::wstring(L"bringing the control into state ") + Name(state));
    OfficeUnderTest office(state, sandbox);
    if (!office.get() || !office.Restore()) {
        Fault(std::wstring(L"the control could not be brought into state ") + Name(state));
        return ChildExitCode();
    }

    // Baseline arguments: ones that reach the member's main path quickly.
    unique_bstr sweepName(L"Vellix.NoSuchClass"), saveTarget(sandbox.file(L"sweep-save.vxp").c_str()),
        openName(sandbox.validDoc.c_str()), deleteName(sandbox.file(L"deleteme.vxp").c_str()),
        iconName(L"report.doc"), missingName(sandbox.missing.c_str()), barcode(L"ABC123"),
        plain(L"Vellix sweep");
    auto baseline = [&](const Member<IOffice>& m) {
        CallArgs a;
        for (Param kind : m.params) {
            Arg arg;
            arg.label = L"baseline";
            switch (kind) {
            case Param::Bstr: arg.bstr = plain.get(); break;
            case Param::Variant: arg.var = Missing(); break;
            case Param::Bool: arg.b = VARIANT_TRUE; break;
            default: break;
            }
            a.in.push_back(arg);
        }
        const std::wstring name = m.name;
        auto setString = [&](size_t i, BSTR b) {
            a.in[i].var = StringVariant(b);
            a.in[i].bNonEmptyString = true;
        };
        if (name == L"New" || name == L"GetWindow") a.in[0].bstr = sweepName.get();
        if (name == L"Save") setString(0, saveTarget.get());
        if (name == L"Open") setString(0, openName.get());
        if (name == L"DeleteFile") a.in[0].bstr = deleteName.get();
        if (name == L"GetShellIcon") a.in[0].bstr = iconName.get();
        if (name == L"ShellExecute") a.in[0].bstr = missingName.get();
        if (name == L"CreateBarCode") a.in[0].bstr = barcode.get();
        return a;
    };

    SweepHost<IOffice> host;
    host.target = office.get();
    host.boxes = &boxes;
    host.state = Name(state);
    host.restore = [&]() -> IOffice* {
        sandbox.Refresh();
        return office.Restore() ? office.get() : nullptr;
    };
    host.pump = [] { testsupport::TestContainer::Pump(); };
    // Every dialog takes a while to come and go: the dialog members get
    // their full sweep in one state.
    host.bFullModal = state == OfficeState::NoDocument;
    Sweeper<IOffice> sweeper(host, pool, office.frame() ? office.frame() : GetDesktopWindow());
    sweeper.m_baseline = baseline;
    sweeper.m_dispatchOf = [&] { return office.dispatch(); };
    sweeper.Run(OfficeMembers());
    SweepUnknownDispids(office.dispatch(), {0, 9, 11, 23, 33, 100, DISPID_NEWENUM, DISPID_UNKNOWN}, Name(state),
                        &boxes);

    SetStep(L"opening and saving afterwards");
    std::wstring fault = office.CheckOpensAndSaves(Name(state));
    if (!fault.empty()) Fault(std::wstring(L"afterwards: ") + fault);
    fault = pool.CheckReferences();
    if (!fault.empty()) Fault(fault);
    SetFileAttributesW(sandbox.readOnlyDoc.c_str(), FILE_ATTRIBUTE_READONLY);
    if (!FileBytesEqual(sandbox.readOnlyDoc, readOnlyBytes)) Fault(L"the read-only document was changed on disk");
    SetStep(L"releasing the control");
    return ChildExitCode();
}

namespace {

void ExpectCleanSweep(const wchar_t* pszState) {
    ChildResult r = RunChild("office_sweep", pszState);
    EXPECT_EQ("", ChildVerdict(r));
}

}  // namespace

TEST(OfficeBadInputSweep, EveryMemberBeforeAClientSite) { ExpectCleanSweep(L"before-client-site"); }
TEST(OfficeBadInputSweep, EveryMemberBeforeADocument) { ExpectCleanSweep(L"before-document"); }
TEST(OfficeBadInputSweep, EveryMemberWithADocumentOpen) { ExpectCleanSweep(L"document-open"); }
TEST(OfficeBadInputSweep, EveryMemberAfterClose) { ExpectCleanSweep(L"after-close"); }
