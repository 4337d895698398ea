// Calls and window destruction that arrive while the control waits in a
// modal loop of its own (a message box, a file dialog, the folder picker,
// the Insert Object dialog, a popup menu of its bar): a second script call
// to Close or Open, posted commands, the container destroying its window or
// letting go of the control. Nothing may crash or use a released site or
// control, and the process stays able to open and save documents.
#include <gtest/gtest.h>

#include <docobj.h>

#include <functional>

#include "Boxes.h"
#include "Child.h"
#include "DialogDriver.h"
#include "ExtDoubles.h"
#include "Fixtures.h"
#include "VellixPadFixture.h"
#include "ui/MenuBar.h"

using fw::com_ptr;
using fw::unique_bstr;
using namespace hardening;
using vellixpad::fixture::ScopedSwitches;

namespace {

const UINT WM_INJECT = WM_APP + 77;
const int kMaxInjectAttempts = 5000;
const wchar_t kInjectorClass[] = L"VellixHardeningInjector";

// Runs an action at the first message dispatch inside a modal loop of this
// thread (a dialog of this thread exists, or a popup menu is shown), then
// ends a popup menu; dialogs are ended by whoever answers them.
class ModalInjector {
public:
    ModalInjector() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kInjectorClass;
        RegisterClassW(&wc);
        m_hwnd = CreateWindowExW(0, kInjectorClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                 nullptr);
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~ModalInjector() { DestroyWindow(m_hwnd); }

    void Arm(std::function<void()> action) {
        m_action = std::move(action);
        m_attempts = 0;
        m_inside.clear();
        PostMessageW(m_hwnd, WM_INJECT, 0, 0);
    }
    // What the action ran inside; empty when it did not run.
    const std::wstring& inside() const { return m_inside; }

private:
    static BOOL CALLBACK FindModal(HWND hwnd, LPARAM lp) {
        wchar_t cls[16] = {};
        GetClassNameW(hwnd, cls, 16);
        auto* found = reinterpret_cast<std::pair<HWND, std::wstring>*>(lp);
        if (lstrcmpW(cls, L"#32770") == 0 || (lstrcmpW(cls, L"#32768") == 0 && IsWindowVisible(hwnd))) {
            *found = {hwnd, cls};
            return FALSE;
        }
        return TRUE;
    }

    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<ModalInjector*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (msg == WM_INJECT && self) {
            self->Poke();
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }

    void Poke() {
        if (!m_action) return;
        std::pair<HWND, std::wstring> modal(nullptr, L"");
        EnumThreadWindows(GetCurrentThreadId(), FindModal, reinterpret_cast<LPARAM>(&modal));
        if (!modal.first) {
            if (++m_attempts < kMaxInjectAttempts) PostMessageW(m_hwnd, WM_INJECT, 0, 0);
            return;
        }
        std::function<void()> action = std::move(m_action);
        m_action = nullptr;
        m_inside = modal.second == L"#32768" ? L"a popup menu" : L"a dialog";
        action();
        if (modal.second == L"#32768") EndMenu();
    }

    HWND m_hwnd = nullptr;
    std::function<void()> m_action;
    int m_attempts = 0;
    std::wstring m_inside;
};

// One control in a container, with a document, and what a scenario needs.
struct Stage {
    Sandbox& sandbox;
    testsupport::DialogDriver& driver;
    std::unique_ptr<testsupport::TestContainer> container;
    com_ptr<IOffice> office;  // the script's reference, while it holds one
    HWND hwndControl = nullptr;

    // The control through the container, as long as the container holds it.
    com_ptr<IOffice> Control() {
        com_ptr<IOffice> p;
        if (container && container->control()) container->query(p.put());
        return p;
    }
    std::wstring Doc(const wchar_t* pszName) { return sandbox.file(pszName); }
};

HRESULT OpenFile(IOffice* office, const std::wstring& path, bool bReadOnly = false) {
    unique_bstr name(path.c_str());
    VARIANT ro;
    VariantInit(&ro);
    ro.vt = VT_BOOL;
    ro.boolVal = VARIANT_TRUE;
    return office->Open(StringVariant(name.get()), bReadOnly ? ro : Missing());
}

void PostCommand(IOffice* office, DWORD nCmdId) {
    if (auto target = com_ptr<IOffice>(office).query<IOleCommandTarget>())
        target->Exec(&GUID_NULL, nCmdId, OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr);
}

void Click(HWND hwnd, int x, int y) { SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y)); }

void SetExtensionSetting(const wchar_t* pszName, DWORD value) {
    RegSetKeyValueW(HKEY_CURRENT_USER, extdoubles::kKey, pszName, REG_DWORD, &value, sizeof(value));
}

