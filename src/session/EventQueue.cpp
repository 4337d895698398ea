#include "session/EventQueue.h"

namespace session {

void CEventQueue::FirePending() {
    if (!m_source.HasSinks()) {
        m_pending.clear();
        return;
    }
    // A handler may release the page's last reference or run more commands;
    // theirs queue behind and are fired by this same loop, in order.
    fw::com_ptr<IUnknown> self = m_hold();
    ++m_nDepth;
    while (!m_pending.empty()) {
        Pending e = m_pending.front();
        m_pending.erase(m_pending.begin());
        if (e.dispid == DISPID_DOCUMENTCLOSED) {
            m_source.Fire(e.dispid, nullptr, 0);
            continue;
        }
        fw::unique_variant name;
        name->vt = VT_BSTR;
        name->bstrVal = SysAllocString(e.name.c_str());
        m_source.Fire(e.dispid, name.get(), 1);
    }
    --m_nDepth;
}

void CEventQueue::BeginProgress() {
    m_bProgressWhole = false;
    m_ullLastProgress = 0;
    m_dwLastProgressTick = GetTickCount() - 1000;
}

void CEventQueue::Progress(ULONGLONG done, ULONGLONG total, bool bFinal) {
    const DWORD now = GetTickCount();
    if (!bFinal && now - m_dwLastProgressTick < 100) return;
    // The end is told once: not again when the last step already said it.
    const bool bWhole = total != 0 && done == total;
    if (bFinal && m_bProgressWhole && m_ullLastProgress == done) return;
    m_bProgressWhole = bWhole;
    m_ullLastProgress = done;
    m_dwLastProgressTick = now;
    VARIANT args[2];
    args[0].vt = VT_R8;
    args[0].dblVal = static_cast<double>(done);
    args[1].vt = VT_R8;
    args[1].dblVal = static_cast<double>(total);
    m_source.Fire(DISPID_TRANSFERPROGRESS, args, 2);
}

}  // namespace session
