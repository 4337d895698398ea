// What the user is told. Every message box of the product goes through a
// notifier: it shows the box, or, when the user has asked for silence (a
// script host running unattended would hang on the first box), writes it to
// the log instead and keeps its text for the failing call's error object.
#pragma once

#include <windows.h>

#include <string>

#include "platform/HelperLibrary.h"

namespace diag {

// Whether boxes are kept back: the owner's own choice, or the user's
// setting (DWORD Silent under HKCU\Software\Vellix) when it has made none.
enum class SilentChoice { Setting, On, Off };

class CNotifier {
public:
    CNotifier() = default;
    CNotifier(const CNotifier&) = delete;
    CNotifier& operator=(const CNotifier&) = delete;

    // Where kept-back boxes are written, opened beside hLogModule when it
    // is not open yet; may stay null (no log line then).
    void SetLog(CLoger* pLog, HMODULE hLogModule) {
        m_pLog = pLog;
        m_hLogModule = hLogModule;
    }
    void SetSilent(SilentChoice choice) { m_choice = choice; }
    bool IsSilent() const;

    // A box owned by hwndOwner, or its log line when silent (then IDOK, as a
    // box the user confirmed at once).
    int Show(HWND hwndOwner, const wchar_t* pszText, const wchar_t* pszCaption, UINT uType = MB_OK);

    // "caption: text" of the last box kept back, and forgets it; empty when
    // none was.
    std::wstring TakeKeptBack();
    void ForgetKeptBack() { m_keptBack.clear(); }

    // Code with no notifier of its own (the document site, the log) reaches
    // the one of the call the thread is in through a scope.
    class CScope {
    public:
        explicit CScope(CNotifier* pNotifier);
        ~CScope();
        CScope(const CScope&) = delete;
        CScope& operator=(const CScope&) = delete;

    private:
        CNotifier* m_pPrevious;
    };
    static CNotifier* Current();

private:
    CLoger* m_pLog = nullptr;
    HMODULE m_hLogModule = nullptr;
    // Opening the log may itself want to tell the user (through here).
    bool m_bOpeningLog = false;
    SilentChoice m_choice = SilentChoice::Setting;
    std::wstring m_keptBack;
};

// The user's setting alone, read at every box so a change applies at once.
bool SilentBySetting();

// A box through the notifier of the thread's current scope, or through the
// user's setting alone outside any.
int Notify(HWND hwndOwner, const wchar_t* pszText, const wchar_t* pszCaption, UINT uType = MB_OK);

}  // namespace diag