// Where the modal loop comes from. A host that runs as a posted command or
// from a click lets go of the script's reference first: only the
// container keeps the control alive then, as in a page that made it.
struct Host {
    const wchar_t* name;
    std::function<void(Stage&)> run;
};

// File menu item, and the first of the document server's menus.
const int kFileItemX = 3 + kMenuItemWidth / 2;
const int kServerItemX = 3 + kMenuItemWidth + kMenuItemWidth / 2;
const int kBarItemY = 3 + kMenuBarHeight / 2;

std::vector<Host> Hosts() {
    return {
        {L"box-save-to-a-bad-path",
         [](Stage& s) {
             unique_bstr name(L"no-folder.vxp");
             s.office->Save(StringVariant(name.get()), Missing());
         }},
        {L"box-of-the-site-save",
         [](Stage& s) {
             unique_bstr name(s.Doc(L"site-box.vxp").c_str());
             s.office->Save(StringVariant(name.get()), Missing());
         }},
        {L"box-extension-failure-in-open",
         [](Stage& s) {
             SetExtensionSetting(extdoubles::kValueCreateResult, static_cast<DWORD>(E_ACCESSDENIED));
             OpenFile(s.office.get(), s.Doc(L"wordlike.doc"));
         }},
        {L"box-extension-failure-in-new",
         [](Stage& s) {
             SetExtensionSetting(extdoubles::kValueCreateResult, static_cast<DWORD>(E_ACCESSDENIED));
             unique_bstr progId(vellixpad::kWordLikeProgId);
             s.office->New(progId.get());
         }},
        {L"box-new-of-an-unknown-class",
         [](Stage& s) {
             unique_bstr name(L"Vellix.NoSuchClass");
             s.office->New(name.get());
         }},
        {L"dialog-open",
         [](Stage& s) {
             s.driver.SelectFiles(s.sandbox.dir(), {L"other.vxp"});
             s.office->Open(Missing(), Missing());
         }},
        {L"dialog-save-of-a-new-document",
         [](Stage& s) {
             unique_bstr progId(L"VellixPad.Document");
             s.office->New(progId.get());
             s.driver.SelectFiles(s.sandbox.dir(), {L"saved-new.vxp"});
             s.office->Save(Missing(), Missing());
         }},
        {L"dialog-save-of-a-read-only-document",
         [](Stage& s) {
             OpenFile(s.office.get(), s.sandbox.readOnlyDoc, true);
             s.driver.SelectFiles(s.sandbox.dir(), {L"saved-copy.vxp"});
             s.office->Save(Missing(), Missing());
         }},
        {L"dialog-show-file-dialog",
         [](Stage& s) {
             s.driver.SelectFiles(s.sandbox.dir(), {L"other.vxp"});
             fw::unique_bstr chosen;
             VARIANT none = Missing();
             s.office->ShowFileDialog(VARIANT_TRUE, none, none, none, none, chosen.put());
         }},
        {L"folder-picker",
         [](Stage& s) {
             s.driver.CancelFolderPicker();
             fw::unique_bstr folder;
             s.office->BrowserForFolder(folder.put());
         }},
        {L"command-save-as",
         [](Stage& s) {
             s.driver.SelectFiles(s.sandbox.dir(), {L"saved-as.vxp"});
             PostCommand(s.office.get(), OLECMDID_SAVEAS);
             s.office.reset();
             testsupport::TestContainer::Pump();
         }},
        {L"command-open",
         [](Stage& s) {
             s.driver.SelectFiles(s.sandbox.dir(), {L"other.vxp"});
             PostCommand(s.office.get(), OLECMDID_OPEN);
             s.office.reset();
             testsupport::TestContainer::Pump();
         }},
        {L"command-new-insert-object",
         [](Stage& s) {
             PostCommand(s.office.get(), OLECMDID_NEW);
             s.office.reset();
             testsupport::TestContainer::Pump();
         }},
        {L"command-print-preview-box",
         [](Stage& s) {
             PostCommand(s.office.get(), OLECMDID_PRINTPREVIEW);
             s.office.reset();
             testsupport::TestContainer::Pump();
         }},
        {L"file-menu",
         [](Stage& s) {
             s.office.reset();
             Click(s.hwndControl, kFileItemX, kBarItemY);
         }},
        {L"server-menu",
         [](Stage& s) {
             s.office.reset();
             Click(s.hwndControl, kServerItemX, kBarItemY);
         }},
    };
}

struct Action {
    const wchar_t* name;
    std::function<void(Stage&)> run;
};

