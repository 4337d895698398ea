// Window and menu handles carried through an automation interface as UINT.
#pragma once

#include <windows.h>

namespace fw {

// User and GDI handles have 32 significant bits on 64-bit Windows too: the
// system keeps them in a 32-bit range so that 32- and 64-bit processes can
// share them. Truncating to 32 bits loses nothing; going back, the value is
// sign-extended, as the system does for a handle from a 32-bit process
// (a zero-extended 0xFFFFxxxx would name another handle).
inline UINT HandleToUint(const void* h) { return HandleToUlong(h); }

template <class THandle = HWND>
THandle UintToHandle(UINT u) {
    return static_cast<THandle>(LongToHandle(static_cast<LONG>(u)));
}

}  // namespace fw
