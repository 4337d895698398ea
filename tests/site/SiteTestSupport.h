// The document site under test: the registered site created through COM,
// a plain window standing in for the control's window, a command-target
// double standing in for the control, and the sample server's switches and
// trace.
#pragma once

#include <windows.h>
#include <docobj.h>
#include <ole2.h>

#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "fw/Raii.h"
#include "module/VellixIdl.h"
#include "platform/ByRefVariant.h"

namespace sitetest {

using fw::com_ptr;

constexpr UINT kMsgSiteEnableModeless = WM_USER + 301;
constexpr UINT kMsgMenuBarLayout = WM_USER + 303;
constexpr HRESULT kErrCommandNotAvailable = static_cast<HRESULT>(0x80041104);

inline UINT HandleToUint(const void* h) { return HandleToUlong(h); }
inline HWND UintToHwnd(UINT u) { return static_cast<HWND>(ULongToHandle(u)); }

// Dispatches everything waiting in this thread's queue.
void PumpMessages();

// A visible child window of the test's host frame in the role of the
// control's window. It
// records the site's private messages and lets a test react to others.
class CControlWindow {
public:
    CControlWindow();
    ~CControlWindow();
    CControlWindow(const CControlWindow&) = delete;
    CControlWindow& operator=(const CControlWindow&) = delete;

    HWND hwnd() const { return m_hwnd; }
    // Pumps the queue first; every WM_MENUBARLAYOUT posted so far (wParam,
    // with lParam checked to be 0), then forgets them.
    std::vector<WPARAM> TakeMenuLayouts();
    // WM_SITEENABLEMODELESS sent so far: wParam and lParam.
    std::vector<std::pair<WPARAM, LPARAM>> modeless;
    // Called for every message before the window's own handling.
    std::function<void(UINT, WPARAM, LPARAM)> onMessage;

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND m_hwnd = nullptr;
    std::vector<WPARAM> m_layouts;
    bool m_bBadLParam = false;
};

// The control's command target: records what reaches it and answers with
// the results the test chose.
class CCommandTargetDouble : public IOleCommandTarget {
public:
    struct Call {
        bool bQueryStatus;
        bool bGroupGiven;
        GUID group;
        DWORD nCmdId;
        DWORD nOption;
        VARIANT* pvaIn;
        VARIANT* pvaOut;
    };
    std::vector<Call> calls;
    HRESULT hrQueryStatus = S_OK;
    HRESULT hrExec = S_OK;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }  // lives on the test's stack
    STDMETHODIMP QueryStatus(const GUID* pguidCmdGroup, ULONG cCmds, OLECMD prgCmds[],
                             OLECMDTEXT* pCmdText) override;
    STDMETHODIMP Exec(const GUID* pguidCmdGroup, DWORD nCmdID, DWORD nCmdexecopt, VARIANT* pvaIn,
                      VARIANT* pvaOut) override;
    ULONG refs() const { return m_cRef; }

private:
    ULONG m_cRef = 0;
};

// A site created through COM, optionally initialised in a control window.
struct Site {
    com_ptr<IDocObject> doc;

    Site();
    HRESULT Init(HWND hwndCtl, RECT rc = {0, 0, 400, 300}, const wchar_t* pszHost = L"SiteTests",
                 IUnknown* pcmdCtl = nullptr);
    HWND window() const;
    template <class Itf>
    com_ptr<Itf> as() const {
        com_ptr<Itf> p;
        doc->QueryInterface(__uuidof(Itf), p.put_void());
        return p;
    }
    // The class GetClsid points at; CLSID_NULL when it reports none.
    CLSID Clsid() const;
    // The placement rectangle, as the site reports it to the document.
    RECT PlaceRect() const;
    com_ptr<IDispatch> OleObject() const;
};

// ---- the sample document server -----------------------------------------

// The document's text and preview state through its automation object.
std::wstring DocumentText(IDispatch* pDoc);
HRESULT SetDocumentText(IDispatch* pDoc, const wchar_t* pszText);
bool DocumentInPreview(IDispatch* pDoc);

// A file of the sample server holding the given text, written through a
// site (new document, save) under the switches in force.
bool WritePadDocument(HWND hwndCtl, const std::wstring& path, const wchar_t* pszText);

// build/bin/log/office.log, beside Vellix.DLL.
std::wstring OfficeLogPath();

}  // namespace sitetest
