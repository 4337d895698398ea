// Small conversions at the edge of IDocObject: structures passed by pointer
// in a VARIANT, and window and menu handles carried as 32-bit UINTs.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "fw/HandleUint.h"
#include "fw/Raii.h"

namespace site_detail {

// A RECT or CLSID travels as VT_BYREF | VT_UI1 whose byte pointer points at
// the structure. Null for any other type or a null pointer, so a caller's
// mistake cannot make the site read through a number.
template <class T>
const T* ByRefStruct(const VARIANT* pv) {
    if (!pv || V_VT(pv) != (VT_BYREF | VT_UI1) || !V_UI1REF(pv)) return nullptr;
    return reinterpret_cast<const T*>(V_UI1REF(pv));
}

template <class T>
VARIANT ByRefVariant(T* p) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BYREF | VT_UI1;
    V_UI1REF(&v) = reinterpret_cast<BYTE*>(p);
    return v;
}

// A copy of a BSTR, embedded nulls included; null stays null.
inline fw::unique_bstr CopyOf(BSTR b) { return b ? fw::unique_bstr(b, SysStringLen(b)) : fw::unique_bstr(); }
inline BSTR CopyOrEmpty(const fw::unique_bstr& b) { return SysAllocStringLen(b.c_str(), b.length()); }

using fw::HandleToUint;
inline HWND UintToHwnd(UINT u) { return fw::UintToHandle<HWND>(u); }

}  // namespace site_detail
