// Owners for COM references, BSTRs, VARIANTs, GDI objects, menus, registry
// keys and heap buffers. Each releases what it holds on reset and
// destruction; put() releases and hands out the address to fill.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <utility>

namespace fw {

template <class T>
class com_ptr {
public:
    com_ptr() noexcept = default;
    com_ptr(std::nullptr_t) noexcept {}
    // Adds a reference to p.
    explicit com_ptr(T* p) noexcept : m_p(p) { if (m_p) m_p->AddRef(); }
    com_ptr(const com_ptr& o) noexcept : com_ptr(o.m_p) {}
    com_ptr(com_ptr&& o) noexcept : m_p(o.detach()) {}
    ~com_ptr() { reset(); }

    com_ptr& operator=(const com_ptr& o) noexcept { return *this = o.m_p; }
    com_ptr& operator=(com_ptr&& o) noexcept {
        if (this != &o) attach(o.detach());
        return *this;
    }
    // Adds a reference to p, releases the old one.
    com_ptr& operator=(T* p) noexcept {
        if (p) p->AddRef();
        attach(p);
        return *this;
    }

    T* get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    void reset() noexcept {
        T* p = m_p;
        m_p = nullptr;
        if (p) p->Release();
    }
    T** put() noexcept { reset(); return &m_p; }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    // Takes over a reference without adding one.
    void attach(T* p) noexcept {
        T* old = m_p;
        m_p = p;
        if (old) old->Release();
    }
    T* detach() noexcept { return std::exchange(m_p, nullptr); }

    // Hands out a new reference.
    template <class U>
    HRESULT copy_to(U** pp) const noexcept {
        if (!pp) return E_POINTER;
        *pp = m_p;
        if (m_p) m_p->AddRef();
        return S_OK;
    }
    template <class U>
    HRESULT query(U** pp) const noexcept {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        if (!m_p) return E_POINTER;
        return m_p->QueryInterface(__uuidof(U), reinterpret_cast<void**>(pp));
    }
    template <class U>
    com_ptr<U> query() const noexcept {
        com_ptr<U> r;
        query(r.put());
        return r;
    }
    // Creates an in-process object.
    HRESULT create(REFCLSID clsid, DWORD ctx = CLSCTX_INPROC_SERVER) noexcept {
        return CoCreateInstance(clsid, nullptr, ctx, __uuidof(T), put_void());
    }

private:
    T* m_p = nullptr;
};

class unique_bstr {
public:
    unique_bstr() noexcept = default;
    explicit unique_bstr(const wchar_t* psz) : m_b(psz ? SysAllocString(psz) : nullptr) {}
    unique_bstr(const wchar_t* pch, UINT cch) : m_b(SysAllocStringLen(pch, cch)) {}
    unique_bstr(unique_bstr&& o) noexcept : m_b(o.detach()) {}
    unique_bstr& operator=(unique_bstr&& o) noexcept {
        if (this != &o) attach(o.detach());
        return *this;
    }
    unique_bstr(const unique_bstr&) = delete;
    unique_bstr& operator=(const unique_bstr&) = delete;
    ~unique_bstr() { reset(); }

    BSTR get() const noexcept { return m_b; }
    // Never null: an empty BSTR reads as L"".
    const wchar_t* c_str() const noexcept { return m_b ? m_b : L""; }
    UINT length() const noexcept { return SysStringLen(m_b); }
    void reset() noexcept { SysFreeString(std::exchange(m_b, nullptr)); }
    BSTR* put() noexcept { reset(); return &m_b; }
    void attach(BSTR b) noexcept { SysFreeString(std::exchange(m_b, b)); }
    BSTR detach() noexcept { return std::exchange(m_b, nullptr); }
    HRESULT copy_to(BSTR* pb) const noexcept {
        if (!pb) return E_POINTER;
        *pb = nullptr;
        if (m_b && !(*pb = SysAllocStringLen(m_b, SysStringLen(m_b)))) return E_OUTOFMEMORY;
        return S_OK;
    }

private:
    BSTR m_b = nullptr;
};

class unique_variant {
public:
    unique_variant() noexcept { VariantInit(&m_v); }
    unique_variant(const unique_variant&) = delete;
    unique_variant& operator=(const unique_variant&) = delete;
    ~unique_variant() { VariantClear(&m_v); }

    VARIANT* get() noexcept { return &m_v; }
    const VARIANT* get() const noexcept { return &m_v; }
    VARIANT* operator->() noexcept { return &m_v; }
    void reset() noexcept { VariantClear(&m_v); }
    VARIANT* put() noexcept { reset(); return &m_v; }
    // Moves the value out; this object is left VT_EMPTY.
    void detach(VARIANT* pv) noexcept {
        *pv = m_v;
        VariantInit(&m_v);
    }
    HRESULT copy_to(VARIANT* pv) const noexcept {
        if (!pv) return E_POINTER;
        VariantInit(pv);
        return VariantCopy(pv, const_cast<VARIANT*>(&m_v));
    }

private:
    VARIANT m_v;
};

// Generic owner of a handle with a release function.
template <class H, class Traits>
class unique_handle_t {
public:
    unique_handle_t() noexcept = default;
    explicit unique_handle_t(H h) noexcept : m_h(h) {}
    unique_handle_t(unique_handle_t&& o) noexcept : m_h(o.detach()) {}
    unique_handle_t& operator=(unique_handle_t&& o) noexcept {
        if (this != &o) reset(o.detach());
        return *this;
    }
    unique_handle_t(const unique_handle_t&) = delete;
    unique_handle_t& operator=(const unique_handle_t&) = delete;
    ~unique_handle_t() { reset(); }

