// Private messages of the control's window.
#pragma once

#include <windows.h>

// Sent by the site when the document server enables or disables modeless
// dialogs; the control has no handler for it.
const UINT WM_SITEENABLEMODELESS = WM_USER + 301;
// Posted: an OLE command number for the control's dispatcher.
const UINT WM_DOCCOMMAND = WM_USER + 302;
// Posted: rebuild and lay out the menu bar.
const UINT WM_MENUBARLAYOUT = WM_USER + 303;
