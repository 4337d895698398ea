// Shell and file utilities offered to the script: ShellExecute, DeleteFile,
// the system's FileSystemObject, any registered class as a "window", and
// the document features this control does not implement.
#pragma once

#include <oaidl.h>
#include <shellapi.h>

#include "services/ServiceContext.h"

namespace services {

class CShellService : public CService {
public:
    using CService::CService;

    // S_FALSE (after a box) when the shell cannot open the file.
    HRESULT ShellExecute(BSTR bstrFile, VARIANT vArgs);
    HRESULT DeleteFile(BSTR bstrFileName);
    HRESULT GetFileSystemObject(IDispatch** ppDisp);
    HRESULT GetWindow(BSTR bstrWinType, IDispatch** ppDisp);
    HRESULT EncryptPDF();
    HRESULT AddWatermark();
};

}  // namespace services
