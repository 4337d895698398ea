// The user's document commands (the File menu and the commands a document
// server posts to the control) and the print preview with its version
// checks. The commands themselves belong to the document's owner, reached
// through IDocumentCommands.
#pragma once

#include <oaidl.h>

#include "fw/Raii.h"
#include "module/VellixIdl.h"
#include "services/ServiceContext.h"

namespace services {

// New, Open and Save as the user runs them, past the site lock.
class IDocumentCommands {
public:
    virtual HRESULT NewDocument(BSTR ProgIdOrTemplate) = 0;
    virtual HRESULT OpenDocument(VARIANT vFile, VARIANT vReadOnly) = 0;
    virtual HRESULT SaveDocument(VARIANT vFile, VARIANT vAppendExtFileName) = 0;

protected:
    ~IDocumentCommands() = default;
};

class CCommandDispatcher : public CService {
public:
    CCommandDispatcher(IServiceContext& context, IDocumentCommands& commands)
        : CService(context), m_commands(commands) {}

    // Runs the OLECMDID_* command nCmdID on the open document pSite (null
    // when none is open); pExtObject is its extension object, if any.
    void Dispatch(WPARAM nCmdID, IDocObject* pSite, IDispatch* pExtObject);

private:
    // The preview refuses the Office versions whose preview fails, with a box.
    void RunPrintPreview(IDispatch* pExtObject, IDocObject* pSite);
    static BOOL IsOffice2003Sp3Installed();

    IDocumentCommands& m_commands;
};

}  // namespace services
