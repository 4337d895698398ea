// Small conversions at the edge of IDocObject: structures passed by pointer
// in a VARIANT, and window and menu handles carried as 32-bit UINTs.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "fw/HandleUint.h"
#include "fw/Raii.h"
#include "platform/ByRefVariant.h"

namespace site_detail {

using ::ByRefStruct;
using ::ByRefVariant;

// A copy of a BSTR, embedded nulls included; null stays null.
inline fw::unique_bstr CopyOf(BSTR b) { return b ? fw::unique_bstr(b, SysStringLen(b)) : fw::unique_bstr(); }
inline BSTR CopyOrEmpty(const fw::unique_bstr& b) { return SysAllocStringLen(b.c_str(), b.length()); }

using fw::HandleToUint;
inline HWND UintToHwnd(UINT u) { return fw::UintToHandle<HWND>(u); }

}  // namespace site_detail
