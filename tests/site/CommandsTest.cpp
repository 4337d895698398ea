// Commands run in the document through the view's command target, and the
// server's print preview driven by the site.
#include <gtest/gtest.h>

#include <string>

#include "LogTail.h"
#include "VellixPadFixture.h"
#include "SiteTestSupport.h"
#include "platform/DocPreview.h"

using namespace sitetest;
using namespace testsupport;
using namespace vellixpad::fixture;

namespace {

// A document view with a command target whose answers the test chooses:
// for command results no server here gives (a prompt cancelled under the
// default option). Records the calls it receives in order.
class CViewDouble : public IOleDocumentView, public IOleCommandTarget {
public:
    std::vector<std::string> calls;
    com_ptr<IOleInPlaceSite> site;
    RECT rc = {};
    DWORD cmdf = OLECMDF_SUPPORTED | OLECMDF_ENABLED;
    HRESULT hrQueryStatus = S_OK;
    HRESULT hrExec = S_OK;
    HRESULT hrCloseView = S_OK;
    VARIANT* pvaInSeen = nullptr;
    VARIANT* pvaOutSeen = nullptr;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleDocumentView))
            *ppv = static_cast<IOleDocumentView*>(this);
        else if (IsEqualIID(riid, IID_IOleCommandTarget))
            *ppv = static_cast<IOleCommandTarget*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }
    ULONG refs() const { return m_cRef; }

    STDMETHODIMP SetInPlaceSite(IOleInPlaceSite* p) override {
        calls.push_back(p ? "SetInPlaceSite" : "SetInPlaceSite(null)");
        site = p;
        return S_OK;
    }
    STDMETHODIMP GetInPlaceSite(IOleInPlaceSite** pp) override { return site.copy_to(pp); }
    STDMETHODIMP GetDocument(IUnknown** pp) override {
        *pp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetRect(LPRECT prc) override {
        calls.push_back("SetRect");
        rc = *prc;
        return S_OK;
    }
    STDMETHODIMP GetRect(LPRECT prc) override {
        *prc = rc;
        return S_OK;
    }
    STDMETHODIMP SetRectComplex(LPRECT, LPRECT, LPRECT, LPRECT) override { return E_NOTIMPL; }
    STDMETHODIMP Show(BOOL f) override {
        calls.push_back(f ? "Show" : "Hide");
        return S_OK;
    }
    STDMETHODIMP UIActivate(BOOL f) override {
        calls.push_back(f ? "UIActivate" : "UIDeactivate");
        return S_OK;
    }
    STDMETHODIMP Open() override { return E_NOTIMPL; }
    STDMETHODIMP CloseView(DWORD) override {
        calls.push_back("CloseView");
        return hrCloseView;
    }
    STDMETHODIMP SaveViewState(LPSTREAM) override { return E_NOTIMPL; }
    STDMETHODIMP ApplyViewState(LPSTREAM) override {
        calls.push_back("ApplyViewState");
        return S_OK;
    }
    STDMETHODIMP Clone(IOleInPlaceSite*, IOleDocumentView** pp) override {
        *pp = nullptr;
        return E_NOTIMPL;
    }

    STDMETHODIMP QueryStatus(const GUID* pguid, ULONG cCmds, OLECMD prgCmds[], OLECMDTEXT* pText) override {
        calls.push_back("QueryStatus" + std::string(pguid ? "(group)" : "") +
                        std::string(pText ? "(text)" : "") + ":" + std::to_string(cCmds) + ":" +
                        std::to_string(prgCmds[0].cmdID) + ":" + std::to_string(prgCmds[0].cmdf));
        prgCmds[0].cmdf = cmdf;
        return hrQueryStatus;
    }
    STDMETHODIMP Exec(const GUID* pguid, DWORD nCmdID, DWORD nOpt, VARIANT* pin, VARIANT* pout) override {
        calls.push_back("Exec" + std::string(pguid ? "(group)" : "") + ":" + std::to_string(nCmdID) + ":" +
                        std::to_string(nOpt));
        pvaInSeen = pin;
        pvaOutSeen = pout;
        return hrExec;
    }

private:
    ULONG m_cRef = 0;
};

class CommandsTest : public ::testing::Test {
protected:
    void NewDocument(Site& site) {
        ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
        CLSID clsid = vellixpad::CLSID_Document;
        ASSERT_EQ(S_OK, site.doc->CreateDocObject(ByRefVariant(&clsid)));
    }
    static std::wstring ExecTrace(ULONG nCmdId) {
        return vellixpad::kTraceExecPrefix + std::to_wstring(nCmdId);
    }

    void SetUp() override { ResetTrace(); }
    void TearDown() override { ResetTrace(); }

    OleSession m_ole;
    ScopedSwitches m_pad;
    CControlWindow m_ctl;
};

