// The print-preview pair of a document server and its container, for both
// sides: the site and the sample server. Not in the SDK headers; defined
// here by identifier and slot order.
#pragma once

#include <windows.h>
#include <ole2.h>

// {B722BCD5-4E68-101B-A2BC-00AA00404770}: implemented by the container; the
// server reports the course of its preview through it.
struct IDocPreviewCallback : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Notify(DWORD dwEvent, DWORD dwValue1, DWORD dwValue2) = 0;
};

// {B722BCD4-4E68-101B-A2BC-00AA00404770}: implemented by the document server.
struct IDocPreviewServer : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Begin(DWORD dwFlags, void* pReserved, IDocPreviewCallback* pCallback,
                                            DWORD dwNumber) = 0;
    virtual HRESULT STDMETHODCALLTYPE End(BOOL fForce) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryReady() = 0;
};

__CRT_UUID_DECL(IDocPreviewCallback, 0xB722BCD5, 0x4E68, 0x101B, 0xA2, 0xBC, 0x00, 0xAA, 0x00, 0x40, 0x47,
                0x70)
__CRT_UUID_DECL(IDocPreviewServer, 0xB722BCD4, 0x4E68, 0x101B, 0xA2, 0xBC, 0x00, 0xAA, 0x00, 0x40, 0x47, 0x70)
