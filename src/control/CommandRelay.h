// The command target the control hands to its document site. The site
// keeps a counted reference to what it is given; were that the control, the
// control and its site would hold each other and a container that lets go
// of the control without SetClientSite(NULL) would leak both, with the
// document's server. The relay holds the control uncounted and is cut off
// when the control goes.
#pragma once

#include <docobj.h>

class CCommandRelay final : public IOleCommandTarget {
public:
    explicit CCommandRelay(IOleCommandTarget* pTarget) : m_pTarget(pTarget) {}
    CCommandRelay(const CCommandRelay&) = delete;
    CCommandRelay& operator=(const CCommandRelay&) = delete;

    void Disconnect() { m_pTarget = nullptr; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IOleCommandTarget)) return E_NOINTERFACE;
        *ppv = static_cast<IOleCommandTarget*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_cRef); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG c = InterlockedDecrement(&m_cRef);
        if (c == 0) delete this;
        return c;
    }
    STDMETHODIMP QueryStatus(const GUID* pguidCmdGroup, ULONG cCmds, OLECMD prgCmds[],
                             OLECMDTEXT* pCmdText) override {
        if (!m_pTarget) return OLECMDERR_E_UNKNOWNGROUP;
        return m_pTarget->QueryStatus(pguidCmdGroup, cCmds, prgCmds, pCmdText);
    }
    STDMETHODIMP Exec(const GUID* pguidCmdGroup, DWORD nCmdID, DWORD nCmdexecopt, VARIANT* pvaIn,
                      VARIANT* pvaOut) override {
        if (!m_pTarget) return OLECMDERR_E_NOTSUPPORTED;
        return m_pTarget->Exec(pguidCmdGroup, nCmdID, nCmdexecopt, pvaIn, pvaOut);
    }

private:
    ~CCommandRelay() = default;

    LONG m_cRef = 1;
    IOleCommandTarget* m_pTarget;  // not counted
};