std::vector<Action> Actions() {
    return {
        {L"a second script call to Close",
         [](Stage& s) {
             if (auto p = s.Control()) p->Close();
         }},
        {L"a second script call to Open",
         [](Stage& s) {
             if (auto p = s.Control()) OpenFile(p.get(), s.Doc(L"other.vxp"));
         }},
        {L"the container destroying its window",
         [](Stage& s) {
             if (s.container) DestroyWindow(s.container->frame());
         }},
        {L"the container letting go of the control",
         [](Stage& s) {
             if (s.container) s.container->Release();
         }},
        {L"a posted Close from the File menu",
         [](Stage& s) { PostMessageW(s.hwndControl, WM_COMMAND, MAKEWPARAM(ID_FILE_CLOSE, 0), 0); }},
        {L"a posted open command",
         [](Stage& s) {
             if (auto p = s.Control()) PostCommand(p.get(), OLECMDID_OPEN);
         }},
    };
}

void RunHost(const Host& host) {
    for (const Action& action : Actions()) {
        const std::wstring where = std::wstring(host.name) + L" interrupted by " + action.name;
        SetStep(where + L": setting up");
        ScopedSwitches switches;
        if (std::wstring(host.name) == L"box-of-the-site-save") switches.On(vellixpad::kFailStorageSave);
        // The extension doubles and the Word-like class, for the hosts that
        // need an extension object.
        RegDeleteTreeW(HKEY_CURRENT_USER, extdoubles::kKey);
        vellixpad::fixture::ScopedTestClasses classes;
        Sandbox sandbox;
        WritePadDocument(sandbox.file(L"other.vxp"), Sandbox::kText);
        WritePadDocument(sandbox.file(L"wordlike.doc"), Sandbox::kText, vellixpad::CLSID_WordLike);
        testsupport::DialogDriver driver(IDCANCEL);
        ModalInjector injector;
        {
            Stage stage{sandbox, driver};
            stage.container = std::make_unique<testsupport::TestContainer>(500, 400);
            if (FAILED(stage.container->Create(CLSID_Office, true)) || FAILED(stage.container->query(stage.office.put()))) {
                Fault(where + L": no control");
                continue;
            }
            UINT hwnd = 0;
            stage.office->get_HWnd(&hwnd);
            stage.hwndControl = reinterpret_cast<HWND>(static_cast<UINT_PTR>(hwnd));
            HRESULT hr = OpenFile(stage.office.get(), sandbox.validDoc);
            testsupport::TestContainer::Pump();
            if (hr != S_OK) {
                Fault(where + L": the document did not open: " + HrText(hr));
                continue;
            }

            SetStep(where);
            injector.Arm([&stage, &action] { action.run(stage); });
            host.run(stage);
            SetStep(where + L": messages afterwards");
            testsupport::TestContainer::Pump();
            // Documents made from here on save normally.
            ScopedSwitches::Clear();
            RegDeleteTreeW(HKEY_CURRENT_USER, extdoubles::kKey);
            if (injector.inside().empty()) Fault(where + L": the control showed no modal loop to interrupt");
            else Report("NOTE", where + L": ran inside " + injector.inside());

            SetStep(where + L": the control afterwards");
            com_ptr<IOffice> alive = stage.Control();
            UINT hwndNow = 0;
            if (alive && alive->get_HWnd(&hwndNow) == S_OK && hwndNow &&
                IsWindow(reinterpret_cast<HWND>(static_cast<UINT_PTR>(hwndNow)))) {
                std::wstring fault = OpensAndSaves(alive.get(), sandbox, L"same");
                if (!fault.empty()) Fault(where + L": the same control afterwards: " + fault);
            }
            alive.reset();
            SetStep(where + L": releasing");
            stage.office.reset();
            stage.container.reset();
            testsupport::TestContainer::Pump();
        }
    }
    SetStep(std::wstring(host.name) + L": a new control afterwards");
    Sandbox sandbox;
    testsupport::DialogDriver driver(IDCANCEL);
    OfficeUnderTest fresh(OfficeState::NoDocument, sandbox);
    std::wstring fault = fresh.CheckOpensAndSaves(L"new");
    if (!fault.empty()) Fault(std::wstring(host.name) + L": a new control afterwards: " + fault);
}

}  // namespace

VX_CHILD(reentrancy) {
    for (const Host& host : Hosts())
        if (arg == host.name) {
            RunHost(host);
            return ChildExitCode();
        }
    Fault(L"unknown host " + arg);
    return 2;
}

