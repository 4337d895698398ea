// Bitmaps written to temporary folders for a page to show: Code 39 barcodes
// (a new file per call) and the shell's icon of a file type (one file per
// type, in a fixed folder).
#pragma once

#include <oaidl.h>

#include "services/ServiceContext.h"

namespace services {

class CBitmapService : public CService {
public:
    using CService::CService;

    HRESULT CreateBarCode(BSTR bstrBarCode, VARIANT* pVal);
    HRESULT GetShellIcon(BSTR bstrFile, VARIANT vBgColor, BSTR* bstrIconFile);
};

}  // namespace services
