// Second process of the preview-fault test: starts and ends a print preview
// with nothing to catch a fault. Exits 0 when End returns, with the code of
// the exception when End faults, 2 when the set-up fails.
#include <windows.h>
#include <ole2.h>

#include "PadTestHooks.h"
#include "platform/DocPreview.h"
#include "fw/Raii.h"

namespace {

LONG WINAPI ExitWithExceptionCode(EXCEPTION_POINTERS* pep) {
    // Leave before any debugger or crash dialog gets involved.
    ExitProcess(pep->ExceptionRecord->ExceptionCode);
}

}  // namespace

int main() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(ExitWithExceptionCode);
    if (FAILED(OleInitialize(nullptr))) return 2;
    fw::com_ptr<IDocPreviewServer> preview;
    if (FAILED(CoCreateInstance(vellixpad::CLSID_Document, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IDocPreviewServer),
                                preview.put_void())))
        return 2;
    if (FAILED(preview->Begin(7, nullptr, nullptr, 1))) return 2;
    HRESULT hr = preview->End(TRUE);
    preview.reset();
    OleUninitialize();
    return hr == S_OK ? 0 : 2;
}