// The extension object of a Word-like document calls back into the control
// while the control takes it in: Open and New must not go on with the site
// that call released.
VX_CHILD(extension_callback) {
    ScopedSwitches switches;
    vellixpad::fixture::ScopedTestClasses classes;
    if (FAILED(classes.result())) {
        Fault(L"the Word-like test class could not be registered: " + HrText(classes.result()));
        return ChildExitCode();
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, extdoubles::kKey);
    RegSetKeyValueW(HKEY_CURRENT_USER, extdoubles::kKey, extdoubles::kValueCallOnInitialize, REG_SZ, arg.c_str(),
                    static_cast<DWORD>((arg.size() + 1) * sizeof(wchar_t)));
    Sandbox sandbox;
    testsupport::DialogDriver driver(IDCANCEL);
    const std::wstring wordLike = sandbox.file(L"wordlike.doc");
    WritePadDocument(wordLike, Sandbox::kText, vellixpad::CLSID_WordLike);
    {
        testsupport::TestContainer container(500, 400);
        com_ptr<IOffice> office;
        if (FAILED(container.Create(CLSID_Office, true)) || FAILED(container.query(office.put()))) {
            Fault(L"no control");
            return ChildExitCode();
        }
        SetStep(L"Open of a Word-like document whose extension calls " + arg);
        HRESULT hr = OpenFile(office.get(), wordLike);
        testsupport::TestContainer::Pump();
        Report("NOTE", L"Open gave " + HrText(hr));
        SetStep(L"New of a Word-like document whose extension calls " + arg);
        unique_bstr progId(vellixpad::kWordLikeProgId);
        hr = office->New(progId.get());
        testsupport::TestContainer::Pump();
        Report("NOTE", L"New gave " + HrText(hr));
        RegDeleteTreeW(HKEY_CURRENT_USER, extdoubles::kKey);
        SetStep(L"the control afterwards");
        std::wstring fault = OpensAndSaves(office.get(), sandbox, L"after-extension");
        if (!fault.empty()) Fault(L"the control afterwards: " + fault);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, extdoubles::kKey);
    return ChildExitCode();
}

namespace {

void ExpectSafe(const wchar_t* pszHost) {
    ChildResult r = RunChild("reentrancy", pszHost);
    EXPECT_EQ("", ChildVerdict(r));
}

}  // namespace

TEST(Reentrancy, WhileAMessageBoxOfSaveWaits) { ExpectSafe(L"box-save-to-a-bad-path"); }
TEST(Reentrancy, WhileTheSiteShowsItsSaveFailure) { ExpectSafe(L"box-of-the-site-save"); }
TEST(Reentrancy, WhileOpenShowsTheExtensionFailure) { ExpectSafe(L"box-extension-failure-in-open"); }
TEST(Reentrancy, WhileNewShowsTheExtensionFailure) { ExpectSafe(L"box-extension-failure-in-new"); }
TEST(Reentrancy, WhileNewShowsItsUnknownClassBox) { ExpectSafe(L"box-new-of-an-unknown-class"); }
TEST(Reentrancy, WhileTheOpenDialogWaits) { ExpectSafe(L"dialog-open"); }
TEST(Reentrancy, WhileTheSaveDialogOfANewDocumentWaits) { ExpectSafe(L"dialog-save-of-a-new-document"); }
TEST(Reentrancy, WhileTheSaveDialogOfAReadOnlyDocumentWaits) { ExpectSafe(L"dialog-save-of-a-read-only-document"); }
TEST(Reentrancy, WhileShowFileDialogWaits) { ExpectSafe(L"dialog-show-file-dialog"); }
TEST(Reentrancy, WhileTheFolderPickerWaits) { ExpectSafe(L"folder-picker"); }
TEST(Reentrancy, WhileThePostedSaveAsCommandWaitsInItsDialog) { ExpectSafe(L"command-save-as"); }
TEST(Reentrancy, WhileThePostedOpenCommandWaitsInItsDialog) { ExpectSafe(L"command-open"); }
TEST(Reentrancy, WhileThePostedNewCommandWaitsInInsertObject) { ExpectSafe(L"command-new-insert-object"); }
TEST(Reentrancy, WhileThePostedPrintPreviewShowsItsBox) { ExpectSafe(L"command-print-preview-box"); }
TEST(Reentrancy, WhileTheFileMenuIsOpen) { ExpectSafe(L"file-menu"); }
TEST(Reentrancy, WhileADocumentServerMenuIsOpen) { ExpectSafe(L"server-menu"); }

TEST(Reentrancy, TheExtensionClosingTheDocumentWhileOpenAndNewTakeItIn) {
    for (const wchar_t* pszMember : {L"Close", L"Open", L"PrintPreview"}) {
        ChildResult r = RunChild("extension_callback", pszMember);
        EXPECT_EQ("", ChildVerdict(r)) << "the extension calls " << testsupport::Narrow(pszMember);
    }
}
