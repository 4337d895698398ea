#pragma once

#include <windows.h>

namespace plinth {

// HRESULT of the calling thread's last Win32 error, never a success code.
inline HRESULT LastErrorResult()
{
    DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

}  // namespace plinth
