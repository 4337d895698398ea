// The extension object: the sibling control ("Scrivane.Word",
// "Tabulane.Excel") that carries the services of a document type. Which
// document the object belongs to is the caller's; the service creates it
// for a ProgID and introduces the control to it.
#pragma once

#include <oaidl.h>

#include "fw/Raii.h"
#include "module/VellixIdl.h"
#include "services/ServiceContext.h"

namespace services {

class CExtensionService : public CService {
public:
    using CService::CService;

    // Creates object for the extension that serves pszProgId (nothing for
    // other types; S_FALSE when object is already there), gives pSite the
    // type's file extension, then hands pOffice to the object and lets it
    // initialise. A failure to create shows a box and returns its code.
    HRESULT CreateExtObject(LPCWSTR pszProgId, fw::com_ptr<IDispatch>& object, IDocObject* pSite,
                            IDispatch* pOffice);
    // A new reference to object for the script, or E_POINTER (reported)
    // when the document has none.
    HRESULT GetExtObject(const fw::com_ptr<IDispatch>& object, IDispatch** pVal);
};

}  // namespace services
