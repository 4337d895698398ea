// The registry settings the script writes for other programs (update and
// server information under HKCU\Software\Quorvane\Tollan3.0), and the DLL's
// own version.
#pragma once

#include <oaidl.h>

#include "services/ServiceContext.h"

namespace services {

class CSettingsService : public CService {
public:
    using CService::CService;

    HRESULT SetUpdateInfo(BSTR bstrIP, BSTR bstrPort, BSTR bstrUpdateFile);
    HRESULT SetServerInfo(BSTR bstrProtocol, BSTR bstrHost, BSTR bstrPort);
    HRESULT PutAutoUpdate(VARIANT_BOOL newVal);
    HRESULT PutAutoUpdateFile(BSTR newVal);
    HRESULT GetVersion(BSTR* pVal);
};

}  // namespace services