TEST_F(CommandsTest, CommandsRunOnlyWhenTheViewSupportsAndEnablesThem) {
    m_pad.Set(vellixpad::kDisabledCommands, 1u << OLECMDID_PAGESETUP);
    Site site;
    NewDocument(site);
    EXPECT_EQ(kErrCommandNotAvailable, site.doc->DoOleCommand(OLECMDID_PRINT, 0, nullptr, nullptr))
        << "no view yet";
    ASSERT_EQ(S_OK, site.doc->IPActivateView());

    EXPECT_EQ(S_OK, site.doc->DoOleCommand(OLECMDID_PRINT, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr));
    EXPECT_EQ(1u, Trace(ExecTrace(OLECMDID_PRINT).c_str()));
    // Supported but disabled: not run.
    EXPECT_EQ(kErrCommandNotAvailable, site.doc->DoOleCommand(OLECMDID_PAGESETUP, 0, nullptr, nullptr));
    EXPECT_EQ(0u, Trace(ExecTrace(OLECMDID_PAGESETUP).c_str()));
    // Unknown to the server.
    EXPECT_EQ(kErrCommandNotAvailable, site.doc->DoOleCommand(OLECMDID_ZOOM, 0, nullptr, nullptr));
}

TEST_F(CommandsTest, PromptCancelledByTheUserIsNotAFailure) {
    m_pad.Set(vellixpad::kCancelPrompt, 1);
    Site site;
    NewDocument(site);
    ASSERT_EQ(S_OK, site.doc->IPActivateView());
    EXPECT_EQ(S_FALSE, site.doc->DoOleCommand(OLECMDID_PRINT, OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr));
    EXPECT_EQ(0u, Trace(ExecTrace(OLECMDID_PRINT).c_str()));
    EXPECT_EQ(S_OK, site.doc->DoOleCommand(OLECMDID_PRINT, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr));
    EXPECT_EQ(1u, Trace(ExecTrace(OLECMDID_PRINT).c_str()));
}

TEST_F(CommandsTest, CommandGoesToTheActivatedViewWithItsArgumentsAndResult) {
    Site site;
    ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd(), {0, 0, 320, 240}));
    CViewDouble view;
    ASSERT_EQ(S_OK, site.as<IOleDocumentSite>()->ActivateMe(&view));
    EXPECT_EQ((std::vector<std::string>{"SetInPlaceSite", "UIActivate", "SetRect", "Show"}), view.calls);
    EXPECT_EQ(site.as<IOleInPlaceSite>().get(), view.site.get());
    EXPECT_EQ(320, view.rc.right);
    EXPECT_EQ(240, view.rc.bottom);

    view.calls.clear();
    VARIANT vin, vout;
    VariantInit(&vin);
    VariantInit(&vout);
    EXPECT_EQ(S_OK, site.doc->DoOleCommand(OLECMDID_PROPERTIES, OLECMDEXECOPT_DONTPROMPTUSER, &vin, &vout));
    EXPECT_EQ((std::vector<std::string>{"QueryStatus:1:10:0", "Exec:10:2"}), view.calls);
    EXPECT_EQ(&vin, view.pvaInSeen);
    EXPECT_EQ(&vout, view.pvaOutSeen);

    // A cancelled dialog is a failure only when the caller did not ask for
    // the prompt.
    view.hrExec = OLECMDERR_E_CANCELED;
    EXPECT_EQ(S_FALSE, site.doc->DoOleCommand(OLECMDID_PRINT, OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr));
    EXPECT_EQ(OLECMDERR_E_CANCELED,
              site.doc->DoOleCommand(OLECMDID_PRINT, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr));
    view.hrExec = E_ACCESSDENIED;
    EXPECT_EQ(E_ACCESSDENIED,
              site.doc->DoOleCommand(OLECMDID_PRINT, OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr));

    // Not run when the status cannot be read or lacks a flag.
    view.calls.clear();
    view.cmdf = OLECMDF_SUPPORTED;
    EXPECT_EQ(kErrCommandNotAvailable, site.doc->DoOleCommand(OLECMDID_PRINT, 0, nullptr, nullptr));
    view.cmdf = OLECMDF_ENABLED;
    EXPECT_EQ(kErrCommandNotAvailable, site.doc->DoOleCommand(OLECMDID_PRINT, 0, nullptr, nullptr));
    view.cmdf = OLECMDF_SUPPORTED | OLECMDF_ENABLED;
    view.hrQueryStatus = E_FAIL;
    EXPECT_EQ(kErrCommandNotAvailable, site.doc->DoOleCommand(OLECMDID_PRINT, 0, nullptr, nullptr));
    EXPECT_EQ(3u, view.calls.size()) << "three status queries, no Exec";

    // Deactivation closes the view and gives it back.
    view.calls.clear();
    view.hrCloseView = E_ABORT;
    EXPECT_EQ(E_ABORT, site.doc->IPDeactivateView());
    EXPECT_EQ((std::vector<std::string>{"Hide", "CloseView", "SetInPlaceSite(null)"}), view.calls);
    site.doc->Close();
    EXPECT_EQ(0u, view.refs());
}

