// The print-preview interfaces a DocObject server offers its container.
// No SDK header declares them; identities and slot order are fixed.
#pragma once

#include <windows.h>
#include <ole2.h>

// Implemented by the container; the server reports preview events to it.
struct IDocPreviewCallback : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Notify(DWORD dwEvent, DWORD dwValue1, DWORD dwValue2) = 0;
};

// Implemented by the document server.
struct IDocPreviewServer : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Begin(DWORD dwFlags, void* pReserved, IDocPreviewCallback* pCallback,
                                            DWORD dwNumber) = 0;
    virtual HRESULT STDMETHODCALLTYPE End(BOOL fForce) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryReady() = 0;
};

__CRT_UUID_DECL(IDocPreviewServer, 0xb722bcd4, 0x4e68, 0x101b, 0xa2, 0xbc, 0x00, 0xaa, 0x00, 0x40, 0x47, 0x70)
__CRT_UUID_DECL(IDocPreviewCallback, 0xb722bcd5, 0x4e68, 0x101b, 0xa2, 0xbc, 0x00, 0xaa, 0x00, 0x40, 0x47, 0x70)
