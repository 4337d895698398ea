// Private messages the document site sends to the window of its control
// (the window it was given in InitializeNewInstance).
#pragma once

#include <windows.h>

// Sent when the document server enables or disables modeless dialogs; the
// control has no handler for it.
const UINT WM_SITEENABLEMODELESS = WM_USER + 301;
// Posted: rebuild and lay out the menu bar (the server's shared menu
// changed).
const UINT WM_MENUBARLAYOUT = WM_USER + 303;
