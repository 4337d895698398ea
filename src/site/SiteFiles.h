// What the control asks of its own document site beyond IDocObject. Private
// to this DLL (not in the type library): the control and the site are always
// the same module.
#pragma once

#include <windows.h>
#include <ole2.h>

struct ISiteFiles : public IUnknown {
    // As LoadStorageFromFile, but a file whose class the system cannot tell
    // (plain text, a download's name) loads as clsid when clsid is not
    // GUID_NULL.
    virtual HRESULT STDMETHODCALLTYPE LoadFileAs(BSTR bstrFileName, VARIANT_BOOL bReadOnly, REFCLSID clsid) = 0;
    // Writes a copy of the document to bstrFileName. The document's file
    // name, read-only state and unsaved changes stay as they were, and no
    // server adopts the file: it is the caller's to delete.
    virtual HRESULT STDMETHODCALLTYPE SaveCopyToFile(BSTR bstrFileName) = 0;
    virtual ~ISiteFiles() {}
};
__CRT_UUID_DECL(ISiteFiles, 0x6C1D3E52, 0x0B7A, 0x4F0E, 0x9D, 0x31, 0x58, 0xA2, 0x4E, 0x17, 0xC9, 0x0B)