    H get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return Traits::valid(m_h); }
    void reset(H h = Traits::invalid()) noexcept {
        H old = std::exchange(m_h, h);
        if (Traits::valid(old)) Traits::close(old);
    }
    H* put() noexcept { reset(); return &m_h; }
    H detach() noexcept { return std::exchange(m_h, Traits::invalid()); }

private:
    H m_h = Traits::invalid();
};

template <class H, BOOL(WINAPI* Close)(H)>
struct null_traits {
    static H invalid() noexcept { return nullptr; }
    static bool valid(H h) noexcept { return h != nullptr; }
    static void close(H h) noexcept { Close(h); }
};
struct gdi_close {
    static BOOL WINAPI close(HGDIOBJ h) { return DeleteObject(h); }
};
template <class H>
struct gdi_traits {
    static H invalid() noexcept { return nullptr; }
    static bool valid(H h) noexcept { return h != nullptr; }
    static void close(H h) noexcept { DeleteObject(h); }
};
struct hkey_traits {
    static HKEY invalid() noexcept { return nullptr; }
    static bool valid(HKEY h) noexcept { return h != nullptr; }
    static void close(HKEY h) noexcept { RegCloseKey(h); }
};
struct file_traits {
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool valid(HANDLE h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void close(HANDLE h) noexcept { CloseHandle(h); }
};
struct cotaskmem_traits {
    static void* invalid() noexcept { return nullptr; }
    static bool valid(void* p) noexcept { return p != nullptr; }
    static void close(void* p) noexcept { CoTaskMemFree(p); }
};
struct hglobal_traits {
    static HGLOBAL invalid() noexcept { return nullptr; }
    static bool valid(HGLOBAL h) noexcept { return h != nullptr; }
    static void close(HGLOBAL h) noexcept { GlobalFree(h); }
};

using unique_hfont = unique_handle_t<HFONT, gdi_traits<HFONT>>;
using unique_hbitmap = unique_handle_t<HBITMAP, gdi_traits<HBITMAP>>;
using unique_hbrush = unique_handle_t<HBRUSH, gdi_traits<HBRUSH>>;
using unique_hpen = unique_handle_t<HPEN, gdi_traits<HPEN>>;
using unique_hrgn = unique_handle_t<HRGN, gdi_traits<HRGN>>;
using unique_hmenu = unique_handle_t<HMENU, null_traits<HMENU, DestroyMenu>>;
using unique_hdc = unique_handle_t<HDC, null_traits<HDC, DeleteDC>>;  // memory DCs
using unique_hicon = unique_handle_t<HICON, null_traits<HICON, DestroyIcon>>;
using unique_hkey = unique_handle_t<HKEY, hkey_traits>;
using unique_hfile = unique_handle_t<HANDLE, file_traits>;
using unique_hglobal = unique_handle_t<HGLOBAL, hglobal_traits>;
using unique_cotaskmem = unique_handle_t<void*, cotaskmem_traits>;

// A DC obtained with GetDC, given back with ReleaseDC.
class window_dc {
public:
    explicit window_dc(HWND hwnd) noexcept : m_hwnd(hwnd), m_hdc(GetDC(hwnd)) {}
    window_dc(const window_dc&) = delete;
    window_dc& operator=(const window_dc&) = delete;
    ~window_dc() { if (m_hdc) ReleaseDC(m_hwnd, m_hdc); }
    HDC get() const noexcept { return m_hdc; }

private:
    HWND m_hwnd;
    HDC m_hdc;
};

// Selects an object into a DC and puts the previous one back.
class select_object {
public:
    select_object(HDC hdc, HGDIOBJ h) noexcept : m_hdc(hdc), m_hOld(SelectObject(hdc, h)) {}
    select_object(const select_object&) = delete;
    select_object& operator=(const select_object&) = delete;
    ~select_object() { if (m_hOld) SelectObject(m_hdc, m_hOld); }

private:
    HDC m_hdc;
    HGDIOBJ m_hOld;
};

// Holds a critical section for the lifetime of the object.
class cs_lock {
public:
    explicit cs_lock(CRITICAL_SECTION& cs) noexcept : m_cs(cs) { EnterCriticalSection(&m_cs); }
    cs_lock(const cs_lock&) = delete;
    cs_lock& operator=(const cs_lock&) = delete;
    ~cs_lock() { LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION& m_cs;
};

}  // namespace fw
