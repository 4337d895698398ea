// Private messages of the control's window: its own, and those its document
// site sends it.
#pragma once

#include <windows.h>

#include "site/SiteMessages.h"

// Posted: an OLE command number for the control's dispatcher.
const UINT WM_DOCCOMMAND = WM_USER + 302;
