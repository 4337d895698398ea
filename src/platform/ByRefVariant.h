// A RECT or CLSID travels between the control and its site as a
// VT_BYREF | VT_UI1 VARIANT whose byte pointer points at the structure.
#pragma once

#include <windows.h>
#include <oleauto.h>

template <class T>
VARIANT ByRefVariant(T* p) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BYREF | VT_UI1;
    V_UI1REF(&v) = reinterpret_cast<BYTE*>(p);
    return v;
}

// The structure such a VARIANT points at. Null for any other type or a
// null pointer, so a caller's mistake cannot make the site read through a
// number.
template <class T>
const T* ByRefStruct(const VARIANT* pv) {
    if (!pv || V_VT(pv) != (VT_BYREF | VT_UI1) || !V_UI1REF(pv)) return nullptr;
    return reinterpret_cast<const T*>(V_UI1REF(pv));
}
