// Steering the registered extension doubles and reading what they received,
// hiding one of their ProgIDs, and the caption the control's failure box
// must carry for a result.
#pragma once

#include <windows.h>

#include <string>

#include "ExtDoubles.h"
#include "fw/Raii.h"

namespace extobjtest {

// The doubles' settings and records start empty and are removed afterwards.
class ExtDoublesControl {
public:
    ExtDoublesControl() { Reset(); }
    ~ExtDoublesControl() { Reset(); }
    ExtDoublesControl(const ExtDoublesControl&) = delete;
    ExtDoublesControl& operator=(const ExtDoublesControl&) = delete;

    void Set(const wchar_t* pszName, DWORD value) {
        RegSetKeyValueW(HKEY_CURRENT_USER, extdoubles::kKey, pszName, REG_DWORD, &value, sizeof(value));
    }
    void Remove(const wchar_t* pszName) { RegDeleteKeyValueW(HKEY_CURRENT_USER, extdoubles::kKey, pszName); }

    // "<ProgID>:<call>;" per event since the last ClearCalls.
    std::wstring Calls() const {
        DWORD cb = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, extdoubles::kKey, extdoubles::kValueCalls, RRF_RT_REG_SZ, nullptr,
                         nullptr, &cb) != ERROR_SUCCESS)
            return std::wstring();
        std::wstring calls(cb / sizeof(wchar_t) + 1, L'\0');
        cb = static_cast<DWORD>(calls.size() * sizeof(wchar_t));
        if (RegGetValueW(HKEY_CURRENT_USER, extdoubles::kKey, extdoubles::kValueCalls, RRF_RT_REG_SZ, nullptr,
                         &calls[0], &cb) != ERROR_SUCCESS)
            return std::wstring();
        calls.resize(wcslen(calls.c_str()));
        return calls;
    }
    void ClearCalls() { Remove(extdoubles::kValueCalls); }

private:
    static void Reset() { RegDeleteTreeW(HKEY_CURRENT_USER, extdoubles::kKey); }
};

// Takes the class identity away from a ProgID for the object's lifetime:
// the name is then one the system cannot resolve.
class HiddenProgId {
public:
    explicit HiddenProgId(const wchar_t* pszProgId) : m_key(std::wstring(pszProgId) + L"\\CLSID") {
        wchar_t sz[64] = {};
        DWORD cb = sizeof(sz);
        if (RegGetValueW(HKEY_CLASSES_ROOT, m_key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, sz, &cb) ==
            ERROR_SUCCESS) {
            m_clsid = sz;
            m_bHidden = RegDeleteTreeW(HKEY_CLASSES_ROOT, m_key.c_str()) == ERROR_SUCCESS;
        }
    }
    ~HiddenProgId() {
        if (!m_bHidden) return;
        RegSetKeyValueW(HKEY_CLASSES_ROOT, m_key.c_str(), nullptr, REG_SZ, m_clsid.c_str(),
                        static_cast<DWORD>((m_clsid.size() + 1) * sizeof(wchar_t)));
    }
    HiddenProgId(const HiddenProgId&) = delete;
    HiddenProgId& operator=(const HiddenProgId&) = delete;

    bool hidden() const { return m_bHidden; }

private:
    std::wstring m_key;
    std::wstring m_clsid;
    bool m_bHidden = false;
};

// The system's message text for hr with its trailing line break removed;
// empty when the system has none.
inline std::wstring SystemText(HRESULT hr) {
    wchar_t* psz = nullptr;
    DWORD cch = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                               reinterpret_cast<LPWSTR>(&psz), 0, nullptr);
    std::wstring text = cch && psz ? std::wstring(psz, cch) : std::wstring();
    LocalFree(psz);
    if (!text.empty() && text.back() == L'\n') text.pop_back();
    if (!text.empty() && text.back() == L'\r') text.pop_back();
    return text;
}

inline std::wstring ClsidString(const CLSID& clsid) {
    wchar_t sz[40] = {};
    StringFromGUID2(clsid, sz, 40);
    return sz;
}

inline bool SameObject(IUnknown* a, IUnknown* b) {
    fw::com_ptr<IUnknown> ua, ub;
    if (!a || !b) return a == b;
    a->QueryInterface(IID_IUnknown, ua.put_void());
    b->QueryInterface(IID_IUnknown, ub.put_void());
    return ua.get() == ub.get();
}

}  // namespace extobjtest