TEST_F(CommandsTest, PreviewRunsOnceAtATimeAndEndsWithTheServersNotice) {
    Site site;
    ASSERT_EQ(S_OK, site.Init(m_ctl.hwnd()));
    EXPECT_EQ(S_FALSE, site.doc->PrintPreview()) << "no document";
    EXPECT_EQ(S_OK, site.doc->ExitPrintPreview(VARIANT_TRUE)) << "no preview";
    CLSID clsid = vellixpad::CLSID_Document;
    ASSERT_EQ(S_OK, site.doc->CreateDocObject(ByRefVariant(&clsid)));
    ASSERT_EQ(S_OK, site.doc->IPActivateView());
    com_ptr<IDispatch> doc = site.OleObject();
    com_ptr<IDocPreviewCallback> callback = site.as<IDocPreviewCallback>();

    ASSERT_EQ(S_OK, site.doc->PrintPreview());
    EXPECT_TRUE(DocumentInPreview(doc.get()));
    EXPECT_EQ(S_FALSE, site.doc->PrintPreview()) << "one preview at a time";
    EXPECT_EQ(1u, Trace(vellixpad::kTracePreviewBegin));

    EXPECT_EQ(S_OK, callback->Notify(2, 0, 0));
    EXPECT_TRUE(DocumentInPreview(doc.get())) << "event 2 is not an end";
    EXPECT_EQ(0u, Trace(vellixpad::kTracePreviewEnd));

    DWORD nBegun = 1, nEnded = 0;
    for (DWORD dwEvent : {0x20u, 0x01u, 0x80u}) {
        SCOPED_TRACE(dwEvent);
        if (dwEvent != 0x20u) {
            ASSERT_EQ(S_OK, site.doc->PrintPreview());
            EXPECT_EQ(++nBegun, Trace(vellixpad::kTracePreviewBegin));
        }
        EXPECT_EQ(S_OK, callback->Notify(dwEvent, 0, 0));
        EXPECT_FALSE(DocumentInPreview(doc.get()));
        EXPECT_EQ(++nEnded, Trace(vellixpad::kTracePreviewEnd));
    }
    // Ended and released: nothing left to end, a new preview can start.
    EXPECT_EQ(S_OK, site.doc->ExitPrintPreview(VARIANT_FALSE));
    EXPECT_EQ(nEnded, Trace(vellixpad::kTracePreviewEnd));
    ASSERT_EQ(S_OK, site.doc->PrintPreview());
    EXPECT_EQ(S_OK, site.doc->ExitPrintPreview(VARIANT_TRUE));
    EXPECT_FALSE(DocumentInPreview(doc.get()));

    // The user closes the preview from the server's own menu: the server's
    // notice ends it through the site.
    ASSERT_EQ(S_OK, site.doc->PrintPreview());
    UINT hwndMenu = 0;
    ASSERT_EQ(S_OK, site.doc->GetMenuHWND(&hwndMenu));
    PostMessageW(UintToHwnd(hwndMenu), WM_COMMAND, vellixpad::kCmdClosePreview, 0);
    PumpMessages();
    EXPECT_FALSE(DocumentInPreview(doc.get()));
    EXPECT_EQ(nEnded + 2, Trace(vellixpad::kTracePreviewEnd));
    EXPECT_EQ(S_OK, site.doc->PrintPreview()) << "the site let the finished preview go";
}

TEST_F(CommandsTest, PreviewNeedsTheServersPreviewInterface) {
    m_pad.Set(vellixpad::kNoPreview, 1);
    Site site;
    NewDocument(site);
    EXPECT_EQ(kErrCommandNotAvailable, site.doc->PrintPreview());
    EXPECT_EQ(0u, Trace(vellixpad::kTracePreviewBegin));
}

TEST_F(CommandsTest, ServerFaultingWhileItEndsThePreviewLeavesTheHostRunning) {
    m_pad.Set(vellixpad::kFaultInPreviewEnd, 1);
    Site site;
    NewDocument(site);
    ASSERT_EQ(S_OK, site.doc->IPActivateView());
    com_ptr<IDispatch> doc = site.OleObject();
    ASSERT_EQ(S_OK, site.doc->PrintPreview());
    EXPECT_EQ(S_OK, site.doc->ExitPrintPreview(VARIANT_TRUE));
    EXPECT_EQ(1u, Trace(vellixpad::kTracePreviewEnd));
    EXPECT_FALSE(DocumentInPreview(doc.get()));
    // The preview interface was let go: a new preview starts.
    EXPECT_EQ(S_OK, site.doc->PrintPreview());
    EXPECT_EQ(2u, Trace(vellixpad::kTracePreviewBegin));
    // And the server's own notice of the end goes through the same guard.
    EXPECT_EQ(S_OK, site.as<IDocPreviewCallback>()->Notify(0x20, 0, 0));
    EXPECT_EQ(2u, Trace(vellixpad::kTracePreviewEnd));
    // Work goes on normally afterwards.
    EXPECT_EQ(S_OK, site.doc->DoOleCommand(OLECMDID_PRINT, 0, nullptr, nullptr));
}

}  // namespace
