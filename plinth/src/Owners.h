// Single owners for the handles Plinth creates, so every exit path releases
// what it acquired.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <objbase.h>

namespace plinth {

// Traits give the handle type, its "none" value and how to release it.
template <typename Traits>
class unique_any {
    using T = typename Traits::type;

public:
    unique_any() = default;
    explicit unique_any(T value) : m_value(value) {}
    ~unique_any() { reset(); }
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;

    T get() const { return m_value; }
    explicit operator bool() const { return m_value != Traits::invalid(); }

    void reset(T value = Traits::invalid())
    {
        if (m_value != Traits::invalid())
            Traits::close(m_value);
        m_value = value;
    }
    T* put()
    {
        reset();
        return &m_value;
    }
    T detach()
    {
        T value = m_value;
        m_value = Traits::invalid();
        return value;
    }

private:
    T m_value = Traits::invalid();
};

template <typename T, void (*Close)(T)>
struct null_traits {
    using type = T;
    static T invalid() { return nullptr; }
    static void close(T value) { Close(value); }
};

// CreateFileW reports failure with INVALID_HANDLE_VALUE, not NULL.
struct file_traits {
    using type = HANDLE;
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { CloseHandle(h); }
};

inline void delete_dc(HDC h)
{
    DeleteDC(h);
}
template <typename T>
void delete_gdi(T h)
{
    DeleteObject(h);
}
inline void free_bstr(BSTR s)
{
    SysFreeString(s);
}
inline void free_cotaskmem_string(LPOLESTR s)
{
    CoTaskMemFree(s);
}

using unique_file = unique_any<file_traits>;
using unique_hdc = unique_any<null_traits<HDC, delete_dc>>;
using unique_hbitmap = unique_any<null_traits<HBITMAP, delete_gdi<HBITMAP>>>;
using unique_hbrush = unique_any<null_traits<HBRUSH, delete_gdi<HBRUSH>>>;
using unique_bstr = unique_any<null_traits<BSTR, free_bstr>>;
using unique_cotaskmem_string = unique_any<null_traits<LPOLESTR, free_cotaskmem_string>>;

// Puts back the object a DC had selected before, so the DC can be deleted
// and our own object freed.
class select_object {
public:
    select_object(HDC hdc, HGDIOBJ obj) : m_hdc(hdc), m_old(SelectObject(hdc, obj)) {}
    ~select_object()
    {
        if (m_old)
            SelectObject(m_hdc, m_old);
    }
    select_object(const select_object&) = delete;
    select_object& operator=(const select_object&) = delete;
    explicit operator bool() const { return m_old != nullptr; }

private:
    HDC m_hdc;
    HGDIOBJ m_old;
};

}  // namespace plinth
