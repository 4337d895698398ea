// The page's events. A document command's events wait until the outermost
// command has finished, so a page never sees the control half-way through
// one (and a handler that calls back finds it whole); transfer progress is
// immediate but throttled. Shared by the document session and the File
// menu's commands, which run through it.
#pragma once

#include <oaidl.h>

#include <functional>
#include <string>
#include <vector>

#include "diag/Notifier.h"
#include "fw/ConnectionPoint.h"
#include "fw/Raii.h"

namespace session {

// The methods of _IOfficeEvents.
enum : DISPID {
    DISPID_DOCUMENTOPENED = 1,
    DISPID_DOCUMENTSAVED = 2,
    DISPID_DOCUMENTCLOSED = 3,
    DISPID_TRANSFERPROGRESS = 4,
};

class CEventQueue {
public:
    // hold gives a counted reference to the control, kept while handlers
    // run: one may release the page's last reference.
    CEventQueue(fw::CConnectionPoint& source, std::function<fw::com_ptr<IUnknown>()> hold)
        : m_source(source), m_hold(std::move(hold)) {}
    CEventQueue(const CEventQueue&) = delete;
    CEventQueue& operator=(const CEventQueue&) = delete;

    // One command: its events fire when the outermost scope ends. The
    // document site's boxes go through the notifier meanwhile.
    class CScope {
    public:
        CScope(CEventQueue& queue, diag::CNotifier& notifier) : m_queue(queue), m_notices(&notifier) {
            ++m_queue.m_nDepth;
        }
        ~CScope() {
            if (--m_queue.m_nDepth == 0) m_queue.FirePending();
        }
        CScope(const CScope&) = delete;
        CScope& operator=(const CScope&) = delete;

    private:
        CEventQueue& m_queue;
        diag::CNotifier::CScope m_notices;
    };

    // An event with a name argument (none for DocumentClosed).
    void Queue(DISPID dispid, const std::wstring& name) { m_pending.push_back({dispid, name}); }

    // Transfer progress: Begin before the first step; Progress fires at
    // most about ten a second; Final always fires, once.
    void BeginProgress();
    void Progress(ULONGLONG done, ULONGLONG total, bool bFinal);

private:
    void FirePending();

    struct Pending {
        DISPID dispid;
        std::wstring name;
    };
    fw::CConnectionPoint& m_source;
    std::function<fw::com_ptr<IUnknown>()> m_hold;
    std::vector<Pending> m_pending;
    int m_nDepth = 0;
    DWORD m_dwLastProgressTick = 0;
    ULONGLONG m_ullLastProgress = 0;  // the last bytesDone fired
    bool m_bProgressWhole = false;    // ... and it was the whole
};

}  // namespace session
